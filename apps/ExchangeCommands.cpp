#include "apps/ExchangeCommands.h"

#include <optional>
#include <ostream>

#include "apps/LinkCommands.h"
#include "apps/LumetaShell.h"
#include "exchange/MspdiReader.h"
#include "exchange/MspdiWriter.h"
#include "exchange/PlanTable.h"
#include "session/MapDocument.h"

namespace {

struct TTableOptions {
  std::optional<TTableFormat> Format;
  std::vector<std::string> Fields;
};

// "--format X" and "--fields LIST" in any order, each at most once.
TTableOptions ParseTableOptions(const std::vector<std::string>& AArgs, size_t AFrom, const char* AUsage) {
  TTableOptions options;
  bool fields = false;
  for (size_t i = AFrom; i < AArgs.size(); i += 2) {
    if (i + 1 >= AArgs.size()) throw EShellUsage(std::string("usage: ") + AUsage);
    const std::string& option = AArgs[i];
    const std::string& value = AArgs[i + 1];
    if (option == "--format" && !options.Format) {
      if (value == "csv")
        options.Format = TTableFormat::Csv;
      else if (value == "json")
        options.Format = TTableFormat::Json;
      else
        throw EShellUsage("'" + value + "' is not a table format (csv or json)");
    } else if (option == "--fields" && !fields) {
      options.Fields = ParseTableFields(value);
      fields = true;
    } else {
      throw EShellUsage(std::string("usage: ") + AUsage);
    }
  }
  return options;
}

}  // namespace

void RunWriteCommand(TMapDocument& ADocument, const std::vector<std::string>& AArgs) {
  if (AArgs.size() < 2) throw EShellUsage(std::string("usage: ") + WriteCommandUsage);
  const std::string& kind = AArgs[0];
  const std::string& path = AArgs[1];
  if (kind == "mspdi") {
    if (AArgs.size() != 2) throw EShellUsage(std::string("usage: ") + WriteCommandUsage);
    WriteMspdiFile(ADocument.Model()->Map(), path);
    return;
  }
  if (kind != "csv") throw EShellUsage("'" + kind + "' is not a format to write (mspdi or csv)");
  const TTableOptions options = ParseTableOptions(AArgs, 2, WriteCommandUsage);
  if (options.Format) throw EShellUsage(std::string("usage: ") + WriteCommandUsage);
  WriteCsvFile(ADocument.Model()->Map(), path, options.Fields);
}

bool RunShowTable(TMapDocument& ADocument, const std::vector<std::string>& AArgs, std::ostream& AOut) {
  if (AArgs.empty()) return false;
  const TTableOptions options = ParseTableOptions(AArgs, 0, ShowCommandUsage);
  if (!options.Format) throw EShellUsage("--fields picks the columns of a table: add --format csv or json");
  WriteTable(AOut, ADocument.Model()->Map(), *options.Format, options.Fields);
  return true;
}


void RunImportCommand(TMapDocument& ADocument, const std::vector<std::string>& AArgs, std::ostream& AErr) {
  if (AArgs.size() != 2) throw EShellUsage(std::string("usage: ") + ImportCommandUsage);
  if (AArgs[0] != "mspdi") throw EShellUsage("'" + AArgs[0] + "' is not a format to import (mspdi)");
  for (const std::string& warning : ImportMspdiFile(ADocument, AArgs[1])) WriteWarning(AErr, warning);
  // An edited file can hold links in a circle; say so now, as opening a map does.
  if (const std::string warning = LinkCircleInMap(ADocument.Model()); !warning.empty())
    WriteWarning(AErr, warning);
}
