#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/ErrorInfo.h"
#include "plugin/ActionProperty.h"
#include "contract/SubjectIntf.h"

extern "C" HRESULT LumetaCreateClass(const GUID* AClassID, IUnknown** AObject) noexcept;

namespace {

ComPtr<IUnknown> CreateClass(const GUID& AClassID) {
  ComPtr<IUnknown> object;
  EXPECT_EQ(LumetaCreateClass(&AClassID, object.put()), S_OK);
  return object;
}

// Records what managers register.
class TCatalogue : public TImplements<TAggregableObject, IPropertyCatalogue, ICatalogueFlags> {
 public:
  void AddPropertyClass(const std::string& AClassDescription) override { Descriptions.push_back(AClassDescription); }
  void SetClassID(const GUID& AClassID) override { ClassIDs.push_back(AClassID); }
  uint32_t GetCatalogueFlags() override { return Flags; }
  void SetCatalogueFlags(uint32_t AFlags) override { Flags = AFlags; }
  std::vector<std::string> Descriptions;
  std::vector<GUID> ClassIDs;
  uint32_t Flags = 0x6;
};

class TInteractor : public TImplements<TAggregableObject, IPlugInInteractor> {
 public:
  ComPtr<IUnknown> GetApplication() override { return nullptr; }
  void SettingsChanged(IUnknown*) override {}
};

TEST(LumetaCreateClass, CreatesAnIndependentManagerPerCall) {
  for (const GUID& classID : {CLSID_ActionPropertyManager, CLSID_MasterActionPropertyManager}) {
    ComPtr<IUnknown> first = CreateClass(classID), second = CreateClass(classID);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(SameObject(first.get(), second.get()));
    ComPtr<TInteractor> interactor = make<TInteractor>();
    first.as<IPropertyManager>()->SetHost(interactor.get());
    EXPECT_TRUE(SameObject(first.as<IPropertyPlugin>()->GetHost().get(), interactor.get()));
    EXPECT_FALSE(second.as<IPropertyManager>()->GetHost()) << "managers share no state";
  }
}

TEST(LumetaCreateClass, UnknownClassLeavesOutEmptyAndReportsTheClassID) {
  const GUID unknown = MakeGuid("01234567-89ab-cdef-0123-456789abcdef");
  IUnknown* object = reinterpret_cast<IUnknown*>(0x1);
  EXPECT_EQ(LumetaCreateClass(&unknown, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  auto info = GetErrorInfo();
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Description, "{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST(PropertyManager, RegistersItsClassAndOnlyTheActionManagerSetsFlagBitZero) {
  ComPtr<TCatalogue> catalogue = make<TCatalogue>();
  IUnknown* catalogueUnknown = static_cast<IPropertyCatalogue*>(catalogue.get());
  EXPECT_TRUE(CreateClass(CLSID_MasterActionPropertyManager).as<IPropertyManager>()->RegisterWith(catalogueUnknown));
  EXPECT_EQ(catalogue->Flags, 0x6u);
  auto action = CreateClass(CLSID_ActionPropertyManager).as<IPropertyPlugin>();
  EXPECT_TRUE(action->RegisterWith(catalogueUnknown));
  EXPECT_EQ(catalogue->Flags, 0x7u);
  EXPECT_EQ(catalogue->Descriptions, (std::vector<std::string>{"Action List", "Action"}));
  EXPECT_EQ(catalogue->ClassIDs, (std::vector<GUID>{CLSID_MasterActionPropertyManager, CLSID_ActionPropertyManager}));
  EXPECT_THROW(action->RegisterWith(static_cast<IPlugInInteractor*>(make<TInteractor>().get())), ENoInterface);
}

TEST(PropertyManager, SupportsErrorInfoExactlyForItsOwnInterfaces) {
  auto action = CreateClass(CLSID_ActionPropertyManager).as<ISupportErrorInfo>();
  for (const GUID& iid : {uuidof<IPropertyManager>(), uuidof<IPlugin>(), uuidof<IPropertyPlugin>(),
                          uuidof<IPropertyUIProvider>(), uuidof<ISupportErrorInfo>()})
    EXPECT_EQ(action->InterfaceSupportsErrorInfo(iid), S_OK) << GuidToString(iid);
  EXPECT_EQ(action->InterfaceSupportsErrorInfo(uuidof<IMasterPropertyProvider>()), S_FALSE);
  EXPECT_EQ(action->InterfaceSupportsErrorInfo(uuidof<IChanges>()), S_FALSE);

  auto master = CreateClass(CLSID_MasterActionPropertyManager);
  EXPECT_EQ(master.as<ISupportErrorInfo>()->InterfaceSupportsErrorInfo(uuidof<IMasterPropertyProvider>()), S_OK);
  EXPECT_FALSE(master.as<IPropertyPlugin>()->CreatePlugInUI());
}

}  // namespace
