#include "plugin/LumetaNodeDateProperty.h"

#include "com/OleDate.h"
#include "plugin/PropertyFactory.h"

TLumetaNodeDateAttribute::TLumetaNodeDateAttribute(IUnknown* AController)
    : TRecordAttribute(std::span<const char* const>(KNodeDateNames), AController) {
  DeferChildren();
}

void TLumetaNodeDateAttribute::MakeChildren() {
  ReserveChildren(static_cast<int32_t>(KNodeDateNames.size()));
  for (size_t i = 0; i < KNodeDateNames.size(); ++i) {
    ComPtr<TDateTimeAttribute> child = make<TDateTimeAttribute>();
    AddChild(child.get());
    if (i == 0 && FInitialCreatedDate != 0) child->SetValue(FInitialCreatedDate);
  }
}

TLumetaNodeDateProperty::TLumetaNodeDateProperty() { Initialize(); }

void TLumetaNodeDateProperty::Initialize() {
  TLumetaProperty::Initialize();
  FDates = CreateAttribute<TLumetaNodeDateAttribute>();
  FDates->SetInitialCreatedDate(NowAsDateTime());
  FDates->SetFlagEx(afLoaded, false, true);
}

std::string TLumetaNodeDateProperty::ManagerClassDescription() { return ManagerInfo.Description; }

std::string TLumetaNodeDateProperty::GetCaption() { return "Dates"; }

const TXmlDeclarations& TLumetaNodeDateProperty::GetXmlDeclarations() {
  static const TXmlDeclarations declarations =
      MakeXmlDeclarations(XmlElement("NodeDates", "NodeDates", true), XmlElement("Created Date", "CreatedDate", true),
                          XmlElement("Modified Date", "ModifiedDate", true));
  return declarations;
}

ComPtr<IDateTimeAttribute> TLumetaNodeDateProperty::DateChild(const char* AName) {
  // A record child's name is its place in the name table, so while the record keeps its shape the
  // place answers without FindChild computing and caching every child's name (once per node).
  ComPtr<IAttribute> child;
  if (FDates->Count() == static_cast<int32_t>(KNodeDateNames.size()))
    for (size_t i = 0; i < KNodeDateNames.size() && !child; ++i)
      if (KNodeDateNames[i] == AName) child = FDates->ChildAt(static_cast<int32_t>(i));
  if (!child) child = FDates->FindChild(AName);
  return child.as<IDateTimeAttribute>();
}

double TLumetaNodeDateProperty::GetCreatedDate() { return DateChild(KNodeDateNames[0])->GetValue(); }

double TLumetaNodeDateProperty::GetModifiedDate() { return DateChild(KNodeDateNames[1])->GetValue(); }

void TLumetaNodeDateProperty::SetCreatedDate(double ADate) { DateChild(KNodeDateNames[0])->SetValue(ADate); }

void TLumetaNodeDateProperty::SetModifiedDate(double ADate) { DateChild(KNodeDateNames[1])->SetValue(ADate); }

void RegisterNodeDatePropertyManager(IAttributeFactory* AFactory) {
  AFactory->Register(TLumetaNodeDateProperty::ManagerInfo.Description,
                     &CreatePropertyManager<TLumetaNodeDatePropertyManager>);
}
