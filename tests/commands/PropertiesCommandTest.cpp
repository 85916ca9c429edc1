#include <gtest/gtest.h>

#include "CommandTestFakes.h"
#include "commands/PropertyCommandHelper.h"
#include "commands/CompositeCommands.h"
#include "commands/TreeCommands.h"

namespace {

using TPropertyCommandTest = TCommandTest;

TEST_F(TPropertyCommandTest, UndoAndRedoRestoreEveryNodeExactly) {
  Give(A, 1, "a");
  Give(C, 3, "c");
  const std::vector<TTaskValue> before = Values();
  ComPtr<IProperty> edit = NewTask(7, "x");
  ComPtr<ICommand> command = TPropertyCommandHelper::PreparePropertyCommand(edit.get(), nullptr, Model.get(), -1);

  Processor()->Execute(command.get(), Select({A, B, C}).get());
  const std::vector<TTaskValue> after{{true, 7, "x"}, {true, 7, "x"}, {true, 7, "x"}};
  EXPECT_EQ(Values(), after);
  // Each node got its own object, attached to it; the command's property stays unattached.
  ComPtr<IProperty> onA = A->FindProperty("Task");
  ComPtr<IProperty> onB = B->FindProperty("Task");
  EXPECT_FALSE(SameObject(onA.get(), onB.get()));
  EXPECT_FALSE(SameObject(onA.get(), edit.get()));
  EXPECT_TRUE(SameObject(onB->GetHostObject().get(), static_cast<INode*>(B)));
  EXPECT_FALSE(edit->GetHostObject());

  Processor()->UndoLast();
  EXPECT_EQ(Values(), before) << "B, which had no Task, loses it again";
  EXPECT_FALSE(command->GetUndoNode());

  Processor()->Redo();
  EXPECT_EQ(Values(), after);
  Processor()->UndoLast();
  EXPECT_EQ(Values(), before);
}

TEST_F(TPropertyCommandTest, UndoWalksTheNodesNewestFirstAndReportsTheOperationCode) {
  ComPtr<ICommand> defaultCode = TPropertyCommandHelper::PreparePropertyCommand(NewTask(1, "x").get(), nullptr, Model.get(), -1);
  Processor()->Execute(defaultCode.get(), Select({A, B, C}).get());
  Processor()->UndoLast();
  const std::vector<std::pair<int32_t, std::string>> expected{
      {11, A->GetID()}, {11, B->GetID()}, {11, C->GetID()}, {11, C->GetID()}, {11, B->GetID()}, {11, A->GetID()}};
  EXPECT_EQ(Recorder->Changes, expected);

  Recorder->Changes.clear();
  ComPtr<ISubject> ownSubject = make<TSubject>();
  ComPtr<TChangeRecorder> ownRecorder = make<TChangeRecorder>();
  ownSubject->Attach(ownRecorder.get());
  ComPtr<ICommand> ownCode = TPropertyCommandHelper::PreparePropertyCommand(NewTask(1, "x").get(), Model.get(), ownSubject.get(), 42);
  Processor()->Execute(ownCode.get(), Select({B}).get());
  EXPECT_TRUE(Recorder->Changes.empty()) << "reported to the given subject instead of the model's";
  ASSERT_EQ(ownRecorder->Changes.size(), 1u);
  EXPECT_EQ(ownRecorder->Changes[0].first, 42);
  ownSubject->Detach(ownRecorder.get());
}

TEST_F(TPropertyCommandTest, NodeByNodeStacksPairNodesWithTheirMementos) {
  Give(B, 2, "b");
  ComPtr<TPropertiesCommand> command = make<TPropertiesCommand>(Model->GetTree().get(), Model->Subject(), Model.get(), -1);
  ComPtr<TData> list = make<TData>();
  list->AddProperty(NewTask(5, "x").get());
  command->SetProperties(list.get());
  EXPECT_FALSE(command->GetUndoNode()) << "nothing executed yet";

  command->ExecuteOnNode(A);
  command->ExecuteOnNode(B);
  EXPECT_EQ(command->MementoCount(), 2);
  ASSERT_TRUE(command->GetUndoNode());
  EXPECT_EQ(command->GetUndoNode()->GetID(), B->GetID());

  // Undoing the top node pops exactly its entry, so the stacks stay paired.
  command->UnExecuteOnNode(command->GetUndoNode().get());
  EXPECT_EQ(ValueOf(B), (TTaskValue{true, 2, "b"}));
  EXPECT_EQ(ValueOf(A), (TTaskValue{true, 5, "x"}));
  EXPECT_EQ(command->GetUndoNode()->GetID(), A->GetID());
  command->UnExecuteOnNode(A);
  EXPECT_EQ(ValueOf(A), KNoTask);
  EXPECT_FALSE(command->GetUndoNode());
  EXPECT_THROW(command->UnExecuteOnNode(A), EInvalidOperation);
}

TEST_F(TPropertyCommandTest, AnEditOfSeveralNodesWritesOnlyTheEditedUnmixedFields) {
  Give(A, 1, "a");
  Give(B, 2, "b");
  // As a combined record after the user changed the label: the count differed (mixed).
  ComPtr<IProperty> edit = Model->NewProperty("Task");
  Field(edit.get(), 0)->SetMixed(true);
  QueryAs<IStringAttribute>(Field(edit.get(), 1).get())->SetValue("new");

  ComPtr<ICommand> command = Model->PreparePropertyCommand(edit.get(), nullptr, -1);
  Processor()->Execute(command.get(), Select({A, B, C}).get());
  EXPECT_EQ(ValueOf(A), (TTaskValue{true, 1, "new"}));
  EXPECT_EQ(ValueOf(B), (TTaskValue{true, 2, "new"}));
  EXPECT_EQ(ValueOf(C), (TTaskValue{true, 0, "new"}));
}

TEST_F(TPropertyCommandTest, RemovingPropertiesIsUndoneWithTheOldValues) {
  Give(A, 1, "a");
  Give(C, 3, "c");
  const std::vector<TTaskValue> before = Values();
  ComPtr<ICommand> command = Model->PrepareRemovePropertiesCommand({"Task"}, nullptr, -1);

  Processor()->Execute(command.get(), Select({A, B, C}).get());
  EXPECT_EQ(Values(), (std::vector<TTaskValue>{KNoTask, KNoTask, KNoTask}));
  Processor()->UndoLast();
  EXPECT_EQ(Values(), before);
  Processor()->Redo();
  EXPECT_EQ(Values(), (std::vector<TTaskValue>{KNoTask, KNoTask, KNoTask}));
}

TEST_F(TPropertyCommandTest, StateSurvivesNodesBeingDeletedAndRecreated) {
  ComPtr<ICommand> tree = TPropertyCommandHelper::PreparePropertyCommand(NewTask(1, "x").get(), nullptr, Model.get(), -1);
  ComPtr<ICommand> composite = make<TMultipleCommand>(Model.get());
  const int64_t idA = A->ID(), idC = C->ID();
  for (ICommand* command : {tree.get(), composite.get()}) {
    command->SetState(Select({C, A}).get());
    ComPtr<ISelection> state = command->GetState();
    ASSERT_EQ(state->GetCount(), 2);
    EXPECT_TRUE(SameObject(state->GetItem(0).get(), static_cast<INode*>(C)));
    EXPECT_TRUE(SameObject(state->GetItem(1).get(), static_cast<INode*>(A)));
  }

  TLumetaNode* root = Model->Map().Root();
  Model->Map().DetachNode(A);
  Model->Map().DetachNode(C);
  EXPECT_EQ(tree->GetState()->GetCount(), 0) << "deleted nodes are left out";
  TLumetaNode* newC = Model->Map().AddNodeWithID(root, idC);
  TLumetaNode* newA = Model->Map().AddNodeWithID(root, idA);
  for (ICommand* command : {tree.get(), composite.get()}) {
    ComPtr<ISelection> state = command->GetState();
    ASSERT_EQ(state->GetCount(), 2);
    EXPECT_TRUE(SameObject(state->GetItem(0).get(), static_cast<INode*>(newC)));
    EXPECT_TRUE(SameObject(state->GetItem(1).get(), static_cast<INode*>(newA)));
  }
}

}  // namespace
