#include "host/LumetaHostObject.h"

#include <utility>

TLumetaHostObject::TLumetaHostObject(std::string ARegistryPath) : FRegistryPath(std::move(ARegistryPath)) {}

std::string TLumetaHostObject::GetRegistryPath() { return FRegistryPath; }
