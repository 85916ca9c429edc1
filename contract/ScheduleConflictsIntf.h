#pragma once
// Dates the scheduling rules let stand although a link or the schedule start cannot hold them: a
// constraint that pins a task before its predecessor allows, a finish-to-finish link that pulls a
// task before the schedule start. The rules decide which date wins; this only names the outcome,
// for front ends to show. The Action plug-in's controller answers IScheduleConflicts.
#include <cstdint>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "com/OleDate.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaTypes.h"

enum class TConflictKind : uint8_t {
  BeforeScheduleStart,  // the task starts before the schedule start
  BeforeLink,           // the task starts (or finishes) before its link from a predecessor allows
};

struct TScheduleConflict {
  std::string TaskID;
  TConflictKind Kind = TConflictKind::BeforeLink;
  // The link that was not held, or for BeforeScheduleStart the finish link that placed the task
  // there (empty when none did).
  std::string PredecessorID;
  TTaskLinkType LinkType = ltFinishToStart;
  bool OfStart = true;  // the task's start is too early, else its finish
  double Date = 0;      // the task's start or finish
  double Allowed = 0;   // the earliest the link or the schedule start allows
  // The constraint that holds the task there, when one of the pinning kinds (must start or finish
  // on, start or finish no later than) does; else Held is false and the two stay as they are.
  bool Held = false;
  TTaskConstraintType Constraint = tcAsSoonAsPossible;
  double ConstraintDate = 0;
  bool operator==(const TScheduleConflict&) const = default;
};

struct IScheduleConflicts : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0F26FEEB-E4A2-40BA-B2A6-FFAB958026DA");
  // The conflicts of every task of the map that holds ANode, in tree order, each task's
  // schedule-start conflict before its link conflicts.
  virtual std::vector<TScheduleConflict> GetScheduleConflicts(INode* ANode) = 0;
};

// One line for people: "task 2 starts 2025-10-21T00:00:00, before its FS link from task 1 allows
// (2025-10-23T08:00:00) (held by its constraint Must Start On 2025-10-21T00:00:00)".
inline std::string ConflictText(const TScheduleConflict& AConflict) {
  std::string text = "task " + AConflict.TaskID + (AConflict.OfStart ? " starts " : " finishes ") +
                     DateTimeToXmlText(AConflict.Date);
  const std::string link =
      AConflict.PredecessorID.empty()
          ? std::string()
          : std::string(KTaskLinkTypeCodes[AConflict.LinkType]) + " link from task " + AConflict.PredecessorID;
  if (AConflict.Kind == TConflictKind::BeforeScheduleStart) {
    text += ", before the schedule start " + DateTimeToXmlText(AConflict.Allowed);
    if (!link.empty()) text += " (placed there by its " + link + ")";
  } else {
    text += ", before its " + link + " allows (" + DateTimeToXmlText(AConflict.Allowed) + ")";
  }
  if (AConflict.Held)
    text += " (held by its constraint " + std::string(KTaskConstraintTypeCaptions[AConflict.Constraint]) + " " +
            DateTimeToXmlText(AConflict.ConstraintDate) + ")";
  return text;
}
