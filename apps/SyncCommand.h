#pragma once
// The `sync` command of the lumeta language: what other programs changed in the map's exported
// tasks comes back into its actions as one undo step.
#include <iosfwd>
#include <string>
#include <vector>

#include "host/LumetaModel.h"

inline constexpr const char* SyncCommandUsage = "sync";

// Prints one line per changed action ("12 Website: 40 % -> 100 %, Completed") and a note when
// nothing changed; each action whose task is gone goes to AErr as a warning. Raises ELumetaError
// when the map was never exported or the task program is not registered or cannot be started.
void RunSyncCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut,
                    std::ostream& AErr);
