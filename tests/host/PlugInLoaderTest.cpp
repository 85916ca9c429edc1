#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "host/LumetaPlugInLoader.h"

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

TEST(PlugInLoader, LoadsTheBuiltLibraryAndAsksItForAnUnknownClass) {
  ASSERT_FALSE(BuiltPlugInDir().empty()) << "LUMETA_PLUGIN_DIR is not set";
  TLumetaPlugInLoader loader;
  ASSERT_EQ(LoadError(loader, PlugInLibraryPath(BuiltPlugInDir())), "");

  const auto& classes = loader.Catalogue()->Classes();
  ASSERT_EQ(classes.size(), 2u);
  EXPECT_EQ(classes[0].Description, "Action");
  EXPECT_EQ(classes[0].ClassID, LumetaPlugInClassIDs[0]);
  EXPECT_EQ(classes[0].Flags, 1u);
  EXPECT_EQ(classes[1].Description, "Action List");
  EXPECT_EQ(classes[1].ClassID, LumetaPlugInClassIDs[1]);
  EXPECT_EQ(classes[1].Flags, 0u);
  for (const auto& manager : loader.Managers())
    EXPECT_TRUE(SameObject(manager->GetHost().get(), loader.Interactor()));

  try {
    loader.CreateClass(MakeGuid("FEDCBA98-7654-3210-FEDC-BA9876543210"));
    FAIL() << "an unknown class was created";
  } catch (const ELumetaError& error) {
    EXPECT_EQ(error.what(), loader.Path() + ": {FEDCBA98-7654-3210-FEDC-BA9876543210}");
    EXPECT_EQ(error.Code(), CLASS_E_CLASSNOTAVAILABLE);
  }
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
