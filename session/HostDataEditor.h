#pragma once
// Edits of a node's own data beside its action, the same for every front end: its notes, the
// resources assigned to it, its categories and its attachments. Each edit is one undo step through
// the model's command processor; an edit that changes nothing makes no step.
#include <cstdint>
#include <string>
#include <vector>

#include "contract/ExportIntf.h"
#include "host/LumetaModel.h"
#include "session/ActionEditor.h"
#include "session/MapDocument.h"

class THostDataEditor {
 public:
  // Edits the map the document has open at the time of each call.
  explicit THostDataEditor(TMapDocument& ADocument);
  explicit THostDataEditor(TLumetaModel* AModel);

  // Every edit answers why it was refused (an unknown node, a name that is not there, a malformed
  // address) in the result, and leaves the map as it was then.
  TEditResult SetNotes(int64_t AID, const std::string& AText);
  // A name the node holds already (compared without regard to case) takes the new address, when
  // one is given; otherwise it is refused.
  TEditResult AddResource(int64_t AID, const std::string& AName, const std::string& AEmail = {});
  TEditResult RemoveResource(int64_t AID, const std::string& AName);
  // The whole list at once, as the Resources column shows it (ResourceListText).
  TEditResult SetResources(int64_t AID, const std::string& AList);
  TEditResult AddCategory(int64_t AID, const std::string& AText);
  TEditResult RemoveCategory(int64_t AID, const std::string& AText);
  // ALocation is a path or a URL; the name is stored only where it differs from the location's
  // last part, which is the name shown when none is given.
  TEditResult AddAttachment(int64_t AID, const std::string& AName, const std::string& ALocation);
  // The attachment shown under AName at ALocation.
  TEditResult RemoveAttachment(int64_t AID, const std::string& AName, const std::string& ALocation);

  // Every category some node of the map carries, sorted, each once: what a menu offers.
  std::vector<std::string> MapCategories() const;

 private:
  TLumetaModel* Model() const;
  // Runs AEdit on a copy of the node's data; an edit that raises is refused with its message.
  template <class F>
  TEditResult Change(int64_t AID, const char* ADescription, F&& AEdit);

  TMapDocument* FDocument = nullptr;
  TLumetaModel* FModel = nullptr;
};

// "Ada Brown <ada@example.com>, Bob": names separated by commas, each address in angle brackets.
std::string ResourceListText(const std::vector<TNodeResource>& AResources);
// The list ResourceListText writes, read back; raises ELumetaError naming the entry that is wrong.
std::vector<TNodeResource> ParseResourceList(const std::string& AText);
