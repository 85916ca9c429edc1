#include <cmath>
#include <functional>
#include <string>

#include "commands/SelectionData.h"
#include "plugin/ActionProperty.h"
#include "plugin/ActionPropertyUI.h"
#include "plugin/ActionWindows.h"
#include "plugin/TaskCommands.h"
#include "commands/NodeList.h"
#include "tests/plugin/PlugInModel.h"

namespace {

using namespace plugin_test;

class TEntry : public TImplements<TAggregableObject, ICommandEntry> {
 public:
  TEntry(int32_t AId, bool ACheckable, bool AApplicable) : Id(AId), Checkable(ACheckable), Applicable(AApplicable) {}
  int32_t GetID() override { return Id; }
  bool GetEnabled() override { return Enabled; }
  void SetEnabled(bool AEnabled) override { Enabled = AEnabled; }
  bool GetCheckable() override { return Checkable; }
  bool GetChecked() override { return Checked; }
  void SetChecked(bool AChecked) override { Checked = AChecked; }
  bool GetApplicable() override { return Applicable; }
  int32_t Id;
  bool Checkable, Applicable, Enabled = false, Checked = false;
};

// Edited values, each answering only its own type's interface.
class TDate : public TImplements<TAggregableObject, IDateValue> {
 public:
  explicit TDate(double ADate) : Date(ADate) {}
  double GetDate() override { return Date; }
  bool GetValidate() override { return true; }
  bool GetAutoSchedule() override { return true; }
  bool GetMoveTask() override { return false; }
  double Date;
};

class TText : public TImplements<TAggregableObject, ITextValue> {
 public:
  explicit TText(std::string AText) : Text(std::move(AText)) {}
  std::string GetText() override { return Text; }
  std::string Text;
};

class TNumber : public TImplements<TAggregableObject, INumberValue> {
 public:
  explicit TNumber(double ANumber) : Number(ANumber) {}
  double GetNumber() override { return Number; }
  double Number;
};

class TInteractor : public TImplements<TAggregableObject, IStandardInteractor> {
 public:
  TInteractor(ICommandEntry* AEntry, IUnknown* AValue, ILumetaModel* AModel, ISelection* ASelection)
      : FEntry(AEntry), FValue(AValue), FModel(AModel), FSelection(ASelection) {}
  ComPtr<ICommandEntry> GetEntry() override { return FEntry; }
  ComPtr<IUnknown> GetValue() override { return FValue; }
  ComPtr<ILumetaModel> GetModel() override { return FModel; }
  ComPtr<ISelection> GetSelection() override { return FSelection; }

 private:
  ComPtr<ICommandEntry> FEntry;
  ComPtr<IUnknown> FValue;
  ComPtr<ILumetaModel> FModel;
  ComPtr<ISelection> FSelection;
};

class TEvent : public TImplements<TAggregableObject, IInteraction, IPlugInEvent, IPlugInEventResult> {
 public:
  TEvent(int32_t AKind, ILumetaModel* AModel, ISelection* ASelection, INodeList* ANodes)
      : FKind(AKind), FModel(AModel), FSelection(ASelection), FNodes(ANodes) {}
  int32_t GetKind() override { return FKind; }
  ComPtr<INodeList> GetNodes() override { return FNodes; }
  ComPtr<ILumetaModel> GetModel() override { return FModel; }
  ComPtr<ISelection> GetSelection() override { return FSelection; }
  ComPtr<IUnknown> GetScheduler() override { return {}; }
  std::string GetFieldName() override { return {}; }
  std::string GetFieldValue() override { return {}; }
  void SetFieldValue(const std::string&) override {}
  int32_t GetResult() override { return Result; }
  void SetResult(int32_t AResult) override { Result = AResult; }
  int32_t Result = 0;

 private:
  int32_t FKind;
  ComPtr<ILumetaModel> FModel;
  ComPtr<ISelection> FSelection;
  ComPtr<INodeList> FNodes;
};

class TMeasure : public TImplements<TAggregableObject, IMeasureValue> {
 public:
  explicit TMeasure(int32_t AMeasure) : Measure(AMeasure) {}
  int32_t GetMeasure() override { return Measure; }
  int32_t Measure;
};

class TFlag : public TImplements<TAggregableObject, IFlagValue> {
 public:
  explicit TFlag(bool AFlag) : Flag(AFlag) {}
  bool GetFlag() override { return Flag; }
  bool Flag;
};

using TTitles = std::initializer_list<const char*>;

class PlugInUI : public TPlugInModel {
 protected:
  void SetUp() override {
    TPlugInModel::SetUp();
    Manager = make<TActionPropertyManager>();
    UI = Manager->CreatePlugInUI().as<IActionPlugInUI>();
  }
  void Scheduling(bool AOn) { Model->Map().Settings()->SetTaskScheduling(AOn); }
  ComPtr<ISelection> Selection(TTitles ATitles) {
    ComPtr<TData> selection = make<TData>();
    for (const char* title : ATitles) selection->Add(N(title));
    return selection;
  }
  ComPtr<TNodeList> List(TTitles ATitles) {
    ComPtr<TNodeList> list = make<TNodeList>();
    for (const char* title : ATitles) list->Add(N(title));
    return list;
  }
  void Execute(int32_t AId, TTitles ATitles, IUnknown* AValue = nullptr) {
    UI->ExecuteCommand(
        make<TInteractor>(make<TEntry>(AId, false, true).get(), AValue, Model.get(), Selection(ATitles).get()).get());
  }
  ComPtr<TEntry> Update(int32_t AId, TTitles ATitles, bool ACheckable = false, bool AApplicable = true) {
    ComPtr<TEntry> entry = make<TEntry>(AId, ACheckable, AApplicable);
    UI->UpdateCommand(make<TInteractor>(entry.get(), nullptr, Model.get(), Selection(ATitles).get()).get());
    return entry;
  }
  bool Handle(int32_t AKind, TTitles ASelection, TTitles ACarried) {
    return UI.as<IActionPlugInEvents>()->HandleEvent(
        make<TEvent>(AKind, Model.get(), Selection(ASelection).get(), List(ACarried).get()).get());
  }
  int32_t Steps() { return Model->GetCommandProcessor()->GetUndoCount(); }
  bool Linked(const char* APredecessor, const char* ASuccessor) {
    return Links(N(ASuccessor), "NodeLinks")->ContainsLink(N(APredecessor)) ||
           Links(N(APredecessor), "SuccessorNodeLinks")->ContainsLink(N(ASuccessor));
  }

  ComPtr<TActionPropertyManager> Manager;
  ComPtr<IActionPlugInUI> UI;
};

TEST_F(PlugInUI, MarkCompleteTwiceMakesACompletedActionAndClearsItAgain) {
  Task("N", 0);
  EXPECT_FALSE(Update(ciMarkComplete, {"N"}, true)->Checked);
  Execute(ciMarkComplete, {"N"});
  EXPECT_TRUE(A("N")->GetIsAction());
  EXPECT_EQ(A("N")->GetComplete(), 100);
  EXPECT_EQ(A("N")->GetStatus(), "Completed");
  EXPECT_TRUE(Update(ciMarkComplete, {"N"}, true)->Checked);
  Execute(ciMarkComplete, {"N"});
  EXPECT_FALSE(A("N")->GetIsAction());
  EXPECT_EQ(A("N")->GetComplete(), 0);
  EXPECT_EQ(A("N")->GetStatus(), "Not Started");
  EXPECT_EQ(Steps(), 2);
}

TEST_F(PlugInUI, EntriesAreEnabledByTheSelectionAndItsRecord) {
  Task("T", Monday);
  Task("U", Monday);
  Task("N", 0);
  Scheduling(true);
  EXPECT_TRUE(Update(ciExportActions, {})->Enabled);
  EXPECT_TRUE(Update(ciEditAction, {"T"})->Enabled);
  EXPECT_FALSE(Update(ciEditAction, {"T", "U"})->Enabled) << "one task at a time while scheduling";
  EXPECT_FALSE(Update(ciMarkComplete, {})->Enabled);
  EXPECT_FALSE(Update(ciClearAction, {"N"})->Enabled);
  EXPECT_TRUE(Update(ciClearAction, {"N", "T"})->Enabled);
  EXPECT_TRUE(Update(ciStartDate, {"T"})->Enabled);
  EXPECT_FALSE(Update(ciStartDate, {"T"}, false, false)->Enabled);
  Scheduling(false);
  EXPECT_TRUE(Update(ciEditAction, {"T", "U"})->Enabled);
}

TEST_F(PlugInUI, DatesGoThroughTheScheduleOnlyWhileSchedulingIsOn) {
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  for (bool scheduling : {false, true}) {
    SCOPED_TRACE(scheduling);
    Scheduling(scheduling);
    const int32_t steps = Steps();
    Execute(ciDueDate, {"A"}, make<TDate>(Friday).get());
    EXPECT_EQ(A("A")->GetDueDate(), scheduling ? 0 : Friday);
    EXPECT_EQ(Steps(), steps + (scheduling ? 0 : 1));
    Execute(ciStartDate, {"A"}, make<TDate>(Wednesday).get());
    EXPECT_EQ(Start("A"), Wednesday);
    EXPECT_EQ(Start("B"), scheduling ? Thursday : Tuesday);
    Model->GetCommandProcessor()->Clear();
    A("A")->SetStartDate(Monday);
    A("A")->SetDueDate(0);
  }
}

TEST_F(PlugInUI, AValueOfAnotherTypeIsRefused) {
  Task("A", Monday);
  EXPECT_THROW(Execute(ciStartDate, {"A"}, make<TText>("Monday").get()), ENoInterface);
  EXPECT_THROW(Execute(ciPriority, {"A"}, make<TNumber>(1).get()), ENoInterface);
  Scheduling(true);
  EXPECT_THROW(Execute(ciDuration, {"A"}, make<TDate>(Monday).get()), ENoInterface);
  EXPECT_EQ(Steps(), 0);
}

TEST_F(PlugInUI, AnEditOfSeveralNodesWritesOnlyTheEditedField) {
  Task("A", Monday);
  Task("B", Tuesday);
  A("A")->SetPriority("High");
  Execute(ciCost, {"A", "B"}, make<TNumber>(12.5).get());
  EXPECT_EQ(A("A")->GetCost(), 12.5);
  EXPECT_EQ(A("B")->GetCost(), 12.5);
  EXPECT_EQ(A("A")->GetPriority(), "High");
  EXPECT_EQ(A("B")->GetPriority(), "");
  EXPECT_EQ(Start("B"), Tuesday);
  Execute(ciPriority, {"A", "B"}, make<TText>("Low").get());
  EXPECT_EQ(A("B")->GetPriority(), "Low") << "a field that differed is written once edited";
}

TEST_F(PlugInUI, ARecordClearedFieldByFieldGoesAwayUnlessAnotherNodeStillHoldsSomething) {
  Task("N", 0);
  Task("M", 0);
  Execute(ciPriority, {"N", "M"}, make<TText>("High").get());
  Execute(ciCost, {"M"}, make<TNumber>(5).get());
  Execute(ciPriority, {"N", "M"}, make<TText>("").get());
  Execute(ciStatus, {"N", "M"}, make<TText>("").get());
  ASSERT_TRUE(A("M")) << "N's record is empty, M's cost is not";
  EXPECT_EQ(A("M")->GetCost(), 5);
  Execute(ciCost, {"M"}, make<TNumber>(0).get());
  EXPECT_FALSE(N("M")->FindProperty("Action"));
  Undo();
  EXPECT_EQ(A("M")->GetCost(), 5);
}

TEST_F(PlugInUI, ClearActionRemovesTheRecordsOrResetsTheTasksInOneStep) {
  Task("A", Wednesday);
  Task("B", Thursday);
  Task("C", Friday);
  Link("A", "C");
  A("A")->SetPriority("High");
  A("A")->SetConstraintType(tcStartNoEarlierThan);
  A("A")->SetConstraintDate(Wednesday);

  Execute(ciClearAction, {"A", "B"});
  EXPECT_FALSE(N("A")->FindProperty("Action"));
  EXPECT_FALSE(N("B")->FindProperty("Action"));
  EXPECT_EQ(Steps(), 1);
  Undo();
  EXPECT_EQ(A("A")->GetPriority(), "High");
  ASSERT_TRUE(A("B"));

  Scheduling(true);
  Execute(ciClearAction, {"A"});
  EXPECT_EQ(Start("A"), Monday);
  EXPECT_EQ(Finish("A"), EndOf(Monday));
  EXPECT_EQ(A("A")->GetPriority(), "");
  EXPECT_EQ(A("A")->GetConstraintType(), tcAsSoonAsPossible);
  EXPECT_EQ(Start("C"), Tuesday);
  Undo();
  EXPECT_EQ(Start("A"), Wednesday);
  EXPECT_EQ(A("A")->GetConstraintType(), tcStartNoEarlierThan);
  EXPECT_EQ(Start("C"), Friday);
}

TEST_F(PlugInUI, ATaskBecomingASummaryLosesItsFinishLinksAndConstraintInOneStep) {
  Task("P", Monday);
  Task("T", Tuesday);
  Task("X", Wednesday);
  Link("P", "T", ltFinishToFinish);
  Link("T", "X");
  A("T")->SetConstraintType(tcMustStartOn);
  A("T")->SetConstraintDate(Tuesday);
  EXPECT_TRUE(Handle(KEventDropUnder, {"T"}, {"X"}));
  EXPECT_EQ(Steps(), 1);
  EXPECT_FALSE(Linked("P", "T"));
  EXPECT_FALSE(Linked("T", "X")) << "a task may not link to its summary";
  EXPECT_EQ(A("T")->GetConstraintType(), tcAsSoonAsPossible);
  EXPECT_EQ(A("T")->GetConstraintDate(), 0);
  Undo();
  EXPECT_TRUE(Linked("P", "T"));
  EXPECT_TRUE(Linked("T", "X"));
  EXPECT_EQ(A("T")->GetConstraintType(), tcMustStartOn);
}

TEST_F(PlugInUI, DeletedTasksLeaveNoLinksBehindAndCopiesCarryNone) {
  Scheduling(true);
  Task("A", Monday);
  Task("B", Tuesday);
  Link("A", "B");
  EXPECT_TRUE(Handle(KEventNodesDeleted, {"A"}, {"A"}));
  EXPECT_FALSE(Links(N("B"), "NodeLinks")->ContainsLink(N("A")));
  EXPECT_EQ(Start("B"), Monday) << "the successor starts again without its predecessor";
  Undo();
  EXPECT_TRUE(Linked("A", "B"));
  EXPECT_EQ(Start("B"), Tuesday);

  ComPtr<TLumetaNode> copy = Model->Map().DetachNode(Nodes.at("B"));
  Nodes["B"] = copy.get();
  EXPECT_TRUE(Handle(KEventNodesPasted, {}, {"B"}));
  EXPECT_FALSE(copy->FindProperty("NodeLinks"));
  EXPECT_EQ(Steps(), 0);
}

TEST_F(PlugInUI, NodesBecomeTasksInOneStepWhetherOrNotTheyHaveARecord) {
  Scheduling(true);
  Task("A", Wednesday);
  Task("N", 0);
  A("A")->SetDuration(0);
  A("A")->SetCompletedDate(0);
  EXPECT_TRUE(Handle(KEventMakeTasks, {"A", "N"}, {}));
  EXPECT_EQ(Steps(), 1);
  EXPECT_EQ(A("A")->GetDuration(), 1);
  EXPECT_EQ(Start("A"), Wednesday);
  EXPECT_EQ(A("A")->GetConstraintType(), tcStartNoEarlierThan);
  ASSERT_TRUE(A("N"));
  EXPECT_EQ(Start("N"), Monday);
  EXPECT_EQ(Finish("N"), EndOf(Monday));
  EXPECT_EQ(A("N")->GetDurationMeasure(), amDays);
  Undo();
  EXPECT_EQ(A("A")->GetDuration(), 0);
  EXPECT_FALSE(N("N")->FindProperty("Action"));

  EXPECT_TRUE(Handle(KEventConvertNode, {}, {"N"}));
  EXPECT_EQ(Start("N"), Monday);
  EXPECT_EQ(A("A")->GetDuration(), 0) << "only the carried node";
}

// The windows are stand-ins here, handed to the manager as the plug-in library hands the real
// ones; each test sets the ones it needs.
class PlugInWindows : public PlugInUI {
 protected:
  void SetUp() override {
    PlugInUI::SetUp();
    TActionWindows forwarding;
    forwarding.EditAction = [this](const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>& ACollected) {
      return Windows.EditAction && Windows.EditAction(AArgs, ACollected);
    };
    forwarding.PickValue = [this](const std::string& AField, const std::vector<std::string>& AItems,
                                  std::string& AValue) {
      return Windows.PickValue && Windows.PickValue(AField, AItems, AValue);
    };
    Manager = make<TActionPropertyManager>(forwarding);
    UI = Manager->CreatePlugInUI().as<IActionPlugInUI>();
  }
  TActionWindows Windows;
};

TEST_F(PlugInWindows, EditActionRunsTheRecordAndTheCollectedLinksAsOneStep) {
  Scheduling(true);
  Task("P", Monday);
  Task("S", Monday);
  Windows.EditAction = [&](const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>& ACollected) {
    QueryAs<IActionAttribute>(AArgs.Action)->SetCost(12.5);
    ACollected = make<TMultipleCommand>(AArgs.Model);
    ACollected->AddCommand(make<TAddTaskLinkCommand>(AArgs.Model, N("P")->GetID(), N("S")->GetID(),
                                                     ltFinishToStart, true).get(),
                           AArgs.Selection);
    return true;
  };
  Execute(ciEditAction, {"S"});
  EXPECT_EQ(A("S")->GetCost(), 12.5);
  EXPECT_TRUE(Linked("P", "S"));
  EXPECT_GT(Start("S"), Monday) << "the new link moved the successor";
  EXPECT_EQ(Steps(), 1);
  Model->GetCommandProcessor()->UndoLast();
  EXPECT_EQ(A("S")->GetCost(), 0);
  EXPECT_FALSE(Linked("P", "S"));
  EXPECT_EQ(Start("S"), Monday);
}

// The dialog writes dates without their time of day; the task is then placed on working time and
// its successors follow, in the same undo step, as after the same edit in a column.
TEST_F(PlugInWindows, EditActionReschedulesTheTaskAndItsSuccessors) {
  Scheduling(true);
  Task("P", Monday);
  Task("S", Tuesday);
  Link("P", "S");
  std::function<void(IActionAttribute*)> edit;
  Windows.EditAction = [&](const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>&) {
    edit(QueryAs<IActionAttribute>(AArgs.Action).get());
    return true;
  };
  edit = [](IActionAttribute* AAction) {
    AAction->SetStartDate(std::trunc(Wednesday));
    AAction->SetCompletedDate(std::trunc(Wednesday));
  };
  Execute(ciEditAction, {"P"});
  EXPECT_EQ(Start("P"), Wednesday);
  EXPECT_EQ(Finish("P"), EndOf(Wednesday));
  EXPECT_EQ(Start("S"), Thursday);
  EXPECT_EQ(Steps(), 1);
  Undo();
  EXPECT_EQ(Start("P"), Monday);
  EXPECT_EQ(Start("S"), Tuesday);

  edit = [](IActionAttribute* AAction) { AAction->SetDuration(3); };
  Execute(ciEditAction, {"P"});
  EXPECT_EQ(Finish("P"), EndOf(Wednesday));
  EXPECT_EQ(Start("S"), Thursday);
  Undo();

  // Other fields alone move nothing, and neither does a map without scheduling.
  edit = [](IActionAttribute* AAction) { AAction->SetCost(5); };
  Execute(ciEditAction, {"P"});
  EXPECT_EQ(Start("S"), Tuesday);
  Scheduling(false);
  edit = [](IActionAttribute* AAction) { AAction->SetStartDate(Thursday); };
  Execute(ciEditAction, {"P"});
  EXPECT_EQ(Start("P"), Thursday);
  EXPECT_EQ(Start("S"), Tuesday);
}

TEST_F(PlugInWindows, CancelledOrMissingWindowsChangeNothing) {
  Task("T", Monday);
  Execute(ciEditAction, {"T"});  // no dialog in the slot
  Windows.EditAction = [](const TEditActionArgs& AArgs, ComPtr<IMultipleCommand>&) {
    QueryAs<IActionAttribute>(AArgs.Action)->SetCost(3);
    return false;
  };
  Execute(ciEditAction, {"T"});
  EXPECT_EQ(Handle(KEventEditAction, {"T"}, {}), true);
  EXPECT_EQ(A("T")->GetCost(), 0);
  EXPECT_EQ(Steps(), 0);
  EXPECT_FALSE(UI->CreateView(nullptr));
}

// A pick-list event for one field, answering what the list picked.
class TPickEvent : public TEvent {
 public:
  TPickEvent(ILumetaModel* AModel, std::string AField, std::string AValue)
      : TEvent(KEventPickValue, AModel, nullptr, nullptr), Field(std::move(AField)), Value(std::move(AValue)) {}
  std::string GetFieldName() override { return Field; }
  std::string GetFieldValue() override { return Value; }
  void SetFieldValue(const std::string& AValue) override { Value = AValue; }
  std::string Field, Value;
};

TEST_F(PlugInWindows, PickListsOfferTheFieldsTextsAndCancelAnswersMinusOne) {
  std::vector<std::string> offered;
  Windows.PickValue = [&](const std::string&, const std::vector<std::string>& AItems, std::string& AValue) {
    offered = AItems;
    if (AValue == "Low") return false;
    AValue = AItems.back();
    return true;
  };
  ComPtr<TPickEvent> status = make<TPickEvent>(Model.get(), "Status", "Unassigned");
  UI.as<IActionPlugInEvents>()->HandleEvent(status.get());
  EXPECT_EQ(status->Value, "Deferred");
  EXPECT_EQ(offered.size(), 6u);
  ComPtr<TPickEvent> priority = make<TPickEvent>(Model.get(), "Priority", "Low");
  UI.as<IActionPlugInEvents>()->HandleEvent(priority.get());
  EXPECT_EQ(priority->Value, "Low");
  EXPECT_EQ(priority->Result, -1);
  EXPECT_EQ(offered.front(), "Unassigned");
}

}  // namespace

namespace {

struct TProgress {
  int32_t Complete;
  std::string Status;
  bool operator==(const TProgress&) const = default;
  friend void PrintTo(const TProgress& AProgress, std::ostream* AOut) {
    *AOut << AProgress.Complete << " % " << AProgress.Status;
  }
};

// Every way a scheduled task's dates or length change keeps its progress and that of the task
// that follows it, after execute, undo and redo: a status is only ever defaulted when empty.
TEST_F(PlugInUI, NoScheduleEditLosesProgress) {
  struct TEdit {
    const char* Name;
    std::function<void()> Run;
  };
  const std::vector<TEdit> edits = {
      {"start", [&] { Execute(ciStartDate, {"T"}, make<TDate>(Wednesday).get()); }},
      {"finish", [&] { Execute(ciCompletedDate, {"T"}, make<TDate>(EndOf(Thursday)).get()); }},
      {"duration", [&] { Execute(ciDuration, {"T"}, make<TNumber>(3).get()); }},
      {"no duration", [&] { Execute(ciDuration, {"T"}, make<TNumber>(0).get()); }},
      {"measure", [&] { Execute(ciDurationMeasure, {"T"}, make<TMeasure>(amHours).get()); }},
      {"milestone", [&] { Execute(ciIsMilestone, {"T"}, make<TFlag>(true).get()); }},
      {"refresh", [&] { Run(make<TRefreshProjectCommand>(Model.get(), nullptr, Tuesday).get(), nullptr); }},
      {"convert",
       [&] {
         ComPtr<IActionAttribute> old = AttributeFactory()->CreateAttribute(uuidof<IActionAttribute>()).as<IActionAttribute>();
         old->Assign(A("T"));
         Run(make<TConvertActionToTaskCommand>(Model.get(), N("T"), old.get(), Scheduler()).get(), N("T"));
       }},
  };
  const auto progress = [&](const char* ATitle) { return TProgress{A(ATitle)->GetComplete(), A(ATitle)->GetStatus()}; };
  for (const TEdit& edit : edits)
    for (int32_t complete : {0, 50, 100}) {
      SCOPED_TRACE(std::string(edit.Name) + " at " + std::to_string(complete) + " %");
      TearDown();
      Nodes.clear();
      SetUp();
      Scheduling(true);
      Task("T", Monday, 2);
      Task("S", Wednesday);
      Link("T", "S");
      A("T")->SetComplete(complete);
      A("S")->SetComplete(100 - complete);
      const TProgress task = progress("T"), successor = progress("S");
      const int32_t steps = Steps();
      edit.Run();
      EXPECT_EQ(Steps(), steps + 1);
      for (const char* stage : {"execute", "undo", "redo"}) {
        SCOPED_TRACE(stage);
        EXPECT_EQ(progress("T"), task);
        EXPECT_EQ(progress("S"), successor);
        if (stage == std::string("execute")) Undo();
        if (stage == std::string("undo")) Redo();
      }
    }
}

}  // namespace
