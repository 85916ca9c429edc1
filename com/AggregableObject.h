#pragma once
// The counted object base of every class here, the interface-table template and the one creation
// function.
#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "com/ComPtr.h"
#include "com/Unknown.h"

// A counted object with an optional controller. With a controller (an outer object holding this
// one as an inner part), QueryInterface, AddRef and Release go to the controller and the outer
// object frees this one when it dies; without, the object counts itself and is freed when the
// count falls below 1. The count is 1 while the constructor runs.
class TAggregableObject : public virtual IUnknown {
 public:
  // Inline, so that objects made by the million need no call into this library to start or end.
  explicit TAggregableObject(IUnknown* AController = nullptr) noexcept
      : FWord(AController ? reinterpret_cast<uintptr_t>(AController) : CountWord(1)) {}
  TAggregableObject(const TAggregableObject&) = delete;
  TAggregableObject& operator=(const TAggregableObject&) = delete;
  virtual ~TAggregableObject() = default;

  HRESULT QueryInterface(const GUID& AIid, void** AObject) noexcept override;
  uint32_t AddRef() noexcept override;
  uint32_t Release() noexcept override;

  // Answers from this object's own table, never forwarding; an outer object asks its inner parts so.
  HRESULT InnerQueryInterface(const GUID& AIid, void** AObject) noexcept;
  IUnknown* GetController() const noexcept {
    const uintptr_t word = FWord.load(std::memory_order_relaxed);
    return word & CountBit ? nullptr : reinterpret_cast<IUnknown*>(word);
  }
  // True when this object implements the interface itself (not through a controller).
  bool ImplementsInterface(const GUID& AIid) noexcept;

 protected:
  // Stores the interface AIid of this object in AObject (without counting) when it has it.
  virtual bool FindInterface(const GUID& AIid, void** AObject) noexcept;
  // Asked after FindInterface fails: lets an outer object answer for its inner parts (counted).
  virtual HRESULT QueryAggregated(const GUID& AIid, void** AObject) noexcept;

 private:
  template <class T, class... Args>
  friend ComPtr<T> make(Args&&... AArgs);
  // One word holds the controller of an aggregated object, whose own count is never used, or
  // else the count shifted left with the low bit set (a controller is pointer-aligned). Objects
  // are made by the million, and the two never both mattered.
  static constexpr uintptr_t CountBit = 1;
  static constexpr uintptr_t CountStep = 2;
  static constexpr uintptr_t CountWord(intptr_t ACount) noexcept { return static_cast<uintptr_t>(ACount) * CountStep | CountBit; }
  std::atomic<uintptr_t> FWord;
};

// Adds the interfaces I... to the table of Base (TAggregableObject or a class built on it). Each
// interface is listed once, in the class that first implements it; parent interfaces come through
// the listed interface's own entry or an earlier class.
template <class Base, class... I>
class TImplements : public Base, public virtual I... {
  static_assert(std::is_base_of_v<TAggregableObject, Base>, "TImplements builds on TAggregableObject or a class derived from it");
  static_assert((std::is_base_of_v<IUnknown, I> && ...), "every listed interface must derive from IUnknown");

 public:
  using Base::Base;
  using Base::QueryInterface;
  using Base::AddRef;
  using Base::Release;

 protected:
  bool FindInterface(const GUID& AIid, void** AObject) noexcept override {
    return ((AIid == uuidof<I>() ? (*AObject = static_cast<I*>(this), true) : false) || ...) ||
           Base::FindInterface(AIid, AObject);
  }
};

// Creates a counted object holding one reference for the caller.
template <class T, class... Args>
ComPtr<T> make(Args&&... AArgs) {
  static_assert(std::is_base_of_v<TAggregableObject, T>, "make<T>() creates counted objects built on TAggregableObject");
  return AttachPtr(new T(std::forward<Args>(AArgs)...));
}
