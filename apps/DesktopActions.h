#pragma once
// The desktop window's menus and toolbar: every QAction, what it runs, and its state. Entry
// actions (6 to 9) follow what the plug-in's controller says of the selection, Undo and Redo the
// document's undo state, and Open Recent the files the window remembers.
#include <QObject>

#include <string>
#include <vector>

#include "host/LumetaCommandProcessor.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"

class QAction;
class QMenu;
class TDesktopWindow;

class TDesktopActions : public QObject {
 public:
  // Fills the window's menu bar and toolbar; the window outlives the actions.
  explicit TDesktopActions(TDesktopWindow& AWindow);

  // The action of entry 6 to 9; null for any other id.
  QAction* Entry(int AID) const;
  QAction* Undo() const { return FUndo; }
  QAction* Redo() const { return FRedo; }
  // View > Critical Path, checkable.
  QAction* CriticalPath() const { return FCriticalPath; }

  // Enables and checks the entries as the controller updates them for the current selection; a
  // disabled one gives the reason in its tooltip.
  void UpdateEntries(TActionEditor* AEditor);
  // Undo and Redo enabled and named after the steps they would take.
  void UpdateUndo(TLumetaModel* AModel, const TUndoState& AState);

  // The files opened last, newest first.
  const std::vector<std::string>& RecentFiles() const { return FRecent; }
  void SetRecentFiles(std::vector<std::string> APaths);
  void AddRecent(const std::string& APath);

 private:
  void BuildFileMenu();
  void BuildEditMenu();
  void BuildActionMenu();
  void BuildViewMenu();
  void RebuildRecentMenu();
  template <class F>
  QAction* Add(QMenu* AMenu, const QString& AText, const QKeySequence& AKey, F&& AWork);

  TDesktopWindow& FWindow;
  QAction* FEntries[4] = {};
  QAction* FUndo = nullptr;
  QAction* FRedo = nullptr;
  QAction* FCriticalPath = nullptr;
  QMenu* FRecentMenu = nullptr;
  std::vector<std::string> FRecent;
};
