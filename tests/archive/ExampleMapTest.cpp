// The example map and the format document's example, read with the plug-in's own classes.
#include <gtest/gtest.h>

#include "ArchiveTestSupport.h"

using namespace archive_test;

namespace {

const std::string ExamplePath = std::string(LUMETA_SOURCE_DIR) + "/examples/launch.xml";

int Depth(TLumetaNode* ANode) {
  int depth = 0;
  for (; ANode->Parent(); ANode = ANode->Parent()) ++depth;
  return depth;
}

TEST(ExampleMap, LoadsCleanlyAndIsStoredAsTheArchiveWritesIt) {
  TPlugInSetup setup;
  std::unique_ptr<TLumetaMap> map = setup.Archive.Load(ExamplePath);
  EXPECT_TRUE(setup.Archive.Warnings().empty()) << setup.Archive.Warnings().front();
  EXPECT_EQ(map->NodeCount(), 24u);
  int deepest = 0;
  map->ForEachNode([&](TLumetaNode* ANode) { deepest = std::max(deepest, Depth(ANode)); });
  EXPECT_EQ(deepest, 3);
  EXPECT_TRUE(map->Settings()->GetTaskScheduling());

  // Summary tasks read rolled-up values while scheduling is on; the file holds what they store.
  map->Settings()->SetTaskScheduling(false);
  std::string saved = setup.Archive.SaveToText(*map);
  const std::string off = "TaskScheduling=\"false\"";
  saved.replace(saved.find(off), off.size(), "TaskScheduling=\"true\"");
  EXPECT_EQ(saved, ReadText(ExamplePath));
}

TEST(ExampleMap, TheFormatDocumentsExampleIsWhatTheArchiveWrites) {
  const std::string document = ReadText(std::string(LUMETA_SOURCE_DIR) + "/docs/map-format.md");
  const size_t section = document.find("## A complete example");
  ASSERT_NE(section, std::string::npos);
  const size_t start = document.find("```xml\n", section) + 7;
  const std::string example = document.substr(start, document.find("```", start) - start);
  TPlugInSetup setup;
  std::unique_ptr<TLumetaMap> map = setup.Archive.LoadFromText(example, "map-format.md");
  EXPECT_TRUE(setup.Archive.Warnings().empty()) << setup.Archive.Warnings().front();
  EXPECT_EQ(setup.Archive.SaveToText(*map), example);
}

TEST(ExampleMap, LinksAreStoredOnBothEnds) {
  TPlugInSetup setup;
  TMapPtr map = Own(setup.Archive.Load(ExamplePath));
  int links[4] = {};
  map->ForEachNode([&](TLumetaNode* ANode) {
    auto predecessors = setup.Links(ANode);
    for (int32_t i = 0; i < predecessors->GetCount(); ++i) {
      auto link = predecessors->GetLink(i).as<ITaskLink>();
      ComPtr<INode> other = link->GetLinkedNode();
      ASSERT_TRUE(other) << "node " << ANode->GetID() << " link " << i;
      auto back = setup.Links(map->GetNode(std::stoll(other->GetID())), "SuccessorTaskLinks")
                      ->GetLink(static_cast<INode*>(ANode));
      ASSERT_TRUE(back) << other->GetID() << " does not know its successor " << ANode->GetID();
      EXPECT_EQ(back.as<ITaskLink>()->GetLinkType(), link->GetLinkType());
      ++links[link->GetLinkType()];
    }
  });
  EXPECT_GT(links[ltFinishToStart], 0);
  EXPECT_GT(links[ltStartToStart], 0);

  auto event = setup.Action(map->GetNode(22));
  EXPECT_TRUE(event->GetIsMilestone());
  EXPECT_EQ(event->GetConstraintType(), tcMustStartOn);
  EXPECT_EQ(event->GetPriority(), "Launch-critical");
  auto priorities = setup.Property<IMapActionListAttribute>(map->Root(), "ActionList");
  ASSERT_EQ(priorities->GetChildCount(), 1);
  EXPECT_EQ(priorities->GetChild(0).as<IMapActionAttribute>()->GetMapStatus(), "Launch-critical");
}

}  // namespace
