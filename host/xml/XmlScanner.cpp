#include "host/xml/XmlScanner.h"

#include <array>
#include <cstring>

namespace xml_archive {

namespace {
// Name characters as pugixml reads them: every byte of a multi-byte character counts as a letter.
enum : uint8_t { KNameStart = 1, KNameChar = 2, KSpace = 4 };
constexpr std::array<uint8_t, 256> KClasses = [] {
  std::array<uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
    if (start) classes[c] |= KNameStart | KNameChar;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') classes[c] |= KNameChar;
  }
  for (const char c : {' ', '\t', '\n', '\r'}) classes[static_cast<unsigned char>(c)] |= KSpace;
  return classes;
}();

bool Is(char AChar, uint8_t AClass) { return KClasses[static_cast<unsigned char>(AChar)] & AClass; }

const char* SkipSpace(const char* APos) {
  while (Is(*APos, KSpace)) ++APos;
  return APos;
}

// The same for the indentation between tags, eight spaces at a time while at least AEnd - APos
// characters remain.
const char* SkipIndentation(const char* APos, const char* AEnd) {
  constexpr uint64_t KEightSpaces = 0x2020202020202020;
  while (*APos == '\n' || *APos == '\r') ++APos;
  for (uint64_t word; AEnd - APos >= 8; APos += 8) {
    std::memcpy(&word, APos, 8);
    if (word != KEightSpaces) break;
  }
  return SkipSpace(APos);
}

const char* SkipName(const char* APos) {
  while (Is(*APos, KNameChar)) ++APos;
  return APos;
}

// The first place at or after APos where ATerminator starts, or null; the text ends at AEnd.
const char* Find(const char* APos, const char* AEnd, std::string_view ATerminator) {
  for (;;) {
    const auto* first = static_cast<const char*>(std::memchr(APos, ATerminator[0], static_cast<size_t>(AEnd - APos)));
    if (!first) return nullptr;
    if (static_cast<size_t>(AEnd - first) >= ATerminator.size() &&
        std::memcmp(first, ATerminator.data(), ATerminator.size()) == 0)
      return first;
    APos = first + 1;
  }
}

bool StartsWith(const char* APos, std::string_view APrefix) {
  // The text ends in a NUL, which no prefix holds, so the comparison stops there.
  for (const char c : APrefix)
    if (*APos++ != c) return false;
  return true;
}
}  // namespace

TXmlScanner::TXmlScanner(std::string_view AText)
    : FBegin(AText.data()), FEnd(AText.data() + AText.size()), FPos(FBegin), FTokenStart(FBegin) {
  if (StartsWith(FPos, "\xEF\xBB\xBF")) FPos += 3;  // a byte order mark
  FOpen.reserve(64);
  FAttributes.reserve(8);
}

TXmlScanner::TToken TXmlScanner::Next() {
  if (FPendingEnd) {
    FPendingEnd = false;
    FOpen.pop_back();
    return TToken::End;
  }
  for (;;) {
    const char* tag = FPos;
    if (tag == FEnd) {
      if (!FOpen.empty() || !FSeenRoot) Fail(FEnd);
      return TToken::Finished;
    }
    if (*tag != '<') {
      // Most texts between tags are a line break and indentation: looked through before searching.
      const char* next = SkipIndentation(tag, FEnd);
      const bool blank = *next == '<' || next == FEnd;
      if (!blank) {
        next = static_cast<const char*>(std::memchr(next, '<', static_cast<size_t>(FEnd - next)));
        if (!next) next = FEnd;
      }
      FTokenStart = FPos;
      FPos = next;
      // Blank before a start tag, or between two end tags, the text is nobody's value.
      const bool unwanted =
          blank && FSkipBlanks && next != FEnd && (Is(next[1], KNameStart) || (next[1] == '/' && FAfterEnd));
      if (!FOpen.empty() && !unwanted) {
        FText = std::string_view(FTokenStart, static_cast<size_t>(next - FTokenStart));
        FCData = false;
        FAfterEnd = false;
        return TToken::Text;
      }
      if (next == FEnd) continue;
      tag = next;
    }
    FTokenStart = tag;
    const char kind = tag[1];
    if (Is(kind, KNameStart)) return ReadStart(tag);
    if (kind == '/') return ReadEnd(tag);
    FAfterEnd = false;
    if (kind == '?') {
      SkipQuestion(tag);
    } else if (kind == '!') {
      if (ReadExclamation(tag) && !FOpen.empty()) return TToken::Text;
    } else {
      Fail(tag);
    }
  }
}

void TXmlScanner::SkipContent() {
  const size_t depth = FOpen.size();
  if (depth == 0) return;
  while (Next() != TToken::End || FOpen.size() >= depth) {
  }
}

TXmlScanner::TToken TXmlScanner::ReadStart(const char* ATag) {
  const char* pos = SkipName(ATag + 1);
  FName = std::string_view(ATag + 1, static_cast<size_t>(pos - ATag - 1));
  FAttributes.clear();
  FSelfClosed = false;
  // An attribute needs white space before it; a value's closing quote may be followed by '/' or '>'.
  for (;;) {
    const char* afterSpace = SkipSpace(pos);
    if (*afterSpace == '>') {
      pos = afterSpace + 1;
      break;
    }
    if (*afterSpace == '/') {
      if (afterSpace[1] != '>') Fail(afterSpace);
      pos = afterSpace + 2;
      FSelfClosed = true;
      break;
    }
    if (afterSpace == pos || !Is(*afterSpace, KNameStart)) Fail(afterSpace);
    const char* nameEnd = SkipName(afterSpace);
    pos = SkipSpace(nameEnd);
    if (*pos != '=') Fail(pos);
    pos = SkipSpace(pos + 1);
    const char quote = *pos;
    if (quote != '"' && quote != '\'') Fail(pos);
    const char* value = pos + 1;
    // Values are short: a plain loop beats a call to memchr. The text ends in a NUL.
    const char* close = value;
    while (*close != quote && *close) ++close;
    if (*close != quote) Fail(value);
    FAttributes.push_back({std::string_view(afterSpace, static_cast<size_t>(nameEnd - afterSpace)),
                           std::string_view(value, static_cast<size_t>(close - value))});
    pos = close + 1;
    if (Is(*pos, KNameStart)) Fail(pos);
  }
  FPos = pos;
  FSeenRoot = true;
  FOpen.push_back(FName);
  FPendingEnd = FSelfClosed;
  FAfterEnd = FSelfClosed;
  return TToken::Start;
}

TXmlScanner::TToken TXmlScanner::ReadEnd(const char* ATag) {
  const char* name = ATag + 2;
  if (FOpen.empty()) Fail(name);
  // Matched against the open element's name as it is read; the text's closing NUL stops a
  // mismatch at its end.
  const char* pos = name;
  for (const char c : FOpen.back()) {
    if (*pos != c) Fail(name);
    ++pos;
  }
  if (Is(*pos, KNameChar)) Fail(name);
  FName = std::string_view(name, static_cast<size_t>(pos - name));
  pos = SkipSpace(pos);
  if (*pos != '>') Fail(pos);
  FPos = pos + 1;
  FOpen.pop_back();
  FAfterEnd = true;
  return TToken::End;
}

void TXmlScanner::SkipQuestion(const char* ATag) {
  const char* target = ATag + 2;
  if (!Is(*target, KNameStart)) Fail(target);
  const char* pos = SkipName(target);
  const char* end = Find(pos, FEnd, "?>");
  if (!end) Fail(pos);
  FPos = end + 2;
}

bool TXmlScanner::ReadExclamation(const char* ATag) {
  const char* pos = ATag + 2;
  if (pos[0] == '-') {
    if (pos[1] != '-') Fail(pos + 1);
    const char* end = Find(pos + 2, FEnd, "-->");
    if (!end) Fail(FEnd);
    FPos = end + 3;
    return false;
  }
  if (pos[0] == '[') {
    if (!StartsWith(pos, "[CDATA[")) Fail(pos);
    const char* text = pos + 7;
    const char* end = Find(text, FEnd, "]]>");
    if (!end) Fail(FEnd);
    FText = std::string_view(text, static_cast<size_t>(end - text));
    FCData = true;
    FPos = end + 3;
    return true;
  }
  if (StartsWith(pos, "DOCTYPE")) {
    if (!FOpen.empty()) Fail(ATag);
    SkipDocumentType(ATag);
    return false;
  }
  Fail(pos);
}

// The document type is passed over whole: its groups, quoted strings, comments and ignored sections
// may hold '>' and '<' of their own.
void TXmlScanner::SkipDocumentType(const char* ATag) {
  size_t depth = 0;
  const char* pos = ATag + 2;
  while (*pos) {
    if (pos[0] == '<' && pos[1] == '!' && pos[2] != '-') {
      if (pos[2] == '[') {
        size_t ignored = 0;
        for (pos += 3;; ++pos) {
          if (!*pos) Fail(pos);
          if (StartsWith(pos, "<![")) {
            pos += 2;
            ++ignored;
          } else if (StartsWith(pos, "]]>")) {
            if (ignored-- == 0) {
              pos += 3;
              break;
            }
            pos += 2;
          }
        }
      } else {
        pos += 2;
        ++depth;
      }
    } else if (*pos == '"' || *pos == '\'') {
      const auto* close = static_cast<const char*>(std::memchr(pos + 1, *pos, static_cast<size_t>(FEnd - pos - 1)));
      if (!close) Fail(FEnd);
      pos = close + 1;
    } else if (pos[0] == '<' && pos[1] == '?') {
      const char* end = Find(pos + 2, FEnd, "?>");
      if (!end) Fail(FEnd);
      pos = end + 2;
    } else if (StartsWith(pos, "<!--")) {
      const char* end = Find(pos + 4, FEnd, "-->");
      if (!end) Fail(FEnd);
      pos = end + 3;
    } else if (*pos == '<') {
      Fail(pos);
    } else if (*pos == '>') {
      if (depth == 0) {
        FPos = pos + 1;
        return;
      }
      --depth;
      ++pos;
    } else {
      ++pos;
    }
  }
  Fail(pos);
}

void TXmlScanner::Fail(const char* AWhere) const { throw EXmlScanError(static_cast<size_t>(AWhere - FBegin)); }

namespace {
// A character reference's code point, as UTF-8; a value past the last code point keeps its low
// bits, as pugixml writes it.
void AppendUtf8(std::string& AOut, uint32_t ACode) {
  if (ACode < 0x80) {
    AOut += static_cast<char>(ACode);
  } else if (ACode < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACode >> 6));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else if (ACode < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACode >> 12));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACode >> 18));
    AOut += static_cast<char>(0x80 | ((ACode >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACode >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACode & 0x3F));
  }
}

// The escape at the start of AText ('&' first): appends what it stands for and answers its length,
// or 0 when it is none, and the '&' then stands for itself.
size_t DecodeEscape(std::string_view AText, std::string& AOut) {
  static constexpr std::pair<std::string_view, char> KNamed[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&quot;", '"'}};
  for (const auto& [name, character] : KNamed)
    if (AText.starts_with(name)) {
      AOut += character;
      return name.size();
    }
  if (!AText.starts_with("&#")) return 0;
  const bool hex = AText.size() > 2 && AText[2] == 'x';
  size_t pos = hex ? 3 : 2;
  uint32_t code = 0;
  const size_t first = pos;
  for (; pos < AText.size(); ++pos) {
    const char c = AText[pos];
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (hex && (c | ' ') >= 'a' && (c | ' ') <= 'f') {
      digit = static_cast<uint32_t>((c | ' ') - 'a' + 10);
    } else {
      break;
    }
    code = code * (hex ? 16 : 10) + digit;
  }
  if (pos == first || pos == AText.size() || AText[pos] != ';') return 0;
  AppendUtf8(AOut, code);
  return pos + 1;
}
}  // namespace

std::string_view DecodeXmlText(std::string_view AText, TXmlTextKind AKind, std::string& AScratch) {
  // The characters that change, for each kind: nearly every value holds none.
  static constexpr auto KSpecial = [] {
    std::array<std::array<bool, 256>, 3> special{};
    for (auto& kind : special) kind['\r'] = true;
    special[static_cast<int>(TXmlTextKind::Text)]['&'] = true;
    special[static_cast<int>(TXmlTextKind::Attribute)]['&'] = true;
    special[static_cast<int>(TXmlTextKind::Attribute)]['\n'] = true;
    special[static_cast<int>(TXmlTextKind::Attribute)]['\t'] = true;
    return special;
  }();
  const std::array<bool, 256>& special = KSpecial[static_cast<int>(AKind)];
  size_t pos = 0;
  while (pos < AText.size() && !special[static_cast<unsigned char>(AText[pos])]) ++pos;
  if (pos == AText.size()) return AText;
  AScratch.assign(AText.substr(0, pos));
  const char space = AKind == TXmlTextKind::Attribute ? ' ' : '\n';
  while (pos < AText.size()) {
    const char c = AText[pos];
    if (c == '&' && AKind != TXmlTextKind::CData) {
      if (const size_t length = DecodeEscape(AText.substr(pos), AScratch)) {
        pos += length;
        continue;
      }
      AScratch += c;
    } else if (c == '\r') {
      AScratch += space;
      if (pos + 1 < AText.size() && AText[pos + 1] == '\n') ++pos;
    } else if ((c == '\n' || c == '\t') && AKind == TXmlTextKind::Attribute) {
      AScratch += ' ';
    } else {
      AScratch += c;
    }
    ++pos;
  }
  return AScratch;
}

}  // namespace xml_archive
