#pragma once
// Inside the map archive: the parsed file a loaded map keeps for the values nobody has read yet.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/LumetaMap.h"
#include "host/xml/XmlLayout_p.h"
#include "host/xml/XmlScanner.h"

namespace xml_archive {

// Keeps the parsed file of a loaded map: record and list values are read from it on their first
// use, and a property nobody has read since is saved by copying its element. Owns the text the
// document points into.
class TXmlDocSource : public TImplements<TAggregableObject, IDocSource, IRecordSlotSource>, public TPropertyMaker {
 public:
  // One per property element of the file; a node's elements take numbers in a row, from 1.
  struct TEntry {
    ComPtr<IProperty> Property;  // once made; held, so that its address never names a later property
    pugi::xml_node Element;  // null when the load kept only where the element's text stands
    size_t Offset = 0;
    uint32_t Length = 0;
    uint16_t Depth = 0;  // the elements around it in the file, up to the most a save indents
    uint16_t Registration;  // its layout is LayoutOf: a load notes an entry per property
    bool Clean;  // the element holds nothing the layout passes over
  };

  TXmlDocSource(std::string AName, std::string ABuffer) : Name(std::move(AName)), Buffer(std::move(ABuffer)) {}

  // The registrations whose properties the file holds, kept for the properties made later.
  void KeepRegistrations(const std::vector<TXmlRegistration>& ARegistrations) { FRegistrations = ARegistrations; }
  // Notes a property element and answers its number; AMade is a property read already.
  uint32_t Note(pugi::xml_node AElement, uint16_t ARegistration, bool AClean, IProperty* AMade = nullptr);
  // The same for an element of the buffer that was checked without a document: the text from
  // AOffset, ALength characters long.
  uint32_t Note(size_t AOffset, uint32_t ALength, size_t ADepth, uint16_t ARegistration);
  // The entry's element: the document's, or one parsed from the buffer, which Owner then holds.
  struct TElementOf {
    pugi::xml_node Node;
    std::unique_ptr<pugi::xml_document> Owner;
  };
  TElementOf ElementOf(const TEntry& AEntry);
  // The text of an entry kept as a place in the buffer.
  std::string_view TextOf(const TEntry& AEntry) const { return std::string_view(Buffer).substr(AEntry.Offset, AEntry.Length); }
  // Drops every entry, for a load that starts again on the same buffer.
  void Forget();
  const TEntry& Entry(uint32_t AEntry) const { return FEntries[AEntry - 1]; }
  TXmlLayout& LayoutOf(const TEntry& AEntry) const { return *FRegistrations[AEntry.Registration].Layout; }

  // The element of a property none of whose values has been read since the load, or null.
  const TEntry* Untouched(IProperty* AProperty);
  // The same for a caller that has the structure the property carries (null when it has none).
  const TEntry* Untouched(IProperty* AProperty, TStructuredAttribute* ARoot);
  // Whether a property never made would be saved as its element is; false for an element of
  // another class of property than the one ALayout writes (a map saved by another archive).
  bool SavesAsRead(uint32_t AEntry, const TXmlLayout& ALayout) const {
    const TEntry& entry = Entry(AEntry);
    return entry.Clean && &LayoutOf(entry) == &ALayout;
  }

  const std::string& PropertyName(uint32_t AEntry) override;
  ComPtr<IProperty> MakeProperty(TLumetaNode* ANode, uint32_t AEntry) override;

  void LoadAttribute(IAttribute* AAttribute) override;
  // Reads the record's element straight into its slots, converting as the children would.
  bool LoadSlots(TStructuredAttribute* ARecord) override;

  const std::string Name;
  std::string Buffer;
  pugi::xml_document Document;

 private:
  // ARoot is the structure the property carries, or null.
  const TEntry* Find(IProperty* AProperty, TStructuredAttribute* ARoot) const;
  void ReadFields(TXmlLayout& ALayout, IStructuredAttribute* AInterface, pugi::xml_node AElement);
  // The same over the text of an entry kept as a place in the buffer.
  template <class TApply>
  void WalkFieldsText(TXmlLayout& ALayout, const TEntry& AEntry, TApply AApply);
  // Hands each declared value of AElement to AApply(field, text), in document order.
  template <class TApply>
  void WalkFields(TXmlLayout& ALayout, pugi::xml_node AElement, TApply AApply);
  void Apply(TXmlLayout::TField& AField, TXmlLayout::TOwner& AOwner, const char* AText);
  void ReadList(TXmlLayout& ALayout, IListAttribute* AList, pugi::xml_node AElement);

  // A deque: a load adds one entry per property, and a vector's last doubling would hold the old
  // and the new array at once, at the very moment the whole document and map are in memory.
  std::deque<TEntry> FEntries;
  std::vector<std::pair<IProperty*, uint32_t>> FIndex;  // sorted by identity
  std::vector<TXmlRegistration> FRegistrations;
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
  std::string FFieldText;
  ComPtr<TXmlElement> FElement = make<TXmlElement>();
};

}  // namespace xml_archive
