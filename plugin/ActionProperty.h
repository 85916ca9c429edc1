#pragma once
// The plug-in's two classes: the manager of the per-node Action property and the manager of the
// map-level Action List property.
#include <string>

#include "plugin/LumetaProperties.h"

inline constexpr GUID CLSID_ActionPropertyManager = MakeGuid("D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD");
inline constexpr GUID CLSID_MasterActionPropertyManager = MakeGuid("B7D51A23-79ED-45D0-B7A6-CFD330FC2256");

class TActionPropertyManager : public TImplements<TLumetaPropertyManager, IPropertyUIProvider> {
 public:
  TActionPropertyManager();

  std::string GetClassDescription() override;
  // Also gives the catalogue this class's CLSID and sets bit 0 of its flags word when the
  // catalogue has one.
  bool RegisterWith(IUnknown* ACatalogue) override;

  void Startup(IUnknown* AHostObject) override;
  void BeginSession(IUnknown* AHostObject) override;
  void EndSession(IUnknown* AHostObject) override;
  void Shutdown(IUnknown* AHostObject) override;
};

// Its UI and map operations do nothing; it has no UI controller.
class TMasterActionPropertyManager
    : public TImplements<TLumetaPropertyManager, IPropertyUIProvider, IMasterPropertyProvider> {
 public:
  TMasterActionPropertyManager();

  std::string GetClassDescription() override;
  bool RegisterWith(IUnknown* ACatalogue) override;

  void Startup(IUnknown* AHostObject) override;
  void BeginSession(IUnknown* AHostObject) override;
  void EndSession(IUnknown* AHostObject) override;
  void Shutdown(IUnknown* AHostObject) override;

  void MapCreated(IUnknown* AMap) override;
  void MapLoaded(IUnknown* AMap) override;
  void MapSaving(IUnknown* AMap) override;
  void MapClosed(IUnknown* AMap) override;
};

// A new manager of the class, holding one reference for the caller, as its IUnknown; an unknown
// CLSID raises EClassNotFound with the CLSID's braced text as the message.
ComPtr<IUnknown> CreateLumetaClass(const GUID& AClassID);
