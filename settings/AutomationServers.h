#pragma once
// Automation servers by program identifier: their entries under HKEY_CLASSES_ROOT, creating an
// object from the library an entry names, and the table of running (active) objects.
//
// Entries, as the registry keeps them (each value is the key's default value):
//   <ProgID>\CLSID                         the class ID, braced
//   <ProgID>\CurVer                        the versioned ProgID, "<ProgID>.<major version>"
//   <ProgID>.<version>\CLSID               the class ID again
//   CLSID\{class ID}\InprocServer32        the absolute path of the server library
//   CLSID\{class ID}\ProgID                the versioned ProgID
#include <optional>
#include <string>
#include <string_view>

#include "com/ComPtr.h"
#include "com/Dispatch.h"

struct TAutomationServerEntry {
  std::string ProgID;       // version-independent: "Outlook.Application"
  GUID ClassID{};
  std::string Library;      // the shared library exporting LumetaCreateAutomationObject
  int MajorVersion = 0;
  std::string Description;  // the ProgID key's default value
};

// Writes the entries to the process-wide settings store, replacing earlier ones of that ProgID.
void RegisterAutomationServer(const TAutomationServerEntry& AEntry);
// Removes every entry of the ProgID; false when it was not registered.
bool UnregisterAutomationServer(std::string_view AProgID);
// The registered entry (versioned or not), or empty; reading never creates keys.
std::optional<TAutomationServerEntry> FindAutomationServer(std::string_view AProgID);

// A new object of the registered class. Raises EOleError: CO_E_CLASSSTRING for a ProgID that is
// not registered, REGDB_E_CLASSNOTREG for a class without a library, CO_E_DLLNOTFOUND for a library
// that does not load or export the factory (naming the file), or the server's own failure.
// Libraries stay loaded for the life of the process: their objects may be anywhere.
ComPtr<IDispatch> CreateOleObject(std::string_view AProgID);
// The running object registered for the ProgID's class. Raises EOleError: CO_E_CLASSSTRING when
// the ProgID is not registered, MK_E_UNAVAILABLE when no object of it runs.
ComPtr<IDispatch> GetActiveOleObject(std::string_view AProgID);

// The process's table of running objects, one per class. It holds a reference until revoked, as
// a running application keeps itself alive until it quits.
void RegisterActiveObject(const GUID& AClassID, IUnknown* AObject);
// Removes the entry when it is AObject (or any entry when AObject is null).
void RevokeActiveObject(const GUID& AClassID, IUnknown* AObject = nullptr);
