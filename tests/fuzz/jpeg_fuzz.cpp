// The picture decoder wrapper on arbitrary files: size, check and full decoding must agree.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/JpegCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int w = 0, h = 0;
  std::string message;
  const bool sized = qv::JpegDimensions(data, size, &w, &h, &message);
  const qv::JpegResult checked = qv::CheckJpegData(data, size, &message);
  qv::PixelImage image;
  const qv::JpegResult decoded =
      qv::DecodeJpegImage(std::vector<uint8_t>(data, data + size), &image, &message);
  if (decoded != qv::JpegResult::Failed && (!sized || image.width != w || image.height != h ||
                                            image.pixels.size() != size_t(w) * size_t(h)))
    __builtin_trap();
  if ((checked == qv::JpegResult::Failed) != (decoded == qv::JpegResult::Failed)) __builtin_trap();
  return 0;
}
