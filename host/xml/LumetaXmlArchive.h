#pragma once
// The host's XML archive: reads and writes a whole map file (docs/map-format.md). The archive
// stores the host's own data itself and every plug-in property through the declarations its
// class gives (IXmlMapping); it knows no property by name. Which property an element holds comes
// from the property managers registered with the archive.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/ComErrors.h"
#include "contract/LumetaIntf.h"
#include "host/LumetaMap.h"

namespace xml_archive {
class TXmlRegistry;
}

// A file that cannot be read as a map: "file:line:column: reason". Line and column count from 1,
// the column in characters; both are 0 when the failure has no place in the file (a file that
// cannot be opened).
// Something a load or save passed over. File is empty and Line 0 where it has no place in a file.
struct TArchiveWarning {
  std::string File;
  int32_t Line = 0;
  int32_t Column = 0;
  std::string Text;
  // "file:line:column: text", "file: text" or the text alone, as the command line prints it.
  std::string Message() const;
};

class EArchiveError : public ELumetaError {
 public:
  EArchiveError(std::string AFile, int ALine, int AColumn, std::string AReason);
  ~EArchiveError() override;
  const std::string& File() const noexcept { return FFile; }
  int Line() const noexcept { return FLine; }
  int Column() const noexcept { return FColumn; }
  const std::string& Reason() const noexcept { return FReason; }

 private:
  std::string FFile;
  int FLine;
  int FColumn;
  std::string FReason;
};

class TLumetaXmlArchive {
 public:
  // The format version this archive writes; files of a later version are refused.
  static constexpr int FormatVersion = 1;
  // The largest map file read: a map needs several times its file's size in memory, and a larger
  // file is more likely a mistake than a map.
  static constexpr size_t MaxFileSize = size_t(1) << 30;
  // The host attribute that keeps a node's unknown elements, as XML text, for the next save.
  static constexpr const char* UnknownXmlAttribute = "UnknownXml";

  TLumetaXmlArchive();
  ~TLumetaXmlArchive();
  TLumetaXmlArchive(const TLumetaXmlArchive&) = delete;
  TLumetaXmlArchive& operator=(const TLumetaXmlArchive&) = delete;

  // Makes one property of the manager to learn its element name (the XML name of its first
  // declaration) and keeps the manager for that name. Raises ELumetaError for a property without
  // declarations, declarations the archive cannot follow or that name attributes the property
  // does not hold, or a name already taken (by another manager or by the host's own elements).
  void RegisterManager(IPropertyManager* AManager);
  // The manager registered for an element name, or null.
  IPropertyManager* ManagerFor(const std::string& AElementName) const;

  // Reads a map file into a new map; the caller's map stays as it was when this raises. Raises
  // EArchiveError for a file that cannot be read (also one that is not a regular file or is larger
  // than MaxFileSize) or is malformed, truncated or inconsistent.
  // Values that converters read leniently (an unknown constraint or measure) load as defaults.
  // Record and list values are read from the document, kept with the map, on their first read; a
  // value a converter refuses raises ELumetaError then, naming the file.
  std::unique_ptr<TLumetaMap> Load(const std::string& APath);
  // The same from text in memory; AName stands for the file name in messages.
  std::unique_ptr<TLumetaMap> LoadFromText(const std::string& AText, const std::string& AName = "(text)");

  // Writes the map atomically (TAtomicFile): to a new file beside APath, flushed to disk, then
  // renamed over APath, with APath locked meanwhile (a symbolic link is followed; an existing
  // file's permissions are kept). Raises ELumetaError naming the file and the reason when any step
  // fails; the old file is then left as it was and no temporary file remains. Text that XML cannot
  // hold is repaired with a warning, so that every file written can be read back.
  void Save(const TLumetaMap& AMap, const std::string& APath);
  std::string SaveToText(const TLumetaMap& AMap);

  // What the last Load or Save passed over without failing: unknown elements and attributes (with
  // their place in the file), links dropped on save because their node is gone, text repaired on
  // save.
  const std::vector<TArchiveWarning>& Issues() const noexcept { return FWarnings; }
  // The same as messages ("file:line:column: ..." where there is a place).
  std::vector<std::string> Warnings() const;

 private:
  std::unique_ptr<TLumetaMap> Parse(std::string ABuffer, const std::string& AName, const std::string* AOriginal);

  std::unique_ptr<xml_archive::TXmlRegistry> FRegistry;
  std::vector<TArchiveWarning> FWarnings;
};
