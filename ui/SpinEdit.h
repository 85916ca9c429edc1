#pragma once
// Spin edits: a number the user types or steps with the up/down buttons (which repeat while held)
// and the arrow keys. Unlike QSpinBox the text may be empty: "no value" is a state of its own.
#include <QAbstractSpinBox>

class TSpinEdit : public QAbstractSpinBox {
  Q_OBJECT

 public:
  explicit TSpinEdit(QWidget* AParent = nullptr);

  // The text as an integer; MinValue when it is empty or not an integer.
  int Value() const;
  // Shows AValue, clamped to MinValue..MaxValue unless the two are equal.
  void SetValue(int AValue);
  int MinValue() const { return FMinValue; }
  void SetMinValue(int AValue) { FMinValue = AValue; }
  int MaxValue() const { return FMaxValue; }
  void SetMaxValue(int AValue) { FMaxValue = AValue; }
  // The step of a button click or arrow key (1).
  int Increment() const { return FIncrement; }
  void SetIncrement(int AValue) { FIncrement = AValue; }
  // False: nothing can be typed, the buttons still step.
  bool EditorEnabled() const { return FEditorEnabled; }
  void SetEditorEnabled(bool AValue) { FEditorEnabled = AValue; }
  // The text as shown (text() without the prefix and suffix, which these never have).
  QString Text() const { return text(); }
  void SetText(const QString& AText);
  // True when the text is empty.
  bool IsNull() const { return text().isEmpty(); }

  void stepBy(int ASteps) override;
  // The text is the control's own business: the filter is in the key handling.
  QValidator::State validate(QString& AInput, int& APosition) const override;

 Q_SIGNALS:
  // The text changed, by typing, stepping or a setter.
  void Changed();

 protected:
  // Whether a typed character may go into the text.
  virtual bool IsValidChar(QChar AChar) const;
  StepEnabled stepEnabled() const override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void focusOutEvent(QFocusEvent* AEvent) override;
  // The value to show for AValue: clamped when MinValue and MaxValue differ.
  int CheckValue(int AValue) const;
  // Leaving the control: the shown value is clamped.
  virtual void Exit();

 private:
  int FMinValue = 0;
  int FMaxValue = 0;
  int FIncrement = 1;
  bool FEditorEnabled = true;
};

class ThvCustomSpinEdit : public TSpinEdit {
  Q_OBJECT

 public:
  explicit ThvCustomSpinEdit(QWidget* AParent = nullptr);

  // True: signs and the decimal separator cannot be typed either (false).
  bool IntegerOnly() const { return FIntegerOnly; }
  void SetIntegerOnly(bool AValue) { FIntegerOnly = AValue; }
  // False: leaving the control with an empty text shows MinValue (true).
  bool AllowNull() const { return FAllowNull; }
  void SetAllowNull(bool AValue) { FAllowNull = AValue; }

 protected:
  bool IsValidChar(QChar AChar) const override;
  void Exit() override;

 private:
  bool FIntegerOnly = false;
  bool FAllowNull = true;
};

// The spin edit the forms place.
class ThvSpinEdit : public ThvCustomSpinEdit {
  Q_OBJECT

 public:
  using ThvCustomSpinEdit::ThvCustomSpinEdit;
};
