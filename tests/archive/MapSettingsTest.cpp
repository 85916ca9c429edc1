#include <gtest/gtest.h>

#include "com/OleDate.h"
#include "host/LumetaMapSettings.h"

namespace {

TEST(MapSettings, DefaultCalendarWorksWeekdaysEightHours) {
  ComPtr<TLumetaMapSettings> settings = make<TLumetaMapSettings>();
  EXPECT_EQ(settings->WorkingMinutesPerDay(), 8 * 60);
  EXPECT_EQ(settings->WorkingPeriods(), TLumetaMapSettings::DefaultWorkingPeriods());
  EXPECT_TRUE(settings->Holidays().empty());
  EXPECT_EQ(TLumetaMapSettings::IsoWeekDay(0), 6) << "30 December 1899 was a Saturday";
  EXPECT_EQ(TLumetaMapSettings::IsoWeekDay(EncodeDate(2025, 9, 1) + 0.75), 1);
  EXPECT_TRUE(settings->IsWorkingDay(EncodeDate(2025, 9, 5)));   // a Friday
  EXPECT_FALSE(settings->IsWorkingDay(EncodeDate(2025, 9, 6)));  // a Saturday
  EXPECT_FALSE(settings->IsWorkingWeekDay(0));
  EXPECT_FALSE(settings->IsWorkingWeekDay(8));
  EXPECT_FALSE(settings->IsModified());
}

TEST(MapSettings, HolidaysAreWholeDaysSortedOnce) {
  ComPtr<TLumetaMapSettings> settings = make<TLumetaMapSettings>();
  const double christmas = EncodeDate(2025, 12, 25);
  settings->SetHolidays({christmas + 0.5, EncodeDate(2025, 1, 1), christmas});
  EXPECT_EQ(settings->Holidays(), (std::vector<double>{EncodeDate(2025, 1, 1), christmas}));
  EXPECT_FALSE(settings->IsWorkingDay(christmas + 0.9));
  EXPECT_TRUE(settings->IsWorkingDay(christmas + 1));
  EXPECT_TRUE(settings->IsModified());
}

TEST(MapSettings, RefusesACalendarWithoutWorkingTime) {
  ComPtr<TLumetaMapSettings> settings = make<TLumetaMapSettings>();
  EXPECT_THROW(settings->SetWorkingDays(0), EConvertError);
  EXPECT_THROW(settings->SetWorkingDays(128), EConvertError);
  EXPECT_THROW(settings->SetWorkingPeriods({}), EConvertError);
  EXPECT_THROW(settings->SetWorkingPeriods({{600, 600}}), EConvertError);
  EXPECT_THROW(settings->SetWorkingPeriods({{-10, 60}}), EConvertError);
  EXPECT_THROW(settings->SetWorkingPeriods({{600, 1500}}), EConvertError);
  EXPECT_THROW(settings->SetWorkingPeriods({{780, 1020}, {480, 720}}), EConvertError) << "out of order";
  EXPECT_EQ(settings->WorkingPeriods(), TLumetaMapSettings::DefaultWorkingPeriods()) << "a refused change changes nothing";
  settings->SetWorkingPeriods({{0, 720}, {720, 1440}});
  EXPECT_EQ(settings->WorkingMinutesPerDay(), 1440) << "touching periods are allowed";
}

TEST(MapSettings, CopiesAndComparesTheCalendar) {
  ComPtr<TLumetaMapSettings> source = make<TLumetaMapSettings>();
  ComPtr<TLumetaMapSettings> target = make<TLumetaMapSettings>();
  EXPECT_TRUE(target->EqualTo(source.get()));
  source->SetTaskScheduling(true);
  source->SetWorkingDays(wdSaturday | wdSunday);
  source->SetHolidays({EncodeDate(2025, 5, 1)});
  EXPECT_FALSE(target->EqualTo(source.get()));
  target->Assign(source.get());
  EXPECT_TRUE(target->EqualTo(source.get()));
  EXPECT_TRUE(target->GetTaskScheduling());
  EXPECT_EQ(target->WorkingDays(), wdSaturday | wdSunday);
  source->SetWorkingPeriods({{540, 1020}});
  EXPECT_FALSE(target->EqualTo(source.get())) << "the periods count too";
}

}  // namespace
