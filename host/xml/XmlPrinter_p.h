#pragma once
// Inside the map archive: the text of a document as map files hold it.
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace xml_archive {

// Writes a document the way pugixml indents it (two spaces a level, an element that holds only
// text on one line), with two differences that keep every file readable by any XML parser and
// linear in size: indentation stops growing at KMaxIndentLevel, and text that XML 1.0 cannot hold
// is repaired (bytes that are not UTF-8 become U+FFFD, control characters other than tab and line
// ends are left out). The document is walked without recursion.
class TXmlPrinter {
 public:
  static constexpr unsigned KMaxIndentLevel = 64;
  // Takes text when the buffer has grown past its limit, and at the end; without it, the whole
  // text stays in the buffer.
  using TSink = std::function<void(std::string_view)>;
  // Told once for each element whose name, attributes or text needed repair.
  using TRepaired = std::function<void(pugi::xml_node)>;

  TXmlPrinter(std::string& AOut, TSink ASink, TRepaired ARepaired)
      : FOut(AOut), FSink(std::move(ASink)), FRepaired(std::move(ARepaired)), FBuffer(new char[KBufferSize]) {}
  void Print(const pugi::xml_document& ADocument);

 private:
  enum TContext : unsigned char { cxText = 1, cxAttribute = 2, cxRaw = 4 };
  // Small pieces go through a fixed buffer: appending each to the string costs twice the time.
  static constexpr size_t KBufferSize = 64 * 1024;
  void Put(const char* AText, size_t ASize) {
    if (ASize > KBufferSize - FUsed) {
      Drain();
      if (ASize > KBufferSize) return (void)FOut.append(AText, ASize);
    }
    std::memcpy(FBuffer.get() + FUsed, AText, ASize);
    FUsed += ASize;
  }
  template <size_t N>
  void Put(const char (&AText)[N]) { Put(AText, N - 1); }
  void Put(char AChar) {
    if (FUsed == KBufferSize) Drain();
    FBuffer[FUsed++] = AChar;
  }
  void Drain() {
    FOut.append(FBuffer.get(), FUsed);
    FUsed = 0;
  }
  void Indent(unsigned ADepth);
  // Returns the element's first child, if it has one to write.
  pugi::xml_node StartElement(pugi::xml_node AElement);
  void EndElement(pugi::xml_node AElement);
  void Attributes(pugi::xml_node AElement);
  void Simple(pugi::xml_node ANode);
  // AOwner is the element, or the text node, that a repair is reported for.
  void Escaped(const char* AText, TContext AContext, pugi::xml_node AOwner);
  void Cdata(const char* AText, pugi::xml_node AOwner);
  void Repaired(pugi::xml_node AOwner);
  void MaybeFlush();

  std::string& FOut;
  TSink FSink;
  TRepaired FRepaired;
  std::unique_ptr<char[]> FBuffer;
  size_t FUsed = 0;
  pugi::xml_node FLastRepaired;
};

}  // namespace xml_archive
