#include "ui/SpinEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

#include "com/NumberText.h"
#include "ui/TypedKeys.h"

TSpinEdit::TSpinEdit(QWidget* AParent) : QAbstractSpinBox(AParent) {
  lineEdit()->setText(QStringLiteral("0"));
  connect(lineEdit(), &QLineEdit::textChanged, this, &TSpinEdit::Changed);
}

int TSpinEdit::Value() const { return ParseInteger<int>(text().toStdString()).value_or(FMinValue); }

void TSpinEdit::SetValue(int AValue) { SetText(QString::number(CheckValue(AValue))); }

void TSpinEdit::SetText(const QString& AText) {
  if (AText != text()) lineEdit()->setText(AText);
}

int TSpinEdit::CheckValue(int AValue) const {
  if (FMinValue == FMaxValue) return AValue;
  return std::clamp(AValue, std::min(FMinValue, FMaxValue), std::max(FMinValue, FMaxValue));
}

void TSpinEdit::stepBy(int ASteps) {
  if (isReadOnly()) {
    Beep();
    return;
  }
  SetValue(Value() + ASteps * FIncrement);
  selectAll();
}

QValidator::State TSpinEdit::validate(QString&, int&) const { return QValidator::Acceptable; }

QAbstractSpinBox::StepEnabled TSpinEdit::stepEnabled() const {
  return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

bool TSpinEdit::IsValidChar(QChar AChar) const {
  const bool control = AChar.unicode() < 32;
  const bool valid = AChar == QChar('+') || AChar == QChar('-') || (AChar >= QChar('0') && AChar <= QChar('9')) ||
                     QString(AChar) == DecimalSeparator() || control;
  if (!FEditorEnabled && valid && (!control || AChar == QChar('\b'))) return false;
  return valid;
}

void TSpinEdit::keyPressEvent(QKeyEvent* AEvent) {
  const std::optional<QChar> typed = TypedChar(*AEvent);
  const bool deletes = AEvent->key() == Qt::Key_Delete && AEvent->modifiers() == Qt::NoModifier;
  if ((typed && !IsValidChar(*typed)) || (deletes && !FEditorEnabled)) {
    Beep();
    AEvent->accept();
    return;
  }
  QAbstractSpinBox::keyPressEvent(AEvent);
}

void TSpinEdit::focusOutEvent(QFocusEvent* AEvent) {
  if (AEvent->reason() != Qt::PopupFocusReason && AEvent->reason() != Qt::ActiveWindowFocusReason) Exit();
  QAbstractSpinBox::focusOutEvent(AEvent);
}

void TSpinEdit::Exit() {
  const int value = Value();
  if (CheckValue(value) != value) SetValue(value);
}

ThvCustomSpinEdit::ThvCustomSpinEdit(QWidget* AParent) : TSpinEdit(AParent) {}

bool ThvCustomSpinEdit::IsValidChar(QChar AChar) const {
  if (FIntegerOnly && (AChar == QChar('+') || AChar == QChar('-') || QString(AChar) == DecimalSeparator()))
    return false;
  return TSpinEdit::IsValidChar(AChar);
}

void ThvCustomSpinEdit::Exit() {
  if (!FAllowNull && IsNull()) SetValue(MinValue());
  TSpinEdit::Exit();
}
