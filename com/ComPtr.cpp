#include "com/ComPtr.h"

bool SameObject(IUnknown* ALeft, IUnknown* ARight) noexcept {
  if (ALeft == ARight) return true;
  if (!ALeft || !ARight) return false;
  ComPtr<IUnknown> left = QueryAs<IUnknown>(ALeft);
  ComPtr<IUnknown> right = QueryAs<IUnknown>(ARight);
  return left.get() == right.get();
}
