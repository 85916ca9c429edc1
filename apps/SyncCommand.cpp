#include "apps/SyncCommand.h"

#include <ostream>

#include "apps/LumetaShell.h"
#include "com/ComErrors.h"
#include "session/TaskSync.h"

void RunSyncCommand(TLumetaModel* AModel, const std::vector<std::string>& AArgs, std::ostream& AOut,
                    std::ostream& AErr) {
  if (!AArgs.empty()) throw ELumetaError(std::string("usage: ") + SyncCommandUsage, E_INVALIDARG);
  const TSyncResult result = SyncFromTaskStore(AModel);
  for (const TSyncedAction& action : result.Changed) AOut << SyncedActionLine(action) << '\n';
  for (const std::string& warning : result.Warnings) WriteWarning(AErr, warning);
  // Silence would leave the user wondering whether the store was read at all.
  if (result.Changed.empty())
    AErr << "note: nothing changed: " << result.TasksFound
         << (result.SinceLastSync ? " tasks of the map changed in the store since the last sync, none differs from its action\n"
                                  : " tasks of the map were read, none changed elsewhere\n");
}
