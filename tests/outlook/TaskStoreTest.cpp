// The task program's store, driven as clients drive it: task fields through the files, sending,
// faults, and files other programs wrote.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <sstream>

#include "com/OleDate.h"
#include "com/OleVariant.h"
#include "TaskProgramFixture.h"
#include "tests/support/Thrown.h"

namespace {

class TaskStoreTest : public TaskProgramTest {
 protected:
  // A fresh instance, so that what it reads comes from the files.
  TOleVariant Tasks() {
    if (FApp.Assigned()) FApp.Call("Quit");
    FApp = CreateOleObject(TaskProgramProgID);
    return FApp.Call("GetNamespace", "MAPI").Call("GetDefaultFolder", TaskProgramTasksFolder).Get("Items");
  }
  void TearDown() override {
    if (FApp.Assigned()) FApp.Call("Quit");
    TaskProgramTest::TearDown();
  }
  TOleVariant FApp;
};

struct TTaskFields {
  std::string Subject, Body, Categories;
  int Percent, Status, Importance;
  std::string Start, Due, Completed;
  friend bool operator==(const TTaskFields&, const TTaskFields&) = default;
};

void PrintTo(const TTaskFields& AFields, std::ostream* AOut) {
  *AOut << AFields.Subject << " | " << AFields.Body << " | " << AFields.Categories << " | " << AFields.Percent << " "
        << AFields.Status << " " << AFields.Importance << " | " << AFields.Start << " " << AFields.Due << " "
        << AFields.Completed;
}

std::string DateText(const TOleVariant& AValue) { return DateTimeToXmlText(AValue.AsDate()); }

TTaskFields FieldsOf(const TOleVariant& ATask) {
  return {ATask.Get("Subject").AsString(),         ATask.Get("Body").AsString(),
          ATask.Get("Categories").AsString(),      ATask.Get("PercentComplete").AsInteger(),
          ATask.Get("Status").AsInteger(),         ATask.Get("Importance").AsInteger(),
          DateText(ATask.Get("StartDate")),        DateText(ATask.Get("DueDate")),
          DateText(ATask.Get("DateCompleted"))};
}

TEST_F(TaskStoreTest, EveryFieldSurvivesTheFile) {
  const std::vector<TTaskFields> written = {
      {"Plan", "Line one\r\nLine, two; with \"quotes\"", ";Work;Home", 40, 1, 2, "2026-03-02T00:00:00",
       "2026-03-06T00:00:00", "4501-01-01T00:00:00"},
      {"Wait", "", "", 0, 3, 0, "2026-03-02T08:00:00", "2026-03-09T00:00:00", "4501-01-01T00:00:00"},
      {"Done", "", "", 100, 2, 1, "4501-01-01T00:00:00", "4501-01-01T00:00:00", "2026-03-05T17:30:00"},
      {"Later", "", "", 0, 4, 1, "4501-01-01T00:00:00", "4501-01-01T00:00:00", "4501-01-01T00:00:00"},
      {"Planned", "", "", 30, 1, 1, "2026-03-02T08:00:00", "4501-01-01T00:00:00", "2026-03-06T17:00:00"},
      // Done at noon in New York: COMPLETED is in UTC, and reads back as New York's noon whatever
      // zone this machine is in.
      {"Zoned", "", "", 100, 2, 1, "2026-03-02T08:00:00", "4501-01-01T00:00:00", "2026-03-10T12:00:00"},
  };
  TOleVariant items = Tasks();
  for (const TTaskFields& fields : written) {
    TOleVariant task = items.Call("Add", TaskProgramTaskItem);
    if (fields.Subject == "Zoned") task.Put("TimeZone", "America/New_York");
    task.Put("Subject", fields.Subject);
    task.Put("Body", fields.Body);
    task.Put("Categories", fields.Categories);
    task.Put("PercentComplete", fields.Percent);
    task.Put("Status", fields.Status);
    task.Put("Importance", fields.Importance);
    task.Put("StartDate", TOleVariant::FromDate(*XmlTextToDateTime(fields.Start)));
    task.Put("DueDate", TOleVariant::FromDate(*XmlTextToDateTime(fields.Due)));
    task.Put("DateCompleted", TOleVariant::FromDate(*XmlTextToDateTime(fields.Completed)));
    task.Call("Save");
    EXPECT_TRUE(std::filesystem::exists(StorePath("tasks/" + task.Get("EntryID").AsString() + ".ics")));
  }
  // A task not yet done keeps its completed date, but not as the COMPLETED that calendars show as
  // done; the finished one has it.
  std::string planned, done;
  for (const std::string& file : CalendarFiles(StorePath("tasks"))) {
    const std::string text = ReadText(file);
    if (text.find("SUMMARY:Planned") != std::string::npos) planned = text;
    if (text.find("SUMMARY:Done") != std::string::npos) done = text;
  }
  EXPECT_EQ(planned.find("\nCOMPLETED:"), std::string::npos) << planned;
  EXPECT_NE(planned.find("X-LUMETA-DATE-COMPLETED:20260306T170000"), std::string::npos) << planned;
  EXPECT_NE(done.find("\nCOMPLETED:"), std::string::npos) << done;
  items = Tasks();
  ASSERT_EQ(items.Get("Count").AsInteger(), 6);
  for (int i = 1; i <= 6; ++i) {
    TTaskFields expected = written[static_cast<size_t>(i - 1)];
    if (i == 1) expected.Categories = "Work, Home";  // the list as the file keeps it
    const TTaskFields read = FieldsOf(items.Call("Find", "[Subject] = \"" + expected.Subject + "\""));
    EXPECT_EQ(read, expected) << expected.Subject;
  }
}

// What other clients need of a task: a due date whenever the task has a planned finish, DUE after
// DTSTART, one CATEGORIES line with escaped commas, a request that starts. The program itself still
// reads back every field as it was given.
TEST_F(TaskStoreTest, DatesAndCategoriesAreWrittenAsCalendarClientsReadThem) {
  struct TCase {
    const char* Subject;
    const char* Start;
    const char* Due;
    const char* Completed;
    const char* Expected;  // the dates' lines of the file, in order
    int Percent = 0;
  };
  const TCase cases[] = {
      {"One day", "2026-03-09T00:00:00", "2026-03-09T00:00:00", "", "DUE;VALUE=DATE:20260309\r\nX-LUMETA-DATE-START:20260309T000000"},
      {"Backwards", "2026-03-09T09:00:00", "2026-03-05T00:00:00", "",
       "DUE;VALUE=DATE:20260305\r\nX-LUMETA-DATE-START:20260309T090000"},
      {"Planned", "2026-03-02T08:00:00", "", "2026-03-06T17:00:00",
       "DTSTART:20260302T080000\r\nDUE:20260306T170000\r\nX-LUMETA-DATE-COMPLETED:20260306T170000"},
      {"Timed same day", "2026-03-09T09:00:00", "2026-03-09T17:00:00", "", "DTSTART:20260309T090000\r\nDUE:20260309T170000"},
      {"Done", "2026-03-02T08:00:00", "", "2026-03-06T17:00:00", "DTSTART:20260302T080000\r\nDUE:20260306T170000", 100},
      {"Done when due", "2026-03-02T00:00:00", "2026-03-06T00:00:00", "2026-03-06T17:00:00",
       "DTSTART;VALUE=DATE:20260302\r\nDUE;VALUE=DATE:20260306", 100},
  };
  TOleVariant items = Tasks();
  const auto date = [](const char* AText) { return TOleVariant::FromDate(*AText ? *XmlTextToDateTime(AText) : 0.0); };
  for (const TCase& test : cases) {
    TOleVariant task = items.Call("Add");
    task.Put("Subject", test.Subject);
    task.Put("Categories", "Smith\\, John;Work");
    task.Put("StartDate", date(test.Start));
    if (*test.Due) task.Put("DueDate", date(test.Due));
    if (*test.Completed) task.Put("DateCompleted", date(test.Completed));
    task.Put("PercentComplete", test.Percent);
    task.Call("Save");
    const std::string text = ReadText(StorePath("tasks/" + task.Get("EntryID").AsString() + ".ics"));
    std::string dates;
    for (size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
      for (const char* name : {"DTSTART", "DUE", "X-LUMETA-DATE"})
        if (text.compare(at + 2, std::strlen(name), name) == 0)
          dates += (dates.empty() ? "" : "\r\n") + text.substr(at + 2, text.find("\r\n", at + 2) - at - 2);
    EXPECT_EQ(dates, test.Expected) << test.Subject;
    EXPECT_NE(text.find("\r\nCATEGORIES:Smith\\, John,Work\r\n"), std::string::npos) << text;
  }
  items = Tasks();
  for (const TCase& test : cases) {
    const TOleVariant task = items.Call("Find", std::string("[Subject] = \"") + test.Subject + "\"");
    EXPECT_EQ(DateText(task.Get("StartDate")), test.Start) << test.Subject;
    EXPECT_EQ(DateText(task.Get("DueDate")), *test.Due ? test.Due : "4501-01-01T00:00:00") << test.Subject;
    EXPECT_EQ(task.Get("Categories").AsString(), "Smith\\, John, Work");
  }

  // A request needs exactly one DTSTART: a task without a start starts when it is sent, or the day
  // before it is due when that is earlier.
  for (const char* due : {"2026-03-09T00:00:00", "2126-03-09T00:00:00"}) {
    TOleVariant task = items.Call("Add");
    task.Put("Subject", "Sent");
    task.Put("DueDate", date(due));
    task.Call("Assign");
    task.Get("Recipients").Call("Add", "Ada <ada@example.com>");
    task.Call("Send");
    const std::string request = ReadText(StorePath("outbox/" + task.Get("EntryID").AsString() + "-1.ics"));
    const std::string expected = due[1] == '0' ? "DTSTART;VALUE=DATE:20260308\r\n"
                                               : "DTSTART;VALUE=DATE:" + DateToIsoText(TodayAsDateTime()).erase(4, 1).erase(6, 1);
    EXPECT_NE(request.find("\r\n" + expected), std::string::npos) << request;
  }
}

// Another client that marks a task done or starts it outranks the program's own words for it.
TEST_F(TaskStoreTest, StatusWrittenByAnotherClientOutranksTheProgramsOwn) {
  const auto write = [&](const char* AName, const char* AProperties) {
    WriteStoreFile(std::string("tasks/") + AName + ".ics",
                   std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VTODO\r\nUID:") + AName +
                       "\r\nDTSTAMP:20260101T000000Z\r\nSUMMARY:" + AName + "\r\n" + AProperties +
                       "X-LUMETA-TASK-STATUS:DEFERRED\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
  };
  write("done", "STATUS:COMPLETED\r\nPERCENT-COMPLETE:100\r\nCOMPLETED:20260305T120000Z\r\n");
  write("completedonly", "STATUS:NEEDS-ACTION\r\nCOMPLETED:20260305T120000Z\r\n");
  write("started", "STATUS:IN-PROCESS\r\nPERCENT-COMPLETE:20\r\n");
  write("ours", "STATUS:NEEDS-ACTION\r\nPERCENT-COMPLETE:0\r\n");
  TOleVariant items = Tasks();
  const auto status = [&](const char* AName) {
    return items.Call("Find", std::string("[EntryID] = \"") + AName + "\"").Get("Status").AsInteger();
  };
  EXPECT_EQ(status("done"), 2);
  EXPECT_EQ(status("completedonly"), 2);
  EXPECT_EQ(status("started"), 1);
  EXPECT_EQ(status("ours"), 4) << "still deferred, as this program wrote it";
}

TEST_F(TaskStoreTest, SavingAgainKeepsTheUidAndWhatOtherProgramsAdded) {
  WriteStoreFile("tasks/from-elsewhere.ics",
                 "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VTODO\r\nUID:other-1\r\n"
                 "DTSTAMP:20260101T000000Z\r\nSUMMARY:Imported\r\nLOCATION:Room 4\r\nSTATUS:CANCELLED\r\n"
                 "PRIORITY:2\r\nEND:VTODO\r\nEND:VCALENDAR\r\n");
  WriteStoreFile("tasks/broken.ics", "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n");
  // A request left among the tasks, as a store laid out otherwise had them: clients reading the
  // folder would list it as a second task.
  const std::string request = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nMETHOD:REQUEST\r\nBEGIN:VTODO\r\n"
                              "UID:other-1\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20260101T000000Z\r\nSEQUENCE:1\r\n"
                              "SUMMARY:Imported\r\nPRIORITY:5\r\nORGANIZER:mailto:a@example.org\r\nATTENDEE:mailto:b@example.org\r\n"
                              "END:VTODO\r\nEND:VCALENDAR\r\n";
  WriteStoreFile("tasks/other-1-1.ics", request);
  WriteStoreFile("outbox/other-1-1.ics", "kept");
  testing::internal::CaptureStderr();
  TOleVariant items = Tasks();
  ASSERT_EQ(items.Get("Count").AsInteger(), 1) << "the file without a task is passed over, the request moved";
  const std::string warned = testing::internal::GetCapturedStderr();
  EXPECT_NE(warned.find("warning: tasks: " + StorePath("tasks/broken.ics")), std::string::npos) << warned;
  EXPECT_FALSE(std::filesystem::exists(StorePath("tasks/other-1-1.ics")));
  EXPECT_EQ(ReadText(StorePath("outbox/other-1-1.1.ics")), request) << "moved beside the outbox's file of that name";
  EXPECT_EQ(ReadText(StorePath("outbox/other-1-1.ics")), "kept");
  std::filesystem::remove(StorePath("outbox/other-1-1.ics"));
  TOleVariant task = items.Call("Item", 1);
  EXPECT_EQ(task.Get("Status").AsInteger(), 4);
  EXPECT_EQ(task.Get("Importance").AsInteger(), 2);
  task.Put("Subject", "Imported and renamed");
  task.Call("Save");

  const std::string text = ReadText(StorePath("tasks/from-elsewhere.ics"));
  EXPECT_NE(text.find("UID:other-1"), std::string::npos);
  EXPECT_NE(text.find("LOCATION:Room 4"), std::string::npos);
  EXPECT_NE(text.find("SUMMARY:Imported and renamed"), std::string::npos);
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 2u) << "no second file for the same task";
  std::filesystem::remove(StorePath("tasks/broken.ics"));
}

TEST_F(TaskStoreTest, FindFilters) {
  TOleVariant items = Tasks();
  for (int status : {0, 1}) {
    TOleVariant task = items.Call("Add");
    task.Put("Subject", "Task " + std::to_string(status));
    task.Put("Status", status);
    task.Call("Save");
  }
  EXPECT_EQ(items.Call("Find", "[Status] = 1").Get("Subject").AsString(), "Task 1");
  EXPECT_EQ(items.Call("Find", "[Subject] <> 'Task 0'").Get("Subject").AsString(), "Task 1");
  for (const char* bad : {"Subject = \"x\"", "[Subject] ~ \"x\"", "[Subject] = \"x", "[Owner] = \"x\""}) {
    const std::string error = ThrownText<EOleError>([&] { items.Call("Find", bad); });
    EXPECT_NE(error.find("Items.Find"), std::string::npos) << bad << ": " << error;
  }
}

TEST_F(TaskStoreTest, AssignedTaskIsSentAsARequestToItsRecipients) {
  WriteStoreFile("contacts/team.vcf", "BEGIN:VCARD\nFN:Grace Hopper\nEMAIL:grace@example.org\nEND:VCARD\n");
  SettingsStore().WriteString(THive::CurrentUser, "Software\\Lumeta\\TaskProgram", "Owner", "lead@example.org");
  TOleVariant task = Tasks().Call("Add", 3);
  task.Put("Subject", "Review budget");
  task.Call("Assign");
  const TOleVariant recipients = task.Get("Recipients");
  recipients.Call("Add", "grace hopper");
  recipients.Call("Add", "Alan Turing <alan@example.org>");
  recipients.Call("Add", "Nobody Known");
  EXPECT_EQ(recipients.Get("Count").AsInteger(), 3);
  EXPECT_THROW(task.Call("Send"), EOleError) << "a name without an address";
  recipients.Call("Remove", 3);
  task.Call("Send");

  const std::string uid = task.Get("EntryID").AsString();
  const std::string request = ReadText(StorePath("outbox/" + uid + "-1.ics"));
  EXPECT_NE(request.find("METHOD:REQUEST"), std::string::npos);
  EXPECT_NE(request.find("mailto:lead@example.org"), std::string::npos);
  EXPECT_NE(request.find("mailto:grace@example.org"), std::string::npos);
  EXPECT_NE(request.find("mailto:alan@example.org"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(StorePath("tasks/" + uid + ".ics"))) << "a sent task stays in the folder";
}

// Whatever a client or a contact file hands over, a request holds one line per attendee and its
// files stay in their folders.
TEST_F(TaskStoreTest, AddressesThatWouldBreakTheRequestAreRefused) {
  WriteStoreFile("contacts/bad.vcf",
                 "BEGIN:VCARD\nFN:Mallory\nEMAIL:m@evil.test\\nATTENDEE:mailto:x@evil.test\nEND:VCARD\n");
  TOleVariant task = Tasks().Call("Add", 3);
  task.Put("UID", "../../escape");
  task.Call("Assign");
  const TOleVariant recipients = task.Get("Recipients");
  for (const char* text : {"x@y.test\r\nBEGIN:VEVENT", "Eve <e ve@y.test>", "Eve <eve@y.test,mallory@evil.test>",
                           "Eve <\"eve\"@y.test>", "a@b@c.test", "a@", "tab\t@y.test", "Eve <eve@y.test?cc=m@evil.test>"})
    EXPECT_THROW(recipients.Call("Add", text), EOleError) << text;
  recipients.Call("Add", "Mallory");
  EXPECT_THROW(task.Call("Send"), EOleError) << "a contact whose address would break the request is no address";
  recipients.Call("Remove", 1);
  recipients.Call("Add", "Zoë <zoë+tasks@bücher.example>");
  task.Call("Send");
  const std::vector<std::string> sent = CalendarFiles(StorePath("outbox"));
  ASSERT_EQ(sent.size(), 1u) << "the request lies in the outbox, whatever the UID says";
  const std::string request = ReadText(sent[0]);
  EXPECT_NE(request.find("mailto:zo%C3%AB+tasks@b%C3%BCcher.example"), std::string::npos) << request;
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 1u);
}

std::string TaskFile(const std::string& AUid, const std::string& AProperties) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VTODO\r\nUID:" + AUid +
         "\r\nDTSTAMP:20260101T000000Z\r\n" + AProperties + "END:VTODO\r\nEND:VCALENDAR\r\n";
}

TEST_F(TaskStoreTest, PercentagesOutsideTheRangeAreClampedWithAWarning) {
  WriteStoreFile("tasks/a.ics", TaskFile("a", "PERCENT-COMPLETE:99999999999999999\r\n"));
  WriteStoreFile("tasks/b.ics", TaskFile("b", "PERCENT-COMPLETE:-7\r\n"));
  WriteStoreFile("tasks/c.ics", TaskFile("c", "PERCENT-COMPLETE:4294967346\r\n"));
  std::ostringstream warnings;
  std::streambuf* was = std::cerr.rdbuf(warnings.rdbuf());
  const TOleVariant items = Tasks();
  const std::vector<int> percents{items.Call("Item", 1).Get("PercentComplete").AsInteger(),
                                  items.Call("Item", 2).Get("PercentComplete").AsInteger(),
                                  items.Call("Item", 3).Get("PercentComplete").AsInteger()};
  std::cerr.rdbuf(was);
  EXPECT_EQ(percents, (std::vector<int>{100, 0, 100})) << "the last one's low bits would read as 50";
  EXPECT_EQ(warnings.str(),
            "warning: tasks: " + StorePath("tasks/a.ics") + ": PERCENT-COMPLETE 99999999999999999 is outside 0 to 100; "
            "taken as 100\nwarning: tasks: " + StorePath("tasks/b.ics") + ": PERCENT-COMPLETE -7 is outside 0 to 100; "
            "taken as 0\nwarning: tasks: " + StorePath("tasks/c.ics") + ": PERCENT-COMPLETE 4294967346 is outside 0 to "
            "100; taken as 100\n");
  std::filesystem::remove_all(StorePath("tasks"));  // invalid on purpose: not for the fixture's check
}

// Read time must grow with the line, not with its square: a 12 MB line costs what the same text
// folded into short lines costs, give or take what only a quadratic reader would exceed.
TEST_F(TaskStoreTest, ALongUnfoldedLineReadsInLinearTime) {
  const std::string text(12 << 20, 'x');
  std::string folded;
  for (size_t i = 0; i < text.size(); i += 70) folded += "\r\n " + text.substr(i, 70);
  const auto readTime = [&](const std::string& ASummary) {
    WriteStoreFile("tasks/long.ics", TaskFile("long", "SUMMARY:" + ASummary + "\r\n"));
    const auto start = std::chrono::steady_clock::now();
    const TOleVariant items = Tasks();
    EXPECT_EQ(items.Call("Item", 1).Get("Subject").AsString().size(), text.size());
    return std::chrono::steady_clock::now() - start;
  };
  const auto foldedTime = readTime(folded.substr(3));
  const auto unfoldedTime = readTime(text);
  EXPECT_LT(unfoldedTime, foldedTime * 10 + std::chrono::seconds(2));
  std::filesystem::remove_all(StorePath("tasks"));  // its line is too long for a valid file
}

// A killed save's temporary file goes; one whose save still runs (its target locked) stays.
TEST_F(TaskStoreTest, TemporaryFilesOfKilledSavesAreRemovedOnTheNextRead) {
  WriteStoreFile("tasks/a.ics", TaskFile("a", ""));
  WriteStoreFile("tasks/a.ics.Xy12Ab34.tmp", "BEGIN:VCAL");
  WriteStoreFile("tasks/b.ics.Qw56Er78.tmp", "BEGIN:VCAL");
  WriteStoreFile("outbox/a-1.ics.Zx90Cv12.tmp", "");
  WriteStoreFile("tasks/notes.tmp", "not ours");
  const int lock = open(StorePath("tasks/a.ics").c_str(), O_RDONLY);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  EXPECT_EQ(Tasks().Get("Count").AsInteger(), 1);
  EXPECT_TRUE(std::filesystem::exists(StorePath("tasks/a.ics.Xy12Ab34.tmp"))) << "its save still runs";
  EXPECT_FALSE(std::filesystem::exists(StorePath("tasks/b.ics.Qw56Er78.tmp")));
  EXPECT_FALSE(std::filesystem::exists(StorePath("outbox/a-1.ics.Zx90Cv12.tmp")));
  EXPECT_TRUE(std::filesystem::exists(StorePath("tasks/notes.tmp")));
  close(lock);
  EXPECT_EQ(Tasks().Get("Count").AsInteger(), 1);
  EXPECT_FALSE(std::filesystem::exists(StorePath("tasks/a.ics.Xy12Ab34.tmp")));
}

TEST_F(TaskStoreTest, SendingNeedsAnAssignedTaskWithRecipients) {
  TOleVariant task = Tasks().Call("Add", 3);
  task.Get("Recipients").Call("Add", "a@example.org");
  EXPECT_THROW(task.Call("Send"), EOleError);
  task.Get("Recipients").Call("Remove", 1);
  task.Call("Assign");
  EXPECT_THROW(task.Call("Send"), EOleError);
}

TEST_F(TaskStoreTest, InjectedFaultsRaiseWhatCallersHandle) {
  Faults("write,send=1");
  TOleVariant task = Tasks().Call("Add", 3);
  try {
    task.Call("Save");
    ADD_FAILURE() << "saved";
  } catch (const EOleError& error) {
    EXPECT_EQ(error.Code(), STG_E_WRITEFAULT);
    EXPECT_NE(std::string(error.what()).find(StorePath("tasks/")), std::string::npos) << error.what();
  }
  EXPECT_TRUE(CalendarFiles(FStore.Path()).empty());

  Faults("send=1");
  task = Tasks().Call("Add", 3);
  task.Call("Assign");
  task.Get("Recipients").Call("Add", "a@example.org");
  EXPECT_THROW(task.Call("Send"), EOleError);
  EXPECT_NO_THROW(task.Call("Send")) << "only the first send fails";
  EXPECT_EQ(CalendarFiles(StorePath("outbox")).size(), 1u);
}

TEST_F(TaskStoreTest, WrongCallsNameTheMember) {
  TOleVariant task = Tasks().Call("Add", 3);
  const auto message = [&](auto ACall) -> std::pair<std::string, HRESULT> {
    try {
      ACall();
    } catch (const EOleError& error) {
      return {error.what(), error.Code()};
    }
    return {"", S_OK};
  };
  EXPECT_EQ(message([&] { task.Call("Frobnicate"); }),
            std::make_pair(std::string("Member 'Frobnicate' not supported by automation object TaskItem"),
                           DISP_E_UNKNOWNNAME));
  EXPECT_EQ(message([&] { task.Put("PercentComplete", "lots"); }).second, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(message([&] { task.Put("PercentComplete", 101); }).first,
            "TaskItem.PercentComplete: the value 101 is outside 0 to 100");
  EXPECT_EQ(message([&] { task.Put("EntryID", "x"); }).second, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(message([&] { task.Call("Save", 1); }).second, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(message([&] { Tasks().Call("Item", 1); }).second, DISP_E_BADINDEX);
  task.Put("percentcomplete", "50");
  EXPECT_EQ(task.Get("PERCENTCOMPLETE").AsInteger(), 50) << "names in any case, numbers from text";
}

TEST_F(TaskStoreTest, TheFolderComesFromTheSettingsWhenTheVariableIsUnset) {
  TTempFolder other;
  unsetenv("LUMETA_TASKS_DIR");
  SettingsStore().WriteString(THive::CurrentUser, "Software\\Lumeta\\TaskProgram", "Folder", other.Path());
  const TOleVariant app = CreateOleObject(TaskProgramProgID);
  EXPECT_EQ(app.Get("StoreFolder").AsString(), other.Path());
  app.Call("Quit");
  setenv("LUMETA_TASKS_DIR", FStore.Path().c_str(), 1);
}

}  // namespace
