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

#include <QToolTip>

#include "apps/DesktopModel.h"
#include "apps/DesktopTree.h"
#include "com/LumetaLocale.h"
#include "com/OleDate.h"

namespace {

constexpr double KMargin = 3;  // days shown before the first task and after the last
constexpr int KGrip = 5;       // pixels at a bar's right end that drag its finish

QDate DateOfDay(double ADay) {
  const TDateTimeParts parts = DecodeDateTime(ADay);
  return QDate(parts.Year, parts.Month, parts.Day);
}

double DayOf(const QDate& ADate) { return EncodeDate(ADate.year(), ADate.month(), ADate.day()); }

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

void TDesktopGantt::SetZoom(TZoom AZoom) {
  const double centre = DateAt(width() / 2.0);
  FZoom = AZoom;
  FitToMap();
  FScroll->setValue(static_cast<int>((centre - FOrigin) * DayWidth() - width() / 2.0));
  update();
}

double TDesktopGantt::XOf(double ADate) const { return (ADate - FOrigin) * DayWidth() - FScroll->value(); }

double TDesktopGantt::DateAt(double AX) const { return FOrigin + (AX + FScroll->value()) / DayWidth(); }

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
  const double left = XOf(task->Start), right = std::max(XOf(task->Finish), left + 2);
  const double inset = band->height() * (task->Summary ? 0.3 : 0.22);
  return QRectF(left, band->top() + inset, right - left, band->height() - 2 * inset);
}

void TDesktopGantt::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  TDesktopTree* tree = FTree;
  const int top = ScaleHeight();
  const int bottom = height() - FScroll->height();
  FPaintedRows = 0;
  FPaintedLinks.clear();
  if (!FModel->Model()) return;

  // Non-working days shaded, from the map's calendar.
  const TMapCalendar calendar = FModel->Calendar();
  const double firstDay = std::floor(DateAt(0)), lastDay = std::ceil(DateAt(width()));
  if (DayWidth() >= 2) {
    for (double day = firstDay; day <= lastDay; ++day) {
      const int weekday = DateOfDay(day).dayOfWeek();  // Monday 1
      const bool holiday = std::ranges::any_of(calendar.Holidays, [&](double AH) { return std::floor(AH) == day; });
      if (!holiday && (calendar.WorkingDays & (1 << (weekday - 1)))) continue;
      painter.fillRect(QRectF(XOf(day), top, DayWidth(), bottom - top), QColor(236, 236, 240));
    }
  }

  // The scale: months above, days or weeks below.
  painter.fillRect(QRect(0, 0, width(), top), palette().button());
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawLine(0, top - 1, width(), top - 1);
  painter.drawLine(0, top / 2, width(), top / 2);
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  painter.setFont(small);
  painter.setPen(palette().color(QPalette::ButtonText));
  for (QDate month = DateOfDay(firstDay).addDays(1 - DateOfDay(firstDay).day()); DayOf(month) <= lastDay;
       month = month.addMonths(1)) {
    const double x = XOf(DayOf(month)), next = XOf(DayOf(month.addMonths(1)));
    painter.drawLine(QPointF(x, 0), QPointF(x, top / 2));
    // A month cut by an edge of the strip gets its short name, or none, never a cut-off one.
    const double left = std::max(x, 0.0) + 3, room = std::min(next, double(width())) - left;
    QString label = month.toString(FZoom == zmMonth ? QStringLiteral("MMM yy") : QStringLiteral("MMMM yyyy"));
    if (painter.fontMetrics().horizontalAdvance(label) > room) label = month.toString(QStringLiteral("MMM"));
    if (painter.fontMetrics().horizontalAdvance(label) <= room)
      painter.drawText(QRectF(left, 0, room, top / 2), Qt::AlignLeft | Qt::AlignVCenter, label);
  }
  if (FZoom != zmMonth) {
    for (double day = firstDay; day <= lastDay; ++day) {
      const QDate date = DateOfDay(day);
      if (FZoom == zmWeek && date.dayOfWeek() != 1) continue;
      const double x = XOf(day);
      painter.drawLine(QPointF(x, top / 2), QPointF(x, top));
      const double span = FZoom == zmWeek ? 7 * DayWidth() : DayWidth();
      const QString label = FZoom == zmWeek ? date.toString(QStringLiteral("d MMM")) : QString::number(date.day());
      // A label the strip's edge would cut is left out.
      const double middle = x + span / 2, half = painter.fontMetrics().horizontalAdvance(label) / 2.0;
      if (middle - half >= 0 && middle + half <= width())
        painter.drawText(QRectF(x, top / 2, span, top / 2), Qt::AlignCenter, label);
    }
  }
  painter.setClipRect(QRect(0, top, width(), bottom - top));

  // Only the rows the tree shows.
  std::vector<int64_t> visible;
  for (QModelIndex index = tree->indexAt(QPoint(1, 1)); index.isValid(); index = tree->indexBelow(index)) {
    const QRect row = tree->visualRect(index);
    if (row.top() > tree->viewport()->height()) break;
    visible.push_back(FModel->IDOf(index));
  }
  FPaintedRows = static_cast<int>(visible.size());

  // Links first, so that bars cover their ends. An end inside a collapsed branch is drawn at the
  // collapsed row that stands for it; a link within one row is not drawn.
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(90, 90, 110), 1));
  painter.setBrush(QColor(90, 90, 110));
  std::set<std::tuple<int64_t, int64_t, std::string_view>> drawn;
  for (const int64_t id : visible) {
    const std::optional<QRectF> successor = BarRect(id);
    if (!successor) continue;
    FModel->ForEachShownBy(id, [&](TLumetaNode* ANode) {
      for (const TTaskLinkInfo& link : FModel->Predecessors(ANode->ID())) {
        const int64_t from = FModel->ShownAt(link.NodeID);
        if (from == id || !drawn.emplace(from, id, link.Type).second) continue;
        const std::optional<QRectF> predecessor = BarRect(from);
        if (!predecessor) continue;
        const std::string_view type = link.Type;
        const bool fromFinish = type == "FS" || type == "FF", toStart = type == "FS" || type == "SS";
        const QPointF start(fromFinish ? predecessor->right() : predecessor->left(), predecessor->center().y());
        const QPointF end(toStart ? successor->left() : successor->right(), successor->center().y());
        Arrow(painter, start, end, toStart);
        FPaintedLinks.emplace_back(from, id);
      }
    });
  }

  const QColor barColour(74, 128, 200), doneColour(36, 78, 140), summaryColour(40, 40, 48),
      milestoneColour(180, 60, 40);
  for (const int64_t id : visible) {
    std::optional<QRectF> bar = BarRect(id);
    if (!bar) continue;
    const std::optional<TDesktopBar> task = FModel->Bar(id);
    if (FDrag != TDrag::None && id == FDragID) {
      const double shift = FDragDays * DayWidth();
      if (FDrag == TDrag::Move)
        bar->translate(shift, 0);
      else
        bar->setRight(std::max(bar->left() + 2, bar->right() + shift));
    }
    painter.setPen(Qt::NoPen);
    if (task->Milestone) {
      const QPointF c(bar->left(), bar->center().y());
      const double r = bar->height() * 0.75;
      painter.setBrush(milestoneColour);
      painter.drawPolygon(QPolygonF{c + QPointF(0, -r), c + QPointF(r, 0), c + QPointF(0, r), c + QPointF(-r, 0)});
    } else if (task->Summary) {
      painter.setBrush(summaryColour);
      painter.drawRect(*bar);
      const double h = bar->height();
      for (const double x : {bar->left(), bar->right()})
        painter.drawPolygon(QPolygonF{QPointF(x - h * 0.6, bar->bottom()), QPointF(x + h * 0.6, bar->bottom()),
                                      QPointF(x, bar->bottom() + h * 0.9)});
    } else {
      painter.setBrush(barColour);
      painter.drawRoundedRect(*bar, 2, 2);
      if (task->Complete > 0) {
        QRectF done = *bar;
        done.setWidth(bar->width() * std::min(task->Complete, 100) / 100.0);
        done.adjust(0, bar->height() * 0.3, 0, -bar->height() * 0.3);
        painter.setBrush(doneColour);
        painter.drawRect(done);
      }
    }
    // A date the rules keep against a link or the schedule start: a red frame round the bar (the
    // tooltip says why).
    if (!task->Conflict.isEmpty()) {
      painter.setPen(QPen(QColor(210, 30, 30), 2));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(bar->adjusted(-2, -2, 2, 2));
    }
  }

  // Today's line.
  const double today = XOf(LocaleService().Today() + 0.5);
  painter.setPen(QPen(QColor(220, 40, 40), 1.5, Qt::DashLine));
  painter.drawLine(QPointF(today, top), QPointF(today, bottom));
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
