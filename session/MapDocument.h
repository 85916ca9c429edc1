#pragma once
// One open map for any front end: the plug-in loaded for it, the model, the file it came from and
// goes to, whether it holds unsaved changes, and what its last load or save passed over.
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "host/LumetaModel.h"
#include "host/LumetaPlugInLoader.h"
#include "host/xml/LumetaXmlArchive.h"

class TMapDocument {
 public:
  TMapDocument();
  TMapDocument(const TMapDocument&) = delete;
  TMapDocument& operator=(const TMapDocument&) = delete;
  // Closes the map, then unloads the plug-in.
  ~TMapDocument();

  // Loads the plug-in library from APlugInDir and reads the map file APath; an empty path, or one
  // naming no file, starts a new map planned from this morning (kept under APath for Save). Raises
  // ELumetaError naming the library or EArchiveError naming the file's place; the document is then
  // unusable, so a front end opens into a fresh one and keeps the old one until that succeeded.
  void Open(const std::string& APlugInDir, const std::string& APath);
  // Writes the map atomically to its file; raises ELumetaError when it has none or the write fails.
  void Save();
  // Writes the map to APath, which becomes its file.
  void SaveAs(const std::string& APath);
  // Writes the map to APath and leaves its file and its saved state alone.
  void SaveCopy(const std::string& APath);
  // Lets go of the map and the plug-in's objects in it; the plug-in stays loaded until Unload.
  void Close();
  void Unload();

  TLumetaModel* Model() const noexcept { return FModel.get(); }
  TLumetaPlugInLoader& Loader() noexcept { return FLoader; }
  const std::string& Path() const noexcept { return FPath; }
  // No change since the map was opened or last saved to its file (undo back to it counts).
  bool IsClean() const;
  // What the last open or save passed over, each with its place in the file where it has one.
  const std::vector<TArchiveWarning>& Warnings() const;
  // Told whenever undo, redo or the saved state change; the observer outlives its registration.
  void AddObserver(IUndoStateObserver* AObserver);
  void RemoveObserver(IUndoStateObserver* AObserver);

 private:
  // Destroyed in reverse: the model and the archive hold the plug-in's objects, so both go before
  // the loader closes the library.
  TLumetaPlugInLoader FLoader;
  std::unique_ptr<TLumetaXmlArchive> FArchive;
  ComPtr<TLumetaModel> FModel;
  std::string FPath;
};
