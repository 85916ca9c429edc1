#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>

#include <sstream>
#include <string>

#include "apps/LumetaSymbolCommand.h"
#include "host/LumetaPlugInLoader.h"
#include "settings/LumetaSettingsStore.h"
#include "tests/plugin/SymbolTestSupport.h"

namespace {

std::string Symbol(INode* ANode, IPropertyManager* AManager, std::vector<std::string> AArgs = {}) {
  std::ostringstream out;
  RunSymbolCommand(ANode, AManager, AArgs, out);
  return out.str();
}

// Drawn by the loaded library onto the host's painter, as the host draws it; what the command prints
// is checked by the acceptance case "symbol".
TEST(SymbolCommand, RendersThePngThroughTheLoadedLibrary) {
  QTemporaryDir folder;
  SetSettingsFolder(folder.path().toStdString());  // unloading writes the show-symbol setting
  TLumetaPlugInLoader loader;
  loader.Load(PlugInLibraryPath(DefaultPlugInDir()));
  TLumetaMap map;
  TLumetaNode* node = map.AddNode(map.Root(), "Task");
  ComPtr<IProperty> property = loader.Managers()[0]->NewProperty();
  node->SetProperty(property.get());
  property.as<IActionAttribute>()->SetIsMilestone(true);
  property.as<IActionAttribute>()->SetPriority("High");

  const std::string file = folder.filePath("symbol.png").toStdString();
  EXPECT_EQ(Symbol(node, loader.Managers()[0].get(), {"--png", file}), "");
  const QImage image(QString::fromStdString(file));
  ASSERT_EQ(image.size(), QSize(50, 24));
  EXPECT_GT(OpaquePixels(image, QRect(0, 0, 24, 24)), 200);
  EXPECT_GT(OpaquePixels(image, QRect(25, 0, 24, 24)), 200);

  EXPECT_THROW(Symbol(node, nullptr, {"--png", folder.filePath("missing/symbol.png").toStdString()}), ELumetaError);
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"x"}, {"-1"}, {"6", "7"}, {"--png"}})
    EXPECT_THROW(Symbol(node, loader.Managers()[0].get(), bad), ELumetaError) << bad[0];
  TLumetaNode* plain = map.AddNode(map.Root(), "Plain");
  EXPECT_THROW(Symbol(plain, loader.Managers()[0].get(), {"--png", file}), ELumetaError) << "nothing to render";
}

}  // namespace
