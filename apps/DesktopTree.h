#pragma once
// The desktop window's tree: the item model's rows with the action columns. The rows are flat, so
// the view never walks the map itself; the title column draws each row's depth, its branch arrow
// and the plug-in's symbol. Enter opens Edit Action, F2 or typing edits the cell in place, F4
// picks a value from the plug-in's list, and a node dragged onto another moves under it.
#include <QPoint>
#include <QTreeView>

#include <cstdint>
#include <functional>

class TDesktopItemModel;

// Gives a cell the text as its in-place editor does: the text becomes the typed value the column
// takes (see TDesktopItemModel::setData); a text that is none ("soon" for a date) is warned about
// and changes nothing, and so does an unchanged text.
void CommitCellText(QAbstractItemModel* AModel, const QModelIndex& AIndex, const QString& AText);

class TDesktopTree : public QTreeView {
 public:
  TDesktopTree(TDesktopItemModel* AModel, QWidget* AParent);

  TDesktopItemModel* ItemModel() const { return FModel; }
  // The node of the current cell (-1 when none) and its column.
  int64_t FocusedID() const;
  int FocusedColumn() const;
  void SetFocusedCell(int64_t AID, int AColumn);
  // Starts the in-place editor of a cell; false when the cell cannot be edited.
  bool EditCell(int64_t AID, int AColumn);
  bool IsEditing() const { return state() == EditingState; }
  // Where the strip finds a row: the view's row under a y of its viewport.
  int64_t IDAtY(int AY) const;

  // What the tree asks its window to do.
  std::function<void()> OnOpen;                  // Edit Action on the selection
  std::function<void()> OnPick;                  // the focused cell's pick list
  std::function<void(int64_t, int64_t)> OnDrop;  // a node dropped onto another

 protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  bool viewportEvent(QEvent* AEvent) override;

 private:
  // Whether a point of the viewport is on its row's branch arrow.
  bool OnArrow(const QPoint& AAt) const;

  TDesktopItemModel* FModel;
  QPoint FPressAt;
  int64_t FDragged = -1;
  bool FDragging = false;
};
