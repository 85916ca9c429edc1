#pragma once
// Result codes of item stores that clients tell apart from other failures.
#include "com/HResult.h"

// The stored item was changed by somebody else since it was read, and again while the change
// was being merged: the client leaves it as it is and goes on with the others.
inline constexpr HRESULT MAPI_E_OBJECT_CHANGED = static_cast<HRESULT>(0x80040109u);
