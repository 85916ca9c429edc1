#include "host/xml/XmlMapWriter_p.h"

#include <algorithm>

#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/LumetaMapSettings.h"
#include "host/xml/LumetaXmlArchive.h"

namespace xml_archive {

void TXmlItemElement::Start(const char* AName) {
  FName = AName;
  FCount = 0;
  FText.clear();
}

void TXmlItemElement::Print(TXmlPrinter& APrinter) const {
  APrinter.Open(FName);
  for (size_t i = 0; i < FCount; ++i) APrinter.Attribute(FAttributes[i].first.c_str(), FAttributes[i].second.c_str());
  if (!FText.empty()) APrinter.Text(FText.c_str());
  APrinter.Close();
}

bool TXmlItemElement::Named(const std::string& AKept, const std::string& AName) {
  // A kept name holds no NUL; of one size, the two compare whole, which spares measuring AName.
  return AKept.size() == AName.size() ? AKept == AName : AKept == AName.c_str();
}

bool TXmlItemElement::GetAttribute(const std::string& AName, std::string& AValue) {
  for (size_t i = 0; i < FCount; ++i) {
    if (Named(FAttributes[i].first, AName)) {
      AValue = FAttributes[i].second;
      return true;
    }
  }
  return false;
}

void TXmlItemElement::SetAttribute(const std::string& AName, const std::string& AValue) {
  // Text stops at a NUL, as it does in a document.
  for (size_t i = 0; i < FCount; ++i) {
    if (Named(FAttributes[i].first, AName)) {
      FAttributes[i].second = AValue.c_str();
      return;
    }
  }
  if (FCount == FAttributes.size()) FAttributes.emplace_back();
  FAttributes[FCount].first = AName.c_str();
  FAttributes[FCount++].second = AValue.c_str();
}

TXmlMapWriter::TXmlMapWriter(TXmlRegistry& ARegistry, std::vector<TArchiveWarning>& AWarnings, const TLumetaMap& AMap)
    : FRegistry(ARegistry),
      FWarnings(AWarnings),
      FMap(AMap),
      FIds(AMap),
      FSource(dynamic_cast<TXmlDocSource*>(AMap.DocSource())) {}

void TXmlMapWriter::Write(std::string& AOut, const TXmlPrinter::TSink& ASink) {
  TXmlPrinter printer(AOut, ASink, [this](pugi::xml_node AElement, const char* AName) { WarnRepaired(AElement, AName); });
  FPrinter = &printer;
  // All the text stays in AOut: a map read from a file comes out about that file's size, so
  // the room is made once instead of the text being copied as it grows.
  if (!ASink && FSource) AOut.reserve(AOut.size() + FSource->Buffer.size() + FSource->Buffer.size() / 8);
  printer.Declaration();
  printer.Open(KMap);
  printer.Attribute(KVersion, std::to_string(TLumetaXmlArchive::FormatVersion).c_str());
  printer.Attribute(KHighestID, std::to_string(FMap.HighestID()).c_str());
  if (!FMap.Identity().empty()) printer.Attribute(KIdentity, FMap.Identity().c_str());
  WriteContent(FMap.Root());
  // Nodes wait on a stack of their own, so that nesting depth is no limit: each entry is a node
  // whose element is open and the index of its next child.
  std::vector<std::pair<TLumetaNode*, size_t>> open{{FMap.Root(), 0}};
  std::string id;
  while (!open.empty()) {
    auto& [node, next] = open.back();
    const auto& children = node->Children();
    if (next == children.size()) {
      printer.Close();
      open.pop_back();
      continue;
    }
    TLumetaNode* child = children[next++].get();
    PrefetchChildren(child);
    // Most nodes are leaves, so the next sibling comes next: its objects are fetched meanwhile.
    // The objects of one leaf lie behind one another (node, property, record, its list of
    // children), and each must arrive before the next can be asked for: the siblings ahead are
    // asked for one step of that chain each.
    if (next + 2 < children.size()) {
      // Every line of it: its property list lies past the first.
      const char* node = reinterpret_cast<const char*>(children[next + 2].get());
      for (size_t offset = 0; offset < sizeof(TLumetaNode); offset += 64) __builtin_prefetch(node + offset);
      __builtin_prefetch(node + sizeof(TLumetaNode) - 1);
    }
    if (next + 1 < children.size()) children[next + 1]->PrefetchContent();
    if (next < children.size()) PrefetchRecords(children[next].get());
    printer.Open(KNode);
    id = std::to_string(child->ID());
    printer.Attribute(KID, id.c_str());
    WriteContent(child);
    open.emplace_back(child, 0);
  }
  printer.Finish();
  FPrinter = nullptr;
  for (std::string& repair : FRepairs) FWarnings.push_back({{}, 0, 0, std::move(repair)});
}

void TXmlMapWriter::PrefetchRecords(TLumetaNode* ANode) {
  // The records first, each asked for without waiting on the one before; then their children.
  ComPtr<IAttribute> roots[std::tuple_size_v<decltype(FAhead.Records)>];
  const size_t count = std::min(static_cast<size_t>(ANode->GetPropertyCount()), std::size(roots));
  for (size_t i = 0; i < count; ++i) {
    uint32_t entry = 0;
    if (IProperty* property = ANode->PeekProperty(static_cast<int32_t>(i), entry)) roots[i] = QueryAs<IAttribute>(property);
  }
  FAhead.Node = ANode;
  FAhead.Count = 0;
  FAhead.Properties = count;
  for (size_t i = 0; i < count; ++i) {
    TAttribute* object = TAttribute::FromInterface(roots[i].get());
    TStructuredAttribute* structure = object ? object->AsStructure() : nullptr;
    FAhead.Roots[i] = roots[i].get();
    FAhead.Structures[i] = structure;
    // A record that keeps slots is written from its block, its children left where they are.
    if (TRecordSlots* block = structure ? structure->Slots() : nullptr) {
      for (uint32_t offset = 0; offset < block->Bytes(); offset += 64) __builtin_prefetch(reinterpret_cast<char*>(block) + offset);
      continue;
    }
    if (!structure || !structure->HasMadeChildren()) continue;
    FAhead.Records[FAhead.Count++] = structure;
    const std::span<const TStructuredAttribute::TChild> entries = structure->ChildEntries();
    const char* first = reinterpret_cast<const char*>(entries.data());
    for (const char* line = first; line < reinterpret_cast<const char*>(entries.data() + entries.size()); line += 64)
      __builtin_prefetch(line);
  }
}

void TXmlMapWriter::PrefetchChildren(TLumetaNode* ANode) {
  // The node's properties hold the records while it is written; nothing ran since they were kept.
  if (FAhead.Node != ANode) return;
  for (size_t i = 0; i < FAhead.Count; ++i)
    for (const TStructuredAttribute::TChild& child : FAhead.Records[i]->ChildEntries()) __builtin_prefetch(child.Object());
  // Kept for WriteContent, which then asks for none of them again.
  FCurrent = FAhead;
  FAhead.Node = nullptr;
}

void TXmlMapWriter::WriteContent(TLumetaNode* ANode) {
  const bool isMap = ANode->IsRoot();
  FWhere = isMap ? std::string("map") : "node " + std::to_string(ANode->ID());
  if (!ANode->ReadHostData().Expanded) FPrinter->Attribute(KExpanded, "false");
  FPrinter->Leaf(KTitle, ANode->Title().c_str());
  WriteHostData(ANode);
  if (isMap) WriteSettings();
  const bool known = FCurrent.Node == ANode;
  for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i) {
    uint32_t entry = 0;
    // The node holds its properties while it is written: they need no counted reference.
    if (IProperty* made = ANode->PeekProperty(i, entry)) {
      const size_t index = static_cast<size_t>(i);
      if (known && index < FCurrent.Properties && FCurrent.Roots[index])
        WriteProperty(ANode, made, FCurrent.Roots[index], FCurrent.Structures[index]);
      else
        WriteProperty(ANode, made);
      continue;
    }
    if (FSource && WriteAsRead(entry)) continue;
    WriteProperty(ANode, ANode->GetPropertyItem(i).get());
  }
  WriteUnknown(ANode);
}

void TXmlMapWriter::WriteHostData(TLumetaNode* ANode) {
  const TLumetaNode::THostData& data = ANode->ReadHostData();
  if (!data.Notes.empty()) FPrinter->Leaf(KNotes, data.Notes.c_str());
  if (!data.Resources.empty()) {
    FPrinter->Open(KResources);
    for (const auto& [name, email] : data.Resources) {
      FPrinter->Open(KResource);
      FPrinter->Attribute(KName, name.c_str());
      if (!email.empty()) FPrinter->Attribute(KEmail, email.c_str());
      FPrinter->Close();
    }
    FPrinter->Close();
  }
  const auto texts = [this](const char* AListName, const char* AItemName, const std::vector<std::string>& ATexts) {
    if (ATexts.empty()) return;
    FPrinter->Open(AListName);
    for (const std::string& text : ATexts) FPrinter->Leaf(AItemName, text.c_str());
    FPrinter->Close();
  };
  if (!data.Attachments.empty()) {
    FPrinter->Open(KAttachments);
    for (const TNodeAttachment& attachment : data.Attachments) {
      FPrinter->Open(KAttachment);
      if (!attachment.Name.empty()) FPrinter->Attribute(KName, attachment.Name.c_str());
      FPrinter->Text(attachment.Location.c_str());
      FPrinter->Close();
    }
    FPrinter->Close();
  }
  texts(KCategories, KCategory, data.Categories);
  if (!data.Connections.empty()) {
    FPrinter->Open(KConnections);
    for (int64_t id : data.Connections) {
      if (!FIds.Contains(id)) {
        Warn("node " + ANode->GetID() + ": connection to node " + std::to_string(id) + ", which no longer exists, dropped");
        continue;
      }
      FPrinter->Open(KConnection);
      FPrinter->Attribute(KNodeReference, std::to_string(id).c_str());
      FPrinter->Close();
    }
    FPrinter->Close();
  }
  if (data.Baseline) WriteBaseline(*data.Baseline);
}

void TXmlMapWriter::WriteBaseline(const TLumetaNode::THostData::TBaseline& ABaseline) {
  const auto measure = [](int32_t ACode) { return ACode >= 0 && ACode <= 2 ? KMeasureNames[ACode] : KMeasureNames[1]; };
  FPrinter->Open(KBaseline);
  FPrinter->Attribute(KStart, DateTimeToXmlText(ABaseline.Start).c_str());
  if (ABaseline.Finish > 0) FPrinter->Attribute(KFinish, DateTimeToXmlText(ABaseline.Finish).c_str());
  FPrinter->Attribute(KDuration, ShortestFloatText(ABaseline.Duration).c_str());
  FPrinter->Attribute(KDurationMeasure, measure(ABaseline.DurationMeasure));
  FPrinter->Attribute(KWork, ShortestFloatText(ABaseline.Work).c_str());
  FPrinter->Attribute(KWorkMeasure, measure(ABaseline.WorkMeasure));
  FPrinter->Close();
}

void TXmlMapWriter::WriteSettings() {
  TLumetaMapSettings* settings = FMap.MapSettings();
  if (!settings) return;
  FPrinter->Open(KSettings);
  FPrinter->Attribute(KTaskScheduling, settings->GetTaskScheduling() ? "true" : "false");
  std::string days;
  for (int day = 1; day <= 7; ++day) {
    if (!settings->IsWorkingWeekDay(day)) continue;
    if (!days.empty()) days += ' ';
    days += KDayNames[day - 1];
  }
  FPrinter->Leaf(KWorkingDays, days.c_str());
  FPrinter->Open(KWorkingPeriods);
  for (const TWorkingPeriod& period : settings->WorkingPeriods()) {
    FPrinter->Open(KPeriod);
    FPrinter->Attribute(KStart, ClockText(period.Start).c_str());
    FPrinter->Attribute(KFinish, ClockText(period.Finish).c_str());
    FPrinter->Close();
  }
  FPrinter->Close();
  if (!settings->Holidays().empty()) {
    FPrinter->Open(KHolidays);
    for (double date : settings->Holidays()) FPrinter->Leaf(KHoliday, DateToIsoText(date).c_str());
    FPrinter->Close();
  }
  // Only a start the map was given; one assumed from the tasks or today is not written.
  if (settings->ScheduleStart() != 0)
    FPrinter->Leaf(KScheduleStart, DateTimeToXmlText(settings->ScheduleStart()).c_str());
  if (!settings->TimeZone().empty()) FPrinter->Leaf(KTimeZone, settings->TimeZone().c_str());
  FPrinter->Close();
}

void TXmlMapWriter::WriteProperty(TLumetaNode* ANode, IProperty* AProperty) {
  const ComPtr<IAttribute> root = QueryAs<IAttribute>(AProperty);
  TAttribute* rootObject = TAttribute::FromInterface(root.get());
  WriteProperty(ANode, AProperty, root.get(), rootObject ? rootObject->AsStructure() : nullptr);
}

void TXmlMapWriter::WriteProperty(TLumetaNode* ANode, IProperty* AProperty, IAttribute* ARoot,
                                  TStructuredAttribute* AStructure) {
  auto mapping = QueryAs<IXmlMapping>(AProperty);
  if (!mapping) {
    Warn("node " + ANode->GetID() + ": property '" + AProperty->GetPropertyName() + "' has no XML mapping, not saved");
    return;
  }
  TXmlLayout& layout = FRegistry.LayoutFor(mapping->GetXmlDeclarations());
  TStructuredAttribute* structure = AStructure;
  // The children lie apart in memory and each is read below, one at a time with work between:
  // asking for all of them now lets their fetches overlap instead of waiting for each in turn.
  if (structure && !structure->Slots() && structure->HasMadeChildren())
    for (const TStructuredAttribute::TChild& child : structure->ChildEntries()) __builtin_prefetch(child.Object());
  // Most are our own structures; another one is asked for its interface.
  ComPtr<IStructuredAttribute> queried;
  IStructuredAttribute* structured = structure;
  if (!structure) {
    queried = QueryAs<IStructuredAttribute>(AProperty);
    structured = queried.get();
  }
  // A link list without links says nothing: a node whose last link was removed (or undone) saves
  // as one that never had any.
  if (layout.IsList && layout.ItemLoader && structured && structured->GetChildCount() == 0) return;
  if (const TXmlDocSource::TEntry* entry = FSource ? FSource->Untouched(AProperty, structure) : nullptr;
      entry && &FSource->LayoutOf(*entry) == &layout && CopyAsRead(*entry, layout, false))
    return;
  FPrinter->Open(layout.ElementName.c_str());
  try {
    if (layout.IsList) {
      WriteList(ANode, layout, structured);
    } else if (structured) {
      TXmlLayout::TOwner owner(structured, structure);
      WriteFields(layout, owner);
    } else if (IAttribute* value = ARoot) {
      const std::string text = layout.OwnConverter ? layout.OwnConverter->ConvertToString(value->GetAsValue())
                                                   : value->SaveToString();
      if (!text.empty()) FPrinter->Text(text.c_str());
    }
  } catch (const std::exception& AError) {
    throw ELumetaError("Cannot save the property '" + layout.ElementName + "' of node " + ANode->GetID() + ": " +
                       AError.what());
  }
  FPrinter->Close();
}

// Saves a property nobody has asked for since the load by copying its element, as WriteProperty
// does for one left untouched; false when it must be made and written.
bool TXmlMapWriter::WriteAsRead(uint32_t AEntry) {
  const TXmlDocSource::TEntry& entry = FSource->Entry(AEntry);
  const TXmlLayout& layout = FSource->LayoutOf(entry);
  const int registration = FRegistry.IndexOf(layout.ElementName);
  if (registration < 0 || !FSource->SavesAsRead(AEntry, *FRegistry.Registrations[registration].Layout)) return false;
  // A link list without links says nothing, as below.
  return CopyAsRead(entry, layout, true);
}

bool TXmlMapWriter::CopyAsRead(const TXmlDocSource::TEntry& AEntry, const TXmlLayout& ALayout, bool ASkipEmptyLinks) {
  const bool linkList = ALayout.IsList && ALayout.ItemLoader;
  if (const pugi::xml_node element = AEntry.Element) {
    if (!LinksExist(ALayout, element)) return false;
    if (!(ASkipEmptyLinks && linkList && !element.child(ALayout.ItemElementName.c_str()))) Copy(element);
    return true;
  }
  const std::string_view text = FSource->TextOf(AEntry);
  size_t items = 0;
  if (!LinksExist(ALayout, text, items)) return false;
  if (ASkipEmptyLinks && linkList && items == 0) return true;
  // A file this program wrote is mostly put as it stands, where it stood.
  if (AEntry.Depth == FPrinter->Depth() && TXmlPrinter::PrintsAsItStands(text, AEntry.Depth))
    FPrinter->Verbatim(text);
  else
    FPrinter->CopyText(text);
  return true;
}

bool TXmlMapWriter::LinksExist(const TXmlLayout& ALayout, std::string_view AElement, size_t& AItems) const {
  using TToken = TXmlScanner::TToken;
  if (!ALayout.ItemLoader) return true;
  TXmlScanner scanner(AElement);
  std::string scratch;
  for (TToken token = scanner.Next(); token != TToken::Finished; token = scanner.Next()) {
    if (token != TToken::Start || scanner.Depth() != 2 || scanner.Name() != ALayout.ItemElementName) continue;
    ++AItems;
    const auto& attributes = scanner.Attributes();
    const auto target = std::ranges::find_if(attributes, [](const auto& A) { return A.Name == KNodeReference; });
    const auto id = target == attributes.end()
                        ? std::nullopt
                        : ParseInteger<int64_t>(DecodeXmlText(target->Value, TXmlTextKind::Attribute, scratch));
    if (!id || !FIds.Contains(*id)) return false;
  }
  return true;
}

// Whether every link item of a list kept as read names a node still in the map.
bool TXmlMapWriter::LinksExist(const TXmlLayout& ALayout, pugi::xml_node AElement) const {
  if (!ALayout.ItemLoader) return true;
  for (pugi::xml_node item = AElement.child(ALayout.ItemElementName.c_str()); item;
       item = item.next_sibling(ALayout.ItemElementName.c_str())) {
    const auto id = ParseInteger<int64_t>(item.attribute(KNodeReference).value());
    if (!id || !FIds.Contains(*id)) return false;
  }
  return true;
}

void TXmlMapWriter::WriteFields(TXmlLayout& ALayout, IStructuredAttribute* AOwner) {
  TXmlLayout::TOwner owner(AOwner);
  WriteFields(ALayout, owner);
}

void TXmlMapWriter::WriteFields(TXmlLayout& ALayout, TXmlLayout::TOwner& AOwner) {
  // Every value first, in declaration order; then the record's own attributes, and the slot
  // elements in the order their first value came, each with its attributes and text.
  const size_t count = ALayout.Fields.size();
  if (FFieldTexts.size() < count) {
    FFieldTexts.resize(count);
    FTexts.resize(count);
    FRooms.resize(count);
  }
  // A record that keeps slots is printed from them, made children or not: they hold its values,
  // and the children lie apart in memory. Only records make slots.
  TRecordSlots* block = AOwner.Object && AOwner.Object->Slots()
                            ? static_cast<TRecordAttribute*>(AOwner.Object)->LoadedSlots()
                            : nullptr;
  for (size_t i = 0; i < count; ++i) {
    TXmlLayout::TField& field = ALayout.Fields[i];
    std::string_view text;
    if (block) {
      const TSlot& slot = block->Slots()[TXmlLayout::ChildIndexOf(field, *AOwner.Object)];
      if (field.Converter)
        text = FTexts[i] = field.Converter->ConvertToString(SlotAsValue(*block, slot));
      else
        text = SlotText(*block, slot, FRooms[i]);  // a text slot's own text, or printed in place
    } else {
      TAttribute* object = nullptr;
      IAttribute* attribute = TXmlLayout::FieldAttribute(AOwner, field, &object);
      if (field.Converter)
        FTexts[i] = field.Converter->ConvertToString(attribute->GetAsValue());
      else if (object)
        object->SaveToText(FTexts[i]);  // into the room the text had for the record before
      else
        FTexts[i] = attribute->SaveToString();
      text = FTexts[i];
    }
    FFieldTexts[i] = {text, !text.empty() || field.Declaration->AllowEmpty()};
  }
  // A slot lists its attributes in declaration order.
  for (const auto& [name, field] : ALayout.Own.Attributes)
    if (FFieldTexts[field].Written) FPrinter->Attribute(name.data(), FFieldTexts[field].Text.data());
  FSlotDone.assign(ALayout.Slots.size(), 0);
  for (size_t i = 0; i < count; ++i) {
    const int slot = ALayout.Fields[i].Slot;
    if (!FFieldTexts[i].Written || slot < 0 || FSlotDone[slot]) continue;
    FSlotDone[slot] = 1;
    const TXmlLayout::TSlot& element = ALayout.Slots[slot];
    const int textField = element.Field;
    const bool hasText = textField >= 0 && FFieldTexts[textField].Written && !FFieldTexts[textField].Text.empty();
    if (hasText && element.Attributes.empty()) {
      FPrinter->Leaf(element.Name.data(), FFieldTexts[textField].Text.data());
      continue;
    }
    FPrinter->Open(element.Name.data());
    for (const auto& [name, field] : element.Attributes)
      if (FFieldTexts[field].Written) FPrinter->Attribute(name.data(), FFieldTexts[field].Text.data());
    if (hasText) FPrinter->Text(FFieldTexts[textField].Text.data());
    FPrinter->Close();
  }
}

void TXmlMapWriter::WriteList(TLumetaNode* ANode, TXmlLayout& ALayout, IStructuredAttribute* AList) {
  if (!AList) throw ELumetaError("the property is not a list");
  const int32_t count = AList->GetChildCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<IAttribute> item = AList->GetChild(i);
    if (ALayout.ItemLoader) {
      const std::string reference = item->SaveToString();
      const auto id = ParseInteger<int64_t>(reference);
      if (!id || !FIds.Contains(*id)) {
        Warn("node " + ANode->GetID() + ": '" + ALayout.ElementName + "' entry for node '" + reference +
             "', which does not exist, dropped");
        continue;
      }
      static const std::string referenceName = KNodeReference;  // made once: a map writes it for every link
      FItem->Start(ALayout.ItemElementName.c_str());
      FItem->SetAttribute(referenceName, reference);
      ALayout.ItemLoader->SaveToXml(FItem.get(), item.as<ITaskLink>().get());
      FItem->Print(*FPrinter);
      continue;
    }
    FPrinter->Open(ALayout.ItemElementName.c_str());
    if (ALayout.ItemConverter) {
      const std::string text = ALayout.ItemConverter->ConvertToString(item->GetAsValue());
      if (!text.empty()) FPrinter->Text(text.c_str());
    } else if (auto record = item.try_as<IStructuredAttribute>()) {
      WriteFields(ALayout, record.get());
    } else {
      const std::string text = item->SaveToString();
      if (!text.empty()) FPrinter->Text(text.c_str());
    }
    FPrinter->Close();
  }
}

void TXmlMapWriter::WriteUnknown(TLumetaNode* ANode) {
  auto kept = QueryAs<IStringAttribute>(ANode->FindAttribute(TLumetaXmlArchive::UnknownXmlAttribute).get());
  if (!kept) return;
  const std::string text = kept->GetValue();
  if (text.empty()) return;
  pugi::xml_document fragment;
  if (!fragment.load_buffer(text.data(), text.size(), KParseOptions | pugi::parse_fragment, pugi::encoding_utf8)) {
    Warn("node " + ANode->GetID() + ": kept unknown elements are no longer well formed, dropped");
    return;
  }
  for (pugi::xml_node child : fragment.children())
    if (child.type() == pugi::node_element) Copy(child);
}

void TXmlMapWriter::Copy(pugi::xml_node AElement) {
  FCopyParent = AElement.parent();
  FPrinter->Copy(AElement);
  FCopyParent = pugi::xml_node();
}

void TXmlMapWriter::WarnRepaired(pugi::xml_node AElement, const char* AName) {
  std::string where = FWhere;
  for (pugi::xml_node node = AElement; node && node != FCopyParent; node = node.parent()) {
    if (Same(node.name(), KNode) && node.attribute(KID)) {
      where = std::string("node ") + node.attribute(KID).value();
      break;
    }
  }
  FRepairs.push_back(where + ": '" + AName +
                     "' held text that XML cannot hold: bytes that are not UTF-8 were written as U+FFFD, control "
                     "characters were left out");
}

}  // namespace xml_archive
