#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/ActionAttributes.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"
#include "contract/LumetaIntf.h"
#include "tests/support/FactoryScope.h"

namespace {

// A fixed today and "M/d/yyyy" dates, and an in-process factory for the map-level records.
class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override { FixToday(EncodeDate(2024, 3, 6)); }
  void TearDown() override { SetLocaleService(nullptr); }
  static void FixToday(double AToday) { SetLocaleService(std::make_shared<TFixedLocaleService>(AToday, "M/d/yyyy")); }

 private:
  TFactoryScope FFactory{&RegisterActionAttributeClasses};
};

// Every field set, with texts that need folding.
ComPtr<TActionAttribute> FullRecord() {
  ComPtr<TActionAttribute> action = make<TActionAttribute>();
  action->SetIsAction(true);
  action->SetIsMilestone(true);
  action->SetStartDate(EncodeDate(2024, 3, 4) + 0.375);
  action->SetDueDate(EncodeDate(2024, 3, 8) + 0.5);
  action->SetCompletedDate(EncodeDate(2024, 3, 7));
  action->SetDuration(16);
  action->SetComplete(50);
  action->SetPriority("Very\thigh\r\n   now");
  action->SetCost(1234.5);
  action->SetQuantity(3);
  action->SetWork(2);
  action->SetWorkMeasure(amDays);
  return action;
}

TEST_F(ActionTest, NewRecordIsEmptyAndWaitsForItsFirstLoad) {
  ComPtr<TActionAttribute> action = make<TActionAttribute>();
  ASSERT_EQ(action->GetChildCount(), KActionFieldCount);
  for (int32_t i = 0; i < KActionFieldCount; ++i) EXPECT_EQ(action->GetChild(i)->GetFlags(), 0u) << KActionFieldNames[i];
  EXPECT_EQ(action->GetConstraintType(), tcAsSoonAsPossible);
  EXPECT_TRUE(action->IsEmpty());
  EXPECT_EQ(action->GetStatus(), "");
  EXPECT_EQ(action->AsHtml(0), "");
}

// A run saves, writes and restores a task's dates without the record's child objects: the children,
// whether made before or after, must see exactly what a write through them would have left.
TEST_F(ActionTest, DateWritesAndRestoresAgreeWithTheChildren) {
  const auto children = [](TActionAttribute& ARecord) {
    ComPtr<IAttribute> start = ARecord.GetChild(acStartDate), finish = ARecord.GetChild(acCompletedDate);
    return TActionAttribute::TDatesState{QueryAs<IDateTimeAttribute>(start.get())->GetValue(),
                                         QueryAs<IDateTimeAttribute>(finish.get())->GetValue(), start->GetFlags(),
                                         finish->GetFlags()};
  };
  const auto same = [](const TActionAttribute::TDatesState& A, const TActionAttribute::TDatesState& B) {
    return A.Start == B.Start && A.Finish == B.Finish && A.StartFlags == B.StartFlags && A.FinishFlags == B.FinishFlags;
  };
  const double monday = EncodeDate(2024, 3, 4) + 0.375, friday = EncodeDate(2024, 3, 8) + 0.625;
  for (const bool childrenFirst : {false, true}) {
    SCOPED_TRACE(childrenFirst ? "children made first" : "children made after");
    ComPtr<TActionAttribute> action = make<TActionAttribute>();
    if (childrenFirst) children(*action);
    // A fresh record is read (from no document) before its dates are saved, as a child read would.
    const TActionAttribute::TDatesState before = action->SaveDates();
    EXPECT_EQ(before.StartFlags & afLoaded, afLoaded);
    EXPECT_FALSE(action->IsModified());
    action->WriteDates(monday, friday);
    const TActionAttribute::TDatesState written = children(*action);
    EXPECT_TRUE(same(written, {monday, friday, afLoaded | afModified, afLoaded | afModified}));
    EXPECT_TRUE(same(action->SaveDates(), written));
    EXPECT_EQ(action->GetStartDate(), monday);
    EXPECT_EQ(action->GetCompletedDate(), friday);
    EXPECT_TRUE(action->IsModified());
    action->RestoreDates(before);
    EXPECT_TRUE(same(children(*action), before));
    EXPECT_FALSE(action->IsModified());
  }
}

TEST_F(ActionTest, CompleteAndStatusFollowEachOther) {
  struct TCase {
    const char* StatusBefore;
    int32_t Complete;
    const char* StatusAfter;
  };
  for (const TCase& c : {TCase{"", 100, "Completed"}, TCase{"Completed", 0, "Not Started"},
                         TCase{"", 40, "In Progress"}, TCase{"In Progress", 150, "In Progress"},
                         TCase{"Custom", -5, "Custom"}}) {
    ComPtr<TActionAttribute> action = make<TActionAttribute>();
    action->FindChild("Status").as<IStringAttribute>()->SetValue(c.StatusBefore);
    action->SetComplete(c.Complete);
    EXPECT_EQ(action->GetComplete(), c.Complete);
    EXPECT_EQ(action->GetStatus(), c.StatusAfter) << c.Complete;
  }
  struct TStatusCase {
    const char* Status;
    int32_t CompleteAfter;
  };
  for (const TStatusCase& c : {TStatusCase{"Completed", 100}, TStatusCase{"Not Started", 0},
                               TStatusCase{"In Progress", 30}, TStatusCase{"completed", 30}}) {
    ComPtr<TActionAttribute> action = make<TActionAttribute>();
    action->FindChild("Complete").as<IIntegerAttribute>()->SetValue(30);
    action->SetStatus(c.Status);
    EXPECT_EQ(action->GetStatus(), c.Status);
    EXPECT_EQ(action->GetComplete(), c.CompleteAfter) << c.Status;
  }
}

TEST_F(ActionTest, DurationPriorityAndWorkGiveAnEmptyStatusNotStarted) {
  ComPtr<TActionAttribute> action = make<TActionAttribute>();
  action->SetDurationMeasure(amDays);
  action->SetWorkMeasure(amDays);
  action->SetCost(1);
  EXPECT_EQ(action->GetStatus(), "") << "only the three setters default the status";
  action->SetDuration(3);
  EXPECT_EQ(action->GetStatus(), "Not Started");
  ComPtr<TActionAttribute> other = make<TActionAttribute>();
  other->SetPriority("");
  EXPECT_EQ(other->GetStatus(), "Not Started");
  other->SetComplete(100);
  other->SetWork(2);
  EXPECT_EQ(other->GetStatus(), "Completed") << "a status already set stays";
}

TEST_F(ActionTest, DurationConvertsAtEightHoursADay) {
  struct TCase {
    double Duration;
    int32_t Measure;
    double Days, Hours;
    int32_t Minutes;
  };
  for (const TCase& c : {TCase{16, amHours, 2, 16, 960}, TCase{2, amDays, 2, 16, 960},
                         TCase{90, amMinutes, 0.1875, 1.5, 90}, TCase{2.5, amMinutes, 2.5 / 480, 2.5 / 60, 2},
                         TCase{3.5, amMinutes, 3.5 / 480, 3.5 / 60, 4}, TCase{5, 9, 5, 5, 5}}) {
    ComPtr<TActionAttribute> action = make<TActionAttribute>();
    action->SetDuration(c.Duration);
    action->SetDurationMeasure(c.Measure);
    EXPECT_DOUBLE_EQ(action->GetDurationInDays(), c.Days) << c.Duration << " in " << c.Measure;
    EXPECT_DOUBLE_EQ(action->GetDurationInHours(), c.Hours) << c.Duration << " in " << c.Measure;
    EXPECT_EQ(action->GetDurationInMinutes(), c.Minutes) << c.Duration << " in " << c.Measure;
  }
  EXPECT_EQ(RoundHalfToEven(-2.5), -2);
  EXPECT_EQ(RoundHalfToEven(1e12), INT32_MAX);
}

TEST_F(ActionTest, IsEmptyIgnoresMeasuresPostingSummaryAndConstraint) {
  ComPtr<TActionAttribute> action = make<TActionAttribute>();
  action->SetPostedToOutlook(true);
  action->SetConstraintDate(EncodeDate(2024, 1, 1));
  action->SetConstraintType(tcMustStartOn);
  action->SetDurationMeasure(amDays);
  action->SetWorkMeasure(amMinutes);
  action->FindChild("Is Summary").as<IWordBoolAttribute>()->SetValue(true);
  EXPECT_TRUE(action->IsEmpty());
  EXPECT_EQ(action->FindChild("Constraint Type").as<IStringAttribute>()->GetValue(), "tcMustStartOn");

  for (const char* name : {"Complete", "Completed Date", "Due Date", "Duration", "Is Action", "Priority", "Start Date",
                           "Status", "Work", "Cost", "Quantity", "Is Milestone"}) {
    ComPtr<TActionAttribute> one = make<TActionAttribute>();
    ComPtr<IAttribute> child = one->FindChild(name);
    const bool text = bool(child.try_as<IStringAttribute>()), date = bool(child.try_as<IDateTimeAttribute>());
    child->LoadFromString(text ? "x" : date ? "2024-01-01" : "1");
    EXPECT_FALSE(one->IsEmpty()) << name;
  }
}

TEST_F(ActionTest, UnknownConstraintTextReadsAsLatePossible) {
  ComPtr<TActionAttribute> action = make<TActionAttribute>();
  for (const char* text : {"qz:AsSoonAsPossible", "", "tcasSoonAsPossible"}) {
    action->FindChild("Constraint Type").as<IStringAttribute>()->SetValue(text);
    EXPECT_EQ(action->GetConstraintType(), tcAsLateAsPossible) << text;
  }
}

TEST_F(ActionTest, TooltipListsEveryFieldInOrder) {
  ComPtr<TActionAttribute> action = FullRecord();
  EXPECT_EQ(action->AsHtml(2),
            "<HTML><BODY><B>Action for Outlook</B><BR><B>Milestone</B><BR><B>Start Date</B>: 3/4/2024 <BR>"
            "<B>Due Date</B>: 3/8/2024 <BR><B>Completed Date</B>: 3/7/2024 <BR><B>Duration</B>: 16.00 hrs <BR>"
            "<B>Complete</B>: 50 %<BR><B>Priority</B>: Very high now <BR><B>Status</B>: In Progress <BR>"
            "<B>Cost</B>: 1234.50 <BR><B>Quantity</B>: 3.00 <BR><B>Work</B>: 2.00 days </BODY></HTML>");
  ComPtr<TActionAttribute> few = make<TActionAttribute>();
  few->SetDueDate(EncodeDate(2024, 3, 8));
  few->SetComplete(50);
  EXPECT_EQ(few->AsHtml(0),
            "<HTML><BODY><B>Due Date</B>: 3/8/2024 , <B>Complete</B>: 50 %, <B>Status</B>: In Progress </BODY></HTML>");
  // The host shows the tooltip as rich text: user text is escaped, not read as markup.
  few->SetPriority("<b>R&D</b>");
  few->SetStatus("a>b");
  EXPECT_NE(few->AsHtml(0).find("<B>Priority</B>: &lt;b&gt;R&amp;D&lt;/b&gt; , <B>Status</B>: a&gt;b </BODY>"),
            std::string::npos)
      << few->AsHtml(0);
}

TEST_F(ActionTest, TooltipDrawsAPassedUnfinishedDueDateRed) {
  ComPtr<TActionAttribute> action = make<TActionAttribute>();
  action->SetDueDate(EncodeDate(2024, 3, 8) + 0.5);
  const std::string red = "<HTML><BODY><FONT COLOR = #FF0000><B>Due Date</B>: 3/8/2024</FONT> </BODY></HTML>";
  const std::string plain = "<HTML><BODY><B>Due Date</B>: 3/8/2024 </BODY></HTML>";
  FixToday(EncodeDate(2024, 3, 8));
  EXPECT_EQ(action->AsHtml(0), plain) << "the due day itself is not late";
  FixToday(EncodeDate(2024, 3, 9));
  EXPECT_EQ(action->AsHtml(0), red);
  action->SetComplete(100);
  EXPECT_EQ(action->AsHtml(0).find("FONT"), std::string::npos);
  EXPECT_EQ(action->AsPlainText(0).find("FONT"), std::string::npos);
}

TEST_F(ActionTest, PlainTextPrecedesEveryLineWithItsSeparator) {
  ComPtr<TActionAttribute> action = FullRecord();
  action->SetPriority("High");
  action->SetDurationMeasure(7);
  EXPECT_EQ(action->AsPlainText(0),
            ", Action for Outlook, Milestone, Start Date 3/4/2024, Due Date 3/8/2024, Completed Date 3/7/2024, "
            "Duration 16.00 , Complete 50 %, Priority High, Status In Progress, Cost 1234.50, Quantity 3.00, "
            "Work 2.00 days");
  ComPtr<TActionAttribute> small = make<TActionAttribute>();
  small->SetCost(-0.125);
  small->SetStatus("Waiting");
  EXPECT_EQ(small->AsPlainText(2), "\r\nStatus Waiting\r\nCost -0.12");
  EXPECT_EQ(make<TActionAttribute>()->AsPlainText(2), "");
}

TEST_F(ActionTest, MapActionListAddsEachTextOnce) {
  ComPtr<TMapActionListAttribute> list = make<TMapActionListAttribute>();
  EXPECT_FALSE(list->AddText(""));
  ComPtr<IMapActionAttribute> urgent = list->AddText("Urgent");
  ASSERT_TRUE(urgent);
  EXPECT_EQ(urgent->GetMapStatus(), "Urgent");
  EXPECT_FALSE(list->AddText("Urgent"));
  EXPECT_TRUE(list->AddText("urgent"));
  EXPECT_EQ(list->GetChildCount(), 2);
  EXPECT_TRUE(list->IsModified());
}

}  // namespace
