#pragma once
// The tree-grid: rows in a tree, columns of text. The grid keeps only the shape of the tree; the
// application answers each cell's text when the grid paints it, so a grid of 100,000 rows holds
// no text and draws only the rows in view. Cells are edited in place through edit links
// (treegrid/EditLinkIntf.h) that the application supplies.
#include <QStringList>
#include <QTreeView>

#include <functional>
#include <memory>
#include <vector>

#include "com/ComPtr.h"
#include "treegrid/EditLinkIntf.h"

// A row. The grid owns it; a handle stays valid until its row is removed.
struct TVirtualNode {
  TVirtualNode* Parent = nullptr;  // null for a top-level row
  int Index = 0;                   // position among its siblings
  quintptr Data = 0;               // the application's own
  std::vector<std::unique_ptr<TVirtualNode>> Children;

  TVirtualNode() = default;
  TVirtualNode(const TVirtualNode&) = delete;
  TVirtualNode& operator=(const TVirtualNode&) = delete;
  // Frees the subtree without recursion, however deep it is.
  ~TVirtualNode();
};

class TVirtualTreeModel;

class TVirtualTreeGrid : public QTreeView {
  Q_OBJECT

 public:
  explicit TVirtualTreeGrid(QWidget* AParent = nullptr);
  ~TVirtualTreeGrid() override;

  // Columns: captions and widths in logical pixels (the caller scales them).
  void SetColumns(const QStringList& ACaptions);
  int ColumnCount() const { return static_cast<int>(FCaptions.size()); }
  QString ColumnCaption(int AColumn) const { return FCaptions.value(AColumn); }

  // The tree's shape. Child counts may grow or shrink; removed rows' handles die with them.
  int RootNodeCount() const { return static_cast<int>(FRoot.Children.size()); }
  void SetRootNodeCount(int ACount) { SetChildCount(nullptr, ACount); }
  // ANode null means the top level.
  int ChildCount(const TVirtualNode* ANode) const;
  void SetChildCount(TVirtualNode* ANode, int ACount);
  // The AIndex-th child of ANode (the top level when null); null when out of range.
  TVirtualNode* Child(TVirtualNode* ANode, int AIndex) const;
  void SetExpanded(TVirtualNode* ANode, bool AExpanded);
  // Asks for the row's texts again and repaints it (after the application changed what it shows).
  void InvalidateNode(TVirtualNode* ANode);
  // Asks for every text again.
  void InvalidateAll();

  // The focused cell (the current one); null when none.
  TVirtualNode* FocusedNode() const;
  int FocusedColumn() const;
  void SetFocusedCell(TVirtualNode* ANode, int AColumn);
  TVirtualNode* NodeAt(const QModelIndex& AIndex) const;
  QModelIndex IndexOf(TVirtualNode* ANode, int AColumn) const;

  // The cell's text, as the application answers it.
  QString Text(TVirtualNode* ANode, int AColumn) const;
  // The cell's rectangle in viewport coordinates; ATextOnly narrows it to where its text is drawn.
  QRect GetDisplayRect(TVirtualNode* ANode, int AColumn, bool ATextOnly) const;

  // Options.
  bool GridLines() const { return FGridLines; }
  void SetGridLines(bool AValue);
  bool FullRowSelect() const { return FFullRowSelect; }
  void SetFullRowSelect(bool AValue);
  bool Editable() const { return FEditable; }
  void SetEditable(bool AValue) { FEditable = AValue; }
  // A click on a cell starts editing it.
  bool EditOnClick() const { return FEditOnClick; }
  void SetEditOnClick(bool AValue) { FEditOnClick = AValue; }
  // In-place controls cover the whole cell instead of starting where its text starts.
  bool GridExtensions() const { return FGridExtensions; }
  void SetGridExtensions(bool AValue) { FGridExtensions = AValue; }
  // Row height in logical pixels; the default fits the font and an in-place control.
  int DefaultNodeHeight() const { return FNodeHeight; }
  void SetDefaultNodeHeight(int AValue);

  // What the grid asks the application. GetText answers a cell's text (empty when unset);
  // Editing whether a cell may be edited (every cell of an editable grid when unset);
  // CreateEditor the link that edits a cell (no editing when unset or when it answers null).
  std::function<QString(TVirtualNode* ANode, int AColumn)> OnGetText;
  std::function<bool(TVirtualNode* ANode, int AColumn)> OnEditing;
  std::function<ComPtr<IVTEditLink>(TVirtualNode* ANode, int AColumn)> OnCreateEditor;

  // Editing. EditNode ends an edit in progress first; answers whether editing began.
  bool CanEdit(TVirtualNode* ANode, int AColumn) const;
  bool EditNode(TVirtualNode* ANode, int AColumn);
  bool IsEditing() const { return static_cast<bool>(FEditLink); }
  // The link of the edit in progress, or null.
  IVTEditLink* EditLink() const { return FEditLink.get(); }
  // Ends or cancels the edit in progress through its link; true when none is left.
  bool EndEditNode();
  bool CancelEditNode();
  // The widget in-place controls are children of.
  QWidget* EditorParent() const { return viewport(); }
  // The next cell that can be edited after (or, AForward false, before) the given one, row by
  // row; false when there is none.
  bool NextEditableCell(TVirtualNode*& ANode, int& AColumn, bool AForward) const;

  // Called by edit links: the edited cell's new text (raises NewText), and the end of the edit.
  void DoNewText(TVirtualNode* ANode, int AColumn, const QString& AText);
  void DoEndEdit();
  void DoCancelEdit();

 Q_SIGNALS:
  // The user gave a cell a new text; the application stores it (the grid keeps no text).
  void NewText(TVirtualNode* ANode, int AColumn, const QString& AText);
  void Edited(TVirtualNode* ANode, int AColumn);
  void EditCancelled(int AColumn);

 protected:
  void drawRow(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  bool focusNextPrevChild(bool ANext) override;
  void scrollContentsBy(int ADx, int ADy) override;

 private:
  friend class TVirtualTreeModel;
  TVirtualNode* ParentOrRoot(TVirtualNode* ANode) const { return ANode ? ANode : const_cast<TVirtualNode*>(&FRoot); }
  void UpdateEditBounds();
  // Forgets the edit in progress; gives focus back to the grid when the control had it.
  void FinishEdit();

  TVirtualNode FRoot;
  QStringList FCaptions;
  TVirtualTreeModel* FModel;
  ComPtr<IVTEditLink> FEditLink;
  TVirtualNode* FEditNode = nullptr;
  int FEditColumn = -1;
  QPersistentModelIndex FPressed;
  bool FGridLines = false;
  bool FFullRowSelect = false;
  bool FEditable = false;
  bool FEditOnClick = false;
  bool FGridExtensions = false;
  int FNodeHeight = 0;
};
