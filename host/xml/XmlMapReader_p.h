#pragma once
// Inside the map archive: a map file read into a new map.
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/xml/LumetaXmlArchive.h"
#include "host/xml/XmlDocSource_p.h"
#include "host/xml/XmlLayout_p.h"
#include "host/xml/XmlScanner.h"

namespace xml_archive {

// The encoding a text's XML declaration names (after a byte order mark): as written, in lower
// case, and where the name starts; empty when it names none.
struct TDeclaredEncoding {
  std::string Written;
  std::string Name;
  size_t Offset = 0;
};
std::optional<TDeclaredEncoding> DeclaredEncoding(std::string_view AText);
// Whether a lower-case encoding name is one a map file is read in as it stands.
bool IsUtf8Encoding(const std::string& AName);
// A character of an XML name as the parser reads names: every byte of a multi-byte character counts.
bool IsXmlNameChar(char AChar);
// Characters XML 1.0 cannot hold: controls other than tab, line feed and carriage return.
bool IsForbiddenControl(uint32_t ACode);

class TXmlMapReader {
 public:
  // AOriginal is the text as it was before parsing changed it in place; without it, messages
  // read the file AName again to find their line and column. Warnings are added to AWarnings.
  TXmlMapReader(const TXmlRegistry& ARegistry, std::vector<TArchiveWarning>& AWarnings, const std::string& AName,
                ComPtr<TXmlDocSource> ASource, const std::string* AOriginal);

  // Parses the source's buffer and reads the map; raises EArchiveError.
  std::unique_ptr<TLumetaMap> Read();
  // Reads a file that needs no warning and no repair without building a document, leaving the
  // buffer as it was; raises EUnusualFile for any other, which Read then reads.
  std::unique_ptr<TLumetaMap> ReadPlain();
  struct EUnusualFile {};

 private:
  struct TReference {
    const char* Text;  // the ID as written, inside the parsed buffer
    const char* Where;
  };
  // A list item naming a node: a link, checked for its node and its other end once all is read.
  // The ID is read as the item is met; a text that is no ID fails only at that check, as any
  // other link to a node that does not exist.
  struct TLinkItem {
    TLumetaNode* Holder;
    pugi::xml_node Item;
    int64_t Target;
    uint16_t Registration;
    bool Readable;  // whether Target was read from the item's Node
  };
  struct TConnection {
    TLumetaNode* Node;
    size_t Index;
    TReference Reference;
  };

  void ReadPlainTree();
  TLumetaNode* ReadPlainNode(TLumetaNode* AParent);
  void ReadPlainElement(TLumetaNode* ANode, uint64_t& ASeen, size_t ADepth);
  std::string_view Decoded(std::string_view AText, TXmlTextKind AKind);
  std::string_view PlainText();
  pugi::xml_node PlainFragment();
  void CheckPlainValue(const TXmlLayout::TField& AField, std::string_view AText);
  void CheckPlainAttributes(const TXmlLayout& ALayout, const TXmlLayout::TSlot& ASlot);
  void CheckPlainFields(const TXmlLayout& ALayout);
  void CheckPlainList(const TXmlLayout& ALayout, TLumetaNode* ANode, uint16_t ARegistration);

  void ConvertEncoding();
  bool CheckReferences();
  void StripControlCharacters();
  size_t TextAfterRoot() const;
  // The host's own elements that a node holds at most once (Settings only in the map).
  enum THostKind { hkTitle, hkNotes, hkResources, hkAttachments, hkCategories, hkConnections, hkBaseline, hkSettings, hkCount };
  static int HostElementKind(std::string_view AName);
  void ReadHostElement(int AKind, pugi::xml_node AElement, TLumetaNode* ANode);
  void ReadNode(pugi::xml_node AElement, TLumetaNode* AParent);
  void ReadContent(pugi::xml_node AElement, TLumetaNode* ANode);
  std::vector<pugi::xml_node> Items(pugi::xml_node AList, const char* AItem);
  const char* HostText(pugi::xml_node AElement);
  void CheckEmptyItem(pugi::xml_node AItem, std::initializer_list<const char*> AAttributes);
  // Text other than white space in an element that holds none is passed over with a warning.
  void WarnTextInside(pugi::xml_node AElement, size_t AOffset);
  void WarnOwnText(pugi::xml_node AElement);
  // Warns once if the item named AName holds text or elements, which are not kept; answers whether.
  bool WarnContent(pugi::xml_node AItem, std::string_view AName);
  void Keep(pugi::xml_node AElement, std::string& AKept);
  void ReadSettings(pugi::xml_node AElement);
  TLumetaNode::THostData::TBaseline ReadBaseline(pugi::xml_node AElement);
  uint8_t ParseDays(pugi::xml_node AElement);
  void ReadProperty(uint16_t ARegistration, pugi::xml_node AElement, TLumetaNode* ANode);
  bool CheckFields(const TXmlLayout& ALayout, pugi::xml_node AElement);
  bool CheckAttributes(const TXmlLayout& ALayout, const TXmlLayout::TSlot& ASlot, pugi::xml_node AElement,
                       pugi::xml_attribute AFirst);
  template <class TPlace>
  void CheckValue(const TXmlLayout::TField& AField, TPlace APlace, const char* AName, std::string_view AText);
  bool CheckList(const TXmlLayout& ALayout, pugi::xml_node AElement, TLumetaNode* ANode, uint16_t ARegistration);
  void ResolveReferences();
  void ResolveConnections(const TIdSet& AIds);
  std::vector<int> PairedLists() const;
  std::vector<size_t> MissingEnds() const;
  void CompletePairs();

  size_t Offset(const char* APointer) const;
  size_t Offset(pugi::xml_node ANode) const;
  [[noreturn]] void FailAt(size_t AOffset, const std::string& AReason);
  [[noreturn]] void Fail(pugi::xml_node ANode, const std::string& AReason) { FailAt(Offset(ANode), AReason); }
  [[noreturn]] void Fail(pugi::xml_attribute AAttribute, const std::string& AReason) {
    FailAt(Offset(AAttribute.name()), AReason);
  }
  void Warn(pugi::xml_node ANode, const std::string& AText) { WarnAt(Offset(ANode), AText); }
  void Warn(pugi::xml_attribute AAttribute, const std::string& AText) { WarnAt(Offset(AAttribute.name()), AText); }
  void WarnAt(size_t AOffset, const std::string& AText);
  void Warn(size_t AOffset, const std::string& AText) { WarnAt(AOffset, AText); }
  std::pair<int, int> PositionAt(size_t AOffset);
  const std::string& Original();

  const TXmlRegistry& FRegistry;
  std::vector<TArchiveWarning>& FWarnings;
  const std::string& FName;
  std::vector<std::pair<pugi::xml_node, TLumetaNode*>> FPendingNodes;  // Node elements still to read, next last
  const char* FBuffer;
  size_t FSize;
  const std::string* FOriginal;
  std::unique_ptr<std::string> FReread;
  std::unique_ptr<std::string> FConverted;  // the text parsed, when the file was converted to UTF-8
  std::vector<size_t> FLineStarts;
  // The place found last: messages come in file order, so the next column counts on from it.
  size_t FLastOffset = 0;
  int FLastLine = 1;
  int FLastColumn = 1;
  std::unique_ptr<TLumetaMap> FMap;
  std::deque<TLinkItem> FLinks;  // two per link: grown without copying at the load's peak
  std::vector<TConnection> FConnections;
  ComPtr<TXmlDocSource> FSource;
  std::string FScratch;
  TXmlScanner* FScanner = nullptr;  // while a plain read walks the text
  bool FRawTexts = false;           // the text being read holds no '&' and no carriage return
  std::deque<pugi::xml_document> FFragments;  // host elements a plain read parsed alone
};

}  // namespace xml_archive
