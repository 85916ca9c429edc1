#pragma once
// The installed version of an office application, from its class entries in the settings store.
#include <string>

class ThvMsOfficeAppVersion {
 public:
  // The default value of HKEY_CLASSES_ROOT\<AAppName>.Application\CurVer ("Outlook.Application.16");
  // empty when the key is missing. Reading creates nothing.
  static std::string AppVersionString(const std::string& AAppName);
  // The number from the first decimal digit of AppVersionString (16); 0 when there is none.
  static int AppVersion(const std::string& AAppName);
};
