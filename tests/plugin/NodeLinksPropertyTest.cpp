#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/LumetaMap.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "commands/NodeList.h"
#include "tests/plugin/PropertyTestSupport.h"

namespace {

// Tasks A to D on one map; A carries the predecessor links under test.
class NodeLinksProperty : public testing::Test {
 protected:
  void SetUp() override {
    RegisterPlugInClassesOnce();
    for (const char* title : {"A", "B", "C", "D"}) Tasks.push_back(Map.AddNode(Map.Root(), title));
    Property = make<TLumetaNodeLinksProperty>();
    Tasks[0]->SetProperty(Property.get());
    Property->Links()->SetLoaded(true);
  }
  INode* Task(char ATitle) { return Tasks[static_cast<size_t>(ATitle - 'A')]; }
  ComPtr<ITaskLink> Add(char ATitle, TTaskLinkType AType = ltFinishToStart) {
    ComPtr<ITaskLink> link = Property->AddLink(Task(ATitle)).as<ITaskLink>();
    link->SetLinkType(AType);
    return link;
  }
  // Title and type of each link, in list order.
  std::vector<std::string> Linked() {
    std::vector<std::string> links;
    for (int32_t i = 0; i < Property->GetCount(); ++i) {
      ComPtr<INodeLink> link = Property->GetLink(i);
      links.push_back(Map.GetNode(std::stoll(link->GetLinkedNode()->GetID()))->Title() +
                      std::string(KTaskLinkTypeCodes[link.as<ITaskLink>()->GetLinkType()]));
    }
    return links;
  }

  TLumetaMap Map;
  std::vector<TLumetaNode*> Tasks;
  ComPtr<TLumetaNodeLinksProperty> Property;
};

TEST_F(NodeLinksProperty, NewLinksAreFinishToStartItemsOwnedByTheNode) {
  ComPtr<INodeLink> link = Property->AddLink(Task('B'));
  EXPECT_EQ(link.as<ITaskLink>()->GetLinkType(), ltFinishToStart);
  EXPECT_TRUE(SameObject(link->GetParentNode().get(), Task('A')));
  EXPECT_EQ(link.as<IAttribute>()->GetFullName(), "NodeLinks.1");
}

TEST_F(NodeLinksProperty, ASecondLinkToATaskIsFoundAsTheFirstAndSurvivesDuplicateRemoval) {
  Add('B');
  Add('C');
  Add('B', ltStartToStart);
  EXPECT_TRUE(Property->ContainsLink(Task('B')));
  EXPECT_EQ(Property->IndexOfLink(Task('B')), 0) << "the link type is not compared";
  EXPECT_TRUE(SameObject(Property->GetLink(Task('B')).get(), Property->GetLink(0).get()));
  Add('D');
  Add('C', ltStartToFinish);
  Property->RemoveDuplicates();
  EXPECT_EQ(Linked(), (std::vector<std::string>{"BSS", "DFS", "CSF"}));
  Property->RemoveDuplicates();
  EXPECT_EQ(Property->GetCount(), 3);
}

TEST_F(NodeLinksProperty, MissingNodesAndUnlinkedTasksChangeNothing) {
  Add('B');
  EXPECT_FALSE(Property->AddLink(nullptr));
  EXPECT_FALSE(Property->GetLink(Task('C')));
  EXPECT_FALSE(Property->GetLink(1)) << "past the end";
  Property->RemoveLink(Task('C'));
  Property->RemoveLink(nullptr);
  EXPECT_EQ(Linked(), (std::vector<std::string>{"BFS"}));
  Property->RemoveLink(Task('B'));
  EXPECT_EQ(Property->GetCount(), 0);
}

TEST_F(NodeLinksProperty, ContainsAnyNodeOfAList) {
  Add('C');
  ComPtr<TNodeList> nodes = make<TNodeList>();
  nodes->Add(Task('B'));
  nodes->Add(Task('D'));
  EXPECT_FALSE(Property->ContainsLink(nodes.get()));
  nodes->Add(Task('C'));
  EXPECT_TRUE(Property->ContainsLink(nodes.get()));
}

}  // namespace
