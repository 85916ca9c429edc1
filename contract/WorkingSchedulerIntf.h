#pragma once
// The host's working-time arithmetic over the map's calendar. Date-times are day numbers (0 means
// no date); durations are in working days of the calendar's working hours. Operations in slot order.
#include "com/ComPtr.h"
#include "contract/ActionVocabulary.h"
#include "contract/LumetaIntf.h"

struct IWorkingScheduler : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("8CBE3761-A451-4646-B9BD-910B8BC4627E");
  // ADate when it lies in a working period or on one of its ends, else the end of the previous period.
  virtual double ToWorkingFinish(double ADate) = 0;
  // ADate in the same case, else the start of the next period.
  virtual double ToWorkingStart(double ADate) = 0;
  // The first moment from which work can go on after a finish.
  virtual double StartAfter(double AFinish) = 0;
  // The last moment up to which work can have been done before a start.
  virtual double FinishBefore(double AStart) = 0;
  // Working days between the two; negative when AFinish lies before AStart.
  virtual double WorkingDuration(double AStart, double AFinish) = 0;
  virtual double FinishForStart(double AStart, double ADays) = 0;
  virtual double StartForFinish(double AFinish, double ADays) = 0;
};

// The schedule the scheduler belongs to.
struct IWorkingSchedule : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("B49FE8E0-24F5-449B-AEEA-3F80999D6B0E");
  // Where a task without predecessors starts.
  virtual double ScheduleStart() = 0;
};

// The map settings of ANode's map, or empty when the map has none.
inline ComPtr<IMapSettings> FindMapSettings(INode* ANode) {
  if (!ANode) return {};
  ComPtr<INode> root = ANode->GetRoot();
  if (!root) return {};
  return QueryAs<IMapSettings>(root->FindAttribute(KMapSettingsName).get());
}

// The working scheduler of ANode's map: its map settings' scheduler, or empty when any step
// yields nothing.
inline ComPtr<IWorkingScheduler> FindWorkingScheduler(INode* ANode) {
  ComPtr<IMapSettings> settings = FindMapSettings(ANode);
  return settings ? QueryAs<IWorkingScheduler>(settings->GetScheduler().get()) : nullptr;
}

inline ComPtr<IWorkingSchedule> FindWorkingSchedule(INode* ANode) {
  ComPtr<IMapSettings> settings = FindMapSettings(ANode);
  return settings ? QueryAs<IWorkingSchedule>(settings->GetScheduler().get()) : nullptr;
}
