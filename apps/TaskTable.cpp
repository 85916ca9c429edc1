#include "apps/TaskTable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "apps/LumetaShell.h"
#include "apps/ScheduleCommands.h"
#include "com/OleDate.h"
#include "contract/ActionAttributesIntf.h"
#include "contract/ActionEditIntf.h"
#include "contract/ActionVocabulary.h"
#include "contract/WorkingSchedulerIntf.h"
#include "host/Baseline.h"
#include "host/CriticalPath.h"
#include "host/LumetaModel.h"

namespace {

enum {
  colID, colTitle, colStart, colDue, colDone, colDuration, colComplete, colStatus, colSlack, colCritical, colBaseStart,
  colBaseFinish, colVariance, colPriority, colCount
};

// The table's cells in one text, each known by where it ends, with each column's width: a table
// of a map of 100,000 nodes holds well over a million cells, and a string apiece cost more than
// working out what they say. A cell is written at the end of Text() and closed with EndCell.
class TTableCells {
 public:
  void Reserve(size_t ARows) {
    FEnds.reserve(ARows * colCount);
    FText.reserve(ARows * 64);
    FHasAction.reserve(ARows);
  }
  // AHasAction: whether the row's action columns are printed.
  void StartRow(bool AHasAction) {
    FHasAction.push_back(AHasAction);
    FColumn = 0;
  }
  std::string& Text() { return FText; }
  void EndCell() {
    const size_t start = FEnds.empty() ? 0 : FEnds.back();
    FWidths[FColumn] = std::max(FWidths[FColumn], TextWidth(std::string_view(FText).substr(start)));
    if (FText.size() > UINT32_MAX) throw std::length_error("the table is larger than 4 GiB");
    FEnds.push_back(static_cast<uint32_t>(FText.size()));
    ++FColumn;
  }
  void AddCell(std::string_view AText) {
    FText.append(AText);
    EndCell();
  }
  // Closes the row's remaining cells empty.
  void EndRow() {
    while (FColumn < colCount) {
      FEnds.push_back(FEnds.back());
      ++FColumn;
    }
  }

  size_t RowCount() const { return FHasAction.size(); }
  bool HasAction(size_t ARow) const { return FHasAction[ARow]; }
  std::string_view Cell(size_t ARow, int AColumn) const {
    const size_t index = ARow * colCount + static_cast<size_t>(AColumn);
    const size_t start = index == 0 ? 0 : FEnds[index - 1];
    return std::string_view(FText).substr(start, FEnds[index] - start);
  }
  size_t Width(int AColumn) const { return FWidths[AColumn]; }

 private:
  std::string FText;
  std::vector<uint32_t> FEnds;
  std::vector<bool> FHasAction;
  std::array<size_t, colCount> FWidths{};
  int FColumn = 0;
};

// One text per date for the length of a print: a table shows few distinct dates many times over,
// and each costs a calendar conversion. Entries are found by the value's bits; one that another
// date took is made again.
class TDateTexts {
 public:
  void Append(std::string& AOut, double AValue) {
    TEntry& entry = FEntries[(std::bit_cast<uint64_t>(AValue) * 0x9E3779B97F4A7C15ULL) >> (64 - KBits)];
    if (!entry.Used || std::bit_cast<uint64_t>(entry.Value) != std::bit_cast<uint64_t>(AValue)) {
      const std::string text = DateToIsoText(AValue);
      entry.Size = static_cast<uint8_t>(text.copy(entry.Text, sizeof entry.Text));
      entry.Value = AValue;
      entry.Used = true;
    }
    AOut.append(entry.Text, entry.Size);
  }

 private:
  static constexpr int KBits = 10;
  struct TEntry {
    double Value = 0;
    char Text[15];  // "YYYY-MM-DD"
    uint8_t Size = 0;
    bool Used = false;
  };
  std::vector<TEntry> FEntries = std::vector<TEntry>(size_t{1} << KBits);
};

template <class T>
void AppendNumber(std::string& AOut, T AValue) {
  char text[32];
  AOut.append(text, std::to_chars(text, text + sizeof text, AValue).ptr);
}

// Six significant digits, as printf's "%.6g" writes them.
void AppendShortNumber(std::string& AOut, double AValue) {
  char text[32];
  AOut.append(text, std::to_chars(text, text + sizeof text, AValue, std::chars_format::general, 6).ptr);
}

// What the nodes' actions show; a summary's rolled-up values come from the plug-in, which rolls
// each summary up once for the whole table. Without the plug-in no node carries an action.
std::vector<TShownAction> ShownActions(TLumetaModel* AModel, const std::vector<INode*>& ANodes) {
  if (ComPtr<IActionTable> table = QueryAs<IActionTable>(AModel->FindPlugInUI(KActionPlugInName).get()))
    return table->ShownActions(ANodes);
  return std::vector<TShownAction>(ANodes.size());
}

// The node's row; ASlack: the task's slack, when it is a dated task.
void AddRow(TTableCells& ACells, TDateTexts& ADates, TLumetaNode* ANode, int ADepth, const TShownAction& AShown,
            const std::optional<TTaskSlack>& ASlack) {
  std::string& text = ACells.Text();
  ACells.StartRow(AShown.HasAction);
  AppendNumber(text, ANode->ID());
  ACells.EndCell();
  // Deep levels keep the table narrow: past KMaxIndent levels the depth is written instead.
  constexpr int KMaxIndent = 20;
  text.append(2 * static_cast<size_t>(std::min(ADepth, KMaxIndent)), ' ');
  if (ADepth > KMaxIndent) {
    text += '[';
    AppendNumber(text, ADepth);
    text += "] ";
  }
  AppendVisibleLine(text, ANode->Title());
  ACells.EndCell();
  if (!AShown.HasAction) return ACells.EndRow();

  ADates.Append(text, AShown.Start);
  ACells.EndCell();
  ADates.Append(text, AShown.Due);
  ACells.EndCell();
  ADates.Append(text, AShown.Finish);
  ACells.EndCell();
  AppendShortNumber(text, AShown.Duration);
  if (const std::string measure = GetMeasureText(AShown.DurationMeasure); !measure.empty()) text.append(" ").append(measure);
  ACells.EndCell();
  AppendNumber(text, AShown.Complete);
  ACells.EndCell();
  AppendVisibleLine(text, AShown.Status);
  ACells.EndCell();
  if (ASlack) {
    ACells.AddCell(SlackText(*ASlack));
    ACells.AddCell(ASlack->Critical ? "yes" : "no");
  } else {
    ACells.EndCell();
    ACells.EndCell();
  }
  if (const auto& baseline = ANode->ReadHostData().Baseline) {
    ADates.Append(text, baseline->Start);
    ACells.EndCell();
    ADates.Append(text, baseline->Finish);
    ACells.EndCell();
    if (const std::optional<double> variance = BaselineVariance(ANode)) text += VarianceText(*variance);
    ACells.EndCell();
  } else {
    ACells.EndCell();
    ACells.EndCell();
    ACells.EndCell();
  }
  AppendVisibleLine(text, AShown.Priority);
  ACells.EndCell();
}

// AText in AWidth characters: cut to one less and an ellipsis when longer.
void AppendClipped(std::string& AOut, std::string_view AText, size_t AWidth) {
  if (TextWidth(AText) <= AWidth) {
    AOut.append(AText);
    return;
  }
  if (AWidth == 0) return;
  size_t width = 0, end = 0;
  for (; end < AText.size(); ++end)
    if ((static_cast<unsigned char>(AText[end]) & 0xC0) != 0x80 && ++width > AWidth - 1) break;
  AOut.append(AText.substr(0, end)).append("\xE2\x80\xA6");  // an ellipsis
}

// AText filled with blanks to AWidth characters, on the right or (ARight) on the left.
void AppendPadded(std::string& AOut, std::string_view AText, size_t AWidth, bool ARight = false) {
  const size_t width = TextWidth(AText);
  const size_t blanks = width >= AWidth ? 0 : AWidth - width;
  if (ARight) AOut.append(blanks, ' ');
  AOut.append(AText);
  if (!ARight) AOut.append(blanks, ' ');
}

}  // namespace

size_t TextWidth(std::string_view AText) {
  // Every byte but the continuation bytes (10xxxxxx) starts a character; eight bytes at a time.
  constexpr uint64_t KHighBits = 0x8080808080808080ULL;
  size_t continuations = 0, i = 0;
  for (; i + 8 <= AText.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, AText.data() + i, 8);
    continuations += static_cast<size_t>(std::popcount(word & ~(word << 1) & KHighBits));
  }
  for (; i < AText.size(); ++i) continuations += (static_cast<unsigned char>(AText[i]) & 0xC0) == 0x80;
  return AText.size() - continuations;
}

void PrintTaskTable(std::ostream& AOut, TLumetaModel* AModel) {
  TLumetaMap& map = AModel->Map();
  constexpr size_t KLineWidth = 120, KMinTitle = 16, KMaxPriority = 16;
  std::vector<std::pair<TLumetaNode*, int>> nodes;  // in pre-order, with their depths
  std::vector<INode*> asked;
  nodes.reserve(map.NodeCount());
  asked.reserve(map.NodeCount());
  bool baselines = false;  // the baseline's columns only for a map that keeps one
  TLumetaMap::ForEachInSubtree(map.Root(), [&](TLumetaNode* ANode, int ALevel) {
    baselines = baselines || ANode->ReadHostData().Baseline;
    if (ALevel == 0) return;
    nodes.emplace_back(ANode, ALevel - 1);
    asked.push_back(ANode);
  });
  const std::vector<TShownAction> shown = ShownActions(AModel, asked);
  // Without a calendar there is no working time to measure slack in: the columns stay empty.
  std::optional<TCriticalPath> path;
  if (FindWorkingScheduler(map.Root())) path.emplace(map);

  TTableCells cells;
  cells.Reserve(nodes.size() + 1);
  const char* const names[colCount] = {"ID",     "Title", "Start", "Due",      "Done",    "Duration",
                                       "%",      "Status", "Slack", "Critical", "Baseline Start",
                                       "Baseline Finish", "Variance", "Priority"};
  cells.StartRow(true);
  for (const char* name : names) cells.AddCell(name);
  TDateTexts dates;
  for (size_t i = 0; i < nodes.size(); ++i)
    AddRow(cells, dates, nodes[i].first, nodes[i].second, shown[i], path ? path->FindAt(static_cast<int32_t>(i)) : std::nullopt);

  size_t widths[colCount];
  for (int i = 0; i < colCount; ++i) widths[i] = cells.Width(i);
  if (!baselines) widths[colBaseStart] = widths[colBaseFinish] = widths[colVariance] = 0;
  widths[colPriority] = std::min(widths[colPriority], KMaxPriority);
  size_t others = baselines ? colCount : colCount - 3;  // the blanks between the columns, and one before Start
  for (int i = 0; i < colCount; ++i)
    if (i != colTitle) others += widths[i];
  widths[colTitle] = std::min(widths[colTitle], std::max(KMinTitle, KLineWidth > others ? KLineWidth - others : 0));

  // Lines go out in blocks: a stream write per cell or line cost as much as the rest together.
  constexpr size_t KBlock = 64 * 1024;
  std::string block;
  block.reserve(2 * KBlock);
  const auto endLine = [&](size_t ALineStart) {
    size_t end = block.size();
    while (end > ALineStart && block[end - 1] == ' ') --end;
    block.resize(end);
    block += '\n';
    if (block.size() >= KBlock) {
      AOut.write(block.data(), static_cast<std::streamsize>(block.size()));
      block.clear();
    }
  };
  const auto print = [&](size_t ARow) {
    const bool header = ARow == 0;
    const size_t start = block.size();
    const auto cell = [&](int AColumn, bool ARight = false) {
      AppendPadded(block, cells.Cell(ARow, AColumn), widths[AColumn], ARight);
      block += ' ';
    };
    cell(colID, true);
    const size_t titleStart = block.size();
    AppendClipped(block, cells.Cell(ARow, colTitle), widths[colTitle]);
    const size_t titleWidth = TextWidth(std::string_view(block).substr(titleStart));
    if (titleWidth < widths[colTitle]) block.append(widths[colTitle] - titleWidth, ' ');
    if (cells.HasAction(ARow)) {
      block += "  ";
      cell(colStart);
      cell(colDue);
      cell(colDone);
      cell(colDuration, !header);
      cell(colComplete, true);
      cell(colStatus);
      cell(colSlack, !header);
      cell(colCritical);
      if (baselines) {
        cell(colBaseStart);
        cell(colBaseFinish);
        cell(colVariance, !header);
      }
      AppendClipped(block, cells.Cell(ARow, colPriority), widths[colPriority]);
    }
    endLine(start);
  };
  print(0);
  // The root is the map itself: its title may run across the columns it never fills.
  const size_t rootStart = block.size();
  AppendPadded(block, "0", widths[colID], true);
  block += ' ';
  AppendVisibleLine(block, map.Root()->Title());
  endLine(rootStart);
  for (size_t r = 1; r < cells.RowCount(); ++r) print(r);
  AOut.write(block.data(), static_cast<std::streamsize>(block.size()));
}
