#pragma once
// The rules every front end applies to an edit of an action field, whichever window or command
// it is typed into: the command line and the desktop reach them through the controller, the
// dialog and the panel call them here.
#include <string>

#include "contract/ActionAttributesIntf.h"
#include "contract/ActionEditIntf.h"
#include "contract/ActionVocabulary.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "contract/WorkingSchedulerIntf.h"

// The date ADate becomes when typed into AField of ARecord (empty for a node without action).
// A day typed alone keeps the time of day the field had, so that a finish at 17:00 stays one;
// a field without one, and a constraint date, take while the map schedules (AScheduler given) the
// working day's start, or its end for a finish or a finish constraint: midnight would end a task
// a day early. With a
// scheduler the result then lies in working time (a start typed on a Saturday moves to Monday
// morning). A due date is no part of the schedule and only keeps its time. 0 (no date) stays 0.
double TypedActionDate(IActionAttribute* ARecord, TActionField AField, double ADate, bool AHasTimeOfDay,
                       IWorkingScheduler* AScheduler);

// The same for a node: its record, and its map's scheduler while the map schedules tasks.
double TypedActionDate(INode* ANode, TActionField AField, double ADate, bool AHasTimeOfDay);

// Whether a summary task works the field out from its subtasks while the map schedules tasks: its
// start, finish, duration and the duration's measure, complete and status.
bool IsRolledUpField(TActionField AField);

// Why AField cannot be set on the selection, or empty when it can: a value stored under a
// summary task's rolled-up field would never show. Names the field, the node and the reason. A
// start is taken: it moves the summary's subtasks.
std::string SummaryFieldRefusal(ISelection* ASelection, TActionField AField);

// The link edits a front end makes, under the task link rules; the controller serves them as
// ITaskLinkEditor, whose comments say what each does.
namespace TaskLinkEdits {
TLinkEditAnswer PrepareLinkChange(ILumetaModel* AModel, TTaskLinkChange AChange, INode* APredecessor, INode* ASuccessor,
                                  TTaskLinkType AType);
std::string LinkCircleAbove(INode* ANode);
std::string LinkCircleInMap(INode* ARoot);
}  // namespace TaskLinkEdits
