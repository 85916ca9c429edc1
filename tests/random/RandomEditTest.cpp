// Random edit scripts through the real host and the plug-in library: from a seed, a map of 20 to
// 200 nodes, then 50 to 500 random edits of the tree, the action fields (constraints more often),
// the calendar (holidays, working days and hours, the schedule start) and the task links, with a
// refresh now and then. Undoing every edit must give back the saved map byte for
// byte, and redoing every edit the map as it was after them. A failure prints the seed and the
// shortest prefix of the script that fails.
//
//   random_edit_tests [--seeds N] [--first SEED] [--no-links] [--verbose]
//
// --no-links leaves out the link and refresh edits.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "apps/LumetaShell.h"
#include "com/ComErrors.h"
#include "com/DialogService.h"
#include "com/LumetaLocale.h"
#include "com/NumberText.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "contract/LumetaTypes.h"
#include "tests/support/TestFiles.h"

namespace {

using TWords = std::vector<std::string>;

// The saved map without the ID counter: undo brings nodes back but never lowers the counter, so
// that no ID is handed out twice.
std::string ReadMap(const std::filesystem::path& APath) {
  std::string map = ReadText(APath);
  const size_t at = map.find(" HighestID=\"");
  if (at != std::string::npos && at < map.find('>', map.find("<Map"))) map.erase(at, map.find('"', at + 12) + 1 - at);
  return map;
}

// The IDs of the map's nodes in pre-order, the root (0) first.
std::vector<int64_t> NodeIDs(TLumetaShell& AShell) {
  std::vector<int64_t> ids{0};
  AShell.Model()->Map().ForEachNode([&](TLumetaNode* ANode) { ids.push_back(ANode->ID()); });
  return ids;
}

// Every task link of the map as its predecessor's and its successor's IDs.
std::vector<std::pair<std::string, std::string>> TaskLinks(TLumetaShell& AShell) {
  std::vector<std::pair<std::string, std::string>> links;
  AShell.Model()->Map().ForEachNode([&](TLumetaNode* ANode) {
    if (auto list = QueryAs<INodeLinkList2>(ANode->FindProperty("NodeLinks").get()))
      for (int32_t i = 0; i < list->GetCount(); ++i)
        if (ComPtr<INode> predecessor = list->GetLink(i)->GetLinkedNode())
          links.emplace_back(predecessor->GetID(), ANode->GetID());
  });
  return links;
}

class TEditGenerator {
 public:
  TEditGenerator(uint64_t ASeed, bool ALinks) : FRandom(ASeed), FLinks(ALinks) {}

  int Between(int ALow, int AHigh) { return std::uniform_int_distribution<int>(ALow, AHigh)(FRandom); }
  bool Chance(int APercent) { return Between(1, 100) <= APercent; }
  template <class T>
  const T& Pick(const std::vector<T>& AItems) {
    return AItems[static_cast<size_t>(Between(0, static_cast<int>(AItems.size()) - 1))];
  }

  std::string Date() {
    const int day = Between(1, 28), month = Between(9, 12);
    std::string text = "2025-" + Two(month) + "-" + Two(day);
    if (Chance(50)) text += "T" + Two(Between(6, 18)) + ":" + Two(Between(0, 3) * 15) + ":00";
    return Chance(5) ? std::string("0") : text;
  }

  // A value the field takes, now and then one it refuses.
  std::string FieldValue(TActionField AField) {
    if (Chance(3)) return "nonsense";
    switch (AField) {
      case acComplete: return std::to_string(Pick<int>({0, 0, 25, 50, 100, 100}));
      case acStartDate: case acDueDate: case acCompletedDate: case acConstraintDate: return Date();
      case acDuration: case acWork: return ShortestFloatText(Between(0, 40) / 4.0);
      case acCost: case acQuantity: return ShortestFloatText(Between(-100, 1000) / 10.0);
      case acDurationMeasure: case acWorkMeasure: return Pick<std::string>({"0", "1", "2", "Hours", "Days"});
      case acPriority: return Pick<std::string>({"", "High", "Low", "Medium", "Urgent & <soon>"});
      case acStatus: return Pick<std::string>({"", "Not Started", "In Progress", "Completed", "Waiting"});
      case acConstraintType: return std::string(KTaskConstraintTypeIdentifiers[static_cast<size_t>(Between(0, 7))]);
      default: return Chance(50) ? "true" : "false";
    }
  }

  TWords Edit(TLumetaShell& AShell) {
    const std::vector<int64_t> ids = NodeIDs(AShell);
    const std::string node = std::to_string(Pick(ids));
    const std::string other = std::to_string(Pick(ids));
    const std::string type = Pick<std::string>({"FS", "FS", "SS", "FF", "SF"});
    const int kind = Between(0, 12);  // without links, a link or refresh edit becomes a field edit
    switch (FLinks || kind < 5 || kind > 8 ? kind : 9) {
      case 0: return {"add", other, "Task " + std::to_string(Between(1, 999))};
      case 1: return {"title", node, Chance(20) ? std::string() : "Renamed " + std::to_string(Between(1, 99))};
      case 2: return {"delete", node};
      case 3: return {"move", node, other};
      case 4: return Calendar();
      case 5: case 6: return Chance(80) ? TWords{"link", "add", node, other, type} : TWords{"link", "add", node, other};
      case 7: {
        // Mostly a link that exists; else one the command must refuse.
        const auto links = TaskLinks(AShell);
        const auto [predecessor, successor] = links.empty() || Chance(10) ? std::pair(node, other) : Pick(links);
        return Chance(50) ? TWords{"link", "remove", predecessor, successor} : TWords{"link", "type", predecessor, successor, type};
      }
      case 8: return {"refresh"};
      default: {
        // Constraints move tasks while the map schedules: drawn more often than other fields.
        const auto field = Chance(25) ? Pick<TActionField>({acConstraintType, acConstraintDate})
                                      : static_cast<TActionField>(Between(0, KActionFieldCount - 1));
        return {"set", node, KActionFieldNames[field], FieldValue(field)};
      }
    }
  }

  // Mostly holidays; now and then the working days, the working hours or the schedule start.
  TWords Calendar() {
    switch (Between(0, 9)) {
      case 0: return {"calendar", "days", Pick<std::string>({"Mon,Tue,Wed,Thu,Fri", "Mon,Tue,Wed,Thu", "Tue,Thu,Sat"})};
      case 1: return Chance(50) ? TWords{"calendar", "hours", "08:00-12:00", "13:00-17:00"} : TWords{"calendar", "hours", "09:30-15:45"};
      case 2: return {"calendar", "start", "2025-" + Two(Between(9, 12)) + "-" + Two(Between(1, 28))};
      default: return {"calendar", "holiday", Chance(70) ? "add" : "remove", "2025-" + Two(Between(9, 12)) + "-" + Two(Between(1, 28))};
    }
  }

 private:
  static std::string Two(int AValue) { return (AValue < 10 ? "0" : "") + std::to_string(AValue); }
  std::mt19937_64 FRandom;
  bool FLinks;
};

struct TRunResult {
  bool Failed = false;
  std::string Reason;
  std::vector<TWords> Edits;
};

class TRandomEditRun {
 public:
  TRandomEditRun(uint64_t ASeed, bool ALinks, std::filesystem::path AFolder)
      : FSeed(ASeed), FLinks(ALinks), FFolder(std::move(AFolder)) {}

  // The plug-in library the runs load, as lumeta finds it.
  static std::string PlugInDir() {
    const char* dir = std::getenv("LUMETA_PLUGIN_DIR");
    return dir && *dir ? dir : LUMETA_DEFAULT_PLUGIN_DIR;
  }

  // Runs the seed's script, or only its first AEditLimit edits.
  TRunResult Run(size_t AEditLimit = SIZE_MAX) {
    TRunResult result;
    TEditGenerator random(FSeed, FLinks);
    const std::filesystem::path start = FFolder / "start.xml";
    std::filesystem::remove(start);
    {
      // The starting map is built and saved by one shell, so that the edits start on an empty history.
      TLumetaShell shell(FNull, FNull);
      shell.Open(PlugInDir(), start.string());
      if (random.Chance(50)) shell.Run({"scheduling", "on"});
      const int nodes = random.Between(20, 200);
      for (int i = 0; i < nodes; ++i) {
        const std::vector<int64_t> ids = NodeIDs(shell);
        shell.Run({"add", std::to_string(random.Pick(ids)), "Node " + std::to_string(i)});
        if (random.Chance(60)) TryRun(shell, random.Edit(shell));
      }
      shell.Run({"save"});
    }
    TLumetaShell shell(FNull, FNull);
    shell.Open(PlugInDir(), start.string());
    const std::string before = Save(shell, "before.xml");
    const size_t count = std::min(AEditLimit, static_cast<size_t>(random.Between(50, 500)));
    for (size_t i = 0; i < count; ++i) {
      TWords edit = random.Edit(shell);
      TryRun(shell, edit);
      result.Edits.push_back(std::move(edit));
    }
    const std::string after = Save(shell, "after.xml");
    ComPtr<ICommandProcessor> processor = shell.Model()->GetCommandProcessor();
    while (processor->CanUndo()) processor->UndoLast();
    if (Save(shell, "undone.xml") != before) return Fail(result, "undoing every edit does not give the map back (undone.xml vs before.xml)");
    while (processor->CanRedo()) processor->Redo();
    if (Save(shell, "redone.xml") != after) return Fail(result, "redoing every edit does not give the edited map (redone.xml vs after.xml)");
    return result;
  }

 private:
  static void TryRun(TLumetaShell& AShell, const TWords& AWords) {
    try {
      AShell.Run(AWords);
    } catch (const ELumetaError&) {
      // Refused edits are part of the test: they must leave nothing behind.
    }
  }

  std::string Save(TLumetaShell& AShell, const std::string& AName) {
    AShell.Run({"save", (FFolder / AName).string()});
    return ReadMap(FFolder / AName);
  }

  static TRunResult& Fail(TRunResult& AResult, std::string AReason) {
    AResult.Failed = true;
    AResult.Reason = std::move(AReason);
    return AResult;
  }

  uint64_t FSeed;
  bool FLinks;
  std::filesystem::path FFolder;
  std::ostringstream FNull;
};

std::string Quoted(const TWords& AWords) {
  std::string line;
  for (const std::string& word : AWords) line += (line.empty() ? "" : " ") + ("'" + word + "'");
  return line;
}

}  // namespace

struct TOptions {
  uint64_t Seeds = 200;
  uint64_t First = 1;
  bool Links = true;
  bool Verbose = false;
};

std::optional<TOptions> ParseOptions(int AArgc, char** AArgv) {
  TOptions options;
  for (int i = 1; i < AArgc; ++i) {
    const std::string option = AArgv[i];
    if (option == "--verbose" || option == "--no-links") {
      if (option == "--verbose") options.Verbose = true;
      else options.Links = false;
      continue;
    }
    const auto number = i + 1 < AArgc ? ParseInteger<uint64_t>(AArgv[i + 1]) : std::nullopt;
    if (!number || (option != "--seeds" && option != "--first")) return std::nullopt;
    (option == "--seeds" ? options.Seeds : options.First) = *number;
    ++i;
  }
  return options;
}

int main(int argc, char** argv) {
  const std::optional<TOptions> options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << "usage: random_edit_tests [--seeds N] [--first SEED] [--no-links] [--verbose]\n";
    return 2;
  }
  const uint64_t seeds = options->Seeds, first = options->First;
  const bool verbose = options->Verbose;
  SetLocaleService(std::make_shared<TFixedLocaleService>(45950, "M/d/yyyy"));
  std::ostream discard(nullptr);  // the warnings of refused links are of no interest here
  SetDialogService(std::make_shared<TStreamDialogService>(discard));
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / ("lumeta-random-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  uint64_t failed = 0;
  for (uint64_t seed = first; seed < first + seeds; ++seed) {
    // Runs the seed's script or its first AEditLimit edits.
    const auto attempt = [&](size_t AEditLimit) {
      try {
        return TRandomEditRun(seed, options->Links, folder).Run(AEditLimit);
      } catch (const std::exception& error) {
        TRunResult result;
        result.Failed = true;
        result.Reason = std::string("an exception escaped: ") + error.what();
        return result;
      }
    };
    TRunResult result = attempt(SIZE_MAX);
    if (verbose) std::cout << "seed " << seed << ": " << result.Edits.size() << " edits\n";
    if (!result.Failed) continue;
    ++failed;
    // The shortest failing prefix, with its own reason and files.
    size_t shortest = 0;
    for (TRunResult prefix; shortest < result.Edits.size(); ++shortest)
      if ((prefix = attempt(shortest)).Failed) {
        result.Reason = prefix.Reason;
        break;
      }
    std::cout << "FAIL seed " << seed << ": " << result.Reason << "\n  shortest failing prefix: " << shortest << " edits\n";
    for (size_t i = 0; i < shortest && i < result.Edits.size(); ++i) std::cout << "    " << Quoted(result.Edits[i]) << '\n';
    std::cout << "  files kept in " << folder.string() << '\n';
  }
  if (failed == 0) std::filesystem::remove_all(folder);
  std::cout << seeds - failed << " passed, " << failed << " failed\n";
  return failed == 0 ? 0 : 1;
}
