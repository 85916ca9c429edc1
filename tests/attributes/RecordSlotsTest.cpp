#include <gtest/gtest.h>

#include "AttributeTestFakes.h"

namespace {

// The pair record again, its values kept in slots.
class TSlotPair : public TRecordAttribute {
 public:
  static constexpr TSlotKind Kinds[] = {TSlotKind::Integer, TSlotKind::String};
  explicit TSlotPair(IUnknown* AController = nullptr) : TRecordAttribute(TPairRecord::Names, Kinds, AController) {}
};

// A record whose second child is no string: it cannot hold the string slot.
class TMisfit : public TRecordAttribute {
 public:
  TMisfit() : TRecordAttribute(TPairRecord::Names, TSlotPair::Kinds) {}

 protected:
  void MakeChildren() override {
    AddSlotChild(make<TIntegerAttribute>());
    AddSlotChild(make<TIntegerAttribute>());
  }
};

ComPtr<TSlotPair> Pair(int32_t ACount, const char* ALabel) {
  ComPtr<TSlotPair> pair = make<TSlotPair>();
  SetInt(pair->GetChild(0).get(), ACount);
  SetText(pair->GetChild(1).get(), ALabel);
  return pair;
}

TEST(RecordSlots, ChildrenAreMadeOnDemandAndReadWhatTheRecordCopied) {
  ComPtr<TSlotPair> source = Pair(7, "seven");
  ComPtr<TSlotPair> copy = make<TSlotPair>();
  copy->Assign(source.get());
  EXPECT_FALSE(copy->HasMadeChildren()) << "a copy between records of one class needs no child objects";
  EXPECT_EQ(copy->GetChildCount(), 2);
  EXPECT_TRUE(copy->EqualTo(source.get()));
  EXPECT_FALSE(copy->HasMadeChildren());

  ComPtr<IAttribute> label = copy->GetChild(1);
  EXPECT_EQ(TextOf(label.get()), "seven");
  EXPECT_EQ(label->GetFlags(), source->GetChild(1)->GetFlags()) << "flags travel with the value";
  EXPECT_EQ(label->GetName(), "Label");
  EXPECT_TRUE(SameObject(label->GetOwner().get(), copy.get()));

  SetText(label.get(), "eight");
  EXPECT_FALSE(copy->EqualTo(source.get())) << "a write through the child lands in the record";
  size_t mine = 0, theirs = 0;
  ASSERT_TRUE(copy->GetValueHash(mine) && source->GetValueHash(theirs));
  EXPECT_NE(mine, theirs);
  SetText(label.get(), "seven");
  ASSERT_TRUE(copy->GetValueHash(mine));
  EXPECT_EQ(mine, theirs) << "equal records hash alike";
}

TEST(RecordSlots, MergeAndFlagsReachTheChildren) {
  ComPtr<TSlotPair> mine = Pair(1, "same"), theirs = Pair(2, "same");
  mine->SetFlagEx(afModified, false, true);
  EXPECT_FALSE(mine->IsModified());
  mine->Merge(theirs.get());
  EXPECT_TRUE(mine->GetChild(0)->IsMixed());
  EXPECT_FALSE(mine->GetChild(1)->IsMixed());

  ComPtr<TSlotPair> fresh = make<TSlotPair>();
  fresh->Merge(theirs.get());  // no children made on either side of the walk
  EXPECT_FALSE(fresh->HasMadeChildren());
  EXPECT_TRUE(fresh->GetChild(0)->IsMixed());
  fresh->GetChild(0)->SetModified(true);
  EXPECT_TRUE(fresh->IsModified());
}

TEST(RecordSlots, AChildKeepsItsValueWhenTheRecordGoes) {
  ComPtr<IAttribute> label;
  {
    ComPtr<TSlotPair> pair = Pair(3, "kept");
    label = pair->GetChild(1);
  }
  EXPECT_EQ(TextOf(label.get()), "kept");
  EXPECT_TRUE(label->IsModified());
  EXPECT_FALSE(label->GetOwner());
  SetText(label.get(), "alone");
  EXPECT_EQ(TextOf(label.get()), "alone");
}

TEST(RecordSlots, AWalkLoadsUnreadSlotsThroughTheDocument) {
  ComPtr<TDocNode> node = make<TDocNode>("1");
  node->Fill = [](IAttribute* AAttribute) { AAttribute->LoadFromString(AAttribute->GetName() == "Count" ? "12" : "twelve"); };
  ComPtr<TFakeProperty<TSlotPair>> property = make<TFakeProperty<TSlotPair>>(node);
  ComPtr<TSlotPair> expected = Pair(12, "twelve");
  EXPECT_TRUE(property->Record()->EqualTo(expected.get()));
  EXPECT_EQ(node->Loads, 2);
  EXPECT_FALSE(property->Record()->GetChild(0)->IsModified()) << "what the document holds is no edit";
}

TEST(RecordSlots, LongListsOfRecordsMergeAsAPlainScanWould) {
  const GUID slotPairIid = MakeGuid("5A1D2C3B-4E5F-4071-8293-A4B5C6D7E8F9");
  const TFactoryScope factory([&](TLumetaAttributeFactory* AFactory) {
    AFactory->RegisterClass(slotPairIid, [] { return ComPtr<IAttribute>(make<TSlotPair>()); });
  });
  // Long enough to be merged through hashes. The other list's item 3 holds the value of item 10:
  // found by its hash, it is not added, while item 3 of this list is found nowhere there.
  ComPtr<TListAttribute> mine = make<TListAttribute>(slotPairIid), theirs = make<TListAttribute>(slotPairIid);
  for (int32_t i = 0; i < 40; ++i) {
    mine->AddChild(static_cast<IAttribute*>(Pair(i, "item").get()));
    theirs->AddChild(static_cast<IAttribute*>(Pair(i == 3 ? 10 : i, "item").get()));
  }
  mine->Merge(theirs.get());
  ASSERT_EQ(mine->GetChildCount(), 40);
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(mine->GetChild(i)->IsMixed(), i == 3) << "item " << i;

  SetText(theirs->GetChild(20).as<IStructuredAttribute>()->GetChild(1).get(), "changed");
  mine->Merge(theirs.get());
  ASSERT_EQ(mine->GetChildCount(), 41) << "a value found nowhere is added";
  EXPECT_TRUE(mine->GetChild(40)->IsMixed());
  EXPECT_TRUE(mine->GetChild(20)->IsMixed());
}

TEST(RecordSlots, OnlyAChildOfTheSlotsKindIsBound) {
  ComPtr<TMisfit> misfit = make<TMisfit>();
  EXPECT_THROW(misfit->GetChild(0), EInvalidOperation);
}

}  // namespace
