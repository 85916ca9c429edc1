#include "outlook/ActionOutlookExporter.h"

#include <exception>
#include <utility>

#include "com/ComErrors.h"
#include "com/DialogService.h"
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
  ComPtr<IProperty> property = ANode->FindProperty("Action");
  return property ? property.try_as<IActionAttribute>() : nullptr;
}

std::string TitleOf(INode* ANode) {
  ComPtr<IStringAttribute> title = QueryAs<IStringAttribute>(ANode->FindAttribute("Title").get());
  return title ? title->GetValue() : std::string();
}

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

// The task program separates categories with commas and semicolons: inside a name they would
// split it.
std::string CategoryName(const std::string& AName) {
  std::string name;
  for (char c : AName)
    if (c != ',' && c != ';') name += c;
  return name;
}

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
  if (!(AIncludeProperties & eiFullTitlePath)) return TitleOf(ANode);
  std::vector<std::string> titles{TitleOf(ANode)};
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
    if (resource.Email.empty()) unaddressed += "\r\n" + resource.Name;
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
  const std::vector<ComPtr<INode>> nodes = CollectNodes(AOptions, ASelection, AModel);
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
  FUids.clear();
  for (const ComPtr<INode>& node : nodes) FUids.emplace(node.get(), NewUuidText());
  FRelations = true;

  int32_t count = 0;
  const auto finish = [&] {
    if (batch) app.Call("EndBatch");
    FOutlookApp->ShutDownOutlook();
    if (FProgress) FProgress->Finish();
  };
  try {
    for (int32_t i = 0; i < static_cast<int32_t>(nodes.size()) && !Cancelled(); ++i) {
      INode* node = nodes[static_cast<size_t>(i)].get();
      if (FProgress)
        FProgress->UpdateProgress("Exporting Action...", TitleOf(node), i, static_cast<int32_t>(nodes.size()));
      if (!CreateTask(node, i)) continue;
      ++count;
      // Straight into the record, outside the command framework: an export cannot be undone.
      if (ComPtr<IActionAttribute> action = ActionOf(node)) action->SetPostedToOutlook(true);
    }
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
    for (const TNodeResource& resource : data->GetResources())
      if (!resource.Email.empty())
        recipients.Call("Add", resource.Name.empty() ? resource.Email : resource.Name + " <" + resource.Email + ">");
  }
  if (ComPtr<IActionAttribute> action = ActionOf(ANode)) {
    if (include & eiPercentComplete) task.Put("PercentComplete", action->GetComplete());
    if (include & eiStatus)
      if (const int status = StatusNumber(action->GetStatus()); status >= 0) task.Put("Status", status);
    if (include & eiPriority) task.Put("Importance", ImportanceNumber(action->GetPriority()));
    if (include & eiDueDate && action->GetDueDate() > 0) task.Put("DueDate", TOleVariant::FromDate(action->GetDueDate()));
    if (include & eiStartDate && action->GetStartDate() > 0)
      task.Put("StartDate", TOleVariant::FromDate(action->GetStartDate()));
    if (include & eiDateCompleted && action->GetCompletedDate() > 0)
      task.Put("DateCompleted", TOleVariant::FromDate(action->GetCompletedDate()));
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
