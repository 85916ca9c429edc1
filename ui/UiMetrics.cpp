#include "ui/UiMetrics.h"

#include <QGuiApplication>
#include <QPaintDevice>
#include <QScreen>

#include <cmath>

namespace UiMetrics {

double Scale(const QPaintDevice* ADevice) {
  double dpi = 0;
  if (ADevice) dpi = ADevice->logicalDpiX();
  if (dpi <= 0)
    if (const QScreen* screen = QGuiApplication::primaryScreen()) dpi = screen->logicalDotsPerInchX();
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

int Px(int ALength, const QPaintDevice* ADevice) {
  return static_cast<int>(std::lround(ALength * Scale(ADevice)));
}

QSize Px(QSize ASize, const QPaintDevice* ADevice) {
  return QSize(Px(ASize.width(), ADevice), Px(ASize.height(), ADevice));
}

QRect Px(QRect ARect, const QPaintDevice* ADevice) {
  return QRect(Px(ARect.left(), ADevice), Px(ARect.top(), ADevice), Px(ARect.width(), ADevice),
               Px(ARect.height(), ADevice));
}

QFont FormFont() {
  QFont font;
  // Copies, not literals: Qt's font cache keeps the names after the plug-in library that made the
  // font is unloaded, and a literal's text lives in that library.
  font.setFamilies({QString::fromLatin1("Tahoma"), QString::fromLatin1("DejaVu Sans")});
  font.setPointSize(8);
  return font;
}

}  // namespace UiMetrics
