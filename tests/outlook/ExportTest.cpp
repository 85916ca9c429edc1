// The exporter and its options against the task program's store, every file read back by Python's
// icalendar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "com/OleDate.h"
#include "contract/ActionAttributesIntf.h"
#include "commands/SelectionData.h"
#include "host/LumetaMapSettings.h"
#include "host/LumetaModel.h"
#include "outlook/ActionOutlookExporter.h"
#include "outlook/ExportActionsOptions.h"
#include "session/HostDataEditor.h"
#include "plugin/ActionHelpers.h"
#include "tests/outlook/TaskProgramFixture.h"
#include "tests/support/InProcessPlugIn.h"
#include "tests/support/RecordingDialogService.h"
#include "tests/support/Thrown.h"

namespace {

// 1 Plan (summary) > 2 Design, 3 Build (posted, after Design); 4 Folded (collapsed) > 5 Hidden;
// 6 Idea (no action); 7 Bare (an action and nothing else).
const char* const KMap = R"(<Map Version="1" HighestID="7">
  <Title>Offsite</Title>
  <Node ID="1"><Title>Plan</Title>
    <Action ForOutlook="true"><Status>In Progress</Status></Action>
    <Node ID="2"><Title>Design</Title>
      <Notes>&lt;p&gt;Draw &lt;b&gt;it&lt;/b&gt;&lt;/p&gt;</Notes>
      <Resources><Resource Name="Ada Brown" Email="ada@example.com" /><Resource Name="Bob" /></Resources>
      <Attachments><Attachment>/docs/brief.pdf</Attachment></Attachments>
      <Categories><Category>Smith, John</Category><Category>Work</Category></Categories>
      <Connections><Connection Node="3" /></Connections>
      <Action ForOutlook="true">
        <Complete>50</Complete><Priority>High</Priority><Status>waiting on someone else</Status>
        <StartDate>2026-03-02T09:00:00</StartDate><DueDate>2026-03-06T17:00:00</DueDate>
      </Action>
      <SuccessorTaskLinks><Link Node="3" Type="qz:FinishToStart" /></SuccessorTaskLinks>
    </Node>
    <Node ID="3"><Title>Build</Title>
      <Action ForOutlook="true" PostedToOutlook="true"><Complete>100</Complete>
        <CompletedDate>2026-03-10T12:00:00</CompletedDate><Priority>Low</Priority></Action>
      <TaskLinks><Link Node="2" Type="qz:FinishToStart" /></TaskLinks>
    </Node>
  </Node>
  <Node ID="4" Expanded="false"><Title>Folded</Title><Action ForOutlook="true" />
    <Node ID="5"><Title>Hidden</Title><Action ForOutlook="true" /></Node>
  </Node>
  <Node ID="6"><Title>Idea</Title><Action ForOutlook="false" /></Node>
  <Node ID="7"><Title>Bare</Title><Action ForOutlook="true"><DueDate>1899-12-30T00:00:00</DueDate></Action></Node>
</Map>)";

// Cancels once it was updated AAfter times.
class TCancellingProgress : public TImplements<TComObject, ILumetaProgress, ILumetaProgressCancel> {
 public:
  explicit TCancellingProgress(int AAfter) : FAfter(AAfter) {}
  void Finish() override {}
  int32_t GetPosition() override { return 0; }
  int32_t GetMax() override { return 0; }
  void Start(const std::string&, const std::string&) override {}
  void SetPosition(int32_t) override {}
  void SetMax(int32_t) override {}
  void UpdateStatus(const std::string&, const std::string&) override {}
  void UpdateProgress(const std::string&, const std::string&, int32_t, int32_t) override { ++FUpdates; }
  bool GetCancelled() override { return FUpdates >= FAfter; }

 private:
  int FAfter;
  int FUpdates = 0;
};

class ExportTest : public TaskProgramTest {
 protected:
  void SetUp() override {
    TaskProgramTest::SetUp();
    std::unique_ptr<TLumetaMap> map = Archive.LoadFromText(KMap);
    Model->Map().Swap(*map);
  }
  void TearDown() override {
    Model->Close();
    TaskProgramTest::TearDown();
  }

  ComPtr<IExportActionsOutlookOptions> Options(int32_t ARange, int32_t AInclude, bool AAll = false,
                                               bool AExpand = false) {
    auto options = make<TExportActionsOutlookOptions>();
    options->SetExportRange(ARange);
    options->SetIncludeProperties(AInclude);
    options->SetActionsToExport(AAll ? aeAll : aeNewOrUpdated);
    options->SetExpandBranches(AExpand);
    return options;
  }
  ComPtr<ISelection> Selection(std::initializer_list<int> AIDs) {
    auto selection = make<TData>();
    for (int id : AIDs) selection->Add(static_cast<INode*>(Model->Map().GetNode(id)));
    return selection;
  }
  std::vector<std::string> Collected(const ComPtr<IExportActionsOutlookOptions>& AOptions, ISelection* ASelection = nullptr) {
    std::vector<std::string> ids;
    for (const ComPtr<INode>& node : TActionOutlookExporter::CollectNodes(AOptions.get(), ASelection, Model.get()))
      ids.push_back(node->GetID());
    return ids;
  }
  // What a dry run lists: the IDs of the nodes an export would send.
  std::set<std::string> Planned(const ComPtr<IExportActionsOutlookOptions>& AOptions) {
    std::set<std::string> ids;
    for (const TPlannedTask& task : TActionOutlookExporter(nullptr).PlanExport(AOptions.get(), nullptr, Model.get()))
      ids.insert(task.Node->GetID());
    return ids;
  }
  int32_t Export(const ComPtr<IExportActionsOutlookOptions>& AOptions, ISelection* ASelection = nullptr,
                 ComPtr<ILumetaProgress> AProgress = nullptr) {
    TActionOutlookExporter exporter(std::move(AProgress));
    exporter.OnExported = [&](const TExportedTask& ATask) { Exported.push_back(ATask); };
    return exporter.ExportActions(AOptions.get(), ASelection, Model.get());
  }
  bool Posted(int AID) { return TActionHelper::GetAction(Model->Map().GetNode(AID), false)->GetPostedToOutlook(); }
  // The store's files as icalendar reads them: "SUMMARY|NAME|VALUE" lines.
  std::set<std::string> ReadBack() {
    std::string command = LUMETA_ICAL_READBACK;
    for (const std::string& file : CalendarFiles(FStore.Path())) command += " '" + file + "'";
    std::set<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    while (pipe && fgets(buffer, sizeof buffer, pipe)) {
      std::string line = buffer;
      if (!line.empty() && line.back() == '\n') line.pop_back();
      lines.insert(line);
    }
    if (pipe) {
      EXPECT_EQ(pclose(pipe), 0);
    }
    return lines;
  }
  static std::set<std::string> Of(const std::set<std::string>& ALines, const std::string& ASummary) {
    std::set<std::string> result;
    for (const std::string& line : ALines)
      if (line.starts_with(ASummary + "|")) result.insert(line.substr(ASummary.size() + 1));
    return result;
  }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};
  ComPtr<TLumetaModel> Model = make<TLumetaModel>();
  std::vector<TExportedTask> Exported;
};

TEST_F(ExportTest, RangesWalkExpandedBranchesUnlessToldOtherwise) {
  EXPECT_EQ(Collected(Options(erCurrentView, 0, true)), (std::vector<std::string>{"1", "2", "3", "4", "7"}));
  EXPECT_EQ(Collected(Options(erCurrentView, 0, true, true)),
            (std::vector<std::string>{"1", "2", "3", "4", "5", "7"}));
  EXPECT_EQ(Collected(Options(erEntireMap, 0, true)), (std::vector<std::string>{"1", "2", "3", "4", "5", "7"}));
  EXPECT_EQ(Collected(Options(erSelection, 0, true), Selection({5, 6, 2}).get()), (std::vector<std::string>{"5", "2"}))
      << "selection order; a node that is no action never";
  EXPECT_EQ(Collected(Options(erEntireMap, 0)), (std::vector<std::string>{"1", "2", "4", "5", "7"}))
      << "new or updated leaves out what was posted";
  EXPECT_TRUE(Collected(Options(erSelection, 0), Selection({}).get()).empty());
}

TEST_F(ExportTest, EveryIncludedFieldReachesTheTaskAndItsRecipients) {
  TDialogRecorder dialogs;
  EXPECT_EQ(Export(Options(erSelection, 2047 & ~eiFullTitlePath, true), Selection({1, 2, 3}).get()), 3);
  EXPECT_TRUE(dialogs->Entries.empty());
  const std::set<std::string> lines = ReadBack();
  EXPECT_EQ(Of(lines, "Design"),
            (std::set<std::string>{
                "DESCRIPTION|Resources for this task without an email address\\nBob\\n\\nDraw it\\n\\nAttachments:\\n"
                "brief.pdf : /docs/brief.pdf\\n\\nMental Connections (Out-going): \\nDesign---->Build",
                "STATUS|IN-PROCESS", "X-LUMETA-TASK-STATUS|WAITING", "PRIORITY|1", "PERCENT-COMPLETE|50",
                "DTSTART|2026-03-02T09:00:00", "DUE|2026-03-06T17:00:00", "CATEGORY|Smith, John", "CATEGORY|Work",
                "RELATED-TO|PARENT Plan", "RELATED-TO|FINISHTOSTART Build", "REQUEST|mailto:ada@example.com"}));
  const std::set<std::string> build = Of(lines, "Build");
  EXPECT_TRUE(build.contains("PRIORITY|9")) << "low";
  EXPECT_TRUE(build.contains("DESCRIPTION|Mental Connections (In-coming): \\nBuild<----Design"));
  EXPECT_TRUE(build.contains("RELATED-TO|PARENT Plan"));
  EXPECT_EQ(std::count_if(build.begin(), build.end(), [](const std::string& A) { return A.starts_with("COMPLETED|"); }), 1);
  EXPECT_FALSE(Of(lines, "Plan").contains("RELATED-TO|PARENT Plan"));
  ASSERT_EQ(Exported.size(), 3u);
  EXPECT_EQ(Exported[1].NodeID, "2");
  EXPECT_EQ(Exported[1].Subject, "Design");
  EXPECT_TRUE(Exported[1].Uid.ends_with("-2")) << "the map's identity and the node's ID: " << Exported[1].Uid;
}

TEST_F(ExportTest, HostDataEditedAsUndoStepsTravelsWithTheTask) {
  THostDataEditor editor(Model.get());
  ASSERT_TRUE(editor.AddResource(7, "Cy", "cy@example.com"));
  ASSERT_TRUE(editor.AddCategory(7, "Move"));
  ASSERT_TRUE(editor.AddAttachment(7, "Floor plan", "/docs/plan-v2.pdf"));
  ASSERT_TRUE(editor.SetNotes(7, "Keys at the desk"));
  ASSERT_TRUE(editor.AddResource(7, "Dee", "dee@example.com"));
  Model->Processor()->UndoLast();
  EXPECT_EQ(Export(Options(erSelection, 2047 & ~eiFullTitlePath, true), Selection({7}).get()), 1);
  const std::set<std::string> bare = Of(ReadBack(), "Bare");
  EXPECT_TRUE(bare.contains("REQUEST|mailto:cy@example.com")) << "what was undone is not sent";
  EXPECT_FALSE(bare.contains("REQUEST|mailto:dee@example.com"));
  EXPECT_TRUE(bare.contains("CATEGORY|Move"));
  EXPECT_TRUE(bare.contains("DESCRIPTION|Keys at the desk\\n\\nAttachments:\\nFloor plan : /docs/plan-v2.pdf"))
      << testing::PrintToString(bare);
}

TEST_F(ExportTest, FieldsOutsideTheIncludedBitsStayUnset) {
  EXPECT_EQ(Export(Options(erSelection, 0, true), Selection({2, 7}).get()), 2);
  const std::set<std::string> design = Of(ReadBack(), "Design");
  EXPECT_EQ(design, (std::set<std::string>{
                        "DESCRIPTION|Resources for this task without an email address\\nBob", "STATUS|NEEDS-ACTION",
                        "PRIORITY|5", "PERCENT-COMPLETE|0", "REQUEST|mailto:ada@example.com"}))
      << "Build was not exported: no relation to it";
}

TEST_F(ExportTest, FullTitlePathAndAZeroDueDate) {
  EXPECT_EQ(Export(Options(erSelection, eiFullTitlePath | eiDueDate, true), Selection({2, 7}).get()), 2);
  const std::set<std::string> lines = ReadBack();
  EXPECT_FALSE(Of(lines, "Plan->Design").empty()) << "a node two levels down";
  const std::set<std::string> bare = Of(lines, "Bare");
  EXPECT_EQ(bare, (std::set<std::string>{"STATUS|NEEDS-ACTION", "PRIORITY|5", "PERCENT-COMPLETE|0"}))
      << "directly below the root: its own title; no due date, no body";
  EXPECT_EQ(CalendarFiles(StorePath("outbox")).size(), 1u) << "only the task with a recipient was sent";
}

TEST_F(ExportTest, PostedActionsAreNotExportedAgainUnlessAllAreWanted) {
  EXPECT_EQ(Export(Options(erEntireMap, 0)), 5);
  for (int id : {1, 2, 4, 5, 7}) EXPECT_TRUE(Posted(id)) << id;
  EXPECT_EQ(Model->GetCommandProcessor()->GetUndoCount(), 0) << "the flag is no undoable edit";
  EXPECT_EQ(Export(Options(erEntireMap, 0)), 0);
  EXPECT_EQ(Export(Options(erEntireMap, 0, true)), 6);
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 6u) << "the five tasks were updated, one was added";
}

TEST_F(ExportTest, ACancelledRunKeepsWhatItExportedAndTouchesNothingElse) {
  EXPECT_EQ(Export(Options(erEntireMap, 2047), nullptr, make<TCancellingProgress>(2)), 2);
  EXPECT_TRUE(Posted(1));
  EXPECT_TRUE(Posted(2));
  for (int id : {4, 5, 7}) EXPECT_FALSE(Posted(id)) << id;
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 2u);
  EXPECT_FALSE(Of(ReadBack(), "Plan->Design").empty());
}

TEST_F(ExportTest, ATaskProgramThatDoesNotStartIsReportedAndNothingIsMarked) {
  TDialogRecorder dialogs;
  Faults("logon");
  EXPECT_EQ(Export(Options(erEntireMap, 0)), -1);
  EXPECT_EQ(dialogs->Texts(), std::vector<std::string>{"Outlook failed to initialise properly"});
  EXPECT_FALSE(Posted(2));
}

TEST_F(ExportTest, ARefusedSendIsRetriedThenTheTaskIsKept) {
  Faults("send=1");
  EXPECT_EQ(Export(Options(erSelection, 0, true), Selection({2}).get()), 1);
  EXPECT_EQ(CalendarFiles(StorePath("outbox")).size(), 1u) << "the second attempt went out";
  Faults("send");
  EXPECT_EQ(Export(Options(erSelection, 0, true), Selection({2}).get()), 1);
  EXPECT_EQ(CalendarFiles(StorePath("outbox")).size(), 1u);
  EXPECT_NE(ReadText(CalendarFiles(StorePath("tasks")).at(0)).find("\r\nSEQUENCE:2\r\n"), std::string::npos)
      << "saved, as the next version, when every attempt failed";
}

// A hostile map: an address that would add an attendee and a VEVENT, a name that would add a
// property, an address with a space. Only the clean recipient gets the request, and the request is
// exactly what a calendar reads as one task for two people.
TEST_F(ExportTest, AddressesAndNamesCannotInjectIntoTheRequest) {
  std::unique_ptr<TLumetaMap> map = Archive.LoadFromText(R"(<Map Version="1" HighestID="1">
  <Node ID="1"><Title>Review</Title>
    <Resources>
      <Resource Name="Eve" Email="eve@example.com&#13;&#10;ATTENDEE:mailto:mallory@evil.test&#13;&#10;BEGIN:VEVENT" />
      <Resource Name="Bob &quot;B&quot;&#13;&#10;X-INJECTED:1" Email="bob@example.com" />
      <Resource Name="Spacey" Email="sp acey@example.com" />
    </Resources>
    <Action ForOutlook="true" />
  </Node>
</Map>)");
  Model->Map().Swap(*map);
  TDialogRecorder dialogs;
  EXPECT_EQ(Export(Options(erEntireMap, 0)), 1);
  EXPECT_EQ(dialogs->Texts(),
            (std::vector<std::string>{
                "node 1 'Review': the e-mail address 'eve@example.com\\x0D\\x0AATTENDEE:mailto:mallory@evil.test\\x0D"
                "\\x0ABEGIN:VEVENT' of resource 'Eve' has a line break; the task is not sent to it",
                "node 1 'Review': the e-mail address 'sp acey@example.com' of resource 'Spacey' has a space; the task "
                "is not sent to it"}));
  const std::vector<std::string> sent = CalendarFiles(StorePath("outbox"));
  ASSERT_EQ(sent.size(), 1u);
  std::string request = ReadText(sent[0]);
  // The moments and the UID differ from run to run.
  for (const char* name : {"DTSTAMP:", "LAST-MODIFIED:", "UID:", "DTSTART;VALUE=DATE:"}) {
    const size_t at = request.find(std::string("\r\n") + name);
    ASSERT_NE(at, std::string::npos) << name;
    const size_t end = request.find("\r\n", at + 2);
    request.replace(at + 2 + std::strlen(name), end - at - 2 - std::strlen(name), "*");
  }
  EXPECT_EQ(request,
            "BEGIN:VCALENDAR\r\nPRODID:-//Lumeta//Task Program 16//EN\r\nVERSION:2.0\r\nMETHOD:REQUEST\r\n"
            "BEGIN:VTODO\r\nUID:*\r\nDTSTAMP:*\r\nLAST-MODIFIED:*\r\nSEQUENCE:1\r\nSUMMARY:Review\r\n"
            "DESCRIPTION:Resources for this task without an email \r\n address\\nEve\\nSpacey\r\n"
            "STATUS:NEEDS-ACTION\r\nPRIORITY:5\r\nPERCENT-COMPLETE:0\r\nDTSTART;VALUE=DATE:*\r\n"
            "ORGANIZER;CN=Olive Owner:mailto:owner@example.org\r\n"
            "ATTENDEE;ROLE=REQ-PARTICIPANT;PARTSTAT=NEEDS-ACTION;RSVP=TRUE;CN=\"Bob \r\n"
            " ^'B^'  X-INJECTED:1\":mailto:bob@example.com\r\n"
            "END:VTODO\r\nEND:VCALENDAR\r\n");
}

TEST_F(ExportTest, AValueATaskCannotHoldIsClampedOrLeftOutAndTheRunGoesOn) {
  ComPtr<IActionAttribute> design = TActionHelper::GetAction(Model->Map().GetNode(2), false);
  design->SetComplete(1000);
  design->SetDueDate(EncodeDate(6000, 1, 1));
  TDialogRecorder dialogs;
  EXPECT_EQ(Export(Options(erSelection, eiPercentComplete | eiDueDate | eiStartDate, true), Selection({2, 7}).get()), 2);
  EXPECT_EQ(dialogs->Texts(), (std::vector<std::string>{
                                  "node 2 'Design': % Complete 1000 is outside 0 to 100; the task gets 100",
                                  "node 2 'Design': Due Date is no date a task can hold; left out"}));
  const std::set<std::string> lines = Of(ReadBack(), "Design");
  EXPECT_TRUE(lines.contains("PERCENT-COMPLETE|100"));
  EXPECT_TRUE(lines.contains("DTSTART|2026-03-02T09:00:00"));
  EXPECT_FALSE(std::any_of(lines.begin(), lines.end(), [](const std::string& A) { return A.starts_with("DUE|"); }));
  EXPECT_TRUE(Posted(2));
  EXPECT_TRUE(Posted(7));
}

// A run that fails halfway, and a map that is then not saved: the next run marks what went out
// and exports only the rest, even with every action wanted.
TEST_F(ExportTest, ARunThatFailedIsContinuedByTheNext) {
  Faults("write=2");
  EXPECT_THROW(Export(Options(erSelection, 0, true), Selection({1, 4, 5, 7}).get()), EOleError);
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 2u);
  unsetenv("LUMETA_TASKS_FAULTS");
  std::unique_ptr<TLumetaMap> unsaved = Archive.LoadFromText(KMap);
  Model->Map().Swap(*unsaved);
  for (int id : {1, 4}) EXPECT_FALSE(Posted(id)) << "the marks were lost with the process";

  TDialogRecorder dialogs;
  EXPECT_EQ(Export(Options(erSelection, 0, true), Selection({1, 4, 5, 7}).get()), 2);
  EXPECT_EQ(dialogs->Texts(), (std::vector<std::string>{"2 actions were exported by an earlier run that did not end; "
                                                        "they are now marked as posted and not exported again"}));
  for (int id : {1, 4, 5, 7}) EXPECT_TRUE(Posted(id)) << id;
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 4u) << "each action once";
  EXPECT_FALSE(std::filesystem::exists(StorePath("exports"))
               && !std::filesystem::is_empty(StorePath("exports"))) << "an ended run leaves no journal";

  dialogs->Entries.clear();
  EXPECT_EQ(Export(Options(erSelection, 0, true), Selection({1}).get()), 1) << "a later run exports all again, as asked";
  EXPECT_TRUE(dialogs->Entries.empty());
}

// A task without a title, one due before it starts, one that starts and ends on one day, one known
// only by its planned finish: each is a task calendar programs list with the due day the map shows.
TEST_F(ExportTest, EveryTaskHasATitleAndADueDateClientsAccept) {
  std::unique_ptr<TLumetaMap> map = Archive.LoadFromText(R"(<Map Version="1" HighestID="12">
  <Node ID="12"><Title />
    <Action ForOutlook="true"><StartDate>2026-03-09T00:00:00</StartDate><DueDate>2026-03-09T00:00:00</DueDate></Action>
  </Node>
  <Node ID="2"><Title>Backwards</Title>
    <Action ForOutlook="true"><StartDate>2026-03-09T09:00:00</StartDate><DueDate>2026-03-04T17:00:00</DueDate></Action>
  </Node>
  <Node ID="3"><Title>Planned</Title>
    <Action ForOutlook="true"><StartDate>2026-03-02T08:00:00</StartDate><CompletedDate>2026-03-06T17:00:00</CompletedDate></Action>
  </Node>
</Map>)");
  Model->Map().Swap(*map);
  TDialogRecorder dialogs;
  EXPECT_EQ(Export(Options(erEntireMap, eiStartDate | eiDueDate)), 3);
  EXPECT_EQ(dialogs->Texts(),
            (std::vector<std::string>{"node 12 '': it has no title; the task is called 'Task 12'",
                                      "node 2 'Backwards': the Due Date is before the Start Date; the task is written "
                                      "without a start"}));
  const std::set<std::string> lines = ReadBack();
  EXPECT_EQ(Of(lines, "Task 12"), (std::set<std::string>{"DUE|2026-03-09", "STATUS|NEEDS-ACTION", "PRIORITY|5",
                                                        "PERCENT-COMPLETE|0"}));
  EXPECT_TRUE(Of(lines, "Backwards").contains("DUE|2026-03-04T17:00:00"));
  EXPECT_FALSE(Of(lines, "Backwards").contains("DTSTART|2026-03-09T09:00:00"));
  EXPECT_TRUE(Of(lines, "Planned").contains("DUE|2026-03-06T17:00:00")) << "the planned finish";
}

// The map is exported, edited and saved, and exported again: every action keeps its one task, which
// is updated in place when the action changed; the task of a deleted node is withdrawn.
TEST_F(ExportTest, ExportsAgainUpdateTheTasksTheyMadeAndCancelWhatWasDeleted) {
  constexpr int32_t KAll = 2047 & ~eiFullTitlePath;
  std::string map = KMap;
  map.replace(map.find("<Title>Hidden</Title>"), 21, "<Title>Hidden</Title><Resources><Resource Name=\"Eve\" Email=\"eve@example.com\" /></Resources>");
  std::unique_ptr<TLumetaMap> assigned = Archive.LoadFromText(map);
  Model->Map().Swap(*assigned);
  EXPECT_EQ(Export(Options(erEntireMap, KAll)), 5);
  const auto sequenceOf = [&](const std::string& AUid) {
    const std::string text = ReadText(StorePath("tasks/" + AUid + ".ics"));
    const size_t at = text.find("\r\nSEQUENCE:");
    return at == std::string::npos ? -1 : std::stoi(text.substr(at + 11));
  };
  std::map<std::string, std::string> uids;  // node ID to UID
  for (const TExportedTask& task : Exported) uids[task.NodeID] = task.Uid;
  const int designSequence = sequenceOf(uids["2"]);

  // Nothing changed: the default export sends nothing, and a dry run says so.
  EXPECT_TRUE(Planned(Options(erEntireMap, KAll)).empty());
  Exported.clear();
  EXPECT_EQ(Export(Options(erEntireMap, KAll)), 0);

  // Rename Bare, give Folded a category, delete Hidden, give Design another resource, link Design to
  // Bare;
  // then the map is saved and opened again.
  std::string text = Archive.SaveToText(Model->Map());
  const auto replace = [&](const std::string& AOld, const std::string& ANew) {
    const size_t at = text.find(AOld);
    ASSERT_NE(at, std::string::npos) << AOld;
    text.replace(at, AOld.size(), ANew);
  };
  replace("<Title>Bare</Title>", "<Title>Bare renamed</Title><TaskLinks><Link Node=\"2\" Type=\"qz:FinishToStart\" /></TaskLinks>");
  replace("<SuccessorTaskLinks>", "<SuccessorTaskLinks><Link Node=\"7\" Type=\"qz:FinishToStart\" />");
  replace("<Title>Folded</Title>", "<Title>Folded</Title><Categories><Category>Done</Category></Categories>");
  const size_t hidden = text.find("<Node ID=\"5\"");
  text.erase(hidden, text.find("</Node>", hidden) + 7 - hidden);
  replace("<Resource Name=\"Bob\" />", "<Resource Name=\"Carol\" Email=\"carol@example.com\" />");
  std::unique_ptr<TLumetaMap> edited = Archive.LoadFromText(text);
  Model->Map().Swap(*edited);
  TDialogRecorder dialogs;
  EXPECT_EQ(Planned(Options(erEntireMap, KAll)), (std::set<std::string>{"2", "4", "7"})) << "a dry run lists the updates";
  Exported.clear();
  EXPECT_EQ(Export(Options(erEntireMap, KAll)), 3);
  std::set<std::string> updated;
  for (const TExportedTask& task : Exported) {
    updated.insert(task.NodeID);
    EXPECT_EQ(task.Uid, uids[task.NodeID]) << "the same task for node " << task.NodeID;
  }
  EXPECT_EQ(updated, (std::set<std::string>{"2", "4", "7"}));
  EXPECT_EQ(dialogs->Texts(), (std::vector<std::string>{"1 tasks were cancelled: their nodes were deleted or are no "
                                                        "longer actions for Outlook"}));
  EXPECT_GT(sequenceOf(uids["2"]), designSequence);
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 5u) << "no second task for any action";
  const std::set<std::string> lines = ReadBack();
  EXPECT_TRUE(Of(lines, "Hidden").contains("STATUS|CANCELLED"));
  EXPECT_FALSE(Of(lines, "Bare renamed").empty());
  EXPECT_TRUE(Of(lines, "Bare").empty()) << "the old title is gone";
  // Design's assignees got an update of the one task: same UID, a higher SEQUENCE.
  std::set<std::string> requests;
  for (const std::string& file : CalendarFiles(StorePath("outbox")))
    requests.insert(std::filesystem::path(file).filename().string());
  const std::string cancel = uids["5"] + "-" + std::to_string(sequenceOf(uids["5"])) + ".ics";
  EXPECT_EQ(requests, (std::set<std::string>{uids["2"] + "-1.ics", uids["2"] + "-" + std::to_string(sequenceOf(uids["2"])) + ".ics",
                                             uids["5"] + "-1.ics", cancel}));
  EXPECT_NE(ReadText(StorePath("outbox/" + cancel)).find("METHOD:CANCEL"), std::string::npos) << "Eve is told";
  EXPECT_TRUE(Of(lines, "Design").contains("REQUEST|mailto:carol@example.com"));
  EXPECT_TRUE(Of(lines, "Design").contains("RELATED-TO|FINISHTOSTART Bare renamed"));

  // Every action again, as asked: still one task each.
  Exported.clear();
  EXPECT_EQ(Export(Options(erEntireMap, KAll, true)), 5);
  EXPECT_EQ(CalendarFiles(StorePath("tasks")).size(), 6u) << "Build, posted before but never exported, is added";
  EXPECT_ANY_THROW(Archive.LoadFromText(R"(<Map Identity="a/../b"><Title /></Map>)")) << "an identity names files";
}

// Without an owner an assigned task is refused, not sent from an address nobody reads; an owner
// given when asked is kept for later runs.
TEST_F(ExportTest, AssignedTasksNeedAnOwnerToBeSentFrom) {
  SettingsStore().DeleteValue(THive::CurrentUser, TaskProgramSettingsKey, "Owner");
  TDialogRecorder dialogs;
  EXPECT_EQ(Export(Options(erSelection, 0, true), Selection({2, 7}).get()), 1);
  EXPECT_EQ(dialogs->Texts(), std::vector<std::string>{"1 assigned tasks were not exported, as no owner is set to send "
                                                       "them from (lumeta tasks owner NAME EMAIL): node 2 'Design'"});
  EXPECT_FALSE(Posted(2));
  EXPECT_TRUE(Posted(7)) << "a task without recipients needs no owner";
  EXPECT_TRUE(CalendarFiles(StorePath("outbox")).empty());

  int asked = 0;
  TActionOutlookExporter exporter;
  exporter.OnOwnerMissing = [&](std::string& AName, std::string& AAddress) {
    AName = "Ada Lead";
    AAddress = ++asked == 1 ? "ada lead@example.com" : "ada@example.com";  // refused once, then right
    return true;
  };
  dialogs->Entries.clear();
  EXPECT_EQ(exporter.ExportActions(Options(erSelection, 0).get(), Selection({2}).get(), Model.get()), 1);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(dialogs->Texts(),
            std::vector<std::string>{"Application.SetOwner: the owner's e-mail address 'ada lead@example.com' has a space"});
  const std::vector<std::string> sent = CalendarFiles(StorePath("outbox"));
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(ReadText(sent[0]).find("ORGANIZER;CN=Ada Lead:mailto:ada@example.com"), std::string::npos);
  EXPECT_EQ(ReadTaskProgramOwner().Address, "ada@example.com") << "kept: the next run does not ask";
}

// With a time zone the dates are times in that zone, which the file describes; a zone nobody
// knows stops the run before anything is written.
TEST_F(ExportTest, TheMapsTimeZonePlacesTheDates) {
  Model->Map().MapSettings()->SetTimeZone("America/New_York");
  EXPECT_EQ(Export(Options(erSelection, eiStartDate | eiDueDate | eiDateCompleted | eiPercentComplete, true),
                   Selection({2, 3}).get()), 2);
  const std::set<std::string> lines = ReadBack();
  EXPECT_TRUE(Of(lines, "Design").contains("DTSTART|2026-03-02T09:00:00-05:00")) << "icalendar applies the VTIMEZONE";
  EXPECT_TRUE(Of(lines, "Design").contains("DUE|2026-03-06T17:00:00-05:00"));
  EXPECT_TRUE(Of(lines, "Build").contains("COMPLETED|2026-03-10T16:00:00+00:00")) << "noon in New York (summer time), in UTC";
  const std::string design = ReadText(StorePath("tasks/" + Exported[0].Uid + ".ics"));
  EXPECT_NE(design.find("BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\n"), std::string::npos);

  Model->Map().MapSettings()->SetTimeZone("Mars/Olympus_Mons");
  const std::string error = ThrownText<ELumetaError>([&] { Export(Options(erSelection, eiDueDate, true), Selection({2}).get()); });
  EXPECT_NE(error.find("'Mars/Olympus_Mons' is not a time zone"), std::string::npos) << error;
  EXPECT_EQ(ReadText(StorePath("tasks/" + Exported[0].Uid + ".ics")), design) << "nothing was written";
}

// ---- options

class ExportOptionsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetSettingsFolder(FSettings.Path()); }
  TTempFolder FSettings;
  const std::string Key = std::string(KExportSectionKey) + "\\" + KExportSectionName;
};

TEST_F(ExportOptionsTest, FirstRunMissingValuesAndARoundTrip) {
  auto options = make<TExportActionsOutlookOptions>();
  options->LoadSettings();
  EXPECT_EQ(options->GetExportRange(), erCurrentView);
  EXPECT_FALSE(options->GetExpandBranches());
  EXPECT_EQ(options->GetActionsToExport(), aeNewOrUpdated);
  EXPECT_EQ(options->GetIncludeProperties(), 0);
  EXPECT_FALSE(SettingsStore().KeyExists(THive::CurrentUser, KExportSectionKey)) << "loading creates nothing";

  SettingsStore().CreateKey(THive::CurrentUser, KExportSectionKey);
  options->LoadSettings();
  EXPECT_TRUE(options->GetExpandBranches());
  EXPECT_EQ(options->GetIncludeProperties(), eiFullTitlePath);

  options->SetIncludeProperties(eiStatus | eiDueDate);
  options->SetExportRange(erSelection);
  options->SetActionsToExport(aeAll);
  options->SetExpandBranches(false);
  options->SaveSettings();
  EXPECT_EQ(SettingsStore().ReadInteger(THive::CurrentUser, Key, "Include Properties", 0), 528);
  auto loaded = make<TExportActionsOutlookOptions>();
  loaded->LoadSettings();
  EXPECT_EQ(loaded->GetExportRange(), erSelection);
  EXPECT_EQ(loaded->GetActionsToExport(), aeAll);
  EXPECT_FALSE(loaded->GetExpandBranches());
  EXPECT_EQ(loaded->GetSectionName(), "ExportActionsToOutlook");
}

}  // namespace
