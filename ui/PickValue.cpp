#include "ui/PickValue.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QScreen>
#include <QVBoxLayout>

#include "ui/ButtonPanel.h"
#include "ui/UiMetrics.h"

using UiMetrics::Px;

TfrmPickValue::TfrmPickValue(const std::string& AField, const std::vector<std::string>& AItems,
                             const std::string& AValue, QWidget* AParent)
    : QDialog(AParent, Qt::Tool), FValue(AValue) {
  setObjectName("frmPickValue");
  setWindowTitle(QString::fromStdString(AField));
  setFont(UiMetrics::FormFont());
  FList = new QComboBox(this);
  FList->setObjectName("cbValue");
  for (const std::string& item : AItems) FList->addItem(QString::fromStdString(item));
  FList->setCurrentIndex(FList->findText(QString::fromStdString(AValue), Qt::MatchFixedString | Qt::MatchCaseSensitive));
  FList->setFixedWidth(Px(201));
  FButtons = new ThvButtonPanel(this);
  FButtons->setObjectName("bpButtons");
  FButtons->SetButtonTypes({btOK, btCancel});
  FButtons->SetAlign(alBottom);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, Px(8), 0, 0);
  layout->setSpacing(Px(8));
  layout->addWidget(FList, 0, Qt::AlignHCenter);
  layout->addWidget(FButtons);
  // As wide as the list with a margin either side: the buttons sit at the right under it.
  setFixedSize(Px(201 + 2 * 8), layout->sizeHint().height());
  FList->setFocus();
}

TfrmPickValue::~TfrmPickValue() = default;

std::string TfrmPickValue::Value() const {
  return FList->currentIndex() < 0 ? FValue : FList->currentText().toStdString();
}

void TfrmPickValue::showEvent(QShowEvent* AEvent) {
  QDialog::showEvent(AEvent);
  // At the cursor, but whole on its screen.
  QPoint at = QCursor::pos();
  if (QScreen* screen = QGuiApplication::screenAt(at)) {
    const QRect area = screen->availableGeometry();
    at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - frameGeometry().width())));
    at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - frameGeometry().height())));
  }
  move(at);
  FList->setFocus();
}

bool PickActionValue(const std::string& AField, const std::vector<std::string>& AItems, std::string& AValue) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
  TfrmPickValue form(AField, AItems, AValue);
  if (form.exec() != QDialog::Accepted) return false;
  AValue = form.Value();
  return true;
}
