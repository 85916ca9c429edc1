#include "apps/TaskTable.h"

#include <algorithm>
#include <array>
#include <bit>
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

// One text per value for the length of a print: a table shows few distinct dates, durations and
// slacks many times over, and each costs a calendar or number conversion. Entries are found by the
// value's bits and its measure; one that another value took is made again.
class TCellTexts {
 public:
  struct TKey {
    uint64_t Bits;
    int32_t Measure;
    bool operator==(const TKey&) const = default;
  };
  // The text AMake appends to an empty string for AKey.
  template <class F>
  std::string_view Text(TKey AKey, F&& AMake) {
    TEntry& entry = FEntries[((AKey.Bits ^ static_cast<uint32_t>(AKey.Measure)) * 0x9E3779B97F4A7C15ULL) >> (64 - KBits)];
    if (entry.Used && entry.Key == AKey) return {entry.Text, entry.Size};
    FMade.clear();
    AMake(FMade);
    if (FMade.size() > sizeof entry.Text) return FMade;  // too long to keep: made each time
    entry.Size = static_cast<uint8_t>(FMade.copy(entry.Text, sizeof entry.Text));
    entry.Key = AKey;
    entry.Used = true;
    return {entry.Text, entry.Size};
  }

 private:
  static constexpr int KBits = 10;
  struct TEntry {
    TKey Key{};
    char Text[22];  // "YYYY-MM-DD", "1.25 days", "-12.5 hrs"
    uint8_t Size = 0;
    bool Used = false;
  };
  std::vector<TEntry> FEntries = std::vector<TEntry>(size_t{1} << KBits);
  std::string FMade;
};

// Texts kept one after another in one string, each found by its place: a table keeps a few per
// row, and a string each would cost a heap block each.
class TKeptTexts {
 public:
  void Reserve(size_t ACount) { FEnds.reserve(ACount); }
  // Where the next text is written; Close ends it.
  std::string& Text() noexcept { return FText; }
  void Close() {
    if (FText.size() > UINT32_MAX) throw std::length_error("the table is larger than 4 GiB");
    FEnds.push_back(static_cast<uint32_t>(FText.size()));
  }
  std::string_view operator[](size_t AIndex) const {
    const size_t start = AIndex == 0 ? 0 : FEnds[AIndex - 1];
    return std::string_view(FText).substr(start, FEnds[AIndex] - start);
  }
  std::string_view Last() const { return (*this)[FEnds.size() - 1]; }

 private:
  std::string FText;
  std::vector<uint32_t> FEnds;
};

// The width of a date's text, "YYYY-MM-DD"; one that cannot be written is empty.
constexpr size_t KDateWidth = 10;

// The texts a print keeps, by the kind of cell.
struct TCellCaches {
  std::string_view Date(double AValue) {
    return Dates.Text({std::bit_cast<uint64_t>(AValue), 0}, [&](std::string& AOut) { AOut = DateToIsoText(AValue); });
  }
  TCellTexts Dates, Durations, Slacks;
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
// What a row shows: the node, its depth below the map and its action's values, with the task's
// slack when it is a dated task.
struct TRowSource {
  TLumetaNode* Node;
  int Depth;
  const TShownAction& Shown;
  std::optional<TTaskSlack> Slack;
};

// The text of one of the row's cells that take more than a copy to write (duration, slack and
// the baseline's) at the end of AOut.
void AppendWorkedOutCell(std::string& AOut, TCellCaches& ACaches, const TRowSource& ARow, int AColumn) {
  if (AColumn == colDuration) {
    const TShownAction& shown = ARow.Shown;
    AOut.append(ACaches.Durations.Text({std::bit_cast<uint64_t>(shown.Duration), shown.DurationMeasure}, [&](std::string& AText) {
      AppendShortNumber(AText, shown.Duration);
      if (const std::string_view measure = GetMeasureText(shown.DurationMeasure); !measure.empty())
        AText.append(" ").append(measure);
    }));
    return;
  }
  if (AColumn == colSlack) {
    if (const std::optional<TTaskSlack>& slack = ARow.Slack)
      AOut.append(ACaches.Slacks.Text({std::bit_cast<uint64_t>(slack->Slack), slack->Measure},
                                      [&](std::string& AText) { AppendSlackText(AText, *slack); }));
    return;
  }
  const auto& baseline = ARow.Node->ReadHostData().Baseline;
  if (!baseline) return;
  if (AColumn == colBaseStart) return void(AOut.append(ACaches.Date(baseline->Start)));
  if (AColumn == colBaseFinish) return void(AOut.append(ACaches.Date(baseline->Finish)));
  if (const std::optional<double> variance = BaselineVariance(ARow.Node)) AOut += VarianceText(*variance);
}

// AText as a terminal shows it: itself, or its visible line made in AScratch.
std::string_view VisibleText(std::string& AScratch, std::string_view AText) {
  if (IsVisibleLine(AText)) return AText;
  AScratch.clear();
  AppendVisibleLine(AScratch, AText);
  return AScratch;
}

// A title is set below its parent's by two blanks a level. Deep levels keep the table narrow:
// past KMaxIndent levels the depth is written instead, as "[21] ".
constexpr int KMaxIndent = 20;
constexpr size_t KMaxIndentBytes = 2 * KMaxIndent + 16;

// The blanks and depth label before a title at AOut (room for KMaxIndentBytes); answers their
// width, which is their length.
size_t PutIndent(char* AOut, int ADepth) {
  const size_t blanks = 2 * static_cast<size_t>(std::min(ADepth, KMaxIndent));
  std::memset(AOut, ' ', blanks);
  if (ADepth <= KMaxIndent) return blanks;
  char* label = AOut + blanks;
  *label++ = '[';
  label = std::to_chars(label, AOut + KMaxIndentBytes, ADepth).ptr;
  *label++ = ']';
  *label++ = ' ';
  return static_cast<size_t>(label - AOut);
}

// The width PutIndent writes for ADepth.
size_t IndentWidth(int ADepth) {
  if (ADepth <= KMaxIndent) return 2 * static_cast<size_t>(std::max(ADepth, 0));
  size_t digits = 1;
  for (int rest = ADepth; rest >= 10; rest /= 10) ++digits;
  return 2 * KMaxIndent + digits + 3;  // "[", the depth, "] "
}

// How many blanks a line writes at once; see PrintTaskTable.
constexpr size_t KBlankRun = 32;

// AText at AOut. Cells are short: up to 16 bytes go as two overlapping fixed-size copies, which
// the compiler writes in place of calling memcpy. Written out at each cell, so that the processor
// learns each column's sizes apart rather than mispredicting from one column to the next.
[[gnu::always_inline]] inline void PutShort(char*& AOut, std::string_view AText) {
  const size_t size = AText.size();
  const char* text = AText.data();
  if (size >= 8 && size <= 16) {
    std::memcpy(AOut, text, 8);
    std::memcpy(AOut + size - 8, text + size - 8, 8);
  } else if (size >= 4 && size < 8) {
    std::memcpy(AOut, text, 4);
    std::memcpy(AOut + size - 4, text + size - 4, 4);
  } else if (size < 4) {
    for (size_t i = 0; i < size; ++i) AOut[i] = text[i];
  } else {
    std::memcpy(AOut, text, size);
  }
  AOut += size;
}

constexpr char KEllipsis[] = "\xE2\x80\xA6";  // UTF-8, three bytes

// AText (ATextWidth characters) in at most AWidth characters at AOut, cut to one less and an
// ellipsis when longer; answers the characters written.
size_t PutClipped(char*& AOut, std::string_view AText, size_t ATextWidth, size_t AWidth) {
  const size_t width = ATextWidth;
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
  std::memcpy(AOut, KEllipsis, 3);
  AOut += 3;
  return AWidth;
}

// The same, measuring AText.
size_t PutClipped(char*& AOut, std::string_view AText, size_t AWidth) { return PutClipped(AOut, AText, TextWidth(AText), AWidth); }

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
  // One bit a byte, summed by the multiplication into the top byte: x86-64's baseline has no
  // population count instruction.
  const auto count = [](uint64_t AWord) {
    return static_cast<size_t>((((AWord & ~(AWord << 1) & KHighBits) >> 7) * 0x0101010101010101ULL) >> 56);
  };
  const size_t size = AText.size();
  size_t continuations = 0, i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, AText.data() + i, 8);
    continuations += count(word);
  }
  if (i < size && size >= 8) {
    // The last eight bytes, without those counted already (the low ones: x86-64 is little-endian).
    uint64_t word;
    std::memcpy(&word, AText.data() + size - 8, 8);
    continuations += count(word >> (8 * (8 - (size - i))));
    i = size;
  }
  for (; i < size; ++i) continuations += (static_cast<unsigned char>(AText[i]) & 0xC0) == 0x80;
  return size - continuations;
}

void PrintTaskTable(std::ostream& AOut, TLumetaModel* AModel) {
  TLumetaMap& map = AModel->Map();
  constexpr size_t KLineWidth = 120, KMinTitle = 16, KMaxPriority = 16;
  std::vector<std::pair<TLumetaNode*, int>> nodes;  // in pre-order, with their depths
  std::vector<INode*> asked;
  // Each node's record and links, found here by their classes' ranks while the walk has the node
  // at hand, rather than by a look-up of each later.
  std::vector<IProperty*> records, links;
  std::vector<int32_t> depths;
  nodes.reserve(map.NodeCount());
  asked.reserve(map.NodeCount());
  records.reserve(map.NodeCount());
  links.reserve(map.NodeCount());
  depths.reserve(map.NodeCount());
  const std::string recordName = KActionPropertyName, linksName = KPredecessorLinksName;
  const size_t recordRank = map.PropertyRank(recordName), linksRank = map.PropertyRank(linksName);
  const char* const names[colCount] = {"ID",     "Title", "Start", "Due",      "Done",    "Duration",
                                       "%",      "Status", "Slack", "Critical", "Baseline Start",
                                       "Baseline Finish", "Variance", "Priority"};
  size_t widths[colCount];
  for (int i = 0; i < colCount; ++i) widths[i] = std::strlen(names[i]);
  const auto grow = [&](int AColumn, size_t AWidth) { widths[AColumn] = std::max(widths[AColumn], AWidth); };
  // The IDs and the visible titles, with their widths, are taken while the walk has the node at
  // hand: the passes below then never go back to the nodes, which a large map no longer holds in
  // the cache.
  std::vector<int64_t> ids;
  TKeptTexts titles;
  std::vector<uint32_t> titleWidths;
  ids.reserve(map.NodeCount());
  titles.Reserve(map.NodeCount());
  titleWidths.reserve(map.NodeCount());
  std::string scratch;
  int64_t lowestID = 0, highestID = 0;  // the widest ID is one of these
  bool baselines = false;  // the baseline's columns only for a map that keeps one
  TLumetaMap::ForEachInSubtree(map.Root(), [&](TLumetaNode* ANode, int ALevel) {
    baselines = baselines || ANode->ReadHostData().Baseline;
    if (ALevel == 0) return;
    nodes.emplace_back(ANode, ALevel - 1);
    asked.push_back(ANode);
    records.push_back(ANode->PeekProperty(recordName, recordRank));
    links.push_back(ANode->PeekProperty(linksName, linksRank));
    depths.push_back(ALevel - 1);
    const int64_t id = ANode->ID();
    ids.push_back(id);
    lowestID = std::min(lowestID, id);
    highestID = std::max(highestID, id);
    AppendVisibleLine(titles.Text(), ANode->Title(scratch));
    titles.Close();
    titleWidths.push_back(static_cast<uint32_t>(TextWidth(titles.Last())));
    grow(colTitle, IndentWidth(ALevel - 1) + titleWidths.back());
  });
  const ComPtr<IActionTable> table = QueryAs<IActionTable>(AModel->FindPlugInUI(KActionPlugInName).get());
  const std::vector<TShownAction> shown =
      table ? table->ShownActions(asked, records, depths) : std::vector<TShownAction>(asked.size());
  // Without a calendar there is no working time to measure slack in: the columns stay empty. The
  // slack reads the tasks' dates from the rows rather than from each record again.
  std::optional<TCriticalPath> path;
  if (FindWorkingScheduler(map.Root())) {
    const TTableRows rows{nodes, table ? &shown : nullptr, &links, &ids};
    path.emplace(map, &rows);
  }
  const auto row = [&](size_t AIndex) {
    return TRowSource{nodes[AIndex].first, nodes[AIndex].second, shown[AIndex],
                      path ? path->FindAt(static_cast<int32_t>(AIndex)) : std::nullopt};
  };

  // Two passes: the first measures every column, the second writes the lines. Between them only
  // the cells dearer to write than to keep are kept (the titles, taken on the walk, and the numbers
  // worked out in working time); a table of a million cells kept whole cost more in fresh memory
  // than the rest of the print.
  constexpr int kept[] = {colDuration, colSlack, colVariance};
  constexpr size_t KKept = std::size(kept);
  TKeptTexts keptCells;
  std::vector<const char*> critical;  // "yes", "no" or empty
  keptCells.Reserve(nodes.size() * KKept);
  critical.reserve(nodes.size());
  const auto keptCell = [&](size_t ARow, size_t AKept) { return keptCells[ARow * KKept + AKept]; };
  TCellCaches cells;
  const auto numberWidth = [](auto AValue) {
    char number[24];
    return static_cast<size_t>(std::to_chars(number, number + sizeof number, AValue).ptr - number);
  };
  for (size_t i = 0; i < nodes.size(); ++i) {
    const TRowSource source = row(i);
    critical.push_back("");
    for (size_t k = 0; k < KKept; ++k) {
      if (source.Shown.HasAction && (baselines || kept[k] != colVariance))
        AppendWorkedOutCell(keptCells.Text(), cells, source, kept[k]);
      keptCells.Close();
      grow(kept[k], keptCells.Last().size());
    }
    if (!source.Shown.HasAction) continue;
    // A date's text is empty or ten characters: once a column holds one, no later date widens it.
    for (const auto& [column, date] : {std::pair{colStart, source.Shown.Start}, std::pair{colDue, source.Shown.Due},
                                      std::pair{colDone, source.Shown.Finish}})
      if (widths[column] < KDateWidth) grow(column, cells.Date(date).size());
    grow(colComplete, numberWidth(source.Shown.Complete));
    // A control character shows as one picture of it: the visible text is as wide as the stored.
    grow(colStatus, TextWidth(source.Shown.Status));
    grow(colPriority, TextWidth(source.Shown.Priority));
    critical.back() = source.Slack ? (source.Slack->Critical ? "yes" : "no") : "";
    grow(colCritical, std::strlen(critical.back()));
    if (baselines) {
      for (const int column : {colBaseStart, colBaseFinish}) {
        scratch.clear();
        AppendWorkedOutCell(scratch, cells, source, column);
        grow(column, scratch.size());
      }
    }
  }

  grow(colID, std::max(numberWidth(lowestID), numberWidth(highestID)));
  if (!baselines) widths[colBaseStart] = widths[colBaseFinish] = widths[colVariance] = 0;
  widths[colPriority] = std::min(widths[colPriority], KMaxPriority);
  size_t others = baselines ? colCount : colCount - 3;  // the blanks between the columns, and one before Start
  for (int i = 0; i < colCount; ++i)
    if (i != colTitle) others += widths[i];
  widths[colTitle] = std::min(widths[colTitle], std::max(KMinTitle, KLineWidth > others ? KLineWidth - others : 0));

  size_t widthSum = 0;
  for (const size_t width : widths) widthSum += width;
  // A character takes at most four bytes; the cells, their blanks, a blank after each, two before
  // Start, two ellipses and the newline.
  const size_t lineBytes = 4 * widthSum + colCount + 16 + KBlankRun;
  TLineBlock lines(AOut);
  char* out = nullptr;
  // A cell's few blanks are written as one run of fixed length, which the compiler writes in place
  // of calling memset; the line's room holds one run past its end. These are written out at each
  // cell, as PutShort is.
  const auto blanks = [&](size_t ACount) __attribute__((always_inline)) {
    if (ACount <= KBlankRun)
      std::memset(out, ' ', KBlankRun);
    else
      std::memset(out, ' ', ACount);
    out += ACount;
  };
  // AText, ATextWidth characters wide, in its column and a blank after it.
  const auto cell = [&](int AColumn, std::string_view AText, size_t ATextWidth, bool ARight) __attribute__((always_inline)) {
    const size_t fill = ATextWidth >= widths[AColumn] ? 0 : widths[AColumn] - ATextWidth;
    if (ARight) blanks(fill);
    PutShort(out, AText);
    if (!ARight) blanks(fill);
    *out++ = ' ';
  };
  const auto asciiCell = [&](int AColumn, std::string_view AText, bool ARight) __attribute__((always_inline)) {
    cell(AColumn, AText, AText.size(), ARight);
  };

  out = lines.Begin(lineBytes);
  asciiCell(colID, names[colID], true);
  blanks(widths[colTitle] - PutClipped(out, names[colTitle], widths[colTitle]));
  blanks(2);
  for (int column = colStart; column < colPriority; ++column)
    if (baselines || (column != colBaseStart && column != colBaseFinish && column != colVariance))
      asciiCell(column, names[column], column == colComplete);
  PutClipped(out, names[colPriority], widths[colPriority]);
  lines.End(out);

  // The root is the map itself: its title may run across the columns it never fills.
  std::string root;
  AppendPadded(root, "0", 1, widths[colID], true);
  root += ' ';
  AppendVisibleLine(root, map.Root()->Title());
  out = lines.Begin(root.size() + 1);
  std::memcpy(out, root.data(), root.size());
  lines.End(out + root.size());

  char indent[KMaxIndentBytes];
  for (size_t i = 0; i < nodes.size(); ++i) {
    const auto [node, depth] = nodes[i];
    const TShownAction& action = shown[i];
    out = lines.Begin(lineBytes);
    char number[24];
    asciiCell(colID, std::string_view(number, std::to_chars(number, number + sizeof number, ids[i]).ptr), true);
    // The title after its indent, the whole cut to the column's width.
    const size_t indentWidth = PutIndent(indent, depth);
    const std::string_view titleCell = titles[i];
    const size_t titleColumn = widths[colTitle], titleWidth = indentWidth + titleWidths[i];
    if (titleWidth <= titleColumn) {
      std::memcpy(out, indent, indentWidth);
      out += indentWidth;
      std::memcpy(out, titleCell.data(), titleCell.size());
      out += titleCell.size();
      blanks(titleColumn - titleWidth);
    } else if (indentWidth + 1 >= titleColumn) {
      // Cut within the indent: as many of its characters as leave room for the ellipsis.
      std::memcpy(out, indent, titleColumn - 1);
      out += titleColumn - 1;
      std::memcpy(out, KEllipsis, 3);
      out += 3;
    } else {
      std::memcpy(out, indent, indentWidth);
      out += indentWidth;
      PutClipped(out, titleCell, titleWidths[i], titleColumn - indentWidth);
    }
    if (!action.HasAction) {
      lines.End(out);
      continue;
    }
    blanks(2);
    asciiCell(colStart, cells.Date(action.Start), false);
    asciiCell(colDue, cells.Date(action.Due), false);
    asciiCell(colDone, cells.Date(action.Finish), false);
    asciiCell(colDuration, keptCell(i, 0), true);
    asciiCell(colComplete, std::string_view(number, std::to_chars(number, number + sizeof number, action.Complete).ptr), true);
    cell(colStatus, VisibleText(scratch, action.Status), TextWidth(action.Status), false);
    asciiCell(colSlack, keptCell(i, 1), true);
    asciiCell(colCritical, critical[i], false);
    if (baselines) {
      const TRowSource source{node, depth, action, std::nullopt};
      for (const int column : {colBaseStart, colBaseFinish}) {
        scratch.clear();
        AppendWorkedOutCell(scratch, cells, source, column);
        asciiCell(column, scratch, false);
      }
      asciiCell(colVariance, keptCell(i, 2), true);
    }
    PutClipped(out, VisibleText(scratch, action.Priority), widths[colPriority]);
    lines.End(out);
  }
  lines.Flush();
}
