#include "apps/DesktopCommands.h"

#include <utility>

#include "com/ComErrors.h"

namespace {

ComPtr<ISubject> SubjectOf(TLumetaModel* AModel) { return QueryAs<ISubject>(static_cast<ILumetaModel*>(AModel)); }

}  // namespace

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
