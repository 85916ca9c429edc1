#pragma once
// A small property class for command tests: "Task" carries an aggregated record with an integer
// "Count" and a string "Label". A fixture gives a real host model with three nodes and a recorder
// of the changes reported to the model's subject; an observer counts what subjects tell it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "host/LumetaModel.h"
#include "plugin/LumetaProperty.h"
#include "commands/SelectionData.h"
#include "tests/support/ChangeRecorder.h"
#include "tests/support/FakeProperty.h"
#include "tests/support/PairRecord.h"

class TTaskProperty : public TFakeProperty<TPairRecord> {
 public:
  TTaskProperty() : TFakeProperty("Task") {}
};

class TTaskManager : public TLumetaPropertyManager {
 public:
  std::string GetClassDescription() override { return "Task"; }
  ComPtr<IProperty> CreateProperty() override { return make<TTaskProperty>(); }
};

// What a node holds under "Task".
struct TTaskValue {
  bool Present = false;
  int32_t Count = 0;
  std::string Label;
  friend bool operator==(const TTaskValue&, const TTaskValue&) = default;
  friend std::ostream& operator<<(std::ostream& AStream, const TTaskValue& AValue) {
    if (!AValue.Present) return AStream << "(none)";
    return AStream << AValue.Count << "/" << AValue.Label;
  }
};
inline const TTaskValue KNoTask{};

// Counts what it is told; OnUpdate lets a test act from inside the notification.
class TCountingObserver : public TImplements<TAggregableObject, IObserver, ISubjectLink> {
 public:
  ~TCountingObserver() override {
    if (Destroyed) *Destroyed = true;
  }
  void Update(IUnknown* ASubject) override {
    ++Updates;
    LastSubject = ASubject;
    if (OnUpdate) OnUpdate(ASubject);
  }
  void SubjectAttached(IUnknown* ASubject) override { ++Attached; LastSubject = ASubject; }
  void SubjectDetached(IUnknown* ASubject) override { ++Detached; LastSubject = ASubject; }
  int Updates = 0, Attached = 0, Detached = 0;
  IUnknown* LastSubject = nullptr;
  std::function<void(IUnknown*)> OnUpdate;
  bool* Destroyed = nullptr;
};

class TCommandTest : public testing::Test {
 protected:
  TCommandTest() : Model(make<TLumetaModel>()) {
    Model->RegisterManager(make<TTaskManager>().get());
    TLumetaNode* root = Model->Map().Root();
    A = Model->Map().AddNode(root, "A");
    B = Model->Map().AddNode(root, "B");
    C = Model->Map().AddNode(root, "C");
    Recorder = make<TChangeRecorder>();
    Model->Subject()->Attach(Recorder.get());
  }
  ~TCommandTest() override {
    Model->Subject()->Detach(Recorder.get());
    Model->Close();
  }

  TLumetaCommandProcessor* Processor() { return Model->Processor(); }

  // A new Task property with both fields set, as an edit makes it (both fields modified).
  ComPtr<IProperty> NewTask(int32_t ACount, const std::string& ALabel) {
    ComPtr<IProperty> property = Model->NewProperty("Task");
    QueryAs<IIntegerAttribute>(Field(property.get(), 0).get())->SetValue(ACount);
    QueryAs<IStringAttribute>(Field(property.get(), 1).get())->SetValue(ALabel);
    return property;
  }
  // Puts a Task on the node as a loaded map has it: nothing modified.
  void Give(TLumetaNode* ANode, int32_t ACount, const std::string& ALabel) {
    ComPtr<IProperty> property = NewTask(ACount, ALabel);
    property.as<IAttribute>()->SetFlagEx(afModified, false, true);
    ANode->SetProperty(property.get());
  }
  static ComPtr<IAttribute> Field(IProperty* AProperty, int32_t AIndex) {
    return QueryAs<IRecordAttribute>(AProperty)->GetChild(AIndex);
  }
  static TTaskValue ValueOf(INode* ANode) {
    ComPtr<IProperty> property = ANode->FindProperty("Task");
    if (!property) return KNoTask;
    return {true, QueryAs<IIntegerAttribute>(Field(property.get(), 0).get())->GetValue(),
            QueryAs<IStringAttribute>(Field(property.get(), 1).get())->GetValue()};
  }
  std::vector<TTaskValue> Values() { return {ValueOf(A), ValueOf(B), ValueOf(C)}; }
  static ComPtr<ISelection> Select(std::initializer_list<INode*> ANodes) {
    ComPtr<TData> selection = make<TData>();
    for (INode* node : ANodes) selection->Add(node);
    return selection;
  }

  ComPtr<TLumetaModel> Model;
  TLumetaNode* A = nullptr;
  TLumetaNode* B = nullptr;
  TLumetaNode* C = nullptr;
  ComPtr<TChangeRecorder> Recorder;
};
