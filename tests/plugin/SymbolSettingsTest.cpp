#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fstream>
#include <string>

#include "host/LumetaHostObject.h"
#include "host/LumetaInteractor.h"
#include "host/LumetaPlugInLoader.h"
#include "settings/LumetaSettingsStore.h"
#include "contract/SubjectIntf.h"
#include "tests/plugin/SymbolTestSupport.h"

namespace {

constexpr const char* ShowSymbolKey = "Software\\Lumeta\\Test\\Action";

// Points the process-wide settings store at a fresh temporary folder.
class SymbolSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSettingsFolder(Folder()); }
  std::string Folder() const { return FFolder.path().toStdString(); }
  bool Stored(bool ADefault) { return TSettingsStore(Folder()).ReadBool(THive::CurrentUser, ShowSymbolKey, "Action", ADefault); }

  QTemporaryDir FFolder;
  ComPtr<TLumetaHostObject> FHost = make<TLumetaHostObject>("Software\\Lumeta\\Test");
};

class TRecordingObserver : public TImplements<TAggregableObject, IObserver> {
 public:
  void Update(IUnknown* ASubject) override {
    if (QueryAs<ISubject>(ASubject)->GetChanges()->Contains(SettingsChangedKind)) Subjects.push_back(ASubject);
  }
  std::vector<IUnknown*> Subjects;
};

TEST_F(SymbolSettingsTest, RenderFlagBitZeroFollowsTheSettingAndTheRecord) {
  TSymbolMap map;
  TActionProperty* property = map.AddActionNode();
  IPropertyRenderInfo* info = property->GetRenderInfo().get();
  EXPECT_EQ(info->GetValues(), (TPropertyRenderValues{.Kind = 1, .Color = 0x78000000, .Flags = RenderFlagSymbol}));
  info->SetFlags(RenderFlagSymbol | RenderFlagHostMark | 0x10);
  property->UpdateRenderInfo();
  EXPECT_EQ(info->GetFlags(), 0x10) << "an empty record has no symbol; bit 1 is always cleared";
  property->Action()->SetDueDate(45000);
  property->UpdateRenderInfo();
  EXPECT_EQ(info->GetFlags(), 0x11);

  map.Manager.as<IPlugInSettings>()->SetValue(1, false);
  property->Action()->SetIsAction(true);
  property->UpdateRenderInfo();
  EXPECT_EQ(info->GetFlags(), 0x10) << "off, whatever the record holds";
}

TEST_F(SymbolSettingsTest, ManagerAnswersItsSettingsAndTellsHostAndObservers) {
  ComPtr<TActionPropertyManager> manager = make<TActionPropertyManager>();
  ComPtr<TLumetaInteractor> interactor = make<TLumetaInteractor>();
  manager->SetHost(interactor.get());
  auto settings = manager.as<IPlugInSettings>();
  auto subject = manager.as<ISubject>();
  ComPtr<TRecordingObserver> observer = make<TRecordingObserver>();
  subject->Attach(observer.get());
  settings->SetValue(1, int32_t{0});
  EXPECT_EQ(settings->GetValue(1), TVariant(false));
  EXPECT_EQ(interactor->SettingsChangedCount(), 1);
  ASSERT_EQ(observer->Subjects.size(), 1u);
  EXPECT_TRUE(SameObject(observer->Subjects[0], manager.get()));
  EXPECT_THROW(settings->SetValue(1, std::string("yes")), EConvertError);
  subject->Detach(observer.get());
}

TEST_F(SymbolSettingsTest, SettingSurvivesShutdownAndTheNextStartup) {
  ComPtr<TActionPropertyManager> first = make<TActionPropertyManager>();
  first->Settings()->SetValue(1, false);
  first->Startup(FHost.get());
  EXPECT_EQ(first->Settings()->GetValue(1), TVariant(true)) << "a missing value reads as true";
  first->Settings()->SetValue(1, false);
  first->Shutdown(FHost.get());
  EXPECT_FALSE(Stored(true));

  ComPtr<TActionPropertyManager> second = make<TActionPropertyManager>();
  second->Startup(FHost.get());
  EXPECT_EQ(second->Settings()->GetValue(1), TVariant(false));
  EXPECT_THROW(second->Startup(make<TLumetaInteractor>().get()), ENoInterface);
}

TEST_F(SymbolSettingsTest, FailedWriteReachesTheCallerOfShutdown) {
  // A folder whose parent is a file cannot be created, not even by root.
  const std::string blocker = Folder() + "/blocker";
  std::ofstream(blocker) << "x";
  SetSettingsFolder(blocker + "/settings");
  ComPtr<TActionPropertyManager> manager = make<TActionPropertyManager>();
  EXPECT_NO_THROW(manager->Shutdown(FHost.get())) << "the default is not written";
  manager->Settings()->SetValue(1, false);
  EXPECT_THROW(manager->Shutdown(FHost.get()), ELumetaError);
  // Let the pending write land so that the store can move on.
  QDir().remove(QString::fromStdString(blocker));
  SettingsStore().Flush();
}

TEST_F(SymbolSettingsTest, LoaderStartsAndShutsDownTheLibrarysManagers) {
  SettingsStore().WriteBool(THive::CurrentUser, ShowSymbolKey, "Action", false);
  TLumetaPlugInLoader loader(nullptr, nullptr, FHost);
  loader.Load(PlugInLibraryPath(DefaultPlugInDir()));
  auto settings = loader.Managers()[0].as<IPlugInSettings>();
  EXPECT_EQ(settings->GetValue(1), TVariant(false)) << "the library reads the store the host writes";
  EXPECT_EQ(loader.Interactor()->SettingsChangedCount(), 1);
  settings->SetValue(1, true);
  settings.reset();
  loader.Unload();
  EXPECT_TRUE(Stored(false));
}

}  // namespace
