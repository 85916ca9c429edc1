// Reading the rolled-up % complete and finish of the root summary of a 6-level tree of 100,000
// tasks, next to one plain depth-first walk of the same tree that reads each stored record. Each
// roll-up query walks the subtree once, so the two reads should cost about two plain walks.
// Then `show` of a tree 100,000 levels deep while the map schedules, where every node but the last
// is a summary: next to a plain walk of that tree reading each stored record, and next to `show`
// of the same tree with scheduling off, which prints the stored records. Each summary should be
// rolled up once for the whole table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <memory>
#include <ostream>
#include <random>
#include <streambuf>
#include <vector>

#include "apps/LumetaShell.h"
#include "bench/BenchReporter.h"
#include "com/ProcessHeap.h"
#include "host/LumetaModel.h"
#include "attributes/LumetaAttributeFactory.h"
#include "host/LumetaMap.h"
#include "host/xml/LumetaXmlArchive.h"
#include "plugin/ActionHelpers.h"
#include "plugin/ActionProperty.h"
#include "tests/support/FakeWorkingScheduler.h"
#include "tests/support/InProcessPlugIn.h"

namespace {

constexpr int TaskCount = 100'000;
constexpr int Levels = 6;
constexpr int Branching = 10;
constexpr double FirstDay = 46363;  // Monday 7 December 2026

// Random dates within a year, durations and progress.
void FillRecord(IActionAttribute* AAction, std::mt19937& ARandom) {
  std::uniform_int_distribution<int> day(0, 360), days(1, 10), percent(0, 100);
  const double start = FirstDay + day(ARandom) + 8 / 24.0;
  const int length = days(ARandom);
  AAction->SetStartDate(start);
  AAction->SetCompletedDate(start + length + 9 / 24.0);
  AAction->SetDuration(length);
  AAction->SetDurationMeasure(amDays);
  AAction->SetComplete(percent(ARandom));
}

// The tree, filled level by level with up to ten children a node; leaves get random dates,
// durations and progress, summaries junk that the roll-up must not use.
struct TTree {
  TTree() {
    Map.Root()->SetAttribute(
        "MapSettings",
        make<TFakeMapSettings>(true, ComPtr<IUnknown>(make<TFakeWorkingScheduler>(FirstDay + 8 / 24.0).as<IWorkingScheduler>().get())));
    std::mt19937 random(11);
    Top = Map.AddNode(Map.Root(), "top");
    std::vector<TLumetaNode*> level{Top};
    int count = 1;
    for (int depth = 2; depth <= Levels && count < TaskCount; ++depth) {
      std::vector<TLumetaNode*> next;
      for (TLumetaNode* parent : level)
        for (int i = 0; i < Branching && count < TaskCount; ++i, ++count) next.push_back(Map.AddNode(parent, "task"));
      level = std::move(next);
    }
    Map.ForEachNode([&](TLumetaNode* ANode) { FillRecord(TActionHelper::GetAction(ANode, true).get(), random); });
  }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};  // after Archive: registers its managers
  TLumetaMap Map;
  TLumetaNode* Top = nullptr;
};

TTree& Tree() {
  static TTree tree;
  return tree;
}

// What a plain walk reads of a node: its stored record's values, summed.
double StoredValues(INode* ANode) {
  ComPtr<IAttribute> record = QueryAs<IAttribute>(ANode->FindProperty("Action").get());
  TActionAttribute* action = TActionAttribute::FromAction(record.get());
  return action ? action->StoredComplete() + action->StoredCompletedDate() + action->StoredStartDate() +
                      DurationInDays(action->StoredDuration(), action->StoredDurationMeasure())
                : 0;
}

void BM_PlainWalk(benchmark::State& AState) {
  TTree& tree = Tree();
  for (auto _ : AState) {
    double sum = 0;
    std::vector<ComPtr<INode>> stack{ComPtr<INode>(static_cast<INode*>(tree.Top))};
    while (!stack.empty()) {
      ComPtr<INode> node = std::move(stack.back());
      stack.pop_back();
      if (ComPtr<INode> next = node->GetNextSibling(); next && node.get() != tree.Top) stack.push_back(std::move(next));
      if (ComPtr<INode> child = node->GetFirstChild()) stack.push_back(std::move(child));
      sum += StoredValues(node.get());
    }
    benchmark::DoNotOptimize(sum);
  }
}

void BM_RolledUpCompleteAndFinish(benchmark::State& AState) {
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(Tree().Top, false);
  for (auto _ : AState) {
    benchmark::DoNotOptimize(action->GetComplete());
    benchmark::DoNotOptimize(action->GetCompletedDate());
  }
}

// A shell with the plug-in loaded and a map of one chain of nested tasks, each the only child of
// the one before, with dates, durations and progress.
struct TDeepMap {
  static constexpr int Depth = 100'000;

  // Discards what show prints, as a terminal that scrolls it away costs nothing here.
  struct TNullBuffer : std::streambuf {
    int overflow(int AChar) override { return AChar; }
    std::streamsize xsputn(const char*, std::streamsize ACount) override { return ACount; }
  };

  TDeepMap() {
    Shell.Open(LUMETA_DEFAULT_PLUGIN_DIR, "");
    TLumetaModel* model = Shell.Model();
    std::mt19937 random(13);
    model->Map().ReserveNodes(Depth + 1);
    TLumetaNode* parent = model->Map().Root();
    for (int i = 0; i < Depth; ++i) {
      TLumetaNode* node = model->Map().AddNode(parent, "task");
      ComPtr<IProperty> property = model->NewProperty("Action");
      property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
      FillRecord(property.as<IActionAttribute>().get(), random);
      node->SetProperty(property.get());
      parent = node;
    }
  }
  void Show(bool AScheduling) {
    Shell.Model()->Map().Settings()->SetTaskScheduling(AScheduling);
    Shell.Run({"show"});
  }

  TNullBuffer Null;
  std::ostream Out{&Null};
  TLumetaShell Shell{Out, Out};
};

TDeepMap& DeepMap() {
  static TDeepMap map;
  return map;
}

void BM_DeepPlainWalk(benchmark::State& AState) {
  TDeepMap& map = DeepMap();
  for (auto _ : AState) {
    double sum = 0;
    for (ComPtr<INode> node = map.Shell.Model()->Map().Root()->GetFirstChild(); node; node = node->GetFirstChild())
      sum += StoredValues(node.get());
    benchmark::DoNotOptimize(sum);
  }
}

// AState.range(0): scheduling on (1) or off (0).
void BM_DeepShow(benchmark::State& AState) {
  TDeepMap& map = DeepMap();
  for (auto _ : AState) map.Show(AState.range(0) != 0);
}

BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RolledUpCompleteAndFinish)->Unit(benchmark::kMillisecond)->UseRealTime();
// Two seconds each: a walk takes some 10 ms, and a busy moment of the machine during a dozen of
// them moved the ratio by half.
BENCHMARK(BM_DeepPlainWalk)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_DeepShow)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();  // as the programs do, so that a repeated show reuses its working memory
  benchmark::Initialize(&argc, argv);
  TKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto plain = reporter.ByFullName.find("BM_PlainWalk/real_time");
  const auto rolled = reporter.ByFullName.find("BM_RolledUpCompleteAndFinish/real_time");
  if (plain != reporter.ByFullName.end() && rolled != reporter.ByFullName.end())
    std::printf("\n%d tasks in %d levels: rolled-up %% complete and finish / plain walk = %.2fx (target <= 5x)\n",
                TaskCount, Levels, rolled->second / plain->second);
  const auto deepWalk = reporter.ByFullName.find("BM_DeepPlainWalk/min_time:2.000/real_time");
  const auto showOff = reporter.ByFullName.find("BM_DeepShow/0/min_time:2.000/real_time");
  const auto showOn = reporter.ByFullName.find("BM_DeepShow/1/min_time:2.000/real_time");
  if (deepWalk != reporter.ByFullName.end() && showOn != reporter.ByFullName.end())
    std::printf("show of a tree %d levels deep, scheduling on / plain walk = %.1fx (target <= 5x)\n", TDeepMap::Depth,
                showOn->second / deepWalk->second);
  if (showOff != reporter.ByFullName.end() && showOn != reporter.ByFullName.end())
    std::printf("  the same show, scheduling on / off (stored records printed) = %.2fx\n",
                showOn->second / showOff->second);
  benchmark::Shutdown();
  return 0;
}
