// A plan's baseline through the real host and plug-in library: kept in the map file, read back,
// compared with the plan as it moves, kept by other edits of the node's own data, and undone
// byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "apps/LumetaScript.h"
#include "apps/LumetaShell.h"
#include "com/DialogService.h"
#include "com/LumetaLocale.h"
#include "tests/support/TestFiles.h"
#include "tests/support/Thrown.h"

namespace {

// Design, then Build (3 days), then Test, chained finish to start from Monday 3 May 2027.
constexpr const char* KPlan =
    "calendar start 2027-05-03; scheduling on; add 0 Design; add 0 Build; add 0 Test; convert 1 2 3;"
    "set 2 Duration 3; link add 1 2; link add 2 3; save";

class BaselineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLocaleService(std::make_shared<TFixedLocaleService>(46500, "yyyy-MM-dd"));
    SetDialogService(std::make_shared<TStreamDialogService>(FDialogs));
    Run(KPlan);
  }

  std::unique_ptr<TLumetaShell> Run(const std::string& AScript) {
    auto shell = std::make_unique<TLumetaShell>(FOut, FErr);
    const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
    shell->Open(dir ? dir : "", Map());
    for (const TScriptCommand& command : SplitScript(AScript)) shell->Run(command.Words);
    return shell;
  }
  // The row `show` prints for the node, its blanks folded to one.
  std::string Row(TLumetaShell& AShell, const std::string& ATitle) {
    FOut.str("");
    AShell.Run({"show"});
    std::istringstream lines(FOut.str());
    for (std::string line; std::getline(lines, line);) {
      std::string folded;
      for (char c : line)
        if (c != ' ' || (!folded.empty() && folded.back() != ' ')) folded += c;
      if (folded.find(" " + ATitle + " ") != std::string::npos) return folded;
    }
    return "no row for " + ATitle;
  }
  std::string Map() const { return FFolder / "plan.xml"; }

  TTempFolder FFolder;
  std::ostringstream FOut, FErr, FDialogs;
};

}  // namespace

TEST_F(BaselineTest, SetEditSaveReopenShowsTheVariance) {
  Run("baseline set; set 2 Duration 5; save");
  std::unique_ptr<TLumetaShell> shell = Run("");
  // Build and Test finish two days later than agreed; Design as agreed.
  EXPECT_EQ(Row(*shell, "Build"),
            "2 Build 2027-05-04 2027-05-10 5 days 0 Not Started 0 days yes 2027-05-04 2027-05-06 2 days");
  EXPECT_NE(Row(*shell, "Test").find("2027-05-07 2027-05-07 2 days"), std::string::npos) << Row(*shell, "Test");
  EXPECT_NE(Row(*shell, "Design").find("2027-05-03 2027-05-03 0 days"), std::string::npos) << Row(*shell, "Design");
  // The header names the columns.
  FOut.str("");
  shell->Run({"show"});
  EXPECT_NE(FOut.str().find("Baseline Start Baseline Finish Variance"), std::string::npos) << FOut.str();
  // Scripts read the same figures from the table.
  FOut.str("");
  shell->Run({"show", "--format", "csv", "--fields", "id,slack,critical,baseline_start,baseline_finish,variance"});
  EXPECT_EQ(FOut.str(),
            "id,slack,critical,baseline_start,baseline_finish,variance\r\n"
            "1,0,true,2027-05-03T08:00:00,2027-05-03T17:00:00,0\r\n"
            "2,0,true,2027-05-04T08:00:00,2027-05-06T17:00:00,2\r\n"
            "3,0,true,2027-05-07T08:00:00,2027-05-07T17:00:00,2\r\n");
}

// A heading above tasks that is no task itself shows no dates, so no slack either, in any form.
TEST_F(BaselineTest, AHeadingWithoutAnActionShowsNoSlack) {
  std::unique_ptr<TLumetaShell> shell = Run("add 0 Phase; move 2 4; move 3 4");
  FOut.str("");
  shell->Run({"show"});
  EXPECT_NE(FOut.str().find("\n 4 Phase\n"), std::string::npos) << FOut.str();
  FOut.str("");
  shell->Run({"show", "--format", "csv", "--fields", "id,slack,critical"});
  EXPECT_EQ(FOut.str(), "id,slack,critical\r\n1,0,true\r\n4,,\r\n2,0,true\r\n3,0,true\r\n");
}

TEST_F(BaselineTest, EditsOfTheNodesOwnDataKeepItsBaselineAndClearDropsIt) {
  std::unique_ptr<TLumetaShell> shell =
      Run("baseline set 2; note 2 \"agreed with the builder\"; resource add 2 Ada; category add 2 Site; set 2 Duration 4");
  EXPECT_NE(Row(*shell, "Build").find("2027-05-04 2027-05-06 1 days"), std::string::npos) << Row(*shell, "Build");
  EXPECT_EQ(Row(*shell, "Test").find("2027-05-07"), std::string::npos);  // only the node given
  shell->Run({"baseline", "clear"});
  EXPECT_EQ(Row(*shell, "Build").find("2027-05-06 1 days"), std::string::npos);
  shell->Run({"undo"});
  EXPECT_NE(Row(*shell, "Build").find("2027-05-06 1 days"), std::string::npos);

  EXPECT_THROW(shell->Run({"baseline", "keep"}), EShellUsage);
  EXPECT_THROW(shell->Run({"baseline", "set", "0"}), EShellUsage);
  shell->Run({"add", "0", "Idea"});  // no action
  EXPECT_THROW(shell->Run({"baseline", "set", "4"}), ELumetaError);
}

TEST_F(BaselineTest, UndoOfSetRestoresTheFileByteForByte) {
  const std::string before = ReadText(Map());
  std::unique_ptr<TLumetaShell> shell = Run("baseline set; save");
  const std::string with = ReadText(Map());
  EXPECT_NE(with, before);
  EXPECT_NE(with.find("<Baseline Start=\"2027-05-04T08:00:00\" Finish=\"2027-05-06T17:00:00\" Duration=\"3\" "
                      "DurationMeasure=\"Days\" Work=\"0\" WorkMeasure=\"Hours\""),
            std::string::npos)
      << with;
  shell->Run({"undo"});
  shell->Run({"save"});
  EXPECT_EQ(ReadText(Map()), before);
}

TEST_F(BaselineTest, AMalformedBaselineNamesItsPlace) {
  std::string text = ReadText(Map());
  const size_t title = text.find("<Title>Build</Title>");
  ASSERT_NE(title, std::string::npos);
  text.insert(title + 20, "<Baseline Start=\"2027-05-04T08:00:00\" Duration=\"three\"/>");
  WriteText(Map(), text);
  const std::string error = ThrownText<ELumetaError>([&] { Run(""); });
  EXPECT_NE(error.find("the baseline's Duration 'three' is not a number"), std::string::npos) << error;
}
