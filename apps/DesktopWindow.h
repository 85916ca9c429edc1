#pragma once
// The desktop window of the reference host: the open map's document, shown by one item model in
// a tree with the action columns and a Gantt strip beside it, the plug-in's panel docked on the
// right, and the menus and toolbar of its action manager. Every edit runs through the document's
// command processor, so undo covers them all; Undo, Redo and the title follow the document's undo
// state as it reports it.
#include <QMainWindow>

#include <memory>
#include <string>
#include <vector>

#include "apps/DesktopModel.h"
#include "com/ComPtr.h"
#include "contract/PlugInUIIntf.h"
#include "session/MapDocument.h"
#include "session/ScheduleConflictWatch.h"

class QAction;
class QDockWidget;
class QLabel;
class TDesktopActions;
class TDesktopGantt;
class TDesktopNotes;
class TDesktopResourceView;
class TDesktopObserver;
class TDesktopTree;

class TDesktopWindow : public QMainWindow, private IUndoStateObserver {
 public:
  // APlugInDir is where the plug-in library is loaded from. ARemember false leaves the settings
  // store alone (screenshots, tests). Messages go to the dialog service the program set.
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
  TMapDocument* Document() const { return FDocument.get(); }
  TDesktopItemModel* ItemModel() const { return FItems; }
  const std::string& MapPath() const;
  TDesktopTree* Tree() const { return FTree; }
  TDesktopGantt* Gantt() const { return FGantt; }
  QDockWidget* PanelDock() const { return FPanelDock; }
  TDesktopActions* Actions() const { return FActions; }
  TDesktopNotes* Notes() const { return FNotes; }
  // The resource view, made and shown on first call; it follows the map while it is shown.
  TDesktopResourceView* ShowResources();

  // Runs entry AID (6 to 9) on the current selection; errors are shown.
  void RunEntry(int AID);
  // Shows the plug-in's pick list for the focused cell's field, and writes the picked value.
  void PickValue();
  // Takes back the last step, or (ARedo) does again the last one taken back.
  void Undo(bool ARedo);
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
  enum class TMove { Up, Down, Indent, Outdent };
  void MoveFocused(TMove AMove);
  void AddNode(bool AChild);
  void DeleteFocused();

 protected:
  void closeEvent(QCloseEvent* AEvent) override;

 private:
  void BuildViews();
  // Refresh once the event loop runs, however many changes came before.
  void QueueRefresh();
  void UpdateStatus();
  // Names in one message the conflicts the last step brought about, and has the strip mark all
  // that stand while the map schedules.
  void ReportConflicts();
  void UpdateTitle();
  // The document tells of every change of its steps: Undo, Redo, the title and the views follow.
  void UndoStateChanged(const TUndoState& AState) override;
  void SyncSelection();
  void ShowPanel();
  void LoadSettings();
  void SaveSettings();
  // Warns when the moved node's new summaries hold a link that now leads in a circle.
  void WarnOfLinkCircle(int64_t AMovedID);
  // Shows what the last load or save passed over, then AExtra, in one message box headed by
  // AHeading; nothing when there is nothing.
  void ShowWarnings(const std::string& AHeading, const std::vector<std::string>& AExtra = {});

  std::string FPlugInDir;
  bool FRemember;
  std::unique_ptr<TMapDocument> FDocument;
  TScheduleConflictWatch FConflicts;
  ComPtr<TDesktopObserver> FObserver;
  ComPtr<IPlugInView> FPanel;
  bool FRefreshQueued = false;
  bool FSyncing = false;

  TDesktopItemModel* FItems = nullptr;
  TDesktopTree* FTree = nullptr;
  TDesktopGantt* FGantt = nullptr;
  TDesktopActions* FActions = nullptr;
  QDockWidget* FPanelDock = nullptr;
  TDesktopNotes* FNotes = nullptr;
  TDesktopResourceView* FResources = nullptr;
  QLabel* FStatus = nullptr;
};
