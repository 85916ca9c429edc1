#pragma once
// Inside the map archive: the parsed file a loaded map keeps for the values nobody has read yet.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/xml/XmlLayout_p.h"

namespace xml_archive {

// Keeps the parsed file of a loaded map: record and list values are read from it on their first
// use, and a property nobody has read since is saved by copying its element. Owns the text the
// document points into.
class TXmlDocSource : public TImplements<TAggregableObject, IDocSource> {
 public:
  struct TEntry {
    ComPtr<IProperty> Property;  // held, so that its address never names a later property
    pugi::xml_node Element;
    TXmlLayout* Layout;  // kept alive by FLayouts
    bool Clean;          // the element holds nothing the layout passes over
  };

  TXmlDocSource(std::string AName, std::string ABuffer) : Name(std::move(AName)), Buffer(std::move(ABuffer)) {}

  // A root built on our attribute classes carries its entry's number, so that a read finds the
  // element without a search; the few other roots go into an index sorted once after the load.
  void Remember(IProperty* AProperty, IAttribute* ARoot, pugi::xml_node AElement, TXmlLayout& ALayout, bool AClean);
  void Seal();
  void KeepLayout(std::shared_ptr<TXmlLayout> ALayout) { FLayouts.push_back(std::move(ALayout)); }

  // The element of a property none of whose values has been read since the load, or null.
  const TEntry* Untouched(IProperty* AProperty);
  // The same for a caller that has the structure the property carries (null when it has none).
  const TEntry* Untouched(IProperty* AProperty, TStructuredAttribute* ARoot);

  void LoadAttribute(IAttribute* AAttribute) override;

  const std::string Name;
  std::string Buffer;
  pugi::xml_document Document;

 private:
  // ARoot is the structure the property carries, or null.
  const TEntry* Find(IProperty* AProperty, TStructuredAttribute* ARoot) const;
  void ReadFields(TXmlLayout& ALayout, IStructuredAttribute* AInterface, pugi::xml_node AElement);
  void Apply(TXmlLayout::TField& AField, TXmlLayout::TOwner& AOwner, const char* AText);
  void ReadList(TXmlLayout& ALayout, IListAttribute* AList, pugi::xml_node AElement);

  std::vector<TEntry> FEntries;
  std::vector<std::pair<IProperty*, uint32_t>> FIndex;  // sorted by identity once the load is done
  std::vector<std::shared_ptr<TXmlLayout>> FLayouts;
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
  std::string FScratch;
  ComPtr<TXmlElement> FElement = make<TXmlElement>();
};

}  // namespace xml_archive
