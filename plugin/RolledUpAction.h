#pragma once
// The values a summary task shows in place of its own: made for one query over the summary's
// record and dropped after it; nothing is cached.
#include <string>

#include "plugin/ActionAttributes.h"
#include "com/AggregableObject.h"

// A read-only view of a summary task's action record. Its answers come from the record's stored
// values, never through the record's rolled-up getters, so asking it from those getters cannot
// recurse. For now every field answers the summary's own stored value.
class TRolledUpAction : public TAggregableObject {
 public:
  // Holds a reference to the record for the view's life.
  explicit TRolledUpAction(TActionAttribute* AAction) : FAction(AAction) {}

  int32_t GetComplete() { return FAction->StoredComplete(); }
  double GetCompletedDate() { return FAction->StoredCompletedDate(); }
  double GetDuration() { return FAction->StoredDuration(); }
  int32_t GetDurationMeasure() { return FAction->StoredDurationMeasure(); }
  bool GetIsSummary() { return FAction->StoredIsSummary(); }
  double GetStartDate() { return FAction->StoredStartDate(); }
  std::string GetStatus() { return FAction->StoredStatus(); }

 private:
  ComPtr<TActionAttribute> FAction;
};
