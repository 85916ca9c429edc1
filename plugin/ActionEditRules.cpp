#include "plugin/ActionEditRules.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "com/OleDate.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/TaskCommands.h"
#include "plugin/TaskLinkHelper.h"

namespace {

bool EndsOnIt(IActionAttribute* ARecord, TActionField AField) {
  if (AField == acCompletedDate) return true;
  if (AField != acConstraintDate || !ARecord) return false;
  switch (ARecord->GetConstraintType()) {
    case tcFinishNoEarlierThan:
    case tcFinishNoLaterThan:
    case tcMustFinishOn:
      return true;
    default:
      return false;
  }
}

double StoredDate(IActionAttribute* ARecord, TActionField AField) {
  if (!ARecord) return 0;
  switch (AField) {
    case acStartDate: return ARecord->GetStartDate();
    case acDueDate: return ARecord->GetDueDate();
    case acCompletedDate: return ARecord->GetCompletedDate();
    default: return 0;
  }
}

}  // namespace

double TypedActionDate(IActionAttribute* ARecord, TActionField AField, double ADate, bool AHasTimeOfDay,
                       IWorkingScheduler* AScheduler) {
  if (ADate <= 0) return ADate;
  IWorkingScheduler* scheduler = AField == acDueDate ? nullptr : AScheduler;
  const bool end = EndsOnIt(ARecord, AField);
  if (!AHasTimeOfDay) {
    // A constraint's time comes from its type: the old time may be that of the other end of a day.
    const double old = AField == acConstraintDate ? 0 : StoredDate(ARecord, AField);
    if (old > 0 && TimeOf(old) != 0)
      ADate = DateOf(ADate) + TimeOf(old);
    else if (scheduler)
      return end ? scheduler->ToWorkingFinish(DateOf(ADate) + 1) : scheduler->ToWorkingStart(DateOf(ADate));
  }
  if (!scheduler) return ADate;
  return end ? scheduler->ToWorkingFinish(ADate) : scheduler->ToWorkingStart(ADate);
}

double TypedActionDate(INode* ANode, TActionField AField, double ADate, bool AHasTimeOfDay) {
  ComPtr<IProperty> property = ANode ? ANode->FindProperty(KActionPropertyName) : nullptr;
  ComPtr<IActionAttribute> record = property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
  ComPtr<IMapSettings> settings = FindMapSettings(ANode);
  ComPtr<IWorkingScheduler> scheduler =
      settings && settings->GetTaskScheduling() ? FindWorkingScheduler(ANode) : nullptr;
  return TypedActionDate(record.get(), AField, ADate, AHasTimeOfDay, scheduler.get());
}

bool IsRolledUpField(TActionField AField) {
  switch (AField) {
    case acStartDate:
    case acCompletedDate:
    case acDuration:
    case acDurationMeasure:
    case acComplete:
    case acStatus:
      return true;
    default:
      return false;
  }
}

std::string SummaryFieldRefusal(ISelection* ASelection, TActionField AField) {
  // A typed start is no value stored unseen: it moves the phase, whose constraint holds back its subtasks.
  const int32_t count = ASelection && IsRolledUpField(AField) && AField != acStartDate ? ASelection->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get());
    if (!node || !node->IsSummaryTask()) continue;
    ComPtr<IMapSettings> settings = FindMapSettings(node.get());
    if (!settings || !settings->GetTaskScheduling()) return {};
    const std::string field = KActionFieldNames[AField];
    return field + " cannot be set on node " + node->GetID() + ": it is a summary task, whose " + field +
           " is worked out from its subtasks while the map schedules tasks";
  }
  return {};
}

namespace {

bool SchedulingOf(INode* ANode) {
  ComPtr<IMapSettings> settings = FindMapSettings(ANode);
  return settings && settings->GetTaskScheduling();
}

TLinkEditAnswer Made(ComPtr<ICommand> ACommand) { return {std::move(ACommand), {}, false}; }

TLinkEditAnswer Refused(TTaskLinkResult AResult) {
  TTaskLinkHelper::ShowLinkError(AResult);
  return {nullptr, "the link rules refuse this link", true};
}

}  // namespace

TLinkEditAnswer TaskLinkEdits::PrepareLinkChange(ILumetaModel* AModel, TTaskLinkChange AChange, INode* APredecessor,
                                                 INode* ASuccessor, TTaskLinkType AType) {
  const std::string predecessorID = APredecessor->GetID(), successorID = ASuccessor->GetID();
  ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ASuccessor);
  ComPtr<ITaskLink> existing = links ? QueryAs<ITaskLink>(links->GetLink(APredecessor).get()) : nullptr;
  const bool scheduling = SchedulingOf(ASuccessor);
  if (AChange == lcAdd) {
    if (const TTaskLinkResult result = TTaskLinkHelper::Validate(ASuccessor, APredecessor, nullptr, AType);
        result != tlOk)
      return Refused(result);
    if (existing) return {nullptr, "task " + successorID + " follows task " + predecessorID + " already", false};
    return Made(make<TAddTaskLinkCommand>(AModel, predecessorID, successorID, AType, scheduling));
  }
  if (!existing) return {nullptr, "task " + successorID + " does not follow task " + predecessorID, false};
  if (AChange == lcRemove)
    return Made(make<TRemoveTaskLinkCommand>(AModel, predecessorID, successorID, existing->GetLinkType(), scheduling));
  // Checked as if the old link were gone, so that only the rules about the new type count.
  ComPtr<TLumetaNodeLinksProperty> without = make<TLumetaNodeLinksProperty>();
  without->Links()->SetLoaded(true);
  if (const TTaskLinkResult result = TTaskLinkHelper::Validate(ASuccessor, APredecessor, without.get(), AType);
      result != tlOk)
    return Refused(result);
  return Made(make<TUpdateTaskLinkCommand>(AModel, predecessorID, successorID, existing->GetLinkType(), AType,
                                           scheduling));
}

std::string TaskLinkEdits::LinkCircleAbove(INode* ANode) {
  // The root, the only node without a parent, is no summary.
  for (ComPtr<INode> summary = ANode ? ANode->GetParent() : nullptr; summary && summary->GetParent();
       summary = summary->GetParent())
    if (const TTaskLinkHelper::TLinkEnds link = TTaskLinkHelper::LinkLeadingBack(summary.get(), true))
      return "the task links now lead in a circle: the link from node " + link.Predecessor->GetID() + " to node " +
             link.Successor->GetID() +
             " leads back to where it starts; a reschedule stops on it until one of those links is removed or "
             "retyped";
  return {};
}

std::string TaskLinkEdits::LinkCircleInMap(INode* ARoot) {
  const std::vector<TTaskLinkHelper::TLinkEnds> circle = TTaskLinkHelper::FindCircle(ARoot);
  if (circle.empty()) return {};
  std::vector<std::string> tasks;
  for (const TTaskLinkHelper::TLinkEnds& link : circle)
    for (INode* node : {link.Predecessor.get(), link.Successor.get()})
      if (std::find(tasks.begin(), tasks.end(), node->GetID()) == tasks.end()) tasks.push_back(node->GetID());
  std::string names;
  for (const std::string& id : tasks) names += (names.empty() ? "" : ", ") + id;
  return "the task links of this map lead in a circle through nodes " + names + ": " +
         TTaskLinkHelper::CircleText(circle) +
         "; refresh and every reschedule stop on it until one of those links is removed or retyped";
}
