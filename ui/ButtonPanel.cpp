#include "ui/ButtonPanel.h"

#include <QCoreApplication>
#include <QDialog>
#include <QPainter>
#include <QShortcut>

#include <algorithm>
#include <vector>

#include "com/DialogService.h"
#include "ui/UiMetrics.h"

namespace {

struct TButtonKind {
  const char* Caption;
  TModalResult Result;
  bool Default;
  bool Cancel;
};

constexpr std::array<TButtonKind, ButtonTypeCount> ButtonKinds{{
    {"", mrNone, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Yes"), mrYes, true, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&No"), mrNo, false, true},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "OK"), mrOK, true, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "Cancel"), mrCancel, false, true},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "Abort"), mrAbort, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Retry"), mrRetry, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Ignore"), mrIgnore, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&All"), mrAll, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "Yes to All"), mrYesToAll, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "No to All"), mrNoToAll, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Close"), mrNone, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Back"), mrNone, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Next"), mrNone, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "&Finish"), mrNone, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "Apply"), mrNone, false, false},
    {QT_TRANSLATE_NOOP("ThvButtonPanel", "Help (F1)"), mrNone, false, false},
}};

THelpViewer& HelpViewer() {
  static THelpViewer viewer;
  return viewer;
}

}  // namespace

QString ButtonCaption(ThvButtonType AType) {
  const char* caption = ButtonKinds[AType].Caption;
  return *caption ? QCoreApplication::translate("ThvButtonPanel", caption) : QString();
}

TModalResult ButtonModalResult(ThvButtonType AType) { return ButtonKinds[AType].Result; }

int HelpContextOf(const QWidget* AWidget) {
  for (const QWidget* widget = AWidget; widget; widget = widget->parentWidget()) {
    const int context = widget->property(HelpContextProperty).toInt();
    if (context > 0) return context;
  }
  return 0;
}

void SetHelpViewer(THelpViewer AViewer) { HelpViewer() = std::move(AViewer); }

void ShowHelp(int AContext) {
  if (HelpViewer()) {
    HelpViewer()(AContext);
    return;
  }
  DialogService().ShowMessage(TMessageKind::Information,
                              "No help is installed for this window (topic " + std::to_string(AContext) + ").");
}

ThvCustomButton::ThvCustomButton(ThvButtonType AType, QWidget* AParent)
    : QPushButton(AParent), FButtonType(AType), FModalResult(ButtonModalResult(AType)) {
  setText(ButtonCaption(AType));
  const TButtonKind& kind = ButtonKinds[AType];
  setDefault(kind.Default);
  // Escape presses the cancel button before the dialog would reject on its own.
  if (kind.Cancel)
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QAbstractButton::click);
  if (AType == btHelp)
    connect(new QShortcut(QKeySequence(Qt::Key_F1), this), &QShortcut::activated, this, &QAbstractButton::click);
  connect(this, &QAbstractButton::clicked, this, &ThvCustomButton::Click);
}

void ThvCustomButton::Click() {
  QWidget* form = window();
  auto* dialog = qobject_cast<QDialog*>(form);
  if (dialog && FModalResult != mrNone) dialog->setResult(FModalResult);
  if (FButtonType == btHelp) ShowHelp(HelpContextOf(this));
  Q_EMIT OnClick(this);
  if (auto* panel = qobject_cast<ThvCustomButtonPanel*>(parentWidget())) panel->ButtonClicked(this);
  if (dialog && FModalResult != mrNone && dialog->result() == FModalResult) dialog->done(FModalResult);
  if (FButtonType == btClose && form) form->close();
}

ThvCustomButtonPanel::ThvCustomButtonPanel(QWidget* AParent) : QWidget(AParent) {
  resize(sizeHint());
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ThvCustomButtonPanel::SetButtonAlignment(ThvButtonAlignment AValue) {
  FButtonAlignment = AValue;
  LayoutButtons();
}

void ThvCustomButtonPanel::SetAlign(ThvPanelAlign AValue) {
  FAlign = AValue;
  const bool column = AValue == alLeft || AValue == alRight;
  setSizePolicy(column ? QSizePolicy::Fixed : QSizePolicy::Preferred, column ? QSizePolicy::Preferred : QSizePolicy::Fixed);
  updateGeometry();
  LayoutButtons();
}

void ThvCustomButtonPanel::SetButtonSize(QSize AValue) {
  FButtonSize = AValue;
  updateGeometry();
  LayoutButtons();
}

void ThvCustomButtonPanel::SetMargin(int AValue) {
  FMargin = AValue;
  updateGeometry();
  LayoutButtons();
}

void ThvCustomButtonPanel::SetSeparation(int AValue) {
  FSeparation = AValue;
  LayoutButtons();
}

void ThvCustomButtonPanel::SetBevelEdges(ThvBevelEdges AValue) {
  FBevelEdges = AValue;
  update();
}

void ThvCustomButtonPanel::LayoutButtons() {
  std::vector<ThvCustomButton*> buttons;
  for (QObject* child : children())
    if (auto* button = qobject_cast<ThvCustomButton*>(child); button && button->isVisibleTo(this)) buttons.push_back(button);
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](const ThvCustomButton* A, const ThvCustomButton* B) { return A->ButtonType() < B->ButtonType(); });
  const int n = static_cast<int>(buttons.size());
  const int w = UiMetrics::Px(FButtonSize.width(), this);
  const int h = UiMetrics::Px(FButtonSize.height(), this);
  const int m = UiMetrics::Px(FMargin, this);
  const int s = UiMetrics::Px(FSeparation, this);
  const bool column = FAlign == alLeft || FAlign == alRight;
  // The start along the run of buttons, for a side of length ALength and buttons ASize long.
  const auto start = [&](int ALength, int ASize) {
    if (FButtonAlignment == baLeftTop || FAlign == alLeft) return m;
    if (FButtonAlignment == baRightBottom) return ALength - (ASize + s) * n + s - m;
    return (ALength - (ASize + s) * n + s) / 2;
  };
  if (!column) {
    int x = start(width(), w);
    const int y = FAlign == alTop ? m : height() - h - m;
    for (ThvCustomButton* button : buttons) {
      button->setGeometry(x, y, w, h);
      x += w + s;
    }
  } else {
    int y = start(height(), h);
    const int x = FAlign == alLeft ? m : width() - w - m;
    for (ThvCustomButton* button : buttons) {
      button->setGeometry(x, y, w, h);
      y += h + s;
    }
  }
}

QSize ThvCustomButtonPanel::sizeHint() const { return UiMetrics::Px(QSize(369, 33), this); }

QSize ThvCustomButtonPanel::minimumSizeHint() const {
  const QSize button = UiMetrics::Px(FButtonSize, this);
  const int m = UiMetrics::Px(FMargin, this);
  return QSize(button.width() + 2 * m, button.height() + 2 * m);
}

void ThvCustomButtonPanel::resizeEvent(QResizeEvent* AEvent) {
  QWidget::resizeEvent(AEvent);
  LayoutButtons();
}

void ThvCustomButtonPanel::paintEvent(QPaintEvent*) {
  // Outer bevel lowered, inner raised, one pixel each.
  QPainter painter(this);
  const QColor highlight = palette().color(QPalette::Light);
  const QColor shadow = palette().color(QPalette::Dark);
  const auto bevel = [&](QRect ARect, const QColor& ATopLeft, const QColor& ABottomRight) {
    if (FBevelEdges.Contains(beLeft)) painter.fillRect(ARect.left(), ARect.top(), 1, ARect.height(), ATopLeft);
    if (FBevelEdges.Contains(beTop)) painter.fillRect(ARect.left(), ARect.top(), ARect.width(), 1, ATopLeft);
    if (FBevelEdges.Contains(beRight)) painter.fillRect(ARect.right(), ARect.top(), 1, ARect.height(), ABottomRight);
    if (FBevelEdges.Contains(beBottom)) painter.fillRect(ARect.left(), ARect.bottom(), ARect.width(), 1, ABottomRight);
  };
  bevel(rect(), shadow, highlight);
  bevel(rect().adjusted(1, 1, -1, -1), highlight, shadow);
}

ThvButtonPanel::ThvButtonPanel(QWidget* AParent) : ThvCustomButtonPanel(AParent) {
  SetButtonTypes({btOK, btCancel, btHelp});
}

void ThvButtonPanel::SetButtonTypes(ThvButtonTypes AValue) {
  FButtonTypes = AValue;
  for (int type = 0; type < ButtonTypeCount; ++type) {
    const auto buttonType = static_cast<ThvButtonType>(type);
    QPointer<ThvCustomButton>& button = FButtons[type];
    if (AValue.Contains(buttonType) && !button) {
      button = new ThvCustomButton(buttonType, this);
      if (buttonType == btCustom) button->setText(FCustomCaption);
      button->show();
    } else if (!AValue.Contains(buttonType) && button) {
      delete button.data();
    }
  }
  LayoutButtons();
}

void ThvButtonPanel::SetCustomCaption(const QString& AValue) {
  FCustomCaption = AValue;
  if (FButtons[btCustom]) FButtons[btCustom]->setText(AValue);
}
