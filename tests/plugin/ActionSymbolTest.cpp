#include <gtest/gtest.h>

#include <QPainter>
#include <QSize>

#include <string>
#include <vector>

#include "drawing/GPGraphics.h"
#include "tests/plugin/SymbolTestSupport.h"

namespace {

template <class I, class T>
void SetField(TActionProperty* AProperty, const std::string& AName, T AValue) {
  AProperty->Action()->FindChild(AName).template as<I>()->SetValue(AValue);
}

// Fields are set on the record's children, past the coupling of Status and Complete.
struct TSymbolCase {
  const char* Name;
  bool Scheduling;
  double DueDate;
  bool IsAction, IsMilestone;
  const char* Status;
  int Complete;
  double Cost;
  const char* Expected;  // images, then the size at icon size 6 with height 6 available
};

TEST(ActionSymbol, ChoosesItsImagesAndMeasuresAsTheRecordSays) {
  const TSymbolCase cases[] = {
      {"empty", false, 0, false, false, "", 0, 0, "| 0x0"},
      {"only a due date", false, 45000, false, false, "", 0, 0, "ACTION_CALENDAR | 7x6"},
      {"Outlook action", false, 0, true, false, "", 50, 0, "ACTION_TASKBOARD ACTION_INPROGRESS | 14x6"},
      {"milestone beats Outlook", false, 0, true, true, "", 0, 0, "ACTION_MILESTONE | 7x6"},
      {"Completed at 0", false, 0, false, false, "Completed", 0, 0, "ACTION_ONEHUNDREDPERCENT | 7x6"},
      {"In Progress at 100", false, 0, false, false, "In Progress", 100, 0, "ACTION_ONEHUNDREDPERCENT | 7x6"},
      {"other status", false, 0, false, false, "Waiting", 0, 0, "ACTION_NOTSTARTED | 7x6"},
      {"cost alone", false, 0, false, false, "", 0, 3, "| 0x0"},
      {"scheduling, empty", true, 0, false, false, "", 0, 0, "ACTION_CALENDAR ACTION_NOTSTARTED | 14x6"},
      {"scheduling ignores status", true, 0, false, false, "Completed", 0, 0, "ACTION_CALENDAR ACTION_NOTSTARTED | 14x6"},
  };
  for (const TSymbolCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TSymbolMap map;
    map.Map.Settings()->SetTaskScheduling(c.Scheduling);
    TActionProperty* property = map.AddActionNode();
    SetField<IDateTimeAttribute>(property, "Due Date", c.DueDate);
    SetField<IWordBoolAttribute>(property, "Is Action", c.IsAction);
    SetField<IWordBoolAttribute>(property, "Is Milestone", c.IsMilestone);
    SetField<IStringAttribute>(property, "Status", std::string(c.Status));
    SetField<IIntegerAttribute>(property, "Complete", c.Complete);
    SetField<IDoubleAttribute>(property, "Cost", c.Cost);

    std::string result;
    for (const std::string& name : property->GetSymbolImages(DrawFlagSymbol)) result += name + " ";
    QPainter idle;
    TGPGraphics graphics(idle);
    int width = -1, height = -1;
    property->MeasureSymbol(&graphics, 6, width, height);
    EXPECT_EQ(result + "| " + std::to_string(width) + "x" + std::to_string(height), c.Expected);
    EXPECT_TRUE(property->GetSymbolImages(0).empty()) << "nothing is drawn without drawing flag bit 0";
  }
}

TEST(ActionSymbol, SummaryTaskShowsTheSummaryImageOnlyWhileTheMapSchedules) {
  TSymbolMap map;
  TActionProperty* summary = map.AddActionNode();
  map.AddActionNode(map.Map.FindNode(1));
  summary->Action()->SetIsMilestone(true);
  EXPECT_EQ(summary->GetSymbolImages(DrawFlagSymbol), std::vector<std::string>{"ACTION_MILESTONE"});
  map.Map.Settings()->SetTaskScheduling(true);
  EXPECT_EQ(summary->GetSymbolImages(DrawFlagSymbol), (std::vector<std::string>{"ACTION_SUMMARY", "ACTION_NOTSTARTED"}));
}

QImage Draw(TActionProperty* AProperty, int32_t AFlags, int32_t AAvailableHeight) {
  QImage image(60, 60, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  TGPGraphics graphics(painter, 4);  // s = 24
  AProperty->DrawSymbol(&graphics, AFlags, 5, 5, 60, AAvailableHeight);
  return image;
}

TEST(ActionSymbol, DrawsEachIconIntoItsSquarePlainOrGreyed) {
  TSymbolMap map;
  TActionProperty* property = map.AddActionNode();
  property->Action()->SetPriority("High");
  const QRect first(5, 5, 24, 24), right(30, 5, 24, 24), below(5, 29, 24, 24);
  // The second icon alone takes the first square.
  QImage image = Draw(property, DrawFlagSymbol, 24);
  EXPECT_GT(OpaquePixels(image, first), 100);
  EXPECT_EQ(OpaquePixels(image, image.rect()), OpaquePixels(image, first));

  property->Action()->SetDueDate(45000);
  image = Draw(property, DrawFlagSymbol, 24);
  EXPECT_GT(OpaquePixels(image, right), 100);
  EXPECT_EQ(OpaquePixels(image, image.rect()), OpaquePixels(image, first) + OpaquePixels(image, right));
  image = Draw(property, DrawFlagSymbol, 48);
  EXPECT_GT(OpaquePixels(image, below), 100);
  EXPECT_EQ(OpaquePixels(image, right), 0);

  const QImage greyed = Draw(property, DrawFlagSymbol | DrawFlagGreyed, 48);
  EXPECT_NE(greyed, image);
  EXPECT_GT(OpaquePixels(greyed, below), 100);
  EXPECT_EQ(OpaquePixels(Draw(property, DrawFlagGreyed, 48), image.rect()), 0) << "bit 0 still decides";
  EXPECT_THROW(property->DrawSymbol(nullptr, DrawFlagSymbol, 0, 0, 6, 6), EInvalidOperation);
}

}  // namespace
