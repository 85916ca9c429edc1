#pragma once
// The way back from the task program: what other programs (a phone, todoman, a calendar) changed
// in the tasks a map's export wrote comes back into the map. Each exported action's task is found
// by its UID (the map's identity and the node's ID); its status, % complete and completion date,
// where they differ from the action's, are typed into the action through the plug-in's entries,
// all as one undo step, so that a scheduled map reschedules as if the user had typed them.
#include <cstdint>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

// One action the sync changed: its fields before and after (status as the record stores it,
// dates as days, 0 for none).
struct TSyncedAction {
  int64_t NodeID = 0;
  std::string Title;
  int32_t OldPercent = 0, NewPercent = 0;
  std::string OldStatus, NewStatus;
  double OldCompleted = 0, NewCompleted = 0;
};

// "12 Website: 40 % -> 100 %, Completed", with "Old -> New" for a status that changed alone and
// "Completed Date 2025-10-17 12:00 -> 2026-12-08 10:31" when that moved.
std::string SyncedActionLine(const TSyncedAction& AAction);

struct TSyncResult {
  std::vector<TSyncedAction> Changed;
  // Exported actions whose task is gone or withdrawn, and edits the plug-in refused, each naming
  // its node. The map keeps these actions as they are.
  std::vector<std::string> Warnings;
  // Tasks of the map compared with their actions: all that the store holds, or with
  // SinceLastSync those changed in it since the last sync.
  size_t TasksFound = 0;
  bool SinceLastSync = false;
};

// Reads the tasks of the map's actions from the registered task program and brings their changes
// back. A task field still at a new task's value (not started, 0 %, no completion date) is taken
// for one the export left out and never overwrites the action; the completion date comes back
// only with a task that is done; a summary task of a scheduled map is left to its subtasks. A store
// that keeps sync-tokens (a CalDAV server) is asked only for what changed since the last sync of
// the map, whose token the store keeps, so an action edited in the map and not exported again
// keeps its values; actions that lack what an earlier, unsaved or undone sync brought are compared
// again too. The selection is kept. Raises ELumetaError when the map has never been exported (it has no identity)
// or the task program is not registered or cannot be started.
TSyncResult SyncFromTaskStore(TLumetaModel* AModel);
