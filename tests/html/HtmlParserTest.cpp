#include <gtest/gtest.h>

#include "html/HtmlParser.h"

namespace {

using K = THtmlTokenKind;

struct TExpectedToken {
  K Kind;
  std::string Source;
  std::string Name = {};
  bool Closing = false;
  bool SelfClosing = false;
};

void ExpectTokens(std::string_view AHtml, const std::vector<TExpectedToken>& AExpected) {
  const auto tokens = TokenizeHtml(AHtml);
  ASSERT_EQ(tokens.size(), AExpected.size()) << AHtml;
  for (size_t i = 0; i < tokens.size(); ++i) {
    SCOPED_TRACE(std::string(AHtml) + " token " + std::to_string(i));
    EXPECT_EQ(tokens[i].Kind, AExpected[i].Kind);
    EXPECT_EQ(tokens[i].Source, AExpected[i].Source);
    EXPECT_EQ(tokens[i].Name, AExpected[i].Name);
    EXPECT_EQ(tokens[i].Closing, AExpected[i].Closing);
    EXPECT_EQ(tokens[i].SelfClosing, AExpected[i].SelfClosing);
  }
}

TEST(HtmlTokenizer, SplitsTagsTextAndComments) {
  ExpectTokens("<P Class=\"a>b\">x<br/>y<!-- c > d --></p>", {{K::Tag, "<P Class=\"a>b\">", "p"},
                                                              {K::Text, "x"},
                                                              {K::Tag, "<br/>", "br", false, true},
                                                              {K::Text, "y"},
                                                              {K::Comment, "<!-- c > d -->"},
                                                              {K::Tag, "</p>", "p", true}});
  ExpectTokens("<!DOCTYPE html><o:p></o:p>",
               {{K::Comment, "<!DOCTYPE html>"}, {K::Tag, "<o:p>", "o:p"}, {K::Tag, "</o:p>", "o:p", true}});
}

TEST(HtmlTokenizer, MalformedMarkupBecomesText) {
  ExpectTokens("a < b <3 </ c", {{K::Text, "a < b <3 </ c"}});
  ExpectTokens("<b>x<i", {{K::Tag, "<b>", "b"}, {K::Text, "x<i"}});
  ExpectTokens("x<!-- never closed > y", {{K::Text, "x<!-- never closed > y"}});
  ExpectTokens("<a title='x>y", {{K::Text, "<a title='x>y"}});
  ExpectTokens("<", {{K::Text, "<"}});
  ExpectTokens("", {});
}

TEST(HtmlTokenizer, ScriptAndStyleBodiesAreRawText) {
  ExpectTokens("<script>if (a<b) x='</p>';</SCRIPT >z", {{K::Tag, "<script>", "script"},
                                                         {K::Text, "if (a<b) x='</p>';"},
                                                         {K::Tag, "</SCRIPT >", "script", true},
                                                         {K::Text, "z"}});
  ExpectTokens("<style>p{}", {{K::Tag, "<style>", "style"}, {K::Text, "p{}"}});
}

TEST(HtmlEntities, DecodesReferencesAndKeepsUnknownOnes) {
  EXPECT_EQ(DecodeHtmlEntities("&amp;&lt;&gt;&quot;&apos;&nbsp;"), "&<>\"' ");
  EXPECT_EQ(DecodeHtmlEntities("&#65;&#x42;&#X63;&#233;&#x20AC;&#x1F600;"), "ABc\u00E9\u20AC\U0001F600");
  EXPECT_EQ(DecodeHtmlEntities("&#0;&#xD800;&#x110000;&#99999999999999;"), "\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(DecodeHtmlEntities("&bogus; &amp &#; &#x; &#12a; a & b &"), "&bogus; &amp &#; &#x; &#12a; a & b &");
}

TEST(HtmlToPlainText, TextThatIsNotHtmlComesBackUnchanged) {
  for (const char* text : {"a  b", " padded \n", "x < y & z &amp;", "a<b and c", "<TODO> call <john@example.com>",
                           "line 1\r\n\r\n\r\nline 2"}) {
    EXPECT_FALSE(LooksLikeHtml(text)) << text;
    EXPECT_EQ(HtmlToPlainText(text, false), text);
    EXPECT_EQ(HtmlToPlainText(text, true), text);
  }
  EXPECT_TRUE(LooksLikeHtml("see <b>this</b>"));
  EXPECT_TRUE(LooksLikeHtml("<!-- generated -->"));
}

TEST(HtmlToPlainText, RichTextNoteInBothForms) {
  const char* note =
      "<html><head><title>Note</title><style>p { margin: 0 }</style></head>\n"
      "<body>\n"
      "<p>Call   <b>Anna</b> &amp; Tom&nbsp;&nbsp;about\nthe <i>budget</i>.  </p>\n"
      "<p>&nbsp;</p><p><br></p>\n"
      "<div><p>Agenda:</p>\n"
      "<ul>\n  <li>Costs &lt;&nbsp;5&#8201;k&#8364;</li>\n  <li>Dates</li>\n</ul></div>\n"
      "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>\n"
      "Line one<br/>Line two<br><br><br>After a gap<script>alert('<p>')</script><!-- end -->\n"
      "</body></html>";
  EXPECT_EQ(HtmlToPlainText(note, true),
            "Call Anna & Tom about the budget.\r\n"
            "\r\n"
            "Agenda:\r\n"
            "Costs < 5\u2009k\u20AC\r\n"
            "Dates\r\n"
            "a b\r\n"
            "c\r\n"
            "Line one\r\n"
            "Line two\r\n"
            "\r\n"
            "After a gap");
  EXPECT_EQ(HtmlToPlainText(note, false),
            "Call Anna & Tom about the budget. Agenda: Costs < 5\u2009k\u20AC Dates a b c Line one Line two "
            "After a gap");
}

TEST(HtmlToPlainText, MalformedHtmlNeverLosesText) {
  EXPECT_EQ(HtmlToPlainText("<b>bold</b> and <i", false), "bold and <i");
  EXPECT_EQ(HtmlToPlainText("<p>x</p><!-- open", true), "x\r\n<!-- open");
  EXPECT_EQ(HtmlToPlainText("<p>1 < 2</p>", false), "1 < 2");
  EXPECT_EQ(HtmlToPlainText("<p>a</p><p>b", true), "a\r\nb");
}

TEST(HtmlToPlainText, EmptyLinesAreTrimmedAtBothEnds) {
  EXPECT_EQ(HtmlToPlainText("<p>&nbsp;</p><br> x <br>\n<p> </p>", true), "x");
  EXPECT_EQ(HtmlToPlainText("<br><br>", true), "");
  EXPECT_EQ(HtmlToPlainText("<br><br>", false), "");
}

}  // namespace
