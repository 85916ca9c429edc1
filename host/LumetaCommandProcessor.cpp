#include "host/LumetaCommandProcessor.h"

#include <algorithm>
#include <exception>
#include <string>
#include <utility>

namespace {

// Commands may raise anything; callers of the processor see ELumetaError only.
[[noreturn]] void RethrowAsLumetaError(const std::exception_ptr& AError) {
  try {
    std::rethrow_exception(AError);
  } catch (const ELumetaError&) {
    throw;
  } catch (const std::exception& error) {
    throw ELumetaError(error.what());
  } catch (...) {
    throw ELumetaError("Unknown error in a command");
  }
}

ICommand* CommandOf(const ComPtr<ICommand>& AEntry) { return AEntry.get(); }
template <class TEntry>
ICommand* CommandOf(const TEntry& AEntry) {
  return AEntry.Command.get();
}

// Removes the newest entry that is ACommand; false when there is none.
template <class TEntry>
bool RemoveNewest(std::vector<TEntry>& AStack, ICommand* ACommand) {
  for (auto it = AStack.rbegin(); it != AStack.rend(); ++it) {
    if (SameObject(CommandOf(*it), ACommand)) {
      AStack.erase(std::next(it).base());
      return true;
    }
  }
  return false;
}

}  // namespace

class TLumetaCommandProcessor::TDepthGuard {
 public:
  explicit TDepthGuard(TLumetaCommandProcessor& AProcessor) : FProcessor(AProcessor) { ++FProcessor.FDepth; }
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;
  ~TDepthGuard() { --FProcessor.FDepth; }

 private:
  TLumetaCommandProcessor& FProcessor;
};

TLumetaCommandProcessor::TLumetaCommandProcessor() = default;

TLumetaCommandProcessor::~TLumetaCommandProcessor() = default;

void TLumetaCommandProcessor::Execute(ICommand* ACommand, ISelection* ASelection) {
  if (!ACommand) throw EInvalidOperation("No command to execute");
  ComPtr<ICommand> command(ACommand);  // the caller may drop its reference while the command runs
  const bool outermost = FDepth == 0;
  try {
    command->SetState(ASelection);
  } catch (...) {
    RethrowAsLumetaError(std::current_exception());
  }
  Perform(command.get(), ASelection);
  if (outermost) {
    ChangeSteps(TStepChange::Push, command.get());
  } else if (!FRuns.empty()) {
    FRuns.back().push_back(command);
  }
}

void TLumetaCommandProcessor::Perform(ICommand* ACommand, ISelection* ASelection) {
  TDepthGuard depth(*this);
  FRuns.emplace_back();
  ComPtr<INodeExecute> nodeExecute = QueryAs<INodeExecute>(ACommand);
  try {
    if (nodeExecute) {
      // Taken first, so that a selection entry that is not a node fails before anything changes.
      std::vector<ComPtr<INode>> nodes;
      const int32_t count = ASelection ? ASelection->GetCount() : 0;
      for (int32_t i = 0; i < count; ++i) nodes.push_back(ASelection->GetItem(i).as<INode>());
      for (const ComPtr<INode>& node : nodes) nodeExecute->ExecuteOnNode(node.get());
    } else {
      ACommand->Execute();
    }
  } catch (...) {
    const std::exception_ptr error = std::current_exception();
    const TCommandStack completed = std::move(FRuns.back());
    FRuns.pop_back();
    RollBack(ACommand, nodeExecute != nullptr, completed);
    RethrowAsLumetaError(error);
  }
  FRuns.pop_back();
}

void TLumetaCommandProcessor::RollBack(ICommand* ACommand, bool ANodeByNode, const TCommandStack& ACompleted) noexcept {
  try {
    if (ANodeByNode) {
      if (ComPtr<INodeUnExecute> nodeUnExecute = QueryAs<INodeUnExecute>(ACommand))
        while (ComPtr<INode> node = ACommand->GetUndoNode()) nodeUnExecute->UnExecuteOnNode(node.get());
    }
    for (auto it = ACompleted.rbegin(); it != ACompleted.rend(); ++it) UndoCommand(it->get());
  } catch (...) {
    // The command's own error is the one the caller must see.
  }
}

void TLumetaCommandProcessor::UndoCommand(ICommand* ACommand) {
  TDepthGuard depth(*this);
  if (ComPtr<INodeUnExecute> nodeUnExecute = QueryAs<INodeUnExecute>(ACommand)) {
    while (ComPtr<INode> node = ACommand->GetUndoNode()) nodeUnExecute->UnExecuteOnNode(node.get());
  } else {
    ACommand->UnExecute();
  }
}

void TLumetaCommandProcessor::Undo(ICommand* ACommand) {
  if (!ACommand) throw EInvalidOperation("No command to undo");
  ComPtr<ICommand> command(ACommand);
  if (FDepth == 0) {
    if (!FUndoStack.empty() && SameObject(FUndoStack.back().Command.get(), ACommand)) return UndoLast();
    ChangeSteps(TStepChange::Removed, ACommand);
  } else if (!FRuns.empty()) {
    // Undone by the command that ran it: no longer part of what a failure must roll back.
    RemoveNewest(FRuns.back(), ACommand);
  }
  try {
    UndoCommand(command.get());
  } catch (...) {
    RethrowAsLumetaError(std::current_exception());
  }
}

void TLumetaCommandProcessor::UndoLast() {
  CheckIdle("undo");
  if (FUndoStack.empty()) return;
  ComPtr<ICommand> command = FUndoStack.back().Command;
  try {
    UndoCommand(command.get());
  } catch (...) {
    ChangeSteps(TStepChange::UndoFailed);
    RethrowAsLumetaError(std::current_exception());
  }
  ChangeSteps(TStepChange::Undone);
}

void TLumetaCommandProcessor::Redo() {
  CheckIdle("redo");
  if (FRedoStack.empty()) return;
  ComPtr<ICommand> command = FRedoStack.back().Command;
  ComPtr<ISelection> selection;
  try {
    selection = command->GetState();
  } catch (...) {
    RethrowAsLumetaError(std::current_exception());
  }
  Perform(command.get(), selection.get());
  ChangeSteps(TStepChange::Redone);
}

std::vector<ComPtr<ICommand>> TLumetaCommandProcessor::TakeCompleted() {
  if (FRuns.empty()) return {};
  return std::exchange(FRuns.back(), {});
}

bool TLumetaCommandProcessor::CanUndo() { return !FUndoStack.empty(); }

bool TLumetaCommandProcessor::CanRedo() { return !FRedoStack.empty(); }

int32_t TLumetaCommandProcessor::GetUndoCount() { return static_cast<int32_t>(FUndoStack.size()); }

int32_t TLumetaCommandProcessor::GetRedoCount() { return static_cast<int32_t>(FRedoStack.size()); }

ComPtr<ICommand> TLumetaCommandProcessor::GetUndoCommand() {
  return FUndoStack.empty() ? ComPtr<ICommand>() : FUndoStack.back().Command;
}

ComPtr<ICommand> TLumetaCommandProcessor::GetRedoCommand() {
  return FRedoStack.empty() ? ComPtr<ICommand>() : FRedoStack.back().Command;
}

void TLumetaCommandProcessor::Clear() {
  CheckIdle("clear the undo steps");
  ChangeSteps(TStepChange::Cleared);
}

int64_t TLumetaCommandProcessor::GetIndex() const noexcept {
  return FUndoStack.empty() ? 0 : FUndoStack.back().Index;
}

void TLumetaCommandProcessor::MarkClean() {
  FCleanIndex = GetIndex();
  Notify();
}

void TLumetaCommandProcessor::MarkUnsaved() {
  FCleanIndex = -1;
  Notify();
}

TUndoState TLumetaCommandProcessor::State() const noexcept {
  return {!FUndoStack.empty(), !FRedoStack.empty(), IsClean(), GetIndex()};
}

void TLumetaCommandProcessor::AddObserver(IUndoStateObserver* AObserver) {
  if (AObserver && std::ranges::find(FObservers, AObserver) == FObservers.end()) FObservers.push_back(AObserver);
}

void TLumetaCommandProcessor::RemoveObserver(IUndoStateObserver* AObserver) { std::erase(FObservers, AObserver); }

void TLumetaCommandProcessor::ChangeSteps(TStepChange AChange, ICommand* ACommand) {
  // Dropped steps are released after the stacks are consistent again: releasing a command may run
  // code that asks this processor for its state.
  std::vector<TStep> dropped;
  const bool wasClean = IsClean();
  switch (AChange) {
    case TStepChange::Push:
      dropped = std::move(FRedoStack);
      FRedoStack.clear();
      FUndoStack.push_back({ComPtr<ICommand>(ACommand), FNextIndex++});
      break;
    case TStepChange::Undone:
      FRedoStack.push_back(std::move(FUndoStack.back()));
      FUndoStack.pop_back();
      break;
    case TStepChange::Redone:
      FUndoStack.push_back(std::move(FRedoStack.back()));
      FRedoStack.pop_back();
      break;
    case TStepChange::UndoFailed:
      // The map is somewhere between two steps: the step can no longer be trusted, nor can the
      // redo steps, and no index stands for what the map now holds.
      dropped = std::move(FRedoStack);
      FRedoStack.clear();
      dropped.push_back(std::move(FUndoStack.back()));
      FUndoStack.pop_back();
      FCleanIndex = -1;
      break;
    case TStepChange::Removed:
      // Undone out of turn: the map moved without the index moving.
      if (RemoveNewest(FUndoStack, ACommand) && wasClean) FCleanIndex = -1;
      break;
    case TStepChange::Cleared:
      dropped = std::move(FUndoStack);
      for (TStep& step : FRedoStack) dropped.push_back(std::move(step));
      FUndoStack.clear();
      FRedoStack.clear();
      // The map itself did not change: if it was the saved one, it still is.
      FCleanIndex = wasClean ? 0 : -1;
      break;
  }
  Notify();
}

void TLumetaCommandProcessor::Notify() {
  const TUndoState state = State();
  if (state == FLastState) return;
  FLastState = state;
  // Copied: an observer may unregister itself while it is told.
  const std::vector<IUndoStateObserver*> observers = FObservers;
  for (IUndoStateObserver* observer : observers) observer->UndoStateChanged(state);
}

void TLumetaCommandProcessor::CheckIdle(const char* AOperation) const {
  if (FDepth > 0) throw EInvalidOperation(std::string("Cannot ") + AOperation + " while a command runs");
}
