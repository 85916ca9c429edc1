#include "ui/ActionViewPresenter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>
#include <exception>

#include "com/OleDate.h"
#include "ui/NumEdit.h"
#include "ui/SpinEdit.h"

namespace {

// Where a form shows nothing because the nodes disagree, a grayed hint says so; short enough for
// the narrow Work and Duration edits.
QString Varies() { return QObject::tr("(varies)"); }

QString ToQ(const TActionFieldValue& AValue) {
  const std::string* text = std::get_if<std::string>(&AValue);
  return text ? QString::fromStdString(*text) : QString();
}

double ToNumber(const TActionFieldValue& AValue) {
  if (const double* number = std::get_if<double>(&AValue)) return *number;
  if (const int32_t* whole = std::get_if<int32_t>(&AValue)) return *whole;
  return 0;
}

void ShowBox(QCheckBox* ABox, bool AMixed, bool AChecked) {
  // Only a box that shows several nodes' values may stay grayed when clicked.
  ABox->setTristate(AMixed);
  ABox->setCheckState(AMixed ? Qt::PartiallyChecked : AChecked ? Qt::Checked : Qt::Unchecked);
}

void ShowNumber(ThvNumEdit* AEdit, const TActionRecordPresenter::TField& AField) {
  if (AField.Mixed)
    AEdit->clear();
  else
    AEdit->SetValue(ToNumber(AField.Value));
  AEdit->setPlaceholderText(AField.Mixed ? Varies() : QString());
}

void ShowUnit(QComboBox* ACombo, const TActionRecordPresenter::TField& AField) {
  const int measure = static_cast<int>(ToNumber(AField.Value));
  ACombo->setCurrentIndex(!AField.Mixed && measure >= 0 && measure < ACombo->count() ? measure : -1);
}

// The control and the labels of the form that name it, enabled together; a disabled control says
// why in its tip.
void Enable(QWidget* AForm, QWidget* AControl, const std::string& ARefusal) {
  if (!AControl) return;
  const bool enabled = ARefusal.empty();
  AControl->setEnabled(enabled);
  AControl->setToolTip(QString::fromStdString(ARefusal));
  for (QLabel* label : AForm->findChildren<QLabel*>())
    if (label->buddy() == AControl) label->setEnabled(enabled);
}

}  // namespace

QDateTime DateTimeOfOle(double AValue) {
  const TDateTimeParts parts = DecodeDateTime(AValue);
  return QDateTime(QDate(parts.Year, parts.Month, parts.Day), QTime(parts.Hour, parts.Minute, parts.Second));
}

double OleOfDateTime(const QDateTime& AValue) {
  const QDate date = AValue.date();
  const QTime time = AValue.time();
  return EncodeDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), 0});
}

TActionViewPresenter::TActionViewPresenter(IActionView* AView, TActionRecordPresenter::TForm AForm, QObject* AParent)
    : QObject(AParent), FView(AView), FRecord(AForm) {
  Hook();
  ShowAll();
}

TActionViewPresenter::~TActionViewPresenter() = default;

void TActionViewPresenter::Hook() {
  IActionView* v = FView;
  const auto onFlag = [this](QCheckBox* ABox, TActionField AField) {
    if (!ABox) return;
    connect(ABox, &QCheckBox::clicked, this, [this, ABox, AField] {
      ABox->setTristate(false);
      Edited(AField, ABox->isChecked());
    });
  };
  onFlag(v->GetIsActionBox(), acIsAction);
  onFlag(v->GetMilestoneBox(), acIsMilestone);

  const auto onDate = [this](QCheckBox* ABox, QDateTimeEdit* APicker, TActionField AField) {
    connect(ABox, &QCheckBox::clicked, this, [this, ABox, AField] {
      ABox->setTristate(false);
      Checked(AField, ABox->isChecked());
    });
    connect(APicker, &QDateTimeEdit::dateTimeChanged, this, [this, APicker, AField] {
      if (FLoading) return;
      if (APicker->hasFocus()) {
        FPendingPicker = APicker;
        return;
      }
      PickerEdited(APicker, AField);
    });
    connect(APicker, &QDateTimeEdit::editingFinished, this, [this, APicker, AField] {
      if (FPendingPicker != APicker) return;
      FPendingPicker = nullptr;
      PickerEdited(APicker, AField);
    });
  };
  onDate(v->GetStartDateBox(), v->GetStartDatePicker(), acStartDate);
  onDate(v->GetDueDateBox(), v->GetDueDatePicker(), acDueDate);
  onDate(v->GetEndDateBox(), v->GetEndDatePicker(), acCompletedDate);

  const auto onNumber = [this](ThvNumEdit* AEdit, TActionField AField) {
    connect(AEdit, &QLineEdit::textChanged, this, [this, AEdit, AField] { Edited(AField, AEdit->Value()); });
  };
  onNumber(v->GetDurationEdit(), acDuration);
  onNumber(v->GetCostEdit(), acCost);
  onNumber(v->GetQuantityEdit(), acQuantity);
  onNumber(v->GetWorkEdit(), acWork);
  v->GetDurationEdit()->installEventFilter(this);

  const auto onUnit = [this](QComboBox* ACombo, TActionField AField) {
    connect(ACombo, &QComboBox::currentIndexChanged, this, [this, AField](int AIndex) {
      if (AIndex >= 0) Edited(AField, static_cast<int32_t>(AIndex));
    });
  };
  onUnit(v->GetDurationUnitCombo(), acDurationMeasure);
  onUnit(v->GetWorkUnitCombo(), acWorkMeasure);
  connect(v->GetStatusCombo(), &QComboBox::currentIndexChanged, this, [this](int AIndex) {
    if (AIndex >= 0) Edited(acStatus, FView->GetStatusCombo()->itemText(AIndex).toStdString());
  });
  // Typing into the priority changes its text without changing the picked item.
  connect(v->GetPriorityCombo(), &QComboBox::currentTextChanged, this,
          [this](const QString& AText) { Edited(acPriority, AText.toStdString()); });
  connect(v->GetCompleteSpin(), &ThvSpinEdit::Changed, this, [this] {
    ThvSpinEdit* spin = FView->GetCompleteSpin();
    // The spin clamps what it shows only when left, and the panel may save before that.
    Edited(acComplete, spin->IsNull() ? 0 : std::clamp(spin->Value(), 0, 100));
  });
}

bool TActionViewPresenter::eventFilter(QObject* AWatched, QEvent* AEvent) {
  // A duration left empty means none.
  if (AEvent->type() == QEvent::FocusOut && AWatched == FView->GetDurationEdit() && !FLoading &&
      FView->GetDurationEdit()->text().isEmpty() && FRecord.Enabled(acDuration))
    FView->GetDurationEdit()->setText(QStringLiteral("0"));
  return QObject::eventFilter(AWatched, AEvent);
}

void TActionViewPresenter::Edited(TActionField AField, const TActionFieldValue& AValue, bool ATimeGiven) {
  if (FLoading) return;
  std::vector<TActionField> changed;
  try {
    changed = FRecord.Edit(AField, AValue, ATimeGiven);
  } catch (const std::exception&) {
    // Refused: the control shows the presenter's value again.
    changed = {AField};
  }
  ShowChanged(changed);
}

void TActionViewPresenter::Checked(TActionField AField, bool AChecked) {
  if (FLoading) return;
  std::vector<TActionField> changed{AField};
  try {
    changed = FRecord.Check(AField, AChecked);
  } catch (const std::exception&) {
  }
  ShowChanged(changed);
}

void TActionViewPresenter::PickerEdited(QDateTimeEdit* APicker, TActionField AField) {
  const bool withTime = APicker->displayFormat().contains(QLatin1String("HH"));
  Edited(AField, OleOfDateTime(APicker->dateTime()), withTime);
}

void TActionViewPresenter::Open(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AAction,
                                bool AKeepTouched) {
  FRecord.Open(AModel, ASelection, AAction, AKeepTouched);
  ShowAll();
}

void TActionViewPresenter::Clear(IActionAttribute* AEmpty) {
  FRecord.Clear(AEmpty);
  ShowAll();
}

void TActionViewPresenter::Reset() {
  FRecord.Reset();
  ShowAll();
}

void TActionViewPresenter::RestoreDate(int32_t ACode) { ShowChanged(FRecord.RestoreDate(ACode)); }

std::string TActionViewPresenter::SaveToAction(IActionAttribute* AAction) {
  const std::string typed = FRecord.TypedPriority();
  FRecord.Save(AAction);
  return typed;
}

void TActionViewPresenter::ShowAll() {
  const bool loading = std::exchange(FLoading, true);
  FPendingPicker = nullptr;
  QComboBox* priority = FView->GetPriorityCombo();
  QStringList items;
  for (const std::string& text : FRecord.Priorities()) items << QString::fromStdString(text);
  QStringList current;
  for (int i = 0; i < priority->count(); ++i) current << priority->itemText(i);
  if (current != items) {
    priority->clear();
    priority->addItems(items);
  }
  FLoading = loading;
  std::vector<TActionField> all;
  for (int32_t i = 0; i < KActionFieldCount; ++i) all.push_back(static_cast<TActionField>(i));
  ShowChanged(all);
}

void TActionViewPresenter::ShowChanged(const std::vector<TActionField>& AFields) {
  const bool loading = std::exchange(FLoading, true);
  for (TActionField field : AFields) {
    Show(field);
    Q_EMIT FieldShown(field);
  }
  FLoading = loading;
}

void TActionViewPresenter::Show(TActionField AField) {
  IActionView* v = FView;
  const TActionRecordPresenter::TField& field = FRecord.Field(AField);
  const std::string enabled = FRecord.Refusal(AField);
  QWidget* form = v->GetHandle();
  const auto showDate = [&](QCheckBox* ABox, QDateTimeEdit* APicker) {
    ShowBox(ABox, field.Mixed, field.Checked);
    const double date = ToNumber(field.Value);
    if (IsDateToShow(date)) APicker->setDateTime(DateTimeOfOle(date));
    Enable(form, ABox, enabled);
    Enable(form, APicker, enabled);
  };
  switch (AField) {
    case acIsAction:
    case acIsMilestone:
      if (QCheckBox* box = AField == acIsAction ? v->GetIsActionBox() : v->GetMilestoneBox()) {
        ShowBox(box, field.Mixed, std::get<bool>(field.Value));
        Enable(form, box, enabled);
      }
      break;
    case acStartDate: showDate(v->GetStartDateBox(), v->GetStartDatePicker()); break;
    case acDueDate: showDate(v->GetDueDateBox(), v->GetDueDatePicker()); break;
    case acCompletedDate: showDate(v->GetEndDateBox(), v->GetEndDatePicker()); break;
    case acDuration:
    case acCost:
    case acQuantity:
    case acWork: {
      ThvNumEdit* edit = AField == acDuration ? v->GetDurationEdit()
                         : AField == acCost   ? v->GetCostEdit()
                         : AField == acQuantity ? v->GetQuantityEdit()
                                                : v->GetWorkEdit();
      ShowNumber(edit, field);
      Enable(form, edit, enabled);
      break;
    }
    case acDurationMeasure:
    case acWorkMeasure: {
      QComboBox* unit = AField == acDurationMeasure ? v->GetDurationUnitCombo() : v->GetWorkUnitCombo();
      ShowUnit(unit, field);
      Enable(form, unit, enabled);
      break;
    }
    case acComplete:
      if (field.Mixed)
        v->GetCompleteSpin()->SetText(QString());
      else
        v->GetCompleteSpin()->SetValue(static_cast<int>(ToNumber(field.Value)));
      Enable(form, v->GetCompleteSpin(), enabled);
      break;
    case acPriority: {
      QComboBox* combo = v->GetPriorityCombo();
      const QString text = field.Mixed ? QString() : ToQ(field.Value);
      if (combo->currentText() != text) {
        combo->setCurrentIndex(text.isEmpty() ? -1 : combo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
        combo->setEditText(text);
        if (combo->lineEdit()) combo->lineEdit()->setCursorPosition(0);  // a long text shows its start
      }
      if (combo->lineEdit()) combo->lineEdit()->setPlaceholderText(field.Mixed ? Varies() : QString());
      Enable(form, combo, enabled);
      break;
    }
    case acStatus: {
      QComboBox* combo = v->GetStatusCombo();
      const QString text = ToQ(field.Value);
      combo->setCurrentIndex(field.Mixed || text.isEmpty() ? -1 : combo->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive));
      combo->setPlaceholderText(field.Mixed ? Varies() : QString());
      Enable(form, combo, enabled);
      break;
    }
    default:
      break;
  }
}
