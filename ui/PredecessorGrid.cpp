#include "ui/PredecessorGrid.h"

#include <QHeaderView>

#include <algorithm>

#include "com/DialogService.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/TaskLinkHelper.h"
#include "ui/EditLinks.h"
#include "ui/UiMetrics.h"

namespace {

constexpr int KRowCount = 50;
enum { colTaskID, colTaskName, colLinkType };

QString ToQ(const std::string& AText) { return QString::fromStdString(AText); }

bool SameNode(INode* A, INode* B) { return A && B && A->GetID() == B->GetID(); }

}  // namespace

std::string PlainTitle(INode* ANode) {
  ComPtr<IAttribute> title = ANode ? ANode->FindAttribute("Title") : nullptr;
  return title ? title->AsPlainText(0) : std::string();
}

std::vector<TTaskLinkEntry> PredecessorsOf(INode* ANode) {
  return TaskLinksOf(TLumetaNodeLinksProperty::Of(ANode).get());
}

TPredecessorGrid::TPredecessorGrid(QWidget* AParent) : TVirtualTreeGrid(AParent) {
  setObjectName(QStringLiteral("vstPreds"));
  SetColumns({tr("Task ID"), tr("Task Name"), tr("Link Type")});
  // The name and type keep their widths; the ID takes what the grid has left.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(colTaskID, QHeaderView::Stretch);
  setColumnWidth(colTaskName, UiMetrics::Px(205));
  setColumnWidth(colLinkType, UiMetrics::Px(133));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  SetGridLines(true);
  SetFullRowSelect(true);
  SetEditable(true);
  SetEditOnClick(true);
  SetRootNodeCount(KRowCount);
  OnGetText = [this](TVirtualNode* ANode, int AColumn) { return CellText(ANode, AColumn); };
  OnEditing = [this](TVirtualNode* ANode, int AColumn) { return CellEditable(ANode, AColumn); };
  OnCreateEditor = [this](TVirtualNode* ANode, int AColumn) { return CellEditor(ANode, AColumn); };
  connect(this, &TVirtualTreeGrid::NewText, this,
          [this](TVirtualNode* ANode, int AColumn, const QString& AText) { CellNewText(ANode, AColumn, AText); });
}

TPredecessorGrid::~TPredecessorGrid() = default;

const QStringList& TPredecessorGrid::LinkCaptions() {
  static const QStringList captions{tr("Finish-to-Start (FS)"), tr("Start-to-Start (SS)"),
                                    tr("Finish-to-Finish (FF)"), tr("Start-to-Finish (SF)")};
  return captions;
}

const QString& TPredecessorGrid::NoneCaption() {
  static const QString caption = tr("(None)");
  return caption;
}

void TPredecessorGrid::Load(ILumetaModel* AModel, INode* AEdited) {
  FModel = AModel;
  FEdited = AEdited;
  FPreds.clear();
  for (const TTaskLinkEntry& link : PredecessorsOf(AEdited)) FPreds.push_back({link.Node, link.Type, false});
  const bool summary = AEdited && AEdited->HasChildren();
  FLinkCaptionMappings.clear();
  for (int type = ltFinishToStart; type <= ltStartToFinish; ++type)
    if (!summary || (type != ltFinishToFinish && type != ltStartToFinish))
      FLinkCaptionMappings[static_cast<TTaskLinkType>(type)] = LinkCaptions()[type];
  FTaskList.clear();
  FTaskIndexMappings.clear();
  FTaskListBuilt = false;
  InvalidateAll();
}

int TPredecessorGrid::VisibleLinkCount() const {
  return static_cast<int>(std::ranges::count_if(FPreds, [](const TPredLink& A) { return !A.Deleted; }));
}

TPredecessorGrid::TPredLink* TPredecessorGrid::LinkOfRow(int ARow) {
  int row = 0;
  for (TPredLink& link : FPreds) {
    if (link.Deleted) continue;
    if (row++ == ARow) return &link;
  }
  return nullptr;
}

QString TPredecessorGrid::CellText(TVirtualNode* ANode, int AColumn) {
  const TPredLink* link = ANode ? LinkOfRow(ANode->Index) : nullptr;
  if (!link) return {};
  switch (AColumn) {
    case colTaskID: return ToQ(link->Node->GetID());
    case colTaskName: return ToQ(PlainTitle(link->Node.get()));
    case colLinkType: return LinkCaptions().value(link->Type);
    default: return {};
  }
}

bool TPredecessorGrid::CellEditable(TVirtualNode* ANode, int AColumn) {
  if (!ANode || ANode->Parent || !FModel) return false;
  if (AColumn == colLinkType) return LinkOfRow(ANode->Index) != nullptr;
  return ANode->Index <= VisibleLinkCount();
}

ComPtr<IVTEditLink> TPredecessorGrid::CellEditor(TVirtualNode*, int AColumn) {
  switch (AColumn) {
    case colTaskName:
      BuildTaskList();
      if (!FTaskComboEditLink) FTaskComboEditLink = make<TComboEditLink>(FTaskList, false, csDropDown);
      return FTaskComboEditLink;
    case colLinkType:
      if (!FLinkComboEditLink)
        FLinkComboEditLink = make<TComboEditLink>(LinkCaptions() + QStringList{NoneCaption()}, false, csDropDownList);
      return FLinkComboEditLink;
    default:
      return make<TEditEditLink>();
  }
}

void TPredecessorGrid::BuildTaskList() {
  if (FTaskListBuilt) return;
  FTaskListBuilt = true;
  ComPtr<INode> root = FModel->GetTree()->GetRoot();
  std::vector<ComPtr<INode>> pending;
  if (ComPtr<INode> first = root ? root->GetFirstChild() : nullptr) pending.push_back(first);
  while (!pending.empty()) {
    ComPtr<INode> node = std::move(pending.back());
    pending.pop_back();
    if (ComPtr<INode> next = node->GetNextSibling()) pending.push_back(next);
    if (node->HasChildren())
      if (ComPtr<INode> child = node->GetFirstChild()) pending.push_back(child);
    // A task above or below the edited one can never be its predecessor.
    if (FEdited && (SameNode(node.get(), FEdited.get()) || node->IsDescendantOf(FEdited.get()) ||
                    FEdited->IsDescendantOf(node.get())))
      continue;
    FTaskIndexMappings[static_cast<int>(FTaskList.size())] = node->GetID();
    FTaskList.append(ToQ(PlainTitle(node.get())));
  }
}

void TPredecessorGrid::CellNewText(TVirtualNode* ANode, int AColumn, const QString& AText) {
  if (!ANode || !FModel) return;
  const int row = ANode->Index;
  TPredLink* link = LinkOfRow(row);
  switch (AColumn) {
    case colTaskID: {
      const QString text = AText.trimmed();
      if (text.isEmpty()) {
        if (link) link->Deleted = true;
        break;
      }
      bool isNumber = false;
      text.toLongLong(&isNumber);
      ComPtr<INode> node = isNumber ? FModel->GetTree()->FindNode(text.toStdString()) : nullptr;
      // The map's root is the map, never a task.
      if (!node || !node->GetParent()) {
        DialogService().ShowMessage(TMessageKind::Warning, KInvalidTaskIdMessage);
        break;
      }
      ApplyPredecessor(row, node.get());
      break;
    }
    case colTaskName: {
      const auto found = FTaskIndexMappings.find(FTaskComboEditLink ? FTaskComboEditLink->SelectedIndex() : -1);
      if (found == FTaskIndexMappings.end()) break;
      if (ComPtr<INode> node = FModel->GetTree()->FindNode(found->second)) ApplyPredecessor(row, node.get());
      break;
    }
    case colLinkType:
      if (!link) break;
      if (AText == NoneCaption()) {
        link->Deleted = true;
        break;
      }
      // A type a summary may not have is not in the map: nothing changes.
      for (const auto& [type, caption] : FLinkCaptionMappings)
        if (caption == AText) link->Type = type;
      break;
    default:
      break;
  }
  // Rows below a removed, revived or added link move: the grid asks for every text again.
  InvalidateAll();
}

void TPredecessorGrid::ApplyPredecessor(int ARow, INode* ANode) {
  TPredLink* row = LinkOfRow(ARow);
  const TTaskLinkType type = row ? row->Type : ltFinishToStart;
  const auto existing =
      std::ranges::find_if(FPreds, [&](const TPredLink& ALink) { return SameNode(ALink.Node.get(), ANode); });
  if (existing != FPreds.end() && !existing->Deleted) {
    DialogService().ShowMessage(TMessageKind::Warning, TTaskLinkHelper::LinkErrorText(tlDuplicate));
    return;
  }
  if (existing != FPreds.end()) {
    existing->Type = type;
    existing->Deleted = false;
    return;
  }
  const TTaskLinkResult result = TTaskLinkHelper::Validate(FEdited.get(), ANode, nullptr, type);
  if (result != tlOk) {
    TTaskLinkHelper::ShowLinkError(result);
    return;
  }
  if (row)
    row->Node = ANode;
  else
    FPreds.push_back({ComPtr<INode>(ANode), type, false});
}
