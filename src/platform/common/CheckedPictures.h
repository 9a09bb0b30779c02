// Skin pictures as the displays hand them out: checked with the codec (on worker threads when
// there are many), the intact ones remembered between runs, their pixels made later by the
// display's own surfaces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Display.h"
#include "platform/common/PictureCheckCache.h"
#include "platform/common/PictureCodec.h"
#include "platform/common/PictureDecoder.h"

namespace qv {

// The outcome, message and size of `data`; a picture `cache` (may be null) knows as intact has
// only its size read, and one found intact is added and saved.
DecodedPixels CheckPicture(const PictureCodec& codec, PictureCheckCache* cache,
                           const std::vector<uint8_t>& data);

// Each entry checked as by CheckPicture, on up to `threads` workers; `done(k, checked, data[k])`
// runs on the calling thread once per k, in increasing k (DecodeInOrder). The cache is saved
// once at the end.
void CheckPictures(const PictureCodec& codec, PictureCheckCache* cache,
                   std::vector<std::vector<uint8_t>> data, unsigned threads,
                   const std::function<void(size_t, DecodedPixels, std::vector<uint8_t>)>& done);

// The picture of a checked one; `make(width, height, intact)` gives its surface.
DecodedPicture PictureOf(DecodedPixels checked,
                         const std::function<SurfacePtr(int, int, bool)>& make);

}  // namespace qv
