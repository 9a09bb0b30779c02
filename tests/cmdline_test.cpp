// The Windows command-line rules that the defragmenter's start and the processes share.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/common/WindowsCommandLine.h"

namespace qv {
namespace {

TEST(CommandLine, SplitsByTheWindowsRules) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  } cases[] = {
      {R"(prog a b  c)", {"prog", "a", "b", "c"}},
      {R"("C:\Program Files\x.exe" -q)", {R"(C:\Program Files\x.exe)", "-q"}},
      {R"(C:\Program Files\x.exe)", {R"(C:\Program)", R"(Files\x.exe)"}},
      {R"("C:\dir\"x y)", {R"(C:\dir\)", "x", "y"}},
      {R"(p "a b c" d)", {"p", "a b c", "d"}},
      {R"(p "ab\"c" "\\" d)", {"p", R"(ab"c)", R"(\)", "d"}},
      {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
      {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
      {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
      {R"(p "" x)", {"p", "", "x"}},
      {R"(p "a""b c")", {"p", R"(a"b)", "c"}},
      {"  \t ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitWindowsCommandLine(c.line), c.args) << c.line;
}

TEST(CommandLine, QuotedArgumentsComeBackByteForByte) {
  const std::string program = R"(C:\my apps\Tools\Defrag.exe)";
  for (const std::string arg :
       {"", "plain", R"(D:\"lead)", R"(D:\mid"dle)", R"(D:\end")", R"(D:\trail\)", R"(D:\two\\)",
        R"(x\\\"y)", R"(a" "C:\other)", "\"\"\"", "-q", " \t blanks \t", "D:\\\xc3\xa4\\\"\\"}) {
    const std::vector<std::string> args =
        SplitWindowsCommandLine(QuoteProgramPath(program) + " " + QuoteArgument(arg) + " -q");
    EXPECT_EQ(args, (std::vector<std::string>{program, arg, "-q"})) << arg;
  }
  // A program path cannot carry a quote in this form at all.
  EXPECT_EQ(QuoteProgramPath(R"(C:\a"b\x.exe)"), "");
}

}  // namespace
}  // namespace qv
