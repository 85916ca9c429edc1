#pragma once
// The converters between attribute values and the texts the map file stores where the two differ:
// measures, constraint types and task links, plus the fixed number format and Base64 helpers that
// converters and attributes share.
#include <string>
#include <string_view>

#include "attributes/XmlAttributes.h"
#include "com/StreamIntf.h"
#include "com/AggregableObject.h"

class TDataConverter : public TImplements<TAggregableObject, IDataConverter> {
 public:
  using TImplements::TImplements;

  // Both raise ENotImplemented: each subclass converts its own kind of value.
  std::string ConvertToString(const TVariant& AValue) override;
  TVariant ConvertFromString(const std::string& AText) override;

  // "." as the decimal separator whatever the locale; the shortest text of up to 15 significant
  // digits ("1234.5", "0.1", "1e+20").
  static std::string FloatToStr(double AValue);
  // Reads what FloatToStr writes, with blanks around it and a leading "+" allowed; 0 for text
  // that is not one whole number.
  static double StrToFloat(std::string_view AText);

  // The stream from its position to its end, standard alphabet with "=" padding.
  static std::string EncodeBase64(IStream* AStream);
  // Writes the decoded bytes at the stream's position. Blanks are skipped; decoding stops at the
  // padding or at the first character outside the alphabet, keeping the whole bytes before it.
  static void DecodeBase64(std::string_view AText, IStream* AStream);
};

// Measure codes: 0 "Hours", 1 "Days"; any other code (minutes included) writes empty text. Every
// text but exactly "Hours" reads as days.
class TActionMeasureConverter : public TDataConverter {
 public:
  using TDataConverter::TDataConverter;
  std::string ConvertToString(const TVariant& AValue) override;
  TVariant ConvertFromString(const std::string& AText) override;  // an int32_t
};

// The constraint identifier held by the record ("tcMustStartOn", or the ordinal) becomes
// "qz:MustStartOn". Reading gives the identifier back as text; a text naming no constraint reads
// as "tcAsLateAsPossible".
class TTaskConstraintTypeDataConverter : public TDataConverter {
 public:
  using TDataConverter::TDataConverter;
  std::string ConvertToString(const TVariant& AValue) override;
  TVariant ConvertFromString(const std::string& AText) override;  // a std::string
};

// Stores a task link's type as the element's "Type" attribute ("qz:FinishToStart" ...). Reading
// matches the four texts exactly; a missing or unknown text leaves the link's type as it was.
// The linked node is the archive's business, not this loader's.
class TTaskLinkDataLoader : public TImplements<TDataConverter, ITaskLinkDataLoader> {
 public:
  using TImplements::TImplements;
  void LoadFromXml(IXmlElement* AElement, ITaskLink* ALink) override;
  // Clears the element's text first; a type outside the four writes no "Type".
  void SaveToXml(IXmlElement* AElement, ITaskLink* ALink) override;
};

// A creator usable as a declaration's TDataConverterClass.
template <class T>
ComPtr<IDataConverter> NewConverter() {
  return make<T>();
}
