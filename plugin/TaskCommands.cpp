#include "plugin/TaskCommands.h"

#include <cmath>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "com/OleDate.h"
#include "commands/SelectionData.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "plugin/ActionHelpers.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/TaskLinkHelper.h"

namespace {

// The change code property commands report; links changed without one report it too.
constexpr int32_t KNodeChanged = 11;

const char* const KPredecessorLinks = TLumetaNodeLinksProperty::ManagerInfo.Description;
const char* const KSuccessorLinks = TLumetaSuccessorLinksProperty::ManagerInfo.Description;

// The node's link list of that name; with ACreate a node without one gets an empty one.
ComPtr<INodeLinkList2> LinkList(ILumetaModel* AModel, INode* ANode, const char* AName, bool ACreate) {
  if (!ANode) return {};
  ComPtr<IProperty> property = ANode->FindProperty(AName);
  if (!property && ACreate) {
    property = AModel->GetPropertyClasses()->NewProperty(AName);
    property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
    ANode->SetProperty(property.get());
  }
  return QueryAs<INodeLinkList2>(property.get());
}

// Working days as a duration in the measure given.
double InMeasure(double ADays, int32_t AMeasure) {
  if (AMeasure == amHours) return ADays * KHoursPerDay;
  if (AMeasure == amMinutes) return ADays * KHoursPerDay * KMinutesPerHour;
  return ADays;
}

ComPtr<IActionAttribute> CopyRecord(IActionAttribute* ARecord) {
  if (!ARecord) return {};
  ComPtr<IActionAttribute> copy =
      AttributeFactory()->CreateAttribute(uuidof<IActionAttribute>()).as<IActionAttribute>();
  copy->Assign(ARecord);
  return copy;
}

}  // namespace

TChangeBracket::TChangeBracket(ILumetaModel* AModel, IUnknown* AObject)
    : FSubject(QueryAs<ISubject>(static_cast<IUnknown*>(AModel))), FObject(AObject) {
  if (FSubject) FSubject->AddChange(KRescheduleBeginChange, FObject);
}

TChangeBracket::~TChangeBracket() {
  if (!FSubject) return;
  try {
    FSubject->AddChange(KRescheduleEndChange, FObject);
  } catch (...) {
    // an error already on its way is the one that counts
  }
}

// ---- duration

TRescheduleTaskDurationCommand::TRescheduleTaskDurationCommand(ILumetaModel* AModel, INode* ANode, double ADuration,
                                                               int32_t AMeasure)
    : TRescheduleCommand(AModel, ANode), FDuration(ADuration), FMeasure(AMeasure) {}

void TRescheduleTaskDurationCommand::Reschedule() {
  ComPtr<INode> node = Node();
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(node.get(), false);
  ComPtr<IWorkingScheduler> scheduler = GetWorkingScheduler();
  if (!action || !scheduler || FDuration < 0) return;
  const double oldDuration = action->GetDuration();
  const int32_t measure = FMeasure == -1 ? action->GetDurationMeasure() : FMeasure;
  ComPtr<IActionAttribute> changes = NewChanges();
  changes->SetDuration(FDuration > 0 && FDuration < 1 && measure == amHours ? 1.0 : FDuration);
  if (FMeasure != -1) changes->SetDurationMeasure(FMeasure);

  if (FDuration == 0) {
    changes->SetIsMilestone(true);
    const TTaskConstraintType constraint = action->GetConstraintType();
    if (constraint == tcFinishNoEarlierThan || constraint == tcMustFinishOn) {
      double finish = scheduler->ToWorkingFinish(action->GetCompletedDate());
      double constrained = 0;
      TConstraintChanges constraints;
      if (TActionHelper::ValidateTaskFinish(node.get(), finish, scheduler.get(), constrained, &constraints, Reads()))
        finish = constrained;
      ApplyConstraintChanges(constraints);
      changes->SetCompletedDate(finish);
      changes->SetStartDate(scheduler->ToWorkingStart(finish));
    } else {
      const double oldStart = action->GetStartDate();
      double start = scheduler->ToWorkingStart(oldStart);
      double constrained = 0;
      TConstraintChanges constraints;
      if (TActionHelper::ValidateTaskStart(node.get(), start, scheduler.get(), constrained, &constraints, Reads()))
        start = constrained;
      ApplyConstraintChanges(constraints);
      changes->SetStartDate(start);
      changes->SetCompletedDate(scheduler->ToWorkingFinish(oldStart));
    }
    WriteAction(node.get(), changes.get());
    return;
  }

  if (oldDuration == 0) changes->SetIsMilestone(false);
  WriteAction(node.get(), changes.get());
  action = TActionHelper::GetAction(node.get(), false);
  const double finish = scheduler->FinishForStart(action->GetStartDate(), action->GetDurationInDays());
  AddCommand(make<TRescheduleTaskFinishCommand>(Model(), node.get(), finish, TTaskSwitches{true, false, true, false})
                 .get(),
             NodeSelection(node.get()).get(), false);
}

TRescheduleTaskDurationMeasureCommand::TRescheduleTaskDurationMeasureCommand(ILumetaModel* AModel, INode* ANode,
                                                                             int32_t AMeasure)
    : TRescheduleCommand(AModel, ANode), FMeasure(AMeasure) {}

void TRescheduleTaskDurationMeasureCommand::Reschedule() {
  ComPtr<INode> node = Node();
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(node.get(), false);
  ComPtr<IWorkingScheduler> scheduler = GetWorkingScheduler();
  if (!action || !scheduler) return;
  ComPtr<IActionAttribute> changes = NewChanges();
  changes->SetDurationMeasure(FMeasure);
  changes->SetDuration(action->GetDuration());  // the same number, now read in the new unit
  WriteAction(node.get(), changes.get());
  action = TActionHelper::GetAction(node.get(), false);
  const double finish = scheduler->FinishForStart(action->GetStartDate(), action->GetDurationInDays());
  if (finish == action->GetCompletedDate()) return;
  AddCommand(make<TRescheduleTaskFinishCommand>(Model(), node.get(), finish, TTaskSwitches{true, false, true, false})
                 .get(),
             NodeSelection(node.get()).get(), false);
}

// ---- edited record

TUpdateTaskCommand::TUpdateTaskCommand(ILumetaModel* AModel, INode* ANode, IActionAttribute* AEdited)
    : TRescheduleCommand(AModel, ANode), FEdited(CopyRecord(AEdited)) {}

TTaskEdit TTaskEdit::Between(IActionAttribute* AOld, IActionAttribute* AEdited) {
  TTaskEdit edit{AEdited->GetStartDate(), AEdited->GetCompletedDate()};
  edit.StartChanged = edit.Start != AOld->GetStartDate();
  // In days: the same number in another unit is another length, and the finish has to follow.
  edit.DurationChanged = AEdited->GetDurationInDays() != AOld->GetDurationInDays();
  edit.ConstraintChanged = AEdited->GetConstraintDate() != AOld->GetConstraintDate() ||
                           AEdited->GetConstraintType() != AOld->GetConstraintType();
  edit.FinishChanged = edit.Finish != AOld->GetCompletedDate();
  edit.Dated = HasWholeDay(AOld->GetStartDate()) || HasWholeDay(AOld->GetCompletedDate());
  return edit;
}

ComPtr<ICommand> RescheduleAfterEdit(ILumetaModel* AModel, INode* ANode, const TTaskEdit& AEdit) {
  const bool reschedule = AEdit.StartChanged || AEdit.DurationChanged || AEdit.ConstraintChanged;
  if (ANode->IsSummaryTask())
    return reschedule ? make<TRescheduleSummaryCommand>(AModel, ANode, nullptr, std::nullopt) : nullptr;
  // Placing it would put it at the schedule start, a date nobody gave it; the duration command
  // of a field edit leaves such a node's dates alone too.
  if (!AEdit.Dated && !AEdit.StartChanged && !AEdit.FinishChanged && !AEdit.ConstraintChanged) return nullptr;
  const double newStart = AEdit.StartChanged ? AEdit.Start : 0;
  if (reschedule) return make<TMoveTaskCommand>(AModel, ANode, newStart, TTaskSwitches{true, newStart == 0, true, true});
  if (AEdit.FinishChanged && HasWholeDay(AEdit.Finish))
    return make<TRescheduleTaskFinishCommand>(AModel, ANode, AEdit.Finish, TTaskSwitches{true, true, true, true});
  return nullptr;
}

void TUpdateTaskCommand::Reschedule() {
  ComPtr<INode> node = Node();
  ComPtr<IActionAttribute> old = TActionHelper::GetAction(node.get(), false);
  if (!node || !old || !FEdited || FEdited->IsEmpty()) return;
  const TTaskEdit edit = TTaskEdit::Between(old.get(), FEdited.get());
  // Taken before the edited dates go in: the commands that follow compare with what they find,
  // and would see no summary move that this write already made.
  std::vector<ComPtr<TRescheduleCommand>> summaryChecks = WatchSummariesAbove(node.get(), false);
  ComPtr<IActionAttribute> changes = NewChanges();
  changes->SetStartDate(edit.Start);
  changes->SetCompletedDate(edit.Finish);
  WriteAction(node.get(), changes.get());
  if (ComPtr<ICommand> command = RescheduleAfterEdit(Model(), node.get(), edit))
    AddCommand(command.get(), NodeSelection(node.get()).get(), false);
  for (ComPtr<TRescheduleCommand>& check : summaryChecks) Queue(std::move(check));
}

TApplyTaskEditCommand::TApplyTaskEditCommand(ILumetaModel* AModel, INode* ANode, ComPtr<ICommand> ARecord,
                                             const TTaskEdit& AEdit)
    : TRescheduleCommand(AModel, ANode), FRecord(std::move(ARecord)), FEdit(AEdit) {}

void TApplyTaskEditCommand::Reschedule() {
  ComPtr<INode> node = Node();
  if (!node || !FRecord) return;
  std::vector<ComPtr<TRescheduleCommand>> summaryChecks = WatchSummariesAbove(node.get(), false);
  AddCommand(FRecord.get(), NodeSelection(node.get()).get(), true);
  if (ComPtr<ICommand> command = RescheduleAfterEdit(Model(), node.get(), FEdit))
    AddCommand(command.get(), NodeSelection(node.get()).get(), false);
  for (ComPtr<TRescheduleCommand>& check : summaryChecks) Queue(std::move(check));
}

// ---- refresh

TRefreshProjectCommand::TRefreshProjectCommand(ILumetaModel* AModel, TFilter AFilter, double AStart,
                                               bool ASuccessorsFollow)
    : TRescheduleCommand(AModel, AModel ? AModel->GetTree()->GetRoot()->GetFirstChild().get() : nullptr),
      FFilter(std::move(AFilter)),
      FStart(AStart),
      FSuccessorsFollow(ASuccessorsFollow || FFilter != nullptr) {}

void TRefreshProjectCommand::Reschedule() {
  ComPtr<INode> first = Node();
  if (!first) return;
  // Each refresh would start a circle's tasks again and move them later than the last time.
  if (const auto circle = TTaskLinkHelper::FindCircle(first.get()); !circle.empty()) ThrowLinkCircle(circle);
  if (!HasWholeDay(FStart))
    if (ComPtr<IWorkingSchedule> schedule = FindWorkingSchedule(first.get())) FStart = schedule->ScheduleStart();
  // Pre-order over the siblings from the first main branch and every summary below them.
  std::vector<ComPtr<INode>> pending{first};
  std::vector<ComPtr<INode>> chosenSummaries;
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    if (ComPtr<INode> next = node->GetNextSibling()) pending.push_back(next);
    if (node->IsSummaryTask()) {
      if (FFilter && FFilter(node.get())) chosenSummaries.push_back(node);
      if (ComPtr<INode> child = node->GetFirstChild()) pending.push_back(child);
      continue;
    }
    if (FFilter && !FFilter(node.get())) continue;
    if (!TActionHelper::GetAction(node.get(), false)) continue;
    AddCommand(make<TMoveTaskCommand>(Model(), node.get(), FStart, TTaskSwitches{true, true, FSuccessorsFollow, true})
                   .get(),
               NodeSelection(node.get()).get(), false);
  }
  for (const ComPtr<INode>& summary : chosenSummaries) CheckSuccessors(summary.get());
}

// ---- following what the schedule depends on

TFollowScheduleCommand::TFollowScheduleCommand(ILumetaModel* AModel, std::vector<std::string> ATaskIDs)
    : TRescheduleCommand(AModel, nullptr), FTaskIDs(std::move(ATaskIDs)) {}

void TFollowScheduleCommand::Reschedule() {
  if (FTaskIDs.empty()) {
    // Every task's dates change at once, in tree order: a successor placed before its predecessor
    // must follow that predecessor when it moves.
    Queue(make<TRefreshProjectCommand>(Model(), nullptr, 0, true));
    return;
  }
  for (const std::string& id : FTaskIDs) {
    ComPtr<INode> node = FindNode(id);
    ComPtr<IActionAttribute> action = TActionHelper::GetAction(node.get(), false);
    if (!action) continue;
    const TTaskConstraintType type = action->GetConstraintType();
    if (type != tcAsSoonAsPossible && type != tcAsLateAsPossible && !HasWholeDay(action->GetConstraintDate())) {
      const bool ofFinish = type == tcFinishNoEarlierThan || type == tcFinishNoLaterThan || type == tcMustFinishOn;
      // A summary without subtask records has no dates to take, only sentinels.
      if (const double date = ofFinish ? action->GetCompletedDate() : action->GetStartDate(); date >= 1 && date < 2958466) {
        ComPtr<IActionAttribute> changes = NewChanges();
        changes->SetConstraintDate(date);
        WriteAction(node.get(), changes.get());
      }
    }
    TTaskEdit edit;
    edit.ConstraintChanged = true;
    if (ComPtr<ICommand> command = RescheduleAfterEdit(Model(), node.get(), edit))
      AddCommand(command.get(), NodeSelection(node.get()).get(), false);
  }
}

TMoveSummaryCommand::TMoveSummaryCommand(ILumetaModel* AModel, INode* ASummary, double AStart, TTaskSwitches ASwitches)
    : TRescheduleCommand(AModel, ASummary), FStart(AStart), FSwitches(ASwitches) {}

void TMoveSummaryCommand::Reschedule() {
  ComPtr<INode> summary = Node();
  if (!summary) return;
  Queue(make<TMoveTaskCommand>(Model(), Task(summary.get()), FStart, FSwitches));
  Queue(make<TRescheduleSummaryCommand>(Model(), summary.get(), nullptr, std::nullopt));
}

// ---- conversion

TConvertActionToTaskCommand::TConvertActionToTaskCommand(ILumetaModel* AModel, INode* ANode,
                                                         IActionAttribute* AOldAction, IWorkingScheduler* AScheduler)
    : TRescheduleCommand(AModel, ANode), FOldAction(CopyRecord(AOldAction)), FScheduler(AScheduler) {}

ComPtr<IWorkingScheduler> TConvertActionToTaskCommand::GetWorkingScheduler() { return FScheduler; }

void TConvertActionToTaskCommand::Reschedule() {
  ComPtr<INode> node = Node();
  ComPtr<IWorkingScheduler> scheduler = GetWorkingScheduler();
  if (!node || !FOldAction || !scheduler) return;
  ComPtr<IWorkingSchedule> schedule = QueryAs<IWorkingSchedule>(scheduler.get());
  if (!schedule) schedule = FindWorkingSchedule(node.get());
  const double scheduleStart = schedule ? schedule->ScheduleStart() : 0;

  ComPtr<IActionAttribute> changes = NewChanges();
  int32_t measure = FOldAction->GetDurationMeasure();
  double days = FOldAction->GetDurationInDays();
  if (FOldAction->GetDuration() == 0) {
    changes->SetDuration(1);
    changes->SetDurationMeasure(amDays);
    measure = amDays;
    days = 1;
  }
  const double oldStart = FOldAction->GetStartDate();
  const double oldFinish = FOldAction->GetCompletedDate();
  // An action's dates are days: one that ends on a day works through it, where the day's first
  // moment would end the task the working day before.
  const double workedFinish =
      oldFinish > 0 ? scheduler->ToWorkingFinish(TimeOf(oldFinish) == 0 ? DateOf(oldFinish) + 1 : oldFinish) : 0;
  double start = 0, finish = 0;
  if (oldStart > 0) {
    start = scheduler->StartAfter(scheduler->ToWorkingStart(oldStart));
    ComPtr<INodeLinkList2> predecessors = LinkList(Model(), node.get(), KPredecessorLinks, false);
    if (FOldAction->GetConstraintType() == tcAsSoonAsPossible && oldStart != scheduleStart &&
        (!predecessors || predecessors->GetCount() == 0)) {
      changes->SetConstraintType(tcStartNoEarlierThan);
      // The working start, which the constraint then holds: a start on a weekend day would
      // otherwise come back as the task's start on the next refresh.
      changes->SetConstraintDate(start);
    }
    finish = oldFinish > oldStart && workedFinish > start ? workedFinish : scheduler->FinishForStart(start, days);
    changes->SetDuration(InMeasure(scheduler->WorkingDuration(start, finish), measure));
  } else if (oldFinish > 0) {
    finish = workedFinish;
    start = scheduler->StartForFinish(finish, days);
  } else {
    start = scheduleStart;
    finish = scheduler->FinishForStart(start, days);
  }
  changes->SetStartDate(start);
  changes->SetCompletedDate(finish);
  KeepTaskStatus(node.get(), changes.get());
  ComPtr<ISelection> selection = NodeSelection(node.get());
  ComPtr<IProperty> property = QueryAs<IProperty>(changes.get());
  AddCommand(Model()->GetCommandHelper()->PreparePropertyCommand(property.get(), selection.get(), -1).get(),
             selection.get(), false);
}

// ---- several at once

void TMultipleTaskCommand::Execute() {
  TChangeBracket bracket(Model(), static_cast<ICommand*>(this));
  TMultipleCommand::Execute();
}

void TMultipleTaskCommand::UnExecute() {
  TChangeBracket bracket(Model(), static_cast<ICommand*>(this));
  TMultipleCommand::UnExecute();
}

// ---- links

namespace {

// Adds the link and moves it to AIndex (where a removal took it from), so that undoing a removal
// gives the list back in its old order; a negative or outgrown index appends.
void AddLinkAt(INodeLinkList2* AList, INode* ANode, TTaskLinkType AType, int32_t AIndex) {
  ComPtr<INodeLink> link = AList->AddLink(ANode);
  link.as<ITaskLink>()->SetLinkType(AType);
  ComPtr<IStructuredAttribute> list = QueryAs<IStructuredAttribute>(AList);
  const int32_t last = AList->GetCount() - 1;
  if (!list || AIndex < 0 || AIndex >= last) return;
  ComPtr<IAttribute> item = link.as<IAttribute>();
  list->Delete(last);
  list->InsertChild(AIndex, item.get());
}

}  // namespace

TAddTaskLinkCommand::TAddTaskLinkCommand(ILumetaModel* AModel, const std::string& APredecessorID,
                                         const std::string& ASuccessorID, TTaskLinkType ALinkType, bool AReschedule)
    : TCompositeCommand(AModel),
      FPredecessorID(APredecessorID),
      FSuccessorID(ASuccessorID),
      FLinkType(ALinkType),
      FReschedule(AReschedule) {}

bool TAddTaskLinkCommand::NodesResolve() {
  ComPtr<ITree> tree = Model()->GetTree();
  return tree->FindNode(FPredecessorID) && tree->FindNode(FSuccessorID);
}

void TAddTaskLinkCommand::AddPair() {
  ComPtr<ITree> tree = Model()->GetTree();
  ComPtr<INode> predecessor = tree->FindNode(FPredecessorID);
  ComPtr<INode> successor = tree->FindNode(FSuccessorID);
  if (!predecessor || !successor) return;
  ComPtr<INodeLinkList2> successors = LinkList(Model(), predecessor.get(), KSuccessorLinks, true);
  ComPtr<INodeLinkList2> predecessors = LinkList(Model(), successor.get(), KPredecessorLinks, true);
  if (!successors->ContainsLink(successor.get()))
    AddLinkAt(successors.get(), successor.get(), FLinkType, FSuccessorIndex);
  if (!predecessors->ContainsLink(predecessor.get()))
    AddLinkAt(predecessors.get(), predecessor.get(), FLinkType, FPredecessorIndex);
  if (ComPtr<ISubject> subject = QueryAs<ISubject>(static_cast<IUnknown*>(Model()))) {
    subject->AddChange(KNodeChanged, predecessor.get());
    subject->AddChange(KNodeChanged, successor.get());
  }
}

void TAddTaskLinkCommand::RemovePair() {
  ComPtr<ITree> tree = Model()->GetTree();
  ComPtr<INode> predecessor = tree->FindNode(FPredecessorID);
  ComPtr<INode> successor = tree->FindNode(FSuccessorID);
  ComPtr<INodeLinkList2> predecessors = LinkList(Model(), successor.get(), KPredecessorLinks, false);
  if (!predecessor || !predecessors || !predecessors->ContainsLink(predecessor.get())) return;
  FPredecessorIndex = predecessors->IndexOfLink(predecessor.get());
  predecessors->RemoveLink(predecessor.get());
  if (ComPtr<INodeLinkList2> successors = LinkList(Model(), predecessor.get(), KSuccessorLinks, false)) {
    FSuccessorIndex = successors->IndexOfLink(successor.get());
    successors->RemoveLink(successor.get());
  }
  if (ComPtr<ISubject> subject = QueryAs<ISubject>(static_cast<IUnknown*>(Model()))) {
    subject->AddChange(KNodeChanged, predecessor.get());
    subject->AddChange(KNodeChanged, successor.get());
  }
}

ComPtr<ICommand> TAddTaskLinkCommand::CreateReschedule(INode* APredecessor, INode* ASuccessor) {
  if (ASuccessor->IsSummaryTask())
    return make<TRescheduleSummaryCommand>(Model(), ASuccessor, TRescheduleSummaryCommand::ReachableFrom(ASuccessor),
                                           TCarriedLink{FLinkType, FPredecessorID});
  return make<TRescheduleSuccessorsCommand>(Model(), APredecessor);
}

void TAddTaskLinkCommand::RescheduleForward() {
  if (!FReschedule) return;
  ComPtr<ITree> tree = Model()->GetTree();
  ComPtr<INode> predecessor = tree->FindNode(FPredecessorID);
  ComPtr<INode> successor = tree->FindNode(FSuccessorID);
  if (!FRescheduleCommand) {
    if (!predecessor || !successor) return;
    FRescheduleCommand = CreateReschedule(predecessor.get(), successor.get());
  }
  CommandProcessor()->Execute(FRescheduleCommand.get(), NodeSelection(successor.get()).get());
}

void TAddTaskLinkCommand::RescheduleBackward() {
  if (FReschedule && FRescheduleCommand) CommandProcessor()->Undo(FRescheduleCommand.get());
}

void TAddTaskLinkCommand::Execute() {
  TChangeBracket bracket(Model(), static_cast<ICommand*>(this));
  AddPair();
  // The processor rolls back what the rescheduling ran; the link itself is this command's to take back.
  try {
    RescheduleForward();
  } catch (...) {
    FRescheduleCommand = nullptr;
    RemovePair();
    throw;
  }
}

void TAddTaskLinkCommand::UnExecute() {
  TChangeBracket bracket(Model(), static_cast<ICommand*>(this));
  RescheduleBackward();
  RemovePair();
}

ComPtr<ICommand> TRemoveTaskLinkCommand::CreateReschedule(INode*, INode* ASuccessor) {
  if (ASuccessor->IsSummaryTask())
    return make<TRescheduleSummaryCommand>(Model(), ASuccessor, nullptr, std::nullopt);
  return make<TMoveTaskCommand>(Model(), ASuccessor, 0.0, TTaskSwitches{true, true, true, true});
}

void TRemoveTaskLinkCommand::Execute() {
  TChangeBracket bracket(Model(), static_cast<ICommand*>(this));
  if (!NodesResolve()) return;
  RemovePair();
  try {
    RescheduleForward();
  } catch (...) {
    FRescheduleCommand = nullptr;
    AddPair();
    throw;
  }
}

void TRemoveTaskLinkCommand::UnExecute() {
  TChangeBracket bracket(Model(), static_cast<ICommand*>(this));
  RescheduleBackward();
  AddPair();
}

TUpdateTaskLinkCommand::TUpdateTaskLinkCommand(ILumetaModel* AModel, const std::string& APredecessorID,
                                               const std::string& ASuccessorID, TTaskLinkType AOldType,
                                               TTaskLinkType ANewType, bool AReschedule)
    : TCompositeCommand(AModel),
      FRemove(make<TRemoveTaskLinkCommand>(AModel, APredecessorID, ASuccessorID, AOldType, AReschedule)),
      FAdd(make<TAddTaskLinkCommand>(AModel, APredecessorID, ASuccessorID, ANewType, AReschedule)) {}

void TUpdateTaskLinkCommand::Execute() {
  CommandProcessor()->Execute(FRemove.get(), nullptr);
  CommandProcessor()->Execute(FAdd.get(), nullptr);
}

void TUpdateTaskLinkCommand::UnExecute() {
  CommandProcessor()->Undo(FAdd.get());
  CommandProcessor()->Undo(FRemove.get());
}
