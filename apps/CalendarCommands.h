#pragma once
// The `calendar` and `worktime` commands of the lumeta language: the map's working calendar, and
// the working scheduler's answer for one operation.
#include <iosfwd>
#include <string>
#include <vector>

#include "com/ComPtr.h"
#include "contract/CommandIntf.h"
#include "host/LumetaModel.h"

inline constexpr const char* CalendarCommandUsage =
    "calendar [start DATETIME | hours HH:MM-HH:MM... | days DAY,... | holiday add|remove DATE]";
inline constexpr const char* WorktimeCommandUsage = "worktime OP DATETIME [DAYS|DATETIME]";

// Without arguments prints the calendar, one line each: "days ...", "hours ...", "holidays ...",
// "start ..."; with arguments returns the undoable command that makes the change (nothing runs
// it yet). Raises ELumetaError (E_INVALIDARG) for bad words and EConvertError for a calendar that
// would leave no working time.
ComPtr<ICommand> RunCalendarCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);

// Prints the scheduler's answer: a date-time as YYYY-MM-DDThh:mm:ss, a duration in working days.
void RunWorktimeCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut);
