#pragma once
// The stored task link: a node reference plus the link type. Task-link lists hold these as items.
#include <cstdint>
#include <string>

#include "attributes/LumetaAttributes.h"
#include "contract/LumetaSelectionIntf.h"
#include "contract/LumetaTypes.h"

// The GUID the attribute factory makes task links under: the item type of task-link lists.
inline constexpr GUID TaskLinkAttributeIid = ITaskLink::Iid;

// A link to a task node with a link type (finish-to-start after construction). Two links to the
// same node are equal whatever their types, so a list holds at most one link per task.
class TNodeLinkAttribute : public TImplements<TNodeReferenceAttribute, INodeLink, ITaskLink> {
 public:
  using TImplements::TImplements;

  // INodeLink. The ID and the relative index are both the stored reference text.
  ComPtr<INode> GetLinkedNode() override;
  std::string GetLinkID() override;
  // The node whose property holds this link; empty for a link outside a property.
  ComPtr<INode> GetParentNode() override;
  std::string GetRelativeIndex() override;
  void SetLinkedNode(INode* ANode) override;

  // ITaskLink. SetLinkType marks the link modified and reports the change with index -1.
  TTaskLinkType GetLinkType() override;
  void SetLinkType(TTaskLinkType AType) override;
  bool IsEmpty() override;  // no node can be found for the link

  // The linked task's number, without the type.
  std::string AsPlainText(int32_t AOptions) override;
  // The link type comes along when the source is a task link.
  void Assign(IAttribute* ASource) override;
  // Any node link to the same node; links that cannot be resolved compare their identifier texts.
  bool EqualTo(IAttribute* AOther) override;
  // The reference, then the type as a 4-byte integer. A stored type outside the known ones reads
  // as finish-to-start.
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;
  GUID GetClassID() override;

 protected:
  std::string DebugValueText() override;  // reference text and type code ("12 FS")

 private:
  TTaskLinkType FLinkType = ltFinishToStart;
};

// A new, empty task link; the creator registered with the attribute factory.
ComPtr<IAttribute> CreateNodeLinkAttribute();
// Registers CreateNodeLinkAttribute under TaskLinkAttributeIid.
void RegisterNodeLinkAttributeClass(ILumetaAttributeFactory* AFactory);
