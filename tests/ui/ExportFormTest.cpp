// The export dialog's rules between options and controls, and the progress window's cancel.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "com/ComObject.h"
#include "ui/ExportActionsForm.h"
#include "ui/ProgressDialog.h"

namespace {

class TOptions : public TImplements<TComObject, IExportActionsOutlookOptions> {
 public:
  int32_t GetActionsToExport() override { return Actions; }
  int32_t GetExportRange() override { return Range; }
  bool GetExpandBranches() override { return Expand; }
  int32_t GetIncludeProperties() override { return Include; }
  void SetActionsToExport(int32_t A) override { Actions = A; }
  void SetExportRange(int32_t A) override { Range = A; }
  void SetExpandBranches(bool A) override { Expand = A; }
  void SetIncludeProperties(int32_t A) override { Include = A; }
  int32_t Actions = 0, Range = 0, Include = 0;
  bool Expand = false;
};

template <class W>
W* Find(QWidget* AForm, const char* AName) {
  W* widget = AForm->findChild<W*>(AName);
  if (!widget) qFatal("no widget %s", AName);
  return widget;
}

// Presses the button of the modal export dialog once it shows, after AChange ran on it.
template <class F>
void WhenShown(const char* AButton, F AChange, const char* AForm = "ExportActionsForm") {
  QTimer::singleShot(0, [=] {
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() && window->objectName() == AForm) {
        AChange(window);
        Find<QPushButton>(window, AButton)->click();
      }
  });
}

}  // namespace

class ExportFormTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void SavedSelectionWithoutOneShowsCurrentView() {
    auto options = make<TOptions>();
    options->Range = erSelection;
    options->Include = eiStatus | eiFullTitlePath;
    TExportActionsForm form;
    form.SetOptions(options.get());
    form.OptionsToControls(false);
    QVERIFY(Find<QRadioButton>(&form, "rbCurrentView")->isChecked());
    QVERIFY(!Find<QRadioButton>(&form, "rbSelection")->isEnabled());
    auto* list = Find<QListWidget>(&form, "lbIncludeProperties");
    QCOMPARE(list->count(), KExportIncludeCount);
    for (int i = 0; i < list->count(); ++i)
      QCOMPARE(list->item(i)->checkState() == Qt::Checked, i == 4 || i == 10);
  }

  void ExpandBranchesOnlyWithTheCurrentView() {
    auto options = make<TOptions>();
    TExportActionsForm form;
    form.SetOptions(options.get());
    form.OptionsToControls(true);
    auto* expand = Find<QCheckBox>(&form, "cbExpandBranches");
    QVERIFY(expand->isEnabled());
    Find<QRadioButton>(&form, "rbEntireMap")->setChecked(true);
    QVERIFY(!expand->isEnabled());
    Find<QRadioButton>(&form, "rbSelection")->setChecked(true);
    QVERIFY(!expand->isEnabled());
    Find<QRadioButton>(&form, "rbCurrentView")->setChecked(true);
    QVERIFY(expand->isEnabled());
  }

  void OkWritesTheControlsBackAndCancelDoesNot() {
    auto options = make<TOptions>();
    options->Include = eiNotes;
    const auto edit = [](QWidget* AForm) {
      auto* list = Find<QListWidget>(AForm, "lbIncludeProperties");
      list->item(0)->setCheckState(Qt::Unchecked);
      list->item(4)->setCheckState(Qt::Checked);
      list->item(9)->setCheckState(Qt::Checked);
      Find<QRadioButton>(AForm, "rbAllActions")->setChecked(true);
      Find<QRadioButton>(AForm, "rbEntireMap")->setChecked(true);
    };
    WhenShown("btnCancel", edit);
    QVERIFY(!TExportActionsForm::Execute(options.get(), nullptr));
    QCOMPARE(options->Include, int32_t(eiNotes));
    QCOMPARE(options->Range, int32_t(erCurrentView));
    WhenShown("btnOK", edit);
    QVERIFY(TExportActionsForm::Execute(options.get(), nullptr));
    QCOMPARE(options->Include, 528);
    QCOMPARE(options->Range, int32_t(erEntireMap));
    QCOMPARE(options->Actions, int32_t(aeAll));
  }

  // The owner's form takes only a plain address, and gives nothing back when cancelled.
  void OwnerFormWantsAPlainAddress() {
    std::string name = "Nina", address;
    bool refused = false;
    WhenShown("btnCancel", [&](QWidget* AForm) {
      Find<QLineEdit>(AForm, "edName")->setText("  Nina Lead ");
      Find<QLineEdit>(AForm, "edAddress")->setText("nina@example.com\nBcc:eve@example.com");
      refused = !Find<QPushButton>(AForm, "btnOK")->isEnabled();
    }, "ExportOwnerForm");
    QVERIFY(!TExportOwnerForm::Execute(name, address));
    QVERIFY(refused);
    QCOMPARE(name, std::string("Nina"));
    WhenShown("btnOK", [](QWidget* AForm) {
      QCOMPARE(Find<QLineEdit>(AForm, "edName")->text(), QString("Nina"));
      Find<QLineEdit>(AForm, "edAddress")->setText(" nina@example.com ");
    }, "ExportOwnerForm");
    QVERIFY(TExportOwnerForm::Execute(name, address));
    QCOMPARE(address, std::string("nina@example.com"));
  }

  void ProgressShowsRunsEventsAndCancels() {
    auto progress = make<TDlgProgress>();
    progress->Start("Export", "Starting...");
    QVERIFY(progress->Window()->isVisible());
    QCOMPARE(progress->GetMax(), 0);
    // A click queued as the user would make it reaches the window during the next update.
    QTimer::singleShot(0, progress->Window()->CancelButton, &QPushButton::click);
    progress->UpdateProgress("Exporting Action...", "Design", 3, 10);
    QVERIFY(progress->GetCancelled());
    QCOMPARE(progress->GetPosition(), 3);
    QCOMPARE(progress->GetMax(), 10);
    progress->Finish();
    QVERIFY(!progress->Window()->isVisible());
    QVERIFY(progress->Window()->windowTitle().isEmpty());
    progress->Start("Export", "again");
    QVERIFY(!progress->GetCancelled());
    progress->Finish();
  }
};

QTEST_MAIN(ExportFormTest)
#include "ExportFormTest.moc"
