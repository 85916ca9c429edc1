#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/LumetaMap.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/plugin/PropertyTestSupport.h"

namespace {

TEST(ActionProperty, IsTheRootOfItsRecordOnTheNodeItIsAttachedTo) {
  ComPtr<IPropertyManager> manager = make<TActionPropertyManager>();
  ComPtr<IProperty> property = manager->NewProperty();
  EXPECT_TRUE(SameObject(property->GetManager().get(), manager.get()));

  ComPtr<IActionAttribute> record = QueryAs<IActionAttribute>(property.get());
  ASSERT_TRUE(record);
  EXPECT_TRUE(SameObject(record.get(), property.get())) << "the record answers with the property's identity";
  ComPtr<IAttribute> dueDate = record->FindChild("Due Date");
  EXPECT_EQ(dueDate->GetFullName(), "Action.Due Date");

  TLumetaMap map;
  TLumetaNode* node = map.AddNode(map.Root(), "Task");
  EXPECT_FALSE(dueDate->GetHostObject());
  node->SetProperty(property.get());
  EXPECT_TRUE(SameObject(dueDate->GetHostObject().get(), static_cast<INode*>(node)));

  // Only the property's own interfaces carry error information.
  auto errorInfo = property.as<ISupportErrorInfo>();
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(uuidof<IProperty>()), S_OK);
  EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(uuidof<IActionAttribute>()), S_FALSE);
}

TEST(ActionProperty, RecordReferencesKeepThePropertyAlive) {
  ComPtr<IActionAttribute> record = make<TActionPropertyManager>()->NewProperty().as<IActionAttribute>();
  ComPtr<IAttribute> child = record->FindChild("Priority");
  record->SetPriority("High");
  EXPECT_EQ(QueryAs<IProperty>(record.get())->GetPropertyName(), "Action");
  record.reset();
  EXPECT_EQ(QueryAs<IStringAttribute>(child.get())->GetValue(), "High") << "children outlive their record";
}

// Rescheduling finds the record behind a property or any of the record's interfaces: every way in
// must reach the same object and leave no reference behind.
TEST(ActionProperty, AnswersForItsRecordObjectWithoutKeepingAReference) {
  ComPtr<TActionProperty> property = make<TActionProperty>();
  ComPtr<IActionAttribute> record = QueryAs<IActionAttribute>(static_cast<IProperty*>(property.get()));
  ComPtr<IAttribute> attribute = QueryAs<IAttribute>(record.get());
  const auto references = [&] {
    property->AddRef();
    return property->Release();
  };
  const auto before = references();
  EXPECT_EQ(TActionAttribute::FromAction(static_cast<IProperty*>(property.get())), property->Action());
  EXPECT_EQ(TActionAttribute::FromAction(record.get()), property->Action());
  EXPECT_EQ(TActionAttribute::FromAction(attribute.get()), property->Action());
  EXPECT_EQ(references(), before);
  EXPECT_EQ(TActionAttribute::FromAction(make<TLumetaNodeLinksPropertyManager>()->NewProperty().get()), nullptr) << "another property";
}

TEST(MasterActionProperty, CarriesTheMapsPriorityTexts) {
  RegisterPlugInClassesOnce();
  ComPtr<IProperty> property = make<TMasterActionPropertyManager>()->NewProperty();
  auto list = property.as<IMapActionListAttribute>();
  list->SetLoaded(true);
  ComPtr<IMapActionAttribute> item = list->AddText("Urgent");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->FindChild("Map Status")->GetFullName(), "Action List.1.Map Status");
}

}  // namespace
