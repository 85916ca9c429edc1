#include "apps/TaskCommands.h"

#include <filesystem>
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

void Register(const std::vector<std::string>& AArgs, std::ostream& AOut) {
  const std::string given = AArgs.size() > 1 ? AArgs[1] : DefaultPlugInDir() + "/" + TaskProgramLibraryName;
  std::error_code error;
  const std::filesystem::path library = std::filesystem::absolute(given, error);
  if (error || !std::filesystem::is_regular_file(library, error))
    Usage("no task program library at " + given);
  RegisterAutomationServer(TaskProgramEntry(library.string()));
  AOut << "registered " << TaskProgramProgID << '.' << TaskProgramMajorVersion << ' ' << library.string() << '\n';
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
  if (what == "register" && AArgs.size() <= 2) return Register(AArgs, AOut);
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
