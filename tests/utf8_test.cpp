// The one UTF-8 decoder, which the profile reader, both displays and the probe's JSON share.
#include "platform/common/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

TEST(Utf8, TakesWellFormedSequencesAndRefusesEveryMalformedKind) {
  std::vector<uint32_t> cps;
  EXPECT_TRUE(DecodeUtf8("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80", &cps));
  EXPECT_EQ(cps, (std::vector<uint32_t>{'a', 0xE4, 0x20AC, 0x1F600}));
  EXPECT_TRUE(DecodeUtf8("\xF4\x8F\xBF\xBF", &cps));  // U+10FFFF, the last one
  for (const std::string bad :
       {"\x80", "\xC3", "\xE2\x82", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80",
        "\xF4\x90\x80\x80", "\xF8\x88", "\xC3\x28"})
    EXPECT_FALSE(DecodeUtf8("ok" + bad, &cps)) << bad;
  // A cut-off sequence at the very end is not read past the text.
  const std::string cut = "\xF0\x9F\x98";
  EXPECT_EQ(Utf8Sequence(std::string_view(cut).substr(0, 2), 0), 0u);
  uint32_t cp = 0;
  EXPECT_EQ(Utf8Sequence("x\xE2\x82\xAC", 1, &cp), 3u);
  EXPECT_EQ(cp, 0x20ACu);
}

}  // namespace
}  // namespace qv
