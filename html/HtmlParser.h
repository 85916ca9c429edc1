#pragma once
// A small HTML tokenizer (tags, text, comments) and the plain-text rendering of string values
// that may hold HTML mark-up, such as rich-text notes.
//
// Two plain-text forms:
// - one line (AWithLineBreaks false), for tooltips and columns: the text between the tags with
//   character references decoded and every run of white space, line breaks included, folded
//   into one space, trimmed;
// - lines (AWithLineBreaks true), for multi-line views: the same, but <br> and the ends of
//   paragraphs, divisions, list items, table rows and the like become "\r\n", with at most one
//   empty line in a row and no trailing white space.
// Text that does not look like HTML comes back exactly as it stands in both forms, entities and
// all, so a plain note such as "a  b" or "x < y & z" is never altered (see LooksLikeHtml).
#include <string>
#include <string_view>
#include <vector>

enum class THtmlTokenKind { Tag, Text, Comment };

// Source views into the parsed text, which must outlive the token.
struct THtmlToken {
  THtmlTokenKind Kind = THtmlTokenKind::Text;
  std::string_view Source;   // the token as it stands, "<p class=x>" or "a &amp; b"
  std::string Name;          // tags only: the element name in lower case
  bool Closing = false;      // "</p>"
  bool SelfClosing = false;  // "<br/>"
};

// Splits HTML into tokens, never failing: a "<" that does not open a tag ("a < b", "<3") and a
// tag or comment left unterminated at the end of the input are text. "<!DOCTYPE ...>" and
// "<?...?>" come as comments. The content of <script> and <style> is one text token.
class THtmlParser {
 public:
  explicit THtmlParser(std::string_view AHtml);

  // The next token; false at the end of the input.
  bool Next(THtmlToken& AToken);

 private:
  bool ReadMarkup(size_t APos, THtmlToken& AToken) const;
  bool ReadTag(size_t APos, THtmlToken& AToken) const;

  std::string_view FHtml;
  size_t FPos = 0;
  size_t FLastGreater;      // no tag can end after the last '>'
  std::string FRawTextEnd;  // inside <script> or <style>: the closing tag name to look for
};

std::vector<THtmlToken> TokenizeHtml(std::string_view AHtml);

// Decodes named references (&amp; &lt; &gt; &quot; &apos; &nbsp; and a few typographic ones),
// &#N; and &#xN;. &nbsp; becomes a plain space; a code point that cannot be encoded becomes
// U+FFFD; anything unknown or without its ';' stays as it stands.
std::string DecodeHtmlEntities(std::string_view AText);

// True when the text holds a comment, a declaration or a complete tag of a known HTML element;
// "<b>", "<br/>" and "</p>" count, "<TODO>", "<john@example.com>" and "a < b" do not.
bool LooksLikeHtml(std::string_view AText);

std::string HtmlToPlainText(std::string_view AHtml, bool AWithLineBreaks);
