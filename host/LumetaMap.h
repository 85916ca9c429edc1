#pragma once
// The reference host's in-memory map: a tree of nodes under one root (the central topic, ID 0).
// Every other node has a positive integer ID; a new node takes the next ID after the highest the
// map has ever used, so that no ID is reused, not even by a node that undo could bring back.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "attributes/LumetaAttributes.h"
#include "com/AggregableObject.h"
#include "contract/ExportIntf.h"
#include "contract/LumetaIntf.h"
#include "host/NodeIndex.h"

class TLumetaMapSettings;
class TLumetaMap;
class TLumetaNode;

// Makes the properties of a loaded map when they are first asked for: until then a node keeps
// only their number with this maker, which is the map's document source.
class TPropertyMaker {
 public:
  virtual const std::string& PropertyName(uint32_t AEntry) = 0;
  // The property, given to ANode as its host object; raises ELumetaError when it cannot be made.
  virtual ComPtr<IProperty> MakeProperty(TLumetaNode* ANode, uint32_t AEntry) = 0;

 protected:
  ~TPropertyMaker() = default;
};

// A node's title. It also answers IProperty, named "Title", so that the plug-in's windows can read
// it and hand a new title back as a property (the model turns that into a rename command); the
// property is the node's own and belongs to no manager.
class TLumetaTitleAttribute : public TImplements<TStringAttribute, IProperty> {
 public:
  explicit TLumetaTitleAttribute(INode* ANode = nullptr) : FNode(ANode) {}

  std::string GetPropertyName() override;
  std::string GetCaption() override;
  std::string GetHint() override;
  ComPtr<IPropertyManager> GetManager() override;
  void SetManager(IPropertyManager* AManager) override;
  // The node, not counted.
  ComPtr<IUnknown> GetHostObject() override;
  void SetHostObject(IUnknown* AHostObject) override;
  // The value in place, loaded.
  const std::string& Text() {
    CheckLoaded();
    return Value();
  }

 private:
  INode* FNode;
};

class TLumetaNode
    : public TImplements<TAggregableObject, INode, IDocSource, IRecordSlotSource, INodeHostData, INodeLookup> {
 public:
  TLumetaNode(TLumetaMap* AMap, int64_t AID);
  ~TLumetaNode() override;

  // INode
  ComPtr<INode> GetFirstChild() override;
  ComPtr<INode> GetNextSibling() override;
  ComPtr<INode> GetParent() override;
  std::string GetID() override;
  bool HasChildren() override;
  bool IsSummaryTask() override;
  ComPtr<INode> GetRoot() override;
  ComPtr<IAttribute> FindAttribute(const std::string& AName) override;
  ComPtr<IProperty> FindProperty(const std::string& AName) override;
  // The same with AName's rank among its map's property classes (TLumetaMap::PropertyRank) known,
  // for walks that ask every node for one name.
  ComPtr<IProperty> FindProperty(const std::string& AName, size_t ARank);
  // The same not counted, for a walk that hands the properties on while the node holds them.
  IProperty* PeekProperty(const std::string& AName, size_t ARank);
  void SetProperty(IProperty* AProperty) override;
  bool RemoveProperty(const std::string& AName) override;
  int32_t GetPropertyCount() override;
  ComPtr<IProperty> GetPropertyItem(int32_t AIndex) override;
  bool IsDescendantOf(INode* AAncestor) override;
  std::string GetRelativeIndex(INode* ANode) override;
  ComPtr<INode> NodeFromRelativeIndex(const std::string& AText) override;
  int32_t GetLevel() override;
  bool IsExpanded() override;
  int32_t GetChildCount() override;

  // IDocSource: forwards to the map's document source, when it has one.
  void LoadAttribute(IAttribute* AAttribute) override;
  // IRecordSlotSource: the same, for a source that fills records' slots; false without one.
  bool LoadSlots(TStructuredAttribute* ARecord) override;

  // INodeLookup: through the map's index; the decimal ID text, as the map file writes it.
  ComPtr<INode> FindNodeByID(const std::string& AID) override;

  // INodeHostData: the host data below. Incoming connections are found by a walk of the map.
  std::string GetNotes() override;
  std::vector<std::string> GetCategories() override;
  std::vector<TNodeResource> GetResources() override;
  std::vector<TNodeAttachment> GetAttachments() override;
  std::vector<ComPtr<INode>> GetConnections(bool AOutgoing) override;

  int64_t ID() const noexcept { return FID; }
  bool IsRoot() const noexcept { return FID == 0; }
  // Empty for the root and for a node that is not in a map.
  TLumetaNode* Parent() const noexcept { return FParent; }
  TLumetaMap* Map() const noexcept { return FMap; }
  const std::vector<ComPtr<TLumetaNode>>& Children() const noexcept { return FChildren; }
  int IndexInParent() const;

  // Adds a property the node carries nothing under the name of yet, without comparing names: for
  // a caller that knows, such as the archive's loader, which sees each property element once.
  void AppendProperty(IProperty* AProperty);
  // The same for a loader: the property is number AEntry with the map's property maker, made
  // then (AMade) or on first use (null). A node's properties take numbers in a row.
  void AppendPendingProperty(uint32_t AEntry, IProperty* AMade = nullptr);
  // The property at AIndex if it has been made, else null with its number in AEntry; for a
  // writer that can save a property nobody asked for without making it.
  IProperty* PeekProperty(int32_t AIndex, uint32_t& AEntry) const noexcept {
    AEntry = FFirstEntry + static_cast<uint32_t>(AIndex);
    return FProperties[static_cast<size_t>(AIndex)].get();
  }

  // Asks the processor for the title and property objects ahead of a walk that will read them: a
  // large map's objects lie far apart, and each first touch would otherwise wait for memory.
  void PrefetchContent() const noexcept {
    __builtin_prefetch(FTitle.get());
    for (const auto& property : FProperties) __builtin_prefetch(property.get());
  }

  // The host's own attributes by name ("Title" on every node, "MapSettings" on the root).
  void SetAttribute(const std::string& AName, ComPtr<IAttribute> AAttribute);
  std::string Title();
  // The same without a copy when the node keeps its own title, else copied into AScratch; valid
  // until the title changes.
  std::string_view Title(std::string& AScratch);
  void SetTitle(const std::string& ATitle);

  // Host data that the map file keeps beside the plug-in properties.
  struct THostData {
    std::string Notes;
    std::vector<std::string> Categories;
    std::vector<std::pair<std::string, std::string>> Resources;  // name, e-mail address
    // Name is empty when the user gave none: the location's last part is then the name shown.
    std::vector<TNodeAttachment> Attachments;
    std::vector<int64_t> Connections;  // IDs of connected nodes
    // The task as it was agreed: what `baseline set` took from its action.
    struct TBaseline {
      double Start = 0;
      double Finish = 0;
      double Duration = 0;
      int32_t DurationMeasure = 1;  // the action's measure codes: 0 hours, 1 days, 2 minutes
      double Work = 0;
      int32_t WorkMeasure = 0;
      friend bool operator==(const TBaseline&, const TBaseline&) = default;
    };
    std::optional<TBaseline> Baseline;
    bool Expanded = true;
    friend bool operator==(const THostData&, const THostData&) = default;
  };
  // Made on first use: most nodes of a large map carry none, and a loaded map has one node per
  // task. Readers that must not make it use ReadHostData.
  THostData& HostData() {
    if (!FHostData) FHostData = std::make_unique<THostData>();
    return *FHostData;
  }
  const THostData& ReadHostData() const noexcept { return FHostData ? *FHostData : KNoHostData; }

 private:
  friend class TLumetaMap;
  void MakeProperty(size_t AIndex);
  void MakeProperties();
  // The rank among the map's property classes of the property at AIndex (below KRankedSlots), or
  // SIZE_MAX for a class the map does not know; remembered in FNameRanks.
  size_t SlotRank(size_t AIndex);
  // Whether the property at AIndex has the name, asking it (or the maker) for its name.
  bool SlotNamed(size_t AIndex, const std::string& AName);
  // The property at AIndex, made first if the file's element was not read yet.
  IProperty* MadeProperty(size_t AIndex);
  // The first property from AFrom on that has the name, compared name by name.
  IProperty* FindNamedFrom(size_t AFrom, const std::string& AName);
  // Moving to another map, or the properties changing places, makes the remembered ranks wrong.
  void SetMap(TLumetaMap* AMap) noexcept {
    FMap = AMap;
    FNameRanks = 0;
  }
  void ForgetRanks() noexcept { FNameRanks = 0; }
  static constexpr size_t KRankedSlots = 4;

  TLumetaMap* FMap;
  int64_t FID;
  TLumetaNode* FParent = nullptr;
  std::vector<ComPtr<TLumetaNode>> FChildren;
  // Where the node last stood among its siblings; checked before use, since inserts and removals
  // do not update it.
  mutable size_t FIndexHint = 0;
  ComPtr<IAttribute> FTitle;  // every node has one: kept apart from the others, which few nodes have
  TLumetaTitleAttribute* FOwnTitle = nullptr;  // FTitle, while it is the one the node made
  std::vector<std::pair<std::string, ComPtr<IAttribute>>> FAttributes;
  // Null entries are properties not made yet; the first one's number is FFirstEntry.
  std::vector<ComPtr<IProperty>> FProperties;
  uint32_t FFirstEntry = 0;
  // The first KRankedSlots properties' ranks among the map's classes plus one, a byte each (0: not
  // known yet): a name lookup then compares numbers, where asking a property copies its name.
  uint32_t FNameRanks = 0;
  std::unique_ptr<THostData> FHostData;
  static const THostData KNoHostData;
};

// The name an attachment shows when the user gave none: its location's last part.
std::string AttachmentName(const std::string& ALocation);

class TLumetaMap {
 public:
  TLumetaMap();
  ~TLumetaMap();
  TLumetaMap(const TLumetaMap&) = delete;
  TLumetaMap& operator=(const TLumetaMap&) = delete;

  TLumetaNode* Root() const noexcept { return FRoot.get(); }
  // The root's "MapSettings" attribute.
  IMapSettings* Settings() const;
  // The same as the host's own class, with the calendar and the schedule start; null only when a
  // foreign settings object was put on the root.
  TLumetaMapSettings* MapSettings() const;
  // Null when no node of the map has the ID.
  TLumetaNode* FindNode(int64_t AID) const;
  // Raises ELumetaError "No node with ID n" when absent.
  TLumetaNode* GetNode(int64_t AID) const;
  size_t NodeCount() const noexcept { return FIndex.Size(); }
  // Room in the ID index for ACount nodes, so that loading a large map does not rehash it again and again.
  void ReserveNodes(size_t ACount) { FIndex.Reserve(ACount); }
  int64_t HighestID() const noexcept { return FHighestID; }
  // The map's identity (IMapIdentity); empty until a map is given one. A file keeps it.
  const std::string& Identity() const noexcept { return FIdentity; }
  void SetIdentity(std::string AIdentity) noexcept { FIdentity = std::move(AIdentity); }
  // Raises the ID counter (a file remembers IDs of nodes deleted before it was saved); never lowers it.
  void SetHighestID(int64_t AID) noexcept { FHighestID = std::max(FHighestID, AID); }

  // A new node with the next ID, inserted under AParent at AIndex (-1: last).
  TLumetaNode* AddNode(TLumetaNode* AParent, const std::string& ATitle, int AIndex = -1);
  // A node with a given ID (loading a file); raises ELumetaError on a duplicate or non-positive ID.
  TLumetaNode* AddNodeWithID(TLumetaNode* AParent, int64_t AID, int AIndex = -1);
  // Takes a node and its subtree out of the tree; the caller may keep it to insert it again.
  ComPtr<TLumetaNode> DetachNode(TLumetaNode* ANode);
  // Drops the properties of a subtree that leaves for good. Task links hold the nodes they link,
  // so linked nodes would otherwise keep each other alive.
  static void ReleaseSubtree(TLumetaNode* ANode);
  // Puts a detached subtree back under AParent at AIndex (-1: last).
  void AttachNode(TLumetaNode* AParent, ComPtr<TLumetaNode> ANode, int AIndex = -1);
  // Moves a node under a new parent; refuses to move a node under itself or its descendants.
  void MoveNode(TLumetaNode* ANode, TLumetaNode* ANewParent, int AIndex = -1);
  // Removes every node but the root, and the root's properties and host data.
  void Clear();
  // Exchanges the whole content (nodes, root data, ID counter, document source) with another map;
  // the host loads a file into a fresh map and swaps it in only when the load succeeded.
  void Swap(TLumetaMap& AOther) noexcept;

  // The source the nodes' attributes load their values from on first read; may be null.
  // The order of property classes (their names) in which SetProperty places a property new to a
  // node, so that a property removed and put back (an undo) returns to its place. Names not listed
  // go last. It belongs to the map's model and stays when maps are swapped.
  void AddPropertyClass(const std::string& AName);
  size_t PropertyRank(const std::string& AName) const;
  size_t PropertyClassCount() const noexcept { return FPropertyOrder.size(); }
  // The name of the class of that rank, which must be below PropertyClassCount.
  const std::string& PropertyClassName(size_t ARank) const noexcept { return FPropertyOrder[ARank]; }

  // AMaker, when given, is the same source's maker of the properties its nodes have not made yet.
  void SetDocSource(ComPtr<IDocSource> ASource, TPropertyMaker* AMaker = nullptr) {
    FDocSource = std::move(ASource);
    FPropertyMaker = AMaker;
  }
  IDocSource* DocSource() const noexcept { return FDocSource.get(); }
  TPropertyMaker* PropertyMaker() const noexcept { return FPropertyMaker; }

  // Pre-order walk of every node but the root, with a stack of its own so that depth is no limit.
  template <class F>
  void ForEachNode(F&& AFunc) const {
    ForEachInSubtree(FRoot.get(), [&](TLumetaNode* ANode) {
      if (ANode != FRoot.get()) AFunc(ANode);
    });
  }
  // Pre-order walk of ANode and its subtree, without recursion. AFunc takes a node, or a node and
  // its level below ANode (0 for ANode itself).
  template <class F>
  static void ForEachInSubtree(TLumetaNode* ANode, F&& AFunc) {
    const auto visit = [&](TLumetaNode* AVisited, size_t ALevel) {
      if constexpr (std::is_invocable_v<F&, TLumetaNode*, int>)
        AFunc(AVisited, static_cast<int>(ALevel));
      else
        AFunc(AVisited);
    };
    visit(ANode, 0);
    std::vector<std::pair<TLumetaNode*, size_t>> stack{{ANode, 0}};
    while (!stack.empty()) {
      auto& [node, next] = stack.back();
      if (next == node->Children().size()) {
        stack.pop_back();
        continue;
      }
      TLumetaNode* child = node->Children()[next++].get();
      visit(child, stack.size());
      stack.emplace_back(child, 0);
    }
  }

  // The earliest Start Date among the actions of tasks without subtasks; 0 when none has one.
  double EarliestTaskStart() const;
  // Gives a map that stores no schedule start the one it should assume: its earliest task start,
  // else AToday at 08:00.
  void SettleDefaultScheduleStart(double AToday);

 private:
  void Index(TLumetaNode* ANode);
  static void SetMapOf(TLumetaNode* ANode, TLumetaMap* AMap) noexcept;
  void Unindex(TLumetaNode* ANode);
  TLumetaNode* Insert(TLumetaNode* AParent, ComPtr<TLumetaNode> ANode, int AIndex);

  ComPtr<TLumetaNode> FRoot;
  TNodeIndex FIndex;
  int64_t FHighestID = 0;
  std::string FIdentity;
  ComPtr<IDocSource> FDocSource;
  TPropertyMaker* FPropertyMaker = nullptr;  // part of FDocSource
  std::vector<std::string> FPropertyOrder;
};
