#pragma once
// The password of a CalDAV login asked of the user, in a program with windows that wants it asked
// (it sets CalDavPasswordDialogProperty on its application): once per session for each server and
// user, kept in this process's memory only and never written anywhere.
#include <optional>
#include <string>

#include "host/tasks/TaskProgram.h"

// What the user gave for this server and user earlier in the session.
std::optional<std::string> SessionCalDavPassword(const TCalDavSettings& AServer);
// Asks for it in a dialog (ARefused: the server refused the password sent); empty when the
// program shows no windows or the user cancels.
std::optional<std::string> AskCalDavPassword(const TCalDavSettings& AServer, bool ARefused);
