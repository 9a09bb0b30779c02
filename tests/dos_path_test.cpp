#include <gtest/gtest.h>

#include "platform/common/DosPath.h"
#include "platform/common/DriveLetters.h"

namespace qv {
namespace {

std::vector<std::string> Names(const std::string& dos) {
  const std::optional<DosPath> path = SplitDosPath(dos);
  return path ? path->names : std::vector<std::string>{"<none>"};
}

TEST(DosPath, SplitsWithEitherSeparatorAndNeverLeavesItsDrive) {
  const std::optional<DosPath> path = SplitDosPath(R"(d:\Music/Rock\\x.mp3\)");
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(path->letter, 'D');
  EXPECT_EQ(path->names, (std::vector<std::string>{"Music", "Rock", "x.mp3"}));
  EXPECT_TRUE(path->trailingSeparator);
  EXPECT_EQ(Names(R"(C:\a\.\b\..\..\..\c)"), std::vector<std::string>{"c"});
  EXPECT_EQ(Names("C:"), std::vector<std::string>{});
  EXPECT_FALSE(SplitDosPath("C:")->trailingSeparator);
  for (const char* notOnADrive : {"", "C", R"(\a\b)", "1:\\", "\xC3\x84:\\", "ab:\\"})
    EXPECT_FALSE(SplitDosPath(notOnADrive).has_value()) << notOnADrive;
}

TEST(DosPath, HostNamesTheDosFormCannotHoldTravelInPrivateUseForm) {
  const std::string backslash = "\xEF\x81\x9C", dot = "\xEF\x80\xAE", blank = "\xEF\x80\xA0";
  EXPECT_EQ(MapHostName("a\\b.tmp"), "a" + backslash + "b.tmp");
  EXPECT_EQ(MapHostName("dot.tmp."), "dot.tmp" + dot);
  EXPECT_EQ(MapHostName("blank.log "), "blank.log" + blank);
  EXPECT_EQ(MapHostName("x. ."), "x" + dot + blank + dot);
  EXPECT_EQ(MapHostName("in.ner name"), "in.ner name");
  for (const std::string host : {"a\\b.tmp", "dot.tmp.", "blank.log ", "...", "x. .", "plain"})
    EXPECT_EQ(UnmapDosName(MapHostName(host)), host);
  // A private-use dot that does not end the name is a character like any other.
  EXPECT_EQ(UnmapDosName(dot + "x"), dot + "x");
  // Split and join take the same forms: the explorer's names lead back to the host's.
  EXPECT_EQ(Names("C:\\odd\\dot.tmp" + dot), (std::vector<std::string>{"odd", "dot.tmp."}));
  EXPECT_EQ(JoinDosPath('c', {"odd", "a\\b.tmp"}), "C:\\odd\\a" + backslash + "b.tmp");
  EXPECT_EQ(JoinDosPath('C', {}), "C:\\");
}

TEST(DriveLetters, OneDrivePerLetterAndTheDeepestFolderHoldsAPath) {
  const std::vector<DriveMapping> drives = OneMappingPerLetter({{'e', "/media/e", ""},
                                                                {'C', "/", ""},
                                                                {'E', "/other", ""},
                                                                {'1', "/x", ""},
                                                                {'D', "/media", ""}});
  ASSERT_EQ(drives.size(), 3u);
  EXPECT_EQ(std::string({drives[0].letter, drives[1].letter, drives[2].letter}), "CDE");
  EXPECT_EQ(drives[2].hostFolder, "/media/e");  // the first mapping of a letter wins
  EXPECT_EQ(DeepestDriveHolding(drives, "/media/e/a", '/'), 2u);
  EXPECT_EQ(DeepestDriveHolding(drives, "/media/ee", '/'), 1u);  // a name that only starts alike
  EXPECT_EQ(DeepestDriveHolding(drives, "/media", '/'), 1u);
  EXPECT_EQ(DeepestDriveHolding(drives, "/home", '/'), 0u);
  EXPECT_FALSE(DeepestDriveHolding(drives, "relative", '/').has_value());
  const std::vector<DriveMapping> windows{{'C', "C:\\", ""}, {'D', "C:\\data", ""}};
  EXPECT_EQ(DeepestDriveHolding(windows, "C:\\database", '\\'), 0u);
  EXPECT_EQ(DeepestDriveHolding(windows, "C:\\data\\x", '\\'), 1u);
  EXPECT_EQ(DriveLetterOf("d:\\x"), 'D');
  EXPECT_FALSE(DriveLetterOf("d\\x").has_value());
}

}  // namespace
}  // namespace qv
