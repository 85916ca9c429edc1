#include "ui/ActionPanelView.h"

#include <QApplication>
#include <QTimer>

#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "com/DialogService.h"
#include "commands/SelectionData.h"
#include "contract/ActionAttributesIntf.h"
#include "plugin/ActionCommandHelpers.h"
#include "ui/ActionPanelForm.h"
#include "ui/ActionViewPresenter.h"

namespace {

ComPtr<INode> RootOf(ILumetaModel* AModel) {
  ComPtr<ITree> tree = AModel ? AModel->GetTree() : nullptr;
  return tree ? tree->GetRoot() : nullptr;
}

// The map's own colour: the "Color" entry of its settings ("#rrggbb" or a colour name), when the
// host's settings carry one.
std::optional<QColor> MapColor(INode* ARoot) {
  ComPtr<IRecordAttribute> settings = ARoot ? QueryAs<IRecordAttribute>(ARoot->FindAttribute(KMapSettingsName).get()) : nullptr;
  ComPtr<IStringAttribute> color = settings ? QueryAs<IStringAttribute>(settings->FindChild("Color").get()) : nullptr;
  if (!color) return std::nullopt;
  const QColor value = QColor::fromString(QString::fromStdString(color->GetValue()));
  return value.isValid() ? std::optional<QColor>(value) : std::nullopt;
}

}  // namespace

// Hears the model for the view without keeping it alive: the model's subject counts its observers.
class TActionView::TObserver : public TImplements<TAggregableObject, IObserver> {
 public:
  explicit TObserver(TActionView* AView) : FView(AView) {}
  void Update(IUnknown*) override {
    if (FView) FView->ModelChanged();
  }
  TActionView* FView;
};

TActionView::TActionView(IUnknown* AnApplication)
    : FApplication(AnApplication),
      FModel(QueryAs<ILumetaModel>(AnApplication)),
      FObserver(make<TObserver>(this)),
      FRefresh(std::make_unique<QTimer>()) {
  FRefresh->setSingleShot(true);
  FRefresh->setInterval(0);
  QObject::connect(FRefresh.get(), &QTimer::timeout, [this] { Refresh(); });
  if (ComPtr<ISubject> subject = QueryAs<ISubject>(AnApplication)) subject->Attach(FObserver.get());
  ComPtr<ICurrentSelection> current = QueryAs<ICurrentSelection>(AnApplication);
  FActiveSel = current ? current->GetCurrentSelection() : nullptr;
  if (!FActiveSel) FActiveSel = make<TData>();
  FReload = true;
}

TActionView::~TActionView() {
  FObserver->FView = nullptr;
  if (ComPtr<ISubject> subject = QueryAs<ISubject>(FApplication.get())) subject->Detach(FObserver.get());
  FRefresh.reset();
  FActionViewPresenter.reset();
  // The host may have docked the form elsewhere; it is freed here all the same, since its code
  // goes with the plug-in.
  delete FControl.data();
}

TfrmActionView* TActionView::Control() {
  if (!FControl) {
    FControl = new TfrmActionView;
    FActionViewPresenter = std::make_unique<TActionViewPresenter>(static_cast<IActionView*>(FControl.data()),
                                                                  TActionRecordPresenter::TForm::Panel);
    QObject::connect(FControl.data(), &TfrmActionView::CommitRequested, [this] { CommitReporting(); });
    ApplyMapColor();
    FControl->SetReadOnly(FReadOnlyMode);
    if (!FReadOnlyMode) FControl->SetEnabled(FActiveSel->GetCount() > 0);
  }
  return FControl.data();
}

void TActionView::Show() {
  FVisible = true;
  Control()->show();
  if (FReload) Reload();
  FControl->SetReadOnly(FReadOnlyMode);
  if (!FReadOnlyMode) FControl->SetEnabled(FActiveSel->GetCount() > 0);
}

void TActionView::Hide() {
  FVisible = false;
  if (FControl) FControl->hide();
}

void TActionView::SetEnabled(bool AEnabled) { Control()->SetEnabled(AEnabled); }

void TActionView::SetReadOnlyMode(bool AReadOnly) {
  FReadOnlyMode = AReadOnly;
  Control()->SetReadOnly(AReadOnly);
  if (!AReadOnly) FControl->SetEnabled(FActiveSel->GetCount() > 0);
}

void* TActionView::GetHandle() { return static_cast<QWidget*>(Control()); }

ComPtr<ISelection> TActionView::LiveSelection() {
  ComPtr<TData> live = make<TData>(FModel ? static_cast<IUnknown*>(FModel->GetPropertyClasses().get()) : nullptr);
  ComPtr<ITree> tree = FModel ? FModel->GetTree() : nullptr;
  for (int32_t i = 0; tree && i < FActiveSel->GetCount(); ++i) {
    ComPtr<INode> node = QueryAs<INode>(FActiveSel->GetItem(i).get());
    if (node && tree->FindNode(node->GetID()).get() == node.get()) live->Add(node.get());
  }
  return live;
}

void TActionView::ModelChanged() {
  // A copy: what runs from here (a commit) reports changes of its own into the same list.
  struct TSeen {
    int32_t Kind;
    ComPtr<IUnknown> Object;
  };
  std::vector<TSeen> changes;
  if (ComPtr<ISubject> subject = QueryAs<ISubject>(FApplication.get()))
    if (ComPtr<IChanges> list = subject->GetChanges())
      for (int32_t i = 0; i < list->GetCount(); ++i)
        if (ComPtr<IChange> change = list->GetItem(i)) changes.push_back({change->GetKind(), change->GetObject()});

  if (FHandling) {
    // Changes of what this view runs itself (a commit): the fields catch up afterwards.
    FRefresh->start();
    return;
  }
  const bool handling = std::exchange(FHandling, true);
  struct TRestore {
    bool& Flag;
    bool Value;
    ~TRestore() { Flag = Value; }
  } restore{FHandling, handling};
  bool selection = false, refresh = false;
  ComPtr<INode> root = RootOf(FModel.get());
  for (const TSeen& change : changes) {
    if (change.Kind == KChangeCurrentSelection) selection = true;
    if (change.Kind != KChangeNodeChanged) continue;
    ComPtr<INode> node = QueryAs<INode>(change.Object.get());
    if (!node) continue;
    if (node.get() == root.get()) {
      // The map's own properties: its colour and its list of priorities.
      ApplyMapColor();
      refresh = true;
    }
    if (FActiveSel->Contains(node.get())) refresh = true;
  }
  if (selection)
    SelectionChanged();
  else if (refresh)
    FRefresh->start();
}

void TActionView::SelectionChanged() {
  CommitReporting();
  FRefresh->stop();
  ComPtr<ICurrentSelection> current = QueryAs<ICurrentSelection>(FApplication.get());
  FActiveSel = current ? current->GetCurrentSelection() : make<TData>();
  if (FControl) FActionViewPresenter->Reset();
  const bool any = FActiveSel->GetCount() > 0;
  if (any) Reload();
  if (FControl && !FReadOnlyMode) FControl->SetEnabled(any);
}

void TActionView::Reload() {
  if (!FVisible) {
    FReload = true;
    return;
  }
  FReload = false;
  TfrmActionView* control = Control();
  // One repaint for the whole fill.
  control->setUpdatesEnabled(false);
  ComPtr<ISelection> selection = LiveSelection();
  if (selection->GetCount() > 0)
    FActionViewPresenter->Open(FModel.get(), selection.get(), CombinedAction(selection.get(), false).get());
  else
    FActionViewPresenter->Reset();
  control->setUpdatesEnabled(true);
}

void TActionView::Refresh() {
  if (!FVisible) {
    FReload = true;
    return;
  }
  ComPtr<ISelection> selection = LiveSelection();
  if (selection->GetCount() < FActiveSel->GetCount()) {
    // A node of the panel left the map: nothing of it is shown or saved any more.
    FActiveSel = make<TData>();
    FActionViewPresenter->Reset();
    if (!FReadOnlyMode) FControl->SetEnabled(false);
    return;
  }
  if (!FActionViewPresenter->GetModified()) return Reload();
  FControl->setUpdatesEnabled(false);
  // The record may be gone meanwhile: then the untouched fields show an empty one.
  FActionViewPresenter->Open(FModel.get(), selection.get(), CombinedAction(selection.get(), true).get(), true);
  FControl->setUpdatesEnabled(true);
}

void TActionView::ApplyMapColor() {
  if (!FControl) return;
  const std::optional<QColor> color = MapColor(RootOf(FModel.get()).get());
  FControl->SetColor(color ? *color : QApplication::palette().color(QPalette::Window));
}

void TActionView::Commit() {
  if (!FControl || !FControl->isVisible() || !FModel || !FActionViewPresenter->GetModified()) return;
  ComPtr<ISelection> selection = LiveSelection();
  if (selection->GetCount() == 0) return;
  ComPtr<IActionAttribute> action = CombinedAction(selection.get(), true);
  const std::string typed = FActionViewPresenter->SaveToAction(action.get());
  if (ComPtr<ICommand> command = PrepareRecordCommand(FModel.get(), selection.get(), action.get(), typed))
    FModel->GetCommandProcessor()->Execute(command.get(), selection.get());
}

void TActionView::CommitReporting() {
  try {
    Commit();
  } catch (const std::exception& error) {
    DialogService().ShowMessage(TMessageKind::Warning, error.what());
    // The panel shows what the map holds again.
    if (FVisible && FControl) Reload();
  }
}

ComPtr<IUnknown> CreateActionPanel(IUnknown*, IUnknown* AnApplication) {
  // Without a widget application there are no windows to show.
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || !AnApplication) return {};
  return ComPtr<IPlugInView>(make<TActionView>(AnApplication));
}
