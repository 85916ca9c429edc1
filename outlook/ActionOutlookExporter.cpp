#include "outlook/ActionOutlookExporter.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/MailAddress.h"
#include "com/OleDate.h"
#include "com/StoreResults.h"
#include "com/UuidText.h"
#include "contract/ExportIntf.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "html/HtmlParser.h"
#include "plugin/LumetaNodeLinksProperty.h"

namespace {

constexpr const char* KCaption = "Export Actions to MS Outlook...";
constexpr const char* KParagraph = "\r\n\r\n";

// The task program's status and importance numbers.
enum { olTaskNotStarted = 0, olTaskInProgress = 1, olTaskComplete = 2, olTaskWaiting = 3, olTaskDeferred = 4 };
enum { olImportanceLow = 0, olImportanceNormal = 1, olImportanceHigh = 2 };

ComPtr<IActionAttribute> ActionOf(INode* ANode) {
  ComPtr<IProperty> property = ANode->FindProperty(KActionPropertyName);
  return property ? property.try_as<IActionAttribute>() : nullptr;
}

std::string TitleOf(INode* ANode) {
  ComPtr<IStringAttribute> title = QueryAs<IStringAttribute>(ANode->FindAttribute("Title").get());
  return title ? title->GetValue() : std::string();
}

// A resource the task can be sent to. One whose address is not a plain address counts as one
// without: the address could add people or lines to the request.
bool Addressable(const TNodeResource& AResource) { return MailAddressProblem(AResource.Email).empty(); }

// "node 2 'Design'" for messages.
std::string NodeName(INode* ANode) { return "node " + ANode->GetID() + " '" + PrintableText(TitleOf(ANode)) + "'"; }

// Appends a section, with an empty line before it when the body has text already.
void AppendSection(std::string& ABody, const std::string& AText) {
  if (!ABody.empty()) ABody += KParagraph;
  ABody += AText;
}

int StatusNumber(const std::string& AStatus) {
  const std::string status = FoldAscii(AStatus);
  if (status == "unassigned" || status == "not started") return olTaskNotStarted;
  if (status == "in progress") return olTaskInProgress;
  if (status == "completed") return olTaskComplete;
  if (status == "waiting on someone else") return olTaskWaiting;
  if (status == "deferred") return olTaskDeferred;
  return -1;
}

int ImportanceNumber(const std::string& APriority) {
  const std::string priority = FoldAscii(APriority);
  if (priority == "high") return olImportanceHigh;
  if (priority == "low") return olImportanceLow;
  return olImportanceNormal;  // "Unassigned", "Medium" and the map's own texts
}

// The task program separates categories with commas and semicolons: a comma inside a name is
// escaped as "\,", a semicolon, which few programs read back inside a name, is left out.
std::string CategoryName(const std::string& AName) {
  std::string name;
  for (char c : AName) {
    if (c == ',') name += '\\';
    if (c != ';') name += c;
  }
  return name;
}

// The title a task gets for the node: a task without one is lost among the others in a list.
std::string TaskTitleOf(INode* ANode) {
  const std::string title = TitleOf(ANode);
  return title.empty() ? "Task " + ANode->GetID() : title;
}

bool HasTimeOfDay(double AValue) { return TimeOf(AValue) != 0; }

void Warn(INode* ANode, const std::string& AText) {
  DialogService().ShowMessage(TMessageKind::Warning, NodeName(ANode) + ": " + AText);
}

// A short fixed-width key of a text (FNV-1a), for names and titles in the journal.
std::string TextKey(std::string_view AText) {
  uint64_t hash = 14695981039346656037ull;
  for (const char c : AText) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

constexpr const char* KJournalHeader = "lumeta-export 1";

// RFC 9253's names of the four link types, seen from the predecessor.
const char* RelationType(TTaskLinkType AType) {
  switch (AType) {
    case ltStartToStart: return "STARTTOSTART";
    case ltFinishToFinish: return "FINISHTOFINISH";
    case ltStartToFinish: return "STARTTOFINISH";
    default: return "FINISHTOSTART";
  }
}

}  // namespace

TActionOutlookExporter::TActionOutlookExporter(ComPtr<ILumetaProgress> AProgress)
    : FOutlookApp(std::make_unique<ThvMSOutlookApp>()), FProgress(std::move(AProgress)) {}

TActionOutlookExporter::~TActionOutlookExporter() = default;

std::vector<ComPtr<INode>> TActionOutlookExporter::CollectNodes(IExportActionsOutlookOptions* AOptions,
                                                                ISelection* ASelection, ILumetaModel* AModel) {
  std::vector<ComPtr<INode>> nodes = Candidates(AOptions, ASelection, AModel);
  if (AOptions->GetActionsToExport() != aeAll)
    std::erase_if(nodes, [&](const ComPtr<INode>& ANode) { return ActionOf(ANode.get())->GetPostedToOutlook(); });
  return nodes;
}

std::vector<ComPtr<INode>> TActionOutlookExporter::Candidates(IExportActionsOutlookOptions* AOptions,
                                                              ISelection* ASelection, ILumetaModel* AModel) {
  std::vector<ComPtr<INode>> nodes;
  const int32_t range = AOptions->GetExportRange();
  if (range == erSelection) {
    const int32_t count = ASelection ? ASelection->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i)
      if (ComPtr<INode> node = QueryAs<INode>(ASelection->GetItem(i).get())) nodes.push_back(std::move(node));
  } else {
    // This host's view always shows the whole map, so the current view starts at the map's root too.
    ComPtr<ITree> tree = AModel ? AModel->GetTree() : nullptr;
    ComPtr<INode> root = tree ? tree->GetRoot() : nullptr;
    const bool everything = range == erEntireMap || AOptions->GetExpandBranches();
    // Pre-order with a stack of its own: the map's depth is the user's.
    std::vector<ComPtr<INode>> pending;
    if (root) pending.push_back(root);
    while (!pending.empty()) {
      ComPtr<INode> node = std::move(pending.back());
      pending.pop_back();
      if (node != root)
        if (ComPtr<INode> next = node->GetNextSibling()) pending.push_back(next);
      if (everything || node->IsExpanded())
        if (ComPtr<INode> child = node->GetFirstChild()) pending.push_back(child);
      nodes.push_back(std::move(node));
    }
  }
  std::erase_if(nodes, [&](const ComPtr<INode>& ANode) {
    ComPtr<IActionAttribute> action = ActionOf(ANode.get());
    return !action || !action->GetIsAction();
  });
  return nodes;
}

std::string TActionOutlookExporter::Subject(INode* ANode, int32_t AIncludeProperties) {
  if (!(AIncludeProperties & eiFullTitlePath)) return TaskTitleOf(ANode);
  std::vector<std::string> titles{TaskTitleOf(ANode)};
  for (ComPtr<INode> parent = ANode->GetParent(); parent && parent->GetParent(); parent = parent->GetParent())
    titles.push_back(TitleOf(parent.get()));
  std::string subject;
  for (auto title = titles.rbegin(); title != titles.rend(); ++title) {
    if (!subject.empty()) subject += "->";
    subject += *title;
  }
  return subject;
}

std::string TActionOutlookExporter::Body(INode* ANode, int32_t AIncludeProperties) {
  std::string body;
  ComPtr<INodeHostData> data = QueryAs<INodeHostData>(ANode);
  if (!data) return body;
  std::string unaddressed;
  for (const TNodeResource& resource : data->GetResources())
    if (!Addressable(resource)) unaddressed += "\r\n" + resource.Name;
  if (!unaddressed.empty()) AppendSection(body, "Resources for this task without an email address" + unaddressed);
  if (AIncludeProperties & eiNotes) {
    const std::string notes = data->GetNotes();
    const std::string text = LooksLikeHtml(notes) ? HtmlToPlainText(notes, true) : notes;
    if (!text.empty()) AppendSection(body, text);
  }
  if (AIncludeProperties & eiAttachments) {
    const std::vector<TNodeAttachment> attachments = data->GetAttachments();
    if (!attachments.empty()) {
      std::string text = "Attachments:";
      for (const TNodeAttachment& attachment : attachments) text += "\r\n" + attachment.Name + " : " + attachment.Location;
      AppendSection(body, text);
    }
  }
  if (AIncludeProperties & eiConnections) {
    const std::string title = TitleOf(ANode);
    for (const bool outgoing : {true, false}) {
      const std::vector<ComPtr<INode>> others = data->GetConnections(outgoing);
      if (others.empty()) continue;
      std::string text = outgoing ? "Mental Connections (Out-going): " : "Mental Connections (In-coming): ";
      for (const ComPtr<INode>& other : others) {
        const std::string otherTitle = TitleOf(other.get());
        text += "\r\n";
        if (!title.empty() && !otherTitle.empty()) text += title + (outgoing ? "---->" : "<----") + otherTitle;
      }
      AppendSection(body, text);
    }
  }
  return body;
}

bool TActionOutlookExporter::Cancelled() const {
  ComPtr<ILumetaProgressCancel> cancel = QueryAs<ILumetaProgressCancel>(FProgress.get());
  return cancel && cancel->GetCancelled();
}

int32_t TActionOutlookExporter::ExportActions(IExportActionsOutlookOptions* AOptions, ISelection* ASelection,
                                              ILumetaModel* AModel) {
  FOptions = AOptions;
  FSelection = ASelection;
  FModel = AModel;
  std::vector<ComPtr<INode>> nodes = Candidates(AOptions, ASelection, AModel);
  if (FProgress) FProgress->Start(KCaption, "Starting Outlook...");
  if (!FOutlookApp->StartOutlook()) {
    if (FProgress) FProgress->Finish();
    DialogService().ShowMessage(TMessageKind::Warning, "Outlook failed to initialise properly");
    return -1;
  }
  const TOleVariant& app = FOutlookApp->App();
  // A task program that writes many tasks faster when told so; others do not know the member.
  bool batch = true;
  try {
    app.Call("BeginBatch");
  } catch (const EOleError&) {
    batch = false;
  }
  int32_t count = 0;
  const auto finish = [&] {
    if (batch) app.Call("EndBatch");
    FItems = TOleVariant();
    FOutlookApp->ShutDownOutlook();
    if (FProgress) FProgress->Finish();
  };
  try {
    OpenItems(AModel, false);
    std::unordered_set<INode*> continued;
    const bool journal = ResumeJournal(continued);
    if (FMapIdentity) FIdentity = FMapIdentity->GetMapIdentity(true);
    std::erase_if(nodes, [&](const ComPtr<INode>& ANode) { return continued.contains(ANode.get()); });
    std::vector<std::pair<INode*, TTaskValues>> planned = Plan(nodes, AOptions->GetActionsToExport() == aeAll);
    RefuseUnsendable(planned);
    for (const auto& [node, values] : planned)
      FOurEntries.push_back(node->GetID() + "\t" + TextKey(TitleOf(node)) + "\t" + FUids.at(node) + "\t" + values.Key);
    FRelations = true;
    if (journal) WriteJournal(true);
    if (!continued.empty())
      DialogService().ShowMessage(TMessageKind::Information,
                                  std::to_string(continued.size()) +
                                      " actions were exported by an earlier run that did not end; they are now marked as "
                                      "posted and not exported again");
    const int32_t total = static_cast<int32_t>(planned.size());
    FPending.clear();
    FLanded = 0;
    for (int32_t i = 0; i < total && !Cancelled(); ++i) {
      auto& [node, values] = planned[static_cast<size_t>(i)];
      // Counts the tasks written, which trail the ones handed over when a server answers later.
      if (FProgress) FProgress->UpdateProgress("Exporting Action...", TitleOf(node), FLanded, total);
      CreateTask(node, values);
      TakeLanded(false);
    }
    TakeLanded(true);
    count = FLanded;
    if (FProgress) FProgress->UpdateProgress("Exporting Action...", {}, FLanded, total);
    if (!Cancelled()) CancelWithdrawnTasks();
    // The run ended: its marks are in the map like any other edit, kept by the map's save.
    if (journal) WriteJournal(false);
  } catch (...) {
    try {
      // What the server acknowledged before the failure is marked; nothing else.
      TakeLanded(true);
    } catch (const std::exception&) {
    }
    try {
      finish();
    } catch (const std::exception&) {
      // The first failure is the one to report.
    }
    throw;
  }
  finish();
  return count;
}

void TActionOutlookExporter::OpenItems(ILumetaModel* AModel, bool AMakeIdentity) {
  FItems = FOutlookApp->TaskFolder().Get("Items");
  FMapIdentity = QueryAs<IMapIdentity>(AModel ? AModel->GetTree().get() : nullptr);
  FIdentity = FMapIdentity ? FMapIdentity->GetMapIdentity(AMakeIdentity) : std::string();
  FTimeZone = TimeZoneOf(AModel);
}

std::vector<std::pair<INode*, TActionOutlookExporter::TTaskValues>> TActionOutlookExporter::Plan(
    const std::vector<ComPtr<INode>>& ANodes, bool AAll) {
  FUids.clear();
  for (const ComPtr<INode>& node : ANodes) FUids.emplace(node.get(), UidOf(node.get()));
  // What each task would hold now; an action already exported goes out again, without --all,
  // only when that differs from what its task was last given.
  std::vector<std::pair<INode*, TTaskValues>> planned;
  for (const ComPtr<INode>& node : ANodes) {
    TTaskValues values = ValuesOf(node.get());
    if (!AAll && ActionOf(node.get())->GetPostedToOutlook()) {
      const TOleVariant task = FindTask(FUids.at(node.get()));
      if (!task.Assigned() || TaskKey(task) == values.Key) continue;
    }
    planned.emplace_back(node.get(), std::move(values));
  }
  return planned;
}

std::vector<TPlannedTask> TActionOutlookExporter::PlanExport(IExportActionsOutlookOptions* AOptions,
                                                             ISelection* ASelection, ILumetaModel* AModel) {
  FOptions = AOptions;
  FSelection = ASelection;
  FModel = AModel;
  const int32_t include = AOptions->GetIncludeProperties();
  std::vector<TPlannedTask> result;
  const auto add = [&](INode* ANode) { result.push_back({ComPtr<INode>(ANode), Subject(ANode, include)}); };
  // Every action goes with --all, and without the task program only the map can tell.
  if (AOptions->GetActionsToExport() == aeAll || !FOutlookApp->StartOutlook()) {
    for (const ComPtr<INode>& node : CollectNodes(AOptions, ASelection, AModel)) add(node.get());
    return result;
  }
  // The task program is let go however the plan ends.
  const auto release = [&] {
    FItems = TOleVariant();
    FOutlookApp->ShutDownOutlook();
  };
  try {
    OpenItems(AModel, false);
    for (const auto& entry : Plan(Candidates(AOptions, ASelection, AModel), false)) add(entry.first);
  } catch (...) {
    release();
    throw;
  }
  release();
  return result;
}

std::string TActionOutlookExporter::TimeZoneOf(ILumetaModel* AModel) const {
  ComPtr<IMapTimeZone> map = QueryAs<IMapTimeZone>(AModel ? AModel->GetTree().get() : nullptr);
  const std::string zone = map ? map->GetMapTimeZone() : std::string();
  if (zone.empty()) return zone;
  // Asked of an item that is never saved, before any task is written.
  try {
    FOutlookApp->NewTask("").Put("TimeZone", zone);
  } catch (const EOleError& error) {
    if (error.Code() == DISP_E_UNKNOWNNAME) return {};  // a program that places dates in zones itself
    throw ELumetaError("the map's time zone cannot be used: " + std::string(error.what()), E_INVALIDARG);
  }
  return zone;
}

bool TActionOutlookExporter::HasOwner() const {
  try {
    return !FOutlookApp->NameSpace().Get("CurrentUser").Get("Address").AsString().empty();
  } catch (const EOleError& error) {
    if (error.Code() == DISP_E_UNKNOWNNAME) return true;  // a program that knows its user itself
    throw;
  }
}

void TActionOutlookExporter::RefuseUnsendable(std::vector<std::pair<INode*, TTaskValues>>& APlanned) {
  const auto assigned = [](const auto& AEntry) { return !AEntry.second.Recipients.empty(); };
  if (std::none_of(APlanned.begin(), APlanned.end(), assigned) || HasOwner()) return;
  if (OnOwnerMissing) {
    std::string name, address;
    while (OnOwnerMissing(name, address)) {
      try {
        FOutlookApp->App().Call("SetOwner", name, address);
        return;
      } catch (const EOleError& error) {
        DialogService().ShowMessage(TMessageKind::Warning, error.what());
      }
    }
  }
  // Sent from an address nobody reads, the answers of the assignees would be lost.
  std::string names;
  size_t refused = 0;
  for (const auto& entry : APlanned) {
    if (!assigned(entry)) continue;
    names += (refused++ ? ", " : "") + NodeName(entry.first);
  }
  std::erase_if(APlanned, assigned);
  DialogService().ShowMessage(TMessageKind::Warning,
                              std::to_string(refused) + " assigned tasks were not exported, as no owner is set to send "
                              "them from (lumeta tasks owner NAME EMAIL): " + names);
}

std::string TActionOutlookExporter::UidOf(INode* ANode) const {
  // The map's identity and the node's ID: the same task in every run, from any copy of the file.
  return FIdentity.empty() ? NewUuidText() : FIdentity + "-" + ANode->GetID();
}

TOleVariant TActionOutlookExporter::FindTask(const std::string& AUid) const {
  if (FIdentity.empty() || !FItems.Assigned()) return TOleVariant();
  return FItems.Call("Find", "[EntryID] = \"" + AUid + "\"");
}

std::string TActionOutlookExporter::TaskKey(const TOleVariant& ATask) {
  try {
    return ATask.Get("ExportKey").AsString();
  } catch (const EOleError&) {
    return {};  // a task program that keeps no keys: every action is new to it
  }
}

void TActionOutlookExporter::CancelWithdrawnTasks() {
  if (FIdentity.empty()) return;
  ComPtr<ITree> tree = FModel->GetTree();
  const std::string prefix = FIdentity + "-";
  std::vector<TOleVariant> withdrawn;
  const int32_t count = FItems.Get("Count").AsInteger();
  for (int32_t i = 1; i <= count; ++i) {
    const TOleVariant task = FItems.Call("Item", i);
    const std::string uid = task.Get("EntryID").AsString();
    if (!uid.starts_with(prefix) || task.Get("Cancelled").AsBoolean()) continue;
    ComPtr<INode> node = tree->FindNode(uid.substr(prefix.size()));
    ComPtr<IActionAttribute> action = node ? ActionOf(node.get()) : nullptr;
    if (!action || !action->GetIsAction()) withdrawn.push_back(task);
  }
  for (const TOleVariant& task : withdrawn) task.Call("Cancel");
  if (!withdrawn.empty())
    DialogService().ShowMessage(TMessageKind::Information,
                                std::to_string(withdrawn.size()) +
                                    " tasks were cancelled: their nodes were deleted or are no longer actions for Outlook");
}

bool TActionOutlookExporter::ResumeJournal(std::unordered_set<INode*>& AContinued) {
  FOtherEntries.clear();
  FOurEntries.clear();
  ComPtr<ITree> tree = FModel ? FModel->GetTree() : nullptr;
  ComPtr<INode> root = tree ? tree->GetRoot() : nullptr;
  if (!root) return false;
  // A map that has no identity yet is known by its title until it is saved with the one this run
  // gives it: a run killed before that save is still found.
  FJournalName = "export-" + (FIdentity.empty() ? TextKey(TitleOf(root.get())) : FIdentity);
  std::string text;
  try {
    text = FOutlookApp->App().Call("Journal", FJournalName).AsString();
  } catch (const EOleError& error) {
    if (error.Code() == DISP_E_UNKNOWNNAME) return false;  // a task program without journals
    throw;
  }
  const TOleVariant items = FOutlookApp->TaskFolder().Get("Items");
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    // node ID, title key, task UID, and the key of what the task was to hold
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    const size_t tab3 = line.find('\t', tab2 + 1);
    const std::string uid = line.substr(tab2 + 1, tab3 == std::string::npos ? std::string::npos : tab3 - tab2 - 1);
    if (uid.empty() || uid.find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos) continue;
    const TOleVariant task = items.Call("Find", "[EntryID] = \"" + uid + "\"");
    if (task.IsEmpty()) continue;  // it never went out
    // A task that was there before the run went out only when it holds what the run wrote.
    if (tab3 != std::string::npos && TaskKey(task) != line.substr(tab3 + 1)) continue;
    ComPtr<INode> node = tree->FindNode(line.substr(0, tab1));
    ComPtr<IActionAttribute> action = node ? ActionOf(node.get()) : nullptr;
    if (!action || TextKey(TitleOf(node.get())) != line.substr(tab1 + 1, tab2 - tab1 - 1)) {
      FOtherEntries.push_back(line);  // another map of the same title
      continue;
    }
    // The identity that run gave the map, lost with it: its tasks are this map's.
    if (FIdentity.empty() && FMapIdentity && uid.ends_with("-" + node->GetID())) {
      FIdentity = uid.substr(0, uid.size() - node->GetID().size() - 1);
      FMapIdentity->SetMapIdentity(FIdentity);
    }
    // Straight into the record, as the run that wrote the task would have done.
    action->SetPostedToOutlook(true);
    AContinued.insert(node.get());
    FOurEntries.push_back(line);
  }
  return true;
}

void TActionOutlookExporter::WriteJournal(bool AWithOurs) {
  std::string text;
  for (const std::string& line : FOtherEntries) text += line + "\n";
  if (AWithOurs)
    for (const std::string& line : FOurEntries) text += line + "\n";
  if (!text.empty()) text = std::string(KJournalHeader) + "\n" + text;
  FOutlookApp->App().Call("SetJournal", FJournalName, text);
}

void TActionOutlookExporter::SetField(const TOleVariant& ATask, INode* ANode, const char* AName, const char* AShown,
                                      const TOleVariant& AValue) {
  try {
    ATask.Put(AName, AValue);
  } catch (const EOleError& error) {
    Warn(ANode, std::string(AShown) + " cannot go into the task (" + error.what() + "); left out");
  }
}

std::string TActionOutlookExporter::TTaskValues::MakeKey() const {
  std::string text = Subject + '\x1f' + Body + '\x1f' + Categories + '\x1f';
  for (const std::optional<int32_t>& number : {Percent, Status, Importance})
    text += (number ? std::to_string(*number) : "-") + '\x1f';
  for (const double date : {Due, Start, Completed}) text += std::to_string(date) + '\x1f';
  for (const std::string& recipient : Recipients) text += recipient + '\x1e';
  text += TimeZone + '\x1f';
  for (const auto& [type, uid] : Relations) text += type + ' ' + uid + '\x1e';
  return TextKey(text);
}

TActionOutlookExporter::TTaskValues TActionOutlookExporter::ValuesOf(INode* ANode) {
  const int32_t include = FOptions->GetIncludeProperties();
  TTaskValues values;
  values.Subject = Subject(ANode, include);
  if (TitleOf(ANode).empty()) values.Warnings.push_back("it has no title; the task is called '" + TaskTitleOf(ANode) + "'");
  ComPtr<INodeHostData> data = QueryAs<INodeHostData>(ANode);
  if (data) {
    for (const TNodeResource& resource : data->GetResources()) {
      if (Addressable(resource)) {
        values.Recipients.push_back(resource.Name.empty() ? resource.Email : resource.Name + " <" + resource.Email + ">");
      } else if (!resource.Email.empty()) {
        values.Warnings.push_back("the e-mail address '" + PrintableText(resource.Email) + "' of resource '" +
                                  PrintableText(resource.Name) + "' " + MailAddressProblem(resource.Email) +
                                  "; the task is not sent to it");
      }
    }
  }
  if (ComPtr<IActionAttribute> action = ActionOf(ANode)) {
    if (include & eiPercentComplete) {
      const int32_t complete = action->GetComplete();
      values.Percent = std::clamp(complete, 0, 100);
      if (*values.Percent != complete)
        values.Warnings.push_back("% Complete " + std::to_string(complete) + " is outside 0 to 100; the task gets " +
                                  std::to_string(*values.Percent));
    }
    if (include & eiStatus)
      if (const int status = StatusNumber(action->GetStatus()); status >= 0) values.Status = status;
    if (include & eiPriority) values.Importance = ImportanceNumber(action->GetPriority());
    const auto date = [&](int32_t ABit, double AValue, const char* AShown) -> double {
      if (!(include & ABit) || AValue <= 0) return 0;
      // The task program's own "no date" is 1 January 4501: later dates are none to it.
      if (!IsDateToShow(AValue) || AValue >= EncodeDate(4501, 1, 1)) {
        values.Warnings.push_back(std::string(AShown) + " is no date a task can hold; left out");
        return 0;
      }
      return AValue;
    };
    // Without a Due Date the task is due when it is planned to finish, so that calendars show when.
    const bool done = FoldAscii(action->GetStatus()) == "completed" || action->GetComplete() >= 100;
    values.Due = date(eiDueDate, action->GetDueDate() > 0 || done ? action->GetDueDate() : action->GetCompletedDate(),
                      "Due Date");
    values.Start = date(eiStartDate, action->GetStartDate(), "Start Date");
    values.Completed = date(eiDateCompleted, action->GetCompletedDate(), "Date Completed");
    // The calendar file cannot hold a task due before it starts (a due date without a time of day
    // means that day).
    if (values.Due > 0 && values.Start > 0 &&
        (HasTimeOfDay(values.Due) ? values.Due < values.Start : DateOf(values.Due) < DateOf(values.Start)))
      values.Warnings.push_back("the Due Date is before the Start Date; the task is written without a start");
  }
  values.Body = Body(ANode, include);
  if (include & eiCategories && data) {
    for (const std::string& name : data->GetCategories()) values.Categories.append(";").append(CategoryName(name));
  }
  values.Relations = RelationsOf(ANode);
  values.TimeZone = FTimeZone;
  values.Key = values.MakeKey();
  return values;
}

std::vector<std::pair<std::string, std::string>> TActionOutlookExporter::RelationsOf(INode* ANode) {
  std::vector<std::pair<std::string, std::string>> relations;
  // A task of this run, or one an earlier run left in the store.
  const auto uidOf = [&](INode* AOther) -> std::string {
    if (const auto found = FUids.find(AOther); found != FUids.end()) return found->second;
    if (FIdentity.empty()) return {};
    std::string uid = UidOf(AOther);
    return FindTask(uid).Assigned() ? uid : std::string();
  };
  if (ComPtr<INode> parent = ANode->GetParent())
    if (std::string uid = uidOf(parent.get()); !uid.empty()) relations.emplace_back("PARENT", std::move(uid));
  ComPtr<INodeLinkList2> successors =
      QueryAs<INodeLinkList2>(ANode->FindProperty(TLumetaSuccessorLinksProperty::ManagerInfo.Description).get());
  const int32_t count = successors ? successors->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(successors->GetLink(i).get());
    ComPtr<INode> successor = link ? link->GetLinkedNode() : nullptr;
    if (std::string uid = successor ? uidOf(successor.get()) : std::string(); !uid.empty())
      relations.emplace_back(RelationType(link->GetLinkType()), std::move(uid));
  }
  return relations;
}

bool TActionOutlookExporter::CreateTask(INode* ANode, const TTaskValues& AValues) {
  const std::string& uid = FUids.at(ANode);
  // The task an earlier run made is written anew in place: same UID and file, the next SEQUENCE.
  TOleVariant task = FindTask(uid);
  if (task.Assigned()) {
    task.Call("Clear");
    task.Put("Subject", AValues.Subject);
  } else {
    task = FOutlookApp->NewTask(AValues.Subject);
    if (!task.Assigned()) return false;
    if (FRelations) {
      try {
        task.Put("UID", uid);
      } catch (const EOleError&) {
        FRelations = false;  // the program chooses UIDs: no relations for this run
      }
    }
  }
  for (const std::string& warning : AValues.Warnings) Warn(ANode, warning);
  if (FRelations)
    for (const auto& [type, other] : AValues.Relations) task.Call("AddRelation", type, other);
  const TOleVariant recipients = task.Get("Recipients");
  for (const std::string& recipient : AValues.Recipients) recipients.Call("Add", recipient);
  if (AValues.Percent) SetField(task, ANode, "PercentComplete", "% Complete", *AValues.Percent);
  if (AValues.Status) SetField(task, ANode, "Status", "Status", *AValues.Status);
  if (AValues.Importance) SetField(task, ANode, "Importance", "Priority", *AValues.Importance);
  if (AValues.Due > 0) SetField(task, ANode, "DueDate", "Due Date", TOleVariant::FromDate(AValues.Due));
  if (AValues.Start > 0) SetField(task, ANode, "StartDate", "Start Date", TOleVariant::FromDate(AValues.Start));
  if (AValues.Completed > 0)
    SetField(task, ANode, "DateCompleted", "Date Completed", TOleVariant::FromDate(AValues.Completed));
  if (!AValues.TimeZone.empty()) task.Put("TimeZone", AValues.TimeZone);
  if (!AValues.Body.empty()) task.Put("Body", AValues.Body);
  if (!AValues.Categories.empty()) task.Put("Categories", AValues.Categories);
  try {
    task.Put("ExportKey", AValues.Key);
  } catch (const EOleError&) {
    // A task program without keys: the next run exports this action again only when asked to.
  }

  task.Call("Assign");
  const int32_t addressed = task.Get("Recipients").Get("Count").AsInteger();
  bool sent = addressed == 0;
  // A refused send is tried again, at most once per recipient and once more.
  for (int32_t attempt = 0; !sent; ++attempt) {
    try {
      task.Call("Send");
      sent = true;
    } catch (const EOleError&) {
      if (attempt > addressed) break;
    }
  }
  // Without recipients, or when the mail system keeps refusing, the task is at least kept.
  if (addressed == 0 || !sent) {
    try {
      task.Call("Save");
    } catch (const EOleError& error) {
      // Somebody else keeps changing the stored task: it stays theirs, unmarked, and the others go on.
      if (error.Code() != MAPI_E_OBJECT_CHANGED) throw;
      Warn(ANode, error.what());
      return false;
    }
  }
  FPending.push_back({task.Get("EntryID").AsString(), ANode, AValues.Subject});
  return true;
}

void TActionOutlookExporter::TakeLanded(bool AWait) {
  const auto landed = [&](const TPendingTask& ATask) {
    ++FLanded;
    // Straight into the record, outside the command framework: an export cannot be undone.
    if (ComPtr<IActionAttribute> action = ActionOf(ATask.Node)) action->SetPostedToOutlook(true);
    if (OnExported) OnExported({ATask.Node->GetID(), ATask.Uid, ATask.Subject});
  };
  TOleVariant answered;
  if (FLandedKnown) {
    try {
      answered = FOutlookApp->App().Call("TakeLanded", AWait);
    } catch (const EOleError& error) {
      if (error.Code() != DISP_E_UNKNOWNNAME) throw;
      FLandedKnown = false;
    }
  }
  if (!FLandedKnown) {  // a task program that has written each task when its save returns
    for (const TPendingTask& task : FPending) landed(task);
    FPending.clear();
    return;
  }
  const int32_t count = answered.Get("Count").AsInteger();
  for (int32_t i = 1; i <= count; ++i) {
    const TOleVariant item = answered.Call("Item", i);
    const std::string uid = item.Get("EntryID").AsString();
    const auto pending = std::find_if(FPending.begin(), FPending.end(), [&](const TPendingTask& A) { return A.Uid == uid; });
    if (pending == FPending.end()) continue;  // not one of this run's tasks
    const std::string refusal = item.Get("Refusal").AsString();
    // Somebody else keeps changing the stored task: it stays theirs, unmarked, and the others go on.
    if (refusal.empty()) landed(*pending);
    else Warn(pending->Node, refusal);
    FPending.erase(pending);
  }
}
