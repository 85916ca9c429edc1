#pragma once
// The pending changes of a subject: what changed (a kind defined by the subject's users), the
// object concerned and an optional data value.
#include <atomic>
#include <cstdint>
#include <vector>

#include "com/InterfaceList.h"
#include "com/AggregableObject.h"
#include "contract/SubjectIntf.h"

class TChange : public TImplements<TAggregableObject, IChange> {
 public:
  explicit TChange(int32_t AKind = 0, IUnknown* AObject = nullptr, int32_t AData = 0);
  ~TChange() override;
  TChange(const TChange&) = delete;
  TChange& operator=(const TChange&) = delete;

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

  // For the list that made it: takes new contents, or lets go of the object concerned. A
  // borrowed object is not counted: the list's owner answers for it living until Keep or Drop.
  void Reuse(int32_t AKind, IUnknown* AObject, int32_t AData, bool ABorrowed = false);
  void Drop() noexcept;
  // Counts the object from now on, for a change that outlives the borrow.
  void Keep() noexcept;
  // Whether the list's reference is the only one, so that nobody sees the change reused.
  bool Unshared() const noexcept { return FCount.load(std::memory_order_acquire) == 1; }

  // Counted here rather than in the base, whose count cannot be read: the list asks after every
  // round whether it may reuse the change.
  uint32_t AddRef() noexcept override { return static_cast<uint32_t>(++FCount); }
  uint32_t Release() noexcept override {
    const int32_t count = --FCount;
    if (count == 0) delete this;
    return static_cast<uint32_t>(count);
  }

 private:
  int32_t FKind;
  int32_t FData;
  IUnknown* FObject;
  bool FCounted = true;  // whether FObject holds a reference
  std::atomic<int32_t> FCount{1};  // as the base's while its constructor runs
};

// Changes in the order they were added. A run posts several changes per task and the subject
// clears them after each round: cleared changes nobody else holds are kept and filled again.
class TChanges : public TImplements<TAggregableObject, IChanges> {
 public:
  using TImplements::TImplements;
  ~TChanges() override;
  TChanges(const TChanges&) = delete;
  TChanges& operator=(const TChanges&) = delete;

  void Add(int32_t AKind, IUnknown* AObject) override;
  void Add(int32_t AKind, IUnknown* AObject, int32_t AData) override;
  // As Add, without counting the object: the caller holds it and clears the list before letting
  // go of it. A change someone still holds then takes its own reference.
  void AddBorrowed(int32_t AKind, IUnknown* AObject, int32_t AData);
  void Clear() override;
  bool Contains(int32_t AKind) override;
  int32_t GetCount() override;
  // Raises EListError for an index outside the list.
  ComPtr<IChange> GetItem(int32_t AIndex) override;

 private:
  void Put(int32_t AKind, IUnknown* AObject, int32_t AData, bool ABorrowed);

  std::vector<ComPtr<TChange>> FItems;  // the first FCount are the list; the rest wait for reuse
  size_t FCount = 0;
};
