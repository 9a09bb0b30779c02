// Drive and path utilities on in-memory drives: the scan's count, yields and cancel, and the
// existence probe.
#include <gtest/gtest.h>

#include "TestProgram.h"
#include "commands/modDispatch.h"
#include "files/modTools.h"

namespace qv::test {
namespace {

class Tools : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteCopyTotalSkin(app);
    ASSERT_TRUE(app.Start());
    p().explorer.ReportGroup = "copy";
  }
  Program& p() { return app.program(); }
  // `relative` below C:\ with "/".
  void Write(std::string relative) {
    for (char& c : relative)
      if (c == '/') c = '\\';
    ASSERT_TRUE(app.files().WriteFile("C:\\" + relative, "x"));
  }
  std::string Total() { return p().tables.TextBoxes.at(0).Text; }

  TestApp app;
};

TEST_F(Tools, LongScansShowTheCountAndYieldEveryHundredFiles) {
  for (int i = 0; i < 250; ++i) Write("big/f" + std::to_string(i));
  std::vector<std::string> shownAtYield;
  p().onYield = [&](Program&) { shownAtYield.push_back(Total()); };
  std::vector<std::string> files, folders;
  EXPECT_FALSE(ScanFolderTree(p(), "C:\\big", files, folders, 1, false, false));
  EXPECT_EQ(shownAtYield, (std::vector<std::string>{"100", "200"}));
  EXPECT_EQ(Total(), "250");
  EXPECT_EQ(files.size(), 250u);
}

TEST_F(Tools, CancelStopsTheScanAndIsCleared) {
  for (int i = 0; i < 250; ++i) Write("big/f" + std::to_string(i));
  Write("big/sub/x");
  p().onYield = [&](Program& prog) { RunCommand(prog, "copy", "cancel"); };
  std::vector<std::string> files, folders;
  EXPECT_TRUE(ScanFolderTree(p(), "C:\\big", files, folders, 1, false, false));
  EXPECT_FALSE(p().flags.CancelRequested);
  // It stopped within the first folder, right after the entry that yielded.
  EXPECT_EQ(files.size() + folders.size(), 100u);
  EXPECT_EQ(Total(), "100");

  // A cancel that arrives while the last folder is being listed still counts.
  for (int i = 0; i < 150; ++i) Write("late/last/f" + std::to_string(i));
  files.clear();
  folders.clear();
  EXPECT_TRUE(ScanFolderTree(p(), "C:\\late", files, folders, 1, false, false));
  EXPECT_FALSE(p().flags.CancelRequested);
  EXPECT_EQ(files.size(), 99u);
}

TEST_F(Tools, PathExistsTellsOnlyAMissingNameFromTheRest) {
  Write("Music/Song.mp3");
  EXPECT_TRUE(PathExists(p(), "C:\\Music\\Song.mp3"));
  EXPECT_TRUE(PathExists(p(), "c:\\music\\SONG.MP3"));
  EXPECT_TRUE(PathExists(p(), "C:\\Music\\"));
  EXPECT_FALSE(PathExists(p(), "C:\\Music\\Other.mp3"));
  EXPECT_FALSE(PathExists(p(), "C:\\Nothing\\"));
  // A missing parent is "path not found", which is not "file not found".
  EXPECT_TRUE(PathExists(p(), "C:\\Nothing\\Other.mp3"));
  EXPECT_TRUE(IsVolumeReady(p(), "c:"));
  EXPECT_FALSE(IsVolumeReady(p(), "q:"));
}

}  // namespace
}  // namespace qv::test
