#include "html/HtmlParser.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace {

bool IsAsciiLetter(char AChar) { return (AChar >= 'a' && AChar <= 'z') || (AChar >= 'A' && AChar <= 'Z'); }
bool IsAsciiDigit(char AChar) { return AChar >= '0' && AChar <= '9'; }
char ToLowerAscii(char AChar) { return AChar >= 'A' && AChar <= 'Z' ? static_cast<char>(AChar - 'A' + 'a') : AChar; }
bool IsSpace(char AChar) { return AChar == ' ' || AChar == '\t' || AChar == '\n' || AChar == '\r' || AChar == '\f'; }

// Letters, digits and the punctuation of custom and namespaced names ("o:p", "my-tag").
bool IsNameChar(char AChar) {
  return IsAsciiLetter(AChar) || IsAsciiDigit(AChar) || AChar == '-' || AChar == ':' || AChar == '_' || AChar == '.';
}

bool EqualsIgnoringCase(std::string_view AText, std::string_view ALowerName) {
  return AText.size() == ALowerName.size() && std::equal(AText.begin(), AText.end(), ALowerName.begin(),
                                                         [](char a, char b) { return ToLowerAscii(a) == b; });
}

bool IsOneOf(std::string_view AName, std::initializer_list<std::string_view> ANames) {
  return std::find(ANames.begin(), ANames.end(), AName) != ANames.end();
}

bool IsKnownElement(std::string_view AName) {
  return IsOneOf(
      AName,
      {"a",       "abbr",   "address", "article",    "aside",   "b",        "big",    "blockquote", "body",   "br",
       "caption", "center", "cite",    "code",       "col",     "colgroup", "dd",     "del",        "dfn",    "div",
       "dl",      "dt",     "em",      "figcaption", "figure",  "font",     "footer", "h1",         "h2",     "h3",
       "h4",      "h5",     "h6",      "head",       "header",  "hr",       "html",   "i",          "img",    "ins",
       "kbd",     "li",     "link",    "main",       "mark",    "meta",     "nav",    "ol",         "p",      "pre",
       "q",       "s",      "samp",    "script",     "section", "small",    "span",   "strike",     "strong", "style",
       "sub",     "sup",    "table",   "tbody",      "td",      "tfoot",    "th",     "thead",      "title",  "tr",
       "tt",      "u",      "ul",      "var"});
}

// Elements whose start and end break a line.
bool IsBlockElement(std::string_view AName) {
  return IsOneOf(AName, {"p",          "div", "li",    "tr",      "h1",     "h2",         "h3",      "h4",
                         "h5",         "h6",  "ul",    "ol",      "dl",     "dt",         "dd",      "table",
                         "blockquote", "pre", "hr",    "address", "center", "section",    "article", "header",
                         "footer",     "nav", "aside", "main",    "figure", "figcaption", "caption", "form"});
}

// Elements whose content is never shown as text.
bool IsHiddenElement(std::string_view AName) { return IsOneOf(AName, {"script", "style", "title"}); }

void AppendUtf8(std::string& AOut, uint32_t ACodePoint) {
  if (ACodePoint == 0 || (ACodePoint >= 0xD800 && ACodePoint <= 0xDFFF) || ACodePoint > 0x10FFFF) ACodePoint = 0xFFFD;
  if (ACodePoint < 0x80) {
    AOut += static_cast<char>(ACodePoint);
  } else if (ACodePoint < 0x800) {
    AOut += static_cast<char>(0xC0 | (ACodePoint >> 6));
    AOut += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  } else if (ACodePoint < 0x10000) {
    AOut += static_cast<char>(0xE0 | (ACodePoint >> 12));
    AOut += static_cast<char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  } else {
    AOut += static_cast<char>(0xF0 | (ACodePoint >> 18));
    AOut += static_cast<char>(0x80 | ((ACodePoint >> 12) & 0x3F));
    AOut += static_cast<char>(0x80 | ((ACodePoint >> 6) & 0x3F));
    AOut += static_cast<char>(0x80 | (ACodePoint & 0x3F));
  }
}

// "#65", "#x41" or a name, the text between '&' and ';'; false when it is none of them.
bool DecodeReference(std::string_view ABody, std::string& AOut) {
  if (!ABody.empty() && ABody.front() == '#') {
    ABody.remove_prefix(1);
    const bool hex = !ABody.empty() && (ABody.front() == 'x' || ABody.front() == 'X');
    if (hex) ABody.remove_prefix(1);
    if (ABody.empty()) return false;
    uint32_t codePoint = 0;
    for (char c : ABody) {
      int digit = IsAsciiDigit(c) ? c - '0' : -1;
      if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      if (digit < 0) return false;
      codePoint = std::min<uint32_t>(codePoint * (hex ? 16 : 10) + digit, 0x110000);  // stays invalid, no overflow
    }
    AppendUtf8(AOut, codePoint);
    return true;
  }
  struct TNamed {
    std::string_view Name, Text;
  };
  static constexpr TNamed named[] = {
      {"amp", "&"},        {"lt", "<"},         {"gt", ">"},         {"quot", "\""},      {"apos", "'"},
      {"nbsp", " "},       {"copy", "\u00A9"},  {"reg", "\u00AE"},   {"trade", "\u2122"}, {"hellip", "\u2026"},
      {"ndash", "\u2013"}, {"mdash", "\u2014"}, {"lsquo", "\u2018"}, {"rsquo", "\u2019"}, {"ldquo", "\u201C"},
      {"rdquo", "\u201D"}, {"laquo", "\u00AB"}, {"raquo", "\u00BB"}, {"bull", "\u2022"},  {"middot", "\u00B7"},
      {"deg", "\u00B0"},   {"euro", "\u20AC"}};
  for (const TNamed& entry : named)
    if (entry.Name == ABody) {
      AOut += entry.Text;
      return true;
    }
  return false;
}

// Collects text into lines: white space folds into one space inside a line and never starts or
// ends one; a run of block ends with nothing but white space or inline tags between breaks the
// line once.
class TPlainTextBuilder {
 public:
  void AddText(std::string_view AText) {
    for (size_t i = 0; i < AText.size(); ++i) {
      const char c = AText[i];
      if (IsSpace(c)) {
        FPendingSpace = true;
      } else if (c == '\xC2' && i + 1 < AText.size() && AText[i + 1] == '\xA0') {  // U+00A0
        FPendingSpace = true;
        ++i;
      } else {
        if (FPendingSpace && !FLine.empty()) FLine += ' ';
        FPendingSpace = false;
        FLine += c;
        FAfterBlockEnd = false;
      }
    }
  }
  void AddSpace() { FPendingSpace = true; }
  void LineBreak() {
    NewLine();
    FAfterBlockEnd = false;
  }
  void BlockStart() {
    if (!FLine.empty()) NewLine();
    FAfterBlockEnd = false;
  }
  void BlockEnd() {
    if (!FAfterBlockEnd) NewLine();
    FAfterBlockEnd = true;
  }

  std::string Lines() const {
    std::string result;
    bool emptyLinePending = false;
    for (const std::string& line : AllLines()) {
      if (line.empty()) {
        emptyLinePending = true;
        continue;
      }
      if (!result.empty()) result += emptyLinePending ? "\r\n\r\n" : "\r\n";
      result += line;
      emptyLinePending = false;
    }
    return result;
  }

  std::string OneLine() const {
    std::string result;
    for (const std::string& line : AllLines()) {
      if (line.empty()) continue;
      if (!result.empty()) result += ' ';
      result += line;
    }
    return result;
  }

 private:
  void NewLine() {
    FLines.push_back(std::move(FLine));
    FLine.clear();
    FPendingSpace = false;
  }
  std::vector<std::string> AllLines() const {
    std::vector<std::string> lines = FLines;
    lines.push_back(FLine);
    return lines;
  }

  std::vector<std::string> FLines;
  std::string FLine;
  bool FPendingSpace = false;
  bool FAfterBlockEnd = false;
};

}  // namespace

THtmlParser::THtmlParser(std::string_view AHtml) : FHtml(AHtml), FLastGreater(AHtml.rfind('>')) {}

bool THtmlParser::Next(THtmlToken& AToken) {
  if (FPos >= FHtml.size()) return false;
  AToken = THtmlToken{};

  if (!FRawTextEnd.empty()) {
    // Script and style bodies may hold "<" freely; they end at their own closing tag only.
    size_t end = FPos;
    while ((end = FHtml.find("</", end)) != std::string_view::npos) {
      const size_t after = end + 2 + FRawTextEnd.size();
      if (EqualsIgnoringCase(FHtml.substr(end + 2, FRawTextEnd.size()), FRawTextEnd) &&
          (after >= FHtml.size() || IsSpace(FHtml[after]) || FHtml[after] == '/' || FHtml[after] == '>'))
        break;
      end += 2;
    }
    if (end == std::string_view::npos) end = FHtml.size();
    FRawTextEnd.clear();
    if (end > FPos) {
      AToken.Source = FHtml.substr(FPos, end - FPos);
      FPos = end;
      return true;
    }
  }

  if (ReadMarkup(FPos, AToken)) {
    FPos += AToken.Source.size();
    if (AToken.Kind == THtmlTokenKind::Tag && !AToken.Closing && !AToken.SelfClosing &&
        (AToken.Name == "script" || AToken.Name == "style"))
      FRawTextEnd = AToken.Name;
    return true;
  }

  size_t end = FPos + 1;
  THtmlToken markup;
  while ((end = FHtml.find('<', end)) != std::string_view::npos && !ReadMarkup(end, markup)) ++end;
  if (end == std::string_view::npos) end = FHtml.size();
  AToken = THtmlToken{};
  AToken.Source = FHtml.substr(FPos, end - FPos);
  FPos = end;
  return true;
}

// A complete tag, comment or declaration starting at APos; false when there is none.
bool THtmlParser::ReadMarkup(size_t APos, THtmlToken& AToken) const {
  if (APos + 1 >= FHtml.size() || FHtml[APos] != '<') return false;
  if (FLastGreater == std::string_view::npos || FLastGreater < APos) return false;
  const std::string_view rest = FHtml.substr(APos);
  size_t end = std::string_view::npos;
  if (rest.starts_with("<!--")) {
    end = rest.find("-->", 4);
    if (end != std::string_view::npos) end += 3;
  } else if (rest[1] == '!' || rest[1] == '?') {
    end = rest.find('>', 2);
    if (end != std::string_view::npos) end += 1;
  } else {
    return ReadTag(APos, AToken);
  }
  if (end == std::string_view::npos) return false;
  AToken = THtmlToken{};
  AToken.Kind = THtmlTokenKind::Comment;
  AToken.Source = rest.substr(0, end);
  return true;
}

bool THtmlParser::ReadTag(size_t APos, THtmlToken& AToken) const {
  size_t i = APos + 1;
  const bool closing = i < FHtml.size() && FHtml[i] == '/';
  if (closing) ++i;
  if (i >= FHtml.size() || !IsAsciiLetter(FHtml[i])) return false;
  const size_t nameStart = i;
  while (i < FHtml.size() && IsNameChar(FHtml[i])) ++i;
  const size_t nameEnd = i;

  // Skip the attributes; a '>' inside a quoted value does not end the tag.
  while (i < FHtml.size() && FHtml[i] != '>') {
    if (FHtml[i++] != '=') continue;
    while (i < FHtml.size() && IsSpace(FHtml[i])) ++i;
    if (i < FHtml.size() && (FHtml[i] == '"' || FHtml[i] == '\'')) {
      const size_t close = FHtml.find(FHtml[i], i + 1);
      if (close == std::string_view::npos) return false;
      i = close + 1;
    }
  }
  if (i >= FHtml.size()) return false;

  AToken = THtmlToken{};
  AToken.Kind = THtmlTokenKind::Tag;
  AToken.Source = FHtml.substr(APos, i + 1 - APos);
  AToken.Name.reserve(nameEnd - nameStart);
  for (size_t n = nameStart; n < nameEnd; ++n) AToken.Name += ToLowerAscii(FHtml[n]);
  AToken.Closing = closing;
  AToken.SelfClosing = i > nameEnd && FHtml[i - 1] == '/';
  return true;
}

std::vector<THtmlToken> TokenizeHtml(std::string_view AHtml) {
  std::vector<THtmlToken> tokens;
  THtmlParser parser(AHtml);
  THtmlToken token;
  while (parser.Next(token)) tokens.push_back(token);
  return tokens;
}

std::string DecodeHtmlEntities(std::string_view AText) {
  constexpr size_t MaxReferenceLength = 32;  // bounds the search for ';' after a lone '&'
  std::string result;
  result.reserve(AText.size());
  size_t pos = 0;
  while (pos < AText.size()) {
    const size_t amp = AText.find('&', pos);
    if (amp == std::string_view::npos) break;
    result.append(AText.substr(pos, amp - pos));
    const size_t semicolon = AText.substr(amp + 1, MaxReferenceLength).find(';');
    if (semicolon != std::string_view::npos && DecodeReference(AText.substr(amp + 1, semicolon), result)) {
      pos = amp + semicolon + 2;
    } else {
      result += '&';
      pos = amp + 1;
    }
  }
  if (pos < AText.size()) result.append(AText.substr(pos));
  return result;
}

bool LooksLikeHtml(std::string_view AText) {
  if (AText.find('<') == std::string_view::npos) return false;
  THtmlParser parser(AText);
  THtmlToken token;
  while (parser.Next(token))
    if (token.Kind == THtmlTokenKind::Comment || (token.Kind == THtmlTokenKind::Tag && IsKnownElement(token.Name)))
      return true;
  return false;
}

std::string HtmlToPlainText(std::string_view AHtml, bool AWithLineBreaks) {
  if (!LooksLikeHtml(AHtml)) return std::string(AHtml);

  TPlainTextBuilder builder;
  THtmlParser parser(AHtml);
  THtmlToken token;
  std::string hiddenUntil;  // the element whose closing tag ends a hidden stretch
  while (parser.Next(token)) {
    if (!hiddenUntil.empty()) {
      if (token.Kind == THtmlTokenKind::Tag && token.Closing && token.Name == hiddenUntil) hiddenUntil.clear();
      continue;
    }
    if (token.Kind == THtmlTokenKind::Text) {
      builder.AddText(DecodeHtmlEntities(token.Source));
    } else if (token.Kind == THtmlTokenKind::Tag) {
      if (token.Name == "br") {
        builder.LineBreak();
      } else if (token.Name == "td" || token.Name == "th") {
        builder.AddSpace();
      } else if (IsBlockElement(token.Name)) {
        if (token.Closing)
          builder.BlockEnd();
        else
          builder.BlockStart();
      } else if (IsHiddenElement(token.Name) && !token.Closing && !token.SelfClosing) {
        hiddenUntil = token.Name;
      }
    }
  }
  return AWithLineBreaks ? builder.Lines() : builder.OneLine();
}
