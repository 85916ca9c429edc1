#pragma once
// The lumeta language: one open map with the plug-in loaded, and the commands that read and edit
// it. Every edit runs through the model's command processor, so undo and redo cover them all.
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/ComPtr.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"
#include "session/MapDocument.h"
#include "session/ScheduleConflictWatch.h"

// Raised for a command that cannot run as written: its message is the usage line or the reason.
class EShellUsage : public ELumetaError {
 public:
  explicit EShellUsage(const std::string& AMessage);
  ~EShellUsage() override;
};

class TLumetaShell {
 public:
  // Results go to AOut, warnings ("warning: <text>") to AErr; both must outlive the shell.
  TLumetaShell(std::ostream& AOut, std::ostream& AErr);
  ~TLumetaShell();
  // Closes the map and shuts the plug-in down, which stores its settings, and writes the settings
  // store: false, with the error written, when a write fails. The destructor closes quietly.
  bool Close();
  TLumetaShell(const TLumetaShell&) = delete;
  TLumetaShell& operator=(const TLumetaShell&) = delete;

  // Loads the plug-in library from the folder and opens the map file: a file that does not exist
  // gives a new, empty map that `save` then writes there; an empty path gives a new map without a
  // file. Raises ELumetaError naming the library or EArchiveError naming the file's place; the
  // shell is then unusable.
  void Open(const std::string& APlugInDir, const std::string& AMapPath);
  // Runs one command given as words (the first is the command's name). Raises ELumetaError when
  // it fails; what failed is left as it was.
  void Run(const std::vector<std::string>& AWords);

  // The command summary that `help` prints, one command a line.
  static std::string CommandSummary();

  TLumetaModel* Model() const noexcept { return FDocument.Model(); }
  const std::string& MapPath() const noexcept { return FDocument.Path(); }
  // Node IDs of the model's current selection, first selected first.
  std::vector<int64_t> Selection() const { return Model() ? Model()->SelectedIDs() : std::vector<int64_t>(); }
  // The action editor over the open map.
  TActionEditor& Editor() noexcept { return FEditor; }

 private:
  struct TCommand;
  static const TCommand Commands[];

  void Add(const std::vector<std::string>& AArgs);
  void Title(const std::vector<std::string>& AArgs);
  void Delete(const std::vector<std::string>& AArgs);
  void Move(const std::vector<std::string>& AArgs);
  void Indent(const std::vector<std::string>& AArgs);
  void Select(const std::vector<std::string>& AArgs);
  void Set(const std::vector<std::string>& AArgs);
  void Exec(const std::vector<std::string>& AArgs);
  void Edit(const std::vector<std::string>& AArgs);
  void Update(const std::vector<std::string>& AArgs);
  void Convert(const std::vector<std::string>& AArgs);
  void Get(const std::vector<std::string>& AArgs);
  void Has(const std::vector<std::string>& AArgs);
  void Tooltip(const std::vector<std::string>& AArgs);
  void Text(const std::vector<std::string>& AArgs);
  void Symbol(const std::vector<std::string>& AArgs);
  void Undo(const std::vector<std::string>& AArgs);
  void Redo(const std::vector<std::string>& AArgs);
  void Scheduling(const std::vector<std::string>& AArgs);
  void Calendar(const std::vector<std::string>& AArgs);
  void Worktime(const std::vector<std::string>& AArgs);
  void Link(const std::vector<std::string>& AArgs);
  void Links(const std::vector<std::string>& AArgs);
  void Conflicts(const std::vector<std::string>& AArgs);
  void Refresh(const std::vector<std::string>& AArgs);
  void Tasks(const std::vector<std::string>& AArgs);
  void TimeZone(const std::vector<std::string>& AArgs);
  void Panel(const std::vector<std::string>& AArgs);
  void Note(const std::vector<std::string>& AArgs);
  void Resource(const std::vector<std::string>& AArgs);
  void Resources(const std::vector<std::string>& AArgs);
  void Category(const std::vector<std::string>& AArgs);
  void Attach(const std::vector<std::string>& AArgs);
  void Export(const std::vector<std::string>& AArgs);
  void Sync(const std::vector<std::string>& AArgs);
  void Critical(const std::vector<std::string>& AArgs);
  void Baseline(const std::vector<std::string>& AArgs);
  void Save(const std::vector<std::string>& AArgs);
  void Show(const std::vector<std::string>& AArgs);
  void Write(const std::vector<std::string>& AArgs);
  void Import(const std::vector<std::string>& AArgs);
  void Help(const std::vector<std::string>& AArgs);

  // Runs a command through the processor as one undo step.
  void Execute(ICommand* ACommand);
  TLumetaNode* NodeArgument(const std::string& AText);
  // The current selection's nodes, as the controller is handed them.
  ComPtr<ISelection> CurrentSelection();
  void Warn(const std::string& AText);
  // Raises a refused edit's error; prints a made edit's warnings.
  void Check(const TEditResult& AResult);
  // Warns when the moved node's new summaries hold a link that now leads in a circle.
  void WarnOfLinkCircle(int64_t AMovedID);
  void PrintWarnings();
  // A warning for each schedule conflict the last step brought about.
  void WarnOfNewConflicts();

  std::ostream& FOut;
  std::ostream& FErr;
  TMapDocument FDocument;
  TScheduleConflictWatch FConflicts;
  TActionEditor FEditor;
};

// The text on one line as a terminal shows it without obeying it: line breaks and tabs become
// spaces, other control characters (an ESC that would recolour the terminal) their pictures.
std::string VisibleLine(const std::string& AText);
// The same, appended to ALine.
void AppendVisibleLine(std::string& ALine, std::string_view AText);
// Whether AText holds no control character, so that it shows as it is.
bool IsVisibleLine(std::string_view AText);

// Writes "warning: " and the text, each CR LF (or lone CR) of it as a line break.
void WriteWarning(std::ostream& AErr, const std::string& AText);
