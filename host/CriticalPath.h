#pragma once
// Which tasks drive the project's finish: a backward pass from the finish over the task links, in
// working time, from the dates the schedule holds. Each task gets its late start, late finish and
// total slack (how far its start can move without moving the project's finish or breaking a
// finish-no-later-than or must-finish-on date); a task with no slack is critical.
//
// A summary task stands for its subtasks' span: a link into it holds back each subtask, a link
// out of it waits for its subtasks (a start-to-start or start-to-finish link out of a summary is
// read as holding each subtask's start, which may give a subtask less slack than it has). A
// summary's own slack is the least of its subtasks'.
//
// The map is read once into a TScheduleNetwork (working minutes, links by position), and the pass
// runs over that: a few steps per task and link, no recursion. Both are snapshots: work them out
// again after the schedule changed.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "com/ComPtr.h"
#include "contract/ActionEditIntf.h"
#include "contract/LumetaTypes.h"
#include "contract/WorkingSchedulerIntf.h"

class TLumetaMap;

class TLumetaNode;

// What a table of the whole map holds: its rows in the map's pre-order, the root not counted, each
// node with its depth (0 for a main branch), what each row shows (null when no plug-in answered),
// and each row's links property ("NodeLinks"; null: none) when the table found them on its walk.
struct TTableRows {
  const std::vector<std::pair<TLumetaNode*, int>>& Nodes;
  const std::vector<TShownAction>* Shown = nullptr;
  const std::vector<IProperty*>* Links = nullptr;
  const std::vector<int64_t>* IDs = nullptr;  // the nodes' IDs, or null to ask the nodes
};

// The map's tasks as the pass needs them, in the map's pre-order.
struct TScheduleNetwork {
  struct TLink {
    int32_t Predecessor;  // a position in Tasks
    TTaskLinkType Type;
  };
  struct TTask {
    int64_t ID = 0;
    int32_t Parent = -1;  // a position; -1 for a main branch
    bool Summary = false;
    bool Dated = false;  // a task without subtasks that has a start and a finish
    int32_t Measure = amDays;
    int64_t Start = 0, Finish = 0;  // working minutes after Epoch
    int64_t Deadline = std::numeric_limits<int64_t>::max();  // a finish no later than, or none
  };

  // Raises EInvalidOperation when the map has no working calendar. ARows, when given, are the rows
  // of a table of the whole map: the nodes are taken from there, and with the rows' values the
  // dates and constraints too, rather than read from the map again.
  static TScheduleNetwork Read(const TLumetaMap& AMap, const TTableRows* ARows = nullptr);
  // The position of the node with the ID; -1 when the map has none.
  int32_t PositionOf(int64_t AID) const;

  ComPtr<IWorkingScheduler> Scheduler;
  double Epoch = 0;  // the schedule's start
  int32_t DayMinutes = 480;
  std::vector<TTask> Tasks;
  // The predecessor links of Tasks[i] are Links[FirstLink[i]] to Links[FirstLink[i + 1]).
  std::vector<int32_t> FirstLink;
  std::vector<TLink> Links;
  // By ID while IDs are dense (as they are in maps people make), else by the map.
  std::vector<int32_t> PositionTable;
  std::unordered_map<int64_t, int32_t> PositionMap;
};

struct TTaskSlack {
  // Working minutes; negative when a finish date is already missed.
  int64_t SlackMinutes = 0;
  // The slack in the task's duration measure (hours, days of the calendar's working day, minutes).
  double Slack = 0;
  int32_t Measure = amDays;
  bool Critical = false;
  bool Summary = false;
};

class TCriticalPath {
 public:
  // Raises EInvalidOperation when the map has no working calendar.
  explicit TCriticalPath(const TLumetaMap& AMap, const TTableRows* ARows = nullptr);
  explicit TCriticalPath(TScheduleNetwork ANetwork);

  // Empty for a node that is no dated task, or one caught in a circle of links.
  std::optional<TTaskSlack> Find(int64_t AID) const;
  // The same for the node at APosition of the map's pre-order, the root not counted: the order in
  // which a table of the whole map lists its nodes.
  std::optional<TTaskSlack> FindAt(int32_t APosition) const;
  // The late dates as date-times; 0 for a node Find does not know.
  double LateStart(int64_t AID) const;
  double LateFinish(int64_t AID) const;
  // The critical tasks without subtasks, by start, then finish, then ID.
  std::vector<int64_t> CriticalTasks() const;
  // The latest finish of any task; 0 when the map has no dated task.
  double ProjectFinish() const;

 private:
  static constexpr int64_t KNone = std::numeric_limits<int64_t>::max();
  struct TResult {
    int64_t LateStart = KNone, LateFinish = KNone;  // a summary's: the least of its subtasks'
    int64_t LatestFinish = std::numeric_limits<int64_t>::min();
    int64_t EarliestStart = KNone;
    int64_t Slack = KNone;  // KNone: not worked out
  };
  void Run();
  const TResult* ResultOf(int64_t AID) const;
  double DateOf(int64_t AMinutes, bool AStart) const;

  TScheduleNetwork FNetwork;
  int64_t FFinish = std::numeric_limits<int64_t>::min();
  std::vector<TResult> FResults;  // by position
};

// "2 days", "-4 hrs", "0.5 days": the slack in its measure, to two decimals, as the views print it.
std::string SlackText(const TTaskSlack& ASlack);
void AppendSlackText(std::string& AOut, const TTaskSlack& ASlack);
