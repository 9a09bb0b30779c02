// Pictures decoded into plain pixel buffers, one at a time or several on worker threads.
// Nothing here calls SDL, which is why it may run off the window's thread; the display wraps the
// buffers into surfaces on its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/common/PictureCodec.h"

namespace qv {

struct DecodedPixels {
  PictureResult result = PictureResult::Failed;
  std::string message;  // the warning (Partial) or the error (Failed)
  int width = 0;
  int height = 0;
  // width * height words, rows without padding; null on Failed. Pixels a damaged file leaves
  // out are black.
  std::unique_ptr<uint32_t[]> pixels;
};

DecodedPixels DecodePixels(const PictureCodec& codec, const std::vector<uint8_t>& data);
// The outcome, message and size DecodePixels would give, without the pixels (the codec's
// Check). A picture `knownIntact` (found intact before, the same bytes) has only its size read.
DecodedPixels CheckPixels(const PictureCodec& codec, const std::vector<uint8_t>& data,
                          bool knownIntact = false);

// Decodes every entry of `data` on up to `threads` worker threads and hands the results to
// `done` on the calling thread, once per index and in increasing index order. When `done`
// throws, the workers stop after the picture they are decoding, are joined, and the exception
// is passed on. With `threads` 0, or when no thread can be started, it decodes on the calling
// thread alone. With `checkOnly`, CheckPixels stands for DecodePixels, told which entries are
// `knownIntact` when that is given (one flag per entry).
void DecodeInOrder(const PictureCodec& codec, const std::vector<std::vector<uint8_t>>& data,
                   unsigned threads, const std::function<void(size_t, DecodedPixels)>& done,
                   bool checkOnly = false, const std::vector<bool>* knownIntact = nullptr);

}  // namespace qv
