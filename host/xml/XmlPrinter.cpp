#include "host/xml/XmlPrinter.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The first byte from AText on that the context must look at, the terminating NUL at the latest.
// A map's values are short, so a byte-by-byte scan costs more than the copy after it: sixteen
// bytes are tested at a time. The loads are aligned and so never reach into a page the text does
// not touch; they do read bytes before AText and past the NUL, which is why the address
// sanitiser is kept out of this one function.
#if defined(__SSE2__)
template <unsigned char Context>
[[gnu::no_sanitize_address]] const unsigned char* FindSpecial(const unsigned char* AText) {
  // Below 0x20 as signed bytes: control characters, the NUL and every byte of a non-ASCII
  // character. The other specials of the context are compared one by one; a NUL stands in for
  // those a context lacks, as it is caught anyway. Candidates that the context keeps (tabs and
  // line ends in text) are sorted out through the table.
  const __m128i below = _mm_set1_epi8(0x20);
  const __m128i amp = _mm_set1_epi8(Context & KRaw ? 0 : '&');
  const __m128i lt = _mm_set1_epi8(Context & KRaw ? 0 : '<');
  const __m128i other = _mm_set1_epi8(Context & KText ? '>' : Context & KAttribute ? '"' : 0);
  // The loads stay in this function: a helper, a lambda too, would be instrumented.
  const auto* block = reinterpret_cast<const unsigned char*>(reinterpret_cast<uintptr_t>(AText) & ~uintptr_t{15});
  for (unsigned wanted = ~0u << (AText - block);; block += 16, wanted = ~0u) {
    const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
    const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(bytes, below), _mm_cmpeq_epi8(bytes, amp)),
                                     _mm_or_si128(_mm_cmpeq_epi8(bytes, lt), _mm_cmpeq_epi8(bytes, other)));
    for (unsigned bits = wanted & static_cast<unsigned>(_mm_movemask_epi8(hit)); bits != 0; bits &= bits - 1) {
      const unsigned char* at = block + __builtin_ctz(bits);
      if (Context != KText || KSpecial[*at] & Context) return at;
    }
  }
}
#else
template <unsigned char Context>
const unsigned char* FindSpecial(const unsigned char* AText) {
  while (!(KSpecial[*AText] & Context)) ++AText;
  return AText;
}
#endif
const unsigned char* FindSpecial(const unsigned char* AText, unsigned char AContext) {
  return AContext == KText ? FindSpecial<KText>(AText)
         : AContext == KAttribute ? FindSpecial<KAttribute>(AText)
                                  : FindSpecial<KRaw>(AText);
}

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

void TXmlPrinter::Leaf(const char* AName, const char* AValue) {
  // Most values of a map are short and need no escaping: those go straight into the buffer,
  // without the element being kept as open. Empty text, and text to escape or repair, take the
  // general way.
  const size_t nameLength = NameLength(AName);
  const size_t valueLength = CleanLength(AValue, cxText);
  const size_t size = 2 * nameLength + valueLength + 5;
  if (nameLength == 0 || valueLength == 0 || size > FCapacity) {
    Open(AName);
    Text(AValue);
    Close();
    return;
  }
  StartContent();
  BeforeElement();
  if (FCapacity - FUsed < size) Drain();
  char* out = FBuffer.get() + FUsed;
  *out++ = '<';
  out = static_cast<char*>(std::memcpy(out, AName, nameLength)) + nameLength;
  *out++ = '>';
  out = static_cast<char*>(std::memcpy(out, AValue, valueLength)) + valueLength;
  *out++ = '<';
  *out++ = '/';
  out = static_cast<char*>(std::memcpy(out, AName, nameLength)) + nameLength;
  *out++ = '>';
  FUsed = static_cast<size_t>(out - FBuffer.get());
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
  const unsigned char* special = FindSpecial(text, AContext);
  return *special == 0 ? static_cast<size_t>(special - text) : 0;
}

void TXmlPrinter::Escaped(const char* AText, TContext AContext, const TOpen& AOwner) {
  const auto* text = reinterpret_cast<const unsigned char*>(AText);
  const unsigned char mask = AContext;
  for (;;) {
    const unsigned char* start = text;
    text = FindSpecial(text, mask);
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
