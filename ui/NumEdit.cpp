#include "ui/NumEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>

#include <algorithm>

#include "com/NumberText.h"
#include "ui/TypedKeys.h"

namespace {

// Focus that moves to a popup or another window is not the user leaving or entering the edit.
bool IsFieldChange(const QFocusEvent& AEvent) {
  return AEvent.reason() != Qt::PopupFocusReason && AEvent.reason() != Qt::ActiveWindowFocusReason;
}

std::optional<double> ReadNumber(QString AText) {
  AText.replace(DecimalSeparator(), QStringLiteral("."));
  return ParseFloat(AText.toStdString());
}

QString LocaleNumber(const std::string& AText) {
  return QString::fromStdString(AText).replace(QStringLiteral("."), DecimalSeparator());
}

}  // namespace

ThvNumEdit::ThvNumEdit(QWidget* AParent) : QLineEdit(AParent) {
  setAlignment(FAlignment);
  // Set before the change hook, so that a new edit shows "0" rather than "0.00".
  setText(QStringLiteral("0"));
  connect(this, &QLineEdit::textChanged, this, &ThvNumEdit::Changed);
}

void ThvNumEdit::SetRoundingDecimals(int AValue) { FRoundingDecimals = AValue < 0 ? 0 : AValue; }

void ThvNumEdit::SetAlignment(Qt::Alignment AValue) {
  if (AValue == FAlignment) return;
  FAlignment = AValue;
  setAlignment(AValue);
}

double ThvNumEdit::Value() const {
  const double value = ReadNumber(text()).value_or(0);
  return FNegativeAllowed ? value : std::max(value, 0.0);
}

void ThvNumEdit::SetValue(double AValue) {
  setText(LocaleNumber(FRound ? FixedFloatText(AValue, FRoundingDecimals) : ShortestFloatText(AValue)));
}

void ThvNumEdit::Format() {
  FKeyPressed = false;
  if (text().isEmpty()) return;
  const QString formatted = LocaleNumber(FixedFloatText(Value(), FRoundingDecimals));
  if (formatted != text()) setText(formatted);
}

void ThvNumEdit::Changed() {
  if (FFormatting || FKeyPressed || text().isEmpty() || !FRound) return;
  FFormatting = true;
  Format();
  FFormatting = false;
}

void ThvNumEdit::keyPressEvent(QKeyEvent* AEvent) {
  const std::optional<QChar> typed = TypedChar(*AEvent);
  if (!typed) {
    // Delete edits the text as typing does; shortcuts (paste) count as changes from outside.
    if (AEvent->key() == Qt::Key_Delete && AEvent->modifiers() == Qt::NoModifier) FKeyPressed = true;
    QLineEdit::keyPressEvent(AEvent);
    return;
  }
  FKeyPressed = true;
  const QChar key = *typed;
  const QString separator = DecimalSeparator();
  const bool isSeparator = QString(key) == separator;
  if (key != QChar('\b') && key != QChar('-') && !(key >= QChar('0') && key <= QChar('9')) && !isSeparator) {
    FKeyPressed = false;
    Beep();
    return;
  }
  // What stays of the text once the character replaces the selection.
  QString rest = text();
  const int start = hasSelectedText() ? selectionStart() : cursorPosition();
  if (hasSelectedText()) rest.remove(start, selectedText().size());
  if (isSeparator && rest.contains(separator)) {
    // Jump behind the separator there is and select the decimals, ready to be overtyped.
    const int behind = text().indexOf(separator) + separator.size();
    setCursorPosition(text().size());
    cursorBackward(true, text().size() - behind);
    return;
  }
  if (key == QChar('-')) {
    if (!FNegativeAllowed) {
      Beep();
      return;
    }
    if (rest.contains(key)) return;
    if (start != 0) {
      Beep();
      return;
    }
  }
  QLineEdit::keyPressEvent(AEvent);
}

void ThvNumEdit::focusInEvent(QFocusEvent* AEvent) {
  QLineEdit::focusInEvent(AEvent);
  if (IsFieldChange(*AEvent) && FAutoRounding && FRound && !text().isEmpty()) Format();
}

void ThvNumEdit::focusOutEvent(QFocusEvent* AEvent) {
  if (IsFieldChange(*AEvent)) {
    const QString current = text();
    if (current == QStringLiteral("-") || current == DecimalSeparator() || current == QStringLiteral("\b")) clear();
    if (!text().isEmpty() && FRound) Format();
    FKeyPressed = false;
  }
  QLineEdit::focusOutEvent(AEvent);
}
