#include "apps/DesktopWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolBar>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "apps/DesktopCommands.h"
#include "apps/DesktopEditors.h"
#include "apps/DesktopSettings.h"
#include "apps/DesktopGantt.h"
#include "apps/EntryCommands.h"
#include "apps/LinkCommands.h"
#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/OleDate.h"
#include "commands/ActionFieldEdit.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaRenderIntf.h"
#include "contract/SubjectIntf.h"
#include "drawing/GPGraphics.h"
#include "host/LumetaPlugInEvent.h"
#include "host/MapEditCommands.h"
#include "settings/LumetaSettingsStore.h"
#include "ui/UiMetrics.h"

namespace {

constexpr const char* KSettingsKey = "Software\\Lumeta\\Desktop";
constexpr size_t KMaxRecent = 8;
// The symbol's nominal 6 units become a 15-pixel icon beside a title.
constexpr double KSymbolScale = 2.5;
constexpr const char* KDateFormat = "yyyy-MM-dd";

const char* const KCaptions[dcCount] = {"Title",    "Start", "Due",  "Completed", "Duration",    "% Complete",
                                        "Status",   "Priority", "Cost", "Work",  "Predecessors"};
const int KWidths[dcCount] = {220, 80, 80, 80, 70, 76, 90, 100, 56, 56, 90};
// The field each column shows and edits; none for the title and the predecessors, which have
// edits of their own.
constexpr std::optional<TActionField> KColumnFields[dcCount] = {
    std::nullopt, acStartDate, acDueDate, acCompletedDate, acDuration, acComplete,
    acStatus,     acPriority,  acCost,    acWork,          std::nullopt};

int ColumnEntry(int AColumn) {
  const std::optional<TActionField> field = AColumn >= 0 && AColumn < dcCount ? KColumnFields[AColumn] : std::nullopt;
  return field ? FieldEntry(*field).value_or(0) : 0;
}

QString Number(double AValue) { return QString::number(AValue, 'g', 10); }

// A measure as the entries and the pick list name it; the cells show the short text.
std::string MeasureName(int32_t AMeasure) {
  return AMeasure == amHours || AMeasure == amDays ? KMeasurePickList[AMeasure] : GetMeasureText(AMeasure);
}

// A typed measure word ("h", "hrs", "Hours", "d", "days") as the entries take it; any other word
// is handed on for the entry to refuse.
std::string MeasureWord(const QString& AWord) {
  const QString word = AWord.toLower();
  return word.startsWith(QLatin1Char('h'))   ? KMeasurePickList[amHours]
         : word.startsWith(QLatin1Char('d')) ? KMeasurePickList[amDays]
                                             : AWord.toStdString();
}

QString DateText(double ADate) {
  if (ADate <= 0) return {};
  const TDateTimeParts parts = DecodeDateTime(ADate);
  return QDate(parts.Year, parts.Month, parts.Day).toString(QLatin1String(KDateFormat));
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

// Draws the plug-in's symbol in front of a title.
class TSymbolDelegate : public QStyledItemDelegate {
 public:
  explicit TSymbolDelegate(TDesktopWindow* AWindow) : QStyledItemDelegate(AWindow), FWindow(AWindow) {}

  void paint(QPainter* APainter, const QStyleOptionViewItem& AOption, const QModelIndex& AIndex) const override {
    QStyleOptionViewItem option = AOption;
    TVirtualNode* row = FWindow->Tree()->NodeAt(AIndex);
    // Deep rows are indented past the column's edge: the symbol stays inside the title's cell
    // instead of painting over the next columns.
    APainter->save();
    APainter->setClipRect(option.rect.intersected(FWindow->Tree()->viewport()->rect()), Qt::IntersectClip);
    const int width = row && option.rect.width() > 0 ? DrawSymbol(APainter, row, option.rect) : 0;
    APainter->restore();
    option.rect.setLeft(option.rect.left() + width);
    QStyledItemDelegate::paint(APainter, option, AIndex);
  }

 private:
  int DrawSymbol(QPainter* APainter, TVirtualNode* ARow, const QRect& ARect) const {
    TLumetaNode* node = FWindow->Model()->Map().FindNode(FWindow->IDOf(ARow));
    ComPtr<IProperty> property = node ? node->FindProperty(KActionPropertyName) : nullptr;
    ComPtr<IPropertySymbol> symbol = property ? QueryAs<IPropertySymbol>(property.get()) : nullptr;
    if (!symbol) return 0;
    try {
      symbol->UpdateRenderInfo();
      const int32_t flags = symbol->GetRenderInfo()->GetFlags();
      TGPGraphics graphics(*APainter, KSymbolScale);
      int32_t width = 0, height = 0;
      symbol->MeasureSymbol(&graphics, ARect.height(), width, height);
      if (width <= 0 || !(flags & DrawFlagSymbol)) return 0;
      const int top = ARect.top() + (ARect.height() - height) / 2;
      symbol->DrawSymbol(&graphics, flags, ARect.left() + 2, top, width, ARect.height());
      return width + 4;
    } catch (const std::exception&) {
      return 0;  // a record that cannot be read draws no symbol; its cells say why
    }
  }

  TDesktopWindow* FWindow;
};

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

// ---- the tree

TDesktopTree::TDesktopTree(TDesktopWindow* AWindow) : TVirtualTreeGrid(AWindow), FWindow(AWindow) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  SetGridLines(true);
  SetEditable(true);
  SetGridExtensions(true);
  setUniformRowHeights(true);
  setItemDelegateForColumn(dcTitle, new TSymbolDelegate(AWindow));
}

void TDesktopTree::keyPressEvent(QKeyEvent* AEvent) {
  const int key = AEvent->key();
  const bool plain = AEvent->modifiers() == Qt::NoModifier || AEvent->modifiers() == Qt::KeypadModifier;
  if (!IsEditing() && plain && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    FWindow->RunEntry(ciEditAction);
    return AEvent->accept();
  }
  if (!IsEditing() && (key == Qt::Key_F4 || (key == Qt::Key_Down && AEvent->modifiers() == Qt::AltModifier))) {
    FWindow->PickValue();
    return AEvent->accept();
  }
  TVirtualTreeGrid::keyPressEvent(AEvent);
}

void TDesktopTree::mouseDoubleClickEvent(QMouseEvent* AEvent) {
  if (NodeAt(indexAt(AEvent->position().toPoint()))) {
    FWindow->RunEntry(ciEditAction);
    return AEvent->accept();
  }
  TVirtualTreeGrid::mouseDoubleClickEvent(AEvent);
}

void TDesktopTree::mousePressEvent(QMouseEvent* AEvent) {
  FPressAt = AEvent->position().toPoint();
  TVirtualNode* row = AEvent->button() == Qt::LeftButton ? NodeAt(indexAt(FPressAt)) : nullptr;
  FDragged = row ? FWindow->IDOf(row) : -1;
  FDragging = false;
  TVirtualTreeGrid::mousePressEvent(AEvent);
}

void TDesktopTree::mouseMoveEvent(QMouseEvent* AEvent) {
  if (FDragged > 0 && (AEvent->buttons() & Qt::LeftButton)) {
    if (!FDragging &&
        (AEvent->position().toPoint() - FPressAt).manhattanLength() >= QApplication::startDragDistance()) {
      FDragging = true;
      viewport()->setCursor(Qt::DragMoveCursor);
    }
    if (FDragging) return AEvent->accept();  // the selection stays on the dragged node
  }
  TVirtualTreeGrid::mouseMoveEvent(AEvent);
}

void TDesktopTree::mouseReleaseEvent(QMouseEvent* AEvent) {
  if (FDragging) {
    FDragging = false;
    viewport()->unsetCursor();
    TVirtualNode* target = NodeAt(indexAt(AEvent->position().toPoint()));
    const int64_t dragged = std::exchange(FDragged, -1);
    if (target && FWindow->IDOf(target) != dragged) FWindow->DropNode(dragged, FWindow->IDOf(target));
    return AEvent->accept();
  }
  FDragged = -1;
  TVirtualTreeGrid::mouseReleaseEvent(AEvent);
}

bool TDesktopTree::viewportEvent(QEvent* AEvent) {
  if (AEvent->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(AEvent);
    TVirtualNode* row = NodeAt(indexAt(help->pos()));
    TLumetaNode* node = row ? FWindow->Model()->Map().FindNode(FWindow->IDOf(row)) : nullptr;
    ComPtr<IProperty> property = node ? node->FindProperty(KActionPropertyName) : nullptr;
    std::string hint;
    try {
      if (property) hint = property->GetHint();
    } catch (const std::exception& error) {
      hint = error.what();
    }
    if (hint.empty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), QString::fromStdString(hint), viewport());
    return true;
  }
  return TVirtualTreeGrid::viewportEvent(AEvent);
}

// ---- the window

TDesktopWindow::TDesktopWindow(std::string APlugInDir, bool ARemember)
    : FPlugInDir(std::move(APlugInDir)), FRemember(ARemember) {
  if (ARemember) SetDialogService(std::make_shared<TDesktopDialogService>());
  setObjectName(QStringLiteral("DesktopWindow"));
  FObserver = make<TDesktopObserver>([this] {
    if (FRefreshQueued) return;
    FRefreshQueued = true;
    QTimer::singleShot(0, this, [this] {
      FRefreshQueued = false;
      Refresh();
    });
  });
  FPanelDock = new QDockWidget(QStringLiteral("Action"), this);
  FPanelDock->setObjectName(QStringLiteral("ActionPanelDock"));
  addDockWidget(Qt::RightDockWidgetArea, FPanelDock);
  BuildTree();
  BuildActions();
  FStatus = new QLabel(this);
  statusBar()->addWidget(FStatus, 1);
  resize(1280, 760);
  if (FRemember) LoadSettings();
}

TDesktopWindow::~TDesktopWindow() {
  // The panel and the grid's rows go before the map they show, the map before the plug-in.
  FObserver->Forget();
  if (Model()) {
    Model()->Subject()->Detach(FObserver.get());
    FDocument->RemoveObserver(this);
  }
  FPanel = nullptr;  // frees its form, whose code goes with the plug-in
  FTree->SetRootNodeCount(0);
  FDocument.reset();
}

TLumetaModel* TDesktopWindow::Model() const { return FDocument ? FDocument->Model() : nullptr; }

void TDesktopWindow::BuildTree() {
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName(QStringLiteral("MapSplitter"));
  FTree = new TDesktopTree(this);
  FTree->setObjectName(QStringLiteral("MapTree"));
  QStringList captions;
  for (const char* caption : KCaptions) captions << QString::fromLatin1(caption);
  FTree->SetColumns(captions);
  for (int column = 0; column < dcCount; ++column) FTree->setColumnWidth(column, UiMetrics::Px(KWidths[column], FTree));
  FTree->OnGetText = [this](TVirtualNode* ARow, int AColumn) { return CellText(ARow, AColumn); };
  FTree->OnEditing = [this](TVirtualNode* ARow, int AColumn) {
    return IDOf(ARow) != 0 || AColumn == dcTitle;
  };
  FTree->OnCreateEditor = [this](TVirtualNode* ARow, int AColumn) { return EditorFor(ARow, AColumn); };
  QObject::connect(FTree, &TVirtualTreeGrid::NewText, this,
                   [this](TVirtualNode* ARow, int AColumn, const QString& AText) {
                     // The grid still holds its editor: the entry runs once the edit has ended.
                     const int64_t id = IDOf(ARow);
                     QTimer::singleShot(0, this, [this, id, AColumn, AText] {
                       if (TVirtualNode* row = RowOf(id)) CommitCell(row, AColumn, AText);
                     });
                   });
  splitter->addWidget(FTree);
  FGantt = new TDesktopGantt(this);
  FGantt->setObjectName(QStringLiteral("GanttStrip"));
  splitter->addWidget(FGantt);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 1);
  setCentralWidget(splitter);
  QObject::connect(FTree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { SyncSelection(); });
  QObject::connect(FTree->verticalScrollBar(), &QScrollBar::valueChanged, FGantt,
                   [this] { FGantt->update(); });
  // The collapsed state is the map's: the file keeps it and the export's current view follows it.
  // It is a view of the map, so no undo step and no unsaved change.
  const auto keepExpanded = [this](const QModelIndex& AIndex, bool AExpanded) {
    if (FBuilding) return;
    if (TLumetaNode* node = Model() ? Model()->Map().FindNode(IDOf(FTree->NodeAt(AIndex))) : nullptr)
      node->HostData().Expanded = AExpanded;
    FGantt->update();
  };
  QObject::connect(FTree, &QTreeView::expanded, this, [keepExpanded](const QModelIndex& AIndex) { keepExpanded(AIndex, true); });
  QObject::connect(FTree, &QTreeView::collapsed, this, [keepExpanded](const QModelIndex& AIndex) { keepExpanded(AIndex, false); });
}

void TDesktopWindow::BuildActions() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  auto add = [this](QMenu* AMenu, const QString& AText, QKeySequence AKey, auto AWork) {
    QAction* action = AMenu->addAction(AText);
    action->setShortcut(AKey);
    QObject::connect(action, &QAction::triggered, this, AWork);
    return action;
  };
  add(file, QStringLiteral("&New"), QKeySequence::New, [this] {
    if (ConfirmDiscard()) OpenMap({});
  });
  add(file, QStringLiteral("&Open..."), QKeySequence::Open, [this] {
    if (!ConfirmDiscard()) return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Map"), {},
                                                      QStringLiteral("Maps (*.xml);;All files (*)"));
    if (!path.isEmpty()) OpenMap(path.toStdString());
  });
  FRecentMenu = file->addMenu(QStringLiteral("Open &Recent"));
  add(file, QStringLiteral("&Save"), QKeySequence::Save, [this] { SaveMap(); });
  add(file, QStringLiteral("Save &As..."), QKeySequence::SaveAs, [this] {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Map"),
                                                      QString::fromStdString(FMapPath),
                                                      QStringLiteral("Maps (*.xml)"));
    if (!path.isEmpty()) SaveMap(path.toStdString());
  });
  file->addSeparator();
  add(file, QStringLiteral("Map &Settings..."), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { EditMapSettings(); });
  file->addSeparator();
  add(file, QStringLiteral("&Quit"), QKeySequence::Quit, [this] { close(); });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  FUndo = add(edit, QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z), [this] {
    Guard([this] { Model()->GetCommandProcessor()->UndoLast(); });
    Refresh();
  });
  FRedo = add(edit, QStringLiteral("&Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y), [this] {
    Guard([this] { Model()->GetCommandProcessor()->Redo(); });
    Refresh();
  });
  edit->addSeparator();
  add(edit, QStringLiteral("Add &Sibling"), QKeySequence(Qt::Key_Insert), [this] { AddNode(false); });
  add(edit, QStringLiteral("Add &Child"), QKeySequence(Qt::CTRL | Qt::Key_Insert), [this] { AddNode(true); });
  add(edit, QStringLiteral("&Delete Topic"), QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] { DeleteFocused(); });
  add(edit, QStringLiteral("Move &Up"), QKeySequence(Qt::ALT | Qt::Key_Up), [this] { MoveFocused(0); });
  add(edit, QStringLiteral("Move Do&wn"), QKeySequence(Qt::ALT | Qt::SHIFT | Qt::Key_Down), [this] { MoveFocused(1); });
  add(edit, QStringLiteral("&Indent"), QKeySequence(Qt::ALT | Qt::Key_Right), [this] { MoveFocused(2); });
  add(edit, QStringLiteral("&Outdent"), QKeySequence(Qt::ALT | Qt::Key_Left), [this] { MoveFocused(3); });
  add(edit, QStringLiteral("&Pick Value..."), QKeySequence(), [this] { PickValue(); });

  QMenu* action = menuBar()->addMenu(QStringLiteral("&Action"));
  QToolBar* bar = addToolBar(QStringLiteral("Action"));
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
    QAction* item = add(action, QString::fromLatin1(entry.Text), entry.Key, [this, id] { RunEntry(id); });
    try {
      item->setIcon(QIcon(QPixmap::fromImage(SymbolImage(entry.Image).Image())));
    } catch (const std::exception&) {
      // an entry without its image still works
    }
    item->setCheckable(id == ciMarkComplete);
    FEntries[id - ciExportActions] = item;
    bar->addAction(item);
  }
  bar->addSeparator();
  bar->addAction(FUndo);
  bar->addAction(FRedo);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  const std::pair<const char*, TDesktopGantt::TZoom> zooms[] = {
      {"Zoom to &Days", TDesktopGantt::zmDay}, {"Zoom to &Weeks", TDesktopGantt::zmWeek},
      {"Zoom to &Months", TDesktopGantt::zmMonth}};
  int key = Qt::Key_1;
  for (const auto& [text, zoom] : zooms) {
    const TDesktopGantt::TZoom z = zoom;
    add(view, QString::fromLatin1(text), QKeySequence(Qt::CTRL | static_cast<Qt::Key>(key++)),
        [this, z] { FGantt->SetZoom(z); });
  }
  add(view, QStringLiteral("Zoom to &Fit"), QKeySequence(Qt::CTRL | Qt::Key_0), [this] { FGantt->ZoomToTasks(); });
  add(view, QStringLiteral("&Gantt Strip Focus"), QKeySequence(Qt::Key_F6), [this] {
    if (FTree->hasFocus()) FGantt->setFocus(); else FTree->setFocus();
  });
  view->addAction(FPanelDock->toggleViewAction());
}

QAction* TDesktopWindow::EntryAction(int AID) const {
  return AID >= ciExportActions && AID <= ciClearAction ? FEntries[AID - ciExportActions] : nullptr;
}

template <class F>
bool TDesktopWindow::Guard(F&& AWork) {
  if (!Model()) return false;
  try {
    AWork();
    return true;
  } catch (const ELinkRefused&) {
    return false;  // the link rules have shown their warning
  } catch (const std::exception& error) {
    DialogService().ShowMessage(TMessageKind::Error, error.what());
    return false;
  }
}

// ---- the map file

void TDesktopWindow::ShowWarnings(const std::string& AHeading, const std::vector<std::string>& AExtra) {
  std::vector<std::string> warnings;
  for (const TArchiveWarning& warning : FDocument->Warnings()) warnings.push_back(warning.Message());
  warnings.insert(warnings.end(), AExtra.begin(), AExtra.end());
  constexpr int KShown = 12;
  std::string text;
  int count = 0;
  for (const std::string& warning : warnings)
    if (++count <= KShown) text += '\n' + warning;
  if (count == 0) return;
  if (count > KShown) text += "\n(and " + std::to_string(count - KShown) + " more)";
  DialogService().ShowMessage(TMessageKind::Warning, AHeading + ":" + text);
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
  FTree->SetRootNodeCount(0);
  FRows.clear();
  FShape.clear();
  if (Model()) {
    Model()->Subject()->Detach(FObserver.get());
    FDocument->RemoveObserver(this);
  }
  FDocument = std::move(document);
  FMapPath = APath;
  Model()->Subject()->Attach(FObserver.get());
  FDocument->AddObserver(this);
  UndoStateChanged(Model()->Processor()->State());
  if (!APath.empty()) AddRecent(APath);
  ShowPanel();
  Refresh();
  FGantt->FitToMap();
  if (TVirtualNode* root = RowOf(0)) FTree->SetFocusedCell(root, dcTitle);
  std::vector<std::string> circle;
  if (std::string warning = LinkCircleInMap(Model()->Map()); !warning.empty()) circle.push_back(std::move(warning));
  ShowWarnings("Opened " + APath + " with warnings", circle);
  return true;
}

bool TDesktopWindow::SaveMap(const std::string& APath) {
  std::string path = APath.empty() ? FMapPath : APath;
  if (path.empty()) {
    path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Map"), {}, QStringLiteral("Maps (*.xml)"))
               .toStdString();
    if (path.empty()) return false;
  }
  if (!Guard([&] { FDocument->SaveAs(path); })) return false;
  ShowWarnings("Saved " + path + " with warnings");
  FMapPath = path;
  AddRecent(path);
  UpdateTitle();
  return true;
}

bool TDesktopWindow::IsModified() const {
  if (!Model()) return false;
  return !FDocument->IsClean();
}

bool TDesktopWindow::ConfirmDiscard() {
  if (!IsModified()) return true;
  const std::string name = FMapPath.empty() ? std::string("the new map") : FMapPath;
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

void TDesktopWindow::AddRecent(const std::string& APath) {
  std::erase(FRecent, APath);
  FRecent.insert(FRecent.begin(), APath);
  if (FRecent.size() > KMaxRecent) FRecent.resize(KMaxRecent);
  RebuildRecentMenu();
}

void TDesktopWindow::RebuildRecentMenu() {
  FRecentMenu->clear();
  int number = 1;
  for (const std::string& path : FRecent) {
    QAction* item = FRecentMenu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(QString::fromStdString(path)));
    QObject::connect(item, &QAction::triggered, this, [this, path] {
      if (ConfirmDiscard()) OpenMap(path);
    });
  }
  FRecentMenu->setEnabled(!FRecent.empty());
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
  FRecent.clear();
  for (size_t i = 1; i <= KMaxRecent; ++i) {
    const std::string path = store.ReadString(THive::CurrentUser, KSettingsKey, "Recent" + std::to_string(i), "");
    if (!path.empty()) FRecent.push_back(path);
  }
  RebuildRecentMenu();
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
  for (size_t i = 1; i <= KMaxRecent; ++i) {
    const std::string name = "Recent" + std::to_string(i);
    if (i <= FRecent.size())
      store.WriteString(THive::CurrentUser, KSettingsKey, name, FRecent[i - 1]);
    else
      store.DeleteValue(THive::CurrentUser, KSettingsKey, name);
  }
  store.Flush();
}

// ---- the tree's rows

TVirtualNode* TDesktopWindow::RowOf(int64_t AID) const {
  const auto found = FRows.find(AID);
  return found == FRows.end() ? nullptr : found->second;
}

int64_t TDesktopWindow::IDOf(const TVirtualNode* ARow) const { return ARow ? static_cast<int64_t>(ARow->Data) : -1; }

bool TDesktopWindow::ShapeChanged() const {
  size_t at = 0;
  std::vector<TLumetaNode*> stack{Model()->Map().Root()};
  while (!stack.empty()) {
    TLumetaNode* node = stack.back();
    stack.pop_back();
    if (at >= FShape.size() || FShape[at].first != node->ID() || FShape[at].second != node->Children().size())
      return true;
    ++at;
    for (auto child = node->Children().rbegin(); child != node->Children().rend(); ++child) stack.push_back(child->get());
  }
  return at != FShape.size();
}

void TDesktopWindow::BuildShape() {
  const int64_t focused = IDOf(FTree->FocusedNode());
  const int scrolled = FTree->verticalScrollBar()->value();
  const QScopedValueRollback<bool> building(FBuilding, true);
  FTree->SetRootNodeCount(0);
  FRows.clear();
  FShape.clear();
  FRows.reserve(Model()->Map().NodeCount());
  FTree->SetRootNodeCount(1);
  // Pre-order with a stack of its own: maps may be deeper than the native stack.
  std::vector<std::pair<TLumetaNode*, TVirtualNode*>> stack{{Model()->Map().Root(), FTree->Child(nullptr, 0)}};
  while (!stack.empty()) {
    auto [node, row] = stack.back();
    stack.pop_back();
    row->Data = static_cast<quintptr>(node->ID());
    FRows[node->ID()] = row;
    FShape.emplace_back(node->ID(), node->Children().size());
    FTree->SetChildCount(row, static_cast<int>(node->Children().size()));
    for (size_t i = node->Children().size(); i-- > 0;)
      stack.emplace_back(node->Children()[i].get(), FTree->Child(row, static_cast<int>(i)));
  }
  FTree->expandAll();
  // Branches the map keeps collapsed stay so, whatever the tree showed before.
  for (const auto& [id, count] : FShape)
    if (count > 0 && !Model()->Map().FindNode(id)->HostData().Expanded) FTree->SetExpanded(RowOf(id), false);
  if (TVirtualNode* row = RowOf(focused)) FTree->SetFocusedCell(row, dcTitle);
  FTree->verticalScrollBar()->setValue(scrolled);
}

QString TDesktopWindow::CellText(TVirtualNode* ARow, int AColumn) const {
  TLumetaNode* node = Model() ? Model()->Map().FindNode(IDOf(ARow)) : nullptr;
  if (!node) return {};
  if (AColumn == dcTitle) return QString::fromStdString(node->Title()).replace(QLatin1Char('\n'), QLatin1Char(' '));
  if (AColumn == dcPredecessors) {
    QStringList links;
    for (const TTaskLinkInfo& link : TaskLinksOf(node, true))
      links << QString::number(link.NodeID) + (std::string_view(link.Type) == "FS" ? QString() : QString::fromLatin1(link.Type));
    return links.join(QStringLiteral(", "));
  }
  try {
    ComPtr<IActionAttribute> action = ActionOf(node);
    if (!action) return {};
    switch (AColumn) {
      case dcStart: return DateText(action->GetStartDate());
      case dcDue: return DateText(action->GetDueDate());
      case dcCompleted: return DateText(action->GetCompletedDate());
      case dcDuration:
        return action->GetDuration() > 0 || node->IsSummaryTask()
                   ? Number(action->GetDuration()) + QLatin1Char(' ') +
                         QString::fromStdString(GetMeasureText(action->GetDurationMeasure())).toLower()
                   : QString();
      case dcComplete: return QString::number(action->GetComplete()) + QLatin1Char('%');
      case dcStatus: return QString::fromStdString(action->GetStatus());
      case dcPriority: return QString::fromStdString(action->GetPriority());
      case dcCost: return action->GetCost() != 0 ? Number(action->GetCost()) : QString();
      case dcWork:
        return action->GetWork() > 0 ? Number(action->GetWork()) + QLatin1Char(' ') +
                                           QString::fromStdString(GetMeasureText(action->GetWorkMeasure())).toLower()
                                     : QString();
      default: return {};
    }
  } catch (const std::exception&) {
    return QStringLiteral("?");  // a value the file holds but the converter refuses
  }
}

ComPtr<IVTEditLink> TDesktopWindow::EditorFor(TVirtualNode*, int AColumn) { return MakeDesktopEditor(AColumn); }

void TDesktopWindow::CommitCell(TVirtualNode* ARow, int AColumn, const QString& AText) {
  const int64_t id = IDOf(ARow);
  TLumetaNode* node = Model() ? Model()->Map().FindNode(id) : nullptr;
  if (!node || AText == CellText(ARow, AColumn)) return;
  if (AColumn == dcTitle) {
    Execute(make<TRetitleNodeCommand>(Model(), id, AText.toStdString()).get());
    return;
  }
  if (id == 0) return;
  if (AColumn == dcPredecessors) return CommitPredecessors(node, AText.toStdString());
  const int entry = ColumnEntry(AColumn);
  QString text = AText.trimmed();
  std::vector<std::string> words;
  switch (AColumn) {
    case dcStart:
    case dcCompleted:
    case dcDue: {
      if (text.isEmpty()) {
        words = {""};
        break;
      }
      const QDate date = QDate::fromString(text, QLatin1String(KDateFormat));
      if (!date.isValid()) {
        DialogService().ShowMessage(TMessageKind::Warning, "'" + text.toStdString() + "' is not a date (YYYY-MM-DD)");
        return;
      }
      // A date alone: the entry keeps the time of day the field had.
      words = {date.toString(Qt::ISODate).toStdString()};
      break;
    }
    case dcComplete: text.remove(QLatin1Char('%')); words = {text.trimmed().toStdString()}; break;
    case dcDuration:
    case dcWork: {
      const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
      if (parts.isEmpty()) {
        words = {"0"};
        break;
      }
      words = {parts[0].toStdString()};
      if (parts.size() < 2) break;
      const std::string measure = MeasureWord(parts[1]);
      if (AColumn == dcDuration) {
        words.push_back(measure);
        break;
      }
      // Work's measure has an entry of its own; it runs first, so that the number typed is
      // taken in the new measure, and both are one undo step.
      ComPtr<IActionAttribute> action = ActionOf(node);
      if (action && MeasureName(action->GetWorkMeasure()) == measure) break;
      SelectNodes({id});
      RunEntries("Change Work", {{ciWorkMeasure, {measure}}, {entry, words}});
      return;
    }
    default: words = {text.toStdString()}; break;
  }
  SelectNodes({id});
  RunEntry(entry, words);
}

void TDesktopWindow::CommitPredecessors(TLumetaNode* ANode, const std::string& AText) {
  std::vector<TPredecessorChange> changes;
  if (!Guard([&] { changes = PredecessorListChanges(Model(), ANode, AText); }) || changes.empty()) return;
  TLumetaModel* model = Model();
  const int64_t successor = ANode->ID();
  // A link refused after others ran fails the step, and the processor takes those back.
  Execute(make<TDesktopStepCommand>(model, "Change Predecessors", [model, successor, changes] {
            TLumetaMap& map = model->Map();
            for (const TPredecessorChange& change : changes)
              model->Processor()->Execute(MakeLinkCommand(model, change.Change, map.GetNode(change.PredecessorID),
                                                          map.GetNode(successor), change.Type)
                                              .get(),
                                          nullptr);
          }).get());
}

// ---- entries and events

void TDesktopWindow::RunEntry(int AID, const std::vector<std::string>& AValueWords) {
  if (!Model()) return;
  FTree->EndEditNode();
  Guard([&] { ExecuteEntry(Model(), Model()->GetCurrentSelection().get(), AID, AValueWords); });
  Refresh();
}

void TDesktopWindow::RunEntries(const std::string& ADescription, const std::vector<TEntryRun>& AEntries) {
  if (!Model() || AEntries.empty()) return;
  if (AEntries.size() == 1) return RunEntry(AEntries[0].first, AEntries[0].second);
  FTree->EndEditNode();
  TLumetaModel* model = Model();
  ComPtr<ISelection> selection = model->GetCurrentSelection();
  Execute(make<TDesktopStepCommand>(model, ADescription, [model, selection, AEntries] {
            for (const auto& [id, words] : AEntries) ExecuteEntry(model, selection.get(), id, words);
          }).get());
}

void TDesktopWindow::PickValue() {
  TVirtualNode* row = FTree->FocusedNode();
  const int column = FTree->FocusedColumn();
  if (!row || IDOf(row) == 0 || !Model()) return;
  // Duration's and Work's lists are their measures.
  const std::optional<TActionField> shown = column >= 0 && column < dcCount ? KColumnFields[column] : std::nullopt;
  const std::optional<TActionField> picked = shown == acDuration ? acDurationMeasure
                                             : shown == acWork   ? acWorkMeasure
                                                                 : shown;
  if (picked != acStatus && picked != acPriority && picked != acDurationMeasure && picked != acWorkMeasure) return;
  const std::string field = KActionFieldNames[*picked];
  const int entry = *FieldEntry(*picked);
  SelectNodes({IDOf(row)});
  std::string current;
  if (ComPtr<IActionAttribute> action = ActionOf(Model()->Map().FindNode(IDOf(row))))
    current = picked == acStatus            ? action->GetStatus()
              : picked == acPriority        ? action->GetPriority()
              : picked == acDurationMeasure ? MeasureName(action->GetDurationMeasure())
                                            : MeasureName(action->GetWorkMeasure());
  ComPtr<TLumetaPlugInEvent> event =
      make<TLumetaPlugInEvent>(KEventPickValue, static_cast<ILumetaModel*>(Model()), Model()->GetCurrentSelection().get());
  event->SetField(field, current);
  bool handled = false;
  Guard([&] { handled = Model()->HandleEvent(event.get()); });
  if (!handled || event->GetResult() == -1 || event->GetFieldValue() == current) return;
  RunEntry(entry, {event->GetFieldValue()});
}

void TDesktopWindow::Execute(ICommand* ACommand) {
  Guard([&] { Model()->GetCommandProcessor()->Execute(ACommand, nullptr); });
  Refresh();
}

void TDesktopWindow::DropNode(int64_t ANodeID, int64_t ANewParentID) {
  Execute(make<TMoveNodeCommand>(Model(), ANodeID, ANewParentID, -1, KEventDropUnder).get());
  WarnOfLinkCircle(ANodeID);
}

void TDesktopWindow::WarnOfLinkCircle(int64_t AMovedID) {
  if (!Model()) return;
  if (const std::string warning = LinkCircleAbove(Model()->Map().FindNode(AMovedID)); !warning.empty())
    DialogService().ShowMessage(TMessageKind::Warning, warning);
}

void TDesktopWindow::MoveFocused(int ADirection) {
  TLumetaNode* node = Model() ? Model()->Map().FindNode(IDOf(FTree->FocusedNode())) : nullptr;
  if (!node || node->IsRoot()) return;
  TLumetaNode* parent = node->Parent();
  const int index = node->IndexInParent();
  const int count = static_cast<int>(parent->Children().size());
  switch (ADirection) {
    case 0:  // up among its siblings
      if (index > 0) Execute(make<TMoveNodeCommand>(Model(), node->ID(), parent->ID(), index - 1).get());
      break;
    case 1:  // down
      if (index + 1 < count) Execute(make<TMoveNodeCommand>(Model(), node->ID(), parent->ID(), index + 1).get());
      break;
    case 2:  // under its previous sibling
      if (index > 0) {
        Execute(make<TMoveNodeCommand>(Model(), node->ID(), parent->Children()[index - 1]->ID(), -1, KEventDemote).get());
        WarnOfLinkCircle(node->ID());
      }
      break;
    case 3:  // beside its parent, after it
      if (!parent->IsRoot())
        Execute(make<TMoveNodeCommand>(Model(), node->ID(), parent->Parent()->ID(), parent->IndexInParent() + 1).get());
      break;
  }
  if (TVirtualNode* row = RowOf(node->ID())) FTree->SetFocusedCell(row, dcTitle);
}

void TDesktopWindow::AddNode(bool AChild) {
  TLumetaNode* node = Model() ? Model()->Map().FindNode(IDOf(FTree->FocusedNode())) : nullptr;
  if (!node) node = Model() ? Model()->Map().Root() : nullptr;
  if (!node) return;
  const bool child = AChild || node->IsRoot();
  ComPtr<TAddNodeCommand> command =
      child ? make<TAddNodeCommand>(Model(), node->ID(), "New Topic")
            : make<TAddNodeCommand>(Model(), node->Parent()->ID(), "New Topic", node->IndexInParent() + 1);
  Execute(command.get());
  if (TVirtualNode* row = RowOf(command->NodeID())) {
    SelectNodes({command->NodeID()});
    FTree->EditNode(row, dcTitle);
  }
}

void TDesktopWindow::DeleteFocused() {
  TLumetaNode* node = Model() ? Model()->Map().FindNode(IDOf(FTree->FocusedNode())) : nullptr;
  if (!node || node->IsRoot()) return;
  Execute(make<TDeleteNodeCommand>(Model(), node->ID()).get());
  Model()->SetSelectedIDs(Model()->SelectedIDs());
}

void TDesktopWindow::SelectNodes(const std::vector<int64_t>& AIDs) {
  FSyncing = true;
  QItemSelection selection;
  for (const int64_t id : AIDs)
    if (TVirtualNode* row = RowOf(id))
      selection.select(FTree->IndexOf(row, 0), FTree->IndexOf(row, dcCount - 1));
  FTree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  if (!AIDs.empty())
    if (TVirtualNode* row = RowOf(AIDs.front()))
      FTree->selectionModel()->setCurrentIndex(FTree->IndexOf(row, std::max(FTree->FocusedColumn(), 0)),
                                               QItemSelectionModel::NoUpdate);
  FSyncing = false;
  SyncSelection();
}

void TDesktopWindow::SyncSelection() {
  if (!Model() || FSyncing) return;
  std::vector<int64_t> ids;
  for (const QModelIndex& index : FTree->selectionModel()->selectedRows())
    if (const int64_t id = IDOf(FTree->NodeAt(index)); id >= 0) ids.push_back(id);  // the root too: it shows as selected
  if (ids != Model()->SelectedIDs()) Model()->SetSelectedIDs(ids);
  UpdateActions();
}

void TDesktopWindow::ShowPanel() {
  FPanel = nullptr;
  ComPtr<IActionPlugInUI> ui = Model()->FindPlugInUI(KActionPlugInName);
  if (!ui) return;
  Guard([&] { FPanel = QueryAs<IPlugInView>(ui->CreateView(nullptr).get()); });
  if (!FPanel) return;
  auto* form = static_cast<QWidget*>(FPanel->GetHandle());
  FPanelDock->setWidget(form);
  FPanelDock->setWindowTitle(QString::fromStdString(FPanel->GetCaption()));
  FPanel->Show();
}

void TDesktopWindow::Refresh() {
  if (!Model()) return;
  if (ShapeChanged()) {
    BuildShape();
    SelectNodes(Model()->SelectedIDs());
  } else {
    FTree->InvalidateAll();
  }
  FGantt->update();
  UpdateActions();
  UpdateTitle();
}

void TDesktopWindow::UpdateActions() {
  if (!Model()) return;
  ComPtr<ISelection> selection = Model()->GetCurrentSelection();
  for (int id = ciExportActions; id <= ciClearAction; ++id) {
    TEntryState state;
    try {
      state = UpdateEntry(Model(), selection.get(), id);
    } catch (const std::exception&) {
      // a controller that cannot answer leaves its entry disabled
    }
    FEntries[id - ciExportActions]->setEnabled(state.Enabled);
    FEntries[id - ciExportActions]->setChecked(state.Checked);
  }
  const std::vector<int64_t> ids = Model()->SelectedIDs();
  FStatus->setText(QStringLiteral("%1 nodes, %2 selected, task scheduling %3")
                       .arg(Model()->Map().NodeCount())
                       .arg(ids.size())
                       .arg(Model()->Map().Settings()->GetTaskScheduling() ? QStringLiteral("on")
                                                                          : QStringLiteral("off")));
}

void TDesktopWindow::UndoStateChanged(const TUndoState& AState) {
  ComPtr<ICommandProcessor> processor = Model()->GetCommandProcessor();
  ComPtr<ICommand> undo = processor->GetUndoCommand(), redo = processor->GetRedoCommand();
  FUndo->setEnabled(AState.CanUndo);
  FUndo->setText(undo ? QStringLiteral("&Undo %1").arg(QString::fromStdString(undo->GetDescription()))
                      : QStringLiteral("&Undo"));
  FRedo->setEnabled(AState.CanRedo);
  FRedo->setText(redo ? QStringLiteral("&Redo %1").arg(QString::fromStdString(redo->GetDescription()))
                      : QStringLiteral("&Redo"));
  UpdateTitle();
}

void TDesktopWindow::UpdateTitle() {
  const QString name = FMapPath.empty() ? QStringLiteral("Untitled") : QString::fromStdString(FMapPath);
  setWindowTitle(name + (IsModified() ? QStringLiteral(" *") : QString()) + QStringLiteral(" - Lumeta"));
}

// ---- map settings

void TDesktopWindow::EditMapSettings() {
  if (!Model()) return;
  TDesktopSettingsDialog dialog(Model(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  if (ComPtr<ICommand> command = dialog.Command()) Execute(command.get());
}
