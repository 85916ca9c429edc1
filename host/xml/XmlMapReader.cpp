#include "host/xml/XmlMapReader_p.h"

#include <algorithm>
#include <cstring>

#include "com/AtomicFile.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/LumetaMapSettings.h"
#include "host/xml/LumetaXmlArchive.h"

namespace xml_archive {

namespace {
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
}  // namespace

TXmlMapReader::TXmlMapReader(const TXmlRegistry& ARegistry, std::vector<TArchiveWarning>& AWarnings,
                             const std::string& AName, ComPtr<TXmlDocSource> ASource, const std::string* AOriginal)
    : FRegistry(ARegistry),
      FWarnings(AWarnings),
      FName(AName),
      FBuffer(ASource->Buffer.data()),
      FSize(ASource->Buffer.size()),
      FOriginal(AOriginal),
      FSource(std::move(ASource)) {}

std::unique_ptr<TLumetaMap> TXmlMapReader::Read() {
  // The parser would take a NUL for the end of the text and read a torn file as a short one.
  if (const void* nul = std::memchr(FBuffer, 0, FSize))
    FailAt(static_cast<size_t>(static_cast<const char*>(nul) - FBuffer), "a NUL byte, which a map file cannot hold");
  const pugi::xml_parse_result result = FSource->Document.load_buffer_inplace(
      FSource->Buffer.data(), FSource->Buffer.size(), KParseOptions, pugi::encoding_utf8);
  if (!result) FailAt(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)), result.description());

  pugi::xml_node root = FSource->Document.document_element();
  if (!Same(root.name(), KMap)) Fail(root, "the root element is '" + std::string(root.name()) + "', not 'Map'");
  for (pugi::xml_node other = root.next_sibling(); other; other = other.next_sibling())
    if (other.type() == pugi::node_element) Fail(other, "a second root element '" + std::string(other.name()) + "'");

  constexpr int formatVersion = TLumetaXmlArchive::FormatVersion;
  int64_t highest = 0;
  if (pugi::xml_attribute version = root.attribute(KVersion)) {
    const auto value = ParseInteger<int64_t>(version.value());
    if (!value || *value < 1) Fail(version, "the format version '" + std::string(version.value()) + "' is not a number");
    if (*value > formatVersion)
      Fail(version, "the file has format version " + std::to_string(*value) + "; this program reads up to version " +
                        std::to_string(formatVersion));
  }
  if (pugi::xml_attribute attribute = root.attribute(KHighestID)) {
    const auto value = ParseInteger<int64_t>(attribute.value());
    if (!value || *value < 0) Fail(attribute, "HighestID '" + std::string(attribute.value()) + "' is not a number");
    highest = *value;
  }

  FMap = std::make_unique<TLumetaMap>();
  FSource->KeepRegistrations(FRegistry.Registrations);
  FMap->SetDocSource(ComPtr<IDocSource>(FSource), FSource.get());
  // The node index sized once from the IDs the file has handed out, unless the count is more
  // than the text could hold (a node takes at least a dozen characters).
  FMap->ReserveNodes(static_cast<size_t>(std::min<int64_t>(highest, static_cast<int64_t>(FSize / 12))));
  ReadContent(root, FMap->Root());
  // Nodes wait on a stack of their own, so that nesting depth is no limit.
  while (!FPendingNodes.empty()) {
    const auto [element, parent] = FPendingNodes.back();
    FPendingNodes.pop_back();
    ReadNode(element, parent);
  }
  ResolveReferences();
  FMap->SetHighestID(highest);
  if (pugi::xml_attribute attribute = root.attribute(KIdentity)) {
    const std::string identity = attribute.value();
    if (identity.empty() || identity.size() > 64 ||
        identity.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-") != std::string::npos)
      Fail(attribute, "Identity '" + identity + "' is not 1 to 64 letters, digits and '-'");
    FMap->SetIdentity(identity);
  }
  return std::move(FMap);
}

void TXmlMapReader::ReadNode(pugi::xml_node AElement, TLumetaNode* AParent) {
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
  ReadContent(AElement, node);
}

void TXmlMapReader::ReadContent(pugi::xml_node AElement, TLumetaNode* ANode) {
  const bool isMap = ANode->IsRoot();
  for (pugi::xml_attribute attribute : AElement.attributes()) {
    const char* name = attribute.name();
    if (Same(name, KExpanded)) {
      const auto expanded = ParseBoolean(attribute.value());
      if (!expanded) Fail(attribute, "Expanded must be true or false, not '" + std::string(attribute.value()) + "'");
      ANode->HostData().Expanded = *expanded;
    } else if (!(isMap ? Same(name, KVersion) || Same(name, KHighestID) || Same(name, KIdentity) : Same(name, KID))) {
      Warn(attribute, "unknown attribute '" + std::string(name) + "' of '" + AElement.name() + "' ignored");
    }
  }
  uint64_t seen = 0;  // host elements and properties already read, by kind
  std::string kept;   // unknown elements, stored once at the end: appending to the attribute grows quadratically
  std::vector<pugi::xml_node> children;  // read after this node, first child first
  for (pugi::xml_node child : AElement.children()) {
    if (child.type() != pugi::node_element) {
      if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) && !IsBlank(child.value()))
        Warn(child, "text inside '" + std::string(AElement.name()) + "' ignored");
      continue;
    }
    const char* name = child.name();
    if (Same(name, KNode)) {
      children.push_back(child);
      continue;
    }
    int kind = HostElementKind(name);
    if (kind == hkSettings && !isMap) kind = -1;
    const int registration = kind < 0 ? FRegistry.IndexOf(name) : -1;
    if (registration >= 0) kind = hkCount + registration;
    if (kind < 0) {
      Keep(child, kept);
      continue;
    }
    const bool repeated = kind < 64 ? (seen >> kind & 1) != 0
                                    : ANode->FindProperty(FRegistry.Registrations[registration].PropertyName) != nullptr;
    if (repeated) Fail(child, "a second '" + std::string(name) + "' element in one node");
    if (kind < 64) seen |= uint64_t{1} << kind;
    switch (kind) {
      case hkTitle: ANode->SetTitle(ElementText(child, FScratch)); break;
      case hkNotes: ANode->HostData().Notes = ElementText(child, FScratch); break;
      case hkResources:
        for (pugi::xml_node item : Items(child, KResource))
          ANode->HostData().Resources.emplace_back(item.attribute(KName).value(), item.attribute(KEmail).value());
        break;
      case hkAttachments:
        for (pugi::xml_node item : Items(child, KAttachment))
          ANode->HostData().Attachments.emplace_back(ElementText(item, FScratch));
        break;
      case hkCategories:
        for (pugi::xml_node item : Items(child, KCategory))
          ANode->HostData().Categories.emplace_back(ElementText(item, FScratch));
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
      default: ReadProperty(static_cast<uint16_t>(registration), child, ANode);
    }
  }
  if (!kept.empty()) {
    ComPtr<IAttribute> attribute = make<TStringAttribute>();
    attribute.as<IStringAttribute>()->SetValue(kept);
    attribute->SetFlagEx(afModified, false, true);
    ANode->SetAttribute(TLumetaXmlArchive::UnknownXmlAttribute, attribute);
  }
  if (auto title = ANode->FindAttribute(KTitle)) title->SetFlagEx(afModified, false, true);
  for (auto child = children.rbegin(); child != children.rend(); ++child) FPendingNodes.emplace_back(*child, ANode);
}

// The children of a host list element named AItem; others are reported and passed over.
std::vector<pugi::xml_node> TXmlMapReader::Items(pugi::xml_node AList, const char* AItem) {
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

void TXmlMapReader::Keep(pugi::xml_node AElement, std::string& AKept) {
  Warn(AElement, "unknown element '" + std::string(AElement.name()) + "' kept as it is");
  TStringWriter writer;
  writer.Text.swap(AKept);
  AElement.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  AKept.swap(writer.Text);
}

void TXmlMapReader::ReadSettings(pugi::xml_node AElement) {
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
          const std::string text = ElementText(item, FScratch);
          const auto date = XmlTextToDateTime(text);
          if (!date || *date < 1) Fail(item, "the holiday '" + text + "' is not a date");
          dates.push_back(*date);
        }
        settings->SetHolidays(std::move(dates));
      } else if (Same(child.name(), KScheduleStart)) {
        const std::string text = ElementText(child, FScratch);
        const auto date = XmlTextToDateTime(text);
        if (!date || DateTimeToXmlText(*date).empty()) Fail(child, "the schedule start '" + text + "' is not a date-time");
        settings->SetScheduleStart(*date);
      } else {
        Warn(child, "unknown element '" + std::string(child.name()) + "' in 'Settings' ignored");
      }
    } catch (const EConvertError& AError) {
      Fail(child, AError.what());
    }
  }
  settings->SetFlagEx(afModified, false, true);
}

uint8_t TXmlMapReader::ParseDays(pugi::xml_node AElement) {
  uint8_t mask = 0;
  std::string_view text = ElementText(AElement, FScratch);
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

void TXmlMapReader::ReadProperty(uint16_t ARegistration, pugi::xml_node AElement, TLumetaNode* ANode) {
  const TXmlRegistration& registration = FRegistry.Registrations[ARegistration];
  TXmlLayout& layout = *registration.Layout;
  try {
    // Records and lists are made on first use, and read then: a node keeps only their number.
    if (registration.Structured) {
      const bool clean = layout.IsList ? CheckList(layout, AElement) : CheckFields(layout, AElement);
      ANode->AppendPendingProperty(FSource->Note(AElement, ARegistration, clean));
      return;
    }
    ComPtr<IProperty> property = registration.Manager->NewProperty();
    if (!property) throw ELumetaError("its manager made no property");
    if (layout.IsList) throw ELumetaError("the property is not a list");
    // A second element of the kind has failed already.
    ANode->AppendPendingProperty(FSource->Note(AElement, ARegistration, true, property.get()), property.get());
    auto value = property.as<IAttribute>();
    if (layout.OwnConverter)
      StoreValue(value.get(), layout.OwnConverter->ConvertFromString(ElementText(AElement, FScratch)));
    else
      value->LoadFromString(ElementText(AElement, FScratch));
    value->SetFlagEx(afLoaded, true, true);
    value->SetFlagEx(afModified, false, true);
  } catch (const EArchiveError&) {
    throw;
  } catch (const std::exception& AError) {
    Fail(AElement, "cannot load '" + layout.ElementName + "': " + AError.what());
  }
}

// Reports what a record element holds beyond its declarations, without reading a value; false
// when anything was passed over (the element is then not fit to be saved as it was read).
bool TXmlMapReader::CheckFields(const TXmlLayout& ALayout, pugi::xml_node AElement) {
  // Walks with first_child and next_sibling, which touch less of the document than its
  // iterators: this pass visits every element of every record at load.
  bool clean = CheckAttributes(ALayout, ALayout.Own, AElement);
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
    const TXmlLayout::TSlot& slot = ALayout.Slots[slotIndex];
    if (slot.Field >= 0 && ALayout.Fields[slot.Field].Kind != TValueKind::Text)
      CheckValue(ALayout.Fields[slot.Field].Kind, child, name, ElementText(child, FScratch));
    clean = CheckAttributes(ALayout, slot, child) && clean;
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
bool TXmlMapReader::CheckAttributes(const TXmlLayout& ALayout, const TXmlLayout::TSlot& ASlot, pugi::xml_node AElement) {
  bool clean = true;
  for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute()) {
    if (const auto* entry = TXmlLayout::FindAttribute(ASlot, attribute.name())) {
      CheckValue(ALayout.Fields[entry->second].Kind, attribute, attribute.name(), attribute.value());
      continue;
    }
    Warn(attribute, "unknown attribute '" + std::string(attribute.name()) + "' of '" + AElement.name() + "' ignored");
    clean = false;
  }
  return clean;
}

// Warns of a value its attribute cannot read, which then takes its default: the map still opens,
// and a save of the untouched record keeps the text as it stands.
template <class TPlace>
void TXmlMapReader::CheckValue(TValueKind AKind, TPlace APlace, const char* AName, const char* AText) {
  const char* why = MalformedValue(AKind, AText);
  if (!why) return;
  // A long text is cut, at a character's start, so that the warning stays one readable line.
  constexpr size_t KShown = 40;
  std::string_view text(AText);
  if (text.size() > KShown) {
    size_t cut = KShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    Warn(APlace, "'" + std::string(text.substr(0, cut)) + "...' in '" + AName + "' " + why);
  } else {
    Warn(APlace, "'" + std::string(text) + "' in '" + AName + "' " + why);
  }
}

// The same for a list; link items must name their node, which is checked once the map is read.
bool TXmlMapReader::CheckList(const TXmlLayout& ALayout, pugi::xml_node AElement) {
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
void TXmlMapReader::ResolveReferences() {
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

size_t TXmlMapReader::Offset(const char* APointer) const {
  if (APointer < FBuffer || APointer > FBuffer + FSize) return 0;
  return static_cast<size_t>(APointer - FBuffer);
}

// An element's place is its "<".
size_t TXmlMapReader::Offset(pugi::xml_node ANode) const {
  const size_t offset = Offset(ANode.type() == pugi::node_element ? ANode.name() : ANode.value());
  return offset > 0 && ANode.type() == pugi::node_element ? offset - 1 : offset;
}

void TXmlMapReader::FailAt(size_t AOffset, const std::string& AReason) {
  const auto [line, column] = PositionAt(AOffset);
  throw EArchiveError(FName, line, column, AReason);
}

void TXmlMapReader::WarnAt(size_t AOffset, const std::string& AText) {
  const auto [line, column] = PositionAt(AOffset);
  FWarnings.push_back({FName, line, column, AText});
}

// Line and column of a byte offset, counted in the text as it was before parsing changed the
// buffer in place; the line starts are found once, on the first message.
std::pair<int, int> TXmlMapReader::PositionAt(size_t AOffset) {
  const std::string& text = Original();
  if (FLineStarts.empty()) {
    FLineStarts.push_back(0);
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] == '\n') FLineStarts.push_back(i + 1);
  }
  AOffset = std::min(AOffset, text.size());
  const auto next = std::upper_bound(FLineStarts.begin(), FLineStarts.end(), AOffset);
  const int line = static_cast<int>(next - FLineStarts.begin());
  size_t from = *(next - 1);
  int column = 1;
  // Many messages on one long line: count on from the last place instead of the line's start.
  if (line == FLastLine && AOffset >= FLastOffset && FLastOffset >= from) {
    from = FLastOffset;
    column = FLastColumn;
  }
  for (size_t i = from; i < AOffset; ++i)
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
  FLastOffset = AOffset;
  FLastLine = line;
  FLastColumn = column;
  return {line, column};
}

const std::string& TXmlMapReader::Original() {
  if (FOriginal) return *FOriginal;
  if (!FReread) {
    try {
      FReread = std::make_unique<std::string>(ReadWholeFile(FName));
    } catch (const ELumetaError&) {
      FReread = std::make_unique<std::string>();  // places then count in what is left: none
    }
  }
  return *FReread;
}

}  // namespace xml_archive
