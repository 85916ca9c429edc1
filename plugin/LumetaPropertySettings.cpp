#include "plugin/LumetaPropertySettings.h"

#include <variant>

#include "com/ComErrors.h"

TLumetaPropertySettings::TLumetaPropertySettings(IUnknown* AOwner)
    : TImplements(AOwner),
      // Observers are told about the outermost object, so that they can ask it for anything.
      FSubject(std::make_unique<TSubject>(AOwner ? AOwner : static_cast<IUnknown*>(static_cast<IPlugInSettings*>(this)))) {}

TLumetaPropertySettings::~TLumetaPropertySettings() = default;

int32_t TLumetaPropertySettings::GetCount() { return 0; }

std::string TLumetaPropertySettings::GetName(int32_t) { return {}; }

TVariant TLumetaPropertySettings::GetValue(int32_t) { return {}; }

void TLumetaPropertySettings::SetValue(int32_t, const TVariant&) {}

void TLumetaPropertySettings::Changed(int32_t AIndex) {
  if (auto manager = QueryAs<IPropertyManager>(GetController()))
    if (ComPtr<IPlugInInteractor> host = manager->GetHost()) host->SettingsChanged(static_cast<IPlugInSettings*>(this));
  FSubject->AddChange(SettingsChangedKind, static_cast<IPlugInSettings*>(this), AIndex);
}

HRESULT TLumetaPropertySettings::QueryAggregated(const GUID& AIid, void** AObject) noexcept {
  return FSubject->InnerQueryInterface(AIid, AObject);
}

int32_t TLumetaSymbolPropertySettings::GetCount() { return 1; }

TVariant TLumetaSymbolPropertySettings::GetValue(int32_t AIndex) {
  if (AIndex == ShowSymbolIndex) return FShowSymbol;
  return TLumetaPropertySettings::GetValue(AIndex);
}

void TLumetaSymbolPropertySettings::SetValue(int32_t AIndex, const TVariant& AValue) {
  if (AIndex != ShowSymbolIndex) return TLumetaPropertySettings::SetValue(AIndex, AValue);
  if (const bool* value = std::get_if<bool>(&AValue))
    FShowSymbol = *value;
  else if (const int32_t* number = std::get_if<int32_t>(&AValue))
    FShowSymbol = *number != 0;
  else if (const double* real = std::get_if<double>(&AValue))
    FShowSymbol = *real != 0;
  else
    throw EConvertError("The show-symbol setting takes a Boolean value");
  Changed(AIndex);
}

int32_t TActionSettings::GetCount() { return 1; }

std::string TActionSettings::GetName(int32_t AIndex) {
  return AIndex == ShowSymbolIndex ? ShowSymbolName : std::string();
}
