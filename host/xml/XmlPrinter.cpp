#include "host/xml/XmlPrinter.h"

#include "host/xml/XmlScanner.h"

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

// The length of a text that needs no escaping in the context, else 0; as CleanLength, for callers
// that know their context.
template <unsigned char Context>
size_t CleanLengthIn(const char* AText) {
  const auto* text = reinterpret_cast<const unsigned char*>(AText);
  const unsigned char* special = FindSpecial<Context>(text);
  return *special == 0 ? static_cast<size_t>(special - text) : 0;
}

// Copies a text to AOut and answers its end. Names and values of a map are mostly shorter than 32
// bytes, which two overlapping moves copy without the call and the size dispatch of memcpy.
[[gnu::always_inline]] inline char* PutText(char* AOut, const char* AText, size_t ASize) {
  if (ASize >= 8 && ASize <= 32) {
    if (ASize <= 16) {
      uint64_t head, tail;
      std::memcpy(&head, AText, 8);
      std::memcpy(&tail, AText + ASize - 8, 8);
      std::memcpy(AOut, &head, 8);
      std::memcpy(AOut + ASize - 8, &tail, 8);
    } else {
      char head[16], tail[16];
      std::memcpy(head, AText, 16);
      std::memcpy(tail, AText + ASize - 16, 16);
      std::memcpy(AOut, head, 16);
      std::memcpy(AOut + ASize - 16, tail, 16);
    }
  } else if (ASize >= 4 && ASize < 8) {
    uint32_t head, tail;
    std::memcpy(&head, AText, 4);
    std::memcpy(&tail, AText + ASize - 4, 4);
    std::memcpy(AOut, &head, 4);
    std::memcpy(AOut + ASize - 4, &tail, 4);
  } else if (ASize > 0 && ASize < 4) {
    AOut[0] = AText[0];
    AOut[ASize / 2] = AText[ASize / 2];
    AOut[ASize - 1] = AText[ASize - 1];
  } else {
    std::memcpy(AOut, AText, ASize);
  }
  return AOut + ASize;
}

constexpr std::array<char, 2 * TXmlPrinter::KMaxIndentLevel> KSpaces = [] {
  std::array<char, 2 * TXmlPrinter::KMaxIndentLevel> text{};
  text.fill(' ');
  return text;
}();
}  // namespace

[[gnu::always_inline]] inline char* TXmlPrinter::LineStart(char* AOut, size_t ADepth) const {
  if (FFlags & Newline) *AOut++ = '\n';
  if (!(FFlags & IndentHere)) return AOut;
  // Every indentation is copied at a fixed width, which the compiler does in a few moves instead
  // of calling memcpy, and only its own width is kept; most are shallow.
  constexpr size_t shallow = 32;
  const size_t width = 2 * std::min(ADepth, size_t{KMaxIndentLevel});
  if (width <= shallow)
    std::memcpy(AOut, KSpaces.data(), shallow);
  else
    std::memcpy(AOut, KSpaces.data(), KSpaces.size());
  return AOut + width;
}

void TXmlPrinter::Print(const pugi::xml_document& ADocument) {
  for (pugi::xml_node node = ADocument.first_child(); node; node = node.next_sibling()) Copy(node);
  Finish();
}

void TXmlPrinter::Declaration(bool AStandalone) {
  BeforeElement(FOpen.size());
  Put("<?xml version=\"1.0\" encoding=\"UTF-8\"");
  if (AStandalone) Put(" standalone=\"yes\"");
  Put("?>");
  FFlags = Newline | IndentHere;
}

void TXmlPrinter::Open(const char* AName) { OpenElement(AName, pugi::xml_node(), NameLength(AName)); }

void TXmlPrinter::OpenElement(const char* AName, pugi::xml_node ANode, size_t ANameLength) {
  FOpen.push_back({AName, ANode, ++FSerial, ANameLength});
  // The end of the start tag before, the line start and the name, with room checked once.
  const size_t size = ANameLength + 2 + KLineStartRoom;
  if (ANameLength != 0 && size <= FCapacity) {
    if (FCapacity - FUsed < size) Drain();
    char* out = FBuffer.get() + FUsed;
    if (FStartOpen) *out++ = '>';
    out = LineStart(out, FOpen.size() - 1);
    *out++ = '<';
    out = PutText(out, AName, ANameLength);
    FUsed = static_cast<size_t>(out - FBuffer.get());
  } else {
    StartContent();
    BeforeElement(FOpen.size() - 1);
    Put('<');
    Escaped(AName, cxRaw, FOpen.back());
  }
  FStartOpen = true;
  FFlags = Newline | IndentHere;
}

void TXmlPrinter::Leaf(const char* AName, const char* AValue) {
  // Most values of a map are short and need no escaping: those go straight into the buffer,
  // without the element being kept as open. Empty text, and text to escape or repair, take the
  // general way.
  const size_t nameLength = NameLength(AName);
  const size_t valueLength = CleanLengthIn<KText>(AValue);
  const size_t size = 2 * nameLength + valueLength + 6 + KLineStartRoom;
  if (nameLength == 0 || valueLength == 0 || size > FCapacity) {
    Open(AName);
    Text(AValue);
    Close();
    return;
  }
  if (FCapacity - FUsed < size) Drain();
  char* out = FBuffer.get() + FUsed;
  if (FStartOpen) *out++ = '>';
  FStartOpen = false;
  out = LineStart(out, FOpen.size());
  *out++ = '<';
  out = PutText(out, AName, nameLength);
  *out++ = '>';
  out = PutText(out, AValue, valueLength);
  *out++ = '<';
  *out++ = '/';
  out = PutText(out, AName, nameLength);
  *out++ = '>';
  FUsed = static_cast<size_t>(out - FBuffer.get());
  FFlags = Newline | IndentHere;
}

void TXmlPrinter::Attribute(const char* AName, const char* AValue) {
  // As for Leaf: a name and value that need no escaping go straight into the buffer.
  const size_t nameLength = CleanLengthIn<KRaw>(AName);
  const size_t valueLength = CleanLengthIn<KAttribute>(AValue);
  const size_t size = nameLength + valueLength + 4;
  if (nameLength != 0 && (valueLength != 0 || *AValue == 0) && size <= FCapacity) {
    if (FCapacity - FUsed < size) Drain();
    char* out = FBuffer.get() + FUsed;
    *out++ = ' ';
    out = PutText(out, AName, nameLength);
    *out++ = '=';
    *out++ = '"';
    out = PutText(out, AValue, valueLength);
    *out++ = '"';
    FUsed = static_cast<size_t>(out - FBuffer.get());
    return;
  }
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
  // The end of an empty element, or the line start and the end tag, with room checked once.
  const size_t size = closed.NameLength + 3 + KLineStartRoom;
  if (FStartOpen) {
    Put(" />");
    FStartOpen = false;
  } else if (closed.NameLength != 0 && size <= FCapacity) {
    if (FCapacity - FUsed < size) Drain();
    char* out = LineStart(FBuffer.get() + FUsed, FOpen.size());
    *out++ = '<';
    *out++ = '/';
    out = PutText(out, closed.Name, closed.NameLength);
    *out++ = '>';
    FUsed = static_cast<size_t>(out - FBuffer.get());
  } else {
    BeforeElement(FOpen.size());
    Put("</");
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
        BeforeElement(FOpen.size());
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
        BeforeElement(FOpen.size());
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

void TXmlPrinter::BeforeElement(size_t ADepth) {
  if (FCapacity - FUsed < KLineStartRoom) Drain();
  FUsed = static_cast<size_t>(LineStart(FBuffer.get() + FUsed, ADepth) - FBuffer.get());
}


void TXmlPrinter::CopyText(std::string_view AElement) {
  using TToken = TXmlScanner::TToken;
  FCopyText.assign(AElement);
  FCopied.clear();
  FHasChild.clear();
  // The pieces a document would keep: white space alone is kept only as the whole content of an
  // element, right before its end tag, as pugixml keeps it.
  TXmlScanner scanner(FCopyText);
  for (TToken token = scanner.Next(); token != TToken::Finished; token = scanner.Next()) {
    switch (token) {
      case TToken::Start:
        if (!FHasChild.empty()) FHasChild.back() = true;
        FHasChild.push_back(false);
        FCopied.push_back({TPiece::Start, scanner.Name(), {}});
        for (const TXmlScannedAttribute& attribute : scanner.Attributes())
          FCopied.push_back({TPiece::Attribute, attribute.Name, attribute.Value});
        break;
      case TToken::End:
        FHasChild.pop_back();
        FCopied.push_back({TPiece::End, {}, {}});
        break;
      case TToken::Text: {
        if (scanner.IsCData()) {
          FHasChild.back() = true;
          FCopied.push_back({TPiece::CData, scanner.Text(), {}});
          break;
        }
        const std::string_view text = scanner.Text();
        const size_t after = scanner.EndOffset();
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos &&
            (FHasChild.back() || FCopyText[after + 1] != '/'))
          break;
        // The first text of an element is its own, the others are children: both print alike.
        if (!FCopied.empty() && FCopied.back().Kind != TPiece::Start && FCopied.back().Kind != TPiece::Attribute)
          FHasChild.back() = true;
        FCopied.push_back({TPiece::Text, text, {}});
        break;
      }
      case TToken::Finished: break;
    }
  }
  // The scan is over: each name and value is decoded where it stands, never longer than it was
  // written, and ended with a NUL over the character after it.
  std::string decoded;
  const auto terminate = [&](std::string_view AText) {
    char* at = FCopyText.data() + (AText.data() - FCopyText.data());
    at[AText.size()] = '\0';
    return static_cast<const char*>(at);
  };
  const auto decode = [&](std::string_view AText, TXmlTextKind AKind) {
    const std::string_view value = DecodeXmlText(AText, AKind, decoded);
    if (value.data() != AText.data())
      std::memcpy(FCopyText.data() + (AText.data() - FCopyText.data()), value.data(), value.size());
    return terminate(AText.substr(0, value.size()));
  };
  for (const TCopied& piece : FCopied) {
    switch (piece.Kind) {
      case TPiece::Start: {
        const char* name = terminate(piece.Text);
        OpenElement(name, pugi::xml_node(), CleanLength(name, cxRaw));
        break;
      }
      case TPiece::Attribute: {
        const char* name = terminate(piece.Text);
        Attribute(name, decode(piece.Value, TXmlTextKind::Attribute));
        break;
      }
      case TPiece::Text:
        StartContent();
        Escaped(decode(piece.Text, TXmlTextKind::Text), cxText, Current());
        FFlags = 0;
        break;
      case TPiece::CData:
        StartContent();
        Cdata(decode(piece.Text, TXmlTextKind::CData), Current());
        FFlags = 0;
        break;
      case TPiece::End: Close(); break;
    }
  }
}

namespace {
// For PrintsAsItStands: name characters (ASCII only), and the characters that the printer puts as
// they are in an attribute value and in text.
enum : uint8_t { KAsIsName = 1, KAsIsValue = 2, KAsIsText = 4 };
constexpr std::array<uint8_t, 256> KAsIs = [] {
  std::array<uint8_t, 256> table{};
  for (int c = 0x20; c < 0x7F; ++c) {
    if (c != '&' && c != '<' && c != '>' && c != '"') table[c] |= KAsIsValue | KAsIsText;
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' ||
        c == ':')
      table[c] |= KAsIsName;
  }
  table['"'] |= KAsIsText;
  table['\t'] |= KAsIsText;
  table['\n'] |= KAsIsText;
  return table;
}();
}  // namespace

bool TXmlPrinter::PrintsAsItStands(std::string_view AElement, size_t ADepth) {
  // The text was read whole and well-formed before: each value ends at its quote, each text at a
  // '<' and each end tag closes what it should, all inside the text.
  const auto* pos = reinterpret_cast<const unsigned char*>(AElement.data());
  const auto* const end = pos + AElement.size();
  const auto at = [&](std::string_view AText) {
    return static_cast<size_t>(end - pos) >= AText.size() && std::memcmp(pos, AText.data(), AText.size()) == 0;
  };
  const auto name = [&] {
    const auto* start = pos;
    while (KAsIs[*pos] & KAsIsName) ++pos;
    return pos > start;
  };
  // A line break and the indentation of an element with ADepthOf elements around it.
  const auto lineStart = [&](size_t ADepthOf) {
    const size_t width = 2 * std::min(ADepthOf, size_t{KMaxIndentLevel});
    if (static_cast<size_t>(end - pos) <= width + 1 || *pos != '\n' || std::memcmp(pos + 1, KSpaces.data(), width) != 0 ||
        pos[width + 1] == ' ')
      return false;
    pos += width + 1;
    return true;
  };
  size_t depth = ADepth;  // the open elements around the element read next
  for (;;) {
    // A start tag: "<name", each attribute as ' name="value"', then " />" or ">".
    if (pos == end || *pos != '<') return false;
    ++pos;
    if (!name()) return false;
    while (*pos == ' ' && KAsIs[pos[1]] & KAsIsName) {
      ++pos;
      name();
      if (pos[0] != '=' || pos[1] != '"') return false;
      pos += 2;
      while (KAsIs[*pos] & KAsIsValue) ++pos;
      if (*pos++ != '"') return false;
    }
    bool ended = at(" />");
    if (ended) {
      pos += 3;
    } else if (*pos == '>') {
      ++pos;
      if (pos[0] == '<' && pos[1] == '/') return false;  // empty: printed as an empty-element tag
      if (*pos != '\n') {
        // Text alone, up to the end tag: the printer puts no line break around it.
        while (KAsIs[*pos] & KAsIsText) ++pos;
        if (pos[0] != '<' || pos[1] != '/') return false;
        pos += 2;
        name();
        if (*pos++ != '>') return false;
        ended = true;
      } else {
        // The first child, on a line of its own; white space alone would be kept as text.
        if (!lineStart(depth + 1) || *pos != '<' || pos[1] == '/') return false;
        ++depth;
        continue;
      }
    } else {
      return false;
    }
    // An element has ended; then a sibling follows, or its parent's end tag on a line of its own.
    for (;;) {
      if (depth == ADepth) return pos == end;
      const auto* before = pos;
      if (lineStart(depth) && *pos == '<' && pos[1] != '/') break;
      pos = before;
      if (!lineStart(depth - 1) || pos[0] != '<' || pos[1] != '/') return false;
      pos += 2;
      name();
      if (*pos++ != '>') return false;
      --depth;
    }
  }
}

void TXmlPrinter::Verbatim(std::string_view AElement) {
  StartContent();
  BeforeElement(FOpen.size());
  Put(AElement.data(), AElement.size());
  FFlags = Newline | IndentHere;
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
