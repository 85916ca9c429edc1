#include "exchange/PlanRows.h"

#include <utility>

#include "com/NumberText.h"
#include "contract/ActionVocabulary.h"
#include "contract/LumetaNodeLinksIntf.h"

std::vector<TPlanLink> PlanPredecessors(INode* ANode) {
  std::vector<TPlanLink> links;
  ComPtr<INodeLinkList2> list = QueryAs<INodeLinkList2>(ANode->FindProperty(KPredecessorLinksName).get());
  const int32_t count = list ? list->GetCount() : 0;
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<INodeLink> link = list->GetLink(i);
    ComPtr<INode> node = link ? link->GetLinkedNode() : nullptr;
    if (!node) continue;
    const std::optional<int64_t> id = ParseInteger<int64_t>(node->GetID());
    if (!id) continue;
    ComPtr<ITaskLink> task = QueryAs<ITaskLink>(link.get());
    links.push_back({*id, task ? task->GetLinkType() : ltFinishToStart});
  }
  return links;
}

std::vector<TPlanRow> PlanRows(TLumetaMap& AMap) {
  std::vector<TPlanRow> rows;
  rows.reserve(AMap.NodeCount());
  struct TLevel {
    TLumetaNode* Node;
    size_t Next;
    std::string Number;
  };
  std::vector<TLevel> stack{{AMap.Root(), 0, {}}};
  while (!stack.empty()) {
    TLevel& level = stack.back();
    if (level.Next == level.Node->Children().size()) {
      stack.pop_back();
      continue;
    }
    TLumetaNode* child = level.Node->Children()[level.Next++].get();
    std::string number = level.Number.empty() ? std::to_string(level.Next)
                                              : level.Number + '.' + std::to_string(level.Next);
    TPlanRow row;
    row.Node = child;
    row.Depth = static_cast<int32_t>(stack.size());
    row.OutlineNumber = number;
    if (ComPtr<IProperty> property = child->FindProperty(KActionPropertyName))
      row.Action = QueryAs<IActionAttribute>(property.get());
    row.Predecessors = PlanPredecessors(child);
    rows.push_back(std::move(row));
    stack.push_back({child, 0, std::move(number)});
  }
  return rows;
}
