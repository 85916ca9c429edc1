#pragma once
// How a property's attributes map onto the map file: declarations attached to each property
// class, read by the host's XML archive. The archive looks attributes up by the declared names
// and never knows a property by name itself.
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "com/Variant.h"

struct ITaskLink;

// One element of the archive's document, as converters see it.
struct IXmlElement : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("BA5A341E-F566-4F54-9636-5D3699536C4D");
  virtual std::string GetName() = 0;
  virtual std::string GetText() = 0;
  virtual void SetText(const std::string& AText) = 0;
  // False, leaving AValue alone, when the element has no such attribute.
  virtual bool GetAttribute(const std::string& AName, std::string& AValue) = 0;
  // Creates the attribute when missing.
  virtual void SetAttribute(const std::string& AName, const std::string& AValue) = 0;
};

// Converts an attribute's value (GetAsValue) to the text stored in the file and back. Never
// raises on bad text: each converter has its default.
struct IDataConverter : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("3E38B37E-FBE5-44A5-8113-4D3A6B025C3E");
  virtual std::string ConvertToString(const TVariant& AValue) = 0;
  virtual TVariant ConvertFromString(const std::string& AText) = 0;
};

// Converters for values that are more than one text: the archive hands them the element.
struct ITaskLinkDataLoader : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("0B951285-8A2C-44B6-824C-EFD1259A5D93");
  virtual void LoadFromXml(IXmlElement* AElement, ITaskLink* ALink) = 0;
  virtual void SaveToXml(IXmlElement* AElement, ITaskLink* ALink) = 0;
};

using TDataConverterClass = ComPtr<IDataConverter> (*)();

enum class TXmlDeclarationKind { Element, Attribute, ListElement };

// An attribute name in the tree (GetName) and the XML name it is stored under.
class XmlBase {
 public:
  XmlBase(std::string APropertyName, bool AAllowEmpty);
  XmlBase(std::string APropertyName, std::string AXmlName, bool AAllowEmpty);
  virtual ~XmlBase();

  virtual TXmlDeclarationKind Kind() const = 0;
  const std::string& PropertyName() const noexcept { return FPropertyName; }
  const std::string& XmlName() const noexcept { return FXmlName; }
  // False for values whose empty text means "not set": nothing is written for them then.
  bool AllowEmpty() const noexcept { return FAllowEmpty; }

 protected:
  std::string FPropertyName;
  std::string FXmlName;
  bool FAllowEmpty;
};

class XmlProperty : public XmlBase {
 public:
  XmlProperty(std::string APropertyName, std::string AXmlName, bool AAllowEmpty);
  XmlProperty(std::string APropertyName, std::string AXmlName, std::string AOwnerElement, bool AAllowEmpty);
  XmlProperty(std::string APropertyName, std::string AXmlName, TDataConverterClass AConverterClass, bool AAllowEmpty);
  XmlProperty(std::string APropertyName, std::string AXmlName, std::string AOwnerElement,
              TDataConverterClass AConverterClass, bool AAllowEmpty);

  // The XML name of the element that carries this one; empty for the property's own element.
  const std::string& OwnerElement() const noexcept { return FOwnerElement; }
  // A new converter, or empty when the value's own text form is stored.
  ComPtr<IDataConverter> DataConverter() const;
  // The range a number read from a file must lie in (the whole line when none was given): the
  // archive moves a value outside it to the nearer end, with a warning.
  double Minimum() const noexcept { return FMinimum; }
  double Maximum() const noexcept { return FMaximum; }
  void SetRange(double AMinimum, double AMaximum) noexcept {
    FMinimum = AMinimum;
    FMaximum = AMaximum;
  }

 protected:
  std::string FOwnerElement;
  TDataConverterClass FConverterClass = nullptr;
  double FMinimum = -std::numeric_limits<double>::infinity();
  double FMaximum = std::numeric_limits<double>::infinity();
};

// The declaration with the range its number must lie in, for a declaration table.
template <class T>
T Within(T ADeclaration, double AMinimum, double AMaximum) {
  ADeclaration.SetRange(AMinimum, AMaximum);
  return ADeclaration;
}

// The value is written as a child element.
class XmlElement : public XmlProperty {
 public:
  using XmlProperty::XmlProperty;
  TXmlDeclarationKind Kind() const override { return TXmlDeclarationKind::Element; }
};

// The value is written as an XML attribute.
class XmlAttribute : public XmlProperty {
 public:
  using XmlProperty::XmlProperty;
  TXmlDeclarationKind Kind() const override { return TXmlDeclarationKind::Attribute; }
};

// A list written as an element holding one element per item; the item's own declaration is the
// one named ItemPropertyName.
class XmlListElement : public XmlElement {
 public:
  XmlListElement(std::string APropertyName, std::string AXmlName, std::string AItemPropertyName);
  XmlListElement(std::string APropertyName, std::string AXmlName, std::string AItemPropertyName,
                 TDataConverterClass AConverterClass);
  TXmlDeclarationKind Kind() const override { return TXmlDeclarationKind::ListElement; }
  const std::string& ItemPropertyName() const noexcept { return FItemPropertyName; }
  // The list element, on the node each item names, that holds the same item naming this node
  // back (empty when the list has no such pair): links are stored on both of their ends, and the
  // archive completes a pair that a file holds only one end of.
  const std::string& PairedList() const noexcept { return FPairedList; }
  void SetPairedList(std::string AXmlName) { FPairedList = std::move(AXmlName); }

 private:
  std::string FItemPropertyName;
  std::string FPairedList;
};

// The list declaration with the list that holds each item's other end, for a declaration table.
inline XmlListElement Paired(XmlListElement ADeclaration, std::string APairedList) {
  ADeclaration.SetPairedList(std::move(APairedList));
  return ADeclaration;
}

// A property class's declarations in declaration order: the property's own element first.
using TXmlDeclarations = std::vector<std::unique_ptr<XmlBase>>;

// Answered by every property that the map file stores.
struct IXmlMapping : virtual IUnknown {
  static constexpr GUID Iid = MakeGuid("2459B565-6BE7-4AD4-A3FE-D90417FABDE9");
  // Lives as long as the property's class (static data of its library).
  virtual const TXmlDeclarations& GetXmlDeclarations() = 0;
};
