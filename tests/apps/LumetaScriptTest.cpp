#include <gtest/gtest.h>

#include "apps/LumetaScript.h"
#include "tests/support/Thrown.h"

namespace {

using TWords = std::vector<std::string>;

std::vector<TWords> WordsOf(std::string_view AText) {
  std::vector<TWords> result;
  for (const TScriptCommand& command : SplitScript(AText)) result.push_back(command.Words);
  return result;
}

TEST(LumetaScript, SplitsWordsAsAShellDoes) {
  struct TCase {
    const char* Text;
    std::vector<TWords> Expected;
  };
  const TCase cases[] = {
      {"set 3 \"Start Date\" 2025-11-03", {{"set", "3", "Start Date", "2025-11-03"}}},
      {"  add\t0   x  ", {{"add", "0", "x"}}},
      {"set 1 Priority \"\"", {{"set", "1", "Priority", ""}}},
      {"title 1 \"say \\\"hi\\\" \\\\ there\"", {{"title", "1", "say \"hi\" \\ there"}}},
      // Other backslashes stay as they are, inside quotes and out.
      {"title 1 \"a\\nb\" c\\d", {{"title", "1", "a\\nb", "c\\d"}}},
      // Quoted and plain parts of one word join.
      {"title 1 New\" \"York", {{"title", "1", "New York"}}},
      {"add 0 A; add 0 B;;", {{"add", "0", "A"}, {"add", "0", "B"}}},
      {"title 1 \"a;b # c\"", {{"title", "1", "a;b # c"}}},
      // A comment starts only at the start of a word.
      {"title 1 C# # the language", {{"title", "1", "C#"}}},
      {"# only a comment\n\n\r\nshow\r\n", {{"show"}}},
  };
  for (const TCase& test : cases) {
    SCOPED_TRACE(test.Text);
    EXPECT_EQ(WordsOf(test.Text), test.Expected);
  }
}

TEST(LumetaScript, CommandsKnowTheirLineAndOpenQuotesNameIt) {
  const std::vector<TScriptCommand> commands = SplitScript("show\n\n# note\nundo; redo\n", 10);
  ASSERT_EQ(commands.size(), 3u);
  EXPECT_EQ(commands[0].Line, 10);
  EXPECT_EQ(commands[1].Line, 13);
  EXPECT_EQ(commands[2].Line, 13);

  // A quote never runs on into the next line.
  try {
    SplitScript("show\ntitle 1 \"open\nshow \"x\"", 1);
    FAIL() << "no error";
  } catch (const EScriptSyntax& error) {
    EXPECT_EQ(error.Line(), 2);
    EXPECT_STREQ(error.what(), "line 2: unterminated quote");
  }
  EXPECT_THROW(SplitScript("title 1 \"ends in an escape\\\""), EScriptSyntax);
  // A NUL would cut a title short wherever it goes on as a C string.
  EXPECT_EQ(ThrownText<EScriptSyntax>([] { SplitScript(std::string_view("show\ntitle 1 \"a\0b\"\n", 19), 1); }),
            "line 2: a NUL character, which no command can hold");
}

}  // namespace
