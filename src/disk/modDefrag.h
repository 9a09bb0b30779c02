// Fragmentation analysis and the defragmentation run: the free-space map of the chosen drive,
// the extent statistics of its files, and the external defragmenter run file by file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Volumes.h"

namespace qv {

struct Program;

struct FreeRun {
  int64_t StartLcn = 0;
  int64_t Length = 0;
};

struct FileExtentInfo {
  std::string Path;
  bool Movable = false;
  int64_t ExtentCount = 0;
  std::vector<Extent> Extents;
  FileIdentity Identity;  // of the file as read; zero when it could not be opened
};

// The free runs of a drive ("C:"); sets `totalClusters` once the volume could be opened. Empty
// when it cannot be opened (`needsRights` set when for lack of rights) or the read was cancelled.
std::vector<FreeRun> ReadFreeSpaceRuns(Program& p, const std::string& drive, int64_t& totalClusters,
                                       bool* needsRights = nullptr);
// Scans one bitmap piece into `runs`; `counter` and `pending` carry over between pieces.
void ScanBitmapChunk(const VolumeBitmap& chunk, std::vector<FreeRun>& runs, int64_t& counter,
                     int64_t& pending);

// Appends every regular file below `folder` (ending in "\"); links, FIFOs, sockets and devices
// are no files of the analysis. `topLevel` starts a new list.
void CollectFiles(Program& p, const std::string& folder, std::vector<std::string>& files,
                  bool topLevel);
FileExtentInfo GetFileExtents(Program& p, const std::string& path);
// One record per file below `root`; empty when cancelled (the flag stays set).
std::vector<FileExtentInfo> AnalyzeFiles(Program& p, const std::string& root);
// True when cancelled. Writes the statistics, marks unmovable files on the map and lists the
// files with more than 3 extents (and, when asked, which files they were).
bool DeepAnalyze(Program& p, std::vector<std::string>& toDefragment,
                 std::vector<FileIdentity>* identities = nullptr);
// The statistics of DeepAnalyze's step over given records (marks and texts included).
void WriteFragmentationFigures(Program& p, const std::vector<FileExtentInfo>& records,
                               std::vector<std::string>& toDefragment,
                               std::vector<FileIdentity>* identities = nullptr);

// The quick analysis: the free-space map of the chosen drive.
void AnalyzeFreeSpace(Program& p);
// Handler of ("defrag", "start").
void StartDefrag(Program& p);
// Bar value before file `index` of `count` files.
int32_t DefragProgress(size_t index, size_t count);

// The layout loader and the drive list reach the quick analysis through these.
void RegisterDefragReactions(Program& p);

}  // namespace qv
