#pragma once
// Whole files: read at once, and replaced at once so that readers see the old content or the new,
// never a part, and two programs saving one file take turns.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "com/ComErrors.h"

// A file that cannot be read or written. Reason() says what failed, naming any other file
// involved, with the system's text ("cannot create a temporary file in /maps: Permission denied").
class EFileError : public ELumetaError {
 public:
  EFileError(std::string APath, std::string AReason);
  ~EFileError() override;
  const std::string& Path() const noexcept { return FPath; }
  const std::string& Reason() const noexcept { return FReason; }

 private:
  std::string FPath;
  std::string FReason;
};

// The content of a file, refusing folders and files larger than AMaxSize bytes (which also
// stops endless files such as /dev/zero). Raises EFileError.
std::string ReadWholeFile(const std::string& APath, size_t AMaxSize = SIZE_MAX);
// The same for a regular file only: a FIFO, a device or a socket is refused before anything is
// read from it (a FIFO without a writer would wait forever), and so is a file whose size is above
// the limit. A missing folder on the way is named ("the folder /maps does not exist").
std::string ReadRegularFile(const std::string& APath, size_t AMaxSize = SIZE_MAX);

// Whether nothing is at APath while its folder exists: a file a save may create there.
bool IsAbsentInExistingFolder(const std::string& APath);

// A new content for a file. The constructor follows symbolic links to the file they name, locks
// that file (waiting up to ALockWait for another save of it to end) and creates a temporary file
// of a name of its own beside it, never following or replacing an existing one; Write fills it and
// Commit flushes it to disk, gives it the target's permissions and renames it over the target.
// Every failure raises EFileError and leaves the target as it was; the destructor of an
// uncommitted file removes the temporary file. A target whose mode allows nobody to write it
// (mode 444) is refused: replacing it would undo what its owner chose.
// With TFlush::Deferred, Commit renames without flushing the file or its folder: for a caller that
// writes many files and then makes them durable at once with SyncFileSystem.
enum class TFlush { Now, Deferred };

class TAtomicFile {
 public:
  static constexpr std::chrono::milliseconds DefaultLockWait{10'000};

  explicit TAtomicFile(const std::string& APath, std::chrono::milliseconds ALockWait = DefaultLockWait,
                       TFlush AFlush = TFlush::Now);
  ~TAtomicFile();
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;

  void Write(std::string_view AData);
  void Commit();
  // Removes the temporary files that saves of the same target left behind when they were killed
  // before they could clean up (the lock held now says that none of them still runs); answers
  // how many. Not done by every save: it reads the whole folder.
  int RemoveStaleTemporaries();

  // The file replaced: the path given, or the file its symbolic links lead to.
  const std::string& Target() const noexcept { return FTarget; }
  const std::string& TemporaryPath() const noexcept { return FTemporary; }

 private:
  [[noreturn]] void Fail(const std::string& AWhat, int AError);
  void Abandon() noexcept;
  void FlushInBackground();

  class TFlusher;

  std::string FPath;
  std::string FTarget;
  std::string FTemporary;
  int FFile = -1;
  int FLock = -1;
  bool FTargetExists = false;
  TFlush FFlush = TFlush::Now;
  uint64_t FWritten = 0;               // bytes written so far
  uint64_t FFlushAsked = 0;            // bytes written when the flusher was last asked to flush
  std::unique_ptr<TFlusher> FFlusher;  // started by the first large stretch written
  bool FFlushEarly = true;             // false where no thread could be started
};

// Replaces the content of APath with AText through a TAtomicFile.
void WriteFileAtomically(const std::string& APath, std::string_view AText, TFlush AFlush = TFlush::Now);

// Flushes everything written to the file system that holds AFolder, renames included. Raises
// EFileError.
void SyncFileSystem(const std::string& AFolder);
