#include "apps/ResourceCommands.h"

#include <algorithm>
#include <ostream>

#include "apps/EntryCommands.h"
#include "apps/LumetaShell.h"
#include "com/NumberText.h"
#include "com/DialogService.h"
#include "com/OleDate.h"
#include "session/HostDataEditor.h"
#include "session/ResourceLoad.h"

namespace {

[[noreturn]] void Usage(const char* AUsage) { throw ELumetaError(std::string("usage: ") + AUsage, E_INVALIDARG); }

int64_t NodeID(TLumetaModel* AModel, const std::string& AText) {
  const std::optional<int64_t> id = ParseInteger<int64_t>(AText);
  if (!id || *id < 0) throw ELumetaError("'" + AText + "' is not a node ID", E_INVALIDARG);
  AModel->Map().GetNode(*id);  // raises for a node the map does not hold
  return *id;
}

// The verb (add or remove) and the node of `WORD add|remove ID ...` with ACount words in all, or
// the node alone of `WORD ID`, which reads.
struct TVerb {
  bool Read = false;
  bool Add = false;
  int64_t ID = 0;
};

TVerb ParseVerb(TLumetaModel* AModel, const std::vector<std::string>& AArgs, size_t AMin, size_t AMax,
                const char* AUsage) {
  if (AArgs.size() == 1) return {true, false, NodeID(AModel, AArgs[0])};
  const bool add = !AArgs.empty() && AArgs[0] == "add", remove = !AArgs.empty() && AArgs[0] == "remove";
  if ((!add && !remove) || AArgs.size() < AMin || AArgs.size() > (remove ? AMin : AMax)) Usage(AUsage);
  return {false, add, NodeID(AModel, AArgs[1])};
}

std::string DayText(double ADate) { return ADate != 0 ? DateToIsoText(ADate) : std::string("no date"); }

}  // namespace

void RunNoteCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  if (AArgs.empty() || AArgs.size() > 2) Usage(NoteCommandUsage);
  const int64_t id = NodeID(AModel, AArgs[0]);
  if (AArgs.size() == 2) {
    RaiseIfRefused(THostDataEditor(AModel).SetNotes(id, AArgs[1]));
    return;
  }
  const std::string& notes = AModel->Map().GetNode(id)->ReadHostData().Notes;
  if (!notes.empty()) AOut << UnixLineBreaks(notes) << '\n';
}

void RunResourceCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs) {
  const TVerb verb = ParseVerb(AModel, AArgs, 3, 4, ResourceCommandUsage);
  if (verb.Read) Usage(ResourceCommandUsage);
  THostDataEditor editor(AModel);
  RaiseIfRefused(verb.Add ? editor.AddResource(verb.ID, AArgs[2], AArgs.size() > 3 ? AArgs[3] : std::string())
                          : editor.RemoveResource(verb.ID, AArgs[2]));
}

void RunResourcesCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  if (AArgs.size() > 1) Usage(ResourcesCommandUsage);
  std::vector<TResourceUse> uses = ResourceUses(AModel);
  if (!AArgs.empty()) {
    const int64_t id = NodeID(AModel, AArgs[0]);
    std::erase_if(uses, [&](const TResourceUse& AUse) {
      return std::ranges::none_of(AUse.Tasks, [&](const TResourceTask& ATask) { return ATask.NodeID == id; });
    });
  }
  for (const TResourceUse& use : uses) {
    std::string line = VisibleLine(use.Name);
    if (!use.Email.empty()) line += " <" + VisibleLine(use.Email) + ">";
    line += ": " + HoursText(use.Hours) + ";";
    for (size_t i = 0; i < use.Tasks.size(); ++i) {
      const TResourceTask& task = use.Tasks[i];
      line += (i ? ", " : " ") + std::to_string(task.NodeID) + ' ' + VisibleLine(task.Title) + " (";
      line += task.Start == 0 && task.Finish == 0 ? std::string("no dates")
                                                  : DayText(task.Start) + " to " + DayText(task.Finish);
      line += task.Summary ? ", summary)" : ", " + HoursText(task.Hours) + ")";
    }
    bool first = true;
    for (const TResourceDay& day : use.Days) {
      if (!day.OverBooked()) continue;
      line += first ? "; over-booked " : ", ";
      line += DateToIsoText(day.Day) + " (" + HoursText(day.Booked) + " of " + HoursText(day.Available) + ")";
      first = false;
    }
    AOut << line << '\n';
  }
}

void RunCategoryCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  const TVerb verb = ParseVerb(AModel, AArgs, 3, 3, CategoryCommandUsage);
  if (verb.Read) {
    for (const std::string& name : AModel->Map().GetNode(verb.ID)->ReadHostData().Categories)
      AOut << VisibleLine(name) << '\n';
    return;
  }
  THostDataEditor editor(AModel);
  RaiseIfRefused(verb.Add ? editor.AddCategory(verb.ID, AArgs[2]) : editor.RemoveCategory(verb.ID, AArgs[2]));
}

void RunAttachCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  const TVerb verb = ParseVerb(AModel, AArgs, 4, 4, AttachCommandUsage);
  if (verb.Read) {
    for (const TNodeAttachment& attachment : AModel->Map().GetNode(verb.ID)->GetAttachments())
      AOut << VisibleLine(attachment.Name) << ' ' << VisibleLine(attachment.Location) << '\n';
    return;
  }
  THostDataEditor editor(AModel);
  RaiseIfRefused(verb.Add ? editor.AddAttachment(verb.ID, AArgs[2], AArgs[3])
                          : editor.RemoveAttachment(verb.ID, AArgs[2], AArgs[3]));
}
