#pragma once
// The text of a document as map files and exchanged plans hold it.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

namespace xml_archive {

// Writes XML the way pugixml indents a document (two spaces a level, an element that holds only
// text on one line), with two differences that keep every file readable by any XML parser and
// linear in size: indentation stops growing at KMaxIndentLevel, and text that XML 1.0 cannot hold
// is repaired (bytes that are not UTF-8 become U+FFFD, control characters other than tab and line
// ends are left out). It prints a whole document, or takes elements as they come (Open, Attribute,
// Text, Close, and Copy for an element of some document), so that a map is written without being
// built as a document first. Trees are walked without recursion.
class TXmlPrinter {
 public:
  static constexpr unsigned KMaxIndentLevel = 64;
  // Takes the text each time the buffer is full, and the rest at the end; without it, the whole
  // text stays in the string.
  using TSink = std::function<void(std::string_view)>;
  // Told once for each element whose name, attributes or text needed repair: its node when it
  // came from a document (null when it was opened here), and its name.
  using TRepaired = std::function<void(pugi::xml_node, const char*)>;

  TXmlPrinter(std::string& AOut, TSink ASink, TRepaired ARepaired)
      : FOut(AOut),
        FSink(std::move(ASink)),
        FRepaired(std::move(ARepaired)),
        FCapacity(FSink ? KSinkBufferSize : KBufferSize),
        FBuffer(new char[FCapacity]) {}
  void Print(const pugi::xml_document& ADocument);

  // The declaration pugixml writes for UTF-8, with standalone="yes" if asked: first, if at all.
  void Declaration(bool AStandalone = false);
  // A new element inside the open one. AName must keep its text as long as the printer lives:
  // names are measured once per pointer.
  void Open(const char* AName);
  // Only before the open element has content.
  void Attribute(const char* AName, const char* AValue);
  // Text inside the open element; empty text still counts as content ("<a></a>").
  void Text(const char* AValue);
  // An element holding only the text: Open, Text, Close. AName as for Open.
  void Leaf(const char* AName, const char* AValue);
  void Close();
  // An element of another document, whole, inside the open one.
  void Copy(pugi::xml_node AElement);
  // The same for an element's text, well-formed and whole: printed as Copy prints the element a
  // document with the archive's options would make of it.
  void CopyText(std::string_view AElement);
  // Whether an element's text is, byte for byte, what Copy prints of it as an element with ADepth
  // open elements around it: such a text can be put as it stands with Verbatim.
  static bool PrintsAsItStands(std::string_view AElement, size_t ADepth);
  // An element's text, put as it stands inside the open one, which is at the depth the text was
  // checked for.
  void Verbatim(std::string_view AElement);
  // The elements open.
  size_t Depth() const noexcept { return FOpen.size(); }
  // Ends the text: hands the rest to the sink, or leaves it in the buffer.
  void Finish();

 private:
  enum TContext : unsigned char { cxText = 1, cxAttribute = 2, cxRaw = 4 };
  // Small pieces go through a fixed buffer: appending each to the string costs twice the time.
  // With a sink, a full buffer goes straight to it, so the text is copied once on its way out;
  // the buffer is then large enough that the file takes few writes.
  static constexpr size_t KBufferSize = 64 * 1024;
  static constexpr size_t KSinkBufferSize = 1 << 20;
  void Put(const char* AText, size_t ASize) {
    if (ASize > FCapacity - FUsed) return PutAfterDrain(AText, ASize);
    std::memcpy(FBuffer.get() + FUsed, AText, ASize);
    FUsed += ASize;
  }
  // Out of line, so that Put stays small enough to be inlined everywhere.
  [[gnu::noinline]] void PutAfterDrain(const char* AText, size_t ASize) {
    Drain();
    if (ASize > FCapacity) return Emit(std::string_view(AText, ASize));
    std::memcpy(FBuffer.get(), AText, ASize);
    FUsed = ASize;
  }
  template <size_t N>
  void Put(const char (&AText)[N]) { Put(AText, N - 1); }
  void Put(char AChar) {
    if (FUsed == FCapacity) Drain();
    FBuffer[FUsed++] = AChar;
  }
  void Drain() {
    const size_t used = std::exchange(FUsed, 0);
    Emit(std::string_view(FBuffer.get(), used));
  }
  void Emit(std::string_view AText) {
    if (FSink)
      FSink(AText);
    else
      FOut.append(AText);
  }
  // Line break and indentation before an element (or end tag) at ADepth, as pugixml places them.
  void BeforeElement(size_t ADepth);
  // The same written at AOut, which has KLineStartRoom bytes of room; answers the end.
  char* LineStart(char* AOut, size_t ADepth) const;
  static constexpr size_t KLineStartRoom = 1 + 2 * KMaxIndentLevel;
  // Ends the start tag of the open element once it gets content.
  void StartContent() {
    if (FStartOpen) {
      Put('>');
      FStartOpen = false;
    }
  }

  enum : unsigned { Newline = 1, IndentHere = 2 };
  // An element being written: what a repair inside it is reported for.
  struct TOpen {
    const char* Name;
    pugi::xml_node Node;  // when copied from a document
    uint64_t Serial;
    size_t NameLength;  // 0 when the name needs escaping (or is empty)
  };
  // ANameLength as TOpen keeps it.
  void OpenElement(const char* AName, pugi::xml_node ANode, size_t ANameLength);
  // CleanLength of a name given to Open, remembered by its address: a map has a few dozen names.
  size_t NameLength(const char* AName) {
    // Names lie at regular strides in tables and layouts, which a single multiply can map to
    // neighbouring slots: the address is mixed fully, and a name taken in stays, the next free
    // slot holding a colliding one. Past a few probes it is measured each time.
    uint64_t key = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(AName));
    key = (key ^ (key >> 30)) * 0xBF58476D1CE4E5B9ull;
    key = (key ^ (key >> 27)) * 0x94D049BB133111EBull;
    key ^= key >> 31;
    for (size_t probe = 0; probe < KNameProbes; ++probe) {
      TMeasuredName& slot = FNameLengths[(key + probe) % FNameLengths.size()];
      if (slot.Name == AName) return slot.Length;
      if (!slot.Name) {
        slot = {AName, CleanLength(AName, cxRaw)};
        return slot.Length;
      }
    }
    return CleanLength(AName, cxRaw);
  }
  void CopiedAttributes(pugi::xml_node AElement);
  // The open element, or one standing for none (text at the top of a document).
  const TOpen& Current() const noexcept { return FOpen.empty() ? FNoElement : FOpen.back(); }
  // The length of a text that needs no escaping in the context, else 0.
  static size_t CleanLength(const char* AText, TContext AContext);
  void Escaped(const char* AText, TContext AContext, const TOpen& AOwner);
  void Cdata(const char* AText, const TOpen& AOwner);
  void Repaired(const TOpen& AOwner);
  std::string& FOut;
  TSink FSink;
  TRepaired FRepaired;
  size_t FCapacity;
  std::unique_ptr<char[]> FBuffer;
  size_t FUsed = 0;
  unsigned FFlags = IndentHere;
  bool FStartOpen = false;
  std::vector<TOpen> FOpen;
  struct TMeasuredName {
    const char* Name = nullptr;
    size_t Length = 0;
  };
  static constexpr size_t KNameProbes = 8;
  std::array<TMeasuredName, 128> FNameLengths{};
  TOpen FNoElement{"", pugi::xml_node(), 0, 0};
  // CopyText's copy of the text, which it cuts into names and values in place, and its pieces.
  enum class TPiece : uint8_t { Start, Attribute, Text, CData, End };
  struct TCopied {
    TPiece Kind;
    std::string_view Text;   // the name, or the text
    std::string_view Value;  // an attribute's value
  };
  std::string FCopyText;
  std::vector<TCopied> FCopied;
  std::vector<bool> FHasChild;
  uint64_t FSerial = 0;          // counts the elements opened, so that each is told of once
  uint64_t FLastRepaired = 0;    // the serial of the element told of last; 0 for none
};

}  // namespace xml_archive
