#pragma once
// A reader of XML text that walks its tags in file order without building a document: a load can
// check and read each element as it passes, and keep only where it stood.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xml_archive {

// The text is not well-formed at Offset. The scanner does not describe the fault: a load that
// meets one parses the file with pugixml for its message.
class EXmlScanError : public std::runtime_error {
 public:
  explicit EXmlScanError(size_t AOffset) : std::runtime_error("the text is not well-formed XML"), Offset(AOffset) {}
  size_t Offset;
};

struct TXmlScannedAttribute {
  std::string_view Name;
  std::string_view Value;  // as written: its escapes not decoded
};

// Accepts what pugixml's parser accepts and refuses what it refuses. Comments, processing
// instructions, the XML declaration, the document type and text outside the elements are passed
// over, as a parse that keeps none of them does.
class TXmlScanner {
 public:
  enum class TToken : uint8_t { Start, End, Text, Finished };

  // AText must be followed by a NUL, as a std::string's text is, and must hold none itself.
  explicit TXmlScanner(std::string_view AText);

  // The next start tag, end tag or text inside an element. A tag that closes itself ("<a/>") is a
  // Start and then an End. Finished once the text is read; raises EXmlScanError.
  TToken Next();
  // Consumes the content of the element whose Start was the last token, through its End.
  void SkipContent();
  // From now on, passes over blank texts that cannot be an element's only content: those before
  // a start tag and those between two end tags. A reader that keeps no layout has no use for them.
  void SkipBlankTexts() noexcept { FSkipBlanks = true; }

  // The element's name, for a Start or an End.
  std::string_view Name() const noexcept { return FName; }
  // A Start's attributes, in the order written.
  const std::vector<TXmlScannedAttribute>& Attributes() const noexcept { return FAttributes; }
  // A Text as written: its escapes not decoded (a CDATA section's text, without its markers).
  std::string_view Text() const noexcept { return FText; }
  bool IsCData() const noexcept { return FCData; }
  // Whether a Start closed itself.
  bool SelfClosed() const noexcept { return FSelfClosed; }
  // Where the last token starts (a tag's '<', a text's first character) and where it ends.
  size_t Offset() const noexcept { return static_cast<size_t>(FTokenStart - FBegin); }
  size_t EndOffset() const noexcept { return static_cast<size_t>(FPos - FBegin); }
  // The offset of a view into the text, such as a name or a value.
  size_t OffsetOf(std::string_view APart) const noexcept { return static_cast<size_t>(APart.data() - FBegin); }
  // The elements open: after a Start, the element itself counts.
  size_t Depth() const noexcept { return FOpen.size(); }

 private:
  TToken ReadStart(const char* ATag);
  TToken ReadEnd(const char* ATag);
  void SkipQuestion(const char* ATag);
  // A comment, a CDATA section or the document type; answers whether it was a CDATA section.
  bool ReadExclamation(const char* ATag);
  void SkipDocumentType(const char* ATag);
  [[noreturn]] void Fail(const char* AWhere) const;

  const char* FBegin;
  const char* FEnd;
  const char* FPos;
  const char* FTokenStart;
  bool FSeenRoot = false;
  bool FSelfClosed = false;
  bool FPendingEnd = false;  // a self-closed Start's End comes next
  bool FCData = false;
  bool FSkipBlanks = false;
  bool FAfterEnd = false;  // the last thing read was an end tag, or a tag that closed itself
  std::string_view FName;
  std::string_view FText;
  std::vector<TXmlScannedAttribute> FAttributes;
  std::vector<std::string_view> FOpen;
};

enum class TXmlTextKind : uint8_t { Text, CData, Attribute };

// A value as the XML rules read it: escapes decoded, line ends made "\n", and in an attribute
// every tab and line end made a space. Answers a view of AText itself when nothing changes, else
// of AScratch.
std::string_view DecodeXmlText(std::string_view AText, TXmlTextKind AKind, std::string& AScratch);

}  // namespace xml_archive
