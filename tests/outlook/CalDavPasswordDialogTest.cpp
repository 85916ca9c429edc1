// The password a desktop user keeps nowhere: the task program asks for it in a dialog once the
// server (Radicale with one htpasswd user, on loopback) refused the login, again when it refuses
// what was typed, and not a second time in the session; it never reaches a file.
#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <cstdlib>
#include <filesystem>

#include "com/OleVariant.h"
#include "host/tasks/TaskProgram.h"
#include "settings/AutomationServers.h"
#include "settings/LumetaSettingsStore.h"
#include "tests/outlook/RadicaleServer.h"
#include "tests/support/ShellRun.h"
#include "tests/support/TestFiles.h"

class CalDavPasswordDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void AskedOncePerSessionAndKeptInMemoryOnly() {
    if (!TRadicaleServer::Installed()) QSKIP("Radicale is not installed (Debian package radicale)");
    TRadicaleServer server("nina", "s3cret");
    TTempFolder settings, store;
    const std::string url = server.Base() + "/nina/tasks/";
    const TShellRun registered =
        Shell("LUMETA_SETTINGS_DIR=" + ShellQuoted(settings.Path()) + " LUMETA_TASKS_DIR=" + ShellQuoted(store.Path()) +
              " LUMETA_CALDAV_PASSWORD=s3cret " + ShellQuoted(LUMETA_BINARY) + " -c " +
              ShellQuoted("tasks register --caldav " + url + " --create --user nina"));
    QVERIFY2(registered.Status == 0, registered.Output.c_str());
    setenv("LUMETA_SETTINGS_DIR", settings.Path().c_str(), 1);
    setenv("LUMETA_TASKS_DIR", store.Path().c_str(), 1);
    unsetenv(CalDavPasswordVariable);
    SetSettingsFolder(settings.Path());
    qApp->setProperty(CalDavPasswordDialogProperty, true);

    // Typed as a user would: a wrong guess first, then the password.
    QStringList asked;
    bool hidden = true;
    QTimer typist;
    typist.setInterval(20);
    connect(&typist, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
      if (!dialog || dialog->objectName() != "CalDavPasswordDialog") return;
      auto* edit = dialog->findChild<QLineEdit*>();
      hidden = hidden && edit->echoMode() == QLineEdit::Password;
      asked << dialog->labelText();
      QTest::keyClicks(edit, asked.size() == 1 ? "guess" : "s3cret");
      QTest::keyClick(edit, Qt::Key_Return);
    });
    typist.start();
    const auto count = [] {
      const TOleVariant app = CreateOleObject(TaskProgramProgID);
      const int32_t tasks =
          app.Call("GetNamespace", "MAPI").Call("GetDefaultFolder", TaskProgramTasksFolder).Get("Items").Get("Count").AsInteger();
      app.Call("Quit");
      return tasks;
    };
    QCOMPARE(count(), 0);
    QCOMPARE(asked.size(), 2);
    QVERIFY(hidden);
    QVERIFY(asked[0].contains("'nina'") && asked[0].contains(QString::fromStdString(url)));
    QVERIFY(!asked[0].contains("refused"));
    QVERIFY(asked[1].startsWith("The server refused the password."));
    QCOMPARE(count(), 0);
    QCOMPARE(asked.size(), 2);  // a second task program of the session knows it
    typist.stop();
    for (const std::string& folder : {settings.Path(), store.Path()})
      for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) QVERIFY2(ReadText(entry.path()).find("s3cret") == std::string::npos, entry.path().c_str());
  }
};

QTEST_MAIN(CalDavPasswordDialogTest)
#include "CalDavPasswordDialogTest.moc"
