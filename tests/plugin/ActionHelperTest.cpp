#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>

#include "com/OleDate.h"
#include "commands/SelectionData.h"
#include "host/LumetaMap.h"
#include "host/xml/LumetaXmlArchive.h"
#include "plugin/ActionHelpers.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/support/FakeWorkingScheduler.h"
#include "tests/support/InProcessPlugIn.h"

namespace {

const double Mon = EncodeDate(2026, 12, 7);  // a Monday; the schedule starts at 08:00
double At(double ADay, int AHour) { return ADay + AHour / 24.0; }

struct TValidated {
  double Date;
  bool Restricted;
  friend bool operator==(const TValidated&, const TValidated&) = default;
  friend void PrintTo(const TValidated& AValue, std::ostream* AOut) {
    *AOut << DateTimeToXmlText(AValue.Date) << (AValue.Restricted ? " restricted" : " free");
  }
};

// A main branch "Top" (Mon 08:00 to Friday of the next week, 17:00) over two tasks: P from Mon 08:00
// to Tue 17:00 and X, two days from Wed 08:00 to Thu 17:00. Top and X are free of constraints
// until a test gives them one.
class ActionHelperTest : public ::testing::Test {
 protected:
  ActionHelperTest() {
    Map.Root()->SetAttribute("MapSettings", make<TFakeMapSettings>(false, ComPtr<IUnknown>(Scheduler.as<IWorkingScheduler>().get())));
    Top = Task(Map.Root(), At(Mon, 8), At(Mon + 11, 17), 10);
    P = Task(Top, At(Mon, 8), At(Mon + 1, 17), 2);
    X = Task(Top, At(Mon + 2, 8), At(Mon + 3, 17), 2);
  }

  TLumetaNode* Task(TLumetaNode* AParent, double AStart, double AFinish, double ADays) {
    TLumetaNode* node = Map.AddNode(AParent, "task");
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(node, true);
    action->SetStartDate(AStart);
    action->SetCompletedDate(AFinish);
    action->SetDuration(ADays);
    action->SetDurationMeasure(amDays);
    return node;
  }
  static ComPtr<IActionAttribute> Action(TLumetaNode* ANode) { return TActionHelper::GetAction(ANode, false); }
  // A new constraint starts a new series of validations: the changes asked for so far are dropped.
  void Constrain(TLumetaNode* ANode, TTaskConstraintType AType, double ADate = 0) {
    Action(ANode)->SetConstraintType(AType);
    Action(ANode)->SetConstraintDate(ADate);
    Changes.clear();
  }
  // The constraint date the validations since want for the node; validations write none.
  double Wanted(TLumetaNode* ANode) {
    for (const TConstraintChange& change : Changes)
      if (change.Node.get() == static_cast<INode*>(ANode)) return change.Date;
    return Action(ANode)->GetConstraintDate();
  }
  static void Link(TLumetaNode* APredecessor, TLumetaNode* ASuccessor, TTaskLinkType AType) {
    ComPtr<IProperty> property = ASuccessor->FindProperty("NodeLinks");
    if (!property) {
      property = make<TLumetaNodeLinksProperty>();
      ASuccessor->SetProperty(property.get());
    }
    property.as<INodeLinkList2>()->AddLink(static_cast<INode*>(APredecessor)).as<ITaskLink>()->SetLinkType(AType);
  }

  // Gives X each row's constraint and checks what AValidate answers.
  struct TRow {
    TTaskConstraintType Type;
    double Date;
    TValidated Expected;
  };
  template <size_t N, class TValidate>
  void CheckRows(const TRow (&ARows)[N], TValidate AValidate) {
    for (const TRow& row : ARows) {
      Constrain(X, row.Type, row.Date);
      EXPECT_EQ(AValidate(), row.Expected) << TaskConstraintTypeToText(row.Type);
    }
  }

  TValidated Start(TLumetaNode* ANode, double AProposed) {
    double validated = -1;
    const bool restricted = TActionHelper::ValidateTaskStart(ANode, AProposed, Scheduler.get(), validated, &Changes);
    return {validated, restricted};
  }
  TValidated Finish(TLumetaNode* ANode, double AProposed) {
    double validated = -1;
    const bool restricted = TActionHelper::ValidateTaskFinish(ANode, AProposed, Scheduler.get(), validated, &Changes);
    return {validated, restricted};
  }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};  // after Archive: registers its managers
  TLumetaMap Map;
  TConstraintChanges Changes;  // asked for by the validations since the last Constrain
  ComPtr<TFakeWorkingScheduler> Scheduler = make<TFakeWorkingScheduler>(At(Mon, 8));
  TLumetaNode* Top;
  TLumetaNode* P;
  TLumetaNode* X;
};

TEST_F(ActionHelperTest, EarliestStartFollowsStartLinksAndElseTheScheduleStart) {
  bool restricted = true;
  EXPECT_EQ(TActionHelper::CalculateEarliestStart(X, Scheduler.get(), restricted), At(Mon, 8));
  EXPECT_FALSE(restricted) << "no predecessor: the schedule start";

  Link(P, X, ltFinishToFinish);
  EXPECT_EQ(TActionHelper::CalculateEarliestStart(X, Scheduler.get(), restricted), At(Mon, 8));
  EXPECT_FALSE(restricted) << "a finish link does not hold a start";

  TLumetaNode* q = Task(Top, At(Mon + 1, 9), At(Mon + 1, 11), 0.25);
  Link(q, X, ltStartToStart);
  EXPECT_EQ(TActionHelper::CalculateEarliestStart(X, Scheduler.get(), restricted), At(Mon + 1, 9));
  EXPECT_TRUE(restricted);
  Link(P, X, ltFinishToStart);
  EXPECT_EQ(TActionHelper::CalculateEarliestStart(X, Scheduler.get(), restricted), At(Mon + 2, 8))
      << "the first working moment after Tuesday 17:00";
}

TEST_F(ActionHelperTest, EarliestFinishFollowsFinishLinksAndTheSummaryAbove) {
  bool restricted = true;
  EXPECT_EQ(TActionHelper::CalculateEarliestFinish(X, Scheduler.get(), restricted), At(Mon + 3, 17));
  EXPECT_FALSE(restricted) << "no predecessor: its own finish";

  Link(P, X, ltStartToFinish);
  EXPECT_EQ(TActionHelper::CalculateEarliestFinish(X, Scheduler.get(), restricted), At(Mon - 3, 17))
      << "the last working moment before Monday 08:00";
  EXPECT_TRUE(restricted);

  // A predecessor of the summary holds the finish of every task below it.
  TLumetaNode* other = Task(Map.Root(), At(Mon, 8), At(Mon + 4, 17), 5);
  Link(other, Top, ltFinishToFinish);
  EXPECT_EQ(TActionHelper::CalculateEarliestFinish(X, Scheduler.get(), restricted), At(Mon + 4, 17));
  EXPECT_TRUE(restricted);
}

TEST_F(ActionHelperTest, StartRowsOfATaskHeldByAPredecessor) {
  Link(P, X, ltFinishToStart);  // earliest start Wednesday 08:00
  const double proposed = At(Mon, 8);
  const TRow rows[] = {
      {tcAsSoonAsPossible, 0, {At(Mon + 2, 8), true}},
      {tcStartNoLaterThan, At(Mon + 1, 8), {At(Mon + 1, 8), true}},
      {tcFinishNoEarlierThan, At(Mon + 4, 17), {At(Mon + 3, 8), true}},  // two days before Friday 17:00
      {tcFinishNoLaterThan, At(Mon + 2, 17), {At(Mon + 1, 8), true}},    // two days before Wednesday 17:00
      {tcMustStartOn, At(Mon + 3, 10), {At(Mon + 3, 10), true}},
      {tcMustFinishOn, At(Mon + 3, 10), {proposed, false}},
      {tcAsLateAsPossible, 0, {At(Mon + 2, 8), true}},
      {tcStartNoEarlierThan, At(Mon + 3, 8), {At(Mon + 3, 8), true}},
      {tcStartNoEarlierThan, At(Mon + 1, 8), {At(Mon + 2, 8), true}},
  };
  CheckRows(rows, [&] { return Start(X, proposed); });
}

TEST_F(ActionHelperTest, StartRowsOfAFreeTask) {
  const double proposed = At(Mon + 7, 8);
  const TRow rows[] = {
      {tcAsSoonAsPossible, 0, {proposed, false}},
      {tcStartNoLaterThan, At(Mon + 4, 8), {At(Mon + 4, 8), true}},
      {tcFinishNoEarlierThan, At(Mon + 11, 17), {At(Mon + 10, 8), true}},
      {tcFinishNoEarlierThan, At(Mon + 7, 17), {proposed, false}},
      {tcFinishNoLaterThan, At(Mon + 7, 12), {At(Mon + 3, 13), true}},
      {tcMustStartOn, At(Mon + 3, 10), {At(Mon + 3, 10), true}},
      {tcMustFinishOn, At(Mon + 3, 10), {proposed, false}},
  };
  CheckRows(rows, [&] { return Start(X, proposed); });

  // As late as possible: as far before the top task's finish as the proposal lies before the
  // task's finish, but never before the schedule start.
  Constrain(X, tcAsLateAsPossible);
  EXPECT_EQ(Start(X, At(Mon + 2, 8)), (TValidated{At(Mon + 10, 8), false}));
  Action(Top)->SetCompletedDate(At(Mon, 12));
  EXPECT_EQ(Start(X, At(Mon + 2, 8)), (TValidated{At(Mon, 8), false}));
}

TEST_F(ActionHelperTest, SummaryAboveHoldsTheStartOfItsSubtasks) {
  Constrain(Top, tcMustStartOn, At(Mon + 2, 8));
  EXPECT_EQ(Start(X, At(Mon, 8)), (TValidated{At(Mon + 2, 8), true}));
  double validated = 0;
  EXPECT_TRUE(TActionHelper::ValidateSummaryStart(X, At(Mon, 8), At(Mon, 9), Scheduler.get(), validated));
  EXPECT_EQ(validated, At(Mon + 2, 8));
  EXPECT_FALSE(TActionHelper::ValidateSummaryStart(Top, At(Mon, 8), At(Mon, 9), Scheduler.get(), validated))
      << "nothing above a main branch";
  EXPECT_EQ(validated, At(Mon, 9));
}

TEST_F(ActionHelperTest, StartNoEarlierThanSteps) {
  // Under a free summary, without predecessors: the constraint date unless the proposal is it.
  Constrain(X, tcStartNoEarlierThan, At(Mon + 3, 8));
  EXPECT_EQ(Start(X, At(Mon, 8)), (TValidated{At(Mon + 3, 8), true}));
  EXPECT_EQ(Start(X, At(Mon + 4, 8)), (TValidated{At(Mon + 3, 8), true}));
  EXPECT_EQ(Start(X, At(Mon + 3, 8)), (TValidated{At(Mon + 3, 8), false}));
  // With a predecessor that does not hold it: only a proposal before the date moves.
  TLumetaNode* early = Task(Top, At(Mon - 7, 8), At(Mon - 7, 9), 0.125);
  Link(early, X, ltStartToStart);
  Action(early)->SetStartDate(0);
  EXPECT_EQ(Start(X, At(Mon + 4, 8)), (TValidated{At(Mon + 4, 8), false}));

  // Under a summary that restricts: the summary's start wins, and the task keeps its own start
  // as its new constraint date when the summary's lies after the old one.
  Constrain(Top, tcMustStartOn, At(Mon + 2, 8));
  Constrain(X, tcStartNoEarlierThan, At(Mon + 1, 8));
  EXPECT_EQ(Start(X, At(Mon, 8)), (TValidated{At(Mon + 2, 8), true}));
  EXPECT_EQ(Wanted(X), At(Mon, 8));
  EXPECT_EQ(Action(X)->GetConstraintDate(), At(Mon + 1, 8));  // asked for, not written
  Constrain(X, tcStartNoEarlierThan, At(Mon + 3, 8));
  EXPECT_EQ(Start(X, At(Mon, 8)), (TValidated{At(Mon + 3, 8), true}));
  EXPECT_EQ(Wanted(X), At(Mon + 3, 8));

  // A main branch has no summary above it.
  Constrain(Top, tcStartNoEarlierThan, At(Mon + 1, 8));
  EXPECT_EQ(Start(Top, At(Mon, 8)), (TValidated{At(Mon + 1, 8), true}));
  EXPECT_EQ(Start(Top, At(Mon + 2, 8)), (TValidated{At(Mon + 2, 8), false}));
}

TEST_F(ActionHelperTest, FinishRowsOfATaskHeldByAPredecessor) {
  Link(P, X, ltFinishToFinish);  // earliest finish Tuesday 17:00
  const double proposed = At(Mon, 17);
  const TRow rows[] = {
      {tcAsSoonAsPossible, 0, {At(Mon + 1, 17), true}},
      {tcFinishNoEarlierThan, At(Mon + 2, 17), {At(Mon + 2, 17), true}},
      {tcFinishNoLaterThan, At(Mon, 17), {At(Mon, 17), true}},
      {tcMustFinishOn, At(Mon + 3, 10), {At(Mon + 3, 10), true}},
      {tcMustStartOn, At(Mon + 3, 10), {proposed, false}},
      {tcStartNoEarlierThan, At(Mon + 2, 8), {At(Mon + 3, 17), true}},  // two days from Wednesday 08:00
      {tcStartNoLaterThan, At(Mon - 3, 8), {At(Mon, 17), true}},        // two days from Friday 08:00
      {tcAsLateAsPossible, 0, {At(Mon + 1, 17), true}},
  };
  CheckRows(rows, [&] { return Finish(X, proposed); });
}

TEST_F(ActionHelperTest, FinishRowsOfAFreeTask) {
  const double proposed = At(Mon + 1, 17);
  const TRow rows[] = {
      {tcAsSoonAsPossible, 0, {proposed, false}},
      {tcFinishNoEarlierThan, At(Mon + 2, 17), {At(Mon + 2, 17), true}},
      {tcFinishNoLaterThan, At(Mon, 17), {At(Mon, 17), true}},
      {tcFinishNoLaterThan, At(Mon + 4, 17), {proposed, false}},
      {tcMustFinishOn, At(Mon + 3, 10), {At(Mon + 3, 10), true}},
      {tcMustStartOn, At(Mon + 3, 10), {proposed, false}},
      {tcStartNoEarlierThan, At(Mon + 3, 8), {proposed, false}},
      {tcStartNoLaterThan, At(Mon - 7, 8), {At(Mon - 6, 17), false}},  // moving does not restrict
  };
  CheckRows(rows, [&] { return Finish(X, proposed); });

  // As late as possible: never before the schedule start allows, never after the top task.
  Constrain(X, tcAsLateAsPossible);
  Action(X)->SetStartDate(At(Mon, 8));
  EXPECT_EQ(Finish(X, At(Mon, 12)), (TValidated{At(Mon, 12), false}));
  EXPECT_EQ(Finish(X, At(Mon + 14, 17)), (TValidated{At(Mon + 11, 17), false}));
  EXPECT_EQ(Finish(X, At(Mon + 1, 17)), (TValidated{At(Mon + 1, 17), false}));

  // A main branch: start no earlier than moves the finish so that the start keeps the date.
  Constrain(Top, tcStartNoEarlierThan, At(Mon + 2, 8));
  Action(Top)->SetDuration(2);
  EXPECT_EQ(Finish(Top, At(Mon + 1, 17)), (TValidated{At(Mon + 3, 17), true}));
}

TEST_F(ActionHelperTest, FinishUnderASummaryThatRestricts) {
  Constrain(Top, tcMustFinishOn, At(Mon + 2, 17));

  // Finish no later than: the summary's finish wins, the task's own finish becomes its date.
  Constrain(X, tcFinishNoLaterThan, At(Mon + 4, 17));
  EXPECT_EQ(Finish(X, At(Mon, 17)), (TValidated{At(Mon + 2, 17), true}));
  EXPECT_EQ(Wanted(X), At(Mon + 3, 17));
  EXPECT_EQ(Action(X)->GetConstraintDate(), At(Mon + 4, 17));
  Action(X)->SetCompletedDate(At(Mon + 1, 17));
  Constrain(X, tcFinishNoLaterThan, At(Mon, 17));
  EXPECT_EQ(Finish(X, At(Mon + 4, 17)), (TValidated{At(Mon, 17), true}));

  // Start no earlier than: a finish after the summary's stands; one before it gives the date
  // when the start would lie after it.
  Constrain(X, tcStartNoEarlierThan, At(Mon - 3, 8));
  EXPECT_EQ(Finish(X, At(Mon + 4, 17)), (TValidated{At(Mon + 4, 17), true}));
  EXPECT_EQ(Finish(X, At(Mon + 1, 17)), (TValidated{At(Mon - 3, 8), true}));
}

// Validating both dates at once answers as the two validations one after the other, also where
// the start's validation asks for a new constraint date, and reads predecessors afresh each time.
TEST_F(ActionHelperTest, BothDatesValidateAsStartThenFinish) {
  TLumetaNode* finishHolder = Task(Top, At(Mon, 8), At(Mon + 2, 17), 3);
  Link(P, X, ltFinishToStart);
  Link(finishHolder, X, ltFinishToFinish);
  const auto both = [&](double AStart, double AFinish) {
    double start = -1, finish = -1;
    const auto [startRestricted, finishRestricted] =
        TActionHelper::ValidateTaskDates(X, AStart, AFinish, Scheduler.get(), start, finish, &Changes);
    return std::pair{TValidated{start, startRestricted}, TValidated{finish, finishRestricted}};
  };
  for (TTaskConstraintType summary : {tcAsSoonAsPossible, tcMustStartOn})
    for (int type = tcAsLateAsPossible; type <= tcStartNoLaterThan; ++type) {
      const auto constraint = static_cast<TTaskConstraintType>(type);
      Constrain(Top, summary, At(Mon + 3, 8));
      Constrain(X, constraint, At(Mon + 1, 8));
      const TValidated start = Start(X, At(Mon, 8));
      const TValidated finish = Finish(X, At(Mon + 1, 17));
      const double wanted = Wanted(X);
      Constrain(X, constraint, At(Mon + 1, 8));
      EXPECT_EQ(both(At(Mon, 8), At(Mon + 1, 17)), std::pair(start, finish))
          << TaskConstraintTypeToText(constraint) << " under " << TaskConstraintTypeToText(summary);
      EXPECT_EQ(Wanted(X), wanted) << TaskConstraintTypeToText(constraint);
      EXPECT_EQ(Action(X)->GetConstraintDate(), At(Mon + 1, 8));
    }

  Constrain(Top, tcAsSoonAsPossible);
  Constrain(X, tcAsSoonAsPossible);
  EXPECT_EQ(both(At(Mon, 8), At(Mon, 17)).first, (TValidated{At(Mon + 2, 8), true}));
  Link(Task(Top, At(Mon, 8), At(Mon + 4, 17), 5), X, ltFinishToStart);
  Action(finishHolder)->SetCompletedDate(At(Mon + 7, 17));
  EXPECT_EQ(both(At(Mon, 8), At(Mon, 17)), std::pair(TValidated{At(Mon + 7, 8), true}, TValidated{At(Mon + 7, 17), true}));
}

// Each summary above is validated once: asked level by level, 2000 levels would never end.
TEST_F(ActionHelperTest, DeepNestingOfSummariesValidatesInLinearTime) {
  Constrain(Top, tcMustStartOn, At(Mon + 2, 8));
  TLumetaNode* node = Top;
  for (int i = 0; i < 2000; ++i) node = Task(node, At(Mon, 8), At(Mon, 17), 1);
  EXPECT_EQ(Start(node, At(Mon, 8)), (TValidated{At(Mon + 2, 8), true}));
  Constrain(Top, tcAsSoonAsPossible);
  EXPECT_EQ(Start(node, At(Mon, 9)), (TValidated{At(Mon, 9), false}));
}

TEST_F(ActionHelperTest, RecordAccessCreatesCopiesAndConvertsMeasures) {
  TLumetaNode* bare = Map.AddNode(Map.Root(), "no action");
  EXPECT_FALSE(TActionHelper::GetAction(bare, false));
  EXPECT_FALSE(TActionHelper::CloneAction(bare));
  ComPtr<IActionAttribute> created = TActionHelper::GetAction(bare, true);
  ASSERT_TRUE(created);
  EXPECT_TRUE(created->IsEmpty());
  EXPECT_EQ(TActionHelper::GetAction(bare, false).get(), created.get()) << "attached to the node";

  ComPtr<IActionAttribute> clone = TActionHelper::CloneAction(X);
  clone->SetDuration(9);
  EXPECT_EQ(clone->GetStartDate(), At(Mon + 2, 8));
  EXPECT_EQ(Action(X)->GetDuration(), 2) << "a copy, not the node's record";

  ComPtr<TData> selection = make<TData>();
  selection->Add(static_cast<INode*>(X));
  EXPECT_FALSE(TActionHelper::GetAction(selection.get(), false)) << "the selection holds no combined record yet";
  ComPtr<IActionAttribute> combined = TActionHelper::GetAction(selection.get(), true);
  ASSERT_TRUE(combined);
  EXPECT_EQ(TActionHelper::GetAction(selection.get(), false).get(), combined.get());

  EXPECT_EQ(TActionHelper::ConvertMeasureFromString("Minutes"), amMinutes);
  EXPECT_EQ(TActionHelper::ConvertMeasureFromString("Days"), amDays);
  EXPECT_EQ(TActionHelper::ConvertMeasureFromString("days"), amHours);
  EXPECT_EQ(TActionHelper::ConvertMeasureToString(amMinutes), "Minutes");
  EXPECT_EQ(TActionHelper::ConvertMeasureToString(amDays), "Days");
  EXPECT_EQ(TActionHelper::ConvertMeasureToString(7), "Hours");
}

}  // namespace
