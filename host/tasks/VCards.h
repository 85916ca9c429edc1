#pragma once
// Contacts kept as vCard files (RFC 6350, also 3.0 and 2.1 as other programs write them): a
// folder of .vcf files is a contacts folder, each sub-folder a folder below it.
#include <string>
#include <string_view>
#include <vector>

struct TContactRecord {
  std::string FullName;     // FN
  std::string Email;        // the first EMAIL
  std::string Company;      // ORG, first part
  std::string Department;   // ORG, second part
  std::string JobTitle;     // TITLE
  std::string Suffix;       // N, fifth part
};

// Every vCard of the text, in order; lines that do not parse are skipped.
std::vector<TContactRecord> ParseVCards(std::string_view AText);
// One vCard 3.0 of the contact.
std::string ContactToVCard(const TContactRecord& AContact);

// The contacts of every .vcf file directly in the folder, files in name order; unreadable files
// are skipped.
std::vector<TContactRecord> ReadContactFolder(const std::string& AFolder);
// The sub-folders' paths, in name order.
std::vector<std::string> SubFolders(const std::string& AFolder);
