#include "apps/ExportProgressLine.h"

#include <ostream>

TExportProgressLine::TExportProgressLine(std::ostream& AOut, bool ATerminal, TClockNow ANow)
    : FOut(AOut), FTerminal(ATerminal), FNow(std::move(ANow)) {}

void TExportProgressLine::Start(const std::string&, const std::string&) {
  FPosition = FMax = 0;
  FStarted = FNow();
  FShown = false;
  FDrawnPosition = -1;
}

void TExportProgressLine::UpdateStatus(const std::string& AStatus, const std::string& ASubStatus) {
  UpdateProgress(AStatus, ASubStatus, FPosition, FMax);
}

std::string TExportProgressLine::Text() const {
  return "export: " + std::to_string(FPosition) + " of " + std::to_string(FMax) + " tasks written";
}

void TExportProgressLine::UpdateProgress(const std::string&, const std::string&, int32_t APosition, int32_t AMax) {
  FPosition = APosition;
  FMax = AMax;
  const auto now = FNow();
  if (AMax <= 0 || now - FStarted < Quiet) return;
  if (FShown && now - FDrawn < (FTerminal ? Redraw : Lines)) return;
  if (FShown && APosition == FDrawnPosition) return;
  FDrawn = now;
  FDrawnPosition = APosition;
  FShown = true;
  if (FTerminal) FOut << '\r' << Text() << "\x1b[K" << std::flush;
  else FOut << Text() << '\n' << std::flush;
}

void TExportProgressLine::Finish() {
  if (!FShown) return;
  FShown = false;
  // The terminal's line goes, as the run prints its own summary; a log keeps the last count.
  if (FTerminal) FOut << "\r\x1b[K" << std::flush;
  else if (FDrawnPosition != FPosition) FOut << Text() << '\n' << std::flush;
}
