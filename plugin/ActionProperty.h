#pragma once
// The plug-in's two classes: the manager of the per-node Action property and the manager of the
// map-level Action List property; and the two properties they create.
#include <string>

#include "attributes/ActionAttributes.h"
#include "plugin/LumetaProperties.h"

inline constexpr GUID CLSID_ActionPropertyManager = MakeGuid("D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD");
inline constexpr GUID CLSID_MasterActionPropertyManager = MakeGuid("B7D51A23-79ED-45D0-B7A6-CFD330FC2256");

class TActionPropertyManager : public TImplements<TLumetaPropertyManager, IPropertyUIProvider> {
 public:
  static constexpr const char* ClassDescription = "Action";

  TActionPropertyManager();

  std::string GetClassDescription() override;
  // A new TActionProperty for each call.
  ComPtr<IProperty> CreateProperty() override;
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
  static constexpr const char* ClassDescription = "Action List";

  TMasterActionPropertyManager();

  std::string GetClassDescription() override;
  // A new TMasterActionProperty for each call.
  ComPtr<IProperty> CreateProperty() override;
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

// One node's action record; the property answers IActionAttribute and the record's other
// interfaces itself.
class TActionProperty : public TLumetaProperty {
 public:
  TActionProperty();

  std::string GetCaption() override;  // "Action"
  // The record's tooltip, its fields on separate lines.
  std::string GetHint() override;
  const TXmlDeclarations& GetXmlDeclarations() override;

  TActionAttribute* Action() const noexcept { return FAction; }

 protected:
  std::string ManagerClassDescription() override;
  void Initialize() override;

 private:
  TActionAttribute* FAction = nullptr;  // owned by the base as the carried attribute
};

// The map's own list of further priority texts; the property answers IMapActionListAttribute.
class TMasterActionProperty : public TLumetaProperty {
 public:
  TMasterActionProperty();

  const TXmlDeclarations& GetXmlDeclarations() override;

  TMapActionListAttribute* ActionList() const noexcept { return FActionList; }

 protected:
  std::string ManagerClassDescription() override;
  void Initialize() override;

 private:
  TMapActionListAttribute* FActionList = nullptr;  // owned by the base as the carried attribute
};

// Registers the attribute classes of the plug-in with an attribute factory: the action record,
// the map action entry and its list, and the task link. Their creators live in the plug-in's
// code, so a library that registers them must unregister them before it unloads.
void RegisterPlugInAttributeClasses(ILumetaAttributeFactory* AFactory);
void UnregisterPlugInAttributeClasses(ILumetaAttributeFactory* AFactory);

// A new manager of the class, holding one reference for the caller, as its IUnknown; an unknown
// CLSID raises EClassNotFound with the CLSID's braced text as the message.
ComPtr<IUnknown> CreateLumetaClass(const GUID& AClassID);
