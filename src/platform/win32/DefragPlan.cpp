#include "platform/win32/DefragPlan.h"

#include <algorithm>

#include "platform/win32/WinApi.h"

namespace qv {

DefragExit DefragExitFor(uint32_t error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return kDefragNeedsRights;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
    // An answer that cannot be believed (Wine's stand-in extents) serves nothing to plan on.
    case ERROR_INVALID_DATA:
      return kDefragNotSupported;
    default:
      return kDefragFailed;
  }
}

bool FreeRunCollector::Add(const VolumeBitmap& piece) {
  if (piece.StartingLcn != next_ || piece.BitmapSize <= 0) return false;
  const int64_t n = std::min<int64_t>(piece.BitmapSize, kBitmapChunkClusters);
  for (int64_t j = 0; j < n;) {
    const int64_t lcn = piece.StartingLcn + j;
    const uint8_t byte = piece.Buffer[j / 8];
    // Whole bytes of one kind at once: a volume is mostly that.
    if (j % 8 == 0 && j + 8 <= n && (byte == 0x00 || byte == 0xFF)) {
      if (byte == 0x00 && pendingFrom_ < 0) pendingFrom_ = lcn;
      if (byte == 0xFF && pendingFrom_ >= 0) {
        runs_.push_back({pendingFrom_, lcn - pendingFrom_});
        pendingFrom_ = -1;
      }
      j += 8;
      continue;
    }
    const bool used = byte & (1u << (j % 8));
    if (used && pendingFrom_ >= 0) {
      runs_.push_back({pendingFrom_, lcn - pendingFrom_});
      pendingFrom_ = -1;
    } else if (!used && pendingFrom_ < 0) {
      pendingFrom_ = lcn;
    }
    ++j;
  }
  next_ = piece.StartingLcn + n;
  return true;
}

std::vector<ClusterRun> FreeRunCollector::Finish() {
  if (pendingFrom_ >= 0) runs_.push_back({pendingFrom_, next_ - pendingFrom_});
  pendingFrom_ = -1;
  return std::move(runs_);
}

std::vector<ClusterMove> PlanDefrag(int64_t startingVcn, const std::vector<Extent>& extents,
                                    std::vector<ClusterRun> freeRuns) {
  // The file's clusters, holes left out.
  std::vector<ClusterMove> pieces;
  int64_t vcn = startingVcn;
  int64_t total = 0;
  for (const Extent& e : extents) {
    const int64_t length = e.NextVcn - vcn;
    if (length <= 0) return {};
    if (e.Lcn >= 0) {
      pieces.push_back({vcn, e.Lcn, length});
      total += length;
    }
    vcn = e.NextVcn;
  }
  bool together = true;
  for (size_t k = 1; k < pieces.size(); ++k)
    together = together && pieces[k].lcn == pieces[k - 1].lcn + pieces[k - 1].count;
  if (together) return {};

  freeRuns.erase(std::remove_if(freeRuns.begin(), freeRuns.end(),
                                [](const ClusterRun& r) { return r.length <= 0 || r.lcn < 0; }),
                 freeRuns.end());
  std::stable_sort(freeRuns.begin(), freeRuns.end(), [](const ClusterRun& a, const ClusterRun& b) {
    return a.length != b.length ? a.length > b.length : a.lcn < b.lcn;
  });
  // The runs the clusters go to, largest first; fewer of them than the file has pieces now, or
  // the moves would gain nothing.
  std::vector<ClusterRun> targets;
  int64_t placed = 0;
  for (size_t k = 0; k < freeRuns.size() && placed < total; ++k) {
    const int64_t take = std::min(freeRuns[k].length, total - placed);
    targets.push_back({freeRuns[k].lcn, take});
    placed += take;
  }
  if (placed < total || targets.size() >= pieces.size()) return {};

  std::vector<ClusterMove> moves;
  size_t t = 0;
  int64_t used = 0;  // of targets[t]
  for (const ClusterMove& piece : pieces) {
    for (int64_t done = 0; done < piece.count;) {
      const int64_t count = std::min(piece.count - done, targets[t].length - used);
      moves.push_back({piece.vcn + done, targets[t].lcn + used, count});
      done += count;
      used += count;
      if (used == targets[t].length) {
        ++t;
        used = 0;
      }
    }
  }
  return moves;
}

}  // namespace qv
