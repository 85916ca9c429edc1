#include <algorithm>
#include <random>
#include <set>

#include "commands/SelectionData.h"
#include "plugin/TaskLinkHelper.h"
#include "tests/plugin/PlugInModel.h"
#include "tests/support/RecordingDialogService.h"

namespace {

using namespace plugin_test;

std::string Text(double ADate) { return DateTimeToXmlText(ADate); }

class TaskLinks : public TPlugInModel {
 protected:
  TTaskLinkResult Check(const std::string& APredecessor, const std::string& ASuccessor,
                        TTaskLinkType AType = ltFinishToStart) {
    return TTaskLinkHelper::Validate(N(ASuccessor), N(APredecessor), nullptr, AType);
  }
};

TEST_F(TaskLinks, SelfDuplicateAndCircularLinks) {
  for (const char* title : {"Self", "A", "B", "C", "D"}) Add(title);
  Link("Self", "Self", ltStartToStart);
  EXPECT_EQ(Check("Self", "Self", ltFinishToStart), tlSelf) << "before the duplicate check";
  Link("A", "B");
  EXPECT_EQ(Check("A", "B", ltFinishToStart), tlOk);
  EXPECT_EQ(Check("A", "B", ltStartToStart), tlDuplicate);

  EXPECT_EQ(Check("B", "A"), tlCircularRef);
  Link("B", "C");
  EXPECT_EQ(Check("C", "A"), tlIndirectCircularRef);
  EXPECT_EQ(Check("C", "D"), tlOk);
  EXPECT_EQ(Check("D", "A"), tlOk);
}

TEST_F(TaskLinks, SummaryTasksCountOnTheWayBackButTheirOtherSubtasksDoNot) {
  // A chain inside one summary: a sibling's link to the predecessor leads nowhere back.
  Add("Build");
  Add("Demolition", "Build");
  Add("Plumbing", "Build");
  Add("Cabinets", "Build");
  Add("Handover");
  Link("Build", "Handover");
  Link("Demolition", "Plumbing");
  EXPECT_EQ(Check("Plumbing", "Cabinets"), tlOk);
  Link("Plumbing", "Cabinets");
  EXPECT_EQ(Check("Cabinets", "Demolition"), tlIndirectCircularRef) << "along the chain";

  // The successor's finish holds back its summary's, and so the summary's successors.
  EXPECT_EQ(Check("Handover", "Plumbing"), tlIndirectCircularRef);
  Add("Later");
  Link("Handover", "Later");
  EXPECT_EQ(Check("Later", "Cabinets"), tlIndirectCircularRef);

  // A link into a summary holds back its subtasks, and so what follows them.
  Add("Sum");
  Add("Y", "Sum");
  Add("Z");
  Add("W");
  Link("Y", "Z");
  Link("W", "Sum");
  EXPECT_EQ(Check("Z", "W"), tlIndirectCircularRef);

  // A link between the summaries above both tasks.
  Add("S1");
  Add("P", "S1");
  Add("S2");
  Add("Q", "S2");
  Link("S2", "S1");
  EXPECT_EQ(Check("P", "Q"), tlIndirectCircularRef);

  // Reaching a node above or below the predecessor closes the circle too.
  Add("Outer");
  Add("Inner", "Outer");
  Add("Leaf", "Inner");
  Add("V");
  Link("V", "Outer");
  EXPECT_EQ(Check("Inner", "V"), tlIndirectCircularRef);
}

TEST_F(TaskLinks, ASummaryTaskAndItsSubtasksCannotBeLinkedEitherWay) {
  Add("Sum");
  Add("Mid", "Sum");
  Add("X", "Mid");
  Add("Z");
  EXPECT_EQ(Check("Sum", "X"), tlSummaryLink);
  EXPECT_EQ(Check("X", "Sum"), tlSummaryLink);
  EXPECT_EQ(Check("Mid", "X", ltStartToFinish), tlSummaryLink);

  EXPECT_EQ(Check("Z", "Sum", ltFinishToFinish), tlSummaryLinkInvalid);
  EXPECT_EQ(Check("Z", "Sum", ltStartToFinish), tlSummaryLinkInvalid);
  EXPECT_EQ(Check("Z", "Sum", ltFinishToStart), tlOk);
  EXPECT_EQ(Check("Z", "Sum", ltStartToStart), tlOk);
  EXPECT_EQ(Check("Sum", "Z", ltFinishToFinish), tlOk) << "only a summary successor is limited";
}

TEST_F(TaskLinks, ALongChainIsSearchedWithoutRecursion) {
  const int count = 50000;
  for (int i = 0; i < count; ++i) {
    Add(std::to_string(i));
    if (i > 0) Link(std::to_string(i - 1), std::to_string(i));
  }
  EXPECT_EQ(Check(std::to_string(count - 1), "0"), tlIndirectCircularRef);
  EXPECT_EQ(Check("0", std::to_string(count - 1)), tlOk);
}

// The search for a way back as plainly written: recursion, a visited list, and a fresh walk of the
// node's subtree and climb over the summaries above it for every search.
class TPlainSearch {
 public:
  TPlainSearch(INode* ASuccessor, INode* APredecessor) : FSuccessor(ASuccessor), FPredecessor(APredecessor) {}
  bool Search(INode* ANode) {
    if (Visit(ANode)) return true;
    for (ComPtr<INode> node = ANode->GetParent(); node->IsSummaryTask(); node = node->GetParent())
      if (FollowLinks(node.get())) return true;
    return false;
  }

 private:
  bool Visit(INode* ANode) {
    if (FollowLinks(ANode)) return true;
    for (ComPtr<INode> child = ANode->GetFirstChild(); child; child = child->GetNextSibling())
      if (Visit(child.get())) return true;
    return false;
  }
  bool FollowLinks(INode* ANode) {
    if (std::find(FVisited.begin(), FVisited.end(), ANode) != FVisited.end()) return false;
    FVisited.push_back(ANode);
    if (auto links = QueryAs<INodeLinkList2>(ANode->FindProperty("SuccessorNodeLinks").get()))
      for (int32_t i = 0; i < links->GetCount(); ++i) {
        ComPtr<INode> linked = links->GetLink(i)->GetLinkedNode();
        if (linked.get() == FPredecessor || linked.get() == FSuccessor || FPredecessor->IsDescendantOf(linked.get()) ||
            linked->IsDescendantOf(FPredecessor) || Search(linked.get()))
          return true;
      }
    return false;
  }

  INode* FSuccessor;
  INode* FPredecessor;
  std::vector<INode*> FVisited;
};

// The direct circularity checks find nothing the search would not find, so once the checks before
// them pass, the result must be what the plain search says.
TEST_F(TaskLinks, AgreesWithAPlainSearchOnRandomMaps) {
  std::mt19937 random(13);
  int circular = 0;
  for (int map = 0; map < 12; ++map) {
    std::vector<std::string> titles;
    for (int i = 0; i < 24; ++i) {
      titles.push_back(std::to_string(map) + "." + std::to_string(i));
      Add(titles.back(), i == 0 || random() % 3 == 0 ? "" : titles[random() % (titles.size() - 1)]);
    }
    for (int i = 0; i < 30; ++i) Link(titles[random() % titles.size()], titles[random() % titles.size()]);
    for (const std::string& successor : titles)
      for (const std::string& predecessor : titles) {
        const TTaskLinkResult result = Check(predecessor, successor);
        if (result != tlOk && result != tlCircularRef && result != tlIndirectCircularRef) continue;
        const bool found = TPlainSearch(N(successor), N(predecessor)).Search(N(successor));
        EXPECT_EQ(result != tlOk, found) << predecessor << " before " << successor;
        circular += found;
      }
  }
  EXPECT_GT(circular, 100) << "the maps should exercise the search";
}

// A map read from a file may already hold a circle. The map-wide search finds one exactly when
// some link of the map leads back by the rules, and what it names is a chain of such links, each
// starting where the one before it can reach.
TEST_F(TaskLinks, TheMapWideCircleSearchAgreesWithTheRulesOnRandomMaps) {
  std::mt19937 random(29);
  int withCircle = 0, without = 0;
  for (int map = 0; map < 60; ++map) {
    TearDown();
    Nodes.clear();
    SetUp();
    std::vector<std::string> titles;
    for (int i = 0; i < 16; ++i) {
      titles.push_back(std::to_string(i));
      Add(titles.back(), i == 0 || random() % 3 == 0 ? "" : titles[random() % (titles.size() - 1)]);
    }
    std::vector<std::pair<std::string, std::string>> links;
    for (int i = 0, count = static_cast<int>(random() % 10); i < count; ++i) {
      links.emplace_back(titles[random() % titles.size()], titles[random() % titles.size()]);
      if (links.back().first == links.back().second) links.pop_back();
      else Link(links.back().first, links.back().second);
    }
    bool leadsBack = false;
    for (const auto& [predecessor, successor] : links)
      leadsBack = leadsBack || TTaskLinkHelper::LeadsBack(N(successor), N(predecessor));
    const std::vector<TTaskLinkHelper::TLinkEnds> circle = TTaskLinkHelper::FindCircle(N(titles.front()));
    EXPECT_EQ(!circle.empty(), leadsBack) << "map " << map;
    for (const TTaskLinkHelper::TLinkEnds& link : circle)
      EXPECT_TRUE(TTaskLinkHelper::LeadsBack(link.Successor.get(), link.Predecessor.get())) << "map " << map;
    (circle.empty() ? without : withCircle) += 1;
  }
  EXPECT_GT(withCircle, 10);
  EXPECT_GT(without, 10);
}

TEST_F(TaskLinks, ACircleThroughASummaryIsFoundInADeepMapWithoutRecursion) {
  const int depth = 100000;
  Add("0");
  for (int i = 1; i < depth; ++i) Add(std::to_string(i), std::to_string(i - 1));
  Add("P");
  Link("P", "0");
  EXPECT_TRUE(TTaskLinkHelper::FindCircle(N("P")).empty()) << "the deep tree follows P";
  Link(std::to_string(depth - 1), "P");
  const std::vector<TTaskLinkHelper::TLinkEnds> circle = TTaskLinkHelper::FindCircle(N("P"));
  ASSERT_EQ(circle.size(), 2u);
  std::set<std::pair<INode*, INode*>> links;
  for (const TTaskLinkHelper::TLinkEnds& link : circle) links.emplace(link.Predecessor.get(), link.Successor.get());
  EXPECT_EQ(links, (std::set<std::pair<INode*, INode*>>{{N("P"), N("0")}, {N(std::to_string(depth - 1)), N("P")}}));
}

TEST_F(TaskLinks, EachResultShowsItsWarningWordForWord) {
  TDialogRecorder dialogs;
  for (int result = tlOk; result <= tlSummaryLinkInvalid + 1; ++result)
    TTaskLinkHelper::ShowLinkError(static_cast<TTaskLinkResult>(result));
  EXPECT_EQ(
      dialogs->Texts(),
      (std::vector<std::string>{
          "You cannot make a task a predecessor of itself.\r\n\r\nIf this task is dependant on another task, enter "
          "the ID number of the task it depends on and any pertinent task relationship information.",
          "There was a problem linking these tasks.\r\n\r\nYou cannot link a predecessor task twice to the same "
          "successor task.",
          "There was a problem linking these tasks.\r\n\r\nYou cannot have the same task as predecessor and successor.",
          "You are trying to link a task to another task that has a series of task links back to the first "
          "task.\r\n\r\nYou cannot do this because it would create a circular task relationship with other tasks.",
          "A summary task cannot be linked to one of its subtasks.\r\n\r\nIf you want to link the two tasks, move the "
          "subtask to the same level of the summary task in the map view, and then link them.",
          "The predecessors of a summary task or predecessors of an inserted project summary must have a "
          "finish-to-start (FS) or start-to-start (SS) dependency.",
          "There is a problem with the predecessor information.\r\n\r\nEnsure the ID you are entering is valid and "
          "exists in the project."}));
  for (const auto& entry : dialogs->Entries) {
    EXPECT_EQ(entry.Kind, TMessageKind::Warning);
    EXPECT_FALSE(entry.IsQuestion);
  }
}

TEST_F(TaskLinks, ProposedPredecessorsAreCheckedAsOneListAndTheFirstFailureIsShown) {
  for (const char* title : {"A", "B", "C"}) Add(title);
  Link("C", "A");
  TDialogRecorder dialogs;
  EXPECT_TRUE(TTaskLinkHelper::ValidatePredecessorLinks(N("C"), {{N("B"), ltFinishToStart}}));
  EXPECT_FALSE(TTaskLinkHelper::ValidatePredecessorLinks(
      N("C"), {{N("B"), ltFinishToStart}, {N("B"), ltStartToStart}, {N("C"), ltFinishToStart}}));
  EXPECT_FALSE(TTaskLinkHelper::ValidatePredecessorLinks(N("C"), {{N("A"), ltStartToStart}}));
  ASSERT_EQ(dialogs->Entries.size(), 2u);
  EXPECT_EQ(dialogs->Entries[0].Text, TTaskLinkHelper::LinkErrorText(tlDuplicate));
  EXPECT_EQ(dialogs->Entries[1].Text, TTaskLinkHelper::LinkErrorText(tlCircularRef));
}

TEST(TaskLinkHelper, ReadsTypedPredecessors) {
  struct TCase {
    const char* Text;
    int64_t Number;
    TTaskLinkType Type;
  };
  for (const TCase& expected : {TCase{"12", 12, ltFinishToStart}, TCase{"12fs", 12, ltFinishToStart},
                                TCase{"12FF", 12, ltFinishToFinish}, TCase{"7ss", 7, ltStartToStart},
                                TCase{"3Sf", 3, ltStartToFinish}, TCase{"fs4", 4, ltFinishToStart}}) {
    int64_t number = -1;
    TTaskLinkType type = ltStartToFinish;
    EXPECT_TRUE(TTaskLinkHelper::ValidatePredStr(expected.Text, number, type)) << expected.Text;
    EXPECT_EQ(number, expected.Number) << expected.Text;
    EXPECT_EQ(type, expected.Type) << expected.Text;
  }
  for (const char* text : {"x7", "", "FS", "7 ss", "7SSFF", "1.5"}) {
    int64_t number = 0;
    TTaskLinkType type = ltFinishToStart;
    EXPECT_FALSE(TTaskLinkHelper::ValidatePredStr(text, number, type)) << text;
  }
}

TEST_F(TaskLinks, AnInteractionMayNotMakeASummaryOfATaskWithFinishPredecessors) {
  for (const char* title : {"Target", "Other", "P"}) Add(title);
  Add("Child", "Target");
  Add("Grandchild", "Child");
  ComPtr<TData> selection = make<TData>();
  selection->Add(N("Target"));

  EXPECT_EQ(TTaskLinkHelper::GetNewSummary(make<TInteraction>(130).get(), selection.get()).get(), N("Target"));
  EXPECT_EQ(TTaskLinkHelper::GetNewSummary(make<TInteraction>(2).get(), selection.get()).get(), N("Target"));
  EXPECT_FALSE(TTaskLinkHelper::GetNewSummary(make<TInteraction>(3).get(), selection.get()));
  ComPtr<TNodeList> carried = make<TNodeList>();
  EXPECT_FALSE(TTaskLinkHelper::GetNewSummary(make<TInteraction>(27, carried).get(), selection.get()));
  carried->Add(N("Other"));
  EXPECT_EQ(TTaskLinkHelper::GetNewSummary(make<TInteraction>(27, carried).get(), selection.get()).get(), N("Other"));
  ComPtr<TData> nested = make<TData>();
  nested->Add(N("Grandchild"));
  nested->Add(N("Child"));
  EXPECT_EQ(TTaskLinkHelper::GetNewSummary(make<TInteraction>(129).get(), nested.get()).get(), N("Target"));

  TDialogRecorder dialogs;
  Link("P", "Target", ltStartToStart);
  EXPECT_TRUE(TTaskLinkHelper::ValidateInteraction(make<TInteraction>(130).get(), selection.get(), true));
  Link("P", "Other", ltFinishToFinish);
  EXPECT_FALSE(TTaskLinkHelper::IsEligiableSummary(N("Other")));
  EXPECT_FALSE(TTaskLinkHelper::ValidateInteraction(make<TInteraction>(27, carried).get(), selection.get(), false));
  EXPECT_TRUE(dialogs->Entries.empty());
  EXPECT_FALSE(TTaskLinkHelper::ValidateInteraction(make<TInteraction>(27, carried).get(), selection.get(), true));
  EXPECT_EQ(dialogs->Texts(), std::vector<std::string>{TTaskLinkHelper::LinkErrorText(tlSummaryLinkInvalid)});
  EXPECT_TRUE(TTaskLinkHelper::ValidateInteraction(make<TInteraction>(27, carried).get(), make<TData>().get(), true));
}

// Pre runs Monday to Wednesday; Sum follows it and holds Mid, which holds Sub.
class TaskDates : public TaskLinks {
 protected:
  void SetUp() override {
    TaskLinks::SetUp();
    Task("Pre", Monday, 3);
    Task("Sum", Monday);
    Task("Mid", Monday, 1, "Sum");
    Task("Sub", Monday, 1, "Mid");
    Task("Side", Tuesday);
  }
};

TEST_F(TaskDates, ASummarysPredecessorHoldsBackItsSubtasksAtAnyDepth) {
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextStartDate(Model.get(), N("Sub"), Day(1, 8))), "2026-03-02T08:00:00");
  Link("Pre", "Sum");
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextStartDate(Model.get(), N("Sub"), Day(1, 8))), "2026-03-05T08:00:00");
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextStartDate(Model.get(), N("Sub"), Day(5, 8))), "2026-03-06T08:00:00")
      << "a later date stays";
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextStartDate(Model.get(), N("Sub"), 0)), "2026-03-05T08:00:00")
      << "no date starts at the top task";

  // The subtask's own constraint keeps its own predecessors out, not its summary's.
  Link("Side", "Sub", ltStartToStart);
  A("Side")->SetStartDate(Day(5, 8));
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextStartDate(Model.get(), N("Sub"), Day(1, 8))), "2026-03-06T08:00:00");
  A("Sub")->SetConstraintType(tcMustStartOn);
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextStartDate(Model.get(), N("Sub"), Day(1, 8))), "2026-03-05T08:00:00");
}

TEST_F(TaskDates, EarliestStartAndFinishFollowTheLinksInListOrder) {
  // The last finish-to-start link sets the start, even when an earlier one gave a later start.
  Link("Pre", "Side");
  Link("Sub", "Side");
  EXPECT_EQ(Text(TTaskLinkHelper::CalcEarliestStart(N("Side"), Scheduler(), true, Day(2, 8), Day(2, 8))),
            "2026-03-03T08:00:00");
  EXPECT_EQ(TTaskLinkHelper::CalcEarliestStart(N("Side"), nullptr, true, Day(2, 8), Day(9)), Day(9));

  // A summary's start-to-start predecessor raises the start of a subtask when asked to climb.
  Link("Side", "Mid", ltStartToStart);
  A("Side")->SetStartDate(Day(4, 8));
  EXPECT_EQ(Text(TTaskLinkHelper::CalcEarliestStart(N("Sub"), Scheduler(), true, 0, Day(1, 8))),
            "2026-03-05T08:00:00");
  EXPECT_EQ(Text(TTaskLinkHelper::CalcEarliestStart(N("Sub"), Scheduler(), false, 0, Day(1, 8))),
            "2026-03-02T08:00:00");

  Link("Pre", "Sub", ltFinishToFinish);
  EXPECT_EQ(Text(TTaskLinkHelper::CalcEarliestFinish(N("Sub"), Scheduler(), Day(1, 17))), "2026-03-04T17:00:00");
  Link("Side", "Sub", ltStartToFinish);
  EXPECT_EQ(Text(TTaskLinkHelper::CalcEarliestFinish(N("Sub"), Scheduler(), Day(1, 17))), "2026-03-04T17:00:00")
      << "start-to-finish: the end of work before Side starts";

  // The next end takes the earliest finish of the finish links.
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextEndDate(N("Sub"), Day(9, 17))), "2026-03-04T17:00:00");
  EXPECT_EQ(Text(TTaskLinkHelper::CalcNextEndDate(N("Sub"), 0)), "2026-03-04T17:00:00");
  EXPECT_EQ(TTaskLinkHelper::CalcDuration(N("Sub"), Day(1, 8), Day(3, 17)), 3);
}

TEST_F(TaskDates, AMovedTaskKeepsItsFinishOnlyWithoutADuration) {
  ComPtr<ICommandListItem> item = TTaskLinkHelper::PrepareMoveTaskCommand(Model.get(), N("Pre"), Day(8, 8));
  ASSERT_TRUE(item);
  A("Side")->SetDuration(0);
  ComPtr<ICommandListItem> milestone = TTaskLinkHelper::PrepareMoveTaskCommand(Model.get(), N("Side"), Day(8, 8));
  EXPECT_EQ(A("Pre")->GetStartDate(), Day(1, 8)) << "nothing changes before the command runs";

  Model->GetCommandProcessor()->Execute(item->GetCommand().get(), item->GetSelection().get());
  Model->GetCommandProcessor()->Execute(milestone->GetCommand().get(), milestone->GetSelection().get());
  EXPECT_EQ(Text(A("Pre")->GetStartDate()), "2026-03-09T08:00:00");
  EXPECT_EQ(A("Pre")->GetCompletedDate(), 0);
  EXPECT_EQ(Text(A("Side")->GetCompletedDate()), "2026-03-09T17:00:00");
  Model->GetCommandProcessor()->UndoLast();
  Model->GetCommandProcessor()->UndoLast();
  EXPECT_EQ(Text(A("Pre")->GetCompletedDate()), "2026-03-04T17:00:00");
  EXPECT_FALSE(TTaskLinkHelper::PrepareMoveTaskCommand(Model.get(), Add("Plain"), Day(8, 8)));
}

}  // namespace
