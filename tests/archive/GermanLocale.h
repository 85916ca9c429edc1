#pragma once
// Switches the C and C++ locales to German for one test, building the locale when the system
// lacks it; the decimal separator is then ",".
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>
#include <locale>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace archive_test {

// The C library keeps a small buffer for each locale it looks up on LOCPATH for good; that is its
// business, not a leak of ours.
struct TLocaleLeakScope {
#if defined(__SANITIZE_ADDRESS__)
  __lsan::ScopedDisabler Disabler;
#endif
};

class TGermanLocale {
 public:
  TGermanLocale() : FSavedC(std::setlocale(LC_ALL, nullptr)), FSavedCpp(std::locale()) {
    [[maybe_unused]] TLocaleLeakScope scope;
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8") && Build()) std::setlocale(LC_ALL, "de_DE.UTF-8");
    Active = *std::localeconv()->decimal_point == ',';
    if (Active) std::locale::global(std::locale("de_DE.UTF-8"));
  }
  ~TGermanLocale() {
    [[maybe_unused]] TLocaleLeakScope scope;
    std::setlocale(LC_ALL, FSavedC.c_str());
    std::locale::global(FSavedCpp);
  }
  bool Active = false;

 private:
  static bool Build() {
    // One folder per process: test programs running side by side must not write the same files.
    static const std::string folder =
        std::filesystem::temp_directory_path() / ("lumeta-locales-" + std::to_string(getpid()));
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    static const bool built = std::system(("localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 >/dev/null 2>&1").c_str()) == 0;
    if (built) setenv("LOCPATH", folder.c_str(), 1);
    return built;
  }
  std::string FSavedC;
  std::locale FSavedCpp;
};

}  // namespace archive_test
