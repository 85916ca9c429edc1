#include "plugin/ActionHelpers.h"

#include <algorithm>
#include <array>
#include <forward_list>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "com/ComErrors.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "plugin/ActionCommandHelpers.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/RolledUpAction.h"

namespace {

// A new, empty Action property. Its record counts as loaded: there is nothing in a document to
// fetch for it.
ComPtr<IProperty> NewActionProperty() {
  ComPtr<TActionProperty> property = make<TActionProperty>();
  property->Action()->SetFlagEx(afLoaded, true, true);
  return ComPtr<IProperty>(property.get());
}

IWorkingScheduler& Require(IWorkingScheduler* AScheduler) {
  if (!AScheduler) throw EInvalidOperation("Task dates cannot be validated without a working scheduler");
  return *AScheduler;
}

// A summary without subtask records rolls up to dates beyond every date: no date for a rule.
double KnownDate(double ADate) { return ADate == KNoRolledUpStart || ADate == KNoRolledUpFinish ? 0 : ADate; }

using TPredecessorLists = std::forward_list<std::pair<INode*, std::vector<TPredecessorRead>>>;

// Values kept per node while one validation runs: mostly a task and the summary or two above it,
// kept off the heap; the rest of a deep tree's summaries go to a hash map.
template <class TValue>
class TNodeMemo {
 public:
  const TValue* Find(INode* ANode) const {
    for (size_t i = 0; i < FCount; ++i)
      if (FInline[i].first == ANode) return &FInline[i].second;
    if (FMore.empty()) return nullptr;
    const auto found = FMore.find(ANode);
    return found == FMore.end() ? nullptr : &found->second;
  }
  void Set(INode* ANode, TValue AValue) {
    for (size_t i = 0; i < FCount; ++i)
      if (FInline[i].first == ANode) {
        FInline[i].second = std::move(AValue);
        return;
      }
    if (FCount < FInline.size())
      FInline[FCount++] = {ANode, std::move(AValue)};
    else
      FMore[ANode] = std::move(AValue);
  }

 private:
  std::array<std::pair<INode*, TValue>, 4> FInline{};
  size_t FCount = 0;
  std::unordered_map<INode*, TValue> FMore;
};

// A task and the summaries above it, nearest first. Every subtask of a phase climbs to its phase,
// often twice per validation: a path that short stays off the heap.
class TNodePath {
 public:
  explicit TNodePath(INode* AFirst = nullptr) {
    if (AFirst) push_back(AFirst);
  }
  void push_back(INode* ANode) {
    if (FCount < FInline.size())
      FInline[FCount++] = ANode;
    else
      FMore.push_back(ANode);
  }
  size_t size() const noexcept { return FCount + FMore.size(); }
  INode* operator[](size_t AIndex) const noexcept {
    return AIndex < FInline.size() ? FInline[AIndex] : FMore[AIndex - FInline.size()];
  }
  INode* back() const noexcept { return (*this)[size() - 1]; }

 private:
  std::array<INode*, 6> FInline{};
  size_t FCount = 0;
  std::vector<INode*> FMore;
};

// The earliest start a node's predecessors allow, and whether they restrict it.
struct TEarliest {
  double Date = 0;
  bool Restricted = false;
};

// What one validation call reads, kept while it runs: both sides of a task ask for the same
// nodes' predecessors and records, and a validation changes no links and puts no record on a
// node. It also holds the constraint dates the rules want changed, which later rules of the same
// call read back.
class TReads {
 public:
  TReads(TScheduleReads* AShared, TConstraintChanges* AChanges)
      : FShared(AShared), FChanges(AChanges ? *AChanges : FOwnChanges) {}
  ~TReads() {
    if (!FShared) return;
    for (auto& [node, list] : FLists) {
      node = nullptr;
      list.clear();
    }
    FShared->SpareLists.splice_after(FShared->SpareLists.before_begin(), FLists);
  }
  TReads(const TReads&) = delete;
  TReads& operator=(const TReads&) = delete;

  TRollUpMemo* RollUps() const noexcept { return FShared ? FShared->RollUps() : nullptr; }

  // The node's own record, empty when it has none; looked up once per validation.
  ComPtr<IActionAttribute> Action(INode* ANode) {
    if (!ANode) return {};
    for (size_t i = 0; i < FRecordCount; ++i)
      if (FRecords[i].first == ANode) return FRecords[i].second;
    if (const TScheduleReads::TSummaryRead* summary = Summary(ANode)) return summary->Action;
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(ANode, false);
    if (action && FRecordCount < FRecords.size()) FRecords[FRecordCount++] = {ANode, action};
    return action;
  }
  // Notes the node's record, which the caller read before: it is not looked up again.
  void Know(INode* ANode, IActionAttribute* AAction) {
    if (ANode && AAction && FRecordCount < FRecords.size())
      FRecords[FRecordCount++] = {ANode, ComPtr<IActionAttribute>(AAction)};
  }
  // The node's record, or a fresh one that stays detached: reading dates must not attach a record
  // to a node, which would change the map outside any command.
  ComPtr<IActionAttribute> ReadOnlyAction(INode* ANode) {
    if (ComPtr<IActionAttribute> action = Action(ANode)) return action;
    return QueryAs<IActionAttribute>(NewActionProperty().get());
  }

  // The node's predecessors with their link types and records, in link order; links to no node
  // are left out.
  const std::vector<TPredecessorRead>& Predecessors(INode* ANode) {
    for (const auto& [node, list] : FLists)
      if (node == ANode) return list;
    if (const TScheduleReads::TSummaryRead* summary = Summary(ANode)) return summary->Predecessors;
    TPredecessorLists* spares = FShared ? &FShared->SpareLists : nullptr;
    if (spares && !spares->empty())
      FLists.splice_after(FLists.before_begin(), *spares, spares->before_begin());
    else
      FLists.emplace_front();
    auto& [node, list] = FLists.front();
    ReadPredecessors(ANode, list);
    node = ANode;  // only once complete: a failed read leaves an entry that matches no node
    return list;
  }
  // Whether the node's predecessor list holds any link.
  bool HasPredecessorLinks(INode* ANode) {
    if (const TScheduleReads::TSummaryRead* summary = Summary(ANode)) return summary->HasLinks;
    ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ANode);
    return links && links->GetCount() > 0;
  }

  // A task's dates and duration as it shows them.
  double Start(INode* ANode, IActionAttribute* AAction) {
    if (!RollUps() || !ANode->IsSummaryTask()) return KnownDate(AAction->GetStartDate());
    if (const TRolledUpValues* kept = RollUps()->Find(ANode)) return KnownDate(kept->Start);
    return KnownDate(RollUps()->Start(ANode, AAction));
  }
  double Finish(INode* ANode, IActionAttribute* AAction) {
    if (!RollUps() || !ANode->IsSummaryTask()) return KnownDate(AAction->GetCompletedDate());
    if (const TRolledUpValues* kept = RollUps()->Find(ANode)) return KnownDate(kept->Finish);
    return KnownDate(RollUps()->Finish(ANode, AAction));
  }
  double Days(INode* ANode, IActionAttribute* AAction) { return ShownDays(RollUps(), ANode, AAction); }

  // The node's parent, asked of the node once per validation: the rules climb to the summaries
  // above a task several times. Not counted: the tree holds its nodes and a validation changes no
  // tree.
  INode* Parent(INode* ANode) {
    if (INode* const* kept = FParents.Find(ANode)) return *kept;
    INode* parent = ANode->GetParent().get();
    FParents.Set(ANode, parent);
    return parent;
  }
  // The node's parent when it is a task: neither absent nor the map's root.
  INode* TaskParent(INode* ANode) {
    INode* parent = Parent(ANode);
    if (!parent) return nullptr;
    if (!FRoot) FRoot = ANode->GetRoot();  // a validation reads one map
    return parent == FRoot.get() ? nullptr : parent;
  }
  // The main branch that holds the node: the project the node belongs to.
  INode* TopTask(INode* ANode) {
    while (INode* parent = TaskParent(ANode)) ANode = parent;
    return ANode;
  }

  // A node's earliest start, once worked out in this validation: the start and finish rules of a
  // task and of the summaries above ask for it several times, and nothing they read changes meanwhile.
  TNodeMemo<TEarliest> EarliestStarts;

  // The task's constraint date, as the rules changed it so far.
  double ConstraintDate(INode* ANode, IActionAttribute* AAction) const {
    for (auto it = FChanges.rbegin(); it != FChanges.rend(); ++it)
      if (it->Node.get() == ANode) return it->Date;
    return AAction->GetConstraintDate();
  }
  // Notes the date the rules want for the task's constraint. A stand-in record of a node without
  // one changes nothing in the map.
  void ChangeConstraint(INode* ANode, double ADate) {
    if (!Action(ANode)) return;
    for (TConstraintChange& change : FChanges)
      if (change.Node.get() == ANode) {
        change.Date = ADate;
        return;
      }
    FChanges.push_back({ComPtr<INode>(ANode), ADate});
  }

 private:
  // What the run keeps of a summary task, read on first ask; null for any other node, or without a run.
  const TScheduleReads::TSummaryRead* Summary(INode* ANode) {
    // A subtask's rules ask for its phase several times: the last one found is at hand.
    if (ANode == FLastSummaryNode && ANode) return FLastSummary;
    if (!FShared || !ANode->IsSummaryTask()) return nullptr;
    const auto [entry, added] = FShared->Summaries.try_emplace(ANode);
    TScheduleReads::TSummaryRead& summary = entry->second;
    if (!added) {
      FLastSummaryNode = ANode;
      FLastSummary = &summary;
      return &summary;
    }
    try {
      summary.Action = TActionHelper::GetAction(ANode, false);
      ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ANode);
      summary.HasLinks = links && links->GetCount() > 0;
      // The predecessors' records straight from their nodes: a summary before a summary would
      // otherwise read the one before it, and so on down a chain of phases.
      ReadPredecessors(ANode, summary.Predecessors, false);
    } catch (...) {
      FShared->Summaries.erase(entry);
      throw;
    }
    FLastSummaryNode = ANode;
    FLastSummary = &summary;
    return &summary;
  }

  // AKeep: keep the predecessors' records among the validation's own.
  void ReadPredecessors(INode* ANode, std::vector<TPredecessorRead>& AResult, bool AKeep = true) {
    AResult.clear();
    ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ANode);
    if (!links) return;
    const int32_t count = links->GetCount();
    AResult.reserve(count);
    for (int32_t i = 0; i < count; ++i) {
      ComPtr<INodeLink> link = links->GetLink(i);
      ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
      if (!node) continue;
      ComPtr<ITaskLink> task = QueryAs<ITaskLink>(link.get());
      ComPtr<IActionAttribute> action = AKeep ? ReadOnlyAction(node.get()) : TActionHelper::GetAction(node.get(), false);
      if (!action) action = QueryAs<IActionAttribute>(NewActionProperty().get());
      AResult.push_back({std::move(node), task ? task->GetLinkType() : ltFinishToStart, std::move(action)});
    }
  }

  TScheduleReads* FShared;
  TConstraintChanges FOwnChanges;
  TConstraintChanges& FChanges;
  TPredecessorLists FLists;  // stable while walked
  // Records the nodes have: a task's own and a few of its neighbours', kept off the heap.
  std::array<std::pair<INode*, ComPtr<IActionAttribute>>, 4> FRecords;
  size_t FRecordCount = 0;
  TNodeMemo<INode*> FParents;
  ComPtr<INode> FRoot;
  // The summary Summary found last; the run's entries stay put while a validation reads them.
  INode* FLastSummaryNode = nullptr;
  const TScheduleReads::TSummaryRead* FLastSummary = nullptr;
};

bool HasPredecessors(INode* ANode) {
  ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ANode);
  return links && links->GetCount() > 0;
}

double ScheduleStart(INode* ANode, IWorkingScheduler* AScheduler) {
  ComPtr<IWorkingSchedule> schedule = FindWorkingSchedule(ANode);
  if (!schedule) schedule = QueryAs<IWorkingSchedule>(AScheduler);
  return schedule ? schedule->ScheduleStart() : 0;
}

// The predecessors' candidates of one side: the latest wins and restricts. ACandidate is given the
// link type and the predecessor's node and record.
template <class TCandidate>
double LatestOverPredecessors(TReads& AReads, INode* ANode, bool& ARestricted, TCandidate ACandidate) {
  double result = 0;
  double candidate = 0;  // a link type that gives none keeps the previous link's
  ARestricted = false;
  for (const TPredecessorRead& predecessor : AReads.Predecessors(ANode)) {
    ACandidate(predecessor.Type, predecessor.Node.get(), predecessor.Action.get(), candidate);
    if (candidate > result) {
      result = candidate;
      ARestricted = true;
    }
  }
  return result;
}

double EarliestStart(TReads& AReads, INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  if (const TEarliest* kept = AReads.EarliestStarts.Find(ANode)) {
    ARestricted = kept->Restricted;
    return kept->Date;
  }
  double result = LatestOverPredecessors(AReads, ANode, ARestricted,
                                         [&](TTaskLinkType AType, INode* APredecessor, IActionAttribute* AAction,
                                             double& ACandidate) {
    if (AType == ltFinishToStart) ACandidate = Require(AScheduler).StartAfter(AReads.Finish(APredecessor, AAction));
    else if (AType == ltStartToStart) ACandidate = AReads.Start(APredecessor, AAction);
  });
  if (result == 0.0) result = ScheduleStart(ANode, AScheduler);
  AReads.EarliestStarts.Set(ANode, {result, ARestricted});
  return result;
}

// The earliest finish over the node's own predecessors, before the summary tasks above are asked.
double OwnEarliestFinish(TReads& AReads, INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  return LatestOverPredecessors(AReads, ANode, ARestricted,
                                [&](TTaskLinkType AType, INode* APredecessor, IActionAttribute* AAction,
                                    double& ACandidate) {
    if (AType == ltFinishToFinish) ACandidate = AReads.Finish(APredecessor, AAction);
    else if (AType == ltStartToFinish) ACandidate = Require(AScheduler).FinishBefore(AReads.Start(APredecessor, AAction));
  });
}

double EarliestFinish(TReads& AReads, INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  // The summary tasks above that count, nearest first; then their finishes are combined from the
  // top down, so that no depth of summaries recurses.
  const auto counts = [&](INode* AParent) {
    return AParent && AParent->IsSummaryTask() && AReads.HasPredecessorLinks(AParent);
  };
  const auto ownFinish = [&](INode* ATask) { return AReads.Finish(ATask, AReads.ReadOnlyAction(ATask).get()); };
  INode* parent = AReads.Parent(ANode);
  if (!counts(parent)) {  // the usual case, without a list
    const double result = OwnEarliestFinish(AReads, ANode, AScheduler, ARestricted);
    return result == 0.0 ? ownFinish(ANode) : result;
  }
  TNodePath chain(ANode);
  for (; counts(parent); parent = AReads.Parent(chain.back())) chain.push_back(parent);
  double above = 0;
  bool aboveRestricted = false;
  for (size_t i = chain.size(); i-- > 0;) {
    bool restricted = false;
    double result = OwnEarliestFinish(AReads, chain[i], AScheduler, restricted);
    if (i + 1 != chain.size()) {
      if (aboveRestricted && above > result) result = above;
      restricted = restricted || aboveRestricted;
    }
    // A summary's own finish counts below it only when it restricts: reading it rolls the summary
    // up, for every subtask of a phase validated.
    const bool last = i == 0;
    if (result == 0.0 && (last || restricted)) result = ownFinish(chain[i]);
    above = result;
    aboveRestricted = restricted;
  }
  ARestricted = aboveRestricted;
  return above;
}

// A task's record (created if missing) with the duration in days and constraint date its rules use.
struct TTask {
  INode* Node;
  ComPtr<IActionAttribute> Action;
  double ConstraintDate;
  // Read when a rule needs it: a summary's duration rolls its subtasks up, and most rules of a
  // task below it never ask.
  double Days(TReads& AReads) const {
    if (!FDays) FDays = AReads.Days(Node, Action.get());
    return *FDays;
  }
  mutable std::optional<double> FDays;
};

TTask TaskOf(TReads& AReads, INode* ANode) {
  ComPtr<IActionAttribute> action = AReads.ReadOnlyAction(ANode);
  const double constraint = AReads.ConstraintDate(ANode, action.get());
  return {ANode, std::move(action), constraint, std::nullopt};
}

double TopTaskFinish(TReads& AReads, INode* ANode) {
  INode* top = AReads.TopTask(ANode);
  return AReads.Finish(top, AReads.ReadOnlyAction(top).get());
}

// One validation of one proposed date. The rules of a task may ask for the validated date of the
// summary task above it, whose rules may ask the one above, and a summary check asks every summary
// above in turn: asked naively, a nesting of n summaries costs 2^n validations and n stack frames.
// Here the summaries a task's rules may ask for are validated once each, from the top down, before
// the task, so that every ask is a look-up.
struct TOutcome {
  double Date;
  bool Restricted;
};

class TValidation {
 public:
  TValidation(TReads& AReads, IWorkingScheduler* AScheduler, double AProposed, bool AFinish)
      : FReads(AReads), FScheduler(AScheduler), FProposed(AProposed), FFinish(AFinish) {}

  TOutcome Validate(INode* ANode) {
    Prepare(ANode, NeedsParent(ANode));
    return Evaluate(ANode);
  }
  // The first summary above ANode that restricts the proposal, or the last one asked; none when
  // ANode has no summary above it.
  std::optional<TOutcome> SummaryStart(INode* ANode) {
    Prepare(ANode, true);
    return SummaryAbove(ANode);
  }

 private:
  // Validates, from the top down, the summaries above ANode that its rules and theirs may ask.
  void Prepare(INode* ANode, bool AAsksParent) {
    TNodePath above;
    if (AAsksParent)
      for (INode* parent = FReads.TaskParent(ANode); parent; parent = FReads.TaskParent(parent)) {
        above.push_back(parent);
        if (!NeedsParent(parent) && StopsSummaryCheck(parent)) break;
      }
    for (size_t i = above.size(); i-- > 0;) {
      INode* node = above[i];
      if (INode* parent = FReads.TaskParent(node); !parent || FOutcomes.Find(parent))
        FSummaries.Set(node, SummaryAbove(node));
      FOutcomes.Set(node, Evaluate(node));
    }
  }

  TOutcome Evaluate(INode* ANode) { return FFinish ? EvaluateFinish(ANode) : EvaluateStart(ANode); }
  TOutcome EvaluateStart(INode* ANode);
  TOutcome EvaluateFinish(INode* ANode);

  // Whether the node's rules ask for its parent's validated date, judged without asking it.
  bool NeedsParent(INode* ANode) {
    if (!FReads.TaskParent(ANode)) return false;
    const TTaskConstraintType type = FReads.ReadOnlyAction(ANode)->GetConstraintType();
    bool restricted = false;
    if (FFinish) {
      if (type != tcFinishNoLaterThan && type != tcStartNoEarlierThan) return false;
      EarliestFinish(FReads, ANode, FScheduler, restricted);
      return !restricted;
    }
    if (type == tcAsSoonAsPossible || type == tcStartNoLaterThan || type == tcFinishNoLaterThan) return true;
    if (type != tcFinishNoEarlierThan && type != tcStartNoEarlierThan) return false;
    EarliestStart(FReads, ANode, FScheduler, restricted);
    return !restricted;
  }
  // Whether a summary check coming from below ends at this node (it restricts) whatever lies above.
  bool StopsSummaryCheck(INode* ANode) {
    if (FFinish) return true;  // finish rules ask only the parent
    const TTaskConstraintType type = FReads.ReadOnlyAction(ANode)->GetConstraintType();
    if (type == tcMustStartOn) return true;
    if (type == tcMustFinishOn) return false;
    bool restricted = false;
    EarliestStart(FReads, ANode, FScheduler, restricted);
    return restricted;
  }

  TOutcome Outcome(INode* ANode) {
    if (const TOutcome* found = FOutcomes.Find(ANode)) return *found;
    return TValidation(FReads, FScheduler, FProposed, FFinish).Validate(ANode);  // not prepared: validate on its own
  }
  // The summary check: the summaries above ANode, nearest first, until one restricts.
  std::optional<TOutcome> SummaryAbove(INode* ANode) {
    INode* parent = FReads.TaskParent(ANode);
    if (!parent) return std::nullopt;
    const TOutcome outcome = Outcome(parent);
    if (outcome.Restricted) return outcome;
    if (const std::optional<TOutcome>* found = FSummaries.Find(parent); found && *found) return *found;
    return outcome;
  }

  TReads& FReads;
  IWorkingScheduler* FScheduler;
  double FProposed;
  bool FFinish;
  TNodeMemo<TOutcome> FOutcomes;
  TNodeMemo<std::optional<TOutcome>> FSummaries;
};

TOutcome TValidation::EvaluateStart(INode* ANode) {
  const double proposed = FProposed;
  double validated = proposed;
  bool restricted = false;
  const TTask task = TaskOf(FReads, ANode);
  const double c = task.ConstraintDate;
  const auto d = [&] { return task.Days(FReads); };

  const auto earliest = [&] {
    validated = EarliestStart(FReads, ANode, FScheduler, restricted);
  };
  // The summary tasks above may push the start later.
  const auto summaryCheck = [&] {
    const std::optional<TOutcome> summary = SummaryAbove(ANode);
    if (!summary || !summary->Restricted) return false;
    restricted = true;
    validated = std::max(summary->Date, validated);
    return true;
  };
  const auto asSoonAsPossible = [&] {
    earliest();
    if (!restricted) validated = proposed;
    summaryCheck();
  };

  switch (task.Action->GetConstraintType()) {
    case tcAsSoonAsPossible:
      asSoonAsPossible();
      break;
    case tcStartNoLaterThan:
      asSoonAsPossible();
      if (validated > c) validated = c, restricted = true;
      break;
    case tcFinishNoEarlierThan: {
      earliest();
      if (!restricted && !summaryCheck()) validated = proposed;
      IWorkingScheduler& scheduler = Require(FScheduler);
      if (scheduler.FinishForStart(validated, d()) < c) validated = scheduler.StartForFinish(c, d()), restricted = true;
      break;
    }
    case tcFinishNoLaterThan: {
      asSoonAsPossible();
      IWorkingScheduler& scheduler = Require(FScheduler);
      if (scheduler.FinishForStart(validated, d()) > c) validated = scheduler.StartForFinish(c, d()), restricted = true;
      break;
    }
    case tcMustStartOn:
      validated = c;
      restricted = true;
      break;
    case tcMustFinishOn:
      validated = proposed;
      restricted = false;
      break;
    case tcAsLateAsPossible: {
      earliest();
      if (restricted) break;
      IWorkingScheduler& scheduler = Require(FScheduler);
      const double work = scheduler.WorkingDuration(proposed, FReads.Finish(ANode, task.Action.get()));
      validated = scheduler.StartForFinish(TopTaskFinish(FReads, ANode), work);
      validated = std::max(validated, ScheduleStart(ANode, FScheduler));
      break;
    }
    case tcStartNoEarlierThan: {
      earliest();
      if (!restricted) validated = proposed;
      INode* parent = FReads.TaskParent(ANode);
      if (parent && !restricted) {
        const TOutcome above = Outcome(parent);
        const double parentStart = above.Date;
        restricted = above.Restricted;
        if (!restricted) {
          validated = proposed;
          const bool beforeConstraint = HasPredecessors(ANode) ? proposed < c : proposed != c;
          if (beforeConstraint) validated = c, restricted = true;
        } else if (parentStart > c && validated < parentStart) {
          FReads.ChangeConstraint(ANode, validated);
          validated = parentStart;
        } else if (validated < c) {
          validated = c;
        }
      } else if (validated < c) {
        validated = c;
        restricted = true;
      }
      break;
    }
  }
  return {validated, restricted};
}


TOutcome TValidation::EvaluateFinish(INode* ANode) {
  const double proposed = FProposed;
  double validated = proposed;
  bool restricted = false;
  const TTask task = TaskOf(FReads, ANode);
  const double c = task.ConstraintDate;
  const auto d = [&] { return task.Days(FReads); };

  const auto earliest = [&] {
    validated = EarliestFinish(FReads, ANode, FScheduler, restricted);
  };
  const auto asSoonAsPossible = [&] {
    earliest();
    if (!restricted) validated = proposed;
  };
  // The parent's validated finish, when the node has a parent task and nothing restricted it yet;
  // its result becomes the node's.
  const auto parentFinish = [&](double& AParentFinish) {
    INode* parent = FReads.TaskParent(ANode);
    if (!parent || restricted) return false;
    const TOutcome above = Outcome(parent);
    AParentFinish = above.Date;
    restricted = above.Restricted;
    return true;
  };

  switch (task.Action->GetConstraintType()) {
    case tcAsSoonAsPossible:
      asSoonAsPossible();
      break;
    case tcFinishNoEarlierThan:
      asSoonAsPossible();
      if (validated < c) validated = c, restricted = true;
      break;
    case tcFinishNoLaterThan: {
      earliest();  // kept even when unrestricted
      double parent = 0;
      if (!parentFinish(parent)) {
        if (validated > c) validated = c, restricted = true;
      } else if (!restricted) {
        validated = proposed;
        if (proposed > c) validated = c, restricted = true;
      } else if (validated > parent) {
        FReads.ChangeConstraint(ANode, validated);
        validated = parent;
      } else if (validated > c) {
        validated = c;
      }
      break;
    }
    case tcMustFinishOn:
      validated = c;
      restricted = true;
      break;
    case tcMustStartOn:
      validated = proposed;
      restricted = false;
      break;
    case tcStartNoEarlierThan: {
      asSoonAsPossible();
      double parent = 0;
      if (!parentFinish(parent)) {
        IWorkingScheduler& scheduler = Require(FScheduler);
        if (scheduler.StartForFinish(validated, d()) < c) validated = scheduler.FinishForStart(c, d()), restricted = true;
      } else if (restricted && validated <= parent && Require(FScheduler).StartForFinish(validated, d()) > c) {
        validated = c;
      }
      break;
    }
    case tcStartNoLaterThan: {
      asSoonAsPossible();
      IWorkingScheduler& scheduler = Require(FScheduler);
      if (scheduler.StartForFinish(validated, d()) > c) validated = scheduler.FinishForStart(c, d());
      break;
    }
    case tcAsLateAsPossible: {
      // The finish of a late task is held by what holds its finish: the earliest finish.
      asSoonAsPossible();
      IWorkingScheduler& scheduler = Require(FScheduler);
      const double scheduleStart = ScheduleStart(ANode, FScheduler);
      if (scheduler.StartForFinish(validated, d()) < scheduleStart) {
        validated = scheduler.FinishForStart(
            scheduleStart, scheduler.WorkingDuration(FReads.Start(ANode, task.Action.get()), proposed));
      } else {
        validated = std::min(validated, TopTaskFinish(FReads, ANode));
      }
      break;
    }
  }
  return {validated, restricted};
}

}  // namespace

ComPtr<IActionAttribute> TActionHelper::GetAction(INode* ANode, bool ACreateIfEmpty) {
  if (!ANode) return {};
  if (ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(ANode->FindProperty(KActionPropertyName).get()))
    return action;
  if (!ACreateIfEmpty) return {};
  ComPtr<IProperty> property = NewActionProperty();
  ANode->SetProperty(property.get());
  return QueryAs<IActionAttribute>(property.get());
}

ComPtr<IActionAttribute> TActionHelper::GetAction(IProperties* ASelection, bool ACreateIfEmpty) {
  if (!ASelection) return {};
  if (ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(ASelection->FindProperty(KActionPropertyName).get()))
    return action;
  if (!ACreateIfEmpty) return {};
  ComPtr<IProperty> property = NewActionProperty();
  ASelection->AddProperty(property.get());
  return QueryAs<IActionAttribute>(property.get());
}

ComPtr<IActionAttribute> TActionHelper::CloneAction(INode* ANode) {
  ComPtr<IActionAttribute> action = GetAction(ANode, false);
  if (!action) return {};
  ComPtr<IActionAttribute> clone = AttributeFactory()->CreateAttribute(uuidof<IActionAttribute>()).as<IActionAttribute>();
  clone->Assign(action.get());
  return clone;
}

int32_t TActionHelper::ConvertMeasureFromString(const std::string& AMeasureStr) {
  if (AMeasureStr == "Minutes") return amMinutes;
  if (AMeasureStr == "Days") return amDays;
  return amHours;
}

std::string TActionHelper::ConvertMeasureToString(int32_t AMeasure) {
  if (AMeasure == amMinutes) return "Minutes";
  if (AMeasure == amDays) return "Days";
  return "Hours";
}

double TActionHelper::CalculateEarliestStart(INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  TReads reads(nullptr, nullptr);
  return EarliestStart(reads, ANode, AScheduler, ARestricted);
}

double TActionHelper::CalculateEarliestFinish(INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  TReads reads(nullptr, nullptr);
  return EarliestFinish(reads, ANode, AScheduler, ARestricted);
}

bool TActionHelper::ValidateSummaryStart(INode* ANode, double AProposedStart, double AValidatedSubTaskStart,
                                         IWorkingScheduler* AScheduler, double& AValidatedStart) {
  TReads reads(nullptr, nullptr);
  const std::optional<TOutcome> summary = TValidation(reads, AScheduler, AProposedStart, false).SummaryStart(ANode);
  AValidatedStart = summary ? summary->Date : AValidatedSubTaskStart;
  return summary && summary->Restricted;
}

bool TActionHelper::ValidateTaskStart(INode* ANode, double AProposedStart, IWorkingScheduler* AScheduler,
                                      double& AValidatedStart, TConstraintChanges* AChanges, TScheduleReads* AReads) {
  TReads reads(AReads, AChanges);
  const TOutcome outcome = TValidation(reads, AScheduler, AProposedStart, false).Validate(ANode);
  AValidatedStart = outcome.Date;
  return outcome.Restricted;
}

bool TActionHelper::ValidateTaskFinish(INode* ANode, double AProposedFinish, IWorkingScheduler* AScheduler,
                                       double& AValidatedFinish, TConstraintChanges* AChanges, TScheduleReads* AReads) {
  TReads reads(AReads, AChanges);
  const TOutcome outcome = TValidation(reads, AScheduler, AProposedFinish, true).Validate(ANode);
  AValidatedFinish = outcome.Date;
  return outcome.Restricted;
}

std::pair<bool, bool> TActionHelper::ValidateTaskDates(INode* ANode, double AProposedStart, double AProposedFinish,
                                                       IWorkingScheduler* AScheduler, double& AValidatedStart,
                                                       double& AValidatedFinish, TConstraintChanges* AChanges,
                                                       TScheduleReads* AReads, IActionAttribute* ARecord) {
  TReads reads(AReads, AChanges);
  reads.Know(ANode, ARecord);
  const TOutcome start = TValidation(reads, AScheduler, AProposedStart, false).Validate(ANode);
  const TOutcome finish = TValidation(reads, AScheduler, AProposedFinish, true).Validate(ANode);
  AValidatedStart = start.Date;
  AValidatedFinish = finish.Date;
  return {start.Restricted, finish.Restricted};
}

namespace {

// Builds the helper, prepares once and hands over the command.
template <class THelper, class... TArgs>
ComPtr<ICommand> PrepareWith(TArgs&&... AArgs) {
  THelper helper(std::forward<TArgs>(AArgs)...);
  helper.Prepare();
  return helper.Command();
}

}  // namespace

ComPtr<ICommand> TActionHelper::PrepareChangeTaskStartCmd(ILumetaModel* AModel, ISelection* ASelection,
                                                          double ANewStart, bool AValidate, bool AAutoSchedule) {
  return PrepareWith<TMoveTaskCommandHelper>(AModel, ASelection, ANewStart, AValidate, AAutoSchedule);
}

ComPtr<ICommand> TActionHelper::PrepareChangeTaskFinishCmd(ILumetaModel* AModel, ISelection* ASelection,
                                                           double ANewFinish, bool AValidate, bool AAutoSchedule,
                                                           bool AMoveTask) {
  return PrepareWith<TRescheduleTaskFinishCommandHelper>(AModel, ASelection, ANewFinish, AValidate, AAutoSchedule,
                                                         AMoveTask);
}

ComPtr<ICommand> TActionHelper::PrepareChangeTaskDurationCmd(ILumetaModel* AModel, ISelection* ASelection,
                                                             double ANewDuration, int32_t ADurationMeasure) {
  return PrepareWith<TRescheduleTaskDurationCommandHelper>(AModel, ASelection, ANewDuration, ADurationMeasure);
}

ComPtr<ICommand> TActionHelper::PrepareChangeTaskDurationMeasureCmd(ILumetaModel* AModel, ISelection* ASelection,
                                                                    int32_t ANewDurationMeasure) {
  return PrepareWith<TRescheduleTaskDurationMeasureCommandHelper>(AModel, ASelection, ANewDurationMeasure);
}

ComPtr<ICommand> TActionHelper::PrepareSetMilestoneCmd(ILumetaModel* AModel, ISelection* ASelection, bool AMilestone) {
  return PrepareWith<TSetMilestoneCommandHelper>(AModel, ASelection, AMilestone);
}
