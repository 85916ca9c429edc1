#include "session/HostDataEditor.h"

#include <algorithm>
#include <exception>
#include <set>
#include <utility>

#include "com/ComErrors.h"
#include "host/MapEditCommands.h"

namespace {

std::string Trimmed(std::string_view AText) {
  const size_t first = AText.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(AText.substr(first, AText.find_last_not_of(" \t") - first + 1));
}

bool SameName(std::string_view A, std::string_view B) {
  return std::ranges::equal(A, B, [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

bool HasControl(std::string_view AText) {
  return std::ranges::any_of(AText, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// The list's separators may not stand in a name or an address, or the list could not be read back.
std::string CheckedName(const std::string& AName) {
  std::string name = Trimmed(AName);
  if (name.empty()) throw ELumetaError("a resource needs a name");
  if (name.find_first_of(",<>") != std::string::npos || HasControl(name))
    throw ELumetaError("'" + name + "' cannot be a resource's name: commas, angle brackets and line breaks separate resources");
  return name;
}

std::string CheckedEmail(const std::string& AEmail) {
  std::string email = Trimmed(AEmail);
  const size_t at = email.find('@');
  if (!email.empty() && (at == 0 || at == std::string::npos || at + 1 == email.size() ||
                         email.find_first_of(" \t,<>") != std::string::npos || HasControl(email)))
    throw ELumetaError("'" + email + "' is not an e-mail address");
  return email;
}

}  // namespace

THostDataEditor::THostDataEditor(TMapDocument& ADocument) : FDocument(&ADocument) {}

THostDataEditor::THostDataEditor(TLumetaModel* AModel) : FModel(AModel) {}

TLumetaModel* THostDataEditor::Model() const {
  TLumetaModel* model = FDocument ? FDocument->Model() : FModel;
  if (!model) throw EInvalidOperation("No map is open");
  return model;
}

template <class F>
TEditResult THostDataEditor::Change(int64_t AID, const char* ADescription, F&& AEdit) {
  TEditResult result;
  try {
    TLumetaModel* model = Model();
    TLumetaNode::THostData data = model->Map().GetNode(AID)->ReadHostData();
    AEdit(data);
    if (data == model->Map().GetNode(AID)->ReadHostData()) return result;
    model->GetCommandProcessor()->Execute(make<TChangeHostDataCommand>(model, AID, std::move(data), ADescription).get(),
                                          nullptr);
  } catch (const std::exception& error) {
    result.Error = error.what();
  }
  return result;
}

TEditResult THostDataEditor::SetNotes(int64_t AID, const std::string& AText) {
  return Change(AID, "Edit Notes", [&](TLumetaNode::THostData& AData) { AData.Notes = AText; });
}

TEditResult THostDataEditor::AddResource(int64_t AID, const std::string& AName, const std::string& AEmail) {
  return Change(AID, "Add Resource", [&](TLumetaNode::THostData& AData) {
    std::string name = CheckedName(AName), email = CheckedEmail(AEmail);
    for (auto& [held, address] : AData.Resources) {
      if (!SameName(held, name)) continue;
      if (email.empty() || email == address)
        throw ELumetaError("node " + std::to_string(AID) + " has the resource '" + held + "' already");
      address = std::move(email);
      return;
    }
    AData.Resources.emplace_back(std::move(name), std::move(email));
  });
}

TEditResult THostDataEditor::RemoveResource(int64_t AID, const std::string& AName) {
  return Change(AID, "Remove Resource", [&](TLumetaNode::THostData& AData) {
    const std::string name = Trimmed(AName);
    const auto found = std::ranges::find_if(AData.Resources, [&](const auto& AHeld) { return SameName(AHeld.first, name); });
    if (found == AData.Resources.end())
      throw ELumetaError("node " + std::to_string(AID) + " has no resource '" + name + "'");
    AData.Resources.erase(found);
  });
}

TEditResult THostDataEditor::SetResources(int64_t AID, const std::string& AList) {
  return Change(AID, "Change Resources", [&](TLumetaNode::THostData& AData) {
    AData.Resources.clear();
    for (TNodeResource& resource : ParseResourceList(AList)) {
      // A name typed twice keeps its first place and the address given last.
      auto held = std::ranges::find_if(AData.Resources, [&](const auto& A) { return SameName(A.first, resource.Name); });
      if (held == AData.Resources.end())
        AData.Resources.emplace_back(std::move(resource.Name), std::move(resource.Email));
      else if (!resource.Email.empty())
        held->second = std::move(resource.Email);
    }
  });
}

TEditResult THostDataEditor::AddCategory(int64_t AID, const std::string& AText) {
  return Change(AID, "Add Category", [&](TLumetaNode::THostData& AData) {
    std::string text = Trimmed(AText);
    if (text.empty() || HasControl(text)) throw ELumetaError("a category needs a name on one line");
    if (std::ranges::find(AData.Categories, text) != AData.Categories.end())
      throw ELumetaError("node " + std::to_string(AID) + " is in the category '" + text + "' already");
    AData.Categories.push_back(std::move(text));
  });
}

TEditResult THostDataEditor::RemoveCategory(int64_t AID, const std::string& AText) {
  return Change(AID, "Remove Category", [&](TLumetaNode::THostData& AData) {
    const std::string text = Trimmed(AText);
    const auto found = std::ranges::find(AData.Categories, text);
    if (found == AData.Categories.end())
      throw ELumetaError("node " + std::to_string(AID) + " is not in the category '" + text + "'");
    AData.Categories.erase(found);
  });
}

TEditResult THostDataEditor::AddAttachment(int64_t AID, const std::string& AName, const std::string& ALocation) {
  return Change(AID, "Add Attachment", [&](TLumetaNode::THostData& AData) {
    const std::string location = Trimmed(ALocation);
    std::string name = Trimmed(AName);
    if (location.empty() || HasControl(location)) throw ELumetaError("an attachment needs a path or a URL on one line");
    if (HasControl(name)) throw ELumetaError("an attachment's name must fit on one line");
    if (std::ranges::any_of(AData.Attachments, [&](const TNodeAttachment& A) { return A.Location == location; }))
      throw ELumetaError("node " + std::to_string(AID) + " has '" + location + "' attached already");
    if (name == AttachmentName(location)) name.clear();
    AData.Attachments.push_back({std::move(name), location});
  });
}

TEditResult THostDataEditor::RemoveAttachment(int64_t AID, const std::string& AName, const std::string& ALocation) {
  return Change(AID, "Remove Attachment", [&](TLumetaNode::THostData& AData) {
    const std::string name = Trimmed(AName), location = Trimmed(ALocation);
    const auto found = std::ranges::find_if(AData.Attachments, [&](const TNodeAttachment& A) {
      return A.Location == location && (A.Name.empty() ? AttachmentName(A.Location) : A.Name) == name;
    });
    if (found == AData.Attachments.end())
      throw ELumetaError("node " + std::to_string(AID) + " has no attachment '" + name + "' at '" + location + "'");
    AData.Attachments.erase(found);
  });
}

std::vector<std::string> THostDataEditor::MapCategories() const {
  std::set<std::string> names;
  TLumetaMap::ForEachInSubtree(Model()->Map().Root(), [&](TLumetaNode* ANode) {
    for (const std::string& name : ANode->ReadHostData().Categories) names.insert(name);
  });
  return {names.begin(), names.end()};
}

std::string ResourceListText(const std::vector<TNodeResource>& AResources) {
  std::string text;
  for (const TNodeResource& resource : AResources) {
    if (!text.empty()) text += ", ";
    text += resource.Name;
    if (!resource.Email.empty()) text += " <" + resource.Email + ">";
  }
  return text;
}

std::vector<TNodeResource> ParseResourceList(const std::string& AText) {
  std::vector<TNodeResource> resources;
  size_t from = 0;
  while (from <= AText.size()) {
    size_t comma = AText.find(',', from);
    if (comma == std::string::npos) comma = AText.size();
    const std::string entry = Trimmed(std::string_view(AText).substr(from, comma - from));
    from = comma + 1;
    if (entry.empty()) continue;
    const size_t open = entry.find('<');
    if (open == std::string::npos) {
      resources.push_back({CheckedName(entry), {}});
      continue;
    }
    if (entry.back() != '>' || entry.find('<', open + 1) != std::string::npos)
      throw ELumetaError("'" + entry + "': write a resource as Name <address>");
    resources.push_back({CheckedName(entry.substr(0, open)), CheckedEmail(entry.substr(open + 1, entry.size() - open - 2))});
  }
  return resources;
}
