// Pictures through WIC: JPEG decoding (whole and in bands) and PNG writing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/win32/WicFactory.h"
#include "platform/win32/WicPictureCodec.h"
#include "platform/win32/WicPngFile.h"
#include "platform/win32/WideText.h"

namespace qv {
namespace {

constexpr int kWidth = 160, kHeight = 300;
constexpr uint32_t kQuadrants[4] = {0xE01010, 0x10C020, 0x2020E0, 0xF0F0F0};

uint32_t Quadrant(int x, int y) {
  return kQuadrants[(y >= kHeight / 2) * 2 + (x >= kWidth / 2)];
}

// Four plain quadrants, encoded by WIC's own JPEG encoder in memory.
std::vector<uint8_t> QuadrantJpeg() {
  std::vector<uint32_t> pixels(size_t(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) pixels[size_t(y) * kWidth + x] = Quadrant(x, y);
  WicSession session;
  IWICImagingFactory* factory = session.Factory(nullptr);
  ComPtr<IStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  HGLOBAL memory = nullptr;
  if (!factory || FAILED(CreateStreamOnHGlobal(nullptr, FALSE, &stream)) ||
      FAILED(factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
      FAILED(frame->SetSize(kWidth, kHeight)) || FAILED(frame->SetPixelFormat(&format)))
    return {};
  std::vector<uint8_t> bgr(size_t(kWidth) * kHeight * 3);
  for (size_t i = 0; i < pixels.size(); ++i) {
    bgr[i * 3] = uint8_t(pixels[i]);
    bgr[i * 3 + 1] = uint8_t(pixels[i] >> 8);
    bgr[i * 3 + 2] = uint8_t(pixels[i] >> 16);
  }
  if (FAILED(frame->WritePixels(kHeight, kWidth * 3, UINT(bgr.size()), bgr.data())) ||
      FAILED(frame->Commit()) || FAILED(encoder->Commit()) ||
      FAILED(GetHGlobalFromStream(stream.Get(), &memory)))
    return {};
  STATSTG stat{};
  stream->Stat(&stat, STATFLAG_NONAME);
  const auto* bytes = static_cast<const uint8_t*>(GlobalLock(memory));
  std::vector<uint8_t> out(bytes, bytes + stat.cbSize.QuadPart);
  GlobalUnlock(memory);
  stream.Reset();
  GlobalFree(memory);
  return out;
}

bool Near(uint32_t a, uint32_t b) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > 12) return false;
  return (a >> 24) == 0;
}

TEST(WicPictureCodecTest, DecodesJpegAsEncodedAndRefusesDamage) {
  const std::vector<uint8_t> jpeg = QuadrantJpeg();
  ASSERT_GT(jpeg.size(), 100u);
  WicPictureCodec codec;
  int width = 0, height = 0;
  std::string message;
  ASSERT_TRUE(codec.Dimensions(jpeg.data(), jpeg.size(), &width, &height, &message)) << message;
  EXPECT_EQ(width, kWidth);
  EXPECT_EQ(height, kHeight);
  std::vector<uint32_t> pixels(size_t(width) * height, 0xFFFFFFFFu);
  ASSERT_EQ(codec.Decode(jpeg.data(), jpeg.size(), pixels.data(), width * 4, &message),
            PictureResult::Ok)
      << message;
  EXPECT_EQ(codec.Check(jpeg.data(), jpeg.size(), &message), PictureResult::Ok) << message;
  // Away from the quadrants' edges, where JPEG blurs; every pixel keeps its top byte zero.
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const bool edge = std::abs(x - kWidth / 2) < 10 || std::abs(y - kHeight / 2) < 10;
      const uint32_t p = pixels[size_t(y) * width + x];
      if ((p >> 24) != 0 || (!edge && !Near(p, Quadrant(x, y)))) ++wrong;
    }
  EXPECT_EQ(wrong, 0);

  // Cut in the middle of the coded data, random bytes, nothing, and another format.
  const std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
  std::vector<uint8_t> noise(4096);
  srand(25);
  for (uint8_t& b : noise) b = uint8_t(rand());
  const uint8_t png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
  for (const std::vector<uint8_t>& bad :
       {cut, noise, std::vector<uint8_t>(), std::vector<uint8_t>(png, png + sizeof png)}) {
    message.clear();
    EXPECT_EQ(codec.Decode(bad.data(), bad.size(), pixels.data(), kWidth * 4, &message),
              PictureResult::Failed);
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(codec.Check(bad.data(), bad.size(), nullptr), PictureResult::Failed);
  }
  EXPECT_FALSE(codec.Dimensions(noise.data(), noise.size(), &width, &height, nullptr));
}

TEST(WicPictureCodecTest, BandsGiveTheWholePicturesPixels) {
  const std::vector<uint8_t> jpeg = QuadrantJpeg();
  ASSERT_FALSE(jpeg.empty());
  WicPictureCodec codec;
  std::vector<uint32_t> whole(size_t(kWidth) * kHeight);
  ASSERT_EQ(codec.Decode(jpeg.data(), jpeg.size(), whole.data(), kWidth * 4, nullptr),
            PictureResult::Ok);
  const auto bands = codec.FindBands(jpeg.data(), jpeg.size());
  ASSERT_TRUE(bands);
  ASSERT_GE(bands->count, 3);
  EXPECT_EQ(bands->width, kWidth);
  EXPECT_EQ(bands->height, kHeight);
  // A surface's rows may be wider than the picture: the padding stays as it was.
  const int stride = kWidth + 8;
  const uint32_t untouched = 0xA5A5A5A5u;
  std::vector<uint32_t> banded(size_t(stride) * kHeight, untouched);
  std::string message;
  // The last band first, then the others: each stands alone.
  ASSERT_EQ(codec.DecodeBands(jpeg.data(), jpeg.size(), *bands, bands->count - 1, bands->count,
                              banded.data(), stride * 4, &message),
            PictureResult::Ok)
      << message;
  ASSERT_EQ(codec.DecodeBands(jpeg.data(), jpeg.size(), *bands, 0, bands->count - 1, banded.data(),
                              stride * 4, &message),
            PictureResult::Ok)
      << message;
  int differ = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < stride; ++x) {
      const uint32_t p = banded[size_t(y) * stride + x];
      differ += x < kWidth ? p != whole[size_t(y) * kWidth + x] : p != untouched;
    }
  EXPECT_EQ(differ, 0);
  // Bands out of range decode nothing.
  EXPECT_EQ(codec.DecodeBands(jpeg.data(), jpeg.size(), *bands, 0, bands->count + 1, banded.data(),
                              stride * 4, nullptr),
            PictureResult::Failed);
}

// The file's pixels as 0x00RRGGBB, read back through WIC.
std::vector<uint32_t> ReadBack(const std::string& path, int* width, int* height) {
  std::wstring wide;
  WicSession session;
  IWICImagingFactory* factory = session.Factory(nullptr);
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  UINT w = 0, h = 0;
  if (!factory || !ToWide(path, &wide) ||
      FAILED(factory->CreateDecoderFromFilename(wide.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&w, &h)) ||
      FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom)))
    return {};
  std::vector<uint32_t> pixels(size_t(w) * h);
  if (FAILED(converter->CopyPixels(nullptr, w * 4, UINT(pixels.size() * 4),
                                   reinterpret_cast<BYTE*>(pixels.data()))))
    return {};
  *width = int(w);
  *height = int(h);
  return pixels;
}

TEST(WicPngFileTest, WrittenPixelsReadBackExactly) {
  const char* drives = std::getenv("QV_TEST_DRIVES");
  ASSERT_TRUE(drives && drives[0]) << "run through scripts/test-windows.sh";
  const std::string folder(1, drives[0]);
  // Rows wider than the picture, and top bytes that must not reach an opaque picture.
  constexpr int w = 37, h = 23, stride = 40;
  std::vector<uint32_t> pixels(size_t(stride) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < stride; ++x)
      pixels[size_t(y) * stride + x] =
          0x5A000000u | uint32_t(x * 7) << 16 | uint32_t(y * 11) << 8 | uint32_t((x * y) & 0xFF);
  const std::string path = folder + ":\\shot \xC3\xA9.png";
  std::string error;
  ASSERT_TRUE(WritePng(path, pixels.data(), w, h, stride * 4, &error)) << error;
  int width = 0, height = 0;
  const std::vector<uint32_t> back = ReadBack(path, &width, &height);
  ASSERT_EQ(width, w);
  ASSERT_EQ(height, h);
  int differ = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      differ +=
          back[size_t(y) * w + x] != ((pixels[size_t(y) * stride + x] & 0xFFFFFF) | 0xFF000000u);
  EXPECT_EQ(differ, 0);

  // With alpha kept.
  ASSERT_TRUE(WritePng(path, pixels.data(), w, h, stride * 4, &error, true)) << error;
  const std::vector<uint32_t> alpha = ReadBack(path, &width, &height);
  ASSERT_EQ(alpha.size(), size_t(w) * h);
  EXPECT_EQ(alpha[size_t(5) * w + 9], pixels[size_t(5) * stride + 9]);

  // A folder that does not exist: refused, with a reason.
  error.clear();
  EXPECT_FALSE(WritePng(folder + ":\\missing\\shot.png", pixels.data(), w, h, stride * 4, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace qv
