#include "platform/linux/JpegPictureCodec.h"

#include <utility>

#include "platform/linux/JpegCodec.h"

namespace qv {
namespace {

struct JpegCodecBands : PictureBands {
  JpegBands jpeg;
};

}  // namespace

bool JpegPictureCodec::Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                                  std::string* error) const {
  return JpegDimensions(data, size, width, height, error);
}

PictureResult JpegPictureCodec::Decode(const uint8_t* data, size_t size, uint32_t* pixels,
                                       int pitch, std::string* message) const {
  return DecodeJpegPixels(data, size, pixels, pitch, message);
}

PictureResult JpegPictureCodec::Check(const uint8_t* data, size_t size,
                                      std::string* message) const {
  return CheckJpegData(data, size, message);
}

std::string JpegPictureCodec::CheckIdentity() const {
  return JpegCheckIdentity();
}

std::unique_ptr<PictureBands> JpegPictureCodec::FindBands(const uint8_t* data, size_t size) const {
  auto bands = std::make_unique<JpegCodecBands>();
  if (!FindJpegBands(data, size, &bands->jpeg)) return nullptr;
  bands->width = bands->jpeg.width;
  bands->height = bands->jpeg.height;
  bands->bandRows = bands->jpeg.bandRows;
  bands->count = bands->jpeg.Count();
  return bands;
}

PictureResult JpegPictureCodec::DecodeBands(const uint8_t* data, size_t, const PictureBands& bands,
                                            int first, int last, uint32_t* pixels, int pitch,
                                            std::string* message) const {
  const auto* own = dynamic_cast<const JpegCodecBands*>(&bands);
  if (!own) return PictureResult::Failed;
  return DecodeJpegBands(data, own->jpeg, first, last, pixels, pitch, message);
}

}  // namespace qv
