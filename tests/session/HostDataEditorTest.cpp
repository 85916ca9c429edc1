#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "com/ComErrors.h"
#include "com/OleDate.h"
#include "host/MapEditCommands.h"
#include "session/HostDataEditor.h"
#include "session/ResourceLoad.h"

namespace {

constexpr double KMonday = 45950;  // 2025-10-20

// Move (1) over Pack (2), Label (3), Ship (4); the calendar is the default one.
class HostDataEditorTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
    ASSERT_TRUE(dir) << "LUMETA_PLUGIN_DIR is not set";
    Document.Open(dir, "");
    for (const auto& [parent, title] : {std::pair{0, "Move"}, {1, "Pack"}, {1, "Label"}, {1, "Ship"}})
      Model()->Processor()->Execute(make<TAddNodeCommand>(Model(), parent, title).get(), nullptr);
  }
  TLumetaModel* Model() { return Document.Model(); }
  ICommandProcessor* Processor() { return Model()->GetCommandProcessor().get(); }
  std::string Text() { return Archive.SaveToText(Model()->Map()); }
  // A task from AStart to AFinish (hours after Monday's midnight) with AWork hours (0: none).
  void Task(int64_t AID, double AStart, double AFinish, double AWork) {
    for (const auto& [field, value] : {std::pair{acStartDate, DateTimeToXmlText(KMonday + AStart / 24)},
                                       {acCompletedDate, DateTimeToXmlText(KMonday + AFinish / 24)},
                                       {acWork, std::to_string(AWork)}})
      ASSERT_TRUE(Actions.SetField(std::to_string(AID), field, value));
  }

  TMapDocument Document;
  THostDataEditor Editor{Document};
  TActionEditor Actions{Document};
  TLumetaXmlArchive Archive;
};

TEST_F(HostDataEditorTest, EveryEditIsOneStepThatUndoesToTheSameFile) {
  ASSERT_TRUE(Editor.AddResource(2, "Ada Brown", "ada@example.com"));
  ASSERT_TRUE(Editor.AddCategory(2, "Logistics"));
  ASSERT_TRUE(Editor.AddAttachment(2, "Checklist", "/docs/checklist.pdf"));
  const std::vector<std::function<TEditResult()>> edits{
      [&] { return Editor.SetNotes(2, "Boxes from\nthe cellar"); },
      [&] { return Editor.AddResource(2, "Bob"); },
      [&] { return Editor.AddResource(2, "ada brown", "ada@work.example.com"); },  // a new address
      [&] { return Editor.RemoveResource(2, "ADA BROWN"); },
      [&] { return Editor.SetResources(2, " Cy <cy@example.com>,, Ada Brown"); },
      [&] { return Editor.AddCategory(0, "Office"); },
      [&] { return Editor.RemoveCategory(2, "Logistics"); },
      [&] { return Editor.AddAttachment(2, "plan.pdf", "https://example.com/a/plan.pdf"); },
      [&] { return Editor.RemoveAttachment(2, "Checklist", "/docs/checklist.pdf"); },
  };
  for (size_t i = 0; i < edits.size(); ++i) {
    const std::string before = Text();
    const int32_t steps = Processor()->GetUndoCount();
    const TEditResult result = edits[i]();
    ASSERT_TRUE(result) << i << ": " << result.Error;
    EXPECT_EQ(Processor()->GetUndoCount(), steps + 1) << i;
    const std::string after = Text();
    EXPECT_NE(after, before) << i;
    Processor()->UndoLast();
    EXPECT_EQ(Text(), before) << i;
    Processor()->Redo();
    EXPECT_EQ(Text(), after) << i;
    Processor()->UndoLast();
  }
  // The name given is stored only where the location's own name would not say it.
  EXPECT_NE(Text().find("<Attachment Name=\"Checklist\">/docs/checklist.pdf</Attachment>"), std::string::npos);
  ASSERT_TRUE(Editor.AddAttachment(2, "plan.pdf", "https://example.com/a/plan.pdf"));
  EXPECT_NE(Text().find("<Attachment>https://example.com/a/plan.pdf</Attachment>"), std::string::npos);
  const std::vector<TNodeAttachment> read = Archive.LoadFromText(Text())->GetNode(2)->GetAttachments();
  EXPECT_EQ(read, (std::vector<TNodeAttachment>{{"Checklist", "/docs/checklist.pdf"},
                                                {"plan.pdf", "https://example.com/a/plan.pdf"}}));
  ASSERT_TRUE(Editor.SetResources(3, "Cy <cy@example.com>, cy, Bob <b@x.org>"));
  EXPECT_EQ(ResourceListText(Model()->Map().GetNode(3)->GetResources()), "Cy <cy@example.com>, Bob <b@x.org>")
      << "a name typed twice is one resource";
}

TEST_F(HostDataEditorTest, RefusedEditsSayWhyAndLeaveNoStep) {
  ASSERT_TRUE(Editor.AddResource(2, "Ada", "ada@example.com"));
  ASSERT_TRUE(Editor.AddCategory(2, "Logistics"));
  const std::string before = Text();
  const int32_t steps = Processor()->GetUndoCount();
  const std::pair<TEditResult, std::string> cases[] = {
      {Editor.AddResource(2, "ada"), "node 2 has the resource 'Ada' already"},
      {Editor.AddResource(2, "Eve", "eve at example.com"), "'eve at example.com' is not an e-mail address"},
      {Editor.AddResource(2, "Smith, John"),
       "'Smith, John' cannot be a resource's name: commas, angle brackets and line breaks separate resources"},
      {Editor.AddResource(2, "  "), "a resource needs a name"},
      {Editor.RemoveResource(2, "Bob"), "node 2 has no resource 'Bob'"},
      {Editor.SetResources(2, "Ada <ada@example.com"), "'Ada <ada@example.com': write a resource as Name <address>"},
      {Editor.AddCategory(2, "Logistics"), "node 2 is in the category 'Logistics' already"},
      {Editor.RemoveCategory(2, "Travel"), "node 2 is not in the category 'Travel'"},
      {Editor.AddAttachment(2, "x", ""), "an attachment needs a path or a URL on one line"},
      {Editor.RemoveAttachment(2, "x", "/x"), "node 2 has no attachment 'x' at '/x'"},
      {Editor.SetNotes(99, "x"), "No node with ID 99"},
  };
  for (const auto& [result, error] : cases) EXPECT_EQ(result.Error, error);
  EXPECT_TRUE(Editor.SetNotes(2, "")) << "no change is no failure";
  EXPECT_EQ(Processor()->GetUndoCount(), steps);
  EXPECT_EQ(Text(), before);
  EXPECT_THROW(ParseResourceList("<ada@example.com>"), ELumetaError);
  EXPECT_EQ(Editor.MapCategories(), std::vector<std::string>{"Logistics"});
}

TEST_F(HostDataEditorTest, WorkIsSharedSpreadAndSetAgainstTheWorkingDay) {
  // Pack: 16 hours over Monday and Tuesday. Label: Tuesday, no work, so its 8 working hours.
  // Ship: 16 hours for two from Wednesday 08:00 to Thursday 12:00, 12 working hours.
  Task(2, 8, 24 + 17, 16);
  Task(3, 24 + 8, 24 + 17, 0);
  Task(4, 48 + 8, 72 + 12, 16);
  ASSERT_TRUE(Editor.AddResource(2, "Ada", "ada@example.com"));
  ASSERT_TRUE(Editor.AddResource(3, "ADA"));
  ASSERT_TRUE(Editor.SetResources(4, "Bob, ada"));
  ASSERT_TRUE(Editor.AddResource(1, "Bob")) << "a summary books nothing";

  const std::vector<TResourceUse> uses = ResourceUses(Model());
  ASSERT_EQ(uses.size(), 2u);
  const TResourceUse& ada = uses[0];
  EXPECT_EQ(ada.Name, "Ada");
  EXPECT_EQ(ada.Email, "ada@example.com");
  EXPECT_DOUBLE_EQ(ada.Hours, 32);
  ASSERT_EQ(ada.Tasks.size(), 3u);
  EXPECT_EQ(ada.Tasks[2].NodeID, 4);
  EXPECT_DOUBLE_EQ(ada.Tasks[2].Hours, 8);
  ASSERT_EQ(ada.Days.size(), 4u);
  const double booked[] = {8, 16, 8.0 * 8 / 12, 8.0 * 4 / 12};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(ada.Days[i].Day, KMonday + static_cast<double>(i));
    EXPECT_NEAR(ada.Days[i].Booked, booked[i], 1e-9) << i;
    EXPECT_EQ(ada.Days[i].OverBooked(), i == 1) << i;
  }
  EXPECT_EQ(uses[1].Name, "Bob");
  EXPECT_EQ(uses[1].Tasks.size(), 2u);
  EXPECT_TRUE(uses[1].Tasks[0].Summary || uses[1].Tasks[1].Summary);
  EXPECT_DOUBLE_EQ(uses[1].Hours, 8);

  // A holiday on Wednesday moves nothing here, but Ship's 16 hours now fall in Thursday's morning:
  // 4 available, 8 booked for each of them.
  TMapCalendar calendar = Model()->Map().MapSettings()->Calendar();
  calendar.Holidays = {KMonday + 2};
  Model()->Map().MapSettings()->SetCalendar(calendar);
  const TResourceUse bob = ResourceUses(Model())[1];
  ASSERT_EQ(bob.Days.size(), 1u);
  EXPECT_EQ(bob.Days[0].Day, KMonday + 3);
  EXPECT_DOUBLE_EQ(bob.Days[0].Available, 8);
  EXPECT_DOUBLE_EQ(bob.Days[0].Booked, 8);
  EXPECT_FALSE(bob.Days[0].OverBooked()) << "exactly the day's hours is not too many";
}

}  // namespace
