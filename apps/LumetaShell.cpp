#include "apps/LumetaShell.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <iostream>
#include <ostream>
#include <utility>

#include "apps/CalendarCommands.h"
#include "apps/EditCommand.h"
#include "apps/EntryCommands.h"
#include "apps/ExchangeCommands.h"
#include "apps/ExportCommand.h"
#include "apps/LinkCommands.h"
#include "apps/LumetaSymbolCommand.h"
#include "apps/TaskCommands.h"
#include "apps/TaskTable.h"
#include "apps/PanelCommand.h"
#include "apps/SyncCommand.h"
#include "apps/ResourceCommands.h"
#include "apps/ScheduleCommands.h"
#include "com/DialogService.h"
#include "com/NumberText.h"
#include "com/LumetaLocale.h"
#include "commands/ActionFieldEdit.h"
#include "commands/SelectionData.h"
#include "host/MapEditCommands.h"
#include "settings/LumetaSettingsStore.h"

namespace {

constexpr size_t KUnlimited = std::numeric_limits<size_t>::max();

// Moves everything a freshly loaded map holds into the model's own (empty) map: the model owns its
// map for its whole life, and the archive hands out a new one.
std::optional<int> ParseIndex(const std::string& AText) {
  const std::optional<int> value = ParseInteger<int>(AText);
  if (!value || *value < 0) return std::nullopt;
  return value;
}

std::string Pad(const std::string& AText, size_t AWidth) {
  const size_t width = TextWidth(AText);
  return width >= AWidth ? AText : AText + std::string(AWidth - width, ' ');
}

}  // namespace

EShellUsage::EShellUsage(const std::string& AMessage) : ELumetaError(AMessage, E_INVALIDARG) {}

EShellUsage::~EShellUsage() = default;

// The same line the plug-in's warnings make.
std::string VisibleLine(const std::string& AText) {
  std::string line;
  line.reserve(AText.size());
  AppendVisibleLine(line, AText);
  return line;
}

void AppendVisibleLine(std::string& ALine, std::string_view AText) {
  if (IsVisibleLine(AText)) return void(ALine.append(AText));  // most texts: one append
  size_t plain = 0;  // where the characters not yet appended start
  for (size_t i = 0; i < AText.size(); ++i) {
    const auto code = static_cast<unsigned char>(AText[i]);
    if (code >= 0x20 && code != 0x7F) continue;
    ALine.append(AText.substr(plain, i - plain));
    plain = i + 1;
    if (code == '\r' || code == '\n' || code == '\t') {
      ALine += ' ';
    } else {
      // The control picture of the character (U+2400 to U+241F, U+2421 for DEL): seen, never obeyed.
      const unsigned picture = code == 0x7F ? 0x2421 : 0x2400 + code;
      ALine += static_cast<char>(0xE0 | picture >> 12);
      ALine += static_cast<char>(0x80 | (picture >> 6 & 0x3F));
      ALine += static_cast<char>(0x80 | (picture & 0x3F));
    }
  }
  ALine.append(AText.substr(plain));
}

bool IsVisibleLine(std::string_view AText) {
  // Eight bytes at a time: a byte below 0x20 or equal to 0x7F sets its high bit in one of the two
  // tests (the classic "has a byte less than n" test; bytes of 0x80 and up are masked out).
  constexpr uint64_t KOnes = 0x0101010101010101ULL, KHighBits = 0x8080808080808080ULL;
  const auto visible = [&](size_t AAt) {
    uint64_t word;
    std::memcpy(&word, AText.data() + AAt, 8);
    const uint64_t below20 = (word - KOnes * 0x20) & ~word & KHighBits;
    const uint64_t del = word ^ (KOnes * 0x7F);
    const uint64_t isDel = (del - KOnes) & ~del & KHighBits;
    return !(below20 | isDel);
  };
  size_t i = 0;
  for (; i + 8 <= AText.size(); i += 8)
    if (!visible(i)) return false;
  // The last few bytes within the last eight, some of them looked at twice.
  if (i < AText.size() && AText.size() >= 8) return visible(AText.size() - 8);
  for (; i < AText.size(); ++i) {
    const auto code = static_cast<unsigned char>(AText[i]);
    if (code < 0x20 || code == 0x7F) return false;
  }
  return true;
}

void WriteWarning(std::ostream& AErr, const std::string& AText) {
  TStreamDialogService(AErr).ShowMessage(TMessageKind::Warning, AText);
}

struct TLumetaShell::TCommand {
  const char* Name;
  const char* Usage;
  const char* Summary;
  size_t MinArgs;
  size_t MaxArgs;
  void (TLumetaShell::*Run)(const std::vector<std::string>& AArgs);
};

const TLumetaShell::TCommand TLumetaShell::Commands[] = {
    {"add", "add PARENT TITLE", "add a node under PARENT (0: top level), print its ID", 2, 2, &TLumetaShell::Add},
    {"title", "title ID TEXT", "give a node a new title", 2, 2, &TLumetaShell::Title},
    {"delete", "delete ID", "delete a node with its subtree", 1, 1, &TLumetaShell::Delete},
    {"move", "move ID PARENT [INDEX]", "move a node under PARENT, to position INDEX (default: last)", 2, 3,
     &TLumetaShell::Move},
    {"indent", "indent ID", "move a node under its previous sibling, as its last child", 1, 1, &TLumetaShell::Indent},
    {"select", "select [ID...]", "set the current selection; without IDs, empty it", 0, KUnlimited,
     &TLumetaShell::Select},
    {"set", "set ID FIELD VALUE", "write one field of a node's action, as an action column does", 3, 3,
     &TLumetaShell::Set},
    {"exec", ExecCommandUsage, "run command entry CMD (6 to 23) on the selection", 1, 5, &TLumetaShell::Exec},
    {"edit", EditCommandUsage, "open the Edit Action dialog on the nodes, type values into it, press OK or Cancel", 1,
     KUnlimited, &TLumetaShell::Edit},
    {"update", UpdateCommandUsage, "print whether entry CMD is enabled and checked for the selection", 1, 1,
     &TLumetaShell::Update},
    {"convert", "convert ID...", "make tasks of the nodes, as one undoable step", 1, KUnlimited,
     &TLumetaShell::Convert},
    {"get", "get [--stored] ID FIELD", "print one field of a node's action as shown (--stored: as stored)", 2, 3,
     &TLumetaShell::Get},
    {"has", "has ID", "print yes when the node has an action, else no", 1, 1, &TLumetaShell::Has},
    {"tooltip", "tooltip ID", "print the action's tooltip", 1, 1, &TLumetaShell::Tooltip},
    {"text", "text ID [OPTIONS]", "print the action as plain text (OPTIONS 2: one field a line)", 1, 2,
     &TLumetaShell::Text},
    {"symbol", SymbolCommandUsage, "describe the node's symbol, or draw it into a PNG file", 1, 4,
     &TLumetaShell::Symbol},
    {"undo", "undo", "undo the last edit", 0, 0, &TLumetaShell::Undo},
    {"redo", "redo", "redo the last undone edit", 0, 0, &TLumetaShell::Redo},
    {"scheduling", "scheduling [on|off]", "switch the map's task scheduling; without argument, print it", 0, 1,
     &TLumetaShell::Scheduling},
    {"calendar", CalendarCommandUsage, "print the map's working calendar, or change one part of it", 0, KUnlimited,
     &TLumetaShell::Calendar},
    {"worktime", WorktimeCommandUsage, "print the working scheduler's answer for one operation", 2, 3,
     &TLumetaShell::Worktime},
    {"link", LinkCommandUsage, "add (default type FS), remove or retype the task link from PRED to SUCC", 3, 4,
     &TLumetaShell::Link},
    {"links", LinksCommandUsage, "print the node's task links: pred ID TYPE, then succ ID TYPE", 1, 1,
     &TLumetaShell::Links},
    {"conflicts", "conflicts", "print each task that starts or finishes before a link or the schedule start lets it", 0,
     0, &TLumetaShell::Conflicts},
    {"refresh", RefreshCommandUsage, "reschedule every task of the map from the schedule start", 0, 0,
     &TLumetaShell::Refresh},
    {"tasks", TasksCommandUsage,
     "register the task program (its store a folder or a CalDAV calendar), print its entries or its tasks, or name "
     "its owner",
     1, KUnlimited, &TLumetaShell::Tasks},
    {"timezone", TimeZoneCommandUsage, "print or set the time zone of the map's dates in exported tasks", 0, 1,
     &TLumetaShell::TimeZone},
    {"panel", PanelCommandUsage, "show the action panel on the node, type into it, print its fields", 1, KUnlimited,
     &TLumetaShell::Panel},
    {"note", NoteCommandUsage, "print the node's notes, or replace them with TEXT", 1, 2, &TLumetaShell::Note},
    {"resource", ResourceCommandUsage, "assign a resource to the node, or take it off", 3, 4, &TLumetaShell::Resource},
    {"resources", ResourcesCommandUsage, "print each resource with its tasks, hours and over-booked days", 0, 1,
     &TLumetaShell::Resources},
    {"category", CategoryCommandUsage, "put the node in a category or take it out; print its categories", 1, 3,
     &TLumetaShell::Category},
    {"attach", AttachCommandUsage, "attach a file or URL to the node, or remove it; print its attachments", 1, 4,
     &TLumetaShell::Attach},
    {"export", ExportCommandUsage, "export the map's actions into the task program", 0, KUnlimited,
     &TLumetaShell::Export},
    {"sync", SyncCommandUsage, "bring back status, % complete and completion date from the map's exported tasks", 0, 0,
     &TLumetaShell::Sync},
    {"baseline", BaselineCommandUsage, "keep the tasks' dates, duration and work as the baseline, or drop it", 1,
     KUnlimited, &TLumetaShell::Baseline},
    {"critical", CriticalCommandUsage, "print the critical tasks from start to finish: ID, start, finish, title", 0, 0,
     &TLumetaShell::Critical},
    {"save", "save [PATH]", "write the map to PATH (default: the map file)", 0, 1, &TLumetaShell::Save},
    {"show", ShowCommandUsage, "print the tree with its action columns, or the plan as a CSV or JSON table", 0, 4,
     &TLumetaShell::Show},
    {"write", WriteCommandUsage, "write the plan as MS Project XML or as a CSV table", 2, 4, &TLumetaShell::Write},
    {"import", ImportCommandUsage, "build the new, empty map from an MS Project XML file", 2, 2,
     &TLumetaShell::Import},
    {"help", "help", "list the commands", 0, 0, &TLumetaShell::Help},
};

TLumetaShell::TLumetaShell(std::ostream& AOut, std::ostream& AErr) : FOut(AOut), FErr(AErr), FEditor(FDocument) {}

TLumetaShell::~TLumetaShell() = default;

bool TLumetaShell::Close() {
  FDocument.Close();
  bool closed = true;
  try {
    FDocument.Loader().Shutdown();
    SettingsStore().Flush();
    // Nothing was saved, so nothing failed; but the user should hear before a run that does change a setting.
    if (const std::string problem = SettingsStore().FolderProblem(); !problem.empty())
      WriteWarning(FErr, "settings: " + problem + "; a changed setting would not be kept");
  } catch (const std::exception& error) {
    FErr << "error: " << error.what() << '\n';
    SettingsStore().DropUnsaved();
    closed = false;
  }
  FDocument.Unload();
  return closed;
}

std::string TLumetaShell::CommandSummary() {
  // Summaries line up behind the usages; a usage too long for that column has its summary on the
  // next line, so that one long usage does not push every summary off the screen.
  constexpr size_t KUsageColumn = 36;
  size_t width = 0;
  for (const TCommand& command : Commands)
    if (const size_t size = std::string_view(command.Usage).size(); size <= KUsageColumn) width = std::max(width, size);
  std::string text;
  for (const TCommand& command : Commands) {
    const std::string_view usage = command.Usage;
    if (usage.size() > width)
      text += "  " + std::string(usage) + "\n  " + std::string(width, ' ') + "  " + command.Summary + '\n';
    else
      text += "  " + Pad(command.Usage, width) + "  " + command.Summary + '\n';
  }
  return text;
}

void TLumetaShell::Open(const std::string& APlugInDir, const std::string& AMapPath) {
  FDocument.Open(APlugInDir, AMapPath);
  PrintWarnings();
  if (const std::string warning = FEditor.LinkCircleInMap(); !warning.empty()) Warn(warning);
  FConflicts.Reset(Model());
}

void TLumetaShell::Run(const std::vector<std::string>& AWords) {
  if (AWords.empty()) return;
  if (!Model()) throw EInvalidOperation("No map is open");
  for (const TCommand& command : Commands) {
    if (AWords.front() != command.Name) continue;
    const std::vector<std::string> args(AWords.begin() + 1, AWords.end());
    if (args.size() < command.MinArgs || args.size() > command.MaxArgs)
      throw EShellUsage(std::string("usage: ") + command.Usage);
    (this->*command.Run)(args);
    WarnOfNewConflicts();
    return;
  }
  throw EShellUsage("unknown command '" + AWords.front() + "' (help lists the commands)");
}

void TLumetaShell::Execute(ICommand* ACommand) { Model()->GetCommandProcessor()->Execute(ACommand, nullptr); }

TLumetaNode* TLumetaShell::NodeArgument(const std::string& AText) {
  const std::optional<int64_t> id = ParseInteger<int64_t>(AText);
  if (!id || *id < 0) throw EShellUsage("'" + AText + "' is not a node ID");
  return Model()->Map().GetNode(*id);
}

ComPtr<ISelection> TLumetaShell::CurrentSelection() { return Model()->GetCurrentSelection(); }

void TLumetaShell::Warn(const std::string& AText) {
  FOut.flush();
  WriteWarning(FErr, AText);
}

void TLumetaShell::WarnOfNewConflicts() {
  // The command itself succeeded; a check that fails must not make it look as if it had not.
  try {
    for (const TScheduleConflict& conflict : FConflicts.Update(Model())) Warn(ConflictText(conflict));
  } catch (const std::exception& error) {
    Warn(std::string("the schedule's conflicts could not be checked: ") + error.what());
  }
}

void TLumetaShell::PrintWarnings() {
  for (const TArchiveWarning& warning : FDocument.Warnings()) Warn(warning.Message());
}

void TLumetaShell::Add(const std::vector<std::string>& AArgs) {
  TLumetaNode* parent = NodeArgument(AArgs[0]);
  ComPtr<TAddNodeCommand> command = make<TAddNodeCommand>(Model(), parent->ID(), AArgs[1]);
  FOut.flush();  // the plug-in's warnings go to standard error
  Execute(command.get());
  FOut << command->NodeID() << '\n';
}

void TLumetaShell::Title(const std::vector<std::string>& AArgs) {
  TLumetaNode* node = NodeArgument(AArgs[0]);
  Execute(make<TRetitleNodeCommand>(Model(), node->ID(), AArgs[1]).get());
}

void TLumetaShell::Delete(const std::vector<std::string>& AArgs) {
  TLumetaNode* node = NodeArgument(AArgs[0]);
  if (node->IsRoot()) throw EShellUsage("the map's root (0) cannot be deleted");
  FOut.flush();
  Execute(make<TDeleteNodeCommand>(Model(), node->ID()).get());
  // The selection forgets the deleted nodes for good, so that undo does not select them again.
  Model()->SetSelectedIDs(Model()->SelectedIDs());
}

void TLumetaShell::Move(const std::vector<std::string>& AArgs) {
  TLumetaNode* node = NodeArgument(AArgs[0]);
  TLumetaNode* parent = NodeArgument(AArgs[1]);
  int index = -1;
  if (AArgs.size() > 2) {
    const std::optional<int> value = ParseIndex(AArgs[2]);
    if (!value) throw EShellUsage("'" + AArgs[2] + "' is not a position (0 is the first)");
    index = *value;
  }
  FOut.flush();  // the plug-in's warning about a refused move goes to standard error
  Execute(make<TMoveNodeCommand>(Model(), node->ID(), parent->ID(), index).get());
  WarnOfLinkCircle(node->ID());
}

void TLumetaShell::WarnOfLinkCircle(int64_t AMovedID) {
  if (const std::string warning = FEditor.LinkCircleAbove(AMovedID); !warning.empty()) Warn(warning);
}

void TLumetaShell::Indent(const std::vector<std::string>& AArgs) {
  TLumetaNode* node = NodeArgument(AArgs[0]);
  if (node->IsRoot()) throw EShellUsage("the map's root (0) cannot be indented");
  const int index = node->IndexInParent();
  if (index == 0) throw EShellUsage("node " + AArgs[0] + " has no previous sibling to go under");
  TLumetaNode* sibling = node->Parent()->Children()[static_cast<size_t>(index) - 1].get();
  FOut.flush();
  Execute(make<TMoveNodeCommand>(Model(), node->ID(), sibling->ID(), -1, KEventDemote).get());
  WarnOfLinkCircle(node->ID());
}

void TLumetaShell::Select(const std::vector<std::string>& AArgs) { Check(FEditor.Select(AArgs)); }

void TLumetaShell::Check(const TEditResult& AResult) {
  RaiseIfRefused(AResult);
  for (const std::string& warning : AResult.Warnings) Warn(warning);
}

void TLumetaShell::Set(const std::vector<std::string>& AArgs) {
  NodeArgument(AArgs[0]);
  if (!FindActionField(AArgs[1]))
    throw EShellUsage("unknown field '" + AArgs[1] + "'; the fields are " + ActionFieldNameList());
  FOut.flush();  // the plug-in's warnings go to standard error
  Check(FEditor.SetField(AArgs[0], AArgs[1], AArgs[2]));
}

void TLumetaShell::Exec(const std::vector<std::string>& AArgs) {
  FOut.flush();
  RunExecCommand(Model(), CurrentSelection().get(), AArgs);
}

void TLumetaShell::Edit(const std::vector<std::string>& AArgs) {
  const TEditRequest request = ParseEditRequest(FEditor, AArgs);
  Select(request.NodeIDs);
  FOut.flush();
  RunEditCommand(Model(), CurrentSelection().get(), request);
}

void TLumetaShell::Update(const std::vector<std::string>& AArgs) {
  RunUpdateCommand(Model(), CurrentSelection().get(), AArgs, FOut);
}

void TLumetaShell::Convert(const std::vector<std::string>& AArgs) {
  std::vector<int64_t> ids;
  for (const std::string& arg : AArgs) {
    TLumetaNode* node = NodeArgument(arg);
    if (node->IsRoot()) throw EShellUsage("the map's root (0) cannot become a task");
    if (std::find(ids.begin(), ids.end(), node->ID()) == ids.end()) ids.push_back(node->ID());
  }
  const auto hearsEvents = [](const ComPtr<IUnknown>& AController) {
    return static_cast<bool>(QueryAs<IActionPlugInEvents>(AController.get()));
  };
  if (std::ranges::none_of(Model()->Controllers(), hearsEvents))
    throw ELumetaError("the plug-in has no controller that makes tasks of nodes");
  FOut.flush();
  Execute(make<TConvertNodesCommand>(Model(), std::move(ids)).get());
}

void TLumetaShell::Get(const std::vector<std::string>& AArgs) {
  const bool stored = AArgs[0] == "--stored";
  if (AArgs.size() != (stored ? 3u : 2u)) throw EShellUsage("usage: get [--stored] ID FIELD");
  const std::string& id = AArgs[stored ? 1 : 0];
  const std::string& name = AArgs[stored ? 2 : 1];
  NodeArgument(id);
  const std::optional<TActionField> field = FindActionField(name);
  if (!field) throw EShellUsage("unknown field '" + name + "'; the fields are " + ActionFieldNameList());
  const std::optional<std::string> text = FEditor.FieldText(id, *field, stored);
  FOut << (text ? VisibleLine(*text) : std::string("(none)")) << '\n';
}

void TLumetaShell::Has(const std::vector<std::string>& AArgs) {
  FOut << (NodeArgument(AArgs[0])->FindProperty(KActionPropertyName) ? "yes" : "no") << '\n';
}

void TLumetaShell::Tooltip(const std::vector<std::string>& AArgs) {
  ComPtr<IProperty> property = NodeArgument(AArgs[0])->FindProperty(KActionPropertyName);
  FOut << (property ? VisibleLine(property->GetHint()) : std::string()) << '\n';
}

void TLumetaShell::Text(const std::vector<std::string>& AArgs) {
  TLumetaNode* node = NodeArgument(AArgs[0]);
  int32_t options = 0;
  if (AArgs.size() > 1) {
    const std::optional<int64_t> value = ParseInteger<int64_t>(AArgs[1]);
    if (!value || *value < std::numeric_limits<int32_t>::min() || *value > std::numeric_limits<int32_t>::max())
      throw EShellUsage("'" + AArgs[1] + "' is not a whole number of options");
    options = static_cast<int32_t>(*value);
  }
  ComPtr<IProperty> property = node->FindProperty(KActionPropertyName);
  FOut << (property ? UnixLineBreaks(property.as<IAttribute>()->AsPlainText(options)) : std::string()) << '\n';
}

void TLumetaShell::Symbol(const std::vector<std::string>& AArgs) {
  TLumetaNode* node = NodeArgument(AArgs[0]);
  RunSymbolCommand(node, Model()->FindManager(KActionPropertyName).get(),
                   std::vector<std::string>(AArgs.begin() + 1, AArgs.end()), FOut);
}

void TLumetaShell::Undo(const std::vector<std::string>&) {
  ComPtr<ICommandProcessor> processor = Model()->GetCommandProcessor();
  if (!processor->CanUndo()) throw EShellUsage("nothing to undo");
  processor->UndoLast();
}

void TLumetaShell::Redo(const std::vector<std::string>&) {
  ComPtr<ICommandProcessor> processor = Model()->GetCommandProcessor();
  if (!processor->CanRedo()) throw EShellUsage("nothing to redo");
  processor->Redo();
}

void TLumetaShell::Scheduling(const std::vector<std::string>& AArgs) {
  IMapSettings* settings = Model()->Map().Settings();
  if (AArgs.empty()) {
    FOut << (settings->GetTaskScheduling() ? "on" : "off") << '\n';
    return;
  }
  if (AArgs[0] != "on" && AArgs[0] != "off") throw EShellUsage("usage: scheduling [on|off]");
  settings->SetTaskScheduling(AArgs[0] == "on");
}

void TLumetaShell::Calendar(const std::vector<std::string>& AArgs) {
  if (ComPtr<ICommand> command = RunCalendarCommand(Model(), AArgs, FOut)) Execute(command.get());
}

void TLumetaShell::Worktime(const std::vector<std::string>& AArgs) { RunWorktimeCommand(Model(), AArgs, FOut); }

void TLumetaShell::Link(const std::vector<std::string>& AArgs) {
  FOut.flush();  // a refused link's warning goes to standard error
  for (const std::string& warning : RunLinkCommand(Model(), AArgs)) Warn(warning);
}

void TLumetaShell::Links(const std::vector<std::string>& AArgs) { RunLinksCommand(Model(), AArgs, FOut); }

void TLumetaShell::Conflicts(const std::vector<std::string>&) {
  for (const TScheduleConflict& conflict : TScheduleConflictWatch::Find(Model())) FOut << ConflictText(conflict) << '\n';
}

void TLumetaShell::Refresh(const std::vector<std::string>&) { Check(FEditor.Refresh()); }

void TLumetaShell::Tasks(const std::vector<std::string>& AArgs) { RunTasksCommand(AArgs, FOut); }
void TLumetaShell::TimeZone(const std::vector<std::string>& AArgs) { RunTimeZoneCommand(Model(), AArgs, FOut); }
void TLumetaShell::Panel(const std::vector<std::string>& AArgs) {
  FOut.flush();  // a refused edit's warning goes to standard error
  RunPanelCommand(Model(), AArgs, FOut);
}

void TLumetaShell::Note(const std::vector<std::string>& AArgs) { RunNoteCommand(Model(), AArgs, FOut); }
void TLumetaShell::Resource(const std::vector<std::string>& AArgs) { RunResourceCommand(Model(), AArgs); }
void TLumetaShell::Resources(const std::vector<std::string>& AArgs) { RunResourcesCommand(Model(), AArgs, FOut); }
void TLumetaShell::Category(const std::vector<std::string>& AArgs) { RunCategoryCommand(Model(), AArgs, FOut); }
void TLumetaShell::Attach(const std::vector<std::string>& AArgs) { RunAttachCommand(Model(), AArgs, FOut); }

void TLumetaShell::Export(const std::vector<std::string>& AArgs) {
  RunExportCommand(Model(), CurrentSelection().get(), AArgs, FOut, FErr, &FErr == &std::cerr && ::isatty(2));
}

void TLumetaShell::Sync(const std::vector<std::string>& AArgs) { RunSyncCommand(Model(), AArgs, FOut, FErr); }

void TLumetaShell::Save(const std::vector<std::string>& AArgs) {
  if (AArgs.empty() && FDocument.Path().empty()) throw EShellUsage("the map has no file yet: save PATH");
  if (AArgs.empty() || AArgs[0] == FDocument.Path())
    FDocument.Save();
  else
    FDocument.SaveCopy(AArgs[0]);
  PrintWarnings();
}

void TLumetaShell::Show(const std::vector<std::string>& AArgs) {
  if (!RunShowTable(FDocument, AArgs, FOut)) PrintTaskTable(FOut, Model());
}

void TLumetaShell::Write(const std::vector<std::string>& AArgs) { RunWriteCommand(FDocument, AArgs); }

void TLumetaShell::Import(const std::vector<std::string>& AArgs) {
  FOut.flush();
  RunImportCommand(FDocument, AArgs, FErr);
}

void TLumetaShell::Critical(const std::vector<std::string>&) { RunCriticalCommand(Model(), FOut); }
void TLumetaShell::Baseline(const std::vector<std::string>& AArgs) { RunBaselineCommand(Model(), AArgs); }

void TLumetaShell::Help(const std::vector<std::string>&) { FOut << CommandSummary(); }
