#pragma once
// A map with the Action manager and nodes carrying Action properties.
#include <QImage>

#include <string>

#include "host/LumetaMap.h"
#include "plugin/ActionProperty.h"

class TSymbolMap {
 public:
  TLumetaMap Map;
  ComPtr<TActionPropertyManager> Manager = make<TActionPropertyManager>();

  // A new node under AParent (the root when null) with an empty Action property.
  TActionProperty* AddActionNode(TLumetaNode* AParent = nullptr) {
    TLumetaNode* node = Map.AddNode(AParent ? AParent : Map.Root(), "Task");
    ComPtr<IProperty> property = Manager->NewProperty();
    node->SetProperty(property.get());
    return dynamic_cast<TActionProperty*>(property.get());
  }
};

// The number of pixels that are not fully transparent.
inline int OpaquePixels(const QImage& AImage, const QRect& AArea) {
  int count = 0;
  for (int y = AArea.top(); y <= AArea.bottom(); ++y)
    for (int x = AArea.left(); x <= AArea.right(); ++x)
      if (qAlpha(AImage.pixel(x, y)) > 0) ++count;
  return count;
}
