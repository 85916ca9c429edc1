#pragma once
// The locale facts that renderings depend on: today's date and the short date format. One service
// serves the whole process (host and plug-in alike); tests and the programs fix it so that their
// output does not depend on the day or on the user's settings.
#include <memory>
#include <string>

class TLocaleService {
 public:
  virtual ~TLocaleService() = default;
  // Today as a date-time without time of day.
  virtual double Today() = 0;
  // The date part in the short date format; empty for a date outside years 1 to 9999.
  virtual std::string FormatShortDate(double ADate) = 0;
  // A name for messages and diagnostics ("de_DE.UTF-8", "dd.MM.yyyy").
  virtual std::string Name() = 0;
};

// The service in use: the one given to SetLocaleService, else one following the user's locale.
// The reference stays valid until SetLocaleService replaces the service. Call from one thread.
TLocaleService& LocaleService();
// Replaces the service in use; null goes back to the user's locale.
void SetLocaleService(std::shared_ptr<TLocaleService> AService);

// Follows the user's locale for dates (LC_ALL, LC_TIME, LANG through the C library), without
// changing the process's own locale; an unknown locale falls back to "C". AToday fixes today;
// 0 follows the local clock.
class TSystemLocaleService : public TLocaleService {
 public:
  explicit TSystemLocaleService(double AToday = 0);
  ~TSystemLocaleService() override;
  TSystemLocaleService(const TSystemLocaleService&) = delete;
  TSystemLocaleService& operator=(const TSystemLocaleService&) = delete;

  double Today() override;
  std::string FormatShortDate(double ADate) override;
  std::string Name() override;

 private:
  struct TData;
  std::unique_ptr<TData> FData;
};

// A fixed short date pattern in Qt's letters: d, dd (day), M, MM (month), MMM, MMMM (English month
// names), ddd, dddd (English day names), yy, yyyy (year); text in single quotes and every other
// character is copied as it stands ('' is a quote). AToday fixes today; 0 follows the local clock.
class TFixedLocaleService : public TLocaleService {
 public:
  TFixedLocaleService(double AToday, std::string APattern, std::string AName = {});

  double Today() override;
  std::string FormatShortDate(double ADate) override;
  // The name given, else the pattern.
  std::string Name() override;

 private:
  double FToday;
  std::string FPattern;
  std::string FName;
};

// Formats a date-time's date part by a pattern in the letters TFixedLocaleService takes; empty
// for a date outside years 1 to 9999.
std::string FormatDatePattern(double ADate, const std::string& APattern);
