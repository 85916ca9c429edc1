#include "treegrid/VirtualTreeGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

TVirtualNode::~TVirtualNode() {
  // Children are taken out of their parents before they die, so no destructor below recurses.
  std::vector<std::unique_ptr<TVirtualNode>> pending = std::move(Children);
  while (!pending.empty()) {
    std::unique_ptr<TVirtualNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->Children) pending.push_back(std::move(child));
    node->Children.clear();
  }
}

// The grid's rows as a Qt model: an index points at its row's node, texts come from the grid.
class TVirtualTreeModel : public QAbstractItemModel {
 public:
  explicit TVirtualTreeModel(TVirtualTreeGrid& AGrid) : QAbstractItemModel(&AGrid), FGrid(AGrid) {}

  QModelIndex index(int ARow, int AColumn, const QModelIndex& AParent) const override {
    const TVirtualNode* parent = AParent.isValid() ? Node(AParent) : &FGrid.FRoot;
    if (ARow < 0 || ARow >= static_cast<int>(parent->Children.size()) || AColumn < 0 || AColumn >= columnCount({}))
      return {};
    return createIndex(ARow, AColumn, parent->Children[ARow].get());
  }
  QModelIndex parent(const QModelIndex& AChild) const override {
    const TVirtualNode* node = Node(AChild);
    if (!node || !node->Parent) return {};
    return createIndex(node->Parent->Index, 0, node->Parent);
  }
  int rowCount(const QModelIndex& AParent) const override {
    if (AParent.column() > 0) return 0;
    const TVirtualNode* parent = AParent.isValid() ? Node(AParent) : &FGrid.FRoot;
    return static_cast<int>(parent->Children.size());
  }
  int columnCount(const QModelIndex&) const override { return std::max(1, FGrid.ColumnCount()); }
  QVariant data(const QModelIndex& AIndex, int ARole) const override {
    if (ARole != Qt::DisplayRole || !AIndex.isValid()) return {};
    return FGrid.Text(Node(AIndex), AIndex.column());
  }
  QVariant headerData(int ASection, Qt::Orientation AOrientation, int ARole) const override {
    if (AOrientation != Qt::Horizontal || ARole != Qt::DisplayRole) return {};
    return FGrid.ColumnCaption(ASection);
  }
  Qt::ItemFlags flags(const QModelIndex& AIndex) const override {
    // The grid edits through its links, never through Qt's editors.
    return AIndex.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
  }

  static TVirtualNode* Node(const QModelIndex& AIndex) { return static_cast<TVirtualNode*>(AIndex.internalPointer()); }
  QModelIndex MakeIndex(TVirtualNode* ANode, int AColumn) const { return createIndex(ANode->Index, AColumn, ANode); }
  void BeginInsert(const QModelIndex& AParent, int AFirst, int ALast) { beginInsertRows(AParent, AFirst, ALast); }
  void EndInsert() { endInsertRows(); }
  void BeginRemove(const QModelIndex& AParent, int AFirst, int ALast) { beginRemoveRows(AParent, AFirst, ALast); }
  void EndRemove() { endRemoveRows(); }
  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }
  void RowChanged(TVirtualNode* ANode) { Q_EMIT dataChanged(MakeIndex(ANode, 0), MakeIndex(ANode, columnCount({}) - 1)); }
  void AllChanged() { Q_EMIT layoutChanged(); }

 private:
  TVirtualTreeGrid& FGrid;
};

namespace {

// Every row is as high as the grid says, so that the view can skip measuring rows.
class TRowHeightDelegate : public QStyledItemDelegate {
 public:
  TRowHeightDelegate(const int& AHeight, QObject* AParent) : QStyledItemDelegate(AParent), FHeight(AHeight) {}
  QSize sizeHint(const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    return QSize(QStyledItemDelegate::sizeHint(AOption, AIndex).width(), FHeight);
  }

 private:
  const int& FHeight;
};

}  // namespace

TVirtualTreeGrid::TVirtualTreeGrid(QWidget* AParent) : QTreeView(AParent), FModel(new TVirtualTreeModel(*this)) {
  FNodeHeight = std::max(18, fontMetrics().height() + 8);
  setItemDelegate(new TRowHeightDelegate(FNodeHeight, this));
  setModel(FModel);
  setUniformRowHeights(true);
  setRootIsDecorated(false);
  setEditTriggers(NoEditTriggers);
  setSelectionMode(SingleSelection);
  setSelectionBehavior(SelectItems);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  connect(header(), &QHeaderView::sectionResized, this, &TVirtualTreeGrid::UpdateEditBounds);
}

TVirtualTreeGrid::~TVirtualTreeGrid() {
  // The link may still want the grid while it lets go of its control.
  if (IsEditing()) CancelEditNode();
  FEditLink.reset();
  // The view lets go of the rows before they are freed.
  setModel(nullptr);
}

void TVirtualTreeGrid::SetColumns(const QStringList& ACaptions) {
  CancelEditNode();
  FModel->BeginReset();
  FCaptions = ACaptions;
  FModel->EndReset();
}

int TVirtualTreeGrid::ChildCount(const TVirtualNode* ANode) const {
  return static_cast<int>((ANode ? ANode : &FRoot)->Children.size());
}

void TVirtualTreeGrid::SetChildCount(TVirtualNode* ANode, int ACount) {
  TVirtualNode* parent = ParentOrRoot(ANode);
  const int old = static_cast<int>(parent->Children.size());
  ACount = std::max(0, ACount);
  const QModelIndex parentIndex = ANode ? IndexOf(ANode, 0) : QModelIndex();
  if (ACount > old) {
    FModel->BeginInsert(parentIndex, old, ACount - 1);
    parent->Children.reserve(ACount);
    for (int i = old; i < ACount; ++i) {
      auto node = std::make_unique<TVirtualNode>();
      node->Parent = ANode;
      node->Index = i;
      parent->Children.push_back(std::move(node));
    }
    FModel->EndInsert();
  } else if (ACount < old) {
    for (const TVirtualNode* node = FEditNode; node; node = node->Parent)
      if (node->Parent == ANode && node->Index >= ACount) {
        CancelEditNode();
        break;
      }
    FModel->BeginRemove(parentIndex, ACount, old - 1);
    parent->Children.resize(ACount);
    FModel->EndRemove();
  }
}

TVirtualNode* TVirtualTreeGrid::Child(TVirtualNode* ANode, int AIndex) const {
  const TVirtualNode* parent = ANode ? ANode : &FRoot;
  return AIndex >= 0 && AIndex < static_cast<int>(parent->Children.size()) ? parent->Children[AIndex].get() : nullptr;
}

void TVirtualTreeGrid::SetExpanded(TVirtualNode* ANode, bool AExpanded) {
  if (ANode) setExpanded(IndexOf(ANode, 0), AExpanded);
}

void TVirtualTreeGrid::InvalidateNode(TVirtualNode* ANode) {
  if (ANode) FModel->RowChanged(ANode);
}

void TVirtualTreeGrid::InvalidateAll() { FModel->AllChanged(); }

TVirtualNode* TVirtualTreeGrid::FocusedNode() const { return NodeAt(currentIndex()); }

int TVirtualTreeGrid::FocusedColumn() const { return currentIndex().isValid() ? currentIndex().column() : -1; }

void TVirtualTreeGrid::SetFocusedCell(TVirtualNode* ANode, int AColumn) {
  setCurrentIndex(IndexOf(ANode, AColumn));
}

TVirtualNode* TVirtualTreeGrid::NodeAt(const QModelIndex& AIndex) const {
  return AIndex.isValid() ? TVirtualTreeModel::Node(AIndex) : nullptr;
}

QModelIndex TVirtualTreeGrid::IndexOf(TVirtualNode* ANode, int AColumn) const {
  if (!ANode || AColumn < 0 || AColumn >= FModel->columnCount({})) return {};
  return FModel->MakeIndex(ANode, AColumn);
}

QString TVirtualTreeGrid::Text(TVirtualNode* ANode, int AColumn) const {
  return OnGetText && ANode ? OnGetText(ANode, AColumn) : QString();
}

QRect TVirtualTreeGrid::GetDisplayRect(TVirtualNode* ANode, int AColumn, bool ATextOnly) const {
  QRect cell = visualRect(IndexOf(ANode, AColumn));
  if (!ATextOnly || cell.isEmpty()) return cell;
  // Where the item delegate draws the text: inside the focus frame's margin.
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  const int width = fontMetrics().horizontalAdvance(Text(ANode, AColumn));
  return QRect(cell.left() + margin, cell.top(), std::min(width, cell.width() - margin), cell.height());
}

void TVirtualTreeGrid::SetGridLines(bool AValue) {
  FGridLines = AValue;
  viewport()->update();
}

void TVirtualTreeGrid::SetFullRowSelect(bool AValue) {
  FFullRowSelect = AValue;
  setSelectionBehavior(AValue ? SelectRows : SelectItems);
  setAllColumnsShowFocus(AValue);
}

void TVirtualTreeGrid::SetDefaultNodeHeight(int AValue) {
  FNodeHeight = std::max(1, AValue);
  doItemsLayout();
}

bool TVirtualTreeGrid::CanEdit(TVirtualNode* ANode, int AColumn) const {
  if (!FEditable || !ANode || AColumn < 0 || AColumn >= ColumnCount()) return false;
  return !OnEditing || OnEditing(ANode, AColumn);
}

bool TVirtualTreeGrid::EditNode(TVirtualNode* ANode, int AColumn) {
  if (IsEditing() && !EndEditNode()) return false;
  if (!CanEdit(ANode, AColumn) || !OnCreateEditor) return false;
  ComPtr<IVTEditLink> link = OnCreateEditor(ANode, AColumn);
  if (!link) return false;
  SetFocusedCell(ANode, AColumn);
  scrollTo(IndexOf(ANode, AColumn));
  FEditLink = link;
  FEditNode = ANode;
  FEditColumn = AColumn;
  if (!link->PrepareEdit(this, ANode, AColumn)) {
    FEditLink.reset();
    FEditNode = nullptr;
    FEditColumn = -1;
    return false;
  }
  UpdateEditBounds();
  if (!link->BeginEdit()) {
    CancelEditNode();
    return false;
  }
  return true;
}

bool TVirtualTreeGrid::EndEditNode() {
  if (!FEditLink) return true;
  ComPtr<IVTEditLink> link = FEditLink;  // the link may be released while it ends
  link->EndEdit();
  return !IsEditing();
}

bool TVirtualTreeGrid::CancelEditNode() {
  if (!FEditLink) return true;
  ComPtr<IVTEditLink> link = FEditLink;
  link->CancelEdit();
  return !IsEditing();
}

bool TVirtualTreeGrid::NextEditableCell(TVirtualNode*& ANode, int& AColumn, bool AForward) const {
  QModelIndex row = IndexOf(ANode, 0);
  int column = AColumn;
  while (row.isValid()) {
    column += AForward ? 1 : -1;
    if (column < 0 || column >= ColumnCount()) {
      row = AForward ? indexBelow(row) : indexAbove(row);
      column = AForward ? 0 : ColumnCount() - 1;
      if (!row.isValid()) break;
    }
    if (CanEdit(NodeAt(row), column)) {
      ANode = NodeAt(row);
      AColumn = column;
      return true;
    }
  }
  return false;
}

void TVirtualTreeGrid::DoNewText(TVirtualNode* ANode, int AColumn, const QString& AText) {
  Q_EMIT NewText(ANode, AColumn, AText);
  InvalidateNode(ANode);
}

void TVirtualTreeGrid::DoEndEdit() {
  TVirtualNode* node = FEditNode;
  const int column = FEditColumn;
  FinishEdit();
  Q_EMIT Edited(node, column);
}

void TVirtualTreeGrid::DoCancelEdit() {
  const int column = FEditColumn;
  FinishEdit();
  Q_EMIT EditCancelled(column);
}

void TVirtualTreeGrid::FinishEdit() {
  const QWidget* focus = QApplication::focusWidget();
  const bool controlHadFocus = focus && viewport()->isAncestorOf(focus);
  FEditLink.reset();
  FEditNode = nullptr;
  FEditColumn = -1;
  if (controlHadFocus) setFocus();
}

void TVirtualTreeGrid::UpdateEditBounds() {
  if (FEditLink) FEditLink->SetBounds(GetDisplayRect(FEditNode, FEditColumn, !FGridExtensions));
}

void TVirtualTreeGrid::drawRow(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const {
  QTreeView::drawRow(APainter, AOption, AIndex);
  if (!FGridLines) return;
  APainter->save();
  APainter->setPen(palette().color(QPalette::Midlight));
  const QRect row = AOption.rect;
  APainter->drawLine(row.left(), row.bottom(), row.right(), row.bottom());
  for (int column = 0; column < header()->count(); ++column) {
    if (header()->isSectionHidden(column)) continue;
    const int right = columnViewportPosition(column) + columnWidth(column) - 1;
    APainter->drawLine(right, row.top(), right, row.bottom());
  }
  APainter->restore();
}

void TVirtualTreeGrid::keyPressEvent(QKeyEvent* AEvent) {
  const int key = AEvent->key();
  if (!IsEditing() && AEvent->modifiers() == Qt::NoModifier &&
      (key == Qt::Key_F2 || key == Qt::Key_Return || key == Qt::Key_Enter)) {
    if (EditNode(FocusedNode(), FocusedColumn())) {
      AEvent->accept();
      return;
    }
  }
  QTreeView::keyPressEvent(AEvent);
}

void TVirtualTreeGrid::mousePressEvent(QMouseEvent* AEvent) {
  FPressed = indexAt(AEvent->position().toPoint());
  QTreeView::mousePressEvent(AEvent);
}

void TVirtualTreeGrid::mouseReleaseEvent(QMouseEvent* AEvent) {
  QTreeView::mouseReleaseEvent(AEvent);
  const QPoint point = AEvent->position().toPoint();
  const QModelIndex index = indexAt(point);
  // Only a click that pressed and released on the same cell's own area (not a tree button).
  if (FEditOnClick && AEvent->button() == Qt::LeftButton && index.isValid() && index == FPressed &&
      visualRect(index).contains(point))
    EditNode(NodeAt(index), index.column());
  FPressed = QPersistentModelIndex();
}

bool TVirtualTreeGrid::focusNextPrevChild(bool ANext) {
  // Qt moves the focus on from a control that is being hidden; an in-place control gives it
  // back to the grid instead. Only a visible control asks for the next cell (Tab, Shift+Tab).
  const QWidget* focus = QApplication::focusWidget();
  if (focus && viewport()->isAncestorOf(focus) && !focus->isVisible()) {
    setFocus();
    return true;
  }
  if (IsEditing()) {
    TVirtualNode* node = FEditNode;
    int column = FEditColumn;
    if (!EndEditNode()) return true;
    if (NextEditableCell(node, column, ANext) && EditNode(node, column)) return true;
  }
  return QTreeView::focusNextPrevChild(ANext);
}

void TVirtualTreeGrid::scrollContentsBy(int ADx, int ADy) {
  QTreeView::scrollContentsBy(ADx, ADy);
  UpdateEditBounds();
}
