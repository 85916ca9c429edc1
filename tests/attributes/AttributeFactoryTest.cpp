#include <gtest/gtest.h>

#include "AttributeTestFakes.h"
#include "tests/support/Thrown.h"

namespace {

// These tests use the real factory library; each leaves the default library and no override.
class AttributeFactoryLibrary : public ::testing::Test {
 protected:
  void SetUp() override { SetAttributeFactory(nullptr); }
  void TearDown() override {
    SetAttributeFactoryLibraryPath("");
    SetAttributeFactory(nullptr);
  }
};

TEST_F(AttributeFactoryLibrary, IsLoadedBesideThisProgramOnFirstNeed) {
  EXPECT_NE(AttributeFactoryLibraryPath().find("/lumeta_attributefactories.so"), std::string::npos);
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IWordBoolAttribute>());
  ComPtr<IWordBoolAttribute> item = list->Add().as<IWordBoolAttribute>();
  item->SetValue(true);
  EXPECT_TRUE(list->IsModified());
  EXPECT_EQ(TAttribute::ClassNameOf(item.get()), "TWordBoolAttribute");
  size_t hash = 0;
  EXPECT_TRUE(TAttribute::ValueHashOf(item.get(), hash)) << "items made in the library can be indexed";

  ILumetaAttributeFactory* factory = AttributeFactory();
  EXPECT_EQ(AttributeFactory(), factory) << "loaded once, then kept";
}

TEST_F(AttributeFactoryLibrary, PlugInClassesRegisterIntoIt) {
  AttributeFactory()->RegisterClass(PairRecordIid, [] { return ComPtr<IAttribute>(make<TPairRecord>()); });
  ComPtr<TListAttribute> list = make<TListAttribute>(PairRecordIid);
  EXPECT_EQ(list->Add().as<IPersistStream>()->GetClassID(), uuidof<IRecordAttribute>());
  AttributeFactory()->RegisterClass(PairRecordIid, nullptr);
  EXPECT_FALSE(AttributeFactory()->IsRegistered(PairRecordIid));
}

TEST_F(AttributeFactoryLibrary, UnknownInterfaceRaisesAnErrorNamingIt) {
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IListAttribute>());
  EXPECT_EQ(ThrownText<EClassNotFound>([&] { list->Add(); }),
            "No attribute class is registered for {CEE31D03-82ED-4491-AB19-C7274B168564}");
  EXPECT_EQ(list->GetChildCount(), 0);
}

TEST_F(AttributeFactoryLibrary, MissingLibraryRaisesAnErrorNamingIt) {
  const std::string missing = "/nonexistent/folder/lumeta_attributefactories.so";
  SetAttributeFactoryLibraryPath(missing);
  ComPtr<TListAttribute> list = make<TListAttribute>(uuidof<IIntegerAttribute>());
  ComPtr<TRecordAttribute> record = make<TRecordAttribute>();
  for (auto create : std::initializer_list<std::function<void()>>{[&] { list->Add(); },
                                                                  [&] { record->AddChildOfType(uuidof<IIntegerAttribute>()); }}) {
    const std::string error = ThrownText<ELumetaError>(create);
    EXPECT_NE(error.find(missing), std::string::npos) << error;
  }
  SetAttributeFactoryLibraryPath("");
  EXPECT_TRUE(list->Add()) << "the default library loads again";
}

}  // namespace
