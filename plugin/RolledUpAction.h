#pragma once
// The values a summary task shows in place of its own: a view made for one query over the
// summary's record and dropped after it, and a memo of them for the length of a run or a print.
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>

#include "plugin/ActionAttributes.h"
#include "com/AggregableObject.h"
#include "contract/WorkingSchedulerIntf.h"
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

// What one subtask gives its summary: its dates, and its duration in days to weigh its progress.
struct TVisitedValues {
  double Start;
  double Finish;
  double Days;
  int32_t Complete;

  // What a record of ours stores: never through its rolled-up getters.
  static TVisitedValues Stored(TActionAttribute& ARecord);
  // A record of another make answers through its interface; it is no summary, so its getters
  // answer what it stores.
  static TVisitedValues Answered(IActionAttribute& ARecord);
  static TVisitedValues RolledUp(const TRolledUpValues& AValues);
};

// Working durations of spans, the last one kept: the nested summaries of a deep outline mostly
// share their subtree's span, and each span costs a walk of the calendar. Without a scheduler a
// span counts calendar days, both ends included.
class TSpanDurations {
 public:
  explicit TSpanDurations(IWorkingScheduler* AScheduler) : FScheduler(AScheduler) {}
  double Of(double AStart, double AFinish);

 private:
  IWorkingScheduler* FScheduler;
  double FStart = 0, FFinish = 0, FDuration = 0;
  bool FKept = false;
};

// The running totals of one summary while its subtasks are visited.
class TRollUpTotals {
 public:
  void Visit(const TVisitedValues& AValues) {
    if (AValues.Start < FStart) FStart = AValues.Start;
    if (AValues.Finish > FFinish) FFinish = AValues.Finish;
    FTotal += AValues.Days;
    FDone += AValues.Complete / 100.0 * AValues.Days;
  }
  // AOwnMeasure: the measure of a summary without children, which visited its own record.
  TRolledUpValues Result(IWorkingScheduler* AScheduler, bool AHasChildren, int32_t AOwnMeasure) const;
  // The same, for one of many summaries whose durations ADurations works out.
  TRolledUpValues Result(TSpanDurations& ADurations, bool AHasChildren, int32_t AOwnMeasure) const;

 private:

  double FStart = KNoRolledUpStart;
  double FFinish = KNoRolledUpFinish;
  double FTotal = 0;
  double FDone = 0;
};

// Roll-ups kept while one schedule run, or one print of a map, lasts: each task of a phase is
// checked against the phase before it, which would otherwise be walked again for every task, and
// a deep tree would roll every subtree up again for each summary on it. The owner forgets the
// summaries above every task it writes; nothing else may change the map meanwhile (no tree,
// calendar or switch changes). A memo serves one map.
class TRollUpMemo {
 public:
  // The values ANode shows in place of its record's: those of a summary task while its map
  // schedules, computed once and kept; null for any other node.
  const TRolledUpValues* Summary(INode* ANode, IActionAttribute* AAction);
  // A task's dates and duration in days as its record's getters answer them, a summary's through
  // the memo.
  double Start(INode* ANode, IActionAttribute* AAction);
  double Finish(INode* ANode, IActionAttribute* AAction);
  double Days(INode* ANode, IActionAttribute* AAction);
  // The status ANode shows: a summary's from its rolled-up percentage.
  std::string Status(INode* ANode, IActionAttribute* AAction);

  const TRolledUpValues* Find(INode* ASummary) const;
  void Keep(INode* ASummary, const TRolledUpValues& AValues) { FValues[ASummary] = AValues; }
  // Forgets the summaries above ANode: its dates changed.
  void ForgetAbove(INode* ANode);
  void Clear() noexcept { FValues.clear(); }

 private:
  std::unordered_map<INode*, TRolledUpValues> FValues;  // the map holds the nodes meanwhile
  int FRollsUp = -1;  // whether the map schedules tasks, once asked
  ComPtr<IWorkingScheduler> FScheduler;  // the map's, asked with FRollsUp
};

// The roll-ups of a map kept while a view paints it: every row and every symbol of a summary reads
// its rolled-up values, and in a deep tree each of those reads walked the whole branch below. The
// view holds them for one paint, during which nothing changes the map; holds of one map nest.
class TRollUpHold {
 public:
  TRollUpHold() = delete;
  static void Hold(INode* ARoot);
  static void Release(INode* ARoot);
  // The memo held for the map whose root is ARoot; null when none is held.
  static TRollUpMemo* Find(INode* ARoot);
};

// A summary's status from its rolled-up percentage: "Not Started" at 0 %, "In Progress" up to
// 99 %, "Completed" at 100 %; any other percentage keeps AOwn.
std::string_view RolledUpStatus(int32_t AComplete, std::string_view AOwn);

// The shown dates of a task with or without a memo at hand.
inline double ShownStart(TRollUpMemo* AMemo, INode* ANode, IActionAttribute* AAction) {
  return AMemo ? AMemo->Start(ANode, AAction) : AAction->GetStartDate();
}
inline double ShownFinish(TRollUpMemo* AMemo, INode* ANode, IActionAttribute* AAction) {
  return AMemo ? AMemo->Finish(ANode, AAction) : AAction->GetCompletedDate();
}
inline double ShownDays(TRollUpMemo* AMemo, INode* ANode, IActionAttribute* AAction) {
  return AMemo ? AMemo->Days(ANode, AAction) : AAction->GetDurationInDays();
}

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

  // Every rolled-up value at once: one walk of the subtree.
  TRolledUpValues Values();
  // The same for ARecord on ANode. With AMemo, summaries below whose values it keeps are not walked
  // again, and those walked are kept in it.
  static TRolledUpValues Compute(TActionAttribute* ARecord, INode* ANode, IWorkingScheduler* AScheduler,
                                 TRollUpMemo* AMemo);

 private:

  ComPtr<TActionAttribute> FAction;
  ComPtr<INode> FNode;
};
