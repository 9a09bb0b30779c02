// The JPEG pictures of the Linux platform, read with libjpeg-turbo (JpegCodec).
#pragma once

#include "platform/common/PictureCodec.h"

namespace qv {

class JpegPictureCodec : public PictureCodec {
 public:
  bool Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                  std::string* error) const override;
  PictureResult Decode(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                       std::string* message) const override;
  PictureResult Check(const uint8_t* data, size_t size, std::string* message) const override;
  std::string CheckIdentity() const override;
  std::unique_ptr<PictureBands> FindBands(const uint8_t* data, size_t size) const override;
  PictureResult DecodeBands(const uint8_t* data, size_t size, const PictureBands& bands, int first,
                            int last, uint32_t* pixels, int pitch,
                            std::string* message) const override;
};

}  // namespace qv
