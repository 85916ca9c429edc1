#pragma once
// Error information of the current thread: what an exported function failed with, kept until the
// caller takes it. It lives in the shared COM library so that host and plug-ins see one store.
#include <optional>
#include <type_traits>
#include <string>
#include <utility>

#include "com/ComErrors.h"
#include "com/Unknown.h"

struct TErrorInfo {
  GUID Iid{};
  std::string Source;
  std::string Description;
};

void SetErrorInfo(TErrorInfo AInfo) noexcept;
// Takes the pending error information of this thread; empty when there is none.
std::optional<TErrorInfo> GetErrorInfo() noexcept;
void ClearErrorInfo() noexcept;

// Turns the exception being handled into its result code and this thread's error information.
// Call only inside a catch block.
HRESULT ResultFromCurrentException(const GUID& AIid = GUID_NULL, const char* ASource = "") noexcept;

// Runs AFunc at a C boundary: S_OK (or what AFunc returns) on success, the exception's code and
// error information on failure. Nothing escapes.
template <class F>
HRESULT CallGuarded(F&& AFunc, const GUID& AIid = GUID_NULL, const char* ASource = "") noexcept {
  try {
    ClearErrorInfo();
    if constexpr (std::is_same_v<decltype(AFunc()), HRESULT>) {
      return AFunc();
    } else {
      AFunc();
      return S_OK;
    }
  } catch (...) {
    return ResultFromCurrentException(AIid, ASource);
  }
}

// The caller's side of a C boundary: a failed result becomes an ELumetaError carrying the pending
// error information's text, or AContext and the code when there is none.
void CheckResult(HRESULT AResult, const std::string& AContext);

// The standard interface through which an object says its failures carry error information.
struct ISupportErrorInfo : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("DF0B3D60-548F-101B-8E65-08002B2BD119");
  // S_OK for interfaces whose failures set error information, S_FALSE for others.
  virtual HRESULT InterfaceSupportsErrorInfo(const GUID& AIid) noexcept = 0;
};
