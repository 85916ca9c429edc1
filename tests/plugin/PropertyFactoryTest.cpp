#include <gtest/gtest.h>

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
  struct TExpected {
    std::string Name, Caption;
    GUID ClassID;
  };
  const TExpected expected[] = {{"NodeLinks", "Predecessors", MakeGuid("BD604E2B-7445-426E-8F3D-7EAE83A77690")},
                                {"SuccessorNodeLinks", "Successors", MakeGuid("8FF5AD90-638B-4C1E-A74C-E490A5BF84C1")},
                                {"NodeDates", "Dates", MakeGuid("CFACB5BE-2350-408E-A788-EC07C7A72284")}};
  ComPtr<TPropertyFactory> factory = RegisteredFactory();
  for (const TExpected& entry : expected) {
    SCOPED_TRACE(entry.Name);
    auto manager = factory->CreateByName(entry.Name).as<IPropertyManager>();
    ComPtr<TCatalogue> catalogue = make<TCatalogue>();
    EXPECT_TRUE(manager->RegisterWith(static_cast<IPropertyCatalogue*>(catalogue.get())));
    EXPECT_EQ(catalogue->Description, entry.Name);
    EXPECT_EQ(catalogue->ClassID, entry.ClassID);
    ComPtr<IProperty> property = manager->NewProperty();
    EXPECT_EQ(property->GetPropertyName(), entry.Name);
    EXPECT_EQ(property->GetCaption(), entry.Caption);
    EXPECT_TRUE(SameObject(property->GetManager().get(), manager.get()));
  }
}

}  // namespace
