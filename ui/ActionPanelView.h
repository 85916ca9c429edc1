#pragma once
// The action panel as the host sees it: it makes the form and its presenter, follows the model's
// current selection and the changes the model reports, and turns the user's edits into one command.
#include <QPointer>

#include <memory>

#include "com/AggregableObject.h"
#include "contract/LumetaCommandsIntf.h"
#include "contract/PlugInUIIntf.h"
#include "contract/SubjectIntf.h"

class QTimer;
class TfrmActionView;
class TActionViewPresenter;

class TActionView : public TImplements<TAggregableObject, IPlugInView> {
 public:
  // AnApplication is the host model (ILumetaModel, ISubject, ICurrentSelection), held counted.
  // The panel starts on the model's current selection; its form is made hidden, on first need.
  explicit TActionView(IUnknown* AnApplication);
  ~TActionView() override;

  // IPlugInView
  void Show() override;
  void Hide() override;
  void SetEnabled(bool AEnabled) override;
  void SetReadOnlyMode(bool AReadOnly) override;
  void* GetHandle() override;
  std::string GetName() override { return "ActionSelector"; }
  std::string GetCaption() override { return "Action"; }

  // Runs the edits made since the last fill as one command on the panel's nodes; nothing when
  // the form is hidden or nothing was changed. What the command raises reaches the caller.
  void Commit();

 private:
  class TObserver;

  TfrmActionView* Control();
  void ModelChanged();
  void SelectionChanged();
  // Shows the record of the panel's nodes, or marks the reload pending while the panel is hidden.
  void Reload();
  // After a change reported elsewhere: the fields the user is not editing follow the map.
  void Refresh();
  void ApplyMapColor();
  // The panel's nodes that are still in the map, as a new selection.
  ComPtr<ISelection> LiveSelection();
  void CommitReporting();

  ComPtr<IUnknown> FApplication;
  ComPtr<ILumetaModel> FModel;
  ComPtr<ISelection> FActiveSel;
  QPointer<TfrmActionView> FControl;
  std::unique_ptr<TActionViewPresenter> FActionViewPresenter;
  ComPtr<TObserver> FObserver;       // attached to the model: it holds no reference to the view
  std::unique_ptr<QTimer> FRefresh;  // gathers the changes of one command into one refresh
  bool FHandling = false;  // while a notification is handled
  bool FReload = false;
  bool FReadOnlyMode = false;
  bool FVisible = false;
};

// The action panel the controller shows, answering IPlugInView; empty without a window system or
// an application.
ComPtr<IUnknown> CreateActionPanel(IUnknown* AParent, IUnknown* AnApplication);
