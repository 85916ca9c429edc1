// Fuzzes the map file loader and the data converters with libFuzzer. Any map that loads must read
// in full, save, and load and save again; anything else must be refused with an ELumetaError. A crash, a hang, a sanitizer report or a broken round trip is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

#include "attributes/XmlDataConverters.h"
#include "com/MemoryStream.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "host/LumetaMap.h"
#include "tests/support/InProcessPlugIn.h"

namespace {

[[noreturn]] void Finding(const std::string& AWhat, const std::string& AText) {
  std::cerr << "finding: " << AWhat << "\n--- saved text ---\n" << AText << "\n---\n";
  std::abort();
}

// Reads every value of every property, so that lazy loading runs, and marks each property modified
// so that the save writes it from its values rather than copying what was read.
void ReadEverything(TLumetaMap& AMap) {
  TLumetaMap::ForEachInSubtree(AMap.Root(), [](TLumetaNode* ANode) {
    for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i) {
      ComPtr<IAttribute> attribute = QueryAs<IAttribute>(ANode->GetPropertyItem(i).get());
      if (!attribute) continue;
      attribute->AsPlainText(2);
      attribute->AsHtml(0);
      attribute->SetModified(true);
    }
  });
}

void FuzzConverters(const std::string& AText) {
  XmlTextToDateTime(AText);
  ParseFloat(AText, TNumberSyntax::Lenient);
  TDataConverter::StrToFloat(AText);
  ComPtr<TMemoryStream> stream = make<TMemoryStream>();
  try {
    TDataConverter::DecodeBase64(AText, stream.get());
  } catch (const ELumetaError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  static TLumetaXmlArchive archive;
  static TInProcessPlugIn plugIn(archive);
  const std::string text(reinterpret_cast<const char*>(AData), ASize);
  FuzzConverters(text);
  std::unique_ptr<TLumetaMap> map;
  try {
    map = archive.LoadFromText(text);
    ReadEverything(*map);
  } catch (const ELumetaError&) {
    return 0;  // refused with a message: fine
  }
  std::string saved;
  try {
    saved = archive.SaveToText(*map);
  } catch (const std::exception& error) {
    Finding(std::string("a loaded map cannot be saved: ") + error.what(), text);
  }
  try {
    std::unique_ptr<TLumetaMap> again = archive.LoadFromText(saved);
    ReadEverything(*again);
    archive.SaveToText(*again);
  } catch (const std::exception& error) {
    Finding(std::string("a saved map cannot be loaded again: ") + error.what(), saved);
  }
  return 0;
}
