// Files written by hand or by other programs: whatever the reader cannot take as it stands is
// kept, repaired or refused, and in each case named with its place; nothing goes without a word.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "ArchiveTestSupport.h"
#include "com/OleDate.h"
#include "tests/support/Thrown.h"

using namespace archive_test;

namespace {

class HostileMapTest : public ::testing::Test {
 protected:
  // Loads the text and answers the warnings; the map stays in FMap.
  std::vector<std::string> Load(const std::string& AText) {
    FMap = FSetup.Archive.LoadFromText(AText, "map.xml");
    return FSetup.Archive.Warnings();
  }
  // Why the text does not load.
  std::string LoadError(const std::string& AText) { return ThrownText<EArchiveError>([&] { Load(AText); }); }
  ComPtr<IActionAttribute> Action(int64_t AID) { return FSetup.Action(FMap->GetNode(AID)); }
  std::string Saved() { return FSetup.Archive.SaveToText(*FMap); }

  TPlugInSetup FSetup;
  TMapPtr FMap;
};

// Markup pasted into a title, a NUL through a reference, content in items made of attributes.
TEST_F(HostileMapTest, TextIsKeptOrItsLossNamed) {
  const std::string text =
      "<Map>\n"
      "  <Title>before&#0;after&#x1B;[31m</Title>\n"
      "  <Node ID=\"1\">\n"
      "    <Title>a<b>bold</b>c</Title>\n"
      "    <Notes>x<p>y<i>z</i></p>!</Notes>\n"
      "    <Categories><Category>A<em>B</em></Category></Categories>\n"
      "    <Resources><Resource Name=\"Ann\" Phone=\"12\">text</Resource></Resources>\n"
      "    <TaskLinks><Link Node=\"2\" Type=\"qz:StartToStart\">why</Link></TaskLinks>\n"
      "  </Node>\n"
      "  <Node ID=\"2\"><SuccessorTaskLinks><Link Node=\"1\" Type=\"qz:StartToStart\"/></SuccessorTaskLinks></Node>\n"
      "</Map>\n";
  EXPECT_EQ(Load(text), (std::vector<std::string>{
                            "map.xml:2:16: '&#0;' names a control character, which a map file cannot hold; it is left out",
                            "map.xml:2:25: '&#x1B;' names a control character, which a map file cannot hold; it is left out",
                            "map.xml:4:13: elements inside 'Title' are not kept; their text is",
                            "map.xml:5:13: elements inside 'Notes' are not kept; their text is",
                            "map.xml:6:28: elements inside 'Category' are not kept; their text is",
                            "map.xml:7:37: unknown attribute 'Phone' of 'Resource' ignored",
                            "map.xml:7:48: the content of 'Resource' is not kept",
                            "map.xml:8:54: the content of 'Link' is not kept",
                        }));
  EXPECT_EQ(FMap->Root()->Title(), "beforeafter[31m");
  EXPECT_EQ(FMap->GetNode(1)->Title(), "aboldc");
  EXPECT_EQ(FMap->GetNode(1)->HostData().Notes, "xyz!");
  EXPECT_EQ(FMap->GetNode(1)->HostData().Categories, std::vector<std::string>{"AB"});
  const std::string saved = Saved();
  EXPECT_TRUE(FSetup.Archive.Warnings().empty()) << FSetup.Archive.Warnings().front();
  EXPECT_NE(saved.find("<Title>aboldc</Title>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Link Node=\"2\" Type=\"qz:StartToStart\" />"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("why"), std::string::npos);
}

// Text that comes first in an element, before any child, is read, reported and saved where it
// stands, as text after a child is: in a node, a list, an item, a record's field and an element the
// map does not know. A repaired number replaces the field's whole text.
TEST_F(HostileMapTest, TextBeforeAnElementsChildrenIsReadLikeTextAfterThem) {
  const std::string text =
      "<Map>\n"
      "  <Node ID=\"1\">stray<Title>First</Title>\n"
      "    <Action><Complete>150</Complete><Duration Measure=\"Days\">2<x/></Duration>"
      "<Priority>Hi<![CDATA[gh]]></Priority></Action>\n"
      "    <Unknown>text<i>x</i>tail</Unknown>\n"
      "    <SuccessorTaskLinks>junk<Link Node=\"2\" Type=\"qz:FinishToStart\">why</Link></SuccessorTaskLinks>\n"
      "    <Categories>loose<Category>A</Category></Categories>\n"
      "  </Node>\n"
      "  <Node ID=\"2\"><TaskLinks><Link Node=\"1\" Type=\"qz:FinishToStart\"/></TaskLinks></Node>\n"
      "</Map>\n";
  EXPECT_EQ(Load(text), (std::vector<std::string>{
                            "map.xml:2:16: text inside 'Node' ignored",
                            "map.xml:3:13: '150' in 'Complete' is above 100; it reads as 100",
                            "map.xml:3:37: elements inside 'Duration' ignored",
                            "map.xml:4:5: unknown element 'Unknown' kept as it is",
                            "map.xml:5:68: the content of 'Link' is not kept",
                            "map.xml:6:17: text inside 'Categories' ignored",
                        }));
  EXPECT_EQ(Action(1)->GetComplete(), 100);
  EXPECT_EQ(Action(1)->GetPriority(), "High");
  EXPECT_EQ(FMap->GetNode(1)->HostData().Categories, std::vector<std::string>{"A"});
  const std::string saved = Saved();
  EXPECT_NE(saved.find("<Complete>100</Complete>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Duration Measure=\"Days\">2</Duration>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<Unknown>text<i>x</i>tail</Unknown>"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("stray"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("junk"), std::string::npos) << saved;
}

// A declared ISO-8859-1 (or windows-1252) file is converted; other encodings are refused.
TEST_F(HostileMapTest, LatinFilesAreConvertedAndOtherEncodingsRefused) {
  EXPECT_EQ(Load("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Map><Title>caf\xE9</Title></Map>"),
            std::vector<std::string>{"map.xml:1:31: the file is in ISO-8859-1; it is read as such and saved as UTF-8"});
  EXPECT_EQ(FMap->Root()->Title(), "caf\xC3\xA9");
  EXPECT_NE(Saved().find("<Title>caf\xC3\xA9</Title>"), std::string::npos);
  Load("<?xml version='1.0' encoding='windows-1252'?><Map><Title>\x80 \x93quoted\x94</Title></Map>");
  EXPECT_EQ(FMap->Root()->Title(), "\xE2\x82\xAC \xE2\x80\x9Cquoted\xE2\x80\x9D");
  // Places are counted in characters of the file as written.
  EXPECT_EQ(LoadError("<?xml version=\"1.0\" encoding=\"latin1\"?>\n<Map><Title>\xE9\xE9</Title><Node ID=\"x\"/></Map>"),
            "map.xml:2:29: the node ID 'x' is not a positive whole number");
  for (const auto& [file, message] : std::vector<std::pair<std::string, std::string>>{
           {"<?xml version=\"1.0\" encoding=\"EBCDIC-US\"?><Map/>",
            "map.xml:1:31: the encoding 'EBCDIC-US' is not read; a map file is UTF-8 (ISO-8859-1 and windows-1252 are "
            "converted)"},
           {std::string("\xFF\xFE<\0M\0", 6), "map.xml:1:1: the file is in UTF-16; a map file is UTF-8"}})
    EXPECT_EQ(LoadError(file), message);
}

// Values the map cannot use as written are repaired in place, so that what is read and what is
// saved agree, each with a warning at its place.
TEST_F(HostileMapTest, ValuesThatWouldGiveWrongDatesAreRepairedWithTheirPlace) {
  const char* zone = std::getenv("TZ");
  const std::string oldZone = zone ? zone : "";
  setenv("TZ", "XYZ-03", 1);  // three hours east of UTC, no summer time
  tzset();
  const std::string text =
      "<Map>\n"
      "  <Node ID=\"1\"><Action><Complete>-5</Complete><Duration Measure=\"Days\">-3</Duration></Action></Node>\n"
      "  <Node ID=\"2\"><Action><Complete>1000</Complete><Duration>2.5</Duration></Action></Node>\n"
      "  <Node ID=\"3\"><Action><Complete>lots</Complete><StartDate>1850-06-01T08:00:00</StartDate></Action></Node>\n"
      "  <Node ID=\"4\"><Action><StartDate>2025-01-01T12:00:00+05:00</StartDate>"
      "<DueDate>2025-01-02T09:30:00Z</DueDate></Action></Node>\n"
      "</Map>\n";
  const std::vector<std::string> warnings = Load(text);
  if (zone)
    setenv("TZ", oldZone.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  EXPECT_EQ(warnings,
            (std::vector<std::string>{
                "map.xml:2:24: '-5' in 'Complete' is below 0; it reads as 0",
                "map.xml:2:47: '-3' in 'Duration' is below 0; it reads as 0",
                "map.xml:3:24: '1000' in 'Complete' is above 100; it reads as 100",
                "map.xml:4:24: 'lots' in 'Complete' is not a whole number; it reads as 0",
                "map.xml:4:49: '1850-06-01T08:00:00' in 'StartDate' is before 1899-12-31, the first day a map holds; it "
                "reads as no date",
                "map.xml:5:24: '2025-01-01T12:00:00+05:00' in 'StartDate' names a time zone; it reads as "
                "2025-01-01T10:00:00, local time",
                "map.xml:5:72: '2025-01-02T09:30:00Z' in 'DueDate' names a time zone; it reads as 2025-01-02T12:30:00, "
                "local time",
            }));
  // Saved unread, the repaired texts go out.
  const std::string saved = Saved();
  for (const char* repaired : {"<Complete>0</Complete>", "<Duration Measure=\"Days\">0</Duration>",
                               "<Complete>100</Complete>", "<StartDate>2025-01-01T10:00:00</StartDate>"})
    EXPECT_NE(saved.find(repaired), std::string::npos) << repaired << "\n" << saved;
  EXPECT_EQ(saved.find("1850"), std::string::npos);
  EXPECT_EQ(Action(1)->GetComplete(), 0);
  EXPECT_EQ(Action(1)->GetDuration(), 0);
  EXPECT_EQ(Action(2)->GetComplete(), 100);
  EXPECT_EQ(Action(2)->GetDuration(), 2.5);
  EXPECT_EQ(Action(3)->GetStartDate(), 0);
  EXPECT_EQ(Action(4)->GetStartDate(), EncodeDateTime({2025, 1, 1, 10, 0, 0, 0}));
}

// A link held by one of its tasks only gets its other end, so that moving the predecessor moves
// the successor; a link held by both is left alone. The end is added to a node that holds other
// properties already, read long before.
TEST_F(HostileMapTest, ALinkStoredOnOneEndGetsItsOtherEnd) {
  const std::string text =
      "<Map>\n"
      "  <Node ID=\"1\"><Title>P</Title><Action><Complete>10</Complete></Action></Node>\n"
      "  <Node ID=\"2\"><TaskLinks><Link Node=\"1\" Type=\"qz:StartToStart\"/></TaskLinks></Node>\n"
      "  <Node ID=\"3\"><SuccessorTaskLinks><Link Node=\"4\"/></SuccessorTaskLinks>\n"
      "    <Node ID=\"4\"><TaskLinks/></Node>\n"
      "  </Node>\n"
      "</Map>\n";
  EXPECT_EQ(Load(text),
            (std::vector<std::string>{
                "map.xml:3:27: the link to node 1 is missing from 'SuccessorTaskLinks' of that node; it is added there",
                "map.xml:4:36: the link to node 4 is missing from 'TaskLinks' of that node; it is added there"}));
  ComPtr<INodeLinkList2> successors = FSetup.Links(FMap->GetNode(1), "SuccessorTaskLinks");
  ASSERT_EQ(successors->GetCount(), 1);
  EXPECT_EQ(successors->GetLink(0)->GetLinkedNode().get(), ComPtr<INode>(static_cast<INode*>(FMap->GetNode(2))).get());
  EXPECT_EQ(successors->GetLink(0).as<ITaskLink>()->GetLinkType(), ltStartToStart);
  EXPECT_EQ(Action(1)->GetComplete(), 10);
  ASSERT_EQ(FSetup.Links(FMap->GetNode(4))->GetCount(), 1);
  EXPECT_EQ(FSetup.Links(FMap->GetNode(4))->GetLink(0)->GetLinkedNode().get(),
            ComPtr<INode>(static_cast<INode*>(FMap->GetNode(3))).get());
  // Saved, the file holds both ends and reads back without a word.
  Load(Saved());
  EXPECT_TRUE(FSetup.Archive.Warnings().empty()) << FSetup.Archive.Warnings().front();
}

// The ends are looked for among many (a task with a score of successors) and whatever the IDs:
// written in tree order rather than ID order, and with IDs near the largest a file may hold, the
// same ends are found missing and added.
TEST_F(HostileMapTest, OneEndedLinksAreFoundAmongManyEndsAndAtAnyID) {
  for (const int64_t base : {int64_t{0}, int64_t{9'000'000'000'000'000'000}}) {
    const auto id = [&](int ANumber) { return std::to_string(base + ANumber); };
    // Node 30, the hub, is written last, inside node 2; nodes 7 and 15 lack their end of its link.
    std::string text = "<Map>\n";
    for (int node = 2; node <= 21; ++node) {
      text += "  <Node ID=\"" + id(node) + "\">";
      if (node != 7 && node != 15) text += "<TaskLinks><Link Node=\"" + id(30) + "\"/></TaskLinks>";
      if (node == 2) {
        text += "<Node ID=\"" + id(30) + "\"><SuccessorTaskLinks>";
        for (int successor = 21; successor >= 2; --successor) text += "<Link Node=\"" + id(successor) + "\"/>";
        text += "</SuccessorTaskLinks></Node>";
      }
      text += "</Node>\n";
    }
    text += "</Map>\n";
    const std::vector<std::string> warnings = Load(text);
    ASSERT_EQ(warnings.size(), 2u) << base;
    EXPECT_NE(warnings[0].find("the link to node " + id(15) + " is missing from 'TaskLinks'"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("the link to node " + id(7) + " is missing from 'TaskLinks'"), std::string::npos) << warnings[1];
    for (int node : {7, 15}) {
      ComPtr<INodeLinkList2> predecessors = FSetup.Links(FMap->GetNode(base + node));
      ASSERT_EQ(predecessors->GetCount(), 1) << node;
      EXPECT_EQ(predecessors->GetLink(0)->GetLinkedNode().get(),
                ComPtr<INode>(static_cast<INode*>(FMap->GetNode(base + 30))).get());
    }
    Load(Saved());
    EXPECT_TRUE(FSetup.Archive.Warnings().empty()) << FSetup.Archive.Warnings().front();
  }
}

// Entities beyond XML's five would be kept as their literal text; a file that declares some is
// refused, and text after the root element, which the parser passes over, is an error too.
TEST_F(HostileMapTest, EntitiesAndTextAfterTheRootAreNamed) {
  EXPECT_EQ(Load("<Map><Title>a&nbsp;b &amp; &lt;c&gt; &#65;</Title><!-- &bogus; --></Map>"),
            std::vector<std::string>{"map.xml:1:14: '&nbsp;' is not an entity of XML; it is kept as that text"});
  EXPECT_EQ(FMap->Root()->Title(), "a&nbsp;b & <c> A");
  for (const auto& [file, message] : std::vector<std::pair<std::string, std::string>>{
           {"<?xml version=\"1.0\"?>\n<!DOCTYPE Map [\n  <!ENTITY e \"expanded\">\n]>\n<Map><Title>&e;</Title></Map>",
            "map.xml:2:1: the file declares entities, which a map file does not use"},
           {"<Map>\n  <Title>x</Title>\n</Map>\ntrailing words\n", "map.xml:4:1: text after the root element 'Map'"},
           {"<Map/> <!-- fine --> tail", "map.xml:1:22: text after the root element 'Map'"}})
    EXPECT_EQ(LoadError(file), message);
  EXPECT_NO_THROW(Load("<Map/>\n<!-- a comment after the map -->\n<?pi ok?>\n"));
}

}  // namespace
