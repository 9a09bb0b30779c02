// Figures written and read under the user's locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

#include "LinuxTestProgram.h"
#include "core/Convert.h"
#include "disk/modHDDclean.h"
#include "sysinfo/modSystemInfo.h"

namespace qv::test {
namespace {

// The program takes the user's locale at start for its dates; the figures keep their own forms.
TEST(Figures, KeepTheirFormsInLocalesWithADecimalComma) {
  int tried = 0;
  for (const std::string source : {"de_DE", "fr_FR"}) {
    const ProcessLocale locale(source);
    if (!locale.ok()) continue;
    ++tried;
    ASSERT_STREQ(std::localeconv()->decimal_point, ",") << source;
    double v = 0;
    EXPECT_TRUE(ParseDecimal("10.25", &v) && v == 10.25) << source;
    int16_t i = 0;
    EXPECT_TRUE(ParseInt16("+1024.75", &i) && i == 1025) << source;
    EXPECT_FALSE(ParseDecimal("10,5", &v)) << source;
    EXPECT_EQ(MemoryText(24105.25 * 1048576), "24105.25 MB") << source;
    EXPECT_EQ(DriveSizeText(1536), " 1,5 GB") << source;
    EXPECT_EQ(PlainDecimal(0.1, 2), "0.1") << source;  // the defragmentation percentages
    EXPECT_EQ(JunkSizeText(12.5), "12.5 MB") << source;
  }
  if (tried == 0) GTEST_SKIP() << "no locale with a decimal comma could be compiled (localedef)";
}

}  // namespace
}  // namespace qv::test
