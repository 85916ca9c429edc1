#include "host/CriticalPath.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "host/LumetaMap.h"
#include "host/LumetaMapSettings.h"

TScheduleNetwork TScheduleNetwork::Read(const TLumetaMap& AMap, const TTableRows* ARows) {
  TScheduleNetwork network;
  network.Scheduler = FindWorkingScheduler(AMap.Root());
  if (!network.Scheduler) throw EInvalidOperation("The map has no working calendar");
  if (const TLumetaMapSettings* settings = AMap.MapSettings()) network.DayMinutes = settings->WorkingMinutesPerDay();
  if (ComPtr<IWorkingSchedule> schedule = FindWorkingSchedule(AMap.Root())) network.Epoch = schedule->ScheduleStart();

  // The nodes in pre-order, each with its parent's position. The map is walked at most once: a
  // walk down a deep tree waits on memory at every step, a list of its nodes does not.
  std::vector<TTask>& tasks = network.Tasks;
  std::vector<TLumetaNode*> walked;
  tasks.reserve(AMap.NodeCount());
  if (ARows) {
    const size_t rows = ARows->Nodes.size();
    if ((ARows->Shown && ARows->Shown->size() != rows) || (ARows->Links && ARows->Links->size() != rows) ||
        (ARows->IDs && ARows->IDs->size() != rows))
      throw std::invalid_argument("The table's values do not match its rows");
    std::vector<int32_t> parents;  // the position of the last node at each depth
    for (size_t i = 0; i < rows; ++i) {
      const auto [node, depth] = ARows->Nodes[i];
      if (depth < 0 || static_cast<size_t>(depth) > parents.size())
        throw std::invalid_argument("The table's rows are not in the map's pre-order");
      parents.resize(static_cast<size_t>(depth));
      // The whole map is listed: a node's children are the deeper rows right after it.
      const bool summary = i + 1 < rows && ARows->Nodes[i + 1].second > depth;
      tasks.push_back({.ID = ARows->IDs ? (*ARows->IDs)[i] : node->ID(), .Parent = depth == 0 ? -1 : parents.back(),
                       .Summary = summary});
      parents.push_back(static_cast<int32_t>(tasks.size() - 1));
    }
  } else {
    walked.reserve(AMap.NodeCount());
    std::vector<int32_t> parents{-1};  // the position of each node on the walk's way down
    std::vector<std::pair<TLumetaNode*, size_t>> stack{{AMap.Root(), 0}};
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next == node->Children().size()) {
        stack.pop_back();
        parents.pop_back();
        continue;
      }
      TLumetaNode* child = node->Children()[next++].get();
      tasks.push_back({.ID = child->ID(), .Parent = parents.back(), .Summary = !child->Children().empty()});
      walked.push_back(child);
      parents.push_back(static_cast<int32_t>(tasks.size() - 1));
      stack.emplace_back(child, 0);
    }
  }
  const size_t count = tasks.size();
  const int64_t highest = AMap.HighestID();
  if (highest >= 0 && static_cast<size_t>(highest) <= 4 * count + 1024)
    network.PositionTable.assign(static_cast<size_t>(highest) + 1, -1);
  for (size_t i = 0; i < count; ++i) {
    const int64_t id = tasks[i].ID;
    if (id >= 0 && static_cast<size_t>(id) < network.PositionTable.size())
      network.PositionTable[static_cast<size_t>(id)] = static_cast<int32_t>(i);
    else
      network.PositionMap.emplace(id, static_cast<int32_t>(i));
  }

  IWorkingScheduler* scheduler = network.Scheduler.get();
  const double epoch = network.Epoch, dayMinutes = network.DayMinutes;
  const auto minutes = [&](double ADate) {
    return static_cast<int64_t>(std::llround(scheduler->WorkingDuration(epoch, ADate) * dayMinutes));
  };
  network.FirstLink.reserve(count + 1);
  const std::string actionName = KActionPropertyName, linksName = KPredecessorLinksName;
  const size_t actionRank = AMap.PropertyRank(actionName), linksRank = AMap.PropertyRank(linksName);
  for (size_t i = 0; i < count; ++i) {
    TLumetaNode* node = ARows ? ARows->Nodes[i].first : walked[i];
    TTask& task = tasks[i];
    network.FirstLink.push_back(static_cast<int32_t>(network.Links.size()));
    TShownAction read;
    const TShownAction* values = ARows && ARows->Shown ? &(*ARows->Shown)[i] : nullptr;
    if (!values) {
      ComPtr<IProperty> property = node->FindProperty(actionName, actionRank);
      ComPtr<IActionAttribute> action = property ? property.try_as<IActionAttribute>() : nullptr;
      if (!action) continue;
      read.HasAction = true;
      if (!task.Summary) {
        read.Start = action->GetStartDate();
        read.Finish = action->GetCompletedDate();
        read.DurationMeasure = action->GetDurationMeasure();
      }
      if ((read.ConstraintDate = action->GetConstraintDate()) > 0) read.ConstraintType = action->GetConstraintType();
      values = &read;
    }
    if (!values->HasAction) continue;
    if (!task.Summary) {
      const double start = values->Start, finish = values->Finish;
      if (start > 0 && finish > 0) {
        task.Dated = true;
        task.Start = minutes(start);
        task.Finish = std::max(task.Start, finish == start ? task.Start : minutes(finish));
        task.Measure = values->DurationMeasure;
      }
    }
    // A finish date the task must keep bounds its late finish; a summary's bounds each subtask.
    if (const double date = values->ConstraintDate; date > 0) {
      const TTaskConstraintType constraint = values->ConstraintType;
      if (constraint == tcFinishNoLaterThan || constraint == tcMustFinishOn) task.Deadline = minutes(date);
    }
    ComPtr<IProperty> linksProperty =
        ARows && ARows->Links ? ComPtr<IProperty>((*ARows->Links)[i]) : node->FindProperty(linksName, linksRank);
    ComPtr<INodeLinkList2> links = linksProperty ? linksProperty.try_as<INodeLinkList2>() : nullptr;
    const int32_t linkCount = links ? links->GetCount() : 0;
    for (int32_t k = 0; k < linkCount; ++k) {
      ComPtr<INodeLink> link = links->GetLink(k);
      ComPtr<INode> linked = link ? link->GetLinkedNode() : nullptr;
      auto* predecessorNode = dynamic_cast<TLumetaNode*>(linked.get());
      const int32_t predecessor =
          predecessorNode && predecessorNode->Map() == &AMap ? network.PositionOf(predecessorNode->ID()) : -1;
      if (predecessor < 0 || predecessor == static_cast<int32_t>(i)) continue;
      ComPtr<ITaskLink> typed = link.try_as<ITaskLink>();
      network.Links.push_back({predecessor, typed ? typed->GetLinkType() : ltFinishToStart});
    }
  }
  network.FirstLink.push_back(static_cast<int32_t>(network.Links.size()));
  return network;
}

int32_t TScheduleNetwork::PositionOf(int64_t AID) const {
  if (AID >= 0 && static_cast<size_t>(AID) < PositionTable.size()) return PositionTable[static_cast<size_t>(AID)];
  const auto found = PositionMap.find(AID);
  return found == PositionMap.end() ? -1 : found->second;
}

TCriticalPath::TCriticalPath(const TLumetaMap& AMap, const TTableRows* ARows)
    : TCriticalPath(TScheduleNetwork::Read(AMap, ARows)) {}

TCriticalPath::TCriticalPath(TScheduleNetwork ANetwork) : FNetwork(std::move(ANetwork)) { Run(); }

void TCriticalPath::Run() {
  const std::vector<TScheduleNetwork::TTask>& tasks = FNetwork.Tasks;
  const size_t count = tasks.size();
  FResults.assign(count, {});
  for (const auto& task : tasks)
    if (task.Dated) FFinish = std::max(FFinish, task.Finish);
  if (FFinish == std::numeric_limits<int64_t>::min()) return;

  // What must be settled before what. Vertex i is a task without subtasks, or a summary's bounds
  // (handed down to its subtasks); vertex count + i is a summary's result (taken from its
  // subtasks, handed to its predecessors). A successor's result comes before its predecessor's
  // bounds. Pre-order keeps a summary's subtree in one run of positions.
  std::vector<int32_t> span(count, 1);
  for (size_t i = count; i-- > 0;)
    if (tasks[i].Parent >= 0) span[tasks[i].Parent] += span[i];
  std::vector<int32_t> waiting(2 * count, 0);
  for (size_t i = 0; i < count; ++i) {
    if (tasks[i].Parent >= 0) {
      ++waiting[i];
      ++waiting[count + tasks[i].Parent];
    }
    for (int32_t k = FNetwork.FirstLink[i]; k < FNetwork.FirstLink[i + 1]; ++k) ++waiting[FNetwork.Links[k].Predecessor];
  }
  // What a task's successors and the summaries above it allow its finish and its start.
  std::vector<int64_t> finishBound(count), startBound(count, KNone);
  for (size_t i = 0; i < count; ++i) finishBound[i] = tasks[i].Deadline;

  std::vector<int32_t> ready;
  const auto release = [&](size_t AVertex) {
    if (--waiting[AVertex] == 0) ready.push_back(static_cast<int32_t>(AVertex));
  };
  // A task's or summary's result binds its predecessors, by the links' types, and joins its parent's.
  const auto settled = [&](size_t ATask) {
    const TResult& result = FResults[ATask];
    for (int32_t k = FNetwork.FirstLink[ATask]; k < FNetwork.FirstLink[ATask + 1]; ++k) {
      const TScheduleNetwork::TLink& link = FNetwork.Links[k];
      if (result.Slack != KNone) {
        int64_t& bound = link.Type == ltFinishToStart || link.Type == ltFinishToFinish ? finishBound[link.Predecessor]
                                                                                        : startBound[link.Predecessor];
        bound = std::min(bound, link.Type == ltFinishToStart || link.Type == ltStartToStart ? result.LateStart
                                                                                            : result.LateFinish);
      }
      release(static_cast<size_t>(link.Predecessor));
    }
    if (const int32_t parent = tasks[ATask].Parent; parent >= 0) {
      TResult& above = FResults[parent];
      above.LateStart = std::min(above.LateStart, result.LateStart);
      above.LateFinish = std::min(above.LateFinish, result.LateFinish);
      above.LatestFinish = std::max(above.LatestFinish, result.LatestFinish);
      above.EarliestStart = std::min(above.EarliestStart, result.EarliestStart);
      above.Slack = std::min(above.Slack, result.Slack);
      release(count + static_cast<size_t>(parent));
    }
  };
  for (size_t v = 0; v < 2 * count; ++v)
    if (waiting[v] == 0 && (v < count || tasks[v - count].Summary)) ready.push_back(static_cast<int32_t>(v));
  while (!ready.empty()) {
    const size_t v = static_cast<size_t>(ready.back());
    ready.pop_back();
    if (v >= count) {
      settled(v - count);
      continue;
    }
    const TScheduleNetwork::TTask& task = tasks[v];
    if (task.Summary) {
      for (size_t child = v + 1; child < v + static_cast<size_t>(span[v]); child += static_cast<size_t>(span[child])) {
        finishBound[child] = std::min(finishBound[child], finishBound[v]);
        startBound[child] = std::min(startBound[child], startBound[v]);
        release(child);
      }
      continue;
    }
    if (task.Dated) {
      TResult& result = FResults[v];
      const int64_t duration = task.Finish - task.Start;
      int64_t lateFinish = std::min(FFinish, finishBound[v]);
      if (startBound[v] != KNone) lateFinish = std::min(lateFinish, startBound[v] + duration);
      result.LateFinish = result.LatestFinish = lateFinish;
      result.LateStart = lateFinish - duration;
      result.EarliestStart = task.Start;
      result.Slack = lateFinish - task.Finish;
    }
    settled(v);
  }
  // A summary's result counts only once all of its subtasks' did: one caught in a circle of links
  // leaves it unknown.
  for (size_t i = 0; i < count; ++i)
    if (tasks[i].Summary && waiting[count + i] != 0) FResults[i].Slack = KNone;
}

const TCriticalPath::TResult* TCriticalPath::ResultOf(int64_t AID) const {
  const int32_t position = FNetwork.PositionOf(AID);
  if (position < 0 || FResults.empty() || FResults[position].Slack == KNone) return nullptr;
  return &FResults[position];
}

std::optional<TTaskSlack> TCriticalPath::Find(int64_t AID) const { return FindAt(FNetwork.PositionOf(AID)); }

std::optional<TTaskSlack> TCriticalPath::FindAt(int32_t APosition) const {
  if (APosition < 0 || static_cast<size_t>(APosition) >= FResults.size() || FResults[APosition].Slack == KNone)
    return std::nullopt;
  const TResult* result = &FResults[APosition];
  const TScheduleNetwork::TTask& task = FNetwork.Tasks[APosition];
  TTaskSlack slack;
  slack.SlackMinutes = result->Slack;
  slack.Summary = task.Summary;
  slack.Measure = task.Summary ? amDays : task.Measure;
  slack.Critical = result->Slack <= 0;
  const double value = static_cast<double>(result->Slack);
  slack.Slack = slack.Measure == amHours     ? value / KMinutesPerHour
                : slack.Measure == amMinutes ? value
                                             : value / FNetwork.DayMinutes;
  return slack;
}

double TCriticalPath::DateOf(int64_t AMinutes, bool AStart) const {
  IWorkingScheduler* scheduler = FNetwork.Scheduler.get();
  const double moment =
      scheduler->StartAfter(scheduler->FinishForStart(FNetwork.Epoch, static_cast<double>(AMinutes) / FNetwork.DayMinutes));
  return AStart ? moment : scheduler->FinishBefore(moment);
}

double TCriticalPath::LateStart(int64_t AID) const {
  const TResult* result = ResultOf(AID);
  return result ? DateOf(result->LateStart, true) : 0;
}

double TCriticalPath::LateFinish(int64_t AID) const {
  const TResult* result = ResultOf(AID);
  return result ? DateOf(result->LatestFinish, false) : 0;
}

std::vector<int64_t> TCriticalPath::CriticalTasks() const {
  std::vector<int32_t> critical;
  for (size_t i = 0; i < FResults.size(); ++i)
    if (!FNetwork.Tasks[i].Summary && FResults[i].Slack != KNone && FResults[i].Slack <= 0)
      critical.push_back(static_cast<int32_t>(i));
  const auto& tasks = FNetwork.Tasks;
  std::ranges::sort(critical, [&](int32_t A, int32_t B) {
    const auto &a = tasks[A], &b = tasks[B];
    return a.Start != b.Start ? a.Start < b.Start : a.Finish != b.Finish ? a.Finish < b.Finish : a.ID < b.ID;
  });
  std::vector<int64_t> ids;
  ids.reserve(critical.size());
  for (const int32_t position : critical) ids.push_back(tasks[position].ID);
  return ids;
}

double TCriticalPath::ProjectFinish() const {
  return FFinish == std::numeric_limits<int64_t>::min() ? 0 : DateOf(FFinish, false);
}

std::string SlackText(const TTaskSlack& ASlack) {
  std::string text;
  AppendSlackText(text, ASlack);
  return text;
}

void AppendSlackText(std::string& AOut, const TTaskSlack& ASlack) {
  const double rounded = std::round(ASlack.Slack * 100) / 100;
  char text[KShortestFloatTextSize + 1];
  char* end = PutShortestFloatText(text, rounded == 0 ? 0.0 : rounded);
  *end++ = ' ';
  AOut.append(text, end).append(GetMeasureText(ASlack.Measure));
}
