#include "host/tasks/VCards.h"

#include <algorithm>
#include <filesystem>

#include "com/AtomicFile.h"

namespace {

// Contact files are small; a larger one is not a contact file.
constexpr size_t KMaxContactFile = 16 << 20;

std::string Upper(std::string_view AText) {
  std::string result(AText);
  for (char& c : result)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return result;
}

// The components of a structured value, split at unescaped ';', each unescaped.
std::vector<std::string> Components(std::string_view AValue) {
  std::vector<std::string> result(1);
  for (size_t i = 0; i < AValue.size(); ++i) {
    const char c = AValue[i];
    if (c == '\\' && i + 1 < AValue.size()) {
      const char next = AValue[++i];
      result.back() += next == 'n' || next == 'N' ? '\n' : next;
    } else if (c == ';') {
      result.emplace_back();
    } else {
      result.back() += c;
    }
  }
  return result;
}

// A text value on one line: line breaks escaped, the other control characters (which a value
// cannot hold, and a lone CR could end the line for some readers) left out.
std::string Escape(std::string_view AText) {
  std::string result;
  for (char c : AText) {
    if (c == '\\' || c == ';' || c == ',') result += '\\';
    if (c == '\n') {
      result += "\\n";
      continue;
    }
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) continue;
    result += c;
  }
  return result;
}

// Lines with folded continuations joined (a line starting with a blank continues the one before).
std::vector<std::string> UnfoldedLines(std::string_view AText) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < AText.size()) {
    size_t end = AText.find('\n', start);
    if (end == std::string_view::npos) end = AText.size();
    std::string_view line = AText.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t') && !lines.empty())
      lines.back().append(line.substr(1));
    else
      lines.emplace_back(line);
  }
  return lines;
}

std::vector<std::string> SortedEntries(const std::string& AFolder, bool AFolders) {
  std::vector<std::string> result;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(AFolder, error)) {
    std::error_code typeError;
    if (AFolders ? entry.is_directory(typeError)
                 : entry.is_regular_file(typeError) && entry.path().extension() == ".vcf")
      result.push_back(entry.path().string());
  }
  std::sort(result.begin(), result.end());
  return result;
}

}  // namespace

std::vector<TContactRecord> ParseVCards(std::string_view AText) {
  std::vector<TContactRecord> result;
  TContactRecord* current = nullptr;
  for (const std::string& line : UnfoldedLines(AText)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    // "item1.EMAIL;TYPE=work:..." names EMAIL: drop the group and the parameters.
    std::string name = Upper(std::string_view(line).substr(0, colon));
    name = name.substr(0, name.find(';'));
    if (const size_t dot = name.find('.'); dot != std::string::npos) name.erase(0, dot + 1);
    const std::string_view value = std::string_view(line).substr(colon + 1);
    if (name == "BEGIN" && Upper(value) == "VCARD") {
      current = &result.emplace_back();
    } else if (name == "END") {
      current = nullptr;
    } else if (!current) {
      continue;
    } else if (name == "FN") {
      current->FullName = Components(value).front();
    } else if (name == "EMAIL" && current->Email.empty()) {
      current->Email = Components(value).front();
    } else if (name == "TITLE") {
      current->JobTitle = Components(value).front();
    } else if (name == "ORG") {
      const auto parts = Components(value);
      current->Company = parts[0];
      current->Department = parts.size() > 1 ? parts[1] : std::string();
    } else if (name == "N") {
      const auto parts = Components(value);
      current->Suffix = parts.size() > 4 ? parts[4] : std::string();
    }
  }
  return result;
}

std::string ContactToVCard(const TContactRecord& AContact) {
  std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  text += "FN:" + Escape(AContact.FullName) + "\r\n";
  text += "N:;;;;" + Escape(AContact.Suffix) + "\r\n";
  if (!AContact.Email.empty()) text += "EMAIL;TYPE=INTERNET:" + Escape(AContact.Email) + "\r\n";
  if (!AContact.Company.empty() || !AContact.Department.empty())
    text += "ORG:" + Escape(AContact.Company) + ";" + Escape(AContact.Department) + "\r\n";
  if (!AContact.JobTitle.empty()) text += "TITLE:" + Escape(AContact.JobTitle) + "\r\n";
  return text + "END:VCARD\r\n";
}

std::vector<TContactRecord> ReadContactFolder(const std::string& AFolder) {
  std::vector<TContactRecord> result;
  for (const std::string& file : SortedEntries(AFolder, false)) {
    try {
      for (TContactRecord& contact : ParseVCards(ReadWholeFile(file, KMaxContactFile))) result.push_back(std::move(contact));
    } catch (const EFileError&) {
      // An unreadable contact file is passed over, as a damaged item would be.
    }
  }
  return result;
}

std::vector<std::string> SubFolders(const std::string& AFolder) { return SortedEntries(AFolder, true); }
