#include "session/TaskSync.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "com/ComErrors.h"
#include "com/MailAddress.h"
#include "com/NumberText.h"
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
  // The tasks changed since the sync-token ("": all of them), with Token and Removed; empty when
  // the store cannot tell (a folder, a server without tokens, a token it forgot).
  TOleVariant ChangesSince(const std::string& AToken) const {
    return Optional([&] { return FItems.Call("ChangesSince", AToken); });
  }
  // A client's record in the store (empty when there is none, or the program keeps none).
  std::string Record(const std::string& AName) const {
    const TOleVariant text = Optional([&] { return FApp.Call("Journal", AName); });
    return text.Assigned() ? text.AsString() : std::string();
  }
  void SetRecord(const std::string& AName, const std::string& AText) const {
    Optional([&] { return FApp.Call("SetJournal", AName, AText); });
  }

 private:
  void Quit() noexcept {
    try {
      if (FApp.Assigned()) FApp.Call("Quit");
    } catch (const std::exception&) {
      // Nothing was written through it; a program that cannot quit costs nothing more.
    }
  }

  // A member a task program may not have answers empty.
  template <class F>
  static TOleVariant Optional(F&& ACall) {
    try {
      return ACall();
    } catch (const EOleError& error) {
      if (error.Code() == DISP_E_UNKNOWNNAME) return {};
      throw;
    }
  }

  TOleVariant FApp;
  TOleVariant FItems;
};

// What a sync keeps in the store for the next one: the store's sync-token and the fields of the
// actions it changed (node ID, % complete, status, completion date) while the map was not saved.
//   lumeta-sync 1
//   token<TAB>TOKEN
//   ID<TAB>PERCENT<TAB>STATUS<TAB>COMPLETED
struct TSyncRecord {
  std::string Token;
  std::map<int64_t, TActionFields> Brought;
};

constexpr const char* KRecordHeader = "lumeta-sync 1";

TSyncRecord ParseRecord(const std::string& AText) {
  TSyncRecord record;
  std::istringstream lines(AText);
  std::string line;
  if (!std::getline(lines, line) || line != KRecordHeader) return record;
  while (std::getline(lines, line)) {
    std::vector<std::string> words;
    for (size_t start = 0; start <= line.size();) {
      const size_t tab = std::min(line.find('\t', start), line.size());
      words.push_back(line.substr(start, tab - start));
      start = tab + 1;
    }
    if (words.size() == 2 && words[0] == "token") record.Token = words[1];
    const auto id = words.size() == 4 ? ParseInteger<int64_t>(words[0]) : std::nullopt;
    const auto percent = words.size() == 4 ? ParseInteger<int32_t>(words[1]) : std::nullopt;
    if (id && percent) record.Brought[*id] = {*percent, words[2], XmlTextToDateTime(words[3]).value_or(0)};
  }
  return record;
}

std::string RecordText(const TSyncRecord& ARecord) {
  std::string text = std::string(KRecordHeader) + "\ntoken\t" + ARecord.Token + "\n";
  for (const auto& [id, fields] : ARecord.Brought)
    text += std::to_string(id) + '\t' + std::to_string(fields.Percent) + '\t' + fields.Status + '\t' +
            DateTimeToXmlText(fields.Completed) + '\n';
  return text;
}

// Whether the map lacks what a sync since its last save brought to the node: it was opened from
// a file saved before that sync, or the sync was undone.
bool Lacks(const TSyncRecord& ARecord, TLumetaNode* ANode) {
  const auto brought = ARecord.Brought.find(ANode->ID());
  if (brought == ARecord.Brought.end()) return false;
  const TActionFields now = FieldsOf(ANode);
  return now.Percent != brought->second.Percent || now.Status != brought->second.Status ||
         !SameMinute(now.Completed, brought->second.Completed);
}

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
  const TTaskProgram program;
  const std::string recordName = "sync-" + identity;
  TSyncRecord record = ParseRecord(program.Record(recordName));
  // With a token only the tasks changed elsewhere since the last sync are compared, so an edit of
  // the map that was not exported yet stays; and those whose actions lack what an earlier sync
  // brought. A store that forgot the token sends every task.
  bool sinceToken = !record.Token.empty();
  TOleVariant list = program.ChangesSince(sinceToken ? record.Token : std::string());
  if (sinceToken && !list.Assigned()) {
    sinceToken = false;
    list = program.ChangesSince({});
  }
  std::unordered_map<std::string, TOleVariant> listed;  // UID, task
  std::unordered_set<std::string> removed;
  if (list.Assigned()) {
    for (int32_t i = 1, count = list.Get("Count").AsInteger(); i <= count; ++i) {
      const TOleVariant task = list.Call("Item", i);
      listed.emplace(task.Get("EntryID").AsString(), task);
    }
    const TOleVariant gone = list.Get("Removed");
    for (int32_t i = 1, count = gone.Get("Count").AsInteger(); i <= count; ++i) removed.insert(gone.Call("Item", i).AsString());
  }
  result.SinceLastSync = sinceToken && list.Assigned();
  const bool scheduling = AModel->Map().Settings() && AModel->Map().Settings()->GetTaskScheduling();
  AModel->Map().ForEachNode([&](TLumetaNode* ANode) {
    ComPtr<IActionAttribute> action = ActionOf(ANode);
    if (!action) return;
    const std::string uid = identity + "-" + std::to_string(ANode->ID());
    const auto found = listed.find(uid);
    TOleVariant task = found != listed.end() ? found->second : TOleVariant();
    if (!list.Assigned() || (result.SinceLastSync && !task.Assigned() && !removed.contains(uid))) {
      if (result.SinceLastSync && !Lacks(record, ANode)) return;  // unchanged since the last sync
      task = program.Find(uid);
    }
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

  // A saved map holds what earlier syncs brought; an unsaved one must still show it next time.
  if (AModel->Processor()->IsClean()) record.Brought.clear();
  if (!changes.empty()) {
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
      if (action.OldPercent == action.NewPercent && action.OldStatus == action.NewStatus &&
          SameMinute(action.OldCompleted, action.NewCompleted))
        continue;
      record.Brought[action.NodeID] = fields;
      result.Changed.push_back(std::move(action));
    }
  }
  if (list.Assigned()) {
    record.Token = list.Get("Token").AsString();
    program.SetRecord(recordName, RecordText(record));
  }
  return result;
}
