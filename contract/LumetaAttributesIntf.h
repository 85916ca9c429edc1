#pragma once
// The attribute tree's interfaces, spoken by the host and the plug-in alike, operations in slot
// order. Values are read through EnsureLoaded (lazy loading from the document) and every SetValue
// marks the attribute modified.
#include <cstdint>
#include <string>

#include "com/ComPtr.h"
#include "com/StreamIntf.h"
#include "com/Variant.h"

struct INode;
struct IProperty;
struct IAttribute;

// State flags of an attribute.
enum : uint32_t {
  afLoaded = 1,
  afState2 = 2,
  afModified = 4,
  afCleared = 8,
  afMixed = 16,
  afMergedView = 32,
};

// Fills an attribute's value from the open document, once, before its first read.
struct IDocSource : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("15525407-1240-42D6-9092-BF43FA9E9E45");
  virtual void LoadAttribute(IAttribute* AAttribute) = 0;
};

struct IAttribute : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("4F081145-449C-481F-96E0-8C0759264A40");
  virtual void Apply(IAttribute* ASource) = 0;
  virtual std::string AsHtml(int32_t AOptions) = 0;
  virtual ComPtr<IUnknown> GetExtension() = 0;
  virtual std::string AsPlainText(int32_t AOptions) = 0;
  virtual std::string GetHint() = 0;
  virtual void Assign(IAttribute* ASource) = 0;
  virtual bool EqualTo(IAttribute* AOther) = 0;
  virtual std::string DebugText() = 0;
  virtual TVariant GetAsValue() = 0;
  virtual std::string GetCaption() = 0;
  virtual ComPtr<IUnknown> GetHostObject() = 0;
  virtual bool IsMergedView() = 0;
  virtual ComPtr<IDocSource> GetDocSource() = 0;
  virtual int32_t GetIndex() = 0;
  virtual bool IsMixed() = 0;
  virtual bool IsModified() = 0;
  virtual std::string GetName() = 0;
  virtual ComPtr<IProperty> GetProperty() = 0;
  virtual ComPtr<IAttribute> GetOwner() = 0;
  virtual std::string GetFullName() = 0;
  virtual bool HasState2() = 0;
  virtual bool HasFlag(uint32_t AMask) = 0;
  virtual bool IsCleared() = 0;
  virtual bool IsLoaded() = 0;
  virtual void Merge(IAttribute* AOther) = 0;
  // Binary load; answers the bytes read.
  virtual uint32_t LoadFromStream(IStream* AStream) = 0;
  virtual void BeforeSave() = 0;
  virtual void SetMergedView(bool AOn, bool ARecursive) = 0;
  virtual void SetMixed(bool AOn) = 0;
  virtual void SetModified(bool AOn) = 0;
  // Non-owning: the owner holds this attribute, not the other way round.
  virtual void SetOwner(IAttribute* AOwner) = 0;
  virtual void SetState2(bool AOn, bool ARecursive) = 0;
  virtual void SetFlag(uint32_t AMask, bool AOn) = 0;
  virtual void SetFlagEx(uint32_t AMask, bool AOn, bool ARecursive) = 0;
  virtual void SetCleared(bool AOn) = 0;
  virtual void SetLoaded(bool AOn) = 0;
  // Binary save; answers the bytes written.
  virtual uint32_t SaveToStream(IStream* AStream) = 0;
  // Never raises: bad text gives the type's default.
  virtual void LoadFromString(const std::string& AText) = 0;
  virtual std::string SaveToString() = 0;
  virtual void EnsureLoaded() = 0;
  // Raises EConvertError "Cannot assign <source class> to <this class>".
  [[noreturn]] virtual void AssignError(IAttribute* ASource) = 0;
  virtual void AssignTo(IAttribute* ATarget) = 0;
  virtual uint32_t GetFlags() = 0;
  virtual void SetFlags(uint32_t AFlags) = 0;
};

struct IStructuredAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("9DDD7B17-72B4-49E5-B6FF-52DAFB2FC172");
  virtual void AddChild(IAttribute* AChild) = 0;
  virtual void Clear() = 0;
  virtual void Delete(int32_t AIndex) = 0;
  virtual int32_t GetChildCount() = 0;
  // Empty when AIndex is not below the count; a negative index raises EListError.
  virtual ComPtr<IAttribute> GetChild(int32_t AIndex) = 0;
  virtual ComPtr<IAttribute> FindChild(const std::string& AName) = 0;
  virtual int32_t IndexOf(IAttribute* AChild) = 0;
  virtual void InsertChild(int32_t AIndex, IAttribute* AChild) = 0;
};

struct IRecordAttribute : virtual IStructuredAttribute {
  static constexpr GUID Iid = MakeGuid("89AC9D27-4A68-47E0-BAE0-E9AEB25F9035");
  // Appends a new child made by the attribute factory for the interface.
  virtual ComPtr<IAttribute> AddChildOfType(const GUID& AIid) = 0;
  virtual std::string GetChildCaption(int32_t AIndex) = 0;
  virtual std::string GetChildName(int32_t AIndex) = 0;
};

struct IListAttribute : virtual IStructuredAttribute {
  static constexpr GUID Iid = MakeGuid("CEE31D03-82ED-4491-AB19-C7274B168564");
  // Appends a new item of the item type, made by the attribute factory; marks the list modified.
  virtual ComPtr<IAttribute> Add() = 0;
  virtual bool Contains(IAttribute* AItem) = 0;
  virtual GUID GetItemType() = 0;
  virtual void Resize(int32_t ADelta) = 0;
  virtual void SetCount(int32_t ACount) = 0;
  // Index of the first item EqualTo AItem, or -1.
  virtual int32_t IndexOfValue(IAttribute* AItem) = 0;
  // Empties the list first when the type changes.
  virtual void SetItemType(const GUID& AIid) = 0;
};

struct IIntegerAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("520C12AD-E5F2-45B5-A411-5F85947472A7");
  virtual int32_t GetValue() = 0;
  virtual void SetValue(int32_t AValue) = 0;
};

struct IDoubleAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("001341CF-E2ED-4C65-B3E3-4ABE4CFF8B72");
  virtual double GetValue() = 0;
  virtual void SetValue(double AValue) = 0;
};

// Days since 30 December 1899, the fraction the time of day; 0 is "not set".
struct IDateTimeAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("3C74E94E-65CF-4BFE-9F0E-26244F664AB1");
  virtual double GetValue() = 0;
  virtual void SetValue(double AValue) = 0;
};

struct IStringAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("4CE7CFBE-2D7E-4B71-9096-46EEEF500875");
  virtual std::string GetValue() = 0;
  virtual void SetValue(const std::string& AValue) = 0;
};

// A 16-bit boolean: stored as 0 and -1.
struct IWordBoolAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("0BA851CA-2576-4130-B128-0009AC02181C");
  virtual bool GetValue() = 0;
  virtual void SetValue(bool AValue) = 0;
};

// Refers to a node of the map. Loaded from text, the reference is resolved on first read by
// walking the map for the node with that identifier.
struct INodeReferenceAttribute : virtual IAttribute {
  static constexpr GUID Iid = MakeGuid("9C0659B9-4A79-4C11-A524-476D071089DE");
  virtual ComPtr<INode> GetValue() = 0;
  virtual void SetValue(INode* ANode) = 0;
  // The stored identifier text: the node's ID once resolved, else the text loaded.
  virtual std::string GetReferenceText() = 0;
};

// Pre-order walk of the nodes under a root.
struct ITreeIterator : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("54B76BBD-A9B9-4A1F-A168-D67E163CD123");
  virtual void Reset() = 0;
  virtual void Next() = 0;
  virtual bool IsDone() = 0;
  virtual ComPtr<INode> GetCurrent() = 0;
  // How many nodes Next has moved over since the last Reset.
  virtual int32_t GetPosition() = 0;
};

// The host's attribute factory: new attributes by interface GUID. Plug-ins add their own classes.
struct ILumetaAttributeFactory : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("193B7DB7-EACE-4584-A6B9-5E8E3FF037F2");
  using TCreateFunc = ComPtr<IAttribute> (*)();
  // Raises EClassNotFound naming the GUID when no class is registered for it.
  virtual ComPtr<IAttribute> CreateAttribute(const GUID& AIid) = 0;
  // Adds or replaces the class made for an interface GUID.
  virtual void RegisterClass(const GUID& AIid, TCreateFunc ACreate) = 0;
  virtual bool IsRegistered(const GUID& AIid) = 0;
};
