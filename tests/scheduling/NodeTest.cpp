#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "com/ComErrors.h"
#include "plugin/NodeList.h"
#include "tests/scheduling/SchedulingTestFakes.h"

namespace {

// root ─┬─ a ─┬─ a1 ── a11
//       │     └─ a2
//       └─ b ─── b1
struct TTree {
  ComPtr<TTreeNode> root = TTreeNode::Root();
  ComPtr<TTreeNode> a = root->AddNode("a"), b = root->AddNode("b");
  ComPtr<TTreeNode> a1 = a->AddNode("a1"), a2 = a->AddNode("a2"), b1 = b->AddNode("b1");
  ComPtr<TTreeNode> a11 = a1->AddNode("a11");
};

using Ids = std::vector<std::string>;

ComPtr<TNodeList> ListOf(std::initializer_list<TTreeNode*> ANodes) {
  ComPtr<TNodeList> list = make<TNodeList>();
  for (TTreeNode* node : ANodes) list->Add(node);
  return list;
}

Ids IdsOf(INodeList* AList) {
  Ids ids;
  for (int32_t i = 0; i < AList->GetCount(); ++i) ids.push_back(AList->GetItem(i)->GetID());
  return ids;
}

TEST(NodeLink, ResolvesAnIdentifierByWalkingTheMapOnceAndKeepsTheParentsAnswers) {
  TTree tree;
  ComPtr<TNodeLink> link = TNodeLink::CreateLinkID(tree.b1.get(), "a11");
  EXPECT_TRUE(SameObject(link->GetLinkedNode().get(), tree.a11.get()));
  const int walked = tree.root->Counts().FirstChild;
  link->GetLinkedNode();
  EXPECT_EQ(tree.root->Counts().FirstChild, walked);
  link->GetRelativeIndex();
  EXPECT_EQ(link->GetRelativeIndex(), "rel:a11");
  EXPECT_EQ(tree.root->Counts().RelativeIndex, 1);
  EXPECT_FALSE(TNodeLink::CreateLinkID(tree.b1.get(), "nowhere")->GetLinkedNode());
}

TEST(NodeLink, ResolvesARelativeIndexThroughTheParentAndForgetsBothTextsOnSetLinkedNode) {
  TTree tree;
  ComPtr<TNodeLink> link = make<TNodeLink>(tree.b.get(), std::string("rel:a2"));
  EXPECT_EQ(link->GetLinkID(), "a2");
  EXPECT_TRUE(SameObject(link->GetLinkedNode().get(), tree.a2.get()));
  EXPECT_EQ(tree.root->Counts().FromRelativeIndex, 1);

  link->SetLinkedNode(tree.a1.get());
  EXPECT_EQ(link->GetLinkID(), "a1");
  EXPECT_EQ(link->GetRelativeIndex(), "rel:a1");
}

TEST(NodeList, ItemsOutsideTheListAreEmptyAndNodesAreFoundByIdentity) {
  TTree tree;
  ComPtr<TNodeList> list = ListOf({tree.a.get(), tree.b.get()});
  EXPECT_FALSE(list->GetItem(-1));
  EXPECT_FALSE(list->GetItem(2));
  EXPECT_THROW(list->Exchange(0, 2), EListError);
  ComPtr<TTreeNode> twin = make<TTreeNode>("b", std::make_shared<TCallCounts>());
  EXPECT_EQ(list->IndexOf(twin.get()), -1) << "an equal ID is not the same node";
  EXPECT_EQ(list->IndexOf(tree.b.get()), 1);
}

TEST(NodeList, PruneKeepsOnlyTheTopmostEntries) {
  TTree tree;
  // A grandchild and a child before their ancestor, which comes last; a child after its parent.
  ComPtr<TNodeList> list = ListOf({tree.a11.get(), tree.b.get(), tree.b1.get(), tree.a1.get(), tree.a.get()});
  list->Prune();
  EXPECT_EQ(IdsOf(list.get()), (Ids{"b", "a"}));
}

TEST(NodeList, RebuildWithSubtreesListsEachNodeBeforeItsChildren) {
  TTree tree;
  ComPtr<TNodeList> list = ListOf({tree.b.get(), tree.a.get()});
  list->RebuildWithSubtrees();
  EXPECT_EQ(IdsOf(list.get()), (Ids{"b", "b1", "a", "a1", "a11", "a2"}));
}

TEST(NodeList, AnyHasPredecessorsCountsOnlyNonEmptyPredecessorLists) {
  TFactoryScope factory;
  TTree tree;
  tree.a->AddProperty("NodeLinks", true);
  tree.b->AddProperty("SuccessorNodeLinks", true)->List()->Add();
  ComPtr<TNodeList> list = ListOf({tree.a.get(), tree.b.get(), tree.a1.get()});
  EXPECT_FALSE(list->AnyHasPredecessors());
  tree.a1->AddProperty("NodeLinks", true)->List()->Add();
  EXPECT_TRUE(list->AnyHasPredecessors());
}

TEST(NodeList, AllPassAsksNodesWhoseParentIsNotListedAndStopsAtTheFirstFailure) {
  TTree tree;
  ComPtr<TNodeList> list = ListOf({tree.a.get(), tree.a1.get(), tree.b1.get(), tree.a2.get()});
  std::vector<std::pair<std::string, bool>> asked;
  auto passUnlessB1 = [&](INode* ANode, bool AFlag) {
    asked.emplace_back(ANode->GetID(), AFlag);
    return ANode->GetID() != "b1";
  };
  EXPECT_FALSE(list->AllPass(passUnlessB1, true));
  EXPECT_EQ(asked, (std::vector<std::pair<std::string, bool>>{{"a", true}, {"b1", true}}));
  list->Remove(tree.b1.get());
  EXPECT_TRUE(list->AllPass(passUnlessB1, false));
}

}  // namespace
