#pragma once
// A map event as the host tells the plug-ins' controllers about it, with the answer they give.
#include <cstdint>
#include <string>

#include "com/AggregableObject.h"
#include "contract/PlugInUIIntf.h"

// Holds the model, the selection, the carried nodes and the scheduler counted; each may be empty.
// The result starts at 0.
class TLumetaPlugInEvent : public TImplements<TAggregableObject, IInteraction, IPlugInEvent, IPlugInEventResult> {
 public:
  TLumetaPlugInEvent(int32_t AKind, ILumetaModel* AModel, ISelection* ASelection, INodeList* ANodes = nullptr);

  // IInteraction
  int32_t GetKind() override;
  ComPtr<INodeList> GetNodes() override;

  // IPlugInEvent
  ComPtr<ILumetaModel> GetModel() override;
  ComPtr<ISelection> GetSelection() override;
  ComPtr<IUnknown> GetScheduler() override;
  std::string GetFieldName() override;
  std::string GetFieldValue() override;
  void SetFieldValue(const std::string& AValue) override;

  // IPlugInEventResult
  int32_t GetResult() override;
  void SetResult(int32_t AResult) override;

  void SetScheduler(IUnknown* AScheduler);
  // The action field a pick list is for, and its current value as text.
  void SetField(std::string AName, std::string AValue);

 private:
  int32_t FKind;
  ComPtr<ILumetaModel> FModel;
  ComPtr<ISelection> FSelection;
  ComPtr<INodeList> FNodes;
  ComPtr<IUnknown> FScheduler;
  std::string FFieldName;
  std::string FFieldValue;
  int32_t FResult = 0;
};
