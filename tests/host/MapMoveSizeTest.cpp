// Moves through the real plug-in, which hears of each one: a move must cost what it touches, not
// the number of siblings around it nor the depth it happens at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "host/LumetaModel.h"
#include "host/LumetaPlugInLoader.h"
#include "host/MapEditCommands.h"
#include "tests/support/Timing.h"

namespace {

class MapMoveSizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
    ASSERT_TRUE(dir) << "LUMETA_PLUGIN_DIR is not set";
    FLoader.Load(PlugInLibraryPath(dir));
  }
  void TearDown() override { FLoader.Unload(); }

  // A fresh model with the plug-in's managers, as a map is opened.
  ComPtr<TLumetaModel> OpenModel() {
    ComPtr<TLumetaModel> model = make<TLumetaModel>();
    for (const ComPtr<IPropertyManager>& manager : FLoader.Managers()) model->RegisterManager(manager.get());
    FLoader.Interactor()->SetApplication(static_cast<ILumetaModel*>(model.get()));
    return model;
  }
  static void CloseModel(TLumetaModel& AModel) { AModel.Close(); }

  static void Move(TLumetaModel& AModel, int64_t ANode, int64_t AParent, int AIndex, int32_t AKind = KEventDropUnder) {
    AModel.Processor()->Execute(make<TMoveNodeCommand>(&AModel, ANode, AParent, AIndex, AKind).get(), nullptr);
  }

  // The fastest of three runs of ARun on fresh models, in seconds; APrepare is not timed.
  double FastestOn(const std::function<void(TLumetaModel&)>& APrepare, const std::function<void(TLumetaModel&)>& ARun) {
    ComPtr<TLumetaModel> model;
    const double best = FastestOf([&] { ARun(*model); },
                                  [&] {
                                    if (model) CloseModel(*model);
                                    model = OpenModel();
                                    APrepare(*model);
                                  });
    CloseModel(*model);
    return best;
  }

  TLumetaPlugInLoader FLoader;
};

// The same forty moves and indents among 1,000 and among 10,000 siblings: ten times the siblings
// may not cost ten times as much.
TEST_F(MapMoveSizeTest, AMoveAmongSiblingsCostsTheSameHoweverManyThereAre) {
  const auto timeAmong = [&](int ASiblings) {
    return FastestOn(
        [&](TLumetaModel& AModel) {
          for (int i = 0; i < ASiblings; ++i) AModel.Map().AddNode(AModel.Map().Root(), "Task " + std::to_string(i));
        },
        [&](TLumetaModel& AModel) {
          const int64_t middle = ASiblings / 2;
          for (int i = 0; i < 20; ++i) {
            Move(AModel, middle + i, 0, 3);
            Move(AModel, middle + 20 + i, middle + 19 + i, -1, KEventDemote);
          }
          EXPECT_EQ(AModel.Map().Root()->Children()[3]->ID(), middle + 19);
          EXPECT_EQ(AModel.Map().GetNode(middle + 39)->Parent()->ID(), middle + 38);
          while (AModel.Processor()->CanUndo()) AModel.Processor()->UndoLast();
          EXPECT_EQ(AModel.Map().Root()->Children()[middle - 1]->ID(), middle);
        });
  };
  const double few = timeAmong(1'000), many = timeAmong(10'000);
  EXPECT_LT(many, 5 * std::max(few, 0.05)) << few << " s among 1,000 siblings, " << many << " s among 10,000";
}

// Building a chain by moving each node under the one before it: the moves cost at most the depth
// each reaches, so ten times the nodes may cost a hundred times as long, never a thousand.
TEST_F(MapMoveSizeTest, BuildingADeepChainByMovesGrowsNoFasterThanItsDepth) {
  const auto timeChain = [&](int ANodes) {
    return FastestOn(
        [&](TLumetaModel& AModel) {
          for (int i = 0; i < ANodes; ++i) AModel.Map().AddNode(AModel.Map().Root(), "Level " + std::to_string(i));
        },
        [&](TLumetaModel& AModel) {
          for (int64_t id = 2; id <= ANodes; ++id) Move(AModel, id, id - 1, -1);
          EXPECT_EQ(AModel.Map().GetNode(ANodes)->GetLevel(), ANodes);
        });
  };
  const double shallow = timeChain(300), deep = timeChain(3'000);
  EXPECT_LT(deep, 200 * std::max(shallow, 0.01)) << shallow << " s for 300 levels, " << deep << " s for 3,000";
}

}  // namespace
