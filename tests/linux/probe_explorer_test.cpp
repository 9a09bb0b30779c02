// Whole explorer flows driven by quorvin-probe scripts on a test skin: select and paste, create
// a folder and rename through the keyboard screen, delete into the recycle bin, drive menu.
#include <gtest/gtest.h>

#include <fstream>

#include "LinuxTestProgram.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

class ProbeExplorer : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen", "explorer", "keyboard", "copy", "explorerdrive"});
    const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
    const std::string list =
        "MultiSelect=1\nSelFontColor=0|0|0\nSelBackgroundColor=0|255|0\n"
        "FocusRectColor=255|0|255\n";
    app.WriteLayout("Mainscreen",
                    "[0]\nType=button\nCommand0=loadscreen;explorer\nPosition=10;10;100;100\n");
    app.WriteLayout(
        "explorer",
        "[0]\nType=listbox\nCommand0=explorersource;filebox\nPosition=100;0;400;400\n" + font +
            list + "[1]\nType=listbox\nCommand0=explorerdestination;filebox\n" +
            "Position=100;500;400;400\n" + font + list +
            "[2]\nType=button\nCommand0=loadscreen;copy\nCommand1=explorerdestination;paste\n"
            "Position=600;0;100;100\n"
            "[3]\nType=button\nCommand0=loadscreen;keyboard\nCommand1=explorersource;"
            "createdirectory\n"
            "Position=600;100;100;100\n"
            "[4]\nType=button\nCommand0=explorersource;delete\nPosition=600;200;100;100\n"
            // The rename button shows the keyboard too; scripts click it by position.
            "[5]\nType=button\nCommand0=loadscreen;keyboard\nCommand1=explorersource;rename\n"
            "Position=600;300;100;100\n");
    app.WriteLayout("keyboard",
                    "[0]\nType=textbox\nCommand0=keyboard;maintextbox\nPosition=10;10;500;30\n" +
                        font +
                        "[1]\nType=button\nCommand0=keyboard;n\nPosition=100;0;80;80\n"
                        "[2]\nType=button\nCommand0=keyboard;e\nPosition=100;100;80;80\n"
                        "[3]\nType=button\nCommand0=keyboard;w\nPosition=100;200;80;80\n"
                        "[4]\nType=button\nCommand0=keyboard;ok\nCommand1=loadscreen;\n"
                        "Position=300;0;80;80\n");
    std::string copy;
    int n = 0;
    for (const char* box : {"filesfound", "filesnew", "filesexisting", "directoriesfound",
                            "directoriesnew", "directoriesexisting", "status", "total"}) {
      copy += "[" + std::to_string(n) + "]\nType=textbox\nCommand0=copy;" + box +
              "\nPosition=" + std::to_string(20 + 30 * n) + ";0;600;24\n" + font;
      ++n;
    }
    copy += "[" + std::to_string(n) +
            "]\nType=button\nCommand0=loadscreen;explorer\nPosition=600;0;100;100\n";
    app.WriteLayout("copy", copy);
    app.WriteLayout("explorerdrive",
                    "[0]\nType=drivelist\nCommand0=explorerdrive;maindrive\n"
                    "Position=10;10;300;20\n" +
                        font +
                        "MenuColor=0|0|0\nMenuFontColor=0|255|0\n"
                        "[1]\nType=button\nCommand0=loadscreen;explorer\n"
                        "Position=600;600;100;100\n");
    c = app.DrivePath('C');
    out = c + "/out";
  }
  // Row of an entry in the source file box, read from a first run of the probe.
  int SourceRow(const std::string& name) {
    const ProbeResult r = app.RunProbe("press loadscreen explorer\ndump rows.json\n", out);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> items =
        DumpItems(ReadWholeFile(out + "/rows.json"), "explorersource", "filebox");
    const auto at = std::find(items.begin(), items.end(), name);
    EXPECT_NE(at, items.end()) << name;
    return static_cast<int>(at - items.begin());
  }
  LinuxTestApp app{1};
  std::string c;
  std::string out;
};

TEST_F(ProbeExplorer, SelectTwoEntriesAndPaste) {
  std::ofstream(c + "/one.txt") << "first";
  std::ofstream(c + "/two.txt") << "second";
  const int one = SourceRow("one.txt");
  const int two = SourceRow("two.txt");
  const ProbeResult r = app.RunProbe(
      "press loadscreen explorer\n"
      "tap explorersource filebox " +
          std::to_string(one) +
          "\n"
          "tap explorersource filebox " +
          std::to_string(two) +
          "\n"
          "dump selected.json\n"
          "press loadscreen copy\n"
          "dump copied.json\n",
      out);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string selected = ReadWholeFile(out + "/selected.json");
  const size_t list = selected.find("\"CopyList\": [");
  ASSERT_NE(list, std::string::npos);
  const std::string copyList = selected.substr(list, selected.find(']', list) - list);
  EXPECT_NE(copyList.find("\"C:\\\\one.txt\""), std::string::npos) << copyList;
  EXPECT_NE(copyList.find("\"C:\\\\two.txt\""), std::string::npos) << copyList;
  EXPECT_EQ(std::count(copyList.begin(), copyList.end(), ','), 1) << copyList;
  // The destination explorer starts at the program's drive root: the files are there already,
  // so nothing is copied and both count as existing.
  const std::string copied = ReadWholeFile(out + "/copied.json");
  EXPECT_EQ(DumpText(copied, "copy", "filesfound"), "2") << copied;
  EXPECT_EQ(DumpText(copied, "copy", "filesexisting"), "2");
  EXPECT_EQ(DumpText(copied, "copy", "filesnew"), "-");
  EXPECT_EQ(ReadWholeFile(c + "/one.txt"), "first");
}

TEST_F(ProbeExplorer, PasteIntoAnotherDriveThroughTheDriveChoice) {
  std::ofstream(c + "/one.txt") << "first";
  const int one = SourceRow("one.txt");
  const std::string d = app.DrivePath('D');
  // ".." at the root of the destination pane leads to the drive choice; row 2 of the open menu
  // is D: (row 0 repeats the current drive, row 1 is C:).
  const ProbeResult r = app.RunProbe(
      "press loadscreen explorer\n"
      "doubletap explorerdestination filebox 0\n"
      "tap explorerdrive maindrive 0\n"
      "dump menu.json\n"
      "tap explorerdrive maindrive 2\n"
      "dump chosen.json\n"
      "press loadscreen explorer\n"
      "tap explorersource filebox " +
          std::to_string(one) +
          "\n"
          "press loadscreen copy\n"
          "dump copied.json\n",
      out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadWholeFile(out + "/menu.json").find("\"menuOpen\": true"), std::string::npos);
  const std::string chosen = ReadWholeFile(out + "/chosen.json");
  EXPECT_NE(chosen.find("\"menuOpen\": false"), std::string::npos);
  EXPECT_NE(chosen.find("\"DestinationPath\": \"D:\\\\\""), std::string::npos) << chosen;
  EXPECT_EQ(ReadWholeFile(d + "/one.txt"), "first");
  const std::string copied = ReadWholeFile(out + "/copied.json");
  EXPECT_EQ(DumpText(copied, "copy", "filesnew"), "1") << copied;
  EXPECT_EQ(DumpText(copied, "copy", "status"), "D:\\\\one.txt");
}

TEST_F(ProbeExplorer, CreateAFolderAndRenameThroughTheKeyboard) {
  const ProbeResult r = app.RunProbe(
      "press loadscreen explorer\n"
      "press loadscreen keyboard\n"
      "~ press keyboard n\n"
      "~ press keyboard e\n"
      "~ press keyboard w\n"
      "~ press keyboard ok\n"
      "dump created.json\n",
      out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_directory(c + "/new"));
  const std::string created = ReadWholeFile(out + "/created.json");
  EXPECT_NE(created.find("\"screen\": \"explorer\""), std::string::npos);
  const auto items = DumpItems(created, "explorersource", "filebox");
  EXPECT_NE(std::find(items.begin(), items.end(), "new"), items.end());

  const int row = SourceRow("new");
  const ProbeResult renamed = app.RunProbe(
      "press loadscreen explorer\n"
      "tap explorersource filebox " +
          std::to_string(row) +
          "\n"
          "click 350 650\n"
          "~ press keyboard w\n"
          "~ press keyboard e\n"
          "~ press keyboard ok\n",
      out);
  ASSERT_EQ(renamed.status, 0) << renamed.err;
  EXPECT_FALSE(fs::exists(c + "/new"));
  EXPECT_TRUE(fs::is_directory(c + "/we"));
}

TEST_F(ProbeExplorer, AScriptThatNeverConfirmsEndsWithAnError) {
  const ProbeResult r = app.RunProbe(
      "press loadscreen explorer\n"
      "press loadscreen keyboard\n"
      "dump never.json\n",
      out);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\"ok\""), std::string::npos) << r.err;
}

TEST_F(ProbeExplorer, DeleteIntoTheRecycleBin) {
  const char* home = std::getenv("XDG_DATA_HOME");
  ASSERT_NE(home, nullptr);
  ASSERT_EQ(std::string(home).rfind("/tmp/", 0), 0u);
  const std::string name = "bin-me-" + std::to_string(::getpid()) + ".txt";
  std::ofstream(c + "/" + name) << "trash";
  const int row = SourceRow(name);
  const ProbeResult r = app.RunProbe(
      "press loadscreen explorer\n"
      "tap explorersource filebox " +
          std::to_string(row) +
          "\n"
          "press explorersource delete\n",
      out);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(c + "/" + name));
  EXPECT_EQ(ReadWholeFile(std::string(home) + "/Trash/files/" + name), "trash");
}

}  // namespace
}  // namespace qv::test
