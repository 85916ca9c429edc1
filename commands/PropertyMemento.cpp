#include "commands/PropertyMemento.h"

#include <utility>

TPropertyMemento::TPropertyMemento(std::string ADescription, IProperty* AProperty)
    : FDescription(std::move(ADescription)), FPropertyMemento(AProperty) {}

TPropertyMemento::~TPropertyMemento() = default;

std::string TPropertyMemento::GetDescription() { return FDescription; }

ComPtr<IProperty> TPropertyMemento::GetPropertyMemento() { return FPropertyMemento; }

void TPropertyMemento::SetDescription(const std::string& ADescription) { FDescription = ADescription; }

void TPropertyMemento::SetPropertyMemento(IProperty* AProperty) { FPropertyMemento = AProperty; }
