#pragma once
// A node's list of task links, as the predecessor and successor link properties offer it.
// Operations in slot order.
#include <cstdint>

#include "contract/LumetaSelectionIntf.h"

struct INodeLinkList2 : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("DA0F17AD-D18C-4B9F-8B3B-BD903E416D7E");
  // Raises EListError outside the list.
  virtual void DeleteLink(int32_t AIndex) = 0;
  virtual int32_t GetCount() = 0;
  // Empty past the end; a negative index raises EListError.
  virtual ComPtr<INodeLink> GetLink(int32_t AIndex) = 0;
  // The link to the node; empty when there is none.
  virtual ComPtr<INodeLink> GetLink(INode* ANode) = 0;
  // Appends a finish-to-start link to the node (set its type through ITaskLink) and answers it; a
  // null node adds nothing and answers empty.
  virtual ComPtr<INodeLink> AddLink(INode* ANode) = 0;
  // Deletes the link to the node; nothing when there is none.
  virtual void RemoveLink(INode* ANode) = 0;
  // Keeps, of links with the same parent and the same linked node, only the last.
  virtual void RemoveDuplicates() = 0;
  virtual bool ContainsLink(INode* ANode) = 0;
  // True when any node of the list is linked.
  virtual bool ContainsLink(INodeList* ANodes) = 0;
  // The index of the first link to the node, whatever its type; -1 when none (or no node).
  virtual int32_t IndexOfLink(INode* ANode) = 0;
};
