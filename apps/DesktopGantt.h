#pragma once
// The Gantt strip beside the desktop window's tree: one line per row of the item model that the
// tree shows, in step with its scrolling, with a bar from each task's start to its finish. Dragging
// a bar's body moves the task, dragging its right end changes its finish, as one undo step each.
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class TDesktopItemModel;
class TDesktopTree;
class QScrollBar;

class TDesktopGantt : public QWidget {
 public:
  enum TZoom { zmDay, zmWeek, zmMonth };

  TDesktopGantt(TDesktopTree* ATree, QWidget* AParent);

  TZoom Zoom() const { return FZoom; }
  void SetZoom(TZoom AZoom);
  // Pixels per day at the zoom.
  double DayWidth() const;
  // The x of a date-time in the strip's coordinates, and the date-time at an x.
  double XOf(double ADate) const;
  double DateAt(double AX) const;
  // Fits the time axis to the map's tasks (keeping the zoom).
  void FitToMap();
  // The finest zoom at which all the map's tasks fit the strip, scrolled to the first of them.
  void ZoomToTasks();
  // The bar of the node as drawn: empty when it has none or its row is out of view.
  std::optional<QRectF> BarRect(int64_t AID) const;
  // Rows drawn by the last paint, for measurements.
  int PaintedRows() const { return FPaintedRows; }
  // The links the last paint drew, as (predecessor, successor) of the rows they join.
  const std::vector<std::pair<int64_t, int64_t>>& PaintedLinks() const { return FPaintedLinks; }

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  void wheelEvent(QWheelEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;

 private:
  enum class TDrag { None, Move, Finish };
  // The row's top and height in the strip (the tree viewport's coordinates, below the scale).
  std::optional<QRect> RowBand(int64_t AID) const;
  int ScaleHeight() const;
  bool event(QEvent* AEvent) override;
  void ApplyDrag(double ADays);

  TDesktopTree* FTree;
  TDesktopItemModel* FModel;
  QScrollBar* FScroll;
  TZoom FZoom = zmDay;
  double FOrigin = 0;  // the date at x 0 before scrolling
  int FPaintedRows = 0;
  std::vector<std::pair<int64_t, int64_t>> FPaintedLinks;
  TDrag FDrag = TDrag::None;
  int64_t FDragID = -1;
  QPoint FDragFrom;
  double FDragDays = 0;
};
