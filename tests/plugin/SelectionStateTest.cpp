#include <functional>

#include "commands/SelectionData.h"
#include "plugin/LumetaSelectionState.h"
#include "tests/plugin/PlugInModel.h"

namespace {

using namespace plugin_test;

// M (collapsed, children C and D) and L (a leaf) under the root.
class SelectionState : public TPlugInModel {
 protected:
  void SetUp() override {
    TPlugInModel::SetUp();
    Task("M", 0);
    Task("C", 0, 1, "M");
    Task("D", 0, 1, "M");
    Task("L", 0);
    Nodes.at("M")->HostData().Expanded = false;
    Nodes.at("L")->HostData().Expanded = false;  // without children it still counts as expanded
    Nodes["R"] = Model->Map().Root();
    State = make<TLumetaSelectionState>();
  }
  ComPtr<TData> Select(std::initializer_list<const char*> ATitles) {
    ComPtr<TData> selection = make<TData>(static_cast<ILumetaModel*>(Model.get()));
    for (const char* title : ATitles) selection->Add(N(title));
    State->SetSelection(selection.get());
    return selection;
  }
  ComPtr<TLumetaSelectionState> State;
};

TEST_F(SelectionState, NodeTraitsFollowTheHostsNodeQueries) {
  struct TCase {
    const char* Node;
    int32_t Traits, Mode;
    bool Expected;
  };
  const TCase cases[] = {
      {"M", ntMainBranch, KTraitsAny, true},
      {"C", ntMainBranch, KTraitsAny, false},
      {"M", ntSummary, KTraitsAny, true},
      {"C", ntNotSummary, KTraitsAny, true},
      {"R", ntRoot, KTraitsAny, true},
      {"L", ntRoot, KTraitsAny, false},
      {"R", ntSummary, KTraitsAny, false},
      {"M", ntCollapsed, KTraitsAny, true},
      {"L", ntCollapsed, KTraitsAny, false},
      {"L", ntLeaf, KTraitsAny, true},
      {"M", ntLeaf, KTraitsAny, false},
      {"D", ntLastSibling, KTraitsAny, true},
      {"C", ntLastSibling, KTraitsAny, false},
      {"M", ntSummary | ntCollapsed, KTraitsAll, true},
      {"M", ntNotSummary | ntCollapsed, KTraitsAll, false},
      {"M", ntNotSummary | ntCollapsed, KTraitsAny, true},
      {"M", 0, KTraitsAny, false},
  };
  for (const TCase& test : cases)
    EXPECT_EQ(NodeHasTraits(N(test.Node), test.Traits, test.Mode), test.Expected)
        << test.Node << " traits " << test.Traits << " mode " << test.Mode;
}

TEST_F(SelectionState, AnEmptySelectionHasNoneAndEveryButNoChildCount) {
  for (ComPtr<TData> selection : {make<TData>(), ComPtr<TData>()}) {
    State->SetSelection(selection.get());
    const std::pair<std::function<bool()>, bool> questions[] = {
        {[&] { return State->AnyNotSummary(); }, false},      {[&] { return State->AnySummary(); }, false},
        {[&] { return State->AnyCollapsed(); }, false},       {[&] { return State->AnyRoot(); }, false},
        {[&] { return State->AllCollapsed(); }, true},        {[&] { return State->AllLeaves(); }, true},
        {[&] { return State->AllHaveChildCount(0); }, false}, {[&] { return State->AnyMainBranch(); }, false},
        {[&] { return State->FirstBelowRoot(); }, false},     {[&] { return State->FirstIsSummary(); }, false},
        {[&] { return State->IsNotEmpty(); }, false},         {[&] { return State->IsOneMainBranch(); }, false},
    };
    for (size_t i = 0; i < std::size(questions); ++i)
      EXPECT_EQ(questions[i].first(), questions[i].second)
          << "question " << i << (selection ? "" : " without a selection");
  }
}

TEST_F(SelectionState, MainBranchQuestions) {
  Select({"L"});
  EXPECT_TRUE(State->AnyMainBranch());
  EXPECT_TRUE(State->IsOneMainBranch());
  EXPECT_TRUE(State->IsOnlySelected(N("L")));
  EXPECT_FALSE(State->IsOnlySelected(N("M")));
  Select({"L", "M"});
  EXPECT_TRUE(State->AnyMainBranch());
  EXPECT_FALSE(State->IsOneMainBranch());
  EXPECT_FALSE(State->IsOnlySelected(N("L")));
  Select({"C"});
  EXPECT_FALSE(State->AnyMainBranch());
  EXPECT_TRUE(State->FirstBelowRoot());
  Select({"R"});
  EXPECT_FALSE(State->FirstBelowRoot());
  EXPECT_TRUE(State->AnyRoot());
}

TEST_F(SelectionState, EveryQuestionsAndChildCountsNeedAllNodes) {
  Select({"M", "C"});
  EXPECT_TRUE(State->AnySummary());
  EXPECT_TRUE(State->FirstIsSummary());
  EXPECT_FALSE(State->AllCollapsed());
  EXPECT_FALSE(State->AllLeaves());
  EXPECT_FALSE(State->AllHaveChildCount(2)) << "C has none";
  Select({"C", "M"});
  EXPECT_FALSE(State->AllHaveChildCount(0)) << "the last node alone does not decide";
  Select({"C", "D", "L"});
  EXPECT_TRUE(State->AllLeaves());
  EXPECT_TRUE(State->AllHaveChildCount(0));
}

TEST_F(SelectionState, ASubSetHoldsTheMatchesInOrderOrIsNil) {
  ComPtr<TData> selection = Select({"M", "C", "L", "D"});
  ComPtr<TLumetaSelectionSubSet> subset = make<TLumetaSelectionSubSet>();
  subset->SetSelection(selection.get());
  ComPtr<ISelection> leaves = subset->GetSubSet(ntLeaf, KTraitsAny);
  ASSERT_TRUE(leaves);
  ASSERT_EQ(leaves->GetCount(), 3);
  EXPECT_TRUE(SameObject(leaves->GetItem(0).get(), N("C")));
  EXPECT_TRUE(SameObject(leaves->GetItem(1).get(), N("L")));
  EXPECT_TRUE(SameObject(leaves->GetItem(2).get(), N("D")));
  EXPECT_TRUE(SameObject(leaves.as<IProperties>()->GetOwner().get(), static_cast<ILumetaModel*>(Model.get())));
  EXPECT_FALSE(subset->GetSubSet(ntRoot, KTraitsAny));
}

}  // namespace
