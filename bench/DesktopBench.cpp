// The desktop window over a generated map of 100,000 action nodes, on the offscreen platform:
// the time from opening the map to the first painted window, then frames per second while the
// tree (and the Gantt strip beside it) scroll from top to bottom: a page at a time, or, when that
// is more than 400 pages, 400 pages spread evenly over the whole height.
// With --deep, the map is one chain of NODES tasks, each under the one before it.
//   desktop_bench [--deep] [NODES]       (LUMETA_PLUGIN_DIR: where the plug-in library is)
#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "apps/DesktopGantt.h"
#include "apps/DesktopTree.h"
#include "bench/BenchClock.h"
#include "com/ProcessHeap.h"
#include "apps/DesktopWindow.h"
#include "host/LumetaPlugInLoader.h"

namespace {

// Fifty main branches of twenty tasks, the rest spread below those tasks; every node an action.
// ADeep: a chain instead, each task under the one before it.
void WriteMap(const std::string& APath, int ANodes, bool ADeep) {
  std::ofstream out(APath);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Map Version=\"1\" HighestID=\"" << ANodes << "\">\n"
      << "<Title>Generated</Title>\n<Settings TaskScheduling=\"true\"/>\n";
  int id = 0;
  const auto node = [&](bool AClose) {
    ++id;
    const int day = 1 + id % 28, month = 1 + id % 12;
    char dates[160];
    std::snprintf(dates, sizeof dates,
                  "<StartDate>2025-%02d-%02dT08:00:00</StartDate><CompletedDate>2025-%02d-%02dT17:00:00</CompletedDate>",
                  month, day, month, day);
    out << "<Node ID=\"" << id << "\"><Title>Task " << id << "</Title><Action><Complete>" << id % 101
        << "</Complete>" << dates << "<Duration Measure=\"Days\">1</Duration><Priority>"
        << (id % 3 ? "Medium" : "High") << "</Priority></Action>" << (AClose ? "</Node>\n" : "\n");
  };
  if (ADeep) {
    for (int level = 0; level < ANodes; ++level) node(false);
    for (int level = 0; level < ANodes; ++level) out << "</Node>";
    out << "\n</Map>\n";
    return;
  }
  const int perTask = (ANodes - 1050) / 1000;
  for (int branch = 0; branch < 50 && id < ANodes; ++branch) {
    node(false);
    for (int task = 0; task < 20 && id < ANodes; ++task) {
      node(false);
      for (int leaf = 0; leaf < perTask && id < ANodes; ++leaf) node(true);
      out << "</Node>\n";
    }
    out << "</Node>\n";
  }
  out << "</Map>\n";
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();  // as the programs do
  const bool deep = argc > 1 && std::string(argv[1]) == "--deep";
  const int nodes = argc > 1 + deep ? std::atoi(argv[1 + deep]) : deep ? 2'000 : 100'000;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  QTemporaryDir folder;
  const std::string map = folder.filePath(QStringLiteral("generated.xml")).toStdString();
  WriteMap(map, nodes, deep);

  TDesktopWindow window(DefaultPlugInDir(), false);
  window.resize(1400, 800);
  const TClock::time_point opened = TClock::now();
  if (!window.OpenMap(map)) return 1;
  const double open = SecondsSince(opened);
  window.show();
  // The offscreen platform paints on demand: rendering into an image is the frame.
  QImage frame(window.size(), QImage::Format_ARGB32_Premultiplied);
  window.render(&frame);
  const double firstPaint = SecondsSince(opened);
  // Said before scrolling, which a deep chain makes long.
  std::printf("nodes: %d%s\nopen: %.2f s\nfirst paint after open: %.2f s\n", nodes, deep ? " in one chain" : "", open,
              firstPaint);
  std::fflush(stdout);
  QImage treeFrame(window.Tree()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  QImage stripFrame(window.Gantt()->size(), QImage::Format_ARGB32_Premultiplied);

  QScrollBar* scroll = window.Tree()->verticalScrollBar();
  int frames = 0, rows = 0;
  const TClock::time_point scrolled = TClock::now();
  constexpr int KMostFrames = 400;
  const int step = std::max(scroll->pageStep(), scroll->maximum() / KMostFrames + 1);
  for (int value = 0; value <= scroll->maximum(); value += step) {
    scroll->setValue(value);
    window.Tree()->viewport()->render(&treeFrame);
    window.Gantt()->render(&stripFrame);
    rows = std::max(rows, window.Gantt()->PaintedRows());
    ++frames;
  }
  const double scrolling = SecondsSince(scrolled);
  std::printf("scrolling: %d frames in %.2f s = %.1f frames/s\nrows drawn per frame by the strip: %d\n", frames,
              scrolling, frames / scrolling, rows);
  return 0;
}
