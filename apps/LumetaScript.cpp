#include "apps/LumetaScript.h"

#include <algorithm>

EScriptSyntax::EScriptSyntax(int ALine, const std::string& AReason)
    : ELumetaError("line " + std::to_string(ALine) + ": " + AReason, E_INVALIDARG), FLine(ALine), FReason(AReason) {}

EScriptSyntax::~EScriptSyntax() = default;

std::vector<TScriptCommand> SplitScript(std::string_view AText, int AFirstLine) {
  // A NUL would end a title wherever the text is handed on as a C string.
  if (const size_t nul = AText.find('\0'); nul != std::string_view::npos)
    throw EScriptSyntax(AFirstLine + static_cast<int>(std::count(AText.begin(), AText.begin() + nul, '\n')),
                        "a NUL character, which no command can hold");
  std::vector<TScriptCommand> commands;
  TScriptCommand command{{}, AFirstLine};
  std::string word;
  bool inWord = false;  // a word has begun, even an empty quoted one ("")
  int line = AFirstLine;

  const auto endWord = [&] {
    if (inWord) command.Words.push_back(std::move(word));
    word.clear();
    inWord = false;
  };
  const auto endCommand = [&] {
    endWord();
    if (!command.Words.empty()) commands.push_back(std::move(command));
    command = TScriptCommand{{}, line};
  };

  for (size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    if (c == '\n') {
      endCommand();
      command.Line = ++line;
    } else if (c == ';') {
      endCommand();
    } else if (c == ' ' || c == '\t' || c == '\r') {
      endWord();
    } else if (c == '#' && !inWord) {
      while (i + 1 < AText.size() && AText[i + 1] != '\n') ++i;
    } else if (c == '"') {
      inWord = true;
      for (++i;; ++i) {
        if (i >= AText.size() || AText[i] == '\n') throw EScriptSyntax(line, "unterminated quote");
        if (AText[i] == '"') break;
        if (AText[i] == '\\' && i + 1 < AText.size() && (AText[i + 1] == '"' || AText[i + 1] == '\\')) ++i;
        word += AText[i];
      }
    } else {
      inWord = true;
      word += c;
    }
  }
  endCommand();
  return commands;
}
