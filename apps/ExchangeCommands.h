#pragma once
// The lumeta words that carry a plan out of the map and in: `write mspdi|csv FILE`,
// `import mspdi FILE`, and `show --format csv|json`.
#include <iosfwd>
#include <string>
#include <vector>

class TMapDocument;

inline constexpr const char* WriteCommandUsage = "write mspdi|csv FILE [--fields F,...]";
inline constexpr const char* ImportCommandUsage = "import mspdi FILE";
inline constexpr const char* ShowCommandUsage = "show [--format csv|json] [--fields F,...]";

void RunWriteCommand(TMapDocument& ADocument, const std::vector<std::string>& AArgs);
// Warnings go to AErr as "warning: ..." lines.
void RunImportCommand(TMapDocument& ADocument, const std::vector<std::string>& AArgs, std::ostream& AErr);
// False when the words ask for the plain table, which the shell prints itself.
bool RunShowTable(TMapDocument& ADocument, const std::vector<std::string>& AArgs, std::ostream& AOut);
