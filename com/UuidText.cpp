#include "com/UuidText.h"

#include <cstdint>
#include <cstdio>
#include <random>

std::string NewUuidText() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  const uint64_t high = (random() & 0xFFFFFFFFFFFF0FFFull) | 0x4000ull;
  const uint64_t low = (random() & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  char text[37];
  std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFull));
  return text;
}
