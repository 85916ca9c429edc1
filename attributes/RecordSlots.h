#pragma once
// The values of a record's scalar children kept inline, in child order, in one block: copying,
// comparing, merging and hashing two records of one class walk these slots instead of eighteen
// objects behind eighteen pointers. A child object is made only when someone asks for one; it
// then reads and writes its slot.
#include <cstdint>
#include <span>
#include <string>

class TAttribute;

// What a slot holds; the scalar class made for it is the standard class of that kind.
enum class TSlotKind : uint8_t { Integer, Double, DateTime, String, WordBool };

// One child's flags and value.
struct TSlot {
  uint32_t Flags = 0;
  uint16_t Index = 0;  // the child's position, which leads back to the block's head
  TSlotKind Kind = TSlotKind::Integer;
  union {
    int32_t Integer;
    double Real = 0;
    int16_t WordBool;
    uint32_t Text;  // the text's place among the block's texts
  };
};
static_assert(sizeof(TSlot) == 16);

// The head, the slots, then the texts, in one block from the attribute pools.
class TRecordSlots {
 public:
  // Zero values and flags; ARecord is the record that owns the block.
  static TRecordSlots* Make(std::span<const TSlotKind> ALayout, TAttribute* ARecord);
  static void Free(TRecordSlots* ABlock) noexcept;

  TAttribute* Record() const noexcept { return FRecord; }
  uint16_t Count() const noexcept { return FCount; }
  TSlot* Slots() noexcept { return reinterpret_cast<TSlot*>(this + 1); }
  std::span<TSlot> All() noexcept { return {Slots(), FCount}; }
  std::string& Text(const TSlot& ASlot) noexcept { return Texts()[ASlot.Text]; }
  // Every text slot's text, in slot order.
  std::span<std::string> AllTexts() noexcept { return {Texts(), FTexts}; }
  static TRecordSlots* Of(TSlot* ASlot) noexcept { return reinterpret_cast<TRecordSlots*>(ASlot - ASlot->Index) - 1; }
  // The block's bytes, for prefetching.
  uint32_t Bytes() const noexcept { return FBytes; }

 private:
  TRecordSlots() = default;
  std::string* Texts() noexcept { return reinterpret_cast<std::string*>(Slots() + FCount); }

  TAttribute* FRecord = nullptr;
  uint16_t FCount = 0;
  uint16_t FTexts = 0;
  uint32_t FBytes = 0;
};
static_assert(sizeof(TRecordSlots) == 16);
