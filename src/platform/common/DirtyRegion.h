// Rectangle arithmetic of the displays and the changed parts of a surface waiting to be shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Display.h"

namespace qv {

Rect Intersect(const Rect& a, const Rect& b);
bool Contains(const Rect& outer, const Rect& inner);
Rect Union(const Rect& a, const Rect& b);

// Changed parts of a surface: a few rectangles rather than one around all of them, since a
// copy's counters and bars lie far apart and the whole window in between would be uploaded.
struct DirtyRegion {
  static constexpr size_t kMaxRects = 8;
  std::vector<Rect> rects;
  void Add(const Rect& r);
  void Add(const DirtyRegion& other);
  bool Empty() const { return rects.empty(); }
};

// What a benchmark counts: presentations asked for, and uploads to the window actually made.
struct PresentationCounts {
  uint64_t presents = 0;
  uint64_t uploads = 0;
};

// When the back buffer goes to the window: at once after a quiet frame, otherwise at the latest
// one frame after the last upload, so that a burst of presents costs one upload a frame.
class UploadPacing {
 public:
  // Shortest time between two uploads; changes in between wait for the next Present or Flush.
  static constexpr uint64_t kFrameMs = 16;
  bool Due(uint64_t nowMs) const { return !uploaded_ || nowMs - lastMs_ >= kFrameMs; }
  void Uploaded(uint64_t nowMs) {
    uploaded_ = true;
    lastMs_ = nowMs;
  }

 private:
  bool uploaded_ = false;
  uint64_t lastMs_ = 0;
};

}  // namespace qv
