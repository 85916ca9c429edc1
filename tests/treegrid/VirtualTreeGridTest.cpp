#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <string>
#include <vector>

#include "com/AggregableObject.h"
#include "treegrid/VirtualTreeGrid.h"

namespace {

// A link that records the grid's calls and edits through a plain line edit.
class TRecordingLink : public TImplements<TAggregableObject, IVTEditLink> {
 public:
  std::vector<std::string> Calls;
  TVirtualTreeGrid* Tree = nullptr;
  TVirtualNode* Node = nullptr;
  int Column = -1;
  QLineEdit* Edit = nullptr;
  QRect Bounds;

  ~TRecordingLink() override { delete Edit; }
  bool PrepareEdit(TVirtualTreeGrid* ATree, TVirtualNode* ANode, int AColumn) override {
    Calls.push_back("Prepare");
    Tree = ATree;
    Node = ANode;
    Column = AColumn;
    Edit = new QLineEdit(ATree->EditorParent());
    Edit->hide();
    Edit->setText(ATree->Text(ANode, AColumn));
    return true;
  }
  bool BeginEdit() override {
    Calls.push_back("Begin");
    Edit->show();
    Edit->setFocus();
    return true;
  }
  bool EndEdit() override {
    Calls.push_back("End");
    Edit->hide();
    Tree->DoNewText(Node, Column, Edit->text());
    Tree->DoEndEdit();
    return true;
  }
  bool CancelEdit() override {
    Calls.push_back("Cancel");
    Edit->hide();
    Tree->DoCancelEdit();
    return true;
  }
  QRect GetBounds() override { return Bounds; }
  void SetBounds(const QRect& ARect) override {
    Calls.push_back("SetBounds");
    Bounds = ARect;
  }
  void ProcessMessage(QEvent*) override {}
};

// Three columns of "row:column" texts over ten rows; column 0 is read-only.
struct TGridForm {
  QWidget Window;
  TVirtualTreeGrid* Grid = new TVirtualTreeGrid(&Window);
  QLineEdit* After = new QLineEdit(&Window);
  std::vector<ComPtr<TRecordingLink>> Links;

  TGridForm() {
    auto* layout = new QVBoxLayout(&Window);
    layout->addWidget(Grid);
    layout->addWidget(After);
    Grid->SetColumns({"ID", "Name", "Type"});
    Grid->SetRootNodeCount(10);
    Grid->SetEditable(true);
    Grid->OnGetText = [](TVirtualNode* ANode, int AColumn) {
      return QStringLiteral("%1:%2").arg(ANode->Index).arg(AColumn);
    };
    Grid->OnEditing = [](TVirtualNode*, int AColumn) { return AColumn > 0; };
    Grid->OnCreateEditor = [this](TVirtualNode*, int) {
      Links.push_back(make<TRecordingLink>());
      return ComPtr<IVTEditLink>(Links.back());
    };
    Window.resize(400, 300);
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    Grid->setFocus();
  }
  QPoint CellCentre(int ARow, int AColumn) {
    return Grid->visualRect(Grid->IndexOf(Grid->Child(nullptr, ARow), AColumn)).center();
  }
};

}  // namespace

class VirtualTreeGridTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void F2EditsTheFocusedCellThroughItsLink() {
    TGridForm form;
    QSignalSpy newText(form.Grid, &TVirtualTreeGrid::NewText);
    TVirtualNode* row = form.Grid->Child(nullptr, 2);
    form.Grid->SetFocusedCell(row, 1);
    QTest::keyClick(form.Grid, Qt::Key_F2);
    QCOMPARE(form.Links.size(), size_t(1));
    TRecordingLink& link = *form.Links[0];
    QCOMPARE(link.Calls, (std::vector<std::string>{"Prepare", "SetBounds", "Begin"}));
    QCOMPARE(link.Node, row);
    QCOMPARE(link.Edit->text(), QStringLiteral("2:1"));
    QVERIFY(link.Edit->hasFocus());
    // The bounds start where the cell's text starts.
    const QRect cell = form.Grid->GetDisplayRect(row, 1, false);
    QCOMPARE(link.Bounds, form.Grid->GetDisplayRect(row, 1, true));
    QVERIFY(link.Bounds.left() > cell.left() && link.Bounds.top() == cell.top());

    link.Edit->setText(QStringLiteral("new"));
    QVERIFY(form.Grid->EndEditNode());
    QVERIFY(!form.Grid->IsEditing());
    QCOMPARE(newText.count(), 1);
    QCOMPARE(newText.at(0).at(2).toString(), QStringLiteral("new"));
    QVERIFY(form.Grid->hasFocus());  // back from the hidden control
    // A read-only cell starts nothing, and Enter does as F2 does.
    form.Grid->SetFocusedCell(row, 0);
    QTest::keyClick(form.Grid, Qt::Key_Return);
    QCOMPARE(form.Links.size(), size_t(1));
    form.Grid->SetFocusedCell(row, 2);
    QTest::keyClick(form.Grid, Qt::Key_Return);
    QCOMPARE(form.Links.size(), size_t(2));
    QVERIFY(form.Grid->CancelEditNode());
    QCOMPARE(form.Links[1]->Calls.back(), std::string("Cancel"));
  }

  void AClickEditsTheCellWhenEditOnClickIsSet() {
    TGridForm form;
    QTest::mouseClick(form.Grid->viewport(), Qt::LeftButton, {}, form.CellCentre(3, 2));
    QVERIFY(!form.Grid->IsEditing());
    form.Grid->SetEditOnClick(true);
    QTest::mouseClick(form.Grid->viewport(), Qt::LeftButton, {}, form.CellCentre(3, 2));
    QVERIFY(form.Grid->IsEditing());
    QCOMPARE(form.Links.back()->Node, form.Grid->Child(nullptr, 3));
    QCOMPARE(form.Links.back()->Column, 2);
    // A click elsewhere ends this edit before starting the next.
    QTest::mouseClick(form.Grid->viewport(), Qt::LeftButton, {}, form.CellCentre(4, 1));
    QCOMPARE(form.Links.size(), size_t(2));
    QCOMPARE(form.Links[0]->Calls.back(), std::string("End"));
    QCOMPARE(form.Links[1]->Node, form.Grid->Child(nullptr, 4));
  }

  void TabMovesToTheNextEditableCell() {
    TGridForm form;
    form.Grid->EditNode(form.Grid->Child(nullptr, 0), 1);
    QTest::keyClick(form.Links.back()->Edit, Qt::Key_Tab);
    QCOMPARE(form.Links.back()->Column, 2);
    // Column 0 is read-only: the next row's column 1 comes next.
    QTest::keyClick(form.Links.back()->Edit, Qt::Key_Tab);
    QCOMPARE(form.Links.back()->Node, form.Grid->Child(nullptr, 1));
    QCOMPARE(form.Links.back()->Column, 1);
    QTest::keyClick(form.Links.back()->Edit, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(form.Links.back()->Node, form.Grid->Child(nullptr, 0));
    QCOMPARE(form.Links.back()->Column, 2);
    QCOMPARE(form.Links.size(), size_t(4));
    for (size_t i = 0; i + 1 < form.Links.size(); ++i) QCOMPARE(form.Links[i]->Calls.back(), std::string("End"));
    // Past the last cell the focus leaves the grid.
    form.Grid->EditNode(form.Grid->Child(nullptr, 9), 2);
    QTest::keyClick(form.Links.back()->Edit, Qt::Key_Tab);
    QVERIFY(!form.Grid->IsEditing());
    QVERIFY(form.After->hasFocus());
  }

  void RemovingTheEditedRowCancelsTheEdit() {
    TGridForm form;
    form.Grid->EditNode(form.Grid->Child(nullptr, 8), 1);
    form.Grid->SetRootNodeCount(8);
    QVERIFY(!form.Grid->IsEditing());
    QCOMPARE(form.Links.back()->Calls.back(), std::string("Cancel"));
    QCOMPARE(form.Grid->Child(nullptr, 8), nullptr);
  }

  void AHundredThousandRowsAskOnlyForTheRowsInView() {
    QWidget window;
    auto* grid = new TVirtualTreeGrid(&window);
    grid->resize(400, 300);
    grid->SetColumns({"ID", "Name"});
    int asked = 0;
    grid->OnGetText = [&](TVirtualNode* ANode, int) {
      ++asked;
      return QString::number(ANode->Index);
    };
    QElapsedTimer timer;
    timer.start();
    grid->SetRootNodeCount(100000);
    window.show();
    grid->repaint();
    grid->scrollToBottom();
    grid->repaint();
    qInfo("100,000 rows filled, shown and painted twice in %lld ms", static_cast<long long>(timer.elapsed()));
    QVERIFY(asked < 500);
    QCOMPARE(grid->Text(grid->Child(nullptr, 99999), 0), QStringLiteral("99999"));
  }

  void ADeepChainIsFreedWithoutRecursion() {
    auto grid = std::make_unique<TVirtualTreeGrid>();
    TVirtualNode* node = nullptr;
    for (int depth = 0; depth < 200000; ++depth) {
      grid->SetChildCount(node, 1);
      node = grid->Child(node, 0);
    }
    grid->SetRootNodeCount(0);
    grid->SetChildCount(nullptr, 1);
    grid.reset();
  }
};

QTEST_MAIN(VirtualTreeGridTest)
#include "VirtualTreeGridTest.moc"
