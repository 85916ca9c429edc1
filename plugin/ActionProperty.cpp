#include "plugin/ActionProperty.h"

#include <limits>
#include <variant>

#include "attributes/XmlDataConverters.h"
#include "drawing/GPGraphics.h"
#include "settings/LumetaSettingsStore.h"
#include "plugin/ActionPropertyUI.h"
#include "plugin/NodeLinkAttribute.h"

namespace {

TGPGraphics& RequireGraphics(TGPGraphics* AGraphics) {
  if (!AGraphics) throw EInvalidOperation("A symbol needs a graphics object to measure and draw on");
  return *AGraphics;
}

}  // namespace

TActionPropertyManager::TActionPropertyManager(TActionWindows AWindows) : FWindows(std::move(AWindows)) {
  Initialize();
}

TActionPropertyManager::~TActionPropertyManager() = default;

void TActionPropertyManager::Initialize() {
  TLumetaPropertyManager::Initialize();
  FSettings = std::make_unique<TActionSettings>(static_cast<IUnknown*>(this));
}

HRESULT TActionPropertyManager::QueryAggregated(const GUID& AIid, void** AObject) noexcept {
  if (FSettings) return FSettings->InnerQueryInterface(AIid, AObject);
  return TLumetaPropertyManager::QueryAggregated(AIid, AObject);
}

std::string TActionPropertyManager::SettingsKey(IUnknown* AHostObject) {
  return ComPtr<IUnknown>(AHostObject).as<IHostRegistryPath>()->GetRegistryPath() + "\\" + SettingsSection;
}

std::string TActionPropertyManager::GetClassDescription() { return ClassDescription; }

ComPtr<IProperty> TActionPropertyManager::CreateProperty() { return make<TActionProperty>(); }

bool TActionPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  TLumetaPropertyManager::RegisterWith(ACatalogue);
  ComPtr<IUnknown> catalogue(ACatalogue);
  catalogue.as<IPropertyCatalogue>()->SetClassID(CLSID_ActionPropertyManager);
  if (auto flags = catalogue.try_as<ICatalogueFlags>()) flags->SetCatalogueFlags(flags->GetCatalogueFlags() | 1u);
  return true;
}

ComPtr<IUnknown> TActionPropertyManager::CreatePlugInUI() {
  return ComPtr<IActionPlugInUI>(make<TActionPlugInUI>(GetHostApplication().get(), FWindows));
}

void TActionPropertyManager::Startup(IUnknown* AHostObject) {
  const bool show = SettingsStore().ReadBool(THive::CurrentUser, SettingsKey(AHostObject), ShowSymbolValueName, true);
  FSettings->SetValue(TActionSettings::ShowSymbolIndex, show);
}

void TActionPropertyManager::BeginSession(IUnknown*) {}

void TActionPropertyManager::EndSession(IUnknown*) {}

void TActionPropertyManager::Shutdown(IUnknown* AHostObject) {
  const bool show = std::get<bool>(FSettings->GetValue(TActionSettings::ShowSymbolIndex));
  // The default is not written down: a run that changed nothing leaves the settings alone.
  TSettingsStore& store = SettingsStore();
  if (store.ReadBool(THive::CurrentUser, SettingsKey(AHostObject), ShowSymbolValueName, true) != show)
    store.WriteBool(THive::CurrentUser, SettingsKey(AHostObject), ShowSymbolValueName, show);
}

TMasterActionPropertyManager::TMasterActionPropertyManager() { Initialize(); }

std::string TMasterActionPropertyManager::GetClassDescription() { return ClassDescription; }

ComPtr<IProperty> TMasterActionPropertyManager::CreateProperty() { return make<TMasterActionProperty>(); }

bool TMasterActionPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  TLumetaPropertyManager::RegisterWith(ACatalogue);
  ComPtr<IUnknown>(ACatalogue).as<IPropertyCatalogue>()->SetClassID(CLSID_MasterActionPropertyManager);
  return true;
}

void TMasterActionPropertyManager::Startup(IUnknown*) {}

void TMasterActionPropertyManager::BeginSession(IUnknown*) {}

void TMasterActionPropertyManager::EndSession(IUnknown*) {}

void TMasterActionPropertyManager::Shutdown(IUnknown*) {}

void TMasterActionPropertyManager::MapCreated(IUnknown*) {}

void TMasterActionPropertyManager::MapLoaded(IUnknown*) {}

void TMasterActionPropertyManager::MapSaving(IUnknown*) {}

void TMasterActionPropertyManager::MapClosed(IUnknown*) {}

TActionProperty::TActionProperty() { Initialize(); }

HRESULT TActionProperty::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  // The record counts on this property, so answering for it here is what the record would do.
  if (FAction && AObject && !GetController()) {
    if (AIid == uuidof<IActionAttribute>()) {
      *AObject = static_cast<IActionAttribute*>(FAction);
      AddRef();
      return S_OK;
    }
    // Asked of the record, which hands every question to this property first.
    if (AIid == TActionAttribute::ObjectIid) {
      *AObject = FAction;
      AddRef();
      return S_OK;
    }
  }
  return TLumetaProperty::QueryInterface(AIid, AObject);
}

void TActionProperty::Initialize() {
  TLumetaProperty::Initialize();
  FAction = CreateAttribute<TActionAttribute>();
}

void TActionProperty::SetHostObject(IUnknown* AHostObject) {
  TLumetaProperty::SetHostObject(AHostObject);
  FAction->SetCarrierHost(AHostObject);
}

TPropertyRenderValues TActionProperty::InitialRenderValues() {
  return {.Kind = 1, .Color = 0x78000000, .Flags = RenderFlagSymbol};
}

std::string TActionProperty::ManagerClassDescription() { return TActionPropertyManager::ClassDescription; }

std::string TActionProperty::GetCaption() { return "Action"; }

std::string TActionProperty::GetHint() { return FAction->AsHtml(3); }

void TActionProperty::UpdateRenderInfo() {
  TLumetaProperty::UpdateRenderInfo();
  bool show = true;
  if (auto settings = QueryAs<IPlugInSettings>(GetManager().get())) {
    const TVariant value = settings->GetValue(TActionSettings::ShowSymbolIndex);
    if (const bool* on = std::get_if<bool>(&value)) show = *on;
  }
  const int32_t flags = RenderInfo()->GetFlags();
  RenderInfo()->SetFlags(show && !FAction->IsEmpty() ? flags | RenderFlagSymbol : flags & ~RenderFlagSymbol);
}

bool TActionProperty::SummarySwitch() {
  ComPtr<INode> node = QueryAs<INode>(GetHostObject().get());
  ComPtr<INode> root = node ? node->GetRoot() : nullptr;
  if (!root) return false;
  ComPtr<IMapSettings> settings = QueryAs<IMapSettings>(root->FindAttribute(KMapSettingsName).get());
  return settings && settings->GetTaskScheduling();
}

int TActionProperty::SymbolIconCount() {
  if (SummarySwitch()) return 2;
  TActionAttribute& action = *FAction;
  const bool first = action.GetStartDate() > 0 || action.GetDueDate() > 0 || action.GetCompletedDate() > 0 ||
                     action.GetIsAction() || action.GetIsMilestone();
  const bool second = action.GetWork() > 0 || action.GetDuration() > 0 || !action.GetStatus().empty() ||
                      !action.GetPriority().empty() || action.GetComplete() > 0;
  return int(first) + int(second);
}

TActionProperty::TSymbolImages TActionProperty::SymbolImages(int32_t AFlags) {
  if (!(AFlags & DrawFlagSymbol)) return {};
  const bool summarySwitch = SummarySwitch();
  TActionAttribute& action = *FAction;
  if (!summarySwitch && action.IsEmpty()) return {};

  // Each later rule overrides the earlier ones.
  std::string first = "ACTION_CALENDAR";
  bool firstShown =
      summarySwitch || action.GetStartDate() > 0 || action.GetDueDate() > 0 || action.GetCompletedDate() > 0;
  if (action.GetIsAction()) first = "ACTION_TASKBOARD", firstShown = true;
  if (action.GetIsMilestone()) first = "ACTION_MILESTONE", firstShown = true;
  if (summarySwitch) {
    ComPtr<INode> node = QueryAs<INode>(GetHostObject().get());
    if (node && node->IsSummaryTask()) first = "ACTION_SUMMARY", firstShown = true;
  }

  std::string second;
  if (summarySwitch || action.GetWork() > 0 || action.GetDuration() > 0) second = "ACTION_NOTSTARTED";
  if (!action.GetPriority().empty()) second = "ACTION_NOTSTARTED";
  // Asked only where it counts: a summary's status rolls up its whole branch.
  if (const std::string status = summarySwitch ? std::string() : action.GetStatus(); !status.empty()) {
    if (status == KStatusInProgress)
      second = "ACTION_INPROGRESS";
    else if (status == KStatusCompleted)
      second = "ACTION_ONEHUNDREDPERCENT";
    else
      second = "ACTION_NOTSTARTED";
  }
  // Complete decides last: it is the figure the user edits.
  if (const int32_t complete = action.GetComplete(); complete > 0)
    second = complete < 100 ? "ACTION_INPROGRESS" : "ACTION_ONEHUNDREDPERCENT";

  return {firstShown ? first : std::string(), second};
}

std::vector<std::string> TActionProperty::GetSymbolImages(int32_t AFlags) {
  const TSymbolImages images = SymbolImages(AFlags);
  std::vector<std::string> result;
  for (const std::string* name : {&images.First, &images.Second})
    if (!name->empty()) result.push_back(*name);
  return result;
}

void TActionProperty::MeasureSymbol(TGPGraphics* AGraphics, int32_t AAvailableHeight, int32_t& AWidth,
                                    int32_t& AHeight) {
  const int32_t s = RequireGraphics(AGraphics).ScaleSize(NominalIconSize);
  switch (SymbolIconCount()) {
    case 0:
      AWidth = AHeight = 0;
      break;
    case 1:
      AWidth = s + 1;
      AHeight = s;
      break;
    default:
      if (SymbolRows(AAvailableHeight, s) != 1) {
        AWidth = s + 1;
        AHeight = 2 * s + 1;
      } else {
        AWidth = 2 * s + 2;
        AHeight = s;
      }
  }
}

void TActionProperty::DrawSymbol(TGPGraphics* AGraphics, int32_t AFlags, int32_t AX, int32_t AY, int32_t,
                                 int32_t AAvailableHeight) {
  TGPGraphics& graphics = RequireGraphics(AGraphics);
  const TSymbolImages images = SymbolImages(AFlags);
  const int32_t s = graphics.ScaleSize(NominalIconSize);
  auto draw = [&](const std::string& AName, int32_t ALeft, int32_t ATop) {
    const TGPImage& image = SymbolImage(AName);
    const QRectF square(ALeft, ATop, s, s);
    if (AFlags & DrawFlagGreyed)
      graphics.DrawImage(image, square, image.Bounds(), TGPImageAttributes(TGPImageAttributes::ModeGreyed));
    else
      graphics.DrawImage(image, square);
  };
  if (!images.First.empty()) draw(images.First, AX, AY);
  if (images.Second.empty()) return;
  if (images.First.empty())
    draw(images.Second, AX, AY);
  else if (SymbolRows(AAvailableHeight, s) == 1)
    draw(images.Second, AX + s + 1, AY);
  else
    draw(images.Second, AX, AY + s);
}

int SymbolRows(int32_t AAvailableHeight, int32_t AIconSize) {
  if (AIconSize <= 0 || AAvailableHeight <= 0) return 1;
  int32_t rows = AAvailableHeight / AIconSize;
  const int32_t twiceRest = 2 * (AAvailableHeight % AIconSize);
  if (twiceRest > AIconSize || (twiceRest == AIconSize && rows % 2 != 0)) ++rows;
  return rows < 1 ? 1 : rows;
}

const TXmlDeclarations& TActionProperty::GetXmlDeclarations() {
  // Is Summary is derived from the subtasks, so it is never stored. The dates write nothing while
  // they are not set. A file's Complete beyond 0 to 100 or negative Duration would upset the dates
  // worked out from them.
  static const TXmlDeclarations declarations = MakeXmlDeclarations(
      XmlElement(KActionPropertyName, "Action", true),
      Within(XmlElement("Complete", "Complete", true), 0, 100),
      XmlElement("Completed Date", "CompletedDate", false),
      XmlElement("Cost", "Cost", true),
      XmlElement("Due Date", "DueDate", false),
      Within(XmlElement("Duration", "Duration", true), 0, std::numeric_limits<double>::infinity()),
      XmlElement("Priority", "Priority", true),
      XmlElement("Quantity", "Quantity", true),
      XmlElement("Start Date", "StartDate", false),
      XmlElement("Status", "Status", true),
      XmlElement("Work", "Work", true),
      XmlElement("Constraint Type", "ConstraintType", &NewConverter<TTaskConstraintTypeDataConverter>, true),
      XmlElement("Constraint Date", "ConstraintDate", false),
      XmlAttribute("Is Action", "ForOutlook", true),
      XmlAttribute("Posted To Outlook", "PostedToOutlook", true),
      XmlAttribute("Is Milestone", "Milestone", true),
      XmlAttribute("Duration Measure", "Measure", "Duration", &NewConverter<TActionMeasureConverter>, true),
      XmlAttribute("Work Measure", "Measure", "Work", &NewConverter<TActionMeasureConverter>, true));
  return declarations;
}

TMasterActionProperty::TMasterActionProperty() { Initialize(); }

void TMasterActionProperty::Initialize() {
  TLumetaProperty::Initialize();
  FActionList = CreateAttribute<TMapActionListAttribute>();
  FActionList->SetItemType(uuidof<IMapActionAttribute>());
}

std::string TMasterActionProperty::ManagerClassDescription() { return TMasterActionPropertyManager::ClassDescription; }

const TXmlDeclarations& TMasterActionProperty::GetXmlDeclarations() {
  static const TXmlDeclarations declarations =
      MakeXmlDeclarations(XmlListElement(KActionListPropertyName, "ActionList", "MapAction"),
                          XmlElement("MapAction", "MapAction", true), XmlElement("Map Status", "Priority", true));
  return declarations;
}

void RegisterPlugInAttributeClasses(ILumetaAttributeFactory* AFactory) {
  RegisterActionAttributeClasses(AFactory);
  RegisterNodeLinkAttributeClass(AFactory);
}

void UnregisterPlugInAttributeClasses(ILumetaAttributeFactory* AFactory) {
  for (const GUID& iid : {uuidof<IActionAttribute>(), uuidof<IMapActionAttribute>(), uuidof<IMapActionListAttribute>(),
                          TaskLinkAttributeIid})
    AFactory->RegisterClass(iid, nullptr);
}

ComPtr<IUnknown> CreateLumetaClass(const GUID& AClassID, const TActionWindows& AWindows) {
  if (AClassID == CLSID_ActionPropertyManager) return make<TActionPropertyManager>(AWindows);
  if (AClassID == CLSID_MasterActionPropertyManager) return make<TMasterActionPropertyManager>();
  throw EClassNotFound(GuidToString(AClassID));
}
