#include "apps/DesktopPrint.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QLocale>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <functional>

#include "apps/DesktopGantt.h"
#include "apps/DesktopModel.h"
#include "com/ComErrors.h"
#include "com/LumetaLocale.h"

namespace {

// Pages are laid out in pixels of 1/96 inch, the screen's, so that the strip's painter draws on
// paper at the sizes it draws on screen.
constexpr double KUnitsPerInch = 96;
constexpr double KUnitsPerMm = KUnitsPerInch / 25.4;
constexpr double KSideMargin = 10 * KUnitsPerMm;
constexpr double KBand = 14 * KUnitsPerMm;  // above and below the body: title, date, page number
constexpr int KFontPixels = 10;              // 7.5 points
constexpr double KPad = 4;
constexpr double KIndent = 10;  // per level of the title column
// Days narrower than this would leave a week's date no room; wider ones only spread the tasks.
constexpr double KMinDayWidth = 6;
constexpr double KMaxDayWidth = 22;
constexpr double KRangeMargin = 2;  // days before the first task and after the last

// Black on white whatever the screen's theme.
QPalette PaperPalette() {
  QPalette palette;
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  palette.setColor(QPalette::Button, QColor(240, 240, 240));
  palette.setColor(QPalette::ButtonText, Qt::black);
  palette.setColor(QPalette::Mid, QColor(150, 150, 150));
  return palette;
}

// A line of the pages: every node of the map, branches open, in the tree's order.
struct TPrintRow {
  int64_t ID;
  int Depth;
  bool Summary;
};

std::vector<TPrintRow> PrintRows(const TDesktopItemModel& AModel) {
  std::vector<TPrintRow> rows;
  if (!AModel.Model()) return rows;
  // Without recursion: a branch may be deep.
  std::vector<std::pair<TLumetaNode*, int>> stack{{AModel.Model()->Map().Root(), 0}};
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    rows.push_back({node->ID(), depth, !node->Children().empty()});
    for (auto child = node->Children().rbegin(); child != node->Children().rend(); ++child)
      stack.emplace_back(child->get(), depth + 1);
  }
  return rows;
}

// Where a page's part of the strip begins, and whether the page shows every column or the titles
// alone; the strip runs on to the page's right edge.
struct TSlice {
  double First;
  bool AllColumns;
};

// Narrows the widest of the widths to one cap, as far as needed for them to sum to ARoom at most.
void CapWidest(const std::vector<double*>& AWidths, double ARoom) {
  std::vector<double> widest;
  for (const double* width : AWidths) widest.push_back(*width);
  std::ranges::sort(widest, std::greater<>());
  double rest = 0;  // the sum of the widths below the cap
  for (const double width : widest) rest += width;
  for (size_t capped = 1; capped <= widest.size() && rest > ARoom; ++capped) {
    rest -= widest[capped - 1];
    const double cap = (ARoom - rest) / capped;
    if (capped == widest.size() || cap >= widest[capped]) {
      for (double* width : AWidths) *width = std::min(*width, cap);
      return;
    }
  }
}

class TPrintLayout {
 public:
  TPrintLayout(const TDesktopItemModel& AModel, const std::vector<TPrintRow>& ARows, const std::vector<int>& AColumns,
               const QRectF& APage, const TPrintRange& ARange, QPainter& APainter)
      : FModel(AModel), FRows(ARows), FColumns(AColumns) {
    FBody = APage.adjusted(KSideMargin, KBand, -KSideMargin, -KBand);
    const QFontMetricsF metrics(APainter.font(), APainter.device());
    FRowHeight = std::ceil(metrics.height() * 1.45);
    FScaleHeight = 2 * FRowHeight;
    FRowsPerPage = std::max(1, static_cast<int>((FBody.height() - FScaleHeight) / FRowHeight));
    MeasureColumns(APainter);
    CutSlices(ARange);
  }

  const QRectF& Body() const { return FBody; }
  double RowHeight() const { return FRowHeight; }
  double ScaleHeight() const { return FScaleHeight; }
  int RowsPerPage() const { return FRowsPerPage; }
  double DayWidth() const { return FDayWidth; }
  const std::vector<TSlice>& Slices() const { return FSlices; }
  // The columns a page shows with their widths.
  std::vector<std::pair<int, double>> PageColumns(const TSlice& ASlice) const {
    std::vector<std::pair<int, double>> columns;
    for (size_t i = 0; i < FColumns.size(); ++i)
      if (ASlice.AllColumns || FColumns[i] == dcTitle) columns.emplace_back(FColumns[i], FWidths[i]);
    if (columns.empty() && !FColumns.empty()) columns.emplace_back(FColumns.front(), FWidths.front());
    return columns;
  }
  static double Width(const std::vector<std::pair<int, double>>& AColumns) {
    double width = 0;
    for (const auto& column : AColumns) width += column.second;
    return width;
  }

 private:
  // Each column as wide as its widest text, the title column with its indents; none wider than a
  // share of the page (longer texts are elided there).
  void MeasureColumns(QPainter& APainter) {
    QFont bold = APainter.font();
    bold.setBold(true);
    const QFontMetricsF plain(APainter.font(), APainter.device()), strong(bold, APainter.device());
    std::vector<double> texts;
    for (const int column : FColumns)
      texts.push_back(strong.horizontalAdvance(FModel.headerData(column, Qt::Horizontal).toString()));
    // Row by row: the model reads a row's texts in one go.
    for (const TPrintRow& row : FRows)
      for (size_t i = 0; i < FColumns.size(); ++i) {
        const double indent = FColumns[i] == dcTitle ? KIndent * row.Depth : 0;
        const QFontMetricsF& metrics = row.Summary ? strong : plain;
        texts[i] = std::max(texts[i], indent + metrics.horizontalAdvance(FModel.CellText(row.ID, FColumns[i])));
      }
    for (size_t i = 0; i < FColumns.size(); ++i) {
      const double share = FColumns[i] == dcTitle ? 0.3 : 0.15;
      FWidths.push_back(std::min(std::ceil(texts[i]) + 2 * KPad, FBody.width() * share));
    }
    // Some of the first page is left for the strip: where the columns would take more, the other
    // columns give way before the titles, the widest first, so that dates and numbers stay whole.
    const double budget = FBody.width() * 0.85;
    std::vector<double*> others, all;
    double titles = 0;
    for (size_t i = 0; i < FColumns.size(); ++i) {
      all.push_back(&FWidths[i]);
      if (FColumns[i] == dcTitle)
        titles += FWidths[i];
      else
        others.push_back(&FWidths[i]);
    }
    constexpr double KNarrowest = 48;
    if (!others.empty() && (budget - titles) / others.size() >= KNarrowest)
      CapWidest(others, budget - titles);
    else
      CapWidest(all, budget);
  }

  void CutSlices(const TPrintRange& ARange) {
    double first = ARange.First, last = ARange.Last;
    if (first == 0 && last == 0) {
      auto [start, finish] = FModel.TaskSpan();
      if (finish == 0) start = finish = LocaleService().Today();
      first = std::floor(start) - KRangeMargin;
      last = std::floor(finish) + KRangeMargin;
    }
    const double days = std::max(1.0, last - first + 1);
    const double firstRoom = FBody.width() - Width(PageColumns(TSlice{first, true})),
                 nextRoom = FBody.width() - Width(PageColumns(TSlice{first, false}));
    // As few pages across as keep a day wide enough, their days spread evenly over them.
    int across = 1;
    while (firstRoom + (across - 1) * nextRoom < days * KMinDayWidth) ++across;
    FDayWidth = std::min((firstRoom + (across - 1) * nextRoom) / days, KMaxDayWidth);
    double day = first;
    for (int page = 0; page < across; ++page) {
      FSlices.push_back({day, page == 0});
      day += (page == 0 ? firstRoom : nextRoom) / FDayWidth;
    }
  }

  const TDesktopItemModel& FModel;
  const std::vector<TPrintRow>& FRows;
  std::vector<int> FColumns;
  std::vector<double> FWidths;
  QRectF FBody;
  double FRowHeight = 0;
  double FScaleHeight = 0;
  int FRowsPerPage = 1;
  double FDayWidth = KMinDayWidth;
  std::vector<TSlice> FSlices;
};

void PaintMargins(QPainter& APainter, const QRectF& APage, const QString& ATitle, int ANumber, int APages) {
  APainter.save();
  APainter.setPen(Qt::black);
  const QRectF top(APage.left() + KSideMargin, APage.top(), APage.width() - 2 * KSideMargin, KBand - 3 * KUnitsPerMm);
  const QRectF bottom(top.left(), APage.bottom() - KBand + 3 * KUnitsPerMm, top.width(), KBand - 3 * KUnitsPerMm);
  const QString date = QStringLiteral("Printed ") + QString::fromStdString(LocaleService().FormatShortDate(LocaleService().Today()));
  QFont bold = APainter.font();
  bold.setBold(true);
  bold.setPixelSize(KFontPixels + 2);
  APainter.setFont(bold);
  const double dateWidth = QFontMetricsF(APainter.font(), APainter.device()).horizontalAdvance(date) + 4 * KPad;
  const QString title = QFontMetricsF(APainter.font(), APainter.device())
                            .elidedText(ATitle, Qt::ElideRight, top.width() - dateWidth);
  APainter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, title);
  bold.setBold(false);
  bold.setPixelSize(KFontPixels);
  APainter.setFont(bold);
  APainter.drawText(top, Qt::AlignRight | Qt::AlignVCenter, date);
  APainter.drawText(bottom, Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Page %1 of %2").arg(ANumber).arg(APages));
  APainter.restore();
}

// The table part of a page: the column captions beside the strip's scale, then one line a row.
void PaintTable(QPainter& APainter, const TDesktopItemModel& AModel, const TPrintLayout& ALayout,
                const std::vector<std::pair<int, double>>& AColumns, const TPrintRow* AFirst, int ARows) {
  const QRectF& body = ALayout.Body();
  const double width = TPrintLayout::Width(AColumns), rowHeight = ALayout.RowHeight();
  const double top = body.top() + ALayout.ScaleHeight();
  APainter.save();
  QFont plain = APainter.font(), bold = plain;
  bold.setBold(true);
  APainter.fillRect(QRectF(body.left(), body.top(), width, ALayout.ScaleHeight()), QColor(240, 240, 240));
  APainter.setPen(QPen(QColor(200, 200, 200), 0.5));
  for (int row = 0; row <= ARows; ++row)
    APainter.drawLine(QPointF(body.left(), top + row * rowHeight), QPointF(body.right(), top + row * rowHeight));
  double x = body.left();
  for (const auto& [column, columnWidth] : AColumns) {
    APainter.setPen(QPen(QColor(200, 200, 200), 0.5));
    APainter.drawLine(QPointF(x, body.top()), QPointF(x, top + ARows * rowHeight));
    APainter.setPen(Qt::black);
    APainter.setFont(bold);
    const QRectF caption(x + KPad, body.top() + ALayout.ScaleHeight() / 2, columnWidth - 2 * KPad, ALayout.ScaleHeight() / 2);
    APainter.drawText(caption, Qt::AlignLeft | Qt::AlignVCenter, AModel.headerData(column, Qt::Horizontal).toString());
    for (int row = 0; row < ARows; ++row) {
      const TPrintRow& line = AFirst[row];
      APainter.setFont(line.Summary ? bold : plain);
      const double indent = column == dcTitle ? KIndent * line.Depth : 0;
      const QRectF cell(x + KPad + indent, top + row * rowHeight, columnWidth - 2 * KPad - indent, rowHeight);
      const QString text = QFontMetricsF(APainter.font(), APainter.device())
                               .elidedText(AModel.CellText(line.ID, column), Qt::ElideRight, cell.width());
      APainter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    x += columnWidth;
  }
  APainter.setPen(QPen(QColor(120, 120, 120), 0.8));
  APainter.drawLine(QPointF(x, body.top()), QPointF(x, top + ARows * rowHeight));
  APainter.restore();
}

}  // namespace

QPageLayout DefaultPrintLayout() {
  const bool inches = QLocale().measurementSystem() == QLocale::ImperialUSSystem;
  QPageLayout layout(QPageSize(inches ? QPageSize::Letter : QPageSize::A4), QPageLayout::Landscape, QMarginsF());
  layout.setMode(QPageLayout::FullPageMode);  // the margins are drawn into: title, date, page
  return layout;
}

std::vector<int> VisibleColumns(const QHeaderView& AHeader) {
  std::vector<int> columns;
  for (int visual = 0; visual < AHeader.count(); ++visual)
    if (const int logical = AHeader.logicalIndex(visual); !AHeader.isSectionHidden(logical)) columns.push_back(logical);
  return columns;
}

int PrintMap(const TDesktopItemModel& AModel, const std::vector<int>& AColumns, QPagedPaintDevice& ADevice,
             const TPrintRange& ARange, bool ACritical, const QString& ATitle) {
  QPageLayout pageLayout = ADevice.pageLayout();
  pageLayout.setMode(QPageLayout::FullPageMode);
  ADevice.setPageLayout(pageLayout);
  QPainter painter;
  if (!painter.begin(&ADevice)) throw ELumetaError("cannot print: the printer or file refused to start");
  painter.scale(ADevice.logicalDpiX() / KUnitsPerInch, ADevice.logicalDpiY() / KUnitsPerInch);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(KFontPixels);
  // No ligatures: a reader of the PDF's text finds "fi" as two letters.
  font.setStyleStrategy(QFont::PreferNoShaping);
  painter.setFont(font);
  const QRectF page(QPointF(0, 0), pageLayout.fullRect(QPageLayout::Inch).size() * KUnitsPerInch);
  const std::vector<TPrintRow> lines = PrintRows(AModel);
  const TPrintLayout layout(AModel, lines, AColumns, page, ARange, painter);
  QString title = ATitle;
  if (title.isEmpty() && AModel.Model()) title = AModel.CellText(0, dcTitle);

  const int rows = static_cast<int>(lines.size());
  const int chunks = std::max(1, (rows + layout.RowsPerPage() - 1) / layout.RowsPerPage());
  const int pages = chunks * static_cast<int>(layout.Slices().size());
  const QPalette paper = PaperPalette();
  int number = 0;
  for (int chunk = 0; chunk < chunks; ++chunk) {
    const int firstRow = chunk * layout.RowsPerPage(), count = std::min(layout.RowsPerPage(), rows - firstRow);
    for (const TSlice& slice : layout.Slices()) {
      if (number++ > 0) ADevice.newPage();
      PaintMargins(painter, page, title, number, pages);
      const std::vector<std::pair<int, double>> columns = layout.PageColumns(slice);
      PaintTable(painter, AModel, layout, columns, lines.data() + firstRow, count);
      const QRectF& body = layout.Body();
      const double left = body.left() + TPrintLayout::Width(columns);
      const double width = body.right() - left;
      const QRectF scale(left, body.top(), width, layout.ScaleHeight());
      const QRectF strip(left, scale.bottom(), width, count * layout.RowHeight());
      TGanttPainter gantt(AModel, TGanttAxis(slice.First, layout.DayWidth(), left, AModel.Calendar()), paper);
      gantt.ShowEveryNode();
      gantt.ShowCritical(ACritical);
      std::vector<TGanttRow> bands;
      for (int row = 0; row < count; ++row)
        bands.push_back({lines[firstRow + row].ID, QRectF(left, strip.top() + row * layout.RowHeight(), width,
                                                             layout.RowHeight())});
      gantt.Paint(painter, scale, strip, bands);
    }
  }
  painter.end();
  return pages;
}

int ExportPdf(const TDesktopItemModel& AModel, const std::vector<int>& AColumns, const std::string& APath,
              const TPrintRange& ARange, bool ACritical) {
  // Written beside the target and renamed over it, so that a failed export leaves the old file.
  QSaveFile file(QString::fromStdString(APath));
  if (!file.open(QIODevice::WriteOnly))
    throw ELumetaError("cannot write " + APath + ": " + file.errorString().toStdString());
  int pages = 0;
  {
    QPdfWriter writer(&file);
    writer.setPageLayout(DefaultPrintLayout());
    writer.setResolution(600);
    writer.setCreator(QStringLiteral("lumeta-desktop"));
    const QString title = AModel.Model() ? AModel.CellText(0, dcTitle) : QString();
    writer.setTitle(title);
    pages = PrintMap(AModel, AColumns, writer, ARange, ACritical, title);
  }
  if (!file.commit()) throw ELumetaError("cannot write " + APath + ": " + file.errorString().toStdString());
  return pages;
}
