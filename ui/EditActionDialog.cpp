#include "ui/EditActionDialog.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "attributes/LumetaAttributes.h"
#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"
#include "commands/CompositeCommands.h"
#include "plugin/ActionHelpers.h"
#include "plugin/LumetaSelectionState.h"
#include "plugin/TaskCommands.h"
#include "ui/ActionPanelForm.h"
#include "ui/ButtonPanel.h"
#include "ui/NumEdit.h"
#include "ui/PredecessorGrid.h"
#include "ui/SpinEdit.h"
#include "ui/UiMetrics.h"

using UiMetrics::Px;

namespace {

const char* const KTitleName = "Title";
// The pickers show ISO dates: the same text on every machine, and what `lumeta edit` types.
const QString KDateFormat = QStringLiteral("yyyy-MM-dd");
const QString KDateTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm");

const QStringList KUnitItems{QObject::tr("Hours"), QObject::tr("Days")};

// The constraint combo's order; the flag marks the types a summary task may take.
struct TConstraintItem {
  TTaskConstraintType Type;
  const char* Caption;
  bool ForSummary;
};
constexpr TConstraintItem KConstraintItems[] = {
    {tcAsSoonAsPossible, "As Soon As Possible", true},  {tcFinishNoEarlierThan, "Finish No Earlier Than", false},
    {tcFinishNoLaterThan, "Finish No Later Than", true}, {tcMustFinishOn, "Must Finish On", false},
    {tcMustStartOn, "Must Start On", false},             {tcStartNoEarlierThan, "Start No Earlier Than", true},
    {tcStartNoLaterThan, "Start No Later Than", false}};

QDateTime ToQDateTime(double AValue) {
  const TDateTimeParts parts = DecodeDateTime(AValue);
  return QDateTime(QDate(parts.Year, parts.Month, parts.Day), QTime(parts.Hour, parts.Minute, parts.Second));
}

double FromQDateTime(const QDateTime& AValue) {
  const QDate date = AValue.date();
  const QTime time = AValue.time();
  return EncodeDateTime({date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), 0});
}

// Two date-times the same to the minute; pickers do not keep seconds.
bool SameMinute(double A, double B) { return std::abs(A - B) < 0.5 / (24 * 60); }

double PickerValue(const QDateTimeEdit* APicker) { return FromQDateTime(APicker->dateTime()); }

void SetPicker(QDateTimeEdit* APicker, double AValue) {
  const QSignalBlocker blocker(APicker);
  APicker->setDateTime(ToQDateTime(AValue));
}

// The text as a number; empty when it is empty or not one.
std::optional<double> NumberOf(const QString& AText) {
  bool ok = false;
  const double value = QLocale().toDouble(AText.trimmed(), &ok);
  if (ok) return value;
  const double plain = QLocale::c().toDouble(AText.trimmed(), &ok);
  return ok ? std::optional<double>(plain) : std::nullopt;
}

QString ToQ(const std::string& AText) { return QString::fromStdString(AText); }

void SetBox(QCheckBox* ABox, Qt::CheckState AState) {
  const QSignalBlocker blocker(ABox);
  // Only a box that shows several nodes' values may stay grayed when clicked.
  ABox->setTristate(AState == Qt::PartiallyChecked);
  ABox->setCheckState(AState);
}

void SetChecked(QCheckBox* ABox, bool AChecked) { SetBox(ABox, AChecked ? Qt::Checked : Qt::Unchecked); }

bool IsGrayed(const QCheckBox* ABox) { return ABox->checkState() == Qt::PartiallyChecked; }

void SelectText(QComboBox* ACombo, const QString& AText) {
  const QSignalBlocker blocker(ACombo);
  ACombo->setCurrentIndex(ACombo->findText(AText));
}

QLabel* Label(const QString& ACaption, QWidget* ABuddy, QWidget* AParent) {
  auto* label = new QLabel(ACaption, AParent);
  label->setBuddy(ABuddy);
  return label;
}

template <class T>
T* Named(T* AWidget, const char* AName) {
  AWidget->setObjectName(QString::fromLatin1(AName));
  return AWidget;
}

QDateTimeEdit* NewPicker(QWidget* AParent, const char* AName, bool AWithTime) {
  auto* picker = Named(new QDateTimeEdit(AParent), AName);
  picker->setCalendarPopup(true);
  picker->setDisplayFormat(AWithTime ? KDateTimeFormat : KDateFormat);
  return picker;
}

ThvNumEdit* NewNumEdit(QWidget* AParent, const char* AName) {
  auto* edit = Named(new ThvNumEdit(AParent), AName);
  edit->SetRoundingDecimals(2);
  return edit;
}

QComboBox* NewUnitCombo(QWidget* AParent, const char* AName) {
  auto* combo = Named(new QComboBox(AParent), AName);
  combo->addItems(KUnitItems);
  return combo;
}

// The forms' font (as UiMetrics::FormFont), its family names on the heap: Qt's font cache keeps
// them after the dialog is gone, and literals would point into this library once it is unloaded.
QFont FormFont() {
  QFont font;
  font.setFamilies({QString::fromLatin1("Tahoma"), QString::fromLatin1("DejaVu Sans")});
  font.setPointSize(8);
  return font;
}

// The title of a node as a property, for the command that renames the node; it belongs to no node.
class TTitleProperty : public TImplements<TStringAttribute, IProperty> {
 public:
  using TImplements::TImplements;
  std::string GetPropertyName() override { return KTitleName; }
  std::string GetCaption() override { return KTitleName; }
  std::string GetHint() override { return {}; }
  ComPtr<IPropertyManager> GetManager() override { return {}; }
  void SetManager(IPropertyManager*) override {}
  ComPtr<IUnknown> GetHostObject() override { return {}; }
  void SetHostObject(IUnknown*) override {}
};

ComPtr<IMapActionListAttribute> FindActionList(INode* ARoot) {
  return ARoot ? QueryAs<IMapActionListAttribute>(ARoot->FindProperty(KActionListPropertyName).get()) : nullptr;
}

}  // namespace

std::string AsHtmlTitle(const std::string& AText) {
  const std::u32string text = QString::fromStdString(AText).toStdU32String();
  std::string escaped;
  for (char32_t c : text) {
    switch (c) {
      case U'"': escaped += "&quot;"; break;
      case U'&': escaped += "&amp;"; break;
      case U'<': escaped += "&lt;"; break;
      case U'>': escaped += "&gt;"; break;
      default:
        if (c > 255)
          escaped += "&#" + std::to_string(static_cast<uint32_t>(c)) + ';';
        else
          escaped += QString::fromUcs4(&c, 1).toStdString();
    }
  }
  return "<html><body><p>" + escaped + "</p></body></html>";
}

// ---------------------------------------------------------------------------------------------
// The form as an action view

class TEditActionView : public TImplements<TComObject, IActionView> {
 public:
  explicit TEditActionView(TfrmEditAction* AForm) : FForm(AForm) {}

  void Clear() override {
    if (FForm) FForm->Clear();
  }
  void SetEnabled(bool AEnabled) override {
    if (FForm) FForm->FPages->setEnabled(AEnabled);
  }
  void FormOperation() override {}
  void* FormReference() override { return nullptr; }
  ThvSpinEdit* GetCompleteSpin() override { return FForm ? FForm->seComplete : nullptr; }
  ThvNumEdit* GetCostEdit() override { return FForm ? FForm->editCost : nullptr; }
  QCheckBox* GetDueDateBox() override { return FForm ? FForm->chDueDate : nullptr; }
  QDateTimeEdit* GetDueDatePicker() override { return FForm ? FForm->dtpDueDate : nullptr; }
  QComboBox* GetDurationUnitCombo() override { return FForm ? FForm->cbDuration : nullptr; }
  ThvNumEdit* GetDurationEdit() override { return FForm ? FForm->edtDuration : nullptr; }
  bool GetVisible() override { return FForm && FForm->isVisible(); }
  QCheckBox* GetEndDateBox() override { return FForm ? FForm->chCompletedDate : nullptr; }
  QDateTimeEdit* GetEndDatePicker() override { return FForm ? FForm->dtpCompletedDate : nullptr; }
  QWidget* GetHandle() override { return FForm.data(); }
  QCheckBox* GetIsActionBox() override { return FForm ? FForm->chIsAction : nullptr; }
  QComboBox* GetPriorityCombo() override { return FForm ? FForm->cbPriority : nullptr; }
  ThvNumEdit* GetQuantityEdit() override { return FForm ? FForm->editQuantity : nullptr; }
  QCheckBox* GetStartDateBox() override { return FForm ? FForm->chStartDate : nullptr; }
  QDateTimeEdit* GetStartDatePicker() override { return FForm ? FForm->dtpStartDate : nullptr; }
  QComboBox* GetStatusCombo() override { return FForm ? FForm->cbStatus : nullptr; }
  bool FormState() override { return FForm && FForm->FUpdating; }
  QComboBox* GetWorkUnitCombo() override { return FForm ? FForm->cbWork : nullptr; }
  ThvNumEdit* GetWorkEdit() override { return FForm ? FForm->editWork : nullptr; }
  void SetColor(const QColor& AColor) override {
    if (!FForm) return;
    QPalette palette = FForm->palette();
    palette.setColor(QPalette::Window, AColor);
    FForm->setPalette(palette);
  }
  void FocusFirst() override {
    if (FForm) FForm->chIsAction->setFocus();
  }
  void SetVisible(bool AVisible) override {
    if (FForm) FForm->setVisible(AVisible);
  }

 private:
  QPointer<TfrmEditAction> FForm;
};

// ---------------------------------------------------------------------------------------------
// Building the form

TfrmEditAction::TfrmEditAction(QWidget* AParent) : QDialog(AParent) {
  setObjectName(QStringLiteral("frmEditAction"));
  setWindowTitle(tr("Action"));
  setFont(FormFont());
  setProperty(HelpContextProperty, 534);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  BuildForm();
  Connect();
  FView = make<TEditActionView>(this);
}

TfrmEditAction::~TfrmEditAction() = default;

void TfrmEditAction::BuildForm() {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(Px(4), Px(4), Px(4), 0);
  layout->setSpacing(Px(4));
  FPages = Named(new QTabWidget(this), "pcMain");
  FGeneralPage = BuildGeneralPage();
  FAdvancedPage = BuildAdvancedPage();
  FPages->addTab(FGeneralPage, tr("General"));
  FPages->addTab(FAdvancedPage, tr("Advanced"));
  layout->addWidget(FPages, 1);

  FButtons = Named(new ThvButtonPanel(this), "ButtonPanel");
  FButtons->SetButtonTypes({btCustom, btOK, btCancel, btHelp});
  FButtons->SetCustomCaption(tr("C&lear"));
  FButtons->SetAlign(alBottom);
  FButtons->SetBevelEdges({beTop});
  layout->addWidget(FButtons);
  if (ThvCustomButton* ok = FButtons->Button(btOK)) ok->setObjectName(QStringLiteral("btnOK"));
  if (ThvCustomButton* cancel = FButtons->Button(btCancel)) cancel->setObjectName(QStringLiteral("btnCancel"));
  if (ThvCustomButton* clear = FButtons->Button(btCustom)) clear->setObjectName(QStringLiteral("btnClear"));
}

QWidget* TfrmEditAction::BuildGeneralPage() {
  auto* page = Named(new QWidget, "tsGeneral");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(Px(8), Px(8), Px(8), Px(8));
  layout->setSpacing(Px(6));

  auto* flags = new QHBoxLayout;
  chIsAction = Named(new QCheckBox(tr("&Action for Outlook"), page), "chIsAction");
  chkMilestone = Named(new QCheckBox(tr("Milestone"), page), "chkMilestone");
  flags->addWidget(chIsAction);
  flags->addSpacing(Px(24));
  flags->addWidget(chkMilestone);
  flags->addStretch();
  layout->addLayout(flags);

  grpTaskName = Named(new QGroupBox(tr("Task Name"), page), "grpTaskName");
  auto* nameLayout = new QVBoxLayout(grpTaskName);
  edtTaskName = Named(new QLineEdit(grpTaskName), "edtTaskName");
  edtTaskName->setPlaceholderText(tr("Enter name..."));
  nameLayout->addWidget(edtTaskName);
  grpTaskName->setVisible(false);
  layout->addWidget(grpTaskName);

  gbDates = Named(new QGroupBox(tr("Schedule Action"), page), "gbDates");
  auto* dates = new QGridLayout(gbDates);
  dates->setVerticalSpacing(Px(4));
  chStartDate = Named(new QCheckBox(tr("&Start Date"), gbDates), "chStartDate");
  dtpStartDate = NewPicker(gbDates, "dtpStartDate", true);
  chDueDate = Named(new QCheckBox(tr("&Due Date"), gbDates), "chDueDate");
  dtpDueDate = NewPicker(gbDates, "dtpDueDate", false);
  chCompletedDate = Named(new QCheckBox(tr("End (Completed) Date"), gbDates), "chCompletedDate");
  dtpCompletedDate = NewPicker(gbDates, "dtpCompletedDate", true);
  dates->addWidget(chStartDate, 0, 0);
  dates->addWidget(dtpStartDate, 0, 1);
  dates->addWidget(chDueDate, 1, 0);
  dates->addWidget(dtpDueDate, 1, 1);
  dates->addWidget(chCompletedDate, 2, 0);
  dates->addWidget(dtpCompletedDate, 2, 1);
  dates->setColumnStretch(1, 1);
  layout->addWidget(gbDates);

  gbStatus = Named(new QGroupBox(tr("Status "), page), "gbStatus");
  auto* status = new QGridLayout(gbStatus);
  status->setHorizontalSpacing(Px(6));
  status->setVerticalSpacing(Px(4));
  cbPriority = Named(new QComboBox(gbStatus), "cbPriority");
  cbPriority->setEditable(true);
  cbPriority->setInsertPolicy(QComboBox::NoInsert);
  cbStatus = Named(new QComboBox(gbStatus), "cbStatus");
  seComplete = Named(new ThvSpinEdit(gbStatus), "seComplete");
  seComplete->SetMinValue(0);
  seComplete->SetMaxValue(100);
  seComplete->SetIntegerOnly(true);
  editCost = NewNumEdit(gbStatus, "editCost");
  editQuantity = NewNumEdit(gbStatus, "editQuantity");
  editWork = NewNumEdit(gbStatus, "editWork");
  cbWork = NewUnitCombo(gbStatus, "cbWork");
  edtDuration = NewNumEdit(gbStatus, "edtDuration");
  // Work and duration are amounts of time, never below 0.
  for (ThvNumEdit* edit : {editWork, edtDuration}) edit->SetNegativeAllowed(false);
  cbDuration = NewUnitCombo(gbStatus, "cbDuration");
  lblStatus = Label(tr("S&tatus:"), cbStatus, gbStatus);
  lblComplete = Label(tr("% Co&mplete:"), seComplete, gbStatus);
  lblDuration = Label(tr("D&uration:"), edtDuration, gbStatus);

  // Two columns of fields: the schedule's on the left, the amounts on the right.
  status->addWidget(Label(tr("&Priority:"), cbPriority, gbStatus), 0, 0);
  status->addWidget(cbPriority, 0, 1, 1, 2);
  status->addWidget(lblStatus, 1, 0);
  status->addWidget(cbStatus, 1, 1, 1, 2);
  status->addWidget(lblComplete, 2, 0);
  status->addWidget(seComplete, 2, 1);
  status->addWidget(lblDuration, 3, 0);
  status->addWidget(edtDuration, 3, 1);
  status->addWidget(cbDuration, 3, 2);
  status->addWidget(Label(tr("Cost:"), editCost, gbStatus), 0, 4);
  status->addWidget(editCost, 0, 5);
  status->addWidget(Label(tr("Quantity:"), editQuantity, gbStatus), 1, 4);
  status->addWidget(editQuantity, 1, 5);
  status->addWidget(Label(tr("Work:"), editWork, gbStatus), 2, 4);
  auto* work = new QHBoxLayout;
  work->addWidget(editWork, 1);
  work->addWidget(cbWork, 1);
  status->addLayout(work, 2, 5);
  status->setColumnMinimumWidth(3, Px(10));
  status->setColumnStretch(1, 3);
  status->setColumnStretch(2, 2);
  status->setColumnStretch(5, 4);
  layout->addWidget(gbStatus);
  layout->addStretch();
  return page;
}

QWidget* TfrmEditAction::BuildAdvancedPage() {
  auto* page = Named(new QWidget, "tsAdvanced");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(Px(8), Px(8), Px(8), Px(8));
  layout->setSpacing(Px(6));

  auto* name = new QGroupBox(tr("Task Name"), page);
  auto* nameLayout = new QVBoxLayout(name);
  edtAdvTaskName = Named(new QLineEdit(name), "edtAdvTaskName");
  edtAdvTaskName->setPlaceholderText(tr("Enter name..."));
  nameLayout->addWidget(edtAdvTaskName);
  layout->addWidget(name);

  auto* preds = new QGroupBox(tr("Predecessors"), page);
  auto* predLayout = new QVBoxLayout(preds);
  vstPreds = new TPredecessorGrid(preds);
  predLayout->addWidget(vstPreds);
  layout->addWidget(preds, 1);

  auto* constraint = new QGroupBox(tr("Constrain Task"), page);
  auto* constraintLayout = new QGridLayout(constraint);
  cboConstraintType = Named(new QComboBox(constraint), "cboConstraintType");
  dtConstraintDate = NewPicker(constraint, "dtConstraintDate", true);
  constraintLayout->addWidget(Label(tr("Constraint type:"), cboConstraintType, constraint), 0, 0);
  constraintLayout->addWidget(cboConstraintType, 0, 1);
  constraintLayout->addWidget(Label(tr("Constraint date:"), dtConstraintDate, constraint), 1, 0);
  constraintLayout->addWidget(dtConstraintDate, 1, 1);
  constraintLayout->setColumnStretch(2, 1);
  layout->addWidget(constraint);
  return page;
}

void TfrmEditAction::Connect() {
  connect(FButtons, &ThvCustomButtonPanel::OnBtnClick, this, [this](ThvCustomButtonPanel*, ThvCustomButton* AButton) {
    if (AButton->ButtonType() == btCustom) Clear();
  });
  connect(seComplete, &TSpinEdit::Changed, this, [this] {
    Touched(acComplete);
    CompleteChanged();
  });
  connect(cbStatus, &QComboBox::activated, this, [this] {
    Touched(acStatus);
    StatusActivated();
  });
  connect(cbPriority, &QComboBox::editTextChanged, this, [this] {
    Touched(acPriority);
    StartNotStarted();
  });
  connect(editWork, &QLineEdit::textChanged, this, [this] {
    Touched(acWork);
    StartNotStarted();
  });
  connect(edtDuration, &QLineEdit::textChanged, this, [this] {
    Touched(acDuration);
    StartNotStarted();
    if (!FUpdating) DurationChanged();
  });
  connect(cbDuration, &QComboBox::activated, this, [this] {
    Touched(acDurationMeasure);
    DurationChanged();
  });
  connect(cbWork, &QComboBox::activated, this, [this] { Touched(acWorkMeasure); });
  connect(editCost, &QLineEdit::textChanged, this, [this] { Touched(acCost); });
  connect(editQuantity, &QLineEdit::textChanged, this, [this] { Touched(acQuantity); });
  connect(chkMilestone, &QCheckBox::clicked, this, [this] { MilestoneClicked(); });
  connect(chStartDate, &QCheckBox::clicked, this, [this] { StartBoxClicked(); });
  connect(chCompletedDate, &QCheckBox::clicked, this, [this] { EndBoxClicked(); });

  // A picker's text typed digit by digit passes through dates nobody meant; its rule waits for
  // the picker to be left. A pick from the calendar takes effect at once.
  const auto hookPicker = [this](QDateTimeEdit* APicker, void (TfrmEditAction::*ARule)()) {
    connect(APicker, &QDateTimeEdit::dateTimeChanged, this, [this, APicker, ARule] {
      if (FUpdating) return;
      if (APicker->hasFocus()) {
        FPendingPicker = APicker;
        return;
      }
      (this->*ARule)();
    });
    connect(APicker, &QDateTimeEdit::editingFinished, this, [this, APicker, ARule] {
      if (FPendingPicker != APicker) return;
      FPendingPicker = nullptr;
      (this->*ARule)();
    });
  };
  hookPicker(dtpStartDate, &TfrmEditAction::StartPickerChanged);
  hookPicker(dtpDueDate, &TfrmEditAction::DuePickerChanged);
  hookPicker(dtpCompletedDate, &TfrmEditAction::EndPickerChanged);

  const auto mirror = [this](QLineEdit* AFrom, QLineEdit* ATo) {
    connect(AFrom, &QLineEdit::textChanged, this, [this, ATo](const QString& AText) {
      if (FUpdating) return;
      FUpdating = true;
      ATo->setText(AText);
      FUpdating = false;
    });
  };
  mirror(edtTaskName, edtAdvTaskName);
  mirror(edtAdvTaskName, edtTaskName);
  connect(cboConstraintType, &QComboBox::activated, this, [this] { ConstraintTypeChanged(); });
  connect(dtConstraintDate, &QDateTimeEdit::dateTimeChanged, this, [this] {
    if (!FUpdating) FConstraintDatePicked = true;
  });
}

// ---------------------------------------------------------------------------------------------
// Execute

bool TfrmEditAction::Execute(const TEditActionInput& AInput) {
  FUpdating = false;
  FProperty = AInput.Action;
  FSelection = AInput.Selection;
  FTitleProp = AInput.Title;
  FEmptyAction = AInput.EmptyAction;
  FModel = AInput.Model;
  if (!FProperty || !QueryAs<IActionAttribute>(FProperty.get()) || !FModel)
    throw EInvalidOperation("The Edit Action dialog needs an action record and a model");
  FMultipleCmd = make<TMultipleCommand>(FModel.get());

  ComPtr<INode> root = FModel->GetTree() ? FModel->GetTree()->GetRoot() : nullptr;
  ComPtr<IMapSettings> settings = FindMapSettings(root.get());
  FScheduling = settings && settings->GetTaskScheduling();
  FScheduler = FindWorkingScheduler(root.get());

  cbDuration->setCurrentIndex(amDays);
  cbWork->setCurrentIndex(amDays);
  const QDateTime today = ToQDateTime(LocaleService().Today());
  for (QDateTimeEdit* picker : {dtpStartDate, dtpDueDate, dtpCompletedDate}) SetPicker(picker, FromQDateTime(today));

  // Only tasks are placed to the hour: a plain action's dates are days.
  for (QDateTimeEdit* picker : {dtpStartDate, dtpCompletedDate})
    picker->setDisplayFormat(FScheduling ? KDateTimeFormat : KDateFormat);
  Initialise();
  if (exec() != QDialog::Accepted) return false;

  SaveToRecord();
  AddTitleCommand();
  if (FScheduling) AddLinkCommands();
  return true;
}

INode* TfrmEditAction::EditedNode() const {
  if (!FSelection || FSelection->GetCount() == 0) return nullptr;
  return QueryAs<INode>(FSelection->GetItem(0).get()).get();
}

bool TfrmEditAction::AnySummary() const {
  ComPtr<TLumetaSelectionState> state = make<TLumetaSelectionState>();
  state->SetSelection(FSelection.get());
  return state->IsNotEmpty() && !state->AllLeaves();
}

void TfrmEditAction::Initialise() {
  cbStatus->clear();
  cbStatus->addItems(StandardStatuses());
  {
    const QSignalBlocker blocker(cbPriority);
    cbPriority->clear();
    cbPriority->addItems(StandardPriorities());
    ComPtr<INode> root = FModel->GetTree() ? FModel->GetTree()->GetRoot() : nullptr;
    FMapActionList = FindActionList(root.get());
    const int32_t count = FMapActionList ? FMapActionList->GetChildCount() : 0;
    for (int32_t i = 0; i < count; ++i)
      if (ComPtr<IMapActionAttribute> item = QueryAs<IMapActionAttribute>(FMapActionList->GetChild(i).get()))
        cbPriority->addItem(ToQ(item->GetMapStatus()));
  }

  INode* node = EditedNode();
  const bool hasChildren = node && node->HasChildren();
  if (FScheduling) {
    ComPtr<IAttribute> title = QueryAs<IAttribute>(FTitleProp.get());
    FTitleText = title ? title->AsPlainText(0) : PlainTitle(node);
    FUpdating = true;
    // A long name shows its start, not its end.
    for (QLineEdit* edit : {edtTaskName, edtAdvTaskName}) {
      edit->setText(ToQ(FTitleText));
      edit->setCursorPosition(0);
    }
    FUpdating = false;
    grpTaskName->setVisible(true);

    vstPreds->Load(FModel.get(), node);
    FConstraintType = QueryAs<IActionAttribute>(FProperty.get())->GetConstraintType();
    FConstraintCaptionMappings.clear();
    cboConstraintType->clear();
    for (const TConstraintItem& item : KConstraintItems) {
      FConstraintCaptionMappings[item.Type] = tr(item.Caption);
      if (!hasChildren || item.ForSummary) cboConstraintType->addItem(tr(item.Caption));
    }
    FConstraintCaptionMappings[tcAsLateAsPossible] = tr("As Late As Possible");
  }

  FillFrom(QueryAs<IActionAttribute>(FProperty.get()).get());
  SetControlStates();
  ShowRolledUp();

  const int advanced = FPages->indexOf(FAdvancedPage);
  FPages->setTabVisible(advanced, FScheduling);
  QSize size = Px(QSize(463, 419), this);
  // The task name shows only for tasks: without scheduling the form closes up over its place.
  if (!FScheduling) size.rheight() -= grpTaskName->sizeHint().height() + Px(6, this);
  setFixedSize(size);
}

void TfrmEditAction::FillFrom(IActionAttribute* AAction) {
  FUpdating = true;
  FMixedUntouched.clear();
  const auto mixed = [&](TActionField AField) {
    ComPtr<IAttribute> child = AAction->FindChild(KActionFieldNames[AField]);
    if (!child || !child->IsMixed()) return false;
    FMixedUntouched.insert(AField);
    return true;
  };
  const auto fillBox = [&](TActionField AField, QCheckBox* ABox, bool AValue) {
    SetBox(ABox, mixed(AField) ? Qt::PartiallyChecked : AValue ? Qt::Checked : Qt::Unchecked);
  };
  const auto fillDate = [&](TActionField AField, QCheckBox* ABox, QDateTimeEdit* APicker, double AValue,
                            bool AWithTime) {
    if (mixed(AField)) {
      SetBox(ABox, Qt::PartiallyChecked);
      return;
    }
    SetChecked(ABox, AValue > 0);
    if (AValue > 0) SetPicker(APicker, AWithTime ? AValue : DateOf(AValue));
  };
  const auto fillNumber = [&](TActionField AField, ThvNumEdit* AEdit, double AValue) {
    if (mixed(AField))
      AEdit->clear();
    else
      AEdit->SetValue(AValue);
  };
  const auto fillUnit = [&](TActionField AField, QComboBox* ACombo, int32_t AMeasure) {
    const QSignalBlocker blocker(ACombo);
    ACombo->setCurrentIndex(mixed(AField) || AMeasure < 0 || AMeasure >= ACombo->count() ? -1 : AMeasure);
  };

  fillBox(acIsAction, chIsAction, AAction->GetIsAction());
  fillBox(acIsMilestone, chkMilestone, AAction->GetIsMilestone());
  fillDate(acStartDate, chStartDate, dtpStartDate, AAction->GetStartDate(), true);
  fillDate(acDueDate, chDueDate, dtpDueDate, AAction->GetDueDate(), false);
  fillDate(acCompletedDate, chCompletedDate, dtpCompletedDate, AAction->GetCompletedDate(), true);
  fillNumber(acDuration, edtDuration, AAction->GetDuration());
  fillUnit(acDurationMeasure, cbDuration, AAction->GetDurationMeasure());
  seComplete->SetText(mixed(acComplete) ? QString() : QString::number(AAction->GetComplete()));
  cbPriority->setEditText(mixed(acPriority) ? QString() : ToQ(AAction->GetPriority()));
  cbPriority->lineEdit()->setCursorPosition(0);
  if (mixed(acStatus))
    SelectText(cbStatus, QString());
  else
    SelectText(cbStatus, ToQ(AAction->GetStatus()));
  fillNumber(acCost, editCost, AAction->GetCost());
  fillNumber(acQuantity, editQuantity, AAction->GetQuantity());
  fillNumber(acWork, editWork, AAction->GetWork());
  fillUnit(acWorkMeasure, cbWork, AAction->GetWorkMeasure());

  // Several nodes' values show as a grayed hint where the field is empty.
  // Short enough for the narrow Work and Duration edits.
  const QString several = tr("(varies)");
  for (QLineEdit* edit : {static_cast<QLineEdit*>(edtDuration), static_cast<QLineEdit*>(editCost),
                          static_cast<QLineEdit*>(editQuantity), static_cast<QLineEdit*>(editWork),
                          cbPriority->lineEdit()})
    edit->setPlaceholderText(QString());
  cbStatus->setPlaceholderText(QString());
  if (FMixedUntouched.contains(acDuration)) edtDuration->setPlaceholderText(several);
  if (FMixedUntouched.contains(acCost)) editCost->setPlaceholderText(several);
  if (FMixedUntouched.contains(acQuantity)) editQuantity->setPlaceholderText(several);
  if (FMixedUntouched.contains(acWork)) editWork->setPlaceholderText(several);
  if (FMixedUntouched.contains(acPriority)) cbPriority->lineEdit()->setPlaceholderText(several);
  if (FMixedUntouched.contains(acStatus)) cbStatus->setPlaceholderText(several);

  if (FScheduling) {
    FConstraintDatePicked = false;
    const double constraintDate = AAction->GetConstraintDate();
    SetPicker(dtConstraintDate, constraintDate > 0 ? constraintDate : AAction->GetStartDate());
    const auto caption = FConstraintCaptionMappings.find(AAction->GetConstraintType());
    SelectText(cboConstraintType, caption != FConstraintCaptionMappings.end() ? caption->second : QString());
    ConstraintTypeChanged();
  }
  FUpdating = false;
}

void TfrmEditAction::SetControlStates() {
  FStartChanged = false;
  FFinishChanged = false;
  const bool enabled = !(FScheduling && AnySummary());
  for (QWidget* control :
       std::initializer_list<QWidget*>{chStartDate, dtpStartDate, chCompletedDate, dtpCompletedDate, edtDuration,
                                       cbDuration, lblDuration, seComplete, lblComplete, cbStatus, lblStatus})
    control->setEnabled(enabled);
  const TTaskConstraintType type = QueryAs<IActionAttribute>(FProperty.get())->GetConstraintType();
  dtConstraintDate->setEnabled(type != tcAsSoonAsPossible && type != tcAsLateAsPossible);
}

void TfrmEditAction::Clear() {
  if (!FEmptyAction) return;
  FillFrom(QueryAs<IActionAttribute>(FEmptyAction.get()).get());
  SetControlStates();
  ShowRolledUp();
  dtConstraintDate->setEnabled(false);
}

// A summary task's start, finish, duration, complete and status are worked out from its subtasks,
// and its stored values only show once scheduling is off: the disabled controls show what the map
// shows (the node's own record rolls up on reading), and OK leaves the stored ones alone. With
// scheduling on the dialog edits one node.
void TfrmEditAction::ShowRolledUp() {
  FRolledUp.clear();
  if (!FScheduling || !AnySummary()) return;
  ComPtr<IActionAttribute> action = TActionHelper::GetAction(EditedNode(), false);
  if (!action) return;
  FRolledUp = {acStartDate, acCompletedDate, acDuration, acDurationMeasure, acComplete, acStatus};
  FUpdating = true;
  const auto showDate = [](QCheckBox* ABox, QDateTimeEdit* APicker, double AValue) {
    SetChecked(ABox, IsDateToShow(AValue));
    if (IsDateToShow(AValue)) SetPicker(APicker, AValue);
  };
  showDate(chStartDate, dtpStartDate, action->GetStartDate());
  showDate(chCompletedDate, dtpCompletedDate, action->GetCompletedDate());
  edtDuration->SetValue(action->GetDuration());
  edtDuration->setPlaceholderText(QString());
  {
    const QSignalBlocker blocker(cbDuration);
    const int32_t measure = action->GetDurationMeasure();
    cbDuration->setCurrentIndex(measure >= 0 && measure < cbDuration->count() ? measure : -1);
  }
  seComplete->SetText(QString::number(action->GetComplete()));
  SelectText(cbStatus, ToQ(action->GetStatus()));
  cbStatus->setPlaceholderText(QString());
  FUpdating = false;
}

void TfrmEditAction::Touched(TActionField AField) {
  if (!FUpdating) FMixedUntouched.erase(AField);
}

// ---------------------------------------------------------------------------------------------
// Rules while the user edits

void TfrmEditAction::CompleteChanged() {
  if (seComplete->IsNull()) return;
  const int value = seComplete->Value();
  const QString status = value >= 100 ? KStatusCompleted : value > 0 ? KStatusInProgress : KStatusNotStarted;
  if (cbStatus->currentText() != status) SelectText(cbStatus, status);
}

void TfrmEditAction::StatusActivated() {
  const QString status = cbStatus->currentText();
  int complete = -1;
  if (status == KStatusCompleted) complete = 100;
  if (status == KStatusNotStarted) complete = 0;
  if (complete >= 0 && (seComplete->IsNull() || seComplete->Value() != complete))
    seComplete->SetText(QString::number(complete));
}

void TfrmEditAction::StartNotStarted() {
  // A status the nodes disagree on is no empty status.
  if (FMixedUntouched.contains(acStatus)) return;
  if (cbStatus->currentText().isEmpty()) SelectText(cbStatus, KStatusNotStarted);
}

void TfrmEditAction::DurationChanged() {
  if (!FScheduling) return;
  const bool zero = NumberOf(edtDuration->text()).value_or(0) == 0;
  if (chkMilestone->isChecked() != zero) SetChecked(chkMilestone, zero);
}

void TfrmEditAction::MilestoneClicked() {
  Touched(acIsMilestone);
  if (FScheduling && !chkMilestone->isChecked() && NumberOf(edtDuration->text()).value_or(0) == 0) RecalcDuration();
}

double TfrmEditAction::DurationDays() const {
  const double value = NumberOf(edtDuration->text()).value_or(1);
  return cbDuration->currentIndex() == amHours ? value / KHoursPerDay : value;
}

void TfrmEditAction::StartPickerChanged() {
  Touched(acStartDate);
  SetChecked(chStartDate, true);
  FStartChanged = true;
  if (!Scheduler()) return;
  if (FScheduling) SetPicker(dtpStartDate, Scheduler()->ToWorkingStart(PickerValue(dtpStartDate)));
  SetPicker(dtpCompletedDate, Scheduler()->FinishForStart(PickerValue(dtpStartDate), DurationDays()));
}

void TfrmEditAction::StartBoxClicked() {
  Touched(acStartDate);
  if (FScheduling) SetChecked(chStartDate, true);
  FStartChanged = true;
}

void TfrmEditAction::DuePickerChanged() {
  Touched(acDueDate);
  SetChecked(chDueDate, true);
}

void TfrmEditAction::EndBoxClicked() {
  Touched(acCompletedDate);
  if (FScheduling) SetChecked(chCompletedDate, true);
  FFinishChanged = true;
}

void TfrmEditAction::EndPickerChanged() {
  Touched(acCompletedDate);
  FFinishChanged = true;
  SetChecked(chCompletedDate, true);
  if (!FScheduling || !Scheduler()) return;
  const double end = Scheduler()->ToWorkingFinish(PickerValue(dtpCompletedDate));
  SetPicker(dtpCompletedDate, end);
  // A duration that is no number cannot place the start: it stays where it is.
  if (const std::optional<double> duration = NumberOf(edtDuration->text()))
    SetPicker(dtpStartDate, Scheduler()->StartForFinish(end, *duration));
}

void TfrmEditAction::RecalcDuration() {
  if (!FScheduling && !(chStartDate->isChecked() && chDueDate->isChecked())) return;
  FUpdating = true;
  if (FScheduling) {
    double days = Scheduler() ? Scheduler()->WorkingDuration(PickerValue(dtpStartDate), PickerValue(dtpCompletedDate))
                              : 0;
    if (cbDuration->currentIndex() == amHours) days *= KHoursPerDay;
    edtDuration->SetValue(days);
  } else {
    const double days = DateOf(PickerValue(dtpDueDate)) - DateOf(PickerValue(dtpStartDate));
    edtDuration->SetValue(std::max(0.0, days));
    const QSignalBlocker blocker(cbDuration);
    cbDuration->setCurrentIndex(amDays);
  }
  FUpdating = false;
  FMixedUntouched.erase(acDuration);
}

void TfrmEditAction::ConstraintTypeChanged() {
  const QString caption = cboConstraintType->currentText();
  for (const auto& [type, text] : FConstraintCaptionMappings)
    if (text == caption) FConstraintType = type;
  dtConstraintDate->setEnabled(FConstraintType != tcAsSoonAsPossible && FConstraintType != tcAsLateAsPossible);
  // Until the user picks a constraint date, the picker follows the type: a finish type chosen in
  // place of the record's start type (or none) starts from the task's finish, so that a day typed
  // alone keeps the end of the working day and the task may finish on that day, not at its first
  // moment; back on the record's kind of type it shows what it was filled with.
  ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(FProperty.get());
  if (FConstraintDatePicked || !action) return;
  const auto isFinish = [](TTaskConstraintType AType) {
    return AType == tcFinishNoEarlierThan || AType == tcFinishNoLaterThan || AType == tcMustFinishOn;
  };
  const bool finish = isFinish(FConstraintType);
  double shown = action->GetConstraintDate() > 0 ? action->GetConstraintDate() : action->GetStartDate();
  if (finish != isFinish(action->GetConstraintType())) shown = finish ? action->GetCompletedDate() : action->GetStartDate();
  if (IsDateToShow(shown)) SetPicker(dtConstraintDate, shown);
}

void TfrmEditAction::RestoreDate(int AParam) {
  ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(FProperty.get());
  if (action) {
    if ((AParam & 0xFF) == 11) SetPicker(dtpStartDate, action->GetStartDate());
    if ((AParam & 0xFF) == 13) SetPicker(dtpCompletedDate, action->GetCompletedDate());
  }
  RecalcDuration();
}

bool TfrmEditAction::event(QEvent* AEvent) {
  if (AEvent->type() == KRestoreDateEvent) {
    RestoreDate(static_cast<TRestoreDateEvent*>(AEvent)->Param());
    return true;
  }
  return QDialog::event(AEvent);
}

// ---------------------------------------------------------------------------------------------
// Saving

void TfrmEditAction::SaveToRecord() {
  ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(FProperty.get());
  const auto left = [this](TActionField AField) {
    return FMixedUntouched.contains(AField) || FRolledUp.contains(AField);
  };

  const QString priority = cbPriority->currentText();
  if (!left(acPriority) && !priority.isEmpty() && cbPriority->findText(priority) < 0) {
    ComPtr<INode> root = FModel->GetTree()->GetRoot();
    if (!FMapActionList) FMapActionList = FindActionList(root.get());
    if (!FMapActionList) {
      ComPtr<IProperty> list = FModel->GetPropertyClasses()->NewProperty(KActionListPropertyName);
      QueryAs<IAttribute>(list.get())->SetFlagEx(afLoaded, true, true);
      root->SetProperty(list.get());
      FMapActionList = FindActionList(root.get());
    }
    if (FMapActionList) FMapActionList->AddText(priority.toStdString());
  }

  action->SetFlag(afModified, false);
  const auto setMixed = [&](TActionField AField, QCheckBox* ABox) {
    if (FRolledUp.contains(AField)) return;  // the box showed the worked-out value, not the stored ones
    if (ComPtr<IAttribute> child = action->FindChild(KActionFieldNames[AField])) child->SetMixed(IsGrayed(ABox));
  };
  setMixed(acIsAction, chIsAction);
  setMixed(acIsMilestone, chkMilestone);
  setMixed(acCompletedDate, chCompletedDate);
  setMixed(acStartDate, chStartDate);
  setMixed(acDueDate, chDueDate);

  if (!IsGrayed(chIsAction) && chIsAction->isChecked() != action->GetIsAction())
    action->SetIsAction(chIsAction->isChecked());
  if (!IsGrayed(chkMilestone) && chkMilestone->isChecked() != action->GetIsMilestone())
    action->SetIsMilestone(chkMilestone->isChecked());

  const double start = PickerValue(dtpStartDate);
  if (!left(acStartDate) && !IsGrayed(chStartDate) && FStartChanged && !SameMinute(start, action->GetStartDate()))
    action->SetStartDate(chStartDate->isChecked() ? DateOf(start) : 0);
  const double due = DateOf(PickerValue(dtpDueDate));
  if (!IsGrayed(chDueDate) && chDueDate->isChecked() && due != DateOf(action->GetDueDate())) action->SetDueDate(due);
  // A task's end keeps the time of day its picker shows: a day alone would end the task at that
  // day's midnight, the end of the day before. A start is taken as a day, which the move then
  // places at the working day's start (or holds as the task's constraint).
  const double end = PickerValue(dtpCompletedDate);
  if (!left(acCompletedDate) && !IsGrayed(chCompletedDate) && FFinishChanged && !SameMinute(end, action->GetCompletedDate()))
    action->SetCompletedDate(chCompletedDate->isChecked() ? (FScheduling ? end : DateOf(end)) : 0);

  const auto number = [](const QLineEdit* AEdit) { return NumberOf(AEdit->text()).value_or(0); };
  if (!left(acDuration) && number(edtDuration) != action->GetDuration()) action->SetDuration(number(edtDuration));
  const int durationUnit = cbDuration->currentIndex();
  if (!left(acDurationMeasure) && durationUnit >= 0 && durationUnit != action->GetDurationMeasure()) {
    action->SetDurationMeasure(durationUnit);
    action->SetDuration(durationUnit == amHours ? action->GetDurationInHours() : action->GetDurationInDays());
  }
  const int complete = seComplete->IsNull() ? 0 : seComplete->Value();
  if (!left(acComplete) && complete != action->GetComplete()) action->SetComplete(complete);
  if (!left(acPriority) && priority.toStdString() != action->GetPriority()) action->SetPriority(priority.toStdString());
  const std::string status = cbStatus->currentText().toStdString();
  if (!left(acStatus) && status != action->GetStatus()) action->SetStatus(status);
  if (!left(acCost) && number(editCost) != action->GetCost()) action->SetCost(number(editCost));
  if (!left(acQuantity) && number(editQuantity) != action->GetQuantity()) action->SetQuantity(number(editQuantity));
  if (!left(acWork) && number(editWork) != action->GetWork()) action->SetWork(number(editWork));
  const int workUnit = cbWork->currentIndex();
  if (!left(acWorkMeasure) && workUnit >= 0 && workUnit != action->GetWorkMeasure()) action->SetWorkMeasure(workUnit);

  if (!FScheduling) return;
  if (FConstraintType != action->GetConstraintType()) action->SetConstraintType(FConstraintType);
  const double picked = PickerValue(dtConstraintDate);
  double constraintDate = 0;
  switch (FConstraintType) {
    case tcFinishNoEarlierThan:
    case tcFinishNoLaterThan:
    case tcMustFinishOn:
      constraintDate = Scheduler() ? Scheduler()->ToWorkingFinish(picked) : picked;
      break;
    case tcMustStartOn:
    case tcStartNoEarlierThan:
    case tcStartNoLaterThan:
      constraintDate = Scheduler() ? Scheduler()->ToWorkingStart(picked) : picked;
      break;
    case tcAsSoonAsPossible:
    case tcAsLateAsPossible:
      break;
  }
  if (constraintDate != action->GetConstraintDate()) action->SetConstraintDate(constraintDate);
}

void TfrmEditAction::AddTitleCommand() {
  const std::string text = edtTaskName->text().toStdString();
  if (text == FTitleText) return;
  ComPtr<TTitleProperty> title = make<TTitleProperty>();
  title->SetValue(AsHtmlTitle(text));
  ComPtr<ICommand> command =
      FModel->GetCommandHelper()->PreparePropertyCommand(title.as<IProperty>().get(), FSelection.get(), -1);
  if (command) FMultipleCmd->AddCommand(command.get(), FSelection.get());
}

void TfrmEditAction::AddLinkCommands() {
  INode* node = EditedNode();
  if (!node) return;
  const std::string successor = node->GetID();
  const std::vector<TTaskLinkEntry> current = PredecessorsOf(node);
  const auto currentLink = [&](INode* APredecessor) -> const TTaskLinkEntry* {
    for (const TTaskLinkEntry& link : current)
      if (link.Node->GetID() == APredecessor->GetID()) return &link;
    return nullptr;
  };
  const std::vector<TPredecessorGrid::TPredLink>& preds = vstPreds->Links();
  const auto inGrid = [&](INode* APredecessor) {
    return std::ranges::any_of(preds, [&](const auto& ALink) { return ALink.Node->GetID() == APredecessor->GetID(); });
  };
  const auto add = [&](const ComPtr<ICommand>& ACommand) { FMultipleCmd->AddCommand(ACommand.get(), nullptr); };
  ILumetaModel* model = FModel.get();

  // Removals first, so that a task moved to another row is unlinked before anything is linked.
  for (const auto& link : preds)
    if (const TTaskLinkEntry* was = currentLink(link.Node.get()); link.Deleted && was)
      add(make<TRemoveTaskLinkCommand>(model, link.Node->GetID(), successor, was->Type, true));
  for (const TTaskLinkEntry& link : current)
    if (!inGrid(link.Node.get()))
      add(make<TRemoveTaskLinkCommand>(model, link.Node->GetID(), successor, link.Type, true));
  for (const auto& link : preds)
    if (!link.Deleted && !currentLink(link.Node.get()))
      add(make<TAddTaskLinkCommand>(model, link.Node->GetID(), successor, link.Type, true));
  for (const auto& link : preds)
    if (const TTaskLinkEntry* was = currentLink(link.Node.get()); !link.Deleted && was && was->Type != link.Type)
      add(make<TUpdateTaskLinkCommand>(model, link.Node->GetID(), successor, was->Type, link.Type, true));
}

// ---------------------------------------------------------------------------------------------

bool OpenEditAction(const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>& ACollected) {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    DialogService().ShowMessage(TMessageKind::Error, "The Edit Action dialog needs a window system");
    return false;
  }
  TfrmEditAction form(QApplication::activeWindow());
  const bool ok = form.Execute({AArgs.Action, AArgs.Selection, AArgs.Title, AArgs.EmptyAction, AArgs.Model});
  ACollected = form.GetCollectedCommand();
  return ok;
}
