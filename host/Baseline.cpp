#include "host/Baseline.h"

#include "contract/ActionAttributesIntf.h"
#include "contract/WorkingSchedulerIntf.h"

std::optional<TBaseline> CurrentBaseline(TLumetaNode* ANode) {
  ComPtr<IProperty> property = ANode->FindProperty(KActionPropertyName);
  ComPtr<IActionAttribute> action = property ? property.try_as<IActionAttribute>() : nullptr;
  if (!action || action->GetStartDate() <= 0) return std::nullopt;
  return TBaseline{.Start = action->GetStartDate(),
                   .Finish = action->GetCompletedDate(),
                   .Duration = action->GetDuration(),
                   .DurationMeasure = action->GetDurationMeasure(),
                   .Work = action->GetWork(),
                   .WorkMeasure = action->GetWorkMeasure()};
}

std::optional<double> BaselineVariance(TLumetaNode* ANode) {
  const std::optional<TBaseline>& baseline = ANode->ReadHostData().Baseline;
  const std::optional<TBaseline> now = baseline ? CurrentBaseline(ANode) : std::nullopt;
  if (!now || baseline->Finish <= 0 || now->Finish <= 0) return std::nullopt;
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(ANode);
  if (!scheduler) return std::nullopt;
  return scheduler->WorkingDuration(baseline->Finish, now->Finish);
}

TSetBaselinesCommand::TSetBaselinesCommand(TLumetaModel* AModel, std::vector<TChange> AChanges, std::string ADescription)
    : TMapEditCommand(AModel), FChanges(std::move(AChanges)), FDescription(std::move(ADescription)) {}

TSetBaselinesCommand::~TSetBaselinesCommand() = default;

std::string TSetBaselinesCommand::GetDescription() { return FDescription; }

void TSetBaselinesCommand::Swap() {
  for (auto& [id, baseline] : FChanges) std::swap(Map().GetNode(id)->HostData().Baseline, baseline);
}

void TSetBaselinesCommand::Execute() { Swap(); }

void TSetBaselinesCommand::UnExecute() { Swap(); }
