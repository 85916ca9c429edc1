#include "exchange/PlanTable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <ostream>
#include <sstream>

#include "com/AtomicFile.h"
#include "com/ComErrors.h"
#include "com/NumberText.h"
#include "com/OleDate.h"
#include "contract/ActionVocabulary.h"
#include "exchange/PlanRows.h"
#include "host/Baseline.h"
#include "host/CriticalPath.h"

namespace {

// A cell: a JSON value written as such, or text; null where the node has nothing to say.
struct TCell {
  enum { Null, Text, Number, Raw } Kind = Null;
  std::string Value;
};

TCell TextCell(std::string AText) { return {TCell::Text, std::move(AText)}; }
TCell NumberCell(std::string AText) { return {TCell::Number, std::move(AText)}; }
TCell DateCell(double ADate) {
  if (!IsDateToShow(ADate)) return {};
  return TextCell(DateTimeToXmlText(ADate));
}

std::string MeasureName(int32_t AMeasure) {
  return AMeasure == amHours ? "hours" : AMeasure == amDays ? "days" : AMeasure == amMinutes ? "minutes" : "";
}

void WriteJsonString(std::ostream& AOut, const std::string& AText) {
  AOut << '"';
  for (const char c : AText) {
    const auto code = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      AOut << '\\' << c;
    } else if (code < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", code);
      AOut << escape;
    } else {
      AOut << c;
    }
  }
  AOut << '"';
}

void WriteCsvField(std::ostream& AOut, const std::string& AText) {
  if (AText.find_first_of(",\"\r\n") == std::string::npos) {
    AOut << AText;
    return;
  }
  AOut << '"';
  for (const char c : AText) {
    if (c == '"') AOut << '"';
    AOut << c;
  }
  AOut << '"';
}

// The slack of the plan's tasks, when the map has a working calendar to measure it in.
using TSlacks = std::optional<TCriticalPath>;
using TColumn = std::function<TCell(const TPlanRow&, const TSlacks&)>;

// The columns by name; every action column is null for a node without an action.
const std::vector<std::pair<std::string, TColumn>>& Columns() {
  static const std::vector<std::pair<std::string, TColumn>> columns = [] {
    std::vector<std::pair<std::string, TColumn>> list;
    const auto action = [](auto AGet) {
      return [AGet](const TPlanRow& ARow, const TSlacks&) { return ARow.Action ? AGet(ARow.Action.get()) : TCell(); };
    };
    const auto slack = [](auto AGet) {
      return [AGet](const TPlanRow& ARow, const TSlacks& ASlacks) {
        // A node without an action has no dates to show, so no slack either, though its subtasks have.
        const std::optional<TTaskSlack> found = ASlacks && ARow.Action ? ASlacks->Find(ARow.Node->ID()) : std::nullopt;
        return found ? AGet(*found) : TCell();
      };
    };
    const auto baseline = [](auto AGet) {
      return [AGet](const TPlanRow& ARow, const TSlacks&) {
        const auto& kept = ARow.Node->ReadHostData().Baseline;
        return kept ? AGet(*kept) : TCell();
      };
    };
    list.emplace_back("id", [](const TPlanRow& ARow, const TSlacks&) { return NumberCell(std::to_string(ARow.Node->ID())); });
    list.emplace_back("title", [](const TPlanRow& ARow, const TSlacks&) { return TextCell(ARow.Node->Title()); });
    list.emplace_back("depth", [](const TPlanRow& ARow, const TSlacks&) { return NumberCell(std::to_string(ARow.Depth)); });
    list.emplace_back("start", action([](IActionAttribute* A) { return DateCell(A->GetStartDate()); }));
    list.emplace_back("due", action([](IActionAttribute* A) { return DateCell(A->GetDueDate()); }));
    list.emplace_back("done", action([](IActionAttribute* A) { return DateCell(A->GetCompletedDate()); }));
    list.emplace_back("duration",
                      action([](IActionAttribute* A) { return NumberCell(ShortestFloatText(A->GetDuration())); }));
    list.emplace_back("measure", action([](IActionAttribute* A) { return TextCell(MeasureName(A->GetDurationMeasure())); }));
    list.emplace_back("complete",
                      action([](IActionAttribute* A) { return NumberCell(std::to_string(A->GetComplete())); }));
    list.emplace_back("status", action([](IActionAttribute* A) { return TextCell(A->GetStatus()); }));
    list.emplace_back("priority", action([](IActionAttribute* A) { return TextCell(A->GetPriority()); }));
    list.emplace_back("milestone", action([](IActionAttribute* A) {
                        return TCell{TCell::Raw, A->GetIsMilestone() ? "true" : "false"};
                      }));
    // In the task's duration measure, to two decimals as the views print it.
    list.emplace_back("slack", slack([](const TTaskSlack& A) {
                        return NumberCell(ShortestFloatText(std::round(A.Slack * 100) / 100));
                      }));
    list.emplace_back("critical", slack([](const TTaskSlack& A) { return TCell{TCell::Raw, A.Critical ? "true" : "false"}; }));
    list.emplace_back("baseline_start", baseline([](const TBaseline& A) { return DateCell(A.Start); }));
    list.emplace_back("baseline_finish", baseline([](const TBaseline& A) { return DateCell(A.Finish); }));
    list.emplace_back("variance", [](const TPlanRow& ARow, const TSlacks&) {
      const std::optional<double> variance = BaselineVariance(ARow.Node);
      return variance ? NumberCell(ShortestFloatText(std::round(*variance * 100) / 100)) : TCell();
    });
    // As a predecessors column is typed ("3FS, 5SS"); JSON gets a list of objects.
    list.emplace_back("predecessors", [](const TPlanRow& ARow, const TSlacks&) {
      std::string text;
      for (const TPlanLink& link : ARow.Predecessors)
        text += (text.empty() ? "" : ", ") + std::to_string(link.NodeID) + LinkTypeCode(link.Type);
      return TCell{TCell::Raw, text};
    });
    return list;
  }();
  return columns;
}

void WriteJsonPredecessors(std::ostream& AOut, const TPlanRow& ARow) {
  AOut << '[';
  for (size_t i = 0; i < ARow.Predecessors.size(); ++i)
    AOut << (i ? ", " : "") << "{\"id\": " << ARow.Predecessors[i].NodeID << ", \"type\": \""
         << LinkTypeCode(ARow.Predecessors[i].Type) << "\"}";
  AOut << ']';
}

}  // namespace

const std::vector<std::string>& TableFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const auto& column : Columns()) list.push_back(column.first);
    return list;
  }();
  return names;
}

std::vector<std::string> ParseTableFields(const std::string& AList) {
  std::vector<std::string> fields;
  size_t from = 0;
  while (from <= AList.size()) {
    const size_t end = std::min(AList.find(',', from), AList.size());
    const std::string name = AList.substr(from, end - from);
    from = end + 1;
    if (name.empty()) continue;
    if (std::ranges::find(TableFieldNames(), name) == TableFieldNames().end()) {
      std::string all;
      for (const std::string& field : TableFieldNames()) all += (all.empty() ? "" : ", ") + field;
      throw ELumetaError("unknown field '" + name + "'; the fields are " + all, E_INVALIDARG);
    }
    fields.push_back(name);
  }
  if (fields.empty()) throw ELumetaError("--fields names no field", E_INVALIDARG);
  return fields;
}

void WriteTable(std::ostream& AOut, TLumetaMap& AMap, TTableFormat AFormat, const std::vector<std::string>& AFields) {
  std::vector<size_t> picked;
  for (const std::string& field : AFields.empty() ? TableFieldNames() : AFields)
    picked.push_back(static_cast<size_t>(std::ranges::find(TableFieldNames(), field) - TableFieldNames().begin()));
  const auto& columns = Columns();
  const std::vector<TPlanRow> rows = PlanRows(AMap);
  // The critical path is one more pass over the plan: only worth it when a picked field shows it.
  const auto showsSlack = [&](size_t AColumn) {
    return columns[AColumn].first == "slack" || columns[AColumn].first == "critical";
  };
  TSlacks slacks;
  if (std::ranges::any_of(picked, showsSlack) && FindWorkingScheduler(AMap.Root())) slacks.emplace(AMap);
  if (AFormat == TTableFormat::Csv) {
    for (size_t i = 0; i < picked.size(); ++i) AOut << (i ? "," : "") << columns[picked[i]].first;
    AOut << "\r\n";
    for (const TPlanRow& row : rows) {
      for (size_t i = 0; i < picked.size(); ++i) {
        if (i) AOut << ',';
        WriteCsvField(AOut, columns[picked[i]].second(row, slacks).Value);
      }
      AOut << "\r\n";
    }
    return;
  }
  AOut << '[';
  for (size_t r = 0; r < rows.size(); ++r) {
    AOut << (r ? ",\n " : "\n ") << '{';
    for (size_t i = 0; i < picked.size(); ++i) {
      const auto& [name, column] = columns[picked[i]];
      AOut << (i ? ", " : "") << '"' << name << "\": ";
      if (name == "predecessors") {
        WriteJsonPredecessors(AOut, rows[r]);
        continue;
      }
      const TCell cell = column(rows[r], slacks);
      if (cell.Kind == TCell::Null)
        AOut << "null";
      else if (cell.Kind == TCell::Text)
        WriteJsonString(AOut, cell.Value);
      else
        AOut << cell.Value;
    }
    AOut << '}';
  }
  AOut << (rows.empty() ? "]\n" : "\n]\n");
}

void WriteCsvFile(TLumetaMap& AMap, const std::string& APath, const std::vector<std::string>& AFields) {
  std::ostringstream text;
  // The byte order mark tells spreadsheets that the file is UTF-8.
  text << "\xEF\xBB\xBF";
  WriteTable(text, AMap, TTableFormat::Csv, AFields);
  TAtomicFile file(APath);
  file.Write(text.view());
  file.Commit();
}
