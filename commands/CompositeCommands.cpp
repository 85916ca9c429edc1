#include "commands/CompositeCommands.h"

#include "commands/CommandListItem.h"
#include "commands/TreeCommands.h"

// ---------------------------------------------------------------------------------------------
// TCompositeCommand

TCompositeCommand::TCompositeCommand(ILumetaModel* AModel) : FCommandProcessor(nullptr), FModel(AModel) {
  if (!FModel) throw EInvalidOperation("A composite command needs a model");
  FCommandProcessor = FModel->GetCommandProcessor().get();
}

TCompositeCommand::TCompositeCommand(ILumetaModel* AModel, ICommandProcessor* AProcessor)
    : FCommandProcessor(AProcessor), FModel(AModel) {
  if (!FModel) throw EInvalidOperation("A composite command needs a model");
}

TCompositeCommand::~TCompositeCommand() = default;

ComPtr<ISubject> TCompositeCommand::GetSubject() { return QueryAs<ISubject>(FModel); }

std::string TCompositeCommand::GetDescription() { return {}; }

ComPtr<ISelection> TCompositeCommand::GetState() { return SelectionFromNodeIDs(FModel->GetTree().get(), FState); }

ComPtr<INode> TCompositeCommand::GetUndoNode() { throw EInvalidOperation("Method not implemented."); }

void TCompositeCommand::SetState(ISelection* ASelection) { FState = NodeIDsOfSelection(ASelection); }

ComPtr<ICommandProcessor> TCompositeCommand::GetCommandProcessor() { return FCommandProcessor; }

ComPtr<ILumetaModel> TCompositeCommand::GetModel() { return FModel; }

ICommandProcessor* TCompositeCommand::CommandProcessor() const {
  if (!FCommandProcessor) throw EInvalidOperation("The model has no command processor");
  return FCommandProcessor;
}

// ---------------------------------------------------------------------------------------------
// TMultipleCommand

TMultipleCommand::TMultipleCommand(ILumetaModel* AModel) : TImplements(AModel) {}

TMultipleCommand::~TMultipleCommand() = default;

void TMultipleCommand::Execute() {
  // A copy: a sub-command that edits this list must not disturb the walk.
  const TInterfaceList<ICommandListItem> items = FCommandList;
  for (const ComPtr<ICommandListItem>& item : items)
    CommandProcessor()->Execute(item->GetCommand().get(), item->GetSelection().get());
}

void TMultipleCommand::UnExecute() {
  const TInterfaceList<ICommandListItem> items = FCommandList;
  for (int32_t i = items.Count() - 1; i >= 0; --i) CommandProcessor()->Undo(items.Items(i)->GetCommand().get());
}

void TMultipleCommand::AddCommand(ICommand* ACommand, ISelection* ASelection) {
  if (!ACommand) throw EInvalidOperation("A multiple command cannot hold an empty command");
  FCommandList.Add(make<TCommandListItem>(ACommand, ASelection));
}

bool TMultipleCommand::FindCommand(const GUID& AIid, void** AIntf) {
  if (!AIntf) return false;
  *AIntf = nullptr;
  for (const ComPtr<ICommandListItem>& item : FCommandList)
    if (ComPtr<ICommand> command = item->GetCommand(); command && command->QueryInterface(AIid, AIntf) == S_OK)
      return true;
  return false;
}

TInterfaceList<ICommandListItem> TMultipleCommand::GetCommandList() { return FCommandList; }

void TMultipleCommand::SetCommandList(const TInterfaceList<ICommandListItem>& AList) { FCommandList = AList; }
