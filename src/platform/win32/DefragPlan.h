// What Tools\Defrag.exe does with one file, decided without touching the volume: where its
// clusters go, from its extents and the free runs of the allocation bitmap.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Volumes.h"

namespace qv {

// How the tool ends. The program stops the whole run on 127 (it stops on 126 as well, which
// this tool never uses); the others tell a log or a user what became of one file.
enum DefragExit : int {
  kDefragDone = 0,           // moved into place, or nothing to gain
  kDefragRefused = 1,        // not a regular file reached without a reparse point on its volume
  kDefragUsage = 2,          // not one absolute path and "-q"
  kDefragNotSupported = 3,   // the file system does not serve the requests, or not believably
  kDefragFailed = 4,         // a read or a move failed on the way; the file is whole either way
  kDefragNeedsRights = 127,  // administrator rights are needed
};

// The exit for a failed read or move by its error code.
DefragExit DefragExitFor(uint32_t error);

struct ClusterRun {
  int64_t lcn = 0;
  int64_t length = 0;
  bool operator==(const ClusterRun& o) const { return lcn == o.lcn && length == o.length; }
};

// The free runs of a volume, from its bitmap pieces read one after the other from cluster 0.
class FreeRunCollector {
 public:
  // False when the piece does not follow the one before.
  bool Add(const VolumeBitmap& piece);
  // Ends a pending run at the end of the volume.
  std::vector<ClusterRun> Finish();

 private:
  std::vector<ClusterRun> runs_;
  int64_t next_ = 0;          // the cluster the next piece must start at
  int64_t pendingFrom_ = -1;  // first cluster of the free run going on, -1 without one
};

// One FSCTL_MOVE_FILE: `count` clusters of the file from `vcn` to the volume's `lcn`.
struct ClusterMove {
  int64_t vcn = 0;
  int64_t lcn = 0;
  int64_t count = 0;
  bool operator==(const ClusterMove& o) const {
    return vcn == o.vcn && lcn == o.lcn && count == o.count;
  }
};

// The moves that bring a file's clusters (its extents from virtual cluster `startingVcn`, in
// order) together: all into the largest free run when it holds them, else in pieces into the
// largest runs first, and only when that leaves fewer pieces than there are now. Holes
// (Lcn -1) stay holes. Nothing when the clusters already follow each other.
std::vector<ClusterMove> PlanDefrag(int64_t startingVcn, const std::vector<Extent>& extents,
                                    std::vector<ClusterRun> freeRuns);

}  // namespace qv
