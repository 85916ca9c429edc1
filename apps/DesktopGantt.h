#pragma once
// The Gantt strip beside the desktop window's tree: one line per row of the item model that the
// tree shows, in step with its scrolling, with a bar from each task's start to its finish and the
// task's name beside it. Dragging a bar's body moves the task, dragging its right end changes its
// finish, as one undo step each. The drawing itself is TGanttPainter's, which the printed pages
// use too.
#include <QPalette>
#include <QRectF>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "apps/DesktopModel.h"

class TDesktopTree;
class QScrollBar;

// Dates to x and back along a strip. Whole days are ADayWidth apart; within a day the working
// hours (the first period's start to the last one's finish) fill the day, so that a one-day task
// covers its day's column instead of the third of it that its nine hours are.
class TGanttAxis {
 public:
  TGanttAxis() = default;
  // AOrigin is the date at x ALeft.
  TGanttAxis(double AOrigin, double ADayWidth, double ALeft, const TMapCalendar& ACalendar);
  double XOf(double ADate) const;
  double DateAt(double AX) const;
  double DayWidth() const { return FDayWidth; }

 private:
  double FOrigin = 0;
  double FDayWidth = 1;
  double FLeft = 0;
  double FWorkStart = 8.0 / 24;  // fractions of the day
  double FWorkFinish = 17.0 / 24;
};

// One row as the strip draws it: the node and its band in the painter's coordinates.
struct TGanttRow {
  int64_t ID;
  QRectF Band;
};

// Draws the strip into any QPainter, the window's or a printed page's, each part by a function of
// its own: the scale, the non-working days, the links, the bars with their labels, today.
class TGanttPainter {
 public:
  TGanttPainter(const TDesktopItemModel& AModel, const TGanttAxis& AAxis, const QPalette& APalette);

  const TGanttAxis& Axis() const { return FAxis; }
  // Where the task's bar lies in its row's band.
  static QRectF BarRect(const TGanttAxis& AAxis, const TDesktopBar& ABar, const QRectF& ABand);
  // A bar being dragged is drawn moved by AShift pixels, or with only its finish moved.
  void SetDragPreview(int64_t AID, double AShift, bool AFinishOnly);
  // The rows are every node of the map, whatever the tree has collapsed: a link ends at its own
  // task's row rather than at the collapsed branch that holds it.
  void ShowEveryNode() { FEveryNode = true; }
  // Critical tasks' bars, and the links between two of them, in red.
  void ShowCritical(bool AShow) { FCritical = AShow; }
  // Where a row that is not drawn lies (scrolled out of view), so that a link from it still comes
  // in from beyond the edge.
  void SetBandOutside(std::function<std::optional<QRectF>(int64_t)> ABandOf) { FBandOutside = std::move(ABandOf); }

  // The whole strip: the scale in AScale, the rows' band in ARowsArea; answers the links drawn as
  // (predecessor, successor). The window and the printed pages both draw through it.
  std::vector<std::pair<int64_t, int64_t>> Paint(QPainter& APainter, const QRectF& AScale, const QRectF& ARowsArea,
                                                 const std::vector<TGanttRow>& ARows) const;

 private:
  // Months above, then days, weeks or nothing below, as the day width leaves room for.
  void PaintScale(QPainter& APainter, const QRectF& AArea) const;
  // Non-working days and holidays shaded, from the map's calendar.
  void PaintNonWorking(QPainter& APainter, const QRectF& AArea) const;
  // The rows' links, bars and labels; answers the links drawn as (predecessor, successor).
  std::vector<std::pair<int64_t, int64_t>> PaintRows(QPainter& APainter, const std::vector<TGanttRow>& ARows,
                                                     const QRectF& AArea) const;
  // Today as a vertical line through the middle of its day.
  void PaintToday(QPainter& APainter, const QRectF& AArea) const;
  std::optional<QRectF> BarOf(int64_t AID, const TDesktopBar& ABar, const QRectF& ABand) const;
  std::vector<std::pair<int64_t, int64_t>> PaintLinks(QPainter& APainter, const std::vector<TGanttRow>& ARows) const;
  void PaintBar(QPainter& APainter, const TDesktopBar& ABar, const QRectF& ARect) const;
  bool IsCritical(int64_t AID) const;
  // The baseline as a thin grey bar below the task's bar (ABarRect) in its row's band.
  void PaintBaseline(QPainter& APainter, const TDesktopBar& ABar, const QRectF& ABarRect, const QRectF& ABand) const;
  // The task's name beside its bar (a milestone's date after it): right of the bar, or left of it
  // when only there it stays inside the area, else over the bar at the area's right edge.
  void PaintLabel(QPainter& APainter, int64_t AID, const TDesktopBar& ABar, const QRectF& ARect,
                  const QRectF& AArea) const;

  const TDesktopItemModel& FModel;
  TGanttAxis FAxis;
  QPalette FPalette;
  TMapCalendar FCalendar;
  int64_t FDragID = -1;
  double FDragShift = 0;
  bool FDragFinish = false;
  bool FEveryNode = false;
  bool FCritical = false;
  std::function<std::optional<QRectF>(int64_t)> FBandOutside;
};

class TDesktopGantt : public QWidget {
 public:
  enum TZoom { zmDay, zmWeek, zmMonth };

  TDesktopGantt(TDesktopTree* ATree, QWidget* AParent);

  TZoom Zoom() const { return FZoom; }
  void SetZoom(TZoom AZoom);
  // View > Critical Path: critical bars and their links in red.
  bool ShowsCritical() const { return FCritical; }
  void SetShowCritical(bool AShow);
  // Pixels per day at the zoom.
  double DayWidth() const;
  // The x of a date-time in the strip's coordinates, and the date-time at an x.
  double XOf(double ADate) const { return Axis().XOf(ADate); }
  double DateAt(double AX) const { return Axis().DateAt(AX); }
  TGanttAxis Axis() const;
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
  bool FCritical = false;
  double FOrigin = 0;  // the date at x 0 before scrolling
  int FPaintedRows = 0;
  std::vector<std::pair<int64_t, int64_t>> FPaintedLinks;
  TDrag FDrag = TDrag::None;
  int64_t FDragID = -1;
  QPoint FDragFrom;
  double FDragDays = 0;
};
