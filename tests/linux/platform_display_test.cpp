// The displays and event sources of the platform layer: pictures, pixel operations, real
// fonts, coalesced presentation (SDL dummy driver) and the tests' deterministic display.
#include <SDL.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>

#include "app/linux/LinuxPlatform.h"
#include "platform/common/NearestStretch.h"
#include "platform/linux/FontconfigLookup.h"
#include "platform/linux/JpegCodec.h"
#include "platform/linux/JpegPictureCodec.h"
#include "platform/memory/MemoryDisplay.h"
#include "platform/memory/MemoryEvents.h"
#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlEvents.h"

namespace qv {
namespace {

int Channel(uint32_t p, int shift) {
  return int((p >> shift) & 0xFF);
}

int MaxChannelDiff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int s : {0, 8, 16}) d = std::max(d, std::abs(Channel(a, s) - Channel(b, s)));
  return d;
}

// Smooth colours with a few hard blocks: what skin pictures look like.
PixelImage TestPicture(int w, int h) {
  PixelImage img;
  img.width = w;
  img.height = h;
  img.pixels.resize(size_t(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint32_t r = 255 * x / w, g = 255 * y / h, b = (x / 16 + y / 16) % 2 ? 200 : 40;
      img.pixels[size_t(y) * w + x] = r << 16 | g << 8 | b;
    }
  }
  return img;
}

std::vector<uint8_t> Encode(const PixelImage& img, int quality = 95) {
  std::vector<uint8_t> jpeg;
  std::string error;
  EXPECT_TRUE(EncodeJpeg(img, quality, &jpeg, &error)) << error;
  return jpeg;
}

// Both displays must agree on every pixel operation; each test runs against both.
using DisplayFactory = std::function<std::unique_ptr<Display>()>;
std::vector<std::pair<const char*, DisplayFactory>> Displays() {
  return {
      {"sdl", [] { return std::make_unique<SdlDisplay>(LinuxDisplayOptions({.headless = true})); }},
      {"memory",
       [] { return std::make_unique<MemoryDisplay>(std::make_shared<JpegPictureCodec>()); }}};
}

// 16 x 8 pixels, left half red, right half blue, written by an independent encoder (cjpeg).
const std::vector<uint8_t> kRedBlueJpeg = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03,
    0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07,
    0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d, 0x0e, 0x12, 0x10, 0x0d,
    0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f,
    0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x03, 0x04,
    0x04, 0x05, 0x04, 0x05, 0x09, 0x05, 0x05, 0x09, 0x14, 0x0d, 0x0b, 0x0d, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4, 0x00,
    0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x09, 0x07, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01,
    0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x07, 0x48, 0x88, 0xc0, 0x5c, 0xba, 0x8b, 0xa7,
    0xff, 0xd9};

TEST(Jpeg, ColoursOfAForeignFileLandInTheirChannels) {
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    DecodedPicture pic = make()->DecodeJpeg(kRedBlueJpeg);
    ASSERT_TRUE(pic.surface) << pic.error;
    EXPECT_LT(MaxChannelDiff(pic.surface->PixelRGB(2, 4), 0xE61414), 12);
    EXPECT_LT(MaxChannelDiff(pic.surface->PixelRGB(13, 4), 0x1414E6), 12);
  }
}

// With the decoder checked against a foreign file, a round trip checks the encoder.
TEST(Jpeg, DecodesWhatWasEncodedOnBothDisplays) {
  PixelImage src = TestPicture(64, 48);
  std::vector<uint8_t> jpeg = Encode(src);
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    auto display = make();
    DecodedPicture pic = display->DecodeJpeg(jpeg);
    ASSERT_TRUE(pic.surface) << pic.error;
    EXPECT_TRUE(pic.warning.empty());
    ASSERT_EQ(pic.surface->Width(), 64);
    ASSERT_EQ(pic.surface->Height(), 48);
    int worst = 0;
    for (int y = 2; y < 46; y += 3) {
      for (int x = 2; x < 62; x += 3) {
        worst = std::max(worst, MaxChannelDiff(pic.surface->PixelRGB(x, y), src.At(x, y)));
      }
    }
    EXPECT_LT(worst, 40);
  }
}

TEST(Jpeg, TruncatedFileKeepsThePictureWithAWarning) {
  PixelImage src = TestPicture(256, 256);
  std::vector<uint8_t> jpeg = Encode(src);
  jpeg.resize(jpeg.size() * 6 / 10);
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    DecodedPicture pic = make()->DecodeJpeg(jpeg);
    ASSERT_TRUE(pic.surface) << pic.error;
    EXPECT_FALSE(pic.warning.empty());
    EXPECT_EQ(pic.surface->Width(), 256);
    EXPECT_LT(MaxChannelDiff(pic.surface->PixelRGB(10, 10), src.At(10, 10)), 40);
  }
}

std::vector<uint8_t> ForeignJpeg(const PixelImage& img, int subsampling, int flags) {
  tjhandle c = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(c, reinterpret_cast<const unsigned char*>(img.pixels.data()), img.width,
                        img.width * 4, img.height, TJPF_BGRX, &out, &size, subsampling, 90, flags),
            0);
  std::vector<uint8_t> jpeg(out, out + size);
  tjFree(out);
  tjDestroy(c);
  return jpeg;
}

TEST(Jpeg, BandsDecodedAloneGiveTheRowsOfTheWholePicture) {
  std::mt19937 rng(11);
  for (auto [w, h] : {std::pair{64, 48}, {37, 29}, {8, 8}, {1, 1}, {300, 17}, {13, 200}}) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    PixelImage src = TestPicture(w, h);
    for (uint32_t& p : src.pixels) p ^= rng() & 0x0F0F0F;  // detail in every block
    const std::vector<uint8_t> jpeg = Encode(src, 90);
    JpegBands bands;
    ASSERT_TRUE(FindJpegBands(jpeg.data(), jpeg.size(), &bands));
    ASSERT_EQ(bands.Count(), (h + 7) / 8);
    PixelImage whole;
    std::string message;
    ASSERT_EQ(DecodeJpegImage(jpeg, &whole, &message), JpegResult::Ok);
    std::vector<std::pair<int, int>> ranges{{0, bands.Count()}};
    for (int k = 0; k < bands.Count(); ++k) ranges.emplace_back(k, k + 1);
    for (int i = 0; i < 5; ++i) {
      const int a = int(rng() % bands.Count());
      ranges.emplace_back(a, a + 1 + int(rng() % (bands.Count() - a)));
    }
    for (auto [first, last] : ranges) {
      std::vector<uint32_t> pixels(size_t(w) * h, 0xABCDEFu);
      ASSERT_EQ(DecodeJpegBands(jpeg.data(), bands, first, last, pixels.data(), w * 4, &message),
                JpegResult::Ok)
          << first << ".." << last << ": " << message;
      for (int y = 0; y < h; ++y) {
        const bool inside = y >= first * 8 && y < last * 8;
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(pixels[size_t(y) * w + x], inside ? whole.At(x, y) : 0xABCDEFu)
              << first << ".." << last << " at " << x << "," << y;
      }
    }
    std::vector<uint32_t> pixels(size_t(w) * h);
    EXPECT_NE(
        DecodeJpegBands(jpeg.data(), bands, 0, bands.Count() + 1, pixels.data(), w * 4, &message),
        JpegResult::Ok);
  }
}

TEST(Jpeg, PicturesWithoutBandsAreToldApart) {
  const PixelImage src = TestPicture(64, 48);
  JpegBands bands;
  EXPECT_FALSE(FindJpegBands(kRedBlueJpeg.data(), kRedBlueJpeg.size(), &bands));
  for (auto [subsampling, flags] :
       {std::pair{TJSAMP_444, 0}, {TJSAMP_420, 0}, {TJSAMP_444, TJFLAG_PROGRESSIVE}}) {
    const std::vector<uint8_t> jpeg = ForeignJpeg(src, subsampling, flags);
    EXPECT_FALSE(FindJpegBands(jpeg.data(), jpeg.size(), &bands)) << subsampling << " " << flags;
  }
  const std::vector<uint8_t> good = Encode(src);
  ASSERT_TRUE(FindJpegBands(good.data(), good.size(), &bands));
  // Cut short, or a restart marker out of turn: no bands.
  std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() * 2 / 3));
  EXPECT_FALSE(FindJpegBands(cut.data(), cut.size(), &bands));
  std::vector<uint8_t> swapped = good;
  for (size_t i = 0; i + 1 < swapped.size(); ++i)
    if (swapped[i] == 0xFF && swapped[i + 1] == 0xD2) swapped[i + 1] = 0xD4;
  EXPECT_FALSE(FindJpegBands(swapped.data(), swapped.size(), &bands));
  // Damage anywhere never makes a band decode read or write outside its buffers.
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> damaged = good;
    for (int i = 0; i < 3; ++i) damaged[rng() % damaged.size()] = uint8_t(rng());
    if (!FindJpegBands(damaged.data(), damaged.size(), &bands)) continue;
    if (bands.width > 64 || bands.height > 48 || bands.Count() > 6) continue;
    std::vector<uint32_t> pixels(size_t(bands.width) * bands.height);
    std::string message;
    for (int k = 0; k < bands.Count(); ++k)
      DecodeJpegBands(damaged.data(), bands, k, k + 1, pixels.data(), bands.width * 4, &message);
  }
}

TEST(Jpeg, UndecodableDataGivesAnErrorAndNoSurface) {
  std::mt19937 rng(7);
  std::vector<uint8_t> noise(5000);
  for (auto& b : noise) b = uint8_t(rng());
  std::vector<uint8_t> headOnly = Encode(TestPicture(32, 32));
  headOnly.resize(20);
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    auto display = make();
    for (const auto& data : {noise, headOnly, std::vector<uint8_t>{}}) {
      DecodedPicture pic = display->DecodeJpeg(data);
      EXPECT_FALSE(pic.surface);
      EXPECT_FALSE(pic.error.empty());
    }
  }
}

TEST(Drawing, StretchCopyIsExactAtOneToOneAndDoublesCleanly) {
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    auto display = make();
    SurfacePtr src = display->CreateSurface(40, 30);
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x)
        display->Fill(*src, Rect{x, y, 1, 1}, Color(x + 256 * y + 65536 * (x ^ y)));
    SurfacePtr dst = display->CreateSurface(40, 30);
    display->StretchCopy(*dst, Rect{7, 2, 20, 10}, *src, Rect{3, 5, 20, 10});
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 20; ++x)
        ASSERT_EQ(dst->PixelRGB(7 + x, 2 + y), src->PixelRGB(3 + x, 5 + y)) << x << "," << y;
    EXPECT_EQ(dst->PixelRGB(6, 2), 0u);
    EXPECT_EQ(dst->PixelRGB(27, 2), 0u);

    // 2 x 2 pixels to 4 x 4: each becomes one quadrant.
    display->StretchCopy(*dst, Rect{0, 20, 4, 4}, *src, Rect{10, 10, 2, 2});
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        EXPECT_EQ(dst->PixelRGB(x, 20 + y), src->PixelRGB(10 + x / 2, 10 + y / 2));

    // Within one surface, overlapping: the source is read as it was before the copy.
    SurfacePtr before = display->CreateSurface(40, 30);
    display->StretchCopy(*before, Rect{0, 0, 40, 30}, *src, Rect{0, 0, 40, 30});
    display->StretchCopy(*src, Rect{1, 0, 20, 1}, *src, Rect{0, 0, 20, 1});
    for (int x = 0; x < 20; ++x) ASSERT_EQ(src->PixelRGB(x + 1, 0), before->PixelRGB(x, 0));

    // Rectangles partly or wholly off the surfaces, or empty: clipped, no crash.
    display->StretchCopy(*dst, Rect{-10, -10, 30, 30}, *src, Rect{-5, -5, 60, 60});
    display->StretchCopy(*dst, Rect{35, 25, -4, 10}, *src, Rect{0, 0, 4, 4});
    display->StretchCopy(*dst, Rect{0, 0, 10, 10}, *src, Rect{100, 100, 10, 10});
  }
}

// The Windows display scales with the shared rule; it must pick the pixels SDL's stretch picks,
// clipping included, or a skin would look different there.
TEST(Drawing, SharedScaledCopyPicksThePixelsSdlPicks) {
  constexpr int kW = 37, kH = 23;
  std::vector<uint32_t> from(kW * kH);
  for (size_t k = 0; k < from.size(); ++k) from[k] = uint32_t(k * 2654435761u) & 0xFFFFFF;
  auto surface = [](uint32_t* pixels) {
    return std::shared_ptr<SDL_Surface>(
        SDL_CreateRGBSurfaceWithFormatFrom(pixels, kW, kH, 32, kW * 4, SDL_PIXELFORMAT_XRGB8888),
        SDL_FreeSurface);
  };
  std::mt19937 random(26);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  for (int run = 0; run < 3000; ++run) {
    const Rect s{pick(-12, 40), pick(-12, 26), pick(1, 50), pick(1, 30)};
    const Rect d{pick(-12, 40), pick(-12, 26), pick(1, 80), pick(1, 50)};
    std::vector<uint32_t> bySdl(kW * kH, 0x123456), shared(kW * kH, 0x123456);
    auto src = surface(from.data()), dst = surface(bySdl.data());
    SDL_Rect sr{s.x, s.y, s.w, s.h}, dr{d.x, d.y, d.w, d.h};
    if (s.w == d.w && s.h == d.h)
      SDL_BlitSurface(src.get(), &sr, dst.get(), &dr);
    else
      SDL_BlitScaled(src.get(), &sr, dst.get(), &dr);
    StretchPixels(PixelRows{from.data(), kW, kH, kW * 4}, s,
                  PixelRows{shared.data(), kW, kH, kW * 4}, d);
    for (size_t k = 0; k < shared.size(); ++k)
      ASSERT_EQ(shared[k] & 0xFFFFFF, bySdl[k] & 0xFFFFFF)
          << "pixel " << k % kW << "," << k / kW << " of " << s.x << "," << s.y << " " << s.w << "x"
          << s.h << " -> " << d.x << "," << d.y << " " << d.w << "x" << d.h;
  }
}

TEST(Drawing, FillAndOutlineClipToTheSurface) {
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    auto display = make();
    SurfacePtr s = display->CreateSurface(20, 20);
    display->Fill(*s, Rect{-5, -5, 10, 10}, 0x0000FF);  // red
    EXPECT_EQ(s->PixelRGB(0, 0), 0xFF0000u);
    EXPECT_EQ(s->PixelRGB(4, 4), 0xFF0000u);
    EXPECT_EQ(s->PixelRGB(5, 5), 0u);
    display->Fill(*s, Rect{10, 10, -3, 5}, 0x00FF00);
    display->Fill(*s, Rect{30, 0, 5, 5}, 0x00FF00);
    EXPECT_EQ(s->PixelRGB(9, 10), 0u);

    display->Outline(*s, Rect{10, 12, 20, 20}, 0xFF0000);  // blue, right and bottom off
    EXPECT_EQ(s->PixelRGB(10, 12), 0x0000FFu);
    EXPECT_EQ(s->PixelRGB(19, 12), 0x0000FFu);
    EXPECT_EQ(s->PixelRGB(10, 19), 0x0000FFu);
    EXPECT_EQ(s->PixelRGB(15, 15), 0u);
    EXPECT_EQ(s->PixelRGB(19, 15), 0u);  // the right edge lies at x = 29
    EXPECT_EQ(s->PixelRGB(0, 13), 0u);   // nothing wraps to the next row

    display->Outline(*s, Rect{2, 8, 3, 3}, 0x00FF00);
    EXPECT_EQ(s->PixelRGB(2, 8), 0x00FF00u);
    EXPECT_EQ(s->PixelRGB(4, 10), 0x00FF00u);
    EXPECT_EQ(s->PixelRGB(3, 9), 0u);
  }
}

TEST(Fonts, RealFacesAreFoundAndDrawn) {
  FontconfigLookup fonts;
  std::string regular = fonts.Find("arial", false, false, nullptr);
  std::string bold = fonts.Find("arial", true, false, nullptr);
  ASSERT_FALSE(regular.empty());
  EXPECT_TRUE(std::filesystem::exists(regular));
  EXPECT_NE(regular, bold);

  SdlDisplay display(LinuxDisplayOptions({.headless = true}));
  FontSpec font{"arial", 12, false, false};
  FontSpec boldFont{"arial", 12, true, false};
  const std::string text = "Quorvin Disk Maintenance";
  TextSize plain = display.MeasureText(font, text);
  EXPECT_GT(plain.w, 100);
  EXPECT_GT(plain.h, 10);
  EXPECT_GT(display.MeasureText(boldFont, text).w, plain.w);
  EXPECT_GT(display.MeasureText(FontSpec{"arial", 24, false, false}, text).w, plain.w * 3 / 2);
  EXPECT_EQ(display.MeasureText(FontSpec{"arial", 0, false, false}, text).w, 0);
  // Answers come again only for the same font and text, however many came between.
  EXPECT_LT(display.MeasureText(font, "Quorvin").w, plain.w);
  for (int i = 0; i < 9; ++i) EXPECT_GT(display.MeasureText(font, std::to_string(i * 111)).w, 0);
  EXPECT_EQ(display.MeasureText(font, text).w, plain.w);
  EXPECT_GT(display.MeasureText(boldFont, text).w, plain.w);

  SurfacePtr s = display.CreateSurface(300, 40);
  display.DrawText(*s, 5, 5, text, FontSpec{"arial", 0, false, false}, 0xFFFFFF);
  display.DrawText(*s, 5, 5, "\xff\xfe\xc3(broken\xe2\x82", font, 0xFFFFFF);
  EXPECT_GT(display.MeasureText(font, "\xff\xfe\xc3(broken\xe2\x82").w, 0);
  s = display.CreateSurface(300, 40);
  display.DrawText(*s, 5, 5, text, font, 0xFFFFFF);
  int lit = 0, outside = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 300; ++x) {
      if (s->PixelRGB(x, y) == 0) continue;
      bool inside = x >= 5 && x < 5 + plain.w && y >= 5 && y < 5 + plain.h;
      (inside ? lit : outside)++;
    }
  }
  EXPECT_GT(lit, 100);
  EXPECT_EQ(outside, 0);
}

TEST(Presentation, ManyPresentsCoalesceAndFlushShowsTheLastChange) {
  PresentationCounts counts;
  SdlDisplay display(LinuxDisplayOptions({.headless = true, .counts = &counts}));
  const Status opened = display.OpenWindow(0, 0, 200, 100, "Quorvin");
  ASSERT_TRUE(opened.ok()) << opened.message();
  SurfacePtr back = display.CreateSurface(200, 100);

  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) {
    display.Fill(*back, Rect{i % 200, (i / 200) * 5, 1, 5}, 0x00FF00);
    display.Present(*back, false);
  }
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  EXPECT_EQ(counts.presents, 2000u);
  EXPECT_GE(counts.uploads, 1u);
  EXPECT_LE(counts.uploads, uint64_t(ms / SdlDisplay::kFrameMs + 2));
  display.Flush();
  EXPECT_EQ(display.WindowPixelRGB(199, 45), 0x00FF00u);

  // A change presented right after an upload waits; Flush brings it to the window.
  bool sawPending = false;
  for (int attempt = 0; attempt < 20 && !sawPending; ++attempt) {
    Color c = Color(0x10 + attempt);
    display.Present(*back, true);
    uint64_t uploads = counts.uploads;
    display.Fill(*back, Rect{150, 80, 4, 4}, c);
    display.Present(*back, false);
    if (counts.uploads != uploads) continue;
    sawPending = true;
    EXPECT_NE(display.WindowPixelRGB(151, 81), uint32_t(c) << 16);
    display.Flush();
    EXPECT_EQ(counts.uploads, uploads + 1);
    EXPECT_EQ(display.WindowPixelRGB(151, 81), uint32_t(c) << 16);
  }
  EXPECT_TRUE(sawPending);

  // Nothing drawn since: nothing to upload.
  uint64_t uploads = counts.uploads;
  display.Present(*back, false);
  display.Flush();
  EXPECT_EQ(counts.uploads, uploads);
}

TEST(Events, DoubleClickOrderTimersAndInjectedPointer) {
  SdlDisplay display(LinuxDisplayOptions({.headless = true}));
  const Status opened = display.OpenWindow(30, 40, 200, 100, "Quorvin");
  ASSERT_TRUE(opened.ok()) << opened.message();
  SdlEvents events(display);
  Event e;
  while (events.PollEvent(&e)) {
  }

  auto push = [](Uint32 type, int clicks) {
    SDL_Event in{};
    in.type = type;
    in.button.button = SDL_BUTTON_LEFT;
    in.button.clicks = Uint8(clicks);
    in.button.x = 12;
    in.button.y = 34;
    SDL_PushEvent(&in);
  };
  push(SDL_MOUSEBUTTONDOWN, 1);
  push(SDL_MOUSEBUTTONUP, 1);
  push(SDL_MOUSEBUTTONDOWN, 2);
  push(SDL_MOUSEBUTTONUP, 2);
  push(SDL_MOUSEBUTTONDOWN, 3);
  std::vector<EventType> seen;
  while (events.PollEvent(&e)) {
    if (e.type == EventType::Repaint) continue;
    seen.push_back(e.type);
    EXPECT_EQ(e.x, 12);
    EXPECT_EQ(e.y, 34);
    EXPECT_EQ(e.button, 1);
  }
  EXPECT_EQ(seen, (std::vector<EventType>{EventType::PointerDown, EventType::PointerUp,
                                          EventType::DoubleClick, EventType::PointerUp,
                                          EventType::PointerDown}));

  // An injected pointer event comes first and puts the remembered cursor on its position.
  Event injected;
  injected.type = EventType::DoubleClick;
  injected.x = 5;
  injected.y = 6;
  events.PushEvent(injected);
  ASSERT_TRUE(events.PollEvent(&e));
  EXPECT_EQ(e.type, EventType::DoubleClick);
  int cx = 0, cy = 0;
  display.CursorPosition(&cx, &cy);
  EXPECT_EQ(cx, 35);
  EXPECT_EQ(cy, 46);

  // A timer that is late ticks once, not once per missed interval.
  events.SetTimer(kClockTimer, 10, true);
  EXPECT_TRUE(events.TimerEnabled(kClockTimer));
  EXPECT_FALSE(events.TimerEnabled(kCpuTimer));
  events.Sleep(80);
  int ticks = 0;
  while (events.PollEvent(&e)) ticks += e.type == EventType::TimerTick && e.timer == kClockTimer;
  EXPECT_EQ(ticks, 1);
  events.WaitEvent(&e);
  EXPECT_EQ(e.type, EventType::TimerTick);
  events.SetTimer(kClockTimer, 10, false);
  events.Sleep(20);
  EXPECT_FALSE(events.PollEvent(&e));
}

TEST(MemoryDisplay, TextMetricAndBlocksAreDeterministic) {
  MemoryDisplay display;
  FontSpec any{"whatever", 31, true, true};
  EXPECT_EQ(display.MeasureText(any, "").w, 0);
  EXPECT_EQ(display.MeasureText(any, "").h, 16);
  EXPECT_EQ(display.MeasureText(any, "abc").w, 24);
  EXPECT_EQ(display.MeasureText(FontSpec{}, "\xc3\xa4\xc3\xb6\xe2\x82\xac").w, 24);  // äö€
  EXPECT_EQ(display
                .MeasureText(any,
                             "a\xff"
                             "b\xe2\x82")
                .w,
            40);  // broken bytes count one each

  SurfacePtr s = display.CreateSurface(40, 30);
  display.DrawText(*s, 10, 5, "a b", any, 0x0000FF);
  EXPECT_EQ(s->PixelRGB(11, 7), 0xFF0000u);
  EXPECT_EQ(s->PixelRGB(16, 18), 0xFF0000u);
  EXPECT_EQ(s->PixelRGB(17, 7), 0u);
  EXPECT_EQ(s->PixelRGB(10, 7), 0u);
  EXPECT_EQ(s->PixelRGB(11, 19), 0u);
  EXPECT_EQ(s->PixelRGB(20, 10), 0u);  // the blank
  EXPECT_EQ(s->PixelRGB(27, 10), 0xFF0000u);

  EXPECT_TRUE(display.OpenWindow(3, 4, 640, 480, "Quorvin").ok());
  int w = 0, h = 0;
  display.DisplaySize(&w, &h);
  EXPECT_EQ(w, 1280);
  EXPECT_EQ(h, 1024);
  display.Present(*s, false);
  display.Present(*s, true);
  EXPECT_EQ(display.PresentCalls(), 2u);

  MemoryEvents events;
  Event e;
  events.WaitEvent(&e);
  EXPECT_EQ(e.type, EventType::Quit);
}

}  // namespace
}  // namespace qv
