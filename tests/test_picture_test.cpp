#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory/MemoryDisplay.h"
#include "platform/memory/TestPicture.h"

namespace qv {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

TEST(TestPicture, WholeAndCutShortPicturesDecodeOthersFail) {
  const std::vector<uint32_t> pixels{0x102030, 0xFFFFFF, 0x0A0B0C, 0x00FF00, 0xFF0000, 0x000001};
  const std::vector<uint8_t> whole = EncodeTestPicture(3, 2, pixels);
  TestPictureCodec codec;
  int w = 0, h = 0;
  std::string message;
  ASSERT_TRUE(codec.Dimensions(whole.data(), whole.size(), &w, &h, &message));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  // A pitch wider than the row leaves the padding alone.
  std::vector<uint32_t> out(8, 0xDEAD);
  EXPECT_EQ(codec.Decode(whole.data(), whole.size(), out.data(), 16, &message), PictureResult::Ok);
  EXPECT_EQ(out, (std::vector<uint32_t>{0x102030, 0xFFFFFF, 0x0A0B0C, 0xDEAD, 0x00FF00, 0xFF0000,
                                        0x000001, 0xDEAD}));

  // Cut inside the fourth pixel: three come out, the rest is black, old memory or not.
  const std::vector<uint8_t> cut(whole.begin(), whole.end() - 8);
  out.assign(6, 0xDEAD);
  EXPECT_EQ(codec.Check(cut.data(), cut.size(), &message), PictureResult::Partial);
  EXPECT_EQ(codec.Decode(cut.data(), cut.size(), out.data(), 12, &message), PictureResult::Partial);
  EXPECT_EQ(out, (std::vector<uint32_t>{0x102030, 0xFFFFFF, 0x0A0B0C, 0, 0, 0}));
  EXPECT_EQ(message, "picture data ends after 10 of 18 bytes");

  // Comments in the header, and a pixel byte that looks like a blank right after it.
  const std::vector<uint8_t> commented = Bytes("P6 # made by hand\n1\t1 255\n\n\n\n");
  EXPECT_EQ(codec.Decode(commented.data(), commented.size(), out.data(), 4, &message),
            PictureResult::Ok);
  EXPECT_EQ(out[0], 0x0A0A0Au);

  for (const std::string& bad :
       {std::string(), std::string("P3 1 1 255\n000"), std::string("P6 1 1 65535\n\1\2\3\4\5\6"),
        std::string("P6 0 1 255\n"), std::string("P6 1 1 255"), std::string("P6 -1 1 255\n"),
        std::string("P6 99999 99999 255\n"), std::string("P6 99999999999999999999 1 255\n")}) {
    const std::vector<uint8_t> data = Bytes(bad);
    message.clear();
    EXPECT_FALSE(codec.Dimensions(data.data(), data.size(), &w, &h, &message)) << bad;
    EXPECT_EQ(codec.Decode(data.data(), data.size(), out.data(), 4, &message),
              PictureResult::Failed)
        << bad;
    EXPECT_FALSE(message.empty()) << bad;
  }
}

TEST(TestPicture, MemoryDisplayReadsItWithoutACodec) {
  MemoryDisplay display;
  const std::vector<uint8_t> whole = EncodeTestPicture(2, 2, {0x112233, 0x445566, 0x778899, 1});
  DecodedPicture ok = display.DecodeJpeg(whole);
  ASSERT_TRUE(ok.surface);
  EXPECT_TRUE(ok.warning.empty());
  EXPECT_EQ(ok.surface->PixelRGB(1, 0), 0x445566u);
  EXPECT_EQ(ok.surface->PixelRGB(0, 1), 0x778899u);

  DecodedPicture partial = display.DecodeJpeg({whole.begin(), whole.end() - 3});
  ASSERT_TRUE(partial.surface);
  EXPECT_FALSE(partial.warning.empty());
  EXPECT_EQ(partial.surface->PixelRGB(0, 1), 0x778899u);
  EXPECT_EQ(partial.surface->PixelRGB(1, 1), 0u);

  DecodedPicture failed = display.DecodeJpeg(Bytes("\xFF\xD8\xFF\xE0 not ours"));
  EXPECT_FALSE(failed.surface);
  EXPECT_FALSE(failed.error.empty());
}

}  // namespace
}  // namespace qv
