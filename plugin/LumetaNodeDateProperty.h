#pragma once
// The node-date property: when a node was created and when it was last modified.
#include <array>

#include "attributes/LumetaAttributes.h"
#include "plugin/LumetaProperty.h"
#include "contract/LumetaPropertyFactoriesIntf.h"

// The property's own access to its two dates (days since 30 December 1899; 0 is not set).
struct INodeDateProperty : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("135931D6-FBE3-4B8E-8611-D176B1FC6341");
  virtual double GetCreatedDate() = 0;
  virtual double GetModifiedDate() = 0;
  virtual void SetCreatedDate(double ADate) = 0;
  virtual void SetModifiedDate(double ADate) = 0;
};

inline constexpr std::array<const char*, 2> KNodeDateNames{"Created Date", "Modified Date"};

// Two date-time children, "Created Date" and "Modified Date", both 0 at creation unless the
// created date is given; made on first need, as a loaded map holds one record per node.
class TLumetaNodeDateAttribute : public TRecordAttribute {
 public:
  explicit TLumetaNodeDateAttribute(IUnknown* AController = nullptr);

  // What "Created Date" is set to when the children are made (set, so it counts as modified);
  // 0 leaves it unset.
  void SetInitialCreatedDate(double ADate) noexcept { FInitialCreatedDate = ADate; }

 protected:
  void MakeChildren() override;

 private:
  double FInitialCreatedDate = 0;
};

class TLumetaNodeDateProperty : public TImplements<TLumetaProperty, INodeDateProperty> {
 public:
  static constexpr TPropertyClassInfo ManagerInfo{"NodeDates", MakeGuid("CFACB5BE-2350-408E-A788-EC07C7A72284")};

  // Created now; see Initialize.
  TLumetaNodeDateProperty();

  std::string GetCaption() override;  // "Dates"
  const TXmlDeclarations& GetXmlDeclarations() override;

  // Each looks its child up by name; a date outside the record raises ENoInterface.
  double GetCreatedDate() override;
  double GetModifiedDate() override;
  void SetCreatedDate(double ADate) override;
  void SetModifiedDate(double ADate) override;

 protected:
  std::string ManagerClassDescription() override;
  // Makes the record, sets "Created Date" to the current local time, then marks the whole record
  // not loaded, so that a stored value still reaches it from the document on first read.
  void Initialize() override;

 private:
  ComPtr<IDateTimeAttribute> DateChild(const char* AName);

  TLumetaNodeDateAttribute* FDates = nullptr;  // owned by the base as the carried attribute
};

class TLumetaNodeDatePropertyManager : public TLumetaPropertyManagerOf<TLumetaNodeDateProperty> {};

// Registers TLumetaNodeDatePropertyManager under "NodeDates".
void RegisterNodeDatePropertyManager(IAttributeFactory* AFactory);
