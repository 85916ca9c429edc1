#include <gtest/gtest.h>

#include "AttributeTestFakes.h"
#include "attributes/TreeIterator.h"

namespace {

// root "0" with the children 1 (1.1, 1.2 (1.2.1)) and 2; "0" has a sibling "x" under "top".
struct TMap {
  ComPtr<TFakeNode> Top = make<TFakeNode>("top");
  ComPtr<TFakeNode> Root = Top->AddNode("0");
  ComPtr<TFakeNode> Sibling = Top->AddNode("x");
  ComPtr<TFakeNode> One = Root->AddNode("1");
  ComPtr<TFakeNode> OneOne = One->AddNode("1.1");
  ComPtr<TFakeNode> OneTwo = One->AddNode("1.2");
  ComPtr<TFakeNode> Deep = OneTwo->AddNode("1.2.1");
  ComPtr<TFakeNode> Two = Root->AddNode("2");
};

// The IDs visited, each with its position ("1.1@2").
std::vector<std::string> Walk(ITreeIterator* AIterator) {
  std::vector<std::string> visits;
  for (; !AIterator->IsDone(); AIterator->Next())
    visits.push_back(AIterator->GetCurrent()->GetID() + "@" + std::to_string(AIterator->GetPosition()));
  return visits;
}

TEST(TreeIterator, WalksPreOrderWithoutLeavingTheRoot) {
  TMap map;
  ComPtr<TTreeIterator> all = make<TTreeIterator>(map.Root.get());
  EXPECT_EQ(Walk(all.get()), (std::vector<std::string>{"0@0", "1@1", "1.1@2", "1.2@3", "1.2.1@4", "2@5"}));
  all->Next();
  EXPECT_TRUE(all->IsDone());
  all->Reset();
  EXPECT_EQ(all->GetCurrent()->GetID(), "0");

  ComPtr<TTreeIterator> below = make<TTreeIterator>(map.One.get(), tiSkipRoot);
  EXPECT_EQ(Walk(below.get()), (std::vector<std::string>{"1.1@1", "1.2@2", "1.2.1@3"}));
  EXPECT_TRUE(make<TTreeIterator>(map.Deep.get(), tiSkipRoot)->IsDone());
  EXPECT_TRUE(make<TTreeIterator>(nullptr)->IsDone());
}

// A property on a node of a lazily loaded map: its values come from the node when first read.
struct TLazyAction {
  ComPtr<TDocNode> Node = make<TDocNode>("1");
  ComPtr<TPairProperty> Property = make<TPairProperty>(Node);
  ComPtr<IAttribute> Count = Property->Record()->GetChild(0);
  ComPtr<IAttribute> Label = Property->Record()->GetChild(1);
  TLazyAction() {
    Node->Fill = [](IAttribute* AAttribute) { AAttribute->LoadFromString(AAttribute->GetName() == "Count" ? "12" : "twelve"); };
  }
};

TEST(LazyLoading, EachAttributeLoadsOnceOnItsFirstRead) {
  TLazyAction action;
  EXPECT_EQ(action.Property->Record()->GetChildCount(), 2) << "a record does not load itself";
  EXPECT_EQ(action.Node->Loads, 0);
  EXPECT_EQ(IntOf(action.Count.get()), 12);
  EXPECT_EQ(IntOf(action.Count.get()), 12);
  EXPECT_EQ(action.Node->Loads, 1);
  EXPECT_EQ(action.Label->SaveToString(), "twelve");
  EXPECT_EQ(action.Node->Loads, 2);
  EXPECT_TRUE(action.Label->IsLoaded());
  EXPECT_FALSE(action.Label->IsModified()) << "loading is not an edit";

  TLazyAction written;
  SetInt(written.Count.get(), 5);
  EXPECT_EQ(IntOf(written.Count.get()), 5) << "a written value is not overwritten by a later load";
  EXPECT_EQ(written.Node->Loads, 0);
  EXPECT_EQ(make<TStringAttribute>()->GetValue(), "") << "a stand-alone attribute has nothing to load";
}

TEST(LazyLoading, FailingSourceLeavesTheAttributeUnloaded) {
  TLazyAction action;
  action.Node->Fill = [](IAttribute*) { throw ELumetaError("document closed"); };
  EXPECT_THROW(IntOf(action.Count.get()), ELumetaError);
  EXPECT_FALSE(action.Count->IsLoaded());
  action.Node->Fill = nullptr;
  EXPECT_EQ(IntOf(action.Count.get()), 0);
  EXPECT_EQ(action.Node->Loads, 2);
}

// A pair record that makes its children on first need, counting how often, and sets Count to 7
// as it does; Fail makes the next attempt raise after the first child.
class TDeferredPair : public TRecordAttribute {
 public:
  TDeferredPair() : TRecordAttribute(TPairRecord::Names) { DeferChildren(); }
  int Made = 0;
  bool Fail = false;

 protected:
  void MakeChildren() override {
    ++Made;
    ComPtr<TIntegerAttribute> count = make<TIntegerAttribute>();
    AddChild(count.get());
    count->SetValue(7);
    if (Fail) throw ELumetaError("out of children");
    AddChild(make<TStringAttribute>().get());
  }
};

TEST(DeferredChildren, AreMadeOnFirstNeedAndOnlyOnce) {
  ComPtr<TDeferredPair> record = make<TDeferredPair>();
  record->SetFlagEx(afModified, false, true);
  EXPECT_FALSE(record->IsModified());
  EXPECT_FALSE(record->HasMadeChildren()) << "flags cleared before the children exist do not make them";
  EXPECT_EQ(record->Made, 0);
  EXPECT_EQ(TextOf(record->FindChild("Label").get()), "");
  EXPECT_EQ(record->GetChildCount(), 2);
  EXPECT_EQ(record->Made, 1);
  EXPECT_EQ(record->IndexOf(record->ChildAt(1)), 1);
  EXPECT_EQ(record->Made, 1);
}

TEST(DeferredChildren, FlagsSetOrClearedBeforehandReachTheChildren) {
  ComPtr<TDeferredPair> untouched = make<TDeferredPair>();
  EXPECT_TRUE(untouched->GetChild(0)->IsModified()) << "what MakeChildren sets stands";

  ComPtr<TDeferredPair> cleared = make<TDeferredPair>();
  cleared->SetFlagEx(afLoaded | afModified, false, true);  // kept until the children are made
  ComPtr<IAttribute> count = cleared->GetChild(0);
  EXPECT_FALSE(count->IsModified());
  EXPECT_FALSE(count->IsLoaded());
  EXPECT_EQ(IntOf(count.get()), 7);
  EXPECT_FALSE(cleared->IsModified());

  ComPtr<TDeferredPair> merged = make<TDeferredPair>();
  merged->SetMergedView(true, true);
  EXPECT_TRUE(merged->HasMadeChildren());
  EXPECT_TRUE(merged->ChildAt(0)->IsMergedView());
  EXPECT_TRUE(merged->ChildAt(1)->IsMergedView());

  // A child added after the deferred ones comes after them.
  ComPtr<TDeferredPair> grown = make<TDeferredPair>();
  grown->AddChild(make<TIntegerAttribute>().get());
  EXPECT_EQ(grown->GetChildCount(), 3);
  EXPECT_EQ(grown->ChildAt(2)->GetName(), "");
}

TEST(DeferredChildren, FailureLeavesTheRecordEmptyForTheNextAttempt) {
  ComPtr<TDeferredPair> record = make<TDeferredPair>();
  record->Fail = true;
  EXPECT_THROW(record->GetChildCount(), ELumetaError);
  EXPECT_FALSE(record->HasMadeChildren());
  record->Fail = false;
  EXPECT_EQ(record->GetChildCount(), 2);
  EXPECT_EQ(record->Made, 2);
}

TEST(NodeReference, ResolvesItsTextInTheHostMapOnFirstRead) {
  TMap map;
  // Held by a property on node "1" of the map.
  ComPtr<TPairProperty> property = make<TPairProperty>("Link", map.One);
  TPairRecord* holder = property->Record();
  ComPtr<TNodeReferenceAttribute> link = make<TNodeReferenceAttribute>(), other = make<TNodeReferenceAttribute>();
  holder->AddChild(link.get());
  holder->AddChild(other.get());

  link->LoadFromString("1.2.1");
  EXPECT_EQ(link->GetReferenceText(), "1.2.1");
  EXPECT_TRUE(SameObject(link->GetValue().get(), map.Deep.get()));
  other->SetValue(map.Deep.get());
  EXPECT_TRUE(link->EqualTo(other.get()));
  other->SetValue(map.Two.get());
  EXPECT_FALSE(link->EqualTo(other.get()));
  EXPECT_EQ(std::get<std::string>(other->GetAsValue()), "2");

  other->LoadFromString("9");
  EXPECT_FALSE(other->GetValue()) << "an identifier that names no node";
  EXPECT_EQ(other->SaveToString(), "9");

  ComPtr<TNodeReferenceAttribute> copy = make<TNodeReferenceAttribute>();
  copy->Assign(link.get());
  EXPECT_TRUE(SameObject(copy->GetValue().get(), map.Deep.get()));
}

}  // namespace
