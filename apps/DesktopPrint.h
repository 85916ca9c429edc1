#pragma once
// The map on paper: the rows the tree shows, its visible columns on the left and the Gantt strip
// on the right, drawn by the strip's own painter. Rows run down the pages; a time span wider than
// a page goes on across further pages, which repeat the titles. Every page carries the map's
// title and the print date above, its number below.
#include <QPageLayout>
#include <QString>

#include <string>
#include <vector>

class QHeaderView;
class QPagedPaintDevice;
class TDesktopItemModel;

struct TPrintRange {
  // Whole days, First before Last; (0, 0) prints the map's tasks with a few days either side.
  double First = 0;
  double Last = 0;
};

// Landscape A4, or Letter where the locale measures in inches; the margins hold the title, the
// date and the page number.
QPageLayout DefaultPrintLayout();

// The tree's columns that are not hidden, in the order the tree shows them.
std::vector<int> VisibleColumns(const QHeaderView& AHeader);

// Prints onto a printer or PDF writer whose page layout is set; answers the number of pages.
// ACritical draws the critical path in red, as the window does with View > Critical Path on.
// ATitle heads every page (the map's central topic when empty).
int PrintMap(const TDesktopItemModel& AModel, const std::vector<int>& AColumns, QPagedPaintDevice& ADevice,
             const TPrintRange& ARange, bool ACritical = false, const QString& ATitle = {});

// Writes the pages as a PDF file at APath; raises ELumetaError naming the file when it cannot.
int ExportPdf(const TDesktopItemModel& AModel, const std::vector<int>& AColumns, const std::string& APath,
              const TPrintRange& ARange, bool ACritical = false);
