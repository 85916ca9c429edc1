#pragma once
// The plug-in's classes linked into the program instead of loaded from its library: an attribute
// factory holding the standard and the plug-in's attribute classes, and the five property
// managers registered with an archive.
#include "attributes/LumetaAttributeFactory.h"
#include "host/xml/LumetaXmlArchive.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeDateProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"

// Installs the factory for the life of the object and registers the managers with AArchive.
class TInProcessPlugIn {
 public:
  explicit TInProcessPlugIn(TLumetaXmlArchive& AArchive) {
    ComPtr<TLumetaAttributeFactory> factory = make<TLumetaAttributeFactory>();
    RegisterStandardAttributeClasses(factory.get());
    RegisterPlugInAttributeClasses(factory.get());
    SetAttributeFactory(factory.get());
    for (ComPtr<IPropertyManager> manager :
         {ComPtr<IPropertyManager>(make<TActionPropertyManager>()), ComPtr<IPropertyManager>(make<TMasterActionPropertyManager>()),
          ComPtr<IPropertyManager>(make<TLumetaNodeLinksPropertyManager>()),
          ComPtr<IPropertyManager>(make<TLumetaSuccessorLinksPropertyManager>()),
          ComPtr<IPropertyManager>(make<TLumetaNodeDatePropertyManager>())})
      AArchive.RegisterManager(manager.get());
  }
  ~TInProcessPlugIn() { SetAttributeFactory(nullptr); }
  TInProcessPlugIn(const TInProcessPlugIn&) = delete;
  TInProcessPlugIn& operator=(const TInProcessPlugIn&) = delete;
};
