#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct TRunResult {
  int Status = -1;
  std::string Output;  // standard output and error together
};

TRunResult RunLumeta(const std::string& AArguments) {
  TRunResult result;
  FILE* pipe = popen((std::string(LUMETA_BINARY) + " " + AArguments + " 2>&1").c_str(), "r");
  if (!pipe) return result;
  char buffer[256];
  while (size_t count = fread(buffer, 1, sizeof buffer, pipe)) result.Output.append(buffer, count);
  const int status = pclose(pipe);
  result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// Status 2 and exactly one line with the program's error prefix.
void ExpectOneLineError(const TRunResult& AResult) {
  EXPECT_EQ(AResult.Status, 2);
  EXPECT_EQ(AResult.Output.rfind("lumeta: error: ", 0), 0u) << AResult.Output;
  EXPECT_EQ(AResult.Output.find('\n'), AResult.Output.size() - 1) << AResult.Output;
}

TEST(LumetaProgram, PluginsListsBothManagersWithTheirFlags) {
  const TRunResult result = RunLumeta("plugins");
  EXPECT_EQ(result.Status, 0);
  EXPECT_EQ(result.Output,
            "Action {D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD} flags=1\n"
            "Action List {B7D51A23-79ED-45D0-B7A6-CFD330FC2256} flags=0\n");
  const TRunResult version = RunLumeta("--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Output, "lumeta 0.1.0\n");
}

TEST(LumetaProgram, FailuresEndWithStatusTwoAndOneLine) {
  for (const char* arguments : {"--frobnicate plugins", "", "nosuchcommand", "plugins extra", "plugins --plugin-dir"}) {
    SCOPED_TRACE(arguments);
    ExpectOneLineError(RunLumeta(arguments));
  }
  const TRunResult missing = RunLumeta("--plugin-dir /nonexistent/plugins plugins");
  ExpectOneLineError(missing);
  EXPECT_NE(missing.Output.find("/nonexistent/plugins/lumeta_actionproperty.so"), std::string::npos);
}

}  // namespace
