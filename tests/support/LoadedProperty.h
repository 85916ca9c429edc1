#pragma once
// Properties made in code the way a read file makes them: marked loaded, so that nothing tries to
// read them from a file the map never had.
#include "com/ComPtr.h"
#include "host/LumetaModel.h"

// A new property of the manager registered as AName.
inline ComPtr<IProperty> NewLoadedProperty(TLumetaModel& AModel, const char* AName) {
  ComPtr<IProperty> property = AModel.NewProperty(AName);
  property.as<IAttribute>()->SetFlagEx(afLoaded, true, true);
  return property;
}

// ANode's property named AName, made and set on the node when it has none, as interface I.
template <class I>
ComPtr<I> LoadedPropertyOf(TLumetaModel& AModel, INode* ANode, const char* AName) {
  ComPtr<IProperty> property = ANode->FindProperty(AName);
  if (!property) {
    property = NewLoadedProperty(AModel, AName);
    ANode->SetProperty(property.get());
  }
  return QueryAs<I>(property.get());
}
