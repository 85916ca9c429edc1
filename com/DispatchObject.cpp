#include "com/DispatchObject.h"

bool TDispatchArgs::Given(size_t AIndex) const noexcept { return AIndex < FCount && !FArgs[AIndex].IsMissing(); }

std::string TDispatchArgs::Where() const { return std::string(FType) + "." + std::string(FMember); }

std::string TDispatchArgs::Which(size_t AIndex) const {
  return FIsPut ? std::string("the value") : "argument " + std::to_string(AIndex + 1);
}

void TDispatchArgs::Fail(const std::string& AWhy, HRESULT ACode) const { throw EOleError(Where() + ": " + AWhy, ACode); }

const TOleVariant& TDispatchArgs::operator[](size_t AIndex) const {
  if (!Given(AIndex)) Fail(Which(AIndex) + " is missing", DISP_E_PARAMNOTFOUND);
  return FArgs[AIndex];
}

template <class F>
auto TDispatchArgs::Convert(size_t AIndex, const char* AWanted, F AConvert) const {
  const TOleVariant& value = (*this)[AIndex];
  try {
    return AConvert(value);
  } catch (const EConvertError&) {
    Fail(Which(AIndex) + " is " + value.Describe() + ", not " + AWanted, DISP_E_TYPEMISMATCH);
  }
}

int32_t TDispatchArgs::Integer(size_t AIndex) const {
  return Convert(AIndex, "an integer", [](const TOleVariant& A) { return A.AsInteger(); });
}

double TDispatchArgs::Date(size_t AIndex) const {
  return Convert(AIndex, "a date", [](const TOleVariant& A) { return A.AsDate(); });
}

bool TDispatchArgs::Boolean(size_t AIndex) const {
  return Convert(AIndex, "a boolean", [](const TOleVariant& A) { return A.AsBoolean(); });
}

std::string TDispatchArgs::String(size_t AIndex) const {
  return Convert(AIndex, "a string", [](const TOleVariant& A) { return A.AsString(); });
}

void TDispatchArgs::Expect(size_t AMin, size_t AMax) const {
  if (FCount >= AMin && FCount <= AMax) return;
  const std::string wanted = AMin == AMax ? std::to_string(AMin) : std::to_string(AMin) + " to " + std::to_string(AMax);
  Fail("takes " + wanted + " argument" + (AMax == 1 ? "" : "s") + ", not " + std::to_string(FCount),
       DISP_E_BADPARAMCOUNT);
}

TDispatchNames::TDispatchNames(const std::vector<std::string_view>& ANames) {
  for (size_t i = 0; i < ANames.size(); ++i) FIndex.emplace(FoldAscii(ANames[i]), static_cast<int>(i));
}

int TDispatchNames::Find(std::string_view AName) const {
  const auto found = FIndex.find(FoldAscii(AName));
  return found == FIndex.end() ? -1 : found->second;
}

namespace dispatch_detail {

void UnknownMember(std::string_view AType, std::string_view AName) {
  throw EOleError("Member '" + std::string(AName) + "' not supported by automation object " + std::string(AType),
                  DISP_E_UNKNOWNNAME);
}

void WrongKind(std::string_view AType, std::string_view AName, bool AIsPut) {
  throw EOleError(std::string(AType) + "." + std::string(AName) + (AIsPut ? " cannot be written" : " cannot be read"),
                  DISP_E_MEMBERNOTFOUND);
}

void RaiseFromMember(std::string_view AType, std::string_view AName) {
  const std::string where = std::string(AType) + "." + std::string(AName) + ": ";
  try {
    throw;
  } catch (const EOleError&) {
    throw;
  } catch (const ELumetaError& error) {
    throw EOleError(where + error.what(), error.Code());
  } catch (const std::exception& error) {
    throw EOleError(where + error.what(), DISP_E_EXCEPTION);
  }
}

}  // namespace dispatch_detail
