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

// Removes the newest entry that is ACommand; false when there is none.
bool RemoveNewest(std::vector<ComPtr<ICommand>>& AStack, ICommand* ACommand) {
  for (auto it = AStack.rbegin(); it != AStack.rend(); ++it) {
    if (SameObject(it->get(), ACommand)) {
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
    FUndoStack.push_back(command);
    FRedoStack.clear();
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
    if (!FUndoStack.empty() && SameObject(FUndoStack.back().get(), ACommand)) return UndoLast();
    RemoveNewest(FUndoStack, ACommand);
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
  ComPtr<ICommand> command = FUndoStack.back();
  FUndoStack.pop_back();
  try {
    UndoCommand(command.get());
  } catch (...) {
    FRedoStack.clear();
    RethrowAsLumetaError(std::current_exception());
  }
  FRedoStack.push_back(command);
}

void TLumetaCommandProcessor::Redo() {
  CheckIdle("redo");
  if (FRedoStack.empty()) return;
  ComPtr<ICommand> command = FRedoStack.back();
  ComPtr<ISelection> selection;
  try {
    selection = command->GetState();
  } catch (...) {
    RethrowAsLumetaError(std::current_exception());
  }
  Perform(command.get(), selection.get());
  FRedoStack.pop_back();
  FUndoStack.push_back(command);
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
  return FUndoStack.empty() ? ComPtr<ICommand>() : FUndoStack.back();
}

ComPtr<ICommand> TLumetaCommandProcessor::GetRedoCommand() {
  return FRedoStack.empty() ? ComPtr<ICommand>() : FRedoStack.back();
}

void TLumetaCommandProcessor::Clear() {
  CheckIdle("clear the undo steps");
  // Moved out first: releasing a command may run code that asks this processor for its state.
  TCommandStack undo = std::move(FUndoStack);
  TCommandStack redo = std::move(FRedoStack);
  FUndoStack.clear();
  FRedoStack.clear();
}

void TLumetaCommandProcessor::CheckIdle(const char* AOperation) const {
  if (FDepth > 0) throw EInvalidOperation(std::string("Cannot ") + AOperation + " while a command runs");
}
