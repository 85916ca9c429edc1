// The map reader's path for a file as nearly every file is: UTF-8, well-formed, nothing to warn of
// or repair. It walks the text with the tag scanner instead of building a document, checks each
// record as it passes and keeps only where the record's element stands. At the first thing the
// full reader would warn of, repair or refuse, it gives up, and the full reader reads the file
// from the start with the messages and repairs it makes.
#include <algorithm>
#include <cstring>

#include "com/NumberText.h"
#include "host/xml/XmlMapReader_p.h"
#include "host/xml/XmlScanner.h"

namespace xml_archive {

namespace {
using TToken = TXmlScanner::TToken;

bool IsBlank(std::string_view AText) { return AText.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// Whether every '&' of the text is one the full reader would pass without a word: a character
// reference to other than a control character, one of XML's five entities, or a lone '&'.
bool PlainReferences(std::string_view AText) {
  for (size_t at = AText.find('&'); at != std::string_view::npos; at = AText.find('&', at + 1)) {
    const std::string_view rest = AText.substr(at + 1);
    if (rest.empty() || (!IsXmlNameChar(rest[0]) && rest[0] != '#')) continue;
    if (rest.starts_with("amp;") || rest.starts_with("lt;") || rest.starts_with("gt;") || rest.starts_with("quot;") ||
        rest.starts_with("apos;"))
      continue;
    if (rest[0] != '#') return false;
    const bool hex = rest.size() > 1 && rest[1] == 'x';
    size_t end = hex ? 2 : 1;
    uint32_t code = 0;
    for (; end < rest.size() && end < 10 && std::isxdigit(static_cast<unsigned char>(rest[end])); ++end) {
      if (!hex && !std::isdigit(static_cast<unsigned char>(rest[end]))) break;
      code = code * (hex ? 16 : 10) + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(rest[end]))
                                                                 ? rest[end] - '0'
                                                                 : (rest[end] | ' ') - 'a' + 10);
    }
    if (end == (hex ? 2u : 1u) || end >= rest.size() || rest[end] != ';' || end >= 10) return false;
    if (IsForbiddenControl(code)) return false;
  }
  return true;
}

// UTF-8 without a declaration that says otherwise.
bool PlainEncoding(std::string_view AText) {
  if (AText.starts_with("\xFF\xFE") || AText.starts_with("\xFE\xFF")) return false;
  const std::optional<TDeclaredEncoding> encoding = DeclaredEncoding(AText);
  return !encoding || IsUtf8Encoding(encoding->Name);
}
}  // namespace

std::unique_ptr<TLumetaMap> TXmlMapReader::ReadPlain() {
  const std::string_view text(FBuffer, FSize);
  const bool escapes = text.find('&') != std::string_view::npos;
  if (!PlainEncoding(text) || std::memchr(FBuffer, 0, FSize) || (escapes && !PlainReferences(text)) ||
      TextAfterRoot() != std::string::npos)
    throw EUnusualFile{};
  // Most files hold no escape and no carriage return: their texts read as they stand.
  FRawTexts = !escapes && !std::memchr(FBuffer, '\r', FSize);
  const size_t warnings = FWarnings.size();
  try {
    TXmlScanner scanner(text);
    scanner.SkipBlankTexts();
    FScanner = &scanner;
    ReadPlainTree();
    FScanner = nullptr;
  } catch (const EUnusualFile&) {
    throw;
  } catch (const std::exception&) {
    // A fault of the file: the full reader says what and where.
    throw EUnusualFile{};
  }
  if (FWarnings.size() != warnings) throw EUnusualFile{};
  return std::move(FMap);
}

void TXmlMapReader::ReadPlainTree() {
  TXmlScanner& scanner = *FScanner;
  if (scanner.Next() != TToken::Start || scanner.Name() != KMap) throw EUnusualFile{};
  int64_t highest = 0;
  std::string identity;
  bool expanded = true, hasExpanded = false;
  for (const TXmlScannedAttribute& attribute : scanner.Attributes()) {
    const std::string_view value = Decoded(attribute.Value, TXmlTextKind::Attribute);
    if (attribute.Name == KVersion) {
      const auto version = ParseInteger<int64_t>(value);
      if (!version || *version < 1 || *version > TLumetaXmlArchive::FormatVersion) throw EUnusualFile{};
    } else if (attribute.Name == KHighestID) {
      const auto value64 = ParseInteger<int64_t>(value);
      if (!value64 || *value64 < 0) throw EUnusualFile{};
      highest = *value64;
    } else if (attribute.Name == KIdentity) {
      identity = value;
      if (identity.empty() || identity.size() > 64 ||
          identity.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ-") != std::string::npos)
        throw EUnusualFile{};
    } else if (attribute.Name == KExpanded) {
      const auto on = ParseBoolean(value);
      if (!on) throw EUnusualFile{};
      expanded = *on;
      hasExpanded = true;
    } else {
      throw EUnusualFile{};
    }
  }
  FMap = std::make_unique<TLumetaMap>();
  FSource->KeepRegistrations(FRegistry.Registrations);
  FMap->SetDocSource(ComPtr<IDocSource>(FSource), FSource.get());
  FMap->ReserveNodes(static_cast<size_t>(std::min<int64_t>(highest, static_cast<int64_t>(FSize / 12))));
  if (hasExpanded) FMap->Root()->HostData().Expanded = expanded;

  // The open nodes, the map's root first, each with the host elements it has read.
  struct TOpenNode {
    TLumetaNode* Node;
    uint64_t Seen;
  };
  std::vector<TOpenNode> open{{FMap->Root(), 0}};
  while (!open.empty()) {
    const TToken token = scanner.Next();
    if (token == TToken::End) {
      // A node's title reads as saved, whether the node has a Title element or not.
      if (auto title = open.back().Node->FindAttribute(KTitle)) title->SetFlagEx(afModified, false, true);
      open.pop_back();
      continue;
    }
    if (token == TToken::Text) {
      if (scanner.IsCData() || !IsBlank(scanner.Text())) throw EUnusualFile{};
      continue;
    }
    if (token != TToken::Start) throw EUnusualFile{};
    TOpenNode& current = open.back();
    const std::string_view name = scanner.Name();
    if (name == KNode) {
      open.push_back({ReadPlainNode(current.Node), 0});
      continue;
    }
    ReadPlainElement(current.Node, current.Seen, open.size());
  }
  if (scanner.Next() != TToken::Finished) throw EUnusualFile{};

  // Every link must name a node of the map, and be held at its other end too.
  const TIdSet ids(*FMap);
  for (const TLinkItem& link : FLinks)
    if (!ids.Contains(link.Target)) throw EUnusualFile{};
  ResolveConnections(ids);
  if (!MissingEnds().empty()) throw EUnusualFile{};
  FMap->SetHighestID(highest);
  if (!identity.empty()) FMap->SetIdentity(identity);
}

TLumetaNode* TXmlMapReader::ReadPlainNode(TLumetaNode* AParent) {
  TXmlScanner& scanner = *FScanner;
  std::optional<int64_t> id;
  std::optional<bool> expanded;
  for (const TXmlScannedAttribute& attribute : scanner.Attributes()) {
    const std::string_view value = Decoded(attribute.Value, TXmlTextKind::Attribute);
    if (attribute.Name == KID) {
      id = ParseInteger<int64_t>(value);
      if (!id || *id <= 0) throw EUnusualFile{};
    } else if (attribute.Name == KExpanded) {
      expanded = ParseBoolean(value);
      if (!expanded) throw EUnusualFile{};
    } else {
      throw EUnusualFile{};
    }
  }
  if (!id) throw EUnusualFile{};
  TLumetaNode* node = FMap->AddNodeWithID(AParent, *id);
  if (expanded) node->HostData().Expanded = *expanded;
  return node;
}

void TXmlMapReader::ReadPlainElement(TLumetaNode* ANode, uint64_t& ASeen, size_t ADepth) {
  TXmlScanner& scanner = *FScanner;
  const std::string_view name = scanner.Name();
  const int registration = FRegistry.IndexOf(name);
  // The host's own elements that hold more than a text are few in a map: each is parsed alone and
  // read as the full reader reads it.
  int kind = HostElementKind(name);
  if (kind == hkSettings && ADepth != 1) kind = -1;  // only the map's
  if (registration >= 0) kind = hkCount + registration;
  if (kind < 0) throw EUnusualFile{};  // kept with a warning
  // A second element of a kind is refused; the full reader says so.
  if (kind >= 64 ? ANode->FindProperty(FRegistry.Registrations[static_cast<size_t>(registration)].PropertyName) != nullptr
                 : (ASeen >> kind & 1) != 0)
    throw EUnusualFile{};
  if (kind < 64) ASeen |= uint64_t{1} << kind;
  if (kind == hkTitle || kind == hkNotes) {
    const std::string text(PlainText());
    if (kind == hkTitle) {
      ANode->SetTitle(text);
    } else {
      ANode->HostData().Notes = text;
    }
    return;
  }
  if (kind < hkCount) {
    ReadHostElement(kind, PlainFragment(), ANode);
    return;
  }
  const TXmlRegistration& entry = FRegistry.Registrations[static_cast<size_t>(registration)];
  if (!entry.Structured) throw EUnusualFile{};
  const size_t start = scanner.Offset();
  if (entry.Layout->IsList)
    CheckPlainList(*entry.Layout, ANode, static_cast<uint16_t>(registration));
  else
    CheckPlainFields(*entry.Layout);
  const size_t length = scanner.EndOffset() - start;
  if (length > UINT32_MAX) throw EUnusualFile{};
  ANode->AppendPendingProperty(FSource->Note(start, static_cast<uint32_t>(length), ADepth, static_cast<uint16_t>(registration)));
}

std::string_view TXmlMapReader::Decoded(std::string_view AText, TXmlTextKind AKind) {
  if (FRawTexts && AKind == TXmlTextKind::Text) return AText;
  return DecodeXmlText(AText, AKind, FScratch);
}

// The text of the element just started, through its end: one text or none; anything else (an
// element, a CDATA section, a text cut by a comment) is left to the full reader.
std::string_view TXmlMapReader::PlainText() {
  TXmlScanner& scanner = *FScanner;
  if (scanner.SelfClosed()) {
    scanner.Next();
    return {};
  }
  TToken token = scanner.Next();
  if (token == TToken::End) return {};
  if (token != TToken::Text || scanner.IsCData()) throw EUnusualFile{};
  const std::string_view text = scanner.Text();
  if (scanner.Next() != TToken::End) throw EUnusualFile{};
  return Decoded(text, TXmlTextKind::Text);
}

// The element just started, parsed alone; it lives as long as the reader.
pugi::xml_node TXmlMapReader::PlainFragment() {
  TXmlScanner& scanner = *FScanner;
  const size_t start = scanner.Offset();
  if (scanner.SelfClosed())
    scanner.Next();
  else
    scanner.SkipContent();
  pugi::xml_document& fragment = FFragments.emplace_back();
  if (!fragment.load_buffer(FBuffer + start, scanner.EndOffset() - start, KParseOptions, pugi::encoding_utf8))
    throw EUnusualFile{};
  return fragment.document_element();
}

void TXmlMapReader::CheckPlainValue(const TXmlLayout::TField& AField, std::string_view AText) {
  if (AField.Kind == TValueKind::Text) return;
  const size_t warnings = FWarnings.size();
  CheckValue(AField, size_t{0}, "", AText);
  if (FWarnings.size() != warnings) throw EUnusualFile{};
}

void TXmlMapReader::CheckPlainAttributes(const TXmlLayout& ALayout, const TXmlLayout::TSlot& ASlot) {
  for (const TXmlScannedAttribute& attribute : FScanner->Attributes()) {
    const auto* entry = TXmlLayout::FindAttribute(ASlot, attribute.Name);
    if (!entry) throw EUnusualFile{};
    CheckPlainValue(ALayout.Fields[entry->second], Decoded(attribute.Value, TXmlTextKind::Attribute));
  }
}

// A record element, as CheckFields checks it, from its start tag through its end tag.
void TXmlMapReader::CheckPlainFields(const TXmlLayout& ALayout) {
  TXmlScanner& scanner = *FScanner;
  CheckPlainAttributes(ALayout, ALayout.Own);
  if (scanner.SelfClosed()) {
    scanner.Next();
    return;
  }
  int expected = 0;
  for (;;) {
    const TToken token = scanner.Next();
    if (token == TToken::End) return;
    if (token != TToken::Start) continue;  // text beside the fields is not read
    const int slotIndex = ALayout.NextSlotIndex(scanner.Name(), expected);
    if (slotIndex < 0) throw EUnusualFile{};
    const TXmlLayout::TSlot& slot = ALayout.Slots[static_cast<size_t>(slotIndex)];
    CheckPlainAttributes(ALayout, slot);
    const std::string_view text = PlainText();
    if (slot.Field >= 0) CheckPlainValue(ALayout.Fields[static_cast<size_t>(slot.Field)], text);
  }
}

// A list element, as CheckList checks it; link items are noted for the checks after the tree.
void TXmlMapReader::CheckPlainList(const TXmlLayout& ALayout, TLumetaNode* ANode, uint16_t ARegistration) {
  TXmlScanner& scanner = *FScanner;
  if (!scanner.Attributes().empty()) throw EUnusualFile{};
  if (scanner.SelfClosed()) {
    scanner.Next();
    return;
  }
  for (;;) {
    const TToken token = scanner.Next();
    if (token == TToken::End) return;
    if (token != TToken::Start) continue;
    if (scanner.Name() != ALayout.ItemElementName) throw EUnusualFile{};
    if (ALayout.ItemLoader) {
      const auto& attributes = scanner.Attributes();
      const auto target = std::ranges::find_if(attributes, [](const auto& A) { return A.Name == KNodeReference; });
      if (target == attributes.end()) throw EUnusualFile{};
      const auto id = ParseInteger<int64_t>(Decoded(target->Value, TXmlTextKind::Attribute));
      if (!id) throw EUnusualFile{};
      FLinks.push_back({ANode, pugi::xml_node(), *id, ARegistration, true});
      if (!IsBlank(PlainText())) throw EUnusualFile{};
    } else if (!ALayout.ItemConverter && !ALayout.Fields.empty()) {
      CheckPlainFields(ALayout);
    } else if (scanner.SelfClosed()) {
      scanner.Next();
    } else {
      scanner.SkipContent();
    }
  }
}

}  // namespace xml_archive
