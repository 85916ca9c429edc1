#pragma once
// Inside the map archive: the host's element names, the helpers that reader, writer and document
// source share, and the layout compiled from a property class's XML declarations.
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "attributes/LumetaAttributes.h"
#include "attributes/XmlAttributes.h"
#include "com/ComPtr.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaSelectionIntf.h"
#include "host/LumetaMap.h"

namespace xml_archive {

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
constexpr const char* KBaseline = "Baseline";
constexpr const char* KSettings = "Settings";
constexpr const char* KWorkingDays = "WorkingDays";
constexpr const char* KWorkingPeriods = "WorkingPeriods";
constexpr const char* KPeriod = "Period";
constexpr const char* KHolidays = "Holidays";
constexpr const char* KHoliday = "Holiday";
constexpr const char* KScheduleStart = "ScheduleStart";
constexpr const char* KTimeZone = "TimeZone";

constexpr const char* KID = "ID";
constexpr const char* KExpanded = "Expanded";
constexpr const char* KVersion = "Version";
constexpr const char* KHighestID = "HighestID";
constexpr const char* KIdentity = "Identity";
constexpr const char* KName = "Name";
constexpr const char* KEmail = "Email";
constexpr const char* KNodeReference = "Node";  // the linked or connected node's ID
constexpr const char* KTaskScheduling = "TaskScheduling";
constexpr const char* KStart = "Start";
constexpr const char* KFinish = "Finish";
constexpr const char* KDuration = "Duration";
constexpr const char* KDurationMeasure = "DurationMeasure";
constexpr const char* KWork = "Work";
constexpr const char* KWorkMeasure = "WorkMeasure";

// The measures of a baseline's duration and work, by their codes (0 hours, 1 days, 2 minutes).
constexpr const char* KMeasureNames[] = {"Hours", "Days", "Minutes"};

constexpr const char* KReservedNames[] = {KMap,         KNode,       KTitle,       KNotes,   KResources,
                                          KAttachments, KCategories, KConnections, KSettings, KBaseline};
constexpr const char* KDayNames[7] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

// An element's first piece of text is kept in the element itself (its value()), not in a text node
// of its own: a map is mostly short fields, and this makes its parsed document about a quarter
// smaller and its parse quicker. Readers of an element's text start from value().
constexpr unsigned KParseOptions = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_embed_pcdata;

// The first characters are compared inline: the load asks this for every element against several
// names, and most differ at once.
inline bool Same(const char* ALeft, const char* ARight) { return *ALeft == *ARight && std::strcmp(ALeft, ARight) == 0; }

std::optional<bool> ParseBoolean(std::string_view AText);
// "hh:mm", 00:00 to 24:00, as minutes.
std::optional<int32_t> ParseClock(std::string_view AText);
std::string ClockText(int32_t AMinutes);
// "file:line:column: reason", or "file: reason" without a place.
std::string ArchiveMessage(const std::string& AFile, int ALine, int AColumn, const std::string& AReason);

// The whole text of an element: every text and CDATA child in order, so that a comment or a CDATA
// section inside a title does not cut it. Points into the document when there is one piece, else
// into AScratch.
const char* ElementText(pugi::xml_node AElement, std::string& AScratch);
// Replaces an element's text, its own and its text nodes, with AText.
void SetElementText(pugi::xml_node AElement, const std::string& AText);

// Stores a converter's value through the scalar interface the attribute answers.
void StoreValue(IAttribute* AAttribute, const TVariant& AValue);
// The same into a record's slot, as its standard scalar would take it; the flags stay.
void StoreSlotValue(TRecordSlots& ABlock, TSlot& ASlot, const TVariant& AValue);

// The archive's element as converters and loaders see it; one object re-pointed at each element
// handed over, valid only during that call.
class TXmlElement : public TImplements<TAggregableObject, IXmlElement> {
 public:
  void Point(pugi::xml_node ANode) { FNode = ANode; }

  std::string GetName() override { return FNode.name(); }
  std::string GetText() override;
  void SetText(const std::string& AText) override;
  bool GetAttribute(const std::string& AName, std::string& AValue) override;
  void SetAttribute(const std::string& AName, const std::string& AValue) override;

 private:
  pugi::xml_node FNode;
  std::string FScratch;
};

class TStringWriter : public pugi::xml_writer {
 public:
  void write(const void* AData, size_t ASize) override { Text.append(static_cast<const char*>(AData), ASize); }
  std::string Text;
};

// The IDs of a map's nodes, for the many existence checks of links and connections: a bit per ID
// when the IDs are dense, as the map hands them out, else the map's own index.
class TIdSet {
 public:
  explicit TIdSet(const TLumetaMap& AMap);
  bool Contains(int64_t AID) const {
    if (!FDense) return FMap.FindNode(AID) != nullptr;
    return AID >= 0 && AID < static_cast<int64_t>(FBits.size()) && FBits[static_cast<size_t>(AID)];
  }

 private:
  const TLumetaMap& FMap;
  bool FDense = false;
  std::vector<bool> FBits;
};

// What a declared value reads from its text, for the reader's check at load; fields with a
// converter and texts count as Text, which every text makes.
enum class TValueKind : uint8_t { Text, Integer, Number, Date, Boolean };

// The kind of an attribute by the value interface it answers.
TValueKind ValueKindOf(IAttribute* AAttribute);

// Where each declared value of a property class goes: fields in declaration order, and for
// loading, the elements the property element (or each list item's element) may hold with the XML
// attributes each carries. The reader, the writer and the document source share it.
struct TXmlLayout {
  struct TField {
    const XmlProperty* Declaration = nullptr;
    bool IsAttribute = false;
    int Slot = -1;  // element fields: their slot; attribute fields: their owner's slot, -1 the property element
    ComPtr<IDataConverter> Converter;
    TValueKind Kind = TValueKind::Text;  // known once the class is registered
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
    // For a caller that has the object already (null when the structure is not ours).
    TOwner(IStructuredAttribute* AInterface, TStructuredAttribute* AObject) : Interface(AInterface), Object(AObject) {}
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
  std::string PairedList;  // the list on the linked node that holds each item's other end
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
  // The same for a name the text holds without a NUL after it.
  int NextSlotIndex(std::string_view AName, int& AExpected) const {
    int index = AExpected < static_cast<int>(Slots.size()) && Slots[AExpected].Name == AName ? AExpected : -1;
    for (size_t i = 0; index < 0 && i < Slots.size(); ++i)
      if (Slots[i].Name == AName) index = static_cast<int>(i);
    AExpected = index + 1;
    return index;
  }
  static const std::pair<std::string_view, size_t>* FindAttribute(const TSlot& ASlot, std::string_view AName) {
    for (const auto& entry : ASlot.Attributes)
      if (entry.first == AName) return &entry;
    return nullptr;
  }
  static const std::pair<std::string_view, size_t>* FindAttribute(const TSlot& ASlot, const char* AName) {
    for (const auto& entry : ASlot.Attributes)
      if (NameIs(entry.first, AName)) return &entry;
    return nullptr;
  }

  // Raises ELumetaError for declarations the archive cannot follow.
  static std::shared_ptr<TXmlLayout> Build(const TXmlDeclarations& ADeclarations);
  // The declared attribute of a record (or of a list item), borrowed from the owner that holds
  // it: the child at the place where it was found before, else the one FindChild finds.
  // AObject, when given, receives the attribute's object if the owner knows it (else null).
  static IAttribute* FieldAttribute(TOwner& AOwner, TField& AField, TAttribute** AObject = nullptr);
  // The place of a declared field among the children of a record of ours, which is its slot in a
  // record that keeps slots; remembered in the field as FieldAttribute does.
  static size_t ChildIndexOf(TField& AField, TStructuredAttribute& ARecord) {
    // Inline: a save asks it for every value of every record.
    if (AField.ChildIndex >= 0 && AField.ChildCount == ARecord.Count()) return static_cast<size_t>(AField.ChildIndex);
    return FindChildIndex(AField, ARecord);
  }

 private:
  static size_t FindChildIndex(TField& AField, TStructuredAttribute& ARecord);
};

// The property managers an archive knows, by element name, and the layouts of their classes.
struct TXmlRegistration {
  std::string ElementName;
  std::string PropertyName;
  ComPtr<IPropertyManager> Manager;
  std::shared_ptr<TXmlLayout> Layout;
  bool Structured = false;  // a record or list, whose values load on first read
};

class TXmlRegistry {
 public:
  // The index of the registration for an element name, or -1.
  int IndexOf(std::string_view AElementName) const;
  // Compiled once per property class (its declarations live as long as the class).
  TXmlLayout& LayoutFor(const TXmlDeclarations& ADeclarations);
  std::shared_ptr<TXmlLayout> SharedLayout(const TXmlDeclarations& ADeclarations) { return FLayouts[&ADeclarations]; }

  std::vector<TXmlRegistration> Registrations;

 private:
  std::unordered_map<const TXmlDeclarations*, std::shared_ptr<TXmlLayout>> FLayouts;
};

}  // namespace xml_archive
