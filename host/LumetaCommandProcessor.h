#pragma once
// The reference host's command processor: runs commands on selections, keeps the undo and redo
// steps, and runs tree commands node by node.
#include <cstdint>
#include <vector>

#include "com/AggregableObject.h"
#include "contract/LumetaCommandsIntf.h"

// What the undo and redo steps allow now, as a window's menu and title show it.
struct TUndoState {
  bool CanUndo = false;
  bool CanRedo = false;
  // The map is as it was when MarkClean was last called (a save or a load).
  bool Clean = true;
  // The processor's index (GetIndex): it moves with every step even when the flags stay.
  int64_t Index = 0;
  bool operator==(const TUndoState&) const = default;
};

// Told after every outermost change of the steps (a command run, undone or redone, a clear, a
// clean mark); never in the middle of a run.
class IUndoStateObserver {
 public:
  virtual void UndoStateChanged(const TUndoState& AState) = 0;

 protected:
  ~IUndoStateObserver() = default;
};

// Only the outermost command of a run becomes an undo step; commands that it runs through this
// processor (a composite's sub-commands) are recorded with the run, so that a failure anywhere
// undoes what already happened, newest first, before the error reaches the caller. Rolling back
// covers what commands did through this processor or node by node; a composite that changes the
// map directly must undo that itself.
class TLumetaCommandProcessor : public TImplements<TAggregableObject, ICommandProcessor> {
 public:
  TLumetaCommandProcessor();
  ~TLumetaCommandProcessor() override;

  // Stores the selection in the command, then runs it: a command answering INodeExecute on each
  // node of the selection in order, any other through Execute. An empty selection is allowed.
  // Raises EInvalidOperation for an empty command, ENoInterface for a tree command given a
  // selection entry that is not a node; a failing command is rolled back and its error rethrown
  // (ELumetaError as it was, any other exception as an ELumetaError with its message).
  void Execute(ICommand* ACommand, ISelection* ASelection) override;
  // A command answering INodeUnExecute is undone on GetUndoNode, again and again, until that is
  // empty; any other through UnExecute.
  void Undo(ICommand* ACommand) override;
  // A failing undo drops the step (it can no longer be trusted) and the redo steps.
  void UndoLast() override;
  // Runs the newest redo step again on the selection it rebuilds (GetState). On failure the map
  // is rolled back and the step stays a redo step.
  void Redo() override;
  bool CanUndo() override;
  bool CanRedo() override;
  int32_t GetUndoCount() override;
  int32_t GetRedoCount() override;
  ComPtr<ICommand> GetUndoCommand() override;
  ComPtr<ICommand> GetRedoCommand() override;
  void Clear() override;

  // The step the map is at: a number that each new undo step gets afresh, so that undoing back to
  // a step and running another command never looks like the step it replaced. 0 before any step.
  int64_t GetIndex() const noexcept;
  // The map as it is now is the saved one; Clean stays true until the index moves away from here.
  void MarkClean();
  // The map matches no saved file, whatever the steps say (a plan read into it from elsewhere).
  void MarkUnsaved();
  bool IsClean() const noexcept { return GetIndex() == FCleanIndex; }
  TUndoState State() const noexcept;
  // The observer must outlive its registration; removing one that was never added does nothing.
  void AddObserver(IUndoStateObserver* AObserver);
  void RemoveObserver(IUndoStateObserver* AObserver);

  // True while a command executes or is undone through this processor.
  bool Running() const noexcept { return FDepth > 0; }
  // Hands the running command the commands that its run has so far completed through this
  // processor, oldest first, for a command that keeps what others ran on its behalf (a plug-in's
  // answer to a tree change): from then on it undoes them itself, newest first, and runs them
  // again on redo, and a failure later in the run no longer rolls them back. Empty outside a run.
  std::vector<ComPtr<ICommand>> TakeCompleted();

 private:
  class TDepthGuard;
  using TCommandStack = std::vector<ComPtr<ICommand>>;
  struct TStep {
    ComPtr<ICommand> Command;
    int64_t Index = 0;
  };
  // How the steps move; ChangeSteps is the one place they do.
  enum class TStepChange { Push, Undone, Redone, UndoFailed, Removed, Cleared };

  // Runs ACommand on ASelection (without SetState), rolling back on failure.
  void Perform(ICommand* ACommand, ISelection* ASelection);
  void UndoCommand(ICommand* ACommand);
  // Undoes the commands already completed in the innermost run, newest first; errors are dropped.
  void RollBack(ICommand* ACommand, bool ANodeByNode, const TCommandStack& ACompleted) noexcept;
  void CheckIdle(const char* AOperation) const;
  // ACommand is the new step's command for Push, and for Removed the command to take out.
  void ChangeSteps(TStepChange AChange, ICommand* ACommand = nullptr);
  void Notify();

  std::vector<TStep> FUndoStack;
  std::vector<TStep> FRedoStack;
  int64_t FNextIndex = 1;
  int64_t FCleanIndex = 0;
  std::vector<IUndoStateObserver*> FObservers;
  TUndoState FLastState;
  // One entry per run in progress, innermost last: the commands that run has completed so far.
  std::vector<TCommandStack> FRuns;
  int32_t FDepth = 0;
};
