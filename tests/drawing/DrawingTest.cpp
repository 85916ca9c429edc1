#include "drawing/GPGraphics.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <set>

#include "com/ComErrors.h"
#include "tests/support/Thrown.h"

namespace {

const char* const ImageNames[] = {
    "ACTION_MILESTONE", "ACTION_SUMMARY", "ACTION_CALENDAR", "ACTION_TASKBOARD", "ACTION_NOTSTARTED",
    "ACTION_INPROGRESS", "ACTION_ONEHUNDREDPERCENT", "ACTION", "ACTION_SYMBOL", "ACTION_COMPLETE",
    "ACTION_CLEAR", "ACTION_UPDATE", "ACTION_GROUP_SMALL", "ACTION_GROUP_LARGE",
};

QImage Canvas(int ASize) {
  QImage canvas(ASize, ASize, QImage::Format_ARGB32_Premultiplied);
  canvas.fill(Qt::transparent);
  return canvas;
}

TEST(DrawingTest, EveryImageLoadsAtItsSizeIsNotBlankAndDiffersFromTheOthers) {
  std::vector<QImage> images;
  for (const char* name : ImageNames) {
    const TGPImage& image = SymbolImage(name);
    const int size = std::string(name) == "ACTION_GROUP_LARGE" ? 32 : 16;
    EXPECT_EQ(image.Width(), size) << name;
    EXPECT_EQ(image.Height(), size) << name;

    std::set<QRgb> colours;
    int opaque = 0;
    for (int y = 0; y < image.Height(); ++y)
      for (int x = 0; x < image.Width(); ++x) {
        const QRgb pixel = image.Image().pixel(x, y);
        if (qAlpha(pixel) > 0) ++opaque, colours.insert(pixel);
      }
    EXPECT_GE(opaque, image.Width() * image.Height() / 5) << name;
    EXPECT_GE(colours.size(), 2u) << name;
    for (size_t i = 0; i < images.size(); ++i) EXPECT_NE(images[i], image.Image()) << name << " vs " << ImageNames[i];
    images.push_back(image.Image());
  }
}

TEST(DrawingTest, ImagesAreCachedUntilReleasedAndMissingOnesRaise) {
  const TGPImage* first = &SymbolImage("ACTION_CALENDAR");
  EXPECT_EQ(first, &SymbolImage("ACTION_CALENDAR"));
  ReleaseSymbolImages();
  EXPECT_EQ(SymbolImage("ACTION_CALENDAR").Width(), 16);

  const std::string error = ThrownText<ELumetaError>([] { SymbolImage("ACTION_MISSING"); });
  EXPECT_NE(error.find("ACTION_MISSING"), std::string::npos) << error;
  EXPECT_THROW(SymbolImage("ACTION_MISSING"), ELumetaError);  // a failure is not cached
}

TEST(DrawingTest, DrawImagePaintsInsideTheSquareOnly) {
  const TGPImage& image = SymbolImage("ACTION_TASKBOARD");
  for (const QRect square : {QRect(4, 4, 6, 6), QRect(3, 5, 16, 16), QRect(1, 2, 37, 37)}) {
    QImage canvas = Canvas(40);
    {
      QPainter painter(&canvas);
      TGPGraphics(painter).DrawImage(image, square);
    }
    int inside = 0;
    for (int y = 0; y < canvas.height(); ++y)
      for (int x = 0; x < canvas.width(); ++x) {
        if (qAlpha(canvas.pixel(x, y)) == 0) continue;
        ASSERT_TRUE(square.contains(x, y)) << "pixel " << x << "," << y << " outside the square";
        ++inside;
      }
    EXPECT_GE(inside, square.width() * square.height() / 2);
  }

  // At its own size the image lands pixel for pixel, and a source rectangle picks a part of it.
  QImage canvas = Canvas(40);
  {
    QPainter painter(&canvas);
    TGPGraphics graphics(painter);
    graphics.DrawImage(image, QRectF(3, 5, 16, 16));
    graphics.DrawImage(image, QRectF(20, 20, 8, 16), QRectF(8, 0, 8, 16), TGPImageAttributes());
  }
  const QImage drawn = canvas.convertToFormat(QImage::Format_ARGB32);
  const QImage expected = image.Image().convertToFormat(QImage::Format_ARGB32);
  EXPECT_EQ(drawn.copy(3, 5, 16, 16), expected);
  EXPECT_EQ(drawn.copy(20, 20, 8, 16), expected.copy(8, 0, 8, 16));
}

TEST(DrawingTest, GreyedModeDrawsGreyAtHalfOpacity) {
  const TGPImage& image = SymbolImage("ACTION_CLEAR");  // red
  const QImage original = image.Image().convertToFormat(QImage::Format_ARGB32);
  QImage canvas = Canvas(16);
  {
    QPainter painter(&canvas);
    TGPGraphics(painter).DrawImage(image, QRectF(0, 0, 16, 16), image.Bounds(),
                                   TGPImageAttributes(TGPImageAttributes::ModeGreyed));
  }
  const QImage drawn = canvas.convertToFormat(QImage::Format_ARGB32);
  int coloured = 0;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const QRgb before = original.pixel(x, y), after = drawn.pixel(x, y);
      coloured += qRed(before) > qGreen(before) + 50;
      EXPECT_NEAR(qAlpha(after), qAlpha(before) / 2, 1) << x << "," << y;
      if (qAlpha(after) == 0) continue;
      EXPECT_NEAR(qRed(after), qGreen(after), 2) << x << "," << y;
      EXPECT_NEAR(qGreen(after), qBlue(after), 2) << x << "," << y;
    }
  EXPECT_GT(coloured, 20);  // the plain image really was coloured

  EXPECT_THROW(TGPImageAttributes(1), EInvalidOperation);
}

TEST(DrawingTest, ScaleSizeRoundsTheNominalSizeByTheHostScale) {
  QImage canvas = Canvas(1);
  QPainter painter(&canvas);
  TGPGraphics graphics(painter);
  EXPECT_EQ(graphics.ScaleSize(6), 6);
  graphics.SetScale(16.0 / 6.0);
  EXPECT_EQ(graphics.ScaleSize(6), 16);
  graphics.SetScale(1.25);
  EXPECT_EQ(graphics.ScaleSize(6), 8);  // 7.5 rounds up
  graphics.SetScale(0.01);
  EXPECT_EQ(graphics.ScaleSize(6), 1);
  EXPECT_EQ(graphics.ScaleSize(0), 0);
}

}  // namespace
