#pragma once
// Walks the contacts of a contacts folder or the entries of an address list, 1-based as the task
// program counts: First sets the index to 1, Next adds 1, IsDone is true past GetCount.
#include <memory>

#include "com/ComObject.h"
#include "com/OleVariant.h"
#include "outlook/OutlookContacts.h"

struct IhvOutlookContactsIterator : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("632E2752-8C00-4F9F-9878-99A8D534AA14");
  virtual void First() = 0;
  virtual int GetCount() = 0;
  virtual bool IsDone() = 0;
  // A new contact made from the item at the index; an index past the end raises EOleError.
  virtual std::unique_ptr<ThvOutlookContact> Item() = 0;
  virtual void Next() = 0;
};

// The 1-based walk both iterators share; they start at index 1, as after First.
class ThvOutlookItemsIterator : public TImplements<TComObject, IhvOutlookContactsIterator> {
 public:
  void First() override { FIndex = 1; }
  bool IsDone() override { return FIndex > GetCount(); }
  void Next() override { ++FIndex; }

 protected:
  int FIndex = 1;
};

class ThvContactsIterator : public ThvOutlookItemsIterator {
 public:
  explicit ThvContactsIterator(TOleVariant AContactsFolder);
  int GetCount() override;
  std::unique_ptr<ThvOutlookContact> Item() override;

 private:
  TOleVariant FContactsFolder;
  TOleVariant FItems;  // the folder's Items, asked once
};

class ThvAddressListIterator : public ThvOutlookItemsIterator {
 public:
  explicit ThvAddressListIterator(TOleVariant AAddressList);
  int GetCount() override;
  std::unique_ptr<ThvOutlookContact> Item() override;

 private:
  TOleVariant FAddressList;
  TOleVariant FEntries;  // the list's AddressEntries, asked once
};
