// Exporting a 100,000-task phase map to MS Project XML and importing it again, each next to a
// plain pugixml write and parse of the same file: the exchange's own work on top of the XML.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>

#include <pugixml.hpp>

#include "exchange/MspdiReader.h"
#include "exchange/MspdiWriter.h"
#include "host/LumetaMap.h"
#include "host/LumetaPlugInLoader.h"
#include "host/xml/LumetaXmlArchive.h"
#include "session/MapDocument.h"
#include "tests/support/TestFiles.h"

namespace {

// Phases of a hundred one-day tasks chained finish to start under a summary, each phase after the
// one before it, as the scheduling benchmark plans them.
std::string PhaseMap(int ATasks) {
  constexpr int KPhase = 100;
  std::string text = "<Map Version=\"1\"><Title>Phases</Title><Settings TaskScheduling=\"true\" />";
  int id = 0;
  for (int phase = 0; phase * KPhase < ATasks; ++phase) {
    const int summary = ++id;
    text += "<Node ID=\"" + std::to_string(summary) + "\"><Title>Phase " + std::to_string(phase) + "</Title>";
    if (phase > 0) text += "<TaskLinks><Link Node=\"" + std::to_string(summary - KPhase - 1) + "\" /></TaskLinks>";
    if ((phase + 1) * KPhase < ATasks)
      text += "<SuccessorTaskLinks><Link Node=\"" + std::to_string(summary + KPhase + 1) + "\" /></SuccessorTaskLinks>";
    for (int i = 0; i < KPhase; ++i) {
      const int task = ++id;
      const int day = phase * KPhase + i;
      const std::string date = std::to_string(day);
      text += "<Node ID=\"" + std::to_string(task) + "\"><Title>Task " + date + "</Title><Action><Complete>0</Complete>"
              "<Duration Measure=\"Days\">1</Duration><StartDate>2026-12-07T08:00:00</StartDate>"
              "<CompletedDate>2026-12-07T17:00:00</CompletedDate></Action>";
      if (i > 0) text += "<TaskLinks><Link Node=\"" + std::to_string(task - 1) + "\" /></TaskLinks>";
      if (i + 1 < KPhase) text += "<SuccessorTaskLinks><Link Node=\"" + std::to_string(task + 1) + "\" /></SuccessorTaskLinks>";
      text += "</Node>";
    }
    text += "</Node>";
  }
  return text + "</Map>";
}

// Processor time of the process (user and system): on a shared machine the steadier figure.
double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <class F>
double Best(int ARuns, F&& AWork) {
  double best = 1e9;
  for (int run = 0; run < ARuns; ++run) {
    const double start = CpuSeconds();
    AWork();
    best = std::min(best, CpuSeconds() - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  // A smaller count for a profiler: exchange_bench 10000.
  const int KTasks = argc > 1 ? std::max(100, std::atoi(argv[1])) : 100'000;
  const TTempFolder dir;
  WriteText(dir / "phases.xml", PhaseMap(KTasks));
  TMapDocument document;
  document.Open(DefaultPlugInDir(), dir / "phases.xml");
  TLumetaMap& map = document.Model()->Map();
  std::string mspdi = MspdiText(map);  // the first run also reads every record from the file
  // LUMETA_EXCHANGE_BENCH_KEEP=FILE keeps the MSPDI text for a profiler or another tool.
  if (const char* keep = std::getenv("LUMETA_EXCHANGE_BENCH_KEEP")) WriteText(keep, mspdi);

  const double exportSeconds = Best(3, [&] { mspdi = MspdiText(map); });
  pugi::xml_document parsed;
  parsed.load_buffer(mspdi.data(), mspdi.size());
  const double writeSeconds = Best(3, [&] {
    std::ostringstream out;
    parsed.save(out, "  ");
  });
  const double parseSeconds = Best(3, [&] {
    pugi::xml_document again;
    again.load_buffer(mspdi.data(), mspdi.size());
  });
  TLumetaXmlArchive archive;
  for (const ComPtr<IPropertyManager>& manager : document.Loader().Managers()) archive.RegisterManager(manager.get());
  size_t nodes = 0;
  double readSeconds = 1e9, importSeconds = 1e9;
  for (int run = 0; run < 3; ++run) {
    // The map is let go outside the timing: an import keeps it.
    const double start = CpuSeconds();
    const TMspdiPlan plan = ReadMspdiPlan(mspdi, "phases.mspdi");
    readSeconds = std::min(readSeconds, CpuSeconds() - start);
    std::unique_ptr<TLumetaMap> imported = MspdiPlanToMap(plan, archive, "phases.mspdi");
    importSeconds = std::min(importSeconds, CpuSeconds() - start);
    nodes = imported->NodeCount();
  }
  std::printf("%d tasks, %.1f MB of MSPDI, %zu nodes read back\n", KTasks, mspdi.size() / 1e6, nodes);
  std::printf("processor time: export %.3f s, pugixml write %.3f s: %.1fx (target <= 3x)\n", exportSeconds, writeSeconds,
              exportSeconds / writeSeconds);
  std::printf("import %.3f s, pugixml parse %.3f s: %.1fx (target <= 3x)\n", importSeconds, parseSeconds,
              importSeconds / parseSeconds);
  std::printf("  of which reading the MSPDI file into map text %.3f s, the map archive %.3f s\n", readSeconds,
              importSeconds - readSeconds);
  return 0;
}
