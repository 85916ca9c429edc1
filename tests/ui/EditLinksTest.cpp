#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <map>

#include "ui/ButtonPanel.h"
#include "ui/EditLinks.h"
#include "ui/SpinEdit.h"

namespace {

const QStringList LinkTypes{"Finish-to-Start (FS)", "Start-to-Start (SS)", "Finish-to-Finish (FF)",
                            "Start-to-Finish (SF)", "(None)"};

// A dialog with a grid of 4 rows by 3 columns over stored texts, and a button panel whose OK is
// the default button and whose Cancel answers Escape. Every column takes the editor MakeLink makes.
struct TGridDialog {
  QDialog Dialog;
  TVirtualTreeGrid* Grid = new TVirtualTreeGrid(&Dialog);
  ThvButtonPanel* Panel = new ThvButtonPanel(&Dialog);
  std::map<std::pair<int, int>, QString> Texts;
  std::function<ComPtr<IVTEditLink>()> MakeLink = [] { return ComPtr<IVTEditLink>(make<TEditEditLink>()); };
  ComPtr<IVTEditLink> Link;  // the last one made

  TGridDialog() {
    auto* layout = new QVBoxLayout(&Dialog);
    layout->addWidget(Grid);
    layout->addWidget(Panel);
    Grid->SetColumns({"A", "B", "C"});
    Grid->SetRootNodeCount(4);
    Grid->SetEditable(true);
    Grid->OnGetText = [this](TVirtualNode* ANode, int AColumn) { return Texts[{ANode->Index, AColumn}]; };
    Grid->OnCreateEditor = [this](TVirtualNode*, int) { return Link = MakeLink(); };
    QObject::connect(Grid, &TVirtualTreeGrid::NewText, Grid, [this](TVirtualNode* ANode, int AColumn, const QString& AText) {
      Texts[{ANode->Index, AColumn}] = AText;
    });
    Dialog.resize(420, 260);
    Dialog.show();
    Dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Dialog));
  }
  TVirtualNode* Row(int AIndex) { return Grid->Child(nullptr, AIndex); }
  TCustomEditLink* Current() { return dynamic_cast<TCustomEditLink*>(Link.get()); }
  // Starts editing the cell and answers its control.
  template <class W>
  W* Edit(int ARow, int AColumn) {
    if (!Grid->EditNode(Row(ARow), AColumn)) return nullptr;
    return qobject_cast<W*>(Current()->Edit());
  }
};

}  // namespace

class EditLinksTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void EnterCommitsOnceAndEscapeKeepsTheOldText() {
    TGridDialog form;
    QSignalSpy newText(form.Grid, &TVirtualTreeGrid::NewText);
    form.Texts[{1, 1}] = "old";
    auto* edit = form.Edit<QLineEdit>(1, 1);
    QVERIFY(edit && edit->isVisible() && edit->hasFocus());
    QCOMPARE(edit->text(), QStringLiteral("old"));
    QTest::keyClicks(edit, "typed");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(newText.count(), 1);
    QCOMPARE(form.Texts[std::make_pair(1, 1)], QStringLiteral("typed"));
    QVERIFY(!form.Grid->IsEditing() && !edit->isVisible());
    QVERIFY(form.Dialog.isVisible());  // Enter was the editor's, not the OK button's

    edit = form.Edit<QLineEdit>(1, 1);
    QTest::keyClicks(edit, "thrown away");
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(newText.count(), 1);
    QCOMPARE(form.Texts[std::make_pair(1, 1)], QStringLiteral("typed"));
    QVERIFY(form.Dialog.isVisible());  // nor was Escape the Cancel button's
    // Ending without a change hands nothing over.
    edit = form.Edit<QLineEdit>(1, 1);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(newText.count(), 1);
    // Out of the editor, Enter is the dialog's again.
    QTest::keyClick(form.Grid, Qt::Key_Escape);
    QVERIFY(!form.Dialog.isVisible());
  }

  void TabCommitsAndMovesToTheNextEditableCell() {
    TGridDialog form;
    form.Grid->OnEditing = [](TVirtualNode*, int AColumn) { return AColumn != 1; };
    auto* edit = form.Edit<QLineEdit>(0, 0);
    QTest::keyClicks(edit, "x");
    QTest::keyClick(edit, Qt::Key_Tab);
    QCOMPARE(form.Texts[std::make_pair(0, 0)], QStringLiteral("x"));
    QVERIFY(form.Grid->IsEditing());
    QCOMPARE(form.Current()->Column(), 2);
    QVERIFY(form.Current()->Edit()->hasFocus());
  }

  void LeavingTheControlEndsTheEdit() {
    TGridDialog form;
    auto* edit = form.Edit<QLineEdit>(2, 0);
    QTest::keyClicks(edit, "kept");
    form.Panel->Button(btCancel)->setFocus();
    QVERIFY(!form.Grid->IsEditing());
    QCOMPARE(form.Texts[std::make_pair(2, 0)], QStringLiteral("kept"));
  }

  void ComboShowsPicksAndCompletes() {
    TGridDialog form;
    // A drop-down list selects nothing for a text it does not hold.
    form.MakeLink = [] { return ComPtr<IVTEditLink>(make<TComboEditLink>(LinkTypes, false, csDropDownList)); };
    form.Texts[{0, 2}] = "Sideways";
    auto* combo = form.Edit<QComboBox>(0, 2);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->count(), 5);
    form.Grid->CancelEditNode();
    form.Texts[{0, 2}] = "start-to-start (ss)";
    combo = form.Edit<QComboBox>(0, 2);
    QCOMPARE(combo->currentText(), QStringLiteral("Start-to-Start (SS)"));
    form.Grid->CancelEditNode();
    form.Texts[{0, 2}] = "";

    form.MakeLink = [] { return ComPtr<IVTEditLink>(make<TComboEditLink>(LinkTypes, true)); };
    combo = form.Edit<QComboBox>(0, 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("(None)"));  // sorted
    QTest::keyClicks(combo, "s");
    QCOMPARE(combo->currentText(), QStringLiteral("Start-to-Start (SS)"));
    QCOMPARE(combo->lineEdit()->selectedText(), QStringLiteral("tart-to-Start (SS)"));
    QCOMPARE(combo->lineEdit()->cursorPosition(), 1);
    QTest::keyClicks(combo, "tart-to-f");
    QCOMPARE(combo->currentText(), QStringLiteral("Start-to-Finish (SF)"));
    auto* link = dynamic_cast<TComboEditLink*>(form.Current());
    QCOMPARE(link->SelectedIndex(), 3);  // in the pick list, whatever the sorting
    QTest::keyClick(combo, Qt::Key_Return);
    QCOMPARE(form.Texts[std::make_pair(0, 2)], QStringLiteral("Start-to-Finish (SF)"));
  }

  void LimitedComboRefusesTextOutsideItsList() {
    TGridDialog form;
    form.MakeLink = [] {
      auto link = make<TComboEditLink>(LinkTypes);
      link->FAutoCompleteMode = TAutoCompleteMode::acLimit;
      return ComPtr<IVTEditLink>(link);
    };
    auto* combo = form.Edit<QComboBox>(3, 1);
    QCOMPARE(combo->count(), 5);
    QTest::keyClicks(combo, "fin");
    QCOMPARE(combo->currentText(), QStringLiteral("fin"));
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(1), QStringLiteral("Finish-to-Finish (FF)"));
    QTest::keyClicks(combo, "x");
    QCOMPARE(combo->currentText(), QStringLiteral("fin"));
    QCOMPARE(combo->lineEdit()->cursorPosition(), 3);
    QTest::keyClick(combo, Qt::Key_Backspace);
    QTest::keyClick(combo, Qt::Key_Backspace);
    QTest::keyClick(combo, Qt::Key_Backspace);
    QCOMPARE(combo->count(), 5);
  }

  void DropDownListCommitsEveryChangeOnce() {
    TGridDialog form;
    QSignalSpy newText(form.Grid, &TVirtualTreeGrid::NewText);
    form.MakeLink = [] {
      auto link = make<TComboEditLink>(LinkTypes, false, csDropDownList);
      link->FCommitOnChange = true;
      return ComPtr<IVTEditLink>(link);
    };
    auto* combo = form.Edit<QComboBox>(1, 2);
    combo->setCurrentIndex(2);
    QCOMPARE(newText.count(), 1);
    QCOMPARE(form.Texts[std::make_pair(1, 2)], QStringLiteral("Finish-to-Finish (FF)"));
    QVERIFY(form.Grid->EndEditNode());
    QCOMPARE(newText.count(), 1);
  }

  void CheckBoxReadsItsValuesIgnoringCase() {
    TGridDialog form;
    bool allowGrayed = false;
    form.MakeLink = [&] {
      auto link = make<TCheckEditLink>();
      link->FAllowGrayed = allowGrayed;
      link->FValueGrayed = "Mixed";
      return ComPtr<IVTEditLink>(link);
    };
    const auto state = [&](const QString& AText) {
      form.Texts[{0, 0}] = AText;
      const Qt::CheckState result = form.Edit<QCheckBox>(0, 0)->checkState();
      form.Grid->CancelEditNode();
      return result;
    };
    QCOMPARE(state("TRUE"), Qt::Checked);
    QCOMPARE(state("false"), Qt::Unchecked);
    QCOMPARE(state("maybe"), Qt::Unchecked);
    allowGrayed = true;
    QCOMPARE(state("maybe"), Qt::PartiallyChecked);
    auto* box = form.Edit<QCheckBox>(0, 0);
    box->setCheckState(Qt::Checked);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(form.Texts[std::make_pair(0, 0)], QStringLiteral("True"));
  }

  void DateEditorReadsAndWritesItsFormat() {
    TGridDialog form;
    form.MakeLink = [] { return ComPtr<IVTEditLink>(make<TDateEditLink>(TDateEditLink::dkDate, '.', "dd/MM/yyyy")); };
    form.Texts[{0, 1}] = "5.3.2024";
    auto* picker = form.Edit<QDateTimeEdit>(0, 1);
    QCOMPARE(picker->date(), QDate(2024, 3, 5));
    picker->setDate(QDate(2024, 12, 24));
    QTest::keyClick(picker, Qt::Key_Return);
    QCOMPARE(form.Texts[std::make_pair(0, 1)], QStringLiteral("24.12.2024"));
    // A text that is no date leaves the picker as it was.
    form.Texts[{0, 1}] = "soon";
    picker = form.Edit<QDateTimeEdit>(0, 1);
    QCOMPARE(picker->date(), QDate::currentDate());
    form.Grid->CancelEditNode();

    form.MakeLink = [] { return ComPtr<IVTEditLink>(make<TDateEditLink>(TDateEditLink::dkTime, QChar(), "HH:mm")); };
    form.Texts[{0, 1}] = "9:05";
    picker = form.Edit<QDateTimeEdit>(0, 1);
    QCOMPARE(picker->time(), QTime(9, 5));
    QCOMPARE(form.Current()->GetName(), QStringLiteral("Date"));
  }

  void SpinAndMemoEditorsEndOnEnter() {
    TGridDialog form;
    form.MakeLink = [] { return ComPtr<IVTEditLink>(make<TSpinEditLink>(true, 100, 0, 5)); };
    form.Texts[{2, 2}] = "10";
    auto* spin = form.Edit<ThvSpinEdit>(2, 2);
    QTest::keyClick(spin, Qt::Key_Up);
    QTest::keyClick(spin, Qt::Key_Return);
    QCOMPARE(form.Texts[std::make_pair(2, 2)], QStringLiteral("15"));

    auto memoLink = make<TMemoEditLink>();
    form.MakeLink = [&] { return ComPtr<IVTEditLink>(memoLink); };
    auto* memo = form.Edit<QPlainTextEdit>(2, 1);
    const QSize opened = memo->size();
    QVERIFY(opened.height() > form.Grid->GetDisplayRect(form.Row(2), 1, false).height());
    QTest::keyClicks(memo, "one");
    QTest::keyClick(memo, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(memo, "two");
    // Dragging the grip makes the memo larger, and the next edit opens as large.
    QWidget* grip = memo->childAt(memo->width() - 3, memo->height() - 3);
    QVERIFY(grip);
    QTest::mousePress(grip, Qt::LeftButton, {}, QPoint(2, 2));
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), grip->mapToGlobal(QPointF(32, 22)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(grip, &move);
    QTest::mouseRelease(grip, Qt::LeftButton, {}, QPoint(32, 22));
    QCOMPARE(memo->size(), opened + QSize(30, 20));
    QTest::keyClick(memo, Qt::Key_Return);
    QCOMPARE(form.Texts[std::make_pair(2, 1)], QStringLiteral("one\ntwo"));
    memo = form.Edit<QPlainTextEdit>(2, 1);
    QCOMPARE(memo->size(), opened + QSize(30, 20));
    form.Grid->CancelEditNode();
  }
};

QTEST_MAIN(EditLinksTest)
#include "EditLinksTest.moc"
