#include "apps/LinkCommands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <ostream>

#include "com/ComErrors.h"
#include "com/DialogService.h"
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

// The link from APredecessor to ASuccessor as the successor stores it; empty when none.
ComPtr<ITaskLink> ExistingLink(INode* APredecessor, INode* ASuccessor) {
  ComPtr<INodeLinkList2> links = TLumetaNodeLinksProperty::Of(ASuccessor);
  return links ? QueryAs<ITaskLink>(links->GetLink(APredecessor).get()) : nullptr;
}

void Refuse(TTaskLinkResult AResult) {
  TTaskLinkHelper::ShowLinkError(AResult);
  throw ELinkRefused();
}

bool Scheduling(TLumetaModel* AModel) {
  IMapSettings* settings = AModel->Map().Settings();
  return settings && settings->GetTaskScheduling();
}

}  // namespace

ComPtr<ICommand> MakeLinkCommand(TLumetaModel* AModel, TLinkChange AChange, TLumetaNode* APredecessor,
                                 TLumetaNode* ASuccessor, TTaskLinkType AType) {
  const std::string predecessorID = APredecessor->GetID(), successorID = ASuccessor->GetID();
  ComPtr<ITaskLink> existing = ExistingLink(APredecessor, ASuccessor);
  if (AChange == TLinkChange::Add) {
    if (const TTaskLinkResult result = TTaskLinkHelper::Validate(ASuccessor, APredecessor, nullptr, AType);
        result != tlOk)
      Refuse(result);
    if (existing) throw ELumetaError("task " + successorID + " follows task " + predecessorID + " already");
    return make<TAddTaskLinkCommand>(AModel, predecessorID, successorID, AType, Scheduling(AModel));
  }
  if (!existing) throw ELumetaError("task " + successorID + " does not follow task " + predecessorID);
  if (AChange == TLinkChange::Remove)
    return make<TRemoveTaskLinkCommand>(AModel, predecessorID, successorID, existing->GetLinkType(),
                                        Scheduling(AModel));
  // Checked as if the old link were gone, so that only the rules about the new type count.
  ComPtr<TLumetaNodeLinksProperty> without = make<TLumetaNodeLinksProperty>();
  without->Links()->SetLoaded(true);
  if (const TTaskLinkResult result = TTaskLinkHelper::Validate(ASuccessor, APredecessor, without.get(), AType);
      result != tlOk)
    Refuse(result);
  return make<TUpdateTaskLinkCommand>(AModel, predecessorID, successorID, existing->GetLinkType(), AType,
                                      Scheduling(AModel));
}

ComPtr<ICommand> RunLinkCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs) {
  const std::string& verb = AArgs.at(0);
  const bool add = verb == "add", remove = verb == "remove", retype = verb == "type";
  if ((!add && !remove && !retype) || AArgs.size() < 3 || AArgs.size() > (remove ? 3u : 4u) ||
      (retype && AArgs.size() != 4))
    throw ELumetaError(std::string("usage: ") + LinkCommandUsage, E_INVALIDARG);
  TLumetaNode* predecessor = TaskArgument(AModel, AArgs[1]);
  TLumetaNode* successor = TaskArgument(AModel, AArgs[2]);
  const TLinkChange change = add ? TLinkChange::Add : remove ? TLinkChange::Remove : TLinkChange::Retype;
  const TTaskLinkType type = AArgs.size() > 3 ? ParseLinkType(AArgs[3]) : ltFinishToStart;
  return MakeLinkCommand(AModel, change, predecessor, successor, type);
}

std::vector<TPredecessorChange> PredecessorListChanges(TLumetaModel* AModel, TLumetaNode* ASuccessor,
                                                       const std::string& AText) {
  std::vector<TPredecessorChange> wanted;
  size_t from = 0;
  while (from <= AText.size()) {
    const size_t end = std::min(AText.find_first_of(",;", from), AText.size());
    std::string word;
    for (size_t i = from; i < end; ++i)
      if (!std::isspace(static_cast<unsigned char>(AText[i]))) word += AText[i];
    from = end + 1;
    if (word.empty()) continue;
    int64_t number = 0;
    TTaskLinkType type = ltFinishToStart;
    if (!TTaskLinkHelper::ValidatePredStr(word, number, type) || number <= 0 || !AModel->Map().FindNode(number)) {
      DialogService().ShowMessage(TMessageKind::Warning, KInvalidTaskIdMessage);
      throw ELinkRefused();
    }
    // The same link typed twice is one link; the same task with two types the rules refuse.
    const auto twice = std::ranges::find(wanted, number, &TPredecessorChange::PredecessorID);
    if (twice == wanted.end())
      wanted.push_back({TLinkChange::Add, number, type});
    else if (twice->Type != type)
      Refuse(tlDuplicate);
  }

  std::vector<TPredecessorChange> changes;
  const std::vector<TTaskLinkInfo> current = TaskLinksOf(ASuccessor, true);
  for (const TTaskLinkInfo& link : current)
    if (std::ranges::find(wanted, link.NodeID, &TPredecessorChange::PredecessorID) == wanted.end())
      changes.push_back({TLinkChange::Remove, link.NodeID, ParseLinkType(link.Type)});
  for (const bool retypes : {true, false})
    for (const TPredecessorChange& link : wanted) {
      const auto old = std::ranges::find(current, link.PredecessorID, &TTaskLinkInfo::NodeID);
      if (retypes && old != current.end() && ParseLinkType(old->Type) != link.Type)
        changes.push_back({TLinkChange::Retype, link.PredecessorID, link.Type});
      else if (!retypes && old == current.end())
        changes.push_back(link);
    }
  return changes;
}

std::vector<TTaskLinkInfo> TaskLinksOf(INode* ANode, bool APredecessors) {
  std::vector<TTaskLinkInfo> result;
  ComPtr<INodeLinkList2> links =
      APredecessors ? TLumetaNodeLinksProperty::Of(ANode) : TLumetaSuccessorLinksProperty::Of(ANode);
  for (const TTaskLinkEntry& link : TaskLinksOf(links.get()))
    if (const std::optional<int64_t> id = ParseInteger<int64_t>(link.Node->GetID()))
      result.push_back({*id, KTypeCodes.at(link.Type)});
  return result;
}

std::string LinkCircleAbove(TLumetaNode* ANode) {
  for (TLumetaNode* summary = ANode ? ANode->Parent() : nullptr; summary && !summary->IsRoot();
       summary = summary->Parent())
    if (const TTaskLinkHelper::TLinkEnds link = TTaskLinkHelper::LinkLeadingBack(summary, true))
      return "the task links now lead in a circle: the link from node " + link.Predecessor->GetID() + " to node " +
             link.Successor->GetID() +
             " leads back to where it starts; a reschedule stops on it until one of those links is removed or "
             "retyped";
  return {};
}

std::string LinkCircleInMap(TLumetaMap& AMap) {
  const std::vector<TTaskLinkHelper::TLinkEnds> circle = TTaskLinkHelper::FindCircle(AMap.Root());
  if (circle.empty()) return {};
  std::vector<std::string> tasks;
  for (const TTaskLinkHelper::TLinkEnds& link : circle)
    for (INode* node : {link.Predecessor.get(), link.Successor.get()})
      if (std::find(tasks.begin(), tasks.end(), node->GetID()) == tasks.end()) tasks.push_back(node->GetID());
  std::string names;
  for (const std::string& id : tasks) names += (names.empty() ? "" : ", ") + id;
  return "the task links of this map lead in a circle through nodes " + names + ": " +
         TTaskLinkHelper::CircleText(circle) + "; refresh and every reschedule stop on it until one of those links "
         "is removed or retyped";
}

void RunLinksCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  TLumetaNode* node = TaskArgument(AModel, AArgs.at(0));
  for (const bool predecessors : {true, false})
    for (const TTaskLinkInfo& link : TaskLinksOf(node, predecessors))
      AOut << (predecessors ? "pred " : "succ ") << link.NodeID << ' ' << link.Type << '\n';
}

ComPtr<ICommand> RunRefreshCommand(TLumetaModel* AModel) { return make<TRefreshProjectCommand>(AModel, nullptr); }
