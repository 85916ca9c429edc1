#include "commands/TreeCommands.h"

#include <cstdlib>
#include <iostream>
#include <utility>

#include "commands/PropertyMemento.h"
#include "commands/SelectionData.h"

namespace {

constexpr int32_t KDefaultOperation = 11;

const char* const KNotImplemented = "Method not implemented.";

// Undo traces go to standard error only when asked for: they are for whoever debugs undo.
bool DebugTracing() {
  const char* value = std::getenv("LUMETA_DEBUG");
  return value && *value;
}

}  // namespace

std::vector<std::string> NodeIDsOfSelection(ISelection* ASelection) {
  std::vector<std::string> ids;
  if (!ASelection) return ids;
  const int32_t count = ASelection->GetCount();
  ids.reserve(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) ids.push_back(ASelection->GetItem(i).as<INode>()->GetID());
  return ids;
}

ComPtr<ISelection> SelectionFromNodeIDs(ITree* ATree, const std::vector<std::string>& AIDs) {
  ComPtr<TData> selection = make<TData>();
  if (ATree)
    for (const std::string& id : AIDs)
      if (ComPtr<INode> node = ATree->FindNode(id)) selection->Add(node.get());
  return selection;
}

// ---------------------------------------------------------------------------------------------
// TTreeCommand

TTreeCommand::TTreeCommand(ITree* ATree, ISubject* ASubject) : FTree(ATree), FSubject(ASubject) {}

TTreeCommand::~TTreeCommand() = default;

ComPtr<ISubject> TTreeCommand::GetSubject() { return FSubject; }

std::string TTreeCommand::GetDescription() { return {}; }

ComPtr<ITree> TTreeCommand::GetTree() { return FTree; }

ComPtr<ISelection> TTreeCommand::GetState() { return SelectionFromNodeIDs(FTree.get(), FState); }

ComPtr<INode> TTreeCommand::GetUndoNode() {
  if (FPaths.empty() || !FTree) return {};
  return FTree->FindNode(FPaths.back());
}

void TTreeCommand::Execute() { throw EInvalidOperation(KNotImplemented); }

void TTreeCommand::SetState(ISelection* ASelection) { FState = NodeIDsOfSelection(ASelection); }

void TTreeCommand::UnExecute() { throw EInvalidOperation(KNotImplemented); }

void TTreeCommand::PopPath() {
  if (!FPaths.empty()) FPaths.pop_back();
}

// ---------------------------------------------------------------------------------------------
// TBasePropertiesCommand

TBasePropertiesCommand::TBasePropertiesCommand(ITree* ATree, ISubject* ASubject, IPropertyClasses* APropertyClasses,
                                               int32_t AnOperation)
    : TImplements(ATree, ASubject),
      FOperation(AnOperation == -1 ? KDefaultOperation : AnOperation),
      FPropertyClasses(APropertyClasses) {}

TBasePropertiesCommand::~TBasePropertiesCommand() = default;

std::vector<std::string> TBasePropertiesCommand::ChangedPropertyNames() {
  std::vector<std::string> names;
  if (ComPtr<IProperties> properties = GetProperties()) {
    const int32_t count = properties->GetPropertyCount();
    for (int32_t i = 0; i < count; ++i)
      if (ComPtr<IProperty> property = properties->GetProperty(i)) names.push_back(property->GetPropertyName());
  }
  return names;
}

ComPtr<IProperty> TBasePropertiesCommand::CopyProperty(const std::string& AClassName, IProperty* ASource) {
  if (!FPropertyClasses) throw EInvalidOperation("No property class registry to copy \"" + AClassName + "\" with");
  ComPtr<IProperty> copy = FPropertyClasses->NewProperty(AClassName);
  ComPtr<IAttribute> target = copy.as<IAttribute>();
  if (ASource)
    target->Assign(ComPtr<IProperty>(ASource).as<IAttribute>().get());
  else
    target->SetFlagEx(afLoaded, true, true);
  return copy;
}

ComPtr<IProperty> TBasePropertiesCommand::PropertyToKeep(const std::string&, IProperty* AProperty) {
  return ComPtr<IProperty>(AProperty);
}

TInterfaceList<IPropertyMemento> TBasePropertiesCommand::CreateMementos(INode* ANode) {
  TInterfaceList<IPropertyMemento> mementos;
  for (const std::string& name : ChangedPropertyNames()) {
    ComPtr<TPropertyMemento> memento = make<TPropertyMemento>(name);
    const int32_t count = ANode->GetPropertyCount();
    for (int32_t i = 0; i < count; ++i) {
      ComPtr<IProperty> property = ANode->GetPropertyItem(i);
      if (property && property->GetPropertyName() == name)
        memento->SetPropertyMemento(PropertyToKeep(name, property.get()).get());
    }
    mementos.Add(memento);
  }
  return mementos;
}

void TBasePropertiesCommand::ChangeNode(INode* ANode) {
  ComPtr<IProperties> properties = GetProperties();
  if (!properties) return;
  const int32_t count = properties->GetPropertyCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IProperty> property = properties->GetProperty(i);
    if (!property) continue;
    const std::string name = property->GetPropertyName();
    ComPtr<IProperty> current = ANode->FindProperty(name);
    ComPtr<IProperty> copy = CopyProperty(name, current.get());
    copy.as<IAttribute>()->Apply(property.as<IAttribute>().get());
    ANode->SetProperty(copy.get());
  }
}

void TBasePropertiesCommand::RestoreNode(INode* ANode, const TInterfaceList<IPropertyMemento>& AMementos) {
  for (const ComPtr<IPropertyMemento>& memento : AMementos) {
    const std::string name = memento->GetDescription();
    ComPtr<IProperty> saved = memento->GetPropertyMemento();
    if (saved)
      ANode->SetProperty(saved.get());
    else if (ANode->FindProperty(name))
      ANode->RemoveProperty(name);
  }
}

void TBasePropertiesCommand::ReportChange(INode* ANode) {
  if (ISubject* subject = Subject()) subject->AddChange(FOperation, ANode);
}

void TBasePropertiesCommand::ExecuteOnNode(INode* ANode) {
  if (!ANode) throw EInvalidOperation("A property command needs a node");
  TInterfaceList<IPropertyMemento> mementos = CreateMementos(ANode);
  try {
    ChangeNode(ANode);
    ReportChange(ANode);
  } catch (...) {
    try {
      RestoreNode(ANode, mementos);
    } catch (...) {
      // The first error is the one worth reporting.
    }
    throw;
  }
  PushPath(ANode->GetID());
  FPropertiesMemento.push_back(std::move(mementos));
}

void TBasePropertiesCommand::UnExecuteOnNode(INode* ANode) {
  if (!ANode) throw EInvalidOperation("A property command needs a node");
  if (DebugTracing()) {
    std::cerr << "Undo Item  " << ANode->GetID() << '\n';
    std::cerr << "Memento Count " << FPropertiesMemento.size() << '\n';
  }
  if (FPropertiesMemento.empty()) throw EInvalidOperation("Nothing to undo on node " + ANode->GetID());
  RestoreNode(ANode, FPropertiesMemento.back());
  ReportChange(ANode);
  PopPath();
  FPropertiesMemento.pop_back();
}

// ---------------------------------------------------------------------------------------------
// TPropertiesCommand

TPropertiesCommand::~TPropertiesCommand() = default;

ComPtr<IProperties> TPropertiesCommand::GetProperties() { return FProperties; }

void TPropertiesCommand::SetProperties(IProperties* AProperties) { FProperties = AProperties; }

// ---------------------------------------------------------------------------------------------
// TRemovePropertiesCommand

TRemovePropertiesCommand::TRemovePropertiesCommand(ITree* ATree, ISubject* ASubject, IPropertyClasses* APropertyClasses,
                                                   std::vector<std::string> ANames, int32_t AnOperation)
    : TBasePropertiesCommand(ATree, ASubject, APropertyClasses, AnOperation), FNames(std::move(ANames)) {}

TRemovePropertiesCommand::~TRemovePropertiesCommand() = default;

ComPtr<IProperties> TRemovePropertiesCommand::GetProperties() { return {}; }

std::vector<std::string> TRemovePropertiesCommand::ChangedPropertyNames() { return FNames; }

ComPtr<IProperty> TRemovePropertiesCommand::PropertyToKeep(const std::string& AName, IProperty* AProperty) {
  return CopyProperty(AName, AProperty);
}

void TRemovePropertiesCommand::ChangeNode(INode* ANode) {
  for (const std::string& name : FNames) ANode->RemoveProperty(name);
}
