// Moving the head of a finish-to-start chain and undoing it, next to a plain forward pass (one
// topological pass working out each task's dates) over the same graph; and moving the corner of
// a lattice of finish-to-start links, counting the records written.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "bench/BenchClock.h"
#include "com/ProcessHeap.h"
#include "host/LumetaModel.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/RescheduleCommands.h"
#include "plugin/TaskCommands.h"
#include "tests/support/CalendarScheduler.h"
#include "tests/support/InProcessPlugIn.h"

namespace {

constexpr double Monday = 46363 + 8 / 24.0;  // 7 December 2026, 08:00

// What the desktop window attaches to a model: it notes that the map changed and catches up later,
// reading none of the changes. Every graph has one, as every map a person edits is shown.
class TViewObserver : public TImplements<TAggregableObject, IObserver> {
 public:
  void Update(IUnknown*) override { ++Updates; }
  long Updates = 0;
};

// Counts the records that commands write and the runs of move commands, reading every change: an
// instrument of the lattice benchmark, attached only there.
class TWriteCounter : public TImplements<TAggregableObject, IObserver> {
 public:
  void Update(IUnknown* ASubject) override {
    ComPtr<IChanges> changes = QueryAs<ISubject>(ASubject)->GetChanges();
    for (int32_t i = 0; i < changes->GetCount(); ++i)
      if (ComPtr<IChange> change = changes->GetItem(i); change->GetKind() == 11)
        ++Writes;
      else if (change->GetKind() == KRescheduleBeginChange &&
               dynamic_cast<TMoveTaskCommand*>(QueryAs<ICommand>(change->GetObject().get()).get()))
        ++MoveRuns;
  }
  long Writes = 0;
  long MoveRuns = 0;  // move commands run: each once when the head's move is issued
};

// A map of tasks linked finish to start along the given edges; durations in whole days.
struct TGraph {
  // AInPlace: the tasks start where a forward pass puts them; else all at the schedule start.
  // AParents, when given, holds each node's parent index (-1: a main branch), parents first; then
  // scheduling is on, so that summaries roll up. APassEdges, when given, are the links a forward
  // pass follows instead of AEdges (the task-to-task links that summary links stand for).
  TGraph(const std::vector<int>& ADays, const std::vector<std::pair<int, int>>& AEdges, bool AInPlace = true,
         const std::vector<int>& AParents = {}, const std::vector<std::pair<int, int>>& APassEdges = {})
      : Days(ADays), Edges(APassEdges.empty() ? AEdges : APassEdges) {
    Model = make<TLumetaModel>();
    Model->RegisterManager(make<TActionPropertyManager>().get());
    Model->RegisterManager(make<TLumetaNodeLinksPropertyManager>().get());
    Model->RegisterManager(make<TLumetaSuccessorLinksPropertyManager>().get());
    Scheduler = InstallCalendarScheduler(Model->Map(), Monday);
    Model->Map().ReserveNodes(ADays.size() + 1);
    if (!AParents.empty()) Model->Map().Settings()->SetTaskScheduling(true);
    for (size_t i = 0; i < ADays.size(); ++i) {
      const int days = ADays[i];
      const int parent = AParents.empty() ? -1 : AParents[i];
      TLumetaNode* node = Model->Map().AddNode(parent < 0 ? Model->Map().Root() : Nodes[parent], "task");
      ComPtr<IProperty> property = Model->NewProperty("Action");
      property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
      ComPtr<IActionAttribute> action = property.as<IActionAttribute>();
      action->SetDuration(days);
      action->SetDurationMeasure(amDays);
      action->SetConstraintType(tcAsSoonAsPossible);
      node->SetProperty(property.get());
      Nodes.push_back(node);
      Actions.push_back(action);
    }
    for (auto [from, to] : AEdges) {
      Links(Nodes[from], "SuccessorNodeLinks")->AddLink(Nodes[to]);
      Links(Nodes[to], "NodeLinks")->AddLink(Nodes[from]);
    }
    // Dates as a forward pass gives them: every successor in place before the head moves.
    const std::vector<double> starts = AInPlace ? ForwardPass(Monday) : std::vector<double>(ADays.size(), Monday);
    for (size_t i = 0; i < Nodes.size(); ++i) {
      Actions[i]->SetStartDate(starts[i]);
      Actions[i]->SetCompletedDate(Scheduler->FinishForStart(starts[i], Days[i]));
    }
    Model->Subject()->Attach(View.get());
  }
  ~TGraph() {
    Model->Subject()->Detach(View.get());
    if (Counter) Model->Subject()->Detach(Counter.get());
    Model->Close();
  }
  // Attaches the write counter beside the view.
  void CountWrites() {
    Counter = make<TWriteCounter>();
    Model->Subject()->Attach(Counter.get());
  }
  ComPtr<INodeLinkList2> Links(INode* ANode, const char* AName) {
    if (!ANode->FindProperty(AName)) {
      ComPtr<IProperty> property = Model->NewProperty(AName);
      property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
      ANode->SetProperty(property.get());
    }
    return QueryAs<INodeLinkList2>(ANode->FindProperty(AName).get());
  }
  // Each task's start with task 0 at AStart; the edges go from lower to higher indices.
  std::vector<double> ForwardPass(double AStart) {
    std::vector<double> start(Days.size(), 0), finish(Days.size(), 0);
    std::vector<std::vector<int>> predecessors(Days.size());
    for (auto [from, to] : Edges) predecessors[to].push_back(from);
    for (size_t i = 0; i < Days.size(); ++i) {
      double s = i == 0 ? AStart : Monday;
      for (int p : predecessors[i]) s = std::max(s, Scheduler->StartAfter(finish[p]));
      start[i] = s;
      finish[i] = Scheduler->FinishForStart(s, Days[i]);
    }
    return start;
  }
  // Moves the head a day later through the reschedule commands and undoes it; AMoved, when given,
  // is called between the two.
  void MoveHeadAndUndo(const std::function<void()>& AMoved = {}) {
    Model->GetCommandProcessor()->Execute(
        make<TMoveTaskCommand>(Model.get(), Nodes[Head], Scheduler->StartAfter(Actions[Head]->GetCompletedDate()),
                               TTaskSwitches{true, true, true, false})
            .get(),
        NodeSelection(Nodes[Head]).get());
    if (AMoved) AMoved();
    Model->GetCommandProcessor()->UndoLast();
    Model->GetCommandProcessor()->Clear();
  }
  // Gives the head a day more, as `set ID Duration` does, and undoes it.
  void LengthenHeadAndUndo() {
    Model->GetCommandProcessor()->Execute(
        make<TRescheduleTaskDurationCommand>(Model.get(), Nodes[Head], Days[Head] + 1.0, amDays).get(),
        NodeSelection(Nodes[Head]).get());
    Model->GetCommandProcessor()->UndoLast();
    Model->GetCommandProcessor()->Clear();
  }

  std::vector<int> Days;
  std::vector<std::pair<int, int>> Edges;
  size_t Head = 0;  // the task a move starts from
  TLumetaXmlArchive Archive;
  std::unique_ptr<TInProcessPlugIn> PlugIn = std::make_unique<TInProcessPlugIn>(Archive);
  ComPtr<TLumetaModel> Model;
  ComPtr<TCalendarScheduler> Scheduler;
  std::vector<TLumetaNode*> Nodes;
  std::vector<ComPtr<IActionAttribute>> Actions;
  ComPtr<TViewObserver> View = make<TViewObserver>();
  ComPtr<TWriteCounter> Counter;
};

std::unique_ptr<TGraph> Chain(int ACount) {
  std::vector<std::pair<int, int>> edges;
  for (int i = 1; i < ACount; ++i) edges.emplace_back(i - 1, i);
  return std::make_unique<TGraph>(std::vector<int>(ACount, 1), edges);
}

std::unique_ptr<TGraph> Lattice(int ASide, bool AInPlace) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> days(1, 5);
  std::vector<int> durations(ASide * ASide);
  for (int& d : durations) d = days(random);
  std::vector<std::pair<int, int>> edges;
  for (int row = 0; row < ASide; ++row)
    for (int column = 0; column < ASide; ++column) {
      const int task = row * ASide + column;
      if (column + 1 < ASide) edges.emplace_back(task, task + 1);
      if (row + 1 < ASide) edges.emplace_back(task, task + ASide);
    }
  return std::make_unique<TGraph>(durations, edges, AInPlace);
}

// APhases summaries under the root, each holding APhaseSize one-day tasks chained finish to start;
// each phase follows the one before it by a finish-to-start link between the two summaries. With
// AFollower, one task after the phases follows the last of them. The head is the first task.
std::unique_ptr<TGraph> Phases(int APhases, int APhaseSize, bool AFollower = false) {
  std::vector<int> parents, days;
  std::vector<std::pair<int, int>> edges, passEdges;
  int previousSummary = -1, previousTask = -1;
  for (int phase = 0; phase < APhases; ++phase) {
    const int summary = static_cast<int>(parents.size());
    parents.push_back(-1);
    days.push_back(1);
    if (previousSummary >= 0) edges.emplace_back(previousSummary, summary);
    for (int i = 0; i < APhaseSize; ++i) {
      const int task = static_cast<int>(parents.size());
      parents.push_back(summary);
      days.push_back(1);
      if (i > 0) edges.emplace_back(task - 1, task);
      if (previousTask >= 0) passEdges.emplace_back(previousTask, task);
      previousTask = task;
    }
    previousSummary = summary;
  }
  if (AFollower) {
    const int follower = static_cast<int>(parents.size());
    parents.push_back(-1);
    days.push_back(1);
    edges.emplace_back(previousSummary, follower);
    passEdges.emplace_back(previousTask, follower);
  }
  auto graph = std::make_unique<TGraph>(days, edges, true, parents, passEdges);
  graph->Head = 1;
  return graph;
}

// Full names ("BM_ForwardPass/1000/real_time") to seconds per iteration, of the clock and of the
// processor: on a shared machine the second is the steadier figure.
class TRunReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& AReports) override {
    ConsoleReporter::ReportRuns(AReports);
    for (const Run& run : AReports)
      if (!run.error_occurred && run.iterations > 0) {
        Seconds[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
        CpuSeconds[run.benchmark_name()] = run.cpu_accumulated_time / double(run.iterations);
      }
  }
  std::map<std::string, double> Seconds, CpuSeconds;
};

// Seconds of each chain's first move and undo, which also pays for the memory a session's first
// move takes from the system; the timed moves after it are measured warm, as the forward pass is.
std::map<int64_t, double> FirstMoveSeconds;

// Each chain's timed moves and, between them, forward passes over the same graph, each summed. On
// a shared machine a slow spell lasting seconds made the ratio of two benchmarks run apart swing
// from 13x to 31x; taken in alternation, both sides meet the same spells. Each pass follows one
// untimed pass, so that it finds its memory warm, as it does when it runs alone.
struct TAlternated {
  double MoveSeconds = 0;
  double PassSeconds = 0;
  long Runs = 0;
};
std::map<int64_t, TAlternated> Alternated;

// The timed moves of AGraph's head, each followed by an untimed and a timed forward pass.
void TimeAlternated(benchmark::State& AState, TGraph& AGraph, TAlternated& AAlternated) {
  AAlternated = {};
  for (auto _ : AState) {
    const auto move = TClock::now();
    AGraph.MoveHeadAndUndo();
    AAlternated.MoveSeconds += SecondsSince(move);
    AState.PauseTiming();
    benchmark::DoNotOptimize(AGraph.ForwardPass(Monday + 1));
    const auto pass = TClock::now();
    benchmark::DoNotOptimize(AGraph.ForwardPass(Monday + 1));
    AAlternated.PassSeconds += SecondsSince(pass);
    ++AAlternated.Runs;
    AState.ResumeTiming();
  }
}

void BM_MoveChainHeadAndUndo(benchmark::State& AState) {
  std::unique_ptr<TGraph> graph = Chain(static_cast<int>(AState.range(0)));
  const auto start = TClock::now();
  graph->MoveHeadAndUndo();
  // The library calls this again for its timed runs, with the memory of earlier ones at hand: only
  // the first call is a first move.
  FirstMoveSeconds.emplace(AState.range(0), SecondsSince(start));
  TimeAlternated(AState, *graph, Alternated[AState.range(0)]);
}

void BM_ForwardPass(benchmark::State& AState) {
  std::unique_ptr<TGraph> graph = Chain(static_cast<int>(AState.range(0)));
  for (auto _ : AState) benchmark::DoNotOptimize(graph->ForwardPass(Monday + 1));
}

void BM_MoveLatticeCornerAndUndo(benchmark::State& AState) {
  std::unique_ptr<TGraph> graph = Lattice(static_cast<int>(AState.range(0)), AState.range(1) != 0);
  graph->CountWrites();
  long moves = 0;
  for (auto _ : AState) {
    graph->Counter->Writes = 0;
    graph->Counter->MoveRuns = 0;
    // The undo replays the writes alone: only the move counts its moves.
    graph->MoveHeadAndUndo([&] { moves = graph->Counter->MoveRuns; });
  }
  AState.counters["writes"] = static_cast<double>(graph->Counter->Writes);
  AState.counters["moves"] = static_cast<double>(moves);
}

// Phases of 100 chained tasks, themselves chained: the first task's move moves every task. Timed in
// alternation with a forward pass over the same tasks and links, as the chain is.
std::map<int64_t, TAlternated> PhaseAlternated;

void BM_MovePhasesHeadAndUndo(benchmark::State& AState) {
  const int count = static_cast<int>(AState.range(0));
  std::unique_ptr<TGraph> graph = Phases(count / 100, 100);
  graph->MoveHeadAndUndo();
  TimeAlternated(AState, *graph, PhaseAlternated[count]);
}

// One summary holding a chain, its first task made a day longer and undone: with (1) and without (0)
// a task that follows the summary.
void BM_LengthenPhaseHeadAndUndo(benchmark::State& AState) {
  std::unique_ptr<TGraph> graph = Phases(1, static_cast<int>(AState.range(0)), AState.range(1) != 0);
  for (auto _ : AState) graph->LengthenHeadAndUndo();
}

// The growth from 10,000 to 100,000 tasks, timed in alternation as well: the two sizes timed
// apart, seconds from each other, swung from 9x to 14x on a shared machine. Each move of the large
// map is followed by an untimed and a timed move of the small one, whose memory is then warm, as
// when it runs alone.
struct TGrowth {
  double SmallSeconds = 0;
  double LargeSeconds = 0;
  long Runs = 0;
};
std::map<std::string, TGrowth> Growth;

void TimeGrowth(benchmark::State& AState, const std::string& AName, TGraph& ASmall, TGraph& ALarge) {
  ASmall.MoveHeadAndUndo();  // the first moves take fresh memory: not timed
  ALarge.MoveHeadAndUndo();
  TGrowth& growth = Growth[AName] = {};
  for (auto _ : AState) {
    auto start = TClock::now();
    ALarge.MoveHeadAndUndo();
    growth.LargeSeconds += SecondsSince(start);
    ASmall.MoveHeadAndUndo();
    start = TClock::now();
    ASmall.MoveHeadAndUndo();
    growth.SmallSeconds += SecondsSince(start);
    ++growth.Runs;
  }
}

void BM_ChainGrowth(benchmark::State& AState) { TimeGrowth(AState, "chain", *Chain(10'000), *Chain(100'000)); }

void BM_PhasesGrowth(benchmark::State& AState) { TimeGrowth(AState, "phases", *Phases(100, 100), *Phases(1'000, 100)); }

// At least two seconds each, so that the longest chain is timed over several moves too.
BENCHMARK(BM_MoveChainHeadAndUndo)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_ForwardPass)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MovePhasesHeadAndUndo)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_LengthenPhaseHeadAndUndo)->ArgsProduct({{5'000}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChainGrowth)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4);
BENCHMARK(BM_PhasesGrowth)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(4);
BENCHMARK(BM_MoveLatticeCornerAndUndo)->ArgsProduct({{6, 10, 20}, {1, 0}})->Unit(benchmark::kMillisecond)->UseRealTime();

// The moves a profiler looks at alone: collect within this function only (callgrind's
// --toggle-collect), so that building the graph and the warm-up move stay out of the counts.
[[gnu::noinline]] void ProfiledMoves(TGraph& AGraph, int AMoves) {
  for (int i = 0; i < AMoves; ++i) AGraph.MoveHeadAndUndo();
}

// "--profile=chain:100000:2" or "--profile=phases:10000:2": builds that graph, moves its head once
// to warm it, then moves it the given number of times for the profiler.
bool Profile(const std::string& AArgument) {
  const std::string prefix = "--profile=";
  if (!AArgument.starts_with(prefix)) return false;
  char shape[16] = {};
  int count = 0, moves = 1;
  if (std::sscanf(AArgument.c_str() + prefix.size(), "%15[a-z]:%d:%d", shape, &count, &moves) < 2 || count < 100) {
    std::fprintf(stderr, "usage: --profile=chain|phases:TASKS[:MOVES]\n");
    std::exit(2);
  }
  std::unique_ptr<TGraph> graph = std::string(shape) == "phases" ? Phases(count / 100, 100) : Chain(count);
  graph->MoveHeadAndUndo();
  ProfiledMoves(*graph, moves);
  std::printf("%s of %d tasks: %d moves and undos profiled\n", shape, count, moves);
  return true;
}

// "--growth=chain:ROUNDS" or "--growth=phases:ROUNDS": the growth from 10,000 to 100,000 tasks as
// the growth benchmarks time it, printing the fastest and the median move of each size besides the
// mean: on a busy machine the fastest moves are the steadier figure for comparing two builds.
bool GrowthRounds(const std::string& AArgument) {
  const std::string prefix = "--growth=";
  if (!AArgument.starts_with(prefix)) return false;
  char shape[16] = {};
  int rounds = 20;
  if (std::sscanf(AArgument.c_str() + prefix.size(), "%15[a-z]:%d", shape, &rounds) < 1 || rounds < 1) {
    std::fprintf(stderr, "usage: --growth=chain|phases[:ROUNDS]\n");
    std::exit(2);
  }
  const bool phases = std::string(shape) == "phases";
  std::unique_ptr<TGraph> small = phases ? Phases(100, 100) : Chain(10'000);
  std::unique_ptr<TGraph> large = phases ? Phases(1'000, 100) : Chain(100'000);
  small->MoveHeadAndUndo();
  large->MoveHeadAndUndo();
  std::vector<double> smallSeconds, largeSeconds;
  for (int i = 0; i < rounds; ++i) {
    auto start = TClock::now();
    large->MoveHeadAndUndo();
    largeSeconds.push_back(SecondsSince(start));
    small->MoveHeadAndUndo();
    start = TClock::now();
    small->MoveHeadAndUndo();
    smallSeconds.push_back(SecondsSince(start));
  }
  const auto sum = [](const std::vector<double>& AValues) { return std::accumulate(AValues.begin(), AValues.end(), 0.0); };
  const auto median = [](std::vector<double> AValues) {
    std::nth_element(AValues.begin(), AValues.begin() + AValues.size() / 2, AValues.end());
    return AValues[AValues.size() / 2];
  };
  std::printf("%s growth from 10,000 to 100,000 tasks over %d rounds: mean %.2fx, median %.2fx, fastest %.2fx "
              "(fastest moves %.1f ms and %.1f ms)\n",
              shape, rounds, sum(largeSeconds) / sum(smallSeconds), median(largeSeconds) / median(smallSeconds),
              *std::min_element(largeSeconds.begin(), largeSeconds.end()) /
                  *std::min_element(smallSeconds.begin(), smallSeconds.end()),
              *std::min_element(smallSeconds.begin(), smallSeconds.end()) * 1e3,
              *std::min_element(largeSeconds.begin(), largeSeconds.end()) * 1e3);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();  // as the programs do: each move and undo reuses the memory the last one freed
  if (argc > 1 && (Profile(argv[1]) || GrowthRounds(argv[1]))) return 0;
  benchmark::Initialize(&argc, argv);
  TRunReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // By the name's start: google benchmark appends options such as "/min_time:2.000" before "/real_time".
  const auto find = [](const std::map<std::string, double>& ATimes, const std::string& AName) {
    const auto found = ATimes.lower_bound(AName + "/");
    return found != ATimes.end() && found->first.starts_with(AName + "/") ? found->second : 0.0;
  };
  const auto seconds = [&](const std::string& AName) { return find(reporter.Seconds, AName); };
  for (int count : {1'000, 10'000, 100'000}) {
    const std::string moveName = "BM_MoveChainHeadAndUndo/" + std::to_string(count);
    const std::string passName = "BM_ForwardPass/" + std::to_string(count);
    if (const auto found = Alternated.find(count); found != Alternated.end() && found->second.PassSeconds > 0)
      std::printf("chain of %d: move and undo / forward pass = %.1fx (target <= 30x; %ld of each, in alternation)\n",
                  count, found->second.MoveSeconds / found->second.PassSeconds, found->second.Runs);
    const double move = seconds(moveName), pass = seconds(passName);
    const double moveCpu = find(reporter.CpuSeconds, moveName), passCpu = find(reporter.CpuSeconds, passName);
    if (move > 0 && pass > 0 && passCpu > 0)
      std::printf("  the two benchmarks above, run apart: %.1fx (processor time %.1fx)\n", move / pass, moveCpu / passCpu);
    if (const auto first = FirstMoveSeconds.find(count); first != FirstMoveSeconds.end() && pass > 0)
      std::printf("  the first move of the run, fresh memory included: %.1f ms, %.1fx\n", first->second * 1e3,
                  first->second / pass);
  }
  // The growth of moves timed in alternation, then of the benchmarks above, run apart.
  const auto growth = [&](const std::string& AName, const char* ALabel, const std::string& AApart) {
    if (const auto found = Growth.find(AName); found != Growth.end() && found->second.SmallSeconds > 0)
      std::printf("%sgrowth from 10,000 to 100,000 tasks: %.1fx (target <= 11x; %ld of each, in alternation)\n", ALabel,
                  found->second.LargeSeconds / found->second.SmallSeconds, found->second.Runs);
    const double small = seconds(AApart + "/10000"), large = seconds(AApart + "/100000");
    if (small > 0 && large > 0) std::printf("  the same, run apart: %.1fx\n", large / small);
  };
  growth("chain", "", "BM_MoveChainHeadAndUndo");
  for (int count : {10'000, 100'000})
    if (const auto found = PhaseAlternated.find(count); found != PhaseAlternated.end() && found->second.PassSeconds > 0)
      std::printf("%d tasks in phases of 100: move and undo / forward pass = %.1fx (target <= 40x; %ld of each)\n",
                  count, found->second.MoveSeconds / found->second.PassSeconds, found->second.Runs);
  growth("phases", "phases, ", "BM_MovePhasesHeadAndUndo");
  const double alone = seconds("BM_LengthenPhaseHeadAndUndo/5000/0");
  const double followed = seconds("BM_LengthenPhaseHeadAndUndo/5000/1");
  if (alone > 0 && followed > 0)
    std::printf("a phase of 5,000 with / without a successor of the phase: %.1fx (target <= 3x)\n", followed / alone);
  benchmark::Shutdown();
  return 0;
}
