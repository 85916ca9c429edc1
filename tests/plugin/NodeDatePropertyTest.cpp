#include <gtest/gtest.h>

#include <string>

#include "com/OleDate.h"
#include "host/LumetaMap.h"
#include "plugin/LumetaNodeDateProperty.h"

namespace {

// Stands in for the open document: holds a stored "Created Date".
class TStoredDates : public TImplements<TAggregableObject, IDocSource> {
 public:
  void LoadAttribute(IAttribute* AAttribute) override {
    ++Loads;
    if (AAttribute->GetFullName() == "NodeDates.Created Date") QueryAs<IDateTimeAttribute>(AAttribute)->SetValue(45000.25);
  }
  int Loads = 0;
};

TEST(NodeDateProperty, ANewPropertyWasCreatedNowAndNeverModified) {
  const double before = NowAsDateTime();
  ComPtr<IProperty> property = make<TLumetaNodeDatePropertyManager>()->NewProperty();
  const double after = NowAsDateTime();
  auto dates = property.as<INodeDateProperty>();
  EXPECT_GE(dates->GetCreatedDate(), before);
  EXPECT_LE(dates->GetCreatedDate(), after);
  EXPECT_EQ(dates->GetModifiedDate(), 0);
}

TEST(NodeDateProperty, StoredDatesStillLoadIntoANewProperty) {
  TLumetaMap map;
  ComPtr<TStoredDates> document = make<TStoredDates>();
  map.SetDocSource(document);
  ComPtr<TLumetaNodeDateProperty> property = make<TLumetaNodeDateProperty>();
  auto record = property.as<IRecordAttribute>();
  EXPECT_FALSE(record->IsLoaded() || record->GetChild(0)->IsLoaded() || record->GetChild(1)->IsLoaded());

  map.AddNode(map.Root(), "Task")->SetProperty(property.get());
  EXPECT_EQ(property->GetCreatedDate(), 45000.25);
  EXPECT_EQ(property->GetModifiedDate(), 0);
  property->GetCreatedDate();
  EXPECT_EQ(document->Loads, 2) << "each date loads once";
}

}  // namespace
