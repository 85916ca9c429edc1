#include <gtest/gtest.h>

#include <cstdlib>

#include "host/MapEditCommands.h"
#include "session/MapDocument.h"
#include "tests/support/TestFiles.h"

namespace {

class TStateLog : public IUndoStateObserver {
 public:
  void UndoStateChanged(const TUndoState& AState) override { States.push_back(AState); }
  std::vector<TUndoState> States;
};

class MapDocumentTest : public testing::Test {
 protected:
  void Open(TMapDocument& ADocument, const std::string& APath) {
    const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
    ASSERT_TRUE(dir) << "LUMETA_PLUGIN_DIR is not set";
    ADocument.Open(dir, APath);
  }
  void Add(TMapDocument& ADocument, const std::string& ATitle) {
    ADocument.Model()->Processor()->Execute(make<TAddNodeCommand>(ADocument.Model(), 0, ATitle).get(), nullptr);
  }
  TTempFolder Temp;
};

TEST_F(MapDocumentTest, SavedStateFollowsEditsSavesAndUndo) {
  TMapDocument document;
  const std::string path = Temp / "plan.xml";
  Open(document, path);
  EXPECT_TRUE(document.IsClean()) << "a new map has nothing to save";
  EXPECT_EQ(document.Path(), path);
  TStateLog log;
  document.AddObserver(&log);

  Add(document, "Design");
  EXPECT_FALSE(document.IsClean());
  ASSERT_FALSE(log.States.empty());
  EXPECT_FALSE(log.States.back().Clean);

  document.Save();
  EXPECT_TRUE(document.IsClean());
  EXPECT_TRUE(log.States.back().Clean) << "the observer hears of the save";
  EXPECT_NE(ReadText(path).find("Design"), std::string::npos);

  // A copy is no save of the map's own file.
  Add(document, "Build");
  document.SaveCopy(Temp / "copy.xml");
  EXPECT_FALSE(document.IsClean());
  EXPECT_EQ(document.Path(), path);
  document.Model()->Processor()->UndoLast();
  EXPECT_TRUE(document.IsClean()) << "undo back to the saved map";

  document.SaveAs(Temp / "renamed.xml");
  EXPECT_EQ(document.Path(), Temp / "renamed.xml");
  document.RemoveObserver(&log);
}

TEST_F(MapDocumentTest, LoadWarningsCarryTheirPlaceInTheFile) {
  const std::string path = Temp / "odd.xml";
  WriteText(path, "<Map>\n  <Node ID=\"1\">\n    <Action>\n      <Cost>lots</Cost>\n    </Action>\n  </Node>\n</Map>\n");
  TMapDocument document;
  Open(document, path);
  ASSERT_EQ(document.Warnings().size(), 1u);
  const TArchiveWarning& warning = document.Warnings().front();
  EXPECT_EQ(warning.File, path);
  EXPECT_EQ(warning.Line, 4);
  EXPECT_EQ(warning.Column, 7);
  EXPECT_EQ(warning.Text, "'lots' in 'Cost' is not a number; it reads as 0");
  EXPECT_EQ(warning.Message(), path + ":4:7: " + warning.Text);
  EXPECT_TRUE(document.IsClean());
}

TEST_F(MapDocumentTest, SaveWithoutAFileIsRefusedAndClosingLetsGoOfTheMap) {
  TMapDocument document;
  Open(document, "");
  Add(document, "Idea");
  EXPECT_THROW(document.Save(), ELumetaError);
  EXPECT_FALSE(document.IsClean());
  document.Close();
  EXPECT_EQ(document.Model(), nullptr);
  EXPECT_TRUE(document.Warnings().empty());
}

}  // namespace

// An export gives a map its identity; a map whose file never kept it takes the same one again in
// the next session, a map in another file another one, and a saved identity wins.
TEST_F(MapDocumentTest, AMapThatWasNotSavedTakesTheSameIdentityAgain) {
  const std::string path = Temp / "plan.xml";
  std::string first;
  {
    TMapDocument document;
    Open(document, path);
    Add(document, "Design");
    document.Save();
  }
  for (int session = 0; session < 2; ++session) {
    TMapDocument document;
    Open(document, path);
    const std::string identity = document.Model()->GetMapIdentity(true);
    EXPECT_FALSE(identity.empty());
    if (session == 0) first = identity;
    EXPECT_EQ(identity, first);
  }
  TMapDocument other;
  Open(other, Temp / "other.xml");
  EXPECT_NE(other.Model()->GetMapIdentity(true), first);

  TMapDocument saved;
  Open(saved, path);
  saved.Model()->SetMapIdentity("kept-1");
  saved.Save();
  saved.Close();
  TMapDocument reopened;
  Open(reopened, path);
  EXPECT_EQ(reopened.Model()->GetMapIdentity(true), "kept-1");
}
