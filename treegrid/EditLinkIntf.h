#pragma once
// How the tree-grid edits a cell: when editing starts it asks the application for an edit link,
// which makes the in-place control, places it over the cell and ends or cancels the edit.
// Operations in slot order.
#include <QRect>

#include "com/Unknown.h"

class QEvent;
class TVirtualTreeGrid;
struct TVirtualNode;

struct IVTEditLink : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2BE3EAFA-5ACB-45B4-9D9A-B58BCC496E17");
  // Makes the control for the cell, hidden, with the cell's text; false when there is none.
  virtual bool PrepareEdit(TVirtualTreeGrid* ATree, TVirtualNode* ANode, int AColumn) = 0;
  // Shows and focuses the control.
  virtual bool BeginEdit() = 0;
  // Hands a changed text to the grid (its NewText event) and tells it that editing ended.
  virtual bool EndEdit() = 0;
  // Hides the control and tells the grid that editing was cancelled.
  virtual bool CancelEdit() = 0;
  // The control's rectangle, in the coordinates of the grid's viewport.
  virtual QRect GetBounds() = 0;
  virtual void SetBounds(const QRect& ARect) = 0;
  // Passes an event on to the control.
  virtual void ProcessMessage(QEvent* AEvent) = 0;
};
