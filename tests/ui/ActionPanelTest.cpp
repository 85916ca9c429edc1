#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QTest>

#include <sstream>

#include "apps/LumetaShell.h"
#include "contract/PlugInUIIntf.h"
#include "ui/ButtonPanel.h"
#include "ui/PickValue.h"

// The plug-in loaded as lumeta loads it, a map of two actions under one branch, and the panel
// the plug-in's controller makes, shown.
struct TPanel {
  std::ostringstream Out, Err;
  TLumetaShell Shell{Out, Err};
  ComPtr<IPlugInView> View;
  QWidget* Form = nullptr;

  TPanel() {
    Shell.Open(LUMETA_PLUGIN_DIR, "");
    for (const char* line : {"add 0 Plan", "add 1 Write", "add 1 Review"}) Run(line);
    Run("set 2 Priority High");
    Run("set 2 Complete 40");
    Run("set 3 Cost 5");
    ComPtr<IActionPlugInUI> ui = Shell.Model()->FindPlugInUI("Action");
    View = QueryAs<IPlugInView>(ui->CreateView(nullptr).get());
    Form = static_cast<QWidget*>(View->GetHandle());
    View->Show();
  }
  ~TPanel() { View = nullptr; }  // the form goes before the plug-in

  // One lumeta command, its words split at blanks ('_' stands for a blank inside a word).
  std::string Run(const std::string& ALine) {
    std::vector<std::string> words;
    std::istringstream in(ALine);
    for (std::string word; in >> word;) {
      std::replace(word.begin(), word.end(), '_', ' ');
      words.push_back(word);
    }
    Out.str({});
    Shell.Run(words);
    QCoreApplication::processEvents();
    std::string text = Out.str();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  template <class T>
  T* Control(const char* AName) {
    T* control = Form->findChild<T*>(AName);
    if (!control) qFatal("no control %s", AName);
    return control;
  }
  QString Text(const char* AName) {
    if (auto* combo = Form->findChild<QComboBox*>(AName)) return combo->currentText();
    if (auto* spin = Form->findChild<QAbstractSpinBox*>(AName)) return spin->text();
    return Control<QLineEdit>(AName)->text();
  }
  // Replaces the control's text by typing.
  void Type(const char* AName, const QString& AText) {
    QWidget* control = Control<QWidget>(AName);
    if (auto* combo = qobject_cast<QComboBox*>(control)) control = combo->lineEdit();
    control->setFocus();
    QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(control, AText);
  }
  // Enter commits; the panel then catches up with what the commit changed.
  void Enter(const char* AName) {
    QTest::keyClick(Control<QWidget>(AName), Qt::Key_Return);
    QCoreApplication::processEvents();
  }
  int UndoCount() { return Shell.Model()->GetCommandProcessor()->GetUndoCount(); }
};

class ActionPanelTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void FollowsTheSelection() {
    TPanel panel;
    panel.Run("select 2");
    QCOMPARE(panel.Text("cbPriority"), QStringLiteral("High"));
    QCOMPARE(panel.Text("seComplete"), QStringLiteral("40"));
    QCOMPARE(panel.Text("cbStatus"), QStringLiteral("In Progress"));
    panel.Run("select 3");
    QCOMPARE(panel.Text("cbPriority"), QString());
    QCOMPARE(panel.Text("seComplete"), QStringLiteral("0"));
    QCOMPARE(panel.Text("editCost"), QStringLiteral("5.00"));
    QVERIFY(panel.Control<QWidget>("editCost")->isEnabled());
    // Nothing selected: nothing to edit.
    panel.Run("select");
    QVERIFY(!panel.Control<QWidget>("editCost")->isEnabled());
    // A deleted node leaves the panel.
    panel.Run("select 3");
    panel.Run("delete 3");
    QCOMPARE(panel.Text("editCost"), QStringLiteral("0.00"));
    QVERIFY(!panel.Control<QWidget>("editCost")->isEnabled());
  }

  void EditsAndUndoElsewhereRefreshThePanel() {
    TPanel panel;
    panel.Run("select 2");
    panel.Run("set 2 Complete 60");
    QCOMPARE(panel.Text("seComplete"), QStringLiteral("60"));
    panel.Run("undo");
    QCOMPARE(panel.Text("seComplete"), QStringLiteral("40"));
    // A hidden panel catches up when it is shown again.
    panel.View->Hide();
    panel.Run("set 2 Priority Low");
    panel.View->Show();
    QCOMPARE(panel.Text("cbPriority"), QStringLiteral("Low"));
  }

  void CommitIsOneUndoStep() {
    TPanel panel;
    panel.Run("select 2");
    const int before = panel.UndoCount();
    panel.Type("seComplete", "75");
    QTest::keyClick(panel.Control<QComboBox>("cbStatus"), Qt::Key_End);  // "Deferred"
    panel.Type("editCost", "12.5");
    panel.Enter("editCost");
    QCOMPARE(panel.UndoCount(), before + 1);
    QCOMPARE(panel.Run("get 2 Complete"), std::string("75"));
    QCOMPARE(panel.Run("get 2 Status"), std::string("Deferred"));
    QCOMPARE(panel.Run("get 2 Cost"), std::string("12.5"));
    panel.Run("undo");
    QCOMPARE(panel.Run("get 2 Complete"), std::string("40"));
    QCOMPARE(panel.Run("get 2 Cost"), std::string("0"));
    QCOMPARE(panel.Text("seComplete"), QStringLiteral("40"));
  }

  void SelectingAnotherNodeCommitsThePendingEdit() {
    TPanel panel;
    panel.Run("select 3");
    panel.Type("editQuantity", "4");
    panel.Run("select 2");
    QCOMPARE(panel.Run("get 3 Quantity"), std::string("4"));
    QCOMPARE(panel.Run("get 3 Cost"), std::string("5"));
    QCOMPARE(panel.Text("editQuantity"), QStringLiteral("0.00"));
  }

  void OnlyChangedFieldsAreCommitted() {
    TPanel panel;
    panel.Run("select 2");
    panel.Type("seComplete", "75");
    // Meanwhile, elsewhere: the panel shows the new priority and keeps the typed percentage.
    panel.Run("set 2 Priority Low");
    panel.Run("set 2 Start_Date 2025-11-03");
    QCOMPARE(panel.Text("cbPriority"), QStringLiteral("Low"));
    QCOMPARE(panel.Text("seComplete"), QStringLiteral("75"));
    QVERIFY(panel.Control<QCheckBox>("chStartDate")->isChecked());
    panel.Enter("seComplete");
    QCOMPARE(panel.Run("get 2 Complete"), std::string("75"));
    QCOMPARE(panel.Run("get 2 Priority"), std::string("Low"));
    QCOMPARE(panel.Run("get 2 Start_Date"), std::string("2025-11-03T00:00:00"));

    // A change the panel has not caught up with yet survives a commit of other fields too.
    panel.Type("editCost", "3");
    panel.Shell.Run({"set", "2", "Priority", "Medium"});
    panel.Enter("editCost");
    QCOMPARE(panel.Run("get 2 Priority"), std::string("Medium"));
    QCOMPARE(panel.Run("get 2 Cost"), std::string("3"));
  }

  void DatePickersKeepDurationAndBoxesInStep() {
    TPanel panel;
    panel.Run("select 3");
    auto* start = panel.Control<QDateTimeEdit>("dtpStartDate");
    auto* due = panel.Control<QDateTimeEdit>("dtpDueDate");
    QVERIFY(!panel.Control<QCheckBox>("chStartDate")->isChecked());
    start->setDate(start->date().addDays(2));
    QVERIFY(panel.Control<QCheckBox>("chStartDate")->isChecked());
    due->setDate(start->date().addDays(3));
    QCOMPARE(panel.Text("ebDuration"), QStringLiteral("3.00"));
    QCOMPARE(panel.Text("cbDuration"), QStringLiteral("Days"));
    // Due before start: no negative duration.
    due->setDate(start->date().addDays(-1));
    QCOMPARE(panel.Text("ebDuration"), QStringLiteral("0.00"));
    // An unchecked box clears its date.
    QTest::mouseClick(panel.Control<QCheckBox>("chDueDate"), Qt::LeftButton);
    panel.Enter("chDueDate");
    QCOMPARE(panel.Run("get 3 Due_Date"), std::string());
    QCOMPARE(panel.Run("get 3 Duration"), std::string("0"));
    QVERIFY(!panel.Run("get 3 Start_Date").empty());
  }

  void TypedPriorityJoinsTheMapListOnceInTheSameStep() {
    TPanel panel;
    panel.Run("select 2");
    const int before = panel.UndoCount();
    panel.Type("cbPriority", "Urgent");
    panel.Enter("cbPriority");
    QCOMPARE(panel.UndoCount(), before + 1);
    auto* priority = panel.Control<QComboBox>("cbPriority");
    QCOMPARE(priority->count(), 5);
    QCOMPARE(priority->itemText(4), QStringLiteral("Urgent"));
    panel.Run("select 3");
    panel.Type("cbPriority", "Urgent");
    panel.Enter("cbPriority");
    QCOMPARE(priority->count(), 5);
    panel.Run("undo");
    panel.Run("undo");
    QCOMPARE(priority->count(), 4);
  }

  void ReadOnlyRefusesTyping() {
    TPanel panel;
    panel.Run("select 2");
    panel.View->SetReadOnlyMode(true);
    panel.View->SetEnabled(true);
    for (const char* name : {"chIsAction", "dtpStartDate", "seComplete", "cbPriority", "editCost", "cbWork"})
      QVERIFY2(!panel.Control<QWidget>(name)->isEnabled(), name);
    const int before = panel.UndoCount();
    panel.Type("editCost", "9");
    panel.Enter("editCost");
    QCOMPARE(panel.Text("editCost"), QStringLiteral("0.00"));
    panel.Run("select 3");
    QCOMPARE(panel.UndoCount(), before);
    QVERIFY(!panel.Control<QWidget>("editCost")->isEnabled());
    panel.View->SetReadOnlyMode(false);
    QVERIFY(panel.Control<QWidget>("editCost")->isEnabled());
  }

  void PickListOffersOnlyItsItems() {
    TfrmPickValue form("Status", {"Unassigned", "Not Started", "Deferred"}, "Not Started");
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.windowTitle(), QStringLiteral("Status"));
    QVERIFY(!form.List()->isEditable());
    QCOMPARE(form.List()->width(), 201);
    QCOMPARE(form.List()->currentText(), QStringLiteral("Not Started"));
    QCOMPARE(QApplication::focusWidget(), form.List());
    QTest::keyClick(form.List(), Qt::Key_Down);
    QTest::mouseClick(form.findChild<ThvButtonPanel*>()->Button(btOK), Qt::LeftButton);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.Value(), std::string("Deferred"));
    // A value that is not listed is kept when nothing is picked.
    TfrmPickValue other("Priority", {"High"}, "Someday");
    QCOMPARE(other.List()->currentIndex(), -1);
    QCOMPARE(other.Value(), std::string("Someday"));
  }
};

QTEST_MAIN(ActionPanelTest)
#include "ActionPanelTest.moc"
