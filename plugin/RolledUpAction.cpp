#include "plugin/RolledUpAction.h"

#include <vector>

#include "com/OleDate.h"
#include "contract/WorkingSchedulerIntf.h"

namespace {


// What one visited record gives its summary.
struct TVisited {
  double Start;
  double Finish;
  double Days;
  int32_t Complete;
};

TVisited StoredValues(TActionAttribute& ARecord) {
  return {ARecord.StoredStartDate(), ARecord.StoredCompletedDate(),
          DurationInDays(ARecord.StoredDuration(), ARecord.StoredDurationMeasure()), ARecord.StoredComplete()};
}

// A record of another make answers through its interface; it is no summary, so its getters
// answer what it stores.
TVisited InterfaceValues(IActionAttribute& ARecord) {
  return {ARecord.GetStartDate(), ARecord.GetCompletedDate(), ARecord.GetDurationInDays(), ARecord.GetComplete()};
}

// The running totals of one summary while its children are visited.
class TRollUp {
 public:
  void Visit(const TVisited& AValues) {
    if (AValues.Start < FStart) FStart = AValues.Start;
    if (AValues.Finish > FFinish) FFinish = AValues.Finish;
    FTotal += AValues.Days;
    FDone += AValues.Complete / 100.0 * AValues.Days;
  }

  // AOwnMeasure: the measure of a summary without children, which visited its own record.
  TRolledUpValues Result(IWorkingScheduler* AScheduler, bool AHasChildren, int32_t AOwnMeasure) const {
    TRolledUpValues values;
    values.Start = FStart;
    values.Finish = FFinish;
    values.Duration = Duration(AScheduler);
    values.DurationMeasure = AHasChildren ? static_cast<int32_t>(amDays) : AOwnMeasure;
    values.Complete = FTotal > 0 ? RoundHalfToEven(FDone / FTotal * 100) : 0;
    return values;
  }

 private:
  double Duration(IWorkingScheduler* AScheduler) const {
    // Nothing visited: no span to measure, and the sentinels are no dates a scheduler takes.
    if (FStart == KNoRolledUpStart || FFinish == KNoRolledUpFinish) return 0;
    if (AScheduler) return AScheduler->WorkingDuration(FStart, FFinish);
    // Calendar days, both ends counted.
    const double first = DateOf(FStart);
    const double last = DateOf(FFinish);
    return last < first ? 0 : last - first + 1;
  }

  double FStart = KNoRolledUpStart;
  double FFinish = KNoRolledUpFinish;
  double FTotal = 0;
  double FDone = 0;
};

// A summary on the walk's stack: its node, the child to visit next and its totals so far.
struct TFrame {
  ComPtr<INode> Node;
  ComPtr<INode> Next;
  TRollUp RollUp;
};

}  // namespace

TRolledUpAction::TRolledUpAction(TActionAttribute* AAction, INode* ANode) : FAction(AAction), FNode(ANode) {
  if (FNode || !FAction) return;
  if (ComPtr<IProperty> property = FAction->GetProperty()) FNode = QueryAs<INode>(property->GetHostObject().get());
}

std::string TRolledUpAction::GetStatus() {
  const int32_t complete = Values().Complete;
  if (complete == 0) return KStatusNotStarted;
  if (complete >= 1 && complete <= 99) return KStatusInProgress;
  if (complete == 100) return KStatusCompleted;
  return FAction->StoredStatus();
}

namespace {

TRollUpMemo* GActiveMemo = nullptr;  // one user-interface thread; set only while a run lasts

}  // namespace

TRollUpMemo::TScope::TScope(TRollUpMemo& AMemo) : FInstalled(!GActiveMemo) {
  if (FInstalled) GActiveMemo = &AMemo;
}

TRollUpMemo::TScope::~TScope() {
  if (FInstalled) GActiveMemo = nullptr;
}

TRollUpMemo* TRollUpMemo::Active() noexcept { return GActiveMemo; }

const TRolledUpValues* TRollUpMemo::Find(INode* ASummary) const {
  const auto found = FValues.find(ASummary);
  return found == FValues.end() ? nullptr : &found->second;
}

void TRollUpMemo::ForgetAbove(INode* ANode) {
  if (FValues.empty() || !ANode) return;
  for (ComPtr<INode> node = ANode->GetParent(); node; node = node->GetParent()) FValues.erase(node.get());
}

TRolledUpValues TRolledUpAction::Values() {
  TRollUpMemo* memo = TRollUpMemo::Active();
  if (!memo || !FNode) return Compute();
  if (const TRolledUpValues* kept = memo->Find(FNode.get())) return *kept;
  const TRolledUpValues values = Compute();
  memo->Keep(FNode.get(), values);
  return values;
}

TRolledUpValues TRolledUpAction::Compute() {
  ComPtr<INode> first = FNode ? FNode->GetFirstChild() : nullptr;
  if (!first) {
    TRollUp own;
    own.Visit(StoredValues(*FAction));
    return own.Result(FNode ? FindWorkingScheduler(FNode.get()).get() : nullptr, false,
                      FAction->StoredDurationMeasure());
  }
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(FNode.get());

  // Post-order: a summary child is pushed and rolled up before its values join its parent's.
  std::vector<TFrame> stack;
  stack.push_back({FNode, std::move(first), {}});
  for (;;) {
    TFrame& top = stack.back();
    if (!top.Next) {
      const TRolledUpValues values = top.RollUp.Result(scheduler.get(), true, amDays);
      stack.pop_back();
      if (stack.empty()) return values;
      stack.back().RollUp.Visit({values.Start, values.Finish, DurationInDays(values.Duration, values.DurationMeasure),
                                 values.Complete});
      continue;
    }
    ComPtr<INode> child = std::move(top.Next);
    top.Next = child->GetNextSibling();

    // Every child that carries a record is a subtask: the host hides no node and keeps notes
    // apart from nodes.
    ComPtr<IProperty> property = child->FindProperty(KActionPropertyName);
    if (!property) continue;
    ComPtr<IAttribute> attribute = QueryAs<IAttribute>(property.get());
    TActionAttribute* record = TActionAttribute::FromAction(attribute.get());
    ComPtr<IActionAttribute> foreign;
    if (!record && !(foreign = QueryAs<IActionAttribute>(attribute.get()))) continue;
    if (child->IsSummaryTask()) {
      if (ComPtr<INode> grandchild = child->GetFirstChild()) {
        stack.push_back({std::move(child), std::move(grandchild), {}});
        continue;
      }
    }
    top.RollUp.Visit(record ? StoredValues(*record) : InterfaceValues(*foreign));
  }
}
