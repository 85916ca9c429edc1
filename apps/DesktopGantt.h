#pragma once
// The Gantt strip beside the desktop window's tree: one line per row the tree shows, in step with
// its scrolling, with a bar from each task's start to its finish. Dragging a bar's body moves the
// task, dragging its right end changes its finish; both run the same entries a date cell does.
#include <QWidget>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

class TDesktopWindow;
class QScrollBar;

class TDesktopGantt : public QWidget {
 public:
  enum TZoom { zmDay, zmWeek, zmMonth };

  explicit TDesktopGantt(TDesktopWindow* AWindow);

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
  // The first start and the last finish of the map's tasks; (0, 0) without tasks.
  std::pair<double, double> TaskSpan() const;
  // Whether the node's row is collapsed (and has rows below it).
  bool IsCollapsed(int64_t AID) const;
  // The node whose row shows the node: the node, or the collapsed branch it is hidden in.
  int64_t ShownAt(int64_t AID) const;
  // The node and, when its row is collapsed, every node hidden below it.
  template <class F>
  void ForEachShownBy(int64_t AID, F&& AVisit) const;
  void ApplyDrag(double ADays);

  TDesktopWindow* FWindow;
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
