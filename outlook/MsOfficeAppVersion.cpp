#include "outlook/MsOfficeAppVersion.h"

#include "settings/LumetaSettingsStore.h"

std::string ThvMsOfficeAppVersion::AppVersionString(const std::string& AAppName) {
  return SettingsStore().ReadString(THive::ClassesRoot, "\\" + AAppName + ".Application\\CurVer", "", "");
}

int ThvMsOfficeAppVersion::AppVersion(const std::string& AAppName) {
  const std::string text = AppVersionString(AAppName);
  size_t at = text.find_first_of("0123456789");
  if (at == std::string::npos) return 0;
  long long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value < 1'000'000'000; ++at)
    value = value * 10 + (text[at] - '0');
  return static_cast<int>(value);
}
