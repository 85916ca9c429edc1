#pragma once
// What the host hands a controller with a command entry: the entry, the edited value, the model
// and the selection.
#include "com/AggregableObject.h"
#include "contract/PlugInUIIntf.h"

// Holds all four counted; the value and the selection may be empty.
class TLumetaStandardInteractor : public TImplements<TAggregableObject, IStandardInteractor> {
 public:
  TLumetaStandardInteractor(ICommandEntry* AEntry, IUnknown* AValue, ILumetaModel* AModel, ISelection* ASelection);

  ComPtr<ICommandEntry> GetEntry() override;
  ComPtr<IUnknown> GetValue() override;
  ComPtr<ILumetaModel> GetModel() override;
  ComPtr<ISelection> GetSelection() override;

 private:
  ComPtr<ICommandEntry> FEntry;
  ComPtr<IUnknown> FValue;
  ComPtr<ILumetaModel> FModel;
  ComPtr<ISelection> FSelection;
};
