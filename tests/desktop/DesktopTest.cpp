#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>

#include "apps/DesktopActions.h"
#include "apps/DesktopGantt.h"
#include "apps/DesktopNodeMenu.h"
#include "apps/DesktopNotes.h"
#include "apps/DesktopResources.h"
#include "apps/DesktopTree.h"
#include "apps/DesktopWindow.h"
#include "host/Baseline.h"
#include "com/OleDate.h"
#include "commands/ActionFieldEdit.h"
#include "contract/ActionAttributesIntf.h"
#include "host/MapEditCommands.h"
#include "host/tasks/TaskProgram.h"
#include "settings/AutomationServers.h"
#include "session/HostDataEditor.h"
#include "tests/support/RecordingDialogService.h"

namespace {

// The window over a new map, its messages and questions recorded.
struct TDesktop {
  std::shared_ptr<TRecordingDialogService> Dialogs = std::make_shared<TRecordingDialogService>();
  std::unique_ptr<TDesktopWindow> Window;
  QTemporaryDir Folder;

  explicit TDesktop(const std::string& AMap = {}) {
    SetDialogService(Dialogs);
    Window = std::make_unique<TDesktopWindow>(LUMETA_PLUGIN_DIR, false);
    Window->resize(1200, 600);
    Window->show();
    if (!Window->OpenMap(AMap)) qFatal("cannot open %s", AMap.c_str());
  }
  ~TDesktop() {
    Window.reset();
    SetDialogService(nullptr);
  }
  TLumetaModel* Model() const { return Window->Model(); }
  int64_t Add(int64_t AParent, const std::string& ATitle) {
    ComPtr<TAddNodeCommand> command = make<TAddNodeCommand>(Model(), AParent, ATitle);
    Window->Execute(command.get());
    return command->NodeID();
  }
  ComPtr<IActionAttribute> Action(int64_t AID) const {
    ComPtr<IProperty> property = Model()->Map().GetNode(AID)->FindProperty("Action");
    return property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
  }
  TDesktopItemModel& Items() const { return *Window->ItemModel(); }
  QString Cell(int64_t AID, int AColumn) const { return Items().CellText(AID, AColumn); }
  // Links the predecessor to the successor, finish to start, as one undo step.
  bool Link(int64_t APredecessor, int64_t ASuccessor) const {
    const bool linked = static_cast<bool>(Items().Editor()->ChangeLink(TLinkChange::Add, std::to_string(APredecessor),
                                                                        std::to_string(ASuccessor)));
    Window->Refresh();
    return linked;
  }
  // Gives the cell a text as its in-place editor does.
  void Commit(int64_t AID, int AColumn, const QString& AText) const {
    CommitCellText(&Items(), Items().IndexOf(AID, AColumn), AText);
  }
  std::string Path(const char* AName) const { return Folder.filePath(QString::fromLatin1(AName)).toStdString(); }
};

void Settle() {
  for (int i = 0; i < 4; ++i) QCoreApplication::processEvents();
}

// Works the modal dialog that opens next with AWork, then presses OK.
template <class F>
void OnNextDialog(F AWork) {
  QTimer::singleShot(0, [AWork] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) qFatal("no dialog opened");
    AWork(*dialog);
    dialog->accept();
  });
}

int32_t UndoCount(const TDesktop& ADesktop) { return ADesktop.Model()->GetCommandProcessor()->GetUndoCount(); }

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void EditingACellRunsTheEntryAndOneUndoRestoresIt() {
    TDesktop desktop;
    const int64_t id = desktop.Add(0, "Plan");
    desktop.Window->SelectNodes({id});
    // Typed into the cell's own editor, as a user does.
    TDesktopTree* tree = desktop.Window->Tree();
    QVERIFY(tree->EditCell(id, dcCost));
    auto* editor = qobject_cast<QLineEdit*>(tree->viewport()->focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "12.5");
    QTest::keyClick(editor, Qt::Key_Return);
    Settle();
    QVERIFY(desktop.Action(id));
    QCOMPARE(desktop.Action(id)->GetCost(), 12.5);
    QCOMPARE(desktop.Cell(id, dcCost), QStringLiteral("12.5"));
    QVERIFY(desktop.Window->Actions()->Undo()->isEnabled());

    desktop.Commit(id, dcStatus, QStringLiteral("In Progress"));
    QCOMPARE(desktop.Cell(id, dcStatus), QStringLiteral("In Progress"));
    desktop.Window->Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(id, dcStatus), QString());
    QCOMPARE(desktop.Cell(id, dcCost), QStringLiteral("12.5"));
    desktop.Window->Actions()->Undo()->trigger();
    QVERIFY(!desktop.Action(id));  // the action the first edit made is gone again
    QVERIFY(desktop.Window->Actions()->Redo()->isEnabled());
    QVERIFY(desktop.Window->Actions()->Redo()->text().startsWith(QStringLiteral("&Redo ")));
  }

  void ScheduledDatesAndTitlesGoThroughTheirCommands() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    // Pricing study (4) comes before Final design (6), finish to start.
    const double successorStart = desktop.Action(6)->GetStartDate();
    const double start = desktop.Action(4)->GetStartDate();
    const QString later = QDate(1899, 12, 30).addDays(static_cast<qint64>(start) + 7).toString(Qt::ISODate);
    desktop.Commit(4, dcStart, later);
    QCOMPARE(desktop.Cell(4, dcStart), later);
    QVERIFY(desktop.Action(6)->GetStartDate() > successorStart);
    // A due date is not scheduled, but kept, as the dialog and the command line keep it.
    const double dueBefore = desktop.Action(6)->GetStartDate();
    desktop.Commit(4, dcDue, QStringLiteral("2030-01-01"));
    QCOMPARE(desktop.Cell(4, dcDue), QStringLiteral("2030-01-01"));
    QCOMPARE(desktop.Action(6)->GetStartDate(), dueBefore);
    // A text that is no date is refused with a warning, and nothing runs.
    const int undo = desktop.Model()->GetCommandProcessor()->GetUndoCount();
    desktop.Commit(4, dcStart, QStringLiteral("soon"));
    QCOMPARE(desktop.Model()->GetCommandProcessor()->GetUndoCount(), undo);
    QVERIFY(!desktop.Dialogs->Entries.empty());
    desktop.Commit(4, dcTitle, QStringLiteral("Price check"));
    QCOMPARE(desktop.Cell(4, dcTitle), QStringLiteral("Price check"));
    QCOMPARE(desktop.Cell(6, dcPredecessors), QStringLiteral("4"));
  }

  // A task another program ticked off comes back through File > Synchronize as one undo step; a
  // task that is gone is named, and its action stays.
  void SynchronizeBringsBackATaskDoneElsewhere() {
    QTemporaryDir store, settings;
    qputenv(TaskProgramFolderVariable, store.path().toUtf8());
    SetSettingsFolder(settings.path().toStdString());
    RegisterAutomationServer(TaskProgramEntry(LUMETA_TASKPROGRAM_LIBRARY));
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    const std::string uid = desktop.Model()->GetMapIdentity(true) + "-10";
    QVERIFY(QDir(store.path()).mkpath(QStringLiteral("tasks")));
    std::ofstream(store.path().toStdString() + "/tasks/" + uid + ".ics")
        << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Another client//EN\r\nBEGIN:VTODO\r\nUID:" << uid
        << "\r\nDTSTAMP:20251015T150000Z\r\nSUMMARY:Certification\r\nSTATUS:COMPLETED\r\nPERCENT-COMPLETE:100\r\n"
           "COMPLETED:20251015T150000Z\r\nEND:VTODO\r\nEND:VCALENDAR\r\n";
    const int32_t undo = UndoCount(desktop);
    desktop.Dialogs->Entries.clear();
    QAction* synchronize = nullptr;
    for (QAction* action : desktop.Window->menuBar()->findChildren<QAction*>())
      if (action->text() == QStringLiteral("S&ynchronize")) synchronize = action;
    QVERIFY(synchronize);
    synchronize->trigger();
    QCOMPARE(desktop.Cell(10, dcComplete), QStringLiteral("100%"));
    QCOMPARE(desktop.Cell(10, dcStatus), QStringLiteral("Completed"));
    QCOMPARE(UndoCount(desktop), undo + 1);
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
    const std::string& text = desktop.Dialogs->Entries.front().Text;
    QVERIFY2(text.find("\n10 Certification: 0 % -> 100 %, Completed, Completed Date 2025-10-16 17:00 -> 2025-10-") !=
                 std::string::npos, text.c_str());
    QVERIFY2(text.find("node 2 'Market survey': its task is no longer in the task store") != std::string::npos,
             text.c_str());
    desktop.Window->Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(10, dcComplete), QStringLiteral("0%"));
    QCOMPARE(desktop.Cell(10, dcStatus), QStringLiteral("Not Started"));
    UnregisterAutomationServer(TaskProgramProgID);
    qunsetenv(TaskProgramFolderVariable);
  }

  void ToolbarStatesFollowTheSelection() {
    TDesktop desktop;
    const int64_t plain = desktop.Add(0, "Plain");
    const int64_t done = desktop.Add(0, "Done");
    desktop.Window->SelectNodes({done});
    desktop.Window->RunEntry(8);  // mark complete
    QVERIFY(desktop.Action(done)->GetIsAction());

    desktop.Window->SelectNodes({});
    QVERIFY(desktop.Window->Actions()->Entry(6)->isEnabled());
    QVERIFY(!desktop.Window->Actions()->Entry(7)->isEnabled());
    QVERIFY(!desktop.Window->Actions()->Entry(8)->isEnabled());
    QVERIFY(!desktop.Window->Actions()->Entry(9)->isEnabled());

    desktop.Window->SelectNodes({plain});
    QVERIFY(desktop.Window->Actions()->Entry(7)->isEnabled());
    QVERIFY(desktop.Window->Actions()->Entry(8)->isEnabled());
    QVERIFY(!desktop.Window->Actions()->Entry(8)->isChecked());
    QVERIFY(!desktop.Window->Actions()->Entry(9)->isEnabled());  // nothing to clear

    desktop.Window->SelectNodes({done});
    QVERIFY(desktop.Window->Actions()->Entry(8)->isChecked());
    QVERIFY(desktop.Window->Actions()->Entry(9)->isEnabled());
    // Selecting in the tree itself reaches the model and the entries alike.
    desktop.Window->Tree()->setCurrentIndex(desktop.Items().IndexOf(plain));
    QCOMPARE(desktop.Model()->SelectedIDs(), std::vector<int64_t>{plain});
    QVERIFY(!desktop.Window->Actions()->Entry(9)->isEnabled());
  }

  void MalformedFileShowsTheLocatedErrorAndKeepsTheOpenMap() {
    TDesktop desktop;
    const int64_t id = desktop.Add(0, "Kept");
    const std::string bad = desktop.Path("bad.xml");
    std::ofstream(bad) << "<?xml version=\"1.0\"?>\n<Map>\n  <Node ID=\"1\"><Title>x</Node>\n</Map>\n";
    desktop.Dialogs->Entries.clear();
    QVERIFY(!desktop.Window->OpenMap(bad));
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
    const std::string& text = desktop.Dialogs->Entries.front().Text;
    QVERIFY2(text.find("bad.xml:3") != std::string::npos, text.c_str());
    QCOMPARE(desktop.Cell(id, dcTitle), QStringLiteral("Kept"));
    QVERIFY(desktop.Window->MapPath().empty());
    QVERIFY(desktop.Window->IsModified());
  }

  // What the reader passed over reaches the person in one message, not a terminal they do not see.
  void WarningsOfALoadShowInOneMessage() {
    TDesktop desktop;
    const std::string odd = desktop.Path("odd.xml");
    std::ofstream(odd) << "<?xml version=\"1.0\"?>\n<Map>\n  <Node ID=\"1\">\n    <Title>x</Title>\n"
                          "    <Action><Duration>three</Duration><Work>1,5</Work></Action>\n    <Shape/>\n  </Node>\n</Map>\n";
    desktop.Dialogs->Entries.clear();
    QVERIFY(desktop.Window->OpenMap(odd));
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
    QVERIFY(desktop.Dialogs->Entries.front().Kind == TMessageKind::Warning);
    const std::string& text = desktop.Dialogs->Entries.front().Text;
    QVERIFY2(text.starts_with("Opened " + odd + " with warnings:\n" + odd + ":5:13: 'three' in 'Duration'"), text.c_str());
    QVERIFY2(text.find(odd + ":5:39: '1,5' in 'Work'") != std::string::npos, text.c_str());
    QVERIFY2(text.find("unknown element 'Shape'") != std::string::npos, text.c_str());

    // A map that opens cleanly shows nothing; the warnings of the last one are not repeated.
    const std::string clean = desktop.Path("clean.xml");
    std::ofstream(clean) << "<?xml version=\"1.0\"?>\n<Map>\n  <Node ID=\"1\"><Title>y</Title></Node>\n</Map>\n";
    desktop.Dialogs->Entries.clear();
    QVERIFY(desktop.Window->OpenMap(clean));
    QCOMPARE(desktop.Dialogs->Texts(), std::vector<std::string>{});
  }

  void ClosingWithUnsavedChangesAsks() {
    TDesktop desktop;
    QVERIFY(!desktop.Window->IsModified());
    const int64_t id = desktop.Add(0, "Draft");
    QVERIFY(desktop.Window->IsModified());

    desktop.Dialogs->Answers = {dbCancel};
    QVERIFY(!desktop.Window->close());
    QVERIFY(desktop.Dialogs->Entries.back().IsQuestion);
    QVERIFY(desktop.Window->isVisible());

    // Saved, the map closes without a question; back at the saved state after undo and redo too.
    const std::string path = desktop.Path("saved.xml");
    QVERIFY(desktop.Window->SaveMap(path));
    QVERIFY(!desktop.Window->IsModified());
    QCOMPARE(desktop.Window->Actions()->RecentFiles().front(), path);
    desktop.Commit(id, dcPriority, QStringLiteral("High"));
    QVERIFY(desktop.Window->IsModified());
    desktop.Window->Actions()->Undo()->trigger();
    QVERIFY(!desktop.Window->IsModified());

    desktop.Add(0, "More");
    desktop.Dialogs->Entries.clear();
    desktop.Dialogs->Answers = {dbNo};
    QVERIFY(desktop.Window->close());
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
  }

  void DraggingABarIsOneUndoStepWithSchedulingOnOrOff() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    TDesktopGantt* gantt = desktop.Window->Gantt();
    gantt->SetZoom(TDesktopGantt::zmDay);
    Settle();
    const auto dragByADay = [&](int64_t AID) {
      const std::optional<QRectF> bar = gantt->BarRect(AID);
      QVERIFY(bar);
      const QPoint from = bar->center().toPoint() - QPoint(static_cast<int>(bar->width() / 4), 0);
      const QPoint to = from + QPoint(static_cast<int>(gantt->DayWidth()), 0);
      QTest::mousePress(gantt, Qt::LeftButton, Qt::NoModifier, from);
      QMouseEvent move(QEvent::MouseMove, to, gantt->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(gantt, &move);
      QTest::mouseRelease(gantt, Qt::LeftButton, Qt::NoModifier, to);
      Settle();
    };
    // A one-day task (Press release, 23) fills its day's column: a bar to grab, not a sliver.
    const std::optional<QRectF> oneDay = gantt->BarRect(23);
    QVERIFY(oneDay && oneDay->width() >= gantt->DayWidth() - 0.5);
    QCOMPARE(gantt->DateAt(gantt->XOf(desktop.Action(23)->GetStartDate() + 0.1)), desktop.Action(23)->GetStartDate() + 0.1);
    // Pricing study (4) comes before Final design (6), finish to start.
    const double start = desktop.Action(4)->GetStartDate(), finish = desktop.Action(4)->GetCompletedDate();
    const double successor = desktop.Action(6)->GetStartDate();
    dragByADay(4);
    QVERIFY(desktop.Action(4)->GetStartDate() > start);
    QVERIFY(desktop.Action(6)->GetStartDate() > successor);
    desktop.Window->Actions()->Undo()->trigger();
    QCOMPARE(desktop.Action(4)->GetStartDate(), start);
    QCOMPARE(desktop.Action(6)->GetStartDate(), successor);

    // Without scheduling the finish is moved along, still as one step, and redo replays it.
    desktop.Model()->Map().Settings()->SetTaskScheduling(false);
    const int32_t steps = UndoCount(desktop);
    dragByADay(4);
    QCOMPARE(UndoCount(desktop), steps + 1);
    QCOMPARE(desktop.Action(4)->GetStartDate(), start + 1);
    QCOMPARE(desktop.Action(4)->GetCompletedDate(), finish + 1);
    desktop.Window->Actions()->Undo()->trigger();
    QCOMPARE(desktop.Action(4)->GetStartDate(), start);
    QCOMPARE(desktop.Action(4)->GetCompletedDate(), finish);
    desktop.Window->Actions()->Redo()->trigger();
    QCOMPARE(desktop.Action(4)->GetCompletedDate(), finish + 1);
  }

  void NodeDroppedOntoAnotherMovesUnderItAndOneUndoRestoresIt() {
    TDesktop desktop;
    const int64_t first = desktop.Add(0, "First"), second = desktop.Add(0, "Second");
    TDesktopTree* tree = desktop.Window->Tree();
    Settle();
    const QPoint from = tree->visualRect(desktop.Items().IndexOf(second)).center();
    const QPoint to = tree->visualRect(desktop.Items().IndexOf(first)).center();
    QTest::mousePress(tree->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, to, tree->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(tree->viewport(), &move);
    QTest::mouseRelease(tree->viewport(), Qt::LeftButton, Qt::NoModifier, to);
    Settle();
    QCOMPARE(desktop.Model()->Map().GetNode(second)->Parent()->ID(), first);
    QVERIFY(desktop.Items().IndexOf(second).isValid());
    desktop.Window->Actions()->Undo()->trigger();
    QCOMPARE(desktop.Model()->Map().GetNode(second)->Parent()->ID(), int64_t(0));
    QCOMPARE(desktop.Model()->Map().GetNode(second)->IndexInParent(), 1);

    // First leads to Second, Second to Third: dropped under Third, First would wait for itself.
    const int64_t third = desktop.Add(0, "Third");
    TLumetaMap& map = desktop.Model()->Map();
    QVERIFY(desktop.Link(first, second));
    QVERIFY(desktop.Link(second, third));
    desktop.Dialogs->Entries.clear();
    desktop.Window->DropNode(first, third);
    QCOMPARE(map.GetNode(first)->Parent()->ID(), third);
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
    QVERIFY(desktop.Dialogs->Entries.front().Kind == TMessageKind::Warning);
    const std::string expected = "the task links now lead in a circle: the link from node " + std::to_string(second) +
                                 " to node " + std::to_string(third) + " leads back";
    QVERIFY2(desktop.Dialogs->Entries.front().Text.starts_with(expected), desktop.Dialogs->Entries.front().Text.c_str());
  }

  void PickListAndWorkMeasureEditInPlaceAsOneUndoStepEach() {
    TDesktop desktop;
    TDesktopWindow& window = *desktop.Window;
    const int64_t id = desktop.Add(0, "Build");
    desktop.Commit(id, dcWork, QStringLiteral("8 hrs"));
    QCOMPARE(desktop.Cell(id, dcWork), QStringLiteral("8 hrs"));

    // F4 on a cell raises the pick-list event; the picked value runs the field's entry.
    const auto pick = [&](int AColumn, const char* AValue) {
      window.Tree()->SetFocusedCell(id, AColumn);
      OnNextDialog([AValue](QDialog& ADialog) {
        ADialog.findChild<QComboBox*>(QStringLiteral("cbValue"))->setCurrentText(QString::fromLatin1(AValue));
      });
      QTest::keyClick(window.Tree(), Qt::Key_F4);
      Settle();
    };
    const QString status = desktop.Cell(id, dcStatus);
    pick(dcStatus, "In Progress");
    QCOMPARE(desktop.Cell(id, dcStatus), QStringLiteral("In Progress"));
    pick(dcWork, "Days");
    QVERIFY(desktop.Cell(id, dcWork).endsWith(QStringLiteral("days")));
    window.Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(id, dcWork), QStringLiteral("8 hrs"));
    window.Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(id, dcStatus), status);

    // A measure typed with the number changes both in one step.
    const int32_t steps = UndoCount(desktop);
    desktop.Commit(id, dcWork, QStringLiteral("2 days"));
    QCOMPARE(desktop.Cell(id, dcWork), QStringLiteral("2 days"));
    QCOMPARE(UndoCount(desktop), steps + 1);
    window.Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(id, dcWork), QStringLiteral("8 hrs"));
  }

  void PredecessorsCellChangesLinksInOneStepAndARefusedListChangesNothing() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    TDesktopWindow& window = *desktop.Window;
    // Sales training (20) follows Certification (10); typed in place, Retail partners (19) joins it.
    QVERIFY(window.Tree()->EditCell(20, dcPredecessors));
    auto* editor = qobject_cast<QLineEdit*>(window.Tree()->viewport()->focusWidget());
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "10, 19ss");
    QTest::keyClick(editor, Qt::Key_Return);
    Settle();
    QCOMPARE(desktop.Cell(20, dcPredecessors), QStringLiteral("10, 19SS"));
    // Removing one and retyping the other is one step too.
    const int32_t steps = UndoCount(desktop);
    desktop.Commit(20, dcPredecessors, QStringLiteral("10SS"));
    QCOMPARE(desktop.Cell(20, dcPredecessors), QStringLiteral("10SS"));
    QCOMPARE(UndoCount(desktop), steps + 1);
    window.Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(20, dcPredecessors), QStringLiteral("10, 19SS"));
    window.Actions()->Undo()->trigger();
    QCOMPARE(desktop.Cell(20, dcPredecessors), QStringLiteral("10"));

    // Post-launch review (24) comes after Pricing study (4) by a chain of links: a cycle. Nothing
    // changes, not even the links the list would keep, and the rule's warning is the only message.
    desktop.Dialogs->Entries.clear();
    for (const char* refused : {"2, 24", "2, 99"}) {
      desktop.Commit(4, dcPredecessors, QString::fromLatin1(refused));
      QCOMPARE(desktop.Cell(4, dcPredecessors), QStringLiteral("2, 3"));
    }
    QCOMPARE(UndoCount(desktop), steps - 1);
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(2));
    QVERIFY(desktop.Dialogs->Entries.front().Text.find("circular") != std::string::npos);
  }

  // A new holiday moves the tasks at once; a must-start-on date before the predecessor's finish is
  // named in one message and its bar framed, with the reason in the bar's tooltip.
  void ScheduleFollowsTheCalendarAndConflictsAreShown() {
    TDesktop desktop;
    TLumetaMap& map = desktop.Model()->Map();
    TLumetaMapSettings& settings = *map.MapSettings();
    settings.SetTaskScheduling(true);
    TMapCalendar calendar = settings.Calendar();
    calendar.ScheduleStart = EncodeDate(2027, 5, 3) + 8.0 / 24;
    desktop.Window->Execute(make<TChangeCalendarCommand>(desktop.Model(), calendar).get());
    const int64_t pack = desktop.Add(0, "Pack"), move = desktop.Add(0, "Move");
    desktop.Window->Execute(make<TConvertNodesCommand>(desktop.Model(), std::vector<int64_t>{pack, move}).get());
    desktop.Commit(pack, dcDuration, QStringLiteral("3 days"));
    QVERIFY(desktop.Link(pack, move));
    Settle();
    const QString before = desktop.Cell(move, dcStart);

    calendar.Holidays = {EncodeDate(2027, 5, 4)};
    desktop.Window->Execute(make<TChangeCalendarCommand>(desktop.Model(), calendar).get());
    Settle();
    QVERIFY(desktop.Cell(move, dcStart) != before);
    QCOMPARE(desktop.Action(move)->GetStartDate(), EncodeDate(2027, 5, 7) + 8.0 / 24);

    desktop.Dialogs->Entries.clear();
    const auto setConstraint = [&](TActionField AField, const TActionFieldValue& AValue) {
      desktop.Window->Execute(make<TScheduleInputEditCommand>(
                                  desktop.Model(),
                                  TActionFieldEdit::PrepareCommand(desktop.Model(), map.GetNode(move), AField, AValue),
                                  std::vector<int64_t>{move})
                                  .get());
      Settle();
    };
    setConstraint(acConstraintType, int32_t(tcMustStartOn));
    setConstraint(acConstraintDate, EncodeDate(2027, 5, 5) + 8.0 / 24);
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
    const std::string& message = desktop.Dialogs->Entries.front().Text;
    QVERIFY2(message.find("task " + std::to_string(move) + " starts 2027-05-05T08:00:00, before its FS link from task " +
                          std::to_string(pack)) != std::string::npos,
             message.c_str());
    QVERIFY(!desktop.Items().Bar(move)->Conflict.isEmpty());
    QVERIFY(desktop.Items().Bar(pack)->Conflict.isEmpty());
    QVERIFY(desktop.Items().ToolTip(move).contains(QStringLiteral("Conflict")));
    desktop.Window->Actions()->Undo()->trigger();
    Settle();
    QVERIFY(desktop.Items().Bar(move)->Conflict.isEmpty());
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
  }

  void MapSettingsDialogChangesAreEachOneUndoStep() {
    TDesktop desktop;
    IMapSettings* settings = desktop.Model()->Map().Settings();
    TLumetaMapSettings& calendar = *desktop.Model()->Map().MapSettings();
    QVERIFY(!settings->GetTaskScheduling());
    OnNextDialog([](QDialog& ADialog) {
      QTest::keyClick(ADialog.findChild<QCheckBox*>(QStringLiteral("chkScheduling")), Qt::Key_Space);
    });
    desktop.Window->EditMapSettings();
    QVERIFY(settings->GetTaskScheduling());
    QVERIFY(desktop.Window->IsModified());

    // Two holidays added from the keyboard, the first taken out again with Delete.
    OnNextDialog([](QDialog& ADialog) {
      auto* date = ADialog.findChild<QDateEdit*>(QStringLiteral("deHoliday"));
      auto* add = ADialog.findChild<QPushButton*>(QStringLiteral("btnAddHoliday"));
      for (const QDate day : {QDate(2030, 1, 2), QDate(2030, 1, 1)}) {
        date->setDate(day);
        QTest::keyClick(add, Qt::Key_Space);
      }
      auto* list = ADialog.findChild<QListWidget*>(QStringLiteral("lstHolidays"));
      QCOMPARE(list->currentItem()->text(), QStringLiteral("2030-01-01"));
      QTest::keyClick(list, Qt::Key_Delete);
    });
    desktop.Window->EditMapSettings();
    QCOMPARE(calendar.Holidays(), std::vector<double>{EncodeDate(2030, 1, 2)});

    desktop.Window->Actions()->Undo()->trigger();
    QVERIFY(calendar.Holidays().empty());
    QVERIFY(settings->GetTaskScheduling());
    desktop.Window->Actions()->Undo()->trigger();
    QVERIFY(!settings->GetTaskScheduling());
    QVERIFY(!desktop.Window->IsModified());
  }

  void LinksIntoACollapsedBranchMeetItsRow() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    TDesktopGantt* gantt = desktop.Window->Gantt();
    using TLinks = std::vector<std::pair<int64_t, int64_t>>;
    const auto painted = [&] {
      Settle();
      gantt->repaint();
      TLinks links = gantt->PaintedLinks();
      std::ranges::sort(links);
      return links;
    };
    // Prototype build (7) is kept collapsed: Electronics (8) inside it follows Final design (6)
    // and comes before Certification (10) and, start to start, Enclosure (9) inside it too.
    QVERIFY(!desktop.Items().IsExpanded(7));
    QVERIFY(!desktop.Items().IndexOf(8).isValid());
    TLinks links = painted();
    QVERIFY(std::ranges::binary_search(links, std::pair<int64_t, int64_t>{6, 7}));
    QVERIFY(std::ranges::binary_search(links, std::pair<int64_t, int64_t>{7, 10}));
    QVERIFY(std::ranges::none_of(links, [](const auto& ALink) { return ALink.first == ALink.second; }));

    // Right on a collapsed title opens it, as in any tree.
    desktop.Window->Tree()->SetFocusedCell(7, dcTitle);
    QTest::keyClick(desktop.Window->Tree(), Qt::Key_Right);
    QCOMPARE(desktop.Items().RowOf(8), desktop.Items().RowOf(7) + 1);
    QVERIFY(desktop.Model()->Map().GetNode(7)->HostData().Expanded);
    links = painted();
    for (const std::pair<int64_t, int64_t>& link : TLinks{{6, 8}, {8, 9}, {8, 10}})
      QVERIFY(std::ranges::binary_search(links, link));
    QVERIFY(std::ranges::none_of(links, [](const auto& ALink) { return ALink.first == 7 || ALink.second == 7; }));
  }

  // Enclosure (9) has 20 days of slack; 25 days more make it drive the launch, and Certification
  // (10) slips off the path. Undo gives the path back. The bars turn red only with the view on.
  void SlackAndCriticalPathFollowEveryEditAndTheViewDrawsThemRed() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    TDesktopItemModel& items = desktop.Items();
    QCOMPARE(desktop.Cell(9, dcSlack), QStringLiteral("20 days"));
    QCOMPARE(desktop.Cell(24, dcSlack), QStringLiteral("0 hrs"));  // in the task's measure
    QVERIFY(items.Bar(10)->Critical);
    QVERIFY(!items.Bar(9)->Critical);
    QVERIFY(!(items.flags(items.IndexOf(10, dcSlack)) & Qt::ItemIsEditable));

    QVERIFY(items.EditField(9, acDuration, QVariant::fromValue(TDesktopQuantity{31, amDays})));
    QCOMPARE(desktop.Cell(9, dcSlack), QStringLiteral("0 days"));
    QCOMPARE(desktop.Cell(10, dcSlack), QStringLiteral("5 days"));
    QVERIFY(items.Bar(9)->Critical);
    QVERIFY(!items.Bar(10)->Critical);
    desktop.Window->Undo(false);
    QCOMPARE(desktop.Cell(9, dcSlack), QStringLiteral("20 days"));
    QVERIFY(items.Bar(10)->Critical);
    // A heading that is no task shows no slack, though the task below it has.
    const int64_t heading = desktop.Add(0, "Heading");
    desktop.Window->Execute(make<TConvertNodesCommand>(desktop.Model(), std::vector<int64_t>{desktop.Add(heading, "Task")}).get());
    QVERIFY(!desktop.Action(heading));
    QVERIFY(!desktop.Cell(heading + 1, dcSlack).isEmpty());
    QCOMPARE(desktop.Cell(heading, dcSlack), QString());

    TDesktopGantt* gantt = desktop.Window->Gantt();
    gantt->ZoomToTasks();
    const auto colourOf = [&](int64_t AID) {
      Settle();
      const std::optional<QRectF> bar = gantt->BarRect(AID);
      const QPoint inside = bar ? QPointF(bar->center().x(), bar->top() + 2).toPoint() : QPoint(-1, -1);
      if (!gantt->rect().contains(inside)) qFatal("the bar of %lld is out of view", static_cast<long long>(AID));
      return gantt->grab().toImage().pixelColor(inside);
    };
    const auto reddish = [](const QColor& AColour) { return AColour.red() > 150 && AColour.blue() < 90; };
    QVERIFY(!reddish(colourOf(10)));
    QAction* view = desktop.Window->Actions()->CriticalPath();
    QVERIFY(view->isCheckable() && !view->isChecked());
    view->trigger();
    QVERIFY(gantt->ShowsCritical());
    QVERIFY(reddish(colourOf(10)));
    QVERIFY(!reddish(colourOf(16)));  // Press kit has 22 days
  }

  // The strip's range is kept between resizes, and an edit or its undo moves it.
  void TheStripsRangeFollowsAnEditAndItsUndo() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    TDesktopItemModel& items = desktop.Items();
    const auto [first, last] = items.TaskSpan();
    QVERIFY(first > 0 && last > first);
    QVERIFY(items.EditField(10, acDuration, QVariant::fromValue(TDesktopQuantity{400, amDays})));
    QCOMPARE(items.TaskSpan().first, first);
    QVERIFY(items.TaskSpan().second > last + 365);
    desktop.Window->Undo(false);
    QCOMPARE(items.TaskSpan(), std::pair(first, last));
  }

  // A baseline shows as a thin grey bar below the task's bar, where the task was agreed to run.
  void TheBaselineIsDrawnBelowTheBar() {
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    TDesktopItemModel& items = desktop.Items();
    const std::optional<TBaseline> agreed = CurrentBaseline(desktop.Model()->Map().GetNode(10));
    QVERIFY(agreed);
    desktop.Window->Execute(make<TSetBaselinesCommand>(desktop.Model(), std::vector<TSetBaselinesCommand::TChange>{{10, agreed}},
                                                       "Set Baseline")
                                .get());
    QVERIFY(items.EditField(10, acDuration, QVariant::fromValue(TDesktopQuantity{12, amDays})));
    QCOMPARE(items.Bar(10)->BaselineFinish, agreed->Finish);
    QVERIFY(items.Bar(10)->Finish > agreed->Finish);
    TDesktopGantt* gantt = desktop.Window->Gantt();
    gantt->ZoomToTasks();
    Settle();
    const QRectF bar = *gantt->BarRect(10);
    const QImage image = gantt->grab().toImage();
    // Below the bar's start the baseline; below its new end, past the agreed finish, nothing.
    const auto below = [&](double AX) { return image.pixelColor(QPointF(AX, bar.bottom() + 2.5).toPoint()); };
    const QColor grey = below(bar.left() + 3), past = below(bar.right() - 2);
    QVERIFY(grey.red() < 200 && std::abs(grey.red() - grey.blue()) < 20);
    QVERIFY(past.lightness() > grey.lightness() + 40);
  }

  // A chain far deeper than the native stack: rows, focus, painting and closing the branch.
  void AChainOfAHundredThousandLevelsShowsAndFolds() {
    TDesktop desktop;
    constexpr int KDepth = 100'000;
    TLumetaMap& map = desktop.Model()->Map();
    TLumetaNode* node = map.Root();
    for (int level = 0; level < KDepth; ++level) node = map.AddNode(node, "Level " + std::to_string(level + 1));
    const int64_t top = map.Root()->Children().front()->ID(), deepest = node->ID();
    desktop.Window->Refresh();
    TDesktopItemModel& items = desktop.Items();
    QCOMPARE(items.rowCount(), KDepth + 1);
    QCOMPARE(items.RowOf(deepest), KDepth);
    QCOMPARE(items.index(KDepth, 0).data(TDesktopItemModel::DepthRole).toInt(), KDepth);
    desktop.Window->SelectNodes({deepest});
    QCOMPARE(desktop.Window->Tree()->FocusedID(), deepest);
    // The deepest title still shows inside its column.
    QVERIFY(!desktop.Window->grab().isNull());
    QCOMPARE(desktop.Cell(deepest, dcTitle), QStringLiteral("Level 100000"));

    items.SetExpanded(top, false);
    QCOMPARE(items.rowCount(), 2);
    QCOMPARE(items.ShownAt(deepest), top);
    QVERIFY(!map.GetNode(top)->ReadHostData().Expanded);
    QVERIFY(!desktop.Window->IsModified());  // a view of the map, not a change
    items.SetExpanded(top, true);
    QCOMPARE(items.RowOf(deepest), KDepth);
  }

  // The program prints the example map offscreen; the PDF's text, read back as a reader's tools
  // read it, names every task, collapsed ones too, and every page carries its heading and number.
  void PdfPagesNameEveryTaskWithTitleDateAndPageNumbers() {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
      QSKIP("pdftotext (Debian poppler-utils, in scripts/setup.sh) is not installed");
    TDesktop desktop(LUMETA_EXAMPLE_MAP);
    const auto run = [](const QStringList& AArguments, QString* AOutput = nullptr) {
      QProcess program;
      program.start(QStringLiteral(LUMETA_DESKTOP_PROGRAM), AArguments);
      if (!program.waitForFinished(120000)) return -1;
      if (AOutput) *AOutput = QString::fromUtf8(program.readAllStandardOutput());
      return program.exitCode();
    };
    // pdftotext ends each page with a form feed.
    const auto pages = [](const QString& APdf) {
      QProcess reader;
      reader.start(QStringLiteral("pdftotext"), {APdf, QStringLiteral("-")});
      reader.waitForFinished(60000);
      QStringList texts = QString::fromUtf8(reader.readAllStandardOutput()).split(QLatin1Char('\f'));
      if (!texts.isEmpty() && texts.back().trimmed().isEmpty()) texts.removeLast();
      return texts;
    };
    const QString map = QStringLiteral(LUMETA_EXAMPLE_MAP), pdf = QString::fromStdString(desktop.Path("plan.pdf"));
    QCOMPARE(run({QStringLiteral("--pdf"), pdf, map}), 0);
    const QStringList printed = pages(pdf);
    QVERIFY(!printed.isEmpty());
    const QString all = printed.join(QLatin1Char('\n'));
    std::vector<TLumetaNode*> stack{desktop.Model()->Map().Root()};
    QStringList titles;
    while (!stack.empty()) {
      TLumetaNode* node = stack.back();
      stack.pop_back();
      titles << QString::fromStdString(node->Title());
      for (const auto& child : node->Children()) stack.push_back(child.get());
    }
    QVERIFY(titles.contains(QStringLiteral("Electronics")));  // inside the collapsed Prototype build
    for (const QString& title : titles) {
      QVERIFY2(all.contains(title), qPrintable(title));
      // Beside its bar too, not only in the title column of each page.
      const bool unique = std::ranges::none_of(titles, [&](const QString& AOther) { return AOther != title && AOther.contains(title); });
      if (unique && title != titles.front())
        QVERIFY2(all.count(title) > printed.size(), qPrintable(title));
    }
    QVERIFY(all.contains(QStringLiteral("2025-10-22")));  // the milestone's date
    // A year's range takes more pages across; each is headed and numbered.
    const QString year = QString::fromStdString(desktop.Path("year.pdf"));
    QCOMPARE(run({QStringLiteral("--pdf"), year, QStringLiteral("--range"), QStringLiteral("2025-01-01"),
                  QStringLiteral("2025-12-31"), map}),
             0);
    const QStringList yearPages = pages(year);
    QVERIFY(yearPages.size() > printed.size());
    for (int page = 0; page < yearPages.size(); ++page) {
      QVERIFY(yearPages[page].contains(titles.front()));
      QVERIFY(yearPages[page].contains(QStringLiteral("Printed ")));
      QVERIFY(yearPages[page].contains(QStringLiteral("Page %1 of %2").arg(page + 1).arg(yearPages.size())));
    }
    // Mistakes are usage errors; --help is not one.
    QCOMPARE(run({QStringLiteral("--pdf"), pdf, QStringLiteral("--range"), QStringLiteral("2025-10-01"),
                  QStringLiteral("2025-09-01"), map}),
             2);
    QCOMPARE(run({QStringLiteral("--settings-dir"), QString(), map}), 2);
    QString help;
    QCOMPARE(run({QStringLiteral("--help")}, &help), 0);
    QVERIFY(help.contains(QStringLiteral("--pdf")) && help.contains(QStringLiteral("--settings-dir")));
  }

  void ResourcesNotesAndCategoriesEditAsOneUndoStepEach() {
    TDesktop desktop;
    const int64_t pack = desktop.Add(0, "Pack"), label = desktop.Add(0, "Label");
    // Both on Monday 2025-10-20: for someone on both, 16 hours on an 8-hour day.
    for (int64_t id : {pack, label})
      for (const auto& [field, text] : {std::pair{acStartDate, "2025-10-20T08:00:00"}, {acCompletedDate, "2025-10-20T17:00:00"}})
        QVERIFY(desktop.Items().Editor()->SetField(std::to_string(id), field, text));
    desktop.Commit(pack, dcResources, QStringLiteral("Ada Brown <ada@example.com>,  Bob"));
    QCOMPARE(desktop.Cell(pack, dcResources), QStringLiteral("Ada Brown <ada@example.com>, Bob"));
    desktop.Commit(label, dcResources, QStringLiteral("ada brown"));
    const int32_t steps = UndoCount(desktop);
    desktop.Dialogs->Entries.clear();
    desktop.Commit(label, dcResources, QStringLiteral("Eve <eve>"));
    QCOMPARE(UndoCount(desktop), steps);
    QCOMPARE(desktop.Dialogs->Entries.size(), size_t(1));
    QCOMPARE(desktop.Dialogs->Entries[0].Text, std::string("'eve' is not an e-mail address"));

    // The resource view: Monday is red for Ada, not for Bob; it follows undo while shown.
    TDesktopResourceView* view = desktop.Window->ShowResources();
    QCOMPARE(view->Uses().size(), size_t(2));
    QCOMPARE(view->DayCount(), 1);
    const auto monday = [&](int ARow) { return view->Table()->item(ARow, view->Table()->columnCount() - 1); };
    QCOMPARE(monday(0)->text(), QStringLiteral("12"));  // half of Pack, all of Label
    QCOMPARE(monday(0)->background().color(), QColor(0xD3, 0x2F, 0x2F));
    QCOMPARE(monday(3)->text(), QStringLiteral("4"));  // Bob, below Ada's two tasks
    QVERIFY(monday(3)->background().color() != QColor(0xD3, 0x2F, 0x2F));
    desktop.Window->Undo(false);
    Settle();
    QCOMPARE(monday(0)->text(), QStringLiteral("4"));

    // Notes typed into the pane are kept as one step when another node is selected.
    desktop.Window->SelectNodes({pack});
    Settle();
    QCOMPARE(desktop.Window->Notes()->NodeID(), pack);
    QPlainTextEdit* notes = desktop.Window->Notes()->Editor();
    notes->setFocus();
    QTest::keyClicks(notes, "Boxes");
    desktop.Window->SelectNodes({label});
    Settle();
    QCOMPARE(desktop.Model()->Map().GetNode(pack)->ReadHostData().Notes, std::string("Boxes"));
    QCOMPARE(UndoCount(desktop), steps);  // one undone, one made
    QVERIFY(notes->toPlainText().isEmpty());

    // The context menu lists the map's categories, checked where the node is in one.
    QVERIFY(THostDataEditor(desktop.Model()).AddCategory(label, "Logistics"));
    for (const bool in : {false, true}) {
      std::unique_ptr<QMenu> menu(MakeNodeMenu(&desktop.Items(), pack, nullptr));
      QList<QAction*> entries = menu->findChild<QMenu*>(QStringLiteral("CategoryMenu"))->actions();
      QCOMPARE(entries.front()->text(), QStringLiteral("Logistics"));
      QCOMPARE(entries.front()->isChecked(), in);
      entries.front()->trigger();
      QCOMPARE(desktop.Model()->Map().GetNode(pack)->ReadHostData().Categories.size(), size_t(in ? 0 : 1));
    }
  }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
