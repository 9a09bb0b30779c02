#include "disk/modDefrag.h"

#include <algorithm>

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "core/Program.h"
#include "files/modTools.h"
#include "platform/common/WindowsCommandLine.h"
#include "skin/modForm.h"
#include "widgets/modButton.h"
#include "widgets/modDiagramm.h"
#include "widgets/modDriveList.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace {

constexpr const char* kGroup = "defrag";
// The tool ends with one of these when it was not allowed to act (the user did not authorise
// it, or nobody could be asked); every further file would ask again.
constexpr int kToolDismissed = 126;
constexpr int kToolNotAllowed = 127;
constexpr const char* kNeedsRights = kVolumeNeedsRights;

// A mark at clusters [from, to) of the volume; nothing without a cluster count to relate to.
void MarkClusters(Program& p, int64_t from, int64_t to) {
  const int64_t total = p.disk.TotalClusters;
  if (total <= 0) return;
  auto fraction = [total](int64_t c) {
    return static_cast<float>(std::clamp<double>(static_cast<double>(c) / total, 0.0, 1.0));
  };
  DrawDiagramBlock(p, kGroup, "drive", fraction(from), fraction(to));
}

void CompleteRun(std::vector<FreeRun>& runs, int64_t& counter, int64_t& pending) {
  runs.back().StartLcn = counter;
  runs.back().Length = pending;
  counter += pending;
  pending = 0;
}

}  // namespace

void ScanBitmapChunk(const VolumeBitmap& chunk, std::vector<FreeRun>& runs, int64_t& counter,
                     int64_t& pending) {
  const int64_t n = chunk.BitmapSize;
  if (chunk.StartingLcn == 0) counter = pending = 0;
  // A volume that ends exactly at the end of a piece ends in it too: its last free run is kept.
  const bool ends = n <= static_cast<int64_t>(kBitmapChunkClusters);
  const int64_t last = ends ? n - 1 : kBitmapChunkClusters - 1;
  for (int64_t j = 0; j <= last; ++j) {
    // Whole bytes of one kind at once: a large volume is mostly that.
    if (j % 8 == 0 && j + 7 <= last) {
      const uint8_t byte = chunk.Buffer[j / 8];
      if (byte == 0x00) {
        pending += 8;
        j += 7;
        continue;
      }
      if (byte == 0xFF) {
        if (pending > 0) {
          CompleteRun(runs, counter, pending);
          runs.emplace_back();
        }
        counter += 8;
        j += 7;
        continue;
      }
    }
    if (chunk.Buffer[j / 8] & (1u << (j % 8))) {
      if (pending > 0) {
        CompleteRun(runs, counter, pending);
        runs.emplace_back();
      }
      ++counter;
    } else {
      ++pending;
    }
  }
  if (!ends) return;
  if (pending > 0) {
    CompleteRun(runs, counter, pending);
  } else if (!runs.empty() && runs.back().Length == 0) {
    runs.pop_back();
  }
}

std::vector<FreeRun> ReadFreeSpaceRuns(Program& p, const std::string& drive, int64_t& totalClusters,
                                       bool* needsRights) {
  if (!p.os.volumes) return {};
  Result<std::unique_ptr<OpenVolume>> opened = p.os.volumes->Open(drive);
  if (!opened) {
    if (needsRights) *needsRights = opened.status().message() == kVolumeNeedsRights;
    return {};
  }
  std::unique_ptr<OpenVolume> volume = std::move(opened.value());
  totalClusters = 0;
  int64_t start = 0;
  std::vector<FreeRun> runs(1);
  int64_t counter = 0;
  int64_t pending = 0;
  VolumeBitmap chunk;
  for (;;) {
    if (p.flags.CancelRequested) {
      p.flags.CancelRequested = false;
      return {};
    }
    Yield(p, false);
    const Result<uint32_t> read = volume->GetVolumeBitmap(start, &chunk);
    if (totalClusters == 0) totalClusters = chunk.BitmapSize;
    ScanBitmapChunk(chunk, runs, counter, pending);
    start += kBitmapChunkClusters;
    if (!read || read.value() != kVolumeMoreData) break;
  }
  // A read that failed half-way leaves the record it had begun.
  if (!runs.empty() && runs.back().Length == 0) runs.pop_back();
  return runs;
}

void CollectFiles(Program& p, const std::string& folder, std::vector<std::string>& files,
                  bool topLevel) {
  if (topLevel) files.clear();
  // The platform leaves out the mount points of other drives and takes links for files.
  Result<std::vector<DirEntry>> listed = p.os.files.ListFolder(folder, ListDetail::NamesAndKinds);
  if (!listed.ok()) return;
  const std::vector<DirEntry> entries = std::move(listed).value();
  for (size_t k = 0; k < entries.size(); ++k) {
    if (k > 0) {
      if (p.flags.CancelRequested) {
        p.flags.CancelRequested = false;
        return;
      }
      Yield(p, false);
    }
    const DirEntry& e = entries[k];
    if (e.isFolder) {
      // Hidden folders hold much of a drive; only the entries for itself and its parent are not
      // below it.
      if (e.name != "." && e.name != "..") CollectFiles(p, folder + e.name + "\\", files, false);
    } else if (e.kind == EntryKind::File) {
      files.push_back(folder + e.name);
    }
  }
}

FileExtentInfo GetFileExtents(Program& p, const std::string& path) {
  FileExtentInfo info;
  info.Path = path;
  if (!p.os.volumes) return info;
  Result<std::unique_ptr<OpenFile>> opened = p.os.volumes->OpenForExtents(path, true);
  info.Movable = opened.ok();
  if (!opened) opened = p.os.volumes->OpenForExtents(path, false);
  if (!opened) return info;
  std::unique_ptr<OpenFile> file = std::move(opened.value());
  info.Identity = file->Identity();
  RetrievalPointers reply;
  int64_t vcn = 0;
  for (;;) {
    const Result<uint32_t> read = file->GetRetrievalPointers(vcn, &reply);
    const uint32_t count = std::min(reply.ExtentCount, kExtentsPerRead);
    info.Extents.insert(info.Extents.end(), reply.Extents, reply.Extents + count);
    info.ExtentCount += count;
    // A more-data answer without extents would ask for the same piece forever.
    if (!read || read.value() != kVolumeMoreData || count == 0) break;
    vcn = reply.Extents[count - 1].NextVcn;
  }
  return info;
}

std::vector<FileExtentInfo> AnalyzeFiles(Program& p, const std::string& root) {
  std::vector<std::string> files;
  CollectFiles(p, root, files, true);
  EnableButtons(p, kGroup, "cancel");
  std::vector<FileExtentInfo> records;
  if (files.empty()) return records;
  struct EndReads {
    Volumes* v;
    ~EndReads() {
      if (v) v->EndFileReads();
    }
  } endReads{p.os.volumes};
  SetProgress(p, kGroup, "status", 0);
  records.reserve(files.size());
  const double step = 100.0 / static_cast<double>(files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    if (p.flags.CancelRequested) return {};
    records.push_back(GetFileExtents(p, files[i]));
    if (i % 10 == 0)
      SetProgress(p, kGroup, "status",
                  static_cast<int32_t>(RoundHalfEven(step * static_cast<double>(i + 1))));
    Yield(p, false);
  }
  return records;
}

void WriteFragmentationFigures(Program& p, const std::vector<FileExtentInfo>& records,
                               std::vector<std::string>& toDefragment,
                               std::vector<FileIdentity>* identities) {
  int64_t fragments = 0, maximum = 0, unmovable = 0, fragmented = 0;
  for (const FileExtentInfo& r : records) {
    if (r.ExtentCount > 3) {
      toDefragment.push_back(r.Path);
      if (identities) identities->push_back(r.Identity);
    }
    fragments += r.ExtentCount;
    maximum = std::max(maximum, r.ExtentCount);
    if (!r.Movable) {
      ++unmovable;
      for (const Extent& e : r.Extents) MarkClusters(p, e.Lcn, e.Lcn + 1);
      // The marks are drawn unpresented; one presentation per file shows them together.
      if (!r.Extents.empty()) PresentBackBuffer(p);
    }
    if (r.ExtentCount > 1) ++fragmented;
    Yield(p, false);
  }
  if (fragments == 0) fragments = 1;
  const double files = static_cast<double>(records.size());
  SetText(p, kGroup, "numberofextents", std::to_string(p.disk.TotalClusters));
  SetText(p, kGroup, "numberoffiles", std::to_string(records.size()));
  SetText(p, kGroup, "numberofnonmoveablefiles", std::to_string(unmovable));
  SetText(p, kGroup, "numberoffragmentedfiles", std::to_string(fragmented));
  SetText(p, kGroup, "numberoffragments", std::to_string(fragments));
  SetText(p, kGroup, "percentoffragmentedfiles",
          PlainDecimal(static_cast<double>(fragmented) / files * 100.0, 2) + "%");
  SetText(p, kGroup, "percentoffragmentsperfile",
          PlainDecimal(static_cast<double>(fragments) / files, 2) + "%");
  SetText(p, kGroup, "maxnumberofextents", std::to_string(maximum));
}

bool DeepAnalyze(Program& p, std::vector<std::string>& toDefragment,
                 std::vector<FileIdentity>* identities) {
  SetText(p, kGroup, "status", "Deep Analyze...");
  DisableButtons(p, kGroup, "cancel");
  const std::string root = Utf8Left(GetChosenDrive(p, kGroup, "maindrive"), 2) + "\\";
  const std::vector<FileExtentInfo> records = AnalyzeFiles(p, root);
  if (p.flags.CancelRequested) {
    p.flags.CancelRequested = false;
    return true;
  }
  if (records.empty()) return false;
  WriteFragmentationFigures(p, records, toDefragment, identities);
  return false;
}

void AnalyzeFreeSpace(Program& p) {
  DisableButtons(p, "loadscreen", "*");
  // No run may start on a map still being read; cancel ends the read.
  DisableButtons(p, kGroup, "start");
  ClearDiagram(p, kGroup, "drive");
  SetText(p, kGroup, "status", "Analyze...");
  ClearDiagram(p, kGroup, "drive");
  LockDriveList(p, kGroup, "maindrive");
  EnableButtons(p, kGroup, "cancel");
  const std::string drive = Utf8Left(GetChosenDrive(p, kGroup, "maindrive"), 2);
  bool needsRights = false;
  const std::vector<FreeRun> runs = ReadFreeSpaceRuns(p, drive, p.disk.TotalClusters, &needsRights);
  DisableButtons(p, kGroup, "cancel");
  ClearDiagram(p, kGroup, "drive");
  if (!runs.empty()) {
    for (const FreeRun& r : runs) {
      Yield(p, false);
      MarkClusters(p, r.StartLcn, r.StartLcn + r.Length);
      // Presentation is coalesced: a million runs cost a few uploads, not a million.
      PresentBackBuffer(p);
    }
    EnableButtons(p, kGroup, "start");
  }
  // An empty map alone would not say why.
  SetText(p, kGroup, "status", needsRights ? kNeedsRights : "-");
  // A cancel that came after the read's last look was meant for this read alone.
  p.flags.CancelRequested = false;
  UnlockDriveList(p, kGroup, "maindrive");
  EnableButtons(p, "loadscreen", "*");
}

int32_t DefragProgress(size_t index, size_t count) {
  if (count <= 1) return index == 0 ? 0 : 100;
  return static_cast<int32_t>(
      RoundHalfEven(100.0 / static_cast<double>(count - 1) * static_cast<double>(index)));
}

void StartDefrag(Program& p) {
  // The start button is disabled while a run is on the stack; a start that still arrives must
  // not nest a second run in the first.
  if (p.disk.defragRunning) return;
  p.disk.defragRunning = true;
  struct Running {
    Program& p;
    ~Running() { p.disk.defragRunning = false; }
  } running{p};
  SetProgress(p, kGroup, "status", 0);
  DisableButtons(p, kGroup, "start");
  DisableButtons(p, "loadscreen", "*");
  EnableButtons(p, kGroup, "cancel");
  LockDriveList(p, kGroup, "maindrive");
  bool notAllowed = false;
  try {
    std::vector<std::string> list;
    std::vector<FileIdentity> identities;
    const bool cancelled = DeepAnalyze(p, list, &identities);
    if (!cancelled && !list.empty()) {
      SetText(p, kGroup, "status", "Defrag...");
      std::string tool = p.os.files.ToolsFolder();
      if (!tool.empty() && tool.back() == '\\') tool.pop_back();
      // Quoted, so that a program folder with blanks is one path; empty when it cannot be.
      tool = QuoteProgramPath(tool + "\\Defrag.exe");
      if (tool.empty()) p.os.diag.Warn("defragmentation: a program folder with \" cannot be run");
      for (size_t i = 0; i < list.size(); ++i) {
        if (i % 10 == 0) SetProgress(p, kGroup, "status", DefragProgress(i, list.size()));
        Yield(p, false);
        // What was analysed may have been replaced since by a link, a FIFO, a device or
        // another file: the tool would follow it wherever it leads.
        if (!p.os.volumes->IsSameFile(list[i], identities[i])) {
          SetText(p, kGroup, "status", "Skipped, changed since the analysis: " + list[i]);
          p.os.diag.Warn("defragmentation: skipped " + list[i] +
                         ": not the file analysed any more");
        } else {
          SetText(p, kGroup, "status", "Defrag...");
          // A tool that cannot be started ends the run.
          int ended = -1;
          if (tool.empty() || !RunAndWait(p, tool + " " + QuoteArgument(list[i]) + " -q", &ended))
            break;
          if (ended == kToolDismissed || ended == kToolNotAllowed) {
            notAllowed = true;
            p.os.diag.Warn("defragmentation: stopped, the tool was not allowed to act (status " +
                           std::to_string(ended) + ")");
            break;
          }
        }
        if (list.size() == 1) SetProgress(p, kGroup, "status", DefragProgress(1, 1));
        if (p.flags.CancelRequested) {
          p.flags.CancelRequested = false;
          break;
        }
      }
    }
  } catch (const ProgramExit&) {
    // The program is ending: its surfaces are gone, nothing may be drawn.
    throw;
  } catch (...) {
    // A failure inside the run ends it through the closing steps, as its end does.
  }
  SetText(p, kGroup, "status", notAllowed ? kNeedsRights : "-");
  EnableButtons(p, kGroup, "start");
  EnableButtons(p, "loadscreen", "*");
  DisableButtons(p, kGroup, "cancel");
  // A cancel that came after the last look (during the last tool run, or once the list was
  // empty) was meant for this run alone; the next would otherwise end at once.
  p.flags.CancelRequested = false;
  UnlockDriveList(p, kGroup, "maindrive");
}

void RegisterDefragReactions(Program& p) {
  p.reactions.diagramLoaded.Register(kGroup, "drive",
                                     [](Program& q, int16_t) { AnalyzeFreeSpace(q); });
  p.reactions.driveChosen.Register(kGroup, "maindrive", [](Program& q, int16_t, bool open) {
    if (!open) AnalyzeFreeSpace(q);
  });
}

}  // namespace qv
