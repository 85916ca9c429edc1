#include "plugin/LumetaProperty.h"

std::string TLumetaPropertyManager::GetText() { return {}; }

std::string TLumetaPropertyManager::GetDescription() { return GetClassDescription(); }

bool TLumetaPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  ComPtr<IUnknown>(ACatalogue).as<IPropertyCatalogue>()->AddPropertyClass(GetClassDescription());
  return true;
}

ComPtr<IProperty> TLumetaPropertyManager::CreateProperty() { throw ENotImplemented(); }

ComPtr<IUnknown> TLumetaPropertyManager::GetExtension() { return nullptr; }

ComPtr<IUnknown> TLumetaPropertyManager::CreatePlugInUI() { return nullptr; }

ComPtr<IPlugInInteractor> TLumetaPropertyManager::GetHost() { return FHost; }

void TLumetaPropertyManager::SetHost(IPlugInInteractor* AHost) { FHost = AHost; }

ComPtr<IProperty> TLumetaPropertyManager::NewProperty() {
  ComPtr<IProperty> property = CreateProperty();
  if (property) property->SetManager(this);
  return property;
}

ComPtr<IUnknown> TLumetaPropertyManager::GetHostApplication() {
  return FHost ? FHost->GetApplication() : nullptr;
}

int32_t TLumetaPropertyRenderInfo::GetKind() { return FValues.Kind; }
void TLumetaPropertyRenderInfo::SetKind(int32_t AValue) { FValues.Kind = AValue; }
float TLumetaPropertyRenderInfo::GetLeft() { return FValues.Left; }
void TLumetaPropertyRenderInfo::SetLeft(float AValue) { FValues.Left = AValue; }
float TLumetaPropertyRenderInfo::GetTop() { return FValues.Top; }
void TLumetaPropertyRenderInfo::SetTop(float AValue) { FValues.Top = AValue; }
float TLumetaPropertyRenderInfo::GetRight() { return FValues.Right; }
void TLumetaPropertyRenderInfo::SetRight(float AValue) { FValues.Right = AValue; }
float TLumetaPropertyRenderInfo::GetBottom() { return FValues.Bottom; }
void TLumetaPropertyRenderInfo::SetBottom(float AValue) { FValues.Bottom = AValue; }
int32_t TLumetaPropertyRenderInfo::GetColor() { return FValues.Color; }
void TLumetaPropertyRenderInfo::SetColor(int32_t AValue) { FValues.Color = AValue; }
int32_t TLumetaPropertyRenderInfo::GetFlags() { return FValues.Flags; }
void TLumetaPropertyRenderInfo::SetFlags(int32_t AValue) { FValues.Flags = AValue; }
TPropertyRenderValues TLumetaPropertyRenderInfo::GetValues() { return FValues; }
void TLumetaPropertyRenderInfo::SetValues(const TPropertyRenderValues& AValues) { FValues = AValues; }

TLumetaProperty::TLumetaProperty() = default;

TLumetaProperty::~TLumetaProperty() = default;

std::string TLumetaProperty::GetPropertyName() {
  if (!FName) FName = ManagerClassDescription();
  return *FName;
}

std::string TLumetaProperty::GetCaption() { return {}; }

std::string TLumetaProperty::GetHint() { return {}; }

ComPtr<IPropertyManager> TLumetaProperty::GetManager() { return FManager; }

void TLumetaProperty::SetManager(IPropertyManager* AManager) { FManager = AManager; }

ComPtr<IUnknown> TLumetaProperty::GetHostObject() { return ComPtr<IUnknown>(FHostObject); }

void TLumetaProperty::SetHostObject(IUnknown* AHostObject) { FHostObject = AHostObject; }

void TLumetaProperty::UpdateRenderInfo() { RenderInfo()->SetFlags(RenderInfo()->GetFlags() & ~RenderFlagHostMark); }

ComPtr<IPropertyRenderInfo> TLumetaProperty::GetRenderInfo() { return ComPtr<IPropertyRenderInfo>(RenderInfo()); }

TLumetaPropertyRenderInfo* TLumetaProperty::RenderInfo() {
  if (!FRenderInfo) {
    FRenderInfo = make<TLumetaPropertyRenderInfo>();
    FRenderInfo->SetValues(InitialRenderValues());
  }
  return FRenderInfo.get();
}

void TLumetaProperty::MeasureSymbol(TGPGraphics*, int32_t, int32_t& AWidth, int32_t& AHeight) {
  AWidth = 0;
  AHeight = 0;
}

void TLumetaProperty::DrawSymbol(TGPGraphics*, int32_t, int32_t, int32_t, int32_t, int32_t) {}

std::vector<std::string> TLumetaProperty::GetSymbolImages(int32_t) { return {}; }

HRESULT TLumetaProperty::QueryAggregated(const GUID& AIid, void** AObject) noexcept {
  return FAttribute ? FAttribute->InnerQueryInterface(AIid, AObject) : E_NOINTERFACE;
}
