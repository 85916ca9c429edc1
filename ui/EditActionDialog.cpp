#include "ui/EditActionDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QVBoxLayout>

#include "attributes/LumetaAttributes.h"
#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/OleDate.h"
#include "commands/CompositeCommands.h"
#include "plugin/ActionHelpers.h"
#include "plugin/TaskCommands.h"
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
  bool ForSummary;
};
constexpr TConstraintItem KConstraintItems[] = {
    {tcAsSoonAsPossible, true}, {tcFinishNoEarlierThan, false}, {tcFinishNoLaterThan, true},  {tcMustFinishOn, false},
    {tcMustStartOn, false},     {tcStartNoEarlierThan, true},   {tcStartNoLaterThan, false}};

QString ConstraintCaption(TTaskConstraintType AType) {
  return QString::fromUtf8(KTaskConstraintTypeCaptions[AType].data(),
                           static_cast<qsizetype>(KTaskConstraintTypeCaptions[AType].size()));
}

QString ToQ(const std::string& AText) { return QString::fromStdString(AText); }

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
// Building the form

TfrmEditAction::TfrmEditAction(QWidget* AParent) : QDialog(AParent) {
  setObjectName(QStringLiteral("frmEditAction"));
  setWindowTitle(tr("Action"));
  setFont(FormFont());
  setProperty(HelpContextProperty, 534);
  setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
  BuildForm();
  FPresenter = std::make_unique<TActionViewPresenter>(static_cast<IActionView*>(this),
                                                      TActionRecordPresenter::TForm::Dialog);
  Connect();
}

TfrmEditAction::~TfrmEditAction() = default;

HRESULT TfrmEditAction::QueryInterface(const GUID& AIid, void** AObject) noexcept {
  if (!AObject) return E_POINTER;
  if (AIid == IUnknown::Iid || AIid == IActionView::Iid) {
    *AObject = static_cast<IActionView*>(this);
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

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
  for (const char* status : KStatusPickList) cbStatus->addItem(QString::fromLatin1(status));
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
  QLabel* lblStatus = Label(tr("S&tatus:"), cbStatus, gbStatus);
  QLabel* lblComplete = Label(tr("% Co&mplete:"), seComplete, gbStatus);
  QLabel* lblDuration = Label(tr("D&uration:"), edtDuration, gbStatus);

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
  connect(cboConstraintType, &QComboBox::activated, this, [this] {
    const QString caption = cboConstraintType->currentText();
    for (const auto& [type, text] : FConstraintCaptionMappings)
      if (text == caption) FPresenter->Record().Edit(acConstraintType, static_cast<int32_t>(type));
    ShowConstraint();
  });
  connect(dtConstraintDate, &QDateTimeEdit::dateTimeChanged, this, [this](const QDateTime& AValue) {
    if (!FUpdating) FPresenter->Record().Edit(acConstraintDate, OleOfDateTime(AValue));
  });
}

void TfrmEditAction::SetEnabled(bool AEnabled) { FPages->setEnabled(AEnabled); }

void TfrmEditAction::FocusFirst() { chIsAction->setFocus(); }

// ---------------------------------------------------------------------------------------------
// Execute

bool TfrmEditAction::Execute(const TEditActionInput& AInput) {
  FUpdating = false;
  FProperty = AInput.Action;
  FSelection = AInput.Selection;
  FTitleProp = AInput.Title;
  FEmptyAction = AInput.EmptyAction;
  FModel = AInput.Model;
  ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(FProperty.get());
  if (!action || !FModel) throw EInvalidOperation("The Edit Action dialog needs an action record and a model");
  FMultipleCmd = make<TMultipleCommand>(FModel.get());

  FPresenter->Open(FModel.get(), FSelection.get(), action.get());
  // Only tasks are placed to the hour: a plain action's dates are days.
  for (QDateTimeEdit* picker : {dtpStartDate, dtpCompletedDate})
    picker->setDisplayFormat(FPresenter->Record().Scheduling() ? KDateTimeFormat : KDateFormat);
  Initialise();
  if (exec() != QDialog::Accepted) return false;

  AddPriorityCommand(FPresenter->SaveToAction(action.get()));
  AddTitleCommand();
  if (FPresenter->Record().Scheduling()) AddLinkCommands();
  return true;
}

INode* TfrmEditAction::EditedNode() const {
  if (!FSelection || FSelection->GetCount() == 0) return nullptr;
  return QueryAs<INode>(FSelection->GetItem(0).get()).get();
}

void TfrmEditAction::Initialise() {
  const bool scheduling = FPresenter->Record().Scheduling();
  INode* node = EditedNode();
  const bool hasChildren = node && node->HasChildren();
  if (scheduling) {
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
    FConstraintCaptionMappings.clear();
    cboConstraintType->clear();
    for (const TConstraintItem& item : KConstraintItems) {
      FConstraintCaptionMappings[item.Type] = ConstraintCaption(item.Type);
      if (!hasChildren || item.ForSummary) cboConstraintType->addItem(ConstraintCaption(item.Type));
    }
    FConstraintCaptionMappings[tcAsLateAsPossible] = ConstraintCaption(tcAsLateAsPossible);
    ShowConstraint();
  }

  const int advanced = FPages->indexOf(FAdvancedPage);
  FPages->setTabVisible(advanced, scheduling);
  QSize size = Px(QSize(463, 419), this);
  // The task name shows only for tasks: without scheduling the form closes up over its place.
  if (!scheduling) size.rheight() -= grpTaskName->sizeHint().height() + Px(6, this);
  setFixedSize(size);
}

void TfrmEditAction::ShowConstraint() {
  const TActionRecordPresenter& record = FPresenter->Record();
  FUpdating = true;
  const auto type = static_cast<TTaskConstraintType>(std::get<int32_t>(record.Field(acConstraintType).Value));
  const auto caption = FConstraintCaptionMappings.find(type);
  cboConstraintType->setCurrentIndex(
      cboConstraintType->findText(caption != FConstraintCaptionMappings.end() ? caption->second : QString()));
  const double date = std::get<double>(record.Field(acConstraintDate).Value);
  if (IsDateToShow(date)) dtConstraintDate->setDateTime(DateTimeOfOle(date));
  dtConstraintDate->setEnabled(record.Enabled(acConstraintDate));
  dtConstraintDate->setToolTip(QString::fromStdString(record.Refusal(acConstraintDate)));
  FUpdating = false;
}

void TfrmEditAction::Clear() {
  if (!FEmptyAction) return;
  FPresenter->Clear(QueryAs<IActionAttribute>(FEmptyAction.get()).get());
  if (FPresenter->Record().Scheduling()) ShowConstraint();
}

bool TfrmEditAction::event(QEvent* AEvent) {
  if (AEvent->type() == KRestoreDateEvent) {
    FPresenter->RestoreDate(static_cast<TRestoreDateEvent*>(AEvent)->Param());
    return true;
  }
  return QDialog::event(AEvent);
}

// ---------------------------------------------------------------------------------------------
// Saving

// A priority typed rather than picked joins the map's list in the same undo step as the edit.
void TfrmEditAction::AddPriorityCommand(const std::string& ATyped) {
  ComPtr<ISelection> root;
  if (ComPtr<ICommand> command = PrepareListPriorityCommand(FModel.get(), ATyped, root))
    FMultipleCmd->AddCommand(command.get(), root.get());
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
