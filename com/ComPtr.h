#pragma once
// Owning smart pointer for counted interfaces. A constructor from a raw pointer adds a reference;
// attach() takes over one without adding.
#include <cstddef>
#include <type_traits>
#include <utility>

#include "com/ComErrors.h"
#include "com/Unknown.h"

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ComPtr(T* APointer) noexcept : FPtr(APointer) { AddRefIf(); }
  ComPtr(const ComPtr& AOther) noexcept : FPtr(AOther.FPtr) { AddRefIf(); }
  ComPtr(ComPtr&& AOther) noexcept : FPtr(std::exchange(AOther.FPtr, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(const ComPtr<U>& AOther) noexcept : FPtr(AOther.get()) {
    AddRefIf();
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  ComPtr(ComPtr<U>&& AOther) noexcept : FPtr(AOther.detach()) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(ComPtr AOther) noexcept {
    std::swap(FPtr, AOther.FPtr);
    return *this;
  }

  T* get() const noexcept { return FPtr; }
  T* operator->() const noexcept { return FPtr; }
  T& operator*() const noexcept { return *FPtr; }
  explicit operator bool() const noexcept { return FPtr != nullptr; }

  void reset() noexcept {
    if (T* old = std::exchange(FPtr, nullptr)) old->Release();
  }
  // Takes over a reference the caller already owns.
  void attach(T* APointer) noexcept {
    reset();
    FPtr = APointer;
  }
  // Gives up ownership without releasing.
  [[nodiscard]] T* detach() noexcept { return std::exchange(FPtr, nullptr); }
  // Releases the current object and returns the slot for an out parameter.
  T** put() noexcept {
    reset();
    return &FPtr;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // The object's interface U, or an ENoInterface error naming the interface.
  template <class U>
  ComPtr<U> as() const {
    ComPtr<U> result = try_as<U>();
    if (!result) throw ENoInterface("Interface not supported: " + GuidToString(uuidof<U>()));
    return result;
  }
  // The object's interface U, or empty.
  template <class U>
  ComPtr<U> try_as() const noexcept {
    ComPtr<U> result;
    if (FPtr) FPtr->QueryInterface(uuidof<U>(), result.put_void());
    return result;
  }

  friend bool operator==(const ComPtr& ALeft, const ComPtr& ARight) noexcept { return ALeft.FPtr == ARight.FPtr; }
  friend bool operator==(const ComPtr& ALeft, std::nullptr_t) noexcept { return ALeft.FPtr == nullptr; }

 private:
  void AddRefIf() noexcept {
    if (FPtr) FPtr->AddRef();
  }
  T* FPtr = nullptr;
};

// Wraps a reference the caller owns already.
template <class T>
ComPtr<T> AttachPtr(T* APointer) noexcept {
  ComPtr<T> result;
  result.attach(APointer);
  return result;
}

// The interface I of any counted object, or empty.
template <class I>
ComPtr<I> QueryAs(IUnknown* AObject) noexcept {
  ComPtr<I> result;
  if (AObject) AObject->QueryInterface(uuidof<I>(), result.put_void());
  return result;
}

// COM identity: two pointers name the same object when their IUnknown answers are equal.
bool SameObject(IUnknown* ALeft, IUnknown* ARight) noexcept;
