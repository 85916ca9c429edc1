#include "ui/TypedKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>

std::optional<QChar> TypedChar(const QKeyEvent& AEvent) {
  if (AEvent.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return std::nullopt;
  switch (AEvent.key()) {
    case Qt::Key_Backspace:
      return QChar('\b');
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
      return std::nullopt;
    default:
      break;
  }
  const QString text = AEvent.text();
  if (text.isEmpty() || text.at(0).unicode() < 32 || text.at(0).unicode() == 127) return std::nullopt;
  return text.at(0);
}

QString DecimalSeparator() { return QLocale().decimalPoint(); }

void Beep() { QApplication::beep(); }
