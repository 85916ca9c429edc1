#pragma once
// The plug-in's windows need a widget application in the process. The command line has none until
// a command opens a window; then it makes one on the offscreen platform (unless QT_QPA_PLATFORM
// names another), so that windows open, take typed input and render to images without a display.
#include <Qt>

class QApplication;
class QDateTimeEdit;
class QString;
class QWidget;

QApplication& EnsureWidgetApplication();

// Key events as the keyboard sends them, through the application, so that a key the control
// leaves alone reaches its parents, as Enter does.
void SendKey(QWidget* AWidget, int AKey, Qt::KeyboardModifiers AModifiers = Qt::NoModifier);
void SendKey(QWidget* AWidget, int AKey, Qt::KeyboardModifiers AModifiers, const QString& AText);
// Types the text key by key.
void TypeText(QWidget* AWidget, const QString& AText);
// Types a date or time into the picker one section at a time, each run of digits of the text into
// the next section: typed in one go, a separator after a section the picker had already moved on
// from skipped the section after it.
void TypeIntoPicker(QDateTimeEdit* APicker, const QString& AText);
