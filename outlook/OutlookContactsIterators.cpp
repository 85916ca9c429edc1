#include "outlook/OutlookContactsIterators.h"

ThvContactsIterator::ThvContactsIterator(TOleVariant AContactsFolder)
    : FContactsFolder(std::move(AContactsFolder)), FItems(FContactsFolder.Get("Items")) {}

int ThvContactsIterator::GetCount() { return FItems.Get("Count").AsInteger(); }

std::unique_ptr<ThvOutlookContact> ThvContactsIterator::Item() {
  const TOleVariant item = FItems.Call("Item", FIndex);
  auto contact = std::make_unique<ThvOutlookContact>();
  contact->SetFullname(item.Get("FullName").AsString());
  contact->SetEmail(item.Get("Email1Address").AsString());
  contact->SetCompany(item.Get("CompanyName").AsString());
  contact->SetDepartment(item.Get("Department").AsString());
  contact->SetJobTitle(item.Get("JobTitle").AsString());
  contact->SetSuffix(item.Get("Suffix").AsString());
  return contact;
}

ThvAddressListIterator::ThvAddressListIterator(TOleVariant AAddressList)
    : FAddressList(std::move(AAddressList)), FEntries(FAddressList.Get("AddressEntries")) {}

int ThvAddressListIterator::GetCount() { return FEntries.Get("Count").AsInteger(); }

std::unique_ptr<ThvOutlookContact> ThvAddressListIterator::Item() {
  const TOleVariant entry = FEntries.Call("Item", FIndex);
  auto contact = std::make_unique<ThvOutlookContact>();
  contact->SetFullname(entry.Get("Name").AsString());
  contact->SetEmail(entry.Get("Address").AsString());
  return contact;
}
