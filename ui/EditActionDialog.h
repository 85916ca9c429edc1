#pragma once
// The Edit Action dialog: the action (task) fields of the selected nodes on a General page and,
// while the map schedules tasks, the task name, predecessors and constraint on an Advanced page.
// The dialog never changes the map: OK writes the edited values into the record it was given and
// collects the title and link commands, which the caller runs after the record's own command.
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QString>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/WorkingSchedulerIntf.h"
#include "plugin/ActionWindows.h"
#include "ui/ActionViewIntf.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
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

class TfrmEditAction : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmEditAction(QWidget* AParent = nullptr);
  ~TfrmEditAction() override;

  // Shows the dialog modally on AInput; true when it closed with OK, the record then holding the
  // edits and GetCollectedCommand the title and link commands.
  bool Execute(const TEditActionInput& AInput);
  // The title and link commands of the last Execute; empty (never null) after Cancel.
  ComPtr<IMultipleCommand> GetCollectedCommand() const { return FMultipleCmd; }
  // Reloads the General page from the empty record and resets the control states.
  void Clear();
  // The form as the presenter of an action view drives it. The view object counts its own
  // references and never deletes the form; its getters answer null once the form is gone.
  IActionView* GetView() const { return FView.get(); }

 protected:
  bool event(QEvent* AEvent) override;

 private:
  friend class TEditActionView;
  void BuildForm();
  QWidget* BuildGeneralPage();
  QWidget* BuildAdvancedPage();
  void Connect();
  void Initialise();
  void FillFrom(IActionAttribute* AAction);
  void SetControlStates();
  void ShowRolledUp();
  void SaveToRecord();
  void AddTitleCommand();
  void AddLinkCommands();

  // Rules of the General page.
  void CompleteChanged();
  void StatusActivated();
  void StartNotStarted();
  void DurationChanged();
  void MilestoneClicked();
  void StartPickerChanged();
  void StartBoxClicked();
  void DuePickerChanged();
  void EndBoxClicked();
  void EndPickerChanged();
  void RecalcDuration();
  void ConstraintTypeChanged();
  void RestoreDate(int AParam);
  // A user edit of a field that showed no value because the nodes disagreed: it is written now.
  void Touched(TActionField AField);

  INode* EditedNode() const;
  bool Scheduling() const { return FScheduling; }
  bool AnySummary() const;
  IWorkingScheduler* Scheduler() const { return FScheduler.get(); }
  double DurationDays() const;

  // Dialog state.
  ComPtr<IProperty> FEmptyAction;
  ComPtr<ILumetaModel> FModel;
  ComPtr<IMapActionListAttribute> FMapActionList;
  ComPtr<IProperty> FProperty;
  ComPtr<ISelection> FSelection;
  bool FUpdating = false;
  ComPtr<IProperty> FTitleProp;
  std::string FTitleText;
  ComPtr<IMultipleCommand> FMultipleCmd;
  TTaskConstraintType FConstraintType = tcAsSoonAsPossible;
  bool FConstraintDatePicked = false;  // the user changed the constraint date picker
  std::map<TTaskConstraintType, QString> FConstraintCaptionMappings;
  bool FStartChanged = false;
  bool FFinishChanged = false;
  bool FScheduling = false;
  ComPtr<IWorkingScheduler> FScheduler;
  // Fields that showed no value because the selected nodes disagree and that the user has not
  // touched since: saving leaves them to each node.
  std::set<TActionField> FMixedUntouched;
  std::set<TActionField> FRolledUp;  // shown worked out from subtasks: OK leaves them stored as they are
  ComPtr<IActionView> FView;

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
  QLabel* lblStatus = nullptr;
  QComboBox* cbStatus = nullptr;
  QLabel* lblComplete = nullptr;
  ThvSpinEdit* seComplete = nullptr;
  ThvNumEdit* editCost = nullptr;
  ThvNumEdit* editQuantity = nullptr;
  ThvNumEdit* editWork = nullptr;
  QComboBox* cbWork = nullptr;
  QLabel* lblDuration = nullptr;
  ThvNumEdit* edtDuration = nullptr;
  QComboBox* cbDuration = nullptr;
  QLineEdit* edtAdvTaskName = nullptr;
  TPredecessorGrid* vstPreds = nullptr;
  QComboBox* cboConstraintType = nullptr;
  QDateTimeEdit* dtConstraintDate = nullptr;
  ThvButtonPanel* FButtons = nullptr;
  // Picker edits typed into the text wait for the picker to be left, so that snapping to working
  // time does not fight the typing.
  QDateTimeEdit* FPendingPicker = nullptr;
};

// Opens the dialog modally on the controller's arguments; true on OK, with ACollected holding the
// title and link commands to run after the record's own command.
bool OpenEditAction(const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>& ACollected);
