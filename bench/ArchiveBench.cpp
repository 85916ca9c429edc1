// Loading and saving a map of 100,000 nodes through the archive, next to pugixml parsing and
// serialising the very same file. Every node is an action with all fields set and node dates,
// with one task link per node on average (stored on both ends). The figures to track are the two
// ratios, archive time to pugixml time, both measured in one run, and the peak memory of each load.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <random>
#include <string>

#include "contract/ActionAttributesIntf.h"
#include "attributes/LumetaAttributeFactory.h"
#include "bench/BenchReporter.h"
#include "com/AtomicFile.h"
#include "com/OleDate.h"
#include "host/xml/LumetaXmlArchive.h"
#include "host/xml/XmlScanner.h"
#include "plugin/ActionProperty.h"
#include "plugin/LumetaNodeDateProperty.h"
#include "plugin/LumetaNodeLinksProperty.h"
#include "tests/support/InProcessPlugIn.h"

namespace {

// LUMETA_BENCH_NODES overrides the size, for profiling under a slow tool such as callgrind.
int NodeCount = 100'000;

struct TBenchSetup {
  TBenchSetup() {
    char pattern[] = "/tmp/lumeta-archive-bench-XXXXXX";
    Folder = mkdtemp(pattern);
  }
  ~TBenchSetup() {
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
  }

  template <class I>
  ComPtr<I> Attach(TLumetaNode* ANode, const char* AElement) {
    ComPtr<IProperty> property = ANode->FindProperty(Archive.ManagerFor(AElement)->GetDescription());
    if (!property) {
      property = Archive.ManagerFor(AElement)->NewProperty();
      ANode->SetProperty(property.get());
    }
    return property.as<I>();
  }

  // Fifty main branches of twenty tasks each, the rest below those tasks.
  static TLumetaNode* ParentOf(TLumetaMap& AMap, const std::vector<TLumetaNode*>& ANodes, int AIndex) {
    return AIndex < 50 ? AMap.Root() : AIndex < 1050 ? ANodes[AIndex % 50] : ANodes[50 + AIndex % 1000];
  }

  void Generate(const std::string& APath) {
    TLumetaMap map;
    std::mt19937 random(7);
    std::vector<TLumetaNode*> nodes;
    nodes.reserve(NodeCount);
    for (int i = 0; i < NodeCount; ++i) {
      TLumetaNode* node = map.AddNode(ParentOf(map, nodes, i), "Task " + std::to_string(i + 1));
      nodes.push_back(node);
      auto action = Attach<IActionAttribute>(node, "Action");
      const double start = EncodeDateTime({2025, 1 + i % 12, 1 + i % 28, 8, 0, 0, 0});
      action->SetStartDate(start);
      action->SetCompletedDate(start + 4.375);
      action->SetDueDate(start + 7.375);
      action->SetDuration(1 + i % 9 + 0.5);
      action->SetDurationMeasure(1);
      action->SetWork(8 * (1 + i % 9));
      action->SetWorkMeasure(0);
      action->SetCost(125.75 * (i % 40));
      action->SetQuantity(i % 13);
      action->SetPriority(i % 3 == 0 ? "High" : "Medium");
      action->SetComplete(i % 101);
      action->SetConstraintType(static_cast<TTaskConstraintType>(i % 8));
      action->SetConstraintDate(start + 1);
      action->SetIsAction(i % 2 == 0);
      action->SetIsMilestone(i % 17 == 0);
      action->SetPostedToOutlook(i % 5 == 0);
      auto dates = Attach<INodeDateProperty>(node, "NodeDates");
      dates->SetCreatedDate(EncodeDateTime({2024, 12, 1 + i % 28, 9, i % 60, 0, 0}));
      dates->SetModifiedDate(start - 3);
      if (i == 0) continue;
      TLumetaNode* predecessor = nodes[random() % i];
      const auto type = static_cast<TTaskLinkType>(random() % 4 == 0 ? ltStartToStart : ltFinishToStart);
      Attach<INodeLinkList2>(node, "TaskLinks")->AddLink(static_cast<INode*>(predecessor)).as<ITaskLink>()->SetLinkType(type);
      Attach<INodeLinkList2>(predecessor, "SuccessorTaskLinks")
          ->AddLink(static_cast<INode*>(node))
          .as<ITaskLink>()
          ->SetLinkType(type);
    }
    Archive.Save(map, APath);
  }

  std::string File() const { return Folder + "/map.xml"; }
  std::string Target(const char* AName) const { return Folder + "/" + AName; }

  TLumetaXmlArchive Archive;
  TInProcessPlugIn PlugIn{Archive};  // after Archive: registers its managers
  std::string Folder;
};

TBenchSetup* Setup = nullptr;

void BM_PugixmlParse(benchmark::State& AState) {
  for (auto _ : AState) {
    auto document = std::make_unique<pugi::xml_document>();
    if (!document->load_file(Setup->File().c_str())) AState.SkipWithError("pugixml cannot parse the file");
    AState.PauseTiming();
    document.reset();
    AState.ResumeTiming();
  }
}

void BM_ArchiveLoad(benchmark::State& AState) {
  for (auto _ : AState) {
    std::unique_ptr<TLumetaMap> map = Setup->Archive.Load(Setup->File());
    AState.PauseTiming();
    map.reset();
    AState.ResumeTiming();
  }
}

// The file read and walked tag by tag without a document, every name seen and every value
// decoded: what a load costs before it makes anything of the map.
void BM_ScanOnly(benchmark::State& AState) {
  std::string scratch;
  size_t values = 0;
  for (auto _ : AState) {
    const std::string text = ReadRegularFile(Setup->File());
    xml_archive::TXmlScanner scanner(text);
    for (auto token = scanner.Next(); token != xml_archive::TXmlScanner::TToken::Finished; token = scanner.Next()) {
      if (token == xml_archive::TXmlScanner::TToken::Text) {
        values += DecodeXmlText(scanner.Text(), xml_archive::TXmlTextKind::Text, scratch).size();
      } else if (token == xml_archive::TXmlScanner::TToken::Start) {
        for (const auto& attribute : scanner.Attributes())
          values += DecodeXmlText(attribute.Value, xml_archive::TXmlTextKind::Attribute, scratch).size();
      }
    }
  }
  benchmark::DoNotOptimize(values);
}

// The floor under any load: the same nodes and properties made without reading anything, the
// objects left at their defaults (a load makes link items and record children on first read).
void BM_ModelOnly(benchmark::State& AState) {
  const char* elements[] = {"Action", "NodeDates", "TaskLinks", "SuccessorTaskLinks"};
  IPropertyManager* managers[4];
  for (int i = 0; i < 4; ++i) managers[i] = Setup->Archive.ManagerFor(elements[i]);
  for (auto _ : AState) {
    auto map = std::make_unique<TLumetaMap>();
    std::vector<TLumetaNode*> nodes;
    nodes.reserve(NodeCount);
    for (int i = 0; i < NodeCount; ++i) {
      TLumetaNode* node = map->AddNodeWithID(TBenchSetup::ParentOf(*map, nodes, i), i + 1);
      nodes.push_back(node);
      node->SetTitle("Task");
      for (IPropertyManager* manager : managers) node->AppendProperty(manager->NewProperty().get());
    }
    AState.PauseTiming();
    map.reset();
    AState.ResumeTiming();
  }
}

void BM_PugixmlSave(benchmark::State& AState) {
  pugi::xml_document document;
  document.load_file(Setup->File().c_str());
  for (auto _ : AState)
    if (!document.save_file(Setup->Target("pugixml.xml").c_str(), "  ")) AState.SkipWithError("pugixml cannot save");
}

// pugixml's save made durable as the archive's is: a temporary file beside the target, flushed to
// disk, renamed over the target, and the folder flushed. The line above stays the plain save_file.
void BM_PugixmlSaveDurable(benchmark::State& AState) {
  pugi::xml_document document;
  document.load_file(Setup->File().c_str());
  const std::string target = Setup->Target("pugixml-durable.xml"), temporary = target + ".tmp";
  for (auto _ : AState) {
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return AState.SkipWithError("cannot create the temporary file");
    pugi::xml_writer_file writer(file);
    document.save(writer, "  ");
    const bool flushed = std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    if (std::fclose(file) != 0 || !flushed || std::rename(temporary.c_str(), target.c_str()) != 0)
      return AState.SkipWithError("pugixml cannot save durably");
    const int folder = open(Setup->Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
      fsync(folder);
      close(folder);
    }
  }
}

void BM_ArchiveSave(benchmark::State& AState) {
  std::unique_ptr<TLumetaMap> map = Setup->Archive.Load(Setup->File());
  for (auto _ : AState) Setup->Archive.Save(*map, Setup->Target("archive.xml"));
}

// Reads every value of every property, as a session of work would: a save then copies nothing.
void ReadEveryValue(TLumetaMap& AMap) {
  AMap.ForEachNode([](TLumetaNode* ANode) {
    for (int32_t i = 0; i < ANode->GetPropertyCount(); ++i) {
      auto structure = ANode->GetPropertyItem(i).try_as<IStructuredAttribute>();
      for (int32_t child = 0; structure && child < structure->GetChildCount(); ++child)
        structure->GetChild(child)->SaveToString();
    }
  });
}

// Every value read before the save, as after a session of work: nothing is copied as it was read.
void BM_ArchiveSaveAfterReading(benchmark::State& AState) {
  std::unique_ptr<TLumetaMap> map = Setup->Archive.Load(Setup->File());
  ReadEveryValue(*map);
  // LUMETA_BENCH_REPEAT saves an iteration, for a profiler to see the saves over the setup.
  static const char* repeatText = std::getenv("LUMETA_BENCH_REPEAT");
  static const int repeat = repeatText ? std::max(1, std::atoi(repeatText)) : 1;
  for (auto _ : AState)
    for (int i = 0; i < repeat; ++i) Setup->Archive.Save(*map, Setup->Target("read.xml"));
}

// The same without the flush to disk that makes the save durable, to separate the two costs.
void BM_ArchiveSaveToText(benchmark::State& AState) {
  std::unique_ptr<TLumetaMap> map = Setup->Archive.Load(Setup->File());
  for (auto _ : AState) {
    std::ofstream out(Setup->Target("text.xml"), std::ios::binary);
    out << Setup->Archive.SaveToText(*map);
  }
}

BENCHMARK(BM_PugixmlParse)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ArchiveLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ScanOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ModelOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PugixmlSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_PugixmlSaveDurable)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ArchiveSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ArchiveSaveAfterReading)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ArchiveSaveToText)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);


// Kilobytes of resident memory: "VmRSS:" now, "VmHWM:" the peak so far.
long StatusKilobytes(const char* AField) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(AField, 0) == 0) return std::atol(line.c_str() + std::strlen(AField));
  return 0;
}

// Run as a child of the benchmark, so that the memory the generation left behind is not reused:
// prints the megabytes that loading the file adds to the process at its peak.
int MeasurePeak(const std::string& AWhat, const std::string& AFile) {
  TBenchSetup setup;
  const long before = StatusKilobytes("VmHWM:");
  if (AWhat == "archive") {
    std::unique_ptr<TLumetaMap> map = setup.Archive.Load(AFile);
  } else {
    pugi::xml_document document;
    document.load_file(AFile.c_str());
  }
  std::printf("%.0f\n", (StatusKilobytes("VmHWM:") - before) / 1024.0);
  return 0;
}

double PeakMegabytes(const char* AWhat, const std::string& AFile) {
  const std::string command = "/proc/" + std::to_string(getpid()) + "/exe --peak " + AWhat + " " + AFile;
  FILE* child = popen(command.c_str(), "r");
  double megabytes = -1;
  if (child && std::fscanf(child, "%lf", &megabytes) != 1) megabytes = -1;
  if (child) pclose(child);
  return megabytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--peak") return MeasurePeak(argv[2], argv[3]);
  if (const char* nodes = std::getenv("LUMETA_BENCH_NODES"); nodes && std::atoi(nodes) > 0) NodeCount = std::atoi(nodes);
  // "--write FILE" only writes the map, for a profiler to load it with "--peak archive FILE".
  if (argc == 3 && std::string(argv[1]) == "--write") {
    TBenchSetup setup;
    setup.Generate(argv[2]);
    return 0;
  }
  // "--save-read IN OUT" loads a map, reads every value and saves it: the text a change to the
  // writer must leave as it was.
  // "--save IN OUT" the same without reading: every property is copied as it was read.
  if (argc == 4 && (std::string(argv[1]) == "--save-read" || std::string(argv[1]) == "--save")) {
    TBenchSetup setup;
    std::unique_ptr<TLumetaMap> map = setup.Archive.Load(argv[2]);
    if (std::string(argv[1]) == "--save-read") ReadEveryValue(*map);
    setup.Archive.Save(*map, argv[3]);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  TBenchSetup setup;
  Setup = &setup;
  setup.Generate(setup.File());
  const double megabytes = std::filesystem::file_size(setup.File()) / 1048576.0;

  TKeepingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  auto& s = reporter.Seconds;
  auto ratio = [&](const char* AArchive, const char* APugixml) {
    return s.count(AArchive) && s.count(APugixml) ? s[AArchive] / s[APugixml] : 0.0;
  };
  std::printf("\n%d nodes, file %.1f MB\n", NodeCount, megabytes);
  std::printf("load: archive %.0f ms, pugixml parse %.0f ms, ratio %.2f (target <= 1.25)\n", s["BM_ArchiveLoad"] * 1e3,
              s["BM_PugixmlParse"] * 1e3, ratio("BM_ArchiveLoad", "BM_PugixmlParse"));
  std::printf("      of which making the nodes and properties alone: %.0f ms, %.2f times the parse\n",
              s["BM_ModelOnly"] * 1e3, ratio("BM_ModelOnly", "BM_PugixmlParse"));
  std::printf("      reading the file and walking its tags without a document: %.0f ms, %.2f times the parse\n",
              s["BM_ScanOnly"] * 1e3, ratio("BM_ScanOnly", "BM_PugixmlParse"));
  std::printf("save: archive %.0f ms, pugixml save %.0f ms, ratio %.2f (target <= 1.5)\n", s["BM_ArchiveSave"] * 1e3,
              s["BM_PugixmlSave"] * 1e3, ratio("BM_ArchiveSave", "BM_PugixmlSave"));
  std::printf("      without the flush to disk, into one string of fresh memory each time: ratio %.2f\n",
              ratio("BM_ArchiveSaveToText", "BM_PugixmlSave"));
  std::printf("save with every value read before it: archive %.0f ms, ratio %.2f (target <= 1.5)\n",
              s["BM_ArchiveSaveAfterReading"] * 1e3, ratio("BM_ArchiveSaveAfterReading", "BM_PugixmlSave"));
  std::printf("      against pugixml's save made durable the same way (temporary file, flush, rename) %.0f ms:\n"
              "      save ratio %.2f, after reading %.2f\n",
              s["BM_PugixmlSaveDurable"] * 1e3, ratio("BM_ArchiveSave", "BM_PugixmlSaveDurable"),
              ratio("BM_ArchiveSaveAfterReading", "BM_PugixmlSaveDurable"));
  const double archivePeak = PeakMegabytes("archive", setup.File()), pugixmlPeak = PeakMegabytes("pugixml", setup.File());
  std::printf("peak memory added by a load: archive %.0f MB, pugixml %.0f MB, ratio %.2f (target <= 1.1)\n",
              archivePeak, pugixmlPeak, pugixmlPeak > 0 ? archivePeak / pugixmlPeak : 0.0);
  return 0;
}
