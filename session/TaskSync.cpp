#include "session/TaskSync.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "com/ComErrors.h"
#include "com/MailAddress.h"
#include "com/OleDate.h"
#include "com/OleVariant.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/ActionVocabulary.h"
#include "host/tasks/TaskProgram.h"
#include "session/ActionEditor.h"
#include "settings/AutomationServers.h"

namespace {

// The task program's status numbers are the pick list's statuses after "Unassigned".
constexpr int32_t KTaskNotStarted = 0;
constexpr int32_t KTaskComplete = 2;
constexpr int32_t KTaskStatusCount = 5;

const char* StatusText(int32_t ATaskStatus) { return KStatusPickList[static_cast<size_t>(ATaskStatus) + 1]; }

// The task status an action's status exports as; -1 for a text of the map's own.
int32_t TaskStatusOf(const std::string& AStatus) {
  const std::string status = FoldAscii(AStatus);
  if (status == FoldAscii(KStatusUnassigned)) return KTaskNotStarted;
  for (int32_t i = 0; i < KTaskStatusCount; ++i)
    if (status == FoldAscii(StatusText(i))) return i;
  return -1;
}

// Dates written into tasks keep seconds at most; a minute apart is the same moment to a planner.
bool SameMinute(double A, double B) { return std::fabs(A - B) * 24 * 60 < 0.5; }

std::string MinuteText(double AValue) {
  if (AValue <= 0) return "none";
  const TDateTimeParts parts = DecodeDateTime(AValue);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", parts.Year, parts.Month, parts.Day, parts.Hour,
                parts.Minute);
  return text;
}

ComPtr<IActionAttribute> ActionOf(INode* ANode) {
  ComPtr<IProperty> property = ANode->FindProperty(KActionPropertyName);
  return property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
}

struct TActionFields {
  int32_t Percent = 0;
  std::string Status;
  double Completed = 0;
};

TActionFields FieldsOf(INode* ANode) {
  ComPtr<IActionAttribute> action = ActionOf(ANode);
  if (!action) return {};
  return {action->GetComplete(), action->GetStatus(), action->GetCompletedDate()};
}

// What the task holds that the action should take; empty fields stay as the action has them.
struct TTaskChange {
  TLumetaNode* Node = nullptr;
  std::optional<int32_t> Percent;
  std::optional<int32_t> Status;
  std::optional<double> Completed;
};

// The task program, quit when the sync is done with it.
class TTaskProgram {
 public:
  TTaskProgram() {
    if (!FindAutomationServer(TaskProgramProgID))
      throw ELumetaError("the task program is not registered: lumeta tasks register");
    try {
      FApp = CreateOleObject(TaskProgramProgID);
      FItems = FApp.Call("GetNamespace", "MAPI").Call("GetDefaultFolder", TaskProgramTasksFolder).Get("Items");
    } catch (const EOleError& error) {
      Quit();
      throw ELumetaError(std::string("the task program could not be started: ") + error.what());
    }
  }
  ~TTaskProgram() { Quit(); }
  TTaskProgram(const TTaskProgram&) = delete;
  TTaskProgram& operator=(const TTaskProgram&) = delete;

  TOleVariant Find(const std::string& AUid) const { return FItems.Call("Find", "[EntryID] = \"" + AUid + "\""); }

 private:
  void Quit() noexcept {
    try {
      if (FApp.Assigned()) FApp.Call("Quit");
    } catch (const std::exception&) {
      // Nothing was written through it; a program that cannot quit costs nothing more.
    }
  }

  TOleVariant FApp;
  TOleVariant FItems;
};

std::string NodeName(TLumetaNode* ANode) { return "node " + std::to_string(ANode->ID()) + " '" + PrintableText(ANode->Title()) + "'"; }

// What the task holds that differs from the action, under the rules of SyncFromTaskStore.
TTaskChange Compare(TActionEditor& AEditor, TLumetaNode* ANode, const TOleVariant& ATask) {
  TTaskChange change{ANode, {}, {}, {}};
  const TActionFields fields = FieldsOf(ANode);
  const int32_t percent = ATask.Get("PercentComplete").AsInteger();
  const int32_t status = ATask.Get("Status").AsInteger();
  double completed = ATask.Get("DateCompleted").AsDate();
  if (completed >= EncodeDate(4501, 1, 1)) completed = 0;  // the task program's "no date"
  if (percent != 0 && percent != fields.Percent) change.Percent = percent;
  if (status != KTaskNotStarted && status >= 0 && status < KTaskStatusCount && status != TaskStatusOf(fields.Status))
    change.Status = status;
  // A task not done carries its planned finish, which the export wrote from the action.
  // Compared as it would be typed, or a moment outside working time would come back on every sync.
  if (status == KTaskComplete && completed > 0 &&
      !SameMinute(AEditor.TypedDate(std::to_string(ANode->ID()), acCompletedDate, completed), fields.Completed))
    change.Completed = completed;
  return change;
}

// Types the task's fields into the action; a refusal becomes a warning naming the node.
void Apply(TActionEditor& AEditor, const TTaskChange& AChange, std::vector<std::string>& AWarnings) {
  const std::string id = std::to_string(AChange.Node->ID());
  const auto type = [&](TActionField AField, const std::string& AText) {
    const TEditResult result = AEditor.SetField(id, AField, AText);
    if (!result) AWarnings.push_back(NodeName(AChange.Node) + ": " + result.Error);
    for (const std::string& warning : result.Warnings) AWarnings.push_back(NodeName(AChange.Node) + ": " + warning);
  };
  if (AChange.Percent) type(acComplete, std::to_string(*AChange.Percent));
  // % complete moves the status with it; only a status still different is typed.
  if (AChange.Status && TaskStatusOf(FieldsOf(AChange.Node).Status) != *AChange.Status)
    type(acStatus, StatusText(*AChange.Status));
  if (AChange.Completed) type(acCompletedDate, DateTimeToXmlText(*AChange.Completed));
}

}  // namespace

std::string SyncedActionLine(const TSyncedAction& AAction) {
  std::string parts;
  const auto add = [&](const std::string& APart) { parts += (parts.empty() ? "" : ", ") + APart; };
  const bool percent = AAction.OldPercent != AAction.NewPercent;
  if (percent) add(std::to_string(AAction.OldPercent) + " % -> " + std::to_string(AAction.NewPercent) + " %");
  if (AAction.OldStatus != AAction.NewStatus)
    add(percent ? AAction.NewStatus : AAction.OldStatus + " -> " + AAction.NewStatus);
  if (!SameMinute(AAction.OldCompleted, AAction.NewCompleted))
    add("Completed Date " + MinuteText(AAction.OldCompleted) + " -> " + MinuteText(AAction.NewCompleted));
  return std::to_string(AAction.NodeID) + ' ' + OneLineText(AAction.Title) + ": " + parts;
}

TSyncResult SyncFromTaskStore(TLumetaModel* AModel) {
  if (!AModel) throw EInvalidOperation("No map is open");
  const std::string identity = AModel->GetMapIdentity(false);
  if (identity.empty())
    throw ELumetaError("the map's actions were never exported, so no task is theirs: export them first", E_INVALIDARG);
  TSyncResult result;
  std::vector<TTaskChange> changes;
  TActionEditor editor(AModel);
  {
    const TTaskProgram program;
    const bool scheduling = AModel->Map().Settings() && AModel->Map().Settings()->GetTaskScheduling();
    AModel->Map().ForEachNode([&](TLumetaNode* ANode) {
      ComPtr<IActionAttribute> action = ActionOf(ANode);
      if (!action) return;
      const TOleVariant task = program.Find(identity + "-" + std::to_string(ANode->ID()));
      // Only a task the export wrote and someone else then removed is news: an action never
      // exported, or no longer exported, has none to lose.
      const bool exported = action->GetIsAction() && action->GetPostedToOutlook();
      if (!task.Assigned()) {
        if (exported) result.Warnings.push_back(NodeName(ANode) + ": its task is no longer in the task store; the action stays");
        return;
      }
      if (task.Get("Cancelled").AsBoolean()) {
        if (exported) result.Warnings.push_back(NodeName(ANode) + ": its task was cancelled in the task store; the action stays");
        return;
      }
      ++result.TasksFound;
      // A scheduled summary's fields are its subtasks' roll-up: they come back through those.
      if (scheduling && ANode->IsSummaryTask()) return;
      if (TTaskChange change = Compare(editor, ANode, task); change.Percent || change.Status || change.Completed)
        changes.push_back(change);
    });
  }
  if (changes.empty()) return result;

  std::vector<TSyncedAction> before;
  for (const TTaskChange& change : changes) {
    const TActionFields fields = FieldsOf(change.Node);
    before.push_back({change.Node->ID(), change.Node->Title(), fields.Percent, 0, fields.Status, {}, fields.Completed, 0});
  }
  // Typing a field selects its node, as the column does; the user's selection stays theirs.
  const std::vector<int64_t> selection = AModel->SelectedIDs();
  const TEditResult step = editor.InOneStep("Synchronize Tasks", [&] {
    for (const TTaskChange& change : changes) Apply(editor, change, result.Warnings);
  });
  AModel->SetSelectedIDs(selection);
  if (!step) throw ELumetaError(step.Error);
  for (TSyncedAction& action : before) {
    const TActionFields fields = FieldsOf(AModel->Map().GetNode(action.NodeID));
    action.NewPercent = fields.Percent;
    action.NewStatus = fields.Status;
    action.NewCompleted = fields.Completed;
    if (action.OldPercent != action.NewPercent || action.OldStatus != action.NewStatus ||
        !SameMinute(action.OldCompleted, action.NewCompleted))
      result.Changed.push_back(std::move(action));
  }
  return result;
}
