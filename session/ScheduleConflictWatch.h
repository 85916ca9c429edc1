#pragma once
// Keeps the schedule conflicts of one open map (contract/ScheduleConflictsIntf.h) as the plug-in
// reports them, so that a front end can name those a scheduling run brings about and mark all that
// stand. Reads them through the controllers of the map's plug-ins; nothing here parses text.
#include <cstdint>
#include <vector>

#include "contract/ScheduleConflictsIntf.h"
#include "host/LumetaModel.h"

class TScheduleConflictWatch {
 public:
  // Takes the conflicts as they stand, without reporting them: those a map was opened with are
  // not news.
  void Reset(TLumetaModel* AModel);
  // After a step while the map schedules: reads the conflicts again and, when the step is a new
  // one (a command run, not an undo or redo, which go back to a map the user has seen), answers
  // those that did not stand, with the same dates, before. Nothing when the undo steps have not
  // moved since the last call. While the map does not schedule nothing is read; the first step
  // after it does again only takes the conflicts as they stand.
  std::vector<TScheduleConflict> Update(TLumetaModel* AModel);
  // The conflicts as last read.
  const std::vector<TScheduleConflict>& Current() const noexcept { return FCurrent; }

  // Every conflict of the map now, from the first controller that reports them; empty when none does.
  static std::vector<TScheduleConflict> Find(TLumetaModel* AModel);

 private:
  std::vector<TScheduleConflict> FCurrent;
  int64_t FIndex = -1;
  int64_t FNewest = 0;  // the highest step index seen: a higher one is a new step
  bool FStale = false;  // scheduling was off, so FCurrent may be out of date
};
