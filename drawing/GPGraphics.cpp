#include "drawing/GPGraphics.h"

#include <QPainter>

#include <cmath>
#include <map>
#include <mutex>

#include "com/ComErrors.h"

// Resources compiled into a static library are not registered unless something refers to
// them; registering here, outside any namespace as the macro requires, pulls them in.
static void RegisterImageResources() {
  static std::once_flag once;
  std::call_once(once, [] { Q_INIT_RESOURCE(lumeta_images); });
}

namespace {

std::map<std::string, TGPImage>& ImageCache() {
  static std::map<std::string, TGPImage> cache;
  return cache;
}

}  // namespace

TGPImage::TGPImage(QImage AImage) : FImage(std::move(AImage)) {}

TGPImage TGPImage::FromResource(const std::string& AName) {
  RegisterImageResources();
  const QString path = QStringLiteral(":/lumeta/images/") + QString::fromStdString(AName) + QStringLiteral(".png");
  QImage image(path);
  if (image.isNull()) throw ELumetaError("Image resource \"" + AName + "\" not found (" + path.toStdString() + ")");
  return TGPImage(std::move(image));
}

TGPImageAttributes::TGPImageAttributes(int AMode) : FMode(AMode) {
  if (AMode != ModePlain && AMode != ModeGreyed)
    throw EInvalidOperation("Image attributes mode " + std::to_string(AMode) + " is not supported");
}

QImage TGPImageAttributes::Apply(const QImage& AImage) const {
  if (FMode == ModePlain) return AImage;
  QImage result = AImage.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < result.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x) {
      const int grey = qGray(line[x]);
      line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 2);
    }
  }
  return result;
}

TGPGraphics::TGPGraphics(QPainter& APainter, double AScale) : FPainter(APainter), FScale(AScale) {}

int TGPGraphics::ScaleSize(int ANominal) const {
  const int size = static_cast<int>(std::lround(ANominal * FScale));
  return ANominal > 0 && size < 1 ? 1 : size;
}

void TGPGraphics::DrawImage(const TGPImage& AImage, const QRectF& ASquare) {
  DrawImage(AImage, ASquare, AImage.Bounds(), TGPImageAttributes());
}

void TGPGraphics::DrawImage(const TGPImage& AImage, const QRectF& ASquare, const QRectF& ASource,
                            const TGPImageAttributes& AAttributes) {
  if (AImage.IsNull() || ASquare.isEmpty()) return;
  FPainter.save();
  FPainter.setRenderHint(QPainter::SmoothPixmapTransform, ASquare.size() != ASource.size());
  FPainter.drawImage(ASquare, AAttributes.Apply(AImage.Image()), ASource);
  FPainter.restore();
}

const TGPImage& SymbolImage(const std::string& AName) {
  auto& cache = ImageCache();
  if (auto found = cache.find(AName); found != cache.end()) return found->second;
  return cache.emplace(AName, TGPImage::FromResource(AName)).first->second;
}

void ReleaseSymbolImages() { ImageCache().clear(); }
