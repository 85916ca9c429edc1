#pragma once
// The host object handed to the plug-in managers' Startup and Shutdown: it tells them where the
// application keeps its settings.
#include <string>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

class TLumetaHostObject : public TImplements<TAggregableObject, IHostRegistryPath> {
 public:
  static constexpr const char* DefaultRegistryPath = "Software\\Lumeta\\Lumeta";

  explicit TLumetaHostObject(std::string ARegistryPath = DefaultRegistryPath);

  std::string GetRegistryPath() override;

 private:
  std::string FRegistryPath;
};
