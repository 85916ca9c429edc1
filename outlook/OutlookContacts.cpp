#include "outlook/OutlookContacts.h"

#include "com/ComErrors.h"

ThvOutlookContactList::~ThvOutlookContactList() { Clear(); }

void ThvOutlookContactList::Check(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EListError::OutOfBounds(AIndex);
}

int ThvOutlookContactList::Add(ThvOutlookContact* AContact) {
  FList.push_back(AContact);
  return Count() - 1;
}

void ThvOutlookContactList::AddContacts(const ThvOutlookContactList& AList) {
  if (&AList == this) return;
  for (ThvOutlookContact* contact : AList.FList) Add(FOwnsObjects && contact ? new ThvOutlookContact(*contact) : contact);
}

void ThvOutlookContactList::Clear() {
  if (FOwnsObjects)
    for (ThvOutlookContact* contact : FList) delete contact;
  FList.clear();
}

void ThvOutlookContactList::Delete(int AIndex) {
  Check(AIndex);
  if (FOwnsObjects) delete FList[static_cast<size_t>(AIndex)];
  FList.erase(FList.begin() + AIndex);
}

ThvOutlookContact* ThvOutlookContactList::Items(int AIndex) const {
  Check(AIndex);
  return FList[static_cast<size_t>(AIndex)];
}

int ThvOutlookContactFoldersList::Add(const TOleVariant& AFolder) {
  FList.push_back(AFolder);
  return Count() - 1;
}

void ThvOutlookContactFoldersList::Delete(int AIndex) {
  if (AIndex < 0 || AIndex >= Count()) throw EListError::OutOfBounds(AIndex);
  FList[static_cast<size_t>(AIndex)] = TOleVariant();
}

const TOleVariant& ThvOutlookContactFoldersList::Items(int AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw EListError::OutOfBounds(AIndex);
  return FList[static_cast<size_t>(AIndex)];
}
