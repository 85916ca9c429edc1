#include "apps/WidgetApplication.h"

#include <QApplication>
#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QRegularExpression>

namespace {

QtMessageHandler PreviousHandler = nullptr;

// Without a session (scripts, tests) Qt says where it keeps its runtime files; that is no warning
// of lumeta's and must not reach standard error among the plug-in's warnings.
void DropSessionNotes(QtMsgType AType, const QMessageLogContext& AContext, const QString& AText) {
  if (AText.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
  if (PreviousHandler) PreviousHandler(AType, AContext, AText);
}

}  // namespace

QApplication& EnsureWidgetApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt keeps references to the arguments for the application's lifetime.
  PreviousHandler = qInstallMessageHandler(&DropSessionNotes);
  static int argc = 1;
  static char name[] = "lumeta";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the plug-in library that made its windows may be gone by the end of the run.
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

void SendKey(QWidget* AWidget, int AKey, Qt::KeyboardModifiers AModifiers) { SendKey(AWidget, AKey, AModifiers, {}); }

void SendKey(QWidget* AWidget, int AKey, Qt::KeyboardModifiers AModifiers, const QString& AText) {
  QKeyEvent press(QEvent::KeyPress, AKey, AModifiers, AText);
  QApplication::sendEvent(AWidget, &press);
  QKeyEvent release(QEvent::KeyRelease, AKey, AModifiers, AText);
  QApplication::sendEvent(AWidget, &release);
}

void TypeText(QWidget* AWidget, const QString& AText) {
  for (const QChar c : AText) SendKey(AWidget, c.unicode() < 128 ? int(c.toUpper().unicode()) : int(Qt::Key_unknown), {}, c);
}

void TypeIntoPicker(QDateTimeEdit* APicker, const QString& AText) {
  APicker->setFocus(Qt::MouseFocusReason);
  const QStringList parts = AText.split(QRegularExpression(QStringLiteral("[^0-9]+")), Qt::SkipEmptyParts);
  for (int i = 0; i < parts.size() && i < APicker->sectionCount(); ++i) {
    APicker->setSelectedSection(APicker->sectionAt(i));
    TypeText(APicker, parts[i]);
  }
}
