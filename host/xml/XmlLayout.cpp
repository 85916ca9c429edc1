#include "host/xml/XmlLayout_p.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "attributes/XmlDataConverters.h"
#include "com/NumberText.h"
#include "com/OleDate.h"

namespace xml_archive {

std::optional<bool> ParseBoolean(std::string_view AText) {
  if (AText == "true" || AText == "1") return true;
  if (AText == "false" || AText == "0") return false;
  return std::nullopt;
}

TValueKind ValueKindOf(IAttribute* AAttribute) {
  if (QueryAs<IIntegerAttribute>(AAttribute)) return TValueKind::Integer;
  if (QueryAs<IDoubleAttribute>(AAttribute)) return TValueKind::Number;
  if (QueryAs<IDateTimeAttribute>(AAttribute)) return TValueKind::Date;
  if (QueryAs<IWordBoolAttribute>(AAttribute)) return TValueKind::Boolean;
  return TValueKind::Text;
}

std::optional<int32_t> ParseClock(std::string_view AText) {
  if (AText.size() != 5 || AText[2] != ':') return std::nullopt;
  const auto hours = ParseInteger<int64_t>(AText.substr(0, 2));
  const auto minutes = ParseInteger<int64_t>(AText.substr(3, 2));
  if (!hours || !minutes || *hours < 0 || *minutes < 0 || *minutes > 59 || *hours * 60 + *minutes > 24 * 60)
    return std::nullopt;
  return static_cast<int32_t>(*hours * 60 + *minutes);
}

std::string ClockText(int32_t AMinutes) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", AMinutes / 60 % 100, AMinutes % 60);
  return text;
}

std::string ArchiveMessage(const std::string& AFile, int ALine, int AColumn, const std::string& AReason) {
  if (ALine <= 0) return AFile + ": " + AReason;
  return AFile + ":" + std::to_string(ALine) + ":" + std::to_string(AColumn) + ": " + AReason;
}

const char* ElementText(pugi::xml_node AElement, std::string& AScratch) {
  const char* own = AElement.type() == pugi::node_element ? AElement.value() : "";
  pugi::xml_node first = AElement.first_child();
  const auto isText = [](pugi::xml_node ANode) {
    return ANode.type() == pugi::node_pcdata || ANode.type() == pugi::node_cdata;
  };
  // Nearly always one piece or none: no copy.
  if (!first) return own;
  if (!*own && isText(first) && !first.next_sibling()) return first.value();
  AScratch = own;
  for (pugi::xml_node child = first; child; child = child.next_sibling())
    if (isText(child)) AScratch += child.value();
  return AScratch.c_str();
}

void SetElementText(pugi::xml_node AElement, const std::string& AText) {
  for (pugi::xml_node child = AElement.first_child(); child;) {
    const pugi::xml_node next = child.next_sibling();
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) AElement.remove_child(child);
    child = next;
  }
  // The element's own text takes it; an empty text adds no empty text node.
  if (!AText.empty() || *AElement.value()) AElement.text().set(AText.c_str());
}

namespace {
// Converted values reach the attribute through the scalar interface it answers.
double VariantNumber(const TVariant& AValue) {
  if (const auto* value = std::get_if<int32_t>(&AValue)) return *value;
  if (const auto* value = std::get_if<double>(&AValue)) return *value;
  if (const auto* value = std::get_if<bool>(&AValue)) return *value ? -1 : 0;
  if (const auto* value = std::get_if<TVariantDate>(&AValue)) return value->Value;
  throw EConvertError("A converter answered a value that is not a number");
}

std::string VariantText(const TVariant& AValue) {
  if (const auto* value = std::get_if<std::string>(&AValue)) return *value;
  if (const auto* value = std::get_if<int32_t>(&AValue)) return std::to_string(*value);
  if (const auto* value = std::get_if<double>(&AValue)) return TDataConverter::FloatToStr(*value);
  if (const auto* value = std::get_if<bool>(&AValue)) return *value ? "true" : "false";
  if (const auto* value = std::get_if<TVariantDate>(&AValue)) return DateTimeToXmlText(value->Value);
  return {};
}
}  // namespace

void StoreValue(IAttribute* AAttribute, const TVariant& AValue) {
  if (VariantIsEmpty(AValue)) return;
  if (auto text = QueryAs<IStringAttribute>(AAttribute)) return text->SetValue(VariantText(AValue));
  if (const auto* text = std::get_if<std::string>(&AValue)) return AAttribute->LoadFromString(*text);
  const double number = VariantNumber(AValue);
  if (auto integer = QueryAs<IIntegerAttribute>(AAttribute)) {
    const double clamped = std::clamp(std::round(number), double(INT32_MIN), double(INT32_MAX));
    return integer->SetValue(std::isnan(clamped) ? 0 : static_cast<int32_t>(clamped));
  }
  if (auto real = QueryAs<IDoubleAttribute>(AAttribute)) return real->SetValue(number);
  if (auto date = QueryAs<IDateTimeAttribute>(AAttribute)) return date->SetValue(number);
  if (auto flag = QueryAs<IWordBoolAttribute>(AAttribute)) return flag->SetValue(number != 0);
  throw EConvertError("Cannot assign a converted value to " + TAttribute::ClassNameOf(AAttribute));
}

void StoreSlotValue(TRecordSlots& ABlock, TSlot& ASlot, const TVariant& AValue) {
  if (VariantIsEmpty(AValue)) return;
  if (ASlot.Kind == TSlotKind::String) {
    ABlock.Text(ASlot) = VariantText(AValue);
    return;
  }
  if (const auto* text = std::get_if<std::string>(&AValue)) return ReadSlotText(ABlock, ASlot, *text);
  const double number = VariantNumber(AValue);
  switch (ASlot.Kind) {
    case TSlotKind::Integer: {
      const double clamped = std::clamp(std::round(number), double(INT32_MIN), double(INT32_MAX));
      ASlot.Integer = std::isnan(clamped) ? 0 : static_cast<int32_t>(clamped);
      break;
    }
    case TSlotKind::Double:
    case TSlotKind::DateTime: ASlot.Real = number; break;
    case TSlotKind::WordBool: ASlot.WordBool = number != 0 ? -1 : 0; break;
    case TSlotKind::String: break;
  }
}

// ---- TXmlElement

std::string TXmlElement::GetText() { return ElementText(FNode, FScratch); }

void TXmlElement::SetText(const std::string& AText) { SetElementText(FNode, AText); }

bool TXmlElement::GetAttribute(const std::string& AName, std::string& AValue) {
  const pugi::xml_attribute attribute = FNode.attribute(AName.c_str());
  if (!attribute) return false;
  AValue = attribute.value();
  return true;
}

void TXmlElement::SetAttribute(const std::string& AName, const std::string& AValue) {
  pugi::xml_attribute attribute = FNode.attribute(AName.c_str());
  if (!attribute) attribute = FNode.append_attribute(AName.c_str());
  attribute.set_value(AValue.c_str());
}

// ---- TIdSet

TIdSet::TIdSet(const TLumetaMap& AMap) : FMap(AMap) {
  const int64_t highest = AMap.HighestID();
  if (highest > 8 * static_cast<int64_t>(AMap.NodeCount()) + 1024) return;
  FBits.assign(static_cast<size_t>(highest) + 1, false);
  FBits[0] = true;
  AMap.ForEachNode([&](TLumetaNode* ANode) { FBits[static_cast<size_t>(ANode->ID())] = true; });
  FDense = true;
}

// ---- TXmlLayout

std::shared_ptr<TXmlLayout> TXmlLayout::Build(const TXmlDeclarations& ADeclarations) {
  if (ADeclarations.empty() || !ADeclarations.front()) throw ELumetaError("The property declares no XML mapping");
  const auto* own = dynamic_cast<const XmlProperty*>(ADeclarations.front().get());
  if (!own || own->Kind() == TXmlDeclarationKind::Attribute || !own->OwnerElement().empty())
    throw ELumetaError("The first XML declaration of '" + ADeclarations.front()->PropertyName() +
                       "' must be the property's own element");
  auto layout = std::make_shared<TXmlLayout>();
  layout->ElementName = own->XmlName();
  const std::string where = "'" + layout->ElementName + "': ";
  if (layout->ElementName.empty()) throw ELumetaError("A property declares an empty XML name");
  for (const char* reserved : KReservedNames)
    if (layout->ElementName == reserved) throw ELumetaError(where + "the name is the host's own element");

  size_t itemIndex = 0;
  if (own->Kind() == TXmlDeclarationKind::ListElement) {
    layout->IsList = true;
    const std::string& itemName = static_cast<const XmlListElement*>(own)->ItemPropertyName();
    for (size_t i = 1; i < ADeclarations.size() && itemIndex == 0; ++i)
      if (ADeclarations[i] && ADeclarations[i]->PropertyName() == itemName) itemIndex = i;
    const auto* item = itemIndex ? dynamic_cast<const XmlProperty*>(ADeclarations[itemIndex].get()) : nullptr;
    if (!item || item->Kind() != TXmlDeclarationKind::Element)
      throw ELumetaError(where + "the list names the item declaration '" + itemName + "', which is not an element");
    layout->ItemElementName = item->XmlName();
    layout->PairedList = static_cast<const XmlListElement*>(own)->PairedList();
    ComPtr<IDataConverter> converter = item->DataConverter();
    if (!converter) converter = own->DataConverter();
    layout->ItemLoader = converter.try_as<ITaskLinkDataLoader>();
    if (!layout->ItemLoader) layout->ItemConverter = converter;
  } else {
    layout->OwnConverter = own->DataConverter();
  }

  for (size_t i = 1; i < ADeclarations.size(); ++i) {
    if (i == itemIndex) continue;
    const auto* declaration = dynamic_cast<const XmlProperty*>(ADeclarations[i].get());
    if (!declaration || declaration->Kind() == TXmlDeclarationKind::ListElement)
      throw ELumetaError(where + "'" + (ADeclarations[i] ? ADeclarations[i]->PropertyName() : std::string()) +
                         "' is neither a value element nor an attribute");
    TField field;
    field.Declaration = declaration;
    field.IsAttribute = declaration->Kind() == TXmlDeclarationKind::Attribute;
    field.Converter = declaration->DataConverter();
    const size_t index = layout->Fields.size();
    const std::string& owner = declaration->OwnerElement();
    if (!field.IsAttribute) {
      if (!owner.empty()) throw ELumetaError(where + "the element '" + declaration->XmlName() + "' has an owner element");
      if (layout->SlotIndex(declaration->XmlName().c_str()) >= 0)
        throw ELumetaError(where + "the element '" + declaration->XmlName() + "' is declared twice");
      field.Slot = static_cast<int>(layout->Slots.size());
      layout->Slots.push_back({declaration->XmlName(), static_cast<int>(index), {}});
    } else {
      field.Slot = owner.empty() ? -1 : layout->SlotIndex(owner.c_str());
      if (!owner.empty() && field.Slot < 0)
        throw ELumetaError(where + "the attribute '" + declaration->XmlName() + "' belongs to the undeclared element '" +
                           owner + "'");
      TSlot& slot = field.Slot < 0 ? layout->Own : layout->Slots[field.Slot];
      if (FindAttribute(slot, declaration->XmlName().c_str()) ||
          (field.Slot < 0 && layout->ItemLoader && declaration->XmlName() == KNodeReference))
        throw ELumetaError(where + "the attribute '" + declaration->XmlName() + "' is declared twice");
      slot.Attributes.emplace_back(declaration->XmlName(), index);
    }
    layout->Fields.push_back(std::move(field));
  }
  return layout;
}

IAttribute* TXmlLayout::FieldAttribute(TOwner& AOwner, TField& AField, TAttribute** AObject) {
  if (AObject) *AObject = nullptr;
  if (AOwner.Object && AField.ChildIndex >= 0 && AOwner.Object->Count() == AField.ChildCount) {
    // The index was found in a structure of this very size.
    const TStructuredAttribute::TChild& child = AOwner.Object->ChildEntries()[static_cast<size_t>(AField.ChildIndex)];
    if (AObject) *AObject = child.Object();
    return child.Interface();
  }
  const std::string& name = AField.Declaration->PropertyName();
  if (!AOwner.Object && AField.ChildIndex >= 0 && AField.ChildIndex < AOwner.Interface->GetChildCount()) {
    AOwner.Held = AOwner.Interface->GetChild(AField.ChildIndex);
    if (AOwner.Held && AOwner.Held->GetName() == name) return AOwner.Held.get();
  }
  AOwner.Held = AOwner.Interface->FindChild(name);
  if (!AOwner.Held) throw ELumetaError("The property has no attribute '" + name + "' for its declaration");
  AField.ChildIndex = AOwner.Interface->IndexOf(AOwner.Held.get());
  AField.ChildCount = AOwner.Object ? AOwner.Object->Count() : -1;
  return AOwner.Held.get();
}

size_t TXmlLayout::FindChildIndex(TField& AField, TStructuredAttribute& ARecord) {
  // Remembered for the next record of this size, as for the children.
  const int32_t count = ARecord.Count();
  const std::string& name = AField.Declaration->PropertyName();
  ComPtr<IRecordAttribute> record = QueryAs<IRecordAttribute>(static_cast<IStructuredAttribute*>(&ARecord));
  for (int32_t i = 0; record && i < count; ++i) {
    if (record->GetChildName(i) != name) continue;
    AField.ChildIndex = i;
    AField.ChildCount = count;
    return static_cast<size_t>(i);
  }
  throw ELumetaError("The property has no attribute '" + name + "' for its declaration");
}

// ---- TXmlRegistry

int TXmlRegistry::IndexOf(std::string_view AElementName) const {
  for (size_t i = 0; i < Registrations.size(); ++i)
    if (Registrations[i].ElementName == AElementName) return static_cast<int>(i);
  return -1;
}

TXmlLayout& TXmlRegistry::LayoutFor(const TXmlDeclarations& ADeclarations) {
  std::shared_ptr<TXmlLayout>& layout = FLayouts[&ADeclarations];
  if (!layout) {
    try {
      layout = TXmlLayout::Build(ADeclarations);
    } catch (...) {
      FLayouts.erase(&ADeclarations);
      throw;
    }
  }
  return *layout;
}

}  // namespace xml_archive
