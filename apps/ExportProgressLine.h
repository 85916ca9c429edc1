#pragma once
// The progress of an export on standard error: silent for the first second, so that quick runs
// print nothing; then, on a terminal, one line counting the tasks written, redrawn in place; to a
// file or pipe, a line now and then and the last count at the end.
#include <chrono>
#include <functional>
#include <iosfwd>

#include "com/ComObject.h"
#include "contract/ExportIntf.h"

class TExportProgressLine : public TImplements<TComObject, ILumetaProgress> {
 public:
  using TClockNow = std::function<std::chrono::steady_clock::time_point()>;
  static constexpr std::chrono::milliseconds Quiet{1000};  // before the first line
  static constexpr std::chrono::milliseconds Redraw{100};  // between two draws on a terminal
  static constexpr std::chrono::milliseconds Lines{5000};  // between two lines elsewhere

  TExportProgressLine(std::ostream& AOut, bool ATerminal, TClockNow ANow = std::chrono::steady_clock::now);

  void Finish() override;
  int32_t GetPosition() override { return FPosition; }
  int32_t GetMax() override { return FMax; }
  void Start(const std::string& ACaption, const std::string& AStatus) override;
  void SetPosition(int32_t AValue) override { FPosition = AValue; }
  void SetMax(int32_t AValue) override { FMax = AValue; }
  void UpdateStatus(const std::string& AStatus, const std::string& ASubStatus) override;
  void UpdateProgress(const std::string& AStatus, const std::string& ASubStatus, int32_t APosition,
                      int32_t AMax) override;

 private:
  std::string Text() const;

  std::ostream& FOut;
  bool FTerminal;
  TClockNow FNow;
  int32_t FPosition = 0;
  int32_t FMax = 0;
  std::chrono::steady_clock::time_point FStarted{}, FDrawn{};
  bool FShown = false;  // a line was written in this run
  int32_t FDrawnPosition = -1;
};
