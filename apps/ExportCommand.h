#pragma once
// The `export` command of the lumeta language: the map's actions into the task program, through
// the same exporter and options as the export entry, without windows; or the export entry itself
// with its real dialog, offscreen.
#include <iosfwd>
#include <string>
#include <vector>

#include "contract/LumetaSelectionIntf.h"
#include "host/LumetaModel.h"

inline constexpr const char* ExportCommandUsage =
    "export [--range view|map|selection] [--expand] [--all] [--include NAME,...] [--dry-run] | "
    "export --dialog [--screenshot FILE] [--progress-screenshot FILE] [--cancel] [--owner NAME EMAIL]";
inline constexpr const char* TimeZoneCommandUsage = "timezone [NAME|none]";

// Options not given come from the saved export options. Prints one line per task, "ID\tUID\tsubject"
// (a dry run: "ID\tsubject", touching neither the map nor the store), the count of tasks written on
// AErr when the run takes longer than a second (TExportProgressLine), and with --dialog what the
// export entry reports. Raises ELumetaError (E_INVALIDARG)
// for bad words, and when the task program cannot be started.
void RunExportCommand(TLumetaModel* AModel, ISelection* ASelection, const std::vector<std::string>& AArgs,
                      std::ostream& AOut, std::ostream& AErr, bool AErrIsTerminal);

// Prints the map's time zone, or sets it to the IANA zone NAME ("none": floating local times).
// Raises ELumetaError (E_INVALIDARG) for a name libical does not know.
void RunTimeZoneCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
