#pragma once
// The run-time typed value that crosses interfaces where a type is chosen at run time (attribute
// values handed to data converters, settings values).
#include <cstdint>
#include <string>
#include <variant>

#include "com/ComPtr.h"

// A date-time carried in a variant, so that it is not mistaken for a plain number.
struct TVariantDate {
  double Value = 0;
  friend bool operator==(const TVariantDate&, const TVariantDate&) = default;
};

using TVariant = std::variant<std::monostate, bool, int32_t, double, TVariantDate, std::string, ComPtr<IUnknown>>;

inline bool VariantIsEmpty(const TVariant& AValue) { return std::holds_alternative<std::monostate>(AValue); }
