#include "apps/DesktopActions.h"

#include <QAction>
#include <QDockWidget>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QToolBar>

#include <algorithm>

#include "apps/DesktopGantt.h"
#include "apps/DesktopModel.h"
#include "apps/DesktopPrint.h"
#include "apps/DesktopTree.h"
#include "apps/DesktopWindow.h"
#include "com/DialogService.h"
#include "exchange/MspdiReader.h"
#include "exchange/MspdiWriter.h"
#include "exchange/PlanTable.h"
#include "session/TaskSync.h"
#include "contract/ActionVocabulary.h"
#include "drawing/GPGraphics.h"

namespace {

constexpr size_t KMaxRecent = 8;
const QString KMapFilter = QStringLiteral("Maps (*.xml);;All files (*)");
const QString KMspdiFilter = QStringLiteral("MS Project XML (*.xml);;All files (*)");

// A plan from an MS Project XML file becomes a new, unsaved map in the window; what it could not
// hold is listed in one message.
void ImportPlan(TDesktopWindow& AWindow) {
  if (!AWindow.ConfirmDiscard()) return;
  const QString path = QFileDialog::getOpenFileName(&AWindow, QStringLiteral("Import MS Project XML"), {}, KMspdiFilter);
  if (path.isEmpty() || !AWindow.OpenMap({})) return;
  std::vector<std::string> warnings;
  const bool imported = DesktopGuard([&] { warnings = ImportMspdiFile(*AWindow.Document(), path.toStdString()); });
  AWindow.Refresh();
  AWindow.Gantt()->FitToMap();
  if (!imported || warnings.empty()) return;
  constexpr size_t KShown = 12;
  std::string text = "Imported " + path.toStdString() + " with warnings:";
  for (size_t i = 0; i < std::min(warnings.size(), KShown); ++i) text += '\n' + warnings[i];
  if (warnings.size() > KShown) text += "\n(and " + std::to_string(warnings.size() - KShown) + " more)";
  DialogService().ShowMessage(TMessageKind::Warning, text);
}

void ExportPlan(TDesktopWindow& AWindow, bool ACsv) {
  const QString path = QFileDialog::getSaveFileName(
      &AWindow, ACsv ? QStringLiteral("Export CSV Table") : QStringLiteral("Export MS Project XML"), {},
      ACsv ? QStringLiteral("CSV tables (*.csv)") : KMspdiFilter);
  if (path.isEmpty() || !AWindow.Document()) return;
  DesktopGuard([&] {
    TLumetaMap& map = AWindow.Document()->Model()->Map();
    if (ACsv)
      WriteCsvFile(map, path.toStdString());
    else
      WriteMspdiFile(map, path.toStdString());
  });
}

// The map's pages on a printer the user picks, or (APdf) into a PDF file.
void PrintPages(TDesktopWindow& AWindow, bool APdf) {
  if (!AWindow.Document()) return;
  const std::vector<int> columns = VisibleColumns(*AWindow.Tree()->header());
  if (APdf) {
    const QString path = QFileDialog::getSaveFileName(&AWindow, QStringLiteral("Export PDF"), {},
                                                      QStringLiteral("PDF files (*.pdf)"));
    if (!path.isEmpty()) DesktopGuard([&] { ExportPdf(*AWindow.ItemModel(), columns, path.toStdString(), {}, AWindow.Gantt()->ShowsCritical()); });
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageLayout(DefaultPrintLayout());
  printer.setDocName(AWindow.ItemModel()->CellText(0, dcTitle));
  QPrintDialog dialog(&printer, &AWindow);
  if (dialog.exec() == QDialog::Accepted) DesktopGuard([&] { PrintMap(*AWindow.ItemModel(), columns, printer, {}, AWindow.Gantt()->ShowsCritical()); });
}

// What other programs changed in the map's exported tasks comes back as one undo step; the changed
// actions and the tasks that are gone are listed in one message.
void SynchronizeTasks(TDesktopWindow& AWindow) {
  if (!AWindow.Model()) return;
  TSyncResult result;
  const bool synced = DesktopGuard([&] { result = SyncFromTaskStore(AWindow.Model()); });
  AWindow.Refresh();
  if (!synced) return;
  constexpr size_t KShown = 12;
  std::string text = !result.Changed.empty() ? std::string("Synchronized from the task store:")
                     : result.SinceLastSync    ? "Nothing changed: " + std::to_string(result.TasksFound) +
                                                     " tasks of the map changed in the store since the last sync, none "
                                                     "differs from its action."
                                               : "Nothing changed: the map's " + std::to_string(result.TasksFound) +
                                                     " tasks hold what their actions hold.";
  std::vector<std::string> lines;
  for (const TSyncedAction& action : result.Changed) lines.push_back(SyncedActionLine(action));
  lines.insert(lines.end(), result.Warnings.begin(), result.Warnings.end());
  for (size_t i = 0; i < std::min(lines.size(), KShown); ++i) text += '\n' + lines[i];
  if (lines.size() > KShown) text += "\n(and " + std::to_string(lines.size() - KShown) + " more)";
  DialogService().ShowMessage(result.Warnings.empty() ? TMessageKind::Information : TMessageKind::Warning, text);
}

}  // namespace

TDesktopActions::TDesktopActions(TDesktopWindow& AWindow) : QObject(&AWindow), FWindow(AWindow) {
  BuildFileMenu();
  BuildEditMenu();
  BuildActionMenu();
  BuildViewMenu();
}

template <class F>
QAction* TDesktopActions::Add(QMenu* AMenu, const QString& AText, const QKeySequence& AKey, F&& AWork) {
  QAction* action = AMenu->addAction(AText);
  action->setShortcut(AKey);
  QObject::connect(action, &QAction::triggered, this, std::forward<F>(AWork));
  return action;
}

void TDesktopActions::BuildFileMenu() {
  TDesktopWindow& window = FWindow;
  QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
  Add(file, QStringLiteral("&New"), QKeySequence::New, [&window] {
    if (window.ConfirmDiscard()) window.OpenMap({});
  });
  Add(file, QStringLiteral("&Open..."), QKeySequence::Open, [&window] {
    if (!window.ConfirmDiscard()) return;
    const QString path = QFileDialog::getOpenFileName(&window, QStringLiteral("Open Map"), {}, KMapFilter);
    if (!path.isEmpty()) window.OpenMap(path.toStdString());
  });
  FRecentMenu = file->addMenu(QStringLiteral("Open &Recent"));
  Add(file, QStringLiteral("&Save"), QKeySequence::Save, [&window] { window.SaveMap(); });
  Add(file, QStringLiteral("Save &As..."), QKeySequence::SaveAs, [&window] {
    const QString path = QFileDialog::getSaveFileName(&window, QStringLiteral("Save Map"),
                                                      QString::fromStdString(window.MapPath()),
                                                      QStringLiteral("Maps (*.xml)"));
    if (!path.isEmpty()) window.SaveMap(path.toStdString());
  });
  file->addSeparator();
  Add(file, QStringLiteral("&Import MS Project XML..."), {}, [&window] { ImportPlan(window); });
  QMenu* exportMenu = file->addMenu(QStringLiteral("&Export"));
  Add(exportMenu, QStringLiteral("MS Project &XML..."), {}, [&window] { ExportPlan(window, false); });
  Add(exportMenu, QStringLiteral("&CSV Table..."), {}, [&window] { ExportPlan(window, true); });
  Add(file, QStringLiteral("Export P&DF..."), {}, [&window] { PrintPages(window, true); });
  Add(file, QStringLiteral("&Print..."), QKeySequence::Print, [&window] { PrintPages(window, false); });
  file->addSeparator();
  Add(file, QStringLiteral("S&ynchronize"), {}, [&window] { SynchronizeTasks(window); });
  file->addSeparator();
  Add(file, QStringLiteral("Map &Settings..."), QKeySequence(Qt::CTRL | Qt::Key_Comma),
      [&window] { window.EditMapSettings(); });
  file->addSeparator();
  Add(file, QStringLiteral("&Quit"), QKeySequence::Quit, [&window] { window.close(); });
  RebuildRecentMenu();
}

void TDesktopActions::BuildEditMenu() {
  TDesktopWindow& window = FWindow;
  QMenu* edit = window.menuBar()->addMenu(QStringLiteral("&Edit"));
  FUndo = Add(edit, QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [&window] { window.Undo(false); });
  FRedo = Add(edit, QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y), [&window] { window.Undo(true); });
  FUndo->setEnabled(false);
  FRedo->setEnabled(false);
  edit->addSeparator();
  Add(edit, QStringLiteral("Add &Sibling"), QKeySequence(Qt::Key_Insert), [&window] { window.AddNode(false); });
  Add(edit, QStringLiteral("Add &Child"), QKeySequence(Qt::CTRL | Qt::Key_Insert), [&window] { window.AddNode(true); });
  Add(edit, QStringLiteral("&Delete Topic"), QKeySequence(Qt::CTRL | Qt::Key_Delete), [&window] { window.DeleteFocused(); });
  using TMove = TDesktopWindow::TMove;
  const struct {
    const char* Text;
    QKeySequence Key;
    TMove Move;
  } moves[] = {{"Move &Up", QKeySequence(Qt::ALT | Qt::Key_Up), TMove::Up},
               {"Move Do&wn", QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Down), TMove::Down},
               {"&Indent", QKeySequence(Qt::ALT | Qt::Key_Right), TMove::Indent},
               {"&Outdent", QKeySequence(Qt::ALT | Qt::Key_Left), TMove::Outdent}};
  for (const auto& move : moves) {
    const TMove how = move.Move;
    Add(edit, QString::fromLatin1(move.Text), move.Key, [&window, how] { window.MoveFocused(how); });
  }
  Add(edit, QStringLiteral("&Pick Value..."), QKeySequence(), [&window] { window.PickValue(); });
}

void TDesktopActions::BuildActionMenu() {
  TDesktopWindow& window = FWindow;
  QMenu* action = window.menuBar()->addMenu(QStringLiteral("&Action"));
  QToolBar* bar = window.addToolBar(QStringLiteral("Action"));
  bar->setObjectName(QStringLiteral("ActionToolBar"));
  const struct {
    int ID;
    const char* Text;
    const char* Image;
    QKeySequence Key;
  } entries[] = {{ciExportActions, "E&xport Actions to MS Outlook...", "ACTION_UPDATE", QKeySequence()},
                 {ciEditAction, "&Edit Action...", "ACTION", QKeySequence(Qt::CTRL | Qt::Key_E)},
                 {ciMarkComplete, "Mark &Complete", "ACTION_COMPLETE", QKeySequence(Qt::CTRL | Qt::Key_K)},
                 {ciClearAction, "C&lear Action", "ACTION_CLEAR", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete)}};
  for (const auto& entry : entries) {
    const int id = entry.ID;
    QAction* item = Add(action, QString::fromLatin1(entry.Text), entry.Key, [&window, id] { window.RunEntry(id); });
    try {
      item->setIcon(QIcon(QPixmap::fromImage(SymbolImage(entry.Image).Image())));
    } catch (const std::exception&) {
      // an entry without its image still works
    }
    item->setCheckable(id == ciMarkComplete);
    item->setEnabled(false);
    FEntries[id - ciExportActions] = item;
    bar->addAction(item);
  }
  bar->addSeparator();
  bar->addAction(FUndo);
  bar->addAction(FRedo);
}

void TDesktopActions::BuildViewMenu() {
  TDesktopWindow& window = FWindow;
  QMenu* view = window.menuBar()->addMenu(QStringLiteral("&View"));
  const std::pair<const char*, TDesktopGantt::TZoom> zooms[] = {
      {"Zoom to &Days", TDesktopGantt::zmDay}, {"Zoom to &Weeks", TDesktopGantt::zmWeek},
      {"Zoom to &Months", TDesktopGantt::zmMonth}};
  int key = Qt::Key_1;
  for (const auto& [text, zoom] : zooms) {
    const TDesktopGantt::TZoom z = zoom;
    Add(view, QString::fromLatin1(text), QKeySequence(Qt::CTRL | static_cast<Qt::Key>(key++)),
        [&window, z] { window.Gantt()->SetZoom(z); });
  }
  // Toggled rather than triggered: the window's settings check it too.
  QAction* critical = view->addAction(QStringLiteral("&Critical Path"));
  critical->setCheckable(true);
  critical->setChecked(window.Gantt()->ShowsCritical());
  QObject::connect(critical, &QAction::toggled, &window, [&window](bool AOn) { window.Gantt()->SetShowCritical(AOn); });
  FCriticalPath = critical;
  Add(view, QStringLiteral("&Resources"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R), [&window] { window.ShowResources(); });
  Add(view, QStringLiteral("Zoom to &Fit"), QKeySequence(Qt::CTRL | Qt::Key_0), [&window] { window.Gantt()->ZoomToTasks(); });
  Add(view, QStringLiteral("&Gantt Strip Focus"), QKeySequence(Qt::Key_F6), [&window] {
    if (window.Tree()->hasFocus())
      window.Gantt()->setFocus();
    else
      window.Tree()->setFocus();
  });
  view->addAction(window.PanelDock()->toggleViewAction());
}

QAction* TDesktopActions::Entry(int AID) const {
  return AID >= ciExportActions && AID <= ciClearAction ? FEntries[AID - ciExportActions] : nullptr;
}

void TDesktopActions::UpdateEntries(TActionEditor* AEditor) {
  for (int id = ciExportActions; id <= ciClearAction; ++id) {
    TEntryState state;
    try {
      if (AEditor) state = AEditor->UpdateEntry(id);
    } catch (const std::exception&) {
      // a controller that cannot answer leaves its entry disabled
    }
    QAction* entry = Entry(id);
    entry->setEnabled(state.Enabled);
    entry->setChecked(state.Checked);
    // A disabled entry says why where the pointer rests on it.
    const QString name = entry->text().remove(QLatin1Char('&')).remove(QStringLiteral("..."));
    entry->setToolTip(state.Reason.empty() ? name : name + QStringLiteral(": ") + QString::fromStdString(state.Reason));
  }
}

void TDesktopActions::UpdateUndo(TLumetaModel* AModel, const TUndoState& AState) {
  ComPtr<ICommandProcessor> processor = AModel ? AModel->GetCommandProcessor() : nullptr;
  ComPtr<ICommand> undo = processor ? processor->GetUndoCommand() : nullptr;
  ComPtr<ICommand> redo = processor ? processor->GetRedoCommand() : nullptr;
  FUndo->setEnabled(AState.CanUndo);
  FUndo->setText(undo ? QStringLiteral("&Undo %1").arg(QString::fromStdString(undo->GetDescription()))
                      : QStringLiteral("&Undo"));
  FRedo->setEnabled(AState.CanRedo);
  FRedo->setText(redo ? QStringLiteral("&Redo %1").arg(QString::fromStdString(redo->GetDescription()))
                      : QStringLiteral("&Redo"));
}

void TDesktopActions::SetRecentFiles(std::vector<std::string> APaths) {
  std::erase(APaths, std::string());
  if (APaths.size() > KMaxRecent) APaths.resize(KMaxRecent);
  FRecent = std::move(APaths);
  RebuildRecentMenu();
}

void TDesktopActions::AddRecent(const std::string& APath) {
  std::vector<std::string> recent = FRecent;
  std::erase(recent, APath);
  recent.insert(recent.begin(), APath);
  SetRecentFiles(std::move(recent));
}

void TDesktopActions::RebuildRecentMenu() {
  FRecentMenu->clear();
  int number = 1;
  TDesktopWindow& window = FWindow;
  for (const std::string& path : FRecent) {
    QAction* item = FRecentMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(QString::fromStdString(path)));
    QObject::connect(item, &QAction::triggered, this, [&window, path] {
      if (window.ConfirmDiscard()) window.OpenMap(path);
    });
  }
  FRecentMenu->setEnabled(!FRecent.empty());
}
