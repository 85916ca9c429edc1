#pragma once
// The plug-in's classes linked into the program instead of loaded from its library: an attribute
// factory holding the standard and the plug-in's attribute classes, and the five property
// managers registered with an archive.
#include "host/xml/LumetaXmlArchive.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeDateProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/support/FactoryScope.h"

// Installs the factory for the life of the object and registers the managers with AArchive.
class TInProcessPlugIn {
 public:
  explicit TInProcessPlugIn(TLumetaXmlArchive& AArchive) {
    for (ComPtr<IPropertyManager> manager :
         {ComPtr<IPropertyManager>(make<TActionPropertyManager>()), ComPtr<IPropertyManager>(make<TMasterActionPropertyManager>()),
          ComPtr<IPropertyManager>(make<TLumetaNodeLinksPropertyManager>()),
          ComPtr<IPropertyManager>(make<TLumetaSuccessorLinksPropertyManager>()),
          ComPtr<IPropertyManager>(make<TLumetaNodeDatePropertyManager>())})
      AArchive.RegisterManager(manager.get());
  }

 private:
  TFactoryScope FFactory{&RegisterPlugInAttributeClasses};
};
