// The JPEG pictures of the Windows platform, read with the system's imaging component (WIC).
// A damaged or truncated file is refused outright: WIC gives no partial pictures.
#pragma once

#include "platform/common/PictureCodec.h"

namespace qv {

class WicPictureCodec : public PictureCodec {
 public:
  bool Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                  std::string* error) const override;
  PictureResult Decode(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                       std::string* message) const override;
  PictureResult Check(const uint8_t* data, size_t size, std::string* message) const override;
  std::string CheckIdentity() const override;
  // Bands of whole rows, each decoded through a rectangle of the converted frame.
  std::unique_ptr<PictureBands> FindBands(const uint8_t* data, size_t size) const override;
  PictureResult DecodeBands(const uint8_t* data, size_t size, const PictureBands& bands, int first,
                            int last, uint32_t* pixels, int pitch,
                            std::string* message) const override;
};

}  // namespace qv
