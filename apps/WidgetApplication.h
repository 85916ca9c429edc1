#pragma once
// The plug-in's windows need a widget application in the process. The command line has none until
// a command opens a window; then it makes one on the offscreen platform (unless QT_QPA_PLATFORM
// names another), so that windows open, take typed input and render to images without a display.
class QApplication;

QApplication& EnsureWidgetApplication();
