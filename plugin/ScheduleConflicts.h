#pragma once
// Finds the dates the scheduling rules let stand against a link or the schedule start (see
// contract/ScheduleConflictsIntf.h): what the controller hands front ends after a scheduling run.
#include <vector>

#include "contract/LumetaIntf.h"
#include "contract/ScheduleConflictsIntf.h"

// The conflicts of every task in the map that holds ANode, in tree order: a task that starts or
// finishes before a predecessor lets it, and one that starts before the schedule start. Summary
// tasks are left out (their dates are their subtasks'). Linear in the map's nodes and links; empty
// without a working scheduler.
std::vector<TScheduleConflict> FindScheduleConflicts(INode* ANode);
