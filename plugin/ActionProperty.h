#pragma once
// The plug-in's two classes: the manager of the per-node Action property and the manager of the
// map-level Action List property; and the two properties they create.
#include <memory>
#include <string>
#include <vector>

#include "plugin/ActionAttributes.h"
#include "plugin/ActionWindows.h"
#include "plugin/LumetaProperty.h"
#include "plugin/LumetaPropertySettings.h"

inline constexpr GUID CLSID_ActionPropertyManager = MakeGuid("D1BE7F7D-A80A-4FF7-BCD9-1FCDB9CB27CD");
inline constexpr GUID CLSID_MasterActionPropertyManager = MakeGuid("B7D51A23-79ED-45D0-B7A6-CFD330FC2256");

// Also answers IPlugInSettings and ISubject, through its settings object.
class TActionPropertyManager : public TImplements<TLumetaPropertyManager, IPropertyUIProvider> {
 public:
  static constexpr const char* ClassDescription = KActionPropertyName;
  // Where the show-symbol setting is kept: this subkey of the host's key, this value name.
  static constexpr const char* SettingsSection = "Action";
  static constexpr const char* ShowSymbolValueName = "Action";

  // AWindows go to every controller the manager creates.
  explicit TActionPropertyManager(TActionWindows AWindows = {});
  ~TActionPropertyManager() override;

  std::string GetClassDescription() override;
  // A new TActionProperty for each call.
  ComPtr<IProperty> CreateProperty() override;
  // Also gives the catalogue this class's CLSID and sets bit 0 of its flags word when the
  // catalogue has one.
  bool RegisterWith(IUnknown* ACatalogue) override;
  // A new TActionPlugInUI on the host's application, which is empty before SetHost.
  ComPtr<IUnknown> CreatePlugInUI() override;

  // Startup reads the show-symbol setting from the current user's settings, under the key the
  // host object (IHostRegistryPath, else ENoInterface) names, true when missing; Shutdown writes
  // it back there, and a failed write reaches the caller as ELumetaError.
  void Startup(IUnknown* AHostObject) override;
  void BeginSession(IUnknown* AHostObject) override;
  void EndSession(IUnknown* AHostObject) override;
  void Shutdown(IUnknown* AHostObject) override;

  TActionSettings* Settings() const noexcept { return FSettings.get(); }
  // The settings key for a host object: its registry path, then the settings section.
  static std::string SettingsKey(IUnknown* AHostObject);

 protected:
  void Initialize() override;
  // IPlugInSettings and ISubject of the settings.
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override;

 private:
  // Aggregated: lives exactly as long as the manager.
  std::unique_ptr<TActionSettings> FSettings;
  TActionWindows FWindows;
};

// Its UI and map operations do nothing; it has no UI controller.
class TMasterActionPropertyManager
    : public TImplements<TLumetaPropertyManager, IPropertyUIProvider, IMasterPropertyProvider> {
 public:
  static constexpr const char* ClassDescription = KActionListPropertyName;

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
// interfaces itself. Its symbol has up to two icons: the first tells whether the node has dates,
// is an Outlook action, a milestone or a summary task, the second how far it has progressed.
class TActionProperty : public TLumetaProperty {
 public:
  // The nominal icon size, which the graphics object scales for its output.
  static constexpr int NominalIconSize = 6;

  // The images of the two icons; empty where an icon is not drawn.
  struct TSymbolImages {
    std::string First;
    std::string Second;
  };

  TActionProperty();

  // The record first: rescheduling asks each task's property for it several times, and the
  // table would compare every interface of the property before handing the question on.
  HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept override;

  std::string GetCaption() override;  // "Action"
  // The record's tooltip, its fields on separate lines.
  std::string GetHint() override;
  const TXmlDeclarations& GetXmlDeclarations() override;
  // Also tells the record where it now is.
  void SetHostObject(IUnknown* AHostObject) override;

  // Sets render flag bit 0 when the manager's show-symbol setting is on (also when there is no
  // manager to ask) and the record is not empty; clears it otherwise.
  void UpdateRenderInfo() override;
  void MeasureSymbol(TGPGraphics* AGraphics, int32_t AAvailableHeight, int32_t& AWidth, int32_t& AHeight) override;
  void DrawSymbol(TGPGraphics* AGraphics, int32_t AFlags, int32_t AX, int32_t AY, int32_t AAvailableWidth,
                  int32_t AAvailableHeight) override;
  std::vector<std::string> GetSymbolImages(int32_t AFlags) override;

  // What DrawSymbol draws with these flags; drawing and listing both come from here.
  TSymbolImages SymbolImages(int32_t AFlags);
  // The icons MeasureSymbol makes room for: 0, 1 or 2.
  int SymbolIconCount();
  // The map's task-scheduling switch, read through the node the property is attached to; off
  // without a node or map settings.
  bool SummarySwitch();

  TActionAttribute* Action() const noexcept { return FAction; }

 protected:
  std::string ManagerClassDescription() override;
  void Initialize() override;
  // Kind 1, a translucent black, the symbol bit set.
  TPropertyRenderValues InitialRenderValues() override;

 private:
  TActionAttribute* FAction = nullptr;  // owned by the base as the carried attribute
};

// The rows of icons that fit in AAvailableHeight at icon size AIconSize: the nearest whole number,
// halves going to the even neighbour, at least 1.
int SymbolRows(int32_t AAvailableHeight, int32_t AIconSize);

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
// CLSID raises EClassNotFound with the CLSID's braced text as the message. The Action manager's
// controllers open AWindows.
ComPtr<IUnknown> CreateLumetaClass(const GUID& AClassID, const TActionWindows& AWindows = {});
