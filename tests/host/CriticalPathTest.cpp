// The critical-path pass against two references: slack found by delaying each task and watching
// the project's finish (what slack means), and the critical flags of GNOME Planner's library.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "host/CriticalPath.h"
#include "host/LumetaModel.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/support/CalendarScheduler.h"
#include "tests/support/FactoryScope.h"
#include "tests/support/LoadedProperty.h"

namespace {

const double Monday = EncodeDate(2026, 3, 2) + 8.0 / 24;  // 08:00
constexpr int64_t KDayMinutes = 480;

struct TLinkSpec {
  int Predecessor, Successor;
  TTaskLinkType Type;
};

// A map of tasks on the default working week with the given holidays. Each task has a parent
// (-1: a main branch) given before it; a task with children is a summary and takes no dates.
class TNetwork {
 public:
  explicit TNetwork(const std::vector<double>& AHolidays = {}) {
    Model = make<TLumetaModel>();
    Model->RegisterManager(make<TActionPropertyManager>().get());
    Model->RegisterManager(make<TLumetaNodeLinksPropertyManager>().get());
    Model->RegisterManager(make<TLumetaSuccessorLinksPropertyManager>().get());
    Scheduler = make<TCalendarScheduler>(Monday, TWorkingCalendar(0x1F, {{480, 720}, {780, 1020}}, AHolidays));
    Model->Map().Root()->SetAttribute("MapSettings", make<TSettingsWithScheduler>(Scheduler).as<IAttribute>());
  }
  ~TNetwork() { Model->Close(); }

  int Add(int AParent) {
    Nodes.push_back(Model->Map().AddNode(AParent < 0 ? Model->Map().Root() : Nodes[AParent], "task"));
    ComPtr<IProperty> property = NewLoadedProperty(*Model, "Action");
    Nodes.back()->SetProperty(property.get());
    Actions.push_back(property.as<IActionAttribute>());
    return static_cast<int>(Nodes.size()) - 1;
  }
  void SetDates(int ATask, double AStart, double AFinish, double AHours) {
    Actions[ATask]->SetStartDate(AStart);
    Actions[ATask]->SetCompletedDate(AFinish);
    Actions[ATask]->SetDuration(AHours);
    Actions[ATask]->SetDurationMeasure(amHours);
    Actions[ATask]->SetIsMilestone(AHours == 0);
  }
  void Link(const TLinkSpec& ALink) {
    INode* predecessor = Nodes[ALink.Predecessor];
    INode* successor = Nodes[ALink.Successor];
    QueryAs<ITaskLink>(List(predecessor, "SuccessorNodeLinks")->AddLink(successor).get())->SetLinkType(ALink.Type);
    QueryAs<ITaskLink>(List(successor, "NodeLinks")->AddLink(predecessor).get())->SetLinkType(ALink.Type);
  }
  ComPtr<INodeLinkList2> List(INode* ANode, const char* AName) { return LoadedPropertyOf<INodeLinkList2>(*Model, ANode, AName); }

  TFactoryScope Factory{&RegisterPlugInAttributeClasses};
  ComPtr<TLumetaModel> Model;
  ComPtr<TCalendarScheduler> Scheduler;
  std::vector<TLumetaNode*> Nodes;
  std::vector<ComPtr<IActionAttribute>> Actions;
};

// ---- the reference: slack as the longest delay of a task's start that moves neither the
// project's finish nor a finish the task or another must keep.

struct TPlan {
  std::vector<int> Parent;
  std::vector<double> Hours;
  std::vector<TLinkSpec> Links;
  std::vector<double> Deadline;  // 0: none
};

class TDelaySimulation {
 public:
  TDelaySimulation(const TPlan& APlan, IWorkingScheduler* AScheduler) : FPlan(APlan), FScheduler(AScheduler) {
    const size_t n = APlan.Parent.size();
    FLeaves.resize(n);
    for (size_t i = 0; i < n; ++i)
      for (int up = static_cast<int>(i); up >= 0; up = APlan.Parent[up])
        if (!IsSummary(static_cast<int>(i))) FLeaves[up].push_back(static_cast<int>(i));
  }
  bool IsSummary(int ATask) const { return std::ranges::count(FPlan.Parent, ATask) > 0; }
  const std::vector<int>& Leaves(int ATask) const { return FLeaves[ATask]; }

  // Pushes tasks later until every link holds: what a planner's scheduling does after a delay.
  void Settle(std::vector<double>& AStart, std::vector<double>& AFinish) const {
    for (bool moved = true; moved;) {
      moved = false;
      for (const TLinkSpec& link : FPlan.Links) {
        double start = 1e9, finish = 0;
        for (int leaf : Leaves(link.Predecessor)) {
          start = std::min(start, AStart[leaf]);
          finish = std::max(finish, AFinish[leaf]);
        }
        for (int leaf : Leaves(link.Successor)) {
          const double days = FPlan.Hours[leaf] / 8;
          if (link.Type == ltFinishToStart || link.Type == ltStartToStart) {
            const double needed = link.Type == ltFinishToStart ? FScheduler->StartAfter(finish) : start;
            if (Minutes(AStart[leaf], needed) > 0) {
              AStart[leaf] = needed;
              AFinish[leaf] = FScheduler->FinishForStart(needed, days);
              moved = true;
            }
          } else {
            const double needed = link.Type == ltFinishToFinish ? finish : FScheduler->FinishBefore(start);
            if (Minutes(AFinish[leaf], needed) > 0) {
              AFinish[leaf] = needed;
              AStart[leaf] = FScheduler->StartForFinish(needed, days);
              moved = true;
            }
          }
        }
      }
    }
  }

  // The project's finish: the last finish of a task without subtasks.
  double LastFinish(const std::vector<double>& AFinish) const {
    double last = 0;
    for (size_t i = 0; i < AFinish.size(); ++i)
      if (!IsSummary(static_cast<int>(i))) last = std::max(last, AFinish[i]);
    return last;
  }

  // The longest delay of the task's start, in working minutes, that harms nothing.
  int64_t Slack(int ATask, const std::vector<double>& AStart, const std::vector<double>& AFinish) const {
    const double finish = LastFinish(AFinish);
    const auto harmless = [&](int64_t ADelay) {
      std::vector<double> start = AStart, end = AFinish;
      start[ATask] = FScheduler->StartAfter(FScheduler->FinishForStart(AStart[ATask], ADelay / double(KDayMinutes)));
      end[ATask] = FScheduler->FinishForStart(start[ATask], FPlan.Hours[ATask] / 8);
      Settle(start, end);
      for (size_t i = 0; i < end.size(); ++i)
        if (FPlan.Deadline[i] > 0 && Minutes(FPlan.Deadline[i], end[i]) > 0) return false;
      return Minutes(finish, LastFinish(end)) <= 0;
    };
    int64_t low = 0, high = 40 * KDayMinutes;
    if (!harmless(low)) return -1;
    while (low < high) {
      const int64_t middle = (low + high + 1) / 2;
      if (harmless(middle))
        low = middle;
      else
        high = middle - 1;
    }
    return low;
  }

  int64_t Minutes(double AFrom, double ATo) const {
    return std::llround(FScheduler->WorkingDuration(AFrom, ATo) * KDayMinutes);
  }

 private:
  const TPlan& FPlan;
  IWorkingScheduler* FScheduler;
  std::vector<std::vector<int>> FLeaves;
};

// Phases up to two deep, tasks of 0 to 24 hours, links of every type that the link rules let a
// summary take (into a summary FS or SS; out of one FS or FF, which hold its last finish), no
// circles, a few finish dates to keep.
TPlan RandomPlan(std::mt19937& ARandom, bool AFinishToStartOnly, bool APhases) {
  TPlan plan;
  const int count = std::uniform_int_distribution<int>(6, 18)(ARandom);
  for (int i = 0; i < count; ++i) {
    int parent = -1;
    if (APhases && i > 0 && ARandom() % 3 == 0) {
      parent = static_cast<int>(ARandom() % i);
      // A phase holds tasks that come right after it, so its tasks stay together.
      if (plan.Parent[parent] >= 0 && plan.Parent[plan.Parent[parent]] >= 0) parent = -1;
    }
    plan.Parent.push_back(parent);
    static const double hours[] = {0, 2, 4, 8, 8, 12, 16, 24};
    plan.Hours.push_back(hours[ARandom() % 8]);
  }
  const auto above = [&](int A, int B) {
    for (int up = plan.Parent[B]; up >= 0; up = plan.Parent[up])
      if (up == A) return true;
    return false;
  };
  TDelaySimulation shape(plan, nullptr);
  // Whether leaf ATo can be reached from leaf AFrom along the links so far.
  const auto reaches = [&](int AFrom, int ATo) {
    std::vector<int> todo{AFrom};
    std::vector<bool> seen(plan.Parent.size());
    while (!todo.empty()) {
      const int task = todo.back();
      todo.pop_back();
      if (task == ATo) return true;
      if (seen[task]) continue;
      seen[task] = true;
      for (const TLinkSpec& link : plan.Links) {
        const auto& from = shape.Leaves(link.Predecessor);
        if (std::ranges::find(from, task) == from.end()) continue;
        for (int leaf : shape.Leaves(link.Successor)) todo.push_back(leaf);
      }
    }
    return false;
  };
  const int links = std::uniform_int_distribution<int>(count / 2, count + 4)(ARandom);
  for (int tries = 0; tries < 20 * links && static_cast<int>(plan.Links.size()) < links; ++tries) {
    const int a = static_cast<int>(ARandom() % count), b = static_cast<int>(ARandom() % count);
    if (a == b || above(a, b) || above(b, a)) continue;
    TTaskLinkType type = AFinishToStartOnly ? ltFinishToStart : static_cast<TTaskLinkType>(ARandom() % 4);
    if (shape.IsSummary(b) && (type == ltFinishToFinish || type == ltStartToFinish)) type = ltStartToStart;
    if (shape.IsSummary(a) && (type == ltStartToStart || type == ltStartToFinish)) type = ltFinishToFinish;
    if (shape.IsSummary(a) && shape.IsSummary(b)) type = ltFinishToStart;
    const bool linked = std::ranges::any_of(plan.Links, [&](const TLinkSpec& L) {
      return (L.Predecessor == a && L.Successor == b) || (L.Predecessor == b && L.Successor == a);
    });
    if (linked) continue;
    bool circle = false;
    for (int from : shape.Leaves(b))
      for (int to : shape.Leaves(a)) circle = circle || from == to || reaches(from, to);
    if (!circle) plan.Links.push_back({a, b, type});
  }
  plan.Deadline.assign(count, 0);
  return plan;
}

// Writes a random plan into the network: each task starts up to two days after the schedule's
// start, then links push it later; some tasks get a finish date to keep, at or after their finish.
void Schedule(TNetwork& ANetwork, TPlan& APlan, std::mt19937& ARandom, bool AGaps, bool ADeadlines,
              std::vector<double>& AStart, std::vector<double>& AFinish) {
  const size_t count = APlan.Parent.size();
  for (size_t i = 0; i < count; ++i) ANetwork.Add(APlan.Parent[i]);
  IWorkingScheduler* scheduler = ANetwork.Scheduler.get();
  TDelaySimulation simulation(APlan, scheduler);
  AStart.assign(count, 0);
  AFinish.assign(count, 0);
  for (size_t i = 0; i < count; ++i) {
    const double gap = AGaps ? (ARandom() % 5) * 4 / 8.0 : 0;
    AStart[i] = scheduler->StartAfter(scheduler->FinishForStart(Monday, gap));
    AFinish[i] = scheduler->FinishForStart(AStart[i], APlan.Hours[i] / 8);
  }
  simulation.Settle(AStart, AFinish);
  for (size_t i = 0; i < count; ++i) {
    if (simulation.IsSummary(static_cast<int>(i))) continue;
    ANetwork.SetDates(static_cast<int>(i), AStart[i], AFinish[i], APlan.Hours[i]);
    if (ADeadlines && ARandom() % 5 == 0) {
      APlan.Deadline[i] = scheduler->FinishForStart(AFinish[i], (ARandom() % 3) * 0.5);
      ANetwork.Actions[i]->SetConstraintType(ARandom() % 2 ? tcFinishNoLaterThan : tcMustFinishOn);
      ANetwork.Actions[i]->SetConstraintDate(APlan.Deadline[i]);
    }
  }
  for (const TLinkSpec& link : APlan.Links) ANetwork.Link(link);
}

}  // namespace

TEST(CriticalPathTest, SlackIsTheLongestHarmlessDelayOnRandomNetworks) {
  std::mt19937 random(20261208);
  const std::vector<double> holidays = {EncodeDate(2026, 3, 4), EncodeDate(2026, 3, 10), EncodeDate(2026, 3, 17)};
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TPlan plan = RandomPlan(random, false, true);
    TNetwork network(holidays);
    std::vector<double> start, finish;
    Schedule(network, plan, random, true, true, start, finish);
    const TCriticalPath path(network.Model->Map());
    const TDelaySimulation simulation(plan, network.Scheduler.get());
    // A table of the whole map hands its rows, the values it shows and the links it found: the pass
    // must agree.
    std::vector<std::pair<TLumetaNode*, int>> rows;
    std::vector<TShownAction> shown;
    std::vector<IProperty*> links;
    TLumetaMap::ForEachInSubtree(network.Model->Map().Root(), [&](TLumetaNode* ANode, int ALevel) {
      if (ALevel == 0) return;
      rows.emplace_back(ANode, ALevel - 1);
      links.push_back(ANode->PeekProperty(KPredecessorLinksName, network.Model->Map().PropertyRank(KPredecessorLinksName)));
      TShownAction& row = shown.emplace_back();
      if (ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(ANode->FindProperty("Action").get())) {
        row.HasAction = true;
        row.Start = action->GetStartDate();
        row.Finish = action->GetCompletedDate();
        row.DurationMeasure = action->GetDurationMeasure();
        row.ConstraintType = action->GetConstraintType();
        row.ConstraintDate = action->GetConstraintDate();
      }
    });
    const TTableRows table{rows, &shown, &links};
    const TCriticalPath fromRows(network.Model->Map(), &table);
    for (size_t i = 0; i < rows.size(); ++i) {
      const std::optional<TTaskSlack> read = path.FindAt(static_cast<int32_t>(i)), given = fromRows.FindAt(static_cast<int32_t>(i));
      ASSERT_EQ(read.has_value(), given.has_value()) << "row " << i;
      if (read) {
        EXPECT_EQ(read->SlackMinutes, given->SlackMinutes) << "row " << i;
      }
    }
    int64_t phaseSlack = 0;
    for (size_t i = 0; i < plan.Parent.size(); ++i) {
      const std::optional<TTaskSlack> slack = path.Find(network.Nodes[i]->ID());
      ASSERT_TRUE(slack) << "task " << i;
      if (simulation.IsSummary(static_cast<int>(i))) {
        // A phase has the least slack of its tasks.
        phaseSlack = INT64_MAX;
        for (int leaf : simulation.Leaves(static_cast<int>(i)))
          phaseSlack = std::min(phaseSlack, path.Find(network.Nodes[leaf]->ID())->SlackMinutes);
        EXPECT_EQ(slack->SlackMinutes, phaseSlack) << "phase " << i;
        continue;
      }
      EXPECT_EQ(slack->SlackMinutes, simulation.Slack(static_cast<int>(i), start, finish)) << "task " << i;
      EXPECT_EQ(slack->Critical, slack->SlackMinutes <= 0);
      // The late dates are the dates moved by the slack, in working time.
      EXPECT_EQ(simulation.Minutes(start[i], path.LateStart(network.Nodes[i]->ID())), slack->SlackMinutes);
      EXPECT_EQ(simulation.Minutes(finish[i], path.LateFinish(network.Nodes[i]->ID())), slack->SlackMinutes);
    }
  }
}

TEST(CriticalPathTest, MissedFinishDateGivesNegativeSlackInTheTasksMeasure) {
  TNetwork network;
  const int design = network.Add(-1), build = network.Add(-1), spare = network.Add(-1);
  IWorkingScheduler* scheduler = network.Scheduler.get();
  const double designEnd = scheduler->FinishForStart(Monday, 2);
  network.SetDates(design, Monday, designEnd, 16);
  network.Actions[design]->SetDurationMeasure(amDays);
  network.Actions[design]->SetDuration(2);
  const double buildStart = scheduler->StartAfter(designEnd), buildEnd = scheduler->FinishForStart(buildStart, 1);
  network.SetDates(build, buildStart, buildEnd, 8);
  network.SetDates(spare, Monday, scheduler->FinishForStart(Monday, 0.5), 4);
  network.Link({design, build, ltFinishToStart});
  // Build must be done half a day before it can be.
  network.Actions[build]->SetConstraintType(tcFinishNoLaterThan);
  network.Actions[build]->SetConstraintDate(scheduler->FinishForStart(buildStart, 0.5));

  const TCriticalPath path(network.Model->Map());
  const std::optional<TTaskSlack> slack = path.Find(network.Nodes[design]->ID());
  EXPECT_EQ(slack->SlackMinutes, -240);
  EXPECT_DOUBLE_EQ(slack->Slack, -0.5);  // days, the design's measure
  EXPECT_EQ(SlackText(*slack), "-0.5 days");
  EXPECT_EQ(SlackText(*path.Find(network.Nodes[build]->ID())), "-4 hrs");
  EXPECT_EQ(SlackText(*path.Find(network.Nodes[spare]->ID())), "20 hrs");  // up to the project's finish
  EXPECT_EQ(path.CriticalTasks(), (std::vector<int64_t>{network.Nodes[design]->ID(), network.Nodes[build]->ID()}));
  EXPECT_DOUBLE_EQ(path.ProjectFinish(), buildEnd);
}

TEST(CriticalPathTest, TasksCaughtInACircleOrWithoutDatesHaveNoSlack) {
  TNetwork network;
  const int a = network.Add(-1), b = network.Add(-1), undated = network.Add(-1);
  network.SetDates(a, Monday, Monday + 9.0 / 24, 8);
  network.SetDates(b, Monday + 1, Monday + 1 + 9.0 / 24, 8);
  network.Link({a, b, ltFinishToStart});
  network.Link({b, a, ltFinishToStart});  // a file edited by hand
  const TCriticalPath path(network.Model->Map());
  EXPECT_FALSE(path.Find(network.Nodes[a]->ID()));
  EXPECT_FALSE(path.Find(network.Nodes[undated]->ID()));
  EXPECT_TRUE(path.CriticalTasks().empty());
}

// ---- GNOME Planner (Debian `planner`), driven through its library. Its headers are not packaged,
// so the few entries used are declared here.

namespace {

class TPlanner {
 public:
  TPlanner() {
    FGObject = dlopen("libgobject-2.0.so.0", RTLD_NOW | RTLD_GLOBAL);
    FLibrary = dlopen("/usr/lib/x86_64-linux-gnu/planner/libplanner-1.so.1", RTLD_NOW);
    if (!FGObject || !FLibrary) return;
    Load(ApplicationNew, "mrp_application_new");
    Load(ProjectNew, "mrp_project_new");
    Load(TaskNew, "mrp_task_new");
    Load(InsertTask, "mrp_project_insert_task");
    Load(AddPredecessor, "mrp_task_add_predecessor");
    Load(Reschedule, "mrp_project_reschedule");
    Load(Critical, "mrp_task_get_critical");
    Load(ObjectSet, FGObject, "g_object_set");
    Load(Unref, FGObject, "g_object_unref");
  }
  bool Loaded() const { return FLibrary && FGObject && ApplicationNew && Critical && ObjectSet; }

  void* (*ApplicationNew)() = nullptr;
  void* (*ProjectNew)(void*) = nullptr;
  void* (*TaskNew)() = nullptr;
  void (*InsertTask)(void*, void*, int, void*) = nullptr;
  void* (*AddPredecessor)(void*, void*, int, long, void*) = nullptr;
  void (*Reschedule)(void*) = nullptr;
  int (*Critical)(void*) = nullptr;
  void (*ObjectSet)(void*, const char*, ...) = nullptr;
  void (*Unref)(void*) = nullptr;

 private:
  template <class F>
  void Load(F& AEntry, const char* AName) {
    Load(AEntry, FLibrary, AName);
  }
  template <class F>
  void Load(F& AEntry, void* ALibrary, const char* AName) {
    AEntry = reinterpret_cast<F>(dlsym(ALibrary, AName));
  }
  void* FGObject = nullptr;
  void* FLibrary = nullptr;
};

constexpr int KPlannerFinishToStart = 1;  // MRP_RELATION_FS

}  // namespace

TEST(CriticalPathTest, CriticalFlagsMatchPlannersOnFinishToStartNetworks) {
  static TPlanner planner;  // the library keeps type registrations: load it once
  if (!planner.Loaded()) GTEST_SKIP() << "GNOME Planner's library (Debian planner) is not installed";
  void* application = planner.ApplicationNew();
  std::mt19937 random(42);
  int critical = 0, compared = 0;
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // Tasks as soon as possible from the schedule start: Planner places every task so. Planner
    // counts latest dates in elapsed time (a night or a weekend is slack to it), so slack amounts
    // differ from ours on purpose; whether a task is critical does not.
    TPlan plan = RandomPlan(random, true, false);
    for (double& hours : plan.Hours) hours = std::max(hours, 2.0);  // Planner has no zero-work task
    TNetwork network;
    std::vector<double> start, finish;
    Schedule(network, plan, random, false, false, start, finish);
    const TCriticalPath path(network.Model->Map());

    void* project = planner.ProjectNew(application);
    // Planner starts a project at midnight and its tasks at the first working hour after it.
    const long projectStart = std::lround((std::floor(Monday) - 25569) * 86400);
    planner.ObjectSet(project, "project-start", projectStart, nullptr);
    std::vector<void*> tasks;
    for (size_t i = 0; i < plan.Parent.size(); ++i) {
      void* task = planner.TaskNew();
      planner.ObjectSet(task, "work", static_cast<int>(plan.Hours[i] * 3600), nullptr);
      planner.InsertTask(project, nullptr, -1, task);
      tasks.push_back(task);
    }
    for (const TLinkSpec& link : plan.Links)
      ASSERT_NE(planner.AddPredecessor(tasks[link.Successor], tasks[link.Predecessor], KPlannerFinishToStart, 0, nullptr),
                nullptr);
    planner.Reschedule(project);
    for (size_t i = 0; i < tasks.size(); ++i) {
      const std::optional<TTaskSlack> slack = path.Find(network.Nodes[i]->ID());
      ASSERT_TRUE(slack);
      EXPECT_EQ(slack->Critical, planner.Critical(tasks[i]) != 0) << "task " << i << ", slack " << SlackText(*slack);
      critical += slack->Critical;
      ++compared;
    }
    planner.Unref(project);
  }
  // Both kinds were compared.
  EXPECT_GT(critical, compared / 10);
  EXPECT_LT(critical, compared);
}
