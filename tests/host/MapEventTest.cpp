#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/SelectionData.h"
#include "host/LumetaEditedValue.h"
#include "host/LumetaModel.h"
#include "commands/NodeList.h"
#include "host/MapEditCommands.h"
#include "plugin/LumetaProperty.h"
#include "tests/support/Thrown.h"

namespace {

std::vector<std::string> IDsOf(ISelection* ASelection) {
  std::vector<std::string> ids;
  for (int32_t i = 0; ASelection && i < ASelection->GetCount(); ++i)
    ids.push_back(ASelection->GetItem(i).as<INode>()->GetID());
  return ids;
}

std::vector<std::string> IDsOf(INodeList* ANodes) {
  std::vector<std::string> ids;
  for (int32_t i = 0; ANodes && i < ANodes->GetCount(); ++i) ids.push_back(ANodes->GetItem(i)->GetID());
  return ids;
}

// What a controller was told, and where the first carried node stood at that moment.
struct THeard {
  int32_t Kind;
  std::vector<std::string> Selection;
  std::vector<std::string> Carried;
  std::string CarriedParent;
  friend bool operator==(const THeard&, const THeard&) = default;
};

// Answers every event by retitling node B twice through the processor, then accepts or refuses.
class TAnsweringController : public TImplements<TAggregableObject, IActionPlugInEvents> {
 public:
  bool HandleEvent(IPlugInEvent* AEvent) override {
    ComPtr<INodeList> carried = AEvent->GetNodes();
    ComPtr<INode> parent = carried && carried->GetCount() > 0 ? carried->GetItem(0)->GetParent() : nullptr;
    Heard.push_back({AEvent->GetKind(), IDsOf(AEvent->GetSelection().get()), IDsOf(carried.get()),
                     parent ? parent->GetID() : ""});
    auto* model = dynamic_cast<TLumetaModel*>(AEvent->GetModel().get());
    for (const char* title : {"first", "second"})
      model->Processor()->Execute(make<TRetitleNodeCommand>(model, 2, title).get(), nullptr);
    return Accept;
  }
  void UpdateDefault(IStandardInteractor*) override {}

  std::vector<THeard> Heard;
  bool Accept = true;
};

class TWatchManager : public TLumetaPropertyManager {
 public:
  std::string GetClassDescription() override { return "Watch"; }
  ComPtr<IUnknown> CreatePlugInUI() override {
    ++Made;
    return Controller;
  }
  ComPtr<TAnsweringController> Controller = make<TAnsweringController>();
  int Made = 0;
};

// Root 0 with A (1), B (2) and C (3) below it.
class TMapEventTest : public testing::Test {
 protected:
  TMapEventTest() {
    Model->RegisterManager(Manager.get());
    for (const char* title : {"A", "B", "C"}) Model->Map().AddNode(Model->Map().Root(), title);
  }
  ~TMapEventTest() override { Model->Close(); }

  void Run(ICommand* ACommand) { Model->Processor()->Execute(ACommand, nullptr); }
  std::string TitleOfB() { return Model->Map().GetNode(2)->Title(); }
  int64_t ParentOf(int64_t AID) { return Model->Map().GetNode(AID)->Parent()->ID(); }

  ComPtr<TLumetaModel> Model = make<TLumetaModel>();
  ComPtr<TWatchManager> Manager = make<TWatchManager>();
  std::vector<THeard>& Heard() { return Manager->Controller->Heard; }
};

TEST_F(TMapEventTest, AMoveIsAnnouncedBeforeItHappensAndItsAnswersShareItsUndoStep) {
  Run(make<TMoveNodeCommand>(Model.get(), 3, 1).get());
  EXPECT_EQ(Heard(), (std::vector<THeard>{{KEventDropUnder, {"1"}, {"3"}, "0"}}));
  EXPECT_EQ(ParentOf(3), 1);
  EXPECT_EQ(TitleOfB(), "second");
  EXPECT_EQ(Model->Processor()->GetUndoCount(), 1);

  // Newest answer first: undoing "first" before "second" would leave B titled "first".
  Model->Processor()->UndoLast();
  EXPECT_EQ(ParentOf(3), 0);
  EXPECT_EQ(TitleOfB(), "B");

  Model->Processor()->Redo();
  EXPECT_EQ(ParentOf(3), 1);
  EXPECT_EQ(TitleOfB(), "second");
  EXPECT_EQ(Heard().size(), 1u) << "redo replays the answers instead of asking again";
  Model->Processor()->UndoLast();
  EXPECT_EQ(TitleOfB(), "B");
  EXPECT_EQ(Manager->Made, 1) << "one controller per open map";
}

TEST_F(TMapEventTest, ARefusalRollsBackTheAnswersAndNamesTheChange) {
  Manager->Controller->Accept = false;
  EXPECT_EQ(ThrownText<ELumetaError>([&] { Run(make<TMoveNodeCommand>(Model.get(), 3, 1).get()); }),
            "the plug-in refuses to move node 3 under node 1");
  EXPECT_EQ(ParentOf(3), 0);
  EXPECT_EQ(TitleOfB(), "B");
  EXPECT_FALSE(Model->Processor()->CanUndo());
  EXPECT_FALSE(Model->Processor()->Running());
}

TEST_F(TMapEventTest, EachChangeAnnouncesItsKindSelectionAndCarriedNodes) {
  Run(make<TAddNodeCommand>(Model.get(), 1, "D").get());
  Run(make<TDeleteNodeCommand>(Model.get(), 3).get());
  Run(make<TConvertNodesCommand>(Model.get(), std::vector<int64_t>{2}).get());
  Run(make<TConvertNodesCommand>(Model.get(), std::vector<int64_t>{1, 2}).get());
  Run(make<TMoveNodeCommand>(Model.get(), 2, 1, -1, KEventDemote).get());
  EXPECT_EQ(Heard(), (std::vector<THeard>{{KEventAddChild, {"1"}, {}, ""},
                                          {KEventNodesDeleted, {"3"}, {"3"}, "0"},
                                          {KEventConvertNode, {"2"}, {"2"}, "0"},
                                          {KEventMakeTasks, {"1", "2"}, {"1", "2"}, "0"},
                                          {KEventDemote, {"1"}, {"2"}, "0"}}));
  // A move that cannot happen is refused before anybody hears of it.
  EXPECT_THROW(Run(make<TMoveNodeCommand>(Model.get(), 1, 2).get()), ELumetaError);
  EXPECT_EQ(Heard().size(), 5u);
}

TEST(LumetaEditedValue, AnswersOnlyTheInterfacesOfItsKind) {
  ComPtr<TLumetaEditedValue> date = TLumetaEditedValue::Date(45950.5, false, true, true);
  ASSERT_TRUE(QueryAs<IDateValue>(date.get()));
  EXPECT_FALSE(QueryAs<INumberValue>(date.get()));
  EXPECT_FALSE(QueryAs<IMeasureValue>(date.get()));
  EXPECT_EQ(date->GetDate(), 45950.5);
  EXPECT_FALSE(date->GetValidate());

  ComPtr<TLumetaEditedValue> duration = TLumetaEditedValue::MeasuredNumber(2.5, 1);
  ASSERT_TRUE(QueryAs<INumberValue>(duration.get()));
  ASSERT_TRUE(QueryAs<IMeasureValue>(duration.get()));
  EXPECT_FALSE(QueryAs<IDateValue>(duration.get()));
  EXPECT_EQ(QueryAs<IMeasureValue>(duration.get())->GetMeasure(), 1);

  EXPECT_FALSE(QueryAs<IMeasureValue>(TLumetaEditedValue::Number(3).get()));
  EXPECT_FALSE(QueryAs<IFlagValue>(TLumetaEditedValue::Text("x").get()));
  EXPECT_TRUE(QueryAs<IFlagValue>(TLumetaEditedValue::Flag(true).get()));
}

TEST(NodeList, SubtreesOfAnyDepthAndPruning) {
  TLumetaMap map;
  TLumetaNode* top = map.AddNode(map.Root(), "top");
  TLumetaNode* node = top;
  for (int i = 0; i < 100000; ++i) node = map.AddNode(node, "deeper");
  TLumetaNode* beside = map.AddNode(map.Root(), "beside");

  ComPtr<TNodeList> list = make<TNodeList>();
  list->Add(node);
  list->Add(beside);
  list->Add(top);
  list->Prune();
  EXPECT_EQ(IDsOf(list.get()), (std::vector<std::string>{beside->GetID(), top->GetID()}));
  list->RebuildWithSubtrees();
  EXPECT_EQ(list->GetCount(), 100002);
  EXPECT_EQ(list->GetItem(2)->GetID(), top->GetFirstChild()->GetID());
}

}  // namespace
