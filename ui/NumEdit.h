#pragma once
// A single-line edit for amounts (cost, quantity, work, duration): it takes only digits, one
// leading minus and one decimal separator, and shows its number with a fixed count of decimals.
#include <QLineEdit>

class ThvNumEdit : public QLineEdit {
  Q_OBJECT

 public:
  // A new edit shows "0", right-justified, rounding to 2 decimals on entering, leaving and on
  // changes made other than by typing (the forms' settings).
  explicit ThvNumEdit(QWidget* AParent = nullptr);

  // Whether entering the edit formats its text (only when Round is set as well).
  bool AutoRounding() const { return FAutoRounding; }
  void SetAutoRounding(bool AValue) { FAutoRounding = AValue; }
  // Whether the text is formatted to RoundingDecimals at all.
  bool Round() const { return FRound; }
  void SetRound(bool AValue) { FRound = AValue; }
  int RoundingDecimals() const { return FRoundingDecimals; }
  // Negative counts are taken as 0.
  void SetRoundingDecimals(int AValue);
  Qt::Alignment Alignment() const { return FAlignment; }
  void SetAlignment(Qt::Alignment AValue);
  // Whether a leading minus may be typed (true); without it Value() is never below 0.
  bool NegativeAllowed() const { return FNegativeAllowed; }
  void SetNegativeAllowed(bool AValue) { FNegativeAllowed = AValue; }
  // True between a typed character and the next formatting.
  bool KeyPressed() const { return FKeyPressed; }

  // The text as a number; 0 when it is empty or not a number.
  double Value() const;
  // Shows AValue: with RoundingDecimals decimals when Round is set, else in its shortest form.
  void SetValue(double AValue);
  // Rewrites the text as its number with RoundingDecimals decimals (a text that is not a number
  // counts as 0); an empty text stays empty.
  void Format();

 protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
  void focusInEvent(QFocusEvent* AEvent) override;
  void focusOutEvent(QFocusEvent* AEvent) override;

 private:
  void Changed();

  bool FAutoRounding = true;
  bool FRound = true;
  int FRoundingDecimals = 2;
  bool FKeyPressed = false;
  bool FNegativeAllowed = true;
  Qt::Alignment FAlignment = Qt::AlignRight | Qt::AlignVCenter;
  bool FFormatting = false;
};
