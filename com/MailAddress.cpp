#include "com/MailAddress.h"

#include <cctype>

namespace {

// RFC 5322 atext, with UTF-8 bytes for addresses in other scripts (RFC 6531).
bool AtomCharacter(unsigned char c) {
  if (c >= 0x80) return true;
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-/=?^_`{|}~").find(static_cast<char>(c)) != std::string_view::npos;
}

// Words separated by single dots, none empty.
bool DotAtom(std::string_view AText) {
  if (AText.empty() || AText.front() == '.' || AText.back() == '.') return false;
  for (size_t i = 0; i < AText.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(AText[i]);
    if (c == '.' ? AText[i - 1] == '.' : !AtomCharacter(c)) return false;
  }
  return true;
}

std::string Shown(unsigned char c) {
  static constexpr char hex[] = "0123456789ABCDEF";
  return std::string("\\x") + hex[c >> 4] + hex[c & 15];
}

}  // namespace

std::string PrintableText(std::string_view AText) {
  std::string result;
  for (const char c : AText) {
    const unsigned char u = static_cast<unsigned char>(c);
    result += u < 0x20 || u == 0x7F ? Shown(u) : std::string(1, c);
  }
  return result;
}

std::string MailAddressProblem(std::string_view AAddress) {
  if (AAddress.empty()) return "is empty";
  for (const char ch : AAddress) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\r' || c == '\n') return "has a line break";
    if (c < 0x20 || c == 0x7F) return "has the control character " + Shown(c);
    if (c == ' ') return "has a space";
  }
  const size_t at = AAddress.rfind('@');
  if (at == std::string_view::npos) return "has no '@'";
  if (AAddress.find('@') != at) return "has more than one '@'";
  // Quoted local parts and address literals are legal but never needed for a person's address,
  // and they are where a quote or a bracket would slip into the file.
  if (!DotAtom(AAddress.substr(0, at))) return "has a name part that is not letters, digits and . ! # $ % & ' * + - / = ? ^ _ ` { | } ~";
  const std::string_view domain = AAddress.substr(at + 1);
  if (domain.empty()) return "has no domain after the '@'";
  bool letters = DotAtom(domain);
  for (const char c : domain)
    letters = letters && (static_cast<unsigned char>(c) >= 0x80 || std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.');
  if (!letters) return "has a domain that is not letters, digits, '-' and single dots";
  return {};
}

std::string MailtoUri(std::string_view AAddress) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string uri = "mailto:";
  for (const char ch : AAddress) {
    const unsigned char c = static_cast<unsigned char>(ch);
    // RFC 6068: these would start headers, a fragment or an escape, or are not URI characters.
    if (c >= 0x80 || std::string_view("%?#&/{}|^`\"<>\\ ").find(ch) != std::string_view::npos || c < 0x20 || c == 0x7F) {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    } else {
      uri += ch;
    }
  }
  return uri;
}
