// The fragmentation analysis on a host folder taken as drive C: (the free-space map and the deep
// analysis, timed apart), and the map's drawing for a volume with a million free runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "app/linux/LinuxPlatform.h"
#include "core/Program.h"
#include "disk/modDefrag.h"
#include "platform/Platform.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// Every second cluster free: 16384 one-cluster runs per bitmap piece.
class Alternating : public qv::OpenVolume {
 public:
  explicit Alternating(int64_t total) : total_(total) {}
  qv::Result<uint32_t> GetVolumeBitmap(int64_t start, qv::VolumeBitmap* out) override {
    out->StartingLcn = start;
    out->BitmapSize = total_ - start;
    std::memset(out->Buffer, 0xAA, sizeof out->Buffer);
    return start + qv::kBitmapChunkClusters < total_ ? qv::kVolumeMoreData : qv::kVolumeOk;
  }

 private:
  int64_t total_;
};

class AlternatingVolumes : public qv::Volumes {
 public:
  qv::Result<std::unique_ptr<qv::OpenVolume>> Open(const std::string&) override {
    return std::unique_ptr<qv::OpenVolume>(std::make_unique<Alternating>(int64_t{2} << 20));
  }
  qv::Result<std::unique_ptr<qv::OpenFile>> OpenForExtents(const std::string&, bool) override {
    return qv::Status::Error("no files in this bench");
  }
  void EndFileReads() override {}
  // No file is ever opened, so none is ever the one analysed.
  bool IsSameFile(const std::string&, const qv::FileIdentity&) override { return false; }
};

qv::LinuxPlatformOptions MachineOptions(const std::string& root, bool headless,
                                        qv::PresentationCounts* counts = nullptr) {
  return {.appHost = root,
          .drives = std::vector<qv::DriveMapping>{{'C', root, ""}},
          .display = qv::SdlDisplayOptions{.headless = headless, .counts = counts},
          .clock = qv::PosixClockOptions{false, "", nullptr},
          .checkEngine = false};
}

}  // namespace

int DefragAnalysisBench(const std::string& root) {
  qv::LinuxPlatform m(MachineOptions(root, true));
  qv::Program p(m.Services());
  auto start = Clock::now();
  // The window is live only between yields: the longest stretch without one is what a user feels.
  Clock::time_point last = start;
  double gap = 0;
  p.onYield = [&](qv::Program&) {
    gap = std::max(gap, MsSince(last));
    last = Clock::now();
  };
  int64_t total = 0;
  const std::vector<qv::FreeRun> runs = qv::ReadFreeSpaceRuns(p, "C:", total);
  gap = std::max(gap, MsSince(last));
  p.onYield = nullptr;
  std::printf("defrag_freemap: %.4g ms\n", MsSince(start));
  std::printf("defrag_freemap_longest_without_yield: %.4g ms\n", gap);
  int64_t free = 0;
  for (const qv::FreeRun& r : runs) free += r.Length;
  std::printf("defrag_free_runs: %zu runs\n", runs.size());
  std::printf("defrag_free_clusters: %lld clusters\n", static_cast<long long>(free));
  std::printf("defrag_total_clusters: %lld clusters\n", static_cast<long long>(total));

  p.disk.TotalClusters = total;
  start = Clock::now();
  const std::vector<qv::FileExtentInfo> records = qv::AnalyzeFiles(p, "C:\\");
  std::vector<std::string> toDefragment;
  qv::WriteFragmentationFigures(p, records, toDefragment);
  std::printf("defrag_deep_analysis: %.4g ms\n", MsSince(start));
  int64_t extents = 0, fragmented = 0;
  for (const qv::FileExtentInfo& r : records) {
    extents += r.ExtentCount;
    if (r.ExtentCount > 1) ++fragmented;
  }
  std::printf("defrag_files: %zu files\n", records.size());
  std::printf("defrag_extents: %lld extents\n", static_cast<long long>(extents));
  std::printf("defrag_fragmented_files: %lld files\n", static_cast<long long>(fragmented));
  std::printf("defrag_to_defragment: %zu files\n", toDefragment.size());
  return 0;
}

int DefragMapBench(bool window) {
  qv::PresentationCounts counts;
  qv::LinuxPlatform m(MachineOptions("/", !window, &counts));
  if (const qv::Status opened = m.display().OpenWindow(0, 0, 1280, 1024, "Quorvin"); !opened.ok()) {
    std::fprintf(stderr, "qv_bench: %s\n", opened.message().c_str());
    return 1;
  }
  AlternatingVolumes volumes;
  qv::Platform os = m.Services();
  os.volumes = &volumes;
  qv::Program p(os);
  p.skin.BackBuffer = m.display().CreateSurface(1280, 1024);
  qv::DiagramElement map;
  map.Commands = {qv::CommandPair{"defrag", "drive"}};
  map.Top = 240;
  map.Left = 36;
  map.Width = 952;
  map.Height = 148;
  p.tables.Diagrams.push_back(map);
  uint64_t yields = 0;
  p.onYield = [&yields](qv::Program&) { ++yields; };
  m.display().Flush();
  const uint64_t uploads = counts.uploads;
  const auto start = Clock::now();
  qv::AnalyzeFreeSpace(p);
  m.display().Flush();
  const std::string mode = window ? "window" : "headless";
  std::printf("defragmap_%s_time: %.4g ms\n", mode.c_str(), MsSince(start));
  std::printf("defragmap_%s_yields: %llu yields\n", mode.c_str(),
              static_cast<unsigned long long>(yields));
  std::printf("defragmap_%s_uploads: %llu uploads\n", mode.c_str(),
              static_cast<unsigned long long>(counts.uploads - uploads));
  return 0;
}
