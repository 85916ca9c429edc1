// The lumeta command line: loads the plug-in through the reference host and runs one command.
#include <exception>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "com/ComErrors.h"
#include "com/Guid.h"
#include "host/LumetaPlugInLoader.h"

#ifndef LUMETA_VERSION
#define LUMETA_VERSION "0.0.0"
#endif

namespace {

// Every failure, usage or otherwise, ends the program with this status and one line on stderr.
constexpr int ExitFailure = 2;

struct TOptions {
  std::string PlugInDir = DefaultPlugInDir();
  std::string Command;
  std::vector<std::string> Arguments;
  bool Help = false;
  bool Version = false;
};

class EUsage : public ELumetaError {
 public:
  explicit EUsage(const std::string& AMessage) : ELumetaError(AMessage + " (see lumeta --help)", E_INVALIDARG) {}
};

void NoArguments(const TOptions& AOptions) {
  if (!AOptions.Arguments.empty())
    throw EUsage(AOptions.Command + " takes no arguments, got '" + AOptions.Arguments.front() + "'");
}

int RunPlugins(const TOptions& AOptions) {
  NoArguments(AOptions);
  TLumetaPlugInLoader loader;
  loader.Load(PlugInLibraryPath(AOptions.PlugInDir));
  for (const TPropertyClassEntry& entry : loader.PlugInClasses())
    std::cout << entry.Description << ' ' << GuidToString(entry.ClassID) << " flags=" << entry.Flags << '\n';
  return 0;
}

struct TCommand {
  std::string_view Name;
  std::string_view Summary;
  int (*Run)(const TOptions& AOptions);
};

constexpr TCommand Commands[] = {
    {"plugins", "load the plug-in and list its property managers with their catalogue flags", RunPlugins},
};

void PrintUsage(std::ostream& AOut) {
  AOut << "Usage: lumeta [OPTIONS] COMMAND\n"
          "\n"
          "Options:\n"
          "  --plugin-dir DIR  folder holding "
       << LumetaPlugInLibraryName << " (default: " << DefaultPlugInDir()
       << ")\n"
          "  --help            show this help and exit\n"
          "  --version         show the version and exit\n"
          "\n"
          "Commands:\n";
  for (const TCommand& command : Commands) AOut << "  " << command.Name << "  " << command.Summary << '\n';
}

TOptions ParseOptions(int AArgc, char** AArgv) {
  TOptions options;
  bool optionsEnded = false;
  for (int i = 1; i < AArgc; ++i) {
    const std::string_view argument = AArgv[i];
    if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-") {
      if (options.Command.empty())
        options.Command = argument;
      else
        options.Arguments.emplace_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      options.Help = true;
    } else if (argument == "--version") {
      options.Version = true;
    } else if (argument == "--plugin-dir") {
      if (i + 1 >= AArgc) throw EUsage("--plugin-dir needs a folder");
      options.PlugInDir = AArgv[++i];
    } else if (argument.starts_with("--plugin-dir=")) {
      options.PlugInDir = argument.substr(std::string_view("--plugin-dir=").size());
    } else {
      throw EUsage("unknown option '" + std::string(argument) + "'");
    }
  }
  return options;
}

int Run(int AArgc, char** AArgv) {
  const TOptions options = ParseOptions(AArgc, AArgv);
  if (options.Help) {
    PrintUsage(std::cout);
    return 0;
  }
  if (options.Version) {
    std::cout << "lumeta " LUMETA_VERSION "\n";
    return 0;
  }
  if (options.Command.empty()) throw EUsage("no command given");
  for (const TCommand& command : Commands)
    if (command.Name == options.Command) return command.Run(options);
  throw EUsage("unknown command '" + options.Command + "'");
}

// Keeps the error to one line whatever the message holds.
std::string OneLine(std::string AText) {
  for (char& c : AText)
    if (c == '\n' || c == '\r') c = ' ';
  return AText;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "lumeta: error: " << OneLine(error.what()) << '\n';
    return ExitFailure;
  }
}
