#pragma once
// The table `show` prints: one line per node in pre-order with its action's shown values, slack
// and baseline, in columns as wide as their widest cell and a title column that keeps lines
// within 120 characters where it can.
#include <cstddef>
#include <iosfwd>
#include <string_view>

class TLumetaModel;

void PrintTaskTable(std::ostream& AOut, TLumetaModel* AModel);

// Characters, not bytes: titles are UTF-8.
size_t TextWidth(std::string_view AText);
