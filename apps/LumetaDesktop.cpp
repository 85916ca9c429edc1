// lumeta-desktop: the reference host's window over a map file, with the Action plug-in loaded.
//   lumeta-desktop [--plugin-dir DIR] [MAP]
//   lumeta-desktop [--plugin-dir DIR] --screenshot FILE MAP   renders the window offscreen to a PNG
//   lumeta-desktop [--plugin-dir DIR] --settings-screenshot FILE MAP   the same of the map-settings dialog
#include <QApplication>
#include <QMessageBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QTreeView>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>

#include "apps/DesktopGantt.h"
#include "apps/DesktopSettings.h"
#include "apps/DesktopWindow.h"
#include "com/DialogService.h"
#include "host/LumetaPlugInLoader.h"

namespace {

// Asked for, the usage goes to standard output and the run succeeds; after a mistake, to standard error.
int Usage(bool AAsked = false) {
  std::fprintf(AAsked ? stdout : stderr, "usage: lumeta-desktop [--plugin-dir DIR] [MAP]\n"
                       "       lumeta-desktop [--plugin-dir DIR] --screenshot FILE MAP\n"
                       "       lumeta-desktop [--plugin-dir DIR] --settings-screenshot FILE MAP\n"
                       "       lumeta-desktop --help\n");
  return AAsked ? 0 : 2;
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
  std::string plugInDir = DefaultPlugInDir(), screenshot, map;
  bool settings = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--help")
      return Usage(true);
    else if (word == "--plugin-dir" && i + 1 < argc)
      plugInDir = argv[++i];
    else if ((word == "--screenshot" || word == "--settings-screenshot") && i + 1 < argc) {
      settings = word == "--settings-screenshot";
      screenshot = argv[++i];
    }
    else if (word.starts_with("-"))
      return Usage();
    else if (map.empty())
      map = word;
    else
      return Usage();
  }
  if (!screenshot.empty() && map.empty()) return Usage();
  // A picture needs no display.
  if (!screenshot.empty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  application.setApplicationName(QStringLiteral("lumeta-desktop"));

  if (screenshot.empty()) SetDialogService(std::make_shared<TDesktopDialogService>());
  auto* window = new TDesktopWindow(plugInDir, screenshot.empty());
  window->setAttribute(Qt::WA_DeleteOnClose);
  if (!window->OpenMap(map) && !screenshot.empty()) return 1;
  window->show();
  if (!screenshot.empty()) {
    // The tree shows every column whole; the strip takes the rest, two months by weeks.
    window->resize(1960, 720);
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
    } else {
      saved = window->grab().save(QString::fromStdString(screenshot), "PNG");
    }
    delete window;
    if (!saved) std::fprintf(stderr, "lumeta-desktop: cannot write %s\n", screenshot.c_str());
    return saved ? 0 : 1;
  }
  return application.exec();
}
