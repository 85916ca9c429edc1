#include "session/ResourceLoad.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>

#include "com/NumberText.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/LumetaMapSettings.h"

namespace {

std::string Folded(const std::string& AName) {
  std::string key = AName;
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return key;
}

double WorkHours(IActionAttribute* AAction, double AHoursPerDay) {
  const double work = AAction->GetWork();
  switch (AAction->GetWorkMeasure()) {
    case amDays: return work * AHoursPerDay;
    case amMinutes: return work / KMinutesPerHour;
    default: return work;
  }
}

// Books the work of tasks day by day, and knows how many working hours each day has.
class TBooking {
 public:
  TBooking(IWorkingScheduler* AScheduler, double AHoursPerDay) : FScheduler(AScheduler), FHoursPerDay(AHoursPerDay) {}

  double Hours(double AStart, double AFinish) const {
    return FScheduler->WorkingDuration(AStart, AFinish) * FHoursPerDay;
  }

  // AHours spread over the working time from AStart to AFinish, in proportion to each day's part.
  void Book(double AStart, double AFinish, double AHours, std::map<int64_t, double>& ADays) const {
    const double span = Hours(AStart, AFinish);
    if (span <= 0 || AHours <= 0) return;
    for (auto day = static_cast<int64_t>(std::floor(AStart)); static_cast<double>(day) < AFinish; ++day) {
      const double from = std::max(AStart, static_cast<double>(day));
      const double to = std::min(AFinish, static_cast<double>(day + 1));
      if (const double part = Hours(from, to); part > 0) ADays[day] += AHours * part / span;
    }
  }

  double Available(int64_t ADay) {
    const auto [place, added] = FAvailable.try_emplace(ADay, 0.0);
    if (added) place->second = Hours(static_cast<double>(ADay), static_cast<double>(ADay + 1));
    return place->second;
  }

 private:
  IWorkingScheduler* FScheduler;
  double FHoursPerDay;
  std::unordered_map<int64_t, double> FAvailable;
};

}  // namespace

std::vector<TResourceUse> ResourceUses(TLumetaModel* AModel) {
  TLumetaMap& map = AModel->Map();
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(map.Root());
  if (!scheduler) throw EInvalidOperation("The map has no working calendar");
  const TLumetaMapSettings* settings = map.MapSettings();
  // A day of work is a working day of the map's calendar, as it is for the scheduler.
  const double hoursPerDay = settings ? settings->WorkingMinutesPerDay() / KMinutesPerHour : KHoursPerDay;
  TBooking booking(scheduler.get(), hoursPerDay);

  std::vector<TResourceUse> uses;
  std::vector<std::map<int64_t, double>> days;
  std::unordered_map<std::string, size_t> byName;
  TLumetaMap::ForEachInSubtree(map.Root(), [&](TLumetaNode* ANode) {
    const auto& resources = ANode->ReadHostData().Resources;
    if (resources.empty()) return;
    TResourceTask task{.NodeID = ANode->ID(), .Title = ANode->Title(), .Summary = ANode->IsSummaryTask()};
    ComPtr<IProperty> property = ANode->FindProperty(KActionPropertyName);
    ComPtr<IActionAttribute> action = property ? property.try_as<IActionAttribute>() : nullptr;
    double hours = 0;
    if (action) {
      task.Start = action->GetStartDate();
      task.Finish = action->GetCompletedDate();
      if (!task.Summary && task.Start != 0 && task.Finish > task.Start) {
        hours = WorkHours(action.get(), hoursPerDay);
        if (hours <= 0) hours = booking.Hours(task.Start, task.Finish);
      }
    }
    task.Hours = hours / static_cast<double>(resources.size());
    for (const auto& [name, email] : resources) {
      const auto [place, added] = byName.try_emplace(Folded(name), uses.size());
      if (added) {
        uses.push_back({.Name = name, .Email = email, .Tasks = {}, .Hours = 0, .Days = {}});
        days.emplace_back();
      }
      TResourceUse& use = uses[place->second];
      if (use.Email.empty()) use.Email = email;
      use.Tasks.push_back(task);
      use.Hours += task.Hours;
      booking.Book(task.Start, task.Finish, task.Hours, days[place->second]);
    }
  });

  for (size_t i = 0; i < uses.size(); ++i) {
    std::ranges::stable_sort(uses[i].Tasks, [](const TResourceTask& A, const TResourceTask& B) {
      return A.Start != B.Start ? A.Start < B.Start : A.NodeID < B.NodeID;
    });
    for (const auto& [day, booked] : days[i])
      uses[i].Days.push_back({static_cast<double>(day), booked, booking.Available(day)});
  }
  std::ranges::sort(uses, [](const TResourceUse& A, const TResourceUse& B) { return Folded(A.Name) < Folded(B.Name); });
  return uses;
}

std::string HoursText(double AHours) {
  return ShortestFloatText(std::round(AHours * 100) / 100) + " hrs";
}
