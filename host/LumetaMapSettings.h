#pragma once
// The map's own settings, kept as the map-level attribute "MapSettings" on the root node: the
// task-scheduling switch that turns on roll-up, scheduling rules and rescheduling.
#include "attributes/LumetaAttributes.h"
#include "plugin/LumetaIntf.h"

class TLumetaMapSettings : public TImplements<TRecordAttribute, IMapSettings> {
 public:
  TLumetaMapSettings();

  bool GetTaskScheduling() override;
  void SetTaskScheduling(bool AOn) override;
  std::string ClassName() const override { return "TLumetaMapSettings"; }

 private:
  ComPtr<IWordBoolAttribute> FTaskScheduling;
};
