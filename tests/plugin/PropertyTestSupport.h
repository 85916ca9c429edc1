#pragma once
// What the property tests share: the plug-in's attribute classes in the process's attribute
// factory, as the plug-in library registers them when it loads.
#include "attributes/LumetaAttributeFactory.h"
#include "plugin/ActionProperty.h"

inline void RegisterPlugInClassesOnce() {
  static const bool registered = [] {
    RegisterPlugInAttributeClasses(AttributeFactory());
    return true;
  }();
  (void)registered;
}
