#pragma once
// E-mail addresses as they go into calendar and contact files, where an address is a value of its
// own: a line break, a comma or a quote in one would add people or lines to a message.
#include <string>
#include <string_view>

// Empty when AAddress is a plain address (local@domain, RFC 5322 dot-atoms, UTF-8 allowed), else
// what is wrong with it ("has a line break", "has no '@'").
std::string MailAddressProblem(std::string_view AAddress);
// "mailto:" and the address, with the characters a mailto URI gives a meaning ('%', '?', '#', '&',
// '/') and every non-ASCII byte percent-encoded. The address must have no problem.
std::string MailtoUri(std::string_view AAddress);
// The text for a message: control characters as \xNN, so that a hostile value cannot rewrite the
// line it is shown in.
std::string PrintableText(std::string_view AText);
