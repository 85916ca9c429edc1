#include "com/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <utility>

namespace {

std::string ErrnoText(int AError) { return std::strerror(AError); }

std::string FolderOf(const std::string& APath) {
  const size_t slash = APath.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : APath.substr(0, slash);
}

// The file a chain of symbolic links leads to, whether or not that file exists yet (saving
// through a dangling link creates its target, as a shell's redirection would).
std::string FollowLinks(const std::string& APath, int& AError) {
  std::string path = APath;
  AError = 0;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno != ENOENT) AError = errno;
      return path;
    }
    if (!S_ISLNK(status.st_mode)) return path;
    std::string target(static_cast<size_t>(status.st_size > 0 ? status.st_size : 4096) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
    if (length < 0) {
      AError = errno;
      return path;
    }
    target.resize(static_cast<size_t>(length));
    path = !target.empty() && target.front() == '/' ? target : FolderOf(path) + "/" + target;
  }
  AError = ELOOP;
  return path;
}

std::string RandomSuffix() {
  static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random(std::random_device{}() ^ static_cast<uint64_t>(::getpid()) << 32);
  std::string text(8, ' ');
  for (char& c : text) c = letters[random() % (sizeof letters - 1)];
  return text;
}

bool SameFile(const struct stat& A, const struct stat& B) { return A.st_dev == B.st_dev && A.st_ino == B.st_ino; }

}  // namespace

EFileError::EFileError(std::string APath, std::string AReason)
    : ELumetaError(APath + ": " + AReason), FPath(std::move(APath)), FReason(std::move(AReason)) {}

EFileError::~EFileError() = default;

namespace {

std::string SizeText(size_t ABytes) {
  if (ABytes % (1 << 30) == 0) return std::to_string(ABytes >> 30) + " GiB";
  if (ABytes % (1 << 20) == 0) return std::to_string(ABytes >> 20) + " MiB";
  return std::to_string(ABytes) + " bytes";
}

const char* FileKindText(mode_t AMode) {
  if (S_ISFIFO(AMode)) return "a FIFO";
  if (S_ISCHR(AMode)) return "a character device";
  if (S_ISBLK(AMode)) return "a block device";
  if (S_ISSOCK(AMode)) return "a socket";
  return "not a regular file";
}

// Why a path cannot be opened, naming the missing folder when that is the cause.
std::string OpenFailure(const std::string& APath, int AError) {
  if (AError == ENOENT) {
    const std::string folder = FolderOf(APath);
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0 && errno == ENOENT) return "the folder " + folder + " does not exist";
  }
  return ErrnoText(AError);
}

// A large file's text in huge pages where the system offers them: one fault per two megabytes
// instead of one per four kilobytes. Only the whole huge pages inside the block are advised.
void AdviseHugePages(char* ABlock, size_t ASize) noexcept {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t KHuge = uintptr_t{2} << 20;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(ABlock) + KHuge - 1) & ~(KHuge - 1);
  const uintptr_t last = (reinterpret_cast<uintptr_t>(ABlock) + ASize) & ~(KHuge - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)ABlock;
  (void)ASize;
#endif
}

std::string ReadOpenFile(const std::string& APath, int AFile, size_t AMaxSize, const struct stat& AStatus) {
  std::string text;
  if (S_ISREG(AStatus.st_mode) && AStatus.st_size > 0) {
    text.reserve(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(AStatus.st_size), AMaxSize)));
    AdviseHugePages(text.data(), text.capacity());
  }
  char chunk[1 << 16];
  int error = 0;
  for (;;) {
    const ssize_t read = ::read(AFile, chunk, sizeof chunk);
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) error = errno;
    if (read <= 0) break;
    if (static_cast<size_t>(read) > AMaxSize - text.size()) {
      ::close(AFile);
      throw EFileError(APath, "the file is larger than " + SizeText(AMaxSize));
    }
    text.append(chunk, static_cast<size_t>(read));
  }
  ::close(AFile);
  if (error != 0) throw EFileError(APath, ErrnoText(error));
  return text;
}

}  // namespace

std::string ReadWholeFile(const std::string& APath, size_t AMaxSize) {
  const int file = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) throw EFileError(APath, OpenFailure(APath, errno));
  struct stat status {};
  if (::fstat(file, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(file);
    throw EFileError(APath, ErrnoText(EISDIR));
  }
  return ReadOpenFile(APath, file, AMaxSize, status);
}

std::string ReadRegularFile(const std::string& APath, size_t AMaxSize) {
  // Not blocking: opening a FIFO waits for a writer otherwise.
  const int file = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (file < 0) throw EFileError(APath, OpenFailure(APath, errno));
  struct stat status {};
  std::string refusal;
  if (::fstat(file, &status) != 0)
    refusal = ErrnoText(errno);
  else if (S_ISDIR(status.st_mode))
    refusal = ErrnoText(EISDIR);
  else if (!S_ISREG(status.st_mode))
    refusal = std::string("not a regular file but ") + FileKindText(status.st_mode);
  else if (static_cast<uint64_t>(status.st_size) > AMaxSize)
    refusal = "the file is larger than " + SizeText(AMaxSize);
  else if (const int flags = ::fcntl(file, F_GETFL); flags < 0 || ::fcntl(file, F_SETFL, flags & ~O_NONBLOCK) != 0)
    refusal = ErrnoText(errno);
  if (!refusal.empty()) {
    ::close(file);
    throw EFileError(APath, refusal);
  }
  return ReadOpenFile(APath, file, AMaxSize, status);
}

bool IsAbsentInExistingFolder(const std::string& APath) {
  struct stat status {};
  if (::stat(APath.c_str(), &status) == 0 || errno != ENOENT) return false;
  return ::stat(FolderOf(APath).c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

TAtomicFile::TAtomicFile(const std::string& APath, std::chrono::milliseconds ALockWait, TFlush AFlush)
    : FPath(APath), FFlush(AFlush) {
  int error = 0;
  FTarget = FollowLinks(APath, error);
  if (error != 0) Fail(FTarget == APath ? std::string() : "cannot reach " + FTarget, error);
  const std::string folder = FolderOf(FTarget);

  // Lock the file being replaced, or its folder while the file does not exist yet; a file
  // renamed over the one locked meanwhile means another save came first: lock again.
  struct stat target {};
  const auto deadline = std::chrono::steady_clock::now() + ALockWait;
  for (;;) {
    FTargetExists = ::stat(FTarget.c_str(), &target) == 0;
    if (!FTargetExists && errno != ENOENT) Fail({}, errno);
    if (FTargetExists && !S_ISREG(target.st_mode))
      throw EFileError(FPath, FTarget + " is not a regular file");
    if (FTargetExists && (target.st_mode & 0222) == 0)
      throw EFileError(FPath, FTarget + " is read-only; make it writable to save over it");
    // A file or folder we may not read cannot be locked; the save goes on without.
    FLock = FTargetExists ? ::open(FTarget.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)
                          : ::open(folder.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (FLock < 0) break;
    while (::flock(FLock, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) Fail("cannot lock " + FTarget, errno);
      if (std::chrono::steady_clock::now() >= deadline)
        Fail("another program is saving " + FTarget + " and keeps it locked", EWOULDBLOCK);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    struct stat now {};
    const bool existsNow = ::stat(FTarget.c_str(), &now) == 0;
    if (existsNow == FTargetExists && (!existsNow || SameFile(now, target))) break;
    ::close(FLock);
    FLock = -1;
  }

  for (int attempt = 0; FFile < 0; ++attempt) {
    FTemporary = FTarget + "." + RandomSuffix() + ".tmp";
    // O_EXCL: never an existing file, nor the file a symbolic link of that name points to.
    FFile = ::open(FTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (FFile < 0 && (errno != EEXIST || attempt == 100)) {
      const int openError = errno;
      FTemporary.clear();  // not ours to remove
      Fail("cannot create a temporary file in " + folder, openError);
    }
  }
  if (FTargetExists) {
    // The group first: changing it may clear set-ID bits that the mode then restores.
    // A group we may not give is no failure: the file keeps ours.
    [[maybe_unused]] const bool grouped = ::fchown(FFile, static_cast<uid_t>(-1), target.st_gid) == 0;
    if (::fchmod(FFile, target.st_mode & 07777) != 0) Fail("cannot give " + FTemporary + " the permissions of the file", errno);
  }
}

TAtomicFile::~TAtomicFile() { Abandon(); }

int TAtomicFile::RemoveStaleTemporaries() {
  if (FLock < 0) return 0;  // without the lock, another save may be writing one of them
  const size_t slash = FTarget.rfind('/');
  const std::string base = slash == std::string::npos ? FTarget : FTarget.substr(slash + 1);
  const std::string folder = FolderOf(FTarget);
  DIR* entries = ::opendir(folder.c_str());
  if (!entries) return 0;
  int removed = 0;
  const std::string ours = FTemporary.substr(FTemporary.rfind('/') + 1);
  while (const dirent* entry = ::readdir(entries)) {
    // "<target>.<8 letters or digits>.tmp", as the constructor names them.
    const std::string_view name = entry->d_name;
    if (name.size() != base.size() + 13 || !name.starts_with(base) || name[base.size()] != '.' || !name.ends_with(".tmp") ||
        name == ours)
      continue;
    const std::string_view suffix = name.substr(base.size() + 1, 8);
    if (!std::all_of(suffix.begin(), suffix.end(), [](char C) { return std::isalnum(static_cast<unsigned char>(C)); }))
      continue;
    const std::string path = folder + "/" + std::string(name);
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(entries);
  return removed;
}

void TAtomicFile::Write(std::string_view AData) {
  while (!AData.empty()) {
    const ssize_t written = ::write(FFile, AData.data(), AData.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      Fail("cannot write " + FTemporary, errno);
    }
    AData.remove_prefix(static_cast<size_t>(written));
    FWritten += static_cast<uint64_t>(written);
  }
  // A file to be flushed on Commit is flushed by a thread of its own every few megabytes while
  // the writing goes on: a flush waits in proportion to what was written since the one before, so
  // the flush at the end then waits on the last stretch only, not on the whole of a large map.
  constexpr uint64_t KStretch = 8 << 20;
  if (FFlush == TFlush::Now && FFlushEarly && FWritten - FFlushAsked >= KStretch) FlushInBackground();
}

// Flushes the data of the file each time it is asked to, on a thread of its own, and keeps the
// first error for Commit: the kernel reports a failed write-back to one flush only.
class TAtomicFile::TFlusher {
 public:
  explicit TFlusher(int AFile) : FFile(AFile), FThread([this] { Run(); }) {}
  ~TFlusher() { Stop(); }

  // Returns at once; a request made while a flush runs is served after it.
  void Ask() {
    {
      std::lock_guard lock(FMutex);
      ++FAsked;
    }
    FWake.notify_one();
  }
  // Waits for the flush under way, skips any not begun (the caller flushes all now), ends the
  // thread and returns the error of a failed flush, or 0.
  int Stop() {
    {
      std::lock_guard lock(FMutex);
      FStopping = true;
    }
    FWake.notify_one();
    if (FThread.joinable()) FThread.join();
    return FError;
  }

 private:
  void Run() {
    std::unique_lock lock(FMutex);
    for (uint64_t served = 0;;) {
      FWake.wait(lock, [&] { return FStopping || FAsked != served; });
      if (FStopping) return;
      served = FAsked;
      lock.unlock();
      const int error = ::fdatasync(FFile) == 0 ? 0 : errno;
      lock.lock();
      if (FError == 0) FError = error;
    }
  }

  const int FFile;
  std::mutex FMutex;
  std::condition_variable FWake;
  uint64_t FAsked = 0;
  bool FStopping = false;
  int FError = 0;
  std::thread FThread;  // last: runs once the rest is in place
};

void TAtomicFile::FlushInBackground() {
  try {
    if (!FFlusher) FFlusher = std::make_unique<TFlusher>(FFile);
  } catch (const std::system_error&) {
    FFlushEarly = false;  // no thread to be had: Commit flushes it all
    return;
  }
  FFlusher->Ask();
  FFlushAsked = FWritten;
}

void TAtomicFile::Commit() {
  if (FFlusher) {
    if (const int error = FFlusher->Stop(); error != 0) Fail("cannot write " + FTemporary, error);
    FFlusher.reset();
  }
  if (FFlush == TFlush::Now && ::fsync(FFile) != 0) Fail("cannot write " + FTemporary, errno);
  const int file = std::exchange(FFile, -1);
  if (::close(file) != 0) Fail("cannot write " + FTemporary, errno);
  if (::rename(FTemporary.c_str(), FTarget.c_str()) != 0) Fail("cannot replace " + FTarget, errno);
  FTemporary.clear();
  // The rename itself reaches the disk with the folder.
  const int folder =
      FFlush == TFlush::Now ? ::open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  Abandon();  // releases the lock
}

void TAtomicFile::Fail(const std::string& AWhat, int AError) {
  Abandon();
  throw EFileError(FPath, AWhat.empty() ? ErrnoText(AError) : AWhat + ": " + ErrnoText(AError));
}

void TAtomicFile::Abandon() noexcept {
  FFlusher.reset();  // before the file it flushes is closed
  if (FFile >= 0) ::close(std::exchange(FFile, -1));
  if (!FTemporary.empty()) ::unlink(FTemporary.c_str());
  FTemporary.clear();
  if (FLock >= 0) ::close(std::exchange(FLock, -1));
}

void WriteFileAtomically(const std::string& APath, std::string_view AText, TFlush AFlush) {
  TAtomicFile file(APath, TAtomicFile::DefaultLockWait, AFlush);
  file.Write(AText);
  file.Commit();
}

void SyncFileSystem(const std::string& AFolder) {
  const int folder = ::open(AFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) throw EFileError(AFolder, ErrnoText(errno));
  const int result = ::syncfs(folder);
  const int error = errno;
  ::close(folder);
  if (result != 0) throw EFileError(AFolder, "cannot flush to disk: " + ErrnoText(error));
}
