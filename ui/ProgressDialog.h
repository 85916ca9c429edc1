#pragma once
// The progress window of a long run: a caption, a two-line status, a sub-status, a bar and a
// Cancel button. Shown without blocking; each update lets pending window events run, so the
// program stays responsive and Cancel can be pressed.
#include <QDialog>

#include "com/ComObject.h"
#include "contract/ExportIntf.h"

class QLabel;
class QProgressBar;
class QPushButton;

class TDlgProgressWindow : public QDialog {
  Q_OBJECT

 public:
  explicit TDlgProgressWindow(QWidget* AParent = nullptr);

  QLabel* Status;
  QLabel* SubStatus;
  QProgressBar* Bar;
  QPushButton* CancelButton;
  bool Cancelled = false;

 protected:
  void reject() override;
};

class TDlgProgress : public TImplements<TComObject, ILumetaProgress, ILumetaProgressCancel> {
 public:
  TDlgProgress();
  ~TDlgProgress() override;

  void Finish() override;
  int32_t GetPosition() override;
  int32_t GetMax() override;
  void Start(const std::string& ACaption, const std::string& AStatus) override;
  void SetPosition(int32_t AValue) override;
  void SetMax(int32_t AValue) override;
  void UpdateStatus(const std::string& AStatus, const std::string& ASubStatus) override;
  void UpdateProgress(const std::string& AStatus, const std::string& ASubStatus, int32_t APosition,
                      int32_t AMax) override;
  bool GetCancelled() override;

  TDlgProgressWindow* Window() const noexcept { return FWindow; }

 private:
  void Refresh();

  TDlgProgressWindow* FWindow;  // owned; no parent, so it is centred on the screen
  bool FCursor = false;
};
