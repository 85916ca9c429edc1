#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "attributes/LumetaAttributeFactory.h"
#include "host/LumetaMap.h"
#include "host/LumetaPlugInLoader.h"
#include "contract/LumetaSelectionIntf.h"

namespace {

// The folder the build put the plug-in library in, as the test environment names it.
std::string BuiltPlugInDir() {
  const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
  return dir ? dir : "";
}

// What Load(APath) raises; "" when it loads.
std::string LoadError(TLumetaPlugInLoader& ALoader, const std::string& APath) {
  try {
    ALoader.Load(APath);
  } catch (const ELumetaError& error) {
    return error.what();
  }
  return "";
}

TEST(PlugInLoader, HostsTheLibrarysManagersAndTakesItsRegistrationsBackOnUnload) {
  ASSERT_FALSE(BuiltPlugInDir().empty()) << "LUMETA_PLUGIN_DIR is not set";
  TLumetaPlugInLoader loader;
  ASSERT_EQ(LoadError(loader, PlugInLibraryPath(BuiltPlugInDir())), "");

  // The two Action classes from the export, then the three the library's property factory offers.
  const auto& classes = loader.Catalogue()->Classes();
  ASSERT_EQ(classes.size(), 5u);
  EXPECT_EQ(classes[0].ClassID, LumetaPlugInClassIDs[0]);
  EXPECT_EQ(classes[0].Flags, 1u) << "only the Action manager sets bit 0";
  EXPECT_EQ(classes[1].Flags, 0u);
  EXPECT_EQ(loader.PlugInClasses().size(), 2u);
  ASSERT_EQ(loader.Managers().size(), 5u);
  for (size_t i = 0; i < classes.size(); ++i) {
    EXPECT_EQ(loader.Managers()[i]->GetDescription(), classes[i].Description);
    EXPECT_TRUE(SameObject(loader.Managers()[i]->GetHost().get(), loader.Interactor()));
  }
  EXPECT_EQ(classes[4].Description, "NodeDates");
  ASSERT_TRUE(loader.PropertyFactory());
  EXPECT_EQ(loader.PropertyFactory()->GetCount(), 3);

  try {
    loader.CreateClass(MakeGuid("FEDCBA98-7654-3210-FEDC-BA9876543210"));
    FAIL() << "an unknown class was created";
  } catch (const ELumetaError& error) {
    EXPECT_EQ(error.what(), loader.Path() + ": {FEDCBA98-7654-3210-FEDC-BA9876543210}");
    EXPECT_EQ(error.Code(), CLASS_E_CLASSNOTAVAILABLE);
  }

  // The library registered its task link with the attribute factory when it loaded, so a link
  // list made by the library can grow; unloading takes the registration back.
  {
    TLumetaMap map;
    TLumetaNode* task = map.AddNode(map.Root(), "Task");
    ComPtr<IProperty> links = loader.Managers()[2]->NewProperty();
    task->SetProperty(links.get());
    ComPtr<IListAttribute> list = links.as<IListAttribute>();
    list->SetLoaded(true);
    ComPtr<INodeLink> link = list->Add().as<INodeLink>();
    link->SetLinkedNode(map.AddNode(map.Root(), "Predecessor"));
    EXPECT_EQ(link->GetLinkID(), "2");
    EXPECT_TRUE(SameObject(link->GetParentNode().get(), static_cast<INode*>(task)));
  }
  EXPECT_TRUE(AttributeFactory()->IsRegistered(ITaskLink::Iid));
  loader.Unload();
  EXPECT_FALSE(AttributeFactory()->IsRegistered(ITaskLink::Iid));
}

TEST(PlugInLoader, FailuresNameTheLibraryAndLeaveNothingLoaded) {
  TLumetaPlugInLoader loader;
  const std::string missing = "/nonexistent/plugins/lumeta_actionproperty.so";
  EXPECT_EQ(LoadError(loader, missing).rfind(missing + ": ", 0), 0u) << LoadError(loader, missing);
  EXPECT_FALSE(loader.Loaded());

  // The shared COM library loads but is no plug-in.
  const std::string notPlugIn = BuiltPlugInDir() + "/liblumeta_com.so";
  const std::string error = LoadError(loader, notPlugIn);
  EXPECT_EQ(error.rfind(notPlugIn + ": ", 0), 0u) << error;
  EXPECT_NE(error.find("LumetaCreateClass"), std::string::npos) << error;
  EXPECT_FALSE(loader.Loaded());
}

}  // namespace
