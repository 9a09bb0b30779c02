// The two-pane file manager on temporary drives: listing, browsing, folders through the
// keyboard, renaming, deleting into the recycle bin, running programs, sizes and pasting.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "TestProgram.h"
#include "commands/modDispatch.h"
#include "files/modExplorerDestination.h"
#include "files/modExplorerSource.h"
#include "shell/frmMain.h"
#include "widgets/modListbox.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

std::string Text(Program& p, const std::string& group, const std::string& name) {
  for (const TextBoxElement& b : p.tables.TextBoxes)
    if (b.HasKey(group, name)) return b.Text;
  return "<none>";
}

class Explorer : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen", "explorer", "explorerdrive"});
    const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
    const std::string list =
        "MultiSelect=1\nSelFontColor=0|0|0\nSelBackgroundColor=0|255|0\n"
        "FocusRectColor=255|0|255\n";
    std::string layout;
    int n = 0;
    auto section = [&](const std::string& body) {
      layout += "[" + std::to_string(n++) + "]\n" + body;
    };
    section("Type=listbox\nCommand0=explorersource;filebox\nPosition=100;0;300;400\n" + font +
            list);
    section("Type=listbox\nCommand0=explorerdestination;filebox\nPosition=100;500;300;400\n" +
            font + list);
    section("Type=textbox\nCommand0=explorersource;directory\nPosition=50;0;300;20\n" + font);
    section("Type=textbox\nCommand0=explorerdestination;directory\nPosition=50;500;300;20\n" +
            font);
    int top = 520;
    for (const char* box : {"size", "directoriesfound", "filesfound", "total"}) {
      section(std::string("Type=textbox\nCommand0=explorerinfo;") + box +
              "\nPosition=" + std::to_string(top) + ";0;300;20\n" + font);
      top += 24;
    }
    for (const char* box : {"filesfound", "filesnew", "filesexisting", "directoriesfound",
                            "directoriesnew", "directoriesexisting", "status", "total"}) {
      section(std::string("Type=textbox\nCommand0=copy;") + box +
              "\nPosition=" + std::to_string(top) + ";500;300;20\n" + font);
      top += 24;
    }
    app.WriteLayout("explorer", layout);
    app.WriteLayout("explorerdrive",
                    "[0]\nType=drivelist\nCommand0=explorerdrive;maindrive\n"
                    "Position=10;10;300;20\n" +
                        font + "MenuColor=0|0|0\nMenuFontColor=0|255|0\n");
    ASSERT_TRUE(app.Start());
    c = app.DrivePath('C');
    d = app.DrivePath('D');
  }
  Program& p() { return app.program(); }
  ListElement& source() { return p().tables.ListBoxes[0]; }
  ListElement& destination() { return p().tables.ListBoxes[1]; }
  void Write(const std::string& path, const std::string& content) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  void Show(const std::string& sourcePath, const std::string& destinationPath) {
    p().explorer.SourcePath = sourcePath;
    p().explorer.DestinationPath = destinationPath;
    ShowScreen(p(), "explorer");
  }
  void Select(ListElement& l, int item) {
    OnPointerDown(p(), 1, 0, static_cast<float>(l.Left + 50),
                  static_cast<float>(l.Top + (item - l.TopIndex) * l.RowHeight + 8));
    OnPointerUp(p(), 1, 0, static_cast<float>(l.Left + 50),
                static_cast<float>(l.Top + (item - l.TopIndex) * l.RowHeight + 8));
  }
  // Types `text` and presses "ok" from inside the next wait for the keyboard.
  void TypeWhenAsked(const std::string& keys) {
    p().onYield = [keys, done = false](Program& prog) mutable {
      if (done) return;
      done = true;
      for (char k : keys) RunCommand(prog, "keyboard", k == ' ' ? "spacebar" : std::string(1, k));
      RunCommand(prog, "keyboard", "ok");
    };
  }
  TestApp app{1};
  std::string c;
  std::string d;
};

TEST_F(Explorer, ListsUpFoldersThenFilesAndHidesHiddenEntries) {
  Write(c + "/Music/a.mp3", "x");
  fs::create_directories(c + "/Music/Rock");
  Write(c + "/Music/.hidden", "x");
  fs::create_directories(c + "/Music/.cache");
  Show("C:\\Music\\", "C:\\");
  EXPECT_EQ(source().Items, (std::vector<std::string>{"..", "Rock", "a.mp3"}));
  EXPECT_EQ(source().ItemIcons, (std::vector<int32_t>{-1, 0, 1}));
  EXPECT_EQ(Text(p(), "explorersource", "directory"), "C:\\Music\\");
  EXPECT_EQ(destination().Items.front(), "..");
}

TEST_F(Explorer, ADoubleTapOnDotDotGoesUpInASingleSelectionList) {
  fs::create_directories(c + "/Music/Rock");
  Show("C:\\Music\\Rock\\", "C:\\");
  source().MultiSelect = 0;
  Select(source(), 0);
  app.display().SetCursorPosition(source().Left + 50, source().Top + 8);
  HandleEvent(p(), Event{EventType::DoubleClick});
  EXPECT_EQ(p().explorer.SourcePath, "C:\\Music\\");
  EXPECT_FALSE(source().Selected[0]);
}

TEST_F(Explorer, BrowsingUpDownAndToTheDriveChoice) {
  fs::create_directories(c + "/Music/Rock");
  Write(c + "/Music/a.mp3", "x");
  Show("C:\\Music\\", "C:\\");
  OpenSourceEntry(p(), "Rock");
  EXPECT_EQ(p().explorer.SourcePath, "C:\\Music\\Rock\\");
  OpenSourceEntry(p(), "..");
  EXPECT_EQ(p().explorer.SourcePath, "C:\\Music\\");
  // A double tap on a file opens nothing but forgets the selection.
  Select(source(), 2);
  ASSERT_EQ(p().explorer.CopyList.size(), 1u);
  app.display().SetCursorPosition(source().Left + 50, source().Top + 2 * source().RowHeight + 8);
  HandleEvent(p(), Event{EventType::DoubleClick});
  EXPECT_EQ(p().explorer.SourcePath, "C:\\Music\\");
  EXPECT_TRUE(p().explorer.CopyList.empty());
  // A folder that vanished since it was listed is not entered.
  fs::remove_all(c + "/Music/Rock");
  OpenSourceEntry(p(), "Rock");
  EXPECT_EQ(p().explorer.SourcePath, "C:\\Music\\");
  OpenSourceEntry(p(), "..");
  OpenSourceEntry(p(), "..");
  EXPECT_EQ(p().skin.CurrentScreen, "explorerdrive");
  EXPECT_EQ(p().explorer.SourcePath, "C:\\");
  EXPECT_EQ(p().explorer.DriveRequester, "explorersourcedrive");
}

TEST_F(Explorer, CreatesFoldersFromTheKeyboardOnlyWithUsableNames) {
  Show("C:\\", "D:\\");
  TypeWhenAsked("new");
  CreateSourceFolder(p());
  EXPECT_TRUE(fs::is_directory(c + "/new"));
  EXPECT_FALSE(p().keyboard.KeyboardConfirmed);
  EXPECT_EQ(p().keyboard.KeyboardText, "");
  TypeWhenAsked("new");
  CreateSourceFolder(p());  // exists: only the list is refreshed
  EXPECT_EQ(std::count(source().Items.begin(), source().Items.end(), "new"), 1);
  const size_t before = std::distance(fs::directory_iterator(c), fs::directory_iterator());
  for (const std::string bad : {"", "   ", "a\\b", "a/b", ".", ".."}) {
    TypeWhenAsked(bad);
    CreateSourceFolder(p());
  }
  EXPECT_EQ(static_cast<size_t>(std::distance(fs::directory_iterator(c), fs::directory_iterator())),
            before);
  EXPECT_FALSE(fs::exists(d + "/b"));
  TypeWhenAsked("made");
  CreateDestinationFolder(p());
  EXPECT_TRUE(fs::is_directory(d + "/made"));
  EXPECT_NE(std::find(destination().Items.begin(), destination().Items.end(), "made"),
            destination().Items.end());
}

TEST_F(Explorer, RenamesTheCurrentEntry) {
  Write(c + "/old.txt", "content");
  Write(c + "/taken.txt", "other");
  Show("C:\\", "C:\\");
  const auto at = std::find(source().Items.begin(), source().Items.end(), "old.txt");
  Select(source(), static_cast<int>(at - source().Items.begin()));
  TypeWhenAsked("taken.txt");
  RenameSourceEntry(p());  // the file system refuses: nothing changes
  EXPECT_TRUE(fs::exists(c + "/old.txt"));
  const auto again = std::find(source().Items.begin(), source().Items.end(), "old.txt");
  Select(source(), static_cast<int>(again - source().Items.begin()));
  TypeWhenAsked("new name.txt");
  RenameSourceEntry(p());
  EXPECT_FALSE(fs::exists(c + "/old.txt"));
  EXPECT_TRUE(fs::exists(c + "/new name.txt"));
  // ".." is never renamed, and a list without a current entry renames nothing.
  Select(source(), 0);
  TypeWhenAsked("up");
  RenameSourceEntry(p());
  EXPECT_FALSE(fs::exists(c + "/up"));
  ClearListByKey(p(), "explorersource", "filebox");
  source().ListIndex = -1;
  TypeWhenAsked("ghost");
  RenameSourceEntry(p());
  EXPECT_FALSE(fs::exists(c + "/ghost"));
}

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

TEST_F(Explorer, InformationCountsAndSizes) {
  Write(c + "/two/a.bin", std::string(1000, 'a'));
  Write(c + "/two/b.bin", std::string(1048, 'b'));
  Write(c + "/one/c.bin", std::string(500, 'c'));
  Show("C:\\two\\", "C:\\two\\");
  ShowSourceInfo(p());
  EXPECT_EQ(Text(p(), "explorerinfo", "directoriesfound"), "1");
  EXPECT_EQ(Text(p(), "explorerinfo", "filesfound"), "2");
  EXPECT_EQ(Text(p(), "explorerinfo", "total"), "3");
  EXPECT_EQ(Text(p(), "explorerinfo", "size"), "2.000 KB");
  ShowDestinationInfo(p());
  EXPECT_EQ(Text(p(), "explorerinfo", "size"), "2.000 KB");

  p().explorer.SourcePath = "C:\\one\\";
  p().explorer.CopyList = {"C:\\one\\c.bin"};
  ShowSourceInfo(p());
  EXPECT_EQ(Text(p(), "explorerinfo", "filesfound"), "1");
  EXPECT_EQ(Text(p(), "explorerinfo", "size"), "-");
  EXPECT_EQ(Text(p(), "explorerinfo", "directoriesfound"), "-");
  EXPECT_EQ(Text(p(), "explorerinfo", "total"), "-");

  fs::create_directories(c + "/empty");
  p().explorer.DestinationPath = "C:\\empty\\";
  ShowDestinationInfo(p());
  EXPECT_EQ(Text(p(), "explorerinfo", "directoriesfound"), "1");
  EXPECT_EQ(Text(p(), "explorerinfo", "total"), "1");
  EXPECT_EQ(Text(p(), "explorerinfo", "filesfound"), "-");
  EXPECT_FALSE(p().flags.CancelRequested);
}

TEST_F(Explorer, SizesAboveFourGibibytes) {
  // A sparse file: five GiB of length without five GiB of disk.
  const std::string big = c + "/big/huge.bin";
  fs::create_directories(c + "/big");
  { std::ofstream(big, std::ios::binary); }
  fs::resize_file(big, 5ull << 30);
  Show("C:\\big\\", "C:\\");
  ShowSourceInfo(p());
  EXPECT_EQ(Text(p(), "explorerinfo", "size"), "5.000 GB");
  EXPECT_EQ(explorer::SizeText(1023), "-");
  EXPECT_EQ(explorer::SizeText(1536.0 * 1024), "1.500 MB");
}

TEST_F(Explorer, PastesTheSelectionAndSkipsWhatIsThere) {
  Write(c + "/Music/Rock/a.mp3", "rock");
  fs::create_directories(d + "/Backup");
  Show("C:\\Music\\", "D:\\Backup\\");
  Select(source(), 1);  // Rock
  ASSERT_EQ(p().explorer.CopyList, (std::vector<std::string>{"C:\\Music\\Rock\\"}));
  PasteSelection(p());
  EXPECT_TRUE(fs::exists(d + "/Backup/Rock/a.mp3"));
  EXPECT_EQ(Text(p(), "copy", "filesnew"), "1");
  EXPECT_NE(std::find(destination().Items.begin(), destination().Items.end(), "Rock"),
            destination().Items.end());
  PasteSelection(p());
  EXPECT_EQ(Text(p(), "copy", "filesexisting"), "1");
  EXPECT_EQ(Text(p(), "copy", "directoriesexisting"), "1");
  EXPECT_EQ(p().explorer.CopyList.size(), 1u);

  p().settings.AudioDestination = "d:\\audio\\";
  CopyToAudioFolder(p());
  EXPECT_TRUE(fs::exists(d + "/audio/Rock/a.mp3"));
  EXPECT_EQ(p().explorer.DestinationPath, "d:\\audio\\");
}

TEST_F(Explorer, SelectionIsCarriedAcrossRefillsByPosition) {
  Write(c + "/x/one.txt", "1");
  Write(c + "/x/two.txt", "2");
  Show("C:\\x\\", "C:\\");
  Select(source(), 2);
  const std::vector<int32_t> marks = p().explorer.CopyListIndices;
  ASSERT_EQ(marks.size(), 1u);
  FillSourceList(p());
  EXPECT_TRUE(source().Selected[marks[0]]);
  EXPECT_EQ(p().explorer.CopyListIndices, marks);
}

}  // namespace
}  // namespace qv::test
