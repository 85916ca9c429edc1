#pragma once
// The word syntax of lumeta scripts: commands end at a line break or at ";", blanks separate
// words, double quotes group (with \" and \\ inside them), and "#" at the start of a word starts
// a comment that runs to the end of the line.
#include <string>
#include <string_view>
#include <vector>

#include "com/ComErrors.h"

struct TScriptCommand {
  std::vector<std::string> Words;
  int Line = 0;  // counted from the first line of the text, which is AFirstLine
};

// Malformed script text; the message names the line ("line 3: unterminated quote").
class EScriptSyntax : public ELumetaError {
 public:
  EScriptSyntax(int ALine, const std::string& AReason);
  ~EScriptSyntax() override;
  int Line() const noexcept { return FLine; }
  // The message without its line ("unterminated quote").
  const std::string& Reason() const noexcept { return FReason; }

 private:
  int FLine;
  std::string FReason;
};

// The commands of a text in order; empty commands (blank lines, comments, ";;") are left out.
// Quotes never span lines. Raises EScriptSyntax for a quote left open at the end of a line.
std::vector<TScriptCommand> SplitScript(std::string_view AText, int AFirstLine = 1);
