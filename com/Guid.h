#pragma once
// Globally unique identifiers: the standard 16-byte layout, built at compile time from text,
// written as braced upper-case hexadecimal.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  std::array<uint8_t, 8> Data4{};

  // As two words: interface queries compare identifiers by the million, and the member-wise
  // comparison calls memcmp for the last eight bytes.
  friend constexpr bool operator==(const GUID& ALeft, const GUID& ARight) noexcept {
    const auto left = std::bit_cast<std::array<uint64_t, 2>>(ALeft);
    const auto right = std::bit_cast<std::array<uint64_t, 2>>(ARight);
    return left[0] == right[0] && left[1] == right[1];
  }
  friend constexpr auto operator<=>(const GUID&, const GUID&) = default;
};

namespace guid_detail {
constexpr int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9') return AChar - '0';
  if (AChar >= 'a' && AChar <= 'f') return AChar - 'a' + 10;
  if (AChar >= 'A' && AChar <= 'F') return AChar - 'A' + 10;
  return -1;
}
}  // namespace guid_detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces; empty on bad text.
constexpr std::optional<GUID> ParseGuid(std::string_view AText) {
  if (AText.size() == 38 && AText.front() == '{' && AText.back() == '}') AText = AText.substr(1, 36);
  if (AText.size() != 36) return std::nullopt;
  constexpr std::array<size_t, 4> dashes{8, 13, 18, 23};
  for (size_t dash : dashes)
    if (AText[dash] != '-') return std::nullopt;
  std::array<uint8_t, 16> bytes{};
  size_t out = 0;
  for (size_t i = 0; i < AText.size();) {
    if (AText[i] == '-') { ++i; continue; }
    const int high = guid_detail::HexValue(AText[i]);
    const int low = i + 1 < AText.size() ? guid_detail::HexValue(AText[i + 1]) : -1;
    if (high < 0 || low < 0) return std::nullopt;
    bytes[out++] = static_cast<uint8_t>(high * 16 + low);
    i += 2;
  }
  GUID result;
  result.Data1 = (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
  result.Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  result.Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  for (size_t i = 0; i < 8; ++i) result.Data4[i] = bytes[8 + i];
  return result;
}

// Compile-time GUID from a literal; a malformed literal does not compile.
consteval GUID MakeGuid(std::string_view AText) {
  const auto parsed = ParseGuid(AText);
  if (!parsed) throw "malformed GUID literal";
  return *parsed;
}

// "{D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD}"
std::string GuidToString(const GUID& AGuid);

inline constexpr GUID GUID_NULL{};

// The GUID an interface declares next to itself as `static constexpr GUID Iid`.
template <class I>
constexpr const GUID& uuidof() {
  return I::Iid;
}

template <>
struct std::hash<GUID> {
  size_t operator()(const GUID& AGuid) const noexcept {
    uint64_t low = 0;
    for (uint8_t byte : AGuid.Data4) low = (low << 8) | byte;
    return std::hash<uint64_t>{}(low ^ (uint64_t(AGuid.Data1) << 32 | uint64_t(AGuid.Data2) << 16 | AGuid.Data3));
  }
};
