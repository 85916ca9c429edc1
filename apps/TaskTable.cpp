#include "apps/TaskTable.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
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

// The columns of what people typed, which may hold any character; the others hold only ASCII,
// whose width is its length.
constexpr bool IsTextColumn(int AColumn) { return AColumn == colTitle || AColumn == colStatus || AColumn == colPriority; }

size_t CellWidth(std::string_view ACell, int AColumn) {
  return IsTextColumn(AColumn) ? TextWidth(ACell) : ACell.size();
}

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
    FWidths[FColumn] = std::max(FWidths[FColumn], CellWidth(std::string_view(FText).substr(start), FColumn));
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
  // The bytes of all the row's cells.
  size_t RowBytes(size_t ARow) const {
    const size_t first = ARow * colCount;
    return FEnds[first + colCount - 1] - (first == 0 ? 0 : FEnds[first - 1]);
  }

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

// Six significant digits, as printf's "%.6g" writes them. Durations are mostly whole or a few
// decimals: when the value is the double nearest to n/1000 (IEEE division rounds to nearest) and
// below 1000, "%.6g" writes n/1000 itself, which is written from the integer, several times
// cheaper than the general way. Zero goes the general way, which keeps the sign of -0.
void AppendShortNumber(std::string& AOut, double AValue) {
  if (AValue != 0 && std::abs(AValue) < 1000) {
    const double thousandths = std::nearbyint(AValue * 1000);
    if (thousandths / 1000 == AValue) {
      const auto scaled = static_cast<int64_t>(thousandths);
      const uint64_t magnitude = scaled < 0 ? uint64_t(-scaled) : uint64_t(scaled);
      if (scaled < 0) AOut += '-';
      AppendNumber(AOut, magnitude / 1000);
      if (const uint64_t fraction = magnitude % 1000) {
        const char digits[3] = {char('0' + fraction / 100), char('0' + fraction / 10 % 10), char('0' + fraction % 10)};
        size_t count = 3;
        while (digits[count - 1] == '0') --count;
        AOut.append(1, '.').append(digits, count);
      }
      return;
    }
  }
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

// AText in at most AWidth characters at AOut, cut to one less and an ellipsis when longer;
// answers the characters written.
size_t PutClipped(char*& AOut, std::string_view AText, size_t AWidth) {
  const size_t width = TextWidth(AText);
  size_t end = AText.size();
  if (width > AWidth) {
    if (AWidth == 0) return 0;
    if (width == AText.size()) {
      end = AWidth - 1;  // a character a byte
    } else {
      size_t characters = 0;
      for (end = 0; end < AText.size(); ++end)
        if ((static_cast<unsigned char>(AText[end]) & 0xC0) != 0x80 && ++characters > AWidth - 1) break;
    }
  }
  std::memcpy(AOut, AText.data(), end);
  AOut += end;
  if (end == AText.size()) return width;
  std::memcpy(AOut, "\xE2\x80\xA6", 3);  // an ellipsis
  AOut += 3;
  return AWidth;
}

// Lines written straight into one buffer and sent out in 64 KiB blocks: a stream write, or a
// string append, per cell cost as much as the rest of the table together.
class TLineBlock {
 public:
  explicit TLineBlock(std::ostream& AOut) : FOut(AOut), FBuffer(2 * KBlock) {}
  // Where to write a line of at most ABytes, its newline included.
  char* Begin(size_t ABytes) {
    if (FUsed + ABytes > FBuffer.size()) {
      Flush();
      if (ABytes > FBuffer.size()) FBuffer.resize(ABytes);
    }
    FLineStart = FUsed;
    return FBuffer.data() + FUsed;
  }
  // Ends the line begun last at AEnd, without its trailing blanks.
  void End(char* AEnd) {
    const char* start = FBuffer.data() + FLineStart;
    while (AEnd > start && AEnd[-1] == ' ') --AEnd;
    *AEnd++ = '\n';
    FUsed = static_cast<size_t>(AEnd - FBuffer.data());
    if (FUsed >= KBlock) Flush();
  }
  void Flush() {
    FOut.write(FBuffer.data(), static_cast<std::streamsize>(FUsed));
    FUsed = 0;
  }

 private:
  static constexpr size_t KBlock = 64 * 1024;
  std::ostream& FOut;
  std::vector<char> FBuffer;
  size_t FUsed = 0, FLineStart = 0;
};

// AText (ATextWidth characters) filled with blanks to AWidth characters, on the right or (ARight)
// on the left.
void AppendPadded(std::string& AOut, std::string_view AText, size_t ATextWidth, size_t AWidth, bool ARight = false) {
  const size_t width = ATextWidth;
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
    // One bit a byte, summed by the multiplication into the top byte: x86-64's baseline has no
    // population count instruction.
    continuations += static_cast<size_t>((((word & ~(word << 1) & KHighBits) >> 7) * 0x0101010101010101ULL) >> 56);
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

  size_t widthSum = 0;
  for (const size_t width : widths) widthSum += width;
  TLineBlock lines(AOut);
  const auto print = [&](size_t ARow) {
    const bool header = ARow == 0;
    // The cells, their widths in blanks, a blank after each, two before Start, two ellipses and
    // the newline.
    char* out = lines.Begin(cells.RowBytes(ARow) + widthSum + colCount + 16);
    const auto put = [&](std::string_view AText) {
      std::memcpy(out, AText.data(), AText.size());
      out += AText.size();
    };
    const auto blanks = [&](size_t ACount) {
      std::memset(out, ' ', ACount);
      out += ACount;
    };
    const auto cell = [&](int AColumn, bool ARight = false) {
      const std::string_view text = cells.Cell(ARow, AColumn);
      const size_t width = CellWidth(text, AColumn);
      const size_t fill = width >= widths[AColumn] ? 0 : widths[AColumn] - width;
      if (ARight) blanks(fill);
      put(text);
      if (!ARight) blanks(fill);
      *out++ = ' ';
    };
    cell(colID, true);
    blanks(widths[colTitle] - PutClipped(out, cells.Cell(ARow, colTitle), widths[colTitle]));
    if (cells.HasAction(ARow)) {
      blanks(2);
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
      PutClipped(out, cells.Cell(ARow, colPriority), widths[colPriority]);
    }
    lines.End(out);
  };
  print(0);
  // The root is the map itself: its title may run across the columns it never fills.
  std::string root;
  AppendPadded(root, "0", 1, widths[colID], true);
  root += ' ';
  AppendVisibleLine(root, map.Root()->Title());
  char* out = lines.Begin(root.size() + 1);
  std::memcpy(out, root.data(), root.size());
  lines.End(out + root.size());
  for (size_t r = 1; r < cells.RowCount(); ++r) print(r);
  lines.Flush();
}
