#include "apps/LinkCommands.h"

#include <array>
#include <optional>
#include <ostream>

#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "contract/LumetaNodeLinksIntf.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/TaskCommands.h"
#include "plugin/TaskLinkHelper.h"

namespace {

constexpr std::array<const char*, 4> KTypeCodes{"FS", "SS", "FF", "SF"};

TTaskLinkType ParseLinkType(const std::string& AText) {
  for (size_t i = 0; i < KTypeCodes.size(); ++i)
    if (AText == KTypeCodes[i]) return static_cast<TTaskLinkType>(i);
  throw ELumetaError("'" + AText + "' is not a link type (FS, SS, FF or SF)", E_INVALIDARG);
}

TLumetaNode* TaskArgument(TLumetaModel* AModel, const std::string& AText) {
  const std::optional<int64_t> id = ParseInteger<int64_t>(AText);
  if (!id || *id <= 0) throw ELumetaError("'" + AText + "' is not a task's node ID", E_INVALIDARG);
  return AModel->Map().GetNode(*id);
}

ComPtr<INodeLinkList2> Links(INode* ANode, const char* AName) {
  return QueryAs<INodeLinkList2>(ANode->FindProperty(AName).get());
}

// The link from APredecessor to ASuccessor as the successor stores it; empty when none.
ComPtr<ITaskLink> ExistingLink(INode* APredecessor, INode* ASuccessor) {
  ComPtr<INodeLinkList2> links = Links(ASuccessor, TLumetaNodeLinksProperty::ManagerInfo.Description);
  return links ? QueryAs<ITaskLink>(links->GetLink(APredecessor).get()) : nullptr;
}

void Refuse(TTaskLinkResult AResult) {
  TTaskLinkHelper::ShowLinkError(AResult);
  throw ELumetaError("the link rules refuse this link");
}

bool Scheduling(TLumetaModel* AModel) {
  IMapSettings* settings = AModel->Map().Settings();
  return settings && settings->GetTaskScheduling();
}

}  // namespace

ComPtr<ICommand> RunLinkCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs) {
  const std::string& verb = AArgs.at(0);
  const bool add = verb == "add", remove = verb == "remove", retype = verb == "type";
  if ((!add && !remove && !retype) || AArgs.size() < 3 || AArgs.size() > (remove ? 3u : 4u) ||
      (retype && AArgs.size() != 4))
    throw ELumetaError(std::string("usage: ") + LinkCommandUsage, E_INVALIDARG);
  TLumetaNode* predecessor = TaskArgument(AModel, AArgs[1]);
  TLumetaNode* successor = TaskArgument(AModel, AArgs[2]);
  const std::string predecessorID = predecessor->GetID(), successorID = successor->GetID();
  ComPtr<ITaskLink> existing = ExistingLink(predecessor, successor);

  if (add) {
    const TTaskLinkType type = AArgs.size() > 3 ? ParseLinkType(AArgs[3]) : ltFinishToStart;
    if (const TTaskLinkResult result = TTaskLinkHelper::Validate(successor, predecessor, nullptr, type); result != tlOk)
      Refuse(result);
    if (existing) throw ELumetaError("task " + successorID + " follows task " + predecessorID + " already");
    return make<TAddTaskLinkCommand>(AModel, predecessorID, successorID, type, Scheduling(AModel));
  }
  if (!existing) throw ELumetaError("task " + successorID + " does not follow task " + predecessorID);
  if (remove)
    return make<TRemoveTaskLinkCommand>(AModel, predecessorID, successorID, existing->GetLinkType(),
                                        Scheduling(AModel));
  const TTaskLinkType type = ParseLinkType(AArgs[3]);
  // Checked as if the old link were gone, so that only the rules about the new type count.
  ComPtr<TLumetaNodeLinksProperty> without = make<TLumetaNodeLinksProperty>();
  without->Links()->SetLoaded(true);
  if (const TTaskLinkResult result = TTaskLinkHelper::Validate(successor, predecessor, without.get(), type);
      result != tlOk)
    Refuse(result);
  return make<TUpdateTaskLinkCommand>(AModel, predecessorID, successorID, existing->GetLinkType(), type,
                                      Scheduling(AModel));
}

std::vector<TTaskLinkInfo> TaskLinksOf(INode* ANode, bool APredecessors) {
  std::vector<TTaskLinkInfo> result;
  ComPtr<INodeLinkList2> links = Links(ANode, APredecessors ? TLumetaNodeLinksProperty::ManagerInfo.Description
                                                            : TLumetaSuccessorLinksProperty::ManagerInfo.Description);
  const int32_t count = links ? links->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(links->GetLink(i).get());
    ComPtr<INode> linked = link ? link->GetLinkedNode() : nullptr;
    if (!linked) continue;
    const std::optional<int64_t> id = ParseInteger<int64_t>(linked->GetID());
    if (id) result.push_back({*id, KTypeCodes.at(link->GetLinkType())});
  }
  return result;
}

void RunLinksCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  TLumetaNode* node = TaskArgument(AModel, AArgs.at(0));
  for (const bool predecessors : {true, false})
    for (const TTaskLinkInfo& link : TaskLinksOf(node, predecessors))
      AOut << (predecessors ? "pred " : "succ ") << link.NodeID << ' ' << link.Type << '\n';
}

ComPtr<ICommand> RunRefreshCommand(TLumetaModel* AModel) { return make<TRefreshProjectCommand>(AModel, nullptr); }
