#include "platform/memory/TestPicture.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace qv {
namespace {

// Larger pictures would be a test's mistake, and must not exhaust memory.
constexpr int kMaxSide = 16384;
constexpr int64_t kMaxPixels = int64_t(1) << 26;

bool IsBlank(uint8_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

struct Header {
  int width = 0;
  int height = 0;
  size_t dataStart = 0;
};

// Reads the next number of the header, skipping blanks and comments before it.
bool ReadNumber(const uint8_t* data, size_t size, size_t* at, int64_t* value) {
  size_t i = *at;
  while (i < size && (IsBlank(data[i]) || data[i] == '#')) {
    if (data[i] == '#')
      while (i < size && data[i] != '\n' && data[i] != '\r') ++i;
    else
      ++i;
  }
  if (i >= size || data[i] < '0' || data[i] > '9') return false;
  int64_t v = 0;
  for (; i < size && data[i] >= '0' && data[i] <= '9'; ++i) {
    v = v * 10 + (data[i] - '0');
    if (v > kMaxPixels) return false;
  }
  *at = i;
  *value = v;
  return true;
}

bool ReadHeader(const uint8_t* data, size_t size, Header* header, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return false;
  };
  if (!data || size < 2 || data[0] != 'P' || data[1] != '6') return fail("not a P6 picture");
  size_t at = 2;
  int64_t width = 0, height = 0, maxval = 0;
  if (!ReadNumber(data, size, &at, &width) || !ReadNumber(data, size, &at, &height) ||
      !ReadNumber(data, size, &at, &maxval))
    return fail("damaged picture header");
  // One blank ends the header; the pixel data may start with any byte.
  if (at >= size || !IsBlank(data[at])) return fail("damaged picture header");
  if (maxval != 255) return fail("only pictures of maxval 255 are read");
  if (width < 1 || height < 1) return fail("empty picture");
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
    return fail("picture too large");
  header->width = int(width);
  header->height = int(height);
  header->dataStart = at + 1;
  return true;
}

PictureResult Outcome(const Header& h, size_t size, std::string* message) {
  const size_t need = size_t(h.width) * h.height * 3;
  const size_t have = size - h.dataStart;
  if (have >= need) return PictureResult::Ok;
  if (message)
    *message = "picture data ends after " + std::to_string(have) + " of " + std::to_string(need) +
               " bytes";
  return PictureResult::Partial;
}

}  // namespace

bool TestPictureCodec::Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                                  std::string* error) const {
  Header h;
  if (!ReadHeader(data, size, &h, error)) return false;
  *width = h.width;
  *height = h.height;
  return true;
}

PictureResult TestPictureCodec::Decode(const uint8_t* data, size_t size, uint32_t* pixels,
                                       int pitch, std::string* message) const {
  Header h;
  if (!ReadHeader(data, size, &h, message)) return PictureResult::Failed;
  if (!pixels || pitch < h.width * 4) {
    if (message) *message = "no pixel buffer";
    return PictureResult::Failed;
  }
  const uint8_t* in = data + h.dataStart;
  size_t left = size - h.dataStart;
  for (int y = 0; y < h.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + size_t(y) * pitch);
    for (int x = 0; x < h.width; ++x, in += 3) {
      if (left < 3) {
        row[x] = 0;
        left = 0;
        continue;
      }
      row[x] = uint32_t(in[0]) << 16 | uint32_t(in[1]) << 8 | in[2];
      left -= 3;
    }
  }
  return Outcome(h, size, message);
}

PictureResult TestPictureCodec::Check(const uint8_t* data, size_t size,
                                      std::string* message) const {
  Header h;
  if (!ReadHeader(data, size, &h, message)) return PictureResult::Failed;
  return Outcome(h, size, message);
}

PictureResult TestPictureCodec::DecodeBands(const uint8_t*, size_t, const PictureBands&, int, int,
                                            uint32_t*, int, std::string* message) const {
  if (message) *message = "no bands";
  return PictureResult::Failed;
}

std::vector<uint8_t> EncodeTestPicture(int width, int height, const std::vector<uint32_t>& pixels) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  const std::string header =
      "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  const size_t count = size_t(width) * height;
  out.reserve(out.size() + count * 3);
  for (size_t k = 0; k < count; ++k) {
    const uint32_t p = k < pixels.size() ? pixels[k] : 0;
    out.push_back(uint8_t(p >> 16));
    out.push_back(uint8_t(p >> 8));
    out.push_back(uint8_t(p));
  }
  return out;
}

}  // namespace qv
