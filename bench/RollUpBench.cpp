// Reading the rolled-up % complete and finish of the root summary of a 6-level tree of 100,000
// tasks, next to one plain depth-first walk of the same tree that reads each stored record. Each
// roll-up query walks the subtree once, so the two reads should cost about two plain walks.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "bench/BenchReporter.h"
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

// The tree, filled level by level with up to ten children a node; leaves get random dates,
// durations and progress, summaries junk that the roll-up must not use.
struct TTree {
  TTree() {
    Map.Root()->SetAttribute(
        "MapSettings",
        make<TFakeMapSettings>(true, ComPtr<IUnknown>(make<TFakeWorkingScheduler>(FirstDay + 8 / 24.0).as<IWorkingScheduler>().get())));
    std::mt19937 random(11);
    std::uniform_int_distribution<int> day(0, 360), days(1, 10), percent(0, 100);
    Top = Map.AddNode(Map.Root(), "top");
    std::vector<TLumetaNode*> level{Top};
    int count = 1;
    for (int depth = 2; depth <= Levels && count < TaskCount; ++depth) {
      std::vector<TLumetaNode*> next;
      for (TLumetaNode* parent : level)
        for (int i = 0; i < Branching && count < TaskCount; ++i, ++count) next.push_back(Map.AddNode(parent, "task"));
      level = std::move(next);
    }
    Map.ForEachNode([&](TLumetaNode* ANode) {
      ComPtr<IActionAttribute> action = TActionHelper::GetAction(ANode, true);
      const double start = FirstDay + day(random) + 8 / 24.0;
      const int length = days(random);
      action->SetStartDate(start);
      action->SetCompletedDate(start + length + 9 / 24.0);
      action->SetDuration(length);
      action->SetDurationMeasure(amDays);
      action->SetComplete(percent(random));
    });
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
      ComPtr<IAttribute> record = QueryAs<IAttribute>(node->FindProperty("Action").get());
      if (TActionAttribute* action = TActionAttribute::FromAction(record.get()))
        sum += action->StoredComplete() + action->StoredCompletedDate() + action->StoredStartDate() +
               DurationInDays(action->StoredDuration(), action->StoredDurationMeasure());
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

BENCHMARK(BM_PlainWalk)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RolledUpCompleteAndFinish)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  TKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto plain = reporter.Seconds.find("BM_PlainWalk");
  const auto rolled = reporter.Seconds.find("BM_RolledUpCompleteAndFinish");
  if (plain != reporter.Seconds.end() && rolled != reporter.Seconds.end())
    std::printf("\n%d tasks in %d levels: rolled-up %% complete and finish / plain walk = %.2fx (target <= 5x)\n",
                TaskCount, Levels, rolled->second / plain->second);
  benchmark::Shutdown();
  return 0;
}
