// JPEG reading and writing on plain 32-bit pixel buffers (TurboJPEG).
// Pixels are 32-bit words 0x00RRGGBB in the machine's byte order, which is also the layout of
// the SDL surfaces (XRGB8888) and of the in-memory display, so decoding needs no copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/common/PictureCodec.h"

namespace qv {

// Partial: the file ended early or is damaged; a picture came out, the rest is grey.
using JpegResult = PictureResult;

struct PixelImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height words, row by row
  uint32_t At(int x, int y) const {
    return x < 0 || y < 0 || x >= width || y >= height ? 0 : pixels[size_t(y) * width + x];
  }
};

// Reads the picture size. False with `error` when the data is no usable JPEG picture
// (also for pictures too large to hold in memory).
bool JpegDimensions(const uint8_t* data, size_t size, int* width, int* height, std::string* error);

// Decodes into `pixels`, which must hold the size JpegDimensions reports; `pitch` is the
// distance between rows in bytes. `message` receives the warning (Partial) or the error.
JpegResult DecodeJpegPixels(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                            std::string* message);

// Reads all of the picture's data as DecodeJpegPixels would, with the same outcome and message,
// but makes only a small picture of it: a check that costs neither the full-size pixels' memory
// nor most of the decoding.
JpegResult CheckJpegData(const uint8_t* data, size_t size, std::string* message);

// Names the checking above and the library behind it; it changes whenever either may judge a
// picture otherwise, so that what was found intact by another one is checked again.
std::string JpegCheckIdentity();

// Size and decoding in one step. On Failed, `out` is left empty.
JpegResult DecodeJpegImage(const std::vector<uint8_t>& data, PixelImage* out, std::string* message);

// A picture whose rows of 8x8 blocks can be decoded on their own, a band at a time: baseline,
// colour not subsampled, restart markers after each band of whole block rows. Every pixel of a
// band decoded alone equals the one the whole picture gives.
struct JpegBands {
  int width = 0;
  int height = 0;
  int bandRows = 0;        // pixel rows per band; the last band may have fewer
  size_t heightField = 0;  // offset of the frame header's height
  size_t scanStart = 0;    // first byte of the coded data
  std::vector<std::pair<size_t, size_t>> coded;  // each band's coded bytes [begin, end)
  int Count() const { return static_cast<int>(coded.size()); }
};
// False when the data has no such bands (another kind of picture, or damaged).
bool FindJpegBands(const uint8_t* data, size_t size, JpegBands* bands);
// Decodes bands [first, last) into the rows they cover; `pixels` and `pitch` are those of the
// whole picture. Anything but Ok means the rows must be taken from a decoding of the whole.
JpegResult DecodeJpegBands(const uint8_t* data, const JpegBands& bands, int first, int last,
                           uint32_t* pixels, int pitch, std::string* message);

// Compresses with quality 1..100. Colour is not subsampled, so that thin lines and small text
// of skin pictures keep their colours; each row of blocks ends in a restart marker, so that the
// picture has bands (FindJpegBands).
bool EncodeJpeg(const uint32_t* pixels, int width, int height, int pitch, int quality,
                std::vector<uint8_t>* out, std::string* error);
bool EncodeJpeg(const PixelImage& image, int quality, std::vector<uint8_t>* out,
                std::string* error);

}  // namespace qv
