#pragma once
// Inside the map archive: a map written as a map file.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "host/xml/LumetaXmlArchive.h"
#include "host/xml/XmlDocSource_p.h"
#include "host/xml/XmlLayout_p.h"
#include "host/xml/XmlPrinter.h"

namespace xml_archive {

// A link item as its loader fills it, printed once filled (the printer takes an element's
// attributes before its content). It answers like an element of a document: setting an attribute
// it has replaces the value in place, setting empty text removes the text.
class TXmlItemElement final : public TImplements<TAggregableObject, IXmlElement> {
 public:
  // Starts an empty element; AName must live until Print.
  void Start(const char* AName);
  void Print(TXmlPrinter& APrinter) const;

  std::string GetName() override { return FName; }
  std::string GetText() override { return FText; }
  void SetText(const std::string& AText) override { FText = AText.c_str(); }
  bool GetAttribute(const std::string& AName, std::string& AValue) override;
  void SetAttribute(const std::string& AName, const std::string& AValue) override;

 private:
  // Whether a kept attribute name is AName, read up to its first NUL.
  static bool Named(const std::string& AKept, const std::string& AName);
  const char* FName = "";
  // The first FCount pairs belong to the element; the rest stay from earlier items, so that a
  // map's thousands of link items reuse the room of the texts before them.
  std::vector<std::pair<std::string, std::string>> FAttributes;
  size_t FCount = 0;
  std::string FText;
};

class TXmlMapWriter {
 public:
  // Warnings (links dropped, text repaired) are added to AWarnings.
  TXmlMapWriter(TXmlRegistry& ARegistry, std::vector<TArchiveWarning>& AWarnings, const TLumetaMap& AMap);

  // Writes the map as it goes, without building a document: in pieces to ASink, or all into AOut
  // when there is no sink. A failure part way raises; the text written so far is then incomplete.
  void Write(std::string& AOut, const TXmlPrinter::TSink& ASink);

 private:
  void WriteContent(TLumetaNode* ANode);
  // Asks for the lists of children of a node's records ahead of writing it, and keeps the
  // records for PrefetchChildren.
  void PrefetchRecords(TLumetaNode* ANode);
  // Asks for the children of the records PrefetchRecords kept, if they are ANode's.
  void PrefetchChildren(TLumetaNode* ANode);
  void WriteHostData(TLumetaNode* ANode);
  void WriteSettings();
  void WriteBaseline(const TLumetaNode::THostData::TBaseline& ABaseline);
  void WriteProperty(TLumetaNode* ANode, IProperty* AProperty);
  // The same with the attribute the property carries, and that as our structure (or null), known.
  void WriteProperty(TLumetaNode* ANode, IProperty* AProperty, IAttribute* ARoot, TStructuredAttribute* AStructure);
  bool WriteAsRead(uint32_t AEntry);
  bool LinksExist(const TXmlLayout& ALayout, pugi::xml_node AElement) const;
  // The same for an element's text; AItems counts its items.
  bool LinksExist(const TXmlLayout& ALayout, std::string_view AElement, size_t& AItems) const;
  // Copies an entry's element as it was read; false when a link it holds names a node no longer
  // in the map. ASkipEmptyLinks leaves out a link list without links.
  bool CopyAsRead(const TXmlDocSource::TEntry& AEntry, const TXmlLayout& ALayout, bool ASkipEmptyLinks);
  // The fields of a record into the open element: its own attributes, then the slot elements.
  void WriteFields(TXmlLayout& ALayout, IStructuredAttribute* AOwner);
  void WriteFields(TXmlLayout& ALayout, TXmlLayout::TOwner& AOwner);
  void WriteList(TLumetaNode* ANode, TXmlLayout& ALayout, IStructuredAttribute* AList);
  void WriteUnknown(TLumetaNode* ANode);
  // An element of another document, whole; a repair inside it names the node being written
  // unless the element itself holds a node.
  void Copy(pugi::xml_node AElement);
  void WarnRepaired(pugi::xml_node AElement, const char* AName);
  void Warn(std::string AText) { FWarnings.push_back({{}, 0, 0, std::move(AText)}); }

  TXmlRegistry& FRegistry;
  std::vector<TArchiveWarning>& FWarnings;
  std::vector<std::string> FRepairs;  // after the other warnings, as when the text came last
  const TLumetaMap& FMap;
  TIdSet FIds;
  TXmlDocSource* FSource;  // the document the map was read from, if any
  TXmlPrinter* FPrinter = nullptr;
  std::string FWhere;          // "map" or "node <ID>": what the warnings of the content now written name
  pugi::xml_node FCopyParent;  // while copying: the parent of the element copied
  ComPtr<TXmlItemElement> FItem = make<TXmlItemElement>();
  // Per record, reused: each field's text and whether it is written, and the slots written. A
  // text lies in FTexts or FRooms of its field, or in the record's slot; a NUL follows it.
  struct TFieldText {
    std::string_view Text;
    bool Written = false;
  };
  std::vector<TFieldText> FFieldTexts;
  std::vector<std::string> FTexts;
  std::vector<TSlotTextRoom> FRooms;
  std::vector<char> FSlotDone;
  // The records of the node PrefetchRecords was last given, and what each of its first properties
  // carries: the attribute, and that as our structure (or null). FCurrent: the same for the node
  // being written, when it was looked at ahead.
  struct TAhead {
    TLumetaNode* Node = nullptr;
    std::array<TStructuredAttribute*, 8> Records{};
    size_t Count = 0;
    std::array<IAttribute*, 8> Roots{};
    std::array<TStructuredAttribute*, 8> Structures{};
    size_t Properties = 0;
  } FAhead, FCurrent;
};

}  // namespace xml_archive
