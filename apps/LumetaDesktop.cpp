// lumeta-desktop: the reference host's window over a map file, with the Action plug-in loaded.
// Without a display it renders the window, the map-settings dialog or the printed pages to files.
#include <QApplication>
#include <QDate>
#include <QMessageBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeView>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "apps/DesktopActions.h"
#include "apps/DesktopGantt.h"
#include "apps/DesktopPrint.h"
#include "apps/DesktopResources.h"
#include "apps/DesktopSettings.h"
#include "apps/DesktopTree.h"
#include "apps/DesktopWindow.h"
#include "com/DialogService.h"
#include "com/OleDate.h"
#include "com/ProcessHeap.h"
#include "host/LumetaPlugInLoader.h"
#include "host/tasks/TaskProgram.h"
#include "settings/LumetaSettingsStore.h"

namespace {

// Asked for, the usage goes to standard output and the run succeeds; after a mistake, to standard
// error after what was wrong.
int Usage(bool AAsked = false, const std::string& AError = {}) {
  if (!AError.empty()) std::fprintf(stderr, "lumeta-desktop: %s\n", AError.c_str());
  std::fprintf(AAsked ? stdout : stderr,
               "usage: lumeta-desktop [OPTIONS] [MAP]\n"
               "       lumeta-desktop [OPTIONS] --screenshot FILE MAP\n"
               "       lumeta-desktop [OPTIONS] --settings-screenshot FILE MAP\n"
               "       lumeta-desktop [OPTIONS] --resources-screenshot FILE MAP\n"
               "       lumeta-desktop [OPTIONS] --pdf FILE [--range START END] MAP\n"
               "\n"
               "Opens the map file MAP (else a new, empty map) in a window: the map as a tree with its\n"
               "action columns, a Gantt strip beside it and the action panel. Without a display:\n"
               "  --screenshot FILE           render the window into the PNG file FILE and exit\n"
               "  --settings-screenshot FILE  the same of the map-settings dialog\n"
               "  --resources-screenshot FILE the same of the resource view\n"
               "  --pdf FILE                  print the map into the PDF file FILE and exit\n"
               "  --range START END           with --pdf: the days the Gantt strip spans, YYYY-MM-DD\n"
               "                              (default: the map's tasks and two days either side)\n"
               "  --critical-path             with --screenshot or --pdf: the critical path in red\n"
               "Options:\n"
               "  --plugin-dir DIR    folder holding the plug-in (default: %s)\n"
               "  --settings-dir DIR  folder of the settings files (default: $LUMETA_SETTINGS_DIR,\n"
               "                      else ~/.config/lumeta)\n"
               "  --help              show this help and exit\n"
               "The window is described in docs/ui.md, the lumeta command line in docs/lumeta.md.\n",
               DefaultPlugInDir().c_str());
  return AAsked ? 0 : 2;
}

// A day as YYYY-MM-DD; 0 for anything else.
double ParseDay(const std::string& AText) {
  const QDate date = QDate::fromString(QString::fromStdString(AText), Qt::ISODate);
  return date.isValid() && AText.size() == 10 ? EncodeDate(date.year(), date.month(), date.day()) : 0;
}

// Message boxes on top of the window that is active.
class TDesktopDialogService : public TDialogService {
 public:
  void ShowMessage(TMessageKind AKind, const std::string& AText) override {
    const QString text = QString::fromStdString(AText);
    QWidget* parent = QApplication::activeWindow();
    switch (AKind) {
      case TMessageKind::Warning: QMessageBox::warning(parent, QStringLiteral("Lumeta"), text); break;
      case TMessageKind::Information: QMessageBox::information(parent, QStringLiteral("Lumeta"), text); break;
      case TMessageKind::Error: QMessageBox::critical(parent, QStringLiteral("Lumeta"), text); break;
    }
  }
  TDialogButton Ask(const std::string& AText, TDialogButtons AButtons, TDialogButton ADefault) override {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Lumeta"), QString::fromStdString(AText),
                    QMessageBox::NoButton, QApplication::activeWindow());
    const std::pair<TDialogButton, QMessageBox::StandardButton> map[] = {
        {dbOK, QMessageBox::Ok}, {dbYes, QMessageBox::Yes}, {dbNo, QMessageBox::No}, {dbCancel, QMessageBox::Cancel}};
    for (const auto& [button, standard] : map)
      if (AButtons & button) box.addButton(standard);
    for (const auto& [button, standard] : map)
      if (button == ADefault) box.setDefaultButton(standard);
    const int answer = box.exec();
    for (const auto& [button, standard] : map)
      if (answer == standard) return button;
    return (AButtons & dbCancel) ? dbCancel : ADefault;
  }
};

void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  KeepFreedMemory();
  std::string plugInDir = DefaultPlugInDir(), screenshot, pdf, map;
  bool settings = false, resources = false, critical = false;
  TPrintRange range;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    const bool valued = i + 1 < argc;
    if (word == "--help" || word == "-h")
      return Usage(true);
    else if (word == "--plugin-dir" && valued)
      plugInDir = argv[++i];
    else if (word == "--settings-dir" && valued) {
      const std::string folder = argv[++i];
      // An empty folder would quietly mean the default one, the user's own settings.
      if (folder.empty()) return Usage(false, "--settings-dir needs a folder");
      SetSettingsFolder(folder);
      // The window and the plug-in library open stores of their own: the variable points them there.
      setenv(TSettingsStore::FolderVariable, folder.c_str(), 1);
    } else if ((word == "--screenshot" || word == "--settings-screenshot" || word == "--resources-screenshot") &&
               valued) {
      settings = word == "--settings-screenshot";
      resources = word == "--resources-screenshot";
      screenshot = argv[++i];
    } else if (word == "--pdf" && valued)
      pdf = argv[++i];
    else if (word == "--critical-path")
      critical = true;
    else if (word == "--range" && i + 2 < argc) {
      range = {ParseDay(argv[i + 1]), ParseDay(argv[i + 2])};
      if (range.First == 0 || range.Last == 0 || range.Last < range.First)
        return Usage(false, "--range needs two days as YYYY-MM-DD, the first not after the second, not '" +
                                std::string(argv[i + 1]) + " " + argv[i + 2] + "'");
      i += 2;
    } else if (word.starts_with("-"))
      return Usage(false, "unknown option or missing value: '" + word + "'");
    else if (map.empty())
      map = word;
    else
      return Usage(false, "more than one map given: '" + word + "'");
  }
  if ((!screenshot.empty() || !pdf.empty()) && map.empty()) return Usage(false, "a map file is needed");
  if (!screenshot.empty() && !pdf.empty()) return Usage(false, "--screenshot and --pdf exclude each other");
  if (range.Last != 0 && pdf.empty()) return Usage(false, "--range goes with --pdf");
  if (critical && screenshot.empty() && pdf.empty()) return Usage(false, "--critical-path goes with --screenshot or --pdf");
  const bool offscreen = !screenshot.empty() || !pdf.empty();
  // A picture or a PDF needs no display.
  if (offscreen && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  application.setApplicationName(QStringLiteral("lumeta-desktop"));
  // The task program asks for a CalDAV password the user keeps nowhere, once per session.
  if (!offscreen) application.setProperty(CalDavPasswordDialogProperty, true);

  if (!offscreen) SetDialogService(std::make_shared<TDesktopDialogService>());
  auto* window = new TDesktopWindow(plugInDir, !offscreen);
  window->setAttribute(Qt::WA_DeleteOnClose);
  if (!window->OpenMap(map) && offscreen) return 1;
  if (critical) window->Actions()->CriticalPath()->setChecked(true);
  if (!pdf.empty()) {
    int status = 0;
    try {
      ExportPdf(*window->ItemModel(), VisibleColumns(*window->Tree()->header()), pdf, range, critical);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "lumeta-desktop: %s\n", error.what());
      status = 1;
    }
    delete window;
    return status;
  }
  window->show();
  if (!screenshot.empty()) {
    // The tree shows every column whole; the strip takes the rest, two months by weeks.
    window->resize(2200, 720);
    if (auto* splitter = qobject_cast<QSplitter*>(window->centralWidget())) {
      const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
      auto* tree = window->findChild<QTreeView*>(QStringLiteral("MapTree"));
      const int treeWidth = tree ? tree->header()->length() + tree->verticalScrollBar()->sizeHint().width() +
                                       2 * tree->frameWidth()
                                 : total - 560;
      splitter->setSizes({treeWidth, total - treeWidth});
    }
    Settle();
    window->Gantt()->ZoomToTasks();
    Settle();
    bool saved = false;
    if (settings) {
      TDesktopSettingsDialog dialog(window->Model(), window);
      dialog.show();
      Settle();
      saved = dialog.grab().save(QString::fromStdString(screenshot), "PNG");
    } else if (resources) {
      TDesktopResourceView* view = window->ShowResources();
      // Every row in view, and a month and a half of days.
      QTableWidget* table = view->Table();
      const int rows = table->rowCount() * table->verticalHeader()->defaultSectionSize();
      view->resize(2080, std::min(900, view->height() - table->viewport()->height() + rows + 4));
      view->Reload();  // scrolled for the new width
      Settle();
      saved = view->grab().save(QString::fromStdString(screenshot), "PNG");
    } else {
      saved = window->grab().save(QString::fromStdString(screenshot), "PNG");
    }
    delete window;
    if (!saved) std::fprintf(stderr, "lumeta-desktop: cannot write %s\n", screenshot.c_str());
    return saved ? 0 : 1;
  }
  return application.exec();
}
