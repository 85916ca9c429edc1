#pragma once
// Links between nodes, node lists, selections and property lists as host and plug-in exchange them.
// Operations in slot order.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "com/InterfaceList.h"
#include "contract/LumetaIntf.h"
#include "contract/LumetaTypes.h"

struct ISelection;

// A link from a node (the parent, which owns it) to another node of the same map.
struct INodeLink : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("811590C7-6B34-4C07-83B8-B2337D6802C2");
  // Empty when the link refers to no node, or to none that can be found.
  virtual ComPtr<INode> GetLinkedNode() = 0;
  // The linked node's identifier text.
  virtual std::string GetLinkID() = 0;
  virtual ComPtr<INode> GetParentNode() = 0;
  // The way from the parent to the linked node, as INode::GetRelativeIndex writes it.
  virtual std::string GetRelativeIndex() = 0;
  virtual void SetLinkedNode(INode* ANode) = 0;
};

// A task link: a linked task with the kind of dependency. List items of task-link lists answer it,
// so the attribute factory makes them under this GUID.
struct ITaskLink : virtual INodeLink {
  static constexpr GUID Iid = MakeGuid("96C59B19-03BB-4BC5-B48B-EB1B72FFB6AB");
  virtual TTaskLinkType GetLinkType() = 0;
  virtual void SetLinkType(TTaskLinkType AType) = 0;
  // True when no node is linked.
  virtual bool IsEmpty() = 0;
};

// Answers whether a node passes a host test; the flag is handed on unchanged.
using TNodePredicate = std::function<bool(INode* ANode, bool AFlag)>;

// An ordered list of nodes. Item access outside the list answers empty; Delete and Exchange
// outside it raise EListError.
struct INodeList : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("E7698854-3E6E-440B-9894-A1991622FFB2");
  // Answers the new entry's index.
  virtual int32_t Add(INode* ANode) = 0;
  virtual void AddList(INodeList* AList) = 0;
  // The entries that are nodes; others are skipped.
  virtual void AddSelection(ISelection* ASelection) = 0;
  virtual void AddInterfaces(const TInterfaceList<IUnknown>& AList) = 0;
  virtual void Clear() = 0;
  virtual int32_t GetCount() = 0;
  virtual ComPtr<INode> GetItem(int32_t AIndex) = 0;
  // By identity; -1 when absent.
  virtual int32_t IndexOf(INode* ANode) = 0;
  virtual bool Contains(INode* ANode) = 0;
  virtual void Delete(int32_t AIndex) = 0;
  // Answers the former index, or -1 when the node was not in the list.
  virtual int32_t Remove(INode* ANode) = 0;
  virtual void Exchange(int32_t AIndex1, int32_t AIndex2) = 0;
  // Drops every entry that lies below another entry of the list, so that only the topmost remain.
  virtual void Prune() = 0;
  // True when some node has at least one predecessor link.
  virtual bool AnyHasPredecessors() = 0;
  // True when every node whose parent is not in the list passes the predicate; stops at the first
  // that fails.
  virtual bool AllPass(const TNodePredicate& APredicate, bool AFlag) = 0;
  // Replaces the entries by their subtrees, each node before its children, children in order.
  virtual void RebuildWithSubtrees() = 0;
};

// An ordered set of selected objects (nodes, usually). Objects are compared by identity; item
// access outside the selection answers empty.
struct ISelection : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("DE27E903-A161-4F8D-B2F0-B0334EE8D285");
  virtual int32_t GetCount() = 0;
  virtual ComPtr<IUnknown> GetItem(int32_t AIndex) = 0;
  // Appends; an object already selected stays where it is. Answers its index. Raises
  // EInvalidOperation for an empty object.
  virtual int32_t Add(IUnknown* AObject) = 0;
  // Raises EListError for an index outside 0..count; an object already selected is not moved.
  virtual void Insert(int32_t AIndex, IUnknown* AObject) = 0;
  // Raises EListError outside the selection.
  virtual void Delete(int32_t AIndex) = 0;
  // Answers the former index, or -1.
  virtual int32_t Remove(IUnknown* AObject) = 0;
  virtual void Clear() = 0;
  virtual int32_t IndexOf(IUnknown* AObject) = 0;
  virtual bool Contains(IUnknown* AObject) = 0;
};

// An ordered list of properties, with the names of the properties that a selection carries.
// Named apart from ISelection's operations so that one object can be both.
struct IProperties : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("7E570667-88F0-4A17-94A2-7C7E19162D14");
  virtual int32_t GetPropertyCount() = 0;
  // Empty outside the list.
  virtual ComPtr<IProperty> GetProperty(int32_t AIndex) = 0;
  // Answers the new entry's index; raises EInvalidOperation for an empty property.
  virtual int32_t AddProperty(IProperty* AProperty) = 0;
  // Raises EListError outside the list.
  virtual void DeleteProperty(int32_t AIndex) = 0;
  // Answers the former index, or -1.
  virtual int32_t RemoveProperty(IProperty* AProperty) = 0;
  virtual void ClearProperties() = 0;
  virtual int32_t IndexOfProperty(IProperty* AProperty) = 0;
  // The first property of that name (exact), or empty; the name joins GetPropertyNames.
  virtual ComPtr<IProperty> FindProperty(const std::string& AName) = 0;
  // Sorted, each name once.
  virtual std::vector<std::string> GetPropertyNames() = 0;
  // The object the list was made for (a model's property registry, a map); not counted by the list.
  virtual ComPtr<IUnknown> GetOwner() = 0;
};
