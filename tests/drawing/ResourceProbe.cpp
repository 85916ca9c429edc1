// A shared library standing in for the plug-in: it loads a symbol image through the static
// drawing library and reports its size.
#include "drawing/GPGraphics.h"

#include <exception>

extern "C" int LumetaDrawingProbe(const char* AName) {
  try {
    const TGPImage& image = SymbolImage(AName);
    return image.Width() * 1000 + image.Height();
  } catch (const std::exception&) {
    return -1;
  }
}
