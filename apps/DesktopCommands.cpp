#include "apps/DesktopCommands.h"

#include <utility>

#include "com/ComErrors.h"
#include "commands/TreeCommands.h"

namespace {

ComPtr<ISubject> SubjectOf(TLumetaModel* AModel) { return QueryAs<ISubject>(static_cast<ILumetaModel*>(AModel)); }

}  // namespace

// ---- TDesktopStepCommand

TDesktopStepCommand::TDesktopStepCommand(TLumetaModel* AModel, std::string ADescription, std::function<void()> AWork)
    : FModel(AModel), FDescription(std::move(ADescription)), FWork(std::move(AWork)) {
  if (!AModel) throw EInvalidOperation("A desktop step needs a model");
}

TDesktopStepCommand::~TDesktopStepCommand() = default;

ComPtr<ISubject> TDesktopStepCommand::GetSubject() { return SubjectOf(FModel.get()); }

ComPtr<ISelection> TDesktopStepCommand::GetState() { return SelectionFromNodeIDs(FModel->GetTree().get(), FState); }

void TDesktopStepCommand::SetState(ISelection* ASelection) { FState = NodeIDsOfSelection(ASelection); }

void TDesktopStepCommand::Execute() {
  TLumetaCommandProcessor* processor = FModel->Processor();
  if (FWork) {
    FWork();
    FWork = nullptr;
  } else {
    // Calling the work again could answer otherwise; redo brings back exactly what undo took.
    for (const ComPtr<ICommand>& command : FDone) processor->Execute(command.get(), command->GetState().get());
  }
  FDone = processor->TakeCompleted();
}

void TDesktopStepCommand::UnExecute() {
  for (auto it = FDone.rbegin(); it != FDone.rend(); ++it) FModel->Processor()->Undo(it->get());
}

// ---- TTaskSchedulingCommand

TTaskSchedulingCommand::TTaskSchedulingCommand(TLumetaModel* AModel, bool AOn) : FModel(AModel), FOn(AOn) {
  if (!AModel) throw EInvalidOperation("A scheduling switch needs a model");
}

TTaskSchedulingCommand::~TTaskSchedulingCommand() = default;

ComPtr<ISubject> TTaskSchedulingCommand::GetSubject() { return SubjectOf(FModel.get()); }

std::string TTaskSchedulingCommand::GetDescription() {
  return FOn ? "Task Scheduling On" : "Task Scheduling Off";
}

void TTaskSchedulingCommand::Execute() {
  IMapSettings* settings = FModel->Map().Settings();
  FWasOn = settings->GetTaskScheduling();
  settings->SetTaskScheduling(FOn);
}

void TTaskSchedulingCommand::UnExecute() { FModel->Map().Settings()->SetTaskScheduling(FWasOn); }
