#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "CommandTestFakes.h"
#include "com/ComErrors.h"
#include "attributes/LumetaAttributes.h"
#include "commands/SelectionData.h"
#include "tests/support/FakeNode.h"
#include "tests/support/FakeProperty.h"

namespace {

using Names = std::vector<std::string>;
using TNamedProperty = TFakeProperty<TRecordAttribute>;

ComPtr<TNamedProperty> Named(const char* AName) { return make<TNamedProperty>(AName); }

TEST(Data, EachMutatingCallNotifiesOnceAlsoWhenItFails) {
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> a = root->AddNode("a"), b = root->AddNode("b");
  ComPtr<TNamedProperty> property = Named("Action");
  ComPtr<TData> data = make<TData>();
  ComPtr<TCountingObserver> observer = make<TCountingObserver>();
  QueryAs<ISubject>(static_cast<ISelection*>(data.get()))->Attach(observer.get());

  int expected = 0;
  const auto once = [&](const char* AWhat) { EXPECT_EQ(observer->Updates, ++expected) << AWhat; };
  data->Add(a.get()), once("Add");
  data->Add(a.get()), once("Add of a selected object");
  data->Insert(0, b.get()), once("Insert");
  EXPECT_EQ(data->IndexOf(a.get()), 1);
  data->Remove(b.get()), once("Remove");
  data->Clear(), once("Clear");
  data->AddProperty(property.get()), once("AddProperty");
  data->RemoveProperty(property.get()), once("RemoveProperty");
  EXPECT_THROW(data->Delete(3), EListError);
  once("failed Delete");
  EXPECT_TRUE(SameObject(observer->LastSubject, static_cast<ISelection*>(data.get())));

  // The operation's own error reaches the caller, not the one an observer raises meanwhile.
  observer->OnUpdate = [](IUnknown*) { throw std::runtime_error("observer failed"); };
  EXPECT_THROW(data->Delete(3), EListError);
  EXPECT_THROW(data->Add(a.get()), std::runtime_error);
  EXPECT_EQ(data->GetCount(), 1);
}

TEST(Data, PropertyNamesAreSortedAndFollowTheSelection) {
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> a = root->AddNode("a"), b = root->AddNode("b");
  for (const char* name : {"NodeLinks", "Action"}) a->SetProperty(Named(name).get());
  for (const char* name : {"Action", "NodeDates"}) b->SetProperty(Named(name).get());
  ComPtr<TData> data = make<TData>();
  data->Add(a.get());
  data->Add(Named("not a node").get());
  EXPECT_EQ(data->GetPropertyNames(), (Names{"Action", "NodeLinks"}));
  data->Add(b.get());
  EXPECT_EQ(data->GetPropertyNames(), (Names{"Action", "NodeDates", "NodeLinks"}));
}

TEST(Data, FindPropertySearchesThePropertyListAndAddsTheNameAsked) {
  ComPtr<TFakeNode> root = make<TFakeNode>("0");
  ComPtr<TFakeNode> a = root->AddNode("a");
  a->SetProperty(Named("NodeLinks").get());
  ComPtr<TData> data = make<TData>(static_cast<INode*>(root.get()));
  ComPtr<TNamedProperty> action = Named("Action");
  data->AddProperty(Named("Other").get());
  data->AddProperty(action.get());
  data->Add(a.get());

  EXPECT_TRUE(SameObject(data->FindProperty("Action").get(), action.get()));
  EXPECT_FALSE(data->FindProperty("action"));
  EXPECT_EQ(data->GetPropertyNames(), (Names{"Action", "NodeLinks", "action"}));
  EXPECT_TRUE(SameObject(data->GetOwner().get(), root.get()));
}

}  // namespace
