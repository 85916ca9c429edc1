#pragma once
// Lists: a variable number of items of one interface type.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

#include "attributes/StructuredAttribute.h"

// A variable list of items that all answer one interface; new items come from the attribute
// factory. Changing the item type empties the list.
class TListAttribute : public TImplements<TStructuredAttribute, IListAttribute> {
 public:
  explicit TListAttribute(const GUID& AItemType = GUID_NULL, IUnknown* AController = nullptr) noexcept;

  // IListAttribute
  ComPtr<IAttribute> Add() override;
  bool Contains(IAttribute* AItem) override;
  GUID GetItemType() override;
  void Resize(int32_t ADelta) override;
  void SetCount(int32_t ACount) override;
  int32_t IndexOfValue(IAttribute* AItem) override;
  void SetItemType(const GUID& AIid) override;

  void Apply(IAttribute* ASource) override;
  // From a list: a copy of its items; an empty source marks the list cleared and empties it.
  void Assign(IAttribute* ASource) override;
  // Only another list with equal items in the same order.
  bool EqualTo(IAttribute* AOther) override;
  // The union: the other's missing items are added and marked mixed, own items the other lacks
  // are marked mixed; with nothing to merge, every item is marked mixed.
  void Merge(IAttribute* AOther) override;
  // A uint32 item count, then the items.
  uint32_t LoadFromStream(IStream* AStream) override;
  uint32_t SaveToStream(IStream* AStream) override;
  GUID GetClassID() override;

 protected:
  // A new item of the item type appended without marking the list modified.
  ComPtr<IAttribute> AppendItem();

 private:
  friend class TAttribute;
  // The item's name: its position when first asked for, kept until the item's SetOwner.
  std::string ItemName(TAttribute& AItem);

  GUID FItemType;
  std::unique_ptr<std::unordered_map<const TAttribute*, int32_t>> FItemNames;  // made on the first name asked
};
