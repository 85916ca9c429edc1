#include "host/LumetaCommandEntry.h"

TLumetaCommandEntry::TLumetaCommandEntry(int32_t AID, bool ACheckable, bool AApplicable)
    : FID(AID), FCheckable(ACheckable), FApplicable(AApplicable) {}

int32_t TLumetaCommandEntry::GetID() { return FID; }

bool TLumetaCommandEntry::GetEnabled() { return FEnabled; }

void TLumetaCommandEntry::SetEnabled(bool AEnabled) { FEnabled = AEnabled; }

bool TLumetaCommandEntry::GetCheckable() { return FCheckable; }

bool TLumetaCommandEntry::GetChecked() { return FChecked; }

void TLumetaCommandEntry::SetChecked(bool AChecked) { FChecked = AChecked; }

bool TLumetaCommandEntry::GetApplicable() { return FApplicable; }
