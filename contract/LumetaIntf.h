#pragma once
// The contract between the host and its plug-ins: nodes, properties, managers, the property
// catalogue and the interactor. Operations in slot order.
#include <cstdint>
#include <string>

#include "contract/LumetaAttributesIntf.h"
#include "com/ComPtr.h"
#include "com/Variant.h"

struct IPropertyManager;

// A map node. The map's root (the central topic, ID "0") carries the map-level attributes and
// properties; every other node has a positive decimal ID unique within its map.
struct INode : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("D3E859C0-77DF-4C1F-BB83-534E5A8BAE1E");
  // Each answers empty at the end of the walk.
  virtual ComPtr<INode> GetFirstChild() = 0;
  virtual ComPtr<INode> GetNextSibling() = 0;
  virtual ComPtr<INode> GetParent() = 0;
  virtual std::string GetID() = 0;
  virtual bool HasChildren() = 0;
  // True for a node with child nodes that is not the root.
  virtual bool IsSummaryTask() = 0;
  virtual ComPtr<INode> GetRoot() = 0;
  // The host's own attributes by name ("Title", on the root "MapSettings"); empty when absent.
  virtual ComPtr<IAttribute> FindAttribute(const std::string& AName) = 0;
  // The plug-in property attached under the name (its manager's class description); empty when absent.
  virtual ComPtr<IProperty> FindProperty(const std::string& AName) = 0;
  // Attaches the property under its name, replacing one of the same name, and sets its host object.
  virtual void SetProperty(IProperty* AProperty) = 0;
  // Detaches the property of that name; false when there was none.
  virtual bool RemoveProperty(const std::string& AName) = 0;
  virtual int32_t GetPropertyCount() = 0;
  virtual ComPtr<IProperty> GetPropertyItem(int32_t AIndex) = 0;
  // True when AAncestor lies on this node's path to the root (the node itself does not count).
  virtual bool IsDescendantOf(INode* AAncestor) = 0;
  // The way from this node to ANode as "/"-separated steps, ".." for a parent and a 0-based child
  // index for a child ("../2/0"); empty when ANode is in another map.
  virtual std::string GetRelativeIndex(INode* ANode) = 0;
  // The node such a text leads to from this node; empty when the way leaves the map.
  virtual ComPtr<INode> NodeFromRelativeIndex(const std::string& AText) = 0;
  // The node's depth: 0 for the root, 1 for a main branch.
  virtual int32_t GetLevel() = 0;
  // Whether the node shows its children (a node without children counts as expanded).
  virtual bool IsExpanded() = 0;
  virtual int32_t GetChildCount() = 0;
};

// Finds a node of the same map by its identifier, as a host that indexes its nodes can: without
// it, a node reference kept as text walks the whole tree to find its node, and at 100,000 linked
// tasks those walks took minutes. Nodes may answer it; callers fall back to the walk.
struct INodeLookup : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("26A3DC49-0CC0-4815-B4D9-151EE09BA694");
  // Empty when no node of the map has that identifier.
  virtual ComPtr<INode> FindNodeByID(const std::string& AID) = 0;
};

// The map settings, a map-level attribute named "MapSettings".
struct IMapSettings : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("284D2818-1E2A-4CC7-B4DC-653FBC847073");
  virtual bool GetTaskScheduling() = 0;
  virtual void SetTaskScheduling(bool AOn) = 0;
  // The working scheduler over the map's calendar (IWorkingScheduler, IWorkingSchedule); empty
  // in a host without one.
  virtual ComPtr<IUnknown> GetScheduler() = 0;
};

// A plug-in property attached to a node or to the map. It is the root of the attribute tree it
// carries and answers that tree's interfaces.
struct IProperty : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("DF191973-198F-49A9-8B29-EC9711B96C10");
  // The manager class's description ("Action", "Action List").
  virtual std::string GetPropertyName() = 0;
  virtual std::string GetCaption() = 0;
  virtual std::string GetHint() = 0;
  virtual ComPtr<IPropertyManager> GetManager() = 0;
  virtual void SetManager(IPropertyManager* AManager) = 0;
  // The node or map the property is attached to; non-owning, set by the host on attaching.
  virtual ComPtr<IUnknown> GetHostObject() = 0;
  virtual void SetHostObject(IUnknown* AHostObject) = 0;
};

// Given to each manager by SetHost; the plug-in's way back into the host.
struct IPlugInInteractor : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("28088756-A1DA-425C-9EAB-B6B836C5F4A8");
  // The host application object (model, settings); may be empty in a host without one.
  virtual ComPtr<IUnknown> GetApplication() = 0;
  // Tells the host that a plug-in's settings changed so that it can repaint.
  virtual void SettingsChanged(IUnknown* ASettings) = 0;
};

// The host's property catalogue, handed to RegisterWith. SetClassID and the flags apply to the
// class added last.
struct IPropertyCatalogue : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("A60F2E7F-9B9B-43F8-84A9-1D9CD577E9CE");
  virtual void AddPropertyClass(const std::string& AClassDescription) = 0;
  virtual void SetClassID(const GUID& AClassID) = 0;
};

struct ICatalogueFlags : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("E6A383AE-7B0E-444E-9705-8FD1E45294A6");
  virtual uint32_t GetCatalogueFlags() = 0;
  virtual void SetCatalogueFlags(uint32_t AFlags) = 0;
};

// The host object given to Startup and Shutdown.
struct IHostRegistryPath : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("011D6FD2-5BC3-493C-BF38-0537AD933095");
  // The application's key under the current user, e.g. "Software\\Lumeta\\Lumeta".
  virtual std::string GetRegistryPath() = 0;
};

struct IPlugin : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("641C52BB-25B8-46BF-B53A-0D6D0B6CA70F");
};

struct IPropertyPlugin : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2872FEA2-935E-4BEF-B394-70485C5A5072");
  virtual ComPtr<IPlugInInteractor> GetHost() = 0;
  virtual std::string GetText() = 0;
  virtual std::string GetDescription() = 0;
  virtual bool RegisterWith(IUnknown* ACatalogue) = 0;
  virtual void SetHost(IPlugInInteractor* AHost) = 0;
  // A new property; the caller owns the reference.
  virtual ComPtr<IProperty> CreateProperty() = 0;
  virtual ComPtr<IUnknown> GetExtension() = 0;
  // The plug-in's UI controller, or empty.
  virtual ComPtr<IUnknown> CreatePlugInUI() = 0;
};

struct IPropertyManager : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2BCC121D-73E1-455C-9F4C-6F4A9B43D653");
  virtual ComPtr<IPlugInInteractor> GetHost() = 0;
  virtual std::string GetText() = 0;
  virtual std::string GetDescription() = 0;
  virtual bool RegisterWith(IUnknown* ACatalogue) = 0;
  virtual void SetHost(IPlugInInteractor* AHost) = 0;
  // CreateProperty, then hands the property this manager.
  virtual ComPtr<IProperty> NewProperty() = 0;
  // The host application object, asked of the interactor.
  virtual ComPtr<IUnknown> GetHostApplication() = 0;
};

struct IPropertyUIProvider : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("4EC4255B-1D62-4CCB-973C-E839DE8EFF9E");
  virtual void Startup(IUnknown* AHostObject) = 0;
  virtual void BeginSession(IUnknown* AHostObject) = 0;
  virtual void EndSession(IUnknown* AHostObject) = 0;
  virtual void Shutdown(IUnknown* AHostObject) = 0;
};

struct IMasterPropertyProvider : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("4B093104-C334-4975-BBAE-E41E83336E9A");
  virtual void MapCreated(IUnknown* AMap) = 0;
  virtual void MapLoaded(IUnknown* AMap) = 0;
  virtual void MapSaving(IUnknown* AMap) = 0;
  virtual void MapClosed(IUnknown* AMap) = 0;
};

// One user setting per index, counted from 1.
struct IPlugInSettings : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2DE4115A-9E4C-432D-B43D-8C2C2E6869BB");
  virtual int32_t GetCount() = 0;
  virtual std::string GetName(int32_t AIndex) = 0;
  virtual TVariant GetValue(int32_t AIndex) = 0;
  virtual void SetValue(int32_t AIndex, const TVariant& AValue) = 0;
};

// The plug-in library's exports.
extern "C" {
using TLumetaCreateClassFunc = HRESULT (*)(const GUID* AClassID, IUnknown** AObject);
using TGetAttributeFactoryFunc = HRESULT (*)(ILumetaAttributeFactory** AFactory);
}
