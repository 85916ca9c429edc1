#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "ui/SpinEdit.h"

// A 0..100 spin edit beside a second field, so that focus can enter and leave it.
struct TForm {
  QWidget Window;
  ThvSpinEdit* Spin = new ThvSpinEdit(&Window);
  QLineEdit* Other = new QLineEdit(&Window);

  TForm() {
    Spin->SetMinValue(0);
    Spin->SetMaxValue(100);
    auto* layout = new QVBoxLayout(&Window);
    layout->addWidget(Spin);
    layout->addWidget(Other);
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
  }
  void Type(const QString& AText) {
    Spin->setFocus();
    Spin->selectAll();
    QTest::keyClicks(Spin, AText);
  }
  void Leave() { Other->setFocus(); }
};

class SpinEditTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void FiltersTypedCharacters() {
    TForm form;
    form.Type(QStringLiteral("-1.5x"));
    QCOMPARE(form.Spin->Text(), QStringLiteral("-1.5"));
    form.Spin->SetIntegerOnly(true);
    form.Type(QStringLiteral("+4-2.5"));
    QCOMPARE(form.Spin->Text(), QStringLiteral("425"));
    form.Spin->SetEditorEnabled(false);
    QTest::keyClicks(form.Spin, QStringLiteral("7"));
    QTest::keyClick(form.Spin, Qt::Key_Backspace);
    QCOMPARE(form.Spin->Text(), QStringLiteral("425"));
  }

  void ValueIsClampedWhenSetAndOnLeaving() {
    TForm form;
    form.Spin->SetValue(150);
    QCOMPARE(form.Spin->Text(), QStringLiteral("100"));
    form.Type(QStringLiteral("250"));
    QCOMPARE(form.Spin->Text(), QStringLiteral("250"));
    form.Leave();
    QCOMPARE(form.Spin->Value(), 100);
    // Equal bounds mean no bounds.
    form.Spin->SetMaxValue(0);
    form.Spin->SetValue(-7);
    QCOMPARE(form.Spin->Value(), -7);
  }

  void EmptyTextIsKeptOnlyWhenNullIsAllowed() {
    TForm form;
    form.Spin->SetMinValue(5);
    form.Type(QString());
    QTest::keyClick(form.Spin, Qt::Key_Backspace);
    QVERIFY(form.Spin->IsNull());
    QCOMPARE(form.Spin->Value(), 5);  // an empty text reads as the minimum
    form.Leave();
    QCOMPARE(form.Spin->Text(), QString());
    form.Spin->SetAllowNull(false);
    form.Spin->setFocus();
    form.Leave();
    QCOMPARE(form.Spin->Text(), QStringLiteral("5"));
  }

  void ButtonsAndArrowKeysStepByTheIncrementWithinTheBounds() {
    TForm form;
    QSignalSpy changed(form.Spin, &TSpinEdit::Changed);
    form.Spin->SetValue(95);
    form.Spin->SetIncrement(3);
    form.Spin->setFocus();
    QTest::keyClick(form.Spin, Qt::Key_Up);
    QCOMPARE(form.Spin->Value(), 98);
    QTest::keyClick(form.Spin, Qt::Key_Up);
    QCOMPARE(form.Spin->Value(), 100);
    form.Spin->SetEditorEnabled(false);  // stepping is no typing
    QTest::keyClick(form.Spin, Qt::Key_Down);
    QCOMPARE(form.Spin->Value(), 97);
    QCOMPARE(changed.count(), 4);
    form.Spin->setReadOnly(true);
    QTest::keyClick(form.Spin, Qt::Key_Down);
    QCOMPARE(form.Spin->Value(), 97);
  }
};

QTEST_MAIN(SpinEditTest)
#include "SpinEditTest.moc"
