#pragma once
// Undo steps of the desktop window that the host's own commands do not make: several commands
// run as one step (a bar drag, a typed list of predecessors), and the task-scheduling switch.
#include <functional>
#include <string>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/CommandIntf.h"
#include "host/LumetaModel.h"

// Runs AWork once inside its own run, so that whatever AWork runs through the model's processor
// (entries, link commands) is this one undo step: undo undoes those commands newest first, redo
// runs them again in order instead of calling AWork again. An error in AWork rolls back what it
// ran so far. The model is counted.
class TDesktopStepCommand : public TImplements<TAggregableObject, ICommand> {
 public:
  TDesktopStepCommand(TLumetaModel* AModel, std::string ADescription, std::function<void()> AWork);
  ~TDesktopStepCommand() override;

  ComPtr<ISubject> GetSubject() override;
  std::string GetDescription() override { return FDescription; }
  ComPtr<ISelection> GetState() override;
  // Always empty: the processor runs the step whole.
  ComPtr<INode> GetUndoNode() override { return {}; }
  void Execute() override;
  void SetState(ISelection* ASelection) override;
  void UnExecute() override;

 private:
  ComPtr<TLumetaModel> FModel;
  std::string FDescription;
  std::function<void()> FWork;  // dropped after the first run
  std::vector<ComPtr<ICommand>> FDone;
  std::vector<std::string> FState;
};

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
