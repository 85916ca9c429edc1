#include "host/xml/XmlMapWriter_p.h"

#include <algorithm>

#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/LumetaMapSettings.h"
#include "host/xml/LumetaXmlArchive.h"

namespace xml_archive {

namespace {
void WriteTexts(pugi::xml_node AElement, const char* AListName, const char* AItemName,
                const std::vector<std::string>& ATexts) {
  if (ATexts.empty()) return;
  pugi::xml_node list = AElement.append_child(AListName);
  for (const std::string& text : ATexts) list.append_child(AItemName).text().set(text.c_str());
}

void SetText(pugi::xml_node AElement, const std::string& AText) {
  if (!AText.empty()) AElement.text().set(AText.c_str());
}
}  // namespace

TXmlMapWriter::TXmlMapWriter(TXmlRegistry& ARegistry, std::vector<std::string>& AWarnings, const TLumetaMap& AMap)
    : FRegistry(ARegistry),
      FWarnings(AWarnings),
      FMap(AMap),
      FIds(AMap),
      FSource(dynamic_cast<TXmlDocSource*>(AMap.DocSource())) {}

void TXmlMapWriter::Write(std::string& AOut, const TXmlPrinter::TSink& ASink) {
  pugi::xml_node declaration = FDocument.append_child(pugi::node_declaration);
  declaration.append_attribute("version").set_value("1.0");
  declaration.append_attribute("encoding").set_value("UTF-8");
  pugi::xml_node map = FDocument.append_child(KMap);
  map.append_attribute(KVersion).set_value(TLumetaXmlArchive::FormatVersion);
  map.append_attribute(KHighestID).set_value(static_cast<long long>(FMap.HighestID()));
  // Nodes wait on a stack of their own, so that nesting depth is no limit; each child's element is
  // made with its parent, so the document comes out in the map's order.
  std::vector<std::pair<TLumetaNode*, pugi::xml_node>> pending{{FMap.Root(), map}};
  while (!pending.empty()) {
    auto [node, element] = pending.back();
    pending.pop_back();
    WriteContent(node, element);
    const auto& children = node->Children();
    const size_t first = pending.size();
    for (const auto& child : children) {
      pugi::xml_node childElement = element.append_child(KNode);
      childElement.append_attribute(KID).set_value(static_cast<long long>(child->ID()));
      pending.emplace_back(child.get(), childElement);
    }
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
  }
  TXmlPrinter(AOut, ASink, [this](pugi::xml_node AElement) { WarnRepaired(AElement); }).Print(FDocument);
}

void TXmlMapWriter::WriteContent(TLumetaNode* ANode, pugi::xml_node AElement) {
  const bool isMap = ANode->IsRoot();
  if (!ANode->HostData().Expanded) AElement.append_attribute(KExpanded).set_value("false");
  AElement.append_child(KTitle).text().set(ANode->Title().c_str());
  WriteHostData(ANode, AElement);
  if (isMap) WriteSettings(AElement);
  for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i) WriteProperty(ANode, ANode->GetPropertyItem(i).get(), AElement);
  WriteUnknown(ANode, AElement);
}

void TXmlMapWriter::WriteHostData(TLumetaNode* ANode, pugi::xml_node AElement) {
  const TLumetaNode::THostData& data = ANode->HostData();
  if (!data.Notes.empty()) AElement.append_child(KNotes).text().set(data.Notes.c_str());
  if (!data.Resources.empty()) {
    pugi::xml_node list = AElement.append_child(KResources);
    for (const auto& [name, email] : data.Resources) {
      pugi::xml_node resource = list.append_child(KResource);
      resource.append_attribute(KName).set_value(name.c_str());
      if (!email.empty()) resource.append_attribute(KEmail).set_value(email.c_str());
    }
  }
  WriteTexts(AElement, KAttachments, KAttachment, data.Attachments);
  WriteTexts(AElement, KCategories, KCategory, data.Categories);
  if (!data.Connections.empty()) {
    pugi::xml_node list = AElement.append_child(KConnections);
    for (int64_t id : data.Connections) {
      if (!FIds.Contains(id)) {
        Warn("node " + ANode->GetID() + ": connection to node " + std::to_string(id) + ", which no longer exists, dropped");
        continue;
      }
      list.append_child(KConnection).append_attribute(KNodeReference).set_value(static_cast<long long>(id));
    }
  }
}

void TXmlMapWriter::WriteSettings(pugi::xml_node AMap) {
  auto* settings = dynamic_cast<TLumetaMapSettings*>(FMap.Settings());
  if (!settings) return;
  pugi::xml_node element = AMap.append_child(KSettings);
  element.append_attribute(KTaskScheduling).set_value(settings->GetTaskScheduling() ? "true" : "false");
  std::string days;
  for (int day = 1; day <= 7; ++day) {
    if (!settings->IsWorkingWeekDay(day)) continue;
    if (!days.empty()) days += ' ';
    days += KDayNames[day - 1];
  }
  element.append_child(KWorkingDays).text().set(days.c_str());
  pugi::xml_node periods = element.append_child(KWorkingPeriods);
  for (const TWorkingPeriod& period : settings->WorkingPeriods()) {
    pugi::xml_node item = periods.append_child(KPeriod);
    item.append_attribute(KStart).set_value(ClockText(period.Start).c_str());
    item.append_attribute(KFinish).set_value(ClockText(period.Finish).c_str());
  }
  if (!settings->Holidays().empty()) {
    pugi::xml_node holidays = element.append_child(KHolidays);
    for (double date : settings->Holidays()) holidays.append_child(KHoliday).text().set(DateToIsoText(date).c_str());
  }
  // Only a start the map was given; one assumed from the tasks or today is not written.
  if (settings->ScheduleStart() != 0)
    element.append_child(KScheduleStart).text().set(DateTimeToXmlText(settings->ScheduleStart()).c_str());
}

void TXmlMapWriter::WriteProperty(TLumetaNode* ANode, IProperty* AProperty, pugi::xml_node AParent) {
  auto mapping = QueryAs<IXmlMapping>(AProperty);
  if (!mapping) {
    Warn("node " + ANode->GetID() + ": property '" + AProperty->GetPropertyName() + "' has no XML mapping, not saved");
    return;
  }
  TXmlLayout& layout = FRegistry.LayoutFor(mapping->GetXmlDeclarations());
  if (const TXmlDocSource::TEntry* entry = FSource ? FSource->Untouched(AProperty) : nullptr;
      entry && entry->Layout == &layout && LinksExist(layout, entry->Element)) {
    AParent.append_copy(entry->Element);
    return;
  }
  pugi::xml_node element = AParent.append_child(layout.ElementName.c_str());
  try {
    if (layout.IsList) {
      WriteList(ANode, layout, QueryAs<IStructuredAttribute>(AProperty).get(), element);
    } else if (auto record = QueryAs<IStructuredAttribute>(AProperty)) {
      WriteFields(layout, record.get(), element);
    } else if (auto value = QueryAs<IAttribute>(AProperty)) {
      SetText(element, layout.OwnConverter ? layout.OwnConverter->ConvertToString(value->GetAsValue())
                                           : value->SaveToString());
    }
  } catch (const std::exception& AError) {
    throw ELumetaError("Cannot save the property '" + layout.ElementName + "' of node " + ANode->GetID() + ": " +
                       AError.what());
  }
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

void TXmlMapWriter::WriteFields(TXmlLayout& ALayout, IStructuredAttribute* AOwner, pugi::xml_node AElement) {
  FSlotElements.assign(ALayout.Slots.size(), pugi::xml_node());
  TXmlLayout::TOwner owner(AOwner);
  for (TXmlLayout::TField& field : ALayout.Fields) {
    IAttribute* attribute = TXmlLayout::FieldAttribute(owner, field);
    const std::string text = field.Converter ? field.Converter->ConvertToString(attribute->GetAsValue())
                                             : attribute->SaveToString();
    if (text.empty() && !field.Declaration->AllowEmpty()) continue;
    if (!field.IsAttribute) {
      SetText(SlotElement(ALayout, field.Slot, AElement), text);
    } else {
      pugi::xml_node carrier = field.Slot < 0 ? AElement : SlotElement(ALayout, field.Slot, AElement);
      carrier.append_attribute(field.Declaration->XmlName().c_str()).set_value(text.c_str());
    }
  }
}

// The slot's element, made on first need (an attribute may come before its owner's value).
pugi::xml_node TXmlMapWriter::SlotElement(const TXmlLayout& ALayout, int ASlot, pugi::xml_node AElement) {
  pugi::xml_node& element = FSlotElements[ASlot];
  if (!element) element = AElement.append_child(ALayout.Slots[ASlot].Name.data());
  return element;
}

void TXmlMapWriter::WriteList(TLumetaNode* ANode, TXmlLayout& ALayout, IStructuredAttribute* AList,
                              pugi::xml_node AElement) {
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
      pugi::xml_node element = AElement.append_child(ALayout.ItemElementName.c_str());
      element.append_attribute(KNodeReference).set_value(reference.c_str());
      FElement->Point(element);
      ALayout.ItemLoader->SaveToXml(FElement.get(), item.as<ITaskLink>().get());
      continue;
    }
    pugi::xml_node element = AElement.append_child(ALayout.ItemElementName.c_str());
    if (ALayout.ItemConverter) {
      SetText(element, ALayout.ItemConverter->ConvertToString(item->GetAsValue()));
    } else if (auto record = item.try_as<IStructuredAttribute>()) {
      WriteFields(ALayout, record.get(), element);
    } else {
      SetText(element, item->SaveToString());
    }
  }
}

void TXmlMapWriter::WriteUnknown(TLumetaNode* ANode, pugi::xml_node AElement) {
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
    if (child.type() == pugi::node_element) AElement.append_copy(child);
}

void TXmlMapWriter::WarnRepaired(pugi::xml_node AElement) {
  std::string where = "map";
  for (pugi::xml_node node = AElement; node; node = node.parent()) {
    if (Same(node.name(), KNode) && node.attribute(KID)) {
      where = std::string("node ") + node.attribute(KID).value();
      break;
    }
  }
  Warn(where + ": '" + AElement.name() +
       "' held text that XML cannot hold: bytes that are not UTF-8 were written as U+FFFD, control characters "
       "were left out");
}

}  // namespace xml_archive
