#pragma once
// What the Edit Action dialog and the action panel show of the selected nodes' action record, the
// rules that keep its fields in step while the user edits, and what saving writes back. It holds
// values, never widgets: each form shows the values and reports the user's edits here, so that the
// two forms fill, refuse and save alike.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "commands/ActionFieldEdit.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/WorkingSchedulerIntf.h"

class TActionRecordPresenter {
 public:
  // One field as the form shows it. Values are of the field's kind (commands/ActionFieldEdit.h);
  // a date is the picker's date-time, Checked telling whether its box is.
  struct TField {
    TActionFieldValue Value;
    bool Checked = false;  // dates: the box; a date whose box is clear is saved as none
    bool Mixed = false;    // the nodes disagree and the user has not given one value: nothing shows
    bool Touched = false;  // changed by the user, or by a rule following the user, since the fill
  };

  // The two forms differ in one rule: the panel works the duration out from its start and due
  // dates, the dialog moves the end with the start.
  enum class TForm { Dialog, Panel };

  explicit TActionRecordPresenter(TForm AForm);

  // Reads what the selection's map offers (the scheduling switch, its working time, the map's
  // priorities, which nodes are summary tasks) and shows AAction, the selection's combined record.
  // While the map schedules tasks, the fields a summary task works out from its subtasks show the
  // worked-out values and cannot be edited. AKeepTouched keeps the edits in progress: the fields
  // the user has not touched follow what the map holds now. A null AAction shows an empty record.
  void Open(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AAction, bool AKeepTouched = false);
  // Shows AEmpty in every field that can be edited, to be saved over what the nodes hold.
  void Clear(IActionAttribute* AEmpty);
  // Shows no record: the panel without a selection.
  void Reset();
  // Puts the start (11) or the finish (13) back to what the fill showed, then works the
  // duration out again; whoever refused a picked date sends it.
  std::vector<TActionField> RestoreDate(int32_t ACode);

  const TField& Field(TActionField AField) const { return FFields[AField]; }
  bool Scheduling() const { return FScheduling; }
  // Why the user cannot edit the field now; empty when they can.
  std::string Refusal(TActionField AField) const;
  bool Enabled(TActionField AField) const { return Refusal(AField).empty(); }
  bool AnySummary() const { return FAnySummary; }
  // The standard priorities, then the map's own, in list order.
  const std::vector<std::string>& Priorities() const { return FPriorities; }
  // True between an edit by the user and the next fill or save.
  bool Modified() const { return FModified; }

  // The user's new value of a field; a date also checks its box. A date without a time of day
  // (ATimeGiven false) keeps the time the field showed; while the map schedules tasks a start or
  // finish then moves into working time. Answers the other fields whose shown value the rules
  // changed, and the field itself when it shows other than what was given. Raises
  // EInvalidOperation with the refusal for a field that cannot be edited.
  std::vector<TActionField> Edit(TActionField AField, const TActionFieldValue& AValue, bool ATimeGiven = true);
  // The user checked or cleared a date's box without picking a date. While the map schedules
  // tasks a start and a finish cannot be cleared: their box stays checked.
  std::vector<TActionField> Check(TActionField AField, bool AChecked);

  // Writes every touched field into AAction through its setters (so that Complete and Status stay
  // coupled), each when it differs from what was shown at the fill or showed no value; untouched
  // fields stay as they are, mixed ones mixed, so that a property command made from the record
  // leaves them to each node. Forgets the edits.
  void Save(IActionAttribute* AAction);
  // The priority the user typed that the map's "Action List" does not hold; empty otherwise.
  std::string TypedPriority() const;

 private:
  void Fill(IActionAttribute* AAction, bool AKeepTouched);
  void ShowRolledUp(bool AKeepTouched);
  void Set(TActionField AField, const TActionFieldValue& AValue);
  // The fields that show otherwise than in ABefore.
  std::vector<TActionField> Changes(const std::array<TField, KActionFieldCount>& ABefore) const;
  double Number(TActionField AField) const;
  double DurationDays() const;
  double DateTyped(TActionField AField, double ADate, bool ATimeGiven) const;
  void RecalcDuration();
  void DurationFromDates();
  void ConstraintDateFollowsType();

  TForm FForm;
  std::array<TField, KActionFieldCount> FFields;
  std::array<TActionFieldValue, KActionFieldCount> FFilled;  // what each field showed at the fill
  std::vector<std::string> FPriorities;
  ComPtr<ISelection> FSelection;
  std::vector<ComPtr<INode>> FNodes;
  ComPtr<IWorkingScheduler> FScheduler;
  bool FScheduling = false;
  bool FAnySummary = false;
  bool FModified = false;
  std::optional<TField> FCompleteBeforeStatus;  // what Complete showed before a status set it
  TTaskConstraintType FFilledConstraintType = tcAsSoonAsPossible;
  double FFilledStart = 0, FFilledFinish = 0, FFilledConstraintDate = 0;
};

// The command that adds AText to the map's "Action List" (creating the list when the map has
// none), to run on ARoot in the same undo step as the edit that typed it; empty when AText is
// empty or listed already.
ComPtr<ICommand> PrepareListPriorityCommand(ILumetaModel* AModel, const std::string& AText, ComPtr<ISelection>& ARoot);

// The one undo step that applies AEdited, a record saved for ASelection: the record (or, when it
// was left empty, the removal of the "Action" property), while the map schedules tasks node by
// node, each followed by the rescheduling that node's own edit calls for; then the typed priority
// joining the map's "Action List".
ComPtr<ICommand> PrepareRecordCommand(ILumetaModel* AModel, ISelection* ASelection, IActionAttribute* AEdited,
                                      const std::string& ATypedPriority);
