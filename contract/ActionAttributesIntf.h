#pragma once
// The action record that a node's Action property carries, and the map-level list of extra
// priority texts. Operations in slot order.
#include <cstdint>
#include <string>

#include "contract/ActionVocabulary.h"
#include "contract/LumetaAttributesIntf.h"
#include "contract/LumetaTypes.h"

// One node's action (task) data. Complete and Status keep each other in step; the getters of a
// summary task's rolled-up fields answer rolled-up values while the map schedules tasks.
struct IActionAttribute : virtual IRecordAttribute {
  static constexpr GUID Iid = MakeGuid("074D862C-AF34-4667-B7E0-236364D0B849");
  virtual int32_t GetComplete() = 0;
  virtual double GetCompletedDate() = 0;
  virtual double GetConstraintDate() = 0;
  // Text naming no constraint type reads as tcAsLateAsPossible.
  virtual TTaskConstraintType GetConstraintType() = 0;
  virtual double GetCost() = 0;
  virtual double GetDueDate() = 0;
  virtual double GetDuration() = 0;
  virtual double GetDurationInDays() = 0;
  virtual double GetDurationInHours() = 0;
  // Rounded, halves to the even neighbour.
  virtual int32_t GetDurationInMinutes() = 0;
  virtual int32_t GetDurationMeasure() = 0;
  virtual bool GetIsAction() = 0;
  virtual bool GetPostedToOutlook() = 0;
  virtual std::string GetPriority() = 0;
  virtual double GetQuantity() = 0;
  virtual double GetStartDate() = 0;
  virtual std::string GetStatus() = 0;
  virtual double GetWork() = 0;
  virtual int32_t GetWorkMeasure() = 0;
  virtual bool GetIsMilestone() = 0;
  virtual bool GetIsSummary() = 0;
  // True when nothing the user enters is set; the measures, Posted To Outlook, Is Summary and the
  // constraint do not count.
  virtual bool IsEmpty() = 0;
  // 100 sets Status "Completed", 1..99 "In Progress", 0 "Not Started"; other values leave it.
  virtual void SetComplete(int32_t AValue) = 0;
  virtual void SetCompletedDate(double AValue) = 0;
  virtual void SetConstraintDate(double AValue) = 0;
  virtual void SetConstraintType(TTaskConstraintType AValue) = 0;
  virtual void SetCost(double AValue) = 0;
  virtual void SetDueDate(double AValue) = 0;
  // Also sets an empty Status to "Not Started", as SetPriority and SetWork do.
  virtual void SetDuration(double AValue) = 0;
  virtual void SetDurationMeasure(int32_t AValue) = 0;
  virtual void SetIsAction(bool AValue) = 0;
  virtual void SetPostedToOutlook(bool AValue) = 0;
  virtual void SetPriority(const std::string& AValue) = 0;
  virtual void SetQuantity(double AValue) = 0;
  virtual void SetStartDate(double AValue) = 0;
  // "Not Started" sets Complete to 0, "Completed" to 100; other texts leave it.
  virtual void SetStatus(const std::string& AValue) = 0;
  virtual void SetWork(double AValue) = 0;
  virtual void SetWorkMeasure(int32_t AValue) = 0;
  virtual void SetIsMilestone(bool AValue) = 0;
};

// One entry of the map's own priority texts: a record with the one string child "Map Status".
struct IMapActionAttribute : virtual IRecordAttribute {
  static constexpr GUID Iid = MakeGuid("526E7ECF-6B87-46E8-9243-27FD536A82D6");
  virtual std::string GetMapStatus() = 0;
  virtual void SetMapStatus(const std::string& AValue) = 0;
};

// The map's list of IMapActionAttribute items.
struct IMapActionListAttribute : virtual IListAttribute {
  static constexpr GUID Iid = MakeGuid("40E2BFE4-9677-4C68-925F-590777AF434D");
  // Appends an item holding the text and answers it; empty for empty text or a text the list
  // holds already.
  virtual ComPtr<IMapActionAttribute> AddText(const std::string& AText) = 0;
};
