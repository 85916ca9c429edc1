#include "session/MapDocument.h"

#include "com/AtomicFile.h"
#include "com/LumetaLocale.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/LumetaMapSettings.h"

TMapDocument::TMapDocument() = default;

TMapDocument::~TMapDocument() {
  Close();
  Unload();
}

void TMapDocument::Open(const std::string& APlugInDir, const std::string& APath) {
  FLoader.Load(PlugInLibraryPath(APlugInDir));
  FModel = make<TLumetaModel>();
  FArchive = std::make_unique<TLumetaXmlArchive>();
  for (const ComPtr<IPropertyManager>& manager : FLoader.Managers()) {
    FModel->RegisterManager(manager.get());
    FArchive->RegisterManager(manager.get());
  }
  FLoader.Interactor()->SetApplication(static_cast<ILumetaModel*>(FModel.get()));
  FPath = APath;
  const double today = LocaleService().Today();
  // Only a file that is not there, in a folder that is, starts a new map; one that cannot be
  // reached (a missing folder, a folder without search permission, a path through a file, a loop
  // of links) is an error from the load.
  if (APath.empty() || IsAbsentInExistingFolder(APath)) {
    // A new map plans from the morning of the day it was made.
    TLumetaMapSettings* settings = FModel->Map().MapSettings();
    ComPtr<IWorkingScheduler> scheduler = QueryAs<IWorkingScheduler>(settings->GetScheduler().get());
    settings->SetScheduleStart(scheduler->ToWorkingStart(today + 8.0 / 24));
    settings->SetModified(false);
  } else {
    std::unique_ptr<TLumetaMap> map = FArchive->Load(APath);
    FModel->Map().Swap(*map);
    FModel->Map().SettleDefaultScheduleStart(today);
  }
  FModel->Processor()->MarkClean();
}

void TMapDocument::Save() {
  if (FPath.empty()) throw ELumetaError("the map has no file yet");
  SaveCopy(FPath);
  FModel->Processor()->MarkClean();
}

void TMapDocument::SaveAs(const std::string& APath) {
  SaveCopy(APath);
  FPath = APath;
  FModel->Processor()->MarkClean();
}

void TMapDocument::SaveCopy(const std::string& APath) {
  if (!FModel) throw EInvalidOperation("No map is open");
  FArchive->Save(FModel->Map(), APath);
}

void TMapDocument::Close() {
  // The undo steps hold the model, the model the plug-in's managers, and the interactor the model.
  if (FModel) FModel->Close();
  if (FLoader.Interactor()) FLoader.Interactor()->SetApplication(nullptr);
  FModel.reset();
  FArchive.reset();
}

void TMapDocument::Unload() { FLoader.Unload(); }

bool TMapDocument::IsClean() const { return !FModel || FModel->Processor()->IsClean(); }

const std::vector<TArchiveWarning>& TMapDocument::Warnings() const {
  static const std::vector<TArchiveWarning> none;
  return FArchive ? FArchive->Issues() : none;
}

void TMapDocument::AddObserver(IUndoStateObserver* AObserver) {
  if (FModel) FModel->Processor()->AddObserver(AObserver);
}

void TMapDocument::RemoveObserver(IUndoStateObserver* AObserver) {
  if (FModel) FModel->Processor()->RemoveObserver(AObserver);
}
