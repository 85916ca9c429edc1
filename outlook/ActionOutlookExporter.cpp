#include "outlook/ActionOutlookExporter.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/MailAddress.h"
#include "com/OleDate.h"
#include "com/UuidText.h"
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
  const bool all = AOptions->GetActionsToExport() == aeAll;
  std::erase_if(nodes, [&](const ComPtr<INode>& ANode) {
    ComPtr<IActionAttribute> action = ActionOf(ANode.get());
    return !action || !action->GetIsAction() || (action->GetPostedToOutlook() && !all);
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
  std::vector<ComPtr<INode>> nodes = CollectNodes(AOptions, ASelection, AModel);
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
    FOutlookApp->ShutDownOutlook();
    if (FProgress) FProgress->Finish();
  };
  try {
    std::unordered_set<INode*> continued;
    const bool journal = ResumeJournal(continued);
    std::erase_if(nodes, [&](const ComPtr<INode>& ANode) { return continued.contains(ANode.get()); });
    FUids.clear();
    for (const ComPtr<INode>& node : nodes) {
      const std::string& uid = FUids.emplace(node.get(), NewUuidText()).first->second;
      FOurEntries.push_back(node->GetID() + "\t" + TextKey(TitleOf(node.get())) + "\t" + uid);
    }
    FRelations = true;
    if (journal) WriteJournal(true);
    if (!continued.empty())
      DialogService().ShowMessage(TMessageKind::Information,
                                  std::to_string(continued.size()) +
                                      " actions were exported by an earlier run that did not end; they are now marked as "
                                      "posted and not exported again");
    for (int32_t i = 0; i < static_cast<int32_t>(nodes.size()) && !Cancelled(); ++i) {
      INode* node = nodes[static_cast<size_t>(i)].get();
      if (FProgress)
        FProgress->UpdateProgress("Exporting Action...", TitleOf(node), i, static_cast<int32_t>(nodes.size()));
      if (!CreateTask(node, i)) continue;
      ++count;
      // Straight into the record, outside the command framework: an export cannot be undone.
      if (ComPtr<IActionAttribute> action = ActionOf(node)) action->SetPostedToOutlook(true);
    }
    // The run ended: its marks are in the map like any other edit, kept by the map's save.
    if (journal) WriteJournal(false);
  } catch (...) {
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

bool TActionOutlookExporter::ResumeJournal(std::unordered_set<INode*>& AContinued) {
  FOtherEntries.clear();
  FOurEntries.clear();
  ComPtr<ITree> tree = FModel ? FModel->GetTree() : nullptr;
  ComPtr<INode> root = tree ? tree->GetRoot() : nullptr;
  if (!root) return false;
  FJournalName = "export-" + TextKey(TitleOf(root.get()));
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
    // node ID, title key, task UID
    const size_t tab1 = line.find('\t');
    const size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
    if (tab2 == std::string::npos) continue;
    const std::string uid = line.substr(tab2 + 1);
    if (uid.empty() || uid.find_first_not_of("0123456789abcdefABCDEF-") != std::string::npos) continue;
    if (items.Call("Find", "[EntryID] = \"" + uid + "\"").IsEmpty()) continue;  // it never went out
    ComPtr<INode> node = tree->FindNode(line.substr(0, tab1));
    ComPtr<IActionAttribute> action = node ? ActionOf(node.get()) : nullptr;
    if (!action || TextKey(TitleOf(node.get())) != line.substr(tab1 + 1, tab2 - tab1 - 1)) {
      FOtherEntries.push_back(line);  // another map of the same title
      continue;
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

void TActionOutlookExporter::AddRelations(const TOleVariant& ATask, INode* ANode) {
  const auto uidOf = [&](INode* AOther) -> const std::string* {
    const auto found = FUids.find(AOther);
    return found == FUids.end() ? nullptr : &found->second;
  };
  if (ComPtr<INode> parent = ANode->GetParent())
    if (const std::string* uid = uidOf(parent.get())) ATask.Call("AddRelation", "PARENT", *uid);
  ComPtr<INodeLinkList2> successors =
      QueryAs<INodeLinkList2>(ANode->FindProperty(TLumetaSuccessorLinksProperty::ManagerInfo.Description).get());
  const int32_t count = successors ? successors->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(successors->GetLink(i).get());
    ComPtr<INode> successor = link ? link->GetLinkedNode() : nullptr;
    if (const std::string* uid = successor ? uidOf(successor.get()) : nullptr)
      ATask.Call("AddRelation", RelationType(link->GetLinkType()), *uid);
  }
}

bool TActionOutlookExporter::CreateTask(INode* ANode, int32_t) {
  const int32_t include = FOptions->GetIncludeProperties();
  const std::string subject = Subject(ANode, include);
  const TOleVariant task = FOutlookApp->NewTask(subject);
  if (!task.Assigned()) return false;
  if (TitleOf(ANode).empty()) Warn(ANode, "it has no title; the task is called '" + TaskTitleOf(ANode) + "'");

  if (FRelations) {
    try {
      task.Put("UID", FUids.at(ANode));
    } catch (const EOleError&) {
      FRelations = false;  // the program chooses UIDs: no relations for this run
    }
  }
  if (FRelations) AddRelations(task, ANode);

  ComPtr<INodeHostData> data = QueryAs<INodeHostData>(ANode);
  if (data) {
    const TOleVariant recipients = task.Get("Recipients");
    for (const TNodeResource& resource : data->GetResources()) {
      if (Addressable(resource)) {
        recipients.Call("Add", resource.Name.empty() ? resource.Email : resource.Name + " <" + resource.Email + ">");
      } else if (!resource.Email.empty()) {
        Warn(ANode, "the e-mail address '" + PrintableText(resource.Email) + "' of resource '" +
                        PrintableText(resource.Name) + "' " + MailAddressProblem(resource.Email) +
                        "; the task is not sent to it");
      }
    }
  }
  if (ComPtr<IActionAttribute> action = ActionOf(ANode)) {
    if (include & eiPercentComplete) {
      const int32_t complete = action->GetComplete();
      const int32_t held = std::clamp(complete, 0, 100);
      if (held != complete)
        Warn(ANode, "% Complete " + std::to_string(complete) + " is outside 0 to 100; the task gets " + std::to_string(held));
      SetField(task, ANode, "PercentComplete", "% Complete", held);
    }
    if (include & eiStatus)
      if (const int status = StatusNumber(action->GetStatus()); status >= 0) SetField(task, ANode, "Status", "Status", status);
    if (include & eiPriority) SetField(task, ANode, "Importance", "Priority", ImportanceNumber(action->GetPriority()));
    const auto date = [&](int32_t ABit, double AValue, const char* AName, const char* AShown) {
      if (!(include & ABit) || AValue <= 0) return;
      // The task program's own "no date" is 1 January 4501: later dates are none to it.
      if (!IsDateToShow(AValue) || AValue >= EncodeDate(4501, 1, 1))
        return Warn(ANode, std::string(AShown) + " is no date a task can hold; left out");
      SetField(task, ANode, AName, AShown, TOleVariant::FromDate(AValue));
    };
    // Without a Due Date the task is due when it is planned to finish, so that calendars show when.
    const bool done = FoldAscii(action->GetStatus()) == "completed" || action->GetComplete() >= 100;
    const double due = action->GetDueDate() > 0 || done ? action->GetDueDate() : action->GetCompletedDate();
    const double start = action->GetStartDate();
    date(eiDueDate, due, "DueDate", "Due Date");
    date(eiStartDate, start, "StartDate", "Start Date");
    // The calendar file cannot hold a task due before it starts (a due date without a time of day
    // means that day).
    if (include & eiDueDate && include & eiStartDate && due > 0 && start > 0 &&
        (HasTimeOfDay(due) ? due < start : DateOf(due) < DateOf(start)))
      Warn(ANode, "the Due Date is before the Start Date; the task is written without a start");
    date(eiDateCompleted, action->GetCompletedDate(), "DateCompleted", "Date Completed");
  }
  if (const std::string body = Body(ANode, include); !body.empty()) task.Put("Body", body);
  if (include & eiCategories && data) {
    std::string categories;
    for (const std::string& name : data->GetCategories()) categories.append(";").append(CategoryName(name));
    if (!categories.empty()) task.Put("Categories", categories);
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
  if (addressed == 0 || !sent) task.Call("Save");
  if (OnExported) OnExported({ANode->GetID(), task.Get("EntryID").AsString(), subject});
  return true;
}
