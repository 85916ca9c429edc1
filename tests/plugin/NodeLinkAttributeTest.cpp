#include <gtest/gtest.h>

#include "com/MemoryStream.h"
#include "plugin/NodeLinkAttribute.h"
#include "tests/plugin/TaskLinkTestSupport.h"

namespace {

ComPtr<TNodeLinkAttribute> LinkTo(INode* ANode, TTaskLinkType AType = ltFinishToStart) {
  ComPtr<TNodeLinkAttribute> link = make<TNodeLinkAttribute>();
  link->SetLinkedNode(ANode);
  link->SetLinkType(AType);
  return link;
}

TEST(NodeLinkAttribute, LinksToOneTaskAreEqualWhateverTheirTypes) {
  TLinkFactoryScope factory;
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> task = root->AddNode("12"), other = root->AddNode("13");
  EXPECT_TRUE(make<TNodeLinkAttribute>()->IsEmpty());
  ComPtr<TNodeLinkAttribute> finishToStart = LinkTo(task.get()), startToFinish = LinkTo(task.get(), ltStartToFinish);
  EXPECT_TRUE(finishToStart->EqualTo(startToFinish.get()));
  EXPECT_TRUE(startToFinish->EqualTo(finishToStart.get()));
  EXPECT_FALSE(finishToStart->EqualTo(LinkTo(other.get()).get()));
  ComPtr<TNodeReferenceAttribute> reference = make<TNodeReferenceAttribute>();
  reference->SetValue(task.get());
  EXPECT_FALSE(finishToStart->EqualTo(reference.get())) << "only node links compare";

  // What a link list relies on to hold one link per task.
  ComPtr<TListAttribute> list = make<TListAttribute>(TaskLinkAttributeIid);
  QueryAs<ITaskLink>(list->Add().get())->SetLinkedNode(other.get());
  QueryAs<ITaskLink>(list->Add().get())->SetLinkedNode(task.get());
  EXPECT_EQ(list->IndexOfValue(startToFinish.get()), 1);
}

TEST(NodeLinkAttribute, AssignTakesTheTypeFromTaskLinksOnly) {
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> task = root->AddNode("12"), other = root->AddNode("13");
  ComPtr<TNodeLinkAttribute> target = make<TNodeLinkAttribute>();
  target->Assign(LinkTo(task.get(), ltStartToStart).get());
  EXPECT_EQ(target->GetLinkType(), ltStartToStart);
  EXPECT_TRUE(SameObject(target->GetLinkedNode().get(), task.get()));

  ComPtr<TNodeReferenceAttribute> reference = make<TNodeReferenceAttribute>();
  reference->SetValue(other.get());
  target->Assign(reference.get());
  EXPECT_EQ(target->GetLinkType(), ltStartToStart);
  EXPECT_TRUE(SameObject(target->GetLinkedNode().get(), other.get()));
}

TEST(NodeLinkAttribute, StreamRoundTripKeepsTheTaskAndTheTypeAndResolvesInTheMap) {
  TLinkFactoryScope factory;
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> owner = root->AddNode("5"), task = root->AddNode("12");
  ComPtr<TLinksProperty> saved = AddLinks(owner.get(), "NodeLinks");
  ComPtr<ITaskLink> link = QueryAs<ITaskLink>(saved->Record()->Add().get());
  link->SetLinkedNode(task.get());
  link->SetLinkType(ltFinishToFinish);

  ComPtr<TMemoryStream> stream = make<TMemoryStream>();
  saved->Record()->SaveToStream(stream.get());
  // Item count; the reference as a byte count and UTF-16 "12"; the type as 4 bytes.
  const std::vector<uint8_t> expected{1, 0, 0, 0, 4, 0, 0, 0, '1', 0, '2', 0, ltFinishToFinish, 0, 0, 0};
  EXPECT_EQ(stream->Data(), expected);

  ComPtr<TLinksProperty> loaded = AddLinks(owner.get(), "Copy");
  stream->Seek(0, TSeekOrigin::Begin);
  loaded->Record()->LoadFromStream(stream.get());
  ComPtr<ITaskLink> copy = QueryAs<ITaskLink>(loaded->Record()->GetChild(0).get());
  ASSERT_TRUE(copy);
  EXPECT_EQ(copy->GetLinkType(), ltFinishToFinish);
  EXPECT_EQ(copy->GetLinkID(), "12");
  EXPECT_TRUE(SameObject(copy->GetLinkedNode().get(), task.get()));
  EXPECT_TRUE(SameObject(copy->GetParentNode().get(), owner.get()));
  EXPECT_EQ(QueryAs<IAttribute>(copy.get())->AsPlainText(0), "12");
}

}  // namespace
