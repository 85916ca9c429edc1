#include "ui/ActionPanelPresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QLineEdit>

#include <algorithm>

#include "com/OleDate.h"
#include "contract/LumetaIntf.h"
#include "plugin/ActionCommandHelpers.h"
#include "ui/ActionPanelForm.h"
#include "ui/NumEdit.h"
#include "ui/SpinEdit.h"

namespace {

const char* Name(TActionField AField) { return KActionFieldNames[static_cast<size_t>(AField)]; }

bool IsMixed(IActionAttribute* AAction, TActionField AField) {
  ComPtr<IAttribute> child = AAction->FindChild(Name(AField));
  return child && child->IsMixed();
}

void ShowGrayed(QCheckBox* ABox) {
  ABox->setTristate(true);
  ABox->setCheckState(Qt::PartiallyChecked);
}

void ShowChecked(QCheckBox* ABox, bool AChecked) {
  ABox->setTristate(false);
  ABox->setChecked(AChecked);
}

bool IsGrayed(QCheckBox* ABox) { return ABox->checkState() == Qt::PartiallyChecked; }

// A date box with its picker: an unset date unchecks the box and leaves the picker where it is.
void ShowDate(QCheckBox* ABox, QDateTimeEdit* APicker, bool AMixed, double ADate) {
  if (AMixed) return ShowGrayed(ABox);
  if (IsDateToShow(ADate)) APicker->setDate(DateOfOle(ADate));
  ShowChecked(ABox, IsDateToShow(ADate));
}

double DateOf(QCheckBox* ABox, QDateTimeEdit* APicker) {
  if (!ABox->isChecked()) return 0;
  const double date = OleOfDate(APicker->date()) + APicker->time().msecsSinceStartOfDay() / 86400000.0;
  return date > 0 ? date : 0;
}

void ShowNumber(ThvNumEdit* AEdit, bool AMixed, double AValue) {
  if (AMixed)
    AEdit->clear();
  else
    AEdit->SetValue(AValue);
}

void ShowUnit(QComboBox* ACombo, bool AMixed, int32_t AMeasure) {
  ACombo->setCurrentIndex(!AMixed && AMeasure >= 0 && AMeasure < ACombo->count() ? AMeasure : -1);
}

int ListIndex(QComboBox* ACombo, const QString& AText) {
  return AText.isEmpty() ? -1 : ACombo->findText(AText, Qt::MatchFixedString | Qt::MatchCaseSensitive);
}

}  // namespace

TActionViewPresenter::TActionViewPresenter(IActionView* AView, QObject* AParent) : QObject(AParent), FView(AView) {
  Hook();
}

TActionViewPresenter::~TActionViewPresenter() = default;

void TActionViewPresenter::Hook() {
  IActionView* v = FView;
  const auto onBox = [this](QCheckBox* ABox, TActionField AField) {
    connect(ABox, &QCheckBox::clicked, this, [this, ABox, AField] {
      if (FLoading) return;
      // A grayed box that is clicked holds one value for every node from then on.
      ABox->setTristate(false);
      Change(AField);
    });
  };
  onBox(v->GetIsActionBox(), acIsAction);
  onBox(v->GetStartDateBox(), acStartDate);
  onBox(v->GetDueDateBox(), acDueDate);
  onBox(v->GetEndDateBox(), acCompletedDate);

  const auto onPicker = [this](QDateTimeEdit* APicker, QCheckBox* ABox, TActionField AField, bool ADuration) {
    connect(APicker, &QDateTimeEdit::dateTimeChanged, this, [this, ABox, AField, ADuration] {
      if (FLoading) return;
      Change(AField);
      ShowChecked(ABox, true);
      if (!ADuration) return;
      QCheckBox* other = AField == acStartDate ? FView->GetDueDateBox() : FView->GetStartDateBox();
      if (other->isChecked() && !IsGrayed(other)) UpdateDuration();
    });
  };
  onPicker(v->GetStartDatePicker(), v->GetStartDateBox(), acStartDate, true);
  onPicker(v->GetDueDatePicker(), v->GetDueDateBox(), acDueDate, true);
  onPicker(v->GetEndDatePicker(), v->GetEndDateBox(), acCompletedDate, false);

  const auto onText = [this](ThvNumEdit* AEdit, TActionField AField) {
    connect(AEdit, &QLineEdit::textChanged, this, [this, AField] {
      if (!FLoading) Change(AField);
    });
  };
  onText(v->GetDurationEdit(), acDuration);
  onText(v->GetCostEdit(), acCost);
  onText(v->GetQuantityEdit(), acQuantity);
  onText(v->GetWorkEdit(), acWork);
  v->GetDurationEdit()->installEventFilter(this);

  const auto onIndex = [this](QComboBox* ACombo, TActionField AField) {
    connect(ACombo, &QComboBox::currentIndexChanged, this, [this, AField] {
      if (!FLoading) Change(AField);
    });
  };
  onIndex(v->GetDurationUnitCombo(), acDurationMeasure);
  onIndex(v->GetStatusCombo(), acStatus);
  onIndex(v->GetWorkUnitCombo(), acWorkMeasure);
  // Typing into the priority changes its text without changing the picked item.
  connect(v->GetPriorityCombo(), &QComboBox::currentTextChanged, this, [this] {
    if (!FLoading) Change(acPriority);
  });
  connect(v->GetCompleteSpin(), &ThvSpinEdit::Changed, this, [this] {
    if (!FLoading) Change(acComplete);
  });
}

bool TActionViewPresenter::eventFilter(QObject* AWatched, QEvent* AEvent) {
  // A duration left empty means none.
  if (AEvent->type() == QEvent::FocusOut && AWatched == FView->GetDurationEdit() && !FLoading &&
      FView->GetDurationEdit()->text().isEmpty())
    FView->GetDurationEdit()->setText(QStringLiteral("0"));
  return QObject::eventFilter(AWatched, AEvent);
}

void TActionViewPresenter::Change(TActionField AField) {
  FChanged.set(static_cast<size_t>(AField));
  FModified = true;
}

void TActionViewPresenter::Initialize(INode* ARoot) {
  QStringList items = StandardPriorities();
  ComPtr<IMapActionListAttribute> list =
      ARoot ? QueryAs<IMapActionListAttribute>(ARoot->FindProperty(KActionListPropertyName).get()) : nullptr;
  for (int32_t i = 0, count = list ? list->GetChildCount() : 0; i < count; ++i)
    if (ComPtr<IMapActionAttribute> item = QueryAs<IMapActionAttribute>(list->GetChild(i).get()))
      items << QString::fromStdString(item->GetMapStatus());
  QComboBox* combo = FView->GetPriorityCombo();
  QStringList current;
  for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
  if (current == items) return;
  const bool loading = std::exchange(FLoading, true);
  const QString text = combo->currentText();
  combo->clear();
  combo->addItems(items);
  combo->setCurrentIndex(ListIndex(combo, text));
  combo->setEditText(text);
  FLoading = loading;
}

void TActionViewPresenter::Clear(bool AModified) {
  const bool loading = std::exchange(FLoading, true);
  FView->Clear();
  FChanged.reset();
  FView->GetDurationUnitCombo()->setCurrentIndex(amDays);
  FChanged.set(acDurationMeasure);
  FModified = AModified;
  FLoading = loading;
}

void TActionViewPresenter::PopulateFromAction(IActionAttribute* AAction) {
  FChanged.reset();
  Fill(AAction, false);
  FModified = false;
}

void TActionViewPresenter::RefreshFromAction(IActionAttribute* AAction) { Fill(AAction, true); }

void TActionViewPresenter::Fill(IActionAttribute* AAction, bool AKeepChanges) {
  if (!AAction) return;
  const bool loading = std::exchange(FLoading, true);
  IActionView* v = FView;
  const auto show = [&](TActionField AField) { return !(AKeepChanges && Changed(AField)); };
  const auto mixed = [&](TActionField AField) { return IsMixed(AAction, AField); };

  if (show(acIsAction)) {
    if (mixed(acIsAction))
      ShowGrayed(v->GetIsActionBox());
    else
      ShowChecked(v->GetIsActionBox(), AAction->GetIsAction());
  }
  if (show(acStartDate))
    ShowDate(v->GetStartDateBox(), v->GetStartDatePicker(), mixed(acStartDate), AAction->GetStartDate());
  if (show(acDueDate)) ShowDate(v->GetDueDateBox(), v->GetDueDatePicker(), mixed(acDueDate), AAction->GetDueDate());
  if (show(acCompletedDate))
    ShowDate(v->GetEndDateBox(), v->GetEndDatePicker(), mixed(acCompletedDate), AAction->GetCompletedDate());
  if (show(acDuration)) ShowNumber(v->GetDurationEdit(), mixed(acDuration), AAction->GetDuration());
  if (show(acDurationMeasure))
    ShowUnit(v->GetDurationUnitCombo(), mixed(acDurationMeasure), AAction->GetDurationMeasure());
  if (show(acComplete)) {
    if (mixed(acComplete))
      v->GetCompleteSpin()->SetText(QString());
    else
      v->GetCompleteSpin()->SetValue(AAction->GetComplete());
  }
  if (show(acPriority)) {
    QComboBox* combo = v->GetPriorityCombo();
    const QString text = mixed(acPriority) ? QString() : QString::fromStdString(AAction->GetPriority());
    combo->setCurrentIndex(ListIndex(combo, text));
    combo->setEditText(text);
    if (combo->lineEdit()) combo->lineEdit()->setCursorPosition(0);  // a long text shows its start
  }
  if (show(acStatus)) {
    QComboBox* combo = v->GetStatusCombo();
    combo->setCurrentIndex(mixed(acStatus) ? -1 : ListIndex(combo, QString::fromStdString(AAction->GetStatus())));
  }
  if (show(acCost)) ShowNumber(v->GetCostEdit(), mixed(acCost), AAction->GetCost());
  if (show(acQuantity)) ShowNumber(v->GetQuantityEdit(), mixed(acQuantity), AAction->GetQuantity());
  if (show(acWork)) ShowNumber(v->GetWorkEdit(), mixed(acWork), AAction->GetWork());
  if (show(acWorkMeasure)) ShowUnit(v->GetWorkUnitCombo(), mixed(acWorkMeasure), AAction->GetWorkMeasure());
  FLoading = loading;
}

std::string TActionViewPresenter::SaveToAction(IActionAttribute* AAction) {
  IActionView* v = FView;
  std::string typed;
  if (Changed(acIsAction)) AAction->SetIsAction(v->GetIsActionBox()->isChecked());
  if (Changed(acCompletedDate)) AAction->SetCompletedDate(DateOf(v->GetEndDateBox(), v->GetEndDatePicker()));
  if (Changed(acStartDate)) AAction->SetStartDate(DateOf(v->GetStartDateBox(), v->GetStartDatePicker()));
  if (Changed(acDueDate)) AAction->SetDueDate(DateOf(v->GetDueDateBox(), v->GetDueDatePicker()));
  // The spin clamps what it shows only when left, and the panel may save before that.
  if (Changed(acComplete))
    AAction->SetComplete(v->GetCompleteSpin()->IsNull() ? 0 : std::clamp(v->GetCompleteSpin()->Value(), 0, 100));
  if (Changed(acDuration)) AAction->SetDuration(v->GetDurationEdit()->Value());
  if (Changed(acDurationMeasure) && v->GetDurationUnitCombo()->currentIndex() >= 0)
    AAction->SetDurationMeasure(v->GetDurationUnitCombo()->currentIndex());
  if (Changed(acPriority)) {
    const QString text = v->GetPriorityCombo()->currentText();
    AAction->SetPriority(text.toStdString());
    if (ListIndex(v->GetPriorityCombo(), text) < 0) typed = text.toStdString();
  }
  // Last, so that a status picked together with a percentage decides the pair.
  if (Changed(acStatus)) AAction->SetStatus(v->GetStatusCombo()->currentText().toStdString());
  if (Changed(acCost)) AAction->SetCost(v->GetCostEdit()->Value());
  if (Changed(acQuantity)) AAction->SetQuantity(v->GetQuantityEdit()->Value());
  if (Changed(acWork)) AAction->SetWork(v->GetWorkEdit()->Value());
  if (Changed(acWorkMeasure) && v->GetWorkUnitCombo()->currentIndex() >= 0)
    AAction->SetWorkMeasure(v->GetWorkUnitCombo()->currentIndex());
  SettleEdits(AAction);
  FChanged.reset();
  FModified = false;
  return typed;
}

void TActionViewPresenter::UpdateDuration() {
  const qint64 days = FView->GetStartDatePicker()->date().daysTo(FView->GetDueDatePicker()->date());
  FView->GetDurationEdit()->SetValue(static_cast<double>(std::max<qint64>(days, 0)));
  FView->GetDurationUnitCombo()->setCurrentIndex(amDays);
  Change(acDuration);
  Change(acDurationMeasure);
}
