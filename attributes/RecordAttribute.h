#pragma once
// Records: a fixed set of named children.
#include <cstdint>
#include <span>
#include <string>

#include "attributes/StructuredAttribute.h"

// A fixed set of children that the subclass's constructor creates, named by index from a table.
class TRecordAttribute : public TImplements<TStructuredAttribute, IRecordAttribute> {
 public:
  // AChildNames is not copied: pass a table that outlives the record (a static array).
  explicit TRecordAttribute(std::span<const char* const> AChildNames = {}, IUnknown* AController = nullptr) noexcept;

  // IRecordAttribute. AddChildOfType raises when the factory cannot make the class (see AttributeFactory).
  ComPtr<IAttribute> AddChildOfType(const GUID& AIid) override;
  std::string GetChildCaption(int32_t AIndex) override;  // the name unless overridden
  std::string GetChildName(int32_t AIndex) override;     // empty outside the table

  // The children load themselves, so the record never asks the document source.
  int32_t GetChildCount() override;
  // Modified, unmixed source children reach the child of the same index through its Apply; a
  // missing or cleared source assigns nothing to every child.
  void Apply(IAttribute* ASource) override;
  // From a record: child by child (as many as both have); an empty source marks only the record cleared.
  void Assign(IAttribute* ASource) override;
  // Child by child; with no structure to merge, every child is marked mixed.
  void Merge(IAttribute* AOther) override;
  GUID GetClassID() override;

  // A record of this very class is compared, copied and merged child by child without asking
  // for interfaces; a subclass that adds state of its own overrides these as well.
  void AssignObject(TAttribute& ASource) override;
  bool EqualToObject(TAttribute& AOther) override;
  void MergeObject(TAttribute& AOther) override;

 private:
  void AssignChildren(TStructuredAttribute& ASource);
  void MergeChildren(TStructuredAttribute& AOther);

  std::span<const char* const> FChildNames;
};
