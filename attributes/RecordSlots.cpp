#include "attributes/RecordSlots.h"

#include <new>

#include "attributes/AttributePool.h"

TRecordSlots* TRecordSlots::Make(std::span<const TSlotKind> ALayout, TAttribute* ARecord) {
  uint16_t texts = 0;
  for (TSlotKind kind : ALayout)
    if (kind == TSlotKind::String) ++texts;
  const size_t bytes = sizeof(TRecordSlots) + ALayout.size() * sizeof(TSlot) + texts * sizeof(std::string);
  auto* block = new (TAttributePool::Allocate(bytes)) TRecordSlots();
  block->FRecord = ARecord;
  block->FCount = static_cast<uint16_t>(ALayout.size());
  block->FTexts = texts;
  block->FBytes = static_cast<uint32_t>(bytes);
  uint32_t text = 0;
  for (size_t i = 0; i < ALayout.size(); ++i) {
    TSlot* slot = new (block->Slots() + i) TSlot();
    slot->Index = static_cast<uint16_t>(i);
    slot->Kind = ALayout[i];
    if (ALayout[i] == TSlotKind::String) {
      new (block->Texts() + text) std::string();
      slot->Text = text++;
    }
  }
  return block;
}

void TRecordSlots::Free(TRecordSlots* ABlock) noexcept {
  if (!ABlock) return;
  for (uint16_t i = 0; i < ABlock->FTexts; ++i) ABlock->Texts()[i].~basic_string();
  const size_t bytes = ABlock->FBytes;
  ABlock->~TRecordSlots();
  TAttributePool::Free(ABlock, bytes);
}
