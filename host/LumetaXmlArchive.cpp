#include "host/LumetaXmlArchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <pugixml.hpp>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "attributes/LumetaAttributes.h"
#include "attributes/XmlAttributes.h"
#include "attributes/XmlDataConverters.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/LumetaMapSettings.h"
#include "contract/LumetaSelectionIntf.h"

namespace {
// The host's own element and attribute names.
constexpr const char* KMap = "Map";
constexpr const char* KNode = "Node";
constexpr const char* KTitle = "Title";
constexpr const char* KNotes = "Notes";
constexpr const char* KResources = "Resources";
constexpr const char* KResource = "Resource";
constexpr const char* KAttachments = "Attachments";
constexpr const char* KAttachment = "Attachment";
constexpr const char* KCategories = "Categories";
constexpr const char* KCategory = "Category";
constexpr const char* KConnections = "Connections";
constexpr const char* KConnection = "Connection";
constexpr const char* KSettings = "Settings";
constexpr const char* KWorkingDays = "WorkingDays";
constexpr const char* KWorkingPeriods = "WorkingPeriods";
constexpr const char* KPeriod = "Period";
constexpr const char* KHolidays = "Holidays";
constexpr const char* KHoliday = "Holiday";

constexpr const char* KID = "ID";
constexpr const char* KExpanded = "Expanded";
constexpr const char* KVersion = "Version";
constexpr const char* KHighestID = "HighestID";
constexpr const char* KName = "Name";
constexpr const char* KEmail = "Email";
constexpr const char* KNodeReference = "Node";  // the linked or connected node's ID
constexpr const char* KTaskScheduling = "TaskScheduling";
constexpr const char* KStart = "Start";
constexpr const char* KFinish = "Finish";

constexpr const char* KReservedNames[] = {KMap,        KNode,        KTitle,   KNotes,     KResources,
                                          KAttachments, KCategories, KConnections, KSettings};
constexpr const char* KDayNames[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

// Deeper trees would overflow the stack of the recursive walks over the map.
constexpr int KMaxDepth = 10000;
constexpr unsigned KParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single;

bool Same(const char* ALeft, const char* ARight) { return std::strcmp(ALeft, ARight) == 0; }

// The host's own elements that a node holds at most once (Settings only in the map).
enum THostKind { hkTitle, hkNotes, hkResources, hkAttachments, hkCategories, hkConnections, hkSettings, hkCount };
constexpr const char* KHostKindNames[hkCount] = {KTitle, KNotes, KResources, KAttachments, KCategories, KConnections, KSettings};

int HostElementKind(const char* AName) {
  for (int kind = 0; kind < hkCount; ++kind)
    if (Same(AName, KHostKindNames[kind])) return kind;
  return -1;
}

bool IsBlank(const char* AText) {
  for (; *AText; ++AText)
    if (!std::strchr(" \t\r\n", *AText)) return false;
  return true;
}


std::optional<bool> ParseBoolean(std::string_view AText) {
  if (AText == "true" || AText == "1") return true;
  if (AText == "false" || AText == "0") return false;
  return std::nullopt;
}

// "hh:mm", 00:00 to 24:00.
std::optional<int32_t> ParseClock(std::string_view AText) {
  if (AText.size() != 5 || AText[2] != ':') return std::nullopt;
  const auto hours = ParseInteger<int64_t>(AText.substr(0, 2));
  const auto minutes = ParseInteger<int64_t>(AText.substr(3, 2));
  if (!hours || !minutes || *hours < 0 || *minutes < 0 || *minutes > 59 || *hours * 60 + *minutes > 24 * 60)
    return std::nullopt;
  return static_cast<int32_t>(*hours * 60 + *minutes);
}

std::string ClockText(int32_t AMinutes) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", AMinutes / 60 % 100, AMinutes % 60);
  return text;
}

std::string ErrnoText(int AError) { return std::strerror(AError); }

// Converted values reach the attribute through the scalar interface it answers.
double VariantNumber(const TVariant& AValue) {
  if (const auto* value = std::get_if<int32_t>(&AValue)) return *value;
  if (const auto* value = std::get_if<double>(&AValue)) return *value;
  if (const auto* value = std::get_if<bool>(&AValue)) return *value ? -1 : 0;
  if (const auto* value = std::get_if<TVariantDate>(&AValue)) return value->Value;
  throw EConvertError("A converter answered a value that is not a number");
}

std::string VariantText(const TVariant& AValue) {
  if (const auto* value = std::get_if<std::string>(&AValue)) return *value;
  if (const auto* value = std::get_if<int32_t>(&AValue)) return std::to_string(*value);
  if (const auto* value = std::get_if<double>(&AValue)) return TDataConverter::FloatToStr(*value);
  if (const auto* value = std::get_if<bool>(&AValue)) return *value ? "true" : "false";
  if (const auto* value = std::get_if<TVariantDate>(&AValue)) return DateTimeToXmlText(value->Value);
  return {};
}

void StoreValue(IAttribute* AAttribute, const TVariant& AValue) {
  if (VariantIsEmpty(AValue)) return;
  if (auto text = QueryAs<IStringAttribute>(AAttribute)) return text->SetValue(VariantText(AValue));
  if (const auto* text = std::get_if<std::string>(&AValue)) return AAttribute->LoadFromString(*text);
  const double number = VariantNumber(AValue);
  if (auto integer = QueryAs<IIntegerAttribute>(AAttribute)) {
    const double clamped = std::clamp(std::round(number), double(INT32_MIN), double(INT32_MAX));
    return integer->SetValue(std::isnan(clamped) ? 0 : static_cast<int32_t>(clamped));
  }
  if (auto real = QueryAs<IDoubleAttribute>(AAttribute)) return real->SetValue(number);
  if (auto date = QueryAs<IDateTimeAttribute>(AAttribute)) return date->SetValue(number);
  if (auto flag = QueryAs<IWordBoolAttribute>(AAttribute)) return flag->SetValue(number != 0);
  throw EConvertError("Cannot assign a converted value to " + TAttribute::ClassNameOf(AAttribute));
}

// The archive's element as converters and loaders see it; one object re-pointed at each element
// handed over, valid only during that call.
class TXmlElement : public TImplements<TAggregableObject, IXmlElement> {
 public:
  void Point(pugi::xml_node ANode) { FNode = ANode; }

  std::string GetName() override { return FNode.name(); }
  std::string GetText() override { return FNode.child_value(); }
  void SetText(const std::string& AText) override {
    for (pugi::xml_node child = FNode.first_child(); child;) {
      const pugi::xml_node next = child.next_sibling();
      if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) FNode.remove_child(child);
      child = next;
    }
    if (!AText.empty()) FNode.append_child(pugi::node_pcdata).set_value(AText.c_str());
  }
  bool GetAttribute(const std::string& AName, std::string& AValue) override {
    const pugi::xml_attribute attribute = FNode.attribute(AName.c_str());
    if (!attribute) return false;
    AValue = attribute.value();
    return true;
  }
  void SetAttribute(const std::string& AName, const std::string& AValue) override {
    pugi::xml_attribute attribute = FNode.attribute(AName.c_str());
    if (!attribute) attribute = FNode.append_attribute(AName.c_str());
    attribute.set_value(AValue.c_str());
  }

 private:
  pugi::xml_node FNode;
};

class TStringWriter : public pugi::xml_writer {
 public:
  void write(const void* AData, size_t ASize) override { Text.append(static_cast<const char*>(AData), ASize); }
  std::string Text;
};

// Buffers the output and keeps the first write error (pugixml's writer cannot raise).
class TFileWriter : public pugi::xml_writer {
 public:
  explicit TFileWriter(int AFile) : FFile(AFile) { FBuffer.reserve(KCapacity); }
  void write(const void* AData, size_t ASize) override {
    if (FBuffer.size() + ASize > KCapacity) Flush();
    if (ASize >= KCapacity) return WriteAll(static_cast<const char*>(AData), ASize);
    FBuffer.insert(FBuffer.end(), static_cast<const char*>(AData), static_cast<const char*>(AData) + ASize);
  }
  void Flush() {
    WriteAll(FBuffer.data(), FBuffer.size());
    FBuffer.clear();
  }
  int Error() const noexcept { return FError; }

 private:
  static constexpr size_t KCapacity = 1 << 20;
  void WriteAll(const char* AData, size_t ASize) {
    while (ASize > 0 && FError == 0) {
      const ssize_t written = ::write(FFile, AData, ASize);
      if (written < 0) {
        if (errno != EINTR) FError = errno;
        continue;
      }
      AData += written;
      ASize -= static_cast<size_t>(written);
    }
  }
  int FFile;
  int FError = 0;
  std::vector<char> FBuffer;
};

// The IDs of a map's nodes, for the many existence checks of links and connections: a bit per ID
// when the IDs are dense, as the map hands them out, else the map's own index.
class TIdSet {
 public:
  explicit TIdSet(const TLumetaMap& AMap) : FMap(AMap) {
    const int64_t highest = AMap.HighestID();
    if (highest > 8 * static_cast<int64_t>(AMap.NodeCount()) + 1024) return;
    FBits.assign(static_cast<size_t>(highest) + 1, false);
    FBits[0] = true;
    AMap.ForEachNode([&](TLumetaNode* ANode) { FBits[static_cast<size_t>(ANode->ID())] = true; });
    FDense = true;
  }
  bool Contains(int64_t AID) const {
    if (!FDense) return FMap.FindNode(AID) != nullptr;
    return AID >= 0 && AID < static_cast<int64_t>(FBits.size()) && FBits[static_cast<size_t>(AID)];
  }

 private:
  const TLumetaMap& FMap;
  bool FDense = false;
  std::vector<bool> FBits;
};

std::string ReadWholeFile(const std::string& APath, int& AError) {
  AError = 0;
  const int file = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    AError = errno;
    return {};
  }
  std::string text;
  struct stat status {};
  if (::fstat(file, &status) == 0 && S_ISDIR(status.st_mode)) AError = EISDIR;
  if (AError == 0 && status.st_size > 0) text.reserve(static_cast<size_t>(status.st_size));
  char chunk[1 << 16];
  while (AError == 0) {
    const ssize_t read = ::read(file, chunk, sizeof chunk);
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) AError = errno;
    if (read <= 0) break;
    text.append(chunk, static_cast<size_t>(read));
  }
  ::close(file);
  return text;
}
}  // namespace

// ---- EArchiveError

namespace {
std::string ArchiveMessage(const std::string& AFile, int ALine, int AColumn, const std::string& AReason) {
  if (ALine <= 0) return AFile + ": " + AReason;
  return AFile + ":" + std::to_string(ALine) + ":" + std::to_string(AColumn) + ": " + AReason;
}
}  // namespace

EArchiveError::EArchiveError(std::string AFile, int ALine, int AColumn, std::string AReason)
    : ELumetaError(ArchiveMessage(AFile, ALine, AColumn, AReason)),
      FFile(std::move(AFile)),
      FLine(ALine),
      FColumn(AColumn),
      FReason(std::move(AReason)) {}

EArchiveError::~EArchiveError() = default;

// ---- The layout compiled from a property class's declarations

// Where each declared value goes: fields in declaration order, and for loading, the elements the
// property element (or each list item's element) may hold with the XML attributes each carries.
struct TLumetaXmlArchive::TLayout {
  struct TField {
    const XmlProperty* Declaration = nullptr;
    bool IsAttribute = false;
    int Slot = -1;  // element fields: their slot; attribute fields: their owner's slot, -1 the property element
    ComPtr<IDataConverter> Converter;
    // Where the attribute was found last time, in a structure of ChildCount children; records of
    // one class keep their children in one order, so the place is reused without a name lookup.
    int32_t ChildIndex = -1;
    int32_t ChildCount = -1;
  };
  // A record (or list item) whose declared attributes are looked up. Our own structures are read
  // through their stored children, without counting references or asking names.
  struct TOwner {
    explicit TOwner(IStructuredAttribute* AInterface) : Interface(AInterface) {
      TAttribute* object = TAttribute::FromInterface(AInterface);
      Object = object ? object->AsStructure() : nullptr;
    }
    IStructuredAttribute* Interface;
    TStructuredAttribute* Object;
    ComPtr<IAttribute> Held;  // a child found through the interface, kept for the caller
  };
  struct TSlot {
    std::string_view Name;
    int Field = -1;
    std::vector<std::pair<std::string_view, size_t>> Attributes;
  };

  std::string ElementName;
  bool IsList = false;
  std::string ItemElementName;
  ComPtr<IDataConverter> ItemConverter;
  ComPtr<ITaskLinkDataLoader> ItemLoader;
  ComPtr<IDataConverter> OwnConverter;  // the value of a property that is a single scalar
  std::vector<TField> Fields;
  TSlot Own;
  std::vector<TSlot> Slots;

  // Whether a declared name is the name of an element or attribute of the document, without
  // measuring the document's text first: the load compares every name of every record.
  static bool NameIs(std::string_view ADeclared, const char* AName) {
    return std::strncmp(ADeclared.data(), AName, ADeclared.size()) == 0 && AName[ADeclared.size()] == '\0';
  }
  int SlotIndex(const char* AName) const {
    for (size_t i = 0; i < Slots.size(); ++i)
      if (NameIs(Slots[i].Name, AName)) return static_cast<int>(i);
    return -1;
  }
  // The slot of a record's next child element, or -1. A saved record lists its elements in
  // declaration order, so the slot after the previous one (AExpected) is tried first.
  int NextSlotIndex(const char* AName, int& AExpected) const {
    const int index = AExpected < static_cast<int>(Slots.size()) && NameIs(Slots[AExpected].Name, AName)
                          ? AExpected
                          : SlotIndex(AName);
    AExpected = index + 1;
    return index;
  }
  static const std::pair<std::string_view, size_t>* FindAttribute(const TSlot& ASlot, const char* AName) {
    for (const auto& entry : ASlot.Attributes)
      if (NameIs(entry.first, AName)) return &entry;
    return nullptr;
  }

  static std::shared_ptr<TLayout> Build(const TXmlDeclarations& ADeclarations);
  // The declared attribute of a record (or of a list item), borrowed from the owner that holds
  // it: the child at the place where it was found before, else the one FindChild finds.
  static IAttribute* FieldAttribute(TOwner& AOwner, TField& AField);
};

std::shared_ptr<TLumetaXmlArchive::TLayout> TLumetaXmlArchive::TLayout::Build(const TXmlDeclarations& ADeclarations) {
  if (ADeclarations.empty() || !ADeclarations.front()) throw ELumetaError("The property declares no XML mapping");
  const auto* own = dynamic_cast<const XmlProperty*>(ADeclarations.front().get());
  if (!own || own->Kind() == TXmlDeclarationKind::Attribute || !own->OwnerElement().empty())
    throw ELumetaError("The first XML declaration of '" + ADeclarations.front()->PropertyName() +
                       "' must be the property's own element");
  auto layout = std::make_shared<TLayout>();
  layout->ElementName = own->XmlName();
  const std::string where = "'" + layout->ElementName + "': ";
  if (layout->ElementName.empty()) throw ELumetaError("A property declares an empty XML name");
  for (const char* reserved : KReservedNames)
    if (layout->ElementName == reserved) throw ELumetaError(where + "the name is the host's own element");

  size_t itemIndex = 0;
  if (own->Kind() == TXmlDeclarationKind::ListElement) {
    layout->IsList = true;
    const std::string& itemName = static_cast<const XmlListElement*>(own)->ItemPropertyName();
    for (size_t i = 1; i < ADeclarations.size() && itemIndex == 0; ++i)
      if (ADeclarations[i] && ADeclarations[i]->PropertyName() == itemName) itemIndex = i;
    const auto* item = itemIndex ? dynamic_cast<const XmlProperty*>(ADeclarations[itemIndex].get()) : nullptr;
    if (!item || item->Kind() != TXmlDeclarationKind::Element)
      throw ELumetaError(where + "the list names the item declaration '" + itemName + "', which is not an element");
    layout->ItemElementName = item->XmlName();
    ComPtr<IDataConverter> converter = item->DataConverter();
    if (!converter) converter = own->DataConverter();
    layout->ItemLoader = converter.try_as<ITaskLinkDataLoader>();
    if (!layout->ItemLoader) layout->ItemConverter = converter;
  } else {
    layout->OwnConverter = own->DataConverter();
  }

  for (size_t i = 1; i < ADeclarations.size(); ++i) {
    if (i == itemIndex) continue;
    const auto* declaration = dynamic_cast<const XmlProperty*>(ADeclarations[i].get());
    if (!declaration || declaration->Kind() == TXmlDeclarationKind::ListElement)
      throw ELumetaError(where + "'" + (ADeclarations[i] ? ADeclarations[i]->PropertyName() : std::string()) +
                         "' is neither a value element nor an attribute");
    TField field;
    field.Declaration = declaration;
    field.IsAttribute = declaration->Kind() == TXmlDeclarationKind::Attribute;
    field.Converter = declaration->DataConverter();
    const size_t index = layout->Fields.size();
    const std::string& owner = declaration->OwnerElement();
    if (!field.IsAttribute) {
      if (!owner.empty()) throw ELumetaError(where + "the element '" + declaration->XmlName() + "' has an owner element");
      if (layout->SlotIndex(declaration->XmlName().c_str()) >= 0)
        throw ELumetaError(where + "the element '" + declaration->XmlName() + "' is declared twice");
      field.Slot = static_cast<int>(layout->Slots.size());
      layout->Slots.push_back({declaration->XmlName(), static_cast<int>(index), {}});
    } else {
      field.Slot = owner.empty() ? -1 : layout->SlotIndex(owner.c_str());
      if (!owner.empty() && field.Slot < 0)
        throw ELumetaError(where + "the attribute '" + declaration->XmlName() + "' belongs to the undeclared element '" +
                           owner + "'");
      TSlot& slot = field.Slot < 0 ? layout->Own : layout->Slots[field.Slot];
      if (FindAttribute(slot, declaration->XmlName().c_str()) ||
          (field.Slot < 0 && layout->ItemLoader && declaration->XmlName() == KNodeReference))
        throw ELumetaError(where + "the attribute '" + declaration->XmlName() + "' is declared twice");
      slot.Attributes.emplace_back(declaration->XmlName(), index);
    }
    layout->Fields.push_back(std::move(field));
  }
  return layout;
}

IAttribute* TLumetaXmlArchive::TLayout::FieldAttribute(TOwner& AOwner, TField& AField) {
  if (AOwner.Object && AField.ChildIndex >= 0 && AOwner.Object->Count() == AField.ChildCount)
    return AOwner.Object->ChildAt(AField.ChildIndex);
  const std::string& name = AField.Declaration->PropertyName();
  if (!AOwner.Object && AField.ChildIndex >= 0 && AField.ChildIndex < AOwner.Interface->GetChildCount()) {
    AOwner.Held = AOwner.Interface->GetChild(AField.ChildIndex);
    if (AOwner.Held && AOwner.Held->GetName() == name) return AOwner.Held.get();
  }
  AOwner.Held = AOwner.Interface->FindChild(name);
  if (!AOwner.Held) throw ELumetaError("The property has no attribute '" + name + "' for its declaration");
  AField.ChildIndex = AOwner.Interface->IndexOf(AOwner.Held.get());
  AField.ChildCount = AOwner.Object ? AOwner.Object->Count() : -1;
  return AOwner.Held.get();
}

using TLayoutField = TLumetaXmlArchive::TLayout::TField;

// ---- The document a map was read from

namespace {
// Keeps the parsed file of a loaded map: record and list values are read from it on their first
// use, and a property nobody has read since is saved by copying its element. Owns the text the
// document points into.
class TXmlDocSource : public TImplements<TAggregableObject, IDocSource> {
 public:
  using TLayout = TLumetaXmlArchive::TLayout;
  struct TEntry {
    ComPtr<IProperty> Property;  // held, so that its address never names a later property
    pugi::xml_node Element;
    TLayout* Layout;  // kept alive by FLayouts
    bool Clean;       // the element holds nothing the layout passes over
  };

  TXmlDocSource(std::string AName, std::string ABuffer) : Name(std::move(AName)), Buffer(std::move(ABuffer)) {}

  // A root built on our attribute classes carries its entry's number, so that a read finds the
  // element without a search; the few other roots go into an index sorted once after the load.
  void Remember(IProperty* AProperty, IAttribute* ARoot, pugi::xml_node AElement, TLayout& ALayout, bool AClean) {
    FEntries.push_back({ComPtr<IProperty>(AProperty), AElement, &ALayout, AClean});
    if (TStructuredAttribute* root = StructureOf(ARoot))
      root->SetSourceTag(static_cast<uint32_t>(FEntries.size()));
    else
      FIndex.emplace_back(AProperty, static_cast<uint32_t>(FEntries.size() - 1));
  }
  void Seal() { std::sort(FIndex.begin(), FIndex.end()); }
  void KeepLayout(std::shared_ptr<TLayout> ALayout) { FLayouts.push_back(std::move(ALayout)); }

  // The element of a property none of whose values has been read since the load, or null.
  const TEntry* Untouched(IProperty* AProperty) {
    TStructuredAttribute* structure = RootOf(AProperty);
    const TEntry* entry = structure ? Find(AProperty, structure) : nullptr;
    if (!entry || !entry->Clean) return nullptr;
    if (entry->Layout->IsList) return structure->IsLoaded() ? nullptr : entry;
    if (!structure->HasMadeChildren()) return entry;
    for (int32_t i = 0; i < structure->Count(); ++i)
      if (structure->ChildAt(i)->IsLoaded()) return nullptr;
    return entry;
  }

  void LoadAttribute(IAttribute* AAttribute) override {
    ComPtr<IProperty> property = AAttribute->GetProperty();
    const TEntry* entry = property ? Find(property.get(), RootOf(property.get())) : nullptr;
    if (!entry) return;  // made after the load: nothing to read
    TLayout& layout = *entry->Layout;
    try {
      if (layout.IsList) {
        auto list = QueryAs<IListAttribute>(property.get());
        // Only the list itself asks (EnsureLoaded has marked it loaded); its items come all at once.
        if (!list || !SameObject(list.get(), AAttribute)) return;
        const TPendingScope scope(FPending, nullptr);  // a list loaded from inside a record's load
        ReadList(layout, list.get(), entry->Element);
        list->SetFlagEx(afLoaded, true, true);
        return;
      }
      auto record = QueryAs<IStructuredAttribute>(property.get());
      if (!record) return;
      // The whole record at once, as a load would: every child not yet read or set. They are
      // marked first so that a side effect reading a sibling does not come back here.
      std::vector<IAttribute*> pending;
      const int32_t count = record->GetChildCount();
      std::vector<ComPtr<IAttribute>> children;
      children.reserve(static_cast<size_t>(count));
      for (int32_t i = 0; i < count; ++i) {
        children.push_back(record->GetChild(i));
        IAttribute* child = children.back().get();
        // The child asking is marked loaded already, by EnsureLoaded.
        if (child && (child == AAttribute || !child->IsLoaded())) pending.push_back(child);
      }
      for (IAttribute* child : pending) child->SetFlagEx(afLoaded, true, true);
      {
        const TPendingScope scope(FPending, &pending);
        ReadFields(layout, record.get(), entry->Element);
      }
      for (IAttribute* child : pending) child->SetFlagEx(afModified, false, true);
    } catch (const std::exception& AError) {
      throw ELumetaError(Name + ": cannot load '" + layout.ElementName + "': " + AError.what());
    }
  }

  const std::string Name;
  std::string Buffer;
  pugi::xml_document Document;

 private:
  // The attribute, or the tree a property carries, when it is one of our structures.
  static TStructuredAttribute* StructureOf(IAttribute* AAttribute) {
    TAttribute* object = TAttribute::FromInterface(AAttribute);
    return object ? object->AsStructure() : nullptr;
  }
  static TStructuredAttribute* RootOf(IProperty* AProperty) { return StructureOf(QueryAs<IAttribute>(AProperty).get()); }

  // ARoot is RootOf(AProperty), or null.
  const TEntry* Find(IProperty* AProperty, TStructuredAttribute* ARoot) const {
    // The IProperty pointer tells entries apart: every query of one object answers it alike, and
    // an entry holds its property, so no later property can have the same address.
    if (const uint32_t tag = ARoot ? ARoot->SourceTag() : 0;
        tag > 0 && tag <= FEntries.size() && FEntries[tag - 1].Property.get() == AProperty)
      return &FEntries[tag - 1];
    const auto found = std::lower_bound(FIndex.begin(), FIndex.end(), std::pair<IProperty*, uint32_t>(AProperty, 0));
    return found == FIndex.end() || found->first != AProperty ? nullptr : &FEntries[found->second];
  }

  void ReadFields(TLayout& ALayout, IStructuredAttribute* AInterface, pugi::xml_node AElement) {
    TLayout::TOwner owner(AInterface);
    TLayout::TOwner* AOwner = &owner;
    for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute()) {
      if (const auto* entry = TLayout::FindAttribute(ALayout.Own, attribute.name()))
        Apply(ALayout.Fields[entry->second], AOwner, attribute.value());
    }
    int expected = 0;
    for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const int slotIndex = ALayout.NextSlotIndex(child.name(), expected);
      if (slotIndex < 0) continue;
      const TLayout::TSlot& slot = ALayout.Slots[slotIndex];
      if (slot.Field >= 0) Apply(ALayout.Fields[slot.Field], AOwner, child.child_value());
      for (pugi::xml_attribute attribute = child.first_attribute(); attribute; attribute = attribute.next_attribute())
        if (const auto* entry = TLayout::FindAttribute(slot, attribute.name()))
          Apply(ALayout.Fields[entry->second], AOwner, attribute.value());
    }
  }

  void Apply(TLayoutField& AField, TLayout::TOwner* AOwner, const char* AText) {
    IAttribute* attribute = TLayout::FieldAttribute(*AOwner, AField);
    if (FPending && std::find(FPending->begin(), FPending->end(), attribute) == FPending->end()) return;
    FText.assign(AText);  // one buffer for every value, grown once
    if (AField.Converter)
      StoreValue(attribute, AField.Converter->ConvertFromString(FText));
    else
      attribute->LoadFromString(FText);
  }

  void ReadList(TLayout& ALayout, IListAttribute* AList, pugi::xml_node AElement) {
    for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element || !Same(child.name(), ALayout.ItemElementName.c_str())) continue;
      ComPtr<IAttribute> item = AList->Add();
      if (ALayout.ItemLoader) {
        item->LoadFromString(child.attribute(KNodeReference).value());
        FElement->Point(child);
        ALayout.ItemLoader->LoadFromXml(FElement.get(), item.as<ITaskLink>().get());
      } else if (ALayout.ItemConverter) {
        StoreValue(item.get(), ALayout.ItemConverter->ConvertFromString(child.child_value()));
      } else if (auto record = item.try_as<IStructuredAttribute>()) {
        ReadFields(ALayout, record.get(), child);
      } else {
        item->LoadFromString(child.child_value());
      }
    }
  }

  std::vector<TEntry> FEntries;
  std::vector<std::pair<IProperty*, uint32_t>> FIndex;  // sorted by identity once the load is done
  std::vector<std::shared_ptr<TLayout>> FLayouts;
  using TPending = const std::vector<IAttribute*>*;
  // Loads may nest (a setter reading another property): each restores the outer one's children.
  struct TPendingScope {
    TPendingScope(TPending& AField, TPending AValue) : Field(AField), Saved(std::exchange(AField, AValue)) {}
    ~TPendingScope() { Field = Saved; }
    TPending& Field;
    TPending Saved;
  };
  TPending FPending = nullptr;  // while a record loads: the children to fill
  std::string FText;
  ComPtr<TXmlElement> FElement = make<TXmlElement>();
};
}  // namespace

// ---- Saving

class TLumetaXmlArchive::TSaver {
 public:
  TSaver(TLumetaXmlArchive& AArchive, const TLumetaMap& AMap)
      : FArchive(AArchive), FMap(AMap), FIds(AMap), FSource(dynamic_cast<TXmlDocSource*>(AMap.DocSource())) {}

  // The whole map as a document; raises before anything is written.
  pugi::xml_document& Build() {
    pugi::xml_node declaration = FDocument.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    pugi::xml_node map = FDocument.append_child(KMap);
    map.append_attribute(KVersion).set_value(FormatVersion);
    map.append_attribute(KHighestID).set_value(static_cast<long long>(FMap.HighestID()));
    WriteContent(FMap.Root(), map);
    return FDocument;
  }

 private:
  void WriteContent(TLumetaNode* ANode, pugi::xml_node AElement) {
    const bool isMap = ANode->IsRoot();
    if (!ANode->HostData().Expanded) AElement.append_attribute(KExpanded).set_value("false");
    AElement.append_child(KTitle).text().set(ANode->Title().c_str());
    WriteHostData(ANode, AElement);
    if (isMap) WriteSettings(AElement);
    for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i) WriteProperty(ANode, ANode->GetPropertyItem(i).get(), AElement);
    WriteUnknown(ANode, AElement);
    for (const auto& child : ANode->Children()) {
      pugi::xml_node element = AElement.append_child(KNode);
      element.append_attribute(KID).set_value(static_cast<long long>(child->ID()));
      WriteContent(child.get(), element);
    }
  }

  void WriteHostData(TLumetaNode* ANode, pugi::xml_node AElement) {
    const TLumetaNode::THostData& data = ANode->HostData();
    if (!data.Notes.empty()) AElement.append_child(KNotes).text().set(data.Notes.c_str());
    if (!data.Resources.empty()) {
      pugi::xml_node list = AElement.append_child(KResources);
      for (const auto& [name, email] : data.Resources) {
        pugi::xml_node resource = list.append_child(KResource);
        resource.append_attribute(KName).set_value(name.c_str());
        if (!email.empty()) resource.append_attribute(KEmail).set_value(email.c_str());
      }
    }
    WriteTexts(AElement, KAttachments, KAttachment, data.Attachments);
    WriteTexts(AElement, KCategories, KCategory, data.Categories);
    if (!data.Connections.empty()) {
      pugi::xml_node list = AElement.append_child(KConnections);
      for (int64_t id : data.Connections) {
        if (!FIds.Contains(id)) {
          Warn("node " + ANode->GetID() + ": connection to node " + std::to_string(id) + ", which no longer exists, dropped");
          continue;
        }
        list.append_child(KConnection).append_attribute(KNodeReference).set_value(static_cast<long long>(id));
      }
    }
  }

  static void WriteTexts(pugi::xml_node AElement, const char* AListName, const char* AItemName,
                         const std::vector<std::string>& ATexts) {
    if (ATexts.empty()) return;
    pugi::xml_node list = AElement.append_child(AListName);
    for (const std::string& text : ATexts) list.append_child(AItemName).text().set(text.c_str());
  }

  void WriteSettings(pugi::xml_node AMap) {
    auto* settings = dynamic_cast<TLumetaMapSettings*>(FMap.Settings());
    if (!settings) return;
    pugi::xml_node element = AMap.append_child(KSettings);
    element.append_attribute(KTaskScheduling).set_value(settings->GetTaskScheduling() ? "true" : "false");
    std::string days;
    for (int day = 1; day <= 7; ++day)
      if (settings->IsWorkingWeekDay(day)) days += (days.empty() ? "" : " ") + std::string(KDayNames[day - 1]);
    element.append_child(KWorkingDays).text().set(days.c_str());
    pugi::xml_node periods = element.append_child(KWorkingPeriods);
    for (const TWorkingPeriod& period : settings->WorkingPeriods()) {
      pugi::xml_node item = periods.append_child(KPeriod);
      item.append_attribute(KStart).set_value(ClockText(period.Start).c_str());
      item.append_attribute(KFinish).set_value(ClockText(period.Finish).c_str());
    }
    if (!settings->Holidays().empty()) {
      pugi::xml_node holidays = element.append_child(KHolidays);
      for (double date : settings->Holidays()) holidays.append_child(KHoliday).text().set(DateToIsoText(date).c_str());
    }
  }

  void WriteProperty(TLumetaNode* ANode, IProperty* AProperty, pugi::xml_node AParent) {
    auto mapping = QueryAs<IXmlMapping>(AProperty);
    if (!mapping) {
      Warn("node " + ANode->GetID() + ": property '" + AProperty->GetPropertyName() + "' has no XML mapping, not saved");
      return;
    }
    TLayout& layout = FArchive.LayoutFor(mapping->GetXmlDeclarations());
    if (const TXmlDocSource::TEntry* entry = FSource ? FSource->Untouched(AProperty) : nullptr;
        entry && entry->Layout == &layout && LinksExist(layout, entry->Element)) {
      AParent.append_copy(entry->Element);
      return;
    }
    pugi::xml_node element = AParent.append_child(layout.ElementName.c_str());
    try {
      if (layout.IsList) {
        WriteList(ANode, layout, QueryAs<IStructuredAttribute>(AProperty).get(), element);
      } else if (auto record = QueryAs<IStructuredAttribute>(AProperty)) {
        WriteFields(layout, record.get(), element);
      } else if (auto value = QueryAs<IAttribute>(AProperty)) {
        SetText(element, layout.OwnConverter ? layout.OwnConverter->ConvertToString(value->GetAsValue())
                                             : value->SaveToString());
      }
    } catch (const std::exception& AError) {
      throw ELumetaError("Cannot save the property '" + layout.ElementName + "' of node " + ANode->GetID() + ": " +
                         AError.what());
    }
  }

  // Whether every link item of a list kept as read names a node still in the map.
  bool LinksExist(const TLayout& ALayout, pugi::xml_node AElement) const {
    if (!ALayout.ItemLoader) return true;
    for (pugi::xml_node item = AElement.child(ALayout.ItemElementName.c_str()); item;
         item = item.next_sibling(ALayout.ItemElementName.c_str())) {
      const auto id = ParseInteger<int64_t>(item.attribute(KNodeReference).value());
      if (!id || !FIds.Contains(*id)) return false;
    }
    return true;
  }

  void WriteFields(TLayout& ALayout, IStructuredAttribute* AOwner, pugi::xml_node AElement) {
    FSlotElements.assign(ALayout.Slots.size(), pugi::xml_node());
    TLayout::TOwner owner(AOwner);
    for (TLayoutField& field : ALayout.Fields) {
      IAttribute* attribute = TLayout::FieldAttribute(owner, field);
      const std::string text = field.Converter ? field.Converter->ConvertToString(attribute->GetAsValue())
                                               : attribute->SaveToString();
      if (text.empty() && !field.Declaration->AllowEmpty()) continue;
      if (!field.IsAttribute) {
        SetText(SlotElement(ALayout, field.Slot, AElement), text);
      } else {
        pugi::xml_node carrier = field.Slot < 0 ? AElement : SlotElement(ALayout, field.Slot, AElement);
        carrier.append_attribute(field.Declaration->XmlName().c_str()).set_value(text.c_str());
      }
    }
  }

  // The slot's element, made on first need (an attribute may come before its owner's value).
  pugi::xml_node SlotElement(const TLayout& ALayout, int ASlot, pugi::xml_node AElement) {
    pugi::xml_node& element = FSlotElements[ASlot];
    if (!element) element = AElement.append_child(ALayout.Slots[ASlot].Name.data());
    return element;
  }

  void WriteList(TLumetaNode* ANode, TLayout& ALayout, IStructuredAttribute* AList, pugi::xml_node AElement) {
    if (!AList) throw ELumetaError("the property is not a list");
    const int32_t count = AList->GetChildCount();
    for (int32_t i = 0; i < count; ++i) {
      ComPtr<IAttribute> item = AList->GetChild(i);
      if (ALayout.ItemLoader) {
        const std::string reference = item->SaveToString();
        const auto id = ParseInteger<int64_t>(reference);
        if (!id || !FIds.Contains(*id)) {
          Warn("node " + ANode->GetID() + ": '" + ALayout.ElementName + "' entry for node '" + reference +
               "', which does not exist, dropped");
          continue;
        }
        pugi::xml_node element = AElement.append_child(ALayout.ItemElementName.c_str());
        element.append_attribute(KNodeReference).set_value(reference.c_str());
        FElement->Point(element);
        ALayout.ItemLoader->SaveToXml(FElement.get(), item.as<ITaskLink>().get());
        continue;
      }
      pugi::xml_node element = AElement.append_child(ALayout.ItemElementName.c_str());
      if (ALayout.ItemConverter) {
        SetText(element, ALayout.ItemConverter->ConvertToString(item->GetAsValue()));
      } else if (auto record = item.try_as<IStructuredAttribute>()) {
        WriteFields(ALayout, record.get(), element);
      } else {
        SetText(element, item->SaveToString());
      }
    }
  }

  static void SetText(pugi::xml_node AElement, const std::string& AText) {
    if (!AText.empty()) AElement.text().set(AText.c_str());
  }

  void WriteUnknown(TLumetaNode* ANode, pugi::xml_node AElement) {
    auto kept = QueryAs<IStringAttribute>(ANode->FindAttribute(UnknownXmlAttribute).get());
    if (!kept) return;
    const std::string text = kept->GetValue();
    if (text.empty()) return;
    pugi::xml_document fragment;
    if (!fragment.load_buffer(text.data(), text.size(), KParseOptions | pugi::parse_fragment, pugi::encoding_utf8)) {
      Warn("node " + ANode->GetID() + ": kept unknown elements are no longer well formed, dropped");
      return;
    }
    for (pugi::xml_node child : fragment.children())
      if (child.type() == pugi::node_element) AElement.append_copy(child);
  }

  void Warn(std::string AText) { FArchive.FWarnings.push_back(std::move(AText)); }

  TLumetaXmlArchive& FArchive;
  const TLumetaMap& FMap;
  TIdSet FIds;
  TXmlDocSource* FSource;  // the document the map was read from, if any
  pugi::xml_document FDocument;
  ComPtr<TXmlElement> FElement = make<TXmlElement>();
  std::vector<pugi::xml_node> FSlotElements;
};

// ---- Loading

class TLumetaXmlArchive::TLoader {
 public:
  TLoader(TLumetaXmlArchive& AArchive, const std::string& AName, ComPtr<TXmlDocSource> ASource,
          const std::string* AOriginal)
      : FArchive(AArchive),
        FName(AName),
        FBuffer(ASource->Buffer.data()),
        FSize(ASource->Buffer.size()),
        FOriginal(AOriginal),
        FSource(std::move(ASource)) {}

  std::unique_ptr<TLumetaMap> Run(const pugi::xml_document& ADocument) {
    pugi::xml_node root = ADocument.document_element();
    if (!Same(root.name(), KMap)) Fail(root, "the root element is '" + std::string(root.name()) + "', not 'Map'");
    for (pugi::xml_node other = root.next_sibling(); other; other = other.next_sibling())
      if (other.type() == pugi::node_element) Fail(other, "a second root element '" + std::string(other.name()) + "'");

    int64_t highest = 0;
    if (pugi::xml_attribute version = root.attribute(KVersion)) {
      const auto value = ParseInteger<int64_t>(version.value());
      if (!value || *value < 1) Fail(version, "the format version '" + std::string(version.value()) + "' is not a number");
      if (*value > FormatVersion)
        Fail(version, "the file has format version " + std::to_string(*value) + "; this program reads up to version " +
                          std::to_string(FormatVersion));
    }
    if (pugi::xml_attribute attribute = root.attribute(KHighestID)) {
      const auto value = ParseInteger<int64_t>(attribute.value());
      if (!value || *value < 0) Fail(attribute, "HighestID '" + std::string(attribute.value()) + "' is not a number");
      highest = *value;
    }

    FMap = std::make_unique<TLumetaMap>();
    // The node index sized once from the IDs the file has handed out, unless the count is more
    // than the text could hold (a node takes at least a dozen characters).
    FMap->ReserveNodes(static_cast<size_t>(std::min<int64_t>(highest, static_cast<int64_t>(FSize / 12))));
    ReadContent(root, FMap->Root(), 0);
    ResolveReferences();
    FMap->SetHighestID(highest);
    for (const TRegistration& registration : FArchive.FRegistrations) FSource->KeepLayout(registration.Layout);
    FSource->Seal();
    FMap->SetDocSource(ComPtr<IDocSource>(FSource));
    return std::move(FMap);
  }

  [[noreturn]] void FailAt(size_t AOffset, const std::string& AReason) {
    const auto [line, column] = PositionAt(AOffset);
    throw EArchiveError(FName, line, column, AReason);
  }

 private:
  struct TReference {
    const char* Text;  // the ID as written, inside the parsed buffer
    const char* Where;
  };

  void ReadNode(pugi::xml_node AElement, TLumetaNode* AParent, int ADepth) {
    if (ADepth > KMaxDepth) Fail(AElement, "nodes are nested deeper than " + std::to_string(KMaxDepth) + " levels");
    pugi::xml_attribute idAttribute = AElement.attribute(KID);
    if (!idAttribute) Fail(AElement, "a node without an ID");
    const auto id = ParseInteger<int64_t>(idAttribute.value());
    if (!id || *id <= 0) Fail(idAttribute, "the node ID '" + std::string(idAttribute.value()) + "' is not a positive whole number");
    TLumetaNode* node = nullptr;
    try {
      node = FMap->AddNodeWithID(AParent, *id);
    } catch (const ELumetaError&) {
      Fail(idAttribute, "the node ID " + std::to_string(*id) + " is used twice");  // the one failure left
    }
    ReadContent(AElement, node, ADepth);
  }

  void ReadContent(pugi::xml_node AElement, TLumetaNode* ANode, int ADepth) {
    const bool isMap = ANode->IsRoot();
    for (pugi::xml_attribute attribute : AElement.attributes()) {
      const char* name = attribute.name();
      if (Same(name, KExpanded)) {
        const auto expanded = ParseBoolean(attribute.value());
        if (!expanded) Fail(attribute, "Expanded must be true or false, not '" + std::string(attribute.value()) + "'");
        ANode->HostData().Expanded = *expanded;
      } else if (!(isMap ? Same(name, KVersion) || Same(name, KHighestID) : Same(name, KID))) {
        Warn(attribute, "unknown attribute '" + std::string(name) + "' of '" + AElement.name() + "' ignored");
      }
    }
    uint64_t seen = 0;  // host elements and properties already read, by kind
    for (pugi::xml_node child : AElement.children()) {
      if (child.type() != pugi::node_element) {
        if (child.type() == pugi::node_pcdata && !IsBlank(child.value()))
          Warn(child, "text inside '" + std::string(AElement.name()) + "' ignored");
        continue;
      }
      const char* name = child.name();
      if (Same(name, KNode)) {
        ReadNode(child, ANode, ADepth + 1);
        continue;
      }
      int kind = HostElementKind(name);
      if (kind == hkSettings && !isMap) kind = -1;
      const int registration = kind < 0 ? FArchive.RegistrationIndex(name) : -1;
      if (registration >= 0) kind = hkCount + registration;
      if (kind < 0) {
        Keep(ANode, child);
        continue;
      }
      const bool repeated = kind < 64 ? (seen >> kind & 1) != 0
                                      : ANode->FindProperty(FArchive.FRegistrations[registration].PropertyName) != nullptr;
      if (repeated) Fail(child, "a second '" + std::string(name) + "' element in one node");
      if (kind < 64) seen |= uint64_t{1} << kind;
      switch (kind) {
        case hkTitle: ANode->SetTitle(child.child_value()); break;
        case hkNotes: ANode->HostData().Notes = child.child_value(); break;
        case hkResources:
          for (pugi::xml_node item : Items(child, KResource))
            ANode->HostData().Resources.emplace_back(item.attribute(KName).value(), item.attribute(KEmail).value());
          break;
        case hkAttachments:
          for (pugi::xml_node item : Items(child, KAttachment)) ANode->HostData().Attachments.emplace_back(item.child_value());
          break;
        case hkCategories:
          for (pugi::xml_node item : Items(child, KCategory)) ANode->HostData().Categories.emplace_back(item.child_value());
          break;
        case hkConnections:
          for (pugi::xml_node item : Items(child, KConnection)) {
            pugi::xml_attribute target = item.attribute(KNodeReference);
            if (!target) Fail(item, "a connection without its Node");
            ANode->HostData().Connections.push_back(0);
            FConnections.push_back({ANode, ANode->HostData().Connections.size() - 1, {target.value(), target.name()}});
          }
          break;
        case hkSettings: ReadSettings(child); break;
        default: ReadProperty(FArchive.FRegistrations[registration], child, ANode);
      }
    }
    if (auto title = ANode->FindAttribute(KTitle)) title->SetFlagEx(afModified, false, true);
  }

  // The children of a host list element named AItem; others are reported and passed over.
  std::vector<pugi::xml_node> Items(pugi::xml_node AList, const char* AItem) {
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node child : AList.children()) {
      if (child.type() != pugi::node_element) continue;
      if (Same(child.name(), AItem))
        items.push_back(child);
      else
        Warn(child, "unknown element '" + std::string(child.name()) + "' in '" + AList.name() + "' ignored");
    }
    return items;
  }

  void Keep(TLumetaNode* ANode, pugi::xml_node AElement) {
    Warn(AElement, "unknown element '" + std::string(AElement.name()) + "' kept as it is");
    TStringWriter writer;
    AElement.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    ComPtr<IAttribute> kept = ANode->FindAttribute(UnknownXmlAttribute);
    if (!kept) {
      kept = make<TStringAttribute>();
      ANode->SetAttribute(UnknownXmlAttribute, kept);
    }
    auto text = kept.as<IStringAttribute>();
    text->SetValue(text->GetValue() + writer.Text);
    kept->SetFlagEx(afModified, false, true);
  }

  void ReadSettings(pugi::xml_node AElement) {
    auto* settings = dynamic_cast<TLumetaMapSettings*>(FMap->Settings());
    if (!settings) return;
    for (pugi::xml_attribute attribute : AElement.attributes()) {
      if (!Same(attribute.name(), KTaskScheduling)) {
        Warn(attribute, "unknown attribute '" + std::string(attribute.name()) + "' of 'Settings' ignored");
        continue;
      }
      const auto on = ParseBoolean(attribute.value());
      if (!on) Fail(attribute, "TaskScheduling must be true or false, not '" + std::string(attribute.value()) + "'");
      settings->SetTaskScheduling(*on);
    }
    for (pugi::xml_node child : AElement.children()) {
      if (child.type() != pugi::node_element) continue;
      try {
        if (Same(child.name(), KWorkingDays)) {
          settings->SetWorkingDays(ParseDays(child));
        } else if (Same(child.name(), KWorkingPeriods)) {
          std::vector<TWorkingPeriod> periods;
          for (pugi::xml_node item : Items(child, KPeriod)) {
            const auto start = ParseClock(item.attribute(KStart).value());
            const auto finish = ParseClock(item.attribute(KFinish).value());
            if (!start || !finish) Fail(item, "a working period needs Start and Finish as hh:mm");
            periods.push_back({*start, *finish});
          }
          settings->SetWorkingPeriods(std::move(periods));
        } else if (Same(child.name(), KHolidays)) {
          std::vector<double> dates;
          for (pugi::xml_node item : Items(child, KHoliday)) {
            const auto date = XmlTextToDateTime(item.child_value());
            if (!date || *date < 1) Fail(item, "the holiday '" + std::string(item.child_value()) + "' is not a date");
            dates.push_back(*date);
          }
          settings->SetHolidays(std::move(dates));
        } else {
          Warn(child, "unknown element '" + std::string(child.name()) + "' in 'Settings' ignored");
        }
      } catch (const EConvertError& AError) {
        Fail(child, AError.what());
      }
    }
    settings->SetFlagEx(afModified, false, true);
  }

  uint8_t ParseDays(pugi::xml_node AElement) {
    uint8_t mask = 0;
    std::string_view text = AElement.child_value();
    while (!text.empty()) {
      const size_t start = text.find_first_not_of(" \t\r\n");
      if (start == std::string_view::npos) break;
      text.remove_prefix(start);
      const std::string_view word = text.substr(0, text.find_first_of(" \t\r\n"));
      text.remove_prefix(word.size());
      const auto* day = std::find(std::begin(KDayNames), std::end(KDayNames), word);
      if (day == std::end(KDayNames)) Fail(AElement, "'" + std::string(word) + "' is not a day of the week");
      mask |= static_cast<uint8_t>(1u << (day - std::begin(KDayNames)));
    }
    return mask;
  }

  void ReadProperty(const TRegistration& ARegistration, pugi::xml_node AElement, TLumetaNode* ANode) {
    TLayout& layout = *ARegistration.Layout;
    try {
      ComPtr<IProperty> property = ARegistration.Manager->NewProperty();
      if (!property) throw ELumetaError("its manager made no property");
      ANode->AppendProperty(property.get());  // a second element of the kind has failed already
      // Records and lists are read on first use; their flags stay "not loaded" until then.
      ComPtr<IAttribute> root = layout.IsList ? ComPtr<IAttribute>(property.try_as<IListAttribute>())
                                              : ComPtr<IAttribute>(property.try_as<IStructuredAttribute>());
      if (layout.IsList && !root) throw ELumetaError("the property is not a list");
      if (root) {
        const bool clean = layout.IsList ? CheckList(layout, AElement) : CheckFields(layout, AElement);
        FSource->Remember(property.get(), root.get(), AElement, layout, clean);
        root->SetFlagEx(afLoaded | afModified, false, true);
        if (!layout.IsList) root->SetFlag(afLoaded, true);  // a record does not load itself; its children do
      } else {
        auto value = property.as<IAttribute>();
        if (layout.OwnConverter)
          StoreValue(value.get(), layout.OwnConverter->ConvertFromString(AElement.child_value()));
        else
          value->LoadFromString(AElement.child_value());
        value->SetFlagEx(afLoaded, true, true);
        value->SetFlagEx(afModified, false, true);
      }
    } catch (const EArchiveError&) {
      throw;
    } catch (const std::exception& AError) {
      Fail(AElement, "cannot load '" + layout.ElementName + "': " + AError.what());
    }
  }

  // Reports what a record element holds beyond its declarations, without reading a value; false
  // when anything was passed over (the element is then not fit to be saved as it was read).
  bool CheckFields(const TLayout& ALayout, pugi::xml_node AElement) {
    // Walks with first_child and next_sibling, which touch less of the document than its
    // iterators: this pass visits every element of every record at load.
    bool clean = CheckAttributes(ALayout.Own, AElement);
    int expected = 0;
    for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const char* name = child.name();
      const int slotIndex = ALayout.NextSlotIndex(name, expected);
      if (slotIndex < 0) {
        Warn(child, "unknown element '" + std::string(name) + "' in '" + AElement.name() + "' ignored");
        clean = false;
        continue;
      }
      clean = CheckAttributes(ALayout.Slots[slotIndex], child) && clean;
      for (pugi::xml_node inner = child.first_child(); inner; inner = inner.next_sibling()) {
        if (inner.type() != pugi::node_element) continue;
        Warn(child, "elements inside '" + std::string(name) + "' ignored");
        clean = false;
        break;
      }
    }
    return clean;
  }

  // Reports the attributes of an element that its slot does not declare; false when there are any.
  bool CheckAttributes(const TLayout::TSlot& ASlot, pugi::xml_node AElement) {
    bool clean = true;
    for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute()) {
      if (TLayout::FindAttribute(ASlot, attribute.name())) continue;
      Warn(attribute, "unknown attribute '" + std::string(attribute.name()) + "' of '" + AElement.name() + "' ignored");
      clean = false;
    }
    return clean;
  }

  // The same for a list; link items must name their node, which is checked once the map is read.
  bool CheckList(const TLayout& ALayout, pugi::xml_node AElement) {
    bool clean = true;
    for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute()) {
      Warn(attribute, "unknown attribute '" + std::string(attribute.name()) + "' of '" + AElement.name() + "' ignored");
      clean = false;
    }
    for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      if (!Same(child.name(), ALayout.ItemElementName.c_str())) {
        Warn(child, "unknown element '" + std::string(child.name()) + "' in '" + AElement.name() + "' ignored");
        clean = false;
      } else if (ALayout.ItemLoader) {
        pugi::xml_attribute target = child.attribute(KNodeReference);
        if (!target) Fail(child, "'" + ALayout.ItemElementName + "' without its Node");
        FLinks.push_back({target.value(), target.name()});
      } else if (!ALayout.ItemConverter && !ALayout.Fields.empty()) {
        clean = CheckFields(ALayout, child) && clean;
      }
    }
    return clean;
  }

  // Links and connections name nodes that may come later in the file, so they are checked last.
  void ResolveReferences() {
    const TIdSet ids(*FMap);
    for (const TReference& link : FLinks) {
      const auto id = ParseInteger<int64_t>(link.Text);
      if (!id || !ids.Contains(*id)) FailAt(Offset(link.Where), "a link to node '" + std::string(link.Text) + "', which does not exist");
    }
    for (const TConnection& connection : FConnections) {
      const auto id = ParseInteger<int64_t>(connection.Reference.Text);
      if (!id || !ids.Contains(*id))
        FailAt(Offset(connection.Reference.Where),
               "a connection to node '" + std::string(connection.Reference.Text) + "', which does not exist");
      connection.Node->HostData().Connections[connection.Index] = *id;
    }
  }

  size_t Offset(const char* APointer) const {
    if (APointer < FBuffer || APointer > FBuffer + FSize) return 0;
    return static_cast<size_t>(APointer - FBuffer);
  }
  // An element's place is its "<".
  size_t Offset(pugi::xml_node ANode) const {
    const size_t offset = Offset(ANode.type() == pugi::node_element ? ANode.name() : ANode.value());
    return offset > 0 && ANode.type() == pugi::node_element ? offset - 1 : offset;
  }

  [[noreturn]] void Fail(pugi::xml_node ANode, const std::string& AReason) { FailAt(Offset(ANode), AReason); }
  [[noreturn]] void Fail(pugi::xml_attribute AAttribute, const std::string& AReason) {
    FailAt(Offset(AAttribute.name()), AReason);
  }
  void Warn(pugi::xml_node ANode, const std::string& AText) { WarnAt(Offset(ANode), AText); }
  void Warn(pugi::xml_attribute AAttribute, const std::string& AText) { WarnAt(Offset(AAttribute.name()), AText); }
  void WarnAt(size_t AOffset, const std::string& AText) {
    const auto [line, column] = PositionAt(AOffset);
    FArchive.FWarnings.push_back(ArchiveMessage(FName, line, column, AText));
  }

  // Line and column of a byte offset, counted in the text as it was before parsing changed the
  // buffer in place; the line starts are found once, on the first message.
  std::pair<int, int> PositionAt(size_t AOffset) {
    const std::string& text = Original();
    if (FLineStarts.empty()) {
      FLineStarts.push_back(0);
      for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n') FLineStarts.push_back(i + 1);
    }
    AOffset = std::min(AOffset, text.size());
    const auto next = std::upper_bound(FLineStarts.begin(), FLineStarts.end(), AOffset);
    const size_t lineStart = *(next - 1);
    int column = 1;
    for (size_t i = lineStart; i < AOffset; ++i)
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
    return {static_cast<int>(next - FLineStarts.begin()), column};
  }

  const std::string& Original() {
    if (FOriginal) return *FOriginal;
    if (!FReread) {
      int error = 0;
      FReread = std::make_unique<std::string>(ReadWholeFile(FName, error));
    }
    return *FReread;
  }

  struct TConnection {
    TLumetaNode* Node;
    size_t Index;
    TReference Reference;
  };

  TLumetaXmlArchive& FArchive;
  const std::string& FName;
  const char* FBuffer;
  size_t FSize;
  const std::string* FOriginal;
  std::unique_ptr<std::string> FReread;
  std::vector<size_t> FLineStarts;
  std::unique_ptr<TLumetaMap> FMap;
  std::vector<TReference> FLinks;
  std::vector<TConnection> FConnections;
  ComPtr<TXmlDocSource> FSource;
};

// ---- TLumetaXmlArchive

TLumetaXmlArchive::TLumetaXmlArchive() = default;

TLumetaXmlArchive::~TLumetaXmlArchive() = default;

void TLumetaXmlArchive::RegisterManager(IPropertyManager* AManager) {
  if (!AManager) throw ELumetaError("No property manager to register");
  ComPtr<IProperty> property = AManager->NewProperty();
  auto mapping = QueryAs<IXmlMapping>(property.get());
  if (!mapping)
    throw ELumetaError("The property '" + (property ? property->GetPropertyName() : std::string()) +
                       "' has no XML mapping");
  TLayout& layout = LayoutFor(mapping->GetXmlDeclarations());
  // A record's declarations must name attributes it holds; a list's items are checked as they load.
  if (auto record = QueryAs<IStructuredAttribute>(property.get()); record && !layout.IsList) {
    TLayout::TOwner owner(record.get());
    for (TLayout::TField& field : layout.Fields) {
      try {
        TLayout::FieldAttribute(owner, field);
      } catch (const ELumetaError&) {
        throw ELumetaError("The property '" + property->GetPropertyName() + "' declares '" +
                           field.Declaration->PropertyName() + "', which it does not hold");
      }
    }
  }
  if (RegistrationFor(layout.ElementName))
    throw ELumetaError("The element '" + layout.ElementName + "' is registered already");
  // One element per property name: a node then carries each property at most once.
  std::string name = property->GetPropertyName();
  for (const TRegistration& registration : FRegistrations)
    if (registration.PropertyName == name)
      throw ELumetaError("The property '" + name + "' is registered already, under the element '" +
                         registration.ElementName + "'");
  FRegistrations.push_back({layout.ElementName, std::move(name), ComPtr<IPropertyManager>(AManager),
                            FLayouts[&mapping->GetXmlDeclarations()]});
}

IPropertyManager* TLumetaXmlArchive::ManagerFor(const std::string& AElementName) const {
  const TRegistration* registration = RegistrationFor(AElementName);
  return registration ? registration->Manager.get() : nullptr;
}

const TLumetaXmlArchive::TRegistration* TLumetaXmlArchive::RegistrationFor(std::string_view AElementName) const {
  const int index = RegistrationIndex(AElementName);
  return index < 0 ? nullptr : &FRegistrations[index];
}

int TLumetaXmlArchive::RegistrationIndex(std::string_view AElementName) const {
  for (size_t i = 0; i < FRegistrations.size(); ++i)
    if (FRegistrations[i].ElementName == AElementName) return static_cast<int>(i);
  return -1;
}

TLumetaXmlArchive::TLayout& TLumetaXmlArchive::LayoutFor(const TXmlDeclarations& ADeclarations) {
  std::shared_ptr<TLayout>& layout = FLayouts[&ADeclarations];
  if (!layout) {
    try {
      layout = TLayout::Build(ADeclarations);
    } catch (...) {
      FLayouts.erase(&ADeclarations);
      throw;
    }
  }
  return *layout;
}

std::unique_ptr<TLumetaMap> TLumetaXmlArchive::Load(const std::string& APath) {
  FWarnings.clear();
  int error = 0;
  std::string text = ReadWholeFile(APath, error);
  if (error != 0) throw EArchiveError(APath, 0, 0, "cannot read the file: " + ErrnoText(error));
  return Parse(std::move(text), APath, nullptr);
}

std::unique_ptr<TLumetaMap> TLumetaXmlArchive::LoadFromText(const std::string& AText, const std::string& AName) {
  FWarnings.clear();
  return Parse(AText, AName, &AText);
}

std::unique_ptr<TLumetaMap> TLumetaXmlArchive::Parse(std::string ABuffer, const std::string& AName,
                                                     const std::string* AOriginal) {
  // Parsed in place: the document points into the buffer; both stay with the map for its values.
  ComPtr<TXmlDocSource> source = make<TXmlDocSource>(AName, std::move(ABuffer));
  TLoader loader(*this, AName, source, AOriginal);
  const pugi::xml_parse_result result = source->Document.load_buffer_inplace(
      source->Buffer.data(), source->Buffer.size(), KParseOptions, pugi::encoding_utf8);
  if (!result) loader.FailAt(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)), result.description());
  return loader.Run(source->Document);
}

void TLumetaXmlArchive::Save(const TLumetaMap& AMap, const std::string& APath) {
  FWarnings.clear();
  TSaver saver(*this, AMap);
  const pugi::xml_document& document = saver.Build();

  namespace fs = std::filesystem;
  std::string target = APath;
  std::error_code ignored;
  if (fs::is_symlink(APath, ignored)) {
    const fs::path resolved = fs::canonical(APath, ignored);
    if (!ignored) target = resolved.string();
  }
  const std::string temporary = target + ".tmp";
  const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (file < 0) throw ELumetaError(APath + ": cannot save: " + ErrnoText(errno));
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) ::fchmod(file, old.st_mode & 07777);

  TFileWriter writer(file);
  document.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
  writer.Flush();
  int error = writer.Error();
  if (error == 0 && ::fsync(file) != 0) error = errno;
  if (::close(file) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    throw ELumetaError(APath + ": cannot save: " + ErrnoText(error));
  }
  // The rename itself reaches the disk with the folder.
  const std::string folder = fs::path(target).parent_path().string();
  const int directory = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
}

std::string TLumetaXmlArchive::SaveToText(const TLumetaMap& AMap) {
  FWarnings.clear();
  TSaver saver(*this, AMap);
  TStringWriter writer;
  saver.Build().save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
  return std::move(writer.Text);
}
