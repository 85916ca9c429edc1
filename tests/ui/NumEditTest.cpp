#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QVBoxLayout>

#include "ui/NumEdit.h"

// An edit beside a second field, so that focus can enter and leave it.
struct TForm {
  QWidget Window;
  ThvNumEdit* Edit = new ThvNumEdit(&Window);
  QLineEdit* Other = new QLineEdit(&Window);

  TForm() {
    auto* layout = new QVBoxLayout(&Window);
    layout->addWidget(Edit);
    layout->addWidget(Other);
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    Other->setFocus();
  }
  // Enters the edit, replaces its text by typing AText, and stays in it.
  void Type(const QString& AText) {
    Edit->setFocus();
    Edit->selectAll();
    QTest::keyClicks(Edit, AText);
  }
  void Leave() { Other->setFocus(); }
};

class NumEditTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void cleanup() { QLocale::setDefault(QLocale::c()); }

  void NewEditShowsZeroRightJustified() {
    ThvNumEdit edit;
    QCOMPARE(edit.text(), QStringLiteral("0"));
    QVERIFY(edit.alignment() & Qt::AlignRight);
  }

  void TypedNumberIsRoundedOnLeavingNotWhileTyping() {
    TForm form;
    form.Type(QStringLiteral("3"));
    QCOMPARE(form.Edit->text(), QStringLiteral("3"));
    form.Leave();
    QCOMPARE(form.Edit->text(), QStringLiteral("3.00"));
    form.Type(QStringLiteral("2.456"));
    QCOMPARE(form.Edit->text(), QStringLiteral("2.456"));
    form.Leave();
    QCOMPARE(form.Edit->text(), QStringLiteral("2.46"));
    QCOMPARE(form.Edit->Value(), 2.46);
  }

  void EnteringRoundsOnlyWithAutoRounding() {
    TForm form;
    form.Edit->SetRound(false);
    form.Edit->setText(QStringLiteral("1.5"));
    form.Edit->SetRound(true);
    form.Edit->SetAutoRounding(false);
    form.Edit->setFocus();
    QCOMPARE(form.Edit->text(), QStringLiteral("1.5"));
    form.Leave();
    form.Edit->SetRound(false);
    form.Edit->setText(QStringLiteral("1.5"));
    form.Edit->SetRound(true);
    form.Edit->SetAutoRounding(true);
    form.Edit->setFocus();
    QCOMPARE(form.Edit->text(), QStringLiteral("1.50"));
  }

  void ChangesFromOutsideAreRoundedAtOnce() {
    ThvNumEdit edit;
    edit.setText(QStringLiteral("7.123"));
    QCOMPARE(edit.text(), QStringLiteral("7.12"));
    edit.SetRoundingDecimals(0);
    edit.SetValue(7.9);
    QCOMPARE(edit.text(), QStringLiteral("8"));
    edit.SetRound(false);
    edit.setText(QStringLiteral("7.123"));
    QCOMPARE(edit.text(), QStringLiteral("7.123"));
    edit.clear();
    QCOMPARE(edit.Value(), 0.0);
  }

  void RefusesCharactersOutsideNumbers() {
    TForm form;
    form.Type(QStringLiteral("1a2 b+"));
    QCOMPARE(form.Edit->text(), QStringLiteral("12"));
    QVERIFY(!form.Edit->KeyPressed());  // a refused character is no typing
    // A minus only at the start, and only once.
    QTest::keyClick(form.Edit, Qt::Key_Minus);
    QCOMPARE(form.Edit->text(), QStringLiteral("12"));
    form.Edit->setCursorPosition(0);
    QTest::keyClick(form.Edit, Qt::Key_Minus);
    QTest::keyClick(form.Edit, Qt::Key_Home);
    QTest::keyClick(form.Edit, Qt::Key_Minus);
    QCOMPARE(form.Edit->text(), QStringLiteral("-12"));
    // Backspace and Delete still edit.
    QTest::keyClick(form.Edit, Qt::Key_Delete);
    QTest::keyClick(form.Edit, Qt::Key_End);
    QTest::keyClick(form.Edit, Qt::Key_Backspace);
    QCOMPARE(form.Edit->text(), QStringLiteral("1"));

    // An amount that cannot be below 0 refuses the minus, and reads a pasted one as 0.
    form.Edit->SetNegativeAllowed(false);
    form.Edit->clear();
    form.Type(QStringLiteral("-5"));
    QCOMPARE(form.Edit->text(), QStringLiteral("5"));
    form.Edit->setText(QStringLiteral("-2"));
    QCOMPARE(form.Edit->Value(), 0.0);
  }

  void SecondSeparatorSelectsTheDecimals() {
    TForm form;
    form.Type(QStringLiteral("12.345"));
    QTest::keyClick(form.Edit, Qt::Key_Period);
    QCOMPARE(form.Edit->text(), QStringLiteral("12.345"));
    QCOMPARE(form.Edit->cursorPosition(), 3);
    QCOMPARE(form.Edit->selectedText(), QStringLiteral("345"));
    QTest::keyClicks(form.Edit, QStringLiteral("5"));
    QCOMPARE(form.Edit->text(), QStringLiteral("12.5"));
    // A separator that the selection replaces is no second one.
    form.Edit->selectAll();
    QTest::keyClicks(form.Edit, QStringLiteral(".7"));
    QCOMPARE(form.Edit->text(), QStringLiteral(".7"));
  }

  void LeavingALoneSignOrSeparatorEmptiesTheEdit() {
    TForm form;
    for (const QString& text : {QStringLiteral("-"), QStringLiteral(".")}) {
      form.Type(text);
      QCOMPARE(form.Edit->text(), text);
      form.Leave();
      QCOMPARE(form.Edit->text(), QString());
    }
  }

  void FollowsTheLocaleDecimalSeparator() {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    TForm form;
    form.Type(QStringLiteral("1.,5"));
    QCOMPARE(form.Edit->text(), QStringLiteral("1,5"));
    form.Leave();
    QCOMPARE(form.Edit->text(), QStringLiteral("1,50"));
    QCOMPARE(form.Edit->Value(), 1.5);
  }
};

QTEST_MAIN(NumEditTest)
#include "NumEditTest.moc"
