// The two-pane file manager on in-memory drives: listing, browsing, folders through the
// keyboard, renaming, deleting into the recycle bin, sizes and pasting.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestProgram.h"
#include "commands/modDispatch.h"
#include "files/modExplorerDestination.h"
#include "files/modExplorerSource.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "widgets/modListbox.h"

namespace qv::test {
namespace {

class Explorer : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteExplorerSkin(app);
    ASSERT_TRUE(app.Start());
  }
  Program& p() { return app.program(); }
  MemoryFileSystem& files() { return app.files(); }
  ListElement& source() { return p().tables.ListBoxes[0]; }
  ListElement& destination() { return p().tables.ListBoxes[1]; }
  void Write(const std::string& path, const std::string& content) {
    ASSERT_TRUE(files().WriteFile(path, content)) << path;
  }
  void Folder(const std::string& path) {
    ASSERT_TRUE(files().CreatePath(path + "\\").ok()) << path;
  }
  bool Exists(const std::string& path) { return files().Exists(path); }
  bool IsFolder(const std::string& path) { return files().IsFolder(path, FollowLinks::No); }
  size_t Count(const std::string& folder) {
    return files().ListFolder(folder, ListDetail::NamesAndKinds).value_or({}).size();
  }
  void Show(const std::string& sourcePath, const std::string& destinationPath) {
    ShowExplorer(p(), sourcePath, destinationPath);
  }
  void Select(ListElement& l, int item) { TapListItem(p(), l, item); }
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
};

TEST_F(Explorer, ListsUpFoldersThenFilesAndHidesHiddenEntries) {
  Write("C:\\Music\\a.mp3", "x");
  Folder("C:\\Music\\Rock");
  Write("C:\\Music\\secret", "x");
  files().SetHidden("C:\\Music\\secret", true);
  Folder("C:\\Music\\cache");
  files().SetHidden("C:\\Music\\cache", true);
  Show("C:\\Music\\", "C:\\");
  EXPECT_EQ(source().Items, (std::vector<std::string>{"..", "Rock", "a.mp3"}));
  EXPECT_EQ(source().ItemIcons, (std::vector<int32_t>{-1, 0, 1}));
  EXPECT_EQ(BoxText(p(), "explorersource", "directory"), "C:\\Music\\");
  EXPECT_EQ(destination().Items.front(), "..");
}

TEST_F(Explorer, ADoubleTapOnDotDotGoesUpInASingleSelectionList) {
  Folder("C:\\Music\\Rock");
  Show("C:\\Music\\Rock\\", "C:\\");
  source().MultiSelect = 0;
  Select(source(), 0);
  app.display().SetCursorPosition(source().Left + 50, source().Top + 8);
  HandleEvent(p(), Event{EventType::DoubleClick});
  EXPECT_EQ(p().explorer.SourcePath, "C:\\Music\\");
  EXPECT_FALSE(source().Selected[0]);
}

TEST_F(Explorer, BrowsingUpDownAndToTheDriveChoice) {
  Folder("C:\\Music\\Rock");
  Write("C:\\Music\\a.mp3", "x");
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
  files().Remove("C:\\Music\\Rock");
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
  EXPECT_TRUE(IsFolder("C:\\new"));
  EXPECT_FALSE(p().keyboard.KeyboardConfirmed);
  EXPECT_EQ(p().keyboard.KeyboardText, "");
  TypeWhenAsked("new");
  CreateSourceFolder(p());  // exists: only the list is refreshed
  EXPECT_EQ(std::count(source().Items.begin(), source().Items.end(), "new"), 1);
  const size_t before = Count("C:\\");
  for (const char* bad : {"", "   ", "a\\b", "a/b", ".", ".."}) {
    TypeWhenAsked(bad);
    CreateSourceFolder(p());
  }
  EXPECT_EQ(Count("C:\\"), before);
  EXPECT_FALSE(Exists("D:\\b"));
  TypeWhenAsked("made");
  CreateDestinationFolder(p());
  EXPECT_TRUE(IsFolder("D:\\made"));
  EXPECT_NE(std::find(destination().Items.begin(), destination().Items.end(), "made"),
            destination().Items.end());
}

TEST_F(Explorer, RenamesTheCurrentEntry) {
  Write("C:\\old.txt", "content");
  Write("C:\\taken.txt", "other");
  Show("C:\\", "C:\\");
  const auto at = std::find(source().Items.begin(), source().Items.end(), "old.txt");
  Select(source(), static_cast<int>(at - source().Items.begin()));
  TypeWhenAsked("taken.txt");
  RenameSourceEntry(p());  // the file system refuses: nothing changes
  EXPECT_EQ(files().Read("C:\\old.txt"), "content");
  EXPECT_EQ(files().Read("C:\\taken.txt"), "other");
  const auto again = std::find(source().Items.begin(), source().Items.end(), "old.txt");
  Select(source(), static_cast<int>(again - source().Items.begin()));
  TypeWhenAsked("new name.txt");
  RenameSourceEntry(p());
  EXPECT_FALSE(Exists("C:\\old.txt"));
  EXPECT_EQ(files().Read("C:\\new name.txt"), "content");
  // ".." is never renamed, and a list without a current entry renames nothing.
  Select(source(), 0);
  TypeWhenAsked("up");
  RenameSourceEntry(p());
  EXPECT_FALSE(Exists("C:\\up"));
  ClearListByKey(p(), "explorersource", "filebox");
  source().ListIndex = -1;
  TypeWhenAsked("ghost");
  RenameSourceEntry(p());
  EXPECT_FALSE(Exists("C:\\ghost"));
}

TEST_F(Explorer, InformationCountsAndSizes) {
  Write("C:\\two\\a.bin", std::string(1000, 'a'));
  Write("C:\\two\\b.bin", std::string(1048, 'b'));
  Write("C:\\one\\c.bin", std::string(500, 'c'));
  Show("C:\\two\\", "C:\\two\\");
  ShowSourceInfo(p());
  EXPECT_EQ(BoxText(p(), "explorerinfo", "directoriesfound"), "1");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "filesfound"), "2");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "total"), "3");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "size"), "2.000 KB");
  ShowDestinationInfo(p());
  EXPECT_EQ(BoxText(p(), "explorerinfo", "size"), "2.000 KB");

  p().explorer.SourcePath = "C:\\one\\";
  p().explorer.CopyList = {"C:\\one\\c.bin"};
  ShowSourceInfo(p());
  EXPECT_EQ(BoxText(p(), "explorerinfo", "filesfound"), "1");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "size"), "-");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "directoriesfound"), "-");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "total"), "-");

  Folder("C:\\empty");
  p().explorer.DestinationPath = "C:\\empty\\";
  ShowDestinationInfo(p());
  EXPECT_EQ(BoxText(p(), "explorerinfo", "directoriesfound"), "1");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "total"), "1");
  EXPECT_EQ(BoxText(p(), "explorerinfo", "filesfound"), "-");
  EXPECT_FALSE(p().flags.CancelRequested);
}

TEST_F(Explorer, PastesTheSelectionAndSkipsWhatIsThere) {
  Write("C:\\Music\\Rock\\a.mp3", "rock");
  Folder("D:\\Backup");
  Show("C:\\Music\\", "D:\\Backup\\");
  Select(source(), 1);  // Rock
  ASSERT_EQ(p().explorer.CopyList, (std::vector<std::string>{"C:\\Music\\Rock\\"}));
  PasteSelection(p());
  EXPECT_EQ(files().Read("D:\\Backup\\Rock\\a.mp3"), "rock");
  EXPECT_EQ(BoxText(p(), "copy", "filesnew"), "1");
  EXPECT_NE(std::find(destination().Items.begin(), destination().Items.end(), "Rock"),
            destination().Items.end());
  PasteSelection(p());
  EXPECT_EQ(BoxText(p(), "copy", "filesexisting"), "1");
  EXPECT_EQ(BoxText(p(), "copy", "directoriesexisting"), "1");
  EXPECT_EQ(p().explorer.CopyList.size(), 1u);

  p().settings.AudioDestination = "d:\\audio\\";
  CopyToAudioFolder(p());
  EXPECT_EQ(files().Read("D:\\audio\\Rock\\a.mp3"), "rock");
  EXPECT_EQ(p().explorer.DestinationPath, "d:\\audio\\");
}

TEST_F(Explorer, SelectionIsCarriedAcrossRefillsByPosition) {
  Write("C:\\x\\one.txt", "1");
  Write("C:\\x\\two.txt", "2");
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
