#include "plugin/ActionHelpers.h"

#include <algorithm>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "com/ComErrors.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/RolledUpAction.h"

namespace {

const char* const KActionPropertyName = TActionPropertyManager::ClassDescription;

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

// The node's predecessors with their link types, in link order; links to no node are left out.
struct TPredecessor {
  ComPtr<INode> Node;
  TTaskLinkType Type;
};

std::vector<TPredecessor> Predecessors(INode* ANode) {
  std::vector<TPredecessor> result;
  ComPtr<INodeLinkList2> links =
      QueryAs<INodeLinkList2>(ANode->FindProperty(TLumetaNodeLinksProperty::ManagerInfo.Description).get());
  if (!links) return result;
  const int32_t count = links->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INodeLink> link = links->GetLink(i);
    ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
    if (!node) continue;
    ComPtr<ITaskLink> task = QueryAs<ITaskLink>(link.get());
    result.push_back({std::move(node), task ? task->GetLinkType() : ltFinishToStart});
  }
  return result;
}

bool HasPredecessors(INode* ANode) {
  ComPtr<INodeLinkList2> links =
      QueryAs<INodeLinkList2>(ANode->FindProperty(TLumetaNodeLinksProperty::ManagerInfo.Description).get());
  return links && links->GetCount() > 0;
}

// The node's parent when it is a task: neither absent nor the map's root.
ComPtr<INode> TaskParent(INode* ANode) {
  ComPtr<INode> parent = ANode->GetParent();
  if (!parent || parent.get() == ANode->GetRoot().get()) return nullptr;
  return parent;
}

// The main branch that holds the node: the project the node belongs to.
ComPtr<INode> TopTask(INode* ANode) {
  ComPtr<INode> node(ANode);
  while (ComPtr<INode> parent = TaskParent(node.get())) node = std::move(parent);
  return node;
}

double ScheduleStart(INode* ANode, IWorkingScheduler* AScheduler) {
  ComPtr<IWorkingSchedule> schedule = FindWorkingSchedule(ANode);
  if (!schedule) schedule = QueryAs<IWorkingSchedule>(AScheduler);
  return schedule ? schedule->ScheduleStart() : 0;
}

// The predecessors' candidates of one side: the latest wins and restricts.
template <class TCandidate>
double LatestOverPredecessors(INode* ANode, bool& ARestricted, TCandidate ACandidate) {
  double result = 0;
  double candidate = 0;  // a link type that gives none keeps the previous link's
  ARestricted = false;
  for (const TPredecessor& predecessor : Predecessors(ANode)) {
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(predecessor.Node.get(), true);
    ACandidate(predecessor.Type, *action, candidate);
    if (candidate > result) {
      result = candidate;
      ARestricted = true;
    }
  }
  return result;
}

// The earliest finish over the node's own predecessors, before the summary tasks above are asked.
double OwnEarliestFinish(INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  return LatestOverPredecessors(ANode, ARestricted, [&](TTaskLinkType AType, IActionAttribute& AAction, double& ACandidate) {
    if (AType == ltFinishToFinish) ACandidate = KnownDate(AAction.GetCompletedDate());
    else if (AType == ltStartToFinish) ACandidate = Require(AScheduler).FinishBefore(KnownDate(AAction.GetStartDate()));
  });
}

// A task's record (created if missing) with the duration in days and constraint date its rules use.
struct TTask {
  ComPtr<IActionAttribute> Action;
  double Days;
  double ConstraintDate;
};

TTask TaskOf(INode* ANode) {
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(ANode, true);
  const double days = action->GetDurationInDays();
  const double constraint = action->GetConstraintDate();
  return {std::move(action), days, constraint};
}

double TopTaskFinish(INode* ANode) {
  return KnownDate(TActionHelper::GetAction(TopTask(ANode).get(), true)->GetCompletedDate());
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
  double result = LatestOverPredecessors(ANode, ARestricted, [&](TTaskLinkType AType, IActionAttribute& AAction, double& ACandidate) {
    if (AType == ltFinishToStart) ACandidate = Require(AScheduler).StartAfter(KnownDate(AAction.GetCompletedDate()));
    else if (AType == ltStartToStart) ACandidate = KnownDate(AAction.GetStartDate());
  });
  if (result == 0.0) result = ScheduleStart(ANode, AScheduler);
  return result;
}

double TActionHelper::CalculateEarliestFinish(INode* ANode, IWorkingScheduler* AScheduler, bool& ARestricted) {
  // The summary tasks above that count, nearest first; then their finishes are combined from the
  // top down, so that no depth of summaries recurses.
  std::vector<ComPtr<INode>> chain{ComPtr<INode>(ANode)};
  for (;;) {
    ComPtr<INode> parent = chain.back()->GetParent();
    if (!parent || !parent->IsSummaryTask() || !HasPredecessors(parent.get())) break;
    chain.push_back(std::move(parent));
  }
  double above = 0;
  bool aboveRestricted = false;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    bool restricted = false;
    double result = OwnEarliestFinish(it->get(), AScheduler, restricted);
    if (it != chain.rbegin()) {
      if (aboveRestricted && above > result) result = above;
      restricted = restricted || aboveRestricted;
    }
    if (result == 0.0) result = KnownDate(GetAction(it->get(), true)->GetCompletedDate());
    above = result;
    aboveRestricted = restricted;
  }
  ARestricted = aboveRestricted;
  return above;
}

bool TActionHelper::ValidateSummaryStart(INode* ANode, double AProposedStart, double AValidatedSubTaskStart,
                                         IWorkingScheduler* AScheduler, double& AValidatedStart) {
  AValidatedStart = AValidatedSubTaskStart;
  for (ComPtr<INode> ancestor = TaskParent(ANode); ancestor; ancestor = TaskParent(ancestor.get()))
    if (ValidateTaskStart(ancestor.get(), AProposedStart, AScheduler, AValidatedStart)) return true;
  return false;
}

bool TActionHelper::ValidateTaskStart(INode* ANode, double AProposedStart, IWorkingScheduler* AScheduler,
                                      double& AValidatedStart) {
  const double proposed = AProposedStart;
  double& validated = AValidatedStart;
  validated = proposed;
  bool restricted = false;
  const TTask task = TaskOf(ANode);
  const double c = task.ConstraintDate;
  const double d = task.Days;

  const auto earliest = [&] {
    validated = CalculateEarliestStart(ANode, AScheduler, restricted);
  };
  // The summary tasks above may push the start later.
  const auto summaryCheck = [&] {
    double summaryStart = 0;
    if (!ValidateSummaryStart(ANode, proposed, validated, AScheduler, summaryStart)) return false;
    restricted = true;
    validated = std::max(summaryStart, validated);
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
      IWorkingScheduler& scheduler = Require(AScheduler);
      if (scheduler.FinishForStart(validated, d) < c) validated = scheduler.StartForFinish(c, d), restricted = true;
      break;
    }
    case tcFinishNoLaterThan: {
      asSoonAsPossible();
      IWorkingScheduler& scheduler = Require(AScheduler);
      if (scheduler.FinishForStart(validated, d) > c) validated = scheduler.StartForFinish(c, d), restricted = true;
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
      IWorkingScheduler& scheduler = Require(AScheduler);
      const double work = scheduler.WorkingDuration(proposed, KnownDate(task.Action->GetCompletedDate()));
      validated = scheduler.StartForFinish(TopTaskFinish(ANode), work);
      validated = std::max(validated, ScheduleStart(ANode, AScheduler));
      break;
    }
    case tcStartNoEarlierThan: {
      earliest();
      if (!restricted) validated = proposed;
      ComPtr<INode> parent = TaskParent(ANode);
      if (parent && !restricted) {
        GetAction(parent.get(), true);
        double parentStart = 0;
        restricted = ValidateTaskStart(parent.get(), proposed, AScheduler, parentStart);
        if (!restricted) {
          validated = proposed;
          const bool beforeConstraint = HasPredecessors(ANode) ? proposed < c : proposed != c;
          if (beforeConstraint) validated = c, restricted = true;
        } else if (parentStart > c && validated < parentStart) {
          task.Action->SetConstraintDate(validated);
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
  return restricted;
}

bool TActionHelper::ValidateTaskFinish(INode* ANode, double AProposedFinish, IWorkingScheduler* AScheduler,
                                       double& AValidatedFinish) {
  const double proposed = AProposedFinish;
  double& validated = AValidatedFinish;
  validated = proposed;
  bool restricted = false;
  const TTask task = TaskOf(ANode);
  const double c = task.ConstraintDate;
  const double d = task.Days;

  const auto earliest = [&] {
    validated = CalculateEarliestFinish(ANode, AScheduler, restricted);
  };
  const auto asSoonAsPossible = [&] {
    earliest();
    if (!restricted) validated = proposed;
  };
  // The parent's validated finish, when the node has a parent task and nothing restricted it yet;
  // its result becomes the node's.
  const auto parentFinish = [&](double& AParentFinish) {
    ComPtr<INode> parent = TaskParent(ANode);
    if (!parent || restricted) return false;
    GetAction(parent.get(), true);
    restricted = ValidateTaskFinish(parent.get(), proposed, AScheduler, AParentFinish);
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
        task.Action->SetConstraintDate(validated);
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
        IWorkingScheduler& scheduler = Require(AScheduler);
        if (scheduler.StartForFinish(validated, d) < c) validated = scheduler.FinishForStart(c, d), restricted = true;
      } else if (restricted && validated <= parent && Require(AScheduler).StartForFinish(validated, d) > c) {
        validated = c;
      }
      break;
    }
    case tcStartNoLaterThan: {
      asSoonAsPossible();
      IWorkingScheduler& scheduler = Require(AScheduler);
      if (scheduler.StartForFinish(validated, d) > c) validated = scheduler.FinishForStart(c, d);
      break;
    }
    case tcAsLateAsPossible: {
      // The finish of a late task is held by what holds its finish: the earliest finish.
      asSoonAsPossible();
      IWorkingScheduler& scheduler = Require(AScheduler);
      const double scheduleStart = ScheduleStart(ANode, AScheduler);
      if (scheduler.StartForFinish(validated, d) < scheduleStart) {
        validated = scheduler.FinishForStart(
            scheduleStart, scheduler.WorkingDuration(KnownDate(task.Action->GetStartDate()), proposed));
      } else {
        validated = std::min(validated, TopTaskFinish(ANode));
      }
      break;
    }
  }
  return restricted;
}
