#include "platform/linux/PngFile.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace qv {

bool WritePng(const std::string& hostPath, const uint32_t* pixels, int width, int height, int pitch,
              std::string* error, bool topByteIsAlpha) {
  if (width <= 0 || height <= 0 || pixels == nullptr) {
    if (error) *error = "empty picture";
    return false;
  }
  // Without alpha the unused top byte is left out: plain RGB.
  const int channels = topByteIsAlpha ? 4 : 3;
  std::vector<uint8_t> rgb(size_t(width) * height * channels);
  const auto* base = reinterpret_cast<const uint8_t*>(pixels);
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(base + size_t(y) * pitch);
    uint8_t* out = &rgb[size_t(y) * width * channels];
    for (int x = 0; x < width; ++x, out += channels) {
      out[0] = uint8_t(row[x] >> 16);
      out[1] = uint8_t(row[x] >> 8);
      out[2] = uint8_t(row[x]);
      if (topByteIsAlpha) out[3] = uint8_t(row[x] >> 24);
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = topByteIsAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, hostPath.c_str(), 0, rgb.data(), width * channels,
                               nullptr)) {
    if (error) *error = hostPath + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  return true;
}

bool WriteSurfacePng(const std::string& hostPath, const Surface& surface, std::string* error) {
  const int width = surface.Width(), height = surface.Height();
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels[size_t(y) * width + x] = surface.PixelRGB(x, y);
  return WritePng(hostPath, pixels.data(), width, height, width * 4, error);
}

}  // namespace qv
