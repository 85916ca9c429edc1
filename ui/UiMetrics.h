#pragma once
// Sizes and fonts of the forms. Sizes are written as pixels of a 96-dpi screen. Qt already maps
// widget coordinates onto device pixels by the screen's device-pixel ratio, so at the usual
// 96 logical dpi a size is used as it stands; a screen whose logical dpi differs (text scaled
// without a ratio) scales the sizes by the same factor, so that they keep pace with the text.
#include <QFont>
#include <QRect>
#include <QSize>

class QPaintDevice;

namespace UiMetrics {
// Logical dpi / 96 of ADevice's screen (the primary screen when null or without a screen).
double Scale(const QPaintDevice* ADevice = nullptr);
// A 96-dpi length in logical pixels, rounded (halves away from zero).
int Px(int ALength, const QPaintDevice* ADevice = nullptr);
QSize Px(QSize ASize, const QPaintDevice* ADevice = nullptr);
QRect Px(QRect ARect, const QPaintDevice* ADevice = nullptr);
// The forms' font: Tahoma 8 pt, DejaVu Sans where Tahoma is not installed.
QFont FormFont();
}  // namespace UiMetrics
