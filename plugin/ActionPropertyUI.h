#pragma once
// The controller through which the host's menus, action columns and map events reach the Action
// plug-in. It never changes a node itself: every change becomes a command run through the model's
// command processor, so that one undo takes it back.
#include <cstdint>
#include <string>

#include "com/ComObject.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/ActionEditIntf.h"
#include "contract/ActionVocabulary.h"
#include "contract/PlugInUIIntf.h"
#include "contract/ScheduleConflictsIntf.h"
#include "contract/WorkingSchedulerIntf.h"
#include "plugin/ActionWindows.h"

// The record a node gets when it becomes a task: a one-day task from the schedule start of the
// scheduler (none without one), as soon as possible, with nothing else set. Every field it sets is
// marked modified, so that a property command made from it writes them all. Answers IProperty.
ComPtr<IActionAttribute> NewTaskDefaults(IWorkingScheduler* AScheduler);

class TActionPlugInUI : public TImplements<TComObject, IActionPlugInUI, IActionPlugInEvents, IActionEditRules,
                                           ITaskLinkEditor, IScheduleConflicts, IActionTable, IActionExport> {
 public:
  // AApplication is not counted: the host's application outlives its plug-ins' controllers.
  // AWindows are the windows the entries open; a controller without them changes records only.
  explicit TActionPlugInUI(IUnknown* AApplication, TActionWindows AWindows = {});
  ~TActionPlugInUI() override;

  // The action panel (IPlugInView); empty when the plug-in was assembled without its windows.
  ComPtr<IUnknown> CreateView(IUnknown* AParent) override;
  // Edit Action and the export open their windows (nothing happens without them). A field's value
  // of the wrong type raises ENoInterface; a summary task's rolled-up field, while the map
  // schedules tasks, EInvalidOperation naming the field and the node.
  void ExecuteCommand(IStandardInteractor* AInteractor) override;
  std::string GetName() override;  // "Action"
  int32_t GetQuery2() override;    // 0
  int32_t GetQuery3() override;    // 0
  void UpdateCommand(IStandardInteractor* AInteractor) override;

  // Keeps the task rules through the tree change the event announces, in commands run through the
  // model's processor; answers false only to refuse the change, which it never does here.
  bool HandleEvent(IPlugInEvent* AEvent) override;
  // Enables the entry unless it does not apply to what is selected.
  void UpdateDefault(IStandardInteractor* AInteractor) override;

  double TypedDate(INode* ANode, int32_t AField, double ADate, bool AHasTimeOfDay) override;
  std::string DisabledReason(IStandardInteractor* AInteractor) override;

  // ITaskLinkEditor
  TLinkEditAnswer PrepareLinkChange(ILumetaModel* AModel, TTaskLinkChange AChange, INode* APredecessor,
                                    INode* ASuccessor, TTaskLinkType AType) override;
  bool ParsePredecessor(const std::string& AText, int64_t& ANumber, TTaskLinkType& AType) override;
  void ShowPredecessorWarning(bool ATwice) override;
  std::string LinkCircleAbove(INode* ANode) override;
  std::string LinkCircleInMap(INode* ARoot) override;
  ComPtr<ICommand> PrepareRefresh(ILumetaModel* AModel) override;

  // IScheduleConflicts
  std::vector<TScheduleConflict> GetScheduleConflicts(INode* ANode) override;

  // IActionTable
  std::vector<TShownAction> ShownActions(const std::vector<INode*>& ANodes, const std::vector<IProperty*>& ARecords,
                                         const std::vector<int32_t>& ADepths) override;
  void HoldRollUps(INode* ARoot) override;
  void ReleaseRollUps(INode* ARoot) override;

  // IActionExport, through the export the library was assembled with
  ComPtr<IExportActionsOutlookOptions> LoadExportOptions() override;
  std::vector<TPlannedTask> PlanExport(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                       ILumetaModel* AModel) override;
  int32_t ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection, ILumetaModel* AModel,
                        ILumetaProgress* AProgress,
                        const std::function<void(const TExportedTask&)>& AOnExported) override;

  IUnknown* Application() const noexcept { return FApplication; }

 private:
  IActionExport& Export() const;

  IUnknown* FApplication;
  TActionWindows FWindows;
};
