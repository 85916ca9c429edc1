// The lumeta command line: opens a map through the reference host, with the plug-in loaded, and runs
// lumeta commands on it from the command line, script files or standard input.
#include <unistd.h>

#include <QLocale>
#include <QString>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "apps/LumetaScript.h"
#include "apps/LumetaShell.h"
#include "com/AtomicFile.h"
#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/Guid.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"
#include "com/ProcessHeap.h"
#include "host/LumetaPlugInLoader.h"
#include "settings/LumetaSettingsStore.h"

#ifndef LUMETA_VERSION
#define LUMETA_VERSION "0.0.0"
#endif

namespace {

// A command of a script failed; the run stops there.
constexpr int ExitCommandFailed = 1;
// The run could not start: bad options, or a plug-in, map or script that cannot be read.
constexpr int ExitCannotStart = 2;

class EUsage : public ELumetaError {
 public:
  explicit EUsage(const std::string& AMessage) : ELumetaError(AMessage + " (see lumeta --help)", E_INVALIDARG) {}
};

struct TScriptSource {
  bool IsFile = false;
  std::string Text;  // the commands, or the script's path
};

// Scripts are read whole; a larger one is more likely an endless file such as /dev/zero.
constexpr size_t KMaxScriptSize = 16 << 20;

struct TOptions {
  std::string PlugInDir = DefaultPlugInDir();
  std::optional<std::string> SettingsDir;
  std::string Today;
  std::string Locale;
  std::vector<std::string> Positional;
  std::vector<TScriptSource> Scripts;
  TStandingAnswer Answer = TStandingAnswer::Default;
  bool Help = false;
  bool Version = false;
};

void PrintUsage(std::ostream& AOut) {
  AOut << "Usage: lumeta [OPTIONS] [MAP]\n"
          "       lumeta [OPTIONS] plugins\n"
          "\n"
          "Opens the map file MAP (a new, empty map when it does not exist; save writes it there)\n"
          "and runs lumeta commands on it: from -c, from -f, else from standard input, one a line.\n"
          "`lumeta plugins` loads the plug-in and lists its property managers; it needs no map.\n"
          "\n"
          "Options:\n"
          "  -c COMMANDS         run COMMANDS, separated by ';' or line breaks (may repeat)\n"
          "  -f SCRIPT           run the commands of the file SCRIPT, '-' for standard input (may repeat)\n"
          "  --plugin-dir DIR    folder holding "
       << LumetaPlugInLibraryName << " (default: " << DefaultPlugInDir()
       << ")\n"
          "  --settings-dir DIR  folder of the settings files (default: $LUMETA_SETTINGS_DIR,\n"
          "                      else ~/.config/lumeta)\n"
          "  --today YYYY-MM-DD  take this day as today (tooltips mark overdue actions by it)\n"
          "  --locale NAME       write dates in the short format of locale NAME, e.g. en_US\n"
          "  --yes, --no         answer the plug-in's questions Yes (else OK) or No (else Cancel);\n"
          "                      without them each question takes its default button\n"
          "  --help              show this help and exit\n"
          "  --version           show the version and exit\n"
          "\n"
          "Words split as in a shell: blanks separate, double quotes group (\\\" and \\\\ inside),\n"
          "# at the start of a word begins a comment. IDs are node IDs; 0 is the map's root.\n"
          "FIELD is an action field name such as \"Start Date\"; dates are YYYY-MM-DD, empty or 0 for none.\n"
          "\n"
          "Commands:\n"
       << TLumetaShell::CommandSummary()
       << "\n"
          "Results go to standard output, warnings and errors (\"warning: \", \"error: \") to standard\n"
          "error. Exit status: 0 done, 1 a command failed (the run stops there), 2 bad options or a\n"
          "plug-in, map or script that cannot be read. The whole language: docs/lumeta.md.\n";
}

TOptions ParseOptions(int AArgc, char** AArgv) {
  TOptions options;
  bool optionsEnded = false;
  for (int i = 1; i < AArgc; ++i) {
    const std::string_view argument = AArgv[i];
    // The value of an option given as "--name VALUE" or "--name=VALUE".
    const auto value = [&](std::string_view AName, std::string& ATarget) {
      if (argument == AName) {
        if (i + 1 >= AArgc) throw EUsage(std::string(AName) + " needs a value");
        ATarget = AArgv[++i];
        return true;
      }
      if (argument.size() > AName.size() && argument.starts_with(AName) && argument[AName.size()] == '=') {
        ATarget = argument.substr(AName.size() + 1);
        return true;
      }
      return false;
    };
    std::string text;
    if (optionsEnded || argument.empty() || argument.front() != '-') {
      options.Positional.emplace_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--version") {
      options.Version = true;
    } else if (argument == "--yes" || argument == "--no") {
      const TStandingAnswer answer = argument == "--yes" ? TStandingAnswer::Yes : TStandingAnswer::No;
      if (options.Answer != TStandingAnswer::Default && options.Answer != answer)
        throw EUsage("--yes and --no exclude each other");
      options.Answer = answer;
    } else if (value("-c", text)) {
      options.Scripts.push_back({false, text});
    } else if (value("-f", text)) {
      options.Scripts.push_back({true, text});
    } else if (value("--settings-dir", text)) {
      // An empty folder would quietly mean the default one, the user's own settings.
      if (text.empty()) throw EUsage("--settings-dir needs a folder");
      options.SettingsDir = text;
    } else if (value("--today", options.Today)) {
      if (options.Today.empty()) throw EUsage("--today needs a date as YYYY-MM-DD");
    } else if (value("--plugin-dir", options.PlugInDir) || value("--locale", options.Locale)) {
    } else {
      throw EUsage("unknown option '" + std::string(argument) + "'");
    }
  }
  if (options.Positional.size() > 1) throw EUsage("more than one map given: '" + options.Positional[1] + "'");
  return options;
}

// Only the form YYYY-MM-DD, and only a day that exists.
double ParseToday(const std::string& AText) {
  bool shaped = AText.size() == 10 && AText[4] == '-' && AText[7] == '-';
  for (size_t i = 0; shaped && i < AText.size(); ++i)
    if (i != 4 && i != 7 && (AText[i] < '0' || AText[i] > '9')) shaped = false;
  double date = 0;
  if (!shaped || !TryEncodeDate(std::stoi(AText.substr(0, 4)), std::stoi(AText.substr(5, 2)),
                                std::stoi(AText.substr(8, 2)), date))
    throw EUsage("--today needs a date as YYYY-MM-DD, not '" + AText + "'");
  return date;
}

// Fixes what renderings take from the environment: the day, the date format, the settings folder;
// and how the plug-in's message boxes and questions are answered.
void ApplyEnvironment(const TOptions& AOptions) {
  SetDialogService(std::make_shared<TStreamDialogService>(std::cerr, AOptions.Answer));
  const double today = AOptions.Today.empty() ? 0 : ParseToday(AOptions.Today);
  if (!AOptions.Locale.empty()) {
    const QLocale locale(QString::fromStdString(AOptions.Locale));
    if (locale.language() == QLocale::C && AOptions.Locale != "C" && AOptions.Locale != "POSIX")
      throw EUsage("unknown locale '" + AOptions.Locale + "'");
    SetLocaleService(std::make_shared<TFixedLocaleService>(
        today, locale.dateFormat(QLocale::ShortFormat).toStdString(), AOptions.Locale));
  } else if (today != 0) {
    SetLocaleService(std::make_shared<TSystemLocaleService>(today));
  }
  if (AOptions.SettingsDir) {
    SetSettingsFolder(*AOptions.SettingsDir);
    // The plug-in library keeps a store of its own; the variable points it at the same folder.
    setenv(TSettingsStore::FolderVariable, AOptions.SettingsDir->c_str(), 1);
  }
}

int RunPlugins(const TOptions& AOptions) {
  if (!AOptions.Scripts.empty()) throw EUsage("plugins runs no commands");
  TLumetaPlugInLoader loader;
  loader.Load(PlugInLibraryPath(AOptions.PlugInDir));
  // Which file was loaded matters as soon as more than one build or installation is around.
  std::cout << "Plug-in library: " << loader.Path() << '\n';
  for (const TPropertyClassEntry& entry : loader.PlugInClasses())
    std::cout << entry.Description << ' ' << GuidToString(entry.ClassID) << " flags=" << entry.Flags << '\n';
  return 0;
}

enum TLineRead { lrLine, lrEnd, lrTooLong };

// std::getline without a limit would read an endless line (standard input from /dev/zero) until
// memory runs out.
TLineRead ReadLine(std::istream& AIn, std::string& ALine) {
  ALine.clear();
  std::streambuf* buffer = AIn.rdbuf();
  for (;;) {
    const int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) return ALine.empty() ? lrEnd : lrLine;
    if (c == '\n') return lrLine;
    if (ALine.size() >= KMaxScriptSize) return lrTooLong;
    ALine += static_cast<char>(c);
  }
}

// Where a script's commands come from, which says how a failure names its place: a file's
// failures name the file and line ("plan.lumeta:12: "), those of commands piped in name the line;
// commands given with -c or typed at a terminal need no place, save for a syntax error's line.
struct TScriptInput {
  std::istream& Stream;
  std::string File;        // the script's path; empty for -c text and standard input
  bool Located = false;    // failures name their line
  bool KeepGoing = false;  // a person typing: a failure does not end the run
  bool Prompt = false;
};

class TScriptRunner {
 public:
  explicit TScriptRunner(TLumetaShell& AShell) : FShell(AShell) {}

  // Runs every command of the input; false when one failed (the error is printed).
  bool Run(const TScriptInput& AInput) {
    std::string line;
    bool allDone = true;
    for (int number = 1;; ++number) {
      if (AInput.Prompt) std::cerr << "lumeta> " << std::flush;
      const TLineRead read = ReadLine(AInput.Stream, line);
      if (read == lrEnd) break;
      if (read == lrTooLong) {
        std::cout.flush();
        std::cerr << "error: line " << number << " is longer than " << (KMaxScriptSize >> 20) << " MiB\n";
        return false;
      }
      if (RunLine(AInput, line, number)) continue;
      allDone = false;
      if (!AInput.KeepGoing) return false;
    }
    if (AInput.Prompt) std::cerr << '\n';
    return allDone;
  }

 private:
  bool RunLine(const TScriptInput& AInput, const std::string& ALine, int ALineNumber) {
    try {
      for (const TScriptCommand& command : SplitScript(ALine, ALineNumber)) FShell.Run(command.Words);
      return true;
    } catch (const EScriptSyntax& error) {
      Fail(Place(AInput, ALineNumber, true) + error.Reason());
    } catch (const std::exception& error) {
      Fail(Place(AInput, ALineNumber, AInput.Located) + error.what());
    }
    return false;
  }

  static std::string Place(const TScriptInput& AInput, int ALine, bool ALocated) {
    if (!ALocated) return {};
    return (AInput.File.empty() ? "line " : AInput.File + ':') + std::to_string(ALine) + ": ";
  }

  static void Fail(const std::string& AMessage) {
    std::cout.flush();
    std::cerr << "error: " << VisibleLine(AMessage) << '\n';
  }

  TLumetaShell& FShell;
};

int Run(int AArgc, char** AArgv) {
  TOptions options;
  try {
    options = ParseOptions(AArgc, AArgv);
    if (options.Help) {
      PrintUsage(std::cout);
      return 0;
    }
    if (options.Version) {
      std::cout << "lumeta " LUMETA_VERSION "\n";
      return 0;
    }
    ApplyEnvironment(options);
    if (!options.Positional.empty() && options.Positional.front() == "plugins") return RunPlugins(options);
  } catch (const std::exception& error) {
    std::cerr << "lumeta: error: " << VisibleLine(error.what()) << '\n';
    return ExitCannotStart;
  }

  // Scripts are read first: a script that cannot be read should not cost a map load.
  std::vector<std::unique_ptr<std::istringstream>> texts;
  std::vector<TScriptInput> inputs;
  for (const TScriptSource& source : options.Scripts) {
    if (!source.IsFile) {
      texts.push_back(std::make_unique<std::istringstream>(source.Text));
      inputs.push_back({*texts.back(), {}, false, false, false});
    } else if (source.Text != "-") {
      try {
        texts.push_back(std::make_unique<std::istringstream>(ReadWholeFile(source.Text, KMaxScriptSize)));
      } catch (const EFileError& error) {
        std::cerr << "lumeta: error: " << source.Text << ": cannot read the script: " << VisibleLine(error.Reason()) << '\n';
        return ExitCannotStart;
      }
      inputs.push_back({*texts.back(), source.Text, true, false, false});
    } else {
      inputs.push_back({std::cin, {}, true, false, false});
    }
  }

  TLumetaShell shell(std::cout, std::cerr);
  try {
    shell.Open(options.PlugInDir, options.Positional.empty() ? std::string() : options.Positional.front());
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "lumeta: error: " << VisibleLine(error.what()) << '\n';
    return ExitCannotStart;
  }

  TScriptRunner runner(shell);
  if (inputs.empty()) {
    const bool terminal = isatty(STDIN_FILENO);
    inputs.push_back({std::cin, {}, !terminal, terminal, terminal && isatty(STDERR_FILENO)});
  }
  for (const TScriptInput& input : inputs)
    if (!runner.Run(input)) return ExitCommandFailed;
  return shell.Close() ? 0 : ExitCommandFailed;
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  try {
    const int status = Run(argc, argv);
    std::cout.flush();
    return status;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "lumeta: error: " << VisibleLine(error.what()) << '\n';
    return ExitCannotStart;
  }
}
