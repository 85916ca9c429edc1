#pragma once
// The user settings of a property class, kept by its manager: counted from 1, each with a name and
// a value, answered by the manager as IPlugInSettings and, for observers, as ISubject.
#include <cstdint>
#include <memory>
#include <string>

#include "com/AggregableObject.h"
#include "contract/LumetaIntf.h"
#include "commands/Subject.h"

// The change kind the settings post on their subject; its data is the index of the setting.
inline constexpr int32_t SettingsChangedKind = 1;

// No settings at all. Aggregated into AOwner, the manager, which owns it (e.g. through
// std::unique_ptr) and answers IPlugInSettings and ISubject by asking InnerQueryInterface; without
// an owner the object stands alone and counts itself.
class TLumetaPropertySettings : public TImplements<TAggregableObject, IPlugInSettings> {
 public:
  explicit TLumetaPropertySettings(IUnknown* AOwner = nullptr);
  ~TLumetaPropertySettings() override;

  // 0 here.
  int32_t GetCount() override;
  // Empty for every index here.
  std::string GetName(int32_t AIndex) override;
  // An empty variant for every index here.
  TVariant GetValue(int32_t AIndex) override;
  // Ignored here.
  void SetValue(int32_t AIndex, const TVariant& AValue) override;

  // The subject observers attach to; they are told about the owner (or these settings standing alone).
  ISubject* Subject() noexcept { return FSubject.get(); }

 protected:
  // After setting AIndex: tells the host through the owner's interactor (when the owner is a
  // manager that has one), then the observers.
  void Changed(int32_t AIndex);
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override;

 private:
  std::unique_ptr<TSubject> FSubject;
};

// One setting, index 1: whether the property's symbol is shown; true until set otherwise.
class TLumetaSymbolPropertySettings : public TLumetaPropertySettings {
 public:
  static constexpr int32_t ShowSymbolIndex = 1;

  using TLumetaPropertySettings::TLumetaPropertySettings;

  int32_t GetCount() override;  // 1
  // A Boolean variant for index 1.
  TVariant GetValue(int32_t AIndex) override;
  // Index 1 takes a Boolean or a number (non-zero is true); any other value raises EConvertError
  // and changes nothing. Other indexes are ignored.
  void SetValue(int32_t AIndex, const TVariant& AValue) override;

  bool ShowSymbol() const noexcept { return FShowSymbol; }

 private:
  bool FShowSymbol = true;
};

// The Action property's settings: the show-symbol setting, named "Action".
class TActionSettings : public TLumetaSymbolPropertySettings {
 public:
  static constexpr const char* ShowSymbolName = "Action";

  using TLumetaSymbolPropertySettings::TLumetaSymbolPropertySettings;

  int32_t GetCount() override;  // 1
  // "Action" for index 1, empty for any other.
  std::string GetName(int32_t AIndex) override;
};
