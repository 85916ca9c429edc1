#include "apps/EntryCommands.h"

#include <iterator>
#include <ostream>
#include <string_view>
#include <variant>

#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "commands/ActionFieldEdit.h"
#include "contract/ActionEditIntf.h"
#include "contract/PlugInUIIntf.h"
#include "host/LumetaCommandEntry.h"
#include "host/LumetaEditedValue.h"
#include "host/LumetaStandardInteractor.h"

namespace {

// "entry 11 (Start Date)", for messages.
std::string EntryName(int32_t AID) { return "entry " + std::to_string(AID) + " (" + CommandEntryName(AID) + ")"; }

[[noreturn]] void Refuse(const std::string& AMessage) { throw ELumetaError(AMessage, E_INVALIDARG); }

int32_t ParseEntry(const std::string& AText) {
  const std::optional<int32_t> id = ParseInteger<int32_t>(AText);
  if (!id || !IsCommandEntry(*id))
    Refuse("'" + AText + "' is not a command entry (" + std::to_string(KFirstCommandEntry) + " to " +
           std::to_string(KLastCommandEntry) + ")");
  return *id;
}

ComPtr<IActionPlugInUI> Controller(TLumetaModel* AModel) {
  ComPtr<IActionPlugInUI> controller = AModel->FindPlugInUI(KActionPlugInName);
  if (!controller) throw ELumetaError("the plug-in has no controller for the Action entries");
  return controller;
}

// The first selected node's Duration Measure; hours, a new record's, for a node without action.
ComPtr<INode> FirstNode(ISelection* ASelection) {
  return ASelection && ASelection->GetCount() > 0 ? QueryAs<INode>(ASelection->GetItem(0).get()) : nullptr;
}

int32_t CurrentDurationMeasure(ISelection* ASelection) {
  ComPtr<IActionAttribute> action = ActionOf(FirstNode(ASelection).get());
  return action ? action->GetDurationMeasure() : 0;
}

ComPtr<IUnknown> EditedValue(TLumetaModel* AModel, ISelection* ASelection, TActionField AField,
                             const std::vector<std::string>& AWords, TDateEditFlags AFlags) {
  const TActionFieldValue value = ParseTypedFieldValue(AModel, FirstNode(ASelection).get(), AField, AWords.at(0));
  switch (ActionFieldKind(AField)) {
    case TActionFieldKind::Date:
      return TLumetaEditedValue::Date(std::get<double>(value), AFlags.Validate, AFlags.AutoSchedule, AFlags.MoveTask);
    case TActionFieldKind::Flag:
      return TLumetaEditedValue::Flag(std::get<bool>(value));
    case TActionFieldKind::Percent:
      return TLumetaEditedValue::Number(std::get<int32_t>(value));
    case TActionFieldKind::Amount:
    case TActionFieldKind::Number:
      if (AField == acDuration) {
        const int32_t measure = AWords.size() > 1
                                    ? std::get<int32_t>(ParseActionFieldValue(acDurationMeasure, AWords[1]))
                                    : CurrentDurationMeasure(ASelection);
        return TLumetaEditedValue::MeasuredNumber(std::get<double>(value), measure);
      }
      return TLumetaEditedValue::Number(std::get<double>(value));
    case TActionFieldKind::Measure:
      return TLumetaEditedValue::Measure(std::get<int32_t>(value));
    case TActionFieldKind::Text:
      return TLumetaEditedValue::Text(std::get<std::string>(value));
    case TActionFieldKind::Constraint:
      break;
  }
  throw EInvalidOperation(std::string("No command entry edits ") + KActionFieldNames[AField]);
}

// A checkable entry as the controller leaves it after its update. A field's column applies to
// selected nodes only, so with nothing selected the default update leaves it disabled.
ComPtr<TLumetaCommandEntry> UpdatedEntry(TLumetaModel* AModel, IActionPlugInUI* AController, ISelection* ASelection,
                                         int32_t AID) {
  const bool applicable = AID < KFirstFieldEntry || (ASelection && ASelection->GetCount() > 0);
  ComPtr<TLumetaCommandEntry> entry = make<TLumetaCommandEntry>(AID, true, applicable);
  ComPtr<TLumetaStandardInteractor> interactor =
      make<TLumetaStandardInteractor>(entry.get(), nullptr, static_cast<ILumetaModel*>(AModel), ASelection);
  AController->UpdateCommand(interactor.get());
  if (AID >= KFirstFieldEntry)
    if (ComPtr<IActionPlugInEvents> events = QueryAs<IActionPlugInEvents>(AController))
      events->UpdateDefault(interactor.get());
  return entry;
}

}  // namespace

TActionFieldValue ParseTypedFieldValue(TLumetaModel* AModel, INode* ANode, TActionField AField,
                                       std::string_view AText) {
  TActionFieldValue value = ParseActionFieldValue(AField, AText);
  if (ActionFieldKind(AField) != TActionFieldKind::Date) return value;
  // The plug-in places typed dates, so that every window and command places them alike.
  ComPtr<IActionEditRules> rules = QueryAs<IActionEditRules>(Controller(AModel).get());
  const bool hasTime = AText.find_first_of("T ") != std::string_view::npos;
  if (rules) value = rules->TypedDate(ANode, AField, std::get<double>(value), hasTime);
  return value;
}

void ExecuteEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID,
                  const std::vector<std::string>& AValueWords, TDateEditFlags AFlags) {
  const std::optional<TActionField> field = EntryField(AID);
  const size_t most = AID == ciDuration ? 2 : field ? 1 : 0;
  if (!field && !AValueWords.empty()) Refuse(EntryName(AID) + " takes no value");
  if (field && (AValueWords.empty() || AValueWords.size() > most))
    Refuse(EntryName(AID) + (AID == ciDuration ? " takes a number and an optional measure" : " takes one value"));
  ComPtr<IActionPlugInUI> controller = Controller(AModel);
  // The words are checked before the entry, so that a typing error is reported as one.
  ComPtr<IUnknown> value = field ? EditedValue(AModel, ASelection, *field, AValueWords, AFlags) : nullptr;
  ComPtr<TLumetaCommandEntry> entry = UpdatedEntry(AModel, controller.get(), ASelection, AID);
  ComPtr<TLumetaStandardInteractor> interactor =
      make<TLumetaStandardInteractor>(entry.get(), value.get(), static_cast<ILumetaModel*>(AModel), ASelection);
  if (!entry->GetEnabled()) {
    // The controller says why, so that the user knows what to change.
    ComPtr<IActionEditRules> rules = QueryAs<IActionEditRules>(controller.get());
    const std::string reason = rules ? rules->DisabledReason(interactor.get()) : std::string();
    throw ELumetaError(EntryName(AID) + " is disabled for the current selection" +
                       (reason.empty() ? std::string() : ": " + reason));
  }
  controller->ExecuteCommand(interactor.get());
}

void RunExecCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs) {
  const int32_t id = ParseEntry(AArgs.at(0));
  TDateEditFlags flags;
  std::vector<std::string> words;
  for (size_t i = 1; i < AArgs.size(); ++i) {
    const std::string& word = AArgs[i];
    const bool dateFlag = word == "--auto" || word == "--no-validate";
    if (word == "--move" && id != ciCompletedDate)
      Refuse("--move applies to " + EntryName(ciCompletedDate) + " only");
    if (dateFlag && id != ciStartDate && id != ciCompletedDate)
      Refuse(word + " applies to " + EntryName(ciStartDate) + " and " + EntryName(ciCompletedDate) + " only");
    if (word == "--auto")
      flags.AutoSchedule = true;
    else if (word == "--no-validate")
      flags.Validate = false;
    else if (word == "--move")
      flags.MoveTask = true;
    else
      words.push_back(word);
  }
  ExecuteEntry(AModel, ASelection, id, words, flags);
}

TEntryState UpdateEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID) {
  ComPtr<TLumetaCommandEntry> entry = UpdatedEntry(AModel, Controller(AModel).get(), ASelection, AID);
  return {entry->GetEnabled(), entry->GetChecked()};
}

void RunUpdateCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs,
                      std::ostream& AOut) {
  const int32_t id = ParseEntry(AArgs.at(0));
  const TEntryState state = UpdateEntry(AModel, ASelection, id);
  AOut << "enabled=" << state.Enabled << " checked=" << state.Checked << '\n';
}

ComPtr<IActionAttribute> ActionOf(INode* ANode) {
  ComPtr<IProperty> property = ANode ? ANode->FindProperty(KActionPropertyName) : nullptr;
  return property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
}
