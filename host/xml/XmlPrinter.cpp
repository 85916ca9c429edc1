#include "host/xml/XmlPrinter_p.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace xml_archive {

namespace {
constexpr size_t KFlushSize = 1 << 20;
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
  // pugixml's own order of line breaks: none before or after text, so that mixed content and
  // elements holding only text come out as they were.
  enum : unsigned { Newline = 1, IndentHere = 2 };
  unsigned flags = IndentHere;
  unsigned depth = 0;
  const pugi::xml_node root = ADocument;
  pugi::xml_node node = root;
  do {
    const pugi::xml_node_type type = node.type();
    if (type == pugi::node_pcdata || type == pugi::node_cdata) {
      Simple(node);
      flags = 0;
    } else {
      if (flags & Newline) Put('\n');
      if (flags & IndentHere) Indent(depth);
      if (type == pugi::node_element) {
        flags = Newline | IndentHere;
        if (const pugi::xml_node child = StartElement(node)) {
          node = child;
          ++depth;
          continue;
        }
      } else if (type == pugi::node_document) {
        flags = IndentHere;
        if (node.first_child()) {
          node = node.first_child();
          continue;
        }
      } else {
        Simple(node);
        flags = Newline | IndentHere;
      }
    }
    while (node != root) {
      if (pugi::xml_node next = node.next_sibling()) {
        node = next;
        break;
      }
      node = node.parent();
      if (node.type() == pugi::node_element) {
        --depth;
        if (flags & Newline) Put('\n');
        if (flags & IndentHere) Indent(depth);
        EndElement(node);
        flags = Newline | IndentHere;
      }
    }
    MaybeFlush();
  } while (node != root);
  if (flags & Newline) Put('\n');
  Drain();
  if (FSink) {
    FSink(FOut);
    FOut.clear();
  }
}

void TXmlPrinter::Indent(unsigned ADepth) {
  static constexpr std::array<char, 2 * KMaxIndentLevel> spaces = [] {
    std::array<char, 2 * KMaxIndentLevel> text{};
    text.fill(' ');
    return text;
  }();
  Put(spaces.data(), 2 * std::min(ADepth, KMaxIndentLevel));
}

pugi::xml_node TXmlPrinter::StartElement(pugi::xml_node AElement) {
  Put('<');
  Escaped(AElement.name(), cxRaw, AElement);
  Attributes(AElement);
  const pugi::xml_node child = AElement.first_child();
  if (child)
    Put('>');
  else
    Put(" />");
  return child;
}

void TXmlPrinter::EndElement(pugi::xml_node AElement) {
  Put("</");
  Escaped(AElement.name(), cxRaw, AElement);
  Put('>');
}

void TXmlPrinter::Attributes(pugi::xml_node AElement) {
  for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute()) {
    Put(' ');
    Escaped(attribute.name(), cxRaw, AElement);
    Put("=\"");
    Escaped(attribute.value(), cxAttribute, AElement);
    Put('"');
  }
}

void TXmlPrinter::Simple(pugi::xml_node ANode) {
  switch (ANode.type()) {
    case pugi::node_pcdata: Escaped(ANode.value(), cxText, ANode); break;
    case pugi::node_cdata: Cdata(ANode.value(), ANode); break;
    case pugi::node_declaration:
      Put("<?");
      Escaped(ANode.name(), cxRaw, ANode);
      Attributes(ANode);
      Put("?>");
      break;
    default: break;  // the archive's documents hold no comments, instructions or doctypes
  }
}

void TXmlPrinter::Escaped(const char* AText, TContext AContext, pugi::xml_node AOwner) {
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

void TXmlPrinter::Cdata(const char* AText, pugi::xml_node AOwner) {
  Put("<![CDATA[");
  for (const char* end; (end = std::strstr(AText, "]]>")) != nullptr; AText = end + 3) {
    Escaped(std::string(AText, end).c_str(), cxRaw, AOwner);
    Put("]]]]><![CDATA[>");  // a section cannot hold its own end: split it there
  }
  Escaped(AText, cxRaw, AOwner);
  Put("]]>");
}

void TXmlPrinter::Repaired(pugi::xml_node AOwner) {
  if (AOwner.type() != pugi::node_element) AOwner = AOwner.parent();  // text belongs to its element
  if (AOwner == FLastRepaired) return;
  FLastRepaired = AOwner;
  if (FRepaired) FRepaired(AOwner);
}

void TXmlPrinter::MaybeFlush() {
  if (!FSink || FOut.size() + FUsed < KFlushSize) return;
  Drain();
  FSink(FOut);
  FOut.clear();
}

}  // namespace xml_archive
