#include "apps/LumetaSymbolCommand.h"

#include <QImage>
#include <QPainter>
#include <QString>

#include <charconv>
#include <optional>
#include <ostream>

#include "com/NumberText.h"
#include "com/ComErrors.h"
#include "drawing/GPGraphics.h"
#include "contract/ActionVocabulary.h"
#include "contract/LumetaRenderIntf.h"

namespace {

constexpr int32_t KNominalHeight = 6;
constexpr double KPngScale = 4;

struct TSymbolArguments {
  int32_t Height = KNominalHeight;
  std::optional<std::string> PngFile;
};

[[noreturn]] void Usage(const std::string& AReason) { throw ELumetaError(AReason, E_INVALIDARG); }

TSymbolArguments ParseArguments(const std::vector<std::string>& AArgs) {
  TSymbolArguments result;
  bool haveHeight = false;
  for (size_t i = 0; i < AArgs.size(); ++i) {
    const std::string& word = AArgs[i];
    if (word == "--png") {
      if (i + 1 == AArgs.size() || result.PngFile) Usage(std::string("usage: ") + SymbolCommandUsage);
      result.PngFile = AArgs[++i];
      continue;
    }
    const std::optional<int32_t> height = ParseInteger<int32_t>(word);
    if (haveHeight || !height || *height < 0) Usage("'" + word + "' is not a height (a whole number, 0 or more)");
    result.Height = *height;
    haveHeight = true;
  }
  return result;
}

// The node's Action property, or an empty one standing in for it: attached to nothing, it still
// reads the node (for the map's task-scheduling switch) but never asks the document for values.
ComPtr<IPropertySymbol> SymbolOf(INode* ANode, IPropertyManager* AActionManager) {
  if (!ANode) throw EInvalidOperation("symbol: no node");
  ComPtr<IProperty> property = ANode->FindProperty(KActionPropertyName);
  if (!property) {
    if (!AActionManager) throw EInvalidOperation("symbol: no action manager to measure an empty action with");
    property = AActionManager->NewProperty();
    property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
    property->SetHostObject(ANode);
  }
  return property.as<IPropertySymbol>();
}

void WriteText(IPropertySymbol* ASymbol, int32_t AHeight, std::ostream& AOut) {
  // Measuring and listing never paint, so the painter is never begun.
  QPainter idle;
  TGPGraphics graphics(idle);
  int32_t width = 0, height = 0;
  ASymbol->MeasureSymbol(&graphics, AHeight, width, height);
  AOut << "images:";
  for (const std::string& name : ASymbol->GetSymbolImages(DrawFlagSymbol)) AOut << ' ' << name;
  AOut << "\nsize: " << width << 'x' << height << '\n';
}

void WritePng(INode* ANode, IPropertySymbol* ASymbol, int32_t AHeight, const std::string& AFile) {
  // The height the host has scales with the symbol, so the layout matches the text form.
  const int32_t available = static_cast<int32_t>(AHeight * KPngScale);
  int32_t width = 0, height = 0;
  {
    QPainter idle;
    TGPGraphics graphics(idle, KPngScale);
    ASymbol->MeasureSymbol(&graphics, available, width, height);
  }
  if (width <= 0 || height <= 0)
    throw ELumetaError("node " + ANode->GetID() + " has no symbol; " + AFile + " was not written", E_INVALIDARG);
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    TGPGraphics graphics(painter, KPngScale);
    ASymbol->DrawSymbol(&graphics, DrawFlagSymbol, 0, 0, width, available);
  }
  if (!image.save(QString::fromStdString(AFile), "PNG")) throw ELumetaError(AFile + ": cannot write the PNG image");
}

}  // namespace

void RunSymbolCommand(INode* ANode, IPropertyManager* AActionManager, const std::vector<std::string>& AArgs,
                      std::ostream& AOut) {
  const TSymbolArguments arguments = ParseArguments(AArgs);
  ComPtr<IPropertySymbol> symbol = SymbolOf(ANode, AActionManager);
  if (arguments.PngFile)
    WritePng(ANode, symbol.get(), arguments.Height, *arguments.PngFile);
  else
    WriteText(symbol.get(), arguments.Height, AOut);
}
