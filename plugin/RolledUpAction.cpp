#include "plugin/RolledUpAction.h"

#include <memory>
#include <vector>

#include "com/OleDate.h"
#include "contract/WorkingSchedulerIntf.h"

TVisitedValues TVisitedValues::Stored(TActionAttribute& ARecord) {
  return {ARecord.StoredStartDate(), ARecord.StoredCompletedDate(),
          DurationInDays(ARecord.StoredDuration(), ARecord.StoredDurationMeasure()), ARecord.StoredComplete()};
}

TVisitedValues TVisitedValues::Answered(IActionAttribute& ARecord) {
  return {ARecord.GetStartDate(), ARecord.GetCompletedDate(), ARecord.GetDurationInDays(), ARecord.GetComplete()};
}

TVisitedValues TVisitedValues::RolledUp(const TRolledUpValues& AValues) {
  return {AValues.Start, AValues.Finish, DurationInDays(AValues.Duration, AValues.DurationMeasure), AValues.Complete};
}

TRolledUpValues TRollUpTotals::Result(IWorkingScheduler* AScheduler, bool AHasChildren, int32_t AOwnMeasure) const {
  TSpanDurations durations(AScheduler);
  return Result(durations, AHasChildren, AOwnMeasure);
}

TRolledUpValues TRollUpTotals::Result(TSpanDurations& ADurations, bool AHasChildren, int32_t AOwnMeasure) const {
  TRolledUpValues values;
  values.Start = FStart;
  values.Finish = FFinish;
  // Nothing visited: no span to measure, and the sentinels are no dates a scheduler takes.
  values.Duration = FStart == KNoRolledUpStart || FFinish == KNoRolledUpFinish ? 0 : ADurations.Of(FStart, FFinish);
  values.DurationMeasure = AHasChildren ? static_cast<int32_t>(amDays) : AOwnMeasure;
  values.Complete = FTotal > 0 ? RoundHalfToEven(FDone / FTotal * 100) : 0;
  return values;
}

double TSpanDurations::Of(double AStart, double AFinish) {
  if (FKept && AStart == FStart && AFinish == FFinish) return FDuration;
  if (FScheduler) {
    FDuration = FScheduler->WorkingDuration(AStart, AFinish);
  } else {
    const double first = DateOf(AStart), last = DateOf(AFinish);
    FDuration = last < first ? 0 : last - first + 1;
  }
  FStart = AStart;
  FFinish = AFinish;
  FKept = true;
  return FDuration;
}

namespace {

// A summary on the walk's stack: its node, the child to visit next and its totals so far.
struct TFrame {
  ComPtr<INode> Node;
  ComPtr<INode> Next;
  TRollUpTotals RollUp;
};

}  // namespace

TRolledUpAction::TRolledUpAction(TActionAttribute* AAction, INode* ANode) : FAction(AAction), FNode(ANode) {
  if (FNode || !FAction) return;
  if (ComPtr<IProperty> property = FAction->GetProperty()) FNode = QueryAs<INode>(property->GetHostObject().get());
}

std::string_view RolledUpStatus(int32_t AComplete, std::string_view AOwn) {
  if (AComplete == 0) return KStatusNotStarted;
  if (AComplete >= 1 && AComplete <= 99) return KStatusInProgress;
  if (AComplete == 100) return KStatusCompleted;
  return AOwn;
}

std::string TRolledUpAction::GetStatus() {
  return std::string(RolledUpStatus(Values().Complete, FAction->StoredStatus()));
}

const TRolledUpValues* TRollUpMemo::Find(INode* ASummary) const {
  const auto found = FValues.find(ASummary);
  return found == FValues.end() ? nullptr : &found->second;
}

void TRollUpMemo::ForgetAbove(INode* ANode) {
  if (FValues.empty() || !ANode) return;
  for (ComPtr<INode> node = ANode->GetParent(); node; node = node->GetParent()) FValues.erase(node.get());
}

const TRolledUpValues* TRollUpMemo::Summary(INode* ANode, IActionAttribute* AAction) {
  if (!ANode || !ANode->IsSummaryTask()) return nullptr;
  // Only the plug-in's own records roll up, as their getters do.
  TActionAttribute* record = TActionAttribute::FromAction(QueryAs<IAttribute>(AAction).get());
  if (!record) return nullptr;
  if (FRollsUp < 0) {
    ComPtr<IMapSettings> settings = FindMapSettings(ANode);
    FRollsUp = settings && settings->GetTaskScheduling();
    if (settings) FScheduler = QueryAs<IWorkingScheduler>(settings->GetScheduler().get());
  }
  if (!FRollsUp) return nullptr;
  if (const TRolledUpValues* kept = Find(ANode)) return kept;
  const TRolledUpValues values = TRolledUpAction::Compute(record, ANode, FScheduler.get(), this);
  return &(FValues[ANode] = values);
}

double TRollUpMemo::Start(INode* ANode, IActionAttribute* AAction) {
  const TRolledUpValues* values = Summary(ANode, AAction);
  return values ? values->Start : AAction->GetStartDate();
}

double TRollUpMemo::Finish(INode* ANode, IActionAttribute* AAction) {
  const TRolledUpValues* values = Summary(ANode, AAction);
  return values ? values->Finish : AAction->GetCompletedDate();
}

double TRollUpMemo::Days(INode* ANode, IActionAttribute* AAction) {
  const TRolledUpValues* values = Summary(ANode, AAction);
  return values ? DurationInDays(values->Duration, values->DurationMeasure) : AAction->GetDurationInDays();
}

std::string TRollUpMemo::Status(INode* ANode, IActionAttribute* AAction) {
  const TRolledUpValues* values = Summary(ANode, AAction);
  if (!values) return AAction->GetStatus();
  return std::string(
      RolledUpStatus(values->Complete, TActionAttribute::FromAction(QueryAs<IAttribute>(AAction).get())->StoredStatus()));
}

TRolledUpValues TRolledUpAction::Values() {
  if (!FNode) return Compute(FAction.get(), nullptr, nullptr, nullptr);
  TRollUpMemo* held = TRollUpHold::Find(FNode->GetRoot().get());
  if (!held || !FNode->IsSummaryTask())
    return Compute(FAction.get(), FNode.get(), FindWorkingScheduler(FNode.get()).get(), nullptr);
  if (const TRolledUpValues* kept = held->Find(FNode.get())) return *kept;
  const TRolledUpValues values = Compute(FAction.get(), FNode.get(), FindWorkingScheduler(FNode.get()).get(), held);
  held->Keep(FNode.get(), values);
  return values;
}

namespace {

// Few maps are painted at once: a list serves.
struct THeldRollUps {
  INode* Root;  // not counted: the holder keeps its map open until it releases
  int Holds;
  std::unique_ptr<TRollUpMemo> Memo;
};
std::vector<THeldRollUps> HeldRollUps;

}  // namespace

void TRollUpHold::Hold(INode* ARoot) {
  if (!ARoot) return;
  for (THeldRollUps& held : HeldRollUps)
    if (held.Root == ARoot) {
      ++held.Holds;
      return;
    }
  HeldRollUps.push_back({ARoot, 1, std::make_unique<TRollUpMemo>()});
}

void TRollUpHold::Release(INode* ARoot) {
  for (auto it = HeldRollUps.begin(); it != HeldRollUps.end(); ++it)
    if (it->Root == ARoot) {
      if (--it->Holds == 0) HeldRollUps.erase(it);
      return;
    }
}

TRollUpMemo* TRollUpHold::Find(INode* ARoot) {
  if (HeldRollUps.empty() || !ARoot) return nullptr;
  for (THeldRollUps& held : HeldRollUps)
    if (held.Root == ARoot) return held.Memo.get();
  return nullptr;
}

TRolledUpValues TRolledUpAction::Compute(TActionAttribute* ARecord, INode* ANode, IWorkingScheduler* AScheduler,
                                         TRollUpMemo* AMemo) {
  ComPtr<INode> first = ANode ? ANode->GetFirstChild() : nullptr;
  if (!first) {
    TRollUpTotals own;
    own.Visit(TVisitedValues::Stored(*ARecord));
    return own.Result(AScheduler, false, ARecord->StoredDurationMeasure());
  }

  // Post-order: a summary child is pushed and rolled up before its values join its parent's.
  std::vector<TFrame> stack;
  stack.push_back({ComPtr<INode>(ANode), std::move(first), {}});
  for (;;) {
    TFrame& top = stack.back();
    if (!top.Next) {
      const TRolledUpValues values = top.RollUp.Result(AScheduler, true, amDays);
      if (AMemo && stack.size() > 1) AMemo->Keep(top.Node.get(), values);
      stack.pop_back();
      if (stack.empty()) return values;
      stack.back().RollUp.Visit(TVisitedValues::RolledUp(values));
      continue;
    }
    ComPtr<INode> child = std::move(top.Next);
    top.Next = child->GetNextSibling();

    // Every child that carries a record is a subtask: the host hides no node and keeps notes
    // apart from nodes.
    ComPtr<IProperty> property = child->FindProperty(KActionPropertyName);
    if (!property) continue;
    // Our property answers for its record at once; another make's only through its record.
    TActionAttribute* record = TActionAttribute::FromAction(property.get());
    ComPtr<IActionAttribute> foreign;
    if (!record && !(foreign = QueryAs<IActionAttribute>(QueryAs<IAttribute>(property.get()).get()))) continue;
    if (child->IsSummaryTask()) {
      if (const TRolledUpValues* kept = AMemo ? AMemo->Find(child.get()) : nullptr) {
        top.RollUp.Visit(TVisitedValues::RolledUp(*kept));
        continue;
      }
      if (ComPtr<INode> grandchild = child->GetFirstChild()) {
        stack.push_back({std::move(child), std::move(grandchild), {}});
        continue;
      }
    }
    top.RollUp.Visit(record ? TVisitedValues::Stored(*record) : TVisitedValues::Answered(*foreign));
  }
}
