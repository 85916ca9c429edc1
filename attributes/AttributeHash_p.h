#pragma once
// Value hashes that agree with EqualTo, for the indexes that merge and apply long lists.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

class TAttribute;

namespace attribute_tree {

inline size_t CombineHash(size_t ASeed, size_t AValue) {
  return ASeed ^ (AValue + 0x9E3779B97F4A7C15ull + (ASeed << 6) + (ASeed >> 2));
}

// Values of a field are mostly short texts (states, priorities, names): those are mixed from a
// few fixed-size loads, a fraction of the cost of the general string hash, which longer texts keep.
inline uint64_t LoadWord(const char* AText) noexcept {
  uint64_t word;
  std::memcpy(&word, AText, 8);
  return word;
}

inline uint32_t LoadHalf(const char* AText) noexcept {
  uint32_t half;
  std::memcpy(&half, AText, 4);
  return half;
}

inline size_t TextHash(std::string_view AText) noexcept {
  const size_t size = AText.size();
  const char* text = AText.data();
  if (size > 32) return std::hash<std::string_view>{}(AText);
  uint64_t first, last;
  if (size >= 8) {
    // Overlapping loads cover every byte: 8..16 bytes by two words, 17..32 by four.
    first = LoadWord(text) ^ std::rotl(LoadWord(text + size - 8), 29);
    last = size > 16 ? LoadWord(text + 8) ^ std::rotl(LoadWord(text + size - 16), 13) : 0;
  } else if (size >= 4) {
    first = LoadHalf(text) | uint64_t(LoadHalf(text + size - 4)) << 32;
    last = 0;
  } else {
    first = size ? uint8_t(text[0]) | uint32_t(uint8_t(text[size / 2])) << 8 | uint32_t(uint8_t(text[size - 1])) << 16 : 0;
    last = 0;
  }
  uint64_t hash = (first ^ size * 0x9E3779B97F4A7C15ull) * 0xC2B2AE3D27D4EB4Full;
  hash = (std::rotl(hash, 31) ^ last) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(hash ^ (hash >> 29));
}

// Equal doubles hash alike (0.0 and -0.0 included); a multiply spreads the bits well enough for
// the merge index at a fraction of the cost of hashing the bytes.
inline size_t DoubleHash(double AValue) {
  if (AValue == 0) return 0;
  const uint64_t mixed = std::bit_cast<uint64_t>(AValue) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(mixed ^ (mixed >> 29));
}

// The hash of an object of exactly one of the standard scalar classes, read from its stored value
// in place (the one its GetValueHash gives); false for any other object, a subclass included.
bool StandardScalarHash(TAttribute& AObject, size_t& AHash);

}  // namespace attribute_tree
