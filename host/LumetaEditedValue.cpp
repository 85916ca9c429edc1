#include "host/LumetaEditedValue.h"

#include <utility>

TLumetaEditedValue::TLumetaEditedValue(TEditedValueKind AKind) : FKind(AKind) {}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::Date(double ADate, bool AValidate, bool AAutoSchedule, bool AMoveTask) {
  ComPtr<TLumetaEditedValue> value = make<TLumetaEditedValue>(TEditedValueKind::Date);
  value->FNumber = ADate;
  value->FValidate = AValidate;
  value->FAutoSchedule = AAutoSchedule;
  value->FMoveTask = AMoveTask;
  return value;
}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::Numeric(TEditedValueKind AKind, double ANumber, int32_t AMeasure) {
  ComPtr<TLumetaEditedValue> value = make<TLumetaEditedValue>(AKind);
  value->FNumber = ANumber;
  value->FMeasure = AMeasure;
  return value;
}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::Number(double ANumber) {
  return Numeric(TEditedValueKind::Number, ANumber, 0);
}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::MeasuredNumber(double ANumber, int32_t AMeasure) {
  return Numeric(TEditedValueKind::MeasuredNumber, ANumber, AMeasure);
}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::Measure(int32_t AMeasure) {
  return Numeric(TEditedValueKind::Measure, 0, AMeasure);
}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::Text(std::string AText) {
  ComPtr<TLumetaEditedValue> value = make<TLumetaEditedValue>(TEditedValueKind::Text);
  value->FText = std::move(AText);
  return value;
}

ComPtr<TLumetaEditedValue> TLumetaEditedValue::Flag(bool AFlag) {
  ComPtr<TLumetaEditedValue> value = make<TLumetaEditedValue>(TEditedValueKind::Flag);
  value->FFlag = AFlag;
  return value;
}

double TLumetaEditedValue::GetDate() { return FNumber; }

bool TLumetaEditedValue::GetValidate() { return FValidate; }

bool TLumetaEditedValue::GetAutoSchedule() { return FAutoSchedule; }

bool TLumetaEditedValue::GetMoveTask() { return FMoveTask; }

double TLumetaEditedValue::GetNumber() { return FNumber; }

int32_t TLumetaEditedValue::GetMeasure() { return FMeasure; }

std::string TLumetaEditedValue::GetText() { return FText; }

bool TLumetaEditedValue::GetFlag() { return FFlag; }

bool TLumetaEditedValue::FindInterface(const GUID& AIid, void** AObject) noexcept {
  const auto refused = [&](TEditedValueKind AOwner, TEditedValueKind AOther) {
    return FKind != AOwner && FKind != AOther;
  };
  if (AIid == uuidof<IDateValue>() && FKind != TEditedValueKind::Date) return false;
  if (AIid == uuidof<INumberValue>() && refused(TEditedValueKind::Number, TEditedValueKind::MeasuredNumber))
    return false;
  if (AIid == uuidof<IMeasureValue>() && refused(TEditedValueKind::Measure, TEditedValueKind::MeasuredNumber))
    return false;
  if (AIid == uuidof<ITextValue>() && FKind != TEditedValueKind::Text) return false;
  if (AIid == uuidof<IFlagValue>() && FKind != TEditedValueKind::Flag) return false;
  return TImplements::FindInterface(AIid, AObject);
}
