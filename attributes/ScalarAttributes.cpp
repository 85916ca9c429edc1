#include "attributes/ScalarAttributes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "attributes/AttributeHash_p.h"
#include "attributes/TreeIterator.h"
#include "com/ComErrors.h"
#include "com/MemoryStream.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/LumetaIntf.h"
#include "html/HtmlParser.h"

using namespace attribute_tree;

namespace {

std::string_view TrimAscii(std::string_view AText) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const size_t first = AText.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return AText.substr(first, AText.find_last_not_of(blanks) - first + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TSimpleAttribute

uint32_t TSimpleAttribute::LoadFromStream(IStream* AStream) {
  void* address = ValueAddress();
  const uint32_t size = ValueSize();
  if (!address) throw ENotImplemented();
  uint8_t buffer[16];
  if (size > sizeof buffer) throw ENotImplemented();
  ReadBuffer(AStream, buffer, size);
  std::memcpy(address, buffer, size);
  SetFlagBits(afLoaded, true);
  return size;
}

uint32_t TSimpleAttribute::SaveToStream(IStream* AStream) {
  CheckLoaded();
  void* address = ValueAddress();
  if (!address) throw ENotImplemented();
  WriteBuffer(AStream, address, ValueSize());
  return ValueSize();
}

// ---------------------------------------------------------------------------------------------
// TIntegerAttribute

TIntegerAttribute::TIntegerAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TIntegerAttribute::GetAsValue() { return TVariant(std::in_place_type<int32_t>, GetValue()); }

void TIntegerAttribute::LoadFromString(const std::string& AText) { SetValue(ReadText(AText).value_or(-1)); }

std::optional<int32_t> TIntegerAttribute::ReadText(std::string_view AText) {
  const std::optional<int64_t> value = ParseInteger<int64_t>(AText, TNumberSyntax::Lenient);
  const bool fits = value && *value >= std::numeric_limits<int32_t>::min() && *value <= std::numeric_limits<int32_t>::max();
  return fits ? std::optional<int32_t>(static_cast<int32_t>(*value)) : std::nullopt;
}

std::string TIntegerAttribute::SaveToString() { return std::to_string(GetValue()); }

bool TIntegerAttribute::GetValueHash(size_t& AHash) {
  AHash = std::hash<int32_t>{}(HashedValue<TIntegerAttribute>());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TDoubleAttribute

TDoubleAttribute::TDoubleAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TDoubleAttribute::GetAsValue() { return TVariant(std::in_place_type<double>, GetValue()); }

void TDoubleAttribute::LoadFromString(const std::string& AText) { SetValue(ReadText(AText).value_or(0.0)); }

std::optional<double> TDoubleAttribute::ReadText(std::string_view AText) { return ParseFloat(AText, TNumberSyntax::Lenient); }

std::string TDoubleAttribute::SaveToString() { return ShortestFloatText(GetValue()); }

std::string TDoubleAttribute::DebugValueText() {
  char text[64];
  std::snprintf(text, sizeof text, "%.16g", GetValue());
  return text;
}

bool TDoubleAttribute::GetValueHash(size_t& AHash) {
  AHash = DoubleHash(HashedValue<TDoubleAttribute>());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TDateTimeAttribute

TDateTimeAttribute::TDateTimeAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TDateTimeAttribute::GetAsValue() { return TVariantDate{GetValue()}; }

void TDateTimeAttribute::LoadFromString(const std::string& AText) {
  if (TrimAscii(AText).empty()) return;
  SetValue(ReadText(AText).value_or(0.0));
}

std::optional<double> TDateTimeAttribute::ReadText(std::string_view AText) { return XmlTextToDateTime(AText); }

std::string TDateTimeAttribute::SaveToString() { return DateTimeToXmlText(GetValue()); }

void TDateTimeAttribute::SaveToText(std::string& AText) {
  if (typeid(*this) != typeid(TDateTimeAttribute)) return TAttribute::SaveToText(AText);
  char text[KXmlDateTimeChars];
  AText.assign(text, PutXmlDateTime(GetValue(), text));
}

std::string TDateTimeAttribute::DebugValueText() {
  const double value = GetValue();
  try {
    const TDateTimeParts parts = DecodeDateTime(value);
    char text[48];
    std::snprintf(text, sizeof text, "'%04d-%02d-%02d %02d:%02d:%02d'", parts.Year, parts.Month, parts.Day, parts.Hour,
                  parts.Minute, parts.Second);
    return text;
  } catch (const ELumetaError&) {
    char text[64];
    std::snprintf(text, sizeof text, "%.16g", value);
    return text;
  }
}

bool TDateTimeAttribute::GetValueHash(size_t& AHash) {
  AHash = DoubleHash(HashedValue<TDateTimeAttribute>());
  return true;
}

// ---------------------------------------------------------------------------------------------
// TStringAttribute

TStringAttribute::TStringAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

std::string TStringAttribute::AsPlainText(int32_t AOptions) { return HtmlToPlainText(GetValue(), (AOptions & 4) != 0); }

TVariant TStringAttribute::GetAsValue() { return GetValue(); }

void TStringAttribute::LoadFromString(const std::string& AText) { SetValue(AText); }

std::string TStringAttribute::SaveToString() { return GetValue(); }

uint32_t TStringAttribute::LoadFromStream(IStream* AStream) {
  uint32_t bytes = 0;
  Value() = ReadUtf16String(AStream, &bytes);
  SetFlagBits(afLoaded, true);
  return bytes;
}

uint32_t TStringAttribute::SaveToStream(IStream* AStream) {
  CheckLoaded();
  return WriteUtf16String(AStream, Value());
}

bool TStringAttribute::GetValueHash(size_t& AHash) {
  // Our very class hashes its text in place rather than a copy.
  if (typeid(*this) == typeid(TStringAttribute)) {
    CheckLoaded();
    AHash = TextHash(Value());
  } else {
    AHash = TextHash(GetValue());
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// TWordBoolAttribute

TWordBoolAttribute::TWordBoolAttribute(IUnknown* AController) noexcept : TScalarAttribute(AController) {}

TVariant TWordBoolAttribute::GetAsValue() { return TVariant(std::in_place_type<bool>, GetValue()); }

void TWordBoolAttribute::LoadFromString(const std::string& AText) { SetValue(ReadText(AText).value_or(false)); }

std::optional<bool> TWordBoolAttribute::ReadText(std::string_view AText) {
  // The two texts a save writes, without the copy the general reading makes.
  if (AText == "true" || AText == "false") return AText[0] == 't';
  std::string text(TrimAscii(AText));
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char AChar) { return std::tolower(AChar); });
  if (text == "true" || text == "false") return text[0] == 't';
  const std::optional<int64_t> number = ParseInteger<int64_t>(text, TNumberSyntax::Lenient);
  if (!number) return std::nullopt;
  return *number != 0;
}

void ReadSlotText(TRecordSlots& ABlock, TSlot& ASlot, std::string_view AText) {
  switch (ASlot.Kind) {
    case TSlotKind::Integer: ASlot.Integer = TIntegerAttribute::ReadText(AText).value_or(-1); break;
    case TSlotKind::Double: ASlot.Real = TDoubleAttribute::ReadText(AText).value_or(0.0); break;
    case TSlotKind::DateTime:
      if (!TrimAscii(AText).empty()) ASlot.Real = TDateTimeAttribute::ReadText(AText).value_or(0.0);
      break;
    case TSlotKind::String: ABlock.Text(ASlot).assign(AText); break;
    case TSlotKind::WordBool: ASlot.WordBool = TWordBoolAttribute::ReadText(AText).value_or(false) ? -1 : 0; break;
  }
}

std::string_view SlotText(TRecordSlots& ABlock, const TSlot& ASlot, TSlotTextRoom& ARoom) {
  static_assert(sizeof(TSlotTextRoom) > KShortestFloatTextSize && sizeof(TSlotTextRoom) > KXmlDateTimeChars);
  char* const room = ARoom.data();
  char* end = room;
  switch (ASlot.Kind) {
    case TSlotKind::Integer: end = std::to_chars(room, room + ARoom.size() - 1, ASlot.Integer).ptr; break;
    case TSlotKind::Double: end = PutShortestFloatText(room, ASlot.Real); break;
    case TSlotKind::DateTime: end = PutXmlDateTime(ASlot.Real, room); break;
    case TSlotKind::String: return ABlock.Text(ASlot);
    case TSlotKind::WordBool: return ASlot.WordBool != 0 ? std::string_view("true") : std::string_view("false");
  }
  *end = '\0';
  return {room, static_cast<size_t>(end - room)};
}

TVariant SlotAsValue(TRecordSlots& ABlock, const TSlot& ASlot) {
  switch (ASlot.Kind) {
    case TSlotKind::Integer: return TVariant(std::in_place_type<int32_t>, ASlot.Integer);
    case TSlotKind::Double: return TVariant(std::in_place_type<double>, ASlot.Real);
    case TSlotKind::DateTime: return TVariantDate{ASlot.Real};
    case TSlotKind::String: return ABlock.Text(ASlot);
    case TSlotKind::WordBool: return TVariant(std::in_place_type<bool>, ASlot.WordBool != 0);
  }
  return {};
}

std::string TWordBoolAttribute::SaveToString() { return GetValue() ? "true" : "false"; }

uint32_t TWordBoolAttribute::LoadFromStream(IStream* AStream) {
  const uint32_t bytes = TSimpleAttribute::LoadFromStream(AStream);
  if (Value() != 0) Value() = -1;
  return bytes;
}

bool TWordBoolAttribute::GetValueHash(size_t& AHash) {
  AHash = HashedValue<TWordBoolAttribute>() ? 1 : 0;
  return true;
}

// ---------------------------------------------------------------------------------------------
// TNodeReferenceAttribute

ComPtr<INode> TNodeReferenceAttribute::GetValue() {
  CheckLoaded();
  if (!FNode && !FReferenceText.empty()) Resolve();
  return FNode;
}

void TNodeReferenceAttribute::SetValue(INode* ANode) {
  FNode = ANode;
  FReferenceText.clear();
  SetFlagBits(afModified | afLoaded, true);
  Changed(0);
}

std::string TNodeReferenceAttribute::GetReferenceText() {
  CheckLoaded();
  return FNode ? FNode->GetID() : FReferenceText;
}

void TNodeReferenceAttribute::Resolve() {
  ComPtr<INode> host = QueryAs<INode>(GetHostObject().get());
  if (!host) return;
  if (ComPtr<INodeLookup> lookup = QueryAs<INodeLookup>(host.get())) {
    if ((FNode = lookup->FindNodeByID(FReferenceText))) FReferenceText.clear();
    return;
  }
  ComPtr<INode> root = host->GetRoot();
  ComPtr<TTreeIterator> walk = make<TTreeIterator>(root ? root.get() : host.get());
  for (; !walk->IsDone(); walk->Next()) {
    ComPtr<INode> node = walk->GetCurrent();
    if (node->GetID() == FReferenceText) {
      FNode = std::move(node);
      FReferenceText.clear();
      return;
    }
  }
}

void TNodeReferenceAttribute::Assign(IAttribute* ASource) {
  ComPtr<INodeReferenceAttribute> source = QueryAs<INodeReferenceAttribute>(ASource);
  if (!source) return TAttribute::Assign(ASource);
  if (ComPtr<INode> node = source->GetValue()) {
    SetValue(node.get());
  } else {
    LoadFromString(source->GetReferenceText());
  }
  SetFlags(ASource->GetFlags());
}

bool TNodeReferenceAttribute::EqualTo(IAttribute* AOther) {
  ComPtr<INodeReferenceAttribute> other = QueryAs<INodeReferenceAttribute>(AOther);
  if (!other) return false;
  ComPtr<INode> mine = GetValue();
  ComPtr<INode> theirs = other->GetValue();
  if (mine && theirs) return SameObject(mine.get(), theirs.get());
  return GetReferenceText() == other->GetReferenceText();
}

TVariant TNodeReferenceAttribute::GetAsValue() { return GetReferenceText(); }

void TNodeReferenceAttribute::LoadFromString(const std::string& AText) {
  FNode.reset();
  FReferenceText = AText;
  SetFlagBits(afModified | afLoaded, true);
  Changed(0);
}

std::string TNodeReferenceAttribute::SaveToString() { return GetReferenceText(); }

uint32_t TNodeReferenceAttribute::LoadFromStream(IStream* AStream) {
  uint32_t bytes = 0;
  std::string text = ReadUtf16String(AStream, &bytes);
  FNode.reset();
  FReferenceText = std::move(text);
  SetFlagBits(afLoaded, true);
  return bytes;
}

uint32_t TNodeReferenceAttribute::SaveToStream(IStream* AStream) { return WriteUtf16String(AStream, GetReferenceText()); }

GUID TNodeReferenceAttribute::GetClassID() { return uuidof<INodeReferenceAttribute>(); }

// The identifier text: equal references name the same node, which has one identifier.
bool TNodeReferenceAttribute::GetValueHash(size_t& AHash) {
  AHash = std::hash<std::string>{}(GetReferenceText());
  return true;
}
