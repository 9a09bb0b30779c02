#include "platform/linux/JpegCodec.h"

#include <turbojpeg.h>

// clang-format off
#include <cstdio>  // jpeglib.h uses FILE and size_t without declaring them
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace qv {
namespace {

// 0x00RRGGBB words: B, G, R, X in memory on little-endian machines.
constexpr int kPixelFormat = std::endian::native == std::endian::little ? TJPF_BGRX : TJPF_XRGB;

// A picture beyond 64 megapixels would take a quarter gigabyte or more; a skin of such pictures
// could exhaust the machine, so such a file is treated as undecodable.
constexpr int64_t kMaxPixels = int64_t(64) << 20;

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
    if (error) *error = "picture size out of range (more than 64 megapixels)";
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

namespace {

uint16_t BigEndian16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Splits the coded data after `scanStart` at its restart markers, which must count RST0, RST1,
// ... in turn; true when it ends with EOI and nothing else comes in between.
bool SplitAtRestarts(const uint8_t* data, size_t size, size_t scanStart,
                     std::vector<std::pair<size_t, size_t>>* coded) {
  size_t begin = scanStart;
  int expect = 0;
  for (size_t i = scanStart; i + 1 < size;) {
    const void* ff = std::memchr(data + i, 0xFF, size - 1 - i);
    if (!ff) return false;
    i = static_cast<size_t>(static_cast<const uint8_t*>(ff) - data);
    const uint8_t code = data[i + 1];
    if (code == 0x00) {  // a stuffed data byte
      i += 2;
    } else if (code == 0xFF) {  // fill before a marker
      ++i;
    } else if (code >= 0xD0 && code <= 0xD7) {
      if (code != 0xD0 + expect) return false;
      coded->emplace_back(begin, i);
      expect = (expect + 1) % 8;
      i += 2;
      begin = i;
    } else if (code == 0xD9) {
      coded->emplace_back(begin, i);
      return true;
    } else {
      return false;  // a line count, a second scan: not a picture of bands
    }
  }
  return false;
}

}  // namespace

bool FindJpegBands(const uint8_t* data, size_t size, JpegBands* bands) {
  if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return false;
  JpegBands b;
  size_t pos = 2;
  int components = 0;
  int restartBlocks = 0;
  for (;;) {
    if (pos >= size || data[pos] != 0xFF) return false;
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos + 3 > size) return false;
    const uint8_t code = data[pos++];
    // Only segments with a length may come before the scan.
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD9)) return false;
    const size_t length = BigEndian16(data + pos);
    if (length < 2 || pos + length > size) return false;
    const uint8_t* segment = data + pos + 2;
    const size_t bytes = length - 2;
    if (code == 0xC0 || code == 0xC1) {
      if (components != 0 || bytes < 6 || segment[0] != 8) return false;
      b.heightField = pos + 3;
      b.height = BigEndian16(segment + 1);
      b.width = BigEndian16(segment + 3);
      components = segment[5];
      if ((components != 1 && components != 3) || bytes != size_t(6 + 3 * components) ||
          b.width == 0 || b.height == 0)
        return false;
      for (int c = 0; c < components; ++c)
        if (segment[6 + 3 * c + 1] != 0x11) return false;  // subsampled colour
    } else if (code >= 0xC2 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) {
      return false;  // progressive, lossless, arithmetic coding
    } else if (code == 0xDD) {
      if (bytes != 2) return false;
      restartBlocks = BigEndian16(segment);
    } else if (code == 0xDA) {
      if (components == 0 || bytes < 1 || segment[0] != components) return false;
      b.scanStart = pos + length;
      break;
    }
    pos += length;
  }
  const int blocksPerRow = (b.width + 7) / 8;
  const int blockRows = (b.height + 7) / 8;
  if (restartBlocks <= 0 || restartBlocks % blocksPerRow != 0) return false;
  const int rowsPerBand = restartBlocks / blocksPerRow;
  b.bandRows = 8 * rowsPerBand;
  if (!SplitAtRestarts(data, size, b.scanStart, &b.coded) ||
      b.Count() != (blockRows + rowsPerBand - 1) / rowsPerBand)
    return false;
  *bands = std::move(b);
  return true;
}

JpegResult DecodeJpegBands(const uint8_t* data, const JpegBands& bands, int first, int last,
                           uint32_t* pixels, int pitch, std::string* message) {
  if (!data || !pixels || first < 0 || last > bands.Count() || first >= last) {
    if (message) *message = "no such bands";
    return JpegResult::Failed;
  }
  // The bands alone make a picture of their own: the same headers with the height of the
  // bands, their coded data with the restart markers counted anew, and the end marker.
  const int top = first * bands.bandRows;
  const int rows = std::min(bands.height, last * bands.bandRows) - top;
  std::vector<uint8_t> stream(data, data + bands.scanStart);
  stream[bands.heightField] = static_cast<uint8_t>(rows >> 8);
  stream[bands.heightField + 1] = static_cast<uint8_t>(rows & 0xFF);
  for (int k = first; k < last; ++k) {
    if (k > first) {
      stream.push_back(0xFF);
      stream.push_back(static_cast<uint8_t>(0xD0 + (k - first - 1) % 8));
    }
    stream.insert(stream.end(), data + bands.coded[k].first, data + bands.coded[k].second);
  }
  stream.push_back(0xFF);
  stream.push_back(0xD9);
  auto* at = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + size_t(top) * pitch);
  return Decompress(stream.data(), stream.size(), at, pitch, message);
}

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

std::string JpegCheckIdentity() {
  return "check 1, libjpeg-turbo " + std::to_string(LIBJPEG_TURBO_VERSION_NUMBER);
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

namespace {

struct JumpingErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
  auto* errors = reinterpret_cast<JumpingErrors*>(info->err);
  errors->manager.format_message(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// The same coefficients written again with a restart marker after each row of blocks: no loss.
bool AddRestartMarkers(const std::vector<uint8_t>& in, std::vector<uint8_t>* out,
                       std::string* error) {
  struct State {
    JumpingErrors errors{};
    jpeg_decompress_struct source{};
    jpeg_compress_struct target{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
  };
  auto state = std::make_unique<State>();  // nothing that longjmp must not skip lives below
  State& s = *state;
  s.source.err = jpeg_std_error(&s.errors.manager);
  s.target.err = &s.errors.manager;
  s.errors.manager.error_exit = JumpOnError;
  if (setjmp(s.errors.jump) != 0) {
    jpeg_destroy_compress(&s.target);
    jpeg_destroy_decompress(&s.source);
    std::free(s.buffer);
    if (error) *error = s.errors.message;
    out->clear();
    return false;
  }
  jpeg_create_decompress(&s.source);
  jpeg_create_compress(&s.target);
  jpeg_mem_src(&s.source, in.data(), static_cast<unsigned long>(in.size()));
  jpeg_read_header(&s.source, TRUE);
  jvirt_barray_ptr* coefficients = jpeg_read_coefficients(&s.source);
  jpeg_copy_critical_parameters(&s.source, &s.target);
  s.target.restart_in_rows = 1;
  jpeg_mem_dest(&s.target, &s.buffer, &s.size);
  jpeg_write_coefficients(&s.target, coefficients);
  jpeg_finish_compress(&s.target);
  jpeg_finish_decompress(&s.source);
  out->assign(s.buffer, s.buffer + s.size);
  jpeg_destroy_compress(&s.target);
  jpeg_destroy_decompress(&s.source);
  std::free(s.buffer);
  return true;
}

}  // namespace

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
  const std::vector<uint8_t> plain(buffer, buffer + size);
  tjFree(buffer);
  return AddRestartMarkers(plain, out, error);
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
