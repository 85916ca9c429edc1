#include "host/xml/XmlDocSource_p.h"

#include <algorithm>

#include "host/xml/XmlPrinter.h"

namespace xml_archive {

namespace {
// The attribute, or the tree a property carries, when it is one of our structures.
TStructuredAttribute* StructureOf(IAttribute* AAttribute) {
  TAttribute* object = TAttribute::FromInterface(AAttribute);
  return object ? object->AsStructure() : nullptr;
}
TStructuredAttribute* RootOf(IProperty* AProperty) { return StructureOf(QueryAs<IAttribute>(AProperty).get()); }
}  // namespace

uint32_t TXmlDocSource::Note(pugi::xml_node AElement, uint16_t ARegistration, bool AClean, IProperty* AMade) {
  FEntries.push_back({ComPtr<IProperty>(AMade), AElement, 0, 0, 0, ARegistration, AClean});
  return static_cast<uint32_t>(FEntries.size());
}

uint32_t TXmlDocSource::Note(size_t AOffset, uint32_t ALength, size_t ADepth, uint16_t ARegistration) {
  const auto depth = static_cast<uint16_t>(std::min<size_t>(ADepth, TXmlPrinter::KMaxIndentLevel));
  FEntries.push_back({nullptr, pugi::xml_node(), AOffset, ALength, depth, ARegistration, true});
  return static_cast<uint32_t>(FEntries.size());
}

TXmlDocSource::TElementOf TXmlDocSource::ElementOf(const TEntry& AEntry) {
  if (AEntry.Element) return {AEntry.Element, nullptr};
  // A copy: the buffer's text is read again by later loads and saves.
  auto document = std::make_unique<pugi::xml_document>();
  if (!document->load_buffer(Buffer.data() + AEntry.Offset, AEntry.Length, KParseOptions, pugi::encoding_utf8))
    throw ELumetaError("the element at offset " + std::to_string(AEntry.Offset) + " cannot be parsed again");
  const pugi::xml_node element = document->document_element();
  return {element, std::move(document)};
}

void TXmlDocSource::Forget() {
  FEntries.clear();
  FIndex.clear();
}

const std::string& TXmlDocSource::PropertyName(uint32_t AEntry) {
  return FRegistrations[Entry(AEntry).Registration].PropertyName;
}

ComPtr<IProperty> TXmlDocSource::MakeProperty(TLumetaNode* ANode, uint32_t AEntry) {
  TEntry& entry = FEntries[AEntry - 1];
  TXmlLayout& layout = LayoutOf(entry);
  try {
    ComPtr<IProperty> property = FRegistrations[entry.Registration].Manager->NewProperty();
    if (!property) throw ELumetaError("its manager made no property");
    property->SetHostObject(static_cast<INode*>(ANode));
    // Its values are read on first use; the flags stay "not loaded" until then.
    ComPtr<IAttribute> root = layout.IsList ? ComPtr<IAttribute>(property.try_as<IListAttribute>())
                                            : ComPtr<IAttribute>(property.try_as<IStructuredAttribute>());
    if (!root) throw ELumetaError(layout.IsList ? "the property is not a list" : "the property is not a record");
    entry.Property = property;
    if (TStructuredAttribute* structure = StructureOf(root.get())) {
      structure->SetSourceTag(AEntry);
    } else {
      const std::pair<IProperty*, uint32_t> key(property.get(), AEntry - 1);
      FIndex.insert(std::lower_bound(FIndex.begin(), FIndex.end(), key), key);
    }
    root->SetFlagEx(afLoaded | afModified, false, true);
    if (!layout.IsList) root->SetFlag(afLoaded, true);  // a record does not load itself; its children do
    return property;
  } catch (const std::exception& AError) {
    throw ELumetaError(Name + ": cannot load '" + layout.ElementName + "': " + AError.what());
  }
}

const TXmlDocSource::TEntry* TXmlDocSource::Untouched(IProperty* AProperty) {
  return Untouched(AProperty, RootOf(AProperty));
}

const TXmlDocSource::TEntry* TXmlDocSource::Untouched(IProperty* AProperty, TStructuredAttribute* ARoot) {
  TStructuredAttribute* structure = ARoot;
  if (!structure) return nullptr;
  // A child read or set answers before the entry is looked at: after a session of work that is
  // most properties, and the entry would be one more object to fetch from memory for each.
  // A record's slots are written without its child objects, so they answer for those.
  if (TRecordSlots* slots = structure->Slots()) {
    for (const TSlot& slot : slots->All())
      if (slot.Flags & afLoaded) return nullptr;
  } else if (structure->HasMadeChildren()) {
    for (const TStructuredAttribute::TChild& child : structure->ChildEntries())
      if (child.Interface()->IsLoaded()) return nullptr;
  }
  const TEntry* entry = Find(AProperty, structure);
  if (!entry || !entry->Clean) return nullptr;
  if (LayoutOf(*entry).IsList && structure->IsLoaded()) return nullptr;
  return entry;
}

void TXmlDocSource::LoadAttribute(IAttribute* AAttribute) {
  ComPtr<IProperty> property = AAttribute->GetProperty();
  const TEntry* entry = property ? Find(property.get(), RootOf(property.get())) : nullptr;
  if (!entry) return;  // made after the load: nothing to read
  TXmlLayout& layout = LayoutOf(*entry);
  try {
    if (layout.IsList) {
      auto list = QueryAs<IListAttribute>(property.get());
      // Only the list itself asks (EnsureLoaded has marked it loaded); its items come all at once.
      if (!list || !SameObject(list.get(), AAttribute)) return;
      const TPendingScope scope(FPending, nullptr);  // a list loaded from inside a record's load
      ReadList(layout, list.get(), ElementOf(*entry).Node);
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
      ReadFields(layout, record.get(), ElementOf(*entry).Node);
    }
    for (IAttribute* child : pending) child->SetFlagEx(afModified, false, true);
  } catch (const std::exception& AError) {
    throw ELumetaError(Name + ": cannot load '" + layout.ElementName + "': " + AError.what());
  }
}

const TXmlDocSource::TEntry* TXmlDocSource::Find(IProperty* AProperty, TStructuredAttribute* ARoot) const {
  // The IProperty pointer tells entries apart: every query of one object answers it alike, and
  // an entry holds its property, so no later property can have the same address.
  if (const uint32_t tag = ARoot ? ARoot->SourceTag() : 0;
      tag > 0 && tag <= FEntries.size() && FEntries[tag - 1].Property.get() == AProperty)
    return &FEntries[tag - 1];
  const auto found = std::lower_bound(FIndex.begin(), FIndex.end(), std::pair<IProperty*, uint32_t>(AProperty, 0));
  return found == FIndex.end() || found->first != AProperty ? nullptr : &FEntries[found->second];
}

template <class TApply>
void TXmlDocSource::WalkFields(TXmlLayout& ALayout, pugi::xml_node AElement, TApply AApply) {
  for (pugi::xml_attribute attribute = AElement.first_attribute(); attribute; attribute = attribute.next_attribute()) {
    if (const auto* entry = TXmlLayout::FindAttribute(ALayout.Own, attribute.name()))
      AApply(ALayout.Fields[entry->second], attribute.value());
  }
  int expected = 0;
  for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const int slotIndex = ALayout.NextSlotIndex(child.name(), expected);
    if (slotIndex < 0) continue;
    const TXmlLayout::TSlot& slot = ALayout.Slots[slotIndex];
    if (slot.Field >= 0) AApply(ALayout.Fields[slot.Field], ElementText(child, FScratch));
    for (pugi::xml_attribute attribute = child.first_attribute(); attribute; attribute = attribute.next_attribute())
      if (const auto* entry = TXmlLayout::FindAttribute(slot, attribute.name()))
        AApply(ALayout.Fields[entry->second], attribute.value());
  }
}

template <class TApply>
void TXmlDocSource::WalkFieldsText(TXmlLayout& ALayout, const TEntry& AEntry, TApply AApply) {
  using TToken = TXmlScanner::TToken;
  // The load checked the element whole: the scan ends at its end tag, where the range ends.
  TXmlScanner scanner(std::string_view(Buffer.data() + AEntry.Offset, AEntry.Length));
  scanner.SkipBlankTexts();
  scanner.Next();
  for (const TXmlScannedAttribute& attribute : scanner.Attributes())
    if (const auto* entry = TXmlLayout::FindAttribute(ALayout.Own, attribute.Name))
      AApply(ALayout.Fields[entry->second], DecodeXmlText(attribute.Value, TXmlTextKind::Attribute, FScratch));
  int expected = 0;
  for (TToken token = scanner.Next(); token != TToken::Finished; token = scanner.Next()) {
    if (token != TToken::Start) continue;
    const int slotIndex = ALayout.NextSlotIndex(scanner.Name(), expected);
    if (slotIndex < 0) {
      scanner.SkipContent();
      continue;
    }
    const TXmlLayout::TSlot& slot = ALayout.Slots[static_cast<size_t>(slotIndex)];
    for (const TXmlScannedAttribute& attribute : scanner.Attributes())
      if (const auto* entry = TXmlLayout::FindAttribute(slot, attribute.Name))
        AApply(ALayout.Fields[entry->second], DecodeXmlText(attribute.Value, TXmlTextKind::Attribute, FScratch));
    // Every text of the field in order, as a document's reader joins them.
    FFieldText.clear();
    for (token = scanner.Next(); token != TToken::End || scanner.Depth() > 1; token = scanner.Next())
      if (token == TToken::Text && scanner.Depth() == 2)
        FFieldText += DecodeXmlText(scanner.Text(), scanner.IsCData() ? TXmlTextKind::CData : TXmlTextKind::Text, FScratch);
    if (slot.Field >= 0) AApply(ALayout.Fields[static_cast<size_t>(slot.Field)], std::string_view(FFieldText));
  }
}

void TXmlDocSource::ReadFields(TXmlLayout& ALayout, IStructuredAttribute* AInterface, pugi::xml_node AElement) {
  TXmlLayout::TOwner owner(AInterface);
  WalkFields(ALayout, AElement, [&](TXmlLayout::TField& AField, const char* AText) { Apply(AField, owner, AText); });
}

bool TXmlDocSource::LoadSlots(TStructuredAttribute* ARecord) {
  TRecordSlots* block = ARecord ? ARecord->Slots() : nullptr;
  ComPtr<IProperty> property = block ? ARecord->GetProperty() : nullptr;
  const TEntry* entry = property ? Find(property.get(), ARecord) : nullptr;
  if (!entry || LayoutOf(*entry).IsList) return false;
  TXmlLayout& layout = LayoutOf(*entry);
  // Marked first, as the children would be; a load nested in this one finds them read.
  const std::span<TSlot> slots = block->All();
  std::vector<char> pending(slots.size());
  for (size_t i = 0; i < slots.size(); ++i) {
    pending[i] = !(slots[i].Flags & afLoaded);
    slots[i].Flags |= afLoaded;
  }
  try {
    const auto apply = [&](TXmlLayout::TField& AField, std::string_view AText) {
      const size_t index = TXmlLayout::ChildIndexOf(AField, *ARecord);
      if (!pending[index]) return;
      if (AField.Converter) {
        FText.assign(AText);
        StoreSlotValue(*block, slots[index], AField.Converter->ConvertFromString(FText));
      } else {
        ReadSlotText(*block, slots[index], AText);
      }
    };
    if (entry->Element)
      WalkFields(layout, entry->Element, apply);
    else
      WalkFieldsText(layout, *entry, apply);
  } catch (const std::exception& AError) {
    throw ELumetaError(Name + ": cannot load '" + layout.ElementName + "': " + AError.what());
  }
  for (size_t i = 0; i < slots.size(); ++i)
    if (pending[i]) slots[i].Flags &= ~afModified;
  return true;
}

void TXmlDocSource::Apply(TXmlLayout::TField& AField, TXmlLayout::TOwner& AOwner, const char* AText) {
  IAttribute* attribute = TXmlLayout::FieldAttribute(AOwner, AField);
  if (FPending && std::find(FPending->begin(), FPending->end(), attribute) == FPending->end()) return;
  FText.assign(AText);  // one buffer for every value, grown once
  if (AField.Converter)
    StoreValue(attribute, AField.Converter->ConvertFromString(FText));
  else
    attribute->LoadFromString(FText);
}

void TXmlDocSource::ReadList(TXmlLayout& ALayout, IListAttribute* AList, pugi::xml_node AElement) {
  for (pugi::xml_node child = AElement.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element || !Same(child.name(), ALayout.ItemElementName.c_str())) continue;
    ComPtr<IAttribute> item = AList->Add();
    if (ALayout.ItemLoader) {
      item->LoadFromString(child.attribute(KNodeReference).value());
      FElement->Point(child);
      ALayout.ItemLoader->LoadFromXml(FElement.get(), item.as<ITaskLink>().get());
    } else if (ALayout.ItemConverter) {
      StoreValue(item.get(), ALayout.ItemConverter->ConvertFromString(ElementText(child, FScratch)));
    } else if (auto record = item.try_as<IStructuredAttribute>()) {
      ReadFields(ALayout, record.get(), child);
    } else {
      item->LoadFromString(ElementText(child, FScratch));
    }
  }
}

}  // namespace xml_archive
