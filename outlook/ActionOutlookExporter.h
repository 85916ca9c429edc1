#pragma once
// Writes the actions of a map into the task program as task items, one per node: subject, body
// (resources without an address, notes, attachments, connections), categories, status,
// importance, % complete, dates, recipients; then marks each action as posted. Where the task
// program lets a client choose UIDs, each task also names its summary task and the tasks its
// links lead to (RELATED-TO), so that the plan's structure survives.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "com/ComPtr.h"
#include "contract/ExportIntf.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "outlook/MSOutlookApp.h"

class TActionOutlookExporter {
 public:
  // AProgress may be empty: the run then shows nothing. A progress that answers
  // ILumetaProgressCancel can stop the run between two tasks.
  explicit TActionOutlookExporter(ComPtr<ILumetaProgress> AProgress = nullptr);
  ~TActionOutlookExporter();
  TActionOutlookExporter(const TActionOutlookExporter&) = delete;
  TActionOutlookExporter& operator=(const TActionOutlookExporter&) = delete;

  // The number of tasks created, or -1 when the task program could not be started (the user is
  // told). A task that fails to save raises after the tasks before it were completed and marked.
  // Where the task program keeps journals, a run that did not end (a failure, a kill) is
  // continued by the next run over the same map: the actions whose tasks it wrote are marked
  // posted and not exported again. A value a task cannot hold is clamped or left out with a
  // warning naming the node.
  int32_t ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection, ILumetaModel* AModel);

  // Called after each task is saved or sent (on a server: once the server acknowledged it).
  std::function<void(const TExportedTask&)> OnExported;
  // Asked, when a run is to send tasks and the task program knows no owner to send them from, for
  // the owner's name and e-mail address; false when the user gives none. Asked again while the
  // program refuses the answer. Without an owner the assigned tasks are not exported.
  std::function<bool(std::string& AName, std::string& AAddress)> OnOwnerMissing;

  // The nodes a run with these options would export, in export order, as far as the map tells:
  // a run also exports an action posted before whose task no longer holds what it would now.
  static std::vector<ComPtr<INode>> CollectNodes(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                                 ILumetaModel* AModel);
  // The nodes a run with these options would export now, in export order, with their subjects:
  // CollectNodes and the actions whose tasks in the store no longer hold what they would get. Reads
  // the store and changes nothing; as far as the map tells when the task program cannot start.
  std::vector<TPlannedTask> PlanExport(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                       ILumetaModel* AModel);
  // The task subject of a node under the include bits.
  static std::string Subject(INode* ANode, int32_t AIncludeProperties);
  // The task body: resources without an address, then notes, attachments and connections by bit.
  static std::string Body(INode* ANode, int32_t AIncludeProperties);

 private:
  // What a node's task gets, and a key of it that tells whether the task still holds it.
  struct TTaskValues {
    std::string Subject, Body, Categories;
    std::vector<std::string> Recipients;  // "Name <address>"
    std::optional<int32_t> Percent, Status, Importance;
    double Due = 0, Start = 0, Completed = 0;  // 0: none
    std::string TimeZone;  // of the dates; empty: floating
    std::vector<std::pair<std::string, std::string>> Relations;  // kind, UID
    std::vector<std::string> Warnings;  // said when the task is written
    std::string Key;
    std::string MakeKey() const;
  };

  // Every node of the range whose action is on, posted or not.
  static std::vector<ComPtr<INode>> Candidates(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                               ILumetaModel* AModel);
  bool Cancelled() const;
  // Opens the store's task items for a run over AModel's map; AMakeIdentity gives a map without
  // an identity one.
  void OpenItems(ILumetaModel* AModel, bool AMakeIdentity);
  // Of ANodes, those a run sends and what their tasks get: with AAll every one, else those not
  // posted yet and those whose task in the store holds other values.
  std::vector<std::pair<INode*, TTaskValues>> Plan(const std::vector<ComPtr<INode>>& ANodes, bool AAll);
  TTaskValues ValuesOf(INode* ANode);
  std::vector<std::pair<std::string, std::string>> RelationsOf(INode* ANode);
  // False when the task program gives no task.
  bool CreateTask(INode* ANode, const TTaskValues& AValues);
  // Marks the actions whose tasks the task program has written (a store on a server answers
  // later than the save returns); AWait: after every save in flight was answered.
  void TakeLanded(bool AWait);
  void SetField(const TOleVariant& ATask, INode* ANode, const char* AName, const char* AShown, const TOleVariant& AValue);
  std::string UidOf(INode* ANode) const;
  // The map's time zone when the task program can place dates in it; raises ELumetaError for a
  // zone it does not know.
  std::string TimeZoneOf(ILumetaModel* AModel) const;
  bool HasOwner() const;
  // Leaves out the tasks that would be sent while no owner is set, and says so.
  void RefuseUnsendable(std::vector<std::pair<INode*, TTaskValues>>& APlanned);
  // The task of that UID in the store; empty when there is none.
  TOleVariant FindTask(const std::string& AUid) const;
  static std::string TaskKey(const TOleVariant& ATask);
  // Cancels the tasks of this map whose nodes were deleted or are no longer actions for Outlook.
  void CancelWithdrawnTasks();
  // Reads the journal of an earlier run over this map, marks the actions whose tasks it wrote and
  // returns them; then records this run's plan. False when the task program keeps no journals.
  bool ResumeJournal(std::unordered_set<INode*>& AContinued);
  void WriteJournal(bool AWithOurs);

  ComPtr<IExportActionsOutlookOptions> FOptions;
  ComPtr<ILumetaModel> FModel;
  std::unique_ptr<ThvMSOutlookApp> FOutlookApp;
  ComPtr<ILumetaProgress> FProgress;
  ComPtr<ISelection> FSelection;
  // The UID each node's task gets, chosen before the first task is made so that relations can
  // name tasks made later in the run.
  std::unordered_map<INode*, std::string> FUids;
  // The map's identity (empty in a host without one: each run then makes new tasks) and the task
  // folder's items during a run.
  ComPtr<IMapIdentity> FMapIdentity;
  std::string FIdentity;
  std::string FTimeZone;
  TOleVariant FItems;
  bool FRelations = false;
  // Tasks saved and not yet known to be written, in the order saved; and how many landed.
  struct TPendingTask {
    std::string Uid;
    INode* Node = nullptr;
    std::string Subject;
  };
  std::vector<TPendingTask> FPending;
  int32_t FLanded = 0;
  bool FLandedKnown = true;  // the task program tells what landed
  // The journal: its name, the lines of other maps that share it, and this run's entries.
  std::string FJournalName;
  std::vector<std::string> FOtherEntries;
  std::vector<std::string> FOurEntries;
};
