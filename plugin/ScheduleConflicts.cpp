#include "plugin/ScheduleConflicts.h"

#include <algorithm>
#include <utility>

#include "contract/ActionAttributesIntf.h"
#include "contract/WorkingSchedulerIntf.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"

namespace {

ComPtr<IActionAttribute> FindAction(INode* ANode) {
  return ANode ? QueryAs<IActionAttribute>(ANode->FindProperty(TActionPropertyManager::ClassDescription).get())
               : nullptr;
}

// A date that names a day: 0 is none, and a summary without subtask records has sentinels.
bool HasWholeDayDate(double ADate) { return ADate >= 1 && ADate < 2958466; }

// The constraint kinds that pin a date whatever the links say.
bool Pins(TTaskConstraintType AType) {
  return AType == tcMustStartOn || AType == tcMustFinishOn || AType == tcStartNoLaterThan ||
         AType == tcFinishNoLaterThan;
}

}  // namespace

std::vector<TScheduleConflict> FindScheduleConflicts(INode* ANode) {
  std::vector<TScheduleConflict> conflicts;
  if (!ANode) return conflicts;
  ComPtr<INode> root = ANode->GetRoot();
  if (!root) root = ANode;
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(root.get());
  ComPtr<IWorkingSchedule> schedule = FindWorkingSchedule(root.get());
  if (!scheduler) return conflicts;
  const double scheduleStart = schedule ? schedule->ScheduleStart() : 0;
  std::vector<ComPtr<INode>> pending;
  for (ComPtr<INode> child = root->GetFirstChild(); child; child = child->GetNextSibling()) pending.push_back(child);
  std::reverse(pending.begin(), pending.end());
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    const size_t mark = pending.size();
    for (ComPtr<INode> child = node->GetFirstChild(); child; child = child->GetNextSibling()) pending.push_back(child);
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(mark), pending.end());
    ComPtr<IActionAttribute> action = FindAction(node.get());
    if (!action || node->IsSummaryTask()) continue;
    TScheduleConflict base;
    base.TaskID = node->GetID();
    // Only a pinning constraint is part of the conflict: a start typed later (which records a
    // start-no-earlier-than) leaves the same conflict standing.
    if (const TTaskConstraintType type = action->GetConstraintType(); Pins(type)) {
      base.Held = true;
      base.Constraint = type;
      base.ConstraintDate = action->GetConstraintDate();
    }
    const double start = action->GetStartDate(), finish = action->GetCompletedDate();
    const std::vector<TTaskLinkEntry> links = TaskLinksOf(TLumetaNodeLinksProperty::Of(node.get()).get());
    if (HasWholeDayDate(start) && HasWholeDayDate(scheduleStart) && start < scheduleStart) {
      TScheduleConflict conflict = base;
      conflict.Kind = TConflictKind::BeforeScheduleStart;
      conflict.Date = start;
      conflict.Allowed = scheduleStart;
      // Only a finish link can pull a task back; name the one that sets the finish.
      for (const TTaskLinkEntry& link : links) {
        if (link.Type != ltFinishToFinish && link.Type != ltStartToFinish) continue;
        conflict.PredecessorID = link.Node->GetID();
        conflict.LinkType = link.Type;
        break;
      }
      conflicts.push_back(std::move(conflict));
    }
    for (const TTaskLinkEntry& link : links) {
      ComPtr<IActionAttribute> predecessor = FindAction(link.Node.get());
      if (!predecessor) continue;
      const TTaskLinkType type = link.Type;
      const bool ofStart = type == ltFinishToStart || type == ltStartToStart;
      const double own = ofStart ? start : finish;
      const bool ofFinish = type == ltFinishToStart || type == ltFinishToFinish;
      const double from = ofFinish ? predecessor->GetCompletedDate() : predecessor->GetStartDate();
      // The scheduler refuses dates outside its years; a missing date limits nothing.
      if (!HasWholeDayDate(own) || !HasWholeDayDate(from)) continue;
      const double earliest = type == ltFinishToStart   ? scheduler->StartAfter(from)
                              : type == ltStartToFinish ? scheduler->FinishBefore(from)
                                                        : from;
      if (!HasWholeDayDate(earliest) || own >= earliest) continue;
      TScheduleConflict conflict = base;
      conflict.PredecessorID = link.Node->GetID();
      conflict.LinkType = type;
      conflict.OfStart = ofStart;
      conflict.Date = own;
      conflict.Allowed = earliest;
      conflicts.push_back(std::move(conflict));
    }
  }
  return conflicts;
}
