#include "session/MapDocument.h"

#include <cstdio>
#include <filesystem>

#include "com/AtomicFile.h"
#include "com/LumetaLocale.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/LumetaMapSettings.h"

namespace {

// A map that exported its tasks but was never saved afterwards has lost the identity its tasks
// carry; derived from where its file lives, the identity it takes the next time is the same one,
// so a second export updates those tasks instead of sending a second set.
std::string IdentityForFile(const std::string& APath) {
  std::error_code error;
  std::filesystem::path path = std::filesystem::weakly_canonical(std::filesystem::absolute(APath, error), error);
  const std::string text = path.string();
  // Two FNV-1a hashes with different offsets: 128 bits, the same on every machine and build.
  const auto fnv = [&](uint64_t AHash) {
    for (unsigned char c : text) AHash = (AHash ^ c) * 1099511628211ULL;
    return AHash;
  };
  char hex[33];
  std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(fnv(14695981039346656037ULL)),
                static_cast<unsigned long long>(fnv(0x6c62272e07bb0142ULL)));
  const std::string digits = hex;
  return digits.substr(0, 8) + "-" + digits.substr(8, 4) + "-" + digits.substr(12, 4) + "-" + digits.substr(16, 4) +
         "-" + digits.substr(20);
}

}  // namespace

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
  if (!APath.empty()) FModel->SetIdentityToCreate(IdentityForFile(APath));
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
