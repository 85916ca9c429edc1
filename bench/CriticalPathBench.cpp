// The critical-path pass over the map of 100,000 tasks in phases of 100 (tasks chained finish to
// start inside a phase, phases chained to each other), next to a plain forward pass over the same
// tasks and links. Both are timed in alternation, so that a slow spell of a shared machine meets
// both sides. Like the forward pass, the critical-path pass runs over the tasks and links made
// ahead; reading them from the map is timed apart.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench/BenchClock.h"
#include "host/CriticalPath.h"
#include "host/LumetaModel.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/support/CalendarScheduler.h"
#include "tests/support/InProcessPlugIn.h"
#include "tests/support/LoadedProperty.h"

namespace {

constexpr double Monday = 46363 + 8 / 24.0;  // 7 December 2026, 08:00

struct TPhaseMap {
  explicit TPhaseMap(int APhases, int APhaseSize) {
    Model = make<TLumetaModel>();
    Model->RegisterManager(make<TActionPropertyManager>().get());
    Model->RegisterManager(make<TLumetaNodeLinksPropertyManager>().get());
    Model->RegisterManager(make<TLumetaSuccessorLinksPropertyManager>().get());
    Scheduler = InstallCalendarScheduler(Model->Map(), Monday);
    Model->Map().ReserveNodes(static_cast<size_t>(APhases) * (APhaseSize + 1) + 1);
    TLumetaNode* previousSummary = nullptr;
    int previousTask = -1;
    for (int phase = 0; phase < APhases; ++phase) {
      TLumetaNode* summary = Model->Map().AddNode(Model->Map().Root(), "phase");
      WithAction(summary);
      if (previousSummary) Link(previousSummary, summary);
      for (int i = 0; i < APhaseSize; ++i) {
        TLumetaNode* task = Model->Map().AddNode(summary, "task");
        ComPtr<IActionAttribute> action = WithAction(task);
        const int index = static_cast<int>(Tasks.size());
        Predecessors.emplace_back();
        if (i > 0) Link(Nodes.back(), task);
        if (previousTask >= 0) Predecessors.back().push_back(previousTask);
        previousTask = index;
        Nodes.push_back(task);
        Tasks.push_back(action);
      }
      previousSummary = summary;
    }
    const std::vector<double> starts = ForwardPass();
    for (size_t i = 0; i < Tasks.size(); ++i) {
      Tasks[i]->SetStartDate(starts[i]);
      Tasks[i]->SetCompletedDate(Scheduler->FinishForStart(starts[i], 1));
    }
  }
  ~TPhaseMap() { Model->Close(); }

  ComPtr<IActionAttribute> WithAction(TLumetaNode* ANode) {
    ComPtr<IProperty> property = NewLoadedProperty(*Model, "Action");
    ComPtr<IActionAttribute> action = property.as<IActionAttribute>();
    action->SetDuration(1);
    action->SetDurationMeasure(amDays);
    action->SetConstraintType(tcAsSoonAsPossible);
    ANode->SetProperty(property.get());
    return action;
  }
  void Link(INode* AFrom, INode* ATo) {
    LoadedPropertyOf<INodeLinkList2>(*Model, AFrom, "SuccessorNodeLinks")->AddLink(ATo);
    LoadedPropertyOf<INodeLinkList2>(*Model, ATo, "NodeLinks")->AddLink(AFrom);
  }
  // Each task's start: one topological pass over the task-to-task links the phase links stand for.
  std::vector<double> ForwardPass() const {
    std::vector<double> start(Predecessors.size()), finish(Predecessors.size());
    for (size_t i = 0; i < Predecessors.size(); ++i) {
      double s = Monday;
      for (const int p : Predecessors[i]) s = std::max(s, Scheduler->StartAfter(finish[p]));
      start[i] = s;
      finish[i] = Scheduler->FinishForStart(s, 1);
    }
    return start;
  }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};
  ComPtr<TLumetaModel> Model;
  ComPtr<TCalendarScheduler> Scheduler;
  std::vector<TLumetaNode*> Nodes;
  std::vector<ComPtr<IActionAttribute>> Tasks;
  std::vector<std::vector<int>> Predecessors;
};

struct TAlternated {
  double ReadSeconds = 0, PathSeconds = 0, PassSeconds = 0;
  long Runs = 0;
};
TAlternated Alternated;

void BM_CriticalPathOfPhases(benchmark::State& AState) {
  TPhaseMap map(static_cast<int>(AState.range(0)) / 100, 100);
  Alternated = {};
  size_t critical = 0;
  for (auto _ : AState) {
    const auto read = TClock::now();
    TScheduleNetwork network = TScheduleNetwork::Read(map.Model->Map());
    Alternated.ReadSeconds += SecondsSince(read);
    const auto path = TClock::now();
    const TCriticalPath result(std::move(network));
    Alternated.PathSeconds += SecondsSince(path);
    critical = result.CriticalTasks().size();
    AState.PauseTiming();
    const auto pass = TClock::now();
    benchmark::DoNotOptimize(map.ForwardPass());
    Alternated.PassSeconds += SecondsSince(pass);
    ++Alternated.Runs;
    AState.ResumeTiming();
  }
  AState.counters["critical"] = static_cast<double>(critical);
}

BENCHMARK(BM_CriticalPathOfPhases)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (Alternated.Runs > 0) {
    const double runs = static_cast<double>(Alternated.Runs);
    std::printf("100,000 tasks in phases of 100 (%ld runs of each, in alternation):\n", Alternated.Runs);
    std::printf("  critical-path pass %.1f ms, forward pass %.1f ms: %.2fx (target <= 2x)\n",
                Alternated.PathSeconds / runs * 1e3, Alternated.PassSeconds / runs * 1e3,
                Alternated.PathSeconds / Alternated.PassSeconds);
    std::printf("  reading the network from the map first: %.1f ms more, %.2fx the forward pass in all\n",
                Alternated.ReadSeconds / runs * 1e3, (Alternated.ReadSeconds + Alternated.PathSeconds) / Alternated.PassSeconds);
  }
  benchmark::Shutdown();
  return 0;
}
