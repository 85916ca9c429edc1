#include "host/LumetaMap.h"

#include <algorithm>
#include <limits>
#include <cstdlib>

#include "attributes/LumetaAttributes.h"
#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "contract/ActionAttributesIntf.h"
#include "host/LumetaMapSettings.h"

namespace {
const char* const KTitle = "Title";

ComPtr<IStringAttribute> TitleOf(const ComPtr<IAttribute>& ATitle) { return ATitle.as<IStringAttribute>(); }
}  // namespace

// ---- TLumetaTitleAttribute

std::string TLumetaTitleAttribute::GetPropertyName() { return KTitle; }
std::string TLumetaTitleAttribute::GetCaption() { return KTitle; }
std::string TLumetaTitleAttribute::GetHint() { return {}; }
ComPtr<IPropertyManager> TLumetaTitleAttribute::GetManager() { return {}; }
void TLumetaTitleAttribute::SetManager(IPropertyManager*) {}
ComPtr<IUnknown> TLumetaTitleAttribute::GetHostObject() { return ComPtr<IUnknown>(static_cast<IUnknown*>(FNode)); }
void TLumetaTitleAttribute::SetHostObject(IUnknown*) {}

// ---- TLumetaNode

const TLumetaNode::THostData TLumetaNode::KNoHostData;

TLumetaNode::TLumetaNode(TLumetaMap* AMap, int64_t AID) : FMap(AMap), FID(AID) {
  ComPtr<TLumetaTitleAttribute> title = make<TLumetaTitleAttribute>(static_cast<INode*>(this));
  FOwnTitle = title.get();
  FTitle = std::move(title);
}

TLumetaNode::~TLumetaNode() {
  for (const auto& property : FProperties)
    if (property) property->SetHostObject(nullptr);
  // Children that die with this node hand their own children over first, so that releasing a deep
  // subtree takes one level of destructor calls instead of one per level.
  std::vector<ComPtr<TLumetaNode>> dying = std::move(FChildren);
  while (!dying.empty()) {
    ComPtr<TLumetaNode> node = std::move(dying.back());
    dying.pop_back();
    node->AddRef();
    const bool last = node->Release() == 1;  // only this reference is left
    if (last) {
      for (auto& child : node->FChildren) dying.push_back(std::move(child));
      node->FChildren.clear();
    }
  }
}

ComPtr<INode> TLumetaNode::GetFirstChild() {
  if (FChildren.empty()) return nullptr;
  return FChildren.front();
}

ComPtr<INode> TLumetaNode::GetNextSibling() {
  if (!FParent) return nullptr;
  const auto& siblings = FParent->FChildren;
  const int index = IndexInParent();
  if (index < 0 || index + 1 >= static_cast<int>(siblings.size())) return nullptr;
  // The next call of a walk asks the sibling for its place: tell it, so a walk stays linear.
  siblings[index + 1]->FIndexHint = index + 1;
  return siblings[index + 1];
}

ComPtr<INode> TLumetaNode::GetParent() { return ComPtr<INode>(FParent); }

std::string TLumetaNode::GetID() { return std::to_string(FID); }

bool TLumetaNode::HasChildren() { return !FChildren.empty(); }

bool TLumetaNode::IsSummaryTask() { return !IsRoot() && !FChildren.empty(); }

ComPtr<INode> TLumetaNode::GetRoot() {
  if (FMap) return ComPtr<INode>(FMap->Root());
  TLumetaNode* node = this;
  while (node->FParent) node = node->FParent;
  return ComPtr<INode>(node);
}

ComPtr<IAttribute> TLumetaNode::FindAttribute(const std::string& AName) {
  if (AName == KTitle) return FTitle;
  for (const auto& [name, attribute] : FAttributes)
    if (name == AName) return attribute;
  return nullptr;
}

size_t TLumetaNode::SlotRank(size_t AIndex) {
  const uint32_t shift = static_cast<uint32_t>(AIndex) * 8;
  if (const uint32_t known = (FNameRanks >> shift) & 0xFF) return known - 1;
  const auto& property = FProperties[AIndex];
  const size_t rank =
      FMap->PropertyRank(property ? property->GetPropertyName()
                                  : FMap->PropertyMaker()->PropertyName(FFirstEntry + static_cast<uint32_t>(AIndex)));
  if (rank >= FMap->PropertyClassCount()) return SIZE_MAX;  // a class registered later may take that rank
  if (rank < 0xFF) FNameRanks |= static_cast<uint32_t>(rank + 1) << shift;
  return rank;
}

ComPtr<IProperty> TLumetaNode::FindProperty(const std::string& AName) {
  if (FProperties.empty()) return nullptr;  // most nodes: walks up a deep tree ask each one
  // The name is compared with the names of the node's few classes, known by their ranks, rather
  // than searched among all the map's classes: a walk asks every node for one name.
  const size_t classes = FMap ? FMap->PropertyClassCount() : 0;
  const size_t ranked = classes ? std::min(FProperties.size(), KRankedSlots) : 0;
  for (size_t i = 0; i < ranked; ++i) {
    const size_t rank = SlotRank(i);
    if (rank < classes ? FMap->PropertyClassName(rank) == AName : SlotNamed(i, AName)) return ComPtr<IProperty>(MadeProperty(i));
  }
  return ComPtr<IProperty>(FindNamedFrom(ranked, AName));
}

IProperty* TLumetaNode::MadeProperty(size_t AIndex) {
  if (!FProperties[AIndex]) MakeProperty(AIndex);
  return FProperties[AIndex].get();
}

IProperty* TLumetaNode::FindNamedFrom(size_t AFrom, const std::string& AName) {
  for (size_t i = AFrom; i < FProperties.size(); ++i)
    if (SlotNamed(i, AName)) return MadeProperty(i);
  return nullptr;
}

bool TLumetaNode::SlotNamed(size_t AIndex, const std::string& AName) {
  const auto& property = FProperties[AIndex];
  return property ? property->GetPropertyName() == AName
                  : FMap->PropertyMaker()->PropertyName(FFirstEntry + static_cast<uint32_t>(AIndex)) == AName;
}

ComPtr<IProperty> TLumetaNode::FindProperty(const std::string& AName, size_t ARank) {
  return ComPtr<IProperty>(PeekProperty(AName, ARank));
}

IProperty* TLumetaNode::PeekProperty(const std::string& AName, size_t ARank) {
  if (FProperties.empty()) return nullptr;
  // A class the map knows is found by its rank in the first slots; other names and slots compare
  // the names themselves.
  const size_t wanted = ARank;
  const size_t ranked = FMap && wanted < FMap->PropertyClassCount() ? std::min(FProperties.size(), KRankedSlots) : 0;
  for (size_t i = 0; i < ranked; ++i)
    if (SlotRank(i) == wanted) return MadeProperty(i);
  return FindNamedFrom(ranked, AName);
}

void TLumetaNode::MakeProperty(size_t AIndex) {
  // A node leaves its map (and its maker) only with every property made; see TLumetaMap::Unindex.
  FProperties[AIndex] = FMap->PropertyMaker()->MakeProperty(this, FFirstEntry + static_cast<uint32_t>(AIndex));
}

void TLumetaNode::MakeProperties() {
  for (size_t i = 0; i < FProperties.size(); ++i)
    if (!FProperties[i]) MakeProperty(i);
}

void TLumetaNode::SetProperty(IProperty* AProperty) {
  if (!AProperty) return;
  MakeProperties();  // the places below shift, and a property not made yet is known by its place
  const std::string name = AProperty->GetPropertyName();
  for (auto& existing : FProperties) {
    if (existing->GetPropertyName() == name) {
      if (existing.get() != AProperty) existing->SetHostObject(nullptr);
      AProperty->SetHostObject(static_cast<INode*>(this));
      existing = ComPtr<IProperty>(AProperty);
      return;
    }
  }
  const size_t rank = FMap ? FMap->PropertyRank(name) : SIZE_MAX;
  auto place = std::find_if(FProperties.begin(), FProperties.end(), [&](const ComPtr<IProperty>& AExisting) {
    return FMap && FMap->PropertyRank(AExisting->GetPropertyName()) > rank;
  });
  AProperty->SetHostObject(static_cast<INode*>(this));
  FProperties.insert(place, ComPtr<IProperty>(AProperty));
  ForgetRanks();
}

void TLumetaNode::AppendProperty(IProperty* AProperty) {
  AProperty->SetHostObject(static_cast<INode*>(this));
  if (FProperties.empty()) {
    FProperties.reserve(4);  // a node carries a few properties: grow once, not at each
    ForgetRanks();
  }
  FProperties.emplace_back(AProperty);
}

void TLumetaNode::AppendPendingProperty(uint32_t AEntry, IProperty* AMade) {
  if (FProperties.empty()) FFirstEntry = AEntry, ForgetRanks();
  if (AEntry != FFirstEntry + FProperties.size()) {
    // A property noted out of turn (a link end the load adds to a node read long before): places
    // can no longer stand for entries, so the node's properties are all made now.
    if (!FMap || !FMap->PropertyMaker()) throw EInvalidOperation("A node's properties must be numbered in a row");
    MakeProperties();
    AppendProperty(AMade ? AMade : FMap->PropertyMaker()->MakeProperty(this, AEntry).get());
    return;
  }
  if (AMade)
    AppendProperty(AMade);
  else
    FProperties.emplace_back();
}

bool TLumetaNode::RemoveProperty(const std::string& AName) {
  MakeProperties();
  for (auto it = FProperties.begin(); it != FProperties.end(); ++it) {
    if ((*it)->GetPropertyName() == AName) {
      (*it)->SetHostObject(nullptr);
      FProperties.erase(it);
      ForgetRanks();
      return true;
    }
  }
  return false;
}

int32_t TLumetaNode::GetPropertyCount() { return static_cast<int32_t>(FProperties.size()); }

ComPtr<IProperty> TLumetaNode::GetPropertyItem(int32_t AIndex) {
  if (AIndex < 0 || AIndex >= GetPropertyCount()) return nullptr;
  if (!FProperties[AIndex]) MakeProperty(static_cast<size_t>(AIndex));
  return FProperties[AIndex];
}

bool TLumetaNode::IsDescendantOf(INode* AAncestor) {
  // One of our own nodes is found by its address: a deep node has many ancestors to compare.
  if (auto* ancestor = dynamic_cast<TLumetaNode*>(AAncestor)) {
    for (TLumetaNode* node = FParent; node; node = node->FParent)
      if (node == ancestor) return true;
    return false;
  }
  for (TLumetaNode* node = FParent; node; node = node->FParent)
    if (SameObject(static_cast<INode*>(node), AAncestor)) return true;
  return false;
}

std::string TLumetaNode::GetRelativeIndex(INode* ANode) {
  // Our own nodes only: the walk needs parent pointers and child positions.
  auto* other = dynamic_cast<TLumetaNode*>(ANode);
  if (!other || !FMap || other->FMap != FMap) return {};
  std::vector<int> down;
  TLumetaNode* common = other;
  for (; common && common != this && !IsDescendantOf(static_cast<INode*>(common)); common = common->FParent)
    down.push_back(common->IndexInParent());
  if (!common) return {};
  std::string text;
  for (TLumetaNode* node = this; node != common; node = node->FParent) text += text.empty() ? ".." : "/..";
  for (auto it = down.rbegin(); it != down.rend(); ++it) {
    if (!text.empty()) text += '/';
    text += std::to_string(*it);
  }
  return text;
}

int32_t TLumetaNode::GetLevel() {
  int32_t level = 0;
  for (TLumetaNode* node = FParent; node; node = node->FParent) ++level;
  return level;
}

bool TLumetaNode::IsExpanded() { return ReadHostData().Expanded || FChildren.empty(); }

int32_t TLumetaNode::GetChildCount() { return static_cast<int32_t>(FChildren.size()); }

ComPtr<INode> TLumetaNode::NodeFromRelativeIndex(const std::string& AText) {
  TLumetaNode* node = this;
  size_t start = 0;
  while (node && start <= AText.size() && !AText.empty()) {
    const size_t end = std::min(AText.find('/', start), AText.size());
    const std::string step = AText.substr(start, end - start);
    if (step == "..") {
      node = node->FParent;
    } else {
      char* rest = nullptr;
      const long index = std::strtol(step.c_str(), &rest, 10);
      if (step.empty() || *rest || index < 0 || index >= static_cast<long>(node->FChildren.size())) return nullptr;
      node = node->FChildren[index].get();
    }
    start = end + 1;
  }
  return ComPtr<INode>(node);
}

void TLumetaNode::LoadAttribute(IAttribute* AAttribute) {
  if (FMap && FMap->DocSource()) FMap->DocSource()->LoadAttribute(AAttribute);
}

bool TLumetaNode::LoadSlots(TStructuredAttribute* ARecord) {
  ComPtr<IRecordSlotSource> source = FMap ? QueryAs<IRecordSlotSource>(FMap->DocSource()) : nullptr;
  return source && source->LoadSlots(ARecord);
}

ComPtr<INode> TLumetaNode::FindNodeByID(const std::string& AID) {
  const std::optional<int64_t> id = ParseInteger<int64_t>(AID);
  return id && FMap ? FMap->FindNode(*id) : nullptr;
}

std::string TLumetaNode::GetNotes() { return ReadHostData().Notes; }

std::vector<std::string> TLumetaNode::GetCategories() { return ReadHostData().Categories; }

std::vector<TNodeResource> TLumetaNode::GetResources() {
  std::vector<TNodeResource> result;
  const auto& resources = ReadHostData().Resources;
  result.reserve(resources.size());
  for (const auto& [name, email] : resources) result.push_back({name, email});
  return result;
}

// The map file keeps a path or a URL per attachment, and a name only where the user gave one; the
// location's last part is the name shown otherwise.
std::string AttachmentName(const std::string& ALocation) {
  std::string_view name = ALocation;
  while (!name.empty() && (name.back() == '/' || name.back() == '\\')) name.remove_suffix(1);
  const size_t slash = name.find_last_of("/\\");
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  return std::string(name.empty() ? std::string_view(ALocation) : name);
}

std::vector<TNodeAttachment> TLumetaNode::GetAttachments() {
  std::vector<TNodeAttachment> result = ReadHostData().Attachments;
  for (TNodeAttachment& attachment : result)
    if (attachment.Name.empty()) attachment.Name = AttachmentName(attachment.Location);
  return result;
}

std::vector<ComPtr<INode>> TLumetaNode::GetConnections(bool AOutgoing) {
  std::vector<ComPtr<INode>> result;
  if (!FMap) return result;
  if (AOutgoing) {
    for (int64_t id : ReadHostData().Connections)
      if (TLumetaNode* other = FMap->FindNode(id)) result.emplace_back(static_cast<INode*>(other));
    return result;
  }
  TLumetaMap::ForEachInSubtree(FMap->Root(), [&](TLumetaNode* ANode) {
    const auto& connections = ANode->ReadHostData().Connections;
    if (ANode != this && std::find(connections.begin(), connections.end(), FID) != connections.end())
      result.emplace_back(static_cast<INode*>(ANode));
  });
  return result;
}

int TLumetaNode::IndexInParent() const {
  if (!FParent) return -1;
  const auto& siblings = FParent->FChildren;
  const size_t count = siblings.size();
  // Inserts and removals of siblings before the node move it by a few places: look outwards from
  // where it stood.
  const size_t hint = std::min(FIndexHint, count ? count - 1 : 0);
  for (size_t distance = 0; distance < count; ++distance) {
    if (hint + distance < count && siblings[hint + distance].get() == this)
      return static_cast<int>(FIndexHint = hint + distance);
    if (distance <= hint && distance > 0 && siblings[hint - distance].get() == this)
      return static_cast<int>(FIndexHint = hint - distance);
  }
  return -1;
}

void TLumetaNode::SetAttribute(const std::string& AName, ComPtr<IAttribute> AAttribute) {
  if (AName == KTitle) {
    FTitle = std::move(AAttribute);
    FOwnTitle = nullptr;
    return;
  }
  for (auto& [name, attribute] : FAttributes) {
    if (name == AName) {
      attribute = std::move(AAttribute);
      return;
    }
  }
  FAttributes.emplace_back(AName, std::move(AAttribute));
}

std::string TLumetaNode::Title() { return FOwnTitle ? FOwnTitle->Text() : TitleOf(FTitle)->GetValue(); }

std::string_view TLumetaNode::Title(std::string& AScratch) {
  if (FOwnTitle) return FOwnTitle->Text();
  return AScratch = TitleOf(FTitle)->GetValue();
}

void TLumetaNode::SetTitle(const std::string& ATitle) { TitleOf(FTitle)->SetValue(ATitle); }

// ---- TLumetaMap

TLumetaMap::TLumetaMap() : FRoot(make<TLumetaNode>(this, 0)) { FRoot->SetAttribute(KMapSettingsName, make<TLumetaMapSettings>()); }

IMapSettings* TLumetaMap::Settings() const { return FRoot->FindAttribute(KMapSettingsName).as<IMapSettings>().get(); }

TLumetaMapSettings* TLumetaMap::MapSettings() const { return dynamic_cast<TLumetaMapSettings*>(Settings()); }

TLumetaMap::~TLumetaMap() {
  Clear();
  FRoot->SetMap(nullptr);
}

TLumetaNode* TLumetaMap::FindNode(int64_t AID) const {
  if (AID == 0) return FRoot.get();
  return FIndex.Find(AID);
}

TLumetaNode* TLumetaMap::GetNode(int64_t AID) const {
  TLumetaNode* node = FindNode(AID);
  if (!node) throw ELumetaError("No node with ID " + std::to_string(AID));
  return node;
}

TLumetaNode* TLumetaMap::AddNode(TLumetaNode* AParent, const std::string& ATitle, int AIndex) {
  if (FHighestID == std::numeric_limits<int64_t>::max())
    throw ELumetaError("The map has used up its node IDs (the highest is " + std::to_string(FHighestID) + ")");
  TLumetaNode* node = Insert(AParent, make<TLumetaNode>(this, FHighestID + 1), AIndex);
  node->SetTitle(ATitle);
  return node;
}

TLumetaNode* TLumetaMap::AddNodeWithID(TLumetaNode* AParent, int64_t AID, int AIndex) {
  if (AID <= 0) throw ELumetaError("Node ID " + std::to_string(AID) + " is not a positive number");
  if (FindNode(AID)) throw ELumetaError("Duplicate node ID " + std::to_string(AID));
  return Insert(AParent, make<TLumetaNode>(this, AID), AIndex);
}

TLumetaNode* TLumetaMap::Insert(TLumetaNode* AParent, ComPtr<TLumetaNode> ANode, int AIndex) {
  if (!AParent || AParent->FMap != this) throw ELumetaError("The parent node is not in this map");
  auto& siblings = AParent->FChildren;
  if (AIndex < 0 || AIndex > static_cast<int>(siblings.size())) AIndex = static_cast<int>(siblings.size());
  TLumetaNode* node = ANode.get();
  node->FParent = AParent;
  node->FIndexHint = static_cast<size_t>(AIndex);
  siblings.insert(siblings.begin() + AIndex, std::move(ANode));
  Index(node);
  return node;
}

void TLumetaMap::Index(TLumetaNode* ANode) {
  ForEachInSubtree(ANode, [this](TLumetaNode* ANode) {
    ANode->SetMap(this);
    FIndex.Set(ANode->FID, ANode);
    FHighestID = std::max(FHighestID, ANode->FID);
  });
}

void TLumetaMap::Unindex(TLumetaNode* ANode) {
  ForEachInSubtree(ANode, [this](TLumetaNode* ANode) {
    ANode->MakeProperties();  // they cannot be made once the node has left the map
    FIndex.Erase(ANode->FID);
    ANode->SetMap(nullptr);
  });
}

ComPtr<TLumetaNode> TLumetaMap::DetachNode(TLumetaNode* ANode) {
  if (!ANode || ANode->IsRoot() || ANode->FMap != this || !ANode->FParent)
    throw ELumetaError("Only a node of this map other than the root can be removed");
  auto& siblings = ANode->FParent->FChildren;
  const int index = ANode->IndexInParent();
  ComPtr<TLumetaNode> detached = std::move(siblings[index]);
  siblings.erase(siblings.begin() + index);
  ANode->FParent = nullptr;
  Unindex(ANode);
  return detached;
}

void TLumetaMap::AttachNode(TLumetaNode* AParent, ComPtr<TLumetaNode> ANode, int AIndex) {
  if (!ANode || ANode->FParent || ANode->IsRoot()) throw ELumetaError("Only a detached node can be inserted");
  if (FindNode(ANode->FID)) throw ELumetaError("Duplicate node ID " + std::to_string(ANode->FID));
  Insert(AParent, std::move(ANode), AIndex);
}

void TLumetaMap::MoveNode(TLumetaNode* ANode, TLumetaNode* ANewParent, int AIndex) {
  for (TLumetaNode* ancestor = ANewParent; ancestor; ancestor = ancestor->FParent)
    if (ancestor == ANode) throw ELumetaError("A node cannot be moved below itself");
  AttachNode(ANewParent, DetachNode(ANode), AIndex);
}

void TLumetaMap::SetMapOf(TLumetaNode* ANode, TLumetaMap* AMap) noexcept {
  ForEachInSubtree(ANode, [AMap](TLumetaNode* ANode) { ANode->SetMap(AMap); });
}

void TLumetaMap::AddPropertyClass(const std::string& AName) {
  if (std::ranges::find(FPropertyOrder, AName) == FPropertyOrder.end()) FPropertyOrder.push_back(AName);
}

size_t TLumetaMap::PropertyRank(const std::string& AName) const {
  return static_cast<size_t>(std::ranges::find(FPropertyOrder, AName) - FPropertyOrder.begin());
}

void TLumetaMap::Swap(TLumetaMap& AOther) noexcept {
  std::swap(FRoot, AOther.FRoot);
  FIndex.Swap(AOther.FIndex);
  std::swap(FHighestID, AOther.FHighestID);
  std::swap(FIdentity, AOther.FIdentity);
  std::swap(FDocSource, AOther.FDocSource);
  std::swap(FPropertyMaker, AOther.FPropertyMaker);
  SetMapOf(FRoot.get(), this);
  SetMapOf(AOther.FRoot.get(), &AOther);
}

void TLumetaMap::ReleaseSubtree(TLumetaNode* ANode) {
  ForEachInSubtree(ANode, [](TLumetaNode* ANode) {
    // Properties never made are dropped as they are: making them only to let them go would cost a
    // closed map as much as reading every value.
    std::vector<ComPtr<IProperty>> properties = std::move(ANode->FProperties);
    ANode->FProperties.clear();
    ANode->ForgetRanks();
    for (const auto& property : properties)
      if (property) property->SetHostObject(nullptr);
  });
}

void TLumetaMap::Clear() {
  ReleaseSubtree(FRoot.get());
  while (!FRoot->FChildren.empty()) DetachNode(FRoot->FChildren.back().get());
  FRoot->FHostData.reset();
  FRoot->SetAttribute(KMapSettingsName, make<TLumetaMapSettings>());
  FHighestID = 0;
  FIdentity.clear();
}

double TLumetaMap::EarliestTaskStart() const {
  double earliest = 0;
  ForEachNode([&](TLumetaNode* ANode) {
    if (!ANode->Children().empty()) return;  // a summary's start comes from its subtasks
    ComPtr<IActionAttribute> action = QueryAs<IActionAttribute>(ANode->FindProperty(KActionPropertyName).get());
    const double start = action ? action->GetStartDate() : 0;
    if (start > 0 && (earliest == 0 || start < earliest)) earliest = start;
  });
  return earliest;
}

void TLumetaMap::SettleDefaultScheduleStart(double AToday) {
  TLumetaMapSettings* settings = MapSettings();
  if (!settings || settings->ScheduleStart() != 0) return;
  const double earliest = EarliestTaskStart();
  settings->SetDefaultScheduleStart(earliest != 0 ? earliest : AToday + 8.0 / 24);
}
