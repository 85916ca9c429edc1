// The wrapper against the task program: start and attach, shut-down, tasks, contacts, version.
#include "outlook/MSOutlookApp.h"
#include "outlook/MsOfficeAppVersion.h"

#include "com/OleDate.h"
#include "TaskProgramFixture.h"

namespace {

struct TWrapperState {
  bool App, NameSpace, TaskFolder;
  friend bool operator==(const TWrapperState&, const TWrapperState&) = default;
};

TWrapperState StateOf(const ThvMSOutlookApp& AWrapper) {
  return {AWrapper.App().Assigned(), AWrapper.NameSpace().Assigned(), AWrapper.TaskFolder().Assigned()};
}

bool IsRunning() {
  try {
    GetActiveOleObject(OutlookProgID);
    return true;
  } catch (const EOleError& error) {
    EXPECT_EQ(error.Code(), MK_E_UNAVAILABLE);
    return false;
  }
}

using OutlookAppTest = TaskProgramTest;

TEST_F(OutlookAppTest, StartsAnInstanceAndShutsDownOnlyWhatItStarted) {
  ThvMSOutlookApp started;
  ASSERT_TRUE(started.StartOutlook());
  EXPECT_FALSE(started.Running());
  EXPECT_EQ(StateOf(started), (TWrapperState{true, true, true}));
  EXPECT_EQ(started.Version(), 16);
  EXPECT_TRUE(started.StartOutlook()) << "a started wrapper answers at once";

  // A second wrapper finds the instance running and must leave it open.
  ThvMSOutlookApp attached;
  ASSERT_TRUE(attached.StartOutlook());
  EXPECT_TRUE(attached.Running());
  EXPECT_EQ(attached.App(), started.App());
  EXPECT_FALSE(attached.ShutDownOutlook());
  EXPECT_TRUE(IsRunning());

  EXPECT_TRUE(started.ShutDownOutlook());
  EXPECT_EQ(StateOf(started), (TWrapperState{false, false, false}));
  EXPECT_FALSE(IsRunning());
  EXPECT_FALSE(started.ShutDownOutlook());
}

TEST_F(OutlookAppTest, NotInstalledLeavesEverythingUnassigned) {
  ASSERT_TRUE(UnregisterAutomationServer(OutlookProgID));
  ThvMSOutlookApp wrapper;
  EXPECT_FALSE(wrapper.StartOutlook());
  EXPECT_EQ(StateOf(wrapper), (TWrapperState{false, false, false}));
  EXPECT_EQ(ThvMsOfficeAppVersion::AppVersionString("Outlook"), "");
  EXPECT_EQ(ThvMsOfficeAppVersion::AppVersion("Outlook"), 0);
  EXPECT_FALSE(SettingsStore().KeyExists(THive::ClassesRoot, "Outlook.Application")) << "reading created the key";
}

TEST_F(OutlookAppTest, VersionComesFromTheClassEntries) {
  EXPECT_EQ(ThvMsOfficeAppVersion::AppVersionString("Outlook"), "Outlook.Application.16");
  EXPECT_EQ(ThvMsOfficeAppVersion::AppVersion("Outlook"), 16);
  SettingsStore().WriteString(THive::ClassesRoot, "Outlook.Application\\CurVer", "", "Outlook.Application.14");
  EXPECT_EQ(ThvMsOfficeAppVersion::AppVersion("Outlook"), 14);
  SettingsStore().WriteString(THive::ClassesRoot, "Outlook.Application\\CurVer", "", "Outlook.Application");
  EXPECT_EQ(ThvMsOfficeAppVersion::AppVersion("Outlook"), 0);
}

TEST_F(OutlookAppTest, RefusedLogonQuitsAStartedInstance) {
  Faults("logon");
  ThvMSOutlookApp wrapper;
  EXPECT_FALSE(wrapper.StartOutlook());
  EXPECT_EQ(StateOf(wrapper), (TWrapperState{false, false, false}));
  EXPECT_FALSE(IsRunning());
}

TEST_F(OutlookAppTest, RefusedLogonKeepsARunningInstance) {
  Faults("logon");
  const TOleVariant running = CreateOleObject(OutlookProgID);
  ThvMSOutlookApp wrapper;
  EXPECT_FALSE(wrapper.StartOutlook());
  EXPECT_TRUE(wrapper.Running());
  EXPECT_EQ(wrapper.App(), running);
  EXPECT_FALSE(wrapper.TaskFolder().Assigned());
  EXPECT_TRUE(wrapper.StartOutlook()) << "the application is kept, so the next start answers at once";
  EXPECT_TRUE(IsRunning());
}

TEST_F(OutlookAppTest, NewTasksAreFoundBySubject) {
  ThvMSOutlookApp wrapper;
  ASSERT_TRUE(wrapper.StartOutlook());
  for (const char* subject : {"Book venue", "Print \"flyers\"", "Book venue"}) {
    TOleVariant task = wrapper.NewTask(subject);
    EXPECT_EQ(task.Get("Subject").AsString(), subject);
    task.Call("Save");
  }
  EXPECT_EQ(wrapper.TaskFolder().Get("Items").Get("Count").AsInteger(), 3);

  const TOleVariant first = wrapper.FindTask("book VENUE");
  ASSERT_TRUE(first.Assigned());
  EXPECT_EQ(first.Get("EntryID"), wrapper.TaskFolder().Get("Items").Call("Item", 1).Get("EntryID"))
      << "the first of two tasks of one subject";
  EXPECT_EQ(wrapper.FindTask("Print \"flyers\"").Get("Subject").AsString(), "Print \"flyers\"");
  EXPECT_TRUE(wrapper.FindTask("Hire band").IsEmpty());

  // A renamed task is found by its new subject only.
  TOleVariant renamed = wrapper.FindTask("Print \"flyers\"");
  renamed.Put("Subject", "Print posters");
  renamed.Call("Save");
  EXPECT_TRUE(wrapper.FindTask("Print \"flyers\"").IsEmpty());
  EXPECT_EQ(wrapper.FindTask("Print posters").Get("EntryID"), renamed.Get("EntryID"));
  EXPECT_TRUE(wrapper.ShutDownOutlook());
}

TEST_F(OutlookAppTest, DateNoneIsTheFirstOf4501) {
  const ThvMSOutlookApp wrapper;
  const TOleVariant none = wrapper.GetDateNone();
  EXPECT_EQ(none.Type(), TOleVarType::Date);
  EXPECT_EQ(DateToIsoText(none.AsDate()), "4501-01-01");
}

// contacts/ holds the Contacts folder; sub-folders nest below it.
class OutlookContactsTest : public TaskProgramTest {
 protected:
  void SetUp() override {
    TaskProgramTest::SetUp();
    WriteStoreFile("contacts/people.vcf",
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Ada Lovelace\r\nN:Lovelace;Ada;;;PhD\r\n"
                   "EMAIL;TYPE=INTERNET:ada@example.org\r\nORG:Analytical;Engines\r\nTITLE:Analyst\r\nEND:VCARD\r\n"
                   "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Charles Babbage\r\nEMAIL:charles@example.org\r\nEND:VCARD\r\n");
    std::filesystem::create_directories(StorePath("contacts/Archive"));
    WriteStoreFile("contacts/Archive/Old/old.vcf", "BEGIN:VCARD\nFN:ada lovelace\nEMAIL:ada@old.example.org\nEND:VCARD\n");
    WriteStoreFile("contacts/Notes/.itemtype", "5\n");
    WriteStoreFile("contacts/Notes/note.vcf", "BEGIN:VCARD\nFN:Not A Contact\nEND:VCARD\n");
    WriteStoreFile("addresslists/Empty.vcf", "");
    WriteStoreFile("addresslists/Team.vcf",
                   "BEGIN:VCARD\nFN:Grace Hopper\nEMAIL:grace@example.org\nEND:VCARD\n"
                   "BEGIN:VCARD\nFN:Ada Lovelace\nEMAIL:ada@team.example.org\nEND:VCARD\n");
    ASSERT_TRUE(FWrapper.StartOutlook());
  }
  void TearDown() override {
    FWrapper.ShutDownOutlook();
    TaskProgramTest::TearDown();
  }
  std::vector<std::string> FolderNames(bool AWantEmpty) {
    ThvOutlookContactFoldersList folders;
    FWrapper.GetContactsFolders(folders, AWantEmpty);
    std::vector<std::string> names;
    for (int i = 0; i < folders.Count(); ++i) names.push_back(folders[i].Get("Name").AsString());
    return names;
  }
  static std::vector<std::string> Walk(IhvOutlookContactsIterator* AIterator) {
    std::vector<std::string> seen;
    for (AIterator->First(); !AIterator->IsDone(); AIterator->Next()) {
      const auto contact = AIterator->Item();
      seen.push_back(contact->Fullname() + " <" + contact->Email() + ">");
    }
    return seen;
  }

  ThvMSOutlookApp FWrapper;
};

TEST_F(OutlookContactsTest, FoldersAreWalkedDepthFirstSkippingOtherItemTypes) {
  EXPECT_EQ(FolderNames(false), (std::vector<std::string>{"Contacts", "Old"}));
  EXPECT_EQ(FolderNames(true), (std::vector<std::string>{"Contacts", "Archive", "Old"}));
  ThvOutlookContactFoldersList folders;
  FWrapper.GetContactsFolders(folders, false);
  EXPECT_EQ(FWrapper.GetContactFolderID(folders, 1), StorePath("contacts/Archive/Old"));
}

TEST_F(OutlookContactsTest, ContactsIteratorReadsTheFolderOneBased) {
  ComPtr<IhvOutlookContactsIterator> iterator = FWrapper.GetContactsListIterator();
  EXPECT_EQ(iterator->GetCount(), 2);
  iterator->First();
  const auto ada = iterator->Item();
  EXPECT_EQ(ada->Fullname(), "Ada Lovelace");
  EXPECT_EQ(ada->Email(), "ada@example.org");
  EXPECT_EQ(ada->Company(), "Analytical");
  EXPECT_EQ(ada->Department(), "Engines");
  EXPECT_EQ(ada->JobTitle(), "Analyst");
  EXPECT_EQ(ada->Suffix(), "PhD");
  iterator->Next();
  iterator->Next();
  EXPECT_TRUE(iterator->IsDone());
  EXPECT_THROW(iterator->Item(), EOleError);
}

TEST_F(OutlookContactsTest, AddressListsAndTheirIterator) {
  std::vector<std::string> names;
  FWrapper.GetContactFolders(names, false);
  EXPECT_EQ(names, (std::vector<std::string>{"Team"}));
  names.clear();
  FWrapper.GetContactFolders(names, true);
  EXPECT_EQ(names, (std::vector<std::string>{"Empty", "Team"}));
  EXPECT_EQ(Walk(FWrapper.GetAddressListIterator(2).get()),
            (std::vector<std::string>{"Grace Hopper <grace@example.org>", "Ada Lovelace <ada@team.example.org>"}));
  EXPECT_TRUE(FWrapper.GetAddressListIterator(1)->IsDone());
}

TEST_F(OutlookContactsTest, ContactByNameGathersFoldersThenListsIgnoringCase) {
  const auto found = FWrapper.GetContactByName("ADA LOVELACE");
  ASSERT_EQ(found->Count(), 3);
  EXPECT_EQ(found->Items(0)->Email(), "ada@example.org");
  EXPECT_EQ(found->Items(1)->Email(), "ada@old.example.org");
  EXPECT_EQ(found->Items(2)->Email(), "ada@team.example.org");

  // An owning list takes copies from another, so each frees only its own.
  ThvOutlookContactList copy(true);
  copy.AddContacts(*found);
  EXPECT_NE(copy.Items(0), found->Items(0));
  EXPECT_EQ(copy.Items(0)->Email(), found->Items(0)->Email());
}

TEST_F(OutlookContactsTest, DeepFolderTreesDoNotExhaustTheStack) {
  std::string path = StorePath("contacts");
  for (int i = 0; i < 400; ++i) path += "/d";
  std::filesystem::create_directories(path);
  WriteText(path + "/deep.vcf", "BEGIN:VCARD\nFN:Deep\nEND:VCARD\n");
  EXPECT_EQ(FolderNames(false).back(), "d");
  EXPECT_EQ(FolderNames(true).size(), 403u);
}

}  // namespace
