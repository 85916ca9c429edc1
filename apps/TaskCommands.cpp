#include "apps/TaskCommands.h"

#include <filesystem>
#include <optional>
#include <ostream>

#include "com/ComErrors.h"
#include "com/OleDate.h"
#include "com/OleVariant.h"
#include "host/LumetaPlugInLoader.h"
#include "host/tasks/TaskProgram.h"
#include "settings/AutomationServers.h"

namespace {

[[noreturn]] void Usage(const std::string& AText) { throw ELumetaError(AText, E_INVALIDARG); }

const char* StatusWord(int AStatus) {
  static constexpr const char* words[] = {"not-started", "in-progress", "completed", "waiting", "deferred"};
  return AStatus >= 0 && AStatus < 5 ? words[AStatus] : "unknown";
}

// Asks the registered program whether its store answers; the line it says, or raises.
std::string CheckStore(bool ACreate) {
  const TOleVariant app = CreateOleObject(TaskProgramProgID);
  std::string answer;
  try {
    answer = app.Call("CheckStore", ACreate).AsString();
  } catch (...) {
    app.Call("Quit");
    throw;
  }
  app.Call("Quit");
  return answer;
}

// register [--caldav URL [--user NAME] [--create] [--ca-file FILE] [--allow-http]] [LIBRARY]
void Register(const std::vector<std::string>& AArgs, std::ostream& AOut) {
  std::optional<std::string> given;
  TCalDavSettings server;
  bool create = false;
  for (size_t i = 1; i < AArgs.size(); ++i) {
    const std::string& word = AArgs[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= AArgs.size() || AArgs[i + 1].empty()) Usage(word + " needs a value");
      return AArgs[++i];
    };
    if (word == "--caldav") server.Url = value();
    else if (word == "--user") server.User = value();
    else if (word == "--ca-file") server.CaFile = value();
    else if (word == "--allow-http") server.AllowHttp = true;
    else if (word == "--create") create = true;
    else if (!word.starts_with("--") && !given) given = word;
    else Usage(std::string("usage: ") + TasksCommandUsage);
  }
  if (server.Url.empty() && (!server.User.empty() || !server.CaFile.empty() || server.AllowHttp || create))
    Usage("--user, --ca-file, --allow-http and --create go with --caldav URL");
  if (!server.CaFile.empty()) {
    std::error_code error;
    server.CaFile = std::filesystem::absolute(server.CaFile, error).string();
  }
  const std::string path = given.value_or(DefaultPlugInDir() + "/" + TaskProgramLibraryName);
  std::error_code error;
  const std::filesystem::path library = std::filesystem::absolute(path, error);
  if (error || !std::filesystem::is_regular_file(library, error))
    Usage("no task program library at " + path);
  RegisterAutomationServer(TaskProgramEntry(library.string()));
  AOut << "registered " << TaskProgramProgID << '.' << TaskProgramMajorVersion << ' ' << library.string() << '\n';
  const TCalDavSettings before = ReadCalDavSettings();
  WriteCalDavSettings(server);
  if (server.Url.empty()) return;
  // A server that does not answer is not registered: the store stays what it was.
  std::string answer;
  try {
    answer = CheckStore(create);
  } catch (...) {
    WriteCalDavSettings(before);
    throw;
  }
  AOut << "store " << answer << '\n';
}

void PrintOwner(std::ostream& AOut) {
  const TTaskProgramOwner owner = ReadTaskProgramOwner();
  if (owner.Address.empty()) {
    AOut << "owner none\n";
    return;
  }
  AOut << "owner " << OneLineText(owner.Name) << (owner.Name.empty() ? "" : " ") << '<' << owner.Address << ">\n";
}

void Status(std::ostream& AOut) {
  const auto entry = FindAutomationServer(TaskProgramProgID);
  AOut << "registered " << (entry ? "yes" : "no") << '\n';
  if (entry) {
    AOut << "progid " << entry->ProgID << '.' << entry->MajorVersion << '\n'
         << "clsid " << GuidToString(entry->ClassID) << '\n'
         << "library " << entry->Library << '\n';
  }
  AOut << "folder " << TaskProgramFolder() << '\n';
  const TCalDavSettings server = ReadCalDavSettings();
  if (!server.Url.empty()) {
    AOut << "store caldav " << server.Url << (server.User.empty() ? "" : " user " + server.User) << '\n';
    std::string answer;
    try {
      answer = entry ? CheckStore(false) : "not asked: the task program is not registered";
    } catch (const ELumetaError& error) {
      answer = std::string("does not answer: ") + error.what();
    }
    AOut << "server " << answer << '\n';
  } else {
    AOut << "store folder " << TaskProgramFolder() << "/tasks\n";
  }
  PrintOwner(AOut);
}

void List(std::ostream& AOut) {
  if (!FindAutomationServer(TaskProgramProgID)) Usage("the task program is not registered: tasks register");
  const TOleVariant app = CreateOleObject(TaskProgramProgID);
  try {
    const TOleVariant items =
        app.Call("GetNamespace", "MAPI").Call("GetDefaultFolder", TaskProgramTasksFolder).Get("Items");
    const int count = items.Get("Count").AsInteger();
    for (int i = 1; i <= count; ++i) {
      const TOleVariant task = items.Call("Item", i);
      const std::string subject = OneLineText(task.Get("Subject").AsString());
      const double none = EncodeDate(4501, 1, 1);
      // The due day calendar programs show: without a due date, a task not done is due at its finish.
      double due = task.Get("DueDate").AsDate();
      if (due >= none && task.Get("Status").AsInteger() != 2) due = task.Get("DateCompleted").AsDate();
      const std::string dueText = due >= none ? std::string("-") : DateToIsoText(due);
      AOut << task.Get("EntryID").AsString() << '\t' << subject << '\t' << StatusWord(task.Get("Status").AsInteger())
           << '\t' << task.Get("PercentComplete").AsInteger() << "%\t" << dueText << '\n';
    }
  } catch (...) {
    app.Call("Quit");
    throw;
  }
  app.Call("Quit");
}

}  // namespace

void RunTasksCommand(const std::vector<std::string>& AArgs, std::ostream& AOut) {
  const std::string what = AArgs.empty() ? std::string() : AArgs[0];
  if (what == "register") return Register(AArgs, AOut);
  if (AArgs.size() == 1 && what == "unregister") {
    AOut << (UnregisterAutomationServer(TaskProgramProgID) ? "unregistered" : "not registered") << '\n';
    return;
  }
  if (AArgs.size() == 1 && what == "status") return Status(AOut);
  if (AArgs.size() == 1 && what == "list") return List(AOut);
  if (AArgs.size() == 1 && what == "owner") return PrintOwner(AOut);
  if (AArgs.size() == 3 && what == "owner") {
    WriteTaskProgramOwner({AArgs[1], AArgs[2]});
    return PrintOwner(AOut);
  }
  Usage(std::string("usage: ") + TasksCommandUsage);
}
