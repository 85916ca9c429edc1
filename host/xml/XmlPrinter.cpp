#include "host/xml/XmlPrinter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace xml_archive {

namespace {
constexpr char KReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Per byte: which contexts must look at it (escape, drop or check it) instead of copying it.
constexpr unsigned char KText = 1, KAttribute = 2, KRaw = 4;
constexpr std::array<unsigned char, 256> KSpecial = [] {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = KText | KAttribute | KRaw;
  table['\t'] = table['\n'] = table['\r'] = KAttribute;  // kept as they are in text
  table['&'] = table['<'] = KText | KAttribute;
  table['>'] = KText;
  table['"'] = KAttribute;
  for (int c = 0x80; c < 0x100; ++c) table[c] = KText | KAttribute | KRaw;
  return table;
}();

// The length of the well-formed UTF-8 sequence of a character XML may hold at AText, or 0.
size_t ValidSequence(const unsigned char* AText) {
  const unsigned char lead = AText[0];
  size_t length;
  uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1F;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0F;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07;
  else return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((AText[i] & 0xC0) != 0x80) return 0;  // also stops at the terminating NUL
    code = code << 6 | (AText[i] & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (overlong || surrogate || code > 0x10FFFF || code == 0xFFFE || code == 0xFFFF) return 0;
  return length;
}
}  // namespace

void TXmlPrinter::Print(const pugi::xml_document& ADocument) {
  for (pugi::xml_node node = ADocument.first_child(); node; node = node.next_sibling()) Copy(node);
  Finish();
}

void TXmlPrinter::Declaration(bool AStandalone) {
  BeforeElement();
  Put("<?xml version=\"1.0\" encoding=\"UTF-8\"");
  if (AStandalone) Put(" standalone=\"yes\"");
  Put("?>");
  FFlags = Newline | IndentHere;
}

void TXmlPrinter::Open(const char* AName) { OpenElement(AName, pugi::xml_node(), NameLength(AName)); }

void TXmlPrinter::OpenElement(const char* AName, pugi::xml_node ANode, size_t ANameLength) {
  StartContent();
  BeforeElement();
  Put('<');
  FOpen.push_back({AName, ANode, ++FSerial, ANameLength});
  if (FOpen.back().NameLength)
    Put(AName, FOpen.back().NameLength);
  else
    Escaped(AName, cxRaw, FOpen.back());
  FStartOpen = true;
  FFlags = Newline | IndentHere;
}

void TXmlPrinter::Attribute(const char* AName, const char* AValue) {
  const TOpen& owner = Current();
  Put(' ');
  Escaped(AName, cxRaw, owner);
  Put("=\"");
  Escaped(AValue, cxAttribute, owner);
  Put('"');
}

void TXmlPrinter::Text(const char* AValue) {
  StartContent();
  Escaped(AValue, cxText, Current());
  FFlags = 0;
}

void TXmlPrinter::Close() {
  const TOpen closed = FOpen.back();
  FOpen.pop_back();
  if (FStartOpen) {
    Put(" />");
    FStartOpen = false;
  } else {
    if (FFlags & Newline) Put('\n');
    if (FFlags & IndentHere) Indent(static_cast<unsigned>(FOpen.size()));
    Put("</");
    if (closed.NameLength)
      Put(closed.Name, closed.NameLength);
    else
      Escaped(closed.Name, cxRaw, closed);
    Put('>');
  }
  FFlags = Newline | IndentHere;
}

void TXmlPrinter::Copy(pugi::xml_node ARoot) {
  // pugixml's own order of line breaks: none before or after text, so that mixed content and
  // elements holding only text come out as they were.
  pugi::xml_node node = ARoot;
  for (;;) {
    switch (node.type()) {
      case pugi::node_element:
        OpenElement(node.name(), node, CleanLength(node.name(), cxRaw));
        CopiedAttributes(node);
        if (const char* text = node.value(); *text) {  // the element's own text, before its children
          StartContent();
          Escaped(text, cxText, Current());
          FFlags = 0;
        }
        if (const pugi::xml_node child = node.first_child()) {
          node = child;
          continue;
        }
        Close();
        break;
      case pugi::node_pcdata:
        StartContent();
        Escaped(node.value(), cxText, Current());
        FFlags = 0;
        break;
      case pugi::node_cdata:
        StartContent();
        Cdata(node.value(), Current());
        FFlags = 0;
        break;
      case pugi::node_declaration: {
        BeforeElement();
        const TOpen owner{node.name(), node, ++FSerial, 0};
        Put("<?");
        Escaped(node.name(), cxRaw, owner);
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute()) {
          Put(' ');
          Escaped(attribute.name(), cxRaw, owner);
          Put("=\"");
          Escaped(attribute.value(), cxAttribute, owner);
          Put('"');
        }
        Put("?>");
        FFlags = Newline | IndentHere;
        break;
      }
      default:  // the archive's documents hold no comments, instructions or doctypes
        StartContent();
        BeforeElement();
        FFlags = Newline | IndentHere;
        break;
    }
    for (;;) {
      if (node == ARoot) return;
      if (const pugi::xml_node next = node.next_sibling()) {
        node = next;
        break;
      }
      node = node.parent();
      Close();
    }
  }
}

void TXmlPrinter::Finish() {
  if (FFlags & Newline) Put('\n');
  Drain();
}

void TXmlPrinter::BeforeElement() {
  if (FFlags & Newline) Put('\n');
  if (FFlags & IndentHere) Indent(static_cast<unsigned>(FOpen.size()));
}

void TXmlPrinter::Indent(unsigned ADepth) {
  static constexpr std::array<char, 2 * KMaxIndentLevel> spaces = [] {
    std::array<char, 2 * KMaxIndentLevel> text{};
    text.fill(' ');
    return text;
  }();
  // Every indentation is copied at a fixed width, which the compiler does in a few moves instead
  // of calling memcpy, and only its own width is kept; most are shallow.
  constexpr size_t shallow = 32;
  if (FCapacity - FUsed < spaces.size()) Drain();
  const size_t width = 2 * std::min(ADepth, KMaxIndentLevel);
  if (width <= shallow)
    std::memcpy(FBuffer.get() + FUsed, spaces.data(), shallow);
  else
    std::memcpy(FBuffer.get() + FUsed, spaces.data(), spaces.size());
  FUsed += width;
}

void TXmlPrinter::CopiedAttributes(pugi::xml_node AElement) {
  for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute())
    Attribute(attribute.name(), attribute.value());
}

size_t TXmlPrinter::CleanLength(const char* AText, TContext AContext) {
  const auto* text = reinterpret_cast<const unsigned char*>(AText);
  while (!(KSpecial[*text] & AContext)) ++text;
  return *text == 0 ? static_cast<size_t>(text - reinterpret_cast<const unsigned char*>(AText)) : 0;
}

void TXmlPrinter::Escaped(const char* AText, TContext AContext, const TOpen& AOwner) {
  const auto* text = reinterpret_cast<const unsigned char*>(AText);
  const unsigned char mask = AContext;
  for (;;) {
    const unsigned char* start = text;
    while (!(KSpecial[*text] & mask)) ++text;
    Put(reinterpret_cast<const char*>(start), static_cast<size_t>(text - start));
    const unsigned char c = *text;
    if (c == 0) return;
    if (c >= 0x80) {
      if (const size_t length = ValidSequence(text)) {
        Put(reinterpret_cast<const char*>(text), length);
        text += length;
      } else {
        Put(KReplacement);
        Repaired(AOwner);
        ++text;
      }
      continue;
    }
    ++text;
    switch (c) {
      case '&': Put("&amp;"); break;
      case '<': Put("&lt;"); break;
      case '>': Put("&gt;"); break;
      case '"': Put("&quot;"); break;
      case '\t': Put("&#09;"); break;
      case '\n': Put("&#10;"); break;
      case '\r': Put("&#13;"); break;
      default: Repaired(AOwner);  // a control character XML 1.0 cannot hold, even as a reference
    }
  }
}

void TXmlPrinter::Cdata(const char* AText, const TOpen& AOwner) {
  Put("<![CDATA[");
  for (const char* end; (end = std::strstr(AText, "]]>")) != nullptr; AText = end + 3) {
    Escaped(std::string(AText, end).c_str(), cxRaw, AOwner);
    Put("]]]]><![CDATA[>");  // a section cannot hold its own end: split it there
  }
  Escaped(AText, cxRaw, AOwner);
  Put("]]>");
}

void TXmlPrinter::Repaired(const TOpen& AOwner) {
  if (AOwner.Serial == FLastRepaired && AOwner.Serial != 0) return;
  FLastRepaired = AOwner.Serial;
  if (FRepaired) FRepaired(AOwner.Node, AOwner.Name);
}

}  // namespace xml_archive
