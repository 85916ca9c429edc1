#include "ui/ExportActionsForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

#include "com/MailAddress.h"
#include "ui/ButtonPanel.h"

const char* const TExportActionsForm::IncludeNames[KExportIncludeCount] = {
    "Notes",      "Attachments", "Mental Connections", "Categories",     "Status",         "Priority",
    "% Complete", "Start Date",  "Date Completed",     "Due Date",       "Full title path"};

namespace {

constexpr int KHelpContext = 30;

QRadioButton* Radio(const char* AName, const char* ACaption, QWidget* AParent, QLayout* ALayout) {
  auto* radio = new QRadioButton(QObject::tr(ACaption), AParent);
  radio->setObjectName(AName);
  ALayout->addWidget(radio);
  return radio;
}

}  // namespace

TExportActionsForm::TExportActionsForm(QWidget* AOwner) : QDialog(AOwner) {
  setObjectName("ExportActionsForm");
  setWindowTitle(tr("Export Actions to MS Outlook"));
  setProperty(HelpContextProperty, KHelpContext);
  auto* layout = new QVBoxLayout(this);

  auto* range = new QGroupBox(tr("Export Range"), this);
  auto* rangeLayout = new QVBoxLayout(range);
  FCurrentView = Radio("rbCurrentView", "&Current View", range, rangeLayout);
  FExpandBranches = new QCheckBox(tr("E&xpand Branches"), range);
  FExpandBranches->setObjectName("cbExpandBranches");
  FExpandBranches->setContentsMargins(20, 0, 0, 0);
  rangeLayout->addWidget(FExpandBranches);
  FEntireMap = Radio("rbEntireMap", "&Entire Map", range, rangeLayout);
  FSelection = Radio("rbSelection", "&Selection", range, rangeLayout);
  layout->addWidget(range);

  auto* which = new QGroupBox(tr("Actions To Export"), this);
  auto* whichLayout = new QVBoxLayout(which);
  FNewUpdated = Radio("rbNewUpdated", "&New/Updated Resources", which, whichLayout);
  FAllActions = Radio("rbAllActions", "&All Actions", which, whichLayout);
  layout->addWidget(which);

  auto* include = new QGroupBox(tr("Include Properties"), this);
  auto* includeLayout = new QVBoxLayout(include);
  FIncludeProperties = new QListWidget(include);
  FIncludeProperties->setObjectName("lbIncludeProperties");
  for (const char* name : IncludeNames) {
    auto* item = new QListWidgetItem(tr(name), FIncludeProperties);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    item->setCheckState(Qt::Unchecked);
  }
  FIncludeProperties->setMinimumHeight(FIncludeProperties->sizeHintForRow(0) * 6);
  includeLayout->addWidget(FIncludeProperties);
  layout->addWidget(include);

  FButtons = new ThvButtonPanel(this);
  FButtons->SetButtonTypes({btOK, btCancel, btHelp});
  FButtons->SetAlign(alBottom);
  FButtons->Button(btOK)->setObjectName("btnOK");
  FButtons->Button(btCancel)->setObjectName("btnCancel");
  FButtons->Button(btOK)->setDefault(true);
  layout->addWidget(FButtons);

  for (QRadioButton* radio : {FCurrentView, FEntireMap, FSelection})
    connect(radio, &QRadioButton::toggled, this, &TExportActionsForm::UpdateActions);
  // A fixed border: the form keeps the size its layout gives it.
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TExportActionsForm::UpdateActions() { FExpandBranches->setEnabled(FCurrentView->isChecked()); }

void TExportActionsForm::OptionsToControls(bool ASelectionEnabled) {
  FSelection->setEnabled(ASelectionEnabled);
  const int32_t range = FOptions->GetExportRange();
  (range == erEntireMap ? FEntireMap : range == erSelection ? FSelection : FCurrentView)->setChecked(true);
  FExpandBranches->setChecked(FOptions->GetExpandBranches());
  (FOptions->GetActionsToExport() == aeAll ? FAllActions : FNewUpdated)->setChecked(true);
  const int32_t bits = FOptions->GetIncludeProperties();
  for (int i = 0; i < KExportIncludeCount; ++i) {
    QListWidgetItem* item = FIncludeProperties->item(i);
    item->setCheckState(Qt::Unchecked);
    if ((bits & (1 << i)) == (1 << i)) item->setCheckState(Qt::Checked);
  }
  if (FSelection->isChecked() && !FSelection->isEnabled()) FCurrentView->setChecked(true);
  UpdateActions();
}

void TExportActionsForm::ControlsToOptions() {
  FOptions->SetExportRange(FEntireMap->isChecked() ? erEntireMap : FSelection->isChecked() ? erSelection : erCurrentView);
  FOptions->SetExpandBranches(FExpandBranches->isChecked());
  FOptions->SetActionsToExport(FAllActions->isChecked() ? aeAll : aeNewOrUpdated);
  int32_t bits = 0;
  for (int i = 0; i < KExportIncludeCount; ++i)
    if (FIncludeProperties->item(i)->checkState() == Qt::Checked) bits += 1 << i;
  FOptions->SetIncludeProperties(bits);
}

bool TExportActionsForm::Execute(IExportActionsOutlookOptions* AOptions, ISelection* ASelection, QWidget* AOwner) {
  if (!AOwner) AOwner = QApplication::activeWindow();
  TExportActionsForm form(AOwner);
  form.SetOptions(AOptions);
  bool anyNode = false;
  for (int32_t i = 0; ASelection && i < ASelection->GetCount() && !anyNode; ++i)
    anyNode = QueryAs<INode>(ASelection->GetItem(i).get()) != nullptr;
  form.OptionsToControls(anyNode);
  const bool confirmed = form.exec() == mrOK;
  if (confirmed) form.ControlsToOptions();
  return confirmed;
}

TExportOwnerForm::TExportOwnerForm(QWidget* AOwner) : QDialog(AOwner) {
  setObjectName("ExportOwnerForm");
  setWindowTitle(tr("Owner of the Exported Tasks"));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(tr("Assigned tasks are sent in your name, so that the answers reach you. "
                             "Who are you?"), this);
  text->setWordWrap(true);
  layout->addWidget(text);
  auto* fields = new QFormLayout();
  FName = new QLineEdit(this);
  FName->setObjectName("edName");
  FAddress = new QLineEdit(this);
  FAddress->setObjectName("edAddress");
  FAddress->setPlaceholderText("name@example.com");
  fields->addRow(tr("&Name:"), FName);
  fields->addRow(tr("&E-mail address:"), FAddress);
  layout->addLayout(fields);
  FButtons = new ThvButtonPanel(this);
  FButtons->SetButtonTypes({btOK, btCancel});
  FButtons->SetAlign(alBottom);
  FButtons->Button(btOK)->setObjectName("btnOK");
  FButtons->Button(btCancel)->setObjectName("btnCancel");
  FButtons->Button(btOK)->setDefault(true);
  layout->addWidget(FButtons);
  connect(FAddress, &QLineEdit::textChanged, this, &TExportOwnerForm::UpdateActions);
  connect(FName, &QLineEdit::textChanged, this, &TExportOwnerForm::UpdateActions);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  UpdateActions();
}

void TExportOwnerForm::UpdateActions() {
  const std::string address = FAddress->text().trimmed().toStdString();
  const std::string problem = address.empty() ? std::string() : MailAddressProblem(address);
  FButtons->Button(btOK)->setEnabled(!address.empty() && problem.empty());
  FAddress->setToolTip(QString::fromStdString(problem.empty() ? std::string() : "The address " + problem));
}

bool TExportOwnerForm::Execute(std::string& AName, std::string& AAddress, QWidget* AOwner) {
  if (!AOwner) AOwner = QApplication::activeWindow();
  TExportOwnerForm form(AOwner);
  form.FName->setText(QString::fromStdString(AName));
  form.FAddress->setText(QString::fromStdString(AAddress));
  if (form.exec() != mrOK) return false;
  AName = form.FName->text().trimmed().toStdString();
  AAddress = form.FAddress->text().trimmed().toStdString();
  return true;
}
