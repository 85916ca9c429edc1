#pragma once
// The plan as a table for spreadsheets and scripts: the columns `show` prints, plus the node's
// depth and its predecessors, as CSV (RFC 4180, UTF-8, a header row) or as JSON (an array of
// objects with typed values, dates in ISO 8601, null where a node has no action).
#include <iosfwd>
#include <string>
#include <vector>

class TLumetaMap;

enum class TTableFormat { Csv, Json };

// Every column, in the order a table has them by default.
const std::vector<std::string>& TableFieldNames();
// The columns a "--fields" list names ("id,title,start"), in its order; raises ELumetaError
// naming a field that is none, or for an empty list.
std::vector<std::string> ParseTableFields(const std::string& AList);

// One row per node below the central topic, in tree order.
void WriteTable(std::ostream& AOut, TLumetaMap& AMap, TTableFormat AFormat, const std::vector<std::string>& AFields);
// The CSV table written atomically to APath, as spreadsheets open it (UTF-8 with its byte order mark).
void WriteCsvFile(TLumetaMap& AMap, const std::string& APath, const std::vector<std::string>& AFields = {});
