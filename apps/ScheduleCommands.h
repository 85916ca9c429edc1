#pragma once
// The `critical` and `baseline` commands of the lumeta language: which tasks drive the project's
// finish, worked out afresh from the dates the schedule holds, and the plan as it was agreed.
#include <iosfwd>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

inline constexpr const char* CriticalCommandUsage = "critical";
inline constexpr const char* BaselineCommandUsage = "baseline set|clear [ID...]";

// One line per critical task without subtasks, from the first to start to the last: ID, start,
// finish and title. Raises ELumetaError when the map has no working calendar.
void RunCriticalCommand(TLumetaModel* AModel, std::ostream& AOut);

// `baseline set` keeps each task's current start, finish, duration and work as its baseline (the
// nodes given, else every node with a dated action); `baseline clear` drops it (the nodes given,
// else every one). One undo step; nothing when nothing changes. Raises ELumetaError naming a node
// that has no dated action to take a baseline of.
void RunBaselineCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs);

// "2 days", "-0.5 days": a baseline variance as `show` prints it.
std::string VarianceText(double ADays);
