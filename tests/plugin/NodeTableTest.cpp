#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/NodeTable.h"
#include "tests/support/FakeNode.h"

namespace {

// Enough nodes to grow the table several times, so that values must survive the moves.
TEST(NodeTable, KeepsEveryNodesValueAcrossGrowthAndForgetsAllOnClear) {
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  std::vector<ComPtr<TFakeNode>> nodes;
  for (int i = 1; i <= 1000; ++i) nodes.push_back(root->AddNode(std::to_string(i)));

  TNodeTable<int> table;
  EXPECT_EQ(table.Find(nodes[0].get()), nullptr) << "an empty table";
  for (size_t i = 0; i < nodes.size(); ++i) table[nodes[i].get()] = static_cast<int>(i) + 1;
  ++table[nodes[7].get()];  // a node met again keeps its entry
  EXPECT_EQ(table.Count(), nodes.size());
  for (size_t i = 0; i < nodes.size(); ++i) {
    const int* value = table.Find(nodes[i].get());
    ASSERT_NE(value, nullptr) << i;
    EXPECT_EQ(*value, i == 7 ? 9 : static_cast<int>(i) + 1);
  }
  EXPECT_EQ(table.Find(root.get()), nullptr);

  table.Clear();
  EXPECT_EQ(table.Count(), 0u);
  for (const ComPtr<TFakeNode>& node : nodes) EXPECT_EQ(table.Find(node.get()), nullptr);
  EXPECT_EQ(table[nodes[500].get()], 0) << "a node added again starts afresh";
  EXPECT_EQ(table.Count(), 1u);
}

}  // namespace
