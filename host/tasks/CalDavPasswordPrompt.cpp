#include "host/tasks/CalDavPasswordPrompt.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>

#include <map>

namespace {

// Server and user -> password, for the life of the process.
std::map<std::string, std::string>& Passwords() {
  static std::map<std::string, std::string> passwords;
  return passwords;
}

std::string LoginKey(const TCalDavSettings& AServer) { return AServer.User + '\n' + AServer.Url; }

}  // namespace

std::optional<std::string> SessionCalDavPassword(const TCalDavSettings& AServer) {
  const auto found = Passwords().find(LoginKey(AServer));
  return found == Passwords().end() ? std::nullopt : std::optional<std::string>(found->second);
}

std::optional<std::string> AskCalDavPassword(const TCalDavSettings& AServer, bool ARefused) {
  auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!application || !application->property(CalDavPasswordDialogProperty).toBool()) return std::nullopt;
  QInputDialog dialog(QApplication::activeWindow());
  dialog.setObjectName("CalDavPasswordDialog");
  dialog.setWindowTitle(QStringLiteral("CalDAV Login"));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextEchoMode(QLineEdit::Password);
  dialog.setLabelText(QString::fromStdString((ARefused ? "The server refused the password.\n" : "") +
                                             std::string("Password of user '") + AServer.User + "' on\n" +
                                             AServer.Url + ":"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::string password = dialog.textValue().toStdString();
  Passwords()[LoginKey(AServer)] = password;
  return password;
}
