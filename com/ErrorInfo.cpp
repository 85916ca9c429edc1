#include "com/ErrorInfo.h"

#include <cstdio>
#include <new>

namespace {
thread_local std::optional<TErrorInfo> GPendingError;

std::string CodeText(HRESULT ACode) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(ACode));
  return text;
}
}  // namespace

void SetErrorInfo(TErrorInfo AInfo) noexcept {
  try {
    GPendingError = std::move(AInfo);
  } catch (...) {
    GPendingError.reset();
  }
}

std::optional<TErrorInfo> GetErrorInfo() noexcept { return std::exchange(GPendingError, std::nullopt); }

void ClearErrorInfo() noexcept { GPendingError.reset(); }

HRESULT ResultFromCurrentException(const GUID& AIid, const char* ASource) noexcept {
  HRESULT code = E_FAIL;
  std::string message;
  try {
    throw;
  } catch (const ELumetaError& error) {
    code = error.Code();
    message = error.what();
  } catch (const std::bad_alloc&) {
    code = E_OUTOFMEMORY;
    message = "Out of memory";
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
    code = E_UNEXPECTED;
    message = "Unknown failure";
  }
  SetErrorInfo({AIid, ASource ? ASource : "", std::move(message)});
  return code;
}

void CheckResult(HRESULT AResult, const std::string& AContext) {
  if (Succeeded(AResult)) return;
  auto info = GetErrorInfo();
  std::string message = AContext;
  if (!message.empty()) message += ": ";
  message += info && !info->Description.empty() ? info->Description : "failed with " + CodeText(AResult);
  throw ELumetaError(message, AResult);
}
