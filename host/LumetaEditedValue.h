#pragma once
// The new value of an edited field, as the host hands it to a controller with a command entry.
#include <cstdint>
#include <string>

#include "com/AggregableObject.h"
#include "contract/PlugInUIIntf.h"

enum class TEditedValueKind { Date, Number, MeasuredNumber, Measure, Text, Flag };

// Answers only the value interfaces of its kind (a date IDateValue, a number with a measure
// INumberValue and IMeasureValue, ...), so that a controller asking for another type learns that
// the edit was not of that type. Made through the named constructors below.
class TLumetaEditedValue
    : public TImplements<TAggregableObject, IDateValue, INumberValue, IMeasureValue, ITextValue, IFlagValue> {
 public:
  explicit TLumetaEditedValue(TEditedValueKind AKind);

  static ComPtr<TLumetaEditedValue> Date(double ADate, bool AValidate, bool AAutoSchedule, bool AMoveTask);
  static ComPtr<TLumetaEditedValue> Number(double ANumber);
  static ComPtr<TLumetaEditedValue> MeasuredNumber(double ANumber, int32_t AMeasure);
  static ComPtr<TLumetaEditedValue> Measure(int32_t AMeasure);
  static ComPtr<TLumetaEditedValue> Text(std::string AText);
  static ComPtr<TLumetaEditedValue> Flag(bool AFlag);

  double GetDate() override;
  bool GetValidate() override;
  bool GetAutoSchedule() override;
  bool GetMoveTask() override;
  double GetNumber() override;
  int32_t GetMeasure() override;
  std::string GetText() override;
  bool GetFlag() override;

  TEditedValueKind Kind() const noexcept { return FKind; }

 protected:
  bool FindInterface(const GUID& AIid, void** AObject) noexcept override;

 private:
  static ComPtr<TLumetaEditedValue> Numeric(TEditedValueKind AKind, double ANumber, int32_t AMeasure);

  TEditedValueKind FKind;
  double FNumber = 0;  // the date, or the number
  int32_t FMeasure = 0;
  bool FFlag = false;
  bool FValidate = true;
  bool FAutoSchedule = false;
  bool FMoveTask = false;
  std::string FText;
};
