#pragma once
// The Edit Action dialog: the action (task) fields of the selected nodes on a General page and,
// while the map schedules tasks, the task name, predecessors and constraint on an Advanced page.
// The dialog never changes the map: OK writes the edited values into the record it was given and
// collects the title and link commands, which the caller runs after the record's own command.
#include <QDialog>
#include <QEvent>
#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "plugin/ActionWindows.h"
#include "ui/ActionViewIntf.h"
#include "ui/ActionViewPresenter.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLineEdit;
class QTabWidget;
class ThvButtonPanel;
class ThvNumEdit;
class ThvSpinEdit;
class TPredecessorGrid;

// The text as the title of a node: quotes, ampersands and angle brackets as entities, characters
// above 255 as numeric references, wrapped as one HTML paragraph.
std::string AsHtmlTitle(const std::string& AText);

// Resets a date picker to the record's value, then works out the duration again. Nothing in the
// dialog posts it; whoever reverts a refused date does.
inline constexpr QEvent::Type KRestoreDateEvent = static_cast<QEvent::Type>(QEvent::User + 1);
class TRestoreDateEvent : public QEvent {
 public:
  // The low byte of AParam: 11 resets the start picker, 13 the end picker, others neither.
  explicit TRestoreDateEvent(int AParam) : QEvent(KRestoreDateEvent), FParam(AParam) {}
  int Param() const { return FParam; }

 private:
  int FParam;
};

// What the dialog is opened on.
struct TEditActionInput {
  IProperty* Action = nullptr;       // answers IActionAttribute; written in place on OK
  ISelection* Selection = nullptr;   // the first node is the edited one
  IProperty* Title = nullptr;        // the edited node's title; only read
  IProperty* EmptyAction = nullptr;  // what "Clear" reloads the General page from
  ILumetaModel* Model = nullptr;
};

// The form answers IActionView itself, with reference counting that does nothing: it is a widget,
// freed by whoever made it.
class TfrmEditAction : public QDialog, public IActionView {
  Q_OBJECT

 public:
  explicit TfrmEditAction(QWidget* AParent = nullptr);
  ~TfrmEditAction() override;

  // Shows the dialog modally on AInput; true when it closed with OK, the record then holding the
  // edits and GetCollectedCommand the title, link and priority-list commands.
  bool Execute(const TEditActionInput& AInput);
  // The title, link and priority-list commands of the last Execute; empty (never null) after Cancel.
  ComPtr<IMultipleCommand> GetCollectedCommand() const { return FMultipleCmd; }
  // Shows the empty record on the General page, to be saved over what the nodes hold.
  void Clear() override;

  HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept override;
  uint32_t AddRef() noexcept override { return 1; }
  uint32_t Release() noexcept override { return 1; }

  // IActionView
  void SetEnabled(bool AEnabled) override;
  void FormOperation() override {}
  void* FormReference() override { return nullptr; }
  ThvSpinEdit* GetCompleteSpin() override { return seComplete; }
  ThvNumEdit* GetCostEdit() override { return editCost; }
  QCheckBox* GetDueDateBox() override { return chDueDate; }
  QDateTimeEdit* GetDueDatePicker() override { return dtpDueDate; }
  QComboBox* GetDurationUnitCombo() override { return cbDuration; }
  ThvNumEdit* GetDurationEdit() override { return edtDuration; }
  bool GetVisible() override { return isVisible(); }
  QCheckBox* GetEndDateBox() override { return chCompletedDate; }
  QDateTimeEdit* GetEndDatePicker() override { return dtpCompletedDate; }
  QWidget* GetHandle() override { return this; }
  QCheckBox* GetIsActionBox() override { return chIsAction; }
  QComboBox* GetPriorityCombo() override { return cbPriority; }
  ThvNumEdit* GetQuantityEdit() override { return editQuantity; }
  QCheckBox* GetStartDateBox() override { return chStartDate; }
  QDateTimeEdit* GetStartDatePicker() override { return dtpStartDate; }
  QComboBox* GetStatusCombo() override { return cbStatus; }
  bool FormState() override { return false; }
  QComboBox* GetWorkUnitCombo() override { return cbWork; }
  ThvNumEdit* GetWorkEdit() override { return editWork; }
  void SetColor(const QColor&) override {}
  void FocusFirst() override;
  void SetVisible(bool AVisible) override { setVisible(AVisible); }
  QCheckBox* GetMilestoneBox() override { return chkMilestone; }

 protected:
  bool event(QEvent* AEvent) override;

 private:
  void BuildForm();
  QWidget* BuildGeneralPage();
  QWidget* BuildAdvancedPage();
  void Connect();
  void Initialise();
  void ShowConstraint();
  void AddTitleCommand();
  void AddLinkCommands();
  void AddPriorityCommand(const std::string& ATyped);
  INode* EditedNode() const;

  // Dialog state.
  ComPtr<IProperty> FEmptyAction;
  ComPtr<ILumetaModel> FModel;
  ComPtr<IProperty> FProperty;
  ComPtr<ISelection> FSelection;
  bool FUpdating = false;
  ComPtr<IProperty> FTitleProp;
  std::string FTitleText;
  ComPtr<IMultipleCommand> FMultipleCmd;
  std::map<TTaskConstraintType, QString> FConstraintCaptionMappings;
  std::unique_ptr<TActionViewPresenter> FPresenter;

  // Controls, named as the map's users know them from the desktop program.
  QTabWidget* FPages = nullptr;
  QWidget* FGeneralPage = nullptr;
  QWidget* FAdvancedPage = nullptr;
  QCheckBox* chIsAction = nullptr;
  QCheckBox* chkMilestone = nullptr;
  QGroupBox* grpTaskName = nullptr;
  QLineEdit* edtTaskName = nullptr;
  QGroupBox* gbDates = nullptr;
  QCheckBox* chStartDate = nullptr;
  QDateTimeEdit* dtpStartDate = nullptr;
  QCheckBox* chDueDate = nullptr;
  QDateTimeEdit* dtpDueDate = nullptr;
  QCheckBox* chCompletedDate = nullptr;
  QDateTimeEdit* dtpCompletedDate = nullptr;
  QGroupBox* gbStatus = nullptr;
  QComboBox* cbPriority = nullptr;
  QComboBox* cbStatus = nullptr;
  ThvSpinEdit* seComplete = nullptr;
  ThvNumEdit* editCost = nullptr;
  ThvNumEdit* editQuantity = nullptr;
  ThvNumEdit* editWork = nullptr;
  QComboBox* cbWork = nullptr;
  ThvNumEdit* edtDuration = nullptr;
  QComboBox* cbDuration = nullptr;
  QLineEdit* edtAdvTaskName = nullptr;
  TPredecessorGrid* vstPreds = nullptr;
  QComboBox* cboConstraintType = nullptr;
  QDateTimeEdit* dtConstraintDate = nullptr;
  ThvButtonPanel* FButtons = nullptr;
};

// Opens the dialog modally on the controller's arguments; true on OK, with ACollected holding the
// title and link commands to run after the record's own command.
bool OpenEditAction(const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>& ACollected);
