#include "host/xml/XmlMapReader_p.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <string_view>

#include "com/AtomicFile.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/LumetaMapSettings.h"
#include "host/xml/LumetaXmlArchive.h"

namespace xml_archive {

namespace {
bool IsBlank(const char* AText) {
  for (; *AText; ++AText)
    if (!std::strchr(" \t\r\n", *AText)) return false;
  return true;
}

// A node ID as a save writes it, digits alone, read without the general reading's detour; any
// other text goes the general way, which answers alike.
std::optional<int64_t> ReadID(const char* AText) {
  int64_t value = 0;
  const char* digit = AText;
  for (; digit - AText < 18 && static_cast<unsigned>(*digit - '0') <= 9; ++digit) value = value * 10 + (*digit - '0');
  if (digit != AText && *digit == '\0') return value;
  return ParseInteger<int64_t>(AText);
}

// A text or CDATA child that holds more than white space.
bool IsStrayText(pugi::xml_node ANode) {
  return (ANode.type() == pugi::node_pcdata || ANode.type() == pugi::node_cdata) && !IsBlank(ANode.value());
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
  ConvertEncoding();
  // The parser would take a NUL for the end of the text and read a torn file as a short one.
  if (const void* nul = std::memchr(FBuffer, 0, FSize))
    FailAt(static_cast<size_t>(static_cast<const char*>(nul) - FBuffer), "a NUL byte, which a map file cannot hold");
  const bool strip = CheckReferences();
  const size_t tail = TextAfterRoot();  // before the parse changes the text in place
  const pugi::xml_parse_result result = FSource->Document.load_buffer_inplace(
      FSource->Buffer.data(), FSource->Buffer.size(), KParseOptions, pugi::encoding_utf8);
  if (!result) FailAt(static_cast<size_t>(std::max<ptrdiff_t>(result.offset, 0)), result.description());
  if (tail != std::string::npos)
    FailAt(tail, "text after the root element '" + std::string(FSource->Document.document_element().name()) + "'");
  if (strip) StripControlCharacters();

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
  const auto id = ReadID(idAttribute.value());
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
  WarnOwnText(AElement);
  for (pugi::xml_node child : AElement.children()) {
    if (child.type() != pugi::node_element) {
      if (IsStrayText(child)) WarnTextInside(AElement, Offset(child));
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
    if (kind < hkCount)
      ReadHostElement(kind, child, ANode);
    else
      ReadProperty(static_cast<uint16_t>(registration), child, ANode);
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

int TXmlMapReader::HostElementKind(std::string_view AName) {
  static constexpr const char* KNames[hkCount] = {KTitle,      KNotes,       KResources, KAttachments,
                                                  KCategories, KConnections, KBaseline,  KSettings};
  for (int kind = 0; kind < hkCount; ++kind)
    if (AName == KNames[kind]) return kind;
  return -1;
}

void TXmlMapReader::ReadHostElement(int AKind, pugi::xml_node AElement, TLumetaNode* ANode) {
  switch (AKind) {
    case hkTitle: ANode->SetTitle(HostText(AElement)); break;
    case hkNotes: ANode->HostData().Notes = HostText(AElement); break;
    case hkResources:
      for (pugi::xml_node item : Items(AElement, KResource)) {
        CheckEmptyItem(item, {KName, KEmail});
        ANode->HostData().Resources.emplace_back(item.attribute(KName).value(), item.attribute(KEmail).value());
      }
      break;
    case hkAttachments:
      for (pugi::xml_node item : Items(AElement, KAttachment)) {
        std::string name = item.attribute(KName).value();
        ANode->HostData().Attachments.push_back({std::move(name), HostText(item)});
      }
      break;
    case hkCategories:
      for (pugi::xml_node item : Items(AElement, KCategory)) ANode->HostData().Categories.emplace_back(HostText(item));
      break;
    case hkConnections:
      for (pugi::xml_node item : Items(AElement, KConnection)) {
        CheckEmptyItem(item, {KNodeReference});
        pugi::xml_attribute target = item.attribute(KNodeReference);
        if (!target) Fail(item, "a connection without its Node");
        ANode->HostData().Connections.push_back(0);
        FConnections.push_back({ANode, ANode->HostData().Connections.size() - 1, {target.value(), target.name()}});
      }
      break;
    case hkBaseline: ANode->HostData().Baseline = ReadBaseline(AElement); break;
    case hkSettings: ReadSettings(AElement); break;
    default: break;
  }
}

// The text of a host element that holds text. Elements inside it (a title pasted with its markup)
// are not kept, but their text is, in document order, and a warning says so.
const char* TXmlMapReader::HostText(pugi::xml_node AElement) {
  pugi::xml_node inner = AElement.first_child();
  while (inner && inner.type() != pugi::node_element) inner = inner.next_sibling();
  if (!inner) return ElementText(AElement, FScratch);
  Warn(inner, "elements inside '" + std::string(AElement.name()) + "' are not kept; their text is");
  FScratch = AElement.value();
  // Walked without recursion: the markup may nest to any depth. An element's own text comes
  // before its children.
  for (pugi::xml_node node = AElement.first_child(); node;) {
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata || node.type() == pugi::node_element)
      FScratch += node.value();
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node != AElement && !node.next_sibling()) node = node.parent();
    node = node == AElement ? pugi::xml_node() : node.next_sibling();
  }
  return FScratch.c_str();
}

// Reports what an item made of attributes holds besides the attributes named: other attributes,
// text or elements, none of which it keeps.
void TXmlMapReader::CheckEmptyItem(pugi::xml_node AItem, std::initializer_list<const char*> AAttributes) {
  for (pugi::xml_attribute attribute : AItem.attributes())
    if (std::none_of(AAttributes.begin(), AAttributes.end(), [&](const char* AName) { return Same(AName, attribute.name()); }))
      Warn(attribute, "unknown attribute '" + std::string(attribute.name()) + "' of '" + AItem.name() + "' ignored");
  WarnContent(AItem, AItem.name());
}

void TXmlMapReader::WarnTextInside(pugi::xml_node AElement, size_t AOffset) {
  WarnAt(AOffset, "text inside '" + std::string(AElement.name()) + "' ignored");
}

void TXmlMapReader::WarnOwnText(pugi::xml_node AElement) {
  // The element's first text is parsed into the element itself; later ones are its children.
  if (!IsBlank(AElement.value())) WarnTextInside(AElement, Offset(AElement.value()));
}

bool TXmlMapReader::WarnContent(pugi::xml_node AItem, std::string_view AName) {
  const auto warn = [&](size_t AOffset) {
    WarnAt(AOffset, "the content of '" + std::string(AName) + "' is not kept");
    return true;
  };
  if (!IsBlank(AItem.value())) return warn(Offset(AItem.value()));
  for (pugi::xml_node child : AItem.children())
    if (child.type() == pugi::node_element || IsStrayText(child)) return warn(Offset(child));
  return false;
}

namespace {
// UTF-8 of a character of ISO-8859-1, or of windows-1252, which puts printable characters where
// ISO-8859-1 has controls (80 to 9F; the five it leaves free stay as ISO-8859-1 has them).
void AppendLatin(std::string& AOut, unsigned char AChar, bool AWindows) {
  static constexpr uint16_t KWindows[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                            0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  const uint32_t code = AWindows && AChar >= 0x80 && AChar < 0xA0 ? KWindows[AChar - 0x80] : AChar;
  if (code < 0x80) {
    AOut += static_cast<char>(code);
  } else if (code < 0x800) {
    AOut += static_cast<char>(0xC0 | code >> 6);
    AOut += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    AOut += static_cast<char>(0xE0 | code >> 12);
    AOut += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    AOut += static_cast<char>(0x80 | (code & 0x3F));
  }
}
}  // namespace

// A file that declares ISO-8859-1 (or windows-1252) is converted to UTF-8 before it is parsed,
// with a warning that a save writes it as UTF-8; other encodings are refused. Messages then count
// their places in the converted text, which has the same lines and characters.
std::optional<TDeclaredEncoding> DeclaredEncoding(std::string_view AText) {
  const size_t bom = AText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  AText.remove_prefix(bom);
  if (!AText.starts_with("<?xml")) return std::nullopt;
  const std::string_view declaration = AText.substr(0, AText.find("?>"));
  size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::nullopt;
  at = declaration.find_first_of("\"'", at);
  if (at == std::string_view::npos) return std::nullopt;
  const size_t end = declaration.find(declaration[at], at + 1);
  if (end == std::string_view::npos) return std::nullopt;
  TDeclaredEncoding declared{std::string(declaration.substr(at + 1, end - at - 1)), {}, bom + at + 1};
  declared.Name = declared.Written;
  for (char& c : declared.Name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return declared;
}

bool IsUtf8Encoding(const std::string& AName) {
  return AName == "utf-8" || AName == "utf8" || AName == "us-ascii" || AName == "ascii";
}

void TXmlMapReader::ConvertEncoding() {
  const std::string_view text(FBuffer, FSize);
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF"))
    FailAt(0, "the file is in UTF-16; a map file is UTF-8");
  const std::optional<TDeclaredEncoding> encoding = DeclaredEncoding(text);
  if (!encoding || IsUtf8Encoding(encoding->Name)) return;
  const std::string& declared = encoding->Written;
  const std::string& name = encoding->Name;
  const size_t offset = encoding->Offset;
  const bool windows = name == "windows-1252" || name == "cp1252";
  if (!windows && name != "iso-8859-1" && name != "iso8859-1" && name != "iso_8859-1" && name != "latin1" &&
      name != "latin-1" && name != "l1")
    FailAt(offset, "the encoding '" + declared + "' is not read; a map file is UTF-8 (ISO-8859-1 and windows-1252 are converted)");
  std::string converted;
  converted.reserve(FSize + FSize / 8);
  for (size_t i = 0; i < FSize; ++i) AppendLatin(converted, static_cast<unsigned char>(FBuffer[i]), windows);
  FConverted = std::make_unique<std::string>(converted);
  FSource->Buffer = std::move(converted);
  FBuffer = FSource->Buffer.data();
  FSize = FSource->Buffer.size();
  FOriginal = FConverted.get();
  WarnAt(offset, "the file is in " + declared + "; it is read as such and saved as UTF-8");
}

bool IsXmlNameChar(char AChar) {
  return std::isalnum(static_cast<unsigned char>(AChar)) || AChar == '_' || AChar == '-' || AChar == '.' ||
         AChar == ':' || (static_cast<unsigned char>(AChar) & 0x80);
}

bool IsForbiddenControl(uint32_t ACode) { return ACode < 0x20 && ACode != '\t' && ACode != '\n' && ACode != '\r'; }

// Character references the parser would take as they stand or that would cut a text: "&#0;" ends
// a value at the NUL, so it becomes a reference to another control character, which is then left
// out with the others (each with a warning); "&e;" of an entity the file declares would be kept as
// its literal text, so a file declaring entities is refused and other unknown names are warned
// of. True when control characters are to be left out after the parse.
bool TXmlMapReader::CheckReferences() {
  char* text = FSource->Buffer.data();
  bool controls = false;
  // Where markup without references ends (comment, CDATA, processing instruction, DOCTYPE), found
  // only for the few references that need it, in file order.
  size_t scanned = 0, skipUntil = 0;
  const auto inMarkup = [&](size_t AOffset) {
    if (AOffset < skipUntil) return true;
    scanned = std::max(scanned, skipUntil);
    const std::string_view all(text, FSize);
    for (;;) {
      const size_t open = all.find('<', scanned);
      if (open == std::string_view::npos || open >= AOffset) {
        scanned = AOffset;
        return false;
      }
      const std::string_view rest = all.substr(open);
      size_t end = open + 1;
      if (rest.starts_with("<!--")) {
        end = all.find("-->", open + 4);
        end = end == std::string_view::npos ? FSize : end + 3;
      } else if (rest.starts_with("<![CDATA[")) {
        end = all.find("]]>", open + 9);
        end = end == std::string_view::npos ? FSize : end + 3;
      } else if (rest.starts_with("<?")) {
        end = all.find("?>", open + 2);
        end = end == std::string_view::npos ? FSize : end + 2;
      } else if (rest.starts_with("<!DOCTYPE")) {
        const size_t bracket = all.find_first_of("[>", open);
        end = bracket != std::string_view::npos && all[bracket] == '[' ? all.find(']', bracket) : bracket;
        if (end != std::string_view::npos) end = all.find('>', end);
        end = end == std::string_view::npos ? FSize : end + 1;
        if (all.substr(open, end - open).find("<!ENTITY") != std::string_view::npos)
          FailAt(open, "the file declares entities, which a map file does not use");
      }
      scanned = end;
      if (AOffset < end && end > open + 1) {
        skipUntil = end;
        return true;
      }
    }
  };
  for (const char* at = static_cast<const char*>(std::memchr(text, '&', FSize)); at;
       at = static_cast<const char*>(std::memchr(at + 1, '&', FSize - static_cast<size_t>(at + 1 - text)))) {
    const size_t offset = static_cast<size_t>(at - text);
    const char* end = at + 1;
    const char* limit = text + FSize;
    if (end < limit && *end == '#') {
      const bool hex = end + 1 < limit && end[1] == 'x';
      const char* digit = end + (hex ? 2 : 1);
      uint32_t code = 0;
      const char* last = digit;
      for (; last < limit && (hex ? std::isxdigit(static_cast<unsigned char>(*last)) : std::isdigit(static_cast<unsigned char>(*last)));
           ++last)
        code = std::min<uint32_t>(code * (hex ? 16 : 10) + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(*last)) ? *last - '0' : (std::tolower(*last) - 'a' + 10)), 0x110000);
      if (last == digit || last >= limit || *last != ';' || !IsForbiddenControl(code) || inMarkup(offset)) continue;
      Warn(offset, "'" + std::string(at, last + 1) + "' names a control character, which a map file cannot hold; it is left out");
      if (code == 0) text[last - 1 - text] = '1';  // a NUL would end the text there
      controls = true;
      continue;
    }
    while (end < limit && IsXmlNameChar(*end)) ++end;
    if (end == at + 1 || end >= limit || *end != ';') continue;  // a lone "&" reads as itself
    const std::string_view name(at + 1, static_cast<size_t>(end - at - 1));
    if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos" || inMarkup(offset)) continue;
    Warn(offset, "'&" + std::string(name) + ";' is not an entity of XML; it is kept as that text");
  }
  return controls;
}

// Leaves out the control characters that character references put into texts and attributes.
void TXmlMapReader::StripControlCharacters() {
  const auto clean = [](const char* AText, std::string& AOut) {
    AOut.clear();
    bool changed = false;
    for (const char* c = AText; *c; ++c) {
      if (IsForbiddenControl(static_cast<unsigned char>(*c)))
        changed = true;
      else
        AOut += *c;
    }
    return changed;
  };
  std::string text;
  pugi::xml_node node = FSource->Document.first_child();
  while (node) {
    if ((node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) && clean(node.value(), text))
      node.set_value(text.c_str());
    else if (node.type() == pugi::node_element && clean(node.value(), text))
      node.text().set(text.c_str());
    for (pugi::xml_attribute attribute : node.attributes())
      if (clean(attribute.value(), text)) attribute.set_value(text.c_str());
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && !node.next_sibling()) node = node.parent();
    if (node) node = node.next_sibling();
  }
}

// Where text after the root element begins, which the parser passes over; npos when none. Only
// comments, processing instructions and white space may follow the root's end tag (or the root,
// when it is an empty-element tag).
size_t TXmlMapReader::TextAfterRoot() const {
  const std::string_view all(FBuffer, FSize);
  size_t end = all.find_last_not_of(" \t\r\n");
  while (end != std::string_view::npos) {
    const std::string_view head = all.substr(0, end + 1);
    size_t start = std::string_view::npos;
    if (head.ends_with("-->"))
      start = head.rfind("<!--");
    else if (head.ends_with("?>"))
      start = head.rfind("<?");
    if (start == std::string_view::npos) break;
    end = start == 0 ? std::string_view::npos : all.find_last_not_of(" \t\r\n", start - 1);
  }
  if (end == std::string_view::npos) return std::string::npos;
  const size_t tag = all.rfind('<', end);
  if (all[end] == '>' && tag != std::string_view::npos) {
    const std::string_view last = all.substr(tag, end + 1 - tag);
    if (last.starts_with("</") || last.ends_with("/>")) return std::string::npos;
  }
  const size_t close = all.rfind('>', end);
  return all.find_first_not_of(" \t\r\n", close == std::string_view::npos ? 0 : close + 1);
}

// The children of a host list element named AItem; others are reported and passed over.
std::vector<pugi::xml_node> TXmlMapReader::Items(pugi::xml_node AList, const char* AItem) {
  std::vector<pugi::xml_node> items;
  WarnOwnText(AList);
  for (pugi::xml_node child : AList.children()) {
    if (child.type() != pugi::node_element) {
      if (IsStrayText(child)) WarnTextInside(AList, Offset(child));
      continue;
    }
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

TLumetaNode::THostData::TBaseline TXmlMapReader::ReadBaseline(pugi::xml_node AElement) {
  TLumetaNode::THostData::TBaseline baseline;
  bool started = false;
  for (pugi::xml_attribute attribute : AElement.attributes()) {
    const char* name = attribute.name();
    const std::string text = attribute.value();
    const std::string what = "the baseline's " + std::string(name) + " '" + text + "'";
    if (Same(name, KStart) || Same(name, KFinish)) {
      const auto date = XmlTextToDateTime(text);
      if (!date || DateTimeToXmlText(*date).empty()) Fail(attribute, what + " is not a date-time");
      (Same(name, KStart) ? baseline.Start : baseline.Finish) = *date;
      started = started || Same(name, KStart);
    } else if (Same(name, KDuration) || Same(name, KWork)) {
      const std::optional<double> number = ParseFloat(text);
      if (!number || *number < 0) Fail(attribute, what + " is not a number of 0 or more");
      (Same(name, KDuration) ? baseline.Duration : baseline.Work) = *number;
    } else if (Same(name, KDurationMeasure) || Same(name, KWorkMeasure)) {
      const auto found = std::ranges::find_if(KMeasureNames, [&](const char* AName) { return text == AName; });
      if (found == std::end(KMeasureNames)) Fail(attribute, what + " is not Hours, Days or Minutes");
      (Same(name, KDurationMeasure) ? baseline.DurationMeasure : baseline.WorkMeasure) =
          static_cast<int32_t>(found - std::begin(KMeasureNames));
    } else {
      Warn(attribute, "unknown attribute '" + std::string(name) + "' of '" + AElement.name() + "' ignored");
    }
  }
  if (!started) Fail(AElement, "a baseline without its Start");
  return baseline;
}

void TXmlMapReader::ReadSettings(pugi::xml_node AElement) {
  TLumetaMapSettings* settings = FMap->MapSettings();
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
          CheckEmptyItem(item, {KStart, KFinish});
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
      } else if (Same(child.name(), KTimeZone)) {
        settings->SetTimeZone(std::string(ElementText(child, FScratch)));
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
      const bool clean = layout.IsList ? CheckList(layout, AElement, ANode, ARegistration) : CheckFields(layout, AElement);
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
  bool clean = true;
  if (const pugi::xml_attribute first = AElement.first_attribute()) clean = CheckAttributes(ALayout, ALayout.Own, AElement, first);
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
    // Nearly always one text, kept in the element itself, or none: the text is then taken in the
    // same look.
    const pugi::xml_node first = child.first_child();
    if (slot.Field >= 0 && ALayout.Fields[slot.Field].Kind != TValueKind::Text)
      CheckValue(ALayout.Fields[slot.Field], child, name, !first ? child.value() : ElementText(child, FScratch));
    // Most value elements carry no attribute, which one look tells.
    if (const pugi::xml_attribute attribute = child.first_attribute())
      clean = CheckAttributes(ALayout, slot, child, attribute) && clean;
    for (pugi::xml_node inner = first; inner; inner = inner.next_sibling()) {
      if (inner.type() != pugi::node_element) continue;
      Warn(child, "elements inside '" + std::string(name) + "' ignored");
      clean = false;
      break;
    }
  }
  return clean;
}

// Reports the attributes of an element, from AFirst on, that its slot does not declare; false when
// there are any.
bool TXmlMapReader::CheckAttributes(const TXmlLayout& ALayout, const TXmlLayout::TSlot& ASlot, pugi::xml_node AElement,
                                    pugi::xml_attribute AFirst) {
  bool clean = true;
  for (pugi::xml_attribute attribute = AFirst; attribute; attribute = attribute.next_attribute()) {
    if (const auto* entry = TXmlLayout::FindAttribute(ASlot, attribute.name())) {
      CheckValue(ALayout.Fields[entry->second], attribute, attribute.name(), attribute.value());
      continue;
    }
    Warn(attribute, "unknown attribute '" + std::string(attribute.name()) + "' of '" + AElement.name() + "' ignored");
    clean = false;
  }
  return clean;
}

namespace {
// The text in a warning: a long one is cut, at a character's start, so that the warning stays one
// readable line.
std::string Shown(std::string_view AText) {
  constexpr size_t KShown = 40;
  if (AText.size() <= KShown) return std::string(AText);
  size_t cut = KShown;
  while (cut > 0 && (static_cast<unsigned char>(AText[cut]) & 0xC0) == 0x80) --cut;
  return std::string(AText.substr(0, cut)) + "...";
}

std::string NumberText(double AValue, TValueKind AKind) {
  return AKind == TValueKind::Integer ? std::to_string(static_cast<int64_t>(AValue)) : ShortestFloatText(AValue);
}

void SetText(pugi::xml_attribute AAttribute, const std::string& AText) { AAttribute.set_value(AText.c_str()); }
// A value the plain read would have to repair: the full reader reads the file.
[[noreturn]] void SetText(size_t, const std::string&) { throw TXmlMapReader::EUnusualFile{}; }
void SetText(pugi::xml_node AElement, const std::string& AText) {
  while (pugi::xml_node child = AElement.first_child()) AElement.remove_child(child);
  SetElementText(AElement, AText);
}
}  // namespace

// Warns of a value its attribute cannot read, which then takes its default: the map still opens,
// and a save of the untouched record keeps the text as it stands. A value the file holds but the
// map cannot use as it stands is repaired in the document, so that reads and saves both see the
// repair: a number outside its declared range goes to the nearer end (a malformed one to the end
// nearer its default), a date with a time zone becomes local time, a date before the first day a
// map holds reads as no date. An empty text is a value not set and goes without a word.
template <class TPlace>
void TXmlMapReader::CheckValue(const TXmlLayout::TField& AField, TPlace APlace, const char* AName, std::string_view AText) {
  // Each text is read once: this runs for every value of every record at load.
  const auto blank = [AText] { return AText.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos; };
  switch (AField.Kind) {
    case TValueKind::Text: return;
    case TValueKind::Boolean:
      if (!TWordBoolAttribute::ReadText(AText) && !blank())
        Warn(APlace, "'" + Shown(AText) + "' in '" + AName + "' is neither true nor false; it reads as false");
      return;
    case TValueKind::Date: {
      // A date as saves write it, from 1900 on, is past the first day and names no zone: nothing
      // to say, and no value to work out.
      if (const auto parts = FixedXmlDateTimeParts(AText); parts && parts->Year >= 1900) return;
      const auto date = TDateTimeAttribute::ReadText(AText);
      if (!date) {
        if (!blank()) Warn(APlace, "'" + Shown(AText) + "' in '" + AName + "' is not a date; it reads as no date");
      } else if (*date < 1) {
        Warn(APlace, "'" + Shown(AText) + "' in '" + AName +
                         "' is before 1899-12-31, the first day a map holds; it reads as no date");
        SetText(APlace, std::string());
      } else if (const auto zone = XmlTextZoneMinutes(AText)) {
        const std::string local = DateTimeToXmlText(UtcToLocalDateTime(*date - *zone / 1440.0));
        Warn(APlace, "'" + Shown(AText) + "' in '" + AName + "' names a time zone; it reads as " + local + ", local time");
        SetText(APlace, local);
      }
      return;
    }
    case TValueKind::Integer:
    case TValueKind::Number: break;
  }
  const bool integer = AField.Kind == TValueKind::Integer;
  std::optional<double> value;
  if (integer) {
    if (const auto whole = TIntegerAttribute::ReadText(AText)) value = *whole;
  } else {
    value = TDoubleAttribute::ReadText(AText);
  }
  if (!value && blank()) return;  // empty: the default, which the record keeps
  const char* why = value ? nullptr : integer ? "is not a whole number" : "is not a number";
  const XmlProperty& declaration = *AField.Declaration;
  const bool ranged = declaration.Minimum() > -std::numeric_limits<double>::infinity() ||
                      declaration.Maximum() < std::numeric_limits<double>::infinity();
  if (!ranged) {
    if (why) Warn(APlace, "'" + Shown(AText) + "' in '" + AName + "' " + why + (integer ? "; it reads as -1" : "; it reads as 0"));
    return;
  }
  // A malformed text is its kind's default (-1 or 0), then moved into range like any other.
  const double read = value ? *value : integer ? -1 : 0;
  const double kept = std::clamp(read, declaration.Minimum(), declaration.Maximum());
  if (!why && kept == read) return;
  const std::string text = NumberText(kept, AField.Kind);
  if (why)
    Warn(APlace, "'" + Shown(AText) + "' in '" + AName + "' " + why + "; it reads as " + text);
  else
    Warn(APlace, "'" + Shown(AText) + "' in '" + AName + "' is " + (read < kept ? "below " : "above ") + text +
                     "; it reads as " + text);
  SetText(APlace, text);
}

// The same for a list; link items must name their node, which is checked once the map is read.
bool TXmlMapReader::CheckList(const TXmlLayout& ALayout, pugi::xml_node AElement, TLumetaNode* ANode,
                              uint16_t ARegistration) {
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
      if (WarnContent(child, ALayout.ItemElementName)) clean = false;
      const auto id = ReadID(target.value());
      FLinks.push_back({ANode, child, id.value_or(0), ARegistration, id.has_value()});
    } else if (!ALayout.ItemConverter && !ALayout.Fields.empty()) {
      clean = CheckFields(ALayout, child) && clean;
    }
  }
  return clean;
}

// Links and connections name nodes that may come later in the file, so they are checked last.
void TXmlMapReader::ResolveReferences() {
  const TIdSet ids(*FMap);
  for (const TLinkItem& link : FLinks) {
    if (link.Readable && ids.Contains(link.Target)) continue;
    const pugi::xml_attribute reference = link.Item.attribute(KNodeReference);
    FailAt(Offset(reference.name()), "a link to node '" + std::string(reference.value()) + "', which does not exist");
  }
  ResolveConnections(ids);
  CompletePairs();
}

void TXmlMapReader::ResolveConnections(const TIdSet& AIds) {
  for (const TConnection& connection : FConnections) {
    const auto id = ReadID(connection.Reference.Text);
    if (!id || !AIds.Contains(*id))
      FailAt(Offset(connection.Reference.Where),
             "a connection to node '" + std::string(connection.Reference.Text) + "', which does not exist");
    connection.Node->HostData().Connections[connection.Index] = *id;
  }
}

// For each registration, the registration of the list on the linked node that holds the other
// end of its items, or -1.
std::vector<int> TXmlMapReader::PairedLists() const {
  std::vector<int> pairOf(FRegistry.Registrations.size(), -1);
  for (size_t i = 0; i < pairOf.size(); ++i)
    if (const std::string& other = FRegistry.Registrations[i].Layout->PairedList; !other.empty())
      pairOf[i] = FRegistry.IndexOf(other);
  return pairOf;
}

// The links whose other end the linked node's paired list does not hold, by their place in FLinks.
std::vector<size_t> TXmlMapReader::MissingEnds() const {
  const std::vector<int> pairOf = PairedLists();
  if (std::none_of(pairOf.begin(), pairOf.end(), [](int AOther) { return AOther >= 0; })) return {};
  // Each end is looked for among the ends its target holds. The ends go into one bucket per
  // holder, by a counting sort over the holders' IDs when those are dense, as the map hands them
  // out: a file written in tree order lists the ends in no order a search could use, and sorting
  // them all for one made this check one of the larger costs of a load. Sparse IDs are sorted.
  struct TEnd {
    int64_t Target;
    uint16_t Registration;
    auto operator<=>(const TEnd&) const = default;
  };
  constexpr size_t KScanned = 8;  // a bucket up to this size is scanned, a larger one sorted and searched
  const size_t count = FLinks.size();
  int64_t highest = 0;
  for (const TLinkItem& link : FLinks) highest = std::max(highest, link.Holder->ID());
  const bool dense = highest <= 4 * static_cast<int64_t>(count) + 1024 && count < UINT32_MAX;
  std::vector<TEnd> ends(count);
  // Dense: holder h's ends are ends[h ? bucketEnd[h - 1] : 0 .. bucketEnd[h]).
  std::vector<uint32_t> bucketEnd;
  // Sparse: the holders' IDs beside the ends, both in the order of (holder, target, registration).
  std::vector<int64_t> holders;
  if (dense) {
    bucketEnd.assign(static_cast<size_t>(highest) + 2, 0);
    for (const TLinkItem& link : FLinks) ++bucketEnd[static_cast<size_t>(link.Holder->ID()) + 1];
    for (size_t h = 1; h < bucketEnd.size(); ++h) bucketEnd[h] += bucketEnd[h - 1];
    // Placing an end moves its holder's entry from the bucket's start to its end.
    for (const TLinkItem& link : FLinks) ends[bucketEnd[static_cast<size_t>(link.Holder->ID())]++] = {link.Target, link.Registration};
    for (size_t h = 0, begin = 0; h + 1 < bucketEnd.size(); begin = bucketEnd[h++])
      if (bucketEnd[h] - begin > KScanned) std::sort(ends.begin() + begin, ends.begin() + bucketEnd[h]);
  } else {
    std::vector<std::pair<int64_t, TEnd>> all;
    all.reserve(count);
    for (const TLinkItem& link : FLinks) all.push_back({link.Holder->ID(), {link.Target, link.Registration}});
    std::sort(all.begin(), all.end());
    holders.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      holders.push_back(all[i].first);
      ends[i] = all[i].second;
    }
  }
  const auto holds = [&](int64_t AHolder, const TEnd& AEnd) {
    size_t begin = 0, end = 0;
    if (dense) {
      if (AHolder < 0 || AHolder > highest) return false;
      begin = AHolder > 0 ? bucketEnd[static_cast<size_t>(AHolder) - 1] : 0;
      end = bucketEnd[static_cast<size_t>(AHolder)];
    } else {
      const auto [first, last] = std::equal_range(holders.begin(), holders.end(), AHolder);
      begin = static_cast<size_t>(first - holders.begin());
      end = static_cast<size_t>(last - holders.begin());
    }
    const auto from = ends.begin() + static_cast<ptrdiff_t>(begin), to = ends.begin() + static_cast<ptrdiff_t>(end);
    return dense && end - begin <= KScanned ? std::find(from, to, AEnd) != to : std::binary_search(from, to, AEnd);
  };
  // The ends missing, found first and added after: adding reads new items into FLinks.
  std::vector<size_t> missing;
  size_t index = 0;
  for (const TLinkItem& link : FLinks) {
    const int other = pairOf[link.Registration];
    if (other >= 0 && !holds(link.Target, {link.Holder->ID(), static_cast<uint16_t>(other)})) missing.push_back(index);
    ++index;
  }
  return missing;
}

// A link is stored on both of its tasks; a file that holds one end only (edited by hand, or
// written by another program) has the other end added, with a warning, so that the link works
// from both tasks: rescheduling follows it from the predecessor, the dialog shows it on the
// successor.
void TXmlMapReader::CompletePairs() {
  const std::vector<size_t> missing = MissingEnds();
  if (missing.empty()) return;
  const std::vector<int> pairOf = PairedLists();
  // The elements of the nodes that take an end, found in one walk of the document.
  std::vector<int64_t> wanted;
  for (size_t i : missing) wanted.push_back(FLinks[i].Target);
  std::sort(wanted.begin(), wanted.end());
  std::vector<std::pair<int64_t, pugi::xml_node>> elements;
  for (pugi::xml_node node = FSource->Document.document_element(); node;) {
    if (node.type() == pugi::node_element && Same(node.name(), KNode)) {
      const auto id = ReadID(node.attribute(KID).value());
      if (id && std::binary_search(wanted.begin(), wanted.end(), *id)) elements.emplace_back(*id, node);
    }
    pugi::xml_node next = node.type() == pugi::node_element ? node.first_child() : pugi::xml_node();
    while (!next && node) {
      next = node.next_sibling();
      if (!next) node = node.parent();
    }
    node = next;
  }
  std::sort(elements.begin(), elements.end(), [](const auto& A, const auto& B) { return A.first < B.first; });
  for (size_t i : missing) {
    const TLinkItem link = FLinks[i];
    const uint16_t other = static_cast<uint16_t>(pairOf[link.Registration]);
    const TXmlRegistration& registration = FRegistry.Registrations[other];
    const auto found = std::lower_bound(elements.begin(), elements.end(), link.Target,
                                        [](const auto& AEntry, int64_t AID) { return AEntry.first < AID; });
    if (found == elements.end() || found->first != link.Target) continue;
    pugi::xml_node holder = found->second;
    TLumetaNode* node = FMap->GetNode(link.Target);
    pugi::xml_node list = holder.child(registration.ElementName.c_str());
    const bool made = !list;
    if (made) {
      const pugi::xml_node firstChild = holder.child(KNode);
      list = firstChild ? holder.insert_child_before(registration.ElementName.c_str(), firstChild)
                        : holder.append_child(registration.ElementName.c_str());
    }
    pugi::xml_node item = list.append_child(registration.Layout->ItemElementName.c_str());
    for (pugi::xml_attribute attribute : link.Item.attributes())
      item.append_attribute(attribute.name())
          .set_value(Same(attribute.name(), KNodeReference) ? std::to_string(link.Holder->ID()).c_str() : attribute.value());
    Warn(link.Item, "the link to node " + std::to_string(link.Target) + " is missing from '" + registration.ElementName +
                        "' of that node; it is added there");
    if (made) ReadProperty(other, list, node);
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

template void TXmlMapReader::CheckValue<size_t>(const TXmlLayout::TField&, size_t, const char*, std::string_view);

}  // namespace xml_archive
