#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/support/ShellRun.h"
#include "tests/support/TestFiles.h"

namespace {

using TRunResult = TShellRun;

TRunResult RunLumeta(const std::string& AArguments, const std::string& APrefix = "") {
  return Shell(APrefix + LUMETA_BINARY + " " + AArguments);
}

// Status 2 and exactly one line with the program's error prefix.
void ExpectOneLineError(const TRunResult& AResult) {
  EXPECT_EQ(AResult.Status, 2);
  EXPECT_EQ(AResult.Output.rfind("lumeta: error: ", 0), 0u) << AResult.Output;
  EXPECT_EQ(AResult.Output.find('\n'), AResult.Output.size() - 1) << AResult.Output;
}

// Without an option or variable the plug-in is the one beside the program.
TEST(LumetaProgram, PluginsListsBothManagersWithTheirFlags) {
  const std::string binary = LUMETA_BINARY;
  const TRunResult result = RunLumeta("plugins", "env -u LUMETA_PLUGIN_DIR ");
  EXPECT_EQ(result.Status, 0);
  EXPECT_EQ(result.Output,
            "Plug-in library: " + binary.substr(0, binary.rfind('/')) + "/lumeta_actionproperty.so\n"
            "Action {D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD} flags=1\n"
            "Action List {B7D51A23-79ED-45D0-B7A6-CFD330FC2256} flags=0\n");
  const TRunResult version = RunLumeta("--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Output, "lumeta 0.1.0\n");
}

TEST(LumetaProgram, FailuresToStartEndWithStatusTwoAndOneLine) {
  for (const char* arguments : {"--frobnicate plugins", "plugins extra", "plugins --plugin-dir", "a.xml b.xml",
                                "--today 2025-02-29 -c show", "--today 25-01-01 -c show", "--today '' -c show",
                                "--today= -c show", "--locale xx_QQ -c show",
                                "-f /nonexistent/script.lumeta", "-c", "plugins -c show"}) {
    SCOPED_TRACE(arguments);
    ExpectOneLineError(RunLumeta(arguments));
  }
  const TRunResult missing = RunLumeta("--plugin-dir /nonexistent/plugins plugins");
  ExpectOneLineError(missing);
  EXPECT_NE(missing.Output.find("/nonexistent/plugins/lumeta_actionproperty.so"), std::string::npos);
  // The variable outranks the plug-in beside the program.
  const TRunResult fromVariable = RunLumeta("plugins", "LUMETA_PLUGIN_DIR=/nonexistent/variable ");
  ExpectOneLineError(fromVariable);
  EXPECT_NE(fromVariable.Output.find("/nonexistent/variable/lumeta_actionproperty.so"), std::string::npos);
  // A map that cannot be read names the place of the fault, and no command runs.
  const TTempFolder dir;
  const std::string map = dir.Path() + "/broken.xml";
  WriteText(map, "<Map Version=\"1\">\n  <Node ID=\"0\"/>\n</Map>\n");
  const TRunResult broken = RunLumeta(map + " -c 'add 0 x; save'");
  ExpectOneLineError(broken);
  EXPECT_EQ(broken.Output.rfind("lumeta: error: " + map + ":2:", 0), 0u) << broken.Output;
  EXPECT_EQ(ReadText(map), "<Map Version=\"1\">\n  <Node ID=\"0\"/>\n</Map>\n");
}

// Only a map that does not exist, in a folder that does, starts a new one; anything that exists
// but is no regular file or cannot be read, a missing folder, and scripts that are folders or
// never end, stop the run before a command runs.
TEST(LumetaProgram, WhatExistsButCannotBeReadIsAnErrorNamingThePath) {
  const TTempFolder dir;
  WriteText(dir.Path() + "/file", "x");
  std::filesystem::create_symlink(dir.Path() + "/loop-a", dir.Path() + "/loop-b");
  std::filesystem::create_symlink(dir.Path() + "/loop-b", dir.Path() + "/loop-a");
  ASSERT_EQ(mkfifo((dir.Path() + "/fifo.xml").c_str(), 0600), 0);
  WriteText(dir.Path() + "/huge.xml", "");
  std::filesystem::resize_file(dir.Path() + "/huge.xml", (size_t(1) << 30) + 1);  // sparse: costs no disk
  std::vector<std::pair<std::string, std::string>> cases = {
      {dir.Path() + "/file/map.xml", "Not a directory"},
      {dir.Path() + "/loop-a", "Too many levels of symbolic links"},
      {dir.Path(), "Is a directory"},
      {dir.Path() + "/fifo.xml", "not a regular file but a FIFO"},
      {"/dev/zero", "not a regular file but a character device"},
      {dir.Path() + "/huge.xml", "the file is larger than 1 GiB"},
      {dir.Path() + "/gone/map.xml", "the folder " + dir.Path() + "/gone does not exist"},
  };
  if (geteuid() != 0) {  // permissions do not stop root
    std::filesystem::create_directory(dir.Path() + "/closed");
    WriteText(dir.Path() + "/closed/map.xml", "<Map/>");
    std::filesystem::permissions(dir.Path() + "/closed", std::filesystem::perms::owner_read);
    cases.emplace_back(dir.Path() + "/closed/map.xml", "Permission denied");
  }
  for (const auto& [map, reason] : cases) {
    SCOPED_TRACE(map);
    const TRunResult result = RunLumeta(map + " -c 'add 0 x; save'");
    ExpectOneLineError(result);
    EXPECT_EQ(result.Output, "lumeta: error: " + map + ": cannot read the file: " + reason + "\n");
  }
  std::error_code ignored;  // lets the folder be removed
  std::filesystem::permissions(dir.Path() + "/closed", std::filesystem::perms::owner_all, ignored);

  for (const auto& [script, reason] : std::vector<std::pair<std::string, std::string>>{
           {dir.Path(), "Is a directory"}, {"/dev/zero", "the file is larger than 16 MiB"}}) {
    const TRunResult result = RunLumeta("-f " + script);
    ExpectOneLineError(result);
    EXPECT_EQ(result.Output, "lumeta: error: " + script + ": cannot read the script: " + reason + "\n");
  }
  ExpectOneLineError(RunLumeta("--settings-dir '' -c show"));
  const TRunResult endless = RunLumeta("-f - < /dev/zero");
  EXPECT_EQ(endless.Status, 1);
  EXPECT_EQ(endless.Output, "error: line 1 is longer than 16 MiB\n");
}

// -c, -f and standard input read the same language; a new map is written only when saved.
TEST(LumetaProgram, CommandsComeFromTheCommandLineAFileOrStandardInput) {
  const TTempFolder dir;
  const std::string script = "add 0 \"Paint the fence\" # first\nset 1 Complete 50; get 1 Status\nsave\n";
  WriteText(dir.Path() + "/script.lumeta", script);
  const std::string expected = "1\nIn Progress\n";
  const std::string map = dir.Path() + "/map.xml";

  EXPECT_EQ(RunLumeta(map + " -c 'add 0 \"Paint the fence\"; set 1 Complete 50; get 1 Status'").Output, expected);
  EXPECT_FALSE(std::filesystem::exists(map));
  const TRunResult fromFile = RunLumeta(map + " -f " + dir.Path() + "/script.lumeta");
  EXPECT_EQ(fromFile.Status, 0);
  EXPECT_EQ(fromFile.Output, expected);
  EXPECT_TRUE(std::filesystem::exists(map));
  // The map now holds node 1, so the next node is 2; stdin runs on the saved file.
  const TRunResult fromStdin = RunLumeta(map + " < " + dir.Path() + "/script.lumeta");
  EXPECT_EQ(fromStdin.Status, 0);
  EXPECT_EQ(fromStdin.Output, "2\nIn Progress\n");
}

TEST(LumetaProgram, AFailingCommandStopsTheRunWithStatusOne) {
  const TRunResult result = RunLumeta("-c 'add 0 x; get 1 Complete; set 1 Priority; add 0 y'");
  EXPECT_EQ(result.Status, 1);
  EXPECT_EQ(result.Output, "1\n(none)\nerror: usage: set ID FIELD VALUE\n");
  const TRunResult help = RunLumeta("--help");
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Output.find("set ID FIELD VALUE"), std::string::npos);
}

// A script's failure says where it stood: a file by its name and line, piped commands by line;
// -c text is short enough to need none, except for a syntax error's line.
TEST(LumetaProgram, AFailureInAScriptNamesItsLine) {
  const TTempFolder dir;
  const std::string script = dir.Path() + "/plan.lumeta";
  WriteText(script, "add 0 x\n\nget 1 Complete; set 1 Priority\nadd 0 y\n");
  const TRunResult fromFile = RunLumeta("-f " + script);
  EXPECT_EQ(fromFile.Status, 1);
  EXPECT_EQ(fromFile.Output, "1\n(none)\nerror: " + script + ":3: usage: set ID FIELD VALUE\n");
  EXPECT_EQ(RunLumeta("< " + script).Output, "1\n(none)\nerror: line 3: usage: set ID FIELD VALUE\n");
  EXPECT_EQ(RunLumeta("-f - < " + script).Output, "1\n(none)\nerror: line 3: usage: set ID FIELD VALUE\n");

  WriteText(script, "add 0 x\ntitle 1 \"open\n");
  EXPECT_EQ(RunLumeta("-f " + script).Output, "1\nerror: " + script + ":2: unterminated quote\n");
  EXPECT_EQ(RunLumeta("-c 'add 0 x' -c 'title 1 \"open'").Output, "1\nerror: line 1: unterminated quote\n");
}

// A title from a file cannot drive the terminal, and a map its owner made read-only stays as it is.
TEST(LumetaProgram, ShowEscapesControlCharactersAndSaveLeavesReadOnlyMaps) {
  const TTempFolder dir;
  const std::string map = dir.Path() + "/map.xml";
  WriteText(map, "<Map><Node ID=\"1\"><Title>red \x1B[31mtext\x07</Title></Node></Map>");
  const TRunResult shown = RunLumeta(map + " -c show");
  EXPECT_EQ(shown.Status, 0);
  EXPECT_EQ(shown.Output.find('\x1B'), std::string::npos) << shown.Output;
  EXPECT_NE(shown.Output.find("red \xE2\x90\x9B[31mtext\xE2\x90\x87"), std::string::npos) << shown.Output;

  const std::string before = ReadText(map);
  chmod(map.c_str(), 0444);
  const TRunResult saved = RunLumeta(map + " -c 'add 0 more; save'");
  EXPECT_EQ(saved.Status, 1);
  EXPECT_EQ(saved.Output, "2\nerror: " + map + ": cannot save: " + map + " is read-only; make it writable to save over it\n");
  EXPECT_EQ(ReadText(map), before);
}

TEST(LumetaDesktop, HelpGoesToStandardOutputAndSucceeds) {
  // Its standard error is left out, so only what goes to standard output is read.
  const TShellRun help = Shell("{ " + std::string(LUMETA_DESKTOP_BINARY) + " --help 2>/dev/null; }");
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Output.rfind("usage: lumeta-desktop", 0), 0u) << help.Output;
}

}  // namespace
