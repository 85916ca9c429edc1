#include "host/xml/LumetaXmlArchive.h"

#include "com/AtomicFile.h"
#include "host/xml/XmlDocSource_p.h"
#include "host/xml/XmlLayout_p.h"
#include "host/xml/XmlMapReader_p.h"
#include "host/xml/XmlMapWriter_p.h"

using namespace xml_archive;

EArchiveError::EArchiveError(std::string AFile, int ALine, int AColumn, std::string AReason)
    : ELumetaError(ArchiveMessage(AFile, ALine, AColumn, AReason)),
      FFile(std::move(AFile)),
      FLine(ALine),
      FColumn(AColumn),
      FReason(std::move(AReason)) {}

EArchiveError::~EArchiveError() = default;

TLumetaXmlArchive::TLumetaXmlArchive() : FRegistry(std::make_unique<TXmlRegistry>()) {}

TLumetaXmlArchive::~TLumetaXmlArchive() = default;

void TLumetaXmlArchive::RegisterManager(IPropertyManager* AManager) {
  if (!AManager) throw ELumetaError("No property manager to register");
  ComPtr<IProperty> property = AManager->NewProperty();
  auto mapping = QueryAs<IXmlMapping>(property.get());
  if (!mapping)
    throw ELumetaError("The property '" + (property ? property->GetPropertyName() : std::string()) +
                       "' has no XML mapping");
  TXmlLayout& layout = FRegistry->LayoutFor(mapping->GetXmlDeclarations());
  // A record's declarations must name attributes it holds; a list's items are checked as they load.
  if (auto record = QueryAs<IStructuredAttribute>(property.get()); record && !layout.IsList) {
    TXmlLayout::TOwner owner(record.get());
    for (TXmlLayout::TField& field : layout.Fields) {
      try {
        IAttribute* attribute = TXmlLayout::FieldAttribute(owner, field);
        if (!field.Converter) field.Kind = ValueKindOf(attribute);
      } catch (const ELumetaError&) {
        throw ELumetaError("The property '" + property->GetPropertyName() + "' declares '" +
                           field.Declaration->PropertyName() + "', which it does not hold");
      }
    }
  }
  if (FRegistry->IndexOf(layout.ElementName) >= 0)
    throw ELumetaError("The element '" + layout.ElementName + "' is registered already");
  // One element per property name: a node then carries each property at most once.
  std::string name = property->GetPropertyName();
  for (const TXmlRegistration& registration : FRegistry->Registrations)
    if (registration.PropertyName == name)
      throw ELumetaError("The property '" + name + "' is registered already, under the element '" +
                         registration.ElementName + "'");
  const bool structured = layout.IsList ? QueryAs<IListAttribute>(property.get()) != nullptr
                                        : QueryAs<IStructuredAttribute>(property.get()) != nullptr;
  FRegistry->Registrations.push_back({layout.ElementName, std::move(name), ComPtr<IPropertyManager>(AManager),
                                      FRegistry->SharedLayout(mapping->GetXmlDeclarations()), structured});
}

IPropertyManager* TLumetaXmlArchive::ManagerFor(const std::string& AElementName) const {
  const int index = FRegistry->IndexOf(AElementName);
  return index < 0 ? nullptr : FRegistry->Registrations[index].Manager.get();
}

std::unique_ptr<TLumetaMap> TLumetaXmlArchive::Load(const std::string& APath) {
  FWarnings.clear();
  std::string text;
  try {
    text = ReadRegularFile(APath, MaxFileSize);
  } catch (const EFileError& AError) {
    throw EArchiveError(APath, 0, 0, "cannot read the file: " + AError.Reason());
  }
  return Parse(std::move(text), APath, nullptr);
}

std::unique_ptr<TLumetaMap> TLumetaXmlArchive::LoadFromText(const std::string& AText, const std::string& AName) {
  FWarnings.clear();
  return Parse(AText, AName, &AText);
}

std::unique_ptr<TLumetaMap> TLumetaXmlArchive::Parse(std::string ABuffer, const std::string& AName,
                                                     const std::string* AOriginal) {
  // Parsed in place: the document points into the buffer; both stay with the map for its values.
  ComPtr<TXmlDocSource> source = make<TXmlDocSource>(AName, std::move(ABuffer));
  const size_t warnings = FWarnings.size();
  try {
    return TXmlMapReader(*FRegistry, FWarnings, AName, source, AOriginal).ReadPlain();
  } catch (const TXmlMapReader::EUnusualFile&) {
    FWarnings.resize(warnings);
    source->Forget();
  }
  return TXmlMapReader(*FRegistry, FWarnings, AName, source, AOriginal).Read();
}

void TLumetaXmlArchive::Save(const TLumetaMap& AMap, const std::string& APath) {
  FWarnings.clear();
  try {
    TXmlMapWriter writer(*FRegistry, FWarnings, AMap);
    std::unique_ptr<TAtomicFile> file;
    std::string buffer;
    // The file is opened when the first piece of text is ready, and the text goes to disk a piece
    // at a time; a failure part way leaves the target as it was (TAtomicFile).
    const auto open = [&] {
      file = std::make_unique<TAtomicFile>(APath);
      // What killed saves left beside the map goes with the next save.
      file->RemoveStaleTemporaries();
    };
    writer.Write(buffer, [&](std::string_view AText) {
      if (!file) open();
      file->Write(AText);
    });
    if (!file) open();
    file->Commit();
  } catch (const EFileError& AError) {
    throw ELumetaError(APath + ": cannot save: " + AError.Reason());
  }
}

std::string TLumetaXmlArchive::SaveToText(const TLumetaMap& AMap) {
  FWarnings.clear();
  std::string text;
  TXmlMapWriter(*FRegistry, FWarnings, AMap).Write(text, nullptr);
  return text;
}

std::vector<std::string> TLumetaXmlArchive::Warnings() const {
  std::vector<std::string> messages;
  for (const TArchiveWarning& warning : FWarnings) messages.push_back(warning.Message());
  return messages;
}

std::string TArchiveWarning::Message() const {
  return File.empty() ? Text : xml_archive::ArchiveMessage(File, Line, Column, Text);
}
