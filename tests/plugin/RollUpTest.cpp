#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "com/ComErrors.h"
#include "com/OleDate.h"
#include "host/LumetaMap.h"
#include "host/xml/LumetaXmlArchive.h"
#include "plugin/ActionHelpers.h"
#include "plugin/ActionProperty.h"
#include "plugin/RolledUpAction.h"
#include "plugin/ShownActions.h"
#include "tests/support/FakeWorkingScheduler.h"
#include "tests/support/InProcessPlugIn.h"
#include "tests/support/StubNode.h"
#include "tests/support/FakeProperty.h"

namespace {

const double Mon = EncodeDate(2026, 12, 7);  // a Monday
double At(double ADay, int AHour) { return ADay + AHour / 24.0; }

struct TTaskValues {
  double Start = 0;
  double Finish = 0;
  double Duration = 0;
  int32_t Measure = amDays;
  int32_t Complete = 0;
};

// A map whose settings a test switches; tasks are nodes with action records.
class RollUpTest : public ::testing::Test {
 protected:
  RollUpTest() { Map.Root()->SetAttribute("MapSettings", Settings); }

  TLumetaNode* Task(TLumetaNode* AParent, const TTaskValues& AValues) {
    TLumetaNode* node = Map.AddNode(AParent ? AParent : Map.Root(), "task");
    Set(node, AValues);
    return node;
  }
  static void Set(TLumetaNode* ANode, const TTaskValues& AValues) {
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(ANode, true);
    action->SetStartDate(AValues.Start);
    action->SetCompletedDate(AValues.Finish);
    action->SetDuration(AValues.Duration);
    action->SetDurationMeasure(AValues.Measure);
    action->SetComplete(AValues.Complete);
  }
  static ComPtr<IActionAttribute> Action(TLumetaNode* ANode) { return TActionHelper::GetAction(ANode, false); }
  void UseScheduler() { Settings->Scheduler = ComPtr<IUnknown>(static_cast<IWorkingScheduler*>(make<TFakeWorkingScheduler>().get())); }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};  // after Archive: registers its managers
  TLumetaMap Map;
  ComPtr<TFakeMapSettings> Settings = make<TFakeMapSettings>(true);
};

TEST_F(RollUpTest, WithoutASchedulerTheDurationCountsCalendarDaysBothEndsIncluded) {
  TLumetaNode* summary = Task(nullptr, {});
  TLumetaNode* child = Task(summary, {At(Mon, 17), At(Mon + 1, 9), 1, amDays, 0});
  EXPECT_EQ(Action(summary)->GetDuration(), 2);
  Set(child, {At(Mon + 1, 9), At(Mon, 17), 1, amDays, 0});
  EXPECT_EQ(Action(summary)->GetDuration(), 0) << "a finish day before the start day";
}

TEST_F(RollUpTest, SummaryWithoutSubtaskRecordsKeepsTheSentinelDates) {
  UseScheduler();
  TLumetaNode* summary = Task(nullptr, {At(Mon, 8), At(Mon, 17), 1, amDays, 40});
  Map.AddNode(summary, "no record");
  ComPtr<IActionAttribute> action = Action(summary);
  EXPECT_EQ(action->GetStartDate(), KNoRolledUpStart);
  EXPECT_EQ(action->GetCompletedDate(), KNoRolledUpFinish);
  EXPECT_EQ(action->GetDuration(), 0);
  EXPECT_EQ(action->GetComplete(), 0);
  EXPECT_EQ(summary->FindProperty("Action")->GetHint().find("Date"), std::string::npos) << "no dates in the tooltip";
}

TEST_F(RollUpTest, NodeWithoutChildrenRollsUpToItsOwnRecord) {
  UseScheduler();
  TLumetaNode* task = Task(nullptr, {At(Mon, 8), At(Mon + 1, 12), 1.5, amDays, 40});
  ComPtr<TRolledUpAction> rolled =
      make<TRolledUpAction>(TActionAttribute::FromAction(Action(task).get()), static_cast<INode*>(task));
  EXPECT_EQ(rolled->GetStartDate(), At(Mon, 8));
  EXPECT_EQ(rolled->GetCompletedDate(), At(Mon + 1, 12));
  EXPECT_EQ(rolled->GetDuration(), 1.5);
  EXPECT_EQ(rolled->GetDurationMeasure(), amDays);
  EXPECT_EQ(rolled->GetComplete(), 40);
  EXPECT_EQ(rolled->GetStatus(), "In Progress");
}

TEST_F(RollUpTest, RecordFollowsItsPropertyFromNodeToNode) {
  UseScheduler();
  TLumetaNode* summary = Task(nullptr, {At(Mon, 8), At(Mon, 17), 1, amDays, 0});
  Task(summary, {At(Mon + 1, 8), At(Mon + 1, 17), 1, amDays, 0});
  TLumetaNode* leaf = Task(nullptr, {});
  ComPtr<IProperty> property = summary->FindProperty("Action");
  ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(property.get());
  EXPECT_EQ(action->GetStartDate(), At(Mon + 1, 8)) << "rolled up on the summary";

  summary->RemoveProperty("Action");
  EXPECT_EQ(action->GetStartDate(), At(Mon, 8)) << "its own once detached";
  leaf->SetProperty(property.get());
  EXPECT_EQ(action->GetStartDate(), At(Mon, 8)) << "its own on a task without subtasks";
  Task(leaf, {At(Mon + 2, 8), At(Mon + 2, 17), 1, amDays, 0});
  EXPECT_EQ(action->GetStartDate(), At(Mon + 2, 8)) << "rolled up once the node gains a subtask";
  Settings->Scheduling = false;
  EXPECT_EQ(action->GetStartDate(), At(Mon, 8)) << "its own while the map does not schedule";
}

// What a table row shows must be what the record's own getters answer, however the rows are
// listed: whole branches in pre-order roll up from the rows, anything else by walks.
TEST_F(RollUpTest, ShownActionsAnswerAsTheGettersForAnyListOfNodes) {
  UseScheduler();
  // Two phases, the first two levels deep, a node without record, a summary without records below.
  TLumetaNode* phase = Task(nullptr, {At(Mon, 8), At(Mon, 17), 9, amHours, 0});
  TLumetaNode* inner = Task(phase, {});
  Task(inner, {At(Mon, 8), At(Mon + 1, 17), 2, amDays, 100});
  Task(inner, {At(Mon + 2, 8), At(Mon + 2, 12), 4, amHours, 50});
  Map.AddNode(phase, "no record");
  Task(phase, {At(Mon + 3, 8), At(Mon + 4, 17), 2, amDays, 0});
  TLumetaNode* second = Task(nullptr, {});
  TLumetaNode* empty = Task(second, {});
  Map.AddNode(empty, "no record");
  Task(second, {At(Mon + 7, 8), At(Mon + 7, 17), 1, amDays, 30});
  Action(second)->SetDueDate(Mon + 9);
  Action(second)->SetPriority("High");

  std::vector<INode*> preOrder;
  std::vector<int32_t> levels;
  TLumetaMap::ForEachInSubtree(Map.Root(), [&](TLumetaNode* ANode, int ALevel) {
    preOrder.push_back(ANode);
    levels.push_back(ALevel);
  });
  // Asked with each node's record handed over, as a host that walks its nodes does, or without;
  // a list of whole branches also with its depths, as a host that lists the whole map does.
  const auto check = [&](std::vector<INode*> ANodes, const char* AList, std::vector<int32_t> ADepths = {}) {
    SCOPED_TRACE(AList);
    std::vector<IProperty*> records;
    for (INode* node : ANodes) records.push_back(node ? node->FindProperty(KActionPropertyName).get() : nullptr);
    const char* const ways[] = {"records looked up", "records given", "records and depths given"};
    for (int way = 0; way < (ADepths.empty() ? 2 : 3); ++way) {
      SCOPED_TRACE(ways[way]);
      const std::vector<TShownAction> shown = way == 2   ? ShownActionsOf(ANodes, records, ADepths)
                                              : way == 1 ? ShownActionsOf(ANodes, records)
                                                         : ShownActionsOf(ANodes);
      ASSERT_EQ(shown.size(), ANodes.size());
      for (size_t i = 0; i < ANodes.size(); ++i) {
        SCOPED_TRACE(i);
        ComPtr<IActionAttribute> action = ANodes[i] ? TActionHelper::GetAction(ANodes[i], false) : nullptr;
        EXPECT_EQ(shown[i].HasAction, action != nullptr);
        if (!action) continue;
        EXPECT_EQ(shown[i].Start, action->GetStartDate());
        EXPECT_EQ(shown[i].Finish, action->GetCompletedDate());
        EXPECT_EQ(shown[i].Duration, action->GetDuration());
        EXPECT_EQ(shown[i].DurationMeasure, action->GetDurationMeasure());
        EXPECT_EQ(shown[i].Complete, action->GetComplete());
        EXPECT_EQ(shown[i].Status, action->GetStatus());
        EXPECT_EQ(shown[i].Due, action->GetDueDate());
        EXPECT_EQ(shown[i].Priority, action->GetPriority());
      }
    }
  };
  for (const bool scheduling : {true, false}) {
    Settings->Scheduling = scheduling;
    SCOPED_TRACE(scheduling ? "scheduling" : "not scheduling");
    check(preOrder, "the whole map in pre-order, root first", levels);
    std::vector<int32_t> below(levels.begin() + 1, levels.end());
    for (int32_t& depth : below) --depth;
    check({preOrder.begin() + 1, preOrder.end()}, "the tree below the root", below);
    check({preOrder.begin() + 2, preOrder.begin() + 6}, "a window that starts inside a phase");
    std::vector<INode*> skipping = preOrder;
    skipping.erase(skipping.begin() + 3);
    check(skipping, "one subtask left out");
    check({preOrder.rbegin(), preOrder.rend()}, "reversed");
    check({phase, phase, nullptr, inner, inner, second}, "twice, and an empty entry");
  }
  Settings->Scheduling = true;
  EXPECT_THROW(ShownActionsOf(preOrder, {}, std::vector<int32_t>(preOrder.size(), 1)), EInvalidOperation)
      << "depths that no pre-order from depth 0 has";
}

// ---------------------------------------------------------------------------------------------
// Walks over nodes that count what the roll-up asks of them.

class TCountingNode;
struct TTree {
  std::vector<ComPtr<TCountingNode>> Nodes;
  int Lookups = 0;
};

class TCountingNode : public TStubNode {
 public:
  TCountingNode(TTree& ATree, TCountingNode* AParent) : FTree(ATree), FParent(AParent) {
    if (AParent) AParent->FChildren.push_back(this);
    FProperty = make<TFakeProperty<TActionAttribute>>("Action");
    FProperty->SetHostObject(static_cast<INode*>(this));
    Action()->SetFlagEx(afLoaded, true, true);
  }
  TActionAttribute* Action() { return FProperty->Record(); }

  ComPtr<INode> GetFirstChild() override { return FChildren.empty() ? nullptr : ComPtr<INode>(FChildren.front()); }
  ComPtr<INode> GetNextSibling() override {
    if (!FParent) return {};
    const auto& siblings = FParent->FChildren;
    for (size_t i = 0; i + 1 < siblings.size(); ++i)
      if (siblings[i] == this) return ComPtr<INode>(siblings[i + 1]);
    return {};
  }
  ComPtr<INode> GetParent() override { return ComPtr<INode>(FParent); }
  bool HasChildren() override { return !FChildren.empty(); }
  bool IsSummaryTask() override { return !FChildren.empty(); }
  ComPtr<INode> GetRoot() override { return ComPtr<INode>(FTree.Nodes.front().get()); }
  ComPtr<IAttribute> FindAttribute(const std::string& AName) override {
    return AName == "MapSettings" ? ComPtr<IAttribute>(Settings) : ComPtr<IAttribute>();
  }
  ComPtr<IProperty> FindProperty(const std::string& AName) override {
    ++FTree.Lookups;
    return AName == "Action" ? ComPtr<IProperty>(FProperty) : ComPtr<IProperty>();
  }

  ComPtr<TFakeMapSettings> Settings = make<TFakeMapSettings>(true);

 private:
  TTree& FTree;
  TCountingNode* FParent;
  std::vector<TCountingNode*> FChildren;  // the tree owns them
  ComPtr<TFakeProperty<TActionAttribute>> FProperty;
};

TCountingNode* Add(TTree& ATree, TCountingNode* AParent) {
  ATree.Nodes.push_back(make<TCountingNode>(ATree, AParent));
  return ATree.Nodes.back().get();
}

TEST(RollUpWalkTest, OneQueryLooksAtEachDescendantOnce) {
  TTree tree;
  TCountingNode* root = Add(tree, nullptr);
  TCountingNode* top = Add(tree, root);
  for (int i = 0; i < 3; ++i) {
    TCountingNode* middle = Add(tree, top);
    for (int j = 0; j < 3; ++j) {
      TCountingNode* leaf = Add(tree, middle);
      leaf->Action()->SetDuration(1);
      leaf->Action()->SetComplete(j == 0 ? 100 : 0);
    }
  }
  EXPECT_EQ(top->Action()->GetComplete(), 33);
  EXPECT_EQ(tree.Lookups, 12) << "three summaries and nine tasks below the summary asked";
}

// A view holds the roll-ups while it paints: its rows read every summary of a branch, each of
// which would otherwise walk all below it again. What changes after the hold shows at once.
TEST(RollUpWalkTest, HeldRollUpsLookAtEachTaskOncePerHoldAndNest) {
  TTree tree;
  TCountingNode* root = Add(tree, nullptr);
  std::vector<TCountingNode*> chain{Add(tree, root)};
  for (int i = 0; i < 9; ++i) chain.push_back(Add(tree, chain.back()));
  chain.back()->Action()->SetDuration(1);
  chain.back()->Action()->SetComplete(40);
  const auto readAll = [&] {
    for (TCountingNode* node : chain) EXPECT_EQ(node->Action()->GetComplete(), 40);
  };

  TRollUpHold::Hold(root);
  TRollUpHold::Hold(root);
  readAll();
  EXPECT_EQ(tree.Lookups, 9) << "each task below the top looked up once";
  TRollUpHold::Release(root);
  readAll();
  EXPECT_EQ(tree.Lookups, 9) << "still held by the outer hold";
  TRollUpHold::Release(root);

  chain.back()->Action()->SetComplete(100);
  EXPECT_EQ(chain.front()->Action()->GetComplete(), 100) << "released: read afresh";
  EXPECT_EQ(TRollUpHold::Find(root), nullptr);
}

// A table of a whole branch rolls up from its rows: each record is looked up once, however deep.
TEST(RollUpWalkTest, ShownActionsOfABranchInPreOrderLookAtEachNodeOnce) {
  TTree tree;
  TCountingNode* root = Add(tree, nullptr);
  std::vector<INode*> rows;
  for (TCountingNode* node = root; rows.size() < 1000;) rows.push_back(node = Add(tree, node));
  tree.Nodes.back()->Action()->SetDuration(2);
  tree.Nodes.back()->Action()->SetComplete(70);
  const std::vector<TShownAction> shown = ShownActionsOf(rows);
  EXPECT_EQ(tree.Lookups, 1000);
  EXPECT_EQ(shown.front().Complete, 70);
  EXPECT_EQ(shown.front().Status, "In Progress");
}

TEST(RollUpWalkTest, ChainOfAHundredThousandSummariesReadsWithoutRecursion) {
  TTree tree;
  TCountingNode* node = Add(tree, nullptr);
  TCountingNode* top = Add(tree, node);
  for (node = top; tree.Nodes.size() < 100'002; node = Add(tree, node)) {
  }
  node->Action()->SetDuration(2);
  node->Action()->SetComplete(70);
  node->Action()->SetCompletedDate(At(Mon, 17));
  EXPECT_EQ(top->Action()->GetComplete(), 70);
  EXPECT_EQ(top->Action()->GetCompletedDate(), At(Mon, 17));
  EXPECT_EQ(tree.Lookups, 100'000 * 2);
}

}  // namespace
