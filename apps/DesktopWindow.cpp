#include "apps/DesktopWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

#include "apps/DesktopActions.h"
#include "apps/DesktopGantt.h"
#include "apps/DesktopNodeMenu.h"
#include "apps/DesktopNotes.h"
#include "apps/DesktopResources.h"
#include "apps/DesktopSettings.h"
#include "apps/DesktopTree.h"
#include "com/DialogService.h"
#include "contract/SubjectIntf.h"
#include "host/LumetaPlugInEvent.h"
#include "host/MapEditCommands.h"
#include "settings/LumetaSettingsStore.h"

namespace {

constexpr const char* KSettingsKey = "Software\\Lumeta\\Desktop";
constexpr size_t KMaxRecent = 8;

}  // namespace

// Tells the window that the model changed; the window catches up once the event loop runs.
class TDesktopObserver : public TImplements<TAggregableObject, IObserver> {
 public:
  explicit TDesktopObserver(std::function<void()> AChanged) : FChanged(std::move(AChanged)) {}
  void Update(IUnknown*) override {
    if (FChanged) FChanged();
  }
  void Forget() { FChanged = nullptr; }

 private:
  std::function<void()> FChanged;
};

TDesktopWindow::TDesktopWindow(std::string APlugInDir, bool ARemember)
    : FPlugInDir(std::move(APlugInDir)), FRemember(ARemember) {
  setObjectName(QStringLiteral("DesktopWindow"));
  FObserver = make<TDesktopObserver>([this] { QueueRefresh(); });
  FPanelDock = new QDockWidget(QStringLiteral("Action"), this);
  FPanelDock->setObjectName(QStringLiteral("ActionPanelDock"));
  addDockWidget(Qt::RightDockWidgetArea, FPanelDock);
  BuildViews();
  auto* notesDock = new QDockWidget(QStringLiteral("Notes"), this);
  notesDock->setObjectName(QStringLiteral("NotesDock"));
  FNotes = new TDesktopNotes(FItems, notesDock);
  notesDock->setWidget(FNotes);
  addDockWidget(Qt::RightDockWidgetArea, notesDock, Qt::Vertical);  // below the panel
  FActions = new TDesktopActions(*this);
  FStatus = new QLabel(this);
  statusBar()->addWidget(FStatus, 1);
  resize(1280, 760);
  if (FRemember) LoadSettings();
}

TDesktopWindow::~TDesktopWindow() {
  // The panel and the rows go before the map they show, the map before the plug-in.
  FObserver->Forget();
  if (Model()) {
    Model()->Subject()->Detach(FObserver.get());
    FDocument->RemoveObserver(this);
  }
  FPanel = nullptr;  // frees its form, whose code goes with the plug-in
  FItems->SetDocument(nullptr);
  FDocument.reset();
}

TLumetaModel* TDesktopWindow::Model() const { return FDocument ? FDocument->Model() : nullptr; }

const std::string& TDesktopWindow::MapPath() const {
  static const std::string KNone;
  return FDocument ? FDocument->Path() : KNone;
}

void TDesktopWindow::BuildViews() {
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName(QStringLiteral("MapSplitter"));
  FItems = new TDesktopItemModel(this);
  FTree = new TDesktopTree(FItems, splitter);
  FTree->setObjectName(QStringLiteral("MapTree"));
  FTree->OnOpen = [this] { RunEntry(ciEditAction); };
  FTree->OnPick = [this] { PickValue(); };
  FTree->OnDrop = [this](int64_t ANode, int64_t ATarget) { DropNode(ANode, ATarget); };
  splitter->addWidget(FTree);
  FGantt = new TDesktopGantt(FTree, splitter);
  FGantt->setObjectName(QStringLiteral("GanttStrip"));
  splitter->addWidget(FGantt);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 1);
  setCentralWidget(splitter);
  QObject::connect(FTree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { SyncSelection(); });
  FTree->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(FTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& APlace) {
    const int64_t id = FItems->IDOf(FTree->indexAt(APlace));
    if (id < 0) return;
    QMenu* menu = MakeNodeMenu(FItems, id, this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(FTree->viewport()->mapToGlobal(APlace));
  });
  // The strip, not the window, is captured: the tree moves its scroll bar while the window is
  // being destroyed, when the window is no TDesktopWindow any more.
  TDesktopGantt* gantt = FGantt;
  QObject::connect(FTree->verticalScrollBar(), &QScrollBar::valueChanged, FGantt, [gantt] { gantt->update(); });
  // Rows shown or hidden (a branch opened or closed) move the strip's rows too.
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    QObject::connect(FItems, signal, FGantt, [gantt] { gantt->update(); });
}

// ---- entries and edits

void TDesktopWindow::RunEntry(int AID) {
  if (!Model()) return;
  if (FTree->IsEditing()) FTree->setFocus();  // ends the edit, committing it
  DesktopGuard([&] { CheckEdit(FItems->Editor()->RunEntry(AID, {})); });
  Refresh();
}

void TDesktopWindow::PickValue() {
  const int64_t id = FTree->FocusedID();
  const int column = FTree->FocusedColumn();
  ComPtr<IActionAttribute> action = id > 0 ? FItems->Action(id) : nullptr;
  // Duration's and Work's lists are their measures.
  const std::optional<TActionField> picked = column == dcStatus     ? std::optional(acStatus)
                                             : column == dcPriority ? std::optional(acPriority)
                                             : column == dcDuration ? std::optional(acDurationMeasure)
                                             : column == dcWork     ? std::optional(acWorkMeasure)
                                                                    : std::nullopt;
  if (id <= 0 || !picked) return;
  SelectNodes({id});
  const auto measureName = [](int32_t AMeasure) {
    return std::string(AMeasure == amHours || AMeasure == amDays ? KMeasurePickList[AMeasure] : GetMeasureText(AMeasure));
  };
  std::string current;
  if (action)
    current = picked == acStatus            ? action->GetStatus()
              : picked == acPriority        ? action->GetPriority()
              : picked == acDurationMeasure ? measureName(action->GetDurationMeasure())
                                            : measureName(action->GetWorkMeasure());
  ComPtr<TLumetaPlugInEvent> event =
      make<TLumetaPlugInEvent>(KEventPickValue, static_cast<ILumetaModel*>(Model()), Model()->GetCurrentSelection().get());
  event->SetField(KActionFieldNames[*picked], current);
  bool handled = false;
  DesktopGuard([&] { handled = Model()->HandleEvent(event.get()); });
  const std::string value = event->GetFieldValue();
  if (!handled || event->GetResult() == -1 || value == current) return;
  if (picked == acDurationMeasure || picked == acWorkMeasure)
    FItems->EditField(id, *picked, value == KMeasurePickList[amHours] ? amHours : amDays);
  else
    FItems->EditField(id, *picked, QString::fromStdString(value));
  Refresh();
}

void TDesktopWindow::Undo(bool ARedo) {
  if (!Model()) return;
  if (ARedo)
    DesktopGuard([this] { Model()->GetCommandProcessor()->Redo(); });
  else
    DesktopGuard([this] { Model()->GetCommandProcessor()->UndoLast(); });
  Refresh();
}

void TDesktopWindow::Execute(ICommand* ACommand) {
  if (!Model()) return;
  DesktopGuard([&] { Model()->GetCommandProcessor()->Execute(ACommand, nullptr); });
  Refresh();
}

void TDesktopWindow::DropNode(int64_t ANodeID, int64_t ANewParentID) {
  Execute(make<TMoveNodeCommand>(Model(), ANodeID, ANewParentID, -1, KEventDropUnder).get());
  WarnOfLinkCircle(ANodeID);
}

void TDesktopWindow::WarnOfLinkCircle(int64_t AMovedID) {
  if (!FItems->Editor()) return;
  if (const std::string warning = FItems->Editor()->LinkCircleAbove(AMovedID); !warning.empty())
    DialogService().ShowMessage(TMessageKind::Warning, warning);
}

void TDesktopWindow::MoveFocused(TMove AMove) {
  TLumetaNode* node = FItems->Node(FTree->FocusedID());
  if (!node || node->IsRoot()) return;
  TLumetaNode* parent = node->Parent();
  const int index = node->IndexInParent();
  const int count = static_cast<int>(parent->Children().size());
  const int64_t id = node->ID();
  switch (AMove) {
    case TMove::Up:
      if (index > 0) Execute(make<TMoveNodeCommand>(Model(), id, parent->ID(), index - 1).get());
      break;
    case TMove::Down:
      if (index + 1 < count) Execute(make<TMoveNodeCommand>(Model(), id, parent->ID(), index + 1).get());
      break;
    case TMove::Indent:  // under its previous sibling
      if (index > 0) {
        Execute(make<TMoveNodeCommand>(Model(), id, parent->Children()[index - 1]->ID(), -1, KEventDemote).get());
        WarnOfLinkCircle(id);
      }
      break;
    case TMove::Outdent:  // beside its parent, after it
      if (!parent->IsRoot())
        Execute(make<TMoveNodeCommand>(Model(), id, parent->Parent()->ID(), parent->IndexInParent() + 1).get());
      break;
  }
  FTree->SetFocusedCell(id, dcTitle);
}

void TDesktopWindow::AddNode(bool AChild) {
  TLumetaNode* node = FItems->Node(FTree->FocusedID());
  if (!node) node = Model() ? Model()->Map().Root() : nullptr;
  if (!node) return;
  ComPtr<TAddNodeCommand> command =
      AChild || node->IsRoot() ? make<TAddNodeCommand>(Model(), node->ID(), "New Topic")
                               : make<TAddNodeCommand>(Model(), node->Parent()->ID(), "New Topic", node->IndexInParent() + 1);
  Execute(command.get());
  // A child of a collapsed branch shows: the branch opens.
  if (TLumetaNode* added = FItems->Node(command->NodeID()))
    for (TLumetaNode* above = added->Parent(); above; above = above->Parent())
      if (!FItems->IsExpanded(above->ID())) FItems->SetExpanded(above->ID(), true);
  SelectNodes({command->NodeID()});
  FTree->EditCell(command->NodeID(), dcTitle);
}

void TDesktopWindow::DeleteFocused() {
  TLumetaNode* node = FItems->Node(FTree->FocusedID());
  if (!node || node->IsRoot()) return;
  Execute(make<TDeleteNodeCommand>(Model(), node->ID()).get());
  Model()->SetSelectedIDs(Model()->SelectedIDs());
}

void TDesktopWindow::EditMapSettings() {
  if (!Model()) return;
  TDesktopSettingsDialog dialog(Model(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (ComPtr<ICommand> command = dialog.Command()) Execute(command.get());
}

// ---- selection and state

void TDesktopWindow::SelectNodes(const std::vector<int64_t>& AIDs) {
  FSyncing = true;
  QItemSelection selection;
  for (const int64_t id : AIDs)
    if (const QModelIndex index = FItems->IndexOf(id); index.isValid())
      selection.select(index, FItems->IndexOf(id, dcCount - 1));
  FTree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!AIDs.empty())
    if (const QModelIndex index = FItems->IndexOf(AIDs.front(), std::max(FTree->FocusedColumn(), 0)); index.isValid())
      FTree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  FSyncing = false;
  SyncSelection();
}

void TDesktopWindow::SyncSelection() {
  if (!Model() || FSyncing) return;
  std::vector<int64_t> ids;
  for (const QModelIndex& index : FTree->selectionModel()->selectedRows())
    if (const int64_t id = FItems->IDOf(index); id >= 0) ids.push_back(id);  // the root too: it shows as selected
  if (ids != Model()->SelectedIDs()) Model()->SetSelectedIDs(ids);
  FNotes->ShowNode(ids.empty() ? -1 : ids.front());
  UpdateStatus();
}

void TDesktopWindow::ShowPanel() {
  FPanel = nullptr;
  ComPtr<IActionPlugInUI> ui = Model()->FindPlugInUI(KActionPlugInName);
  if (!ui) return;
  DesktopGuard([&] { FPanel = QueryAs<IPlugInView>(ui->CreateView(nullptr).get()); });
  if (!FPanel) return;
  FPanelDock->setWidget(static_cast<QWidget*>(FPanel->GetHandle()));
  FPanelDock->setWindowTitle(QString::fromStdString(FPanel->GetCaption()));
  FPanel->Show();
}

void TDesktopWindow::Refresh() {
  if (!Model()) return;
  ReportConflicts();
  FItems->Reload();
  FTree->viewport()->update();
  // An edit selects the node it ran on: the tree shows what the model holds.
  std::vector<int64_t> shown;
  for (const QModelIndex& index : FTree->selectionModel()->selectedRows()) shown.push_back(FItems->IDOf(index));
  if (shown != Model()->SelectedIDs()) SelectNodes(Model()->SelectedIDs());
  FGantt->update();
  FNotes->ShowNode(Model()->SelectedIDs().empty() ? -1 : Model()->SelectedIDs().front());
  if (FResources && FResources->isVisible()) FResources->Reload();
  UpdateStatus();
  UpdateTitle();
}

TDesktopResourceView* TDesktopWindow::ShowResources() {
  if (!FResources) FResources = new TDesktopResourceView(FItems, this);
  FResources->Reload();
  FResources->show();
  FResources->raise();
  return FResources;
}

void TDesktopWindow::ReportConflicts() {
  std::vector<TScheduleConflict> fresh;
  DesktopGuard([&] { fresh = FConflicts.Update(Model()); });
  FItems->SetConflicts(FItems->Scheduling() ? FConflicts.Current() : std::vector<TScheduleConflict>());
  if (fresh.empty()) return;
  constexpr size_t KShown = 12;
  std::string text = "The schedule keeps dates that a link or the schedule start cannot hold:";
  for (size_t i = 0; i < std::min(fresh.size(), KShown); ++i) text += '\n' + ConflictText(fresh[i]);
  if (fresh.size() > KShown) text += "\n(and " + std::to_string(fresh.size() - KShown) + " more)";
  DialogService().ShowMessage(TMessageKind::Warning, text);
}

void TDesktopWindow::QueueRefresh() {
  if (std::exchange(FRefreshQueued, true)) return;
  QTimer::singleShot(0, this, [this] {
    FRefreshQueued = false;
    Refresh();
  });
}

void TDesktopWindow::UpdateStatus() {
  FActions->UpdateEntries(FItems->Editor());
  if (!Model()) return;
  FStatus->setText(QStringLiteral("%1 nodes, %2 selected, task scheduling %3")
                       .arg(Model()->Map().NodeCount())
                       .arg(Model()->SelectedIDs().size())
                       .arg(FItems->Scheduling() ? QStringLiteral("on") : QStringLiteral("off")));
}

void TDesktopWindow::UndoStateChanged(const TUndoState& AState) {
  FActions->UpdateUndo(Model(), AState);
  UpdateTitle();
  QueueRefresh();
}

void TDesktopWindow::UpdateTitle() {
  const QString name = MapPath().empty() ? QStringLiteral("Untitled") : QString::fromStdString(MapPath());
  setWindowTitle(name + (IsModified() ? QStringLiteral(" *") : QString()) + QStringLiteral(" - Lumeta"));
}

// ---- the map file

void TDesktopWindow::ShowWarnings(const std::string& AHeading, const std::vector<std::string>& AExtra) {
  std::vector<std::string> warnings;
  for (const TArchiveWarning& warning : FDocument->Warnings()) warnings.push_back(warning.Message());
  warnings.insert(warnings.end(), AExtra.begin(), AExtra.end());
  constexpr size_t KShown = 12;
  if (warnings.empty()) return;
  std::string text = AHeading + ":";
  for (size_t i = 0; i < std::min(warnings.size(), KShown); ++i) text += '\n' + warnings[i];
  if (warnings.size() > KShown) text += "\n(and " + std::to_string(warnings.size() - KShown) + " more)";
  DialogService().ShowMessage(TMessageKind::Warning, text);
}

bool TDesktopWindow::OpenMap(const std::string& APath) {
  auto document = std::make_unique<TMapDocument>();
  try {
    document->Open(FPlugInDir, APath);
  } catch (const std::exception& error) {
    // The open map stays as it was.
    DialogService().ShowMessage(TMessageKind::Error, "Cannot open " + APath + ":\n" + error.what());
    return false;
  }
  FPanel = nullptr;
  if (Model()) {
    Model()->Subject()->Detach(FObserver.get());
    FDocument->RemoveObserver(this);
  }
  FItems->SetDocument(document.get());
  FDocument = std::move(document);
  FConflicts.Reset(Model());
  Model()->Subject()->Attach(FObserver.get());
  FDocument->AddObserver(this);
  UndoStateChanged(Model()->Processor()->State());
  if (!APath.empty()) FActions->AddRecent(APath);
  ShowPanel();
  Refresh();
  FGantt->FitToMap();
  SelectNodes({0});
  std::vector<std::string> circle;
  if (std::string warning = FItems->Editor()->LinkCircleInMap(); !warning.empty()) circle.push_back(std::move(warning));
  ShowWarnings("Opened " + APath + " with warnings", circle);
  return true;
}

bool TDesktopWindow::SaveMap(const std::string& APath) {
  std::string path = APath.empty() ? MapPath() : APath;
  if (path.empty()) {
    path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Map"), {}, QStringLiteral("Maps (*.xml)"))
               .toStdString();
    if (path.empty()) return false;
  }
  if (!FDocument || !DesktopGuard([&] { FDocument->SaveAs(path); })) return false;
  ShowWarnings("Saved " + path + " with warnings");
  FActions->AddRecent(path);
  UpdateTitle();
  return true;
}

bool TDesktopWindow::IsModified() const { return FDocument && Model() && !FDocument->IsClean(); }

bool TDesktopWindow::ConfirmDiscard() {
  if (!IsModified()) return true;
  const std::string name = MapPath().empty() ? std::string("the new map") : MapPath();
  switch (DialogService().Ask("Save the changes to " + name + "?", dbYes | dbNo | dbCancel, dbYes)) {
    case dbYes: return SaveMap();
    case dbNo: return true;
    default: return false;
  }
}

void TDesktopWindow::closeEvent(QCloseEvent* AEvent) {
  if (!ConfirmDiscard()) return AEvent->ignore();
  if (FRemember) SaveSettings();
  AEvent->accept();
}

void TDesktopWindow::LoadSettings() {
  TSettingsStore store;
  const auto bytes = [&](const char* AName) {
    return QByteArray::fromBase64(QByteArray::fromStdString(store.ReadString(THive::CurrentUser, KSettingsKey, AName, "")));
  };
  if (const QByteArray geometry = bytes("Geometry"); !geometry.isEmpty()) restoreGeometry(geometry);
  if (const QByteArray state = bytes("State"); !state.isEmpty()) restoreState(state);
  if (auto* splitter = qobject_cast<QSplitter*>(centralWidget()))
    if (const QByteArray sizes = bytes("Splitter"); !sizes.isEmpty()) splitter->restoreState(sizes);
  FGantt->SetZoom(static_cast<TDesktopGantt::TZoom>(
      std::clamp(store.ReadInteger(THive::CurrentUser, KSettingsKey, "Zoom", 0), 0, 2)));
  FActions->CriticalPath()->setChecked(store.ReadInteger(THive::CurrentUser, KSettingsKey, "CriticalPath", 0) != 0);
  std::vector<std::string> recent;
  for (size_t i = 1; i <= KMaxRecent; ++i)
    recent.push_back(store.ReadString(THive::CurrentUser, KSettingsKey, "Recent" + std::to_string(i), ""));
  FActions->SetRecentFiles(std::move(recent));
}

void TDesktopWindow::SaveSettings() {
  TSettingsStore store;
  const auto write = [&](const char* AName, const QByteArray& AData) {
    store.WriteString(THive::CurrentUser, KSettingsKey, AName, AData.toBase64().toStdString());
  };
  write("Geometry", saveGeometry());
  write("State", saveState());
  if (auto* splitter = qobject_cast<QSplitter*>(centralWidget())) write("Splitter", splitter->saveState());
  store.WriteInteger(THive::CurrentUser, KSettingsKey, "Zoom", FGantt->Zoom());
  store.WriteInteger(THive::CurrentUser, KSettingsKey, "CriticalPath", FGantt->ShowsCritical() ? 1 : 0);
  const std::vector<std::string>& recent = FActions->RecentFiles();
  for (size_t i = 1; i <= KMaxRecent; ++i) {
    const std::string name = "Recent" + std::to_string(i);
    if (i <= recent.size())
      store.WriteString(THive::CurrentUser, KSettingsKey, name, recent[i - 1]);
    else
      store.DeleteValue(THive::CurrentUser, KSettingsKey, name);
  }
  store.Flush();
}
