#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QXmlStreamReader>
#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <regex>
#include <sstream>

#include "ArchiveTestSupport.h"
#include "GermanLocale.h"
#include "com/OleDate.h"
#include "commands/TreeCommands.h"
#include "host/LumetaModel.h"
#include "host/xml/XmlPrinter.h"
#include "plugin/LumetaProperty.h"
#include "tests/support/FakeProperty.h"
#include "tests/support/PairRecord.h"
#include "tests/support/Thrown.h"
#include "tests/support/Timing.h"

using namespace archive_test;

namespace {

// A map of ACount nodes in random places, with awkward texts, every kind of host data, actions
// with values that have an exact text form, links stored on both ends, node dates, the map's
// priority texts and a calendar of its own. Minutes are left out: they are stored as days.
TMapPtr RandomMap(TPlugInSetup& ASetup, int ACount, unsigned ASeed) {
  std::mt19937 random(ASeed);
  auto pick = [&](int ALimit) { return static_cast<int>(random() % static_cast<unsigned>(ALimit)); };
  const std::vector<std::string> texts = {"",        "plain",    "  padded  ", "<b>bold</b> & \"quoted\" 'x'",
                                          "Ünïcødé ✓", "two\nlines", "tab\there", "]]> and &amp;"};
  auto text = [&] { return texts[pick(texts.size())]; };
  auto date = [&] {
    return pick(4) == 0 ? 0.0 : EncodeDateTime({2020 + pick(10), 1 + pick(12), 1 + pick(28), pick(24), pick(60), 0, 0});
  };

  TMapPtr map(new TLumetaMap);
  std::vector<TLumetaNode*> nodes{map->Root()};
  map->Root()->SetTitle("Root " + text());
  for (int i = 0; i < ACount; ++i) nodes.push_back(map->AddNode(nodes[pick(nodes.size())], text() + std::to_string(i)));
  // A removed node leaves the high-water mark above every remaining ID.
  map->DetachNode(map->AddNode(map->Root(), "removed"));
  for (TLumetaNode* node : nodes) {
    auto& data = node->HostData();
    if (pick(3) == 0) data.Notes = text() + "\nmore";
    if (pick(4) == 0) data.Resources.emplace_back("Ann " + text(), pick(2) ? "ann@example.com" : "");
    if (pick(5) == 0) data.Attachments.push_back({"", "file:///tmp/" + std::to_string(pick(100)) + ".pdf"});
    if (pick(4) == 0) data.Categories = {"Marketing", text()};
    if (pick(6) == 0) data.Connections.push_back(nodes[1 + pick(ACount)]->ID());
    data.Expanded = pick(5) != 0;
    if (node->IsRoot()) continue;
    if (pick(2) == 0) ASetup.Property<INodeDateProperty>(node, "NodeDates")->SetModifiedDate(date());
    if (pick(10) < 3) continue;
    ComPtr<IActionAttribute> action = ASetup.Action(node);
    action->SetComplete(pick(101));
    action->SetStatus(pick(2) ? "In Progress" : "");
    action->SetStartDate(date());
    action->SetDueDate(date());
    action->SetCompletedDate(date());
    action->SetConstraintDate(date());
    action->SetCost(pick(1000000) / 100.0);
    action->SetDuration(pick(400) / 8.0);
    action->SetWork(pick(2) ? 1e-7 * pick(100) : -2.5);
    action->SetQuantity(123456789.012345);
    action->SetDurationMeasure(pick(2));
    action->SetWorkMeasure(pick(2));
    action->SetPriority(text());
    action->SetConstraintType(static_cast<TTaskConstraintType>(pick(8)));
    action->SetIsAction(pick(2) == 0);
    action->SetIsMilestone(pick(2) == 0);
    action->SetPostedToOutlook(pick(2) == 0);
  }
  for (int i = 0; i < ACount / 2; ++i)
    ASetup.Link(nodes[1 + pick(ACount)], nodes[1 + pick(ACount)], static_cast<TTaskLinkType>(pick(4)));
  auto priorities = ASetup.Property<IMapActionListAttribute>(map->Root(), "ActionList");
  for (const char* priority : {"Urgent", "Someday"}) priorities->AddText(priority);

  TLumetaMapSettings* settings = map->MapSettings();
  settings->SetTaskScheduling(pick(2) == 0);
  settings->SetWorkingDays(wdMonday | wdWednesday | wdSaturday);
  settings->SetWorkingPeriods({{7 * 60 + 30, 11 * 60}, {11 * 60, 15 * 60 + 45}, {22 * 60, 24 * 60}});
  settings->SetHolidays({EncodeDate(2025, 12, 25), EncodeDate(2025, 1, 1)});
  return map;
}

class XmlArchiveTest : public ::testing::Test {
 protected:
  TPlugInSetup FSetup;
  TTempFolder FTemp;
  TLumetaXmlArchive& Archive() { return FSetup.Archive; }
  TMapPtr Reload(const TLumetaMap& AMap) { return Own(Archive().LoadFromText(Archive().SaveToText(AMap))); }
};

TEST_F(XmlArchiveTest, GeneratedMapsSurviveSaveAndLoad) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TMapPtr original = RandomMap(FSetup, 200, seed);
    const std::string path = FTemp / "generated.xml";
    Archive().Save(*original, path);
    EXPECT_TRUE(Archive().Warnings().empty());
    TMapPtr loaded = Own(Archive().Load(path));
    EXPECT_TRUE(Archive().Warnings().empty()) << Archive().Warnings().front();
    ExpectSameMaps(*original, *loaded);
    EXPECT_EQ(Archive().SaveToText(*loaded), ReadText(path)) << "saving what was loaded gives the same file";
    EXPECT_EQ(loaded->AddNode(loaded->Root(), "next")->ID(), original->HighestID() + 1) << "IDs are never reused";
  }
}

TEST_F(XmlArchiveTest, LoadedPropertiesAreUnmodifiedBeforeAndAfterTheirValuesAreRead) {
  TMapPtr original = RandomMap(FSetup, 30, 4);
  TMapPtr loaded = Reload(*original);
  int properties = 0;
  auto expectUnmodified = [&](const char* AWhen) {
    loaded->ForEachNode([&](TLumetaNode* ANode) {
      for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i, ++properties) {
        auto attribute = ANode->GetPropertyItem(i).as<IAttribute>();
        EXPECT_FALSE(attribute->IsModified()) << AWhen << ": " << ANode->GetID() << " " << attribute->GetName();
        EXPECT_EQ(ANode->GetPropertyItem(i)->GetHostObject().get(), ComPtr<IUnknown>(static_cast<INode*>(ANode)).get());
      }
    });
  };
  expectUnmodified("after the load");
  EXPECT_GT(properties, 0);
  ExpectSameMaps(*original, *loaded);  // reads every value
  expectUnmodified("after reading");
}

TEST_F(XmlArchiveTest, ValuesAreReadOnFirstUseFromTheDocumentKeptInMemory) {
  TMapPtr original = RandomMap(FSetup, 60, 7);
  const std::string path = FTemp / "lazy.xml";
  Archive().Save(*original, path);
  const std::string written = ReadText(path);
  TMapPtr loaded = Own(Archive().Load(path));
  std::filesystem::remove(path);

  // Nothing read: every property goes out as it came in, without the file.
  EXPECT_EQ(Archive().SaveToText(*loaded), written);
  TLumetaNode* first = loaded->GetNode(1);
  const double cost = FSetup.Action(original->GetNode(1))->GetCost();
  EXPECT_EQ(FSetup.Action(first)->GetCost(), cost) << "a value read after the file is gone";

  // A value set before any read of its record survives the record's first read.
  TLumetaNode* second = loaded->GetNode(2);
  FSetup.Action(second)->SetComplete(77);
  EXPECT_EQ(FSetup.Action(second)->GetCost(), FSetup.Action(original->GetNode(2))->GetCost());
  EXPECT_EQ(FSetup.Action(second)->GetComplete(), 77);

  // A link list never read still drops links to nodes removed since the load.
  TLumetaNode* target = nullptr;
  loaded->ForEachNode([&](TLumetaNode* ANode) {
    if (!target && ANode != first && ANode != second && !ANode->IsRoot() && !ANode->HasChildren() &&
        written.find("Node=\"" + ANode->GetID() + "\"") != std::string::npos)
      target = ANode;
  });
  ASSERT_NE(target, nullptr);
  const int64_t gone = target->ID();
  ComPtr<TLumetaNode> removed = loaded->DetachNode(target);
  TLumetaMap::ReleaseSubtree(removed.get());
  Archive().Save(*loaded, path);
  TMapPtr again = Own(Archive().Load(path));
  EXPECT_EQ(FSetup.Action(again->GetNode(2))->GetComplete(), 77);
  EXPECT_EQ(FSetup.Action(again->GetNode(1))->GetCost(), cost);
  EXPECT_EQ(ReadText(path).find("Node=\"" + std::to_string(gone) + "\""), std::string::npos);
}

// A loaded action's fields go from the file into the record's slots, read as its children would
// read them (converted fields included), without the record making any child object; a copy
// and a comparison with the saved record need none either.
TEST_F(XmlArchiveTest, TypedReadsOfALoadedActionMakeNoChildObjects) {
  TMapPtr original = RandomMap(FSetup, 60, 11);
  const std::string path = FTemp / "slots.xml";
  Archive().Save(*original, path);
  TMapPtr loaded = Own(Archive().Load(path)), again = Own(Archive().Load(path));
  std::filesystem::remove(path);
  int compared = 0;
  original->ForEachNode([&](TLumetaNode* ANode) {
    if (ANode->IsRoot() || ANode->HasChildren()) return;  // leaves: their dates are their own
    ComPtr<IActionAttribute> theirs = FSetup.Action(ANode), mine = FSetup.Action(loaded->GetNode(ANode->ID()));
    EXPECT_EQ(mine->GetCost(), theirs->GetCost());
    EXPECT_EQ(mine->GetDueDate(), theirs->GetDueDate());
    EXPECT_EQ(mine->GetPriority(), theirs->GetPriority());
    EXPECT_EQ(mine->GetWorkMeasure(), theirs->GetWorkMeasure());
    EXPECT_EQ(mine->GetIsMilestone(), theirs->GetIsMilestone());
    EXPECT_EQ(mine->GetConstraintType(), theirs->GetConstraintType());
    EXPECT_EQ(mine->GetComplete(), theirs->GetComplete());
    EXPECT_EQ(mine->GetStatus(), theirs->GetStatus());
    // Doubles of more than 15 digits do not survive the file: a second load is what compares equal.
    EXPECT_TRUE(mine->EqualTo(FSetup.Action(again->GetNode(ANode->ID())).get()));
    EXPECT_FALSE(mine->IsModified()) << "what the file holds is no edit";
    TStructuredAttribute* record = TAttribute::FromInterface(mine.get())->AsStructure();
    EXPECT_FALSE(record->HasMadeChildren()) << "node " << ANode->ID();
    EXPECT_FALSE(TAttribute::FromInterface(FSetup.Action(again->GetNode(ANode->ID())).get())->AsStructure()->HasMadeChildren());
    ++compared;
  });
  EXPECT_GT(compared, 20);
}

// A touched record is saved from its slots: one only read saves without making a child object,
// and one written before it was read saves the file's values for the fields it was not given.
TEST_F(XmlArchiveTest, TouchedRecordsSaveTheirSlotsAsTheFileHadThem) {
  TMapPtr original = RandomMap(FSetup, 60, 12);
  const std::string text = Archive().SaveToText(*original);
  TMapPtr read = Own(Archive().LoadFromText(text)), written = Own(Archive().LoadFromText(text));
  const std::string action = Archive().ManagerFor("Action")->GetDescription();
  std::vector<TLumetaNode*> readNodes;
  original->ForEachNode([&](TLumetaNode* ANode) {
    if (ANode->IsRoot() || ANode->HasChildren() || !ANode->FindProperty(action)) return;
    const double cost = FSetup.Action(read->GetNode(ANode->ID()))->GetCost();
    EXPECT_EQ(cost, FSetup.Action(ANode)->GetCost());
    FSetup.Action(written->GetNode(ANode->ID()))->SetCost(cost);
    readNodes.push_back(read->GetNode(ANode->ID()));
  });
  ASSERT_GT(readNodes.size(), 20u);
  EXPECT_EQ(Archive().SaveToText(*read), text);
  EXPECT_EQ(Archive().SaveToText(*written), text);
  for (TLumetaNode* node : readNodes) {
    ComPtr<IActionAttribute> record = FSetup.Action(node);
    EXPECT_FALSE(TAttribute::FromInterface(record.get())->AsStructure()->HasMadeChildren()) << "node " << node->ID();
  }
}

// A loaded node keeps only the places of its records and lists until someone asks for them; what
// it answers and what it saves must not tell.
TEST_F(XmlArchiveTest, PropertiesMadeOnFirstUseKeepTheirPlacesAndValues) {
  TMapPtr original = RandomMap(FSetup, 80, 12);
  const std::string text = Archive().SaveToText(*original);
  auto made = [](TLumetaMap& AMap) {
    int count = 0;
    AMap.ForEachNode([&](TLumetaNode* ANode) {
      uint32_t entry = 0;
      for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i) count += ANode->PeekProperty(i, entry) != nullptr;
    });
    return count;
  };
  TMapPtr loaded = Own(Archive().LoadFromText(text));
  EXPECT_EQ(made(*loaded), 0) << "a load makes no record or list";
  EXPECT_EQ(Archive().SaveToText(*loaded), text);
  EXPECT_EQ(made(*loaded), 0) << "nor does a save of what nobody asked for";

  // Removing, replacing or adding a property among ones not made yet moves the others.
  TLumetaNode* busy = nullptr;
  loaded->ForEachNode([&](TLumetaNode* ANode) {
    if (!busy && ANode->GetPropertyCount() >= 3) busy = ANode;
  });
  ASSERT_NE(busy, nullptr);
  TLumetaNode* source = original->GetNode(busy->ID());
  const std::string middle = source->GetPropertyItem(1)->GetPropertyName();
  ASSERT_TRUE(busy->RemoveProperty(middle));
  ASSERT_TRUE(source->RemoveProperty(middle));
  ComPtr<IProperty> dates = FSetup.Archive.ManagerFor("NodeDates")->NewProperty();
  busy->SetProperty(dates.get());
  source->SetProperty(FSetup.Archive.ManagerFor("NodeDates")->NewProperty().get());

  // A subtree that leaves the map, and a map swapped for another, still read their values.
  TLumetaNode* leaf = nullptr;
  loaded->ForEachNode([&](TLumetaNode* ANode) {
    if (!leaf && ANode != busy && !ANode->HasChildren() && ANode->GetPropertyCount() > 0) leaf = ANode;
  });
  ASSERT_NE(leaf, nullptr);
  TLumetaNode* parent = leaf->Parent();
  const int place = leaf->IndexInParent();
  ComPtr<TLumetaNode> detached = loaded->DetachNode(leaf);
  TLumetaMap swapped;
  swapped.Swap(*loaded);
  swapped.AttachNode(parent, detached, place);
  ExpectSameMaps(*original, swapped);
  EXPECT_EQ(Archive().SaveToText(swapped), Archive().SaveToText(*original));
}

// A list element without items saves as no element, read or not.
TEST_F(XmlArchiveTest, EmptyLinkListsInTheFileAreNotSaved) {
  TLumetaMap map;
  TLumetaNode* a = map.AddNode(map.Root(), "A");
  TLumetaNode* b = map.AddNode(map.Root(), "B");
  FSetup.Link(a, b, ltFinishToStart);
  std::string text = Archive().SaveToText(map);
  const size_t start = text.find("<TaskLinks>"), end = text.find("</TaskLinks>");
  ASSERT_NE(start, std::string::npos);
  text.replace(start, end + std::string("</TaskLinks>").size() - start, "<TaskLinks />");
  const size_t from = text.find("<SuccessorTaskLinks>"), to = text.find("</SuccessorTaskLinks>");
  ASSERT_NE(from, std::string::npos);
  text.replace(from, to + std::string("</SuccessorTaskLinks>").size() - from, "<SuccessorTaskLinks />");
  for (bool read : {false, true}) {
    TMapPtr loaded = Own(Archive().LoadFromText(text));
    if (read) {
      EXPECT_EQ(FSetup.Links(loaded->GetNode(b->ID()))->GetCount(), 0);
    }
    EXPECT_EQ(Archive().SaveToText(*loaded).find("<TaskLinks"), std::string::npos) << (read ? "read" : "unread");
  }
}

TEST_F(XmlArchiveTest, UnsetDatesAndUndeclaredFieldsAreNotWritten) {
  TLumetaMap map;
  ComPtr<IActionAttribute> action = FSetup.Action(map.AddNode(map.Root(), "Task"));
  action->SetComplete(40);
  action->FindChild("Is Summary").as<IWordBoolAttribute>()->SetValue(true);
  const std::string text = Archive().SaveToText(map);
  for (const char* absent : {"StartDate", "DueDate", "CompletedDate", "ConstraintDate", "Summary"})
    EXPECT_EQ(text.find(absent), std::string::npos) << absent;
  EXPECT_NE(text.find("<Complete>40</Complete>"), std::string::npos);
  EXPECT_NE(text.find("<ConstraintType>qz:AsSoonAsPossible</ConstraintType>"), std::string::npos);
  EXPECT_NE(text.find("<Priority />"), std::string::npos) << "an empty value that may be empty is written";

  action->SetStartDate(EncodeDateTime({2025, 3, 4, 9, 30, 0, 0}));
  EXPECT_NE(Archive().SaveToText(map).find("<StartDate>2025-03-04T09:30:00</StartDate>"), std::string::npos);
}

TEST_F(XmlArchiveTest, MeasuresAndNumbersUseTheirStoredTexts) {
  TGermanLocale german;
  TLumetaMap map;
  ComPtr<IActionAttribute> action = FSetup.Action(map.AddNode(map.Root(), "Task"));
  action->SetDurationMeasure(2);
  action->SetWorkMeasure(0);
  action->SetCost(1234.5);
  const std::string text = Archive().SaveToText(map);
  EXPECT_NE(text.find("<Duration Measure=\"\">0</Duration>"), std::string::npos) << "minutes have no stored text";
  EXPECT_NE(text.find("<Work Measure=\"Hours\">0</Work>"), std::string::npos);
  EXPECT_NE(text.find("<Cost>1234.5</Cost>"), std::string::npos) << (german.Active ? "under a German locale" : "");

  TMapPtr loadedMap = Own(Archive().LoadFromText(text));
  ComPtr<IActionAttribute> loaded = FSetup.Action(loadedMap->GetNode(1));
  EXPECT_EQ(loaded->GetDurationMeasure(), 1) << "an empty measure reads as days";
  EXPECT_EQ(loaded->GetWorkMeasure(), 0);
  EXPECT_EQ(loaded->GetCost(), 1234.5);
}

// A flag in an XML attribute is checked too, a long text is cut in the warning, and a record
// nobody read is saved with its texts as they stood.
TEST_F(XmlArchiveTest, MalformedValuesAreNamedAndKeptUntilRead) {
  const std::string longText(60, 'x');
  const std::string text = "<Map>\n  <Node ID=\"1\">\n    <Action Milestone=\"maybe\">\n      <Cost>" + longText +
                           "</Cost>\n      <Work>1,5</Work>\n    </Action>\n  </Node>\n</Map>\n";
  TMapPtr map = Own(Archive().LoadFromText(text));
  EXPECT_EQ(Archive().Warnings(),
            (std::vector<std::string>{"(text):3:13: 'maybe' in 'Milestone' is neither true nor false; it reads as false",
                                      "(text):4:7: '" + std::string(40, 'x') + "...' in 'Cost' is not a number; it reads as 0",
                                      "(text):5:7: '1,5' in 'Work' is not a number; it reads as 0"}));
  EXPECT_NE(Archive().SaveToText(*map).find("<Work>1,5</Work>"), std::string::npos);
  ComPtr<IActionAttribute> action = FSetup.Action(map->GetNode(1));
  EXPECT_EQ(action->GetWork(), 0);
  EXPECT_FALSE(action->GetIsMilestone());
}

TEST_F(XmlArchiveTest, LenientTextsLoadWithTheirDefaults) {
  const std::string text = R"(<Map>
  <Node ID="1">
    <Action>
      <Complete>abc</Complete>
      <Duration Measure="Weeks">2</Duration>
      <ConstraintType>qz:Whenever</ConstraintType>
      <StartDate>not a date</StartDate>
    </Action>
    <TaskLinks>
      <Link Node="2" Type="qz:startToFinish"/>
      <Link Node="3" Type="qz:StartToFinish"/>
      <Link Node="3"/>
    </TaskLinks>
  </Node>
  <Node ID="2"/>
  <Node ID="3"/>
</Map>)";
  TMapPtr map = Own(Archive().LoadFromText(text));
  // The values that converters do not read say where they are; converters' texts go unmentioned.
  EXPECT_EQ(Archive().Warnings(),
            (std::vector<std::string>{
                "(text):4:7: 'abc' in 'Complete' is not a whole number; it reads as 0",
                "(text):7:7: 'not a date' in 'StartDate' is not a date; it reads as no date",
                "(text):10:7: the link to node 2 is missing from 'SuccessorTaskLinks' of that node; it is added there",
                "(text):11:7: the link to node 3 is missing from 'SuccessorTaskLinks' of that node; it is added there",
                "(text):12:7: the link to node 3 is missing from 'SuccessorTaskLinks' of that node; it is added there"}));
  ComPtr<IActionAttribute> action = FSetup.Action(map->GetNode(1));
  EXPECT_EQ(action->GetComplete(), 0);
  EXPECT_EQ(action->GetDurationMeasure(), 1);
  EXPECT_EQ(action->GetConstraintType(), tcAsLateAsPossible);
  EXPECT_EQ(action->GetStartDate(), 0);
  ComPtr<INodeLinkList2> links = FSetup.Links(map->GetNode(1));
  ASSERT_EQ(links->GetCount(), 3);
  EXPECT_EQ(links->GetLink(0).as<ITaskLink>()->GetLinkType(), ltFinishToStart) << "wrong case keeps the default";
  EXPECT_EQ(links->GetLink(1).as<ITaskLink>()->GetLinkType(), ltStartToFinish);
  EXPECT_EQ(links->GetLink(2).as<ITaskLink>()->GetLinkType(), ltFinishToStart);
  EXPECT_EQ(links->GetLink(1)->GetLinkedNode().get(),
            ComPtr<INode>(static_cast<INode*>(map->GetNode(3))).get()) << "references resolve in the new map";
}

// A manager of "Fake" properties, a record of "Count" and "Label", mapped by the declarations given.
class TMappedProperty : public TImplements<TFakeProperty<TPairRecord>, IXmlMapping> {
 public:
  explicit TMappedProperty(const TXmlDeclarations& ADeclarations) : TImplements("Fake"), FDeclarations(ADeclarations) {}
  const TXmlDeclarations& GetXmlDeclarations() override { return FDeclarations; }

 private:
  const TXmlDeclarations& FDeclarations;
};

class TMappedManager : public TLumetaPropertyManager {
 public:
  explicit TMappedManager(const TXmlDeclarations& ADeclarations) : FDeclarations(ADeclarations) {}
  std::string GetClassDescription() override { return "Fake"; }
  ComPtr<IProperty> CreateProperty() override { return make<TMappedProperty>(FDeclarations); }

 private:
  const TXmlDeclarations& FDeclarations;
};

struct TMalformedCase {
  const char* Name;
  std::string Text;
  int Line, Column;
  const char* Reason;  // a part of the reason
};

TEST_F(XmlArchiveTest, MalformedFilesFailWithTheirPlaceAndLeaveTheMapAlone) {
  const TMalformedCase cases[] = {
      {"empty", "", 1, 1, "No document element"},
      {"truncated", "<Map>\n  <Node ID=\"1\">\n    <Title>A</Ti", 3, 15, "Start-end tags mismatch"},
      {"not XML", "<Map>\n  <Node ID=\"1\" <Title/>\n</Map>", 2, 16, "Error parsing start element tag"},
      {"wrong root", "<?xml version=\"1.0\"?>\n<Mindmap/>", 2, 1, "the root element is 'Mindmap', not 'Map'"},
      {"two roots", "<Map/>\n<Map/>", 2, 1, "a second root element"},
      {"newer version", "<Map Version=\"2\"/>", 1, 6, "format version 2"},
      {"no ID", "<Map>\n  <Node>\n  </Node>\n</Map>", 2, 3, "a node without an ID"},
      {"non-numeric ID", "<Map>\n  <Node ID=\"x1\"/>\n</Map>", 2, 9, "the node ID 'x1' is not a positive whole number"},
      {"zero ID", "<Map><Node ID=\"0\"/></Map>", 1, 12, "the node ID '0'"},
      {"duplicate ID", "<Map>\n  <Node ID=\"4\">\n    <Node ID=\"4\"/>\n  </Node>\n</Map>", 3, 11, "the node ID 4 is used twice"},
      {"missing link target",
       "<Map>\n  <Node ID=\"1\">\n    <TaskLinks>\n      <Link Type=\"qz:FinishToStart\" Node=\"9\"/>\n    </TaskLinks>\n"
       "  </Node>\n</Map>",
       4, 37, "a link to node '9', which does not exist"},
      {"link without node", "<Map>\n  <Node ID=\"1\">\n    <TaskLinks><Link/></TaskLinks>\n  </Node>\n</Map>", 3, 16,
       "'Link' without its Node"},
      {"missing connection target",
       "<Map>\n  <Node ID=\"1\"><Connections><Connection Node=\"1\"/><Connection Node=\"77\"/></Connections></Node>\n</Map>",
       2, 63, "a connection to node '77'"},
      {"two actions", "<Map>\n  <Node ID=\"1\">\n    <Action/>\n    <Action/>\n  </Node>\n</Map>", 4, 5,
       "a second 'Action' element"},
      {"bad expanded", "<Map><Node ID=\"1\" Expanded=\"no\"/></Map>", 1, 19, "Expanded must be true or false"},
      {"bad working day", "<Map>\n  <Settings>\n    <WorkingDays>Monday Funday</WorkingDays>\n  </Settings>\n</Map>", 3,
       5, "'Funday' is not a day of the week"},
      {"no working day", "<Map>\n  <Settings><WorkingDays/></Settings>\n</Map>", 2, 13, "at least one day"},
      {"overlapping periods",
       "<Map><Settings><WorkingPeriods><Period Start=\"08:00\" Finish=\"12:00\"/><Period Start=\"11:00\" "
       "Finish=\"13:00\"/></WorkingPeriods></Settings></Map>",
       1, 16, "without overlapping"},
      {"bad period", "<Map><Settings><WorkingPeriods><Period Start=\"8\" Finish=\"12:00\"/></WorkingPeriods></Settings></Map>",
       1, 32, "Start and Finish as hh:mm"},
      {"bad holiday", "<Map>\n <Settings><Holidays><Holiday>Christmas</Holiday></Holidays></Settings></Map>", 2, 22,
       "the holiday 'Christmas' is not a date"},
      {"multibyte column", "<Map><Title>Größe</Title><Node ID=\"-3\"/></Map>", 1, 32, "the node ID '-3'"},
      {"NUL byte (a torn file)", std::string("<Map>\n  <Title>a\0b</Title>\n</Map>", 33), 2, 11, "a NUL byte"},
  };
  for (const TMalformedCase& test : cases) {
    SCOPED_TRACE(test.Name);
    TMapPtr map = RandomMap(FSetup, 10, 5);
    const std::vector<std::string> before = DescribeMap(*map);
    try {
      map = Own(Archive().LoadFromText(test.Text, "broken.xml"));
      ADD_FAILURE() << "loaded";
    } catch (const EArchiveError& AError) {
      EXPECT_EQ(AError.File(), "broken.xml");
      EXPECT_EQ(AError.Line(), test.Line);
      EXPECT_EQ(AError.Column(), test.Column);
      EXPECT_NE(AError.Reason().find(test.Reason), std::string::npos) << AError.Reason();
      EXPECT_EQ(std::string(AError.what()).rfind("broken.xml:" + std::to_string(test.Line) + ":" +
                                                     std::to_string(test.Column) + ": ", 0),
                0u)
          << AError.what();
    }
    EXPECT_EQ(DescribeMap(*map), before);
  }
}

TEST_F(XmlArchiveTest, ReadingAFileThatIsNotThereNamesIt) {
  const auto loadError = [&](const std::string& APath) { return ThrownText<EArchiveError>([&] { Archive().Load(APath); }); };
  EXPECT_EQ(loadError(FTemp / "missing.xml"), FTemp / "missing.xml" + ": cannot read the file: No such file or directory");
  WriteText(FTemp / "bad.xml", "<Map>\n<Node ID=\"1\"><Node ID=\"1\"/></Node></Map>");
  EXPECT_EQ(loadError(FTemp / "bad.xml"), FTemp / "bad.xml" + ":2:20: the node ID 1 is used twice");
}

TEST_F(XmlArchiveTest, UnknownElementsAreKeptAndReported) {
  const std::string text = R"(<Map Colour="blue">
  <Theme Name="dark"><Font Size="12"/></Theme>
  <Node ID="1">
    <Action Shade="x"><Complete>5</Complete><Bogus>1</Bogus></Action>
    <Sketch>&lt;svg/&gt;</Sketch>
  </Node>
</Map>)";
  std::unique_ptr<TLumetaMap> map = Archive().LoadFromText(text, "extra.xml");
  const std::vector<std::string> expected = {
      "extra.xml:1:6: unknown attribute 'Colour' of 'Map' ignored",
      "extra.xml:2:3: unknown element 'Theme' kept as it is",
      "extra.xml:4:13: unknown attribute 'Shade' of 'Action' ignored",
      "extra.xml:4:45: unknown element 'Bogus' in 'Action' ignored",
      "extra.xml:5:5: unknown element 'Sketch' kept as it is",
  };
  EXPECT_EQ(Archive().Warnings(), expected);
  const std::string saved = Archive().SaveToText(*map);
  EXPECT_NE(saved.find("<Theme Name=\"dark\">"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Font Size=\"12\" />"), std::string::npos);
  EXPECT_NE(saved.find("<Sketch>&lt;svg/&gt;</Sketch>"), std::string::npos);
  EXPECT_EQ(saved.find("Bogus"), std::string::npos);
  Archive().LoadFromText(saved);
  EXPECT_EQ(Archive().Warnings().size(), 2u) << "the kept elements are still unknown, nothing else";
}

TEST_F(XmlArchiveTest, LinksToRemovedNodesAreDroppedOnSave) {
  TMapPtr map(new TLumetaMap);
  TLumetaNode* a = map->AddNode(map->Root(), "A");
  TLumetaNode* b = map->AddNode(map->Root(), "B");
  FSetup.Link(a, b, ltStartToStart);
  a->HostData().Connections.push_back(b->ID());
  ComPtr<TLumetaNode> removed = map->DetachNode(b);
  const std::string text = Archive().SaveToText(*map);
  TLumetaMap::ReleaseSubtree(removed.get());
  EXPECT_EQ(Archive().Warnings().size(), 2u);
  TMapPtr loaded = Own(Archive().LoadFromText(text));
  EXPECT_EQ(FSetup.Links(loaded->GetNode(1), "SuccessorTaskLinks")->GetCount(), 0);
  EXPECT_TRUE(loaded->GetNode(1)->HostData().Connections.empty());
}

// Saves replace the file as a whole, through a symbolic link too, or leave it as it was.
TEST_F(XmlArchiveTest, ASaveThatFailsKeepsTheOldFileAndNamesThePath) {
  const std::string path = FTemp / "map.xml";
  TLumetaMap small;
  small.AddNode(small.Root(), "only");
  Archive().Save(small, path);
  chmod(path.c_str(), 0640);
  const std::string before = ReadText(path);

  TMapPtr big = RandomMap(FSetup, 300, 6);
  {
    TFileSizeLimit limit(before.size() + 100);
    EXPECT_THROW(Archive().Save(*big, path), ELumetaError);
  }
  EXPECT_EQ(ReadText(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(FTemp.Path()), {}), 1) << "no temporary file left";
  std::filesystem::create_symlink(path, FTemp / "link.xml");
  Archive().Save(*big, FTemp / "link.xml");
  EXPECT_TRUE(std::filesystem::is_symlink(FTemp / "link.xml"));
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u) << "a replaced file keeps its permissions";
  ExpectSameMaps(*big, *Own(Archive().Load(path)));

  EXPECT_EQ(ThrownText<ELumetaError>([&] { Archive().Save(small, path + "/map.xml"); }),
            path + "/map.xml: cannot save: Not a directory");
}

TEST_F(XmlArchiveTest, TextAroundCommentsAndCdataIsKeptWhole) {
  const std::string text = R"(<Map>
  <Title>one<!-- a note -->two<![CDATA[ <3 & ]]>three</Title>
  <Node ID="1">
    <Title>x</Title>
    <Categories><Category>A<!--x-->B</Category></Categories>
    <Action><Priority>Hi<!-- -->gh</Priority></Action>
  </Node>
  <![CDATA[stray]]>
</Map>)";
  TMapPtr map = Own(Archive().LoadFromText(text, "mixed.xml"));
  EXPECT_EQ(map->Root()->Title(), "onetwo <3 & three");
  EXPECT_EQ(map->GetNode(1)->HostData().Categories, std::vector<std::string>{"AB"});
  EXPECT_EQ(FSetup.Action(map->GetNode(1))->GetPriority(), "High");
  EXPECT_EQ(Archive().Warnings(), std::vector<std::string>{"mixed.xml:8:12: text inside 'Map' ignored"});
}

// Text from edits or from lenient files that XML 1.0 cannot hold is repaired on save, so that any
// parser reads the file; Qt's reader is strict about it.
TEST_F(XmlArchiveTest, TextThatXmlCannotHoldIsRepairedWithAWarning) {
  TLumetaMap map;
  TLumetaNode* node = map.AddNode(map.Root(), std::string("bell\a, cut \xE2\x82 and \xFF", 19));
  node->HostData().Resources.emplace_back("tab\tand\x01", "");
  FSetup.Action(node)->SetPriority("fine ✓");
  const std::string text = Archive().SaveToText(map);
  EXPECT_NE(text.find("<Title>bell, cut \xEF\xBF\xBD\xEF\xBF\xBD and \xEF\xBF\xBD</Title>"), std::string::npos) << text;
  EXPECT_NE(text.find("Name=\"tab&#09;and\""), std::string::npos);
  EXPECT_EQ(Archive().Warnings().size(), 2u);
  EXPECT_EQ(Archive().Warnings().front().rfind("node 1: 'Title' held text that XML cannot hold", 0), 0u);

  // A control character read through a lenient reference, kept in an unknown element.
  TMapPtr loaded = Own(Archive().LoadFromText("<Map><Extra A=\"&#1;\">x&#27;y</Extra></Map>"));
  const std::string again = Archive().SaveToText(*loaded);
  EXPECT_NE(again.find("<Extra A=\"\">xy</Extra>"), std::string::npos) << again;
  for (const std::string& saved : {text, again}) {
    QXmlStreamReader reader(QByteArray::fromStdString(saved));
    while (!reader.atEnd()) reader.readNext();
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString() << "\n" << saved;
  }
}

// The printer writes what pugixml writes, except that indentation stops at 64 levels so that a
// deep map grows with its depth, not its square.
TEST_F(XmlArchiveTest, OutputIsPugixmlsLayoutWithIndentationCappedAt64Levels) {
  const std::string text = Archive().SaveToText(*RandomMap(FSetup, 150, 8));
  pugi::xml_document document;
  ASSERT_TRUE(document.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single));
  document.first_child().next_sibling().append_child("Mixed").append_child(pugi::node_cdata).set_value("a]]>b");
  std::ostringstream pugixml;
  document.save(pugixml, "  ", pugi::format_indent | pugi::format_no_declaration, pugi::encoding_utf8);
  std::string printed;
  xml_archive::TXmlPrinter(printed, nullptr, nullptr).Print(document);
  EXPECT_EQ(printed, pugixml.str());

  TLumetaMap deep;
  TLumetaNode* node = deep.Root();
  for (int level = 0; level < 2000; ++level) node = deep.AddNode(node, "level " + std::to_string(level));
  const std::string deepText = Archive().SaveToText(deep);
  EXPECT_LT(deepText.size(), 2000u * 600) << "linear in the depth";
  EXPECT_NE(deepText.find("\n" + std::string(128, ' ') + "<Node ID=\"2000\">"), std::string::npos);
  EXPECT_EQ(deepText.find(std::string(129, ' ')), std::string::npos);
  TMapPtr reloaded = Own(Archive().LoadFromText(deepText));
  ExpectSameMaps(deep, *reloaded);
  EXPECT_EQ(Archive().SaveToText(*reloaded), deepText);
}

// The printer looks at text sixteen bytes at a time from aligned addresses: a special character
// must be caught wherever it falls in such a block, and nothing before a text or past its end
// may come out, though those bytes are read.
TEST(XmlPrinterTest, EscapesEverySpecialCharacterWhereverItFalls) {
  const auto escaped = [](std::string_view AText, bool AAttribute) {
    std::string out;
    for (const char c : AText) {
      if (c == '&') out += "&amp;";
      else if (c == '<') out += "&lt;";
      else if (c == '>' && !AAttribute) out += "&gt;";
      else if (c == '"' && AAttribute) out += "&quot;";
      else if (c == '\t' && AAttribute) out += "&#09;";
      else if (c == '\n' && AAttribute) out += "&#10;";
      else if (c != '\x01') out += c;  // a control character XML cannot hold is left out
    }
    return out;
  };
  alignas(16) char buffer[80];
  for (const std::string special : {"&", "<", ">", "\"", "\t", "\n", "\x01", "\xC3\xA9"}) {
    for (size_t offset = 0; offset < 16; ++offset) {
      for (size_t length = special.size(); length <= 40; ++length) {
        std::string printed, expected;
        xml_archive::TXmlPrinter printer(printed, nullptr, nullptr);
        for (size_t at = 0; at + special.size() <= length; ++at) {
          std::fill(std::begin(buffer), std::end(buffer), '<');
          std::string text(length, 'a');
          text.replace(at, special.size(), special);
          std::memcpy(buffer + offset, text.c_str(), text.size() + 1);
          const char* placed = buffer + offset;
          printer.Open("e");
          printer.Attribute("a", placed);
          printer.Text(placed);
          printer.Close();
          printer.Leaf("l", placed);
          expected += "<e a=\"" + escaped(text, true) + "\">" + escaped(text, false) + "</e>\n<l>" +
                      escaped(text, false) + "</l>\n";
        }
        printer.Finish();
        ASSERT_EQ(printed, expected) << "offset " << offset << ", length " << length;
      }
    }
  }
}

// Element names are measured once per address. Names lying at a table's regular stride must not
// be taken for one another, also when there are more than the printer keeps.
TEST(XmlPrinterTest, NamesAtRegularStridesComeOutAsTheyAre) {
  std::vector<std::array<char, 144>> names(300);
  std::string expected;
  for (size_t i = 0; i < names.size(); ++i) {
    std::snprintf(names[i].data(), names[i].size(), "n%zu", i);
    expected += "<n" + std::to_string(i) + ">x</n" + std::to_string(i) + ">\n";
  }
  std::string printed;
  xml_archive::TXmlPrinter printer(printed, nullptr, nullptr);
  for (int round = 0; round < 2; ++round)
    for (const auto& name : names) printer.Leaf(name.data(), "x");
  printer.Finish();
  EXPECT_EQ(printed, expected + expected);
}

std::string ReferencePath(const char* AName) { return std::string(LUMETA_SOURCE_DIR) + "/tests/archive/" + AName; }

// A node's creation time is the clock's when the test runs.
std::string WithoutCreatedDates(const std::string& AText) {
  static const std::regex created("<CreatedDate>[^<]*</CreatedDate>");
  return std::regex_replace(AText, created, "<CreatedDate />");
}

// A save writes the very bytes of the reference file: every kind of host data, awkward texts and
// text that needs repair; read back with only some values read, the properties nobody read are
// copied from the document and the others written again, to the same bytes.
TEST_F(XmlArchiveTest, SavedTextIsTheReferenceTextByteForByte) {
  TMapPtr map = RandomMap(FSetup, 120, 20261206);
  map->GetNode(7)->SetTitle(std::string("bell\a, bad \xFF byte"));
  map->GetNode(9)->HostData().Notes = "note <&> with \x01 control";
  const std::string saved = Archive().SaveToText(*map);
  EXPECT_EQ(Archive().Warnings().size(), 2u);
  EXPECT_EQ(WithoutCreatedDates(saved), WithoutCreatedDates(ReadText(ReferencePath("SavedMap.xml"))));

  std::string withUnknown = saved;
  withUnknown.insert(withUnknown.find("<Title>", withUnknown.find("<Node ID=\"5\"")),
                     "<Extra A=\"1\"><Inner>x&#27;y</Inner></Extra>\n");
  TMapPtr loaded = Own(Archive().LoadFromText(withUnknown));
  EXPECT_EQ(Archive().Warnings().size(), 2u) << "the unknown element, and the control character it held, left out";
  int index = 0;
  loaded->ForEachNode([&](TLumetaNode* ANode) {
    if (index++ % 3 != 0) return;
    for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i)
      if (auto structure = ANode->GetPropertyItem(i).try_as<IStructuredAttribute>())
        for (int32_t child = 0; child < structure->GetChildCount(); ++child) structure->GetChild(child)->SaveToString();
  });
  const std::string again = Archive().SaveToText(*loaded);
  EXPECT_TRUE(Archive().Warnings().empty()) << Archive().Warnings().front();
  EXPECT_EQ(WithoutCreatedDates(again), WithoutCreatedDates(ReadText(ReferencePath("SavedMapRead.xml"))));
  const std::string path = FTemp / "saved.xml";
  Archive().Save(*loaded, path);
  EXPECT_EQ(ReadText(path), again);
}

// Undo keeps what was read lazily: an edit and a removal of properties whose values nobody has
// read, both undone, give back the file as it was read, and so do their redos undone again.
TEST_F(XmlArchiveTest, UndoneEditsAndRemovalsOfUnreadPropertiesSaveTheFileAsRead) {
  const std::string text = Archive().SaveToText(*RandomMap(FSetup, 60, 11));
  ComPtr<TLumetaModel> model = make<TLumetaModel>();
  for (const char* element : {"Action", "TaskLinks", "SuccessorTaskLinks", "NodeDates", "ActionList"})
    model->RegisterManager(Archive().ManagerFor(element));
  model->Map().Swap(*Own(Archive().LoadFromText(text)));
  const std::string action = Archive().ManagerFor("Action")->GetDescription();
  const std::string links = Archive().ManagerFor("TaskLinks")->GetDescription();
  std::vector<std::string> linked;
  model->Map().ForEachNode([&](TLumetaNode* ANode) {
    if (ANode->FindProperty(action) && ANode->FindProperty(links)) linked.push_back(ANode->GetID());
  });
  ASSERT_GE(linked.size(), 2u);
  ComPtr<ISelection> first = SelectionFromNodeIDs(model.get(), {linked[0], linked[1]});
  ComPtr<ISelection> second = SelectionFromNodeIDs(model.get(), {linked[1]});

  ComPtr<IProperty> edit = model->NewProperty(action);
  edit.as<IActionAttribute>()->SetStatus("edited");
  ICommandProcessor* processor = model->GetCommandProcessor().get();
  processor->Execute(model->PreparePropertyCommand(edit.get(), first.get(), -1).get(), first.get());
  processor->Execute(model->PrepareRemovePropertiesCommand({action, links}, second.get(), -1).get(), second.get());
  EXPECT_FALSE(model->Map().GetNode(std::stoll(linked[1]))->FindProperty(action));
  EXPECT_EQ(model->Map().GetNode(std::stoll(linked[0]))->FindProperty(action).as<IActionAttribute>()->GetStatus(),
            "edited");
  processor->UndoLast();
  processor->UndoLast();
  EXPECT_EQ(Archive().SaveToText(model->Map()), text);

  processor->Redo();
  processor->Redo();
  processor->UndoLast();
  processor->UndoLast();
  EXPECT_EQ(Archive().SaveToText(model->Map()), text);
  model->Close();
}

// What the program lets a user build it saves and opens again, however deep.
TEST_F(XmlArchiveTest, AHundredThousandLevelsSaveAndLoad) {
  TLumetaMap deep;
  TLumetaNode* node = deep.Root();
  for (int level = 0; level < 100000; ++level) node = deep.AddNode(node, "");
  TMapPtr reloaded = Own(Archive().LoadFromText(Archive().SaveToText(deep)));
  EXPECT_EQ(reloaded->NodeCount(), 100000u);
  EXPECT_EQ(reloaded->GetNode(100000)->GetParent()->GetID(), "99999");
}

TEST_F(XmlArchiveTest, ManyWarningsLoadInLinearTime) {
  const auto noisy = [](int ACount) {
    std::string text = "<Map><Node ID=\"1\">";  // one line: every column counts from its start
    for (int i = 0; i < ACount; ++i) text += "<Unknown Odd=\"1\"/>";
    return text + "</Node></Map>";
  };
  const auto timeOf = [&](const std::string& AText) {
    return FastestOf([&] { Own(Archive().LoadFromText(AText, "noisy.xml")); });
  };
  const std::string text = noisy(40000);
  const double small = timeOf(noisy(4000)), large = timeOf(text);
  EXPECT_LT(large, 30 * std::max(small, 0.005)) << small << " s for 4,000 warnings, " << large << " s for 40,000";
  TMapPtr map = Own(Archive().LoadFromText(text, "noisy.xml"));
  ASSERT_EQ(Archive().Warnings().size(), 40000u);
  EXPECT_EQ(Archive().Warnings().back(),
            "noisy.xml:1:" + std::to_string(text.size() - 30) + ": unknown element 'Unknown' kept as it is");
  const std::string saved = Archive().SaveToText(*map);
  EXPECT_EQ(Occurrences(saved, "<Unknown Odd"), 40000u) << "every unknown element is written back";
}

TEST_F(XmlArchiveTest, RegistrationRefusesNamesThatAreTaken) {
  EXPECT_EQ(Archive().ManagerFor("Action")->GetDescription(), "Action");
  EXPECT_EQ(Archive().ManagerFor("ActionList")->GetDescription(), "Action List");
  EXPECT_EQ(Archive().ManagerFor("Title"), nullptr);
  EXPECT_THROW(Archive().RegisterManager(Archive().ManagerFor("Action")), ELumetaError);

  static const TXmlDeclarations hostName = [] {
    TXmlDeclarations d;
    d.push_back(std::make_unique<XmlElement>("Notes", "Notes", true));
    return d;
  }();
  static const TXmlDeclarations strayOwner = [] {
    TXmlDeclarations d;
    d.push_back(std::make_unique<XmlElement>("Other", "Other", true));
    d.push_back(std::make_unique<XmlAttribute>("Count", "Unit", "Nowhere", true));
    return d;
  }();
  static const TXmlDeclarations missingAttribute = [] {
    TXmlDeclarations d;
    d.push_back(std::make_unique<XmlElement>("Other", "Other", true));
    d.push_back(std::make_unique<XmlElement>("Nonexistent", "Nonexistent", true));
    return d;
  }();
  for (const TXmlDeclarations* declarations : {&hostName, &strayOwner, &missingAttribute}) {
    auto manager = make<TMappedManager>(*declarations);
    EXPECT_THROW(Archive().RegisterManager(manager.get()), ELumetaError);
  }

  // A node holds one property of a name, so one element stands for it.
  auto underElement = [](const char* AElement) {
    TXmlDeclarations d;
    d.push_back(std::make_unique<XmlElement>("Fake", AElement, true));
    d.push_back(std::make_unique<XmlElement>("Count", "Count", true));
    return d;
  };
  static const TXmlDeclarations first = underElement("First"), second = underElement("Second");
  Archive().RegisterManager(make<TMappedManager>(first).get());
  EXPECT_EQ(ThrownText<ELumetaError>([&] { Archive().RegisterManager(make<TMappedManager>(second).get()); }),
            "The property 'Fake' is registered already, under the element 'First'");
}

}  // namespace
