#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "attributes/TreeIterator.h"
#include "com/OleDate.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/LumetaMap.h"
#include "host/LumetaMapSettings.h"
#include "tests/support/FakeProperty.h"
#include "tests/support/Timing.h"

namespace {

// A document source that counts how often it is asked and fills strings with a fixed text.
class TCountingSource : public TImplements<TAggregableObject, IDocSource> {
 public:
  void LoadAttribute(IAttribute* AAttribute) override {
    ++Calls;
    if (auto text = QueryAs<IStringAttribute>(AAttribute)) text->SetValue("loaded");
  }
  int Calls = 0;
};

using TBareProperty = TFakeProperty<TRecordAttribute>;

std::vector<std::string> PreOrderIDs(TLumetaMap& AMap) {
  std::vector<std::string> ids;
  AMap.ForEachNode([&](TLumetaNode* ANode) { ids.push_back(ANode->GetID()); });
  return ids;
}

TEST(LumetaMap, IDsGrowAndAreNeverReused) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  TLumetaNode* b = map.AddNode(a, "B");
  EXPECT_EQ(a->GetID(), "1");
  EXPECT_EQ(b->GetID(), "2");
  ComPtr<TLumetaNode> removed = map.DetachNode(b);
  EXPECT_EQ(map.FindNode(2), nullptr);
  EXPECT_EQ(map.AddNode(a, "C")->GetID(), "3") << "a removed node's ID stays taken";
  map.AttachNode(a, removed, 0);
  EXPECT_EQ(map.GetNode(2), b);
  EXPECT_EQ(map.AddNodeWithID(a, 10)->GetID(), "10");
  EXPECT_EQ(map.AddNode(a, "D")->GetID(), "11");
  EXPECT_THROW(map.AddNodeWithID(a, 3), ELumetaError);
  EXPECT_THROW(map.AddNodeWithID(a, 0), ELumetaError);
  EXPECT_THROW(map.GetNode(99), ELumetaError);
}

// A file may number its nodes far apart; then new nodes follow the highest. Each is found by its
// ID however it is indexed, also after leaving the map and coming back, and after the nodes that
// followed made the far ID an ordinary one.
TEST(LumetaMap, FindsEveryNodeByIDHoweverFarApartTheIDsAre) {
  TLumetaMap map;
  TLumetaNode* far = map.AddNodeWithID(map.Root(), 5000);
  TLumetaNode* huge = map.AddNodeWithID(map.Root(), std::numeric_limits<int64_t>::max() - 5000);
  map.SetHighestID(5000);  // as a loader does with what the file remembers; new nodes come after
  std::vector<TLumetaNode*> row;
  for (int i = 0; i < 3000; ++i) row.push_back(map.AddNode(far, "n"));
  EXPECT_EQ(map.NodeCount(), 3002u);
  EXPECT_EQ(map.FindNode(5000), far);
  EXPECT_EQ(map.FindNode(std::numeric_limits<int64_t>::max() - 5000), huge);
  for (TLumetaNode* node : row) ASSERT_EQ(map.FindNode(node->ID()), node) << node->ID();
  EXPECT_EQ(map.FindNode(4999), nullptr);
  EXPECT_EQ(map.FindNode(3), nullptr);
  EXPECT_EQ(map.FindNode(-1), nullptr);
  EXPECT_THROW(map.AddNodeWithID(map.Root(), 5000), ELumetaError);

  ComPtr<TLumetaNode> branch = map.DetachNode(far);
  EXPECT_EQ(map.NodeCount(), 1u);
  EXPECT_EQ(map.FindNode(5000), nullptr);
  EXPECT_EQ(map.FindNode(row[10]->ID()), nullptr);
  map.AttachNode(map.Root(), branch);
  EXPECT_EQ(map.NodeCount(), 3002u);
  EXPECT_EQ(map.FindNode(5000), far);
  for (TLumetaNode* node : row) ASSERT_EQ(map.FindNode(node->ID()), node) << node->ID();

  const int64_t last = row.back()->ID();
  map.Clear();
  EXPECT_EQ(map.NodeCount(), 0u);
  EXPECT_EQ(map.FindNode(5000), nullptr);
  EXPECT_EQ(map.FindNode(last), nullptr);
}

TEST(LumetaMap, WalksAndAnswersTreeQuestions) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  TLumetaNode* a1 = map.AddNode(a, "A1");
  TLumetaNode* a2 = map.AddNode(a, "A2");
  map.AddNode(map.Root(), "B");
  map.AddNode(a1, "A1a", 0);
  EXPECT_EQ(PreOrderIDs(map), (std::vector<std::string>{"1", "2", "5", "3", "4"}));
  EXPECT_TRUE(a->IsSummaryTask());
  EXPECT_FALSE(a2->IsSummaryTask());
  EXPECT_FALSE(map.Root()->IsSummaryTask()) << "the root is never a task";
  EXPECT_FALSE(map.Root()->GetParent());
  EXPECT_TRUE(SameObject(a2->GetRoot().get(), static_cast<INode*>(map.Root())));

  // The tree iterator walks the host's nodes in the same order.
  std::vector<std::string> walked;
  for (auto iterator = make<TTreeIterator>(static_cast<INode*>(map.Root()), 2); !iterator->IsDone(); iterator->Next())
    walked.push_back(iterator->GetCurrent()->GetID());
  EXPECT_EQ(walked, PreOrderIDs(map));
}

TEST(LumetaMap, MovesRefuseCyclesAndKeepIdentity) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  TLumetaNode* b = map.AddNode(a, "B");
  TLumetaNode* c = map.AddNode(map.Root(), "C");
  EXPECT_THROW(map.MoveNode(a, b), ELumetaError);
  EXPECT_EQ(b->Parent(), a) << "a refused move changes nothing";
  map.MoveNode(b, c);
  EXPECT_EQ(b->Parent(), c);
  EXPECT_EQ(map.GetNode(2), b);
  EXPECT_TRUE(b->IsDescendantOf(static_cast<INode*>(c)));
  EXPECT_FALSE(b->IsDescendantOf(static_cast<INode*>(a)));
}

TEST(LumetaMap, RelativeIndexLeadsBackToTheNode) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  TLumetaNode* a1 = map.AddNode(a, "A1");
  TLumetaNode* b = map.AddNode(map.Root(), "B");
  TLumetaNode* b1 = map.AddNode(b, "B1");
  TLumetaNode* b2 = map.AddNode(b, "B2");
  EXPECT_EQ(a1->GetRelativeIndex(static_cast<INode*>(b2)), "../../1/1");
  for (TLumetaNode* from : {a, a1, b2})
    for (TLumetaNode* to : {a, a1, b, b1, b2})
      EXPECT_TRUE(SameObject(from->NodeFromRelativeIndex(from->GetRelativeIndex(static_cast<INode*>(to))).get(),
                             static_cast<INode*>(to)))
          << from->GetID() << " -> " << to->GetID();
  EXPECT_FALSE(a->NodeFromRelativeIndex("../../.."));
  EXPECT_FALSE(a->NodeFromRelativeIndex("5"));
  EXPECT_FALSE(a->NodeFromRelativeIndex("x"));
}

TEST(LumetaMap, PropertiesAreAttachedByNameAndKnowTheirNode) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  auto first = make<TBareProperty>("Action");
  auto second = make<TBareProperty>("Action");
  a->SetProperty(first.get());
  EXPECT_TRUE(SameObject(first->GetHostObject().get(), static_cast<INode*>(a)));
  a->SetProperty(second.get());
  EXPECT_EQ(a->GetPropertyCount(), 1) << "a property of the same name is replaced";
  EXPECT_FALSE(first->GetHostObject());
  EXPECT_TRUE(SameObject(a->FindProperty("Action").get(), second.get()));
  EXPECT_FALSE(a->FindProperty("action"));
  EXPECT_TRUE(a->RemoveProperty("Action"));
  EXPECT_FALSE(a->RemoveProperty("Action"));
  EXPECT_FALSE(second->GetHostObject());
}

// A node's properties are found by name whether their classes are known to the map (looked up by
// rank, in the first slots and beyond them) or not, by either way of asking.
TEST(LumetaMap, PropertiesOfKnownAndUnknownClassesAreFoundByName) {
  TLumetaMap map;
  const std::vector<std::string> known{"Links", "Action", "Lists", "Notes", "Extra"};
  for (const std::string& name : known) map.AddPropertyClass(name);
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  std::vector<ComPtr<TBareProperty>> properties;
  for (const char* name : {"Other", "Extra", "Notes", "Lists", "Action", "Links", "Guest"}) {
    properties.push_back(make<TBareProperty>(name));
    a->SetProperty(properties.back().get());
  }
  for (int round = 0; round < 2; ++round)  // the second finds the ranks remembered
    for (const auto& property : properties) {
      const std::string name = property->GetPropertyName();
      SCOPED_TRACE(name);
      EXPECT_TRUE(SameObject(a->FindProperty(name).get(), property.get()));
      EXPECT_TRUE(SameObject(a->PeekProperty(name, map.PropertyRank(name)), property.get()));
    }
  EXPECT_FALSE(a->FindProperty("Actio"));
  EXPECT_FALSE(a->FindProperty("Lints"));
  EXPECT_FALSE(a->PeekProperty("Absent", map.PropertyRank("Absent")));
  EXPECT_TRUE(a->RemoveProperty("Action"));
  EXPECT_FALSE(a->FindProperty("Action"));
  EXPECT_TRUE(SameObject(a->FindProperty("Links").get(), properties[5].get())) << "the places moved";
}

TEST(LumetaMap, TitlesAndSettingsAreHostAttributes) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "Launch");
  EXPECT_EQ(a->FindAttribute("Title").as<IStringAttribute>()->GetValue(), "Launch");
  map.Settings()->SetTaskScheduling(true);
  auto settings = map.Root()->FindAttribute("MapSettings").as<IMapSettings>();
  EXPECT_TRUE(settings->GetTaskScheduling());
  map.Clear();
  EXPECT_FALSE(map.Settings()->GetTaskScheduling()) << "a cleared map starts with default settings";
  EXPECT_EQ(map.NodeCount(), 0u);
}

TEST(LumetaMap, NodesForwardLazyLoadingToTheMapSource) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  auto source = make<TCountingSource>();
  map.SetDocSource(source);
  auto text = make<TStringAttribute>();
  static_cast<IDocSource*>(a)->LoadAttribute(text.get());
  EXPECT_EQ(source->Calls, 1);
  EXPECT_EQ(text->GetValue(), "loaded");
  ComPtr<TLumetaNode> detached = map.DetachNode(a);
  static_cast<IDocSource*>(a)->LoadAttribute(text.get());
  EXPECT_EQ(source->Calls, 1) << "a node outside the map has no document";
}

TEST(LumetaMap, SwapMovesWholeContentAndKeepsNodesConsistent) {
  TLumetaMap open;
  open.AddNode(open.Root(), "old");
  TLumetaMap loaded;
  TLumetaNode* a = loaded.AddNode(loaded.Root(), "A");
  loaded.AddNodeWithID(a, 7);
  loaded.Settings()->SetTaskScheduling(true);
  open.Swap(loaded);
  EXPECT_EQ(open.GetNode(7)->Parent(), a);
  EXPECT_TRUE(SameObject(open.GetNode(7)->GetRoot().get(), static_cast<INode*>(open.Root())));
  EXPECT_TRUE(open.Settings()->GetTaskScheduling());
  EXPECT_EQ(open.AddNode(a, "next")->GetID(), "8") << "the ID counter comes along";
  EXPECT_EQ(loaded.GetNode(1)->Title(), "old");
  EXPECT_EQ(loaded.GetNode(1)->Map(), &loaded);
}

}  // namespace

TEST(LumetaMap, DeepTreesAreWalkedWithoutRecursion) {
  TLumetaMap map;
  TLumetaNode* node = map.Root();
  for (int i = 0; i < 100000; ++i) node = map.AddNode(node, "");
  size_t count = 0;
  map.ForEachNode([&](TLumetaNode*) { ++count; });
  EXPECT_EQ(count, 100000u);
}

// Walks take each node's next sibling: a wide node must not make that quadratic, nor may a sibling
// inserted or removed meanwhile lead the walk astray.
TEST(LumetaMap, SiblingWalksOfWideNodesAreLinearAndFollowChanges) {
  const auto walk = [](TLumetaNode* AParent) {
    std::vector<INode*> walked;
    for (ComPtr<INode> child = AParent->GetFirstChild(); child; child = child->GetNextSibling()) walked.push_back(child.get());
    return walked;
  };
  const auto children = [](TLumetaNode* AParent) {
    std::vector<INode*> nodes;
    for (const auto& child : AParent->Children()) nodes.push_back(static_cast<INode*>(child.get()));
    return nodes;
  };
  const auto timeOf = [&](TLumetaMap& AMap, int ACount) {
    for (int i = 0; i < ACount; ++i) AMap.AddNode(AMap.Root(), "");
    return FastestOf([&] { EXPECT_EQ(walk(AMap.Root()).size(), size_t(ACount)); });
  };
  TLumetaMap few, many;
  const double small = timeOf(few, 10'000), large = timeOf(many, 100'000);
  EXPECT_LT(large, 30 * std::max(small, 0.002)) << small << " s for 10,000 siblings, " << large << " s for 100,000";

  TLumetaNode* root = many.Root();
  EXPECT_EQ(walk(root), children(root));
  many.AddNode(root, "first", 0);
  many.DetachNode(many.GetNode(50000));
  EXPECT_EQ(walk(root), children(root));
}

TEST(LumetaMap, SchedulerFollowsTheCalendarAndARefusedCalendarChangesNothing) {
  TLumetaMap map;
  TLumetaMapSettings* settings = map.MapSettings();
  ASSERT_NE(settings, nullptr);
  const double monday = EncodeDate(2025, 10, 20);
  settings->SetScheduleStart(monday - 2 + 10.0 / 24);  // Saturday 10:00
  auto scheduler = FindWorkingScheduler(map.Root());
  ASSERT_TRUE(scheduler);
  EXPECT_EQ(FindWorkingSchedule(map.Root())->ScheduleStart(), monday + 8.0 / 24) << "moved to the first working moment";
  EXPECT_EQ(scheduler->FinishForStart(monday + 8.0 / 24, 1), monday + 17.0 / 24);

  TMapCalendar calendar = settings->Calendar();
  calendar.WorkingDays = wdSaturday;
  calendar.WorkingPeriods = {{13 * 60, 12 * 60}};
  EXPECT_THROW(settings->SetCalendar(calendar), EConvertError);
  EXPECT_EQ(settings->WorkingDays(), TLumetaMapSettings::DefaultWorkingDays);

  calendar.WorkingPeriods = {{9 * 60, 12 * 60}};
  settings->SetCalendar(calendar);
  EXPECT_EQ(FindWorkingSchedule(map.Root())->ScheduleStart(), monday - 2 + 10.0 / 24) << "a new calendar, a new scheduler";
}

TEST(LumetaMap, AMapAtTheLastIDRefusesNewNodes) {
  TLumetaMap map;
  map.AddNodeWithID(map.Root(), std::numeric_limits<int64_t>::max());
  EXPECT_THROW(map.AddNode(map.Root(), "one too many"), ELumetaError);
  EXPECT_EQ(map.NodeCount(), 1u);
}
