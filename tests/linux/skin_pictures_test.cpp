// Several pictures decoded in one call (the SDL display decodes ahead on worker threads), and
// start-up loading the skin that way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <thread>
#include <utility>

#include "LinuxTestProgram.h"
#include "app/linux/LinuxPlatform.h"
#include "platform/common/PictureDecoder.h"
#include "platform/linux/JpegCodec.h"
#include "platform/linux/JpegPictureCodec.h"
#include "platform/linux/PictureCheckFile.h"
#include "platform/memory/MemoryDisplay.h"
#include "platform/sdl/SdlDisplay.h"
#include "screens/modScreens.h"
#include "shell/modDeclares.h"

namespace qv::test {
namespace {

// Sizes differ so that a picture handed out under another index shows; the large ones come
// first so that workers finish later pictures before earlier ones.
std::vector<std::vector<uint8_t>> Pictures(size_t count) {
  std::vector<std::vector<uint8_t>> out;
  for (size_t k = 0; k < count; ++k) {
    PixelImage img;
    img.width = k < 3 ? 700 - 40 * int(k) : 17 + 9 * int(k);
    img.height = k < 3 ? 500 : 8 + 3 * int(k);
    for (int y = 0; y < img.height; ++y)
      for (int x = 0; x < img.width; ++x)
        img.pixels.push_back(uint32_t(x * 255 / img.width) << 16 | uint32_t(y % 256) << 8 |
                             uint32_t(k * 40 % 256));
    out.emplace_back();
    std::string error;
    EXPECT_TRUE(EncodeJpeg(img, 90, &out.back(), &error)) << error;
  }
  return out;
}

size_t ThreadsOfThisProcess() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

std::vector<std::pair<const char*, std::function<std::unique_ptr<Display>()>>> Displays() {
  return {
      {"sdl", [] { return std::make_unique<SdlDisplay>(LinuxDisplayOptions({.headless = true})); }},
      {"memory",
       [] { return std::make_unique<MemoryDisplay>(std::make_shared<JpegPictureCodec>()); }}};
}

TEST(PictureBatch, EachPictureComesOnceInOrderAsDecodeJpegGivesIt) {
  std::vector<std::vector<uint8_t>> data = Pictures(9);
  data[4].resize(data[4].size() * 6 / 10);     // truncated: a picture and a warning
  data[6] = std::vector<uint8_t>(3000, 0x5A);  // no picture at all
  data[7].clear();
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    auto display = make();
    const auto caller = std::this_thread::get_id();
    std::vector<size_t> order;
    display->DecodeJpegs(data, [&](size_t k, DecodedPicture pic) {
      order.push_back(k);
      EXPECT_EQ(std::this_thread::get_id(), caller);
      // Called again from inside, as handlers that run during a yield may.
      const DecodedPicture single = display->DecodeJpeg(data[k]);
      EXPECT_EQ(pic.warning, single.warning) << k;
      EXPECT_EQ(pic.error, single.error) << k;
      PixelImage expected;
      std::string message;
      if (DecodeJpegImage(data[k], &expected, &message) == JpegResult::Failed) {
        EXPECT_FALSE(pic.surface) << k;
        EXPECT_FALSE(pic.error.empty()) << k;
        return;
      }
      ASSERT_TRUE(pic.surface) << k << pic.error;
      EXPECT_EQ(pic.warning.empty(), k != 4);
      ASSERT_EQ(pic.surface->Width(), expected.width) << k;
      ASSERT_EQ(pic.surface->Height(), expected.height) << k;
      for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
          ASSERT_EQ(pic.surface->PixelRGB(x, y) & 0xFFFFFF, expected.At(x, y) & 0xFFFFFF) << k;
    });
    EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
  }
}

TEST(PictureBatch, PixelsMadeWhenFirstDrawnAreTheDecodedOnes) {
  // The SDL display checks a picture's data at once and makes its pixels when first needed:
  // by then the caller's data is gone, and the first use is a copy, not a pixel read.
  std::vector<std::vector<uint8_t>> data = Pictures(4);
  data[1].resize(data[1].size() * 7 / 10);
  std::vector<PixelImage> expected(data.size());
  for (size_t k = 0; k < data.size(); ++k) {
    std::string message;
    ASSERT_NE(DecodeJpegImage(data[k], &expected[k], &message), JpegResult::Failed);
  }
  SdlDisplay display(LinuxDisplayOptions({.headless = true}));
  std::vector<SurfacePtr> pictures;
  {
    const std::vector<std::vector<uint8_t>> gone = data;
    display.DecodeJpegs(gone, [&](size_t k, DecodedPicture pic) {
      EXPECT_EQ(pic.warning.empty(), k != 1) << k;
      pictures.push_back(pic.surface);
    });
    pictures.push_back(display.DecodeJpeg(gone[3]).surface);
  }
  expected.push_back(expected[3]);
  ASSERT_EQ(pictures.size(), expected.size());
  for (size_t k = 0; k < pictures.size(); ++k) {
    SCOPED_TRACE(k);
    ASSERT_TRUE(pictures[k]);
    const int w = expected[k].width, h = expected[k].height;
    ASSERT_EQ(pictures[k]->Width(), w);
    SurfacePtr target = display.CreateSurface(w, h);
    display.StretchCopy(*target, Rect{0, 0, w, h}, *pictures[k], Rect{0, 0, w, h});
    pictures[k].reset();
    for (int y = 0; y < h; y += 7)
      for (int x = 0; x < w; x += 5)
        ASSERT_EQ(target->PixelRGB(x, y) & 0xFFFFFF, expected[k].At(x, y) & 0xFFFFFF);
  }
}

TEST(PictureBatch, APictureUsedInPartsIsMadeInPartsWithTheWholesPixels) {
  PixelImage img;
  img.width = 200;
  img.height = 300;
  std::mt19937 rng(3);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      img.pixels.push_back(uint32_t(x) << 16 | uint32_t(y % 256) << 8 | (rng() & 0x3F));
  std::vector<uint8_t> jpeg;
  std::string error;
  ASSERT_TRUE(EncodeJpeg(img, 90, &jpeg, &error)) << error;
  PixelImage whole;
  ASSERT_EQ(DecodeJpegImage(jpeg, &whole, &error), JpegResult::Ok);
  std::vector<uint8_t> damaged = jpeg;
  damaged.resize(damaged.size() * 8 / 10);

  SdlDisplay display(LinuxDisplayOptions({.headless = true}));
  SurfacePtr picture = display.DecodeJpeg(jpeg).surface;
  SurfacePtr plain = display.DecodeJpeg(damaged).surface;
  ASSERT_TRUE(picture && plain);
  const auto* parts = dynamic_cast<const SdlSurface*>(picture.get());
  const auto* once = dynamic_cast<const SdlSurface*>(plain.get());
  ASSERT_TRUE(parts && once);
  EXPECT_EQ(parts->MadeRows(), 0);
  SurfacePtr target = display.CreateSurface(400, 600);
  auto expectCopied = [&](const Rect& from, const Rect& to) {
    display.StretchCopy(*target, to, *picture, from);
    for (int y = to.y; y < to.y + to.h; ++y)
      for (int x = to.x; x < to.x + to.w; ++x) {
        const int sx = from.x + (x - to.x) * from.w / to.w,
                  sy = from.y + (y - to.y) * from.h / to.h;
        ASSERT_EQ(target->PixelRGB(x, y) & 0xFFFFFF, whole.At(sx, sy) & 0xFFFFFF)
            << x << "," << y << " from " << sx << "," << sy;
      }
  };
  // A button's worth of rows: only the bands around it are made.
  expectCopied(Rect{30, 100, 50, 20}, Rect{30, 100, 50, 20});
  EXPECT_GT(parts->MadeRows(), 0);
  EXPECT_LE(parts->MadeRows(), 40);
  expectCopied(Rect{0, 290, 200, 10}, Rect{0, 0, 400, 20});    // stretched, the last rows
  expectCopied(Rect{10, 95, 40, 30}, Rect{200, 300, 40, 30});  // partly made already
  EXPECT_LT(parts->MadeRows(), 100);
  for (int y = 0; y < whole.height; ++y)
    for (int x = 0; x < whole.width; ++x)
      ASSERT_EQ(picture->PixelRGB(x, y) & 0xFFFFFF, whole.At(x, y) & 0xFFFFFF) << x << "," << y;
  EXPECT_EQ(parts->MadeRows(), whole.height);
  // A damaged picture is made whole at its first use.
  display.StretchCopy(*target, Rect{0, 0, 10, 10}, *plain, Rect{0, 0, 10, 10});
  EXPECT_EQ(once->MadeRows(), whole.height);
}

TEST(PictureBatch, WhatADamagedFileLeavesOutIsBlack) {
  // Find a damaged picture the decoder accepts with a warning but stops writing part-way.
  std::mt19937 rnd(7);
  std::vector<uint8_t> damaged;
  int w = 0, h = 0;
  for (int v = 0; v < 6 && damaged.empty(); ++v) {
    const int pw = 97 + v * 31, ph = 61 + v * 17;
    std::vector<uint8_t> rgb(size_t(pw) * ph * 3);
    for (uint8_t& b : rgb) b = uint8_t(rnd());
    tjhandle c = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(c, rgb.data(), pw, 0, ph, TJPF_RGB, &out, &size, v % 3, 80,
                          (v & 1) ? TJFLAG_PROGRESSIVE : 0),
              0);
    const std::vector<uint8_t> jpeg(out, out + size);
    tjFree(out);
    tjDestroy(c);
    for (int t = 0; t < 400 && damaged.empty(); ++t) {
      std::vector<uint8_t> d = jpeg;
      if (t % 2)
        d.resize(d.size() * (rnd() % 1000) / 1000 + 1);
      else
        for (int i = 0; i < 4; ++i) d[rnd() % d.size()] ^= uint8_t(rnd());
      std::string message;
      if (!JpegDimensions(d.data(), d.size(), &w, &h, &message)) continue;
      std::vector<uint32_t> px(size_t(w) * h, 0x00ABCDEFu);
      if (DecodeJpegPixels(d.data(), d.size(), px.data(), w * 4, &message) == JpegResult::Partial &&
          std::count(px.begin(), px.end(), 0x00ABCDEFu) > 0)
        damaged = d;
    }
  }
  ASSERT_FALSE(damaged.empty());
  std::vector<uint32_t> onBlack(size_t(w) * h, 0);
  std::string message;
  DecodeJpegPixels(damaged.data(), damaged.size(), onBlack.data(), w * 4, &message);
  for (int round = 0; round < 3; ++round) {
    {
      // Memory just given back is what the next picture of the size is likely to get.
      std::vector<uint32_t> old(size_t(w) * h, 0x00FF00FFu);
      EXPECT_EQ(old[size_t(w) * h / 2], 0x00FF00FFu);
    }
    const DecodedPixels got = DecodePixels(JpegPictureCodec(), damaged);
    ASSERT_EQ(got.result, JpegResult::Partial);
    ASSERT_TRUE(got.pixels);
    for (size_t k = 0; k < onBlack.size(); ++k) ASSERT_EQ(got.pixels[k], onBlack[k]) << k;
  }
}

TEST(PictureBatch, AThrowingCallbackEndsTheBatchAndTheDisplayStaysUsable) {
  struct Stop {};  // like the program's exit, no std::exception
  const std::vector<std::vector<uint8_t>> data = Pictures(12);
  for (auto& [name, make] : Displays()) {
    SCOPED_TRACE(name);
    auto display = make();
    // The SDL display reads the font configuration on a thread of its own until first asked.
    display->MeasureText(FontSpec{"arial", 12, false, false}, "x");
    const size_t threads = ThreadsOfThisProcess();
    for (size_t last : {size_t(0), size_t(2), data.size() - 1}) {
      std::vector<SurfacePtr> kept;
      EXPECT_THROW(display->DecodeJpegs(data,
                                        [&](size_t k, DecodedPicture pic) {
                                          kept.push_back(pic.surface);
                                          if (k == last) throw Stop{};
                                        }),
                   Stop);
      EXPECT_EQ(kept.size(), last + 1);
      EXPECT_EQ(ThreadsOfThisProcess(), threads);
      // What was handed out lives on without the batch.
      for (size_t k = 0; k < kept.size(); ++k) {
        ASSERT_TRUE(kept[k]);
        EXPECT_NEAR(int(kept[k]->PixelRGB(5, 5) & 0xFF), int(k * 40 % 256), 12) << k;
      }
    }
    size_t calls = 0;
    display->DecodeJpegs(data,
                         [&](size_t, DecodedPicture pic) { calls += pic.surface != nullptr; });
    EXPECT_EQ(calls, data.size());
    display->DecodeJpegs({}, [&](size_t, DecodedPicture) { ADD_FAILURE(); });
  }
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What one batch of the SDL display reports of each picture: its warning or error, and its size.
std::vector<std::string> Outcomes(SdlDisplay& display,
                                  const std::vector<std::vector<uint8_t>>& data) {
  std::vector<std::string> out;
  display.DecodeJpegs(data, [&](size_t, DecodedPicture pic) {
    out.push_back(pic.surface ? std::to_string(pic.surface->Width()) + "x" +
                                    std::to_string(pic.surface->Height()) + " " + pic.warning
                              : "error " + pic.error);
  });
  return out;
}

TEST(PictureBatch, OnlyPicturesFoundIntactAreRememberedAndTrustedLater) {
  std::string made = (std::filesystem::temp_directory_path() / "qv-checked-XXXXXX").string();
  ASSERT_TRUE(mkdtemp(made.data()));
  const std::filesystem::path folder = made;
  const std::string file = (folder / "cache" / "intact-pictures").string();
  std::vector<std::vector<uint8_t>> data = Pictures(4);
  data[2].resize(data[2].size() * 6 / 10);     // damaged: a picture and a warning
  data[3] = std::vector<uint8_t>(3000, 0x5A);  // no picture at all
  SdlDisplay plain(LinuxDisplayOptions({.headless = true}));
  const std::vector<std::string> truth = Outcomes(plain, data);
  ASSERT_FALSE(truth[2].ends_with(" "));
  ASSERT_TRUE(truth[3].starts_with("error"));

  SdlDisplay first(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  EXPECT_EQ(Outcomes(first, data), truth);
  {
    PictureCheckCache cache = PictureCheckCacheIn(file);
    for (size_t k = 0; k < data.size(); ++k)
      EXPECT_EQ(cache.Intact(PictureCheckCache::KeyOf(data[k])), k < 2) << k;
  }
  // The next start gives the same answers, and the same pixels when drawn.
  SdlDisplay second(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  EXPECT_EQ(Outcomes(second, data), truth);
  std::vector<SurfacePtr> drawn;
  second.DecodeJpegs(data, [&](size_t, DecodedPicture pic) { drawn.push_back(pic.surface); });
  PixelImage expected;
  std::string message;
  ASSERT_EQ(DecodeJpegImage(data[1], &expected, &message), JpegResult::Ok);
  for (int y = 0; y < expected.height; y += 3)
    for (int x = 0; x < expected.width; x += 3)
      ASSERT_EQ(drawn[1]->PixelRGB(x, y) & 0xFFFFFF, expected.At(x, y) & 0xFFFFFF);

  // A remembered picture whose bytes changed is checked again.
  std::vector<std::vector<uint8_t>> changed = {data[0]};
  changed[0].resize(changed[0].size() * 6 / 10);
  EXPECT_EQ(Outcomes(second, changed), Outcomes(plain, changed));
  EXPECT_FALSE(Outcomes(plain, changed)[0].ends_with(" "));

  // Trust is by the bytes alone: a damaged picture put into the cache by hand is not checked.
  {
    PictureCheckCache cache = PictureCheckCacheIn(file);
    cache.Add(PictureCheckCache::KeyOf(data[2]));
    ASSERT_TRUE(cache.Save());
  }
  SdlDisplay trusting(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  std::vector<std::string> trusted = truth;
  trusted[2] = truth[2].substr(0, truth[2].find(' ') + 1);
  EXPECT_EQ(Outcomes(trusting, data), trusted);
  // One picture at a time, the same.
  EXPECT_TRUE(trusting.DecodeJpeg(data[2]).warning.empty());
  EXPECT_FALSE(plain.DecodeJpeg(data[2]).warning.empty());
  const std::string singleFile = (folder / "single").string();
  SdlDisplay single(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(singleFile)}));
  for (size_t k = 0; k < data.size(); ++k) {
    const DecodedPicture pic = single.DecodeJpeg(data[k]);
    EXPECT_EQ(pic.warning.empty() && pic.error.empty(), k < 2) << k;
    EXPECT_EQ(PictureCheckCacheIn(singleFile).Intact(PictureCheckCache::KeyOf(data[k])), k < 2)
        << k;
  }

  // A list made by another checker or of another kind is read as empty, then replaced.
  const std::string data2Key = [&] {
    char hex[40];
    const PictureCheckCache::Key k = PictureCheckCache::KeyOf(data[2]);
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(k[0]),
                  static_cast<unsigned long long>(k[1]));
    return std::string(hex);
  }();
  for (const char* header : {"something else", "quorvin intact pictures 2, check 0"}) {
    { std::ofstream(file) << header << "\n" << data2Key << "\n"; }
    SdlDisplay other(
        LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
    EXPECT_EQ(Outcomes(other, data), truth) << header;
    EXPECT_TRUE(PictureCheckCacheIn(file).Intact(PictureCheckCache::KeyOf(data[0])));
    EXPECT_FALSE(PictureCheckCacheIn(file).Intact(PictureCheckCache::KeyOf(data[2])));
  }
  // Only a list in a folder of this user's alone counts, and only a plain file; whatever lies
  // there, start-up goes on with the same answers.
  {
    PictureCheckCache cache = PictureCheckCacheIn(file);
    cache.Add(PictureCheckCache::KeyOf(data[2]));
    ASSERT_TRUE(cache.Save());
  }
  const std::filesystem::path cacheFolder = folder / "cache";
  chmod(cacheFolder.c_str(), 0777);
  EXPECT_FALSE(PictureCheckCacheIn(file).Intact(PictureCheckCache::KeyOf(data[0])));
  SdlDisplay shared(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  EXPECT_EQ(Outcomes(shared, data), truth);
  chmod(cacheFolder.c_str(), 0700);
  const std::string victim = (folder / "victim").string();
  { std::ofstream(victim) << "keep me"; }
  std::filesystem::remove(file);
  std::filesystem::create_symlink(victim, file);
  SdlDisplay linked(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  EXPECT_EQ(Outcomes(linked, data), truth);
  EXPECT_EQ(ReadText(victim), "keep me");
  EXPECT_FALSE(std::filesystem::is_symlink(file));  // replaced by the list, not written through
  std::filesystem::remove(file);
  ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
  SdlDisplay piped(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  EXPECT_EQ(Outcomes(piped, data), truth);
  std::filesystem::remove(file);
  {
    PictureCheckCache cache = PictureCheckCacheIn(file);
    cache.Add(PictureCheckCache::KeyOf(data[0]));
    ASSERT_TRUE(cache.Save());
  }
  EXPECT_TRUE(PictureCheckCacheIn(file).Intact(PictureCheckCache::KeyOf(data[0])));
  { std::ofstream(file, std::ios::app) << std::string(1 << 20, '\n'); }  // far too long
  EXPECT_FALSE(PictureCheckCacheIn(file).Intact(PictureCheckCache::KeyOf(data[0])));
  std::filesystem::remove_all(folder);
  { std::ofstream(folder.string()) << "a file where the folder should be"; }
  SdlDisplay unwritable(
      LinuxDisplayOptions({.headless = true, .pictureChecks = PictureCheckStoreIn(file)}));
  EXPECT_EQ(Outcomes(unwritable, data), truth);
  std::filesystem::remove_all(folder);
}

TEST(PictureDecoder, AnyNumberOfWorkersGivesTheSameBuffers) {
  const std::vector<std::vector<uint8_t>> data = Pictures(5);
  for (unsigned threads : {0u, 1u, 3u, 40u}) {
    size_t next = 0;
    DecodeInOrder(JpegPictureCodec(), data, threads, [&](size_t k, DecodedPixels got) {
      ASSERT_EQ(k, next++);
      const DecodedPixels want = DecodePixels(JpegPictureCodec(), data[k]);
      ASSERT_EQ(got.result, JpegResult::Ok);
      ASSERT_EQ(got.width, want.width);
      ASSERT_EQ(got.height, want.height);
      EXPECT_EQ(
          std::memcmp(got.pixels.get(), want.pixels.get(), size_t(want.width) * want.height * 4), 0)
          << threads << " threads, picture " << k;
    });
    EXPECT_EQ(next, data.size());
  }
}

// Start-up on the SDL display, where the pictures are decoded on worker threads.
class SdlStartUp : public ::testing::Test {
 protected:
  SdlStartUp()
      : processes(app.files()),
        program(
            Platform{display, events, app.files(), diag, processes, app.system(), app.clock()}) {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen"});
  }
  LinuxTestApp app;
  SdlDisplay display{LinuxDisplayOptions({.headless = true})};
  MemoryEvents events;
  RecordingDiagnostics diag;
  PosixProcesses processes;
  Program program;
};

TEST_F(SdlStartUp, EveryPictureLandsUnderItsNameAndProblemsAreReportedInTurn) {
  const std::map<std::string, uint32_t> colours = {
      {"Loading_enabled", kEnabledRgb},    {"Loading_active", kActiveRgb},
      {"Mainscreen_enabled", kEnabledRgb}, {"Mainscreen_disabled", kDisabledRgb},
      {"Other_enabled", 0x10E010},         {"Other_active", 0xE010E0},
      {"Third_enabled", 0x3030D0},         {"Third_disabled", 0x30D0D0},
  };
  for (const auto& [name, rgb] : colours) app.WritePicture("Skin/" + name + ".jpg", 1024, 768, rgb);
  std::ifstream in(app.AppPath("Skin/Mainscreen_active.jpg"), std::ios::binary);
  std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  app.WriteFile("Skin/Mainscreen_active.jpg", jpeg.substr(0, jpeg.size() / 2));
  app.WriteFile("Skin/broken_enabled.jpg", "this is no picture");
  std::filesystem::create_symlink("nowhere.jpg", app.AppPath("Skin/ghost_enabled.jpg"));
  std::vector<int> seen;
  program.onYield = [&](Program& p) {
    if (!p.tables.StatusBars.empty()) seen.push_back(p.tables.StatusBars[0].Percent);
  };
  app.WriteLayout("loading",
                  "[0]\nType=statusbar\nCommand0=loading;status\nPosition=700;100;800;30\n"
                  "Font=arial;10;0;0;255|255|255;2\n");

  ASSERT_TRUE(StartUp(program)) << ::testing::PrintToString(diag.lines);
  const std::vector<SkinImage>& images = program.skin.SkinImages;
  ASSERT_EQ(images.size(), 11u);
  std::vector<std::string> problems;
  size_t coloured = 0;
  for (const SkinImage& i : images) {
    SCOPED_TRACE(i.name);
    if (i.name == "Mainscreen_active" || i.name == "broken_enabled" || i.name == "ghost_enabled")
      problems.push_back(i.name);
    if (i.name == "broken_enabled" || i.name == "ghost_enabled") {
      EXPECT_FALSE(i.surface);
    } else {
      ASSERT_TRUE(i.surface);
      if (colours.count(i.name)) {
        EXPECT_TRUE(Near(i.surface->PixelRGB(512, 384), colours.at(i.name)));
        ++coloured;
      }
    }
  }
  EXPECT_EQ(coloured, colours.size());
  ASSERT_EQ(diag.lines.size(), 3u) << ::testing::PrintToString(diag.lines);
  for (size_t j = 0; j < 3; ++j) EXPECT_NE(diag.lines[j].find(problems[j]), std::string::npos);
  EXPECT_TRUE(diag.Mentions("damaged"));
  EXPECT_TRUE(diag.Mentions("cannot read the picture"));
  EXPECT_TRUE(diag.Mentions("cannot decode the picture"));
  // The yield before picture k sees the value of picture k - 1.
  EXPECT_EQ(seen, (std::vector<int>{0, 0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
}

TEST_F(SdlStartUp, AnExitWhileLoadingEndsStartUpAndLeavesNoThreadBehind) {
  const Status video = display.StartVideo();
  ASSERT_TRUE(video.ok()) << video.message();
  // Once asked, the font configuration's own thread is gone.
  display.MeasureText(FontSpec{"arial", 12, false, false}, "x");
  const size_t threads = ThreadsOfThisProcess();
  int yields = 0;
  // The first yield is the loading screen's; the fourth comes before picture 2.
  program.onYield = [&](Program&) {
    if (++yields == 4) throw ProgramExit{7};
  };
  EXPECT_EQ(RunProgram(program), 7);
  EXPECT_EQ(ThreadsOfThisProcess(), threads);
  EXPECT_FALSE(program.skin.SkinImages[1].name.empty());
  EXPECT_TRUE(program.skin.SkinImages[2].name.empty());
  EXPECT_EQ(program.skin.CurrentScreen, "");
}

// Sides a JPEG may have and the tests' own picture format refuses.
TEST(StartUp, RefusesALoadingPictureThatGivesNoDesignSize) {
  for (const auto& [w, h] : {std::pair{65500, 1}, std::pair{1, 1}, std::pair{20000, 20}}) {
    LinuxTestApp app;
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen"});
    app.WritePicture("Skin/Loading_enabled.jpg", w, h, 0x336699);
    EXPECT_FALSE(app.Start()) << w << " x " << h;
    EXPECT_TRUE(app.diag().Mentions("no usable design size"))
        << ::testing::PrintToString(app.diag().lines);
  }
}

// Needs the real codec: a cut JPEG is a damaged picture, not an unreadable one.
TEST(StartUp, DamagedPicturesAndStrayFilesDoNotStopIt) {
  LinuxTestApp app;
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen"});
  std::ifstream in(app.AppPath("Skin/Mainscreen_active.jpg"), std::ios::binary);
  std::string jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  app.WriteFile("Skin/Mainscreen_active.jpg", jpeg.substr(0, jpeg.size() / 2));
  app.WriteFile("Skin/broken_enabled.JPG", "this is no picture");
  app.WriteFile("Skin/readme.txt", "not a picture");
  app.WriteFile("Skin/sub/Other_enabled.jpg", jpeg);
  ASSERT_TRUE(app.Start());
  Program& p = app.program();
  // The damaged file still counts; the text file and the subfolder do not.
  EXPECT_EQ(p.skin.SkinImages.size(), 6u);
  EXPECT_TRUE(app.diag().Mentions("damaged"));
  EXPECT_TRUE(app.diag().Mentions("broken_enabled.JPG"));
  bool truncatedKept = false;
  for (const SkinImage& i : p.skin.SkinImages)
    if (i.name == "Mainscreen_active") truncatedKept = i.surface != nullptr;
  EXPECT_TRUE(truncatedKept);
  // A screen whose only picture is undecodable keeps the previous pictures.
  ShowScreen(p, "broken");
  EXPECT_TRUE(Near(app.Pixel(10, 10), kEnabledRgb));
}

}  // namespace
}  // namespace qv::test
