#include "attributes/XmlAttributes.h"

XmlBase::XmlBase(std::string APropertyName, bool AAllowEmpty)
    : FPropertyName(APropertyName), FXmlName(std::move(APropertyName)), FAllowEmpty(AAllowEmpty) {}

XmlBase::XmlBase(std::string APropertyName, std::string AXmlName, bool AAllowEmpty)
    : FPropertyName(std::move(APropertyName)), FXmlName(std::move(AXmlName)), FAllowEmpty(AAllowEmpty) {}

XmlBase::~XmlBase() = default;

XmlProperty::XmlProperty(std::string APropertyName, std::string AXmlName, bool AAllowEmpty)
    : XmlBase(std::move(APropertyName), std::move(AXmlName), AAllowEmpty) {}

XmlProperty::XmlProperty(std::string APropertyName, std::string AXmlName, std::string AOwnerElement, bool AAllowEmpty)
    : XmlBase(std::move(APropertyName), std::move(AXmlName), AAllowEmpty), FOwnerElement(std::move(AOwnerElement)) {}

XmlProperty::XmlProperty(std::string APropertyName, std::string AXmlName, TDataConverterClass AConverterClass,
                         bool AAllowEmpty)
    : XmlBase(std::move(APropertyName), std::move(AXmlName), AAllowEmpty), FConverterClass(AConverterClass) {}

XmlProperty::XmlProperty(std::string APropertyName, std::string AXmlName, std::string AOwnerElement,
                         TDataConverterClass AConverterClass, bool AAllowEmpty)
    : XmlBase(std::move(APropertyName), std::move(AXmlName), AAllowEmpty),
      FOwnerElement(std::move(AOwnerElement)),
      FConverterClass(AConverterClass) {}

ComPtr<IDataConverter> XmlProperty::DataConverter() const {
  return FConverterClass ? FConverterClass() : ComPtr<IDataConverter>();
}

XmlListElement::XmlListElement(std::string APropertyName, std::string AXmlName, std::string AItemPropertyName)
    : XmlElement(std::move(APropertyName), std::move(AXmlName), true), FItemPropertyName(std::move(AItemPropertyName)) {}

XmlListElement::XmlListElement(std::string APropertyName, std::string AXmlName, std::string AItemPropertyName,
                               TDataConverterClass AConverterClass)
    : XmlElement(std::move(APropertyName), std::move(AXmlName), AConverterClass, true),
      FItemPropertyName(std::move(AItemPropertyName)) {}
