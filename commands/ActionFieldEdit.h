#pragma once
// One field of a node's action record edited the way an action column edits it while task
// scheduling is off: a copy of the node's record (a new one when the node has none) gets the value
// through the record's setter, so that Complete and Status stay coupled, and is committed as one
// undoable command. Shared by the command line and the UI controller.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "contract/ActionAttributesIntf.h"
#include "contract/LumetaCommandsIntf.h"

// What text an edit of the field accepts.
enum class TActionFieldKind {
  Percent,      // a whole number from 0 to 100
  Amount,       // a non-negative number (Duration, Work)
  Number,       // any finite number (Cost, Quantity)
  Date,         // YYYY-MM-DD or an XML Schema dateTime; empty or 0 for none
  Flag,         // true or false
  Measure,      // 0, 1, 2 or Hours, Days, Minutes
  Text,         // any text (Priority, Status)
  Constraint,   // a constraint type identifier (tcMustStartOn)
};

// A parsed value: bool for flags, int32_t for percents, measure codes and constraint ordinals,
// double for numbers and date-times (0 for no date), std::string for texts.
using TActionFieldValue = std::variant<bool, int32_t, double, std::string>;

// The field with that child name ("Start Date"), in any case; empty for any other text.
std::optional<TActionField> FindActionField(std::string_view AName);
TActionFieldKind ActionFieldKind(TActionField AField);
// The child names joined by ", ", for messages.
std::string ActionFieldNameList();

// Reads a value strictly: numbers with "." as the separator and nothing around them. Raises
// EConvertError naming the text, the field and what it expects ("invalid value 'abc' for
// Complete: expected a whole number from 0 to 100").
TActionFieldValue ParseActionFieldValue(TActionField AField, std::string_view AText);

// Writes through the record's setters (Is Summary, which has none, through its child). Raises
// EConvertError when the value is not of the field's kind.
void WriteActionField(IActionAttribute* ARecord, TActionField AField, const TActionFieldValue& AValue);

// The child's text form, the one the map file stores for it (dates as XML Schema dateTime, empty
// while unset; measures as their codes; the constraint as its identifier).
std::string ActionFieldText(IActionAttribute* ARecord, TActionField AField);

class TActionFieldEdit {
 public:
  TActionFieldEdit() = delete;

  // A property command that puts the edited copy of ANode's "Action" record on the nodes it runs
  // on, or, when the edited record is empty, a command removing their "Action" property. Nothing
  // runs it. Raises EClassNotFound when the model has no "Action" class, EConvertError as
  // WriteActionField does.
  static ComPtr<ICommand> PrepareCommand(ILumetaModel* AModel, INode* ANode, TActionField AField,
                                         const TActionFieldValue& AValue);
  // Prepares the command and runs it on ANode through the model's command processor, which makes
  // it one undo step.
  static void Execute(ILumetaModel* AModel, INode* ANode, TActionField AField, const TActionFieldValue& AValue);
};
