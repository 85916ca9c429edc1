#include "com/Guid.h"

#include <cstdio>

std::string GuidToString(const GUID& AGuid) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", AGuid.Data1, AGuid.Data2,
                AGuid.Data3, AGuid.Data4[0], AGuid.Data4[1], AGuid.Data4[2], AGuid.Data4[3], AGuid.Data4[4],
                AGuid.Data4[5], AGuid.Data4[6], AGuid.Data4[7]);
  return text;
}
