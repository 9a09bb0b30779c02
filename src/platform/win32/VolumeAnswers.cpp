#include "platform/win32/VolumeAnswers.h"

#include <algorithm>
#include <cstring>

#include "platform/win32/WideText.h"

namespace qv {
namespace {

int64_t Int64At(const uint8_t* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

Status Refused(const std::string& what) {
  return Status::Error("the volume's answer is malformed: " + what);
}

}  // namespace

Result<uint32_t> ReadBitmapAnswer(int64_t askedLcn, const ControlAnswer& answer,
                                  VolumeBitmap* out) {
  *out = VolumeBitmap{};
  if (answer.error != kVolumeOk && answer.error != kVolumeMoreData)
    return Status::Error(SystemMessage(answer.error));
  if (!answer.bytes || answer.size < 16) return Refused("no header");
  const int64_t start = Int64At(answer.bytes);
  const int64_t size = Int64At(answer.bytes + 8);
  if (start != askedLcn) return Refused("another starting cluster");
  if (size <= 0) return Refused("no clusters");
  const bool more = answer.error == kVolumeMoreData;
  // Only a volume that goes on past this piece may say so, and it fills the whole piece.
  if (more != (size > static_cast<int64_t>(kBitmapChunkClusters)))
    return Refused("more data where the volume ends, or none where it goes on");
  const size_t bytes = static_cast<size_t>((std::min<int64_t>(size, kBitmapChunkClusters) + 7) / 8);
  if (answer.size - 16 < bytes) return Refused("a short bitmap");
  out->StartingLcn = start;
  out->BitmapSize = size;
  std::memcpy(out->Buffer, answer.bytes + 16, bytes);
  return answer.error;
}

Result<uint32_t> ReadExtentsAnswer(int64_t askedVcn, const ControlAnswer& answer,
                                   RetrievalPointers* out) {
  *out = RetrievalPointers{};
  if (answer.error == ERROR_HANDLE_EOF) {
    out->StartingVcn = askedVcn;
    return kVolumeOk;
  }
  if (answer.error != kVolumeOk && answer.error != kVolumeMoreData)
    return Status::Error(SystemMessage(answer.error));
  if (!answer.bytes || answer.size < 16) return Refused("no header");
  uint32_t count;
  std::memcpy(&count, answer.bytes, sizeof count);
  const int64_t start = Int64At(answer.bytes + 8);
  if (count > kExtentsPerRead || answer.size < 16 + 16 * size_t{count})
    return Refused("more extents than it holds");
  const bool more = answer.error == kVolumeMoreData;
  if (count == 0) {
    // Nothing more to come after nothing would be asked for again and again.
    if (more) return Refused("more data without extents");
    out->StartingVcn = askedVcn;
    return kVolumeOk;
  }
  if (start < 0 || start > askedVcn) return Refused("another starting cluster");
  int64_t vcn = start;
  for (uint32_t k = 0; k < count; ++k) {
    const Extent e{Int64At(answer.bytes + 16 + 16 * k), Int64At(answer.bytes + 24 + 16 * k)};
    if (e.NextVcn <= vcn || e.Lcn < -1) {
      *out = RetrievalPointers{};
      return Refused("extents out of order");
    }
    vcn = e.NextVcn;
    out->Extents[k] = e;
  }
  // The first extent must hold the cluster asked for: the next read starts past this one.
  if (out->Extents[0].NextVcn <= askedVcn) {
    *out = RetrievalPointers{};
    return Refused("extents before the cluster asked for");
  }
  out->ExtentCount = count;
  out->StartingVcn = start;
  return answer.error;
}

}  // namespace qv
