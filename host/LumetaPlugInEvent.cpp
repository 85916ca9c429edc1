#include "host/LumetaPlugInEvent.h"

#include <utility>

TLumetaPlugInEvent::TLumetaPlugInEvent(int32_t AKind, ILumetaModel* AModel, ISelection* ASelection, INodeList* ANodes)
    : FKind(AKind), FModel(AModel), FSelection(ASelection), FNodes(ANodes) {}

int32_t TLumetaPlugInEvent::GetKind() { return FKind; }

ComPtr<INodeList> TLumetaPlugInEvent::GetNodes() { return FNodes; }

ComPtr<ILumetaModel> TLumetaPlugInEvent::GetModel() { return FModel; }

ComPtr<ISelection> TLumetaPlugInEvent::GetSelection() { return FSelection; }

ComPtr<IUnknown> TLumetaPlugInEvent::GetScheduler() { return FScheduler; }

std::string TLumetaPlugInEvent::GetFieldName() { return FFieldName; }

std::string TLumetaPlugInEvent::GetFieldValue() { return FFieldValue; }

void TLumetaPlugInEvent::SetFieldValue(const std::string& AValue) { FFieldValue = AValue; }

int32_t TLumetaPlugInEvent::GetResult() { return FResult; }

void TLumetaPlugInEvent::SetResult(int32_t AResult) { FResult = AResult; }

void TLumetaPlugInEvent::SetScheduler(IUnknown* AScheduler) { FScheduler = AScheduler; }

void TLumetaPlugInEvent::SetField(std::string AName, std::string AValue) {
  FFieldName = std::move(AName);
  FFieldValue = std::move(AValue);
}
