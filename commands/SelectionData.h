#pragma once
// The plug-in's selection and property-list object: commands hand their selections and property
// lists around as TData, and observers hear of each change to it once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "com/InterfaceList.h"
#include "com/AggregableObject.h"
#include "contract/LumetaSelectionIntf.h"
#include "commands/Subject.h"

enum TSelectionState : uint8_t {
  ssPropertyCount,  // the list of property names is built
};

// Answers ISubject through an aggregated TSubject. Every mutating operation notifies observers
// exactly once, also when it fails half-way (the operation's error wins over an observer's).
class TData : public TImplements<TAggregableObject, IObserver, ISelection, IProperties> {
 public:
  // AOwner is not counted: it must outlive this object (a model's property registry, a map).
  explicit TData(IUnknown* AOwner = nullptr);
  ~TData() override;

  // IObserver: a watched object changed, so its properties may have; observers of this object
  // are told in turn.
  void Update(IUnknown* ASubject) override;

  // ISelection
  int32_t GetCount() override;
  ComPtr<IUnknown> GetItem(int32_t AIndex) override;
  int32_t Add(IUnknown* AObject) override;
  void Insert(int32_t AIndex, IUnknown* AObject) override;
  void Delete(int32_t AIndex) override;
  int32_t Remove(IUnknown* AObject) override;
  void Clear() override;
  int32_t IndexOf(IUnknown* AObject) override;
  bool Contains(IUnknown* AObject) override;

  // IProperties
  int32_t GetPropertyCount() override;
  ComPtr<IProperty> GetProperty(int32_t AIndex) override;
  int32_t AddProperty(IProperty* AProperty) override;
  void DeleteProperty(int32_t AIndex) override;
  int32_t RemoveProperty(IProperty* AProperty) override;
  void ClearProperties() override;
  int32_t IndexOfProperty(IProperty* AProperty) override;
  ComPtr<IProperty> FindProperty(const std::string& AName) override;
  // Built on first call from the selected nodes' properties; rebuilt after the selection changes.
  std::vector<std::string> GetPropertyNames() override;
  ComPtr<IUnknown> GetOwner() override;

  ISubject* Subject() const noexcept { return FSubject.get(); }
  bool HasState(TSelectionState AState) const noexcept { return FState & (1u << AState); }

 protected:
  HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept override;

 private:
  class TUpdateGuard;

  void SelectionChanged() noexcept;
  void EnsurePropertyNames();
  void AddPropertyName(const std::string& AName);

  TInterfaceList<IUnknown> FSelection;
  TInterfaceList<IProperty> FProperties;
  std::vector<std::string> FPropertyNames;  // sorted, unique
  IUnknown* FOwner;
  uint8_t FState = 0;
  std::unique_ptr<TSubject> FSubject;  // aggregated: its controller is this object
};
