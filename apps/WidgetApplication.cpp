#include "apps/WidgetApplication.h"

#include <QApplication>

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
