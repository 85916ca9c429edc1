#pragma once
// How the host renders a property beside its node: the render info it keeps per property and the
// symbol operations it calls. Operations in slot order.
#include <cstdint>
#include <string>
#include <vector>

#include "com/ComPtr.h"

// The graphics object crosses the library boundary as a plain pointer: host and plug-in each link
// their own static copy of the drawing helpers, and TGPGraphics is a non-virtual class holding a
// scale and a reference to a QPainter of the shared Qt library, so both copies see one layout and
// paint through one painter.
class TGPGraphics;

// Render flags: bit 0 draws the symbol; bit 1 belongs to the host and is cleared on every update.
inline constexpr int32_t RenderFlagSymbol = 0x1;
inline constexpr int32_t RenderFlagHostMark = 0x2;
// Drawing flags of DrawSymbol: bit 0 draws at all, bit 8 draws greyed (a disabled or filtered-out
// node).
inline constexpr int32_t DrawFlagSymbol = 0x1;
inline constexpr int32_t DrawFlagGreyed = 0x100;

// All seven values of a render info at once. Only Flags has a meaning to the plug-in; the others
// are the host's.
struct TPropertyRenderValues {
  int32_t Kind = 0;
  float Left = 0;
  float Top = 0;
  float Right = 0;
  float Bottom = 0;
  int32_t Color = 0;
  int32_t Flags = 0;
  friend bool operator==(const TPropertyRenderValues&, const TPropertyRenderValues&) = default;
};

struct IPropertyRenderInfo : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("F3E73E16-44F0-485E-9D8F-1C46EDA29902");
  virtual int32_t GetKind() = 0;
  virtual void SetKind(int32_t AValue) = 0;
  virtual float GetLeft() = 0;
  virtual void SetLeft(float AValue) = 0;
  virtual float GetTop() = 0;
  virtual void SetTop(float AValue) = 0;
  virtual float GetRight() = 0;
  virtual void SetRight(float AValue) = 0;
  virtual float GetBottom() = 0;
  virtual void SetBottom(float AValue) = 0;
  virtual int32_t GetColor() = 0;
  virtual void SetColor(int32_t AValue) = 0;
  virtual int32_t GetFlags() = 0;
  virtual void SetFlags(int32_t AValue) = 0;
  virtual TPropertyRenderValues GetValues() = 0;
  virtual void SetValues(const TPropertyRenderValues& AValues) = 0;
};

// The symbol a property draws beside its node. Sizes and positions are in the graphics object's
// pixels; the symbol's icon size is the graphics object's scaling of 6.
struct IPropertySymbol : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("7FD5563D-1C7F-4964-B208-B6201A5A4341");
  // Brings the render info up to date with the property's value and settings; call before drawing.
  virtual void UpdateRenderInfo() = 0;
  // The property's own render info object (the same one on every call).
  virtual ComPtr<IPropertyRenderInfo> GetRenderInfo() = 0;
  // The room the symbol takes, given the height the host has for it; 0 x 0 when it has no icon.
  // AGraphics must not be null here or in DrawSymbol: a property with a symbol raises
  // EInvalidOperation for it.
  virtual void MeasureSymbol(TGPGraphics* AGraphics, int32_t AAvailableHeight, int32_t& AWidth,
                             int32_t& AHeight) = 0;
  // Draws the symbol with its top left corner at (AX, AY).
  virtual void DrawSymbol(TGPGraphics* AGraphics, int32_t AFlags, int32_t AX, int32_t AY, int32_t AAvailableWidth,
                          int32_t AAvailableHeight) = 0;
  // The names of the images DrawSymbol draws with these flags, in drawing order; lets a host list
  // the symbol without a painter.
  virtual std::vector<std::string> GetSymbolImages(int32_t AFlags) = 0;
};
