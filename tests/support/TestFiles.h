#pragma once
// Files for tests: whole-file reads and writes, a count of what a text holds, a temporary folder
// that goes with its content, and a file size limit that makes writes fail part way, even for root.
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

inline std::string ReadText(const std::string& APath) {
  std::ifstream file(APath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

inline void WriteText(const std::string& APath, const std::string& AText) {
  std::ofstream(APath, std::ios::binary) << AText;
}

// How often APart stands in the text, overlapping ones included.
inline size_t Occurrences(const std::string& AText, const std::string& APart) {
  size_t count = 0;
  for (size_t at = AText.find(APart); at != std::string::npos; at = AText.find(APart, at + 1)) ++count;
  return count;
}

class TTempFolder {
 public:
  TTempFolder() {
    char pattern[] = "/tmp/lumeta-test-XXXXXX";
    FPath = mkdtemp(pattern);
  }
  ~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const noexcept { return FPath; }
  std::string operator/(const std::string& AName) const { return FPath + "/" + AName; }

 private:
  std::string FPath;
};

// Files written while it lives may grow to ABytes; a write past that fails instead of raising SIGXFSZ.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t ABytes) : FHandler(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &FSaved);
    rlimit limited = FSaved;
    limited.rlim_cur = ABytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FSaved);
    std::signal(SIGXFSZ, FHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  void (*FHandler)(int);
  rlimit FSaved{};
};
