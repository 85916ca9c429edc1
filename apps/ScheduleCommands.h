#pragma once
// The `critical` command of the lumeta language, and the slack columns of `show`: which tasks
// drive the project's finish, worked out afresh from the dates the schedule holds.
#include <iosfwd>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

inline constexpr const char* CriticalCommandUsage = "critical";

// One line per critical task without subtasks, from the first to start to the last: ID, start,
// finish and title. Raises ELumetaError when the map has no working calendar.
void RunCriticalCommand(TLumetaModel* AModel, std::ostream& AOut);
