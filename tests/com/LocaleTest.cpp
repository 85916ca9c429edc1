#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "com/LumetaLocale.h"
#include "com/OleDate.h"

namespace {

// Sets an environment variable for one scope and puts the old value back.
class TEnvironmentScope {
 public:
  TEnvironmentScope(const char* AName, const char* AValue) : FName(AName) {
    if (const char* old = std::getenv(AName)) FOld = old;
    setenv(AName, AValue, 1);
  }
  ~TEnvironmentScope() {
    if (FOld)
      setenv(FName, FOld->c_str(), 1);
    else
      unsetenv(FName);
  }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

TEST(DatePattern, WritesQtLettersAndCopiesTheRest) {
  const double monday = EncodeDate(2024, 3, 4) + 0.75;
  struct TCase {
    const char* Pattern;
    const char* Text;
  };
  for (const TCase& c : {TCase{"M/d/yyyy", "3/4/2024"}, TCase{"dd.MM.yyyy", "04.03.2024"},
                         TCase{"yyyy-MM-dd", "2024-03-04"}, TCase{"d/M/yy", "4/3/24"},
                         TCase{"ddd dd MMM yyyy", "Mon 04 Mar 2024"}, TCase{"dddd, MMMM d", "Monday, March 4"},
                         TCase{"d 'de' MMMM", "4 de March"}, TCase{"d''M 'y''s'", "4'3 y's"}, TCase{"y.M", "y.3"}}) {
    EXPECT_EQ(FormatDatePattern(monday, c.Pattern), c.Text) << c.Pattern;
  }
  EXPECT_EQ(FormatDatePattern(EncodeDate(2005, 12, 31), "d/M/yy"), "31/12/05");
  EXPECT_EQ(FormatDatePattern(EncodeDate(1899, 12, 30), "dddd"), "Saturday");
  EXPECT_EQ(FormatDatePattern(EncodeDate(1899, 12, 29), "dddd"), "Friday");
  EXPECT_EQ(FormatDatePattern(1e9, "yyyy"), "") << "beyond year 9999";
}

TEST(LocaleService, FixedServiceAnswersItsDayAndPattern) {
  TFixedLocaleService fixed(EncodeDate(2024, 3, 6) + 0.6, "dd.MM.yyyy", "de_DE");
  EXPECT_EQ(fixed.Today(), EncodeDate(2024, 3, 6)) << "today has no time of day";
  EXPECT_EQ(fixed.FormatShortDate(EncodeDate(2024, 3, 4) + 0.5), "04.03.2024");
  const double clock = TFixedLocaleService(0, "d/M").Today();
  EXPECT_EQ(clock, DateOf(clock));
  EXPECT_LE(std::abs(clock - TodayAsDateTime()), 1) << "0 follows the clock";
}

TEST(LocaleService, SystemServiceFollowsTheEnvironmentWithoutTouchingTheProcess) {
  TEnvironmentScope all("LC_ALL", "C");
  TSystemLocaleService system(EncodeDate(2024, 3, 6));
  EXPECT_EQ(system.FormatShortDate(EncodeDate(2024, 3, 4)), "03/04/24");
  EXPECT_EQ(system.FormatShortDate(-1e9), "");

  TEnvironmentScope missing("LC_ALL", "xx_YY.UTF-8");
  EXPECT_EQ(TSystemLocaleService().FormatShortDate(EncodeDate(2024, 3, 4)), "03/04/24")
      << "unknown locales fall back to C";
}

}  // namespace
