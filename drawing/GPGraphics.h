#pragma once
// Images, image attributes and a graphics surface over QImage and QPainter: the small object
// layer through which properties load their PNG symbols from the library's resources and draw
// them beside nodes.
#include <QImage>
#include <QRectF>

#include <string>

class QPainter;

// An image; copies share their pixels (QImage's implicit sharing).
class TGPImage {
 public:
  TGPImage() = default;
  explicit TGPImage(QImage AImage);

  // The resource ":/lumeta/images/<AName>.png"; raises ELumetaError naming the resource when it
  // is missing or does not decode.
  static TGPImage FromResource(const std::string& AName);

  bool IsNull() const { return FImage.isNull(); }
  int Width() const { return FImage.width(); }
  int Height() const { return FImage.height(); }
  // The whole image in pixels, the source rectangle that draws all of it.
  QRectF Bounds() const { return QRectF(0, 0, Width(), Height()); }
  const QImage& Image() const { return FImage; }

 private:
  QImage FImage;
};

// How an image is rendered. Mode 2 is the greyed-out rendering that the host asks for (drawing
// flag hexadecimal 100) when it draws the symbol of a disabled or filtered-out node: every
// pixel becomes its own luminance in grey, at half its opacity.
class TGPImageAttributes {
 public:
  static constexpr int ModePlain = 0;
  static constexpr int ModeGreyed = 2;

  // Any mode other than 0 and 2 raises EInvalidOperation.
  explicit TGPImageAttributes(int AMode = ModePlain);
  int Mode() const { return FMode; }
  // The image as this mode renders it; mode 0 returns it unchanged.
  QImage Apply(const QImage& AImage) const;

 private:
  int FMode;
};

// A drawing surface over a painter that the caller owns and keeps alive while drawing.
class TGPGraphics {
 public:
  // AScale is the host's pixels per nominal unit for this output (its zoom and resolution).
  explicit TGPGraphics(QPainter& APainter, double AScale = 1.0);

  double Scale() const { return FScale; }
  void SetScale(double AScale) { FScale = AScale; }
  // ANominal * Scale() rounded to whole pixels (halves away from zero), at least 1 when ANominal
  // is positive. The painter's device pixel ratio is not applied again: QPainter already maps
  // these logical pixels onto device pixels.
  int ScaleSize(int ANominal) const;

  // The whole image scaled into ASquare (smoothly when the sizes differ).
  void DrawImage(const TGPImage& AImage, const QRectF& ASquare);
  // The part ASource (in image pixels) scaled into ASquare, rendered as AAttributes say.
  void DrawImage(const TGPImage& AImage, const QRectF& ASquare, const QRectF& ASource,
                 const TGPImageAttributes& AAttributes);

  QPainter& Painter() { return FPainter; }

 private:
  QPainter& FPainter;
  double FScale;
};

// The named resource image, loaded on first use and kept until ReleaseSymbolImages(); raises as
// TGPImage::FromResource does (a failed load is not cached). The reference stays valid until then.
const TGPImage& SymbolImage(const std::string& AName);
// Frees the cached images, as the library does when it unloads; later calls load them again.
void ReleaseSymbolImages();
