#include "host/LumetaModel.h"
#include "com/NumberText.h"
#include "com/UuidText.h"

#include <algorithm>
#include <charconv>

#include "commands/CommandListItem.h"
#include "commands/PropertyCommandHelper.h"
#include "host/LumetaMapSettings.h"
#include "host/MapEditCommands.h"
#include "commands/SelectionData.h"
#include "contract/SubjectHoldIntf.h"

TLumetaModel::TLumetaModel()
    : FMap(std::make_unique<TLumetaMap>()),
      FSubject(std::make_unique<TSubject>(static_cast<IUnknown*>(this))),
      FProcessor(make<TLumetaCommandProcessor>()) {}

TLumetaModel::~TLumetaModel() {
  // Commands may still reach the model while they are released; the map goes last.
  FProcessor.reset();
  FControllers.clear();
  FManagers.clear();
}

namespace {

// A hold on the model's subject, made for each query: the hold keeps the model alive.
class TModelSubjectHold : public TImplements<TAggregableObject, ISubjectHold> {
 public:
  explicit TModelSubjectHold(TSubject* ASubject) : FHeld(ASubject) {}

 private:
  TSubject::THeld FHeld;
};

}  // namespace

HRESULT TLumetaModel::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  if (AObject && AIid == uuidof<ISubjectHold>()) {
    try {
      *AObject = static_cast<ISubjectHold*>(make<TModelSubjectHold>(FSubject.get()).detach());
      return S_OK;
    } catch (const std::bad_alloc&) {
      *AObject = nullptr;
      return E_OUTOFMEMORY;
    }
  }
  if (AObject && AIid == uuidof<ISubject>()) {
    // The subject counts on this model, so the reference taken is the model's, as the subject's
    // own answer would take it.
    *AObject = static_cast<ISubject*>(FSubject.get());
    AddRef();
    return S_OK;
  }
  return TImplements::QueryInterface(AIid, AObject);
}

HRESULT TLumetaModel::QueryAggregated(const GUID& AIid, void** AObject) noexcept {
  return FSubject->InnerQueryInterface(AIid, AObject);
}

ComPtr<ICommandProcessor> TLumetaModel::GetCommandProcessor() { return FProcessor; }

ComPtr<IPropertyClasses> TLumetaModel::GetPropertyClasses() { return static_cast<IPropertyClasses*>(this); }

ComPtr<ITree> TLumetaModel::GetTree() { return static_cast<ITree*>(this); }

ComPtr<ICommandHelper> TLumetaModel::GetCommandHelper() { return static_cast<ICommandHelper*>(this); }

ComPtr<INode> TLumetaModel::GetRoot() { return FMap->Root(); }

std::string TLumetaModel::GetMapIdentity(bool ACreate) {
  if (FMap->Identity().empty() && ACreate)
    FMap->SetIdentity(FIdentityToCreate.empty() ? NewUuidText() : FIdentityToCreate);
  return FMap->Identity();
}

void TLumetaModel::SetMapIdentity(const std::string& AIdentity) { FMap->SetIdentity(AIdentity); }

std::string TLumetaModel::GetMapTimeZone() {
  const TLumetaMapSettings* settings = FMap->MapSettings();
  return settings ? settings->TimeZone() : std::string();
}

ComPtr<INode> TLumetaModel::FindNode(const std::string& AID) {
  const std::optional<int64_t> id = ParseInteger<int64_t>(AID);
  return id ? FMap->FindNode(*id) : nullptr;
}

ComPtr<IProperty> TLumetaModel::NewProperty(const std::string& AClassName) {
  ComPtr<IPropertyManager> manager = FindManager(AClassName);
  if (!manager) throw EClassNotFound("Unknown property class \"" + AClassName + "\"");
  return manager->NewProperty();
}

ComPtr<IPropertyManager> TLumetaModel::FindManager(const std::string& AClassName) {
  for (const auto& [name, manager] : FManagers)
    if (name == AClassName) return manager;
  return {};
}

int32_t TLumetaModel::GetClassCount() { return static_cast<int32_t>(FManagers.size()); }

std::string TLumetaModel::GetClassName(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= GetClassCount()) return {};
  return FManagers[static_cast<size_t>(AIndex)].first;
}

ComPtr<ICommand> TLumetaModel::PreparePropertyCommand(IProperty* AProperty, ISelection* ASelection,
                                                      int32_t AnOperation) {
  // The title is the host's own: a new one renames each selected node. Its value may be HTML, as
  // the plug-in's windows write it; the map keeps the plain text.
  if (AProperty && AProperty->GetPropertyName() == "Title") {
    ComPtr<IAttribute> title = QueryAs<IAttribute>(AProperty);
    if (!title) throw ENoInterface("The title property holds no text");
    const std::string text = title->AsPlainText(0);
    TInterfaceList<ICommandListItem> items;
    const int32_t count = ASelection ? ASelection->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i) {
      ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get());
      const std::optional<int64_t> id = node ? ParseInteger<int64_t>(node->GetID()) : std::nullopt;
      if (!id) continue;
      items.Add(make<TCommandListItem>(make<TRetitleNodeCommand>(this, *id, text).get()));
    }
    if (items.Count() == 1) return items.First()->GetCommand();
    return items.Count() == 0 ? nullptr : CombineCommands(items);
  }
  return TPropertyCommandHelper::PreparePropertyCommand(AProperty, ASelection, this, AnOperation);
}

ComPtr<ICommand> TLumetaModel::PrepareRemovePropertiesCommand(const std::vector<std::string>& ANames, ISelection*,
                                                              int32_t AnOperation) {
  return TPropertyCommandHelper::PrepareRemovePropertiesCommand(ANames, this, AnOperation);
}

ComPtr<ICommand> TLumetaModel::CombineCommands(const TInterfaceList<ICommandListItem>& AItems) {
  return TPropertyCommandHelper::CombineCommands(AItems, this);
}

ComPtr<ISelection> TLumetaModel::GetCurrentSelection() {
  ComPtr<TData> selection = make<TData>(static_cast<IPropertyClasses*>(this));
  for (int64_t id : SelectedIDs()) selection->Add(static_cast<INode*>(FMap->FindNode(id)));
  return selection;
}

void TLumetaModel::SetCurrentSelection(ISelection* ASelection) {
  std::vector<int64_t> ids;
  const int32_t count = ASelection ? ASelection->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get());
    const std::optional<int64_t> id = node ? ParseInteger<int64_t>(node->GetID()) : std::nullopt;
    // A node of another map, or one that left this map, cannot be selected here.
    if (!id || FMap->FindNode(*id) != node.get()) continue;
    if (std::ranges::find(ids, *id) == ids.end()) ids.push_back(*id);
  }
  SetSelectedIDs(ids);
}

std::vector<int64_t> TLumetaModel::SelectedIDs() const {
  std::vector<int64_t> ids;
  for (int64_t id : FSelection)
    if (FMap->FindNode(id)) ids.push_back(id);
  return ids;
}

void TLumetaModel::SetSelectedIDs(const std::vector<int64_t>& AIDs) {
  std::vector<int64_t> ids;
  for (int64_t id : AIDs) {
    FMap->GetNode(id);
    if (std::ranges::find(ids, id) == ids.end()) ids.push_back(id);
  }
  // Compared with what is stored, so that dropping a node that left the map is a change too.
  if (ids == FSelection) return;
  FSelection = std::move(ids);
  FSubject->AddChange(KChangeCurrentSelection, static_cast<ILumetaModel*>(this));
}

void TLumetaModel::RegisterManager(IPropertyManager* AManager) {
  if (!AManager) throw EInvalidOperation("No property manager to register");
  FControllers.clear();
  FControllersMade = false;
  std::string name = AManager->GetDescription();
  for (auto& [existing, manager] : FManagers) {
    if (existing == name) {
      manager = AManager;
      return;
    }
  }
  FMap->AddPropertyClass(name);
  FManagers.emplace_back(std::move(name), AManager);
}

const std::vector<ComPtr<IUnknown>>& TLumetaModel::Controllers() {
  if (!FControllersMade) {
    FControllersMade = true;
    for (const auto& [name, manager] : FManagers)
      if (ComPtr<IPropertyPlugin> plugin = QueryAs<IPropertyPlugin>(manager.get()))
        if (ComPtr<IUnknown> controller = plugin->CreatePlugInUI()) FControllers.push_back(std::move(controller));
  }
  return FControllers;
}

ComPtr<IActionPlugInUI> TLumetaModel::FindPlugInUI(const std::string& AName) {
  for (const ComPtr<IUnknown>& controller : Controllers())
    if (ComPtr<IActionPlugInUI> ui = QueryAs<IActionPlugInUI>(controller.get()); ui && ui->GetName() == AName)
      return ui;
  return {};
}

bool TLumetaModel::HandleEvent(IPlugInEvent* AEvent) {
  // A copy: a controller's answer may register a manager, which renews the list.
  const std::vector<ComPtr<IUnknown>> controllers = Controllers();
  for (const ComPtr<IUnknown>& controller : controllers)
    if (ComPtr<IActionPlugInEvents> events = QueryAs<IActionPlugInEvents>(controller.get()))
      if (!events->HandleEvent(AEvent)) return false;
  return true;
}

void TLumetaModel::Close() {
  FProcessor->Clear();
  FControllers.clear();
  FControllersMade = false;
  FMap->Clear();
  FManagers.clear();
  FSelection.clear();
}
