#pragma once
// A plan's baseline: each task's start, finish, duration and work as they were agreed, kept with
// the node (its host data, so the map file holds it), and how far the task has moved since.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/LumetaModel.h"
#include "host/MapEditCommands.h"

using TBaseline = TLumetaNode::THostData::TBaseline;

// The node's action as it stands now (a summary's rolled up while the map schedules); empty for a
// node without an action or without a start.
std::optional<TBaseline> CurrentBaseline(TLumetaNode* ANode);

// Finish minus baseline finish, in working days of the map's calendar; empty without a baseline,
// a finish or a calendar.
std::optional<double> BaselineVariance(TLumetaNode* ANode);

// Gives nodes new baselines (empty: none) at once; undo gives back what each had.
class TSetBaselinesCommand : public TMapEditCommand {
 public:
  using TChange = std::pair<int64_t, std::optional<TBaseline>>;
  // ADescription is what the undo history calls the step ("Set Baseline").
  TSetBaselinesCommand(TLumetaModel* AModel, std::vector<TChange> AChanges, std::string ADescription);
  ~TSetBaselinesCommand() override;

  std::string GetDescription() override;
  void Execute() override;
  void UnExecute() override;

 private:
  // Swaps, so that Execute and UnExecute are one operation.
  void Swap();

  std::vector<TChange> FChanges;  // the other state: the new baselines before Execute, the old after
  std::string FDescription;
};
