#pragma once
// A record of two children, "Count" (integer) and "Label" (string), for tests that need a small
// structured value of their own.
#include "attributes/LumetaAttributes.h"

class TPairRecord : public TRecordAttribute {
 public:
  static constexpr const char* Names[] = {"Count", "Label"};
  explicit TPairRecord(IUnknown* AController = nullptr) : TRecordAttribute(Names, AController) {
    AddChild(make<TIntegerAttribute>().get());
    AddChild(make<TStringAttribute>().get());
  }
};
inline const GUID PairRecordIid = MakeGuid("6E4C1D0A-0000-4000-8000-000000000001");
