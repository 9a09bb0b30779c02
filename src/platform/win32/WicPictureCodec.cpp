#include "platform/win32/WicPictureCodec.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/win32/WicFactory.h"

namespace qv {
namespace {

// As on Linux: a larger picture would not fit in memory beside the others of a skin.
constexpr int64_t kMaxPixels = int64_t(64) << 20;
// A multiple of the largest JPEG block height, so that bands fall on block rows.
constexpr int kBandRows = 64;

struct WicBands : PictureBands {};

// One JPEG picture opened for reading, its rows converted to 32-bit BGRx.
class OpenJpeg {
 public:
  bool Open(const uint8_t* data, size_t size, std::string* error) {
    if (size == 0) return Fail(error, "empty file");
    if (size > std::numeric_limits<DWORD>::max()) return Fail(error, "file too large");
    IWICImagingFactory* factory = session_.Factory(error);
    if (!factory) return false;
    ComPtr<IWICBitmapFrameDecode> frame;
    GUID container{};
    HRESULT hr = factory->CreateStream(&stream_);
    // The stream only reads what it is given.
    if (SUCCEEDED(hr))
      hr = stream_->InitializeFromMemory(const_cast<BYTE*>(data), static_cast<DWORD>(size));
    if (SUCCEEDED(hr))
      hr = factory->CreateDecoderFromStream(stream_.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                            &decoder_);
    if (FAILED(hr)) return Fail(error, "not a usable picture: " + WicMessage(hr));
    // Any other format WIC knows is still not one the Linux platform would show.
    if (FAILED(decoder_->GetContainerFormat(&container)) || container != GUID_ContainerFormatJpeg)
      return Fail(error, "not a JPEG picture");
    UINT width = 0, height = 0;
    hr = decoder_->GetFrame(0, &frame);
    if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
    if (FAILED(hr)) return Fail(error, WicMessage(hr));
    if (width == 0 || height == 0 || int64_t(width) * height > kMaxPixels)
      return Fail(error, "picture size out of range (more than 64 megapixels)");
    hr = factory->CreateFormatConverter(&converter_);
    if (SUCCEEDED(hr))
      hr = converter_->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                                  nullptr, 0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr)) return Fail(error, WicMessage(hr));
    width_ = static_cast<int>(width);
    height_ = static_cast<int>(height);
    return true;
  }

  int width() const { return width_; }
  int height() const { return height_; }

  // Rows [top, bottom) into `pixels` (the first of them), `pitch` bytes apart.
  bool CopyRows(int top, int bottom, uint32_t* pixels, int pitch, std::string* error) {
    if (!pixels || pitch < width_ * 4 || top < 0 || bottom > height_ || top >= bottom)
      return Fail(error, "no pixel buffer");
    const WICRect rect{0, top, width_, bottom - top};
    const size_t bytes = size_t(pitch) * (bottom - top - 1) + size_t(width_) * 4;
    if (bytes > std::numeric_limits<UINT>::max()) return Fail(error, "rows too large");
    const HRESULT hr = converter_->CopyPixels(
        &rect, static_cast<UINT>(pitch), static_cast<UINT>(bytes), reinterpret_cast<BYTE*>(pixels));
    if (FAILED(hr)) return Fail(error, "damaged picture: " + WicMessage(hr));
    // The fourth byte of BGRx is left undefined; the seam wants it zero.
    auto* base = reinterpret_cast<uint8_t*>(pixels);
    for (int y = 0; y < bottom - top; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(base + size_t(y) * pitch);
      for (int x = 0; x < width_; ++x) row[x] &= 0x00FFFFFFu;
    }
    return true;
  }

 private:
  static bool Fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
  }

  // Declared first, so that it outlives every object below.
  WicSession session_;
  ComPtr<IWICStream> stream_;
  ComPtr<IWICBitmapDecoder> decoder_;
  ComPtr<IWICFormatConverter> converter_;
  int width_ = 0;
  int height_ = 0;
};

uint32_t* RowAt(uint32_t* pixels, int pitch, int y) {
  return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + size_t(pitch) * y);
}

}  // namespace

bool WicPictureCodec::Dimensions(const uint8_t* data, size_t size, int* width, int* height,
                                 std::string* error) const {
  OpenJpeg jpeg;
  if (!jpeg.Open(data, size, error)) return false;
  *width = jpeg.width();
  *height = jpeg.height();
  return true;
}

PictureResult WicPictureCodec::Decode(const uint8_t* data, size_t size, uint32_t* pixels, int pitch,
                                      std::string* message) const {
  OpenJpeg jpeg;
  if (!jpeg.Open(data, size, message) || !jpeg.CopyRows(0, jpeg.height(), pixels, pitch, message))
    return PictureResult::Failed;
  return PictureResult::Ok;
}

PictureResult WicPictureCodec::Check(const uint8_t* data, size_t size, std::string* message) const {
  // Every row is decoded, as Decode would, but a band at a time through one small buffer.
  OpenJpeg jpeg;
  if (!jpeg.Open(data, size, message)) return PictureResult::Failed;
  std::vector<uint32_t> band(size_t(jpeg.width()) * kBandRows);
  for (int top = 0; top < jpeg.height(); top += kBandRows) {
    if (!jpeg.CopyRows(top, std::min(top + kBandRows, jpeg.height()), band.data(), jpeg.width() * 4,
                       message))
      return PictureResult::Failed;
  }
  return PictureResult::Ok;
}

std::string WicPictureCodec::CheckIdentity() const {
  return "wic-jpeg 1 (whole file, damage refused)";
}

std::unique_ptr<PictureBands> WicPictureCodec::FindBands(const uint8_t* data, size_t size) const {
  OpenJpeg jpeg;
  if (!jpeg.Open(data, size, nullptr)) return nullptr;
  auto bands = std::make_unique<WicBands>();
  bands->width = jpeg.width();
  bands->height = jpeg.height();
  bands->bandRows = kBandRows;
  bands->count = (jpeg.height() + kBandRows - 1) / kBandRows;
  return bands;
}

PictureResult WicPictureCodec::DecodeBands(const uint8_t* data, size_t size,
                                           const PictureBands& bands, int first, int last,
                                           uint32_t* pixels, int pitch,
                                           std::string* message) const {
  if (!dynamic_cast<const WicBands*>(&bands) || first < 0 || last > bands.count || first >= last)
    return PictureResult::Failed;
  OpenJpeg jpeg;
  if (!jpeg.Open(data, size, message)) return PictureResult::Failed;
  // Bands of other data would put rows where they do not belong.
  if (jpeg.width() != bands.width || jpeg.height() != bands.height) {
    if (message) *message = "bands of another picture";
    return PictureResult::Failed;
  }
  const int top = first * kBandRows;
  const int bottom = std::min(last * kBandRows, jpeg.height());
  if (!jpeg.CopyRows(top, bottom, RowAt(pixels, pitch, top), pitch, message))
    return PictureResult::Failed;
  return PictureResult::Ok;
}

}  // namespace qv
