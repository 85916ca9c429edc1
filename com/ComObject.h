#pragma once
// The base of the counted objects that the host and the plug-in hand to each other: a failure
// raised inside one of them reaches the caller as error information, not as a crash.
#include "com/AggregableObject.h"
#include "com/ErrorInfo.h"

class TComObject : public TImplements<TAggregableObject, ISupportErrorInfo> {
 public:
  using TImplements::TImplements;

  // S_OK for every interface this object implements itself, S_FALSE for any other (including
  // interfaces answered by aggregated parts).
  HRESULT InterfaceSupportsErrorInfo(const GUID& AIid) noexcept override;

 protected:
  // Set-up that needs the finished object. A virtual call from a base constructor would not reach
  // the derived class, so each concrete class runs it from its own constructor.
  virtual void Initialize() {}
};
