#include "outlook/MSOutlookApp.h"

#include <exception>

#include "com/ComErrors.h"
#include "com/OleDate.h"
#include "settings/AutomationServers.h"

namespace {

// "16.0.0.0" gives 16; 0 when the text does not start with a number.
int MajorVersion(const std::string& AText) {
  int value = 0;
  for (size_t i = 0; i < AText.size() && AText[i] >= '0' && AText[i] <= '9' && value < 100'000; ++i)
    value = value * 10 + (AText[i] - '0');
  return value;
}

}  // namespace

bool ThvMSOutlookApp::StartOutlook() {
  if (FApp.Assigned()) return true;
  bool result = true;
  try {
    FApp = GetActiveOleObject(OutlookProgID);
    FRunning = true;
  } catch (const std::exception&) {
    FRunning = false;
    try {
      FApp = CreateOleObject(OutlookProgID);
    } catch (const std::exception&) {
      result = false;
    }
  }
  if (!result) return false;
  try {
    FNameSpace = FApp.Call("GetNamespace", "MAPI");
    // Profile and password left out; show a logon dialog, open a new session.
    OleCheck(FNameSpace.Call("Logon", TOleVariant::Missing(), TOleVariant::Missing(), true, true), "Logon");
    FTaskFolder = FNameSpace.Call("GetDefaultFolder", olFolderTasks);
  } catch (const std::exception&) {
    result = false;
    if (!FRunning) {
      try {
        FApp.Call("Quit");
      } catch (const std::exception&) {
        // Forgotten either way: nothing more can be done with it.
      }
      FApp = {};
      FNameSpace = {};
      FTaskFolder = {};
    }
  }
  if (result) {
    try {
      FVersion = MajorVersion(FApp.Get("Version").AsString());
    } catch (const std::exception&) {
      FVersion = 0;  // a server without a version is still usable
    }
  }
  return result;
}

bool ThvMSOutlookApp::ShutDownOutlook() {
  if (!FApp.Assigned() || FRunning) return false;
  if (FNameSpace.Assigned()) {
    FNameSpace.Call("LogOff");
    FNameSpace = {};
  }
  FTaskFolder = {};
  FApp.Call("Quit");
  FApp = {};
  return true;
}

TOleVariant ThvMSOutlookApp::NewTask(const std::string& ASubject) {
  TOleVariant task = FTaskFolder.Get("Items").Call("Add", olTaskItem);
  task.Put("Subject", ASubject);
  return task;
}

TOleVariant ThvMSOutlookApp::FindTask(const std::string& ASubject) {
  return FTaskFolder.Get("Items").Call("Find", "[Subject] = \"" + ASubject + "\"");
}

TOleVariant ThvMSOutlookApp::GetDateNone() const {
  // "1/1/4501" reads as the same day under every order of day and month.
  return TOleVariant::FromDate(EncodeDate(4501, 1, 1));
}

void ThvMSOutlookApp::GetContactsFolders(ThvOutlookContactFoldersList& AList, bool AWantEmpty) {
  // Depth first with a stack of its own: the folder tree is the user's and may be deep.
  std::vector<TOleVariant> pending{FNameSpace.Call("GetDefaultFolder", olFolderContacts)};
  while (!pending.empty()) {
    const TOleVariant folder = std::move(pending.back());
    pending.pop_back();
    if (!folder.Assigned() || folder.Get("DefaultItemType").AsInteger() != olContactItem) continue;
    if (AWantEmpty || folder.Get("Items").Get("Count").AsInteger() > 0) AList.Add(folder);
    const TOleVariant folders = folder.Get("Folders");
    for (int i = folders.Get("Count").AsInteger(); i >= 1; --i) pending.push_back(folders.Call("Item", i));
  }
}

void ThvMSOutlookApp::GetContactFolders(std::vector<std::string>& AList, bool AWantEmpty) {
  const TOleVariant lists = FNameSpace.Get("AddressLists");
  const int count = lists.Get("Count").AsInteger();
  for (int i = 1; i <= count; ++i) {
    const TOleVariant list = lists.Call("Item", i);
    if (AWantEmpty || list.Get("AddressEntries").Get("Count").AsInteger() > 0) AList.push_back(list.Get("Name").AsString());
  }
}

ComPtr<IhvOutlookContactsIterator> ThvMSOutlookApp::GetContactsListIterator(const TOleVariant& AFolder) {
  return make<ThvContactsIterator>(AFolder.Assigned() ? AFolder : FNameSpace.Call("GetDefaultFolder", olFolderContacts));
}

ComPtr<IhvOutlookContactsIterator> ThvMSOutlookApp::GetAddressListIterator(int AIndex) {
  return make<ThvAddressListIterator>(FNameSpace.Get("AddressLists").Call("Item", AIndex));
}

std::string ThvMSOutlookApp::GetContactFolderID(const ThvOutlookContactFoldersList& AList, int AIndex) {
  return AList.Items(AIndex).Get("EntryID").AsString();
}

std::unique_ptr<ThvOutlookContactList> ThvMSOutlookApp::GetContactByName(const std::string& AFullName) {
  auto result = std::make_unique<ThvOutlookContactList>(true);
  const std::string wanted = FoldAscii(AFullName);
  const auto collect = [&](IhvOutlookContactsIterator* AIterator) {
    for (AIterator->First(); !AIterator->IsDone(); AIterator->Next()) {
      std::unique_ptr<ThvOutlookContact> contact = AIterator->Item();
      if (FoldAscii(contact->Fullname()) == wanted) result->Add(contact.release());
    }
  };
  ThvOutlookContactFoldersList folders;
  GetContactsFolders(folders, false);
  for (int i = 0; i < folders.Count(); ++i)
    if (folders[i].Assigned()) collect(GetContactsListIterator(folders[i]).get());
  // The lists GetContactFolders names: those with entries, by their place among all lists.
  const TOleVariant lists = FNameSpace.Get("AddressLists");
  const int count = lists.Get("Count").AsInteger();
  for (int i = 1; i <= count; ++i)
    if (lists.Call("Item", i).Get("AddressEntries").Get("Count").AsInteger() > 0)
      collect(GetAddressListIterator(i).get());
  return result;
}
