#include "apps/LinkCommands.h"

#include <ostream>

#include "com/ComErrors.h"
#include "com/NumberText.h"

namespace {

TTaskLinkType ParseLinkType(const std::string& AText) {
  if (const std::optional<TTaskLinkType> type = TaskLinkTypeFromCode(AText)) return *type;
  throw ELumetaError("'" + AText + "' is not a link type (FS, SS, FF or SF)", E_INVALIDARG);
}

}  // namespace

ComPtr<ICommand> MakeLinkCommand(TLumetaModel* AModel, TLinkChange AChange, TLumetaNode* APredecessor,
                                 TLumetaNode* ASuccessor, TTaskLinkType AType) {
  ComPtr<ICommand> command;
  RaiseIfRefused(TActionEditor(AModel).PrepareLinkChange(AChange, APredecessor->ID(), ASuccessor->ID(), AType, command));
  return command;
}

std::vector<std::string> RunLinkCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs) {
  const std::string& verb = AArgs.at(0);
  const bool add = verb == "add", remove = verb == "remove", retype = verb == "type";
  if ((!add && !remove && !retype) || AArgs.size() < 3 || AArgs.size() > (remove ? 3u : 4u) ||
      (retype && AArgs.size() != 4))
    throw ELumetaError(std::string("usage: ") + LinkCommandUsage, E_INVALIDARG);
  const TLinkChange change = add ? TLinkChange::Add : remove ? TLinkChange::Remove : TLinkChange::Retype;
  const TTaskLinkType type = AArgs.size() > 3 ? ParseLinkType(AArgs[3]) : ltFinishToStart;
  const TEditResult result = TActionEditor(AModel).ChangeLink(change, AArgs[1], AArgs[2], type);
  RaiseIfRefused(result);
  return result.Warnings;
}

std::vector<TPredecessorChange> PredecessorListChanges(TLumetaModel* AModel, TLumetaNode* ASuccessor,
                                                       const std::string& AText) {
  std::vector<TPredecessorChange> changes;
  RaiseIfRefused(TActionEditor(AModel).PredecessorChanges(ASuccessor->ID(), AText, changes));
  return changes;
}

std::string LinkCircleAbove(TLumetaModel* AModel, TLumetaNode* ANode) {
  return ANode ? TActionEditor(AModel).LinkCircleAbove(ANode->ID()) : std::string();
}

std::string LinkCircleInMap(TLumetaModel* AModel) { return TActionEditor(AModel).LinkCircleInMap(); }

void RunLinksCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  const std::optional<int64_t> id = ParseInteger<int64_t>(AArgs.at(0));
  if (!id || *id <= 0) throw ELumetaError("'" + AArgs[0] + "' is not a task's node ID", E_INVALIDARG);
  TActionEditor editor(AModel);
  for (const bool predecessors : {true, false})
    for (const TTaskLinkInfo& link : editor.TaskLinks(*id, predecessors))
      AOut << (predecessors ? "pred " : "succ ") << link.NodeID << ' ' << link.Type << '\n';
}
