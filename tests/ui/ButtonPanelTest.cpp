#include <QDialog>
#include <QSignalSpy>
#include <QTest>

#include <vector>

#include "ui/ButtonPanel.h"

namespace {

struct TLayoutCase {
  ThvPanelAlign Align;
  ThvButtonAlignment Alignment;
  QSize Panel;
  std::vector<QRect> Expected;  // one rectangle per button, in type order
};

std::vector<QRect> ButtonRects(const ThvButtonPanel& APanel) {
  std::vector<QRect> rects;
  for (int type = 0; type < ButtonTypeCount; ++type)
    if (ThvCustomButton* button = APanel.Button(static_cast<ThvButtonType>(type))) rects.push_back(button->geometry());
  return rects;
}

}  // namespace

Q_DECLARE_METATYPE(TLayoutCase)

class ButtonPanelTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void NewPanelHasOkCancelHelpFlushRight() {
    ThvButtonPanel panel;
    QCOMPARE(panel.size(), QSize(369, 33));
    QVERIFY(panel.ButtonTypes() == ThvButtonTypes({btOK, btCancel, btHelp}));
    const std::vector<QRect> expected{{132, 6, 75, 23}, {211, 6, 75, 23}, {290, 6, 75, 23}};
    QCOMPARE(ButtonRects(panel), expected);
    QCOMPARE(panel.Button(btHelp)->text(), QStringLiteral("Help (F1)"));
    QVERIFY(panel.Button(btOK)->isDefault());
    QVERIFY(!panel.Button(btCancel)->isDefault());
  }

  void LaysOutAtEachAlignment_data() {
    QTest::addColumn<TLayoutCase>("Case");
    const QSize row(369, 33);
    QTest::newRow("row, right") << TLayoutCase{alBottom, baRightBottom, row,
                                               {{53, 6, 75, 23}, {132, 6, 75, 23}, {211, 6, 75, 23}, {290, 6, 75, 23}}};
    QTest::newRow("row, left") << TLayoutCase{alBottom, baLeftTop, row,
                                              {{4, 6, 75, 23}, {83, 6, 75, 23}, {162, 6, 75, 23}, {241, 6, 75, 23}}};
    QTest::newRow("row, centre") << TLayoutCase{alNone, baCentre, row,
                                                {{28, 6, 75, 23}, {107, 6, 75, 23}, {186, 6, 75, 23}, {265, 6, 75, 23}}};
    QTest::newRow("row at the top") << TLayoutCase{alTop, baRightBottom, QSize(369, 40),
                                                   {{53, 4, 75, 23}, {132, 4, 75, 23}, {211, 4, 75, 23}, {290, 4, 75, 23}}};
    const QSize column(90, 200);
    QTest::newRow("column, bottom") << TLayoutCase{alRight, baRightBottom, column,
                                                   {{11, 92, 75, 23}, {11, 119, 75, 23}, {11, 146, 75, 23}, {11, 173, 75, 23}}};
    QTest::newRow("column, centre") << TLayoutCase{alRight, baCentre, column,
                                                   {{11, 48, 75, 23}, {11, 75, 75, 23}, {11, 102, 75, 23}, {11, 129, 75, 23}}};
    // A panel aligned left always starts at the margin.
    QTest::newRow("column on the left") << TLayoutCase{alLeft, baRightBottom, column,
                                                       {{4, 4, 75, 23}, {4, 31, 75, 23}, {4, 58, 75, 23}, {4, 85, 75, 23}}};
  }
  void LaysOutAtEachAlignment() {
    QFETCH(TLayoutCase, Case);
    ThvButtonPanel panel;
    // Listed out of order on purpose: the types decide the order.
    panel.SetButtonTypes({btHelp, btCancel, btOK, btCustom});
    panel.SetAlign(Case.Align);
    panel.SetButtonAlignment(Case.Alignment);
    panel.resize(Case.Panel);
    panel.show();  // a hidden widget hears of its new size when it is shown
    QCOMPARE(ButtonRects(panel), Case.Expected);
  }

  void ChangingTypesKeepsListedButtonsAndFreesTheOthers() {
    ThvButtonPanel panel;
    QPointer<ThvCustomButton> ok = panel.Button(btOK);
    QPointer<ThvCustomButton> help = panel.Button(btHelp);
    panel.SetCustomCaption(QStringLiteral("C&lear"));
    panel.SetButtonTypes({btCustom, btOK, btCancel});
    QCOMPARE(panel.Button(btOK), ok.data());
    QVERIFY(help.isNull());
    QCOMPARE(panel.Button(btHelp), nullptr);
    QCOMPARE(panel.Button(btCustom)->text(), QStringLiteral("C&lear"));
    QCOMPARE(panel.Button(btCustom)->ModalResult(), mrNone);
    // Margins and separation follow their settings.
    panel.SetMargin(10);
    panel.SetSeparation(0);
    const std::vector<QRect> expected{{134, 0, 75, 23}, {209, 0, 75, 23}, {284, 0, 75, 23}};
    QCOMPARE(ButtonRects(panel), expected);
  }

  void ButtonsEndTheirDialogWithTheirResult() {
    QDialog dialog;
    auto* panel = new ThvButtonPanel(&dialog);
    panel->SetButtonTypes({btYes, btNo, btCustom});
    QSignalSpy clicks(panel, &ThvCustomButtonPanel::OnBtnClick);
    dialog.show();
    panel->Button(btYes)->click();
    QCOMPARE(dialog.result(), int(mrYes));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).value<ThvCustomButtonPanel*>(), panel);
    QCOMPARE(clicks.at(0).at(1).value<ThvCustomButton*>(), panel->Button(btYes));
    // A button without a result leaves the dialog open.
    dialog.show();
    dialog.setResult(mrNone);
    panel->Button(btCustom)->click();
    QVERIFY(dialog.isVisible());
    // Escape presses the cancel button (No), not the dialog's own reject.
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(mrNo));
    QVERIFY(!dialog.isVisible());
  }

  void AHandlerCanKeepTheDialogOpen() {
    QDialog dialog;
    auto* panel = new ThvButtonPanel(&dialog);
    connect(panel->Button(btOK), &ThvCustomButton::OnClick, &dialog, [&] { dialog.setResult(mrNone); });
    dialog.show();
    panel->Button(btOK)->click();
    QVERIFY(dialog.isVisible());
  }

  void HelpOpensTheNearestHelpContextAndCloseClosesTheWindow() {
    std::vector<int> opened;
    SetHelpViewer([&](int AContext) { opened.push_back(AContext); });
    QWidget form;
    form.setProperty(HelpContextProperty, 534);
    auto* panel = new ThvButtonPanel(&form);
    panel->SetButtonTypes({btHelp, btClose});
    form.show();
    panel->Button(btHelp)->click();
    QCOMPARE(opened, std::vector<int>{534});
    QVERIFY(form.isVisible());
    panel->Button(btClose)->click();
    QVERIFY(!form.isVisible());
    SetHelpViewer(nullptr);
  }
};

QTEST_MAIN(ButtonPanelTest)
#include "ButtonPanelTest.moc"
