// Reading pictures into plain 32-bit pixel buffers, whatever the file format and library.
// Pixels are 32-bit words 0x00RRGGBB in the machine's byte order. A codec's methods may run on
// several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qv {

enum class PictureResult {
  Ok,
  Partial,  // the file ended early or is damaged: a picture came out, the rest is made up
  Failed,   // nothing could be decoded
};

// Rows of a picture that can be decoded on their own, a band at a time. Every pixel of a band
// decoded alone equals the one the whole picture gives.
class PictureBands {
 public:
  virtual ~PictureBands() = default;
  int width = 0;
  int height = 0;
  int bandRows = 0;  // pixel rows per band; the last band may have fewer
  int count = 0;
};

class PictureCodec {
 public:
  virtual ~PictureCodec() = default;

  // The picture's size. False with `error` when the data is no usable picture (also for
  // pictures too large to hold in memory).
  virtual bool Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                          std::string* error) const = 0;
  // Decodes into `pixels`, which must hold the size Dimensions reports; `pitch` is the distance
  // between rows in bytes. `message` (may be null) receives the warning or the error.
  virtual PictureResult Decode(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                               std::string* message) const = 0;
  // The outcome and message Decode would give, at less cost where the format allows.
  virtual PictureResult Check(const uint8_t* data, size_t size, std::string* message) const = 0;
  // Names the checking and whatever library is behind it, so that pictures found intact by
  // another one are checked again.
  virtual std::string CheckIdentity() const = 0;

  // The picture's bands; null where it has none.
  virtual std::unique_ptr<PictureBands> FindBands(const uint8_t* data, size_t size) const = 0;
  // Decodes bands [first, last) of `bands` (from FindBands on the same data) into the rows they
  // cover; `pixels` and `pitch` are those of the whole picture. Anything but Ok means the rows
  // must be taken from a decoding of the whole.
  virtual PictureResult DecodeBands(const uint8_t* data, size_t size, const PictureBands& bands,
                                    int first, int last, uint32_t* pixels, int pitch,
                                    std::string* message) const = 0;
};

}  // namespace qv
