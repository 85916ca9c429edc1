#pragma once
// The desktop window of the reference host: the open map as a tree with the action columns, the
// plug-in's panel docked beside it, a Gantt strip, and the menus and toolbar of the controller's
// entries. Every edit runs through the model's command processor, so undo covers them all.
#include <QMainWindow>

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "session/MapDocument.h"
#include "com/ComPtr.h"
#include "contract/PlugInUIIntf.h"
#include "treegrid/VirtualTreeGrid.h"

class QAction;
class QDockWidget;
class QLabel;
class QMenu;
class TDesktopGantt;
class TDesktopObserver;
class TDesktopTree;

// The tree's columns, in order.
enum TDesktopColumn {
  dcTitle, dcStart, dcDue, dcCompleted, dcDuration, dcComplete, dcStatus, dcPriority, dcCost, dcWork,
  dcPredecessors, dcCount
};

class TDesktopWindow : public QMainWindow, private IUndoStateObserver {
 public:
  // APlugInDir is where the plug-in library is loaded from. ARemember false leaves the settings
  // store alone (screenshots, tests).
  explicit TDesktopWindow(std::string APlugInDir, bool ARemember = true);
  ~TDesktopWindow() override;

  // Opens the map file (an empty path: a new map). A file that cannot be read is reported with
  // its place through the dialog service and the open map stays. Answers whether it opened.
  bool OpenMap(const std::string& APath);
  // Writes the map atomically to its file (or APath); false when it failed (reported).
  bool SaveMap(const std::string& APath = {});
  // Asks whether to save unsaved changes; false when the user cancelled.
  bool ConfirmDiscard();
  bool IsModified() const;

  TLumetaModel* Model() const;
  const std::string& MapPath() const { return FMapPath; }
  TDesktopTree* Tree() const { return FTree; }
  TDesktopGantt* Gantt() const { return FGantt; }
  // The menu action of entry 6 to 9, or of "undo" / "redo".
  QAction* EntryAction(int AID) const;
  QAction* UndoAction() const { return FUndo; }
  QAction* RedoAction() const { return FRedo; }
  const std::vector<std::string>& RecentFiles() const { return FRecent; }

  // The tree's row of a node; null when it has none.
  TVirtualNode* RowOf(int64_t AID) const;
  int64_t IDOf(const TVirtualNode* ARow) const;
  // The text the tree shows in a cell.
  QString CellText(TVirtualNode* ARow, int AColumn) const;
  // Gives the cell a new text as its in-place editor does, running the column's entry.
  void CommitCell(TVirtualNode* ARow, int AColumn, const QString& AText);
  // Runs entry AID (6 to 23) on the current selection; errors are shown.
  void RunEntry(int AID, const std::vector<std::string>& AValueWords = {});
  // Runs the entries in order on the current selection as one undo step named ADescription; an
  // error is shown and takes back what the earlier entries did.
  using TEntryRun = std::pair<int, std::vector<std::string>>;
  void RunEntries(const std::string& ADescription, const std::vector<TEntryRun>& AEntries);
  // Shows the plug-in's pick list for the focused cell's field, and writes the picked value.
  void PickValue();
  // Makes the nodes the selection (the tree's and the model's).
  void SelectNodes(const std::vector<int64_t>& AIDs);
  // Brings the tree, the strip, the panel and the menus up to date with the map.
  void Refresh();
  // Runs a command through the processor as one undo step; errors are shown.
  void Execute(ICommand* ACommand);
  // Shows the map-settings dialog; OK changes the map as one undo step.
  void EditMapSettings();
  // Moves a node under another, as a drop of the node on it does.
  void DropNode(int64_t ANodeID, int64_t ANewParentID);
  // Warns when the moved node's new summaries hold a link that now leads in a circle.
  void WarnOfLinkCircle(int64_t AMovedID);

 protected:
  void closeEvent(QCloseEvent* AEvent) override;

 private:
  void BuildActions();
  void BuildTree();
  void BuildShape();
  bool ShapeChanged() const;
  void UpdateActions();
  void UpdateTitle();
  // The processor tells of every change of its steps: Undo, Redo and the title follow.
  void UndoStateChanged(const TUndoState& AState) override;
  void SyncSelection();
  void ShowPanel();
  void AddRecent(const std::string& APath);
  void RebuildRecentMenu();
  void LoadSettings();
  void SaveSettings();
  void MoveFocused(int ADirection);
  void AddNode(bool AChild);
  void DeleteFocused();
  ComPtr<IVTEditLink> EditorFor(TVirtualNode* ARow, int AColumn);
  // Makes the node's predecessors the typed list as one undo step; a refused list changes nothing.
  void CommitPredecessors(TLumetaNode* ANode, const std::string& AText);
  // Runs AWork; an error becomes a message box and false.
  template <class F>
  bool Guard(F&& AWork);
  // Shows what the last load or save passed over, then AExtra, in one message box headed by
  // AHeading; nothing when there is nothing.
  void ShowWarnings(const std::string& AHeading, const std::vector<std::string>& AExtra = {});

  std::string FPlugInDir;
  bool FRemember;
  std::unique_ptr<TMapDocument> FDocument;
  std::string FMapPath;
  ComPtr<TDesktopObserver> FObserver;
  ComPtr<IPlugInView> FPanel;
  bool FRefreshQueued = false;
  bool FSyncing = false;
  bool FBuilding = false;  // the tree's rows are being made: its expand signals are not the user's

  TDesktopTree* FTree = nullptr;
  TDesktopGantt* FGantt = nullptr;
  QDockWidget* FPanelDock = nullptr;
  QLabel* FStatus = nullptr;
  QAction* FEntries[4] = {};
  QAction* FUndo = nullptr;
  QAction* FRedo = nullptr;
  QMenu* FRecentMenu = nullptr;
  std::vector<std::string> FRecent;
  std::unordered_map<int64_t, TVirtualNode*> FRows;
  std::vector<std::pair<int64_t, size_t>> FShape;  // pre-order (ID, child count) the tree was built from
};

// The tree of the window: Enter opens Edit Action (F2 edits the cell), the symbol beside each
// title, the plug-in's tooltip, and nodes dragged onto others.
class TDesktopTree : public TVirtualTreeGrid {
 public:
  explicit TDesktopTree(TDesktopWindow* AWindow);

 protected:
  void keyPressEvent(QKeyEvent* AEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void mouseReleaseEvent(QMouseEvent* AEvent) override;
  bool viewportEvent(QEvent* AEvent) override;

 private:
  TDesktopWindow* FWindow;
  QPoint FPressAt;
  int64_t FDragged = -1;
  bool FDragging = false;
};
