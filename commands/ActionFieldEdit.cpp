#include "commands/ActionFieldEdit.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "com/NumberText.h"
#include "com/ComErrors.h"
#include "com/OleDate.h"
#include "commands/SelectionData.h"

namespace {


bool SameText(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    const auto lower = [](char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; };
    if (lower(A[i]) != lower(B[i])) return false;
  }
  return true;
}

const char* Expectation(TActionFieldKind AKind) {
  switch (AKind) {
    case TActionFieldKind::Percent:
      return "a whole number from 0 to 100";
    case TActionFieldKind::Amount:
      return "a number not below 0, with '.' as the decimal separator";
    case TActionFieldKind::Number:
      return "a number, with '.' as the decimal separator";
    case TActionFieldKind::Date:
      return "a date as YYYY-MM-DD or YYYY-MM-DDThh:mm:ss, or empty or 0 for none";
    case TActionFieldKind::Flag:
      return "true or false";
    case TActionFieldKind::Measure:
      return "0, 1, Hours or Days (the map file keeps no minutes)";
    case TActionFieldKind::Text:
      return "any text";
    case TActionFieldKind::Constraint:
      return "a constraint type such as Must Start On or tcMustStartOn";
  }
  return "";
}

[[noreturn]] void Invalid(TActionField AField, std::string_view AText) {
  throw EConvertError("invalid value '" + std::string(AText) + "' for " + KActionFieldNames[AField] + ": expected " +
                      Expectation(ActionFieldKind(AField)));
}


template <class T>
const T& ValueOf(TActionField AField, const TActionFieldValue& AValue) {
  if (const T* value = std::get_if<T>(&AValue)) return *value;
  throw EConvertError(std::string("The value given is of the wrong kind for ") + KActionFieldNames[AField]);
}

}  // namespace

std::optional<TActionField> FindActionField(std::string_view AName) {
  for (int32_t i = 0; i < KActionFieldCount; ++i)
    if (SameText(AName, KActionFieldNames[i])) return static_cast<TActionField>(i);
  return std::nullopt;
}

TActionFieldKind ActionFieldKind(TActionField AField) {
  switch (AField) {
    case acComplete:
      return TActionFieldKind::Percent;
    case acCompletedDate:
    case acDueDate:
    case acStartDate:
    case acConstraintDate:
      return TActionFieldKind::Date;
    case acDuration:
    case acWork:
      return TActionFieldKind::Amount;
    case acCost:
    case acQuantity:
      return TActionFieldKind::Number;
    case acDurationMeasure:
    case acWorkMeasure:
      return TActionFieldKind::Measure;
    case acIsAction:
    case acPostedToOutlook:
    case acIsMilestone:
    case acIsSummary:
      return TActionFieldKind::Flag;
    case acPriority:
    case acStatus:
      return TActionFieldKind::Text;
    case acConstraintType:
      return TActionFieldKind::Constraint;
  }
  return TActionFieldKind::Text;
}

std::string ActionFieldNameList() {
  std::string list;
  for (const char* name : KActionFieldNames) list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

TActionFieldValue ParseActionFieldValue(TActionField AField, std::string_view AText) {
  switch (ActionFieldKind(AField)) {
    case TActionFieldKind::Percent: {
      const std::optional<int32_t> value = ParseInteger<int32_t>(AText);
      if (!value || *value < 0 || *value > 100) Invalid(AField, AText);
      return *value;
    }
    case TActionFieldKind::Amount:
    case TActionFieldKind::Number: {
      const std::optional<double> value = ParseFloat(AText);
      if (!value || (ActionFieldKind(AField) == TActionFieldKind::Amount && *value < 0)) Invalid(AField, AText);
      return *value + 0.0;  // no negative zero in the file
    }
    case TActionFieldKind::Date: {
      if (AText.empty() || AText == "0") return 0.0;
      // The reader also skips blanks and accepts a zone; neither belongs in a typed value.
      if (AText.front() == ' ' || AText.back() == ' ') Invalid(AField, AText);
      const std::optional<double> value = XmlTextToDateTime(AText);
      if (!value) Invalid(AField, AText);
      const std::string prefix = "invalid value '" + std::string(AText) + "' for " + KActionFieldNames[AField] + ": ";
      // The map keeps local wall-clock times; a zone would be dropped without a word.
      if (AText.size() > 10 && AText.find_first_of("Z+-", 10) != std::string_view::npos)
        throw EConvertError(prefix + "give the local time without a time zone");
      if (DateToIsoText(*value).empty()) throw EConvertError(prefix + "dates before 31 December 1899 cannot be stored");
      return *value;
    }
    case TActionFieldKind::Flag:
      if (SameText(AText, "true")) return true;
      if (SameText(AText, "false")) return false;
      Invalid(AField, AText);
    case TActionFieldKind::Measure: {
      // Minutes (2) have no text in the map file and would come back as days, so an edit cannot
      // choose them.
      for (int32_t code = 0; code < static_cast<int32_t>(KMeasurePickList.size()); ++code)
        if (AText == std::to_string(code) || SameText(AText, KMeasurePickList[code])) return code;
      Invalid(AField, AText);
    }
    case TActionFieldKind::Text:
      return std::string(AText);
    case TActionFieldKind::Constraint:
      // The name the dialog and the columns show, or the one the file stores.
      for (size_t i = 0; i < KTaskConstraintTypeIdentifiers.size(); ++i)
        if (AText == KTaskConstraintTypeIdentifiers[i] || SameText(AText, KTaskConstraintTypeCaptions[i]))
          return static_cast<int32_t>(i);
      Invalid(AField, AText);
  }
  Invalid(AField, AText);
}

void WriteActionField(IActionAttribute* ARecord, TActionField AField, const TActionFieldValue& AValue) {
  if (!ARecord) throw EInvalidOperation("No action record to write into");
  switch (AField) {
    case acComplete:
      return ARecord->SetComplete(ValueOf<int32_t>(AField, AValue));
    case acCompletedDate:
      return ARecord->SetCompletedDate(ValueOf<double>(AField, AValue));
    case acDueDate:
      return ARecord->SetDueDate(ValueOf<double>(AField, AValue));
    case acDuration:
      return ARecord->SetDuration(ValueOf<double>(AField, AValue));
    case acDurationMeasure:
      return ARecord->SetDurationMeasure(ValueOf<int32_t>(AField, AValue));
    case acIsAction:
      return ARecord->SetIsAction(ValueOf<bool>(AField, AValue));
    case acPriority:
      return ARecord->SetPriority(ValueOf<std::string>(AField, AValue));
    case acStartDate:
      return ARecord->SetStartDate(ValueOf<double>(AField, AValue));
    case acStatus:
      return ARecord->SetStatus(ValueOf<std::string>(AField, AValue));
    case acPostedToOutlook:
      return ARecord->SetPostedToOutlook(ValueOf<bool>(AField, AValue));
    case acWork:
      return ARecord->SetWork(ValueOf<double>(AField, AValue));
    case acCost:
      return ARecord->SetCost(ValueOf<double>(AField, AValue));
    case acQuantity:
      return ARecord->SetQuantity(ValueOf<double>(AField, AValue));
    case acWorkMeasure:
      return ARecord->SetWorkMeasure(ValueOf<int32_t>(AField, AValue));
    case acIsMilestone:
      return ARecord->SetIsMilestone(ValueOf<bool>(AField, AValue));
    case acIsSummary:
      return ARecord->GetChild(acIsSummary).as<IWordBoolAttribute>()->SetValue(ValueOf<bool>(AField, AValue));
    case acConstraintType: {
      const int32_t ordinal = ValueOf<int32_t>(AField, AValue);
      if (ordinal < 0 || ordinal >= static_cast<int32_t>(KTaskConstraintTypeIdentifiers.size()))
        throw EConvertError("No constraint type has the ordinal " + std::to_string(ordinal));
      return ARecord->SetConstraintType(static_cast<TTaskConstraintType>(ordinal));
    }
    case acConstraintDate:
      return ARecord->SetConstraintDate(ValueOf<double>(AField, AValue));
  }
}

std::string ActionFieldText(IActionAttribute* ARecord, TActionField AField) {
  if (!ARecord) return {};
  ComPtr<IAttribute> child = ARecord->GetChild(AField);
  return child ? child->SaveToString() : std::string();
}

ComPtr<ICommand> TActionFieldEdit::PrepareCommand(ILumetaModel* AModel, INode* ANode, TActionField AField,
                                                  const TActionFieldValue& AValue) {
  if (!AModel || !ANode) throw EInvalidOperation("A field edit needs a model and a node");
  // The node's own record stays untouched until the processor runs the command, so undo has
  // something to go back to.
  ComPtr<IProperty> record = AModel->GetPropertyClasses()->NewProperty(KActionPropertyName);
  ComPtr<IAttribute> copy = record.as<IAttribute>();
  if (ComPtr<IProperty> current = ANode->FindProperty(KActionPropertyName))
    copy->Assign(current.as<IAttribute>().get());
  else
    copy->SetFlagEx(afLoaded, true, true);  // nothing to fetch from the document
  ComPtr<IActionAttribute> action = record.as<IActionAttribute>();
  WriteActionField(action.get(), AField, AValue);

  ComPtr<ICommandHelper> helper = AModel->GetCommandHelper();
  ComPtr<TData> selection = make<TData>();
  selection->Add(ANode);
  if (action->IsEmpty()) return helper->PrepareRemovePropertiesCommand({KActionPropertyName}, selection.get(), -1);
  return helper->PreparePropertyCommand(record.get(), selection.get(), -1);
}

void TActionFieldEdit::Execute(ILumetaModel* AModel, INode* ANode, TActionField AField, const TActionFieldValue& AValue) {
  ComPtr<ICommand> command = PrepareCommand(AModel, ANode, AField, AValue);
  ComPtr<TData> selection = make<TData>();
  selection->Add(ANode);
  AModel->GetCommandProcessor()->Execute(command.get(), selection.get());
}
