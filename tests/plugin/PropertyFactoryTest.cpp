#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plugin/PropertyFactory.h"
#include "plugin/LumetaNodeDateProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"

namespace {

class TCatalogue : public TImplements<TAggregableObject, IPropertyCatalogue> {
 public:
  void AddPropertyClass(const std::string& AClassDescription) override { Description = AClassDescription; }
  void SetClassID(const GUID& AClassID) override { ClassID = AClassID; }
  std::string Description;
  GUID ClassID{};
};

ComPtr<TPropertyFactory> RegisteredFactory() {
  ComPtr<TPropertyFactory> factory = make<TPropertyFactory>();
  RegisterNodeLinksPropertyManagers(factory.get());
  RegisterNodeDatePropertyManager(factory.get());
  return factory;
}

TEST(PropertyFactory, FirstRegistrationWinsNamesAreCaseSensitiveAndEachCreationIsNew) {
  ComPtr<TPropertyFactory> factory = RegisteredFactory();
  factory->Register("NodeDates", &CreatePropertyManager<TLumetaNodeLinksPropertyManager>);
  EXPECT_EQ(factory->GetCount(), 3);
  ComPtr<IPropertyPlugin> first = factory->CreateByName("NodeDates");
  ComPtr<IPropertyPlugin> second = factory->CreateByIndex(2);
  EXPECT_EQ(first->GetDescription(), "NodeDates");
  EXPECT_EQ(second->GetDescription(), "NodeDates");
  EXPECT_FALSE(SameObject(first.get(), second.get()));
  EXPECT_FALSE(factory->CreateByName("nodedates"));
  EXPECT_THROW(factory->Register("Empty", nullptr), EInvalidOperation);
  EXPECT_THROW(factory->CreateByIndex(3), EListError);
}

TEST(PropertyFactory, IteratorWalksTheNamesInOrderAndSeesLaterOnes) {
  ComPtr<TPropertyFactory> factory = make<TPropertyFactory>();
  ComPtr<IMappingIterator> early = factory->GetIterator();
  EXPECT_TRUE(early->IsDone());
  RegisterNodeLinksPropertyManagers(factory.get());
  RegisterNodeDatePropertyManager(factory.get());
  EXPECT_EQ(early->Current(), "NodeLinks");

  std::vector<std::string> names;
  ComPtr<IMappingIterator> iterator = factory->GetIterator();
  for (iterator->Reset(); !iterator->IsDone(); iterator->Next()) names.push_back(iterator->Current());
  EXPECT_EQ(names, (std::vector<std::string>{"NodeLinks", "SuccessorNodeLinks", "NodeDates"}));
  EXPECT_EQ(iterator->Current(), "");
}

TEST(PropertyFactory, ManagersFileTheirClassAndCreateTheirProperty) {
  ComPtr<TPropertyFactory> factory = RegisteredFactory();
  std::vector<GUID> classIDs;
  for (const char* name : {"NodeLinks", "SuccessorNodeLinks", "NodeDates"}) {
    SCOPED_TRACE(name);
    auto manager = factory->CreateByName(name).as<IPropertyManager>();
    ComPtr<TCatalogue> catalogue = make<TCatalogue>();
    EXPECT_TRUE(manager->RegisterWith(static_cast<IPropertyCatalogue*>(catalogue.get())));
    EXPECT_EQ(catalogue->Description, name);
    EXPECT_EQ(std::count(classIDs.begin(), classIDs.end(), catalogue->ClassID), 0) << "a class ID of its own";
    classIDs.push_back(catalogue->ClassID);
    ComPtr<IProperty> property = manager->NewProperty();
    EXPECT_EQ(property->GetPropertyName(), name);
    EXPECT_TRUE(SameObject(property->GetManager().get(), manager.get()));
  }
}

}  // namespace
