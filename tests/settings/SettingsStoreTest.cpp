#include "settings/LumetaSettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "com/ComErrors.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Timing.h"
#include "tests/support/Thrown.h"

namespace {

constexpr THive HKCU = THive::CurrentUser;
constexpr THive HKCR = THive::ClassesRoot;
constexpr const char* ExportKey = "Software\\Quorvantis\\V4\\ExportActionsToOutlook";

class SettingsStoreTest : public ::testing::Test {
 protected:
  QTemporaryDir FTemp;
  std::string Folder() const { return FTemp.path().toStdString(); }
};

TEST_F(SettingsStoreTest, ValuesSurviveAFreshStoreOnTheSameFolder) {
  const std::string awkward = "  50% = half\nsecond line\t[x];  ";
  {
    TSettingsStore store(Folder());
    store.WriteBool(HKCU, ExportKey, "Expand Branches", true);
    store.WriteInteger(HKCU, ExportKey, "Export Range", -2147483647 - 1);
    store.WriteString(HKCU, ExportKey, "Actions To Export", awkward);
    store.WriteString(HKCU, ExportKey, "", "default value");
    store.WriteString(HKCU, ExportKey, "@", "at sign");
    store.WriteString(HKCU, ExportKey, ";a=b[c] ", "");
    store.WriteString(HKCR, "Outlook.Application\\CurVer", "", "Outlook.Application.14");
  }
  TSettingsStore store(Folder());
  EXPECT_TRUE(store.ReadBool(HKCU, ExportKey, "Expand Branches", false));
  EXPECT_EQ(store.ReadInteger(HKCU, ExportKey, "Export Range", 0), -2147483647 - 1);
  EXPECT_EQ(store.ReadString(HKCU, ExportKey, "Actions To Export", ""), awkward);
  EXPECT_EQ(store.ReadString(HKCU, ExportKey, "", ""), "default value");
  EXPECT_EQ(store.ReadString(HKCU, ExportKey, "@", ""), "at sign");
  EXPECT_EQ(store.ReadString(HKCU, ExportKey, ";a=b[c] ", "missing"), "");
  EXPECT_EQ(store.ValueNames(HKCU, ExportKey),
            (std::vector<std::string>{"Expand Branches", "Export Range", "Actions To Export", "", "@", ";a=b[c] "}));
  EXPECT_EQ(store.ValueType(HKCU, ExportKey, "Export Range"), TSettingsValueType::Integer);
  // Each hive has its own file.
  EXPECT_EQ(store.ReadString(HKCR, "\\Outlook.Application\\CurVer", "", ""), "Outlook.Application.14");
  EXPECT_FALSE(store.KeyExists(HKCU, "Outlook.Application"));
  EXPECT_TRUE(QFile::exists(QString::fromStdString(store.HiveFile(HKCR))));
}

TEST_F(SettingsStoreTest, KeyExistsIsDistinctFromValueExists) {
  {
    TSettingsStore store(Folder());
    EXPECT_TRUE(store.KeyExists(HKCU, ""));
    EXPECT_FALSE(store.KeyExists(HKCU, "Software"));
    store.CreateKey(HKCU, "Software\\Empty\\Leaf");
    store.WriteInteger(HKCU, "Software\\Full", "Count", 1);
  }
  TSettingsStore store(Folder());
  EXPECT_TRUE(store.KeyExists(HKCU, "Software\\Empty"));  // parents are created too
  EXPECT_TRUE(store.KeyExists(HKCU, "Software\\Empty\\Leaf"));  // an empty key survives the file
  EXPECT_FALSE(store.ValueExists(HKCU, "Software\\Empty\\Leaf", "Count"));
  EXPECT_EQ(store.ReadInteger(HKCU, "Software\\Empty\\Leaf", "Count", 7), 7);
  EXPECT_EQ(store.ValueType(HKCU, "Software\\Missing", "Count"), TSettingsValueType::None);
  EXPECT_EQ(store.SubKeyNames(HKCU, "Software"), (std::vector<std::string>{"Empty", "Full"}));

  EXPECT_TRUE(store.DeleteValue(HKCU, "Software\\Full", "Count"));
  EXPECT_FALSE(store.DeleteValue(HKCU, "Software\\Full", "Count"));
  EXPECT_TRUE(store.KeyExists(HKCU, "Software\\Full"));  // deleting the last value keeps the key

  EXPECT_TRUE(store.DeleteKey(HKCU, "Software\\Empty"));  // with its subkeys
  EXPECT_FALSE(store.DeleteKey(HKCU, "Software\\Empty"));
  EXPECT_FALSE(store.KeyExists(HKCU, "Software\\Empty\\Leaf"));
  EXPECT_THROW(store.DeleteKey(HKCU, "\\"), EInvalidOperation);

  TSettingsStore reread(Folder());
  EXPECT_EQ(reread.SubKeyNames(HKCU, "Software"), (std::vector<std::string>{"Full"}));
  EXPECT_TRUE(reread.ValueNames(HKCU, "Software\\Full").empty());
}

TEST_F(SettingsStoreTest, KeysAndNamesIgnoreCaseAndKeepTheFirstSpelling) {
  TSettingsStore store(Folder());
  store.WriteBool(HKCU, "Software\\Quorvantis\\Äpfel", "Show Symbol", false);
  store.WriteBool(HKCU, "SOFTWARE\\quorvantis\\äPFEL\\", "SHOW symbol", true);
  EXPECT_TRUE(store.KeyExists(HKCU, "software\\\\QUORVANTIS\\ÄPFEL"));
  EXPECT_EQ(store.SubKeyNames(HKCU, "software"), (std::vector<std::string>{"Quorvantis"}));
  EXPECT_EQ(store.ValueNames(HKCU, "Software\\Quorvantis\\Äpfel"), (std::vector<std::string>{"Show Symbol"}));

  TSettingsStore reread(Folder());
  EXPECT_TRUE(reread.ReadBool(HKCU, "software\\quorvantis\\äpfel", "show symbol", false));
}

TEST_F(SettingsStoreTest, WrongTypeReadsTheDefaultAndWarnsOncePerValue) {
  TSettingsStore store(Folder());
  store.WriteString(HKCU, ExportKey, "Expand Branches", "yes");
  store.WriteInteger(HKCU, ExportKey, "Export Range", 3);

  testing::internal::CaptureStderr();
  EXPECT_TRUE(store.ReadBool(HKCU, ExportKey, "Expand Branches", true));
  EXPECT_FALSE(store.ReadBool(HKCU, ExportKey, "expand branches", false));
  EXPECT_EQ(store.ReadInteger(HKCU, ExportKey, "Expand Branches", 5), 5);
  EXPECT_EQ(store.ReadString(HKCU, ExportKey, "Export Range", "none"), "none");
  EXPECT_EQ(store.ReadInteger(HKCU, ExportKey, "Export Range", 0), 3);  // the right type is silent
  const std::string errors = testing::internal::GetCapturedStderr();

  EXPECT_EQ(Occurrences(errors, "warning: settings:"), 2u) << errors;
  EXPECT_NE(errors.find("HKEY_CURRENT_USER\\Software\\Quorvantis\\V4\\ExportActionsToOutlook\\Expand Branches "
                        "holds a string, not a boolean; using the default"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("Export Range holds an integer, not a string"), std::string::npos) << errors;
}

TEST_F(SettingsStoreTest, DamagedFileLoadsAsFarAsItCan) {
  std::string garbage = "\x89PNG\x01\x02 no equals sign here\r\n"
                        "=no name\r\n"
                        "Root Value=int:12\r\n"
                        "[unterminated section\r\n"
                        "Lost=int:1\r\n"
                        "[Software\\Good]\r\n"
                        "  Flag =  bool:TRUE  \r\n"
                        "Number=int:12abc\r\n"
                        "Bare=plain text\r\n"
                        "Bad%zzEscape=str:100%\r\n"
                        "; a comment=str:ignored\r\n"
                        "[SOFTWARE\\GOOD]\r\n"
                        "Later=int:4\r\n";
  garbage += std::string("\0\xff\xfe=str:binary\n", 15);
  garbage += "Tail=str:no newline at the end";
  WriteText(Folder() + "/HKEY_CURRENT_USER.ini", garbage);

  TSettingsStore store(Folder());
  testing::internal::CaptureStderr();
  EXPECT_EQ(store.ValueNames(HKCU, ""), std::vector<std::string>{"Root Value"});
  EXPECT_EQ(store.ReadInteger(HKCU, "", "Root Value", 0), 12);
  EXPECT_TRUE(store.ReadBool(HKCU, "Software\\Good", "Flag", false));
  EXPECT_EQ(store.ReadInteger(HKCU, "Software\\Good", "Number", -1), -1);
  EXPECT_EQ(store.ReadString(HKCU, "Software\\Good", "Bare", "default"), "default");
  EXPECT_EQ(store.ReadString(HKCU, "Software\\Good", "Bad%zzEscape", ""), "100%");
  EXPECT_FALSE(store.ValueExists(HKCU, "Software\\Good", "; a comment"));
  EXPECT_EQ(store.ReadInteger(HKCU, "Software\\Good", "Later", 0), 4);  // sections differing in case merge
  EXPECT_EQ(store.ReadString(HKCU, "Software\\Good", "Tail", ""), "no newline at the end");
  const std::string errors = testing::internal::GetCapturedStderr();
  // Three lines left out, each named by its place, and two values that do not read.
  const std::string file = Folder() + "/HKEY_CURRENT_USER.ini";
  EXPECT_EQ(Occurrences(errors, "warning: settings:"), 5u) << errors;
  EXPECT_NE(errors.find(file + ":1: '\xEF\xBF\xBDPNG?? no equals sign here' is neither a [key] nor NAME=VALUE; it is left out"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find(file + ":2: '=no name' is neither"), std::string::npos) << errors;
  EXPECT_NE(errors.find(file + ":4: '[unterminated section' is not a [key]; it and its values are left out"),
            std::string::npos)
      << errors;
  EXPECT_NE(errors.find("Number holds \"int:12abc\", not a valid integer"), std::string::npos) << errors;
  EXPECT_EQ(store.ValueType(HKCU, "Software\\Good", "Bare"), TSettingsValueType::Unreadable);

  // Saving rewrites the file cleanly; what was readable survives, and the file as it was is kept
  // beside it, once.
  testing::internal::CaptureStderr();
  store.WriteInteger(HKCU, "Software\\Good", "Number", 5);
  store.WriteInteger(HKCU, "Software\\Good", "Number", 6);
  EXPECT_EQ(Occurrences(testing::internal::GetCapturedStderr(), "is kept as " + file + ".damaged"), 1u);
  EXPECT_EQ(ReadText(file + ".damaged"), garbage);
  TSettingsStore reread(Folder());
  EXPECT_EQ(reread.ReadInteger(HKCU, "Software\\Good", "Number", 0), 6);
  EXPECT_TRUE(reread.ReadBool(HKCU, "Software\\Good", "Flag", false));

  // A second damage keeps its copy beside the first one instead of over it.
  WriteText(file, "second damage\n");
  TSettingsStore again(Folder());
  testing::internal::CaptureStderr();
  again.WriteInteger(HKCU, "Software\\Good", "Number", 7);
  again.Flush();
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(ReadText(file + ".damaged"), garbage);
  EXPECT_EQ(ReadText(file + ".damaged.2"), "second damage\n");
}

TEST_F(SettingsStoreTest, AFileOfNothingButGarbageNamesItsFirstLinesOnly) {
  std::string garbage;
  for (int i = 0; i < 500; ++i) garbage += "garbage line " + std::to_string(i) + "\n";
  WriteText(Folder() + "/HKEY_CURRENT_USER.ini", garbage);
  TSettingsStore store(Folder());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store.ReadBool(HKCU, "Software\\Good", "Flag", false));
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Occurrences(errors, "warning: settings:"), 11u) << errors;
  EXPECT_NE(errors.find("HKEY_CURRENT_USER.ini:10: 'garbage line 9'"), std::string::npos) << errors;
  EXPECT_NE(errors.find("HKEY_CURRENT_USER.ini: 490 more lines left out"), std::string::npos) << errors;
}

TEST_F(SettingsStoreTest, FolderThatCannotBeCreatedRaisesAnErrorNamingTheFile) {
  // Tests may run as root, where permissions do not stop writes: put the folder under a file.
  WriteText(Folder() + "/plain-file", "x");
  const std::string folder = Folder() + "/plain-file/settings";
  {
    TSettingsStore store(folder);
    const std::string error = ThrownText<ELumetaError>([&] { store.WriteBool(HKCU, "Software\\Lumeta", "Action", true); });
    EXPECT_NE(error.find(folder + "/HKEY_CURRENT_USER.ini"), std::string::npos) << error;
    EXPECT_TRUE(store.ReadBool(HKCU, "Software\\Lumeta", "Action", false));  // kept in memory
    EXPECT_THROW(store.Flush(), ELumetaError);
    testing::internal::CaptureStderr();
  }  // the destructor reports, never throws
  EXPECT_NE(testing::internal::GetCapturedStderr().find("error: settings: Cannot write"), std::string::npos);
}

// Saves replace the file through a temporary file of their own: a file of the old fixed temporary
// name is somebody else's, and the hive keeps the permissions its owner gave it.
TEST_F(SettingsStoreTest, FailedSaveKeepsTheOldFileAndTheValueForTheNextSave) {
  TSettingsStore store(Folder());
  store.WriteString(HKCU, "Software\\Lumeta", "Name", "old");
  const std::string file = store.HiveFile(HKCU);
  ASSERT_EQ(chmod(file.c_str(), 0600), 0);
  WriteText(file + ".tmp", "not the store's");
  const std::string before = ReadText(file);
  {
    TFileSizeLimit limit(before.size());
    EXPECT_THROW(store.WriteString(HKCU, "Software\\Lumeta", "Name", std::string(4096, 'n')), ELumetaError);
  }
  EXPECT_EQ(ReadText(file), before);
  EXPECT_EQ(QDir(FTemp.path()).entryList(QDir::Files), (QStringList{"HKEY_CURRENT_USER.ini", "HKEY_CURRENT_USER.ini.tmp"}));
  store.Flush();  // the change was kept and lands once saving works again
  EXPECT_EQ(TSettingsStore(Folder()).ReadString(HKCU, "Software\\Lumeta", "Name", "").size(), 4096u);
  struct stat status {};
  ASSERT_EQ(stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadText(file + ".tmp"), "not the store's");
}

TEST_F(SettingsStoreTest, FolderComesFromTheEnvironmentAndCanBeMoved) {
  const std::string other = Folder() + "/other";
  setenv(TSettingsStore::FolderVariable, other.c_str(), 1);
  TSettingsStore fromEnvironment;
  unsetenv(TSettingsStore::FolderVariable);
  EXPECT_EQ(fromEnvironment.Folder(), other);

  TSettingsStore store(Folder());
  store.WriteInteger(HKCU, "Software", "Where", 1);
  store.SetFolder(other);
  EXPECT_FALSE(store.ValueExists(HKCU, "Software", "Where"));
  store.WriteInteger(HKCU, "Software", "Where", 2);
  EXPECT_EQ(TSettingsStore(Folder()).ReadInteger(HKCU, "Software", "Where", 0), 1);
  EXPECT_EQ(TSettingsStore(other).ReadInteger(HKCU, "Software", "Where", 0), 2);

  SetSettingsFolder(other);
  EXPECT_EQ(SettingsStore().ReadInteger(HKCU, "Software", "Where", 0), 2);
}

// Two runs share the folder: each save takes what the other saved meanwhile, and a store that
// only reads, or writes back what it read, never puts its old copy over the other's changes.
TEST_F(SettingsStoreTest, TwoStoresOnOneFolderKeepEachOthersChanges) {
  {
    TSettingsStore seed(Folder());
    seed.WriteInteger(HKCU, ExportKey, "Export Range", 1);
    seed.WriteString(HKCU, "Software\\Gone", "Name", "x");
  }
  TSettingsStore longRun(Folder());  // a long show: reads everything first
  EXPECT_EQ(longRun.ReadInteger(HKCU, ExportKey, "Export Range", 0), 1);
  {
    TSettingsStore other(Folder());
    other.WriteInteger(HKCU, ExportKey, "Export Range", 2);
    other.WriteBool(HKCU, ExportKey, "Expand Branches", false);
    EXPECT_TRUE(other.DeleteKey(HKCU, "Software\\Gone"));
  }
  // What the long run holds is stale; writing it back unchanged saves nothing.
  longRun.WriteInteger(HKCU, ExportKey, "Export Range", 1);
  longRun.CreateKey(HKCU, ExportKey);
  longRun.Flush();
  EXPECT_EQ(TSettingsStore(Folder()).ReadInteger(HKCU, ExportKey, "Export Range", 0), 2);

  // A real change of its own lands beside the other run's changes, and the deleted key stays
  // deleted.
  longRun.WriteString(HKCU, ExportKey, "Actions To Export", "all");
  TSettingsStore reread(Folder());
  EXPECT_EQ(reread.ReadInteger(HKCU, ExportKey, "Export Range", 0), 2);
  EXPECT_FALSE(reread.ReadBool(HKCU, ExportKey, "Expand Branches", true));
  EXPECT_EQ(reread.ReadString(HKCU, ExportKey, "Actions To Export", ""), "all");
  EXPECT_FALSE(reread.KeyExists(HKCU, "Software\\Gone"));
  // The long run now sees the file as it is.
  EXPECT_FALSE(longRun.ReadBool(HKCU, ExportKey, "Expand Branches", true));

  // Changes of both that touch the same value: the later save wins, the rest of each stays.
  TSettingsStore first(Folder()), second(Folder());
  first.KeyExists(HKCU, "");
  second.KeyExists(HKCU, "");
  first.WriteInteger(HKCU, ExportKey, "Include Properties", 3);
  second.WriteInteger(HKCU, ExportKey, "Include Properties", 4);
  EXPECT_TRUE(second.DeleteValue(HKCU, ExportKey, "Actions To Export"));
  TSettingsStore last(Folder());
  EXPECT_EQ(last.ReadInteger(HKCU, ExportKey, "Include Properties", 0), 4);
  EXPECT_FALSE(last.ValueExists(HKCU, ExportKey, "Actions To Export"));
  EXPECT_EQ(last.ReadInteger(HKCU, ExportKey, "Export Range", 0), 2);
}

// A store that changes nothing never writes: not over a hand-edited file, and not into a folder it
// could not write to.
TEST_F(SettingsStoreTest, WritingWhatIsStoredLeavesTheFileAlone) {
  const std::string file = Folder() + "/HKEY_CURRENT_USER.ini";
  const std::string handMade = "; kept by hand\n[Software\\Lumeta]\nShow=bool:TRUE\nCount=int:3\n";
  WriteText(file, handMade);
  {
    TSettingsStore store(Folder());
    store.WriteBool(HKCU, "software\\lumeta", "show", true);  // "bool:TRUE" reads as the same value
    store.WriteInteger(HKCU, "Software\\Lumeta", "Count", 3);
    store.CreateKey(HKCU, "Software");
    EXPECT_FALSE(store.DeleteValue(HKCU, "Software\\Lumeta", "Missing"));
    EXPECT_FALSE(store.DeleteKey(HKCU, "Software\\Missing"));
  }
  EXPECT_EQ(ReadText(file), handMade);

  WriteText(Folder() + "/plain-file", "x");
  testing::internal::CaptureStderr();
  {
    TSettingsStore unwritable(Folder() + "/plain-file/settings");
    EXPECT_EQ(unwritable.ReadInteger(HKCU, "Software", "Count", 5), 5);
    EXPECT_NO_THROW(unwritable.CreateKey(HKCU, "\\"));
    EXPECT_FALSE(unwritable.DeleteValue(HKCU, "Software", "Count"));
    EXPECT_NO_THROW(unwritable.Flush());
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Ten times the keys may cost ten times as long, never a hundred: many keys under one parent, many
// values in one key, and one key nested very deep.
TEST_F(SettingsStoreTest, ReadingAndWritingGrowLinearlyWithTheFile) {
  const auto fileOf = [](int ACount) {
    std::string text;
    for (int i = 0; i < ACount; ++i) text += "[Software\\Many\\Key " + std::to_string(i) + "]\nValue=int:1\n";
    text += "[Software\\Wide]\n";
    for (int i = 0; i < ACount; ++i) text += "Value " + std::to_string(i) + "=int:" + std::to_string(i) + "\n";
    return text;
  };
  const auto timeOf = [&](int ACount) {
    const std::string folder = Folder() + "/" + std::to_string(ACount);
    QDir().mkpath(QString::fromStdString(folder));
    WriteText(folder + "/HKEY_CURRENT_USER.ini", fileOf(ACount));
    return FastestOf([&] {
      TSettingsStore store(folder);
      EXPECT_EQ(store.ReadInteger(HKCU, "Software\\Wide", "value " + std::to_string(ACount - 1), 0), ACount - 1);
      store.WriteInteger(HKCU, "Software\\Many\\Key 0", "Value", store.ReadInteger(HKCU, "Software\\Many\\Key 0", "Value", 0) + 1);
    });
  };
  const double small = timeOf(2'000), large = timeOf(20'000);
  EXPECT_LT(large, 35 * std::max(small, 0.02)) << small << " s for 2,000 keys, " << large << " s for 20,000";

  std::string deep = "Software";
  for (int i = 0; i < 100'000; ++i) deep += "\\k";
  {
    TSettingsStore store(Folder());
    store.WriteString(HKCU, deep, "Bottom", "reached");
  }
  EXPECT_EQ(TSettingsStore(Folder()).ReadString(HKCU, deep, "Bottom", ""), "reached");
}

TEST(SettingsHiveTest, NamesParseAndPrint) {
  EXPECT_EQ(HiveName(THive::CurrentUser), "HKEY_CURRENT_USER");
  EXPECT_EQ(HiveName(THive::ClassesRoot), "HKEY_CLASSES_ROOT");
  EXPECT_EQ(ParseHive("hkey_classes_root"), THive::ClassesRoot);
  EXPECT_EQ(ParseHive("HKCU"), THive::CurrentUser);
  EXPECT_EQ(ParseHive("HKEY_LOCAL_MACHINE"), std::nullopt);
}

}  // namespace
