#include "apps/EntryCommands.h"

#include <optional>
#include <ostream>

#include "com/NumberText.h"
#include "contract/ActionVocabulary.h"

namespace {

// "entry 11 (Start Date)", for messages.
std::string EntryName(TActionField AField) {
  return "entry " + std::to_string(FieldEntry(AField).value_or(0)) + " (" + KActionFieldNames[AField] + ")";
}

[[noreturn]] void Refuse(const std::string& AMessage) { throw ELumetaError(AMessage, E_INVALIDARG); }

int32_t ParseEntry(const std::string& AText) {
  const std::optional<int32_t> id = ParseInteger<int32_t>(AText);
  if (!id || !IsCommandEntry(*id))
    Refuse("'" + AText + "' is not a command entry (" + std::to_string(KFirstCommandEntry) + " to " +
           std::to_string(KLastCommandEntry) + ")");
  return *id;
}

}  // namespace

void RaiseIfRefused(const TEditResult& AResult) {
  if (AResult) return;
  if (AResult.Warned) throw ELinkRefused(AResult.Error);
  throw ELumetaError(AResult.Error, E_INVALIDARG);
}

ComPtr<IActionAttribute> ActionOf(INode* ANode) {
  ComPtr<IProperty> property = ANode ? ANode->FindProperty(KActionPropertyName) : nullptr;
  return property ? QueryAs<IActionAttribute>(property.get()) : nullptr;
}

void ExecuteEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID,
                  const std::vector<std::string>& AValueWords, TDateEditFlags AFlags) {
  RaiseIfRefused(TActionEditor(AModel).RunEntry(AID, AValueWords, AFlags, ASelection));
}

TEntryState UpdateEntry(TLumetaModel* AModel, ISelection* ASelection, int32_t AID) {
  return TActionEditor(AModel).UpdateEntry(AID, ASelection);
}

void RunExecCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs) {
  const int32_t id = ParseEntry(AArgs.at(0));
  TDateEditFlags flags;
  std::vector<std::string> words;
  for (size_t i = 1; i < AArgs.size(); ++i) {
    const std::string& word = AArgs[i];
    const bool dateFlag = word == "--auto" || word == "--no-validate";
    if (word == "--move" && id != ciCompletedDate)
      Refuse("--move applies to " + EntryName(acCompletedDate) + " only");
    if (dateFlag && id != ciStartDate && id != ciCompletedDate)
      Refuse(word + " applies to " + EntryName(acStartDate) + " and " + EntryName(acCompletedDate) + " only");
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

void RunUpdateCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs,
                      std::ostream& AOut) {
  const TEntryState state = UpdateEntry(AModel, ASelection, ParseEntry(AArgs.at(0)));
  AOut << "enabled=" << state.Enabled << " checked=" << state.Checked << '\n';
}
