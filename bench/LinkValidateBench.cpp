// Checking one new task link on a large map: 10,000 tasks in 500 project branches (a summary with
// fifteen tasks and a nested summary of three), 20,000 random links that never point backwards in
// one random order of the tasks, and a new link whose search for a way back finds none, so that it
// goes through everything reachable from the successor. Compared with one plain traversal of the
// same map that reads every node and every successor link once.
#include <cstdio>
#include <random>
#include <set>
#include <stack>
#include <unordered_set>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributeFactory.h"
#include "bench/BenchReporter.h"
#include "host/LumetaMap.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/TaskLinkHelper.h"

namespace {

constexpr int BranchCount = 500;
constexpr int LinkCount = 20000;

INodeLinkList2* LinksOf(TLumetaNode* ANode, bool ASuccessors) {
  const char* name = ASuccessors ? TLumetaSuccessorLinksProperty::ManagerInfo.Description
                                 : TLumetaNodeLinksProperty::ManagerInfo.Description;
  if (!ANode->FindProperty(name)) {
    ComPtr<TLumetaLinksProperty> property;
    if (ASuccessors)
      property = make<TLumetaSuccessorLinksProperty>();
    else
      property = make<TLumetaNodeLinksProperty>();
    property->Links()->SetLoaded(true);
    ANode->SetProperty(property.get());
  }
  return QueryAs<INodeLinkList2>(ANode->FindProperty(name).get()).get();
}

struct TLinkedMap {
  TLumetaMap Map;
  TLumetaNode* Successor = nullptr;    // has no predecessors and reaches much of the map
  TLumetaNode* Predecessor = nullptr;  // a task of its own without links
  int TaskCount = 0;

  TLinkedMap() {
    std::mt19937 random(20260306);
    std::vector<TLumetaNode*> leaves;
    for (int branch = 0; branch < BranchCount; ++branch) {
      TLumetaNode* summary = Map.AddNode(Map.Root(), "Summary");
      for (int i = 0; i < 15; ++i) leaves.push_back(Map.AddNode(summary, "Task"));
      TLumetaNode* nested = Map.AddNode(summary, "Nested");
      for (int i = 0; i < 3; ++i) leaves.push_back(Map.AddNode(nested, "Task"));
    }
    TaskCount = static_cast<int>(Map.NodeCount());
    std::shuffle(leaves.begin(), leaves.end(), random);
    std::set<std::pair<size_t, size_t>> linked;
    std::uniform_int_distribution<size_t> position(0, leaves.size() - 1);
    while (static_cast<int>(linked.size()) < LinkCount) {
      size_t from = position(random), to = position(random);
      if (from == to) continue;
      if (from > to) std::swap(from, to);
      if (!linked.insert({from, to}).second) continue;
      const auto type = static_cast<TTaskLinkType>(random() % 2);  // FS or SS
      LinksOf(leaves[from], true)->AddLink(leaves[to]).as<ITaskLink>()->SetLinkType(type);
      LinksOf(leaves[to], false)->AddLink(leaves[from]).as<ITaskLink>()->SetLinkType(type);
    }
    Successor = leaves.front();
    Predecessor = Map.AddNode(Map.Root(), "New");
  }
  ~TLinkedMap() { TLumetaMap::ReleaseSubtree(Map.Root()); }  // links hold the nodes they link
};

TLinkedMap* Setup = nullptr;

// Every node in tree order and every node a successor link leads to, each once.
size_t PlainTraversal(INode* ARoot) {
  std::unordered_set<INode*> visited;
  std::stack<ComPtr<INode>> pending;
  pending.push(ComPtr<INode>(ARoot));
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.top());
    pending.pop();
    if (!visited.insert(node.get()).second) continue;
    for (ComPtr<INode> child = node->GetFirstChild(); child; child = child->GetNextSibling()) pending.push(child);
    if (ComPtr<INodeLinkList2> links =
            QueryAs<INodeLinkList2>(node->FindProperty(TLumetaSuccessorLinksProperty::ManagerInfo.Description).get()))
      for (int32_t i = 0; i < links->GetCount(); ++i) pending.push(links->GetLink(i)->GetLinkedNode());
  }
  return visited.size();
}

void BM_ValidateNewLink(benchmark::State& AState) {
  for (auto _ : AState) {
    const TTaskLinkResult result =
        TTaskLinkHelper::Validate(Setup->Successor, Setup->Predecessor, nullptr, ltFinishToStart);
    if (result != tlOk) AState.SkipWithError("the new link should pass");
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_ValidateNewLink)->Unit(benchmark::kMillisecond);

void BM_PlainTraversal(benchmark::State& AState) {
  for (auto _ : AState) benchmark::DoNotOptimize(PlainTraversal(Setup->Map.Root()));
}
BENCHMARK(BM_PlainTraversal)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
  RegisterStandardAttributeClasses(factory.get());
  RegisterPlugInAttributeClasses(factory.get());
  SetAttributeFactory(factory.get());
  {
    TLinkedMap map;
    Setup = &map;
    TKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& s = reporter.Seconds;
    std::printf("\n%d tasks, %d links; the plain traversal reaches %zu nodes\n", map.TaskCount, LinkCount,
                PlainTraversal(map.Map.Root()));
    if (s.count("BM_ValidateNewLink") && s.count("BM_PlainTraversal"))
      std::printf("validating one new link: %.2f ms, %.2f times one plain traversal (%.2f ms)\n",
                  s["BM_ValidateNewLink"] * 1e3, s["BM_ValidateNewLink"] / s["BM_PlainTraversal"],
                  s["BM_PlainTraversal"] * 1e3);
    Setup = nullptr;
  }
  SetAttributeFactory(nullptr);
  return 0;
}
