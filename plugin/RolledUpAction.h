#pragma once
// The values a summary task shows in place of its own: made for one query over the summary's
// record and dropped after it; nothing is cached.
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>

#include "plugin/ActionAttributes.h"
#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

// The start and finish of a summary none of whose children carries a record: later and earlier
// than every date, so that callers can tell them from dates.
inline constexpr double KNoRolledUpStart = std::numeric_limits<double>::max();
inline constexpr double KNoRolledUpFinish = std::numeric_limits<double>::lowest();

// What a summary rolls up to, all computed by one walk of its subtree.
struct TRolledUpValues {
  double Start = KNoRolledUpStart;
  double Finish = KNoRolledUpFinish;
  double Duration = 0;
  int32_t DurationMeasure = amDays;
  int32_t Complete = 0;
};

// Roll-ups kept while one reschedule run lasts: each task of a phase is checked against the phase
// before it, which would otherwise be walked again for every task. A run writes only task records
// (no tree, calendar or switch changes) and forgets the summaries above every task it writes.
class TRollUpMemo {
 public:
  // Makes AMemo the one views consult until the scope ends; an outer run's memo stays in use.
  class TScope {
   public:
    explicit TScope(TRollUpMemo& AMemo);
    ~TScope();
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

   private:
    bool FInstalled;
  };
  // The memo of the run in progress; null outside runs.
  static TRollUpMemo* Active() noexcept;

  const TRolledUpValues* Find(INode* ASummary) const;
  void Keep(INode* ASummary, const TRolledUpValues& AValues) { FValues[ASummary] = AValues; }
  // Forgets the summaries above ANode: its dates changed.
  void ForgetAbove(INode* ANode);
  void Clear() noexcept { FValues.clear(); }

 private:
  std::unordered_map<INode*, TRolledUpValues> FValues;  // the map holds the nodes during the run
};

// A read-only view of a summary task's action record. The node's children that carry a record
// are its subtasks; a subtask that has children itself contributes its own rolled-up values, as
// its getters would answer them in a map that schedules tasks. A node without children rolls up
// its own record. Every query walks the subtree once, without recursion, so it costs time linear
// in the subtree and any depth of summaries is safe. Its answers come from stored values, never
// through the records' rolled-up getters, so asking it from those getters cannot recurse.
class TRolledUpAction : public TAggregableObject {
 public:
  // Holds a reference to the record for the view's life. Without ANode the view finds the node
  // through the record's property; a record on no node rolls up itself.
  explicit TRolledUpAction(TActionAttribute* AAction, INode* ANode = nullptr);

  int32_t GetComplete() { return Values().Complete; }
  double GetCompletedDate() { return Values().Finish; }
  double GetDuration() { return Values().Duration; }
  int32_t GetDurationMeasure() { return Values().DurationMeasure; }
  bool GetIsSummary() { return FAction->StoredIsSummary(); }
  double GetStartDate() { return Values().Start; }
  // "Not Started" at 0 %, "In Progress" up to 99 %, "Completed" at 100 %; any other percentage
  // (subtasks beyond 0..100) the summary's own status.
  std::string GetStatus();

  // Every rolled-up value at once: one walk of the subtree, or none while a memo holds them.
  TRolledUpValues Values();

 private:
  TRolledUpValues Compute();

  ComPtr<TActionAttribute> FAction;
  ComPtr<INode> FNode;
};
