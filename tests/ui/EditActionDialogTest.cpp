// The Edit Action dialog as the loaded plug-in opens it on a host map: the controller's Edit Action
// entry opens it, the test works its controls (found by name, as the plug-in's classes stay inside
// the library) and presses OK or Cancel.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sstream>

#include "apps/EntryCommands.h"
#include "apps/LumetaScript.h"
#include "apps/LumetaShell.h"
#include "commands/SelectionData.h"
#include "contract/ActionAttributesIntf.h"
#include "tests/support/RecordingDialogService.h"
#include "tests/support/TestFiles.h"

namespace {

using TWork = std::function<void(QWidget* ADialog)>;

template <class T>
T* Find(QWidget* ADialog, const char* AName) {
  T* control = ADialog->findChild<T*>(QString::fromLatin1(AName));
  if (!control) qFatal("no control %s", AName);
  return control;
}

void Press(QWidget* ADialog, const char* AButton) { Find<QAbstractButton>(ADialog, AButton)->click(); }

void TypeOver(QWidget* AControl, const QString& AText) {
  AControl->setFocus();
  QTest::keyClick(AControl, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(AControl, AText);
}

}  // namespace

class EditActionDialogTest : public QObject {
  Q_OBJECT

 private:
  std::ostringstream FOut, FErr;
  std::unique_ptr<TLumetaShell> FShell;
  QTemporaryDir FFolder;

  void Open(const std::string& AScript) {
    FOut.str({});
    FErr.str({});
    FShell = std::make_unique<TLumetaShell>(FOut, FErr);
    FShell->Open(LUMETA_PLUGIN_DIR, "");
    Run(AScript);
  }
  void Run(const std::string& AScript) {
    for (const TScriptCommand& command : SplitScript(AScript)) FShell->Run(command.Words);
  }
  // Opens the dialog on the nodes through the controller and hands it to AWork, which must
  // press OK or Cancel.
  void Edit(const std::vector<std::string>& ANodes, const TWork& AWork) {
    std::vector<std::string> select{"select"};
    select.insert(select.end(), ANodes.begin(), ANodes.end());
    FShell->Run(select);
    bool worked = false;
    QTimer::singleShot(0, [&] {
      for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && widget->objectName() == "frmEditAction") {
          worked = true;
          AWork(widget);
        }
    });
    RunExecCommand(FShell->Model(), CurrentSelection().get(), {"7"});
    QVERIFY2(worked, "the dialog did not open");
  }
  ComPtr<ISelection> CurrentSelection() {
    ComPtr<TData> selection = make<TData>();
    for (int64_t id : FShell->Selection()) selection->Add(FShell->Model()->Map().GetNode(id));
    return selection;
  }
  IActionAttribute* Action(int64_t AID) {
    return QueryAs<IActionAttribute>(FShell->Model()->Map().GetNode(AID)->FindProperty("Action").get()).get();
  }
  std::string Saved(const char* AName) {
    const QString path = FFolder.filePath(QString::fromLatin1(AName));
    Run("save \"" + path.toStdString() + "\"");
    return ReadText(path.toStdString());
  }
  std::string Printed() {
    std::string text = FOut.str();
    FOut.str({});
    return text;
  }

 private Q_SLOTS:
  void cleanup() {
    if (FShell) FShell.reset();
  }

  void NodesThatDisagreeShowNoValueAndKeepTheirOwnOnOk() {
    Open("add 0 A; add 0 B; set 1 Priority High; set 2 Priority Low; set 1 Cost 5; set 2 Cost 5; "
         "set 1 Status Deferred");
    Edit({"1", "2"}, [](QWidget* ADialog) {
      auto* priority = Find<QComboBox>(ADialog, "cbPriority");
      QCOMPARE(priority->currentText(), QString());
      QVERIFY(!priority->lineEdit()->placeholderText().isEmpty());
      QCOMPARE(Find<QComboBox>(ADialog, "cbStatus")->currentIndex(), -1);
      QCOMPARE(Find<QLineEdit>(ADialog, "editCost")->text(), QStringLiteral("5.00"));
      QCOMPARE(Find<QCheckBox>(ADialog, "chIsAction")->checkState(), Qt::Unchecked);
      TypeOver(Find<QLineEdit>(ADialog, "editQuantity"), "7");
      Press(ADialog, "btnOK");
    });
    QCOMPARE(Action(1)->GetPriority(), std::string("High"));
    QCOMPARE(Action(2)->GetPriority(), std::string("Low"));
    QCOMPARE(Action(1)->GetStatus(), std::string("Deferred"));
    QCOMPARE(Action(2)->GetStatus(), std::string("Not Started"));
    QCOMPARE(Action(1)->GetQuantity(), 7.0);
    QCOMPARE(Action(2)->GetQuantity(), 7.0);
  }

  void CompleteAndStatusFollowEachOther() {
    Open("add 0 A");
    Edit({"1"}, [](QWidget* ADialog) {
      auto* complete = Find<QWidget>(ADialog, "seComplete");
      auto* status = Find<QComboBox>(ADialog, "cbStatus");
      TypeOver(complete, "100");
      QCOMPARE(status->currentText(), QStringLiteral("Completed"));
      TypeOver(complete, "40");
      QCOMPARE(status->currentText(), QStringLiteral("In Progress"));
      status->setFocus();
      QTest::keyClicks(status, "Not");
      QCOMPARE(status->currentText(), QStringLiteral("Not Started"));
      QCOMPARE(complete->findChild<QLineEdit*>()->text(), QStringLiteral("0"));
      Press(ADialog, "btnCancel");
    });
    QVERIFY(!FShell->Model()->Map().GetNode(1)->FindProperty("Action"));
  }

  void ZeroDurationMakesAMilestoneAndUncheckingItWorksTheDurationOut() {
    Open("add 0 A; scheduling on; convert 1");
    Edit({"1"}, [](QWidget* ADialog) {
      auto* duration = Find<QLineEdit>(ADialog, "edtDuration");
      auto* milestone = Find<QCheckBox>(ADialog, "chkMilestone");
      QVERIFY(!milestone->isChecked());
      TypeOver(duration, "0");
      QVERIFY(milestone->isChecked());
      QTest::mouseClick(milestone, Qt::LeftButton);
      QVERIFY(!milestone->isChecked());
      // The start and end pickers still span the one working day the task had.
      QCOMPARE(duration->text(), QStringLiteral("1.00"));
      Press(ADialog, "btnCancel");
    });
  }

  void SummaryTaskShowsRolledUpFieldsDisabledAndOnlyItsConstraints() {
    Open("add 0 A; add 0 B; scheduling on; convert 1 2; add 1 Sub; convert 3; set 3 Complete 40");
    const std::string before = Saved("before.xml");
    Edit({"1"}, [](QWidget* ADialog) {
      for (const char* name : {"chCompletedDate", "dtpCompletedDate", "edtDuration", "cbDuration", "seComplete",
                               "cbStatus"})
        QVERIFY2(!Find<QWidget>(ADialog, name)->isEnabled(), name);
      // What the subtask works out, not the summary's stored 0 and "Not Started".
      QCOMPARE(Find<QWidget>(ADialog, "seComplete")->findChild<QLineEdit*>()->text(), QStringLiteral("40"));
      QCOMPARE(Find<QComboBox>(ADialog, "cbStatus")->currentText(), QStringLiteral("In Progress"));
      // A start typed for a phase moves it, so the start stays open.
      for (const char* name : {"cbPriority", "editCost", "chDueDate", "edtTaskName", "dtpStartDate"})
        QVERIFY2(Find<QWidget>(ADialog, name)->isEnabled(), name);
      auto* constraints = Find<QComboBox>(ADialog, "cboConstraintType");
      QStringList items;
      for (int i = 0; i < constraints->count(); ++i) items << constraints->itemText(i);
      QCOMPARE(items, QStringList({"As Soon As Possible", "Finish No Later Than", "Start No Earlier Than"}));
      Press(ADialog, "btnOK");
    });
    // OK wrote none of the shown values into the summary's own record.
    QCOMPARE(Saved("after.xml"), before);
    // A task without subtasks is offered every constraint but the one it cannot keep.
    Edit({"2"}, [](QWidget* ADialog) {
      QCOMPARE(Find<QComboBox>(ADialog, "cboConstraintType")->count(), 7);
      QVERIFY(Find<QWidget>(ADialog, "seComplete")->isEnabled());
      Press(ADialog, "btnCancel");
    });
  }

  void PlainActionsHaveNoAdvancedPageAndAShorterForm() {
    Open("add 0 A");
    int plainHeight = 0;
    Edit({"1"}, [&](QWidget* ADialog) {
      QVERIFY(!Find<QWidget>(ADialog, "grpTaskName")->isVisible());
      QVERIFY(!Find<QWidget>(ADialog, "vstPreds")->isVisible());
      plainHeight = ADialog->height();
      Press(ADialog, "btnCancel");
    });
    Run("scheduling on; convert 1");
    Edit({"1"}, [&](QWidget* ADialog) {
      QVERIFY(ADialog->height() > plainHeight);
      Press(ADialog, "btnCancel");
    });
  }

  void RefusedPredecessorsShowTheirWarningsAndChangeNothing() {
    Open("add 0 A; add 0 B; add 0 C; scheduling on; convert 1 2 3; link add 1 2");
    TDialogRecorder recorder;
    Run("edit 1 --pred 2; edit 3 --pred 1 --pred 1 --pred 3 --pred 99; links 1; links 3");
    const std::vector<std::string> expected{
        "There was a problem linking these tasks.\r\n\r\nYou cannot have the same task as predecessor and successor.",
        "There was a problem linking these tasks.\r\n\r\nYou cannot link a predecessor task twice to the same "
        "successor task.",
        "You cannot make a task a predecessor of itself.\r\n\r\nIf this task is dependant on another task, enter the "
        "ID number of the task it depends on and any pertinent task relationship information.",
        "Invalid task ID.\r\n\r\nThis task ID number you entered does not exist. Specify a task ID number that is "
        "used in this project to create a new predecessor."};
    QCOMPARE(recorder->Texts(), expected);
    QCOMPARE(Printed(), std::string("1\n2\n3\nsucc 2 FS\nsucc 3 FS\npred 1 FS\n"));
  }

  void OkIsOneUndoStepForRecordTitleAndLinks() {
    Open("add 0 A; add 0 B; add 0 C; scheduling on; convert 1 2 3; link add 1 3");
    const std::string before = Saved("before.xml");
    const int32_t steps = FShell->Model()->GetCommandProcessor()->GetUndoCount();
    Run("edit 3 --set \"Task Name=Q&A <draft> é→\" --set Duration=2 --set Priority=High --pred -1 --pred 2SS");
    QCOMPARE(FShell->Model()->GetCommandProcessor()->GetUndoCount(), steps + 1);
    Printed();
    Run("links 3; get 3 Duration; get 3 Priority");
    QCOMPARE(Printed(), std::string("pred 2 SS\n2\nHigh\n"));
    QCOMPARE(FShell->Model()->Map().GetNode(3)->Title(), std::string("Q&A <draft> é→"));
    Run("undo");
    QCOMPARE(Saved("after.xml"), before);
  }

  void CancelLeavesTheMapAsItWas() {
    Open("add 0 A; add 0 B; scheduling on; convert 1 2; link add 1 2");
    const std::string before = Saved("before.xml");
    const int32_t steps = FShell->Model()->GetCommandProcessor()->GetUndoCount();
    Run("edit 2 --set \"Task Name=Other\" --set Complete=50 --set Priority=Urgent --pred -1 --pred 1SS --cancel");
    QCOMPARE(Saved("after.xml"), before);
    QCOMPARE(FShell->Model()->GetCommandProcessor()->GetUndoCount(), steps);
  }
};

QTEST_MAIN(EditActionDialogTest)
#include "EditActionDialogTest.moc"
