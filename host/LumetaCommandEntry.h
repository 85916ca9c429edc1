#pragma once
// One command entry of the host (a menu item, an action column's cell) as a controller sees it.
#include <cstdint>

#include "com/AggregableObject.h"
#include "contract/PlugInUIIntf.h"

// Starts disabled and unchecked; the controller's update sets both.
class TLumetaCommandEntry : public TImplements<TAggregableObject, ICommandEntry> {
 public:
  explicit TLumetaCommandEntry(int32_t AID, bool ACheckable = false, bool AApplicable = true);

  int32_t GetID() override;
  bool GetEnabled() override;
  void SetEnabled(bool AEnabled) override;
  bool GetCheckable() override;
  bool GetChecked() override;
  void SetChecked(bool AChecked) override;
  bool GetApplicable() override;

 private:
  int32_t FID;
  bool FCheckable;
  bool FApplicable;
  bool FEnabled = false;
  bool FChecked = false;
};
