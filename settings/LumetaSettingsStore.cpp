#include "settings/LumetaSettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <unordered_map>

#include "com/AtomicFile.h"
#include "com/ComErrors.h"
#include "com/NumberText.h"

namespace {

constexpr const char* HexDigits = "0123456789ABCDEF";

// Plain ASCII, which nearly every name is, folds without a round trip through UTF-16.
std::string Fold(std::string_view AText) {
  if (std::ranges::all_of(AText, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string folded(AText);
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
  }
  return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size())).toCaseFolded().toStdString();
}

// Also drops the carriage return of files written with CRLF line ends.
std::string_view Trim(std::string_view AText) {
  const auto first = AText.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = AText.find_last_not_of(" \t\r");
  return AText.substr(first, last - first + 1);
}

// Splits a key path at backslashes, dropping empty segments.
std::vector<std::string> SplitKey(std::string_view AKey) {
  std::vector<std::string> result;
  size_t start = 0;
  while (start <= AKey.size()) {
    size_t end = AKey.find('\\', start);
    if (end == std::string_view::npos) end = AKey.size();
    if (end > start) result.emplace_back(AKey.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

std::string JoinKey(const std::vector<std::string>& ASegments) {
  std::string result;
  for (const auto& segment : ASegments) {
    if (!result.empty()) result += '\\';
    result += segment;
  }
  return result;
}

// Percent-encodes what the line format would misread: '%', control characters, the given
// specials anywhere, spaces at either end, and a first character that starts a comment, a
// section or the default-value name.
std::string Encode(std::string_view AText, std::string_view ASpecials) {
  std::string result;
  for (size_t i = 0; i < AText.size(); ++i) {
    const char c = AText[i];
    const auto byte = static_cast<unsigned char>(c);
    const bool edge = i == 0 || i + 1 == AText.size();
    const bool encode = c == '%' || byte < 0x20 || byte == 0x7F ||
                        ASpecials.find(c) != std::string_view::npos || (edge && (c == ' ' || c == '\t')) ||
                        (i == 0 && (c == ';' || c == '#' || c == '[' || c == '@'));
    if (encode) {
      result += '%';
      result += HexDigits[byte >> 4];
      result += HexDigits[byte & 15];
    } else {
      result += c;
    }
  }
  return result;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A '%' not followed by two hex digits is kept as it is, so damaged text still loads.
std::string Decode(std::string_view AText) {
  std::string result;
  for (size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] == '%' && i + 2 < AText.size() && HexValue(AText[i + 1]) >= 0 && HexValue(AText[i + 2]) >= 0) {
      result += static_cast<char>(HexValue(AText[i + 1]) * 16 + HexValue(AText[i + 2]));
      i += 2;
    } else {
      result += AText[i];
    }
  }
  return result;
}

// Stored values are "tag:text"; the tag is matched without regard to case.
struct TTypedText {
  TSettingsValueType Type = TSettingsValueType::Unreadable;
  bool Boolean = false;
  int Integer = 0;
  std::string_view Text;
};

TTypedText ParseStored(std::string_view AStored) {
  TTypedText result;
  const auto colon = AStored.find(':');
  if (colon == std::string_view::npos) return result;
  const std::string tag = Fold(AStored.substr(0, colon));
  const std::string_view text = AStored.substr(colon + 1);
  if (tag == "str") {
    result.Type = TSettingsValueType::String;
    result.Text = text;
  } else if (tag == "bool") {
    const std::string folded = Fold(text);
    if (folded == "true" || folded == "1") {
      result.Type = TSettingsValueType::Boolean;
      result.Boolean = true;
    } else if (folded == "false" || folded == "0") {
      result.Type = TSettingsValueType::Boolean;
    }
  } else if (tag == "int") {
    if (const auto number = ParseInteger<decltype(result.Integer)>(text)) {
      result.Integer = *number;
      result.Type = TSettingsValueType::Integer;
    }
  }
  return result;
}

// Stored texts that read as the same value ("bool:TRUE" and "bool:true"), or the same text.
bool SameStored(std::string_view A, std::string_view B) {
  if (A == B) return true;
  const TTypedText a = ParseStored(A), b = ParseStored(B);
  if (a.Type != b.Type) return false;
  switch (a.Type) {
    case TSettingsValueType::Boolean: return a.Boolean == b.Boolean;
    case TSettingsValueType::Integer: return a.Integer == b.Integer;
    case TSettingsValueType::String: return a.Text == b.Text;
    default: return false;
  }
}

const char* TypeWord(TSettingsValueType AType) {
  switch (AType) {
    case TSettingsValueType::Boolean: return "boolean";
    case TSettingsValueType::Integer: return "integer";
    case TSettingsValueType::String: return "string";
    default: return "value";
  }
}

const char* Article(TSettingsValueType AType) { return AType == TSettingsValueType::Integer ? "an" : "a"; }

std::string DefaultFolder() {
  if (const char* env = std::getenv(TSettingsStore::FolderVariable); env != nullptr && *env != '\0') return env;
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (base.isEmpty()) base = QDir::currentPath();
  return (base + QStringLiteral("/lumeta")).toStdString();
}

std::string ResolveFolder(const std::string& AFolder) {
  const std::string folder = AFolder.empty() ? DefaultFolder() : AFolder;
  return QFileInfo(QString::fromStdString(folder)).absoluteFilePath().toStdString();
}

}  // namespace

// Subkeys and values are found through indexes by folded name, so that a key with thousands of
// either reads and writes in linear time; the vectors keep the order of creation.
struct TSettingsStore::TKey {
  std::string Name;  // the spelling it was created with
  std::vector<std::unique_ptr<TKey>> SubKeys;
  std::unordered_map<std::string, TKey*> SubKeyIndex;
  std::vector<std::pair<std::string, std::string>> Values;  // name, stored "tag:text"
  std::unordered_map<std::string, size_t> ValueIndex;       // folded name, place in Values

  TKey() = default;
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  // A hand-made file may nest keys thousands deep: release them without a call per level.
  ~TKey() {
    std::vector<std::unique_ptr<TKey>> dying = std::move(SubKeys);
    while (!dying.empty()) {
      std::unique_ptr<TKey> key = std::move(dying.back());
      dying.pop_back();
      for (auto& sub : key->SubKeys) dying.push_back(std::move(sub));
      key->SubKeys.clear();
    }
  }

  TKey* SubKey(std::string_view AName) {
    const auto found = SubKeyIndex.find(Fold(AName));
    return found == SubKeyIndex.end() ? nullptr : found->second;
  }
  TKey& MakeSubKey(const std::string& AName, bool& ACreated) {
    auto [slot, added] = SubKeyIndex.try_emplace(Fold(AName), nullptr);
    if (!added) return *slot->second;
    SubKeys.push_back(std::make_unique<TKey>());
    SubKeys.back()->Name = AName;
    slot->second = SubKeys.back().get();
    ACreated = true;
    return *SubKeys.back();
  }
  bool DeleteSubKey(std::string_view AName) {
    const auto found = SubKeyIndex.find(Fold(AName));
    if (found == SubKeyIndex.end()) return false;
    std::erase_if(SubKeys, [&](const std::unique_ptr<TKey>& AKey) { return AKey.get() == found->second; });
    SubKeyIndex.erase(found);
    return true;
  }
  std::string* Value(std::string_view AName) {
    const auto found = ValueIndex.find(Fold(AName));
    return found == ValueIndex.end() ? nullptr : &Values[found->second].second;
  }
  // False when the value was already stored so.
  bool SetValue(std::string_view AName, std::string AStored) {
    auto [slot, added] = ValueIndex.try_emplace(Fold(AName), Values.size());
    if (added) {
      Values.emplace_back(std::string(AName), std::move(AStored));
      return true;
    }
    std::string& stored = Values[slot->second].second;
    if (SameStored(stored, AStored)) return false;
    stored = std::move(AStored);
    return true;
  }
  bool DeleteValue(std::string_view AName) {
    const auto found = ValueIndex.find(Fold(AName));
    if (found == ValueIndex.end()) return false;
    const size_t place = found->second;
    ValueIndex.erase(found);
    Values.erase(Values.begin() + static_cast<std::ptrdiff_t>(place));
    for (auto& [name, index] : ValueIndex)
      if (index > place) --index;
    return true;
  }
};

// One change this store made to a hive, kept until it is saved: a save replays the changes on the
// file as it then is, so that changes another run saved meanwhile are kept.
struct TSettingsStore::TChange {
  enum class TKind { CreateKey, DeleteKey, SetValue, DeleteValue } Kind;
  std::string Key;  // the path as given
  std::string Name;
  std::string Stored;
};

struct TSettingsStore::THiveData {
  std::unique_ptr<TKey> Root = std::make_unique<TKey>();
  std::vector<TChange> Pending;  // not saved yet, oldest first
  // The file's content as this store last read or wrote it (empty: no file); a save that finds
  // something else there reads that first.
  std::string OnDisk;
  // The file as read, when it held lines the store could not read: the first save keeps it
  // beside the new file, so that nothing in it is lost.
  std::optional<std::string> Damaged;
};

// The file format's reader and writer are templates so that they can work on the store's
// private key type without naming it.
namespace {

using TKeyPath = std::vector<std::string>;

template <typename TKeyT>
TKeyT& MakePath(TKeyT& ARoot, const TKeyPath& ASegments, bool& ACreated) {
  TKeyT* key = &ARoot;
  for (const auto& segment : ASegments) key = &key->MakeSubKey(segment, ACreated);
  return *key;
}

// A line left out as it can be shown in a warning: at most 40 bytes, control characters as '?',
// bytes that are not UTF-8 as U+FFFD.
std::string ShownLine(std::string_view ALine) {
  const std::string_view cut = ALine.substr(0, 40);
  QString shown = QString::fromUtf8(cut.data(), static_cast<qsizetype>(cut.size()));
  for (QChar& c : shown)
    if (c.category() == QChar::Other_Control) c = u'?';
  std::string text = "'";  // appended, not added: GCC 12 misreads the sum as overlapping copies
  text += shown.toStdString();
  text += ALine.size() > 40 ? "...'" : "'";
  return text;
}

// Reads what it can; each line it leaves out is told to AOnSkipped (line number, why).
template <typename TKeyT, typename TSkipped>
void ParseLines(std::string_view AText, TKeyT& ARoot, TSkipped AOnSkipped) {
  TKeyT* current = &ARoot;
  bool created = false;
  size_t start = 0;
  for (int number = 1; start < AText.size(); ++number) {
    size_t end = AText.find('\n', start);
    if (end == std::string_view::npos) end = AText.size();
    const std::string_view line = Trim(AText.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      // Values under a damaged section header belong to no known key: skip them.
      current = line.back() == ']' ? &MakePath(ARoot, SplitKey(Decode(line.substr(1, line.size() - 2))), created)
                                   : nullptr;
      if (!current) AOnSkipped(number, ShownLine(line) + " is not a [key]; it and its values are left out");
      continue;
    }
    if (current == nullptr) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || equals == 0) {
      AOnSkipped(number, ShownLine(line) + " is neither a [key] nor NAME=VALUE; it is left out");
      continue;
    }
    const std::string_view rawName = Trim(line.substr(0, equals));
    const std::string name = rawName == "@" ? std::string() : Decode(rawName);
    current->SetValue(name, Decode(Trim(line.substr(equals + 1))));
  }
}

// Depth first, parents before their subkeys, with a stack of its own so that depth is no limit.
template <typename TKeyT>
void WriteKeys(const TKeyT& ARoot, std::string& AOut) {
  struct TVisit {
    const TKeyT* Key;
    size_t PathSize;  // the length of its parent's path
  };
  std::string path;
  std::vector<TVisit> stack{{&ARoot, 0}};
  while (!stack.empty()) {
    const auto [key, parentSize] = stack.back();
    stack.pop_back();
    path.resize(parentSize);
    const bool isRoot = key == &ARoot;
    if (!isRoot) path.append(parentSize == 0 ? "" : "\\").append(key->Name);
    if (isRoot || !key->Values.empty() || key->SubKeys.empty()) {
      if (!isRoot) AOut.append("\n[").append(Encode(path, "[]")).append("]\n");
      for (const auto& [name, stored] : key->Values)
        AOut.append(name.empty() ? std::string("@") : Encode(name, "=[]")).append("=").append(Encode(stored, "")).append("\n");
    }
    for (auto sub = key->SubKeys.rbegin(); sub != key->SubKeys.rend(); ++sub) stack.push_back({sub->get(), path.size()});
  }
}

}  // namespace

std::string HiveName(THive AHive) {
  return AHive == THive::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER";
}

std::optional<THive> ParseHive(std::string_view AText) {
  const std::string folded = Fold(AText);
  if (folded == "hkey_current_user" || folded == "hkcu") return THive::CurrentUser;
  if (folded == "hkey_classes_root" || folded == "hkcr") return THive::ClassesRoot;
  return std::nullopt;
}

TSettingsStore::TSettingsStore(const std::string& AFolder) : FFolder(ResolveFolder(AFolder)) {}

TSettingsStore::~TSettingsStore() {
  try {
    Flush();
  } catch (const std::exception& e) {
    std::cerr << "error: settings: " << e.what() << '\n';
  }
}

void TSettingsStore::SetFolder(const std::string& AFolder) {
  Flush();
  for (auto& hive : FHives) hive.reset();
  FWarned.clear();
  FFolder = ResolveFolder(AFolder);
}

std::string TSettingsStore::HiveFile(THive AHive) const { return FFolder + "/" + HiveName(AHive) + ".ini"; }

// The file's content, or empty for a missing file; a file that cannot be read is told on
// standard error and reads as empty.
std::string TSettingsStore::ReadHiveFile(THive AHive) const {
  const std::string fileName = HiveFile(AHive);
  if (!std::filesystem::exists(fileName)) return {};
  try {
    return ReadWholeFile(fileName);
  } catch (const EFileError& AError) {
    std::cerr << "warning: settings: cannot read " << fileName << ": " << AError.Reason() << "; starting empty\n";
    return {};
  }
}

void TSettingsStore::Parse(THive AHive, const std::string& AText, THiveData& AInto) const {
  // A file that is not settings at all would fill the terminal: the first lines tell enough.
  constexpr int KNamed = 10;
  int skipped = 0;
  ParseLines(AText, *AInto.Root, [&](int ALine, const std::string& AWhy) {
    if (++skipped <= KNamed)
      std::cerr << "warning: settings: " << HiveFile(AHive) << ':' << ALine << ": " << AWhy << '\n';
    if (!AInto.Damaged) AInto.Damaged = AText;
  });
  if (skipped > KNamed)
    std::cerr << "warning: settings: " << HiveFile(AHive) << ": " << skipped - KNamed << " more lines left out\n";
  AInto.OnDisk = AText;
}

TSettingsStore::THiveData& TSettingsStore::Hive(THive AHive) {
  auto& slot = FHives[AHive == THive::ClassesRoot ? 1 : 0];
  if (slot) return *slot;
  slot = std::make_unique<THiveData>();
  Parse(AHive, ReadHiveFile(AHive), *slot);
  return *slot;
}

TSettingsStore::TKey* TSettingsStore::FindKey(THive AHive, std::string_view AKey) {
  TKey* key = Hive(AHive).Root.get();
  for (const auto& segment : SplitKey(AKey)) {
    key = key->SubKey(segment);
    if (key == nullptr) return nullptr;
  }
  return key;
}

bool TSettingsStore::Apply(TKey& ARoot, const TChange& AChange) {
  using TKind = TChange::TKind;
  bool changed = false;
  std::vector<std::string> path = SplitKey(AChange.Key);
  if (AChange.Kind == TKind::CreateKey || AChange.Kind == TKind::SetValue) {
    TKey& key = MakePath(ARoot, path, changed);
    if (AChange.Kind == TKind::SetValue) changed = key.SetValue(AChange.Name, AChange.Stored) || changed;
    return changed;
  }
  const std::string last = AChange.Kind == TKind::DeleteKey ? path.back() : std::string();
  if (AChange.Kind == TKind::DeleteKey) path.pop_back();
  TKey* key = &ARoot;
  for (const auto& segment : path)
    if ((key = key->SubKey(segment)) == nullptr) return false;
  return AChange.Kind == TKind::DeleteKey ? key->DeleteSubKey(last) : key->DeleteValue(AChange.Name);
}

bool TSettingsStore::Change(THive AHive, TChange AChange) {
  THiveData& hive = Hive(AHive);
  // Writing what is already stored changes nothing, and a run that changes nothing never
  // writes: it cannot fail on a folder it may not write, nor put back an old copy of the file.
  if (!Apply(*hive.Root, AChange)) return false;
  hive.Pending.push_back(std::move(AChange));
  Save(AHive);
  return true;
}

bool TSettingsStore::KeyExists(THive AHive, std::string_view AKey) { return FindKey(AHive, AKey) != nullptr; }

void TSettingsStore::CreateKey(THive AHive, std::string_view AKey) {
  Change(AHive, {TChange::TKind::CreateKey, std::string(AKey), {}, {}});
}

bool TSettingsStore::DeleteKey(THive AHive, std::string_view AKey) {
  if (SplitKey(AKey).empty()) throw EInvalidOperation("Cannot delete the hive " + HiveName(AHive));
  return Change(AHive, {TChange::TKind::DeleteKey, std::string(AKey), {}, {}});
}

const std::string* TSettingsStore::FindStored(THive AHive, std::string_view AKey, std::string_view AName) {
  TKey* key = FindKey(AHive, AKey);
  return key == nullptr ? nullptr : key->Value(AName);
}

bool TSettingsStore::ValueExists(THive AHive, std::string_view AKey, std::string_view AName) {
  return FindStored(AHive, AKey, AName) != nullptr;
}

TSettingsValueType TSettingsStore::ValueType(THive AHive, std::string_view AKey, std::string_view AName) {
  const std::string* stored = FindStored(AHive, AKey, AName);
  return stored == nullptr ? TSettingsValueType::None : ParseStored(*stored).Type;
}

void TSettingsStore::Warn(THive AHive, std::string_view AKey, std::string_view AName, const std::string& AMessage) {
  std::string place = HiveName(AHive);
  const std::string key = JoinKey(SplitKey(AKey));
  if (!key.empty()) place.append("\\").append(key);
  place.append("\\").append(AName.empty() ? std::string_view("(Default)") : AName);
  if (!FWarned.insert(Fold(place)).second) return;
  std::cerr << "warning: settings: " << place << " " << AMessage << "; using the default\n";
}

namespace {

// The typed value at a place, or empty after warning why the default applies.
template <typename TWarn>
std::optional<TTypedText> TypedRead(const std::string* AStored, TSettingsValueType AWanted, TWarn AWarn) {
  if (AStored == nullptr) return std::nullopt;
  const TTypedText typed = ParseStored(*AStored);
  if (typed.Type == AWanted) return typed;
  if (typed.Type == TSettingsValueType::Unreadable)
    AWarn("holds \"" + *AStored + "\", not a valid " + TypeWord(AWanted));
  else
    AWarn(std::string("holds ") + Article(typed.Type) + " " + TypeWord(typed.Type) + ", not " + Article(AWanted) +
          " " + TypeWord(AWanted));
  return std::nullopt;
}

}  // namespace

bool TSettingsStore::ReadBool(THive AHive, std::string_view AKey, std::string_view AName, bool ADefault) {
  const auto typed = TypedRead(FindStored(AHive, AKey, AName), TSettingsValueType::Boolean,
                               [&](const std::string& AWhy) { Warn(AHive, AKey, AName, AWhy); });
  return typed ? typed->Boolean : ADefault;
}

int TSettingsStore::ReadInteger(THive AHive, std::string_view AKey, std::string_view AName, int ADefault) {
  const auto typed = TypedRead(FindStored(AHive, AKey, AName), TSettingsValueType::Integer,
                               [&](const std::string& AWhy) { Warn(AHive, AKey, AName, AWhy); });
  return typed ? typed->Integer : ADefault;
}

std::string TSettingsStore::ReadString(THive AHive, std::string_view AKey, std::string_view AName,
                                       const std::string& ADefault) {
  const auto typed = TypedRead(FindStored(AHive, AKey, AName), TSettingsValueType::String,
                               [&](const std::string& AWhy) { Warn(AHive, AKey, AName, AWhy); });
  return typed ? std::string(typed->Text) : ADefault;
}

void TSettingsStore::Store(THive AHive, std::string_view AKey, std::string_view AName, std::string AStored) {
  Change(AHive, {TChange::TKind::SetValue, std::string(AKey), std::string(AName), std::move(AStored)});
}

void TSettingsStore::WriteBool(THive AHive, std::string_view AKey, std::string_view AName, bool AValue) {
  Store(AHive, AKey, AName, AValue ? "bool:true" : "bool:false");
}

void TSettingsStore::WriteInteger(THive AHive, std::string_view AKey, std::string_view AName, int AValue) {
  Store(AHive, AKey, AName, "int:" + std::to_string(AValue));
}

void TSettingsStore::WriteString(THive AHive, std::string_view AKey, std::string_view AName,
                                 std::string_view AValue) {
  Store(AHive, AKey, AName, "str:" + std::string(AValue));
}

bool TSettingsStore::DeleteValue(THive AHive, std::string_view AKey, std::string_view AName) {
  return Change(AHive, {TChange::TKind::DeleteValue, std::string(AKey), std::string(AName), {}});
}

std::vector<std::string> TSettingsStore::ValueNames(THive AHive, std::string_view AKey) {
  std::vector<std::string> names;
  if (TKey* key = FindKey(AHive, AKey))
    for (const auto& value : key->Values) names.push_back(value.first);
  return names;
}

std::vector<std::string> TSettingsStore::SubKeyNames(THive AHive, std::string_view AKey) {
  std::vector<std::string> names;
  if (TKey* key = FindKey(AHive, AKey))
    for (const auto& sub : key->SubKeys) names.push_back(sub->Name);
  return names;
}

void TSettingsStore::Save(THive AHive) {
  THiveData& hive = Hive(AHive);
  const std::string fileName = HiveFile(AHive);
  const auto fail = [&](const std::string& AWhy) {
    return ELumetaError("Cannot write the settings file " + fileName + ": " + AWhy);
  };
  if (!QDir().mkpath(QString::fromStdString(FFolder))) throw fail("cannot create its folder");
  try {
    // The new file locks the old one until it replaces it, so another run's save waits; what
    // that run saved before is read now, and this store's changes are made again on top of it.
    TAtomicFile file(fileName);
    if (std::string disk = ReadHiveFile(AHive); disk != hive.OnDisk) {
      THiveData fresh;
      Parse(AHive, disk, fresh);
      for (const TChange& change : hive.Pending) Apply(*fresh.Root, change);
      std::swap(hive.Root, fresh.Root);
      hive.OnDisk = std::move(fresh.OnDisk);
      if (fresh.Damaged) hive.Damaged = std::move(fresh.Damaged);
    }
    std::string text = "; Lumeta settings, hive " + HiveName(AHive) + "\n";
    WriteKeys(*hive.Root, text);
    if (hive.Damaged) {
      // A copy kept from an earlier damage stays: the next free name takes this one.
      const std::string first = fileName + ".damaged";
      std::string kept = first;
      for (int n = 2; std::filesystem::exists(kept); ++n) kept = first + '.' + std::to_string(n);
      WriteFileAtomically(kept, *hive.Damaged);
      std::cerr << "warning: settings: " << fileName << " is written anew without the lines left out; the file as it was is kept as "
                << kept << '\n';
      hive.Damaged.reset();
    }
    file.Write(text);
    file.Commit();
    hive.OnDisk = std::move(text);
  } catch (const EFileError& AError) {
    throw fail(AError.Reason());
  }
  hive.Pending.clear();
}

void TSettingsStore::Flush() {
  std::exception_ptr first;
  for (THive hive : {THive::CurrentUser, THive::ClassesRoot}) {
    const auto& slot = FHives[hive == THive::ClassesRoot ? 1 : 0];
    if (!slot || slot->Pending.empty()) continue;
    try {
      Save(hive);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

std::string TSettingsStore::FolderProblem() const {
  // The folder, or else the nearest folder above it that exists: a save creates the rest.
  std::filesystem::path folder = FFolder;
  std::error_code error;
  while (!std::filesystem::exists(folder, error) && folder.has_relative_path()) folder = folder.parent_path();
  if (!std::filesystem::is_directory(folder, error))
    return FFolder + " cannot be created: " + folder.string() + " is not a folder";
  if (::access(folder.c_str(), W_OK) != 0)
    return (folder == FFolder ? "cannot write in " + FFolder : FFolder + " cannot be created in " + folder.string()) +
           ": " + std::strerror(errno);
  return {};
}

void TSettingsStore::DropUnsaved() {
  for (auto& slot : FHives)
    if (slot) slot->Pending.clear();
}

TSettingsStore& SettingsStore() {
  static TSettingsStore store;
  return store;
}

void SetSettingsFolder(const std::string& AFolder) { SettingsStore().SetFolder(AFolder); }
