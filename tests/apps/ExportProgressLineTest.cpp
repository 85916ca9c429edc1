// The export's count on standard error, with a clock the test moves.
#include <gtest/gtest.h>

#include <sstream>

#include "apps/ExportProgressLine.h"

namespace {

using namespace std::chrono_literals;

struct TRun {
  std::ostringstream Out;
  std::chrono::steady_clock::time_point Now{};
  ComPtr<ILumetaProgress> Progress;
  explicit TRun(bool ATerminal) : Progress(make<TExportProgressLine>(Out, ATerminal, [this] { return Now; })) {
    Progress->Start("Export", "Starting...");
  }
  void At(std::chrono::milliseconds AElapsed, int32_t AWritten) {
    Now = std::chrono::steady_clock::time_point{} + AElapsed;
    Progress->UpdateProgress("Exporting Action...", "Task", AWritten, 1000);
  }
};

TEST(ExportProgressLineTest, AQuickRunPrintsNothing) {
  for (const bool terminal : {true, false}) {
    TRun run(terminal);
    run.At(10ms, 10);
    run.At(990ms, 1000);
    run.Progress->Finish();
    EXPECT_EQ(run.Out.str(), "") << (terminal ? "terminal" : "file");
  }
}

TEST(ExportProgressLineTest, ATerminalLineIsRedrawnInPlaceAndRemovedAtTheEnd) {
  TRun run(true);
  run.At(500ms, 40);
  run.At(1000ms, 80);
  run.At(1050ms, 85);  // too soon after the last draw
  run.At(1200ms, 90);
  run.At(1400ms, 90);  // nothing new to say
  run.Progress->Finish();
  EXPECT_EQ(run.Out.str(),
            "\rexport: 80 of 1000 tasks written\x1b[K\rexport: 90 of 1000 tasks written\x1b[K\r\x1b[K");
}

TEST(ExportProgressLineTest, ALogGetsALineNowAndThenAndTheLastCount) {
  TRun run(false);
  run.At(1000ms, 80);
  for (int tenth = 11; tenth < 60; ++tenth) run.At(tenth * 100ms, tenth * 8);
  run.At(6000ms, 480);
  run.At(7000ms, 560);
  run.Progress->Finish();
  EXPECT_EQ(run.Out.str(),
            "export: 80 of 1000 tasks written\nexport: 480 of 1000 tasks written\n"
            "export: 560 of 1000 tasks written\n");
}

}  // namespace
