#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "CommandTestFakes.h"
#include "commands/PropertyCommandHelper.h"
#include "commands/CompositeCommands.h"
#include "commands/TreeCommands.h"
#include "tests/support/Thrown.h"

namespace {

struct IMarker : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0C3D5E71-2A4B-4C6D-8E9F-A0B1C2D3E4F5");
};

// Writes "+name" to the log when executed and "-name" when undone.
class TLoggedCommand : public TImplements<TAggregableObject, ICommand> {
 public:
  TLoggedCommand(std::string AName, std::shared_ptr<std::string> ALog) : FName(std::move(AName)), FLog(std::move(ALog)) {}
  ComPtr<ISubject> GetSubject() override { return {}; }
  std::string GetDescription() override { return FName; }
  ComPtr<ISelection> GetState() override { return make<TData>(); }
  ComPtr<INode> GetUndoNode() override { return {}; }
  void Execute() override {
    if (Fails) throw std::runtime_error(FName + " failed");
    *FLog += "+" + FName;
  }
  void SetState(ISelection*) override {}
  void UnExecute() override {
    if (UndoFails) throw std::runtime_error(FName + " cannot be undone");
    *FLog += "-" + FName;
  }
  bool Fails = false;
  bool UndoFails = false;

 private:
  std::string FName;
  std::shared_ptr<std::string> FLog;
};

class TMarkedCommand : public TImplements<TLoggedCommand, IMarker> {
 public:
  using TImplements::TImplements;
};

// Puts its properties on nodes like any property command, but fails on the third node after
// changing it.
class TFailingPropertiesCommand : public TPropertiesCommand {
 public:
  using TPropertiesCommand::TPropertiesCommand;

 protected:
  void ChangeNode(INode* ANode) override {
    TPropertiesCommand::ChangeNode(ANode);
    if (++FCalls == 3) throw std::runtime_error("third node refused");
  }

 private:
  int FCalls = 0;
};

class TCommandProcessorTest : public TCommandTest {
 protected:
  ComPtr<TLoggedCommand> Logged(const std::string& AName) { return make<TLoggedCommand>(AName, Log); }
  ComPtr<ICommand> TaskCommand(int32_t ACount, const std::string& ALabel) {
    return TPropertyCommandHelper::PreparePropertyCommand(NewTask(ACount, ALabel).get(), nullptr, Model.get(), -1);
  }
  std::shared_ptr<std::string> Log = std::make_shared<std::string>();
};

TEST_F(TCommandProcessorTest, MultipleCommandRunsInOrderUndoesInReverseAndIsOneStep) {
  ComPtr<TMultipleCommand> empty = make<TMultipleCommand>(Model.get());
  Processor()->Execute(empty.get(), nullptr);
  Processor()->UndoLast();
  EXPECT_EQ(*Log, "");

  ComPtr<TMultipleCommand> multiple = make<TMultipleCommand>(Model.get());
  multiple->AddCommand(Logged("A").get(), nullptr);
  multiple->AddCommand(Logged("B").get(), nullptr);
  multiple->AddCommand(Logged("C").get(), nullptr);
  Processor()->Execute(multiple.get(), nullptr);
  EXPECT_EQ(*Log, "+A+B+C");
  EXPECT_EQ(Processor()->GetUndoCount(), 1) << "sub-commands are not undo steps of their own";
  Processor()->UndoLast();
  EXPECT_EQ(*Log, "+A+B+C-C-B-A");
  Processor()->Redo();
  EXPECT_EQ(*Log, "+A+B+C-C-B-A+A+B+C");
}

TEST_F(TCommandProcessorTest, FindCommandAnswersTheFirstMatchOrNothing) {
  ComPtr<TMultipleCommand> multiple = make<TMultipleCommand>(Model.get());
  multiple->AddCommand(Logged("plain").get(), nullptr);
  multiple->AddCommand(make<TMarkedCommand>("first", Log).get(), nullptr);
  multiple->AddCommand(make<TMarkedCommand>("second", Log).get(), nullptr);

  ComPtr<IMarker> found;
  EXPECT_TRUE(multiple->FindCommand(uuidof<IMarker>(), found.put_void()));
  EXPECT_EQ(found.as<ICommand>()->GetDescription(), "first");

  ComPtr<IMultipleCommand> none = make<TMultipleCommand>(Model.get()).as<IMultipleCommand>();
  none->AddCommand(Logged("plain").get(), nullptr);
  ComPtr<IMarker> missing;
  EXPECT_FALSE(none->FindCommand(uuidof<IMarker>(), missing.put_void()));
  EXPECT_FALSE(missing);
}

TEST_F(TCommandProcessorTest, AFailingTreeCommandLeavesTheMapAsItWas) {
  Give(A, 1, "a");
  Give(C, 3, "c");
  const std::vector<TTaskValue> before = Values();
  ComPtr<TData> list = make<TData>();
  list->AddProperty(NewTask(9, "x").get());
  ComPtr<TFailingPropertiesCommand> command =
      make<TFailingPropertiesCommand>(Model->GetTree().get(), Model->Subject(), Model.get(), -1);
  command->SetProperties(list.get());

  EXPECT_EQ(ThrownText<ELumetaError>([&] { Processor()->Execute(command.get(), Select({A, B, C}).get()); }),
            "third node refused");
  EXPECT_EQ(Values(), before);
  EXPECT_FALSE(command->GetUndoNode());
  EXPECT_FALSE(Processor()->CanUndo());
}

TEST_F(TCommandProcessorTest, AFailingSubCommandRollsBackTheWholeComposite) {
  Give(A, 1, "a");
  ComPtr<TLoggedCommand> failing = Logged("F");
  failing->Fails = true;
  ComPtr<TMultipleCommand> inner = make<TMultipleCommand>(Model.get());
  inner->AddCommand(Logged("I").get(), nullptr);
  inner->AddCommand(failing.get(), nullptr);
  ComPtr<TMultipleCommand> outer = make<TMultipleCommand>(Model.get());
  outer->AddCommand(TaskCommand(5, "x").get(), Select({A, B}).get());
  outer->AddCommand(Logged("O").get(), nullptr);
  outer->AddCommand(inner.get(), nullptr);

  EXPECT_THROW(Processor()->Execute(outer.get(), nullptr), ELumetaError);
  EXPECT_EQ(*Log, "+O+I-I-O");
  EXPECT_EQ(Values(), (std::vector<TTaskValue>{{true, 1, "a"}, KNoTask, KNoTask}));
  EXPECT_FALSE(Processor()->CanUndo());
  EXPECT_FALSE(Processor()->Running());
}

TEST_F(TCommandProcessorTest, ANewCommandClearsTheRedoSteps) {
  ComPtr<ICommand> first = TaskCommand(1, "first");
  Processor()->Execute(first.get(), Select({A}).get());
  Processor()->UndoLast();
  ASSERT_TRUE(Processor()->CanRedo());
  EXPECT_TRUE(SameObject(Processor()->GetRedoCommand().get(), first.get()));

  Processor()->Execute(TaskCommand(2, "second").get(), Select({A}).get());
  EXPECT_FALSE(Processor()->CanRedo());
  Processor()->Redo();  // nothing to redo: no effect
  EXPECT_EQ(ValueOf(A), (TTaskValue{true, 2, "second"}));
  EXPECT_EQ(Processor()->GetUndoCount(), 1);
}

TEST_F(TCommandProcessorTest, UndoOfTheNewestStepByNameMovesItToRedo) {
  ComPtr<ICommand> command = TaskCommand(4, "x");
  Processor()->Execute(command.get(), Select({B}).get());
  Processor()->Undo(command.get());
  EXPECT_EQ(ValueOf(B), KNoTask);
  EXPECT_EQ(Processor()->GetUndoCount(), 0);
  EXPECT_EQ(Processor()->GetRedoCount(), 1);
}

}  // namespace

namespace {

class TUndoStateLog : public IUndoStateObserver {
 public:
  void UndoStateChanged(const TUndoState& AState) override { States.push_back(AState); }
  std::vector<TUndoState> States;
};

}  // namespace

TEST_F(TCommandProcessorTest, CleanFollowsTheIndexAndObserversHearEveryOutermostChange) {
  TUndoStateLog log;
  Processor()->AddObserver(&log);
  EXPECT_TRUE(Processor()->IsClean()) << "a fresh map is the saved one";

  ComPtr<TMultipleCommand> multiple = make<TMultipleCommand>(Model.get());
  multiple->AddCommand(Logged("A").get(), nullptr);
  multiple->AddCommand(Logged("B").get(), nullptr);
  Processor()->Execute(multiple.get(), nullptr);
  ASSERT_EQ(log.States.size(), 1u) << "sub-commands run inside the step tell nobody";
  EXPECT_TRUE(log.States.back().CanUndo);
  EXPECT_FALSE(log.States.back().Clean);

  Processor()->MarkClean();
  EXPECT_TRUE(log.States.back().Clean);
  Processor()->UndoLast();
  EXPECT_FALSE(Processor()->IsClean());
  EXPECT_TRUE(log.States.back().CanRedo);
  Processor()->Redo();
  EXPECT_TRUE(Processor()->IsClean()) << "redo returns to the saved step";

  // Back one step and a different command: as many steps as when saved, but not the saved map.
  Processor()->UndoLast();
  Processor()->Execute(Logged("C").get(), nullptr);
  EXPECT_EQ(Processor()->GetUndoCount(), 1);
  EXPECT_FALSE(Processor()->IsClean());
  EXPECT_FALSE(log.States.back().CanRedo);

  // Forgetting the steps leaves the map as it is, so the clean state stays what it was.
  Processor()->Clear();
  EXPECT_FALSE(Processor()->IsClean());
  Processor()->MarkClean();
  Processor()->Clear();
  EXPECT_TRUE(Processor()->IsClean());

  const size_t told = log.States.size();
  Processor()->RemoveObserver(&log);
  Processor()->Execute(Logged("D").get(), nullptr);
  EXPECT_EQ(log.States.size(), told);
}

TEST_F(TCommandProcessorTest, FailedUndoLeavesNoStepThatLooksSaved) {
  ComPtr<TLoggedCommand> first = Logged("A");
  Processor()->Execute(first.get(), nullptr);
  Processor()->MarkClean();
  ComPtr<TLoggedCommand> broken = Logged("B");
  broken->UndoFails = true;
  Processor()->Execute(broken.get(), nullptr);
  EXPECT_THROW(Processor()->UndoLast(), ELumetaError);
  EXPECT_EQ(Processor()->GetUndoCommand().get(), static_cast<ICommand*>(first.get()));
  EXPECT_FALSE(Processor()->IsClean()) << "the map is no longer the one saved at step A";
}
