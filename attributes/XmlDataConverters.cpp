#include "attributes/XmlDataConverters.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "com/NumberText.h"
#include "com/ComErrors.h"
#include "com/MemoryStream.h"
#include "contract/LumetaSelectionIntf.h"
#include "contract/LumetaTypes.h"

namespace {
constexpr std::string_view KBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::string_view, 4> KLinkTypeTexts{"qz:FinishToStart", "qz:StartToStart", "qz:FinishToFinish",
                                                         "qz:StartToFinish"};

constexpr std::string_view KConstraintPrefix = "tc";
constexpr std::string_view KStoredConstraintPrefix = "qz:";

std::string_view Trim(std::string_view AText) {
  constexpr std::string_view blanks = " \t\r\n\f\v";
  const size_t first = AText.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return AText.substr(first, AText.find_last_not_of(blanks) - first + 1);
}

// Replaces the first occurrence only, case-sensitively; the text as it stands when absent.
std::string ReplaceFirst(std::string AText, std::string_view AOld, std::string_view ANew) {
  const size_t at = AText.find(AOld);
  if (at != std::string::npos) AText.replace(at, AOld.size(), ANew);
  return AText;
}

// Numbers arrive as whichever alternative the attribute chose; anything else counts as -1 so
// that it maps to no known code.
int64_t VariantToInteger(const TVariant& AValue) {
  if (const auto* value = std::get_if<int32_t>(&AValue)) return *value;
  if (const auto* value = std::get_if<double>(&AValue)) return std::isfinite(*value) ? std::llround(*value) : -1;
  if (const auto* value = std::get_if<bool>(&AValue)) return *value ? -1 : 0;
  if (const auto* value = std::get_if<std::string>(&AValue)) {
    if (const auto parsed = ParseInteger<int64_t>(Trim(*value))) return *parsed;
  }
  return -1;
}

int DecodeBase64Char(char AChar) {
  const size_t at = KBase64Alphabet.find(AChar);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}
}  // namespace

// ---- TDataConverter

std::string TDataConverter::ConvertToString(const TVariant&) { throw ENotImplemented(); }

TVariant TDataConverter::ConvertFromString(const std::string&) { throw ENotImplemented(); }

std::string TDataConverter::FloatToStr(double AValue) { return ShortestFloatText(AValue); }

double TDataConverter::StrToFloat(std::string_view AText) {
  return ParseFloat(AText, TNumberSyntax::Lenient).value_or(0);
}

std::string TDataConverter::EncodeBase64(IStream* AStream) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[4096];
  for (uint32_t read; (read = AStream->Read(buffer, sizeof buffer)) > 0;) bytes.insert(bytes.end(), buffer, buffer + read);

  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const uint32_t group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) text += KBase64Alphabet[(group >> shift) & 63];
  }
  if (const size_t rest = bytes.size() - i; rest > 0) {
    const uint32_t group = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
    text += KBase64Alphabet[(group >> 18) & 63];
    text += KBase64Alphabet[(group >> 12) & 63];
    text += rest == 2 ? KBase64Alphabet[(group >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

void TDataConverter::DecodeBase64(std::string_view AText, IStream* AStream) {
  std::vector<uint8_t> bytes;
  bytes.reserve(AText.size() / 4 * 3);
  uint32_t group = 0;
  int bits = 0;
  for (const char c : AText) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const int value = DecodeBase64Char(c);
    if (value < 0) break;  // padding or a stray character ends the data
    group = (group << 6 | static_cast<uint32_t>(value)) & 0xFFFFFF;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<uint8_t>(group >> bits));
    }
  }
  if (!bytes.empty()) WriteBuffer(AStream, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// ---- TActionMeasureConverter

std::string TActionMeasureConverter::ConvertToString(const TVariant& AValue) {
  switch (VariantToInteger(AValue)) {
    case 0: return "Hours";
    case 1: return "Days";
    default: return {};  // minutes have no stored text
  }
}

TVariant TActionMeasureConverter::ConvertFromString(const std::string& AText) {
  return int32_t{AText == "Hours" ? 0 : 1};
}

// ---- TTaskConstraintTypeDataConverter

std::string TTaskConstraintTypeDataConverter::ConvertToString(const TVariant& AValue) {
  TTaskConstraintType type = tcAsLateAsPossible;
  if (const auto* text = std::get_if<std::string>(&AValue)) {
    type = TextToTaskConstraintType(*text);
  } else if (const int64_t ordinal = VariantToInteger(AValue); ordinal >= 0 && ordinal < 8) {
    type = static_cast<TTaskConstraintType>(ordinal);
  }
  // Made once: a map writes one for every action.
  static const std::array<std::string, KTaskConstraintTypeIdentifiers.size()> stored = [] {
    std::array<std::string, KTaskConstraintTypeIdentifiers.size()> made;
    for (size_t i = 0; i < made.size(); ++i)
      made[i] = ReplaceFirst(std::string(TaskConstraintTypeToText(static_cast<TTaskConstraintType>(i))),
                             KConstraintPrefix, KStoredConstraintPrefix);
    return made;
  }();
  if (static_cast<size_t>(type) < stored.size()) return stored[static_cast<size_t>(type)];
  return ReplaceFirst(std::string(TaskConstraintTypeToText(type)), KConstraintPrefix, KStoredConstraintPrefix);
}

TVariant TTaskConstraintTypeDataConverter::ConvertFromString(const std::string& AText) {
  const std::string identifier = ReplaceFirst(AText, KStoredConstraintPrefix, KConstraintPrefix);
  return std::string(TaskConstraintTypeToText(TextToTaskConstraintType(identifier)));
}

// ---- TTaskLinkDataLoader

void TTaskLinkDataLoader::LoadFromXml(IXmlElement* AElement, ITaskLink* ALink) {
  std::string text;
  if (!AElement || !ALink || !AElement->GetAttribute("Type", text)) return;
  for (size_t i = 0; i < KLinkTypeTexts.size(); ++i) {
    if (text == KLinkTypeTexts[i]) {
      ALink->SetLinkType(static_cast<TTaskLinkType>(i));
      return;
    }
  }
}

void TTaskLinkDataLoader::SaveToXml(IXmlElement* AElement, ITaskLink* ALink) {
  if (!AElement || !ALink) return;
  AElement->SetText({});
  const TTaskLinkType type = ALink->GetLinkType();
  // Made once: a map writes one for every link.
  static const std::string name = "Type";
  static const std::array<std::string, KLinkTypeTexts.size()> texts = [] {
    std::array<std::string, KLinkTypeTexts.size()> made;
    for (size_t i = 0; i < made.size(); ++i) made[i] = KLinkTypeTexts[i];
    return made;
  }();
  if (type < texts.size()) AElement->SetAttribute(name, texts[type]);
}
