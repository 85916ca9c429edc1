#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "host/xml/XmlPrinter.h"
#include "host/xml/XmlScanner.h"

namespace {

using xml_archive::DecodeXmlText;
using xml_archive::EXmlScanError;
using xml_archive::TXmlScanner;
using xml_archive::TXmlTextKind;

constexpr unsigned KArchiveOptions = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_embed_pcdata;

// What a scan reports, one line per token, values decoded; empty when the scan refuses the text.
std::vector<std::string> Scanned(const std::string& AText, size_t* AFailedAt = nullptr, bool ASkipBlanks = false) {
  std::vector<std::string> events;
  std::string scratch;
  try {
    TXmlScanner scanner(AText);
    if (ASkipBlanks) scanner.SkipBlankTexts();
    for (;;) {
      switch (scanner.Next()) {
        case TXmlScanner::TToken::Start:
          events.push_back("S " + std::string(scanner.Name()));
          for (const auto& attribute : scanner.Attributes())
            events.push_back("A " + std::string(attribute.Name) + "=" +
                             std::string(DecodeXmlText(attribute.Value, TXmlTextKind::Attribute, scratch)));
          break;
        case TXmlScanner::TToken::End: events.push_back("E " + std::string(scanner.Name())); break;
        case TXmlScanner::TToken::Text:
          events.push_back((scanner.IsCData() ? "C " : "T ") +
                           std::string(DecodeXmlText(scanner.Text(), scanner.IsCData() ? TXmlTextKind::CData : TXmlTextKind::Text, scratch)));
          break;
        case TXmlScanner::TToken::Finished: return events;
      }
    }
  } catch (const EXmlScanError& AError) {
    if (AFailedAt) *AFailedAt = AError.Offset;
    return {};
  }
}

// The same walk over pugixml's document, every text kept.
void Walk(pugi::xml_node ANode, std::vector<std::string>& AEvents) {
  for (pugi::xml_node child = ANode.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_pcdata) AEvents.push_back(std::string("T ") + child.value());
    if (child.type() == pugi::node_cdata) AEvents.push_back(std::string("C ") + child.value());
    if (child.type() != pugi::node_element) continue;
    AEvents.push_back(std::string("S ") + child.name());
    for (pugi::xml_attribute attribute : child.attributes())
      AEvents.push_back(std::string("A ") + attribute.name() + "=" + attribute.value());
    Walk(child, AEvents);
    AEvents.push_back(std::string("E ") + child.name());
  }
}

std::vector<std::string> Parsed(const std::string& AText) {
  pugi::xml_document document;
  if (!document.load_buffer(AText.data(), AText.size(), pugi::parse_default | pugi::parse_ws_pcdata, pugi::encoding_utf8))
    return {};
  std::vector<std::string> events;
  for (pugi::xml_node child : document.children())
    if (child.type() == pugi::node_element) {
      // Only elements count at the top; Walk covers what is inside.
      pugi::xml_document single;
      single.append_copy(child);
      Walk(single, events);
    }
  return events;
}

bool PugixmlAccepts(const std::string& AText) {
  pugi::xml_document document;
  return document.load_buffer(AText.data(), AText.size(), KArchiveOptions, pugi::encoding_utf8);
}

// A scan that skips blank texts reports the same tokens but blank texts before a tag, and never
// one that is an element's only content.
void ExpectOnlyUnwantedBlanksSkipped(const std::vector<std::string>& AAll, const std::vector<std::string>& ASkipping) {
  const auto blank = [](const std::string& AEvent) {
    return AEvent.starts_with("T ") && AEvent.find_first_not_of(" \t\n", 2) == std::string::npos;
  };
  size_t kept = 0;
  for (size_t i = 0; i < AAll.size(); ++i) {
    if (kept < ASkipping.size() && ASkipping[kept] == AAll[i]) {
      ++kept;
      continue;
    }
    ASSERT_TRUE(blank(AAll[i])) << AAll[i];
    ASSERT_LT(i + 1, AAll.size());
    const bool beforeTag = AAll[i + 1].starts_with("S ") || AAll[i + 1].starts_with("E ");
    EXPECT_TRUE(beforeTag) << AAll[i + 1];
    size_t before = i;
    while (before > 0 && AAll[before - 1].starts_with("A ")) --before;
    const bool onlyContent = before > 0 && AAll[before - 1].starts_with("S ") && AAll[i + 1].starts_with("E ");
    EXPECT_FALSE(onlyContent) << "skipped the only text of " << AAll[before - 1];
  }
  EXPECT_EQ(kept, ASkipping.size());
}

TEST(XmlScanner, ReadsAMapAsPugixmlDoes) {
  const std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE Map [ <!ELEMENT Map ANY> <!-- a > in a comment --> <![IGNORE[ <x> ]]> <!ATTLIST Map a CDATA \"<\">]>\n"
      "<Map Version='1' Note=\"a&amp;b &lt;&#x41;&#66;&#x20AC;&#128512; &bogus; &#x; &#12\">\n"
      "  <Title>  R&amp;D \r\n plan\r</Title>\n"
      "  <!-- <Node ID=\"2\"/> -->\n"
      "  <Node ID = \"1\" Tab=\"a\tb\r\nc\nd\"><Title><![CDATA[<raw> &amp;\r\n]]>tail</Title><Empty/>\n"
      "    <?pi <Node?>\n"
      "  </Node >\n"
      "</Map>\n";
  const std::vector<std::string> scanned = Scanned(text);
  ASSERT_FALSE(scanned.empty());
  EXPECT_EQ(scanned, Parsed(text));
  EXPECT_EQ(scanned[2], "A Note=a&b <AB\xE2\x82\xAC\xF0\x9F\x98\x80 &bogus; &#x; &#12");
  EXPECT_EQ(scanned[5], "T   R&D \n plan\n");
}

TEST(XmlScanner, RefusesWhatPugixmlRefuses) {
  const std::string cases[] = {
      "",          "  <!-- only a comment -->", "<Map><Node></Map>", "<Map>\n  <Node ID=\"1\" <Title/>\n</Map>",
      "<Map a=\"1\"b=\"2\"/>", "<Map a=1/>", "<Map><!DOCTYPE x></Map>", "<Map></ Map>", "<Map>text", "</Map>",
      "<Map><! x></Map>", "<Map><!-- open </Map>", "<Map><![CDATA[ open </Map>", "<Map><?pi open </Map>"};
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    size_t failedAt = std::string::npos;
    EXPECT_TRUE(Scanned(text, &failedAt).empty());
    EXPECT_FALSE(PugixmlAccepts(text));
    EXPECT_LE(failedAt, text.size());
  }
}

// Random documents, then random damage: the scan must accept exactly what pugixml accepts, and
// report the same elements, attributes and texts.
TEST(XmlScanner, AgreesWithPugixmlOnDamagedDocuments) {
  std::mt19937 random(20261209);
  const std::vector<std::string> pieces = {
      "<", ">", "/", "/>", "</", "!", "?", "-", "--", "[", "]", "]]>", "\"", "'", "=", " ", "\t", "\r\n", "\r", "&",
      ";", "&amp;", "&#x41;", "&#65;", "&lt", "#", "x", "a", "B", ":", "_", ".", "1", "<!--", "-->", "<![CDATA[",
      "<?xml ", "?>", "<!DOCTYPE d [", "<!ELEMENT", "\xC3\xA9", "<Node ID=\"1\">", "</Node>", "<a/>"};
  const auto pick = [&](size_t ACount) { return std::uniform_int_distribution<size_t>(0, ACount - 1)(random); };
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text = pick(4) == 0 ? "<?xml version=\"1.0\"?>\n" : "";
    if (pick(6) == 0) text += "<!DOCTYPE Map [<!ENTITY e \"x>\"><!--c-->]>";
    text += "<Map A=\"v\">";
    for (size_t i = 0, count = pick(6); i < count; ++i) {
      text += "<Node ID='" + std::to_string(i) + "' B = \"x&amp;y\">";
      if (pick(2)) text += "<Title>t &lt; " + std::to_string(i) + "</Title>";
      if (pick(3) == 0) text += "<![CDATA[c]]>";
      if (pick(3) == 0) text += "<!-- note -->";
      text += pick(2) ? "</Node>" : "<Empty/></Node>\n";
    }
    text += "</Map>";
    for (size_t damage = 0, count = pick(4); damage < count; ++damage) {
      const size_t at = pick(text.size() + 1);
      switch (pick(3)) {
        case 0: text.insert(at, pieces[pick(pieces.size())]); break;
        case 1: text.erase(at, pick(4)); break;
        default: text.replace(at, 1, pieces[pick(pieces.size())]);
      }
    }
    SCOPED_TRACE(text);
    const bool pugixml = PugixmlAccepts(text);
    const std::vector<std::string> scanned = Scanned(text);
    ASSERT_EQ(!scanned.empty(), pugixml);
    if (!pugixml) continue;
    ++accepted;
    ASSERT_EQ(scanned, Parsed(text));
    ExpectOnlyUnwantedBlanksSkipped(scanned, Scanned(text, nullptr, true));
  }
  EXPECT_GT(accepted, 5000);  // the damage leaves enough documents whole to compare their content
}

TEST(XmlScanner, SkipsBlankTextsThatAreNoElementsOnlyContent) {
  const std::string text = "<a>\n  <b> </b>\n  <c/>\n  <d>\n</d>\n<!--x-->  </a>";
  const std::vector<std::string> expected = {"S a", "S b", "T  ", "E b", "S c", "E c", "S d", "T \n", "E d", "T \n", "T   ", "E a"};
  EXPECT_EQ(Scanned(text, nullptr, true), expected);
}

TEST(XmlScanner, SkipsAnElementsContentAndKnowsWhereItEnds) {
  const std::string text = "<Map><Node ID=\"1\"><Title>a</Title><Node ID=\"2\"/></Node><Node ID=\"3\"/></Map>";
  TXmlScanner scanner(text);
  ASSERT_EQ(scanner.Next(), TXmlScanner::TToken::Start);
  ASSERT_EQ(scanner.Next(), TXmlScanner::TToken::Start);
  const size_t start = scanner.Offset();
  EXPECT_EQ(scanner.OffsetOf(scanner.Attributes()[0].Value), 15u);
  scanner.SkipContent();
  EXPECT_EQ(scanner.Name(), "Node");
  EXPECT_EQ(text.substr(start, scanner.EndOffset() - start), "<Node ID=\"1\"><Title>a</Title><Node ID=\"2\"/></Node>");
  ASSERT_EQ(scanner.Next(), TXmlScanner::TToken::Start);
  EXPECT_TRUE(scanner.SelfClosed());
  EXPECT_EQ(scanner.Depth(), 2u);
  EXPECT_EQ(scanner.Next(), TXmlScanner::TToken::End);
  EXPECT_EQ(scanner.Next(), TXmlScanner::TToken::End);
  EXPECT_EQ(scanner.Next(), TXmlScanner::TToken::Finished);
}

TEST(XmlScanner, ReadsTheExampleMapAsPugixmlDoes) {
  std::ifstream file(LUMETA_SOURCE_DIR "/examples/launch.xml", std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::vector<std::string> scanned = Scanned(text.str());
  EXPECT_GT(scanned.size(), 100u);
  EXPECT_EQ(scanned, Parsed(text.str()));
}

}  // namespace

namespace {

// A random element as a person or another program might write it: attributes quoted either way,
// texts with escapes, white space between tags or not, comments, CDATA, empty elements both ways.
std::string RandomElement(std::mt19937& ARandom, int ALevels) {
  const auto pick = [&](int ACount) { return std::uniform_int_distribution<int>(0, ACount - 1)(ARandom); };
  static const char* const KTexts[] = {"1", "a b", "2025-01-01T08:00:00", "x &amp; y", "&lt;b&gt;", " ", "\t", "caf\xC3\xA9", "q\"", "line\nbreak", ""};
  const std::string name = std::string(1, static_cast<char>('a' + pick(3)));
  std::string text = "<" + name;
  for (int i = 0, count = pick(3); i < count; ++i) {
    const char quote = pick(4) ? '"' : '\'';
    std::string value = KTexts[pick(11)];
    if (quote == '"' && value.find('"') != std::string::npos) value = "v";
    text += std::string(pick(5) ? " " : "  ") + static_cast<char>('p' + i) + "=" + quote + value + quote;
  }
  const int content = ALevels > 0 ? pick(6) : pick(3);
  if (content == 0) return text + (pick(2) ? " />" : "/>");
  text += ">";
  if (content == 1) {
    text += KTexts[pick(11)];
  } else if (content == 2) {
    text += pick(2) ? "<![CDATA[c]]>" : "<!-- c -->t";
  } else {
    const std::string indent = "\n" + std::string(static_cast<size_t>(pick(6)), ' ');
    for (int i = 0, count = 1 + pick(3); i < count; ++i) text += (pick(4) ? indent : "") + RandomElement(ARandom, ALevels - 1);
    text += pick(4) ? indent : "";
  }
  return text + "</" + name + ">";
}

std::string Printed(size_t ADepth, const std::function<void(xml_archive::TXmlPrinter&)>& APrint) {
  std::string out;
  xml_archive::TXmlPrinter printer(out, nullptr, nullptr);
  static const char* const KOuter = "o";
  for (size_t i = 0; i < ADepth; ++i) printer.Open(KOuter);
  APrint(printer);
  for (size_t i = 0; i < ADepth; ++i) printer.Close();
  printer.Finish();
  return out;
}

// A property element kept as text is saved from that text: as the document pugixml makes of it
// would print, and put as it stands when that is what printing would give.
TEST(XmlPrinterTest, CopiesTextAsItsDocumentPrintsAndPutsPrintedTextAsItStands) {
  std::mt19937 random(7);
  int asItStands = 0;
  for (int round = 0; round < 3000; ++round) {
    const size_t depth = round % 7 == 0 ? 70 : static_cast<size_t>(round % 4);
    const std::string text = RandomElement(random, 3);
    SCOPED_TRACE(text);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_buffer(text.data(), text.size(), KArchiveOptions, pugi::encoding_utf8));
    const std::string copied = Printed(depth, [&](auto& APrinter) { APrinter.CopyText(text); });
    ASSERT_EQ(copied, Printed(depth, [&](auto& APrinter) { APrinter.Copy(document.document_element()); }));
    if (xml_archive::TXmlPrinter::PrintsAsItStands(text, depth)) {
      ASSERT_EQ(Printed(depth, [&](auto& APrinter) { APrinter.Verbatim(text); }), copied);
    }
    // What the printer wrote, cut out of its output, stands as it is at its depth.
    const std::string marked = Printed(depth, [](auto& APrinter) {
      APrinter.Open("m");
      APrinter.Close();
    });
    const size_t before = marked.find("<m />"), after = marked.size() - before - 5;
    const std::string printed = copied.substr(before, copied.size() - before - after);
    const bool stands = xml_archive::TXmlPrinter::PrintsAsItStands(printed, depth);
    // Only what it declines to judge (non-ASCII, escapes, CDATA) keeps it from standing.
    if (printed.find_first_of("&\xC3\t") == std::string::npos && printed.find("<![CDATA[") == std::string::npos) {
      ASSERT_TRUE(stands) << printed;
    }
    asItStands += stands;
  }
  EXPECT_GT(asItStands, 1000);
}

}  // namespace
