#pragma once
// The action record of a node, its calculated children, and the map's list of priority texts.
#include <cstdint>
#include <memory>
#include <string>

#include "contract/ActionAttributesIntf.h"
#include "attributes/AttributePool.h"
#include "attributes/LumetaAttributes.h"

// Duration or work in another unit, at 8 hours a day and 60 minutes an hour; an unknown measure
// counts as the target unit itself.
double DurationInDays(double AValue, int32_t AMeasure);
double DurationInHours(double AValue, int32_t AMeasure);
// Rounded to the nearest whole minute, halves to the even neighbour.
int32_t DurationInMinutes(double AValue, int32_t AMeasure);

// Nearest integer, halves to the even neighbour whatever the floating-point rounding mode;
// clamped to the 32-bit range, NaN gives 0.
int32_t RoundHalfToEven(double AValue);

// Registers the action record, the map action entry and its list under their interfaces, so that
// lists and AddChildOfType can make them.
void RegisterActionAttributeClasses(ILumetaAttributeFactory* AFactory);

// A child whose value a summary task rolls up from its subtasks. GetValue reads the stored value,
// then asks the node and map whether to answer the rolled-up one instead; GetStoredValue never
// asks. Only GetValue rolls up: saving, copying, comparing and hashing see the stored value, so
// that the map file and a copied record keep what the record holds. Writes always store.
template <class TBase, class TValue>
class TRolledUpChild : public TBase {
 public:
  using TBase::TBase;

  TValue GetValue() override {
    const TValue stored = GetStoredValue();
    return FStoredOnly ? stored : RolledUpValue(stored);
  }
  TValue GetStoredValue() {
    this->CheckLoaded();
    return this->StoredValue();
  }

  std::string SaveToString() override {
    TStoredOnly scope(this);
    return TBase::SaveToString();
  }
  TVariant GetAsValue() override {
    TStoredOnly scope(this);
    return TBase::GetAsValue();
  }
  bool GetValueHash(size_t& AHash) override {
    TStoredOnly scope(this);
    return TBase::GetValueHash(AHash);
  }
  bool EqualTo(IAttribute* AOther) override {
    TStoredOnly mine(this), theirs(dynamic_cast<TRolledUpChild*>(AOther));
    return TBase::EqualTo(AOther);
  }
  void Assign(IAttribute* ASource) override {
    TStoredOnly theirs(dynamic_cast<TRolledUpChild*>(ASource));
    TBase::Assign(ASource);
  }

 protected:
  // The value to answer instead of AStored: the rolled-up one for a summary of a scheduling map.
  virtual TValue RolledUpValue(TValue AStored) = 0;

 private:
  // Makes GetValue answer the stored value while it lives; nests.
  class TStoredOnly {
   public:
    explicit TStoredOnly(TRolledUpChild* AChild) : FChild(AChild) {
      if (FChild) ++FChild->FStoredOnly;
    }
    ~TStoredOnly() {
      if (FChild) --FChild->FStoredOnly;
    }
    TStoredOnly(const TStoredOnly&) = delete;
    TStoredOnly& operator=(const TStoredOnly&) = delete;

   private:
    TRolledUpChild* FChild;
  };
  int FStoredOnly = 0;
};

class TActionCompleteAttribute : public TRolledUpChild<TIntegerAttribute, int32_t> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  int32_t RolledUpValue(int32_t AStored) override;
};

class TActionCompleteDateAttribute : public TRolledUpChild<TDateTimeAttribute, double> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  double RolledUpValue(double AStored) override;
};

class TActionDurationAttribute : public TRolledUpChild<TDoubleAttribute, double> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  double RolledUpValue(double AStored) override;
};

class TActionDurationMeasureAttribute : public TRolledUpChild<TIntegerAttribute, int32_t> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  int32_t RolledUpValue(int32_t AStored) override;
};

class TActionStartDateAttribute : public TRolledUpChild<TDateTimeAttribute, double> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  double RolledUpValue(double AStored) override;
};

class TActionStatusAttribute : public TRolledUpChild<TStringAttribute, std::string> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  std::string RolledUpValue(std::string AStored) override;
};

// A summary's own flag: it has no rolled-up value, so it answers the stored one.
class TActionIsSummaryAttribute : public TRolledUpChild<TWordBoolAttribute, bool> {
 public:
  using TRolledUpChild::TRolledUpChild;

 protected:
  bool RolledUpValue(bool AStored) override { return AStored; }
};

// The constraint type's text, which the record reads in place: validations ask for the kind of
// every task they reach, and the text is too long to copy without the heap.
class TActionConstraintTypeAttribute : public TStringAttribute {
 public:
  using TStringAttribute::TStringAttribute;

  const std::string& Text() {
    CheckLoaded();
    return Value();
  }
};

// One node's action record: eighteen children in the order of TActionField. A new record holds
// zero values and the constraint "tcAsSoonAsPossible", and is neither loaded nor modified, so its
// first read asks the document. The children are fixed; do not add or delete any.
class TActionAttribute : public TImplements<TRecordAttribute, IActionAttribute> {
 public:
  // With a controller (the property carrying the record) the record is aggregated into it.
  explicit TActionAttribute(IUnknown* AController = nullptr);

  // Our record behind an interface pointer (also the property carrying it), or null for any other
  // object; not counted.
  static TActionAttribute* FromAction(IUnknown* AObject) noexcept;
  // Not an interface: asked with this GUID, an action record, and the property carrying it, answer
  // the TActionAttribute object.
  static constexpr GUID ObjectIid = MakeGuid("3D7B5E21-9C4A-4F6E-8B13-A5E0C2D47F98");

  // IActionAttribute
  int32_t GetComplete() override;
  double GetCompletedDate() override;
  double GetConstraintDate() override;
  TTaskConstraintType GetConstraintType() override;
  double GetCost() override;
  double GetDueDate() override;
  double GetDuration() override;
  double GetDurationInDays() override;
  double GetDurationInHours() override;
  int32_t GetDurationInMinutes() override;
  int32_t GetDurationMeasure() override;
  bool GetIsAction() override;
  bool GetPostedToOutlook() override;
  std::string GetPriority() override;
  double GetQuantity() override;
  double GetStartDate() override;
  std::string GetStatus() override;
  double GetWork() override;
  int32_t GetWorkMeasure() override;
  bool GetIsMilestone() override;
  bool GetIsSummary() override;
  bool IsEmpty() override;
  void SetComplete(int32_t AValue) override;
  void SetCompletedDate(double AValue) override;
  void SetConstraintDate(double AValue) override;
  void SetConstraintType(TTaskConstraintType AValue) override;
  void SetCost(double AValue) override;
  void SetDueDate(double AValue) override;
  void SetDuration(double AValue) override;
  void SetDurationMeasure(int32_t AValue) override;
  void SetIsAction(bool AValue) override;
  void SetPostedToOutlook(bool AValue) override;
  void SetPriority(const std::string& AValue) override;
  void SetQuantity(double AValue) override;
  void SetStartDate(double AValue) override;
  void SetStatus(const std::string& AValue) override;
  void SetWork(double AValue) override;
  void SetWorkMeasure(int32_t AValue) override;
  void SetIsMilestone(bool AValue) override;

  // The tooltip: empty for an empty record, else the set fields joined by "<BR>" (option bit 2)
  // or ", ", the due date in red once it has passed unfinished, wrapped in HTML and BODY.
  std::string AsHtml(int32_t AOptions) override;
  // The set fields as "label value", each preceded by CR LF (option bit 2) or ", ".
  std::string AsPlainText(int32_t AOptions) override;

  // The values the record holds itself, never rolled up: what a summary's own fields say.
  int32_t StoredComplete();
  double StoredCompletedDate();
  double StoredDuration();
  int32_t StoredDurationMeasure();
  bool StoredIsSummary();
  double StoredStartDate();
  const std::string& StoredStatus();
  const std::string& StoredPriority();

  // The stored start and finish with their flags: what a date write replaces, put back exactly
  // on undo without copying the record.
  struct TDatesState {
    double Start = 0;
    double Finish = 0;
    uint32_t StartFlags = 0;
    uint32_t FinishFlags = 0;
  };
  TDatesState SaveDates();
  void RestoreDates(const TDatesState& AState);
  // Writes both as an edit applied from another record would: the value, flagged loaded and modified.
  void WriteDates(double AStart, double AFinish);
  // Asks the processor for what RestoreDates and the release of a reference read, for a walk that
  // restores many records: first the record's own memory, then, once that is at hand, its slots
  // and the property carrying it.
  void PrefetchRecord() const noexcept;
  void PrefetchDates() noexcept;
  // Asks for the whole slot block: a task's rules read half a dozen fields spread over it, and in
  // a large map each record's block lies far from the last one's.
  void PrefetchSlots() noexcept;

  // Told by the property carrying the record whenever it is attached or detached (AHost empty),
  // so that rolled-up reads find the node without climbing to the property; not counted.
  void SetCarrierHost(IUnknown* AHost) noexcept;
  // Whether a property carrying the record has said where it is; else only that property knows.
  bool HasCarrier() const noexcept { return FHasCarrier; }
  // The node the carrying property is attached to, asked once per attachment; null for none.
  INode* CarrierNode() noexcept;

 protected:
  // Also answers FromAction's private query.
  bool FindInterface(const GUID& AIid, void** AObject) noexcept override;
  // The eighteen children, made on first need: a loaded map holds a record per action, most of
  // which nobody reads before the map is closed.
  void MakeChildren() override;

 private:
  // The status a write of duration, priority or work gives a record that has none.
  void DefaultStatus();
  // True when the carrying property's node is known to be no summary (or there is none): the
  // rolled-up fields then answer what they store, without the children asking their way up.
  bool OrdinaryTask() noexcept;

  // The children by type, in the order of TActionField; empty until the children are made.
  struct TFields {
    ComPtr<TActionCompleteAttribute> Complete;
    ComPtr<TActionCompleteDateAttribute> CompletedDate;
    ComPtr<TDateTimeAttribute> DueDate;
    ComPtr<TActionDurationAttribute> Duration;
    ComPtr<TActionDurationMeasureAttribute> DurationMeasure;
    ComPtr<TWordBoolAttribute> IsAction;
    ComPtr<TStringAttribute> Priority;
    ComPtr<TActionStartDateAttribute> StartDate;
    ComPtr<TActionStatusAttribute> Status;
    ComPtr<TWordBoolAttribute> PostedToOutlook;
    ComPtr<TDoubleAttribute> Work;
    ComPtr<TDoubleAttribute> Cost;
    ComPtr<TDoubleAttribute> Quantity;
    ComPtr<TIntegerAttribute> WorkMeasure;
    ComPtr<TWordBoolAttribute> IsMilestone;
    ComPtr<TActionIsSummaryAttribute> IsSummary;
    ComPtr<TActionConstraintTypeAttribute> ConstraintType;
    ComPtr<TDateTimeAttribute> ConstraintDate;

    // From the attribute pools, beside the children it holds: from the heap, each record's block
    // would lie between the nodes, and a walk of the nodes would read twice the memory.
    static void* operator new(size_t ASize) { return TAttributePool::Allocate(ASize); }
    static void operator delete(void* ABlock, size_t ASize) noexcept { TAttributePool::Free(ABlock, ASize); }
  };
  // The children, made on first need.
  TFields& Fields();

  // Held apart: most records of a loaded map never make their children.
  std::unique_ptr<TFields> FFields;
  IUnknown* FCarrierHost = nullptr;
  INode* FCarrierNode = nullptr;
  bool FHasCarrier = false;
  bool FCarrierNodeKnown = false;
};

// One of the map's own priority texts. Its string child comes from the attribute factory, so
// constructing one raises when the factory cannot be reached.
class TMapActionAttribute : public TImplements<TRecordAttribute, IMapActionAttribute> {
 public:
  explicit TMapActionAttribute(IUnknown* AController = nullptr);

  std::string GetMapStatus() override;
  void SetMapStatus(const std::string& AValue) override;

 private:
  ComPtr<IStringAttribute> FMapStatus;
};

// The map's priority texts; items come from the attribute factory as IMapActionAttribute.
class TMapActionListAttribute : public TImplements<TListAttribute, IMapActionListAttribute> {
 public:
  explicit TMapActionListAttribute(IUnknown* AController = nullptr);

  ComPtr<IMapActionAttribute> AddText(const std::string& AText) override;
};
