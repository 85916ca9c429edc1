#include "com/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <set>
#include <thread>

#include "tests/support/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class AtomicFileTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& AName) const { return FFolder / AName; }
  std::set<std::string> Entries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(FFolder.Path())) names.insert(entry.path().filename().string());
    return names;
  }
  // Why the read of the file fails, or "read".
  static std::string ReadFailure(std::string (*ARead)(const std::string&, size_t), const std::string& APath, size_t ALimit) {
    try {
      ARead(APath, ALimit);
      return "read";
    } catch (const EFileError& AError) {
      return AError.Reason();
    }
  }
  // Why a save of the text "new" to APath fails, or "saved".
  static std::string WriteFailure(const std::string& APath) {
    try {
      WriteFileAtomically(APath, "new");
      return "saved";
    } catch (const EFileError& AError) {
      return AError.Reason();
    }
  }
  TTempFolder FFolder;
};

TEST_F(AtomicFileTest, ReplacesTheTargetWithoutTouchingFilesOfTheTemporaryName) {
  const std::string target = Path("map.xml");
  WriteText(target, "old");
  chmod(target.c_str(), 0640);
  // The fixed name an earlier version used: a user's file, and a link to another file.
  WriteText(Path("map.xml.tmp"), "mine");
  WriteText(Path("other"), "other");
  fs::create_symlink(Path("other"), Path("map.xml.tmp.link"));

  WriteFileAtomically(target, "new");
  EXPECT_EQ(ReadText(target), "new");
  struct stat status {};
  ASSERT_EQ(stat(target.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadText(Path("map.xml.tmp")), "mine");
  EXPECT_EQ(ReadText(Path("other")), "other");
  EXPECT_EQ(Entries(), (std::set<std::string>{"map.xml", "map.xml.tmp", "other", "map.xml.tmp.link"}));

  // Through a chain of links, even one that leads nowhere yet: the link stays, its file changes.
  fs::create_symlink("map.xml", Path("link1"));
  fs::create_symlink(Path("link1"), Path("link2"));
  WriteFileAtomically(Path("link2"), "linked");
  EXPECT_TRUE(fs::is_symlink(Path("link2")));
  EXPECT_EQ(ReadText(target), "linked");
  fs::create_symlink("fresh.txt", Path("dangling"));
  WriteFileAtomically(Path("dangling"), "fresh");
  EXPECT_EQ(ReadText(Path("fresh.txt")), "fresh");
}

TEST_F(AtomicFileTest, FailuresNameTheProblemAndLeaveTheTargetAlone) {
  const std::string target = Path("settings.ini");
  WriteText(target, "old");
  {
    TAtomicFile file(target);
    file.Write("half of it");
    EXPECT_NE(file.TemporaryPath(), target + ".tmp");
    EXPECT_TRUE(fs::exists(file.TemporaryPath()));
  }  // not committed
  EXPECT_EQ(ReadText(target), "old");
  EXPECT_EQ(Entries(), std::set<std::string>{"settings.ini"});

  WriteText(Path("plain"), "x");
  try {
    WriteFileAtomically(Path("plain/settings.ini"), "new");
    FAIL();
  } catch (const EFileError& AError) {
    EXPECT_EQ(AError.Path(), Path("plain/settings.ini"));
    EXPECT_EQ(AError.Reason(), "Not a directory");
  }
  fs::create_directory(Path("folder"));
  EXPECT_EQ(WriteFailure(Path("folder")), Path("folder") + " is not a regular file");
  fs::create_symlink("loop-b", Path("loop-a"));
  fs::create_symlink("loop-a", Path("loop-b"));
  EXPECT_THROW(WriteFileAtomically(Path("loop-a"), "new"), EFileError);
  if (geteuid() != 0) {  // root writes anywhere
    fs::create_directory(Path("locked"));
    chmod(Path("locked").c_str(), 0555);
    EXPECT_EQ(WriteFailure(Path("locked/x")), "cannot create a temporary file in " + Path("locked") + ": Permission denied");
  }
}

// Two saves of one file take turns, whether the file exists yet (the folder is locked) or not.
TEST_F(AtomicFileTest, ASecondSaveWaitsForTheFirstOrGivesUpClearly) {
  for (const bool exists : {false, true}) {
    SCOPED_TRACE(exists ? "existing file" : "new file");
    const std::string target = Path(exists ? "existing" : "new");
    if (exists) WriteText(target, "old");
    auto first = std::make_unique<TAtomicFile>(target);
    first->Write("first");
    try {
      TAtomicFile second(target, 50ms);
      ADD_FAILURE() << "the second save did not wait";
    } catch (const EFileError& AError) {
      EXPECT_NE(AError.Reason().find("another program is saving " + target), std::string::npos) << AError.what();
    }
    std::atomic<bool> firstDone = false;
    std::thread later([&] {
      std::this_thread::sleep_for(100ms);
      firstDone = true;
      first->Commit();
    });
    TAtomicFile second(target, 10s);
    EXPECT_TRUE(firstDone);
    EXPECT_EQ(ReadText(target), "first");
    second.Write("second");
    second.Commit();
    later.join();
    EXPECT_EQ(ReadText(target), "second");
  }
}

// A large file is flushed by a second thread while it is written: what arrives is whole and in
// order, and a save given up part way leaves nothing behind, whether that thread is flushing or not.
TEST_F(AtomicFileTest, LargeFilesAreWholeWhetherCommittedOrGivenUp) {
  const std::string target = Path("large.xml");
  WriteText(target, "old");
  std::string expected;
  {
    TAtomicFile file(target);
    for (int piece = 0; piece < 40; ++piece) {
      const std::string text(1 << 20, static_cast<char>('a' + piece % 26));
      file.Write(text);
      expected += text;
    }
    file.Commit();
  }
  EXPECT_TRUE(ReadWholeFile(target) == expected);  // not printed: 40 MiB
  for (const int pieces : {9, 17, 30}) {
    TAtomicFile file(target);
    for (int piece = 0; piece < pieces; ++piece) file.Write(std::string(1 << 20, 'x'));
  }
  EXPECT_TRUE(ReadWholeFile(target) == expected);
  EXPECT_EQ(Entries(), std::set<std::string>{"large.xml"});
}

TEST_F(AtomicFileTest, ReadingRefusesFoldersAndEndlessFiles) {
  WriteText(Path("small"), "abc");
  EXPECT_EQ(ReadWholeFile(Path("small"), 3), "abc");
  const auto reason = [](const std::string& APath, size_t ALimit) { return ReadFailure(ReadWholeFile, APath, ALimit); };
  EXPECT_EQ(reason(Path("small"), 2), "the file is larger than 2 bytes");
  EXPECT_EQ(reason("/dev/zero", 1 << 20), "the file is larger than 1 MiB");
  EXPECT_EQ(reason(FFolder.Path(), 100), "Is a directory");
  EXPECT_EQ(reason(Path("missing"), 100), "No such file or directory");
  EXPECT_EQ(reason(Path("gone/missing"), 100), "the folder " + Path("gone") + " does not exist");
}

// A file nobody may write is left alone, and the next save of a file removes what killed saves of
// it left behind, but nothing else that merely looks alike.
TEST_F(AtomicFileTest, ReadOnlyTargetsAreRefusedAndStaleTemporariesRemoved) {
  const std::string target = Path("map.xml");
  WriteText(target, "kept");
  chmod(target.c_str(), 0444);
  EXPECT_EQ(WriteFailure(target), target + " is read-only; make it writable to save over it");
  EXPECT_EQ(ReadText(target), "kept");
  chmod(target.c_str(), 0644);

  for (const char* name : {"map.xml.a1B2c3D4.tmp", "map.xml.zzzzzzzz.tmp"}) WriteText(Path(name), "torn");
  for (const char* name : {"map.xml.short.tmp", "map.xml.a1B2c3D4.tmp.keep", "other.xml.a1B2c3D4.tmp", "map.xml.a1B2-3D4.tmp"})
    WriteText(Path(name), "not ours");
  TAtomicFile file(target);
  EXPECT_EQ(file.RemoveStaleTemporaries(), 2);
  file.Write("new");
  file.Commit();
  EXPECT_EQ(Entries(), (std::set<std::string>{"map.xml", "map.xml.short.tmp", "map.xml.a1B2c3D4.tmp.keep",
                                              "other.xml.a1B2c3D4.tmp", "map.xml.a1B2-3D4.tmp"}));
}

// A map is read only from a regular file: a FIFO without a writer is refused at once instead of
// waiting, and a file above the limit before a byte of it is read.
TEST_F(AtomicFileTest, ReadingARegularFileRefusesEverythingElseBeforeReading) {
  const auto reason = [](const std::string& APath, size_t ALimit) { return ReadFailure(ReadRegularFile, APath, ALimit); };
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(reason(Path("fifo"), 100), "not a regular file but a FIFO");
  EXPECT_EQ(reason("/dev/zero", 100), "not a regular file but a character device");
  EXPECT_EQ(reason(FFolder.Path(), 100), "Is a directory");
  WriteText(Path("small"), "abc");
  EXPECT_EQ(reason(Path("small"), 2), "the file is larger than 2 bytes");
  EXPECT_EQ(ReadRegularFile(Path("small"), 3), "abc");
  EXPECT_EQ(reason(Path("gone/small"), 100), "the folder " + Path("gone") + " does not exist");

  EXPECT_TRUE(IsAbsentInExistingFolder(Path("new.xml")));
  EXPECT_FALSE(IsAbsentInExistingFolder(Path("small")));
  EXPECT_FALSE(IsAbsentInExistingFolder(Path("gone/new.xml")));
  EXPECT_FALSE(IsAbsentInExistingFolder(Path("small/new.xml")));
}

}  // namespace
