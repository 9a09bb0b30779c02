// The two-pane file manager where it meets Linux: the desktop's recycle bin, tmpfs without one,
// programs that really start, and sparse files above four gibibytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "LinuxTestProgram.h"
#include "commands/modDispatch.h"
#include "files/modExplorerDestination.h"
#include "files/modExplorerSource.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "widgets/modListbox.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class Explorer : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteExplorerSkin(app);
    ASSERT_TRUE(app.Start());
    c = app.DrivePath('C');
    d = app.DrivePath('D');
  }
  Program& p() { return app.program(); }
  ListElement& source() { return p().tables.ListBoxes[0]; }
  void Write(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  void Show(const std::string& sourcePath, const std::string& destinationPath) {
    ShowExplorer(p(), sourcePath, destinationPath);
  }
  void Select(ListElement& l, int item) { TapListItem(p(), l, item); }
  LinuxTestApp app{1};
  std::string c;
  std::string d;
};

TEST_F(Explorer, DeletesTheSelectionIntoTheRecycleBin) {
  const char* home = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(home, nullptr) << "the tests keep the recycle bin in a temporary folder";
  ASSERT_EQ(std::string(home).rfind("/tmp/", 0), 0u);
  Write(c + "/doomed-" + std::to_string(getpid()) + ".txt", "bye");
  fs::create_directories(c + "/doomed-folder/inner");
  Show("C:\\", "C:\\");
  for (int i = 1; i < source().ListCount; ++i)
    if (source().Items[i] != "app") Select(source(), i);
  ASSERT_EQ(p().explorer.CopyList.size(), 2u);
  DeleteSourceSelection(p());
  EXPECT_TRUE(p().explorer.CopyList.empty());
  EXPECT_FALSE(fs::exists(c + "/doomed-folder"));
  EXPECT_TRUE(fs::exists(std::string(home) + "/Trash/files/doomed-folder/inner"));
  EXPECT_TRUE(
      fs::exists(std::string(home) + "/Trash/files/doomed-" + std::to_string(getpid()) + ".txt"));
  EXPECT_EQ(source().Items.size(), 2u);  // ".." and the application folder
}

TEST_F(Explorer, NothingIsDeletedWhereThereIsNoRecycleBin) {
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm on this machine";
  const std::string folder = "/dev/shm/quorvin-test-" + std::to_string(getpid());
  fs::create_directories(folder);
  Write(folder + "/keep.txt", "precious");
  PosixFileSystem shmFiles({DriveMapping{'C', folder, ""}}, folder);
  std::string path = "C:\\keep.txt";
  const bool trashed = shmFiles.DeleteToTrash(path).ok();
  const bool kept = fs::exists(folder + "/keep.txt");
  fs::remove_all(folder);
  EXPECT_FALSE(trashed);
  EXPECT_TRUE(kept);
}

TEST_F(Explorer, RunsProgramsByTheirEnding) {
  const std::string marker = c + "/ran";
  Write(c + "/setup.EXE", "#!/bin/sh\ntouch '" + marker + "'\n");
  chmod((c + "/setup.EXE").c_str(), 0755);
  Write(c + "/readme.txt", "#!/bin/sh\ntouch '" + marker + "-txt'\n");
  chmod((c + "/readme.txt").c_str(), 0755);
  Write(c + "/broken.exe", "not a program");
  Show("C:\\", "C:\\");
  auto current = [&](const std::string& name) {
    const auto at = std::find(source().Items.begin(), source().Items.end(), name);
    source().ListIndex = static_cast<int32_t>(at - source().Items.begin());
  };
  current("readme.txt");
  RunSourceEntry(p());
  current("broken.exe");
  RunSourceEntry(p());
  EXPECT_TRUE(app.diag().Mentions("broken.exe"));
  current("setup.EXE");
  RunSourceEntry(p());
  for (int i = 0; i < 200 && !fs::exists(marker); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(fs::exists(marker));
  EXPECT_FALSE(fs::exists(marker + "-txt"));
}

TEST_F(Explorer, SizesAboveFourGibibytes) {
  // A sparse file: five GiB of length without five GiB of disk.
  const std::string big = c + "/big/huge.bin";
  fs::create_directories(c + "/big");
  { std::ofstream(big, std::ios::binary); }
  fs::resize_file(big, 5ull << 30);
  Show("C:\\big\\", "C:\\");
  ShowSourceInfo(p());
  EXPECT_EQ(BoxText(p(), "explorerinfo", "size"), "5.000 GB");
  EXPECT_EQ(explorer::SizeText(1023), "-");
  EXPECT_EQ(explorer::SizeText(1536.0 * 1024), "1.500 MB");
}

}  // namespace
}  // namespace qv::test
