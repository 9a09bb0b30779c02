// Drive and path utilities where they meet Linux: the scan over links, dot names and hidden
// entries, the desktop's recycle bin, waiting for programs. Every drive is a temporary folder.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "LinuxTestProgram.h"
#include "commands/modDispatch.h"
#include "files/modTools.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class Tools : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteCopyTotalSkin(app);
    ASSERT_TRUE(app.Start());
    p().explorer.ReportGroup = "copy";
  }
  Program& p() { return app.program(); }
  std::string C(const std::string& relative) const { return app.DrivePath('C') + "/" + relative; }
  void Write(const std::string& relative, const std::string& content = "x") const {
    fs::create_directories(fs::path(C(relative)).parent_path());
    std::ofstream(C(relative), std::ios::binary) << content;
  }
  std::string Total() { return p().tables.TextBoxes.at(0).Text; }
  static std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  }

  LinuxTestApp app;
};

TEST_F(Tools, ScanIsBreadthFirstAndSkipsWhatItShould) {
  Write("t/a.txt");
  Write("t/.hidden");
  Write("t/dots.");  // found under the private-use form of its dot
  Write("t/Sub One/b.txt");
  Write("t/Sub One/Deep/c.txt");
  Write("t/Sub One/Deep/Deeper/d.txt");
  Write("t/.secret/e.txt");
  Write("t/zwei/Grüße.txt");
  fs::create_directories(C("t/empty"));
  fs::create_directory_symlink(C("t"), C("t/loop"));  // would never end if followed

  std::vector<std::string> files, folders;
  EXPECT_FALSE(ScanFolderTree(p(), "C:\\t", files, folders, 1, false, false));
  EXPECT_EQ(Sorted(files), (std::vector<std::string>{
                               "C:\\t\\Sub One\\Deep\\Deeper\\d.txt", "C:\\t\\Sub One\\Deep\\c.txt",
                               "C:\\t\\Sub One\\b.txt", "C:\\t\\a.txt", "C:\\t\\dots\uF02E",
                               "C:\\t\\loop", "C:\\t\\zwei\\Grüße.txt"}));
  ASSERT_EQ(folders.size(), 5u);
  // Breadth-first: the folders of the top level come first, deeper levels after them.
  EXPECT_EQ(Sorted({folders.begin(), folders.begin() + 3}),
            (std::vector<std::string>{"C:\\t\\Sub One\\", "C:\\t\\empty\\", "C:\\t\\zwei\\"}));
  EXPECT_EQ(folders[3], "C:\\t\\Sub One\\Deep\\");
  EXPECT_EQ(folders[4], "C:\\t\\Sub One\\Deep\\Deeper\\");
  EXPECT_EQ(Total(), "12");

  // A final "\" changes nothing; hidden entries and everything below them come with the flag.
  std::vector<std::string> files2, folders2;
  ScanFolderTree(p(), "C:\\t\\", files2, folders2, 1, true, false);
  EXPECT_EQ(files2.size(), files.size() + 2);
  EXPECT_EQ(folders2.size(), folders.size() + 1);
  EXPECT_NE(std::find(files2.begin(), files2.end(), "C:\\t\\.secret\\e.txt"), files2.end());
  EXPECT_EQ(std::count_if(files2.begin(), files2.end(),
                          [](const std::string& f) { return f.back() == '.'; }),
            0);

  // Without recursion only the folder's own entries, its subfolders included.
  std::vector<std::string> top, topFolders;
  ScanFolderTree(p(), "C:\\t", top, topFolders, 2, false, false);
  EXPECT_EQ(Sorted(top),
            (std::vector<std::string>{"C:\\t\\a.txt", "C:\\t\\dots\uF02E", "C:\\t\\loop"}));
  EXPECT_EQ(topFolders.size(), 3u);
  EXPECT_EQ(Total(), "6");

  // Appending continues the caller's lists and counts the old entries as well.
  std::vector<std::string> more{"old file"}, moreFolders{"old\\", "older\\"};
  ScanFolderTree(p(), "C:\\t\\Sub One\\Deep", more, moreFolders, 1, false, true);
  EXPECT_EQ(more, (std::vector<std::string>{"old file", "C:\\t\\Sub One\\Deep\\c.txt",
                                            "C:\\t\\Sub One\\Deep\\Deeper\\d.txt"}));
  EXPECT_EQ(moreFolders,
            (std::vector<std::string>{"old\\", "older\\", "C:\\t\\Sub One\\Deep\\Deeper\\"}));
  EXPECT_EQ(Total(), "6");

  // A folder that cannot be listed gives nothing.
  std::vector<std::string> none, noneFolders;
  EXPECT_FALSE(ScanFolderTree(p(), "C:\\missing", none, noneFolders, 1, true, false));
  EXPECT_TRUE(none.empty() && noneFolders.empty());
  EXPECT_EQ(Total(), "0");
}

TEST_F(Tools, RecycleBinTakesAFolderAndIsEmptiedByItsCommand) {
  const std::string dataHome = g_get_user_data_dir();
  if (dataHome.rfind("/tmp/", 0) != 0)
    GTEST_SKIP() << "the user's recycle bin is not a test folder here: " << dataHome;
  Write("Work/Old/in.txt", "in");
  std::string path = "C:\\Work\\Old\\";
  DeleteToRecycleBin(p(), path);
  EXPECT_EQ(path, "C:\\Work\\Old");
  EXPECT_FALSE(fs::exists(C("Work/Old")));
  EXPECT_TRUE(fs::exists(C("Work")));

  // A bin at the top of a drive is emptied; what is no bin stays.
  const std::string bin = C(".Trash-" + std::to_string(getuid()));
  Write(".Trash-" + std::to_string(getuid()) + "/files/gone/f", "f");
  Write(".Trash-" + std::to_string(getuid()) + "/info/gone.trashinfo", "i");
  fs::permissions(bin, fs::perms::owner_all, fs::perm_options::replace);
  RunCommand(p(), "function", "emptyrecyclebin");
  EXPECT_TRUE(fs::is_empty(bin + "/files"));
  EXPECT_TRUE(fs::is_empty(bin + "/info"));
  EXPECT_TRUE(fs::exists(C("Work")));

  // Deleting what is not there fails silently.
  std::string missing = "C:\\Work\\None\\";
  DeleteToRecycleBin(p(), missing);
  EXPECT_EQ(missing, "C:\\Work\\None");
}

TEST_F(Tools, RunAndWaitReturnsWhenTheProgramHasEnded) {
  Write("app/slow.sh", "#!/bin/sh\nsleep 0.3\necho done > \"$1\"\n");
  fs::permissions(C("app/slow.sh"), fs::perms::owner_all, fs::perm_options::replace);
  const uint64_t sleepsBefore = app.events().SleepCalls();
  RunAndWait(p(), "C:\\app\\slow.sh \"C:\\app\\out put.txt\"");
  std::ifstream in(C("app/out put.txt"));
  std::string line;
  EXPECT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "done");
  // The wait yields with the short sleep between its looks.
  EXPECT_GT(app.events().SleepCalls(), sleepsBefore + 10);

  // A program that cannot start ends the wait at once.
  const uint64_t before = app.events().SleepCalls();
  RunAndWait(p(), "C:\\app\\missing.exe");
  EXPECT_EQ(app.events().SleepCalls(), before + 1);
}

}  // namespace
}  // namespace qv::test
