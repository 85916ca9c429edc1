#pragma once
// Undo steps of the desktop window that the host's own commands do not make: several commands
// run as one step (a bar drag, a typed list of predecessors), and the task-scheduling switch.
#include <functional>
#include <string>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/CommandIntf.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"

// Several commands as one step of the desktop (a bar drag, a typed list of predecessors).
using TDesktopStepCommand = TEditStepCommand;

// Turns the map's task scheduling on or off; undo puts back what it was.
class TTaskSchedulingCommand : public TImplements<TAggregableObject, ICommand> {
 public:
  TTaskSchedulingCommand(TLumetaModel* AModel, bool AOn);
  ~TTaskSchedulingCommand() override;

  ComPtr<ISubject> GetSubject() override;
  std::string GetDescription() override;  // "Task Scheduling On" or "... Off"
  ComPtr<ISelection> GetState() override { return {}; }
  ComPtr<INode> GetUndoNode() override { return {}; }
  void Execute() override;
  void SetState(ISelection*) override {}
  void UnExecute() override;

 private:
  ComPtr<TLumetaModel> FModel;
  bool FOn;
  bool FWasOn = false;
};
