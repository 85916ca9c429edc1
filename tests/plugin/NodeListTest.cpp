#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "com/ComErrors.h"
#include "commands/NodeList.h"
#include "tests/plugin/TaskLinkTestSupport.h"

namespace {

// root ─┬─ a ─┬─ a1 ── a11
//       │     └─ a2
//       └─ b ─── b1
struct TTree {
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> a = root->AddNode("a"), b = root->AddNode("b");
  ComPtr<TFakeNode> a1 = a->AddNode("a1"), a2 = a->AddNode("a2"), b1 = b->AddNode("b1");
  ComPtr<TFakeNode> a11 = a1->AddNode("a11");
};

using Ids = std::vector<std::string>;

ComPtr<TNodeList> ListOf(std::initializer_list<TFakeNode*> ANodes) {
  ComPtr<TNodeList> list = make<TNodeList>();
  for (TFakeNode* node : ANodes) list->Add(node);
  return list;
}

Ids IdsOf(INodeList* AList) {
  Ids ids;
  for (int32_t i = 0; i < AList->GetCount(); ++i) ids.push_back(AList->GetItem(i)->GetID());
  return ids;
}

TEST(NodeLink, ResolvesAnIdentifierOrARelativeIndexAndForgetsBothTextsOnSetLinkedNode) {
  TTree tree;
  ComPtr<TNodeLink> byID = TNodeLink::CreateLinkID(tree.b1.get(), "a11");
  EXPECT_TRUE(SameObject(byID->GetLinkedNode().get(), tree.a11.get()));
  EXPECT_EQ(byID->GetRelativeIndex(), "rel:a11");
  EXPECT_FALSE(TNodeLink::CreateLinkID(tree.b1.get(), "nowhere")->GetLinkedNode());

  ComPtr<TNodeLink> link = make<TNodeLink>(tree.b.get(), std::string("rel:a2"));
  EXPECT_EQ(link->GetLinkID(), "a2");
  EXPECT_TRUE(SameObject(link->GetLinkedNode().get(), tree.a2.get()));
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
  ComPtr<TFakeNode> twin = make<TFakeNode>("b");
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
  TLinkFactoryScope factory;
  TTree tree;
  AddLinks(tree.a.get(), "NodeLinks");
  AddLinks(tree.b.get(), "SuccessorNodeLinks")->Record()->Add();
  ComPtr<TNodeList> list = ListOf({tree.a.get(), tree.b.get(), tree.a1.get()});
  EXPECT_FALSE(list->AnyHasPredecessors());
  AddLinks(tree.a1.get(), "NodeLinks")->Record()->Add();
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
