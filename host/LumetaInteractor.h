#pragma once
// The host side handed to each property manager by SetHost.
#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"

class TLumetaInteractor : public TImplements<TAggregableObject, IPlugInInteractor> {
 public:
  // AApplication may be empty: a host without an application object answers empty.
  explicit TLumetaInteractor(IUnknown* AApplication = nullptr);

  ComPtr<IUnknown> GetApplication() override;
  void SettingsChanged(IUnknown* ASettings) override;

  void SetApplication(IUnknown* AApplication);
  // How often a plug-in reported changed settings; the host repaints on each.
  int SettingsChangedCount() const noexcept { return FSettingsChangedCount; }

 private:
  ComPtr<IUnknown> FApplication;
  int FSettingsChangedCount = 0;
};
