#include "ui/ActionPanelForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QScrollArea>

#include <cmath>

#include "com/LumetaLocale.h"
#include "contract/ActionVocabulary.h"
#include "ui/ActionViewPresenter.h"
#include "ui/NumEdit.h"
#include "ui/SpinEdit.h"
#include "ui/UiMetrics.h"

using UiMetrics::Px;

namespace {

QDate Today() { return DateTimeOfOle(LocaleService().Today()).date(); }

QCheckBox* NewBox(QWidget* AParent, const char* AName, const QString& ACaption) {
  auto* box = new QCheckBox(ACaption, AParent);
  box->setObjectName(AName);
  return box;
}

QDateTimeEdit* NewPicker(QWidget* AParent, const char* AName) {
  auto* picker = new QDateTimeEdit(AParent);
  picker->setObjectName(AName);
  picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
  picker->setCalendarPopup(true);
  picker->setDate(Today());
  return picker;
}

ThvNumEdit* NewNumEdit(QWidget* AParent, const char* AName) {
  auto* edit = new ThvNumEdit(AParent);
  edit->setObjectName(AName);
  return edit;
}

QComboBox* NewCombo(QWidget* AParent, const char* AName, const QStringList& AItems, bool AEditable) {
  auto* combo = new QComboBox(AParent);
  combo->setObjectName(AName);
  combo->setEditable(AEditable);
  combo->addItems(AItems);
  combo->setCurrentIndex(-1);
  // Long statuses stay readable in the narrow panel: the list opens as wide as its texts.
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(4);
  return combo;
}

QLabel* NewLabel(QWidget* AParent, const char* AName, const QString& ACaption, QWidget* ABuddy) {
  auto* label = new QLabel(ACaption, AParent);
  label->setObjectName(AName);
  label->setBuddy(ABuddy);
  return label;
}

// A value control with its unit beside it, sharing the second column.
QWidget* Pair(QWidget* AParent, QWidget* AValue, QWidget* AUnit) {
  auto* pair = new QWidget(AParent);
  auto* layout = new QHBoxLayout(pair);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(Px(4));
  AValue->setParent(pair);
  AUnit->setParent(pair);
  if (auto* combo = qobject_cast<QComboBox*>(AUnit)) {
    combo->setMinimumContentsLength(0);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  }
  AUnit->setSizePolicy(QSizePolicy::Fixed, AUnit->sizePolicy().verticalPolicy());
  // The unit's two short words need little room; the number takes the rest.
  layout->addWidget(AValue, 1);
  layout->addWidget(AUnit, 0);
  return pair;
}

}  // namespace

QStringList StandardPriorities() { return {KFixedPriorities.begin(), KFixedPriorities.end()}; }

QStringList StandardStatuses() { return {KStatusPickList.begin(), KStatusPickList.end()}; }

TfrmActionView::TfrmActionView(QWidget* AParent) : QWidget(AParent) {
  setObjectName("frmActionView");
  setWindowTitle(tr("Action"));
  setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
  setFont(UiMetrics::FormFont());
  resize(Px(265), Px(354));

  FScrollBox = new QScrollArea(this);
  FScrollBox->setObjectName("sbFields");
  FScrollBox->setFrameShape(QFrame::NoFrame);
  FScrollBox->setWidgetResizable(true);
  FScrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->addWidget(FScrollBox);

  FPanel = new QWidget;
  FPanel->setObjectName("pnlFields");
  FScrollBox->setWidget(FPanel);
  const QStringList units{tr("Hours"), tr("Days")};

  FIsAction = NewBox(FPanel, "chIsAction", tr("Action For Outlook?"));
  FStartBox = NewBox(FPanel, "chStartDate", tr("Start Date"));
  FStartPicker = NewPicker(FPanel, "dtpStartDate");
  FDueBox = NewBox(FPanel, "chDueDate", tr("Due Date"));
  FDuePicker = NewPicker(FPanel, "dtpDueDate");
  FEndBox = NewBox(FPanel, "chEndDate", tr("Completed Date"));
  FEndPicker = NewPicker(FPanel, "dtpEndDate");
  FDuration = NewNumEdit(FPanel, "ebDuration");
  FDurationUnit = NewCombo(FPanel, "cbDuration", units, false);
  FComplete = new ThvSpinEdit(FPanel);
  FComplete->setObjectName("seComplete");
  FComplete->SetMinValue(0);
  FComplete->SetMaxValue(100);
  FComplete->SetIntegerOnly(true);
  FComplete->SetAllowNull(false);
  FPriority = NewCombo(FPanel, "cbPriority", StandardPriorities(), true);
  // A typed priority joins the map's list when it is saved, not the combo's on Enter.
  FPriority->setInsertPolicy(QComboBox::NoInsert);
  FStatus = NewCombo(FPanel, "cbStatus", StandardStatuses(), false);
  FCost = NewNumEdit(FPanel, "editCost");
  FQuantity = NewNumEdit(FPanel, "editQuantity");
  FWork = NewNumEdit(FPanel, "editWork");
  FWorkUnit = NewCombo(FPanel, "cbWork", units, false);
  // Work and duration are amounts of time, never below 0.
  for (ThvNumEdit* edit : {FDuration, FWork}) edit->SetNegativeAllowed(false);

  auto* grid = new QGridLayout(FPanel);
  grid->setContentsMargins(Px(8), Px(6), Px(8), Px(6));
  grid->setHorizontalSpacing(Px(6));
  grid->setVerticalSpacing(Px(3));
  grid->setColumnStretch(1, 1);
  int row = 0;
  grid->addWidget(FIsAction, row++, 0, 1, 2);
  const auto addRow = [&](QWidget* ACaption, QWidget* AControl) {
    grid->addWidget(ACaption, row, 0);
    grid->addWidget(AControl, row++, 1);
  };
  addRow(FStartBox, FStartPicker);
  addRow(FDueBox, FDuePicker);
  addRow(FEndBox, FEndPicker);
  addRow(NewLabel(FPanel, "lbDuration", tr("Duration"), FDuration), Pair(FPanel, FDuration, FDurationUnit));
  addRow(NewLabel(FPanel, "lbComplete", tr("Complete"), FComplete), FComplete);
  // The texts of these two lists are long for the panel's width: each list takes a whole line
  // under its caption.
  const auto addWideRow = [&](QWidget* ACaption, QWidget* AControl) {
    grid->addWidget(ACaption, row++, 0, 1, 2);
    grid->addWidget(AControl, row++, 0, 1, 2);
  };
  addWideRow(NewLabel(FPanel, "lbPriority", tr("Priority"), FPriority), FPriority);
  addWideRow(NewLabel(FPanel, "lbStatus", tr("Status"), FStatus), FStatus);
  addRow(NewLabel(FPanel, "lbCost", tr("Cost"), FCost), FCost);
  addRow(NewLabel(FPanel, "lbQuantity", tr("Quantity"), FQuantity), FQuantity);
  addRow(NewLabel(FPanel, "lbWork", tr("Work"), FWork), Pair(FPanel, FWork, FWorkUnit));
  grid->setRowStretch(row, 1);

  hide();
}

TfrmActionView::~TfrmActionView() = default;

HRESULT TfrmActionView::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  if (!AObject) return E_POINTER;
  if (AIid == IUnknown::Iid || AIid == IActionView::Iid) {
    *AObject = static_cast<IActionView*>(this);
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

void TfrmActionView::Clear() {
  for (QCheckBox* box : findChildren<QCheckBox*>()) {
    box->setTristate(false);
    box->setChecked(false);
  }
  for (QDateTimeEdit* picker : findChildren<QDateTimeEdit*>()) picker->setDate(Today());
  for (QComboBox* combo : findChildren<QComboBox*>()) {
    combo->setCurrentIndex(-1);
    if (combo->isEditable()) combo->clearEditText();
  }
  for (ThvSpinEdit* spin : findChildren<ThvSpinEdit*>()) spin->SetValue(0);
  for (ThvNumEdit* edit : findChildren<ThvNumEdit*>()) edit->setText(QStringLiteral("0"));
}

// The whole panel at once: a field the presenter disabled stays disabled when it is enabled again.
void TfrmActionView::EnableControls(bool AEnabled) { FPanel->setEnabled(AEnabled); }

void TfrmActionView::SetEnabled(bool AEnabled) { EnableControls(AEnabled && !FReadOnly); }

void TfrmActionView::SetReadOnly(bool AReadOnly) {
  FReadOnly = AReadOnly;
  EnableControls(!AReadOnly);
}

QList<QWidget*> TfrmActionView::FieldControls() const {
  return {FIsAction, FStartBox, FStartPicker, FDueBox,  FDuePicker, FEndBox,   FEndPicker, FDuration,
          FDurationUnit, FComplete, FPriority, FStatus, FCost,      FQuantity, FWork,      FWorkUnit};
}

void TfrmActionView::SetColor(const QColor& AColor) {
  for (QWidget* surface : {static_cast<QWidget*>(this), FScrollBox->viewport(), FPanel}) {
    QPalette palette = surface->palette();
    palette.setColor(QPalette::Window, AColor);
    surface->setPalette(palette);
    surface->setAutoFillBackground(true);
  }
}

void TfrmActionView::FocusFirst() { FIsAction->setFocus(); }

void TfrmActionView::keyPressEvent(QKeyEvent* AEvent) {
  if (AEvent->key() == Qt::Key_Return || AEvent->key() == Qt::Key_Enter) {
    Q_EMIT CommitRequested();
    AEvent->accept();
    return;
  }
  QWidget::keyPressEvent(AEvent);
}
