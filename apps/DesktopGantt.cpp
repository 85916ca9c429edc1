#include "apps/DesktopGantt.h"

#include <QCoreApplication>
#include <QDate>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <tuple>
#include <unordered_map>

#include <QFontMetricsF>
#include <QToolTip>

#include "apps/DesktopModel.h"
#include "apps/DesktopTree.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"

namespace {

constexpr double KMargin = 3;  // days shown before the first task and after the last
// The critical path's reds: bars and links, the done part of a bar, summaries.
const QColor KCriticalColour(214, 48, 40), KCriticalDoneColour(140, 20, 16), KCriticalSummaryColour(150, 24, 20);
constexpr int KGrip = 5;       // pixels at a bar's right end that drag its finish

QDate DateOfDay(double ADay) {
  const TDateTimeParts parts = DecodeDateTime(ADay);
  return QDate(parts.Year, parts.Month, parts.Day);
}

double DayOf(const QDate& ADate) { return EncodeDate(ADate.year(), ADate.month(), ADate.day()); }

// The font a factor smaller; printed pages size theirs in pixels, the screen in points.
QFont Scaled(QFont AFont, double AFactor) {
  if (AFont.pixelSize() > 0)
    AFont.setPixelSize(std::max(1, static_cast<int>(std::lround(AFont.pixelSize() * AFactor))));
  else
    AFont.setPointSizeF(AFont.pointSizeF() * AFactor);
  return AFont;
}

void Arrow(QPainter& APainter, QPointF AFrom, QPointF ATo, bool AToRight) {
  // Out of the predecessor, down to the successor's row, into the successor.
  const double out = AFrom.x() + (AToRight ? 6 : -6);
  QPainterPath path(AFrom);
  path.lineTo(out, AFrom.y());
  const double in = ATo.x() + (AToRight ? -6 : 6);
  path.lineTo(out, ATo.y() - (ATo.y() > AFrom.y() ? 6 : -6));
  path.lineTo(in, ATo.y() - (ATo.y() > AFrom.y() ? 6 : -6));
  path.lineTo(in, ATo.y());
  path.lineTo(ATo);
  APainter.save();
  APainter.setBrush(Qt::NoBrush);
  APainter.drawPath(path);
  APainter.restore();
  const double tip = AToRight ? -4 : 4;
  APainter.drawPolygon(QPolygonF{ATo, ATo + QPointF(tip, -3), ATo + QPointF(tip, 3)});
}

}  // namespace

// ---- the axis

TGanttAxis::TGanttAxis(double AOrigin, double ADayWidth, double ALeft, const TMapCalendar& ACalendar)
    : FOrigin(AOrigin), FDayWidth(ADayWidth), FLeft(ALeft) {
  if (!ACalendar.WorkingPeriods.empty()) {
    FWorkStart = ACalendar.WorkingPeriods.front().Start / 1440.0;
    FWorkFinish = ACalendar.WorkingPeriods.back().Finish / 1440.0;
  }
}

double TGanttAxis::XOf(double ADate) const {
  const double day = std::floor(ADate);
  const double within = std::clamp((ADate - day - FWorkStart) / (FWorkFinish - FWorkStart), 0.0, 1.0);
  return FLeft + (day + within - FOrigin) * FDayWidth;
}

double TGanttAxis::DateAt(double AX) const {
  const double at = FOrigin + (AX - FLeft) / FDayWidth;
  const double day = std::floor(at);
  return day + FWorkStart + (at - day) * (FWorkFinish - FWorkStart);
}

// ---- the painter

TGanttPainter::TGanttPainter(const TDesktopItemModel& AModel, const TGanttAxis& AAxis, const QPalette& APalette)
    : FModel(AModel), FAxis(AAxis), FPalette(APalette), FCalendar(AModel.Calendar()) {}

QRectF TGanttPainter::BarRect(const TGanttAxis& AAxis, const TDesktopBar& ABar, const QRectF& ABand) {
  const double left = AAxis.XOf(ABar.Start), right = std::max(AAxis.XOf(ABar.Finish), left + 2);
  const double inset = ABand.height() * (ABar.Summary ? 0.3 : 0.22);
  return QRectF(left, ABand.top() + inset, right - left, ABand.height() - 2 * inset);
}

void TGanttPainter::SetDragPreview(int64_t AID, double AShift, bool AFinishOnly) {
  FDragID = AID;
  FDragShift = AShift;
  FDragFinish = AFinishOnly;
}

std::optional<QRectF> TGanttPainter::BarOf(int64_t AID, const TDesktopBar& ABar, const QRectF& ABand) const {
  QRectF bar = BarRect(FAxis, ABar, ABand);
  if (AID == FDragID && FDragShift != 0) {
    if (FDragFinish)
      bar.setRight(std::max(bar.left() + 2, bar.right() + FDragShift));
    else
      bar.translate(FDragShift, 0);
  }
  return bar;
}

std::vector<std::pair<int64_t, int64_t>> TGanttPainter::Paint(QPainter& APainter, const QRectF& AScale,
                                                              const QRectF& ARowsArea,
                                                              const std::vector<TGanttRow>& ARows) const {
  PaintNonWorking(APainter, ARowsArea);
  PaintScale(APainter, AScale);
  PaintToday(APainter, ARowsArea);  // under the bars and names, which it would cross out
  return PaintRows(APainter, ARows, ARowsArea);
}

void TGanttPainter::PaintNonWorking(QPainter& APainter, const QRectF& AArea) const {
  const double width = FAxis.DayWidth();
  if (width < 2) return;  // months: shading would grey the whole strip
  const double firstDay = std::floor(FAxis.DateAt(AArea.left())), lastDay = std::ceil(FAxis.DateAt(AArea.right()));
  for (double day = firstDay; day <= lastDay; ++day) {
    const int weekday = DateOfDay(day).dayOfWeek();  // Monday 1
    const bool holiday = std::ranges::any_of(FCalendar.Holidays, [&](double AH) { return std::floor(AH) == day; });
    if (!holiday && (FCalendar.WorkingDays & (1 << (weekday - 1)))) continue;
    const double x = FAxis.XOf(day);
    APainter.fillRect(QRectF(x, AArea.top(), width, AArea.height()).intersected(AArea), QColor(236, 236, 240));
  }
}

void TGanttPainter::PaintScale(QPainter& APainter, const QRectF& AArea) const {
  const double top = AArea.top(), middle = AArea.top() + AArea.height() / 2, bottom = AArea.bottom();
  const double width = FAxis.DayWidth();
  APainter.save();
  APainter.setClipRect(AArea);
  APainter.fillRect(AArea, FPalette.button());
  APainter.setPen(FPalette.color(QPalette::Mid));
  APainter.drawLine(QPointF(AArea.left(), bottom - 0.5), QPointF(AArea.right(), bottom - 0.5));
  APainter.drawLine(QPointF(AArea.left(), middle), QPointF(AArea.right(), middle));
  const QFont small = Scaled(APainter.font(), 0.85);
  APainter.setFont(small);
  APainter.setPen(FPalette.color(QPalette::ButtonText));
  const QFontMetricsF metrics(small, APainter.device());
  const double firstDay = std::floor(FAxis.DateAt(AArea.left())), lastDay = std::ceil(FAxis.DateAt(AArea.right()));
  for (QDate month = DateOfDay(firstDay).addDays(1 - DateOfDay(firstDay).day()); DayOf(month) <= lastDay;
       month = month.addMonths(1)) {
    const double x = FAxis.XOf(DayOf(month)), next = FAxis.XOf(DayOf(month.addMonths(1)));
    APainter.drawLine(QPointF(x, top), QPointF(x, middle));
    // A month cut by an edge of the strip gets its short name, or none, never a cut-off one.
    const double left = std::max(x, AArea.left()) + 3, room = std::min(next, AArea.right()) - left;
    QString label = month.toString(width < 4 ? QStringLiteral("MMM yy") : QStringLiteral("MMMM yyyy"));
    if (metrics.horizontalAdvance(label) > room) label = month.toString(QStringLiteral("MMM"));
    if (metrics.horizontalAdvance(label) <= room)
      APainter.drawText(QRectF(left, top, room, middle - top), Qt::AlignLeft | Qt::AlignVCenter, label);
  }
  // Days where a day number fits, else weeks where a week's date does; months alone otherwise.
  const bool days = width >= metrics.horizontalAdvance(QStringLiteral("30")) + 4;
  const bool weeks = !days && 7 * width >= metrics.horizontalAdvance(QStringLiteral("30 Sep")) + 4;
  if (days || weeks) {
    for (double day = firstDay; day <= lastDay; ++day) {
      const QDate date = DateOfDay(day);
      if (weeks && date.dayOfWeek() != 1) continue;
      const double x = FAxis.XOf(day);
      APainter.drawLine(QPointF(x, middle), QPointF(x, bottom));
      const double span = weeks ? 7 * width : width;
      const QString label = weeks ? date.toString(QStringLiteral("d MMM")) : QString::number(date.day());
      // A label the strip's edge would cut is left out.
      const double centre = x + span / 2, half = metrics.horizontalAdvance(label) / 2;
      if (centre - half >= AArea.left() && centre + half <= AArea.right())
        APainter.drawText(QRectF(x, middle, span, bottom - middle), Qt::AlignCenter, label);
    }
  }
  APainter.restore();
}

std::vector<std::pair<int64_t, int64_t>> TGanttPainter::PaintRows(QPainter& APainter, const std::vector<TGanttRow>& ARows,
                                                                  const QRectF& AArea) const {
  APainter.save();
  APainter.setClipRect(AArea, Qt::IntersectClip);
  APainter.setRenderHint(QPainter::Antialiasing);
  // Links first, so that bars cover their ends; labels last, so that nothing covers them.
  std::vector<std::pair<int64_t, int64_t>> links = PaintLinks(APainter, ARows);
  std::vector<std::pair<QRectF, int64_t>> drawn;
  for (const TGanttRow& row : ARows) {
    const std::optional<TDesktopBar> task = FModel.Bar(row.ID);
    if (!task) continue;
    const std::optional<QRectF> bar = BarOf(row.ID, *task, row.Band);
    PaintBaseline(APainter, *task, *bar, row.Band);
    PaintBar(APainter, *task, *bar);
    drawn.emplace_back(*bar, row.ID);
  }
  APainter.setFont(Scaled(APainter.font(), 0.9));
  for (const auto& [bar, id] : drawn) PaintLabel(APainter, id, *FModel.Bar(id), bar, AArea);
  APainter.restore();
  return links;
}

std::vector<std::pair<int64_t, int64_t>> TGanttPainter::PaintLinks(QPainter& APainter,
                                                                   const std::vector<TGanttRow>& ARows) const {
  // An end inside a collapsed branch is drawn at the collapsed row that stands for it; a link
  // within one row is not drawn.
  std::unordered_map<int64_t, QRectF> bars;
  for (const TGanttRow& row : ARows)
    if (const std::optional<TDesktopBar> task = FModel.Bar(row.ID)) bars.emplace(row.ID, *BarOf(row.ID, *task, row.Band));
  std::vector<std::pair<int64_t, int64_t>> painted;
  const QColor linkColour(90, 90, 110);
  APainter.setPen(QPen(linkColour, 1));
  APainter.setBrush(linkColour);
  std::set<std::tuple<int64_t, int64_t, std::string_view>> drawn;
  for (const TGanttRow& row : ARows) {
    const auto found = bars.find(row.ID);
    if (found == bars.end()) continue;
    const QRectF successor = found->second;  // a copy: rows from outside join the map below
    const int64_t id = row.ID;
    const auto visit = [&](TLumetaNode* ANode) {
      for (const TTaskLinkInfo& link : FModel.Predecessors(ANode->ID())) {
        const int64_t from = FEveryNode ? link.NodeID : FModel.ShownAt(link.NodeID);
        if (from == id || !drawn.emplace(from, id, link.Type).second) continue;
        auto predecessor = bars.find(from);
        if (predecessor == bars.end() && FBandOutside) {
          const std::optional<QRectF> band = FBandOutside(from);
          const std::optional<TDesktopBar> task = band ? FModel.Bar(from) : std::nullopt;
          if (task) predecessor = bars.emplace(from, *BarOf(from, *task, *band)).first;
        }
        if (predecessor == bars.end()) continue;
        const std::string_view type = link.Type;
        const bool fromFinish = type == "FS" || type == "FF", toStart = type == "FS" || type == "SS";
        const QRectF p = predecessor->second;
        const QRectF& s = successor;
        const QPointF start(fromFinish ? p.right() : p.left(), p.center().y());
        const QPointF end(toStart ? s.left() : s.right(), s.center().y());
        // A link between two critical tasks is part of the path.
        const QColor colour = FCritical && IsCritical(from) && IsCritical(id) ? KCriticalColour : linkColour;
        APainter.setPen(QPen(colour, colour == linkColour ? 1 : 1.5));
        APainter.setBrush(colour);
        Arrow(APainter, start, end, toStart);
        painted.emplace_back(from, id);
      }
    };
    if (!FEveryNode)
      FModel.ForEachShownBy(id, visit);
    else if (TLumetaNode* node = FModel.Node(id))
      visit(node);
  }
  return painted;
}

void TGanttPainter::PaintBaseline(QPainter& APainter, const TDesktopBar& ABar, const QRectF& ABarRect, const QRectF& ABand) const {
  if (ABar.BaselineStart <= 0) return;
  // A thin grey bar in the band's lower margin, below the task's bar and clear of the next row.
  const double left = FAxis.XOf(ABar.BaselineStart), right = std::max(FAxis.XOf(ABar.BaselineFinish), left + 2);
  const double top = std::min(ABarRect.bottom() + 1, ABand.bottom() - 3), height = std::max(2.0, ABand.height() * 0.12);
  APainter.save();
  APainter.setPen(Qt::NoPen);
  APainter.setBrush(QColor(150, 150, 158));
  APainter.drawRect(QRectF(left, std::min(top, ABand.bottom() - height - 0.5), right - left, height));
  APainter.restore();
}

bool TGanttPainter::IsCritical(int64_t AID) const {
  const std::optional<TDesktopBar> bar = FModel.Bar(AID);
  return bar && bar->Critical;
}

void TGanttPainter::PaintBar(QPainter& APainter, const TDesktopBar& ABar, const QRectF& ARect) const {
  const QColor barColour(74, 128, 200), doneColour(36, 78, 140), summaryColour(40, 40, 48),
      milestoneColour(180, 60, 40);
  APainter.setPen(Qt::NoPen);
  const bool critical = FCritical && ABar.Critical;
  if (ABar.Milestone) {
    const QPointF c(ARect.left(), ARect.center().y());
    const double r = ARect.height() * 0.75;
    APainter.setBrush(critical ? KCriticalColour : milestoneColour);
    APainter.drawPolygon(QPolygonF{c + QPointF(0, -r), c + QPointF(r, 0), c + QPointF(0, r), c + QPointF(-r, 0)});
  } else if (ABar.Summary) {
    APainter.setBrush(critical ? KCriticalSummaryColour : summaryColour);
    APainter.drawRect(ARect);
    const double h = ARect.height();
    for (const double x : {ARect.left(), ARect.right()})
      APainter.drawPolygon(QPolygonF{QPointF(x - h * 0.6, ARect.bottom()), QPointF(x + h * 0.6, ARect.bottom()),
                                     QPointF(x, ARect.bottom() + h * 0.9)});
  } else {
    APainter.setBrush(critical ? KCriticalColour : barColour);
    APainter.drawRoundedRect(ARect, 2, 2);
    if (ABar.Complete > 0) {
      QRectF done = ARect;
      done.setWidth(ARect.width() * std::min(ABar.Complete, 100) / 100.0);
      done.adjust(0, ARect.height() * 0.3, 0, -ARect.height() * 0.3);
      APainter.setBrush(critical ? KCriticalDoneColour : doneColour);
      APainter.drawRect(done);
    }
  }
  // A date the rules keep against a link or the schedule start: a red frame round the bar (the
  // tooltip says why).
  if (!ABar.Conflict.isEmpty()) {
    APainter.setPen(QPen(QColor(210, 30, 30), 2));
    APainter.setBrush(Qt::NoBrush);
    APainter.drawRect(ARect.adjusted(-2, -2, 2, 2));
  }
}

void TGanttPainter::PaintLabel(QPainter& APainter, int64_t AID, const TDesktopBar& ABar, const QRectF& ARect,
                               const QRectF& AArea) const {
  QString text = FModel.CellText(AID, dcTitle);
  if (ABar.Milestone) text += QStringLiteral("  ") + FModel.CellText(AID, dcStart);
  if (text.isEmpty()) return;
  const QFontMetricsF metrics(APainter.font(), APainter.device());
  const double width = metrics.horizontalAdvance(text), gap = 9;  // clear of a link's stub
  // What the bar draws beyond its rectangle: a milestone's diamond, a summary's end marks.
  const double reach = ABar.Milestone ? ARect.height() * 0.75 : ABar.Summary ? ARect.height() * 0.6 : 0;
  const double right = ARect.right() + reach + gap, left = ARect.left() - reach - gap;
  if (ARect.right() + reach < AArea.left() || ARect.left() - reach > AArea.right()) return;  // drawn on another page
  double x = right;
  if (right + width > AArea.right()) {
    // Left of the bar when it fits there; else at the edge over the bar, which runs past both ends.
    x = left - width >= AArea.left() ? left - width : std::max(AArea.left(), AArea.right() - width);
  }
  const QRectF box(x, ARect.center().y() - metrics.height() / 2, width, metrics.height());
  // A light backing keeps the name readable where a link passes under it.
  QColor backing = FPalette.color(QPalette::Base);
  backing.setAlpha(200);
  APainter.fillRect(box.adjusted(-1, 0, 1, 0), backing);
  APainter.setPen(FPalette.color(QPalette::Text));
  APainter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
}

void TGanttPainter::PaintToday(QPainter& APainter, const QRectF& AArea) const {
  const double x = FAxis.XOf(std::floor(LocaleService().Today())) + FAxis.DayWidth() / 2;
  if (x < AArea.left() || x > AArea.right()) return;
  APainter.save();
  APainter.setPen(QPen(QColor(220, 40, 40), 1.5, Qt::DashLine));
  APainter.drawLine(QPointF(x, AArea.top()), QPointF(x, AArea.bottom()));
  APainter.restore();
}

// ---- the strip

TDesktopGantt::TDesktopGantt(TDesktopTree* ATree, QWidget* AParent)
    : QWidget(AParent), FTree(ATree), FModel(ATree->ItemModel()) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setMinimumWidth(120);
  FScroll = new QScrollBar(Qt::Horizontal, this);
  QObject::connect(FScroll, &QScrollBar::valueChanged, this, [this] { update(); });
}

double TDesktopGantt::DayWidth() const {
  switch (FZoom) {
    case zmDay: return 26;
    case zmWeek: return 8;
    case zmMonth: return 2.5;
  }
  return 26;
}

TGanttAxis TDesktopGantt::Axis() const {
  return TGanttAxis(FOrigin + FScroll->value() / DayWidth(), DayWidth(), 0, FModel->Calendar());
}

void TDesktopGantt::SetZoom(TZoom AZoom) {
  const double centre = DateAt(width() / 2.0);
  FZoom = AZoom;
  FitToMap();
  FScroll->setValue(static_cast<int>((centre - FOrigin) * DayWidth() - width() / 2.0));
  update();
}

void TDesktopGantt::SetShowCritical(bool AShow) {
  FCritical = AShow;
  update();
}

void TDesktopGantt::FitToMap() {
  auto [first, last] = FModel->TaskSpan();
  const double today = LocaleService().Today();
  if (last == 0) first = last = today;
  FOrigin = std::floor(first) - KMargin;
  const double span = std::ceil(std::max(last, today)) + KMargin - FOrigin;
  FScroll->setRange(0, std::max(0, static_cast<int>(span * DayWidth()) - width()));
  FScroll->setPageStep(width());
  FScroll->setSingleStep(static_cast<int>(DayWidth()));
  update();
}

void TDesktopGantt::ZoomToTasks() {
  const auto [first, last] = FModel->TaskSpan();
  const double days = std::ceil(last) - std::floor(first) + 2 * KMargin;
  for (const TZoom zoom : {zmDay, zmWeek, zmMonth}) {
    FZoom = zoom;  // months, the coarsest, when none fits
    if (days * DayWidth() <= width()) break;
  }
  FitToMap();
  FScroll->setValue(0);  // the first task at the left, after the margin
  update();
}

int TDesktopGantt::ScaleHeight() const { return FTree->header()->height(); }

std::optional<QRect> TDesktopGantt::RowBand(int64_t AID) const {
  const QModelIndex index = FModel->IndexOf(AID);
  if (!index.isValid()) return std::nullopt;
  const QRect rect = FTree->visualRect(index);
  if (!rect.isValid()) return std::nullopt;
  return QRect(0, rect.top() + ScaleHeight(), width(), rect.height());
}

std::optional<QRectF> TDesktopGantt::BarRect(int64_t AID) const {
  const std::optional<QRect> band = RowBand(AID);
  const std::optional<TDesktopBar> task = band ? FModel->Bar(AID) : std::nullopt;
  if (!task) return std::nullopt;
  return TGanttPainter::BarRect(Axis(), *task, *band);
}

void TDesktopGantt::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  const int top = ScaleHeight();
  const int bottom = height() - FScroll->height();
  FPaintedRows = 0;
  FPaintedLinks.clear();
  if (!FModel->Model()) return;
  TGanttPainter gantt(*FModel, Axis(), palette());
  gantt.ShowCritical(FCritical);
  if (FDrag != TDrag::None) gantt.SetDragPreview(FDragID, FDragDays * DayWidth(), FDrag == TDrag::Finish);
  gantt.SetBandOutside([this](int64_t AID) -> std::optional<QRectF> {
    if (const std::optional<QRect> band = RowBand(AID)) return QRectF(*band);
    return std::nullopt;
  });
  const QRectF rows(0, top, width(), bottom - top);

  // Only the rows the tree shows.
  std::vector<TGanttRow> visible;
  for (QModelIndex index = FTree->indexAt(QPoint(1, 1)); index.isValid(); index = FTree->indexBelow(index)) {
    const QRect row = FTree->visualRect(index);
    if (row.top() > FTree->viewport()->height()) break;
    visible.push_back({FModel->IDOf(index), QRectF(0, row.top() + top, width(), row.height())});
  }
  FPaintedRows = static_cast<int>(visible.size());
  FPaintedLinks = gantt.Paint(painter, QRectF(0, 0, width(), top), rows, visible);
}

void TDesktopGantt::mousePressEvent(QMouseEvent* AEvent) {
  setFocus();
  const QPoint at = AEvent->position().toPoint();
  const int64_t id = FTree->IDAtY(at.y() - ScaleHeight());
  if (AEvent->button() != Qt::LeftButton || id <= 0) return;
  FTree->selectionModel()->setCurrentIndex(FModel->IndexOf(id), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  const std::optional<QRectF> bar = BarRect(id);
  if (!bar || !bar->adjusted(-2, 0, KGrip, 0).contains(at)) return;
  const std::optional<TDesktopBar> task = FModel->Bar(id);
  if (!task || task->Summary) return;  // a summary follows its subtasks
  FDrag = at.x() >= bar->right() - KGrip && !task->Milestone ? TDrag::Finish : TDrag::Move;
  FDragID = id;
  FDragFrom = at;
  FDragDays = 0;
}

void TDesktopGantt::mouseMoveEvent(QMouseEvent* AEvent) {
  const QPoint at = AEvent->position().toPoint();
  if (FDrag == TDrag::None) {
    const std::optional<QRectF> bar = BarRect(FTree->IDAtY(at.y() - ScaleHeight()));
    setCursor(bar && std::abs(at.x() - bar->right()) <= KGrip ? Qt::SizeHorCursor
              : bar && bar->contains(at)                     ? Qt::OpenHandCursor
                                                             : Qt::ArrowCursor);
    return;
  }
  FDragDays = std::round((at.x() - FDragFrom.x()) / DayWidth());
  update();
}

void TDesktopGantt::mouseReleaseEvent(QMouseEvent*) {
  if (FDrag == TDrag::None) return;
  const double days = FDragDays;
  FDragDays = 0;
  if (days != 0) ApplyDrag(days);
  FDrag = TDrag::None;
  update();
}

void TDesktopGantt::ApplyDrag(double ADays) {
  if (FDragID > 0) FModel->ShiftTask(FDragID, ADays, FDrag == TDrag::Finish);
}

// The bar's tooltip is the task's, from the model.
bool TDesktopGantt::event(QEvent* AEvent) {
  if (AEvent->type() != QEvent::ToolTip) return QWidget::event(AEvent);
  auto* help = static_cast<QHelpEvent*>(AEvent);
  const int64_t id = FTree->IDAtY(help->pos().y() - ScaleHeight());
  const std::optional<QRectF> bar = BarRect(id);
  const QString hint = bar && bar->adjusted(-2, -2, 2, 2).contains(help->pos()) ? FModel->ToolTip(id) : QString();
  if (hint.isEmpty())
    QToolTip::hideText();
  else
    QToolTip::showText(help->globalPos(), hint, this);
  return true;
}

void TDesktopGantt::wheelEvent(QWheelEvent* AEvent) {
  if (AEvent->modifiers() & Qt::ShiftModifier) {
    FScroll->setValue(FScroll->value() - AEvent->angleDelta().y());
    return AEvent->accept();
  }
  QCoreApplication::sendEvent(FTree->viewport(), AEvent);
}

void TDesktopGantt::keyPressEvent(QKeyEvent* AEvent) {
  const int key = AEvent->key();
  const Qt::KeyboardModifiers modifiers = AEvent->modifiers();
  if (key == Qt::Key_Left || key == Qt::Key_Right) {
    const double days = key == Qt::Key_Left ? -1 : 1;
    // Ctrl moves the focused task by a day, Shift its finish; plain keys scroll.
    if (modifiers & (Qt::ControlModifier | Qt::ShiftModifier)) {
      FDragID = FTree->FocusedID();
      FDrag = (modifiers & Qt::ControlModifier) ? TDrag::Move : TDrag::Finish;
      ApplyDrag(days);
      FDrag = TDrag::None;
    } else {
      FScroll->setValue(FScroll->value() + static_cast<int>(days * std::max(DayWidth(), 20.0)));
    }
    return AEvent->accept();
  }
  if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
    QCoreApplication::sendEvent(FTree, AEvent);
    update();
    return;
  }
  if (key == Qt::Key_Plus || key == Qt::Key_Minus) {
    SetZoom(static_cast<TZoom>(std::clamp(FZoom + (key == Qt::Key_Minus ? 1 : -1), 0, 2)));
    return AEvent->accept();
  }
  QWidget::keyPressEvent(AEvent);
}

void TDesktopGantt::resizeEvent(QResizeEvent*) {
  const int height = FScroll->sizeHint().height();
  FScroll->setGeometry(0, this->height() - height, width(), height);
  FitToMap();
}
