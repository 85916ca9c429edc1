#include "plugin/ShownActions.h"

#include <memory>
#include <optional>

#include "com/ComErrors.h"
#include "contract/WorkingSchedulerIntf.h"
#include "plugin/ActionAttributes.h"
#include "plugin/RolledUpAction.h"

namespace {

// A node's action record: ours, read through its stored values, or one of another make, read
// through its interface.
struct TRecordOf {
  ComPtr<IProperty> Found;  // the property when looked up here; a given one the caller holds
  TActionAttribute* Own = nullptr;  // held by the property
  ComPtr<IActionAttribute> Foreign;

  // AGiven: whether AProperty is the node's property (null: none), else it is looked up.
  TRecordOf(INode* ANode, IProperty* AProperty, bool AGiven)
      : Found(AGiven ? nullptr : ANode->FindProperty(KActionPropertyName)) {
    IProperty* property = AGiven ? AProperty : Found.get();
    if (!property) return;
    Own = TActionAttribute::FromAction(property);
    if (!Own) Foreign = QueryAs<IActionAttribute>(property);
  }
  bool Carried() const { return Own || Foreign; }
};

// The record's own values, as its getters answer them on a node that does not roll up.
void ShowOwn(TShownAction& ARow, TRecordOf& ARecord) {
  ARow.HasAction = true;
  if (TActionAttribute* own = ARecord.Own) {
    ARow.Start = own->StoredStartDate();
    ARow.Finish = own->StoredCompletedDate();
    ARow.Duration = own->StoredDuration();
    ARow.DurationMeasure = own->StoredDurationMeasure();
    ARow.Complete = own->StoredComplete();
    ARow.Status = own->StoredStatus();
    ARow.Due = own->GetDueDate();
    ARow.Priority = own->StoredPriority();
    // A constraint without its date binds nothing, and most tasks have none: its type is text.
    if ((ARow.ConstraintDate = own->GetConstraintDate()) > 0) ARow.ConstraintType = own->GetConstraintType();
    return;
  }
  IActionAttribute& foreign = *ARecord.Foreign;
  ARow.Start = foreign.GetStartDate();
  ARow.Finish = foreign.GetCompletedDate();
  ARow.Duration = foreign.GetDuration();
  ARow.DurationMeasure = foreign.GetDurationMeasure();
  ARow.Complete = foreign.GetComplete();
  ARow.Status = foreign.GetStatus();
  ARow.Due = foreign.GetDueDate();
  ARow.Priority = foreign.GetPriority();
  if ((ARow.ConstraintDate = foreign.GetConstraintDate()) > 0) ARow.ConstraintType = foreign.GetConstraintType();
}

// A node of the list whose children follow it: its totals gather while they do.
struct TOpenNode {
  INode* Node;  // the map holds its nodes meanwhile
  INode* Next;  // the child expected next in the list; null once every child came (or all will)
  int32_t Remaining;  // children not listed yet: the last one needs no look for a sibling
  size_t Row;
  bool Carried;   // whether it carries a record, which its summary then counts
  bool RollsUp;   // whether its row shows the rolled-up values: a summary with a record of ours
  TRollUpTotals Totals;
};

}  // namespace

std::vector<TShownAction> ShownActionsOf(const std::vector<INode*>& ANodes, const std::vector<IProperty*>& ARecords,
                                         const std::vector<int32_t>& ADepths) {
  const bool given = !ARecords.empty(), shaped = !ADepths.empty();
  if (given && ARecords.size() != ANodes.size()) throw EInvalidOperation("A table asked with records needs one record per node");
  if (shaped && ADepths.size() != ANodes.size()) throw EInvalidOperation("A table asked with depths needs one depth per node");
  const auto recordOf = [&](size_t AIndex) { return TRecordOf(ANodes[AIndex], given ? ARecords[AIndex] : nullptr, given); };
  std::vector<TShownAction> shown(ANodes.size());
  INode* first = nullptr;
  for (INode* node : ANodes)
    if ((first = node)) break;
  if (!first) return shown;
  ComPtr<IMapSettings> settings = FindMapSettings(first);
  if (!settings || !settings->GetTaskScheduling()) {
    for (size_t i = 0; i < ANodes.size(); ++i)
      if (ANodes[i])
        if (TRecordOf record = recordOf(i); record.Carried()) ShowOwn(shown[i], record);
    return shown;
  }

  ComPtr<IWorkingScheduler> scheduler = QueryAs<IWorkingScheduler>(settings->GetScheduler().get());
  TSpanDurations durations(scheduler.get());
  // A view that holds the map's roll-ups shares what this call works out; without one, a memo of
  // its own serves the summaries that must be walked.
  TRollUpMemo* held = TRollUpHold::Find(first->GetRoot().get());
  std::unique_ptr<TRollUpMemo> own;
  std::vector<TOpenNode> open;
  open.reserve(ANodes.size());  // a deep tree's whole list is open at once; untouched room costs nothing
  const auto close = [&] {
    TOpenNode done = open.back();
    open.pop_back();
    const bool counted = done.Carried && !open.empty();
    if (!done.RollsUp && !counted) return;
    const TRolledUpValues* kept = held ? held->Find(done.Node) : nullptr;
    TRolledUpValues values;
    if (kept) {
      values = *kept;
    } else if (!done.Next) {
      values = done.Totals.Result(durations, true, amDays);
      if (held) held->Keep(done.Node, values);
    } else {
      // Not every child was listed in its place. A node with children never reads the record it is given.
      if (!held && !own) own = std::make_unique<TRollUpMemo>();
      TRollUpMemo* memo = held ? held : own.get();
      values = TRolledUpAction::Compute(nullptr, done.Node, scheduler.get(), memo);
      memo->Keep(done.Node, values);
    }
    if (done.RollsUp) {
      TShownAction& row = shown[done.Row];
      row.Start = values.Start;
      row.Finish = values.Finish;
      row.Duration = values.Duration;
      row.DurationMeasure = values.DurationMeasure;
      row.Complete = values.Complete;
      row.Status = RolledUpStatus(values.Complete, row.Status);
    }
    if (counted) open.back().Totals.Visit(TVisitedValues::RolledUp(values));
  };

  for (size_t i = 0; i < ANodes.size(); ++i) {
    INode* node = ANodes[i];
    if (!node) {
      if (shaped) throw EInvalidOperation("A table asked with depths lists no empty rows");
      continue;
    }
    if (shaped) {
      // The list's shape is given: a node's children are the deeper nodes right after it.
      if (ADepths[i] < 0 || static_cast<size_t>(ADepths[i]) > open.size())
        throw EInvalidOperation("A table's depths are not those of a pre-order from depth 0");
      while (open.size() > static_cast<size_t>(ADepths[i])) close();
    } else {
      // Pre-order: the nodes whose next child this is not are done (or listed without some children).
      while (!open.empty() && open.back().Next != node) close();
      if (!open.empty()) {
        TOpenNode& parent = open.back();
        parent.Next = --parent.Remaining > 0 ? node->GetNextSibling().get() : nullptr;
      }
    }
    TRecordOf record = recordOf(i);
    if (record.Carried()) ShowOwn(shown[i], record);
    if (shaped ? i + 1 < ANodes.size() && ADepths[i + 1] > ADepths[i] : node->HasChildren()) {
      INode* next = shaped ? nullptr : node->GetFirstChild().get();
      // A listed node below another is no root: with children it is a summary.
      open.push_back({node, next, shaped ? 0 : node->GetChildCount(), i, record.Carried(),
                      record.Own && ((shaped && ADepths[i] > 0) || node->IsSummaryTask()), {}});
      continue;
    }
    if (!record.Carried() || open.empty()) continue;
    open.back().Totals.Visit(record.Own ? TVisitedValues::Stored(*record.Own) : TVisitedValues::Answered(*record.Foreign));
  }
  while (!open.empty()) close();
  return shown;
}
