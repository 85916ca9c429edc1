#pragma once
// A panel of standard dialog buttons, made and laid out by type: the forms list the types they
// want and get the captions, dialog results, default and cancel roles and the help button.
#include <QPointer>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>

enum ThvButtonType {
  btCustom, btYes, btNo, btOK, btCancel, btAbort, btRetry, btIgnore, btAll,
  btYesToAll, btNoToAll, btClose, btBack, btNext, btFinish, btApply, btHelp
};
inline constexpr int ButtonTypeCount = btHelp + 1;

enum ThvButtonAlignment { baLeftTop, baCentre, baRightBottom };

// Where the panel sits on its form: left or right makes a column of buttons, top puts the row at
// the top margin. The form's layout places the panel; this only tells the panel how to arrange.
enum ThvPanelAlign { alNone, alTop, alBottom, alLeft, alRight };

enum ThvBevelEdge { beLeft, beTop, beRight, beBottom };

// The result a button gives its dialog, the value QDialog::exec() then returns. mrOK is
// QDialog::Accepted; closing a dialog without a button gives 0 (QDialog::Rejected, mrNone).
enum TModalResult : int {
  mrNone = 0, mrOK = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7,
  mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

// A set of enumerators below 32.
template <class E>
class TEnumSet {
 public:
  constexpr TEnumSet() = default;
  constexpr TEnumSet(std::initializer_list<E> AItems) {
    for (E item : AItems) Include(item);
  }
  constexpr bool Contains(E AItem) const { return (FBits >> AItem) & 1u; }
  constexpr void Include(E AItem) { FBits |= 1u << AItem; }
  constexpr void Exclude(E AItem) { FBits &= ~(1u << AItem); }
  constexpr bool Empty() const { return FBits == 0; }
  friend constexpr bool operator==(TEnumSet, TEnumSet) = default;

 private:
  uint32_t FBits = 0;
};
using ThvButtonTypes = TEnumSet<ThvButtonType>;
using ThvBevelEdges = TEnumSet<ThvBevelEdge>;

// The caption of a button type ("&Yes", "Help (F1)"; empty for btCustom), translated.
QString ButtonCaption(ThvButtonType AType);
TModalResult ButtonModalResult(ThvButtonType AType);

// The help context a widget declares with this dynamic property (an int above 0).
inline constexpr const char* HelpContextProperty = "helpContext";
// The help context of AWidget or of its nearest parent that has one; 0 when none has.
int HelpContextOf(const QWidget* AWidget);
// Opens the help topic AContext. The program installs the viewer; without one the user is told,
// through the dialog service, that no help is installed.
using THelpViewer = std::function<void(int AContext)>;
void SetHelpViewer(THelpViewer AViewer);
void ShowHelp(int AContext);

class ThvCustomButtonPanel;

// A push button of a type. A click, in order: gives the button's result to its dialog, opens
// help (btHelp), raises OnClick, raises the panel's OnBtnClick, then ends the dialog with the
// result unless a handler set the dialog's result to something else, or closes the window
// (btClose).
class ThvCustomButton : public QPushButton {
  Q_OBJECT

 public:
  ThvCustomButton(ThvButtonType AType, QWidget* AParent = nullptr);

  ThvButtonType ButtonType() const { return FButtonType; }
  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult AValue) { FModalResult = AValue; }

 Q_SIGNALS:
  // The button's own click event.
  void OnClick(ThvCustomButton* AButton);

 private:
  void Click();

  ThvButtonType FButtonType;
  TModalResult FModalResult;
};

// The panel: lays out its buttons in the order of their types and draws its bevels.
class ThvCustomButtonPanel : public QWidget {
  Q_OBJECT

 public:
  explicit ThvCustomButtonPanel(QWidget* AParent = nullptr);

  ThvButtonAlignment ButtonAlignment() const { return FButtonAlignment; }
  void SetButtonAlignment(ThvButtonAlignment AValue);
  ThvPanelAlign Align() const { return FAlign; }
  void SetAlign(ThvPanelAlign AValue);
  // In 96-dpi pixels, like the margin and the separation (75 x 23).
  QSize ButtonSize() const { return FButtonSize; }
  void SetButtonSize(QSize AValue);
  int Margin() const { return FMargin; }
  void SetMargin(int AValue);
  int Separation() const { return FSeparation; }
  void SetSeparation(int AValue);
  // The edges that carry the bevel (all four).
  ThvBevelEdges BevelEdges() const { return FBevelEdges; }
  void SetBevelEdges(ThvBevelEdges AValue);

  // Places the shown buttons; the panel does so itself when it or its settings change, and a
  // ThvButtonPanel when its types change.
  void LayoutButtons();
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 Q_SIGNALS:
  void OnBtnClick(ThvCustomButtonPanel* APanel, ThvCustomButton* AButton);

 protected:
  void resizeEvent(QResizeEvent* AEvent) override;
  void paintEvent(QPaintEvent* AEvent) override;

 private:
  friend class ThvCustomButton;
  void ButtonClicked(ThvCustomButton* AButton) { Q_EMIT OnBtnClick(this, AButton); }

  ThvButtonAlignment FButtonAlignment = baRightBottom;
  ThvPanelAlign FAlign = alNone;
  QSize FButtonSize{75, 23};
  int FMargin = 4;
  int FSeparation = 4;
  ThvBevelEdges FBevelEdges{beLeft, beTop, beRight, beBottom};
};

class ThvButtonPanel : public ThvCustomButtonPanel {
  Q_OBJECT

 public:
  // A new panel is 369 x 33 with OK, Cancel and Help.
  explicit ThvButtonPanel(QWidget* AParent = nullptr);

  ThvButtonTypes ButtonTypes() const { return FButtonTypes; }
  // Makes the buttons of newly listed types, frees those of types no longer listed.
  void SetButtonTypes(ThvButtonTypes AValue);
  QString CustomCaption() const { return FCustomCaption; }
  void SetCustomCaption(const QString& AValue);
  // The button of AType, or null when the panel has none.
  ThvCustomButton* Button(ThvButtonType AType) const { return FButtons[AType].data(); }

 private:
  std::array<QPointer<ThvCustomButton>, ButtonTypeCount> FButtons{};
  ThvButtonTypes FButtonTypes;
  QString FCustomCaption;
};
