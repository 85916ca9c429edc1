#pragma once
// The pending changes of a subject: what changed (a kind defined by the subject's users), the
// object concerned and an optional data value.
#include <cstdint>

#include "com/InterfaceList.h"
#include "com/AggregableObject.h"
#include "contract/SubjectIntf.h"

class TChange : public TImplements<TAggregableObject, IChange> {
 public:
  explicit TChange(int32_t AKind = 0, IUnknown* AObject = nullptr, int32_t AData = 0);

  // A run of commands makes and drops one per change it posts: they come from the attribute
  // pools rather than one heap block each.
  static void* operator new(size_t ASize);
  static void operator delete(void* AObject, size_t ASize) noexcept;

  int32_t GetKind() override;
  ComPtr<IUnknown> GetObject() override;
  void SetKind(int32_t AKind) override;
  void SetObject(IUnknown* AObject) override;
  // The data value is not part of the change interface; only those who made the change know it.
  int32_t GetData() const noexcept { return FData; }

 private:
  int32_t FKind;
  int32_t FData;
  ComPtr<IUnknown> FObject;
};

// Changes in the order they were added.
class TChanges : public TImplements<TAggregableObject, IChanges> {
 public:
  using TImplements::TImplements;

  void Add(int32_t AKind, IUnknown* AObject) override;
  void Add(int32_t AKind, IUnknown* AObject, int32_t AData) override;
  void Clear() override;
  bool Contains(int32_t AKind) override;
  int32_t GetCount() override;
  // Raises EListError for an index outside the list.
  ComPtr<IChange> GetItem(int32_t AIndex) override;

 private:
  TInterfaceList<IChange> FItems;
};
