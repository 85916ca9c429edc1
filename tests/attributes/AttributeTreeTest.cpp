#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <set>
#include <thread>

#include "AttributeTestFakes.h"

namespace {

class AttributeTree : public ::testing::Test {
  TPairFactoryScope FFactory;
};

ComPtr<TListAttribute> TextList(const std::vector<std::string>& AValues, const GUID& AType = uuidof<IStringAttribute>()) {
  ComPtr<TListAttribute> result = make<TListAttribute>(AType);
  for (const std::string& value : AValues) SetText(result->Add().get(), value);
  return result;
}

// The places of the items a merge marked mixed.
std::vector<int> MixedItems(IStructuredAttribute* AList) {
  std::vector<int> mixed;
  for (int32_t i = 0; i < AList->GetChildCount(); ++i)
    if (AList->GetChild(i)->IsMixed()) mixed.push_back(i);
  return mixed;
}

// ---- naming ---------------------------------------------------------------------------------

TEST_F(AttributeTree, ListItemKeepsItsCachedNameUntilReparented) {
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IIntegerAttribute>());
  ComPtr<IAttribute> first = list->Add(), second = list->Add(), third = list->Add();
  EXPECT_EQ(third->GetName(), "3");
  list->Delete(0);
  EXPECT_EQ(third->GetName(), "3") << "an earlier deletion does not rename a cached item";
  EXPECT_EQ(second->GetName(), "1") << "a name is worked out when first asked for";
  EXPECT_FALSE(first->GetOwner());
  third->SetOwner(list.get());
  EXPECT_EQ(third->GetName(), "2");
  EXPECT_EQ(third->GetCaption(), "2");
}

// A list keeps its items' names for them; an item that moves, or a new one made in the place a
// named item left, is named afresh by the list it is in.
TEST_F(AttributeTree, ListItemNamesFollowTheListTheyAreIn) {
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IIntegerAttribute>());
  ComPtr<TListAttribute> other = make<TListAttribute>(uuidof<IIntegerAttribute>());
  ComPtr<IAttribute> first = list->Add(), second = list->Add();
  EXPECT_EQ(second->GetName(), "2");
  list->Delete(1);
  other->AddChild(second.get());
  EXPECT_EQ(second->GetName(), "1");
  EXPECT_EQ(second->GetFullName(), "1");

  list->Add();
  EXPECT_EQ(list->GetChild(1)->GetName(), "2");
  list->Delete(1);  // frees the item: the next one may take its memory
  list->Delete(0);
  list->Add();
  ComPtr<IAttribute> last = list->Add();
  EXPECT_EQ(last->GetName(), "2");
  EXPECT_EQ(list->GetChild(0)->GetName(), "1");

  ComPtr<TPairRecord> record = make<TPairRecord>();
  EXPECT_EQ(record->GetChild(1)->GetName(), "Label") << "a record's child is named by the record's table";
}

TEST_F(AttributeTree, AggregatedRootIsNamedAndFoundThroughItsProperty) {
  ComPtr<TFakeNode> node = make<TFakeNode>("5");
  ComPtr<TPairProperty> property = make<TPairProperty>(node);
  ComPtr<IRecordAttribute> record = property.as<IRecordAttribute>();
  ComPtr<IAttribute> label = record->FindChild("Label");
  ASSERT_TRUE(label);
  EXPECT_EQ(label->GetFullName(), "Action.Label");
  EXPECT_TRUE(SameObject(label->GetProperty().get(), property.get()));
  EXPECT_TRUE(SameObject(label->GetHostObject().get(), node.get()));
  EXPECT_TRUE(SameObject(label->GetOwner().get(), property.get())) << "the owner answers as its property";
  EXPECT_FALSE(record->GetChild(2));
  EXPECT_THROW(record->GetChild(-1), EListError);
}

// ---- flags ----------------------------------------------------------------------------------

TEST_F(AttributeTree, FlagsApplyWithAndWithoutRecursion) {
  ComPtr<TPairRecord> record = make<TPairRecord>();
  ComPtr<IAttribute> count = record->GetChild(0);
  EXPECT_FALSE(record->IsModified());
  SetInt(count.get(), 0);
  EXPECT_TRUE(count->IsModified()) << "writing the same value still counts";
  EXPECT_TRUE(record->IsModified()) << "a structure is modified when a child is";

  record->SetMergedView(true, false);
  EXPECT_TRUE(record->IsMergedView());
  EXPECT_FALSE(count->IsMergedView());
  record->SetFlagEx(afModified, false, true);
  EXPECT_FALSE(count->IsModified());
}

// ---- assign and equality --------------------------------------------------------------------

TEST_F(AttributeTree, AssignCopiesLikeValuesWithTheirFlagsOnly) {
  ComPtr<TIntegerAttribute> source = make<TIntegerAttribute>(), target = make<TIntegerAttribute>();
  source->SetValue(7);
  source->SetMixed(true);
  target->Assign(source.get());
  EXPECT_EQ(target->GetValue(), 7);
  EXPECT_EQ(target->GetFlags(), source->GetFlags());

  ComPtr<TStringAttribute> text = make<TStringAttribute>();
  text->SetValue("x");
  target->Assign(text.get());  // another kind: the source's AssignTo, which does nothing
  EXPECT_EQ(target->GetValue(), 7);
  target->Assign(nullptr);
  EXPECT_TRUE(target->IsCleared());
  EXPECT_EQ(target->GetValue(), 7) << "an empty source keeps the value";

  ComPtr<TListAttribute> list = StringList({"a", "b"});
  list->Assign(nullptr);
  EXPECT_EQ(list->GetChildCount(), 0);
  EXPECT_TRUE(list->IsCleared());
}

TEST_F(AttributeTree, StructuresAssignChildByChildAndMarkThemselvesLoaded) {
  ComPtr<TPairRecord> source = make<TPairRecord>(), copy = make<TPairRecord>();
  SetInt(source->GetChild(0).get(), 3);
  SetText(source->GetChild(1).get(), "three");
  copy->Assign(source.get());
  EXPECT_TRUE(copy->IsLoaded());
  EXPECT_TRUE(copy->EqualTo(source.get()));

  ComPtr<TListAttribute> records = make<TListAttribute>(PairRecordIid);
  records->Add()->Assign(source.get());
  records->Add();
  ComPtr<TListAttribute> listCopy = make<TListAttribute>();  // takes the item type of its source
  listCopy->Assign(records.get());
  EXPECT_EQ(listCopy->GetItemType(), PairRecordIid);
  EXPECT_TRUE(listCopy->EqualTo(records.get()));
  EXPECT_TRUE(listCopy->IsLoaded());
}

TEST_F(AttributeTree, RecordEqualsListWithEqualChildrenOneWayOnly) {
  ComPtr<TRecordAttribute> record = make<TRecordAttribute>();
  for (const char* value : {"a", "b"}) {
    ComPtr<IAttribute> child = record->AddChildOfType(uuidof<IStringAttribute>());
    SetText(child.get(), value);
  }
  ComPtr<TListAttribute> list = StringList({"a", "b"});
  EXPECT_TRUE(record->EqualTo(list.get()));
  EXPECT_FALSE(list->EqualTo(record.get()));
  EXPECT_FALSE(list->EqualTo(StringList({"b", "a"}).get())) << "lists compare in order";
  EXPECT_FALSE(list->EqualTo(StringList({"a"}).get()));
  EXPECT_FALSE(list->Contains(StringList({"x"})->GetChild(0).get()));
  EXPECT_EQ(list->IndexOfValue(StringList({"b"})->GetChild(0).get()), 1);
}

// Records copy, compare and merge their children object to object; inserting and deleting
// children must keep each child paired with the source child of its place.
TEST_F(AttributeTree, RecordsPairChildrenByPlaceAfterInsertsAndDeletes) {
  ComPtr<TPairRecord> source = make<TPairRecord>(), target = make<TPairRecord>();
  SetInt(source->GetChild(0).get(), 4);
  SetText(source->GetChild(1).get(), "four");
  for (TPairRecord* record : {source.get(), target.get()}) {
    record->InsertChild(0, make<TDoubleAttribute>().get());
    record->AddChild(make<TDateTimeAttribute>().get());
    record->Delete(3);
  }
  QueryAs<IDoubleAttribute>(source->GetChild(0).get())->SetValue(0.5);
  target->Assign(source.get());
  EXPECT_EQ(QueryAs<IDoubleAttribute>(target->GetChild(0).get())->GetValue(), 0.5);
  EXPECT_EQ(IntOf(target->GetChild(1).get()), 4);
  EXPECT_EQ(TextOf(target->GetChild(2).get()), "four");
  EXPECT_TRUE(target->EqualTo(source.get()));

  SetText(target->GetChild(2).get(), "FOUR");
  EXPECT_FALSE(target->EqualTo(source.get())) << "case counts";
  target->Merge(source.get());
  EXPECT_FALSE(target->GetChild(1)->IsMixed());
  EXPECT_TRUE(target->GetChild(2)->IsMixed());

  // A child of another class at the same place is never equal, and is not copied into.
  ComPtr<TRecordAttribute> other = make<TRecordAttribute>();
  other->AddChild(make<TIntegerAttribute>().get());
  EXPECT_FALSE(target->EqualTo(other.get()));
  target->Merge(other.get());
  EXPECT_TRUE(target->GetChild(0)->IsMixed());
  target->Assign(other.get());
  EXPECT_EQ(QueryAs<IDoubleAttribute>(target->GetChild(0).get())->GetValue(), 0.5);
}

// Attributes come from per-thread pools; one made on a thread may be released on another.
TEST_F(AttributeTree, AttributesReleasedOnAnotherThreadStayIntact) {
  std::vector<ComPtr<TListAttribute>> lists;
  std::thread([&] {
    for (int i = 0; i < 200; ++i) lists.push_back(StringList({"a", "bb", "a string longer than sixteen"}));
  }).join();
  for (int round = 0; round < 3; ++round) {
    lists.resize(100);
    for (int i = 0; i < 100; ++i) lists.push_back(StringList({"x", std::to_string(i).c_str()}));
    for (size_t i = 0; i < lists.size(); ++i)
      ASSERT_EQ(lists[i]->GetChildCount(), i < 100 ? 3 : 2) << "list " << i << " in round " << round;
    EXPECT_EQ(TextsOf(lists[150].get()), (std::vector<std::string>{"x", "50"}));
    EXPECT_EQ(TextOf(lists[0]->GetChild(2).get()), "a string longer than sixteen");
  }
}

// Doubles and dates have pool blocks of their own size, cut two at a time: blocks freed and taken
// again among other sizes never overlap, and the other sizes stay 16-byte aligned.
TEST_F(AttributeTree, PooledBlocksOfEverySizeKeepTheirValues) {
  std::vector<ComPtr<TDoubleAttribute>> doubles;
  std::vector<ComPtr<TIntegerAttribute>> integers;
  std::vector<ComPtr<TDateTimeAttribute>> dates;
  const auto make3 = [&](int AValue) {
    doubles.push_back(make<TDoubleAttribute>());
    doubles.back()->SetValue(AValue + 0.5);
    integers.push_back(make<TIntegerAttribute>());
    integers.back()->SetValue(AValue);
    dates.push_back(make<TDateTimeAttribute>());
    dates.back()->SetValue(45000.0 + AValue);
  };
  for (int i = 0; i < 301; ++i) make3(i);
  for (size_t i = 0; i < doubles.size(); i += 3) {
    doubles[i] = nullptr;
    dates[i / 2] = nullptr;
  }
  for (int i = 301; i < 400; ++i) make3(i);
  for (size_t i = 0; i < integers.size(); ++i) {
    EXPECT_EQ(integers[i]->GetValue(), int32_t(i));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(integers[i].get()) % 16, 0u);
    if (doubles[i]) {
      EXPECT_EQ(doubles[i]->GetValue(), double(i) + 0.5) << i;
    }
    if (dates[i]) {
      EXPECT_EQ(dates[i]->GetValue(), 45000.0 + double(i)) << i;
    }
  }
}

// ---- merge and apply over a multi-selection -------------------------------------------------

TEST_F(AttributeTree, MergingGivesTheUnionWithTheDifferencesMixed) {
  ComPtr<TStringAttribute> scalar = make<TStringAttribute>();
  scalar->SetValue("A");
  for (const char* other : {"A", "B", "A"}) scalar->Merge(StringList({other})->GetChild(0).get());
  EXPECT_TRUE(scalar->IsMixed()) << "once different, a merged value stays mixed";

  ComPtr<TListAttribute> view = StringList({"x", "y"});
  view->Merge(StringList({"y", "z"}).get());
  EXPECT_EQ(TextsOf(view.get()), (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(MixedItems(view.get()), (std::vector<int>{0, 2}));

  view->Merge(nullptr);
  EXPECT_TRUE(view->GetChild(1)->IsMixed()) << "merged with nothing, every item is mixed";
}

// Past a few items the union is found through a value index; the answers must stay those of a scan.
TEST_F(AttributeTree, MergingLargeRecordListsFindsTheSameUnion) {
  auto build = [](int ACount, int AChangeEvery) {
    ComPtr<TListAttribute> list = make<TListAttribute>(PairRecordIid);
    for (int i = 0; i < ACount; ++i) {
      ComPtr<IStructuredAttribute> record = list->Add().as<IStructuredAttribute>();
      SetInt(record->GetChild(0).get(), i);
      SetText(record->GetChild(1).get(), AChangeEvery && i % AChangeEvery == 0 ? "changed" : "same");
    }
    return list;
  };
  // Long enough that the walks fetch records ahead of themselves.
  ComPtr<TListAttribute> view = build(100, 0);
  view->Merge(build(100, 10).get());
  ASSERT_EQ(view->GetChildCount(), 110);
  std::vector<int> changed;
  for (int i = 0; i < 110; ++i)
    if (i % 10 == 0 || i >= 100) changed.push_back(i);
  EXPECT_EQ(MixedItems(view.get()), changed);

  ComPtr<TListAttribute> copy = make<TListAttribute>(PairRecordIid);
  copy->Assign(view.get());
  EXPECT_TRUE(copy->EqualTo(view.get()));
  SetText(copy->GetChild(99).as<IStructuredAttribute>()->GetChild(1).get(), "late");
  EXPECT_FALSE(copy->EqualTo(view.get()));
}

// Large lists are matched item for item first; whatever does not match at its place must still be
// found anywhere in the other list, and an item the other list holds twice is added once.
TEST_F(AttributeTree, MergingLargeListsFindsItemsAwayFromTheirPlace) {
  auto texts = [](int AFirst, int ALast) {
    std::vector<std::string> values;
    for (int i = AFirst; i <= ALast; ++i) values.push_back("v" + std::to_string(i));
    return values;
  };
  // Shifted by one: no item is at its place, all but the ends are shared.
  std::vector<std::string> other = texts(1, 30);
  other.push_back("new");
  other.push_back("new");
  ComPtr<TListAttribute> view = TextList(texts(0, 29));
  view->Merge(TextList(other).get());
  std::vector<std::string> expected = texts(0, 30);
  expected.push_back("new");
  EXPECT_EQ(TextsOf(view.get()), expected);
  EXPECT_EQ(MixedItems(view.get()), (std::vector<int>{0, 30, 31}));

  // Equal at their places except one, which the other list holds elsewhere.
  std::vector<std::string> swapped = texts(0, 29);
  std::swap(swapped[3], swapped[20]);
  view = TextList(texts(0, 29));
  view->Merge(TextList(swapped).get());
  EXPECT_EQ(view->GetChildCount(), 30);
  EXPECT_EQ(MixedItems(view.get()), std::vector<int>{});
}

// Text whose class gives no hash for values starting with "u": such items are compared with every
// item, in whichever list they are.
class TPartlyHashedText : public TStringAttribute {
 public:
  using TStringAttribute::TStringAttribute;
  bool GetValueHash(size_t& AHash) override {
    return !GetValue().starts_with("u") && TStringAttribute::GetValueHash(AHash);
  }
};
constexpr GUID PartlyHashedTextIid = MakeGuid("6C1E2D7A-4B0F-4E8C-9A35-7D2B1F0C8E41");

TEST(AttributeMerge, ItemsWithoutAHashAreFoundLikeTheOthers) {
  TFactoryScope factory([](TLumetaAttributeFactory* AFactory) {
    AFactory->RegisterClass(PartlyHashedTextIid, [] { return ComPtr<IAttribute>(make<TPartlyHashedText>()); });
  });
  std::vector<std::string> mine, theirs;
  for (const char* prefix : {"h", "u"})
    for (int i = 0; i < 10; ++i) mine.push_back(prefix + std::to_string(i));
  theirs.assign(mine.begin() + 10, mine.end());
  theirs.insert(theirs.end(), mine.begin(), mine.begin() + 10);
  mine.insert(mine.end(), {"hx", "ux"});
  theirs.insert(theirs.end(), {"hy", "uy", "uy"});

  ComPtr<TListAttribute> view = TextList(mine, PartlyHashedTextIid);
  view->Merge(TextList(theirs, PartlyHashedTextIid).get());
  std::vector<std::string> expected = mine;
  expected.insert(expected.end(), {"hy", "uy"});
  EXPECT_EQ(TextsOf(view.get()), expected);
  EXPECT_EQ(MixedItems(view.get()), (std::vector<int>{20, 21, 22, 23}));
}

// A merge keeps each item in one word, a foreign interface marked beside its hash: a long list's
// foreign items are still compared through their interface and found away from their place.
TEST_F(AttributeTree, MergingLargeListsFindsForeignItemsAwayFromTheirPlace) {
  std::vector<ComPtr<TIntegerAttribute>> controllers;
  std::vector<std::unique_ptr<TIntegerAttribute>> inners;
  auto list = [&](const std::vector<int>& AValues, bool AForeign) {
    ComPtr<TListAttribute> result = make<TListAttribute>(uuidof<IIntegerAttribute>());
    for (int value : AValues) {
      if (AForeign && value % 2) {
        controllers.push_back(make<TIntegerAttribute>());
        controllers.back()->SetValue(value);
        inners.emplace_back(new TIntegerAttribute(controllers.back().get()));
        inners.back()->SetValue(value);
        result->InsertChild(result->GetChildCount(), static_cast<IAttribute*>(inners.back().get()));
      } else {
        SetInt(result->Add().get(), value);
      }
    }
    return result;
  };
  std::vector<int> mine(40), theirs;
  for (int i = 0; i < 40; ++i) mine[size_t(i)] = i;
  theirs.assign(mine.rbegin(), mine.rend());
  theirs.push_back(41);
  ComPtr<TListAttribute> view = list(mine, true);
  view->Merge(list(theirs, true).get());
  ASSERT_EQ(view->GetChildCount(), 41);
  EXPECT_EQ(IntOf(view->ChildAt(40)), 41);
  EXPECT_EQ(MixedItems(view.get()), std::vector<int>{40});
}

// Short texts are hashed from a few loads that must cover every byte: texts of every length
// that differ in a single byte are told apart, and equal ones found wherever they are.
TEST_F(AttributeTree, MergingTextsOfEveryLengthComparesWholeTexts) {
  std::vector<std::string> mine, theirs;
  for (size_t length = 0; length <= 40; ++length) {
    std::string text(length, 'a');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>('a' + (i * 7 + length) % 26);
    mine.push_back(text);
    for (size_t at : {size_t(0), length / 2, length ? length - 1 : 0}) {
      if (!length) continue;
      std::string changed = text;
      changed[at] = '#';
      theirs.push_back(changed);
    }
  }
  std::vector<std::string> shuffled = mine;
  std::rotate(shuffled.begin(), shuffled.begin() + 7, shuffled.end());
  theirs.insert(theirs.begin(), shuffled.begin(), shuffled.end());
  ComPtr<TListAttribute> view = TextList(mine);
  view->Merge(TextList(theirs).get());
  std::vector<std::string> expected = mine;
  std::set<std::string> added;
  for (size_t i = shuffled.size(); i < theirs.size(); ++i)
    if (added.insert(theirs[i]).second) expected.push_back(theirs[i]);
  EXPECT_EQ(TextsOf(view.get()), expected);
  std::vector<int> changed(expected.size() - mine.size());
  std::iota(changed.begin(), changed.end(), static_cast<int>(mine.size()));
  EXPECT_EQ(MixedItems(view.get()), changed) << "none of mine, each of the changed texts";
}

// Records whose children are of the standard classes hash those in place; records of another
// class with equal values must still hash alike, so that a search finds them.
class TOwnText : public TStringAttribute {
 public:
  using TStringAttribute::TStringAttribute;
};
class TOwnTextPair : public TRecordAttribute {
 public:
  TOwnTextPair() : TRecordAttribute(TPairRecord::Names) {
    AddChild(make<TIntegerAttribute>().get());
    AddChild(make<TOwnText>().get());
  }
};

TEST_F(AttributeTree, MergingFindsEqualRecordsOfAnotherClassAwayFromTheirPlace) {
  ComPtr<TListAttribute> view = make<TListAttribute>(PairRecordIid), other = make<TListAttribute>(PairRecordIid);
  for (int i = 0; i < 40; ++i) {
    ComPtr<IStructuredAttribute> mine = view->Add().as<IStructuredAttribute>();
    SetInt(mine->GetChild(0).get(), i);
    SetText(mine->GetChild(1).get(), "text " + std::to_string(i));
    ComPtr<TOwnTextPair> theirs = make<TOwnTextPair>();
    SetInt(theirs->GetChild(0).get(), (i + 5) % 40);
    SetText(theirs->GetChild(1).get(), "text " + std::to_string((i + 5) % 40));
    other->AddChild(ComPtr<TAttribute>(std::move(theirs)));
  }
  view->Merge(other.get());
  EXPECT_EQ(view->GetChildCount(), 40);
  EXPECT_EQ(MixedItems(view.get()), std::vector<int>{});
}

// The index hashes numbers by value: 0 and -0 are one value, and near values stay apart.
TEST_F(AttributeTree, MergingLargeNumberListsMatchesByValue) {
  auto numbers = [](const GUID& AType, std::initializer_list<double> AValues) {
    ComPtr<TListAttribute> list = make<TListAttribute>(AType);
    auto add = [&](double AValue) {
      ComPtr<IAttribute> item = list->Add();
      if (auto number = QueryAs<IDoubleAttribute>(item.get()))
        number->SetValue(AValue);
      else
        QueryAs<IDateTimeAttribute>(item.get())->SetValue(AValue);
    };
    for (int i = 0; i < 30; ++i) add(1000 + i);
    for (double value : AValues) add(value);
    return list;
  };
  for (const GUID& type : {uuidof<IDoubleAttribute>(), uuidof<IDateTimeAttribute>()}) {
    ComPtr<TListAttribute> view = numbers(type, {0.0, 45000.5, 1e-300});
    view->Merge(numbers(type, {-0.0, 45000.5 + 1e-9, 1e-300}).get());
    ASSERT_EQ(view->GetChildCount(), 34) << "only the near value is new";
    EXPECT_EQ(MixedItems(view.get()), (std::vector<int>{31, 33})) << "0 and -0 are equal";
  }
}

TEST_F(AttributeTree, RecordAppliesOnlyModifiedUnmixedChildren) {
  ComPtr<TPairRecord> first = make<TPairRecord>(), second = make<TPairRecord>();
  SetInt(first->GetChild(0).get(), 1);
  SetInt(second->GetChild(0).get(), 2);
  for (auto* record : {first.get(), second.get()}) {
    SetText(record->GetChild(1).get(), "same");
    record->SetFlagEx(afModified, false, true);  // as saved
  }
  ComPtr<TPairRecord> view = make<TPairRecord>();
  view->Assign(first.get());
  view->SetMergedView(true, true);
  view->Merge(second.get());
  EXPECT_TRUE(view->GetChild(0)->IsMixed());
  SetText(view->GetChild(1).get(), "edited");

  first->Apply(view.get());
  second->Apply(view.get());
  EXPECT_EQ(IntOf(first->GetChild(0).get()), 1);
  EXPECT_EQ(IntOf(second->GetChild(0).get()), 2) << "a mixed field does not reach the nodes";
  EXPECT_EQ(TextOf(second->GetChild(1).get()), "edited");

  view->Merge(nullptr);
  EXPECT_TRUE(view->GetChild(1)->IsMixed());
  second->Apply(nullptr);
  EXPECT_TRUE(second->GetChild(0)->IsCleared());
  EXPECT_TRUE(second->GetChild(1)->IsCleared());
}

TEST_F(AttributeTree, MergedViewListAppliedBackKeepsRemovedItemsAsCleared) {
  ComPtr<TListAttribute> view = StringList({"x", "y", "z"});
  view->SetMergedView(true, false);
  view->Apply(StringList({"y", "z", "new"}).get());
  EXPECT_EQ(TextsOf(view.get()), (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_TRUE(view->GetChild(0)->IsCleared());
  EXPECT_FALSE(view->GetChild(1)->IsCleared());

  ComPtr<TListAttribute> cleared = StringList({});
  cleared->SetCleared(true);
  view->Apply(cleared.get());
  EXPECT_EQ(view->GetChildCount(), 3) << "a merged view keeps its items, marked cleared";
  EXPECT_TRUE(view->GetChild(2)->IsCleared());
}

TEST_F(AttributeTree, ListAppliesOnlyEditedItems) {
  ComPtr<TListAttribute> node = StringList({"x", "y"});
  ComPtr<TListAttribute> edited = StringList({"y", "z", "mixed", "untouched"});
  edited->GetChild(0)->SetCleared(true);  // removed by the user
  edited->GetChild(2)->SetMixed(true);
  edited->GetChild(3)->SetModified(false);
  node->Apply(edited.get());
  EXPECT_EQ(TextsOf(node.get()), (std::vector<std::string>{"x", "z"}));

  node->Apply(nullptr);
  EXPECT_EQ(node->GetChildCount(), 0);
  EXPECT_TRUE(node->IsCleared());
}

// ---- text forms -----------------------------------------------------------------------------

TEST_F(AttributeTree, TextFormsFallBackToDefaultsOnBadInput) {
  ComPtr<TIntegerAttribute> number = make<TIntegerAttribute>();
  const std::pair<const char*, int32_t> integers[] = {{"abc", -1}, {" 42 ", 42}, {"2147483648", -1}, {"", -1}};
  for (const auto& [text, value] : integers) {
    number->LoadFromString(text);
    EXPECT_EQ(number->GetValue(), value) << text;
  }

  ComPtr<TDoubleAttribute> real = make<TDoubleAttribute>();
  const std::pair<const char*, double> doubles[] = {{"1.5", 1.5}, {"abc", 0}, {"1,5", 0}};
  for (const auto& [text, value] : doubles) {
    real->LoadFromString(text);
    EXPECT_EQ(real->GetValue(), value) << text;
  }
  real->SetValue(1.0 / 3);
  EXPECT_EQ(real->SaveToString(), "0.333333333333333");

  ComPtr<TWordBoolAttribute> flag = make<TWordBoolAttribute>();
  const std::pair<const char*, bool> booleans[] = {{"TRUE", true}, {"abc", false}, {"1", true}, {"-1", true}, {"False", false}};
  for (const auto& [text, value] : booleans) {
    flag->LoadFromString(text);
    EXPECT_EQ(flag->GetValue(), value) << text;
  }
  EXPECT_EQ(flag->SaveToString(), "false");

  ComPtr<TDateTimeAttribute> date = make<TDateTimeAttribute>();
  EXPECT_EQ(date->SaveToString(), "") << "0 is not set";
  date->LoadFromString("2024-03-05T14:30:00");
  date->LoadFromString("");
  EXPECT_EQ(date->SaveToString(), "2024-03-05T14:30:00") << "empty text keeps the value";
  date->LoadFromString("5 March");
  EXPECT_EQ(date->GetValue(), 0);
}

// A date that prints itself otherwise, as a rolled-up field does.
class TShiftedDate : public TDateTimeAttribute {
 public:
  std::string SaveToString() override { return "shifted " + TDateTimeAttribute::SaveToString(); }
};

TEST_F(AttributeTree, SaveToTextReusesTheTextAndKeepsASubclassesForm) {
  ComPtr<TDateTimeAttribute> date = make<TDateTimeAttribute>();
  std::string text(40, 'x');
  date->SaveToText(text);
  EXPECT_EQ(text, "") << "0 is not set";
  date->LoadFromString("2024-03-05T14:30:00.250");
  date->SaveToText(text);
  EXPECT_EQ(text, date->SaveToString());
  EXPECT_EQ(text, "2024-03-05T14:30:00.250");

  ComPtr<TShiftedDate> shifted = make<TShiftedDate>();
  shifted->LoadFromString("2024-03-05T14:30:00");
  shifted->SaveToText(text);
  EXPECT_EQ(text, "shifted 2024-03-05T14:30:00");
  ComPtr<TDoubleAttribute> real = make<TDoubleAttribute>();
  real->SetValue(2.5);
  real->SaveToText(text);
  EXPECT_EQ(text, "2.5") << "the other classes print through SaveToString";
}

// A child that counts its destruction, to show who holds it.
class TCountedChild : public TIntegerAttribute {
 public:
  explicit TCountedChild(int& ADestroyed) : FDestroyed(ADestroyed) {}
  ~TCountedChild() override { ++FDestroyed; }

 private:
  int& FDestroyed;
};

// The object behind an interface is remembered by class; an aggregated object of a remembered
// class still answers as its controller makes it, which for an outer attribute is nothing.
TEST_F(AttributeTree, ObjectOfAnAggregatedAttributeIsNotTakenForItsClasssOthers) {
  ComPtr<TIntegerAttribute> plain = make<TIntegerAttribute>(), outer = make<TIntegerAttribute>();
  EXPECT_EQ(TAttribute::FromInterface(plain.get()), plain.get());
  EXPECT_EQ(TAttribute::FromInterface(plain.get()), plain.get()) << "asked again, from what was remembered";
  std::unique_ptr<TIntegerAttribute> inner(new TIntegerAttribute(outer.get()));
  EXPECT_EQ(TAttribute::FromInterface(inner.get()), nullptr);

  // A property is no attribute: it hands the question to the record it carries.
  ComPtr<TPairProperty> property = make<TPairProperty>(make<TFakeNode>("1"));
  ComPtr<IAttribute> carried = property.as<IAttribute>();
  TAttribute* record = TAttribute::FromInterface(carried.get());
  ASSERT_TRUE(record);
  EXPECT_TRUE(record->AsStructure());
  EXPECT_EQ(TAttribute::FromInterface(make<TPairRecord>().get())->AsStructure()->Count(), 2);
  EXPECT_EQ(TAttribute::FromInterface(carried.get()), record);
}

TEST_F(AttributeTree, ChildHandedOverIsHeldOnlyByItsStructure) {
  int destroyed = 0;
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IIntegerAttribute>());
  list->AddChild(ComPtr<TAttribute>(make<TCountedChild>(destroyed)));
  ComPtr<IAttribute> child = list->GetChild(0);
  ASSERT_TRUE(child);
  EXPECT_TRUE(SameObject(child->GetOwner().get(), list.get()));
  EXPECT_EQ(list->ChildObjectAt(0), TAttribute::FromInterface(child.get()));
  child.reset();
  EXPECT_EQ(destroyed, 0);
  list->Delete(0);
  EXPECT_EQ(destroyed, 1) << "the structure held the only reference";
  EXPECT_THROW(list->AddChild(ComPtr<TAttribute>()), EInvalidOperation);
}

// A child whose object we cannot reach (here an aggregated one, answered for by its controller)
// is kept beside our own children: found at its place, counted, copied through its interface and
// released once.
TEST_F(AttributeTree, StructureKeepsForeignChildrenBesideItsOwn) {
  int destroyed = 0;
  ComPtr<TIntegerAttribute> outer = make<TIntegerAttribute>();
  std::unique_ptr<TIntegerAttribute> inner(new TIntegerAttribute(outer.get()));
  IAttribute* foreign = static_cast<IAttribute*>(inner.get());
  ASSERT_EQ(TAttribute::FromInterface(foreign), nullptr);
  const auto references = [&] {
    outer->AddRef();
    return outer->Release();
  };
  const uint32_t before = references();
  {
    ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IIntegerAttribute>());
    list->AddChild(ComPtr<TAttribute>(make<TCountedChild>(destroyed)));
    list->InsertChild(0, foreign);
    list->AddChild(ComPtr<TAttribute>(make<TCountedChild>(destroyed)));
    EXPECT_EQ(references(), before + 1);
    EXPECT_EQ(list->ChildAt(0), foreign);
    EXPECT_EQ(list->ChildObjectAt(0), nullptr);
    ASSERT_NE(list->ChildObjectAt(2), nullptr);
    EXPECT_EQ(list->ChildAt(2), static_cast<IAttribute*>(list->ChildObjectAt(2)));
    EXPECT_EQ(list->IndexOf(foreign), 0);
    EXPECT_EQ(list->FindChild("1").get(), foreign);

    // Asked for its interface, the aggregated child answers its controller's; compared, its own value.
    outer->SetValue(7);
    inner->SetValue(7);
    SetInt(list->ChildAt(2), 9);
    ComPtr<TListAttribute> copy = make<TListAttribute>(uuidof<IIntegerAttribute>());
    copy->Assign(list.get());
    ASSERT_EQ(copy->GetChildCount(), 3);
    EXPECT_EQ(IntOf(copy->ChildAt(0)), 7);
    EXPECT_EQ(IntOf(copy->ChildAt(2)), 9);
    EXPECT_TRUE(copy->EqualTo(list.get()));
    EXPECT_TRUE(list->EqualTo(copy.get()));

    list->Delete(0);
    EXPECT_EQ(references(), before);
    EXPECT_FALSE(inner->GetOwner()) << "a child that leaves no longer names its structure";
    list->InsertChild(1, foreign);
    EXPECT_EQ(list->IndexOf(foreign), 1);
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 2);
  EXPECT_EQ(references(), before) << "the structure's end releases its foreign child once";
  EXPECT_FALSE(inner->GetOwner());
}

}  // namespace
