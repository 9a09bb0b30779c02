// PNG writing of 32-bit pixel buffers (0x00RRGGBB words) through WIC's encoder, for screenshots.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Display.h"

namespace qv {

// `hostPath` is a Windows path in UTF-8; `pitch` the distance between rows in bytes. False with
// `error` when the file cannot be written, and then no file is left. With `topByteIsAlpha` the
// words are 0xAARRGGBB and the picture keeps them.
bool WritePng(const std::string& hostPath, const uint32_t* pixels, int width, int height, int pitch,
              std::string* error, bool topByteIsAlpha = false);
// The pixels of any display's surface, read through the surface.
bool WriteSurfacePng(const std::string& hostPath, const Surface& surface, std::string* error);

}  // namespace qv
