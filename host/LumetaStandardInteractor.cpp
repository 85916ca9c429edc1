#include "host/LumetaStandardInteractor.h"

TLumetaStandardInteractor::TLumetaStandardInteractor(ICommandEntry* AEntry, IUnknown* AValue, ILumetaModel* AModel,
                                                     ISelection* ASelection)
    : FEntry(AEntry), FValue(AValue), FModel(AModel), FSelection(ASelection) {}

ComPtr<ICommandEntry> TLumetaStandardInteractor::GetEntry() { return FEntry; }

ComPtr<IUnknown> TLumetaStandardInteractor::GetValue() { return FValue; }

ComPtr<ILumetaModel> TLumetaStandardInteractor::GetModel() { return FModel; }

ComPtr<ISelection> TLumetaStandardInteractor::GetSelection() { return FSelection; }
