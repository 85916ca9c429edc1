#include "apps/DesktopNotes.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "apps/DesktopModel.h"
#include "session/HostDataEditor.h"

TDesktopNotes::TDesktopNotes(TDesktopItemModel* AItems, QWidget* AParent)
    : QWidget(AParent), FItems(AItems), FEdit(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("NotesPane"));
  FEdit->setObjectName(QStringLiteral("NotesEdit"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(FEdit);
  FEdit->installEventFilter(this);
  ShowNode(-1);
}

TDesktopNotes::~TDesktopNotes() { FEdit->removeEventFilter(this); }

void TDesktopNotes::ShowNode(int64_t AID) {
  TLumetaNode* node = AID >= 0 ? FItems->Node(AID) : nullptr;
  if (AID == FID && node && FEdit->document()->isModified()) return;
  if (AID != FID) Commit();
  FID = node ? AID : -1;
  FModel = FItems->Model();
  FEdit->setReadOnly(!node);
  FEdit->setPlaceholderText(node ? QStringLiteral("Notes on \u201C%1\u201D").arg(QString::fromStdString(node->Title()))
                                 : QStringLiteral("Select a node to read or write its notes"));
  const QString text = node ? QString::fromStdString(node->ReadHostData().Notes) : QString();
  if (FEdit->toPlainText() != text) FEdit->setPlainText(text);
  FEdit->document()->setModified(false);
}

bool TDesktopNotes::Commit() {
  if (FID < 0 || !FEdit->document()->isModified() || !FItems->Model() || FItems->Model() != FModel) return true;
  FEdit->document()->setModified(false);
  const std::string text = FEdit->toPlainText().toStdString();
  return DesktopGuard([&] { CheckEdit(THostDataEditor(FItems->Model()).SetNotes(FID, text)); });
}

bool TDesktopNotes::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == FEdit && AEvent->type() == QEvent::FocusOut) Commit();
  return QWidget::eventFilter(AWatched, AEvent);
}
