#include "apps/WidgetApplication.h"

#include <QApplication>

QApplication& EnsureWidgetApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt keeps references to the arguments for the application's lifetime.
  static int argc = 1;
  static char name[] = "lumeta";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the plug-in library that made its windows may be gone by the end of the run.
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}
