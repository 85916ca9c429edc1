#include "com/OleVariant.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "com/OleDate.h"

namespace {

std::string CodeText(HRESULT ACode) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(ACode));
  return text;
}

bool FitsInteger(double AValue) {
  return std::isfinite(AValue) && AValue >= std::numeric_limits<int32_t>::min() - 0.5 &&
         AValue < std::numeric_limits<int32_t>::max() + 0.5;
}

}  // namespace

std::string FoldAscii(std::string_view AText) {
  std::string result(AText);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

TOleVariant::TOleVariant(ComPtr<IDispatch> AValue) {
  if (AValue) FValue = std::move(AValue);
}

TOleVariant TOleVariant::FromDate(double ADate) {
  TOleVariant result;
  result.FValue = TDate{ADate};
  return result;
}

TOleVariant TOleVariant::Null() {
  TOleVariant result;
  result.FValue = TNull{};
  return result;
}

TOleVariant TOleVariant::Missing() { return FromError(DISP_E_PARAMNOTFOUND); }

TOleVariant TOleVariant::FromError(HRESULT ACode) {
  TOleVariant result;
  result.FValue = TError{ACode};
  return result;
}

bool TOleVariant::IsMissing() const noexcept {
  const auto* error = std::get_if<TError>(&FValue);
  return error && error->Code == DISP_E_PARAMNOTFOUND;
}

int32_t TOleVariant::CheckedInteger(long long AValue) {
  if (AValue < std::numeric_limits<int32_t>::min() || AValue > std::numeric_limits<int32_t>::max())
    throw EOleError("Integer overflow: " + std::to_string(AValue) + " does not fit in 32 bits", DISP_E_OVERFLOW);
  return static_cast<int32_t>(AValue);
}

const char* TOleVariant::TypeName(TOleVarType AType) {
  static constexpr const char* names[] = {"Empty", "Null", "Integer", "Double", "Date",
                                          "Boolean", "String", "Dispatch", "Error"};
  return names[static_cast<int>(AType)];
}

std::string TOleVariant::Describe() const {
  std::string text = TypeName(Type());
  switch (Type()) {
    case TOleVarType::Empty:
    case TOleVarType::Null:
      return text;
    case TOleVarType::String:
      return text + " \"" + std::get<std::string>(FValue) + "\"";
    case TOleVarType::Dispatch:
      return text + " " + std::get<ComPtr<IDispatch>>(FValue)->GetTypeName();
    case TOleVarType::Error:
      return text + " " + CodeText(std::get<TError>(FValue).Code);
    case TOleVarType::Date:
      return text + " " + DateTimeToXmlText(std::get<TDate>(FValue).Value);
    default:
      return text + " " + AsString();
  }
}

void TOleVariant::CannotConvert(TOleVarType ATarget) const {
  throw EConvertError(std::string("Could not convert variant of type (") + TypeName(Type()) + ") into type (" +
                      TypeName(ATarget) + ")");
}

int32_t TOleVariant::AsInteger() const {
  switch (Type()) {
    case TOleVarType::Empty: return 0;
    case TOleVarType::Integer: return std::get<int32_t>(FValue);
    case TOleVarType::Boolean: return std::get<bool>(FValue) ? -1 : 0;
    case TOleVarType::Double:
    case TOleVarType::Date: {
      const double value = AsDouble();
      // Automation rounds half to even, as VariantChangeType does.
      if (!FitsInteger(value)) CannotConvert(TOleVarType::Integer);
      return static_cast<int32_t>(std::nearbyint(value));
    }
    case TOleVarType::String: {
      const std::string& text = std::get<std::string>(FValue);
      if (const auto value = ParseInteger<int32_t>(text, TNumberSyntax::Lenient)) return *value;
      if (const auto value = ParseFloat(text, TNumberSyntax::Lenient); value && FitsInteger(*value))
        return static_cast<int32_t>(std::nearbyint(*value));
      break;
    }
    default: break;
  }
  CannotConvert(TOleVarType::Integer);
}

double TOleVariant::AsDouble() const {
  switch (Type()) {
    case TOleVarType::Empty: return 0;
    case TOleVarType::Integer: return std::get<int32_t>(FValue);
    case TOleVarType::Double: return std::get<double>(FValue);
    case TOleVarType::Date: return std::get<TDate>(FValue).Value;
    case TOleVarType::Boolean: return std::get<bool>(FValue) ? -1 : 0;
    case TOleVarType::String:
      if (const auto value = ParseFloat(std::get<std::string>(FValue), TNumberSyntax::Lenient)) return *value;
      break;
    default: break;
  }
  CannotConvert(TOleVarType::Double);
}

double TOleVariant::AsDate() const {
  if (Type() == TOleVarType::String) {
    if (const auto value = XmlTextToDateTime(std::get<std::string>(FValue))) return *value;
    CannotConvert(TOleVarType::Date);
  }
  if (Type() == TOleVarType::Boolean) CannotConvert(TOleVarType::Date);
  return AsDouble();
}

bool TOleVariant::AsBoolean() const {
  switch (Type()) {
    case TOleVarType::Empty: return false;
    case TOleVarType::Boolean: return std::get<bool>(FValue);
    case TOleVarType::Integer: return std::get<int32_t>(FValue) != 0;
    case TOleVarType::Double: return std::get<double>(FValue) != 0;
    case TOleVarType::String: {
      const std::string text = FoldAscii(std::get<std::string>(FValue));
      if (text == "true") return true;
      if (text == "false") return false;
      if (const auto value = ParseFloat(text, TNumberSyntax::Lenient)) return *value != 0;
      break;
    }
    default: break;
  }
  CannotConvert(TOleVarType::Boolean);
}

std::string TOleVariant::AsString() const {
  switch (Type()) {
    case TOleVarType::Empty: return {};
    case TOleVarType::String: return std::get<std::string>(FValue);
    case TOleVarType::Integer: return std::to_string(std::get<int32_t>(FValue));
    case TOleVarType::Double: return ShortestFloatText(std::get<double>(FValue));
    case TOleVarType::Boolean: return std::get<bool>(FValue) ? "True" : "False";
    case TOleVarType::Date: return DateTimeToXmlText(std::get<TDate>(FValue).Value);
    default: break;
  }
  CannotConvert(TOleVarType::String);
}

ComPtr<IDispatch> TOleVariant::AsDispatch() const {
  if (const auto* object = std::get_if<ComPtr<IDispatch>>(&FValue)) return *object;
  CannotConvert(TOleVarType::Dispatch);
}

HRESULT TOleVariant::ErrorCode() const noexcept {
  const auto* error = std::get_if<TError>(&FValue);
  return error ? error->Code : S_OK;
}

TOleVariant TOleVariant::Invoke(std::string_view AName, TInvokeKind AKind,
                                std::initializer_list<TOleVariant> AArgs) const {
  const auto* object = std::get_if<ComPtr<IDispatch>>(&FValue);
  if (!object)
    throw EOleError("Cannot call '" + std::string(AName) + "' on a variant of type (" + TypeName(Type()) +
                        "): it holds no automation object",
                    DISP_E_TYPEMISMATCH);
  return (*object)->Invoke(AName, AKind, AArgs.begin(), AArgs.size());
}

void TOleVariant::Put(std::string_view AName, const TOleVariant& AValue) const {
  Invoke(AName, TInvokeKind::PropertyPut, {AValue});
}

bool operator==(const TOleVariant& ALeft, const TOleVariant& ARight) {
  const auto* left = std::get_if<ComPtr<IDispatch>>(&ALeft.FValue);
  const auto* right = std::get_if<ComPtr<IDispatch>>(&ARight.FValue);
  if (left && right) return SameObject(left->get(), right->get());
  return ALeft.FValue == ARight.FValue;
}

void OleCheck(const TOleVariant& AResult, std::string_view AContext) {
  HRESULT code = S_OK;
  if (AResult.Type() == TOleVarType::Error && !AResult.IsMissing()) code = AResult.ErrorCode();
  if (AResult.Type() == TOleVarType::Integer && AResult.AsInteger() < 0) code = AResult.AsInteger();
  if (Failed(code)) throw EOleError(std::string(AContext) + " failed with " + CodeText(code), code);
}
