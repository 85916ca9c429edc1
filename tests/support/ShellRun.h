#pragma once
// A shell command line run to its end: its exit status and what it wrote to standard output and
// error together.
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct TShellRun {
  int Status = -1;  // -1: it did not exit by itself
  std::string Output;
};

inline TShellRun Shell(const std::string& ACommand) {
  TShellRun run;
  FILE* pipe = popen((ACommand + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  while (size_t count = fread(buffer, 1, sizeof buffer, pipe)) run.Output.append(buffer, count);
  const int status = pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The text as one word of a shell command line.
inline std::string ShellQuoted(const std::string& AText) {
  std::string quoted = "'";
  for (const char c : AText) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
