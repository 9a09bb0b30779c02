// Every explorer command of the shipped skin, driven through quorvin-probe: the painted skin and
// its layout files as the build writes them, two temporary drives, media folders on D:.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "LinuxTestProgram.h"
#include "core/ProfileString.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// What follows `"field": ` after `from` in a dump, up to the next comma, bracket or brace.
std::string FieldAfter(const std::string& dump, size_t from, const std::string& field) {
  if (from == std::string::npos) return "<none>";
  const size_t at = dump.find("\"" + field + "\": ", from);
  if (at == std::string::npos) return "<none>";
  const size_t start = at + field.size() + 4;
  if (dump[start] == '"') return dump.substr(start + 1, dump.find('"', start + 1) - start - 1);
  return dump.substr(start, dump.find_first_of(",]}\n ", start) - start);
}

// The text of a text box (a status bar may carry the same key).
std::string TextOf(const std::string& dump, const std::string& group, const std::string& name) {
  const size_t boxes = dump.find("\"textBoxes\"");
  if (boxes == std::string::npos) return "<none>";
  return FieldAfter(dump, dump.find("\"key\": [\"" + group + "\", \"" + name + "\"]", boxes),
                    "text");
}

std::string State(const std::string& dump, const std::string& field) {
  return FieldAfter(dump, 0, field);
}

size_t KeyAt(const std::string& dump, const std::string& group, const std::string& name) {
  return dump.find("\"key\": [\"" + group + "\", \"" + name + "\"]");
}

int ListNumber(const std::string& dump, const std::string& group, const std::string& name,
               const std::string& field) {
  return std::stoi(FieldAfter(dump, KeyAt(dump, group, name), field));
}

int IndexOf(const std::vector<std::string>& items, const std::string& text) {
  const auto at = std::find(items.begin(), items.end(), text);
  return at == items.end() ? -1 : static_cast<int>(at - items.begin());
}

void WriteBytes(const std::string& path, size_t size, char fill = 'x') {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << std::string(size, fill);
}

class DefaultSkin : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path skin = fs::path(QV_BINARY_DIR) / "Skin";
    ASSERT_TRUE(fs::exists(skin / "explorer.ini")) << "the build paints the skin first";
    fs::copy(skin, app.AppPath("Skin"),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    app.WriteFile("settings.ini",
                  "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n"
                  "[Audio]\nDestination=D:\\Music\\\n[Video]\nDestination=D:\\Videos\\\n"
                  "[Picture]\nDestination=D:\\Pictures\\\n");
    c = app.DrivePath('C');
    d = app.DrivePath('D');
    WriteBytes(c + "/box/one.txt", 1000, '1');
    WriteBytes(c + "/box/two.txt", 1048, '2');
    WriteBytes(c + "/box/inner/deep.txt", 2048, '3');
  }

  // A click at the centre of the button of `screen` that carries exactly these command pairs.
  // Several buttons of the skin share their first pair, so `press` cannot tell them apart.
  std::string ClickOn(const std::string& screen, const std::vector<std::string>& commands) {
    std::ifstream in(app.AppPath("Skin/" + screen + ".ini"), std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    const ProfileFile layout(bytes);
    for (const std::string& section : layout.Sections()) {
      if (layout.Get(section, "Type") != "button") continue;
      std::vector<std::string> carried;
      for (int k = 0;; ++k) {
        const std::string value = layout.Get(section, "Command" + std::to_string(k));
        if (value.empty()) break;
        carried.push_back(value);
      }
      if (carried != commands) continue;
      int top = 0, left = 0, width = 0, height = 0;
      char sep = 0;
      std::istringstream pos(layout.Get(section, "Position"));
      pos >> top >> sep >> left >> sep >> width >> sep >> height;
      return "click " + std::to_string(left + width / 2) + " " + std::to_string(top + height / 2) +
             "\n";
    }
    ADD_FAILURE() << "no button " << ::testing::PrintToString(commands) << " on " << screen;
    return "";
  }

  // Runs a script; a line that fails fails the test.
  void Run(const std::string& script) {
    const ProbeResult r = app.RunProbe(script, out.path());
    ASSERT_EQ(r.status, 0) << r.err << "\n" << script;
  }
  std::string Dump(const std::string& name) { return ReadWholeFile(out.path() + "/" + name); }

  // Row of `name` in a file box after `script`, with its list shown from the top.
  int RowAfter(const std::string& script, const std::string& group, const std::string& name) {
    Run(script + "dump rows.json\n");
    const std::string dump = Dump("rows.json");
    const int row = IndexOf(DumpItems(dump, group, "filebox"), name);
    EXPECT_GE(row, 0) << name << " is not listed";
    EXPECT_LT(row, ListNumber(dump, group, "filebox", "pageSize")) << name;
    return row;
  }

  // Into C:\box\ on the source side.
  std::string SourceInBox() {
    const std::string start = "press loadscreen explorer\n";
    return start + "doubletap explorersource filebox " +
           std::to_string(RowAfter(start, "explorersource", "box")) + "\n";
  }

  std::string TapSource(const std::string& prefix, const std::string& name) {
    return "tap explorersource filebox " +
           std::to_string(RowAfter(prefix, "explorersource", name)) + "\n";
  }

  // ".." at the root of a pane, then the drive D: from the drive screen, then back.
  std::string ToDriveD(const std::string& group) {
    std::string open = "doubletap " + group + " filebox 0\n";
    Run("press loadscreen explorer\n" + open + "dump menu.json\n");
    // The release that ends the double tap may land on the drive list and open its menu.
    if (FieldAfter(Dump("menu.json"), KeyAt(Dump("menu.json"), "explorerdrive", "maindrive"),
                   "menuOpen") != "true") {
      open += "tap explorerdrive maindrive 0\n";
      Run("press loadscreen explorer\n" + open + "dump menu.json\n");
    }
    const std::vector<std::string> menu =
        DumpItems(Dump("menu.json"), "explorerdrive", "maindrive");
    int row = -1;
    for (size_t i = 0; i < menu.size(); ++i)
      if (menu[i].rfind("D:", 0) == 0) row = static_cast<int>(i);
    EXPECT_GE(row, 0) << "D: is not offered";
    return open + "dump drive.json\ntap explorerdrive maindrive " + std::to_string(row) + "\n" +
           ClickOn("explorerdrive", {"loadscreen;"});
  }

  LinuxTestApp app{1};
  TempDir out;
  std::string c, d;
};

TEST_F(DefaultSkin, BrowsesIntoAFolderAndBackOnBothPanes) {
  for (const std::string group : {"explorersource", "explorerdestination"}) {
    SCOPED_TRACE(group);
    const std::string start = "press loadscreen explorer\n";
    const int box = RowAfter(start, group, "box");
    Run(start + "doubletap " + group + " filebox " + std::to_string(box) +
        "\ndump in.json\n"
        // A double tap on a file opens nothing.
        "doubletap " +
        group +
        " filebox 3\ndump file.json\n"
        "doubletap " +
        group + " filebox 0\ndump up.json\n");
    const std::string in = Dump("in.json");
    const auto items = DumpItems(in, group, "filebox");
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0], "..");
    EXPECT_EQ(items[1], "inner");
    EXPECT_EQ(std::set<std::string>(items.begin() + 2, items.end()),
              (std::set<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(DumpText(in, group, "directory"), R"(C:\\box\\)");
    EXPECT_EQ(DumpItems(Dump("file.json"), group, "filebox"), items);
    EXPECT_EQ(DumpText(Dump("file.json"), group, "directory"), R"(C:\\box\\)");
    const std::string up = Dump("up.json");
    EXPECT_EQ(DumpText(up, group, "directory"), R"(C:\\)");
    EXPECT_GE(IndexOf(DumpItems(up, group, "filebox"), "box"), 1);
    EXPECT_GE(IndexOf(DumpItems(up, group, "filebox"), "app"), 1);
  }
}

TEST_F(DefaultSkin, DotDotAtTheRootChoosesADriveAndOpensIt) {
  WriteBytes(d + "/on-d.txt", 10);
  for (const std::string group : {"explorersource", "explorerdestination"}) {
    SCOPED_TRACE(group);
    Run("press loadscreen explorer\n" + ToDriveD(group) + "dump back.json\n");
    const std::string drive = Dump("drive.json");
    EXPECT_EQ(State(drive, "screen"), "explorerdrive");
    EXPECT_EQ(State(drive, "DriveRequester"), group + "drive");
    const std::string back = Dump("back.json");
    EXPECT_EQ(State(back, "screen"), "explorer");
    EXPECT_EQ(DumpText(back, group, "directory"), R"(D:\\)");
    EXPECT_EQ(DumpItems(back, group, "filebox"), (std::vector<std::string>{"..", "on-d.txt"}));
    // The other pane stays where it was.
    const std::string other = group == "explorersource" ? "explorerdestination" : "explorersource";
    EXPECT_EQ(DumpText(back, other, "directory"), R"(C:\\)");
  }
}

TEST_F(DefaultSkin, PasteCopiesTheSelectionAndSkipsWhatIsThere) {
  const std::string inBox = SourceInBox();
  const std::string select = TapSource(inBox, "inner") + TapSource(inBox, "one.txt");
  // The paste button returns to the explorer at its end: the counters are read by dumps
  // taken at the copy's yields. The last of them comes while the last file is copied, which is
  // counted only once complete.
  std::string watch;
  for (int i = 0; i < 12; ++i) watch += "~ dump copy" + std::to_string(i) + ".json\n";
  const std::string paste =
      ClickOn("explorer", {"loadscreen;copy", "explorerdestination;paste", "loadscreen;explorer"});
  Run(inBox + select + "dump selected.json\n" + ToDriveD("explorerdestination") + paste + watch +
      "dump after.json\n");
  const std::string selected = Dump("selected.json");
  EXPECT_NE(selected.find(R"("CopyList": ["C:\\box\\inner\\", "C:\\box\\one.txt"])"),
            std::string::npos)
      << selected;
  std::string last;
  for (int i = 0; i < 12; ++i) {
    const std::string dump = Dump("copy" + std::to_string(i) + ".json");
    if (State(dump, "screen") == "copy") last = dump;
  }
  ASSERT_FALSE(last.empty()) << "no dump was taken during the copy";
  EXPECT_EQ(DumpText(last, "copy", "directoriesfound"), "1");
  EXPECT_EQ(DumpText(last, "copy", "directoriesnew"), "1");
  EXPECT_EQ(DumpText(last, "copy", "filesfound"), "2");
  EXPECT_EQ(DumpText(last, "copy", "filesnew"), "1");
  EXPECT_EQ(DumpText(last, "copy", "filesexisting"), "-");
  EXPECT_EQ(TextOf(last, "copy", "total"), "3");
  EXPECT_EQ(ReadWholeFile(d + "/one.txt"), std::string(1000, '1'));
  EXPECT_EQ(ReadWholeFile(d + "/inner/deep.txt"), std::string(2048, '3'));
  EXPECT_FALSE(fs::exists(d + "/two.txt"));
  const std::string after = Dump("after.json");
  EXPECT_EQ(State(after, "screen"), "explorer");
  const auto listed = DumpItems(after, "explorerdestination", "filebox");
  EXPECT_GE(IndexOf(listed, "inner"), 1);
  EXPECT_GE(IndexOf(listed, "one.txt"), 1);
  const std::string enabled =
      FieldAfter(after, KeyAt(after, "loadscreen", "mainscreen"), "enabled");
  EXPECT_EQ(enabled, "true") << "the back button stays disabled after the copy";

  // Pasting again copies nothing over what is there.
  std::ofstream(d + "/one.txt", std::ios::binary) << "changed";
  Run(inBox + select + ToDriveD("explorerdestination") + paste);
  EXPECT_EQ(ReadWholeFile(d + "/one.txt"), "changed");
}

TEST_F(DefaultSkin, MediaFolderButtonsCopyIntoTheirFolders) {
  const std::string inBox = SourceInBox();
  std::string script = inBox + TapSource(inBox, "two.txt");
  const struct {
    const char* command;
    const char* folder;
  } media[] = {
      {"audiodirectory", "music"}, {"videodirectory", "videos"}, {"picturedirectory", "pictures"}};
  for (const auto& m : media)
    script +=
        ClickOn("explorer", {"loadscreen;copy", std::string("explorerdestination;") + m.command,
                             "loadscreen;explorer"}) +
        "dump " + m.command + ".json\n";
  Run(script);
  for (const auto& m : media) {
    SCOPED_TRACE(m.command);
    // Settings values are read lower-cased; the missing folder is made under that name.
    EXPECT_EQ(ReadWholeFile(d + "/" + m.folder + "/two.txt"), std::string(1048, '2'));
    const std::string dump = Dump(std::string(m.command) + ".json");
    EXPECT_EQ(State(dump, "screen"), "explorer");
    EXPECT_EQ(DumpText(dump, "explorerdestination", "directory"),
              std::string("d:\\\\") + m.folder + "\\\\");
    EXPECT_EQ(DumpItems(dump, "explorerdestination", "filebox"),
              (std::vector<std::string>{"..", "two.txt"}));
  }
}

TEST_F(DefaultSkin, SelectionButtonsRebuildTheCopyList) {
  const std::string inBox = SourceInBox();
  Run(inBox + TapSource(inBox, "one.txt") +
      "press explorersource selectinvert\ndump invert.json\n"
      "press explorersource selectnon\ndump none.json\n"
      "press explorersource selectall\ndump all.json\n");
  const std::string invert = Dump("invert.json");
  EXPECT_NE(invert.find(R"("CopyListIndices": [1, )"), std::string::npos) << invert;
  EXPECT_EQ(invert.find(R"(C:\\box\\one.txt")"), std::string::npos);
  EXPECT_NE(invert.find(R"(C:\\box\\inner\\")"), std::string::npos);
  EXPECT_NE(Dump("none.json").find(R"("CopyList": [])"), std::string::npos);
  const std::string all = Dump("all.json");
  EXPECT_NE(all.find(R"("CopyListIndices": [1, 2, 3])"), std::string::npos) << all;
  // ".." is never part of a selection.
  EXPECT_EQ(FieldAfter(all, KeyAt(all, "explorersource", "filebox"), "selected"), "[false");
}

TEST_F(DefaultSkin, NewFolderAndRenameGoThroughTheKeyboard) {
  const std::string newSource =
      ClickOn("explorer", {"loadscreen;keyboard", "explorersource;createdirectory"});
  const std::string newDestination =
      ClickOn("explorer", {"loadscreen;keyboard", "explorerdestination;createdirectory"});
  Run("press loadscreen explorer\n" + newSource +
      "~ press keyboard shift\n~ press keyboard n\n~ press keyboard e\n~ press keyboard w\n"
      "~ dump typing.json\n~ press keyboard ok\n"
      "dump made.json\n" +
      newDestination +
      "~ press keyboard x\n~ press keyboard pc\n~ press keyboard 1\n~ press keyboard ok\n"
      // The cancel key empties the text and confirms it: nothing is created.
      + newSource + "~ press keyboard z\n~ press keyboard cancel\n" + "dump nothing.json\n");
  const std::string typing = Dump("typing.json");
  EXPECT_EQ(State(typing, "screen"), "keyboard");
  EXPECT_EQ(DumpText(typing, "keyboard", "maintextbox"), "New");
  EXPECT_TRUE(fs::is_directory(c + "/New"));
  EXPECT_TRUE(fs::is_directory(c + "/x;1"));
  EXPECT_FALSE(fs::exists(c + "/z"));
  const std::string made = Dump("made.json");
  EXPECT_EQ(State(made, "screen"), "explorer");
  EXPECT_GE(IndexOf(DumpItems(made, "explorersource", "filebox"), "New"), 1);
  const std::string nothing = Dump("nothing.json");
  EXPECT_EQ(State(nothing, "KeyboardText"), "");
  EXPECT_EQ(State(nothing, "KeyboardConfirmed"), "false");

  const std::string start = "press loadscreen explorer\n";
  const std::string rename = ClickOn("explorer", {"loadscreen;keyboard", "explorersource;rename"});
  Run(start + TapSource(start, "New") + rename +
      "~ press keyboard o\n~ press keyboard l\n~ press keyboard d\n~ press keyboard ok\n"
      "dump renamed.json\n");
  // A name that would leave the folder is refused.
  Run(start + TapSource(start, "box") + rename +
      "~ press keyboard .\n~ press keyboard .\n~ press keyboard ok\n");
  EXPECT_FALSE(fs::exists(c + "/New"));
  EXPECT_TRUE(fs::is_directory(c + "/old"));
  EXPECT_TRUE(fs::is_directory(c + "/box"));
  EXPECT_GE(IndexOf(DumpItems(Dump("renamed.json"), "explorersource", "filebox"), "old"), 1);
}

TEST_F(DefaultSkin, DeleteMovesTheSelectionIntoTheRecycleBin) {
  const char* home = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(home, nullptr);
  ASSERT_EQ(std::string(home).rfind("/tmp/", 0), 0u) << "the recycle bin must be a test's own";
  const std::string inBox = SourceInBox();
  Run(inBox + TapSource(inBox, "inner") + TapSource(inBox, "two.txt") +
      "press explorersource delete\ndump deleted.json\n");
  EXPECT_FALSE(fs::exists(c + "/box/inner"));
  EXPECT_FALSE(fs::exists(c + "/box/two.txt"));
  EXPECT_TRUE(fs::exists(c + "/box/one.txt"));
  EXPECT_EQ(ReadWholeFile(std::string(home) + "/Trash/files/inner/deep.txt"),
            std::string(2048, '3'));
  EXPECT_EQ(ReadWholeFile(std::string(home) + "/Trash/files/two.txt"), std::string(1048, '2'));
  const std::string deleted = Dump("deleted.json");
  EXPECT_NE(deleted.find(R"("CopyList": [])"), std::string::npos);
  EXPECT_EQ(DumpItems(deleted, "explorersource", "filebox"),
            (std::vector<std::string>{"..", "one.txt"}));
}

TEST_F(DefaultSkin, RunStartsOnlyPrograms) {
  const std::string ran = c + "/ran-bat";
  const std::string wrong = c + "/ran-txt";
  for (const auto& [file, marker] : {std::pair{"x.bat", ran}, std::pair{"y.txt", wrong}}) {
    const std::string path = c + "/box/" + file;
    std::ofstream(path) << "#!/bin/sh\ntouch '" << marker << "'\n";
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
  }
  const std::string inBox = SourceInBox();
  Run(inBox + TapSource(inBox, "y.txt") + "press explorersource run\n" + TapSource(inBox, "x.bat") +
      "press explorersource run\n");
  // The program is not waited for.
  for (int i = 0; i < 100 && !fs::exists(ran); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(fs::exists(ran));
  EXPECT_FALSE(fs::exists(wrong));
}

TEST_F(DefaultSkin, InformationCountsFoldersFilesAndSize) {
  WriteBytes(c + "/sizes/a.bin", 1000);
  WriteBytes(c + "/sizes/b.bin", 1048);
  WriteBytes(c + "/sizes/sub/c.bin", 2048);
  WriteBytes(c + "/sizes/.hidden", 1024);
  const std::string start = "press loadscreen explorer\n";
  const std::string back = ClickOn("explorerinfo", {"loadscreen;"});
  std::string script;
  for (const std::string group : {"explorersource", "explorerdestination"})
    script += "doubletap " + group + " filebox " + std::to_string(RowAfter(start, group, "sizes")) +
              "\n" + ClickOn("explorer", {"loadscreen;explorerinfo", group + ";info"}) + "dump " +
              group + ".json\n" + back;
  // One small file selected: no folder and less than a kilobyte.
  const std::string inSizes = start + script;
  script += "tap explorersource filebox " +
            std::to_string(RowAfter(inSizes, "explorersource", "a.bin")) + "\n" +
            ClickOn("explorer", {"loadscreen;explorerinfo", "explorersource;info"}) +
            "dump small.json\n" + back + "dump back.json\n";
  Run(start + script);
  for (const std::string group : {"explorersource", "explorerdestination"}) {
    SCOPED_TRACE(group);
    const std::string dump = Dump(group + ".json");
    EXPECT_EQ(State(dump, "screen"), "explorerinfo");
    // Hidden entries count here, though the list leaves them out.
    EXPECT_EQ(DumpText(dump, "explorerinfo", "directoriesfound"), "2");
    EXPECT_EQ(DumpText(dump, "explorerinfo", "filesfound"), "4");
    EXPECT_EQ(DumpText(dump, "explorerinfo", "total"), "6");
    EXPECT_EQ(DumpText(dump, "explorerinfo", "size"), "5.000 KB");
    EXPECT_EQ(FieldAfter(dump, KeyAt(dump, "explorerinfo", "cancel"), "enabled"), "false");
  }
  const std::string small = Dump("small.json");
  EXPECT_EQ(DumpText(small, "explorerinfo", "filesfound"), "1");
  EXPECT_EQ(DumpText(small, "explorerinfo", "size"), "-");
  EXPECT_EQ(DumpText(small, "explorerinfo", "directoriesfound"), "-");
  EXPECT_EQ(DumpText(small, "explorerinfo", "total"), "-");
  EXPECT_EQ(State(Dump("back.json"), "screen"), "explorer");
}

TEST_F(DefaultSkin, PagingButtonsMoveThroughALongFolder) {
  for (int i = 0; i < 40; ++i) WriteBytes(c + "/many/f" + std::to_string(100 + i), 1);
  const std::string start = "press loadscreen explorer\n";
  std::string script = start;
  for (const std::string group : {"explorersource", "explorerdestination"})
    script += "doubletap " + group + " filebox " + std::to_string(RowAfter(start, group, "many")) +
              "\n" + "press " + group + " pagedown\npress " + group + " pagedown\ndump " + group +
              "-down.json\npress " + group + " last\ndump " + group + "-last.json\npress " + group +
              " pageup\ndump " + group + "-up.json\npress " + group + " first\ndump " + group +
              "-first.json\n";
  Run(script);
  const int count = 41;
  for (const std::string group : {"explorersource", "explorerdestination"}) {
    SCOPED_TRACE(group);
    const std::string down = Dump(group + "-down.json");
    const int page = ListNumber(down, group, "filebox", "pageSize");
    ASSERT_LT(2 * page, count) << "the folder must be longer than two pages";
    // Pages overlap by one row.
    EXPECT_EQ(ListNumber(down, group, "filebox", "topIndex"), page - 1);
    EXPECT_EQ(ListNumber(down, group, "filebox", "focusIndex"), 2 * page - 2);
    const std::string last = Dump(group + "-last.json");
    EXPECT_EQ(ListNumber(last, group, "filebox", "topIndex"), count - page);
    EXPECT_EQ(ListNumber(last, group, "filebox", "bottomIndex"), count - 1);
    EXPECT_EQ(ListNumber(last, group, "filebox", "focusIndex"), count - 1);
    const std::string up = Dump(group + "-up.json");
    EXPECT_EQ(ListNumber(up, group, "filebox", "topIndex"), count - page);
    EXPECT_EQ(ListNumber(up, group, "filebox", "focusIndex"), count - page);
    const std::string first = Dump(group + "-first.json");
    EXPECT_EQ(ListNumber(first, group, "filebox", "topIndex"), 0);
    EXPECT_EQ(ListNumber(first, group, "filebox", "focusIndex"), 0);
  }
  // The single-selection pane carries its selection with the page; the source pane does not.
  const std::string down = Dump("explorerdestination-down.json");
  EXPECT_EQ(ListNumber(down, "explorerdestination", "filebox", "selCount"), 1);
  EXPECT_EQ(ListNumber(down, "explorerdestination", "filebox", "listIndex"),
            ListNumber(down, "explorerdestination", "filebox", "focusIndex"));
  EXPECT_EQ(ListNumber(Dump("explorersource-down.json"), "explorersource", "filebox", "selCount"),
            0);
}

}  // namespace
}  // namespace qv::test
