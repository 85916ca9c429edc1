#include "apps/DesktopResources.h"

#include <QDate>
#include <QHeaderView>
#include <QScrollBar>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "apps/DesktopModel.h"
#include "com/OleDate.h"

namespace {

// The names stand in the rows' header, so that they stay in view while the days scroll.
enum { rcStart, rcFinish, rcHours, rcFirstDay };
constexpr int KMostDays = 366;

QDate DayOf(double ADate) {
  const TDateTimeParts parts = DecodeDateTime(ADate);
  return QDate(parts.Year, parts.Month, parts.Day);
}

QString DayText(double ADate) { return ADate > 0 ? DayOf(ADate).toString(Qt::ISODate) : QString(); }

QString Hours(double AHours) { return QString::number(std::round(AHours * 100) / 100, 'g', 6); }

QTableWidgetItem* Cell(const QString& AText, Qt::Alignment AAlign = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* item = new QTableWidgetItem(AText);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setTextAlignment(AAlign);
  return item;
}

}  // namespace

TDesktopResourceView::TDesktopResourceView(TDesktopItemModel* AItems, QWidget* AParent)
    : QWidget(AParent, Qt::Window), FItems(AItems), FHeading(new QLabel(this)), FTable(new QTableWidget(this)) {
  setObjectName(QStringLiteral("ResourceView"));
  setWindowTitle(QStringLiteral("Resources"));
  FTable->setObjectName(QStringLiteral("ResourceTable"));
  FTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FTable->verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  FTable->setFocusPolicy(Qt::NoFocus);
  FTable->horizontalHeader()->setMinimumSectionSize(24);
  FHeading->setWordWrap(true);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FHeading);
  layout->addWidget(FTable);
  resize(1100, 520);
  Reload();
}

void TDesktopResourceView::Reload() {
  FUses.clear();
  FTable->clear();
  TLumetaModel* model = FItems->Model();
  QString problem;
  try {
    if (model) FUses = ResourceUses(model);
  } catch (const std::exception& error) {
    problem = QString::fromUtf8(error.what());
  }
  // The days from the first task's start to the last one's finish.
  double first = 0, last = 0;
  for (const TResourceUse& use : FUses)
    for (const TResourceTask& task : use.Tasks) {
      if (task.Start > 0) first = first > 0 ? std::min(first, std::floor(task.Start)) : std::floor(task.Start);
      last = std::max(last, std::floor(std::max(task.Start, task.Finish)));
    }
  FFirstDay = first;
  FDays = first > 0 ? std::min(KMostDays, static_cast<int>(last - first) + 1) : 0;
  int overBooked = 0;
  for (const TResourceUse& use : FUses)
    overBooked += static_cast<int>(std::ranges::count_if(use.Days, [](const TResourceDay& A) { return A.OverBooked(); }));
  FHeading->setText(!problem.isEmpty() ? problem
                    : FUses.empty()    ? QStringLiteral("No node of the map names a resource. Type them into the "
                                                        "Resources column as a list: Ada Brown <ada@example.com>, Bob")
                    : overBooked == 0  ? QStringLiteral("Nobody has more hours booked on a day than the working day has.")
                                       : QStringLiteral("Red: %1 day(s) on which a resource has more hours booked than "
                                                        "the working day has. Days off are shaded.")
                                            .arg(overBooked));

  int rows = 0;
  for (const TResourceUse& use : FUses) rows += 1 + static_cast<int>(use.Tasks.size());
  FTable->setRowCount(rows);
  FTable->setColumnCount(rcFirstDay + FDays);
  QStringList headers{QStringLiteral("Start"), QStringLiteral("Finish"), QStringLiteral("Hours")};
  TLumetaMapSettings* settings = model ? model->Map().MapSettings() : nullptr;
  std::vector<bool> off(static_cast<size_t>(FDays));
  for (int d = 0; d < FDays; ++d) {
    const QDate day = DayOf(first + d);
    headers << day.toString(QStringLiteral("ddd\nd MMM"));
    off[static_cast<size_t>(d)] = settings && !settings->IsWorkingDay(first + d);
  }
  FTable->setHorizontalHeaderLabels(headers);

  const QColor offColour(0xEE, 0xEE, 0xEE), overColour(0xD3, 0x2F, 0x2F), barColour(0xBB, 0xD5, 0xF2);
  int row = 0;
  for (const TResourceUse& use : FUses) {
    QString name = QString::fromStdString(use.Name);
    if (!use.Email.empty()) name += QStringLiteral(" <%1>").arg(QString::fromStdString(use.Email));
    auto* title = new QTableWidgetItem(name);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    FTable->setVerticalHeaderItem(row, title);
    FTable->setItem(row, rcHours, Cell(Hours(use.Hours), Qt::AlignRight | Qt::AlignVCenter));
    for (int d = 0; d < FDays; ++d)
      if (off[static_cast<size_t>(d)]) {
        FTable->setItem(row, rcFirstDay + d, Cell({}));
        FTable->item(row, rcFirstDay + d)->setBackground(offColour);
      }
    for (const TResourceDay& day : use.Days) {
      const int d = static_cast<int>(day.Day - first);
      if (d < 0 || d >= FDays) continue;
      QTableWidgetItem* cell = Cell(Hours(day.Booked), Qt::AlignCenter);
      cell->setToolTip(QStringLiteral("%1: %2 hrs booked, %3 working hrs")
                           .arg(DayText(day.Day), Hours(day.Booked), Hours(day.Available)));
      if (day.OverBooked()) {
        cell->setBackground(overColour);
        cell->setForeground(Qt::white);
        cell->setFont(bold);
      } else if (off[static_cast<size_t>(d)]) {
        cell->setBackground(offColour);
      }
      FTable->setItem(row, rcFirstDay + d, cell);
    }
    ++row;
    for (const TResourceTask& task : use.Tasks) {
      auto* item = new QTableWidgetItem(QStringLiteral("    %1  %2").arg(task.NodeID).arg(QString::fromStdString(task.Title)));
      item->setData(Qt::UserRole, QVariant::fromValue<qint64>(task.NodeID));
      FTable->setVerticalHeaderItem(row, item);
      FTable->setItem(row, rcStart, Cell(DayText(task.Start)));
      FTable->setItem(row, rcFinish, Cell(DayText(task.Finish)));
      FTable->setItem(row, rcHours, Cell(task.Summary ? QStringLiteral("summary") : Hours(task.Hours),
                                         Qt::AlignRight | Qt::AlignVCenter));
      // The task's days as a bar; its days off stay shaded.
      if (task.Start > 0 && task.Finish >= task.Start)
        for (int d = std::max(0, static_cast<int>(std::floor(task.Start) - first));
             d < FDays && first + d <= std::floor(task.Finish); ++d) {
          QTableWidgetItem* cell = Cell({});
          cell->setBackground(off[static_cast<size_t>(d)] ? offColour : barColour);
          FTable->setItem(row, rcFirstDay + d, cell);
        }
      ++row;
    }
  }
  for (int column : {rcStart, rcFinish}) FTable->setColumnWidth(column, 84);
  FTable->setColumnWidth(rcHours, 56);
  for (int d = 0; d < FDays; ++d) FTable->setColumnWidth(rcFirstDay + d, 46);
  FTable->horizontalHeader()->setMinimumHeight(FTable->fontMetrics().height() * 2 + 8);
  FTable->verticalHeader()->setMaximumWidth(360);
  FTable->horizontalScrollBar()->setValue(0);
  // The first day someone has too much is what the view is opened for.
  for (int r = 0; r < FTable->rowCount(); ++r)
    for (int c = rcFirstDay; c < FTable->columnCount(); ++c)
      if (const QTableWidgetItem* cell = FTable->item(r, c); cell && cell->background().color() == overColour) {
        FTable->scrollToItem(cell, QAbstractItemView::EnsureVisible);
        return;
      }
}
