#include "apps/ScheduleCommands.h"

#include <algorithm>
#include <cmath>
#include <ostream>

#include "apps/LumetaShell.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/ActionAttributesIntf.h"
#include "host/Baseline.h"
#include "host/CriticalPath.h"

void RunCriticalCommand(TLumetaModel* AModel, std::ostream& AOut) {
  const TCriticalPath path(AModel->Map());
  for (const int64_t id : path.CriticalTasks()) {
    TLumetaNode* node = AModel->Map().GetNode(id);
    ComPtr<IProperty> property = node->FindProperty(KActionPropertyName);
    ComPtr<IActionAttribute> action = property ? property.try_as<IActionAttribute>() : nullptr;
    AOut << id << ' ' << DateToIsoText(action ? action->GetStartDate() : 0) << ' '
         << DateToIsoText(action ? action->GetCompletedDate() : 0) << ' ' << VisibleLine(node->Title()) << '\n';
  }
}

void RunBaselineCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs) {
  const bool set = !AArgs.empty() && AArgs[0] == "set";
  if (!set && (AArgs.empty() || AArgs[0] != "clear")) throw EShellUsage(std::string("usage: ") + BaselineCommandUsage);
  TLumetaMap& map = AModel->Map();
  std::vector<TLumetaNode*> nodes;
  for (size_t i = 1; i < AArgs.size(); ++i) {
    const std::optional<int64_t> id = ParseInteger<int64_t>(AArgs[i]);
    if (!id || *id <= 0) throw EShellUsage("'" + AArgs[i] + "' is not the ID of a node below the map's root");
    nodes.push_back(map.GetNode(*id));
  }
  const bool every = nodes.empty();
  if (every) map.ForEachNode([&](TLumetaNode* ANode) { nodes.push_back(ANode); });
  std::vector<TSetBaselinesCommand::TChange> changes;
  for (TLumetaNode* node : nodes) {
    std::optional<TBaseline> baseline = set ? CurrentBaseline(node) : std::nullopt;
    if (set && !baseline) {
      if (every) continue;
      throw ELumetaError("node " + std::to_string(node->ID()) + " has no dated action to take a baseline of");
    }
    if (baseline == node->ReadHostData().Baseline) continue;
    if (std::ranges::any_of(changes, [&](const auto& AChange) { return AChange.first == node->ID(); })) continue;
    changes.emplace_back(node->ID(), std::move(baseline));
  }
  if (changes.empty()) return;
  AModel->GetCommandProcessor()->Execute(
      make<TSetBaselinesCommand>(AModel, std::move(changes), set ? "Set Baseline" : "Clear Baseline").get(), nullptr);
}

std::string VarianceText(double ADays) {
  const double rounded = std::round(ADays * 100) / 100;
  return ShortestFloatText(rounded == 0 ? 0.0 : rounded) + " days";
}
