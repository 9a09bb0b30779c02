// The answers of the two volume reads as Windows lays them out (VOLUME_BITMAP_BUFFER and
// RETRIEVAL_POINTERS_BUFFER), read without a handle: what a driver or a file system filter
// returns is checked before anything of it is believed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Status.h"
#include "platform/Volumes.h"

namespace qv {

// A header of 16 bytes and one piece.
constexpr size_t kBitmapAnswerBytes = 16 + kBitmapBytes;                   // 4112
constexpr size_t kExtentsAnswerBytes = 16 + 16 * size_t{kExtentsPerRead};  // 8208

// What one call gave: the bytes it returned and its error code (0 when it succeeded).
struct ControlAnswer {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  uint32_t error = 0;
};

// The piece from `askedLcn`: kVolumeOk for the last one, kVolumeMoreData when the volume goes
// on. `out` is zeroed whenever the answer is refused.
Result<uint32_t> ReadBitmapAnswer(int64_t askedLcn, const ControlAnswer& answer, VolumeBitmap* out);

// Up to 512 extents from `askedVcn`; the extent that holds `askedVcn` comes first. The end of
// the file (a file without clusters there) is an answer without extents. An extent with Lcn -1
// has no clusters: a hole of a sparse file or the saved part of a compressed one.
Result<uint32_t> ReadExtentsAnswer(int64_t askedVcn, const ControlAnswer& answer,
                                   RetrievalPointers* out);

}  // namespace qv
