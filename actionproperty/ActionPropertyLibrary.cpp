// The plug-in library: its exports, what it sets up while it is loaded, and the windows its
// controllers open; everything else of the library stays hidden.
#include <type_traits>

#include "attributes/LumetaAttributeFactory.h"
#include "com/ErrorInfo.h"
#include "plugin/ActionProperty.h"
#include "plugin/PropertyFactory.h"
#include "plugin/LumetaNodeDateProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "outlook/ExportActionsCommand.h"
#include "ui/ActionPanelView.h"
#include "ui/EditActionDialog.h"
#include "ui/PickValue.h"

namespace {

// Made when the library loads, destroyed when it unloads. The property factory learns the managers
// offered by name; the attribute factory learns the plug-in's attribute classes, whose creators
// point into this library and so must leave the factory (which outlives the library) again.
class TLibraryRegistrations {
 public:
  TLibraryRegistrations() noexcept {
    try {
      TPropertyFactory* factory = PropertyFactory();
      RegisterNodeLinksPropertyManagers(factory);
      RegisterNodeDatePropertyManager(factory);
    } catch (...) {
      // Nothing can be reported while the library loads; the host then finds no managers by name.
    }
    try {
      ComPtr<ILumetaAttributeFactory> attributeFactory = AttributeFactory();
      RegisterPlugInAttributeClasses(attributeFactory.get());
      FAttributeFactory = attributeFactory;
    } catch (...) {
      // The attribute factory library is missing: the first list item or record child that needs
      // it reports that, naming the library.
    }
  }
  ~TLibraryRegistrations() {
    if (FAttributeFactory) UnregisterPlugInAttributeClasses(FAttributeFactory.get());
  }
  TLibraryRegistrations(const TLibraryRegistrations&) = delete;
  TLibraryRegistrations& operator=(const TLibraryRegistrations&) = delete;

 private:
  ComPtr<ILumetaAttributeFactory> FAttributeFactory;
};

const TLibraryRegistrations GRegistrations;

TActionWindows PlugInWindows() {
  TActionWindows windows;
  windows.EditAction = &OpenEditAction;
  windows.CreateView = &CreateActionPanel;
  windows.PickValue = &PickActionValue;
  windows.ExportActions = &RunExportActions;
  windows.Export = make<TActionExport>();
  return windows;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT LumetaCreateClass(const GUID* AClassID,
                                                                             IUnknown** AObject) noexcept {
  if (AObject) *AObject = nullptr;
  return CallGuarded([&] {
    if (!AClassID || !AObject) throw ELumetaError("LumetaCreateClass: null argument", E_POINTER);
    *AObject = CreateLumetaClass(*AClassID, PlugInWindows()).detach();
  });
}

extern "C" __attribute__((visibility("default"))) HRESULT GetPropertyFactory(IUnknown** AFactory) noexcept {
  if (AFactory) *AFactory = nullptr;
  return CallGuarded(
      [&] {
        if (!AFactory) throw ELumetaError("GetPropertyFactory: null argument", E_POINTER);
        *AFactory = ComPtr<IUnknown>(static_cast<IPlugInFactory*>(PropertyFactory())).detach();
      },
      uuidof<IPlugInFactory>(), "GetPropertyFactory");
}

static_assert(std::is_convertible_v<decltype(&LumetaCreateClass), TLumetaCreateClassFunc>,
              "the export must match the type the host looks it up as");
static_assert(std::is_convertible_v<decltype(&GetPropertyFactory), TGetPropertyFactoryFunc>,
              "the export must match the type the host looks it up as");
