#include "plugin/ActionProperty.h"

#include "attributes/XmlDataConverters.h"
#include "scheduling/LumetaNodeLinkAttributes.h"

TActionPropertyManager::TActionPropertyManager() { Initialize(); }

std::string TActionPropertyManager::GetClassDescription() { return ClassDescription; }

ComPtr<IProperty> TActionPropertyManager::CreateProperty() { return make<TActionProperty>(); }

bool TActionPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  TLumetaPropertyManager::RegisterWith(ACatalogue);
  ComPtr<IUnknown> catalogue(ACatalogue);
  catalogue.as<IPropertyCatalogue>()->SetClassID(CLSID_ActionPropertyManager);
  if (auto flags = catalogue.try_as<ICatalogueFlags>()) flags->SetCatalogueFlags(flags->GetCatalogueFlags() | 1u);
  return true;
}

void TActionPropertyManager::Startup(IUnknown*) {}

void TActionPropertyManager::BeginSession(IUnknown*) {}

void TActionPropertyManager::EndSession(IUnknown*) {}

void TActionPropertyManager::Shutdown(IUnknown*) {}

TMasterActionPropertyManager::TMasterActionPropertyManager() { Initialize(); }

std::string TMasterActionPropertyManager::GetClassDescription() { return ClassDescription; }

ComPtr<IProperty> TMasterActionPropertyManager::CreateProperty() { return make<TMasterActionProperty>(); }

bool TMasterActionPropertyManager::RegisterWith(IUnknown* ACatalogue) {
  TLumetaPropertyManager::RegisterWith(ACatalogue);
  ComPtr<IUnknown>(ACatalogue).as<IPropertyCatalogue>()->SetClassID(CLSID_MasterActionPropertyManager);
  return true;
}

void TMasterActionPropertyManager::Startup(IUnknown*) {}

void TMasterActionPropertyManager::BeginSession(IUnknown*) {}

void TMasterActionPropertyManager::EndSession(IUnknown*) {}

void TMasterActionPropertyManager::Shutdown(IUnknown*) {}

void TMasterActionPropertyManager::MapCreated(IUnknown*) {}

void TMasterActionPropertyManager::MapLoaded(IUnknown*) {}

void TMasterActionPropertyManager::MapSaving(IUnknown*) {}

void TMasterActionPropertyManager::MapClosed(IUnknown*) {}

TActionProperty::TActionProperty() { Initialize(); }

void TActionProperty::Initialize() {
  TLumetaProperty::Initialize();
  FAction = CreateAttribute<TActionAttribute>();
}

std::string TActionProperty::ManagerClassDescription() { return TActionPropertyManager::ClassDescription; }

std::string TActionProperty::GetCaption() { return "Action"; }

std::string TActionProperty::GetHint() { return FAction->AsHtml(3); }

const TXmlDeclarations& TActionProperty::GetXmlDeclarations() {
  // Is Summary is derived from the subtasks, so it is never stored. The dates write nothing while
  // they are not set.
  static const TXmlDeclarations declarations = MakeXmlDeclarations(
      XmlElement("Action", "Action", true),
      XmlElement("Complete", "Complete", true),
      XmlElement("Completed Date", "CompletedDate", false),
      XmlElement("Cost", "Cost", true),
      XmlElement("Due Date", "DueDate", false),
      XmlElement("Duration", "Duration", true),
      XmlElement("Priority", "Priority", true),
      XmlElement("Quantity", "Quantity", true),
      XmlElement("Start Date", "StartDate", false),
      XmlElement("Status", "Status", true),
      XmlElement("Work", "Work", true),
      XmlElement("Constraint Type", "ConstraintType", &NewConverter<TTaskConstraintTypeDataConverter>, true),
      XmlElement("Constraint Date", "ConstraintDate", false),
      XmlAttribute("Is Action", "ForOutlook", true),
      XmlAttribute("Posted To Outlook", "PostedToOutlook", true),
      XmlAttribute("Is Milestone", "Milestone", true),
      XmlAttribute("Duration Measure", "Measure", "Duration", &NewConverter<TActionMeasureConverter>, true),
      XmlAttribute("Work Measure", "Measure", "Work", &NewConverter<TActionMeasureConverter>, true));
  return declarations;
}

TMasterActionProperty::TMasterActionProperty() { Initialize(); }

void TMasterActionProperty::Initialize() {
  TLumetaProperty::Initialize();
  FActionList = CreateAttribute<TMapActionListAttribute>();
  FActionList->SetItemType(uuidof<IMapActionAttribute>());
}

std::string TMasterActionProperty::ManagerClassDescription() { return TMasterActionPropertyManager::ClassDescription; }

const TXmlDeclarations& TMasterActionProperty::GetXmlDeclarations() {
  static const TXmlDeclarations declarations =
      MakeXmlDeclarations(XmlListElement("Action List", "ActionList", "MapAction"),
                          XmlElement("MapAction", "MapAction", true), XmlElement("Map Status", "Priority", true));
  return declarations;
}

void RegisterPlugInAttributeClasses(ILumetaAttributeFactory* AFactory) {
  RegisterActionAttributeClasses(AFactory);
  RegisterNodeLinkAttributeClass(AFactory);
}

void UnregisterPlugInAttributeClasses(ILumetaAttributeFactory* AFactory) {
  for (const GUID& iid : {uuidof<IActionAttribute>(), uuidof<IMapActionAttribute>(), uuidof<IMapActionListAttribute>(),
                          TaskLinkAttributeIid})
    AFactory->RegisterClass(iid, nullptr);
}

ComPtr<IUnknown> CreateLumetaClass(const GUID& AClassID) {
  if (AClassID == CLSID_ActionPropertyManager) return make<TActionPropertyManager>();
  if (AClassID == CLSID_MasterActionPropertyManager) return make<TMasterActionPropertyManager>();
  throw EClassNotFound(GuidToString(AClassID));
}
