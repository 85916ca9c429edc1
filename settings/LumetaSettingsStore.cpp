#include "settings/LumetaSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

#include <charconv>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>

#include "com/AtomicFile.h"
#include "com/ComErrors.h"
#include "com/NumberText.h"

namespace {

constexpr const char* HexDigits = "0123456789ABCDEF";

std::string Fold(std::string_view AText) {
  return QString::fromUtf8(AText.data(), static_cast<qsizetype>(AText.size())).toCaseFolded().toStdString();
}

bool SameText(std::string_view A, std::string_view B) { return A == B || Fold(A) == Fold(B); }

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

struct TSettingsStore::TKey {
  std::string Name;  // the spelling it was created with
  std::vector<std::unique_ptr<TKey>> SubKeys;
  std::vector<std::pair<std::string, std::string>> Values;  // name, stored "tag:text"

  TKey* SubKey(std::string_view AName) {
    for (auto& key : SubKeys)
      if (SameText(key->Name, AName)) return key.get();
    return nullptr;
  }
  TKey& MakeSubKey(const std::string& AName, bool& ACreated) {
    if (TKey* key = SubKey(AName)) return *key;
    SubKeys.push_back(std::make_unique<TKey>());
    SubKeys.back()->Name = AName;
    ACreated = true;
    return *SubKeys.back();
  }
  std::string* Value(std::string_view AName) {
    for (auto& [name, stored] : Values)
      if (SameText(name, AName)) return &stored;
    return nullptr;
  }
  void SetValue(std::string_view AName, std::string AStored) {
    if (std::string* stored = Value(AName))
      *stored = std::move(AStored);
    else
      Values.emplace_back(std::string(AName), std::move(AStored));
  }
};

struct TSettingsStore::THiveData {
  TKey Root;
  bool Dirty = false;
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

template <typename TKeyT>
void WriteKey(const TKeyT& AKey, TKeyPath& APath, std::string& AOut) {
  const bool isRoot = APath.empty();
  if (isRoot || !AKey.Values.empty() || AKey.SubKeys.empty()) {
    if (!isRoot) AOut += "\n[" + Encode(JoinKey(APath), "[]") + "]\n";
    for (const auto& [name, stored] : AKey.Values)
      AOut += (name.empty() ? std::string("@") : Encode(name, "=[]")) + "=" + Encode(stored, "") + "\n";
  }
  for (const auto& sub : AKey.SubKeys) {
    APath.push_back(sub->Name);
    WriteKey(*sub, APath, AOut);
    APath.pop_back();
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

TSettingsStore::THiveData& TSettingsStore::Hive(THive AHive) {
  auto& slot = FHives[AHive == THive::ClassesRoot ? 1 : 0];
  if (slot) return *slot;
  slot = std::make_unique<THiveData>();
  QFile file(QString::fromStdString(HiveFile(AHive)));
  if (file.exists()) {
    if (file.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = file.readAll();
      const std::string_view text(bytes.constData(), static_cast<size_t>(bytes.size()));
      // A file that is not settings at all would fill the terminal: the first lines tell enough.
      constexpr int KNamed = 10;
      int skipped = 0;
      ParseLines(text, slot->Root, [&](int ALine, const std::string& AWhy) {
        if (++skipped <= KNamed)
          std::cerr << "warning: settings: " << HiveFile(AHive) << ':' << ALine << ": " << AWhy << '\n';
        if (!slot->Damaged) slot->Damaged = std::string(text);
      });
      if (skipped > KNamed)
        std::cerr << "warning: settings: " << HiveFile(AHive) << ": " << skipped - KNamed << " more lines left out\n";
    } else {
      std::cerr << "warning: settings: cannot read " << HiveFile(AHive) << ": "
                << file.errorString().toStdString() << "; starting empty\n";
    }
  }
  return *slot;
}

TSettingsStore::TKey* TSettingsStore::FindKey(THive AHive, std::string_view AKey) {
  TKey* key = &Hive(AHive).Root;
  for (const auto& segment : SplitKey(AKey)) {
    key = key->SubKey(segment);
    if (key == nullptr) return nullptr;
  }
  return key;
}

TSettingsStore::TKey& TSettingsStore::MakeKey(THive AHive, std::string_view AKey) {
  THiveData& hive = Hive(AHive);
  bool created = false;
  TKey& key = MakePath(hive.Root, SplitKey(AKey), created);
  if (created) hive.Dirty = true;
  return key;
}

bool TSettingsStore::KeyExists(THive AHive, std::string_view AKey) { return FindKey(AHive, AKey) != nullptr; }

void TSettingsStore::CreateKey(THive AHive, std::string_view AKey) {
  MakeKey(AHive, AKey);
  if (Hive(AHive).Dirty) Save(AHive);
}

bool TSettingsStore::DeleteKey(THive AHive, std::string_view AKey) {
  std::vector<std::string> segments = SplitKey(AKey);
  if (segments.empty()) throw EInvalidOperation("Cannot delete the hive " + HiveName(AHive));
  const std::string last = segments.back();
  segments.pop_back();
  TKey* parent = FindKey(AHive, JoinKey(segments));
  if (parent == nullptr) return false;
  for (auto it = parent->SubKeys.begin(); it != parent->SubKeys.end(); ++it) {
    if (SameText((*it)->Name, last)) {
      parent->SubKeys.erase(it);
      Hive(AHive).Dirty = true;
      Save(AHive);
      return true;
    }
  }
  return false;
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
  MakeKey(AHive, AKey).SetValue(AName, std::move(AStored));
  Hive(AHive).Dirty = true;
  Save(AHive);
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
  TKey* key = FindKey(AHive, AKey);
  if (key == nullptr) return false;
  for (auto it = key->Values.begin(); it != key->Values.end(); ++it) {
    if (SameText(it->first, AName)) {
      key->Values.erase(it);
      Hive(AHive).Dirty = true;
      Save(AHive);
      return true;
    }
  }
  return false;
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
  std::string text = "; Lumeta settings, hive " + HiveName(AHive) + "\n";
  TKeyPath path;
  WriteKey(hive.Root, path, text);

  const std::string fileName = HiveFile(AHive);
  if (!QDir().mkpath(QString::fromStdString(FFolder)))
    throw ELumetaError("Cannot write the settings file " + fileName + ": cannot create its folder");
  try {
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
    WriteFileAtomically(fileName, text);
  } catch (const EFileError& AError) {
    throw ELumetaError("Cannot write the settings file " + fileName + ": " + AError.Reason());
  }
  hive.Dirty = false;
}

void TSettingsStore::Flush() {
  std::exception_ptr first;
  for (THive hive : {THive::CurrentUser, THive::ClassesRoot}) {
    const auto& slot = FHives[hive == THive::ClassesRoot ? 1 : 0];
    if (!slot || !slot->Dirty) continue;
    try {
      Save(hive);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TSettingsStore::DropUnsaved() {
  for (auto& slot : FHives)
    if (slot) slot->Dirty = false;
}

TSettingsStore& SettingsStore() {
  static TSettingsStore store;
  return store;
}

void SetSettingsFolder(const std::string& AFolder) { SettingsStore().SetFolder(AFolder); }
