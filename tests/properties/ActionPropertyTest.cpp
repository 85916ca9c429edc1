#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "attributes/XmlDataConverters.h"
#include "host/LumetaMap.h"
#include "plugin/ActionProperty.h"
#include "tests/properties/PropertyTestSupport.h"

namespace {

TEST(ActionProperty, IsTheRootOfItsRecordOnTheNodeItIsAttachedTo) {
  ComPtr<IPropertyManager> manager = make<TActionPropertyManager>();
  ComPtr<IProperty> property = manager->NewProperty();
  EXPECT_TRUE(SameObject(property->GetManager().get(), manager.get()));
  EXPECT_EQ(property->GetCaption(), "Action");

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

TEST(ActionProperty, HintIsTheRecordsTooltipOnSeparateLines) {
  ComPtr<TActionProperty> property = make<TActionProperty>();
  TActionAttribute* record = property->Action();
  record->SetLoaded(true);
  EXPECT_EQ(property->GetHint(), "");
  record->SetPriority("High");
  record->SetCost(12.5);
  EXPECT_EQ(property->GetHint(), record->AsHtml(3));
  EXPECT_NE(property->GetHint().find("<BR>"), std::string::npos);
}

TEST(MasterActionProperty, CarriesTheMapsPriorityTexts) {
  RegisterPlugInClassesOnce();
  ComPtr<IProperty> property = make<TMasterActionPropertyManager>()->NewProperty();
  EXPECT_EQ(property->GetCaption(), "");
  auto list = property.as<IMapActionListAttribute>();
  EXPECT_EQ(list->GetItemType(), uuidof<IMapActionAttribute>());
  list->SetLoaded(true);
  ComPtr<IMapActionAttribute> item = list->AddText("Urgent");
  ASSERT_TRUE(item);
  EXPECT_EQ(item->FindChild("Map Status")->GetFullName(), "Action List.1.Map Status");
}

TEST(ActionProperty, DeclaresEveryStoredFieldOfTheRecordButTheDerivedOne) {
  ComPtr<TActionProperty> property = make<TActionProperty>();
  const TXmlDeclarations& declarations = property->GetXmlDeclarations();
  const char* const names[] = {"Action",   "Complete",        "Completed Date",  "Cost",      "Due Date",
                               "Duration", "Priority",        "Quantity",        "Start Date", "Status",
                               "Work",     "Constraint Type", "Constraint Date", "Is Action", "Posted To Outlook",
                               "Is Milestone", "Duration Measure", "Work Measure"};
  ASSERT_EQ(declarations.size(), std::size(names));
  std::vector<const XmlProperty*> declared;
  for (size_t i = 0; i < declarations.size(); ++i) {
    SCOPED_TRACE(names[i]);
    declared.push_back(&dynamic_cast<const XmlProperty&>(*declarations[i]));
    EXPECT_EQ(declared[i]->PropertyName(), names[i]);
    EXPECT_EQ(declared[i]->AllowEmpty(), !declared[i]->PropertyName().ends_with(" Date"));
    EXPECT_EQ(declared[i]->Kind(), i < 13 ? TXmlDeclarationKind::Element : TXmlDeclarationKind::Attribute);
    EXPECT_TRUE(i == 0 || property->Action()->FindChild(names[i])) << "no such field in the record";
  }
  EXPECT_EQ(declared[0]->XmlName() + declared[2]->XmlName() + declared[13]->XmlName(), "ActionCompletedDateForOutlook");
  EXPECT_EQ(declared[11]->DataConverter()->ConvertToString(std::string("tcMustStartOn")), "qz:MustStartOn");
  EXPECT_EQ(declared[17]->XmlName() + "@" + declared[17]->OwnerElement(), "Measure@Work");
  EXPECT_EQ(declared[16]->DataConverter()->ConvertToString(int32_t{0}), "Hours");
  EXPECT_FALSE(declared[15]->DataConverter());
}

}  // namespace
