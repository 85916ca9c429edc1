#include "ui/ProgressDialog.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>


TDlgProgressWindow::TDlgProgressWindow(QWidget* AParent) : QDialog(AParent) {
  setObjectName("DlgProgress");
  setWindowTitle(tr("Progress"));
  auto* layout = new QVBoxLayout(this);
  Status = new QLabel(this);
  Status->setObjectName("lblStatus");
  Status->setWordWrap(true);
  Status->setMinimumHeight(Status->fontMetrics().lineSpacing() * 2);
  Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SubStatus = new QLabel(this);
  SubStatus->setObjectName("lblSubStatus");
  Bar = new QProgressBar(this);
  Bar->setObjectName("pbProgress");
  Bar->setTextVisible(false);
  CancelButton = new QPushButton(tr("Cancel"), this);
  CancelButton->setObjectName("btnCancel");
  layout->addWidget(Status);
  layout->addWidget(SubStatus);
  layout->addWidget(Bar);
  layout->addWidget(CancelButton, 0, Qt::AlignHCenter);
  setMinimumWidth(Status->fontMetrics().averageCharWidth() * 50);
  connect(CancelButton, &QPushButton::clicked, this, &TDlgProgressWindow::reject);
}

// Escape and the close box ask to stop, as Cancel does; the run closes the window when it stops.
void TDlgProgressWindow::reject() {
  Cancelled = true;
  CancelButton->setEnabled(false);
  Status->setText(tr("Cancelling..."));
}

TDlgProgress::TDlgProgress() : FWindow(new TDlgProgressWindow) {}

TDlgProgress::~TDlgProgress() {
  if (FCursor) QApplication::restoreOverrideCursor();
  delete FWindow;
}

void TDlgProgress::Refresh() {
  FWindow->repaint();
  QApplication::processEvents();
}

void TDlgProgress::Finish() {
  FWindow->hide();
  if (FCursor) QApplication::restoreOverrideCursor();
  FCursor = false;
  FWindow->setWindowTitle({});
  FWindow->Status->clear();
  FWindow->SubStatus->clear();
}

int32_t TDlgProgress::GetPosition() { return FWindow->Bar->value(); }
int32_t TDlgProgress::GetMax() { return FWindow->Bar->maximum(); }

void TDlgProgress::Start(const std::string& ACaption, const std::string& AStatus) {
  FWindow->Cancelled = false;
  FWindow->CancelButton->setEnabled(true);
  FWindow->setWindowTitle(QString::fromStdString(ACaption));
  FWindow->Status->setText(QString::fromStdString(AStatus));
  FWindow->SubStatus->clear();
  if (!FCursor) QApplication::setOverrideCursor(Qt::WaitCursor);
  FCursor = true;
  FWindow->Bar->setMaximum(0);
  FWindow->Bar->setValue(0);
  FWindow->adjustSize();
  if (const QScreen* screen = QApplication::primaryScreen())
    FWindow->move(screen->availableGeometry().center() - FWindow->rect().center());
  FWindow->show();
  Refresh();
}

void TDlgProgress::SetPosition(int32_t AValue) { FWindow->Bar->setValue(AValue); }
void TDlgProgress::SetMax(int32_t AValue) { FWindow->Bar->setMaximum(AValue); }

void TDlgProgress::UpdateStatus(const std::string& AStatus, const std::string& ASubStatus) {
  UpdateProgress(AStatus, ASubStatus, GetPosition(), GetMax());
}

void TDlgProgress::UpdateProgress(const std::string& AStatus, const std::string& ASubStatus, int32_t APosition,
                                  int32_t AMax) {
  if (!FWindow->Cancelled) FWindow->Status->setText(QString::fromStdString(AStatus));
  FWindow->SubStatus->setText(QString::fromStdString(ASubStatus));
  FWindow->Bar->setMaximum(AMax);
  FWindow->Bar->setValue(APosition);
  Refresh();
}

bool TDlgProgress::GetCancelled() { return FWindow->Cancelled; }
