#include "host/LumetaInteractor.h"

TLumetaInteractor::TLumetaInteractor(IUnknown* AApplication) : FApplication(AApplication) {}

ComPtr<IUnknown> TLumetaInteractor::GetApplication() { return FApplication; }

void TLumetaInteractor::SettingsChanged(IUnknown*) { ++FSettingsChangedCount; }

void TLumetaInteractor::SetApplication(IUnknown* AApplication) { FApplication = AApplication; }
