#include "plugin/TaskLinkHelper.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "com/DialogService.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "commands/CommandListItem.h"
#include "commands/SelectionData.h"
#include "contract/ActionAttributesIntf.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "plugin/TaskCommands.h"

namespace {

// The node's action record, or empty. The one place that looks records up: switch it to
// TActionHelper::GetAction(ANode, false) once that is in.
ComPtr<IActionAttribute> FindAction(INode* ANode) {
  return ANode ? QueryAs<IActionAttribute>(ANode->FindProperty(TActionPropertyManager::ClassDescription).get())
               : nullptr;
}

bool Contains(INodeLinkList2* ALinks, INode* ANode) { return ALinks && ANode && ALinks->ContainsLink(ANode); }

// Calls AVisit(linked node, link type) for each resolvable link of the list, in order.
template <class F>
void ForEachLink(INodeLinkList2* ALinks, F&& AVisit) {
  if (!ALinks) return;
  const int32_t count = ALinks->GetCount();
  for (int32_t i = 0; i < count; ++i) {
    ComPtr<ITaskLink> link = QueryAs<ITaskLink>(ALinks->GetLink(i).get());
    if (!link) continue;
    if (ComPtr<INode> linked = link->GetLinkedNode()) AVisit(linked.get(), link->GetLinkType());
  }
}

// The node after ANode in a pre-order walk of ATop's subtree, passing over ANode's children when
// ADescend is false; empty after the last.
ComPtr<INode> NextInSubtree(INode* ANode, INode* ATop, bool ADescend) {
  if (ADescend)
    if (ComPtr<INode> child = ANode->GetFirstChild()) return child;
  for (ComPtr<INode> node(ANode); node && node.get() != ATop; node = node->GetParent())
    if (ComPtr<INode> sibling = node->GetNextSibling()) return sibling;
  return nullptr;
}

// Looks for a way back from the successor to the predecessor along successor links. Searching
// from a node follows the successor links of the node, of every node below it (a link into a
// summary task holds back all its subtasks) and of every summary task above it (the node's finish
// holds back theirs). The other subtasks of those summaries are left out: they lie beside the
// node, so nothing that follows them has to wait for it. The search ends when a link leads to the
// predecessor, to a node above or below it, or back to the successor.
//
// Without native recursion: the nodes to search from wait on a stack. Each node's links are
// followed once and each subtree is walked once: a walk passes over subtrees walked before.
class TCycleSearch {
 public:
  TCycleSearch(INode* ASuccessor, INode* APredecessor)
      : FSuccessor(ASuccessor), FPredecessor(APredecessor), FPredecessorHasChildren(APredecessor->HasChildren()) {
    for (ComPtr<INode> node = APredecessor->GetParent(); node; node = node->GetParent())
      FAbovePredecessor.insert(node.get());
  }

  bool FindsWayBack() {
    FPending.emplace_back(FSuccessor);
    FQueued.insert(FSuccessor);
    while (!FPending.empty()) {
      ComPtr<INode> node = std::move(FPending.back());
      FPending.pop_back();
      if (SearchFrom(node.get())) return true;
    }
    return false;
  }

 private:
  bool SearchFrom(INode* ANode) {
    for (ComPtr<INode> node(ANode); node;) {
      const bool descend = FWalked.insert(node.get()).second;
      if (descend && Follow(node.get())) return true;
      node = NextInSubtree(node.get(), ANode, descend);
    }
    // A summary followed before had the summaries above it followed too.
    for (ComPtr<INode> summary = TTaskLinkHelper::SummaryAbove(ANode); summary;
         summary = TTaskLinkHelper::SummaryAbove(summary.get())) {
      if (FFollowed.contains(summary.get())) break;
      if (Follow(summary.get())) return true;
    }
    return false;
  }

  // Follows the node's successor links once: true when one closes the circle, else each linked
  // node waits to be searched from.
  bool Follow(INode* ANode) {
    if (!FFollowed.insert(ANode).second) return false;
    ComPtr<INodeLinkList2> links = TLumetaSuccessorLinksProperty::Of(ANode);
    const int32_t count = links ? links->GetCount() : 0;
    for (int32_t i = 0; i < count; ++i) {
      ComPtr<ITaskLink> link = QueryAs<ITaskLink>(links->GetLink(i).get());
      ComPtr<INode> linked = link ? link->GetLinkedNode() : nullptr;
      if (!linked) continue;
      if (ClosesCycle(linked.get())) return true;
      if (FQueued.insert(linked.get()).second) FPending.push_back(std::move(linked));
    }
    return false;
  }

  bool ClosesCycle(INode* ANode) {
    return ANode == FPredecessor || ANode == FSuccessor || FAbovePredecessor.contains(ANode) ||
           (FPredecessorHasChildren && ANode->IsDescendantOf(FPredecessor));
  }

  INode* FSuccessor;
  INode* FPredecessor;
  bool FPredecessorHasChildren;  // else nothing lies below it, and asking each linked node is wasted
  // The map holds the nodes while the search runs.
  std::unordered_set<INode*> FAbovePredecessor;
  std::unordered_set<INode*> FFollowed;  // links followed
  std::unordered_set<INode*> FWalked;    // subtree walked, or being walked
  std::unordered_set<INode*> FQueued;    // searched from, or waiting to be
  std::vector<ComPtr<INode>> FPending;
};

// The whole map's circles at once. Each node stands three times in one graph: searched from (its
// subtree walked), followed (its successor links), and climbed through (as a summary above a
// searched node, whose links follow and whose summary above is climbed too). A search reaches a
// node's links exactly when LeadsBack's search would, so a cycle of this graph is a circle of the
// link rules, and depth-first search finds one in time linear in nodes and links.
class TCircleSearch {
 public:
  explicit TCircleSearch(INode* ANode) {
    ComPtr<INode> root = ANode->GetRoot();
    if (!root) root = ANode;
    Index(root);
  }

  std::vector<TTaskLinkHelper::TLinkEnds> Find() {
    std::vector<uint8_t> colour(FNodes.size() * 3, 0);  // 0 new, 1 on the path, 2 done
    std::vector<TFrame> path;
    for (uint32_t start = 0; start < colour.size(); ++start) {
      if (colour[start]) continue;
      colour[start] = 1;
      path.push_back({start});
      while (!path.empty()) {
        const std::optional<uint32_t> next = NextEdge(path.back());
        if (!next) {
          colour[path.back().Vertex] = 2;
          path.pop_back();
          continue;
        }
        if (colour[*next] == 1) return CircleOf(path, *next);
        if (colour[*next] == 0) {
          colour[*next] = 1;
          path.push_back({*next});
        }
      }
    }
    return {};
  }

 private:
  enum TRole : uint32_t { rSearched, rFollowed, rClimbed };
  static constexpr uint32_t KNone = UINT32_MAX;
  struct TFrame {
    uint32_t Vertex;
    uint32_t Edge = 0;         // edges taken so far
    uint32_t Child = KNone;    // the child a searched node's walk goes to next
  };

  void Index(const ComPtr<INode>& ARoot) {
    std::unordered_map<INode*, uint32_t> index;
    std::vector<ComPtr<INode>> pending{ARoot};
    while (!pending.empty()) {
      ComPtr<INode> node = std::move(pending.back());
      pending.pop_back();
      index.emplace(node.get(), static_cast<uint32_t>(FNodes.size()));
      FNodes.push_back(node);
      for (ComPtr<INode> child = node->GetFirstChild(); child; child = child->GetNextSibling()) pending.push_back(child);
    }
    const size_t count = FNodes.size();
    FFirstChild.assign(count, KNone);
    FNextSibling.assign(count, KNone);
    FSummaryAbove.assign(count, KNone);
    FLinkStart.assign(count + 1, 0);
    for (uint32_t i = 0; i < count; ++i) {
      INode* node = FNodes[i].get();
      ComPtr<INode> parent = node->GetParent();
      if (parent) {
        const uint32_t p = index.at(parent.get());
        FNextSibling[i] = FFirstChild[p];  // children are listed last first: order does not matter here
        FFirstChild[p] = i;
        if (p != 0) FSummaryAbove[i] = p;  // every node with children below the root is a summary task
      }
      FLinkStart[i] = static_cast<uint32_t>(FLinkTargets.size());
      for (const TTaskLinkEntry& link : TaskLinksOf(TLumetaSuccessorLinksProperty::Of(node).get()))
        if (const auto found = index.find(link.Node.get()); found != index.end()) FLinkTargets.push_back(found->second);
    }
    FLinkStart[count] = static_cast<uint32_t>(FLinkTargets.size());
  }

  std::optional<uint32_t> NextEdge(TFrame& AFrame) const {
    const uint32_t node = AFrame.Vertex / 3;
    switch (AFrame.Vertex % 3) {
      case rSearched:
        if (AFrame.Edge == 0) {
          AFrame.Edge = 1;
          return node * 3 + rFollowed;
        }
        if (AFrame.Edge == 1) {
          AFrame.Edge = 2;
          AFrame.Child = FFirstChild[node];
          if (FSummaryAbove[node] != KNone) return FSummaryAbove[node] * 3 + rClimbed;
        }
        if (AFrame.Child == KNone) return std::nullopt;
        {
          const uint32_t child = AFrame.Child;
          AFrame.Child = FNextSibling[child];
          return child * 3 + rSearched;
        }
      case rClimbed:
        if (AFrame.Edge == 0) {
          AFrame.Edge = 1;
          return node * 3 + rFollowed;
        }
        if (AFrame.Edge == 1 && FSummaryAbove[node] != KNone) {
          AFrame.Edge = 2;
          return FSummaryAbove[node] * 3 + rClimbed;
        }
        return std::nullopt;
      default: {
        const uint32_t link = FLinkStart[node] + AFrame.Edge;
        if (link >= FLinkStart[node + 1]) return std::nullopt;
        ++AFrame.Edge;
        return FLinkTargets[link] * 3 + rSearched;
      }
    }
  }

  // The links on the path from AClosing (on it) to its end, and the one back to AClosing.
  std::vector<TTaskLinkHelper::TLinkEnds> CircleOf(const std::vector<TFrame>& APath, uint32_t AClosing) const {
    size_t first = APath.size() - 1;
    while (APath[first].Vertex != AClosing) --first;
    std::vector<TTaskLinkHelper::TLinkEnds> links;
    for (size_t i = first; i < APath.size(); ++i) {
      const uint32_t from = APath[i].Vertex;
      const uint32_t to = i + 1 < APath.size() ? APath[i + 1].Vertex : AClosing;
      if (from % 3 == rFollowed) links.push_back({FNodes[from / 3], FNodes[to / 3]});
    }
    return links;
  }

  std::vector<ComPtr<INode>> FNodes;  // in pre-order; the root first
  std::vector<uint32_t> FFirstChild, FNextSibling, FSummaryAbove;
  std::vector<uint32_t> FLinkStart, FLinkTargets;  // each node's successors, one run per node
};

// The start that ANode's own predecessors allow, from ADate on (0: the project's start).
double NextStartOfOwnPredecessors(ILumetaModel* AContext, INode* ANode, double ADate, IWorkingScheduler* AScheduler) {
  if (ADate == 0) {
    ComPtr<INode> root = AContext && AContext->GetTree() ? AContext->GetTree()->GetRoot() : ANode->GetRoot();
    if (ComPtr<IActionAttribute> top = FindAction(root ? root->GetFirstChild().get() : nullptr))
      ADate = top->GetStartDate();
  }
  double result = ADate;
  double candidate = ADate;
  ComPtr<IActionAttribute> action = FindAction(ANode);
  // A node without a record is scheduled as a new record would be: as soon as possible.
  const bool asSoonAsPossible = !action || action->GetConstraintType() == tcAsSoonAsPossible;
  const double days = action ? action->GetDurationInDays() : 0;
  ForEachLink(TLumetaNodeLinksProperty::Of(ANode).get(), [&](INode* APredecessor, TTaskLinkType AType) {
    ComPtr<IActionAttribute> predecessor = FindAction(APredecessor);
    if (asSoonAsPossible && predecessor) {
      switch (AType) {
        case ltFinishToStart:
          if (AScheduler) {
            const double finish = predecessor->GetCompletedDate();
            candidate = AScheduler->StartAfter(finish != 0 ? finish : predecessor->GetStartDate());
          }
          break;
        case ltStartToStart:
          candidate = predecessor->GetStartDate();
          break;
        case ltFinishToFinish:
          if (AScheduler) candidate = AScheduler->StartForFinish(predecessor->GetCompletedDate(), days);
          break;
        case ltStartToFinish:
          if (AScheduler) candidate = AScheduler->StartForFinish(predecessor->GetStartDate(), days);
          break;
      }
    }
    result = std::max(result, candidate);
  });
  return result;
}

}  // namespace

TTaskLinkResult TTaskLinkHelper::Validate(INode* ASuccessor, INode* APredecessor, INodeLinkList2* ALinks,
                                          TTaskLinkType ALinkType) {
  if (!ASuccessor || !APredecessor) return tlOk;
  ComPtr<INodeLinkList2> links(ALinks);
  if (!links) links = TLumetaNodeLinksProperty::Of(ASuccessor);
  ComPtr<ITaskLink> existing = links ? QueryAs<ITaskLink>(links->GetLink(APredecessor).get()) : nullptr;

  if (APredecessor->GetID() == ASuccessor->GetID()) return tlSelf;
  if (existing && existing->GetLinkType() != ALinkType) return tlDuplicate;
  if (ASuccessor->IsDescendantOf(APredecessor) || APredecessor->IsDescendantOf(ASuccessor)) return tlSummaryLink;
  if (ASuccessor->IsSummaryTask() && (ALinkType == ltFinishToFinish || ALinkType == ltStartToFinish))
    return tlSummaryLinkInvalid;

  if (Contains(TLumetaNodeLinksProperty::Of(APredecessor).get(), ASuccessor)) return tlCircularRef;
  if (ComPtr<INode> predecessorSummary = TTaskLinkHelper::SummaryAbove(APredecessor))
    if (Contains(TLumetaNodeLinksProperty::Of(predecessorSummary.get()).get(), TTaskLinkHelper::SummaryAbove(ASuccessor).get()))
      return tlIndirectCircularRef;
  return LeadsBack(ASuccessor, APredecessor) ? tlIndirectCircularRef : tlOk;
}

bool TTaskLinkHelper::LeadsBack(INode* ASuccessor, INode* APredecessor) {
  return TCycleSearch(ASuccessor, APredecessor).FindsWayBack();
}

std::vector<TTaskLinkHelper::TLinkEnds> TTaskLinkHelper::FindCircle(INode* ANode) {
  if (!ANode) return {};
  return TCircleSearch(ANode).Find();
}

std::string TTaskLinkHelper::CircleText(const std::vector<TLinkEnds>& ACircle) {
  if (ACircle.empty()) return {};
  return "the link from node " + ACircle.front().Predecessor->GetID() + " to node " +
         ACircle.front().Successor->GetID() + " leads back to where it starts";
}

TTaskLinkHelper::TLinkEnds TTaskLinkHelper::LinkLeadingBack(INode* ANode, bool APredecessorsToo) {
  for (const bool successors : {true, false}) {
    if (!successors && !APredecessorsToo) break;
    ComPtr<INodeLinkList2> links =
        successors ? TLumetaSuccessorLinksProperty::Of(ANode) : TLumetaNodeLinksProperty::Of(ANode);
    for (const TTaskLinkEntry& link : TaskLinksOf(links.get())) {
      TLinkEnds ends{successors ? ComPtr<INode>(ANode) : link.Node, successors ? link.Node : ComPtr<INode>(ANode)};
      if (LeadsBack(ends.Successor.get(), ends.Predecessor.get())) return ends;
    }
  }
  return {};
}

bool TTaskLinkHelper::ValidatePredecessorLinks(INode* ASuccessor, const std::vector<TPredecessorPair>& APairs) {
  ComPtr<TLumetaNodeLinksProperty> scratch = make<TLumetaNodeLinksProperty>();
  scratch->Links()->SetLoaded(true);  // a scratch list has no document to load from
  for (const TPredecessorPair& pair : APairs)
    if (ComPtr<ITaskLink> link = QueryAs<ITaskLink>(scratch->AddLink(pair.Node.get()).get()))
      link->SetLinkType(pair.LinkType);
  for (const TPredecessorPair& pair : APairs) {
    const TTaskLinkResult result = Validate(ASuccessor, pair.Node.get(), scratch.get(), pair.LinkType);
    if (result != tlOk) {
      ShowLinkError(result);
      return false;
    }
  }
  return true;
}

std::string TTaskLinkHelper::LinkErrorText(TTaskLinkResult AResult) {
  switch (AResult) {
    case tlOk:
      return {};
    case tlSelf:
      return "You cannot make a task a predecessor of itself.\r\n\r\nIf this task is dependant on another task, "
             "enter the ID number of the task it depends on and any pertinent task relationship information.";
    case tlDuplicate:
      return "There was a problem linking these tasks.\r\n\r\nYou cannot link a predecessor task twice to the same "
             "successor task.";
    case tlCircularRef:
      return "There was a problem linking these tasks.\r\n\r\nYou cannot have the same task as predecessor and "
             "successor.";
    case tlIndirectCircularRef:
      return "You are trying to link a task to another task that has a series of task links back to the first "
             "task.\r\n\r\nYou cannot do this because it would create a circular task relationship with other tasks.";
    case tlSummaryLink:
      return "A summary task cannot be linked to one of its subtasks.\r\n\r\nIf you want to link the two tasks, move "
             "the subtask to the same level of the summary task in the map view, and then link them.";
    case tlSummaryLinkInvalid:
      return "The predecessors of a summary task or predecessors of an inserted project summary must have a "
             "finish-to-start (FS) or start-to-start (SS) dependency.";
  }
  return "There is a problem with the predecessor information.\r\n\r\nEnsure the ID you are entering is valid and "
         "exists in the project.";
}

void TTaskLinkHelper::ShowLinkError(TTaskLinkResult AResult) {
  if (AResult != tlOk) DialogService().ShowMessage(TMessageKind::Warning, LinkErrorText(AResult));
}

bool TTaskLinkHelper::ValidatePredStr(std::string_view AText, int64_t& ATaskNumber, TTaskLinkType& ALinkType) {
  std::string upper(AText);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ALinkType = upper.ends_with("FF")   ? ltFinishToFinish
              : upper.ends_with("SF") ? ltStartToFinish
              : upper.ends_with("SS") ? ltStartToStart
                                      : ltFinishToStart;
  // Upper-casing keeps every character in its place, so the code is found in the upper-cased
  // text and cut from the given one.
  std::string rest(AText);
  if (const size_t at = upper.find(KTaskLinkTypeCodes[ALinkType]); at != std::string::npos) rest.erase(at, 2);
  const std::optional<int64_t> number = ParseInteger<int64_t>(rest);
  if (!number) return false;
  ATaskNumber = *number;
  return true;
}

bool TTaskLinkHelper::ValidateConstraint(INode* ANode, bool ACheck) {
  if (!ACheck) return true;
  ComPtr<IActionAttribute> action = FindAction(ANode);
  if (!action) return true;
  switch (action->GetConstraintType()) {
    case tcAsSoonAsPossible:
    case tcFinishNoLaterThan:
    case tcStartNoEarlierThan:
      return true;
    default:
      return false;
  }
}

bool TTaskLinkHelper::IsEligiableSummary(INode* ASummary) {
  bool eligible = true;
  ForEachLink(TLumetaNodeLinksProperty::Of(ASummary).get(), [&](INode*, TTaskLinkType AType) {
    if (AType == ltFinishToFinish || AType == ltStartToFinish) eligible = false;
  });
  return eligible;
}

bool TTaskLinkHelper::ValidateInteraction(IInteraction* AInteraction, ISelection* ASelection, bool AShowError) {
  if (!ASelection || ASelection->GetCount() == 0) return true;
  if (IsEligiableSummary(GetNewSummary(AInteraction, ASelection).get())) return true;
  if (AShowError) ShowLinkError(tlSummaryLinkInvalid);
  return false;
}

ComPtr<INode> TTaskLinkHelper::GetNewSummary(IInteraction* AInteraction, ISelection* ASelection) {
  if (!AInteraction) return {};
  const int32_t kind = AInteraction->GetKind();
  ComPtr<INode> target = ASelection && ASelection->GetCount() > 0 ? QueryAs<INode>(ASelection->GetItem(0).get()) : nullptr;
  if (std::ranges::find(KInteractionsUnderTarget, kind) != std::end(KInteractionsUnderTarget)) return target;
  if (kind == KInteractionUnderUnselectedAncestor) {
    ComPtr<INode> node = target;
    while (node && ASelection->Contains(node.get())) node = node->GetParent();
    return node;
  }
  if (kind == KInteractionUnderCarriedNode) {
    ComPtr<INodeList> nodes = AInteraction->GetNodes();
    return nodes && nodes->GetCount() > 0 ? nodes->GetItem(0) : nullptr;
  }
  return {};
}

bool TTaskLinkHelper::HasSuccessors(INode* ANode) {
  ComPtr<INodeLinkList2> links = TLumetaSuccessorLinksProperty::Of(ANode);
  return links && links->GetCount() > 0;
}

ComPtr<TNodeList> TTaskLinkHelper::FindSuccessors(INode* ANode) {
  ComPtr<TNodeList> successors = make<TNodeList>();
  ForEachLink(TLumetaSuccessorLinksProperty::Of(ANode).get(), [&](INode* ASuccessor, TTaskLinkType) { successors->Add(ASuccessor); });
  return successors;
}

double TTaskLinkHelper::CalcDuration(INode* ANode, double AStart, double AFinish) {
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(ANode);
  return scheduler ? scheduler->WorkingDuration(AStart, AFinish) : 0;
}

double TTaskLinkHelper::CalcNextEndDate(INode* ANode, double ADate) {
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(ANode);
  double result = ADate;
  double candidate = ADate;
  ForEachLink(TLumetaNodeLinksProperty::Of(ANode).get(), [&](INode* APredecessor, TTaskLinkType AType) {
    ComPtr<IActionAttribute> predecessor = FindAction(APredecessor);
    if (predecessor && AType == ltFinishToFinish)
      candidate = predecessor->GetCompletedDate();
    else if (predecessor && AType == ltStartToFinish && scheduler)
      candidate = scheduler->FinishBefore(predecessor->GetStartDate());
    if (result == 0 || candidate < result) result = candidate;
  });
  return result;
}

double TTaskLinkHelper::CalcNextStartDate(ILumetaModel* AContext, INode* ANode, double ADate) {
  if (!ANode) return ADate;
  ComPtr<IWorkingScheduler> scheduler = FindWorkingScheduler(ANode);
  // Each summary above holds back its subtasks too; its own result is never earlier than the date
  // it is given, so the climb only raises the start.
  double result = ADate;
  for (ComPtr<INode> node(ANode); node; node = TTaskLinkHelper::SummaryAbove(node.get()))
    result = NextStartOfOwnPredecessors(AContext, node.get(), result, scheduler.get());
  return result;
}

double TTaskLinkHelper::CalcEarliestStart(INode* ANode, IWorkingScheduler* AScheduler, bool AClimb,
                                          double AProposedStart, double ADate) {
  if (!AScheduler || !ANode) return ADate;
  ComPtr<IActionAttribute> action = FindAction(ANode);
  const double days = action ? action->GetDurationInDays() : 0;
  double result = ADate;
  ForEachLink(TLumetaNodeLinksProperty::Of(ANode).get(), [&](INode* APredecessor, TTaskLinkType AType) {
    ComPtr<IActionAttribute> predecessor = FindAction(APredecessor);
    if (!predecessor) return;
    switch (AType) {
      case ltFinishToStart:
        result = AScheduler->StartAfter(predecessor->GetCompletedDate());
        break;
      case ltStartToStart:
        result = std::max(result, predecessor->GetStartDate());
        break;
      case ltFinishToFinish: {
        const double finish = predecessor->GetCompletedDate();
        if (AScheduler->FinishForStart(AProposedStart, days) < finish && finish < result)
          result = AScheduler->StartForFinish(finish, days);
        break;
      }
      case ltStartToFinish:
        if (predecessor->GetStartDate() > (action ? action->GetStartDate() : 0))
          result = AScheduler->StartForFinish(predecessor->GetStartDate(), days);
        break;
    }
  });
  if (AClimb)
    if (ComPtr<INode> summary = TTaskLinkHelper::SummaryAbove(ANode))
      result = CalcEarliestStart(summary.get(), AScheduler, false, AProposedStart, result);
  return result;
}

double TTaskLinkHelper::CalcEarliestFinish(INode* ANode, IWorkingScheduler* AScheduler, double ADate) {
  double result = ADate;
  ForEachLink(TLumetaNodeLinksProperty::Of(ANode).get(), [&](INode* APredecessor, TTaskLinkType AType) {
    ComPtr<IActionAttribute> predecessor = FindAction(APredecessor);
    if (!predecessor) return;
    if (AType == ltFinishToFinish) {
      result = std::max(result, predecessor->GetCompletedDate());
    } else if (AType == ltStartToFinish && AScheduler) {
      const double finish = AScheduler->FinishBefore(predecessor->GetStartDate());
      if (finish != result) result = finish;
    }
  });
  return result;
}

ComPtr<ICommandListItem> TTaskLinkHelper::PrepareMoveTaskCommand(ILumetaModel* AContext, INode* ANode,
                                                                 double ANewStart) {
  ComPtr<IActionAttribute> current = FindAction(ANode);
  if (!AContext || !current) return {};
  // The node's own record stays as it is until the command runs, so that undo can go back to it.
  ComPtr<IProperty> record = AContext->GetPropertyClasses()->NewProperty(TActionPropertyManager::ClassDescription);
  record.as<IAttribute>()->Assign(current.get());
  ComPtr<IActionAttribute> action = record.as<IActionAttribute>();
  if (action->GetDuration() > 0)
    action->SetCompletedDate(0);
  else if (const double finish = action->GetCompletedDate(); finish != 0)
    action->SetCompletedDate(finish + ANewStart - action->GetStartDate());
  action->SetStartDate(ANewStart);

  ComPtr<TData> selection = make<TData>();
  selection->Add(ANode);
  ComPtr<ICommand> command = AContext->GetCommandHelper()->PreparePropertyCommand(record.get(), selection.get(), -1);
  return make<TCommandListItem>(command.get(), selection.get());
}

void TTaskLinkHelper::BuildInvalidLinks(IInteraction* AInteraction, ISelection* ASelection, IMultipleCommand* ACommands,
                                        bool AReschedule, bool AAtFront) {
  ComPtr<INode> summary = GetNewSummary(AInteraction, ASelection);
  if (!summary || !ACommands) return;
  ComPtr<ILumetaModel> model = ACommands->GetModel();
  std::vector<ComPtr<ICommand>> removals;
  ForEachLink(TLumetaNodeLinksProperty::Of(summary.get()).get(), [&](INode* APredecessor, TTaskLinkType AType) {
    if (AType == ltFinishToFinish || AType == ltStartToFinish)
      removals.push_back(
          make<TRemoveTaskLinkCommand>(model.get(), APredecessor->GetID(), summary->GetID(), AType, AReschedule));
  });
  if (removals.empty()) return;
  if (!AAtFront) {
    for (const ComPtr<ICommand>& removal : removals) ACommands->AddCommand(removal.get(), nullptr);
    return;
  }
  TInterfaceList<ICommandListItem> list = ACommands->GetCommandList();
  for (size_t i = 0; i < removals.size(); ++i)
    list.Insert(static_cast<int>(i), make<TCommandListItem>(removals[i].get(), nullptr));
  ACommands->SetCommandList(list);
}

ComPtr<INode> TTaskLinkHelper::SummaryAbove(INode* ANode) {
  ComPtr<INode> parent = ANode ? ANode->GetParent() : nullptr;
  return parent && parent->IsSummaryTask() ? parent : nullptr;
}
