#pragma once
// An ordered list of counted interface references; index errors raise EListError.
#include <algorithm>
#include <vector>

#include "com/ComPtr.h"

template <class T = IUnknown>
class TInterfaceList {
 public:
  int Add(ComPtr<T> AItem) {
    FItems.push_back(std::move(AItem));
    return Count() - 1;
  }
  void Insert(int AIndex, ComPtr<T> AItem) {
    if (AIndex < 0 || AIndex > Count()) throw EListError::OutOfBounds(AIndex);
    FItems.insert(FItems.begin() + AIndex, std::move(AItem));
  }
  void Delete(int AIndex) {
    Check(AIndex);
    FItems.erase(FItems.begin() + AIndex);
  }
  void Exchange(int AIndex1, int AIndex2) {
    Check(AIndex1);
    Check(AIndex2);
    std::swap(FItems[AIndex1], FItems[AIndex2]);
  }
  // Index of the entry that is the same object as AItem (by IUnknown identity), or -1.
  int IndexOf(IUnknown* AItem) const noexcept {
    for (int i = 0; i < Count(); ++i)
      if (SameObject(FItems[i].get(), AItem)) return i;
    return -1;
  }
  // Removes the entry that is AItem; answers its former index or -1.
  int Remove(IUnknown* AItem) {
    const int index = IndexOf(AItem);
    if (index >= 0) Delete(index);
    return index;
  }
  void Clear() noexcept { FItems.clear(); }
  const ComPtr<T>& Items(int AIndex) const {
    Check(AIndex);
    return FItems[AIndex];
  }
  void SetItem(int AIndex, ComPtr<T> AItem) {
    Check(AIndex);
    FItems[AIndex] = std::move(AItem);
  }
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  bool Empty() const noexcept { return FItems.empty(); }
  const ComPtr<T>& First() const { return Items(0); }
  const ComPtr<T>& Last() const { return Items(Count() - 1); }
  auto begin() const noexcept { return FItems.begin(); }
  auto end() const noexcept { return FItems.end(); }

 private:
  void Check(int AIndex) const {
    if (AIndex < 0 || AIndex >= Count()) throw EListError::OutOfBounds(AIndex);
  }
  std::vector<ComPtr<T>> FItems;
};
