#pragma once
// Inside the map archive: a map written as a map file.
#include <string>
#include <vector>

#include "host/xml/XmlDocSource_p.h"
#include "host/xml/XmlLayout_p.h"
#include "host/xml/XmlPrinter_p.h"

namespace xml_archive {

class TXmlMapWriter {
 public:
  // Warnings (links dropped, text repaired) are added to AWarnings.
  TXmlMapWriter(TXmlRegistry& ARegistry, std::vector<std::string>& AWarnings, const TLumetaMap& AMap);

  // Builds the whole document, raising before any text is written, then writes it: in pieces to
  // ASink, or all into AOut when there is no sink.
  void Write(std::string& AOut, const TXmlPrinter::TSink& ASink);

 private:
  void WriteContent(TLumetaNode* ANode, pugi::xml_node AElement);
  void WriteHostData(TLumetaNode* ANode, pugi::xml_node AElement);
  void WriteSettings(pugi::xml_node AMap);
  void WriteProperty(TLumetaNode* ANode, IProperty* AProperty, pugi::xml_node AParent);
  bool LinksExist(const TXmlLayout& ALayout, pugi::xml_node AElement) const;
  void WriteFields(TXmlLayout& ALayout, IStructuredAttribute* AOwner, pugi::xml_node AElement);
  pugi::xml_node SlotElement(const TXmlLayout& ALayout, int ASlot, pugi::xml_node AElement);
  void WriteList(TLumetaNode* ANode, TXmlLayout& ALayout, IStructuredAttribute* AList, pugi::xml_node AElement);
  void WriteUnknown(TLumetaNode* ANode, pugi::xml_node AElement);
  void WarnRepaired(pugi::xml_node AElement);
  void Warn(std::string AText) { FWarnings.push_back(std::move(AText)); }

  TXmlRegistry& FRegistry;
  std::vector<std::string>& FWarnings;
  const TLumetaMap& FMap;
  TIdSet FIds;
  TXmlDocSource* FSource;  // the document the map was read from, if any
  pugi::xml_document FDocument;
  ComPtr<TXmlElement> FElement = make<TXmlElement>();
  std::vector<pugi::xml_node> FSlotElements;
};

}  // namespace xml_archive
