#include "session/ScheduleConflictWatch.h"

#include <algorithm>
#include <tuple>

namespace {

bool Before(const TScheduleConflict& A, const TScheduleConflict& B) {
  const auto key = [](const TScheduleConflict& C) {
    return std::tie(C.TaskID, C.Kind, C.PredecessorID, C.LinkType, C.OfStart, C.Date, C.Allowed, C.Held, C.Constraint,
                    C.ConstraintDate);
  };
  return key(A) < key(B);
}

}  // namespace

std::vector<TScheduleConflict> TScheduleConflictWatch::Find(TLumetaModel* AModel) {
  if (!AModel) return {};
  for (const ComPtr<IUnknown>& controller : AModel->Controllers())
    if (ComPtr<IScheduleConflicts> conflicts = QueryAs<IScheduleConflicts>(controller.get()))
      return conflicts->GetScheduleConflicts(AModel->Map().Root());
  return {};
}

void TScheduleConflictWatch::Reset(TLumetaModel* AModel) {
  FCurrent = Find(AModel);
  FIndex = AModel ? AModel->Processor()->GetIndex() : -1;
  FNewest = std::max<int64_t>(FIndex, 0);
  FStale = false;
}

std::vector<TScheduleConflict> TScheduleConflictWatch::Update(TLumetaModel* AModel) {
  if (!AModel) return {};
  const int64_t index = AModel->Processor()->GetIndex();
  const bool newStep = index > FNewest;
  FNewest = std::max(FNewest, index);
  if (IMapSettings* settings = AModel->Map().Settings(); !settings || !settings->GetTaskScheduling()) {
    FStale = true;
    return {};
  }
  if (FStale) {
    Reset(AModel);
    return {};
  }
  if (index == FIndex) return {};
  FIndex = index;
  std::vector<TScheduleConflict> now = Find(AModel);
  std::vector<TScheduleConflict> fresh;
  if (newStep) {
    // Sorted, so that a plan with many standing conflicts is compared in n log n.
    std::sort(FCurrent.begin(), FCurrent.end(), Before);
    for (const TScheduleConflict& conflict : now)
      if (!std::binary_search(FCurrent.begin(), FCurrent.end(), conflict, Before)) fresh.push_back(conflict);
  }
  FCurrent = std::move(now);
  return fresh;
}
