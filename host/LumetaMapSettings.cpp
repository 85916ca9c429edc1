#include "host/LumetaMapSettings.h"

namespace {
constexpr const char* KMapSettingNames[] = {"Task Scheduling"};
}

TLumetaMapSettings::TLumetaMapSettings() : TImplements(KMapSettingNames), FTaskScheduling(make<TWordBoolAttribute>()) {
  AddChild(FTaskScheduling.get());
  SetFlagEx(afModified, false, true);
}

bool TLumetaMapSettings::GetTaskScheduling() { return FTaskScheduling->GetValue(); }

void TLumetaMapSettings::SetTaskScheduling(bool AOn) { FTaskScheduling->SetValue(AOn); }
