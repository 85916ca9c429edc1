#pragma once
// Unique names made without asking anybody.
#include <string>

// A random version 4 UUID in lower case without braces, as iCalendar UIDs and file names take it.
std::string NewUuidText();
