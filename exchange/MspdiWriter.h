#pragma once
// Writes the map as an MS Project XML (MSPDI) file: the project, its base calendar, one task per
// node below the central topic (a node without an action only when tasks sit below it), the task
// links, and the nodes' resources with their assignments.
#include <string>

class TLumetaMap;

std::string MspdiText(TLumetaMap& AMap);
// Written atomically, as a map file is: the old file stays whole when anything fails (ELumetaError).
void WriteMspdiFile(TLumetaMap& AMap, const std::string& APath);

// The extended attributes that carry what MSPDI has no field for, so that a plan read back is the
// same: the exact priority text and a status that the % complete does not give.
inline constexpr const char* KPriorityFieldID = "188743731";  // Text1
inline constexpr const char* KStatusFieldID = "188743734";    // Text2
