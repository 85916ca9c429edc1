#pragma once
// The `note`, `resource`, `resources`, `category` and `attach` commands of the lumeta language: a
// node's own data beside its action, read and changed through the session's host data editor,
// each change one undo step.
#include <iosfwd>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

inline constexpr const char* NoteCommandUsage = "note ID [TEXT]";
inline constexpr const char* ResourceCommandUsage = "resource add ID NAME [EMAIL] | resource remove ID NAME";
inline constexpr const char* ResourcesCommandUsage = "resources [ID]";
inline constexpr const char* CategoryCommandUsage = "category add|remove ID TEXT | category ID";
inline constexpr const char* AttachCommandUsage = "attach add|remove ID NAME LOCATION | attach ID";

// Each raises ELumetaError naming what is wrong (the usage line for malformed words); what they
// print goes to AOut.

// Without TEXT prints the notes (nothing when there are none); with TEXT replaces them ("" clears).
void RunNoteCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
void RunResourceCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs);
// One line per resource of the map (with ID: of that node): its address, the hours assigned, its
// tasks with their dates and hours, and the days it has more hours booked than the calendar gives.
void RunResourcesCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
// `category ID` and `attach ID` print the node's categories, or its attachments as NAME LOCATION,
// one a line.
void RunCategoryCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
void RunAttachCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
