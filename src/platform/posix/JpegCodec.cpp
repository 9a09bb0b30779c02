#include "platform/posix/JpegCodec.h"

#include <turbojpeg.h>

#include <algorithm>
#include <bit>

namespace qv {
namespace {

// 0x00RRGGBB words: B, G, R, X in memory on little-endian machines.
constexpr int kPixelFormat = std::endian::native == std::endian::little ? TJPF_BGRX : TJPF_XRGB;

// A picture beyond this would need gigabytes; such a file is treated as undecodable.
constexpr int64_t kMaxPixels = int64_t(1) << 27;

struct Handle {
  explicit Handle(tjhandle h) : h(h) {}
  ~Handle() {
    if (h) tjDestroy(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  tjhandle h;
};

bool ReadHeader(tjhandle h, const uint8_t* data, size_t size, int* width, int* height,
                std::string* error) {
  int subsamp = 0, colorspace = 0;
  if (size == 0 || data == nullptr) {
    if (error) *error = "empty file";
    return false;
  }
  if (tjDecompressHeader3(h, data, static_cast<unsigned long>(size), width, height, &subsamp,
                          &colorspace) != 0) {
    if (error) *error = tjGetErrorStr2(h);
    return false;
  }
  if (*width <= 0 || *height <= 0 || int64_t(*width) * *height > kMaxPixels) {
    if (error) *error = "picture size out of range";
    return false;
  }
  return true;
}

}  // namespace

bool JpegDimensions(const uint8_t* data, size_t size, int* width, int* height, std::string* error) {
  Handle dec(tjInitDecompress());
  if (!dec.h) {
    if (error) *error = tjGetErrorStr2(nullptr);
    return false;
  }
  return ReadHeader(dec.h, data, size, width, height, error);
}

namespace {

// Decodes at full size into `pixels`, or (with null `pixels`) at the smallest size the decoder
// offers into a scratch buffer: every coefficient is still read, few are transformed.
JpegResult Decompress(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                      std::string* message) {
  Handle dec(tjInitDecompress());
  if (!dec.h) {
    if (message) *message = tjGetErrorStr2(nullptr);
    return JpegResult::Failed;
  }
  int width = 0, height = 0;
  if (!ReadHeader(dec.h, data, size, &width, &height, message)) return JpegResult::Failed;
  if (!pixels) {
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    tjscalingfactor smallest{1, 1};
    for (int i = 0; factors && i < count; ++i)
      if (factors[i].num * smallest.denom < smallest.num * factors[i].denom) smallest = factors[i];
    width = TJSCALED(width, smallest);
    height = TJSCALED(height, smallest);
    static thread_local std::vector<uint32_t> scratch;
    scratch.resize(size_t(width) * height);
    pixels = scratch.data();
    pitch = width * 4;
  }
  if (tjDecompress2(dec.h, data, static_cast<unsigned long>(size),
                    reinterpret_cast<unsigned char*>(pixels), width, pitch, height, kPixelFormat,
                    TJFLAG_ACCURATEDCT) == 0) {
    return JpegResult::Ok;
  }
  if (message) *message = tjGetErrorStr2(dec.h);
  return tjGetErrorCode(dec.h) == TJERR_WARNING ? JpegResult::Partial : JpegResult::Failed;
}

}  // namespace

JpegResult DecodeJpegPixels(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                            std::string* message) {
  if (!pixels) {
    if (message) *message = "no pixel buffer";
    return JpegResult::Failed;
  }
  return Decompress(data, size, pixels, pitch, message);
}

JpegResult CheckJpegData(const uint8_t* data, size_t size, std::string* message) {
  return Decompress(data, size, nullptr, 0, message);
}

JpegResult DecodeJpegImage(const std::vector<uint8_t>& data, PixelImage* out,
                           std::string* message) {
  *out = PixelImage();
  int width = 0, height = 0;
  if (!JpegDimensions(data.data(), data.size(), &width, &height, message)) {
    return JpegResult::Failed;
  }
  PixelImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(size_t(width) * height, 0);
  JpegResult r =
      DecodeJpegPixels(data.data(), data.size(), image.pixels.data(), width * 4, message);
  if (r != JpegResult::Failed) *out = std::move(image);
  return r;
}

bool EncodeJpeg(const uint32_t* pixels, int width, int height, int pitch, int quality,
                std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  if (width <= 0 || height <= 0 || pixels == nullptr) {
    if (error) *error = "empty picture";
    return false;
  }
  Handle enc(tjInitCompress());
  if (!enc.h) {
    if (error) *error = tjGetErrorStr2(nullptr);
    return false;
  }
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  if (tjCompress2(enc.h, reinterpret_cast<const unsigned char*>(pixels), width, pitch, height,
                  kPixelFormat, &buffer, &size, TJSAMP_444, std::clamp(quality, 1, 100),
                  TJFLAG_ACCURATEDCT) != 0) {
    if (error) *error = tjGetErrorStr2(enc.h);
    tjFree(buffer);
    return false;
  }
  out->assign(buffer, buffer + size);
  tjFree(buffer);
  return true;
}

bool EncodeJpeg(const PixelImage& image, int quality, std::vector<uint8_t>* out,
                std::string* error) {
  if (image.pixels.size() != size_t(image.width) * size_t(std::max(image.height, 0))) {
    if (error) *error = "pixel buffer does not match the size";
    out->clear();
    return false;
  }
  return EncodeJpeg(image.pixels.data(), image.width, image.height, image.width * 4, quality, out,
                    error);
}

}  // namespace qv
