// The pictures of the portable tests: binary PPM (P6, maxval 255), which needs no library to
// write or read. A P6 whose pixel data is cut short decodes Partial with the missing pixels
// black; anything else that is not such a picture fails.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/common/PictureCodec.h"

namespace qv {

class TestPictureCodec : public PictureCodec {
 public:
  bool Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                  std::string* error) const override;
  PictureResult Decode(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                       std::string* message) const override;
  PictureResult Check(const uint8_t* data, size_t size, std::string* message) const override;
  std::string CheckIdentity() const override { return "test picture 1"; }
  std::unique_ptr<PictureBands> FindBands(const uint8_t*, size_t) const override { return nullptr; }
  PictureResult DecodeBands(const uint8_t*, size_t, const PictureBands&, int, int, uint32_t*, int,
                            std::string* message) const override;
};

// `pixels` holds width * height words 0x00RRGGBB, row by row; missing ones are black.
std::vector<uint8_t> EncodeTestPicture(int width, int height, const std::vector<uint32_t>& pixels);

}  // namespace qv
