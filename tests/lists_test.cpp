// Lists: the row model, selection, pointer, paging, the log box, drive lists and diagrams.
#include <gtest/gtest.h>

#include "TestProgram.h"
#include "files/modExplorerSource.h"
#include "files/modTools.h"
#include "shell/frmMain.h"
#include "widgets/modDiagramm.h"
#include "widgets/modDriveList.h"
#include "widgets/modListbox.h"
#include "widgets/modTextBoxMultiline.h"

namespace qv::test {
namespace {

constexpr uint32_t kSelBack = 0x00FF00;  // 0|255|0 in the layout

class Lists : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen"});
    const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
    const std::string colours =
        "SelFontColor=0|0|0\nSelBackgroundColor=0|255|0\nFocusRectColor=255|0|255\n";
    app.WriteLayout(
        "Mainscreen",
        "[0]\nType=listbox\nCommand0=test;multi\nPosition=100;100;300;160\n" + font +
            "MultiSelect=1\n" + colours +
            "[1]\nType=listbox\nCommand0=test;single\nPosition=300;100;300;160\n" + font +
            "MultiSelect=0\n" + colours +
            "[2]\nType=textboxmultiline\nCommand0=checkhdd;maintextbox\nPosition=500;100;300;80\n" +
            font +
            "[3]\nType=drivelist\nCommand0=explorerdrive;maindrive\nPosition=50;600;300;20\n" +
            font + "MenuColor=0|0|0\nMenuFontColor=0|255|0\n" +
            "[4]\nType=diagramm\nCommand0=test;diagram\nPosition=600;500;400;100\n" +
            "[5]\nType=listbox\nCommand0=explorersource;filebox\nPosition=100;600;300;160\n" +
            font + "MultiSelect=1\n" + colours);
    ASSERT_TRUE(app.Start());
  }
  Program& p() { return app.program(); }
  ListElement& multi() { return p().tables.ListBoxes[0]; }
  ListElement& single() { return p().tables.ListBoxes[1]; }
  ListElement& log() { return p().tables.MultiLineTextBoxes[0]; }
  ListElement& drives() { return p().tables.DriveLists[0]; }
  void Fill(const std::string& name, int count) {
    ClearListByKey(p(), "test", name);
    BeginListUpdate(p(), "test", name);
    for (int i = 0; i < count; ++i) AddListItem(p(), "test", name, "item " + std::to_string(i), -1);
    EndListUpdate(p(), "test", name);
  }
  // Centre of visible row r of a list.
  static double RowY(const ListElement& l, int r) { return l.Top + r * l.RowHeight + 8; }
  void ExpectView(const ListElement& l, int top, int bottom, int focus) {
    EXPECT_EQ(l.TopIndex, top);
    EXPECT_EQ(l.BottomIndex, bottom);
    EXPECT_EQ(l.FocusIndex, focus);
  }
  TestApp app{1};
};

TEST_F(Lists, RowsFollowTheHeight) {
  EXPECT_EQ(multi().RowHeight, 16);
  Fill("multi", 1);
  EXPECT_EQ(multi().PageSize, 10);
  ListElement l;
  l.Height = 100;
  l.RowHeight = 15;
  ComputeRows(l);
  EXPECT_EQ(l.PageSize, 6);
  l.Height = 5;
  ComputeRows(l);
  EXPECT_EQ(l.PageSize, 1);
  l.Height = 2000;
  l.RowHeight = 16;
  ComputeRows(l);
  EXPECT_EQ(l.PageSize, 125);
  ASSERT_EQ(l.RowOffsets.size(), 125u);
  EXPECT_EQ(l.RowOffsets[124], 124 * 16);
}

TEST_F(Lists, PagingAMultipleSelectionList) {
  Fill("multi", 25);
  ExpectView(multi(), 0, 9, 0);
  PageListBoxes(p(), "test", "multi", "pagedown");
  ExpectView(multi(), 0, 9, 9);
  PageListBoxes(p(), "test", "multi", "pagedown");
  ExpectView(multi(), 9, 18, 18);
  PageListBoxes(p(), "test", "multi", "pagedown");
  ExpectView(multi(), 15, 24, 24);
  PageListBoxes(p(), "test", "multi", "pagedown");
  ExpectView(multi(), 15, 24, 24);
  PageListBoxes(p(), "test", "multi", "pageup");
  ExpectView(multi(), 15, 24, 15);
  PageListBoxes(p(), "test", "multi", "first");
  ExpectView(multi(), 0, 9, 0);
  PageListBoxes(p(), "test", "multi", "last");
  ExpectView(multi(), 15, 24, 24);
  EXPECT_EQ(multi().SelCount, 0);
}

TEST_F(Lists, PagingASingleSelectionListMovesTheSelection) {
  Fill("single", 25);
  PageListBoxes(p(), "test", "single", "pagedown");
  EXPECT_EQ(single().ListIndex, 9);
  EXPECT_TRUE(single().Selected[9]);
  PageListBoxes(p(), "test", "single", "last");
  EXPECT_EQ(single().ListIndex, 24);
  EXPECT_EQ(single().SelCount, 1);
  EXPECT_FALSE(single().Selected[9]);
  // Paging an empty list changes nothing and does not fail.
  Fill("single", 0);
  for (const char* how : {"pageup", "pagedown", "first", "last"})
    PageListBoxes(p(), "test", "single", how);
  EXPECT_EQ(single().ListCount, 0);
  EXPECT_EQ(GetItemText(single(), -1), "");
  EXPECT_EQ(GetItemText(single(), 3), "");
}

TEST_F(Lists, ClicksSelectSinglyOrToggle) {
  Fill("single", 12);
  app.Click(150, RowY(single(), 4));
  app.Click(150, RowY(single(), 7));
  EXPECT_EQ(single().ListIndex, 7);
  EXPECT_EQ(single().SelCount, 1);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(single().Selected[i], i == 7) << i;
  // Drawn on the selection colour.
  EXPECT_TRUE(Near(app.Pixel(390, static_cast<int>(RowY(single(), 7))), kSelBack));
  EXPECT_FALSE(Near(app.Pixel(390, static_cast<int>(RowY(single(), 4))), kSelBack));

  Fill("multi", 12);
  app.Click(150, RowY(multi(), 4));
  EXPECT_EQ(multi().SelCount, 1);
  app.Click(150, RowY(multi(), 4));
  EXPECT_EQ(multi().SelCount, 0);
  EXPECT_FALSE(multi().Selected[4]);
  EXPECT_EQ(multi().FocusIndex, 4);
}

TEST_F(Lists, PressesBelowTheLastItemAndReleasesElsewhere) {
  Fill("multi", 3);
  app.Click(150, RowY(multi(), 5));
  EXPECT_EQ(multi().SelCount, 0);
  EXPECT_EQ(multi().Tracking, 0);
  Fill("multi", 25);
  OnPointerDown(p(), 1, 0, 150, static_cast<float>(RowY(multi(), 2)));
  OnPointerUp(p(), 1, 0, 900, 700);  // outside every list
  EXPECT_EQ(multi().Tracking, 1);
  PageListBoxes(p(), "test", "multi", "pagedown");
  ExpectView(multi(), 0, 9, 2);
  OnPointerUp(p(), 2, 0, 150, static_cast<float>(RowY(multi(), 2)));  // right button
  EXPECT_EQ(multi().Tracking, 1);
  OnPointerUp(p(), 1, 0, 150, static_cast<float>(RowY(multi(), 2)));
  EXPECT_EQ(multi().Tracking, 0);
  PageListBoxes(p(), "test", "multi", "pagedown");
  ExpectView(multi(), 2, 11, 11);
}

TEST_F(Lists, LogShowsItsNewestLinesAndPagesBack) {
  for (int i = 0; i < 12; ++i)
    AppendLines(p(), "checkhdd", "maintextbox", "line " + std::to_string(i));
  ExpectView(log(), 7, 11, 11);
  LogPageUp(p(), "checkhdd", "maintextbox");
  ExpectView(log(), 7, 11, 7);
  LogPageUp(p(), "checkhdd", "maintextbox");
  ExpectView(log(), 3, 7, 3);

  ClearLog(p(), "checkhdd", "maintextbox");
  EXPECT_EQ(log().ListCount, 0);
  AppendLines(p(), "checkhdd", "maintextbox", "a\r\nb");
  EXPECT_EQ(log().Items, (std::vector<std::string>{"a", "b"}));
  AppendLines(p(), "checkhdd", "maintextbox", "c\r\n");
  EXPECT_EQ(log().Items, (std::vector<std::string>{"a", "b", "c", ""}));

  ClearLog(p(), "checkhdd", "maintextbox");
  AppendLines(p(), "checkhdd", "maintextbox", "0\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7");
  EXPECT_EQ(log().TopIndex, 0);
  EXPECT_EQ(log().BottomIndex, 4);
}

TEST_F(Lists, IconsShiftTheTextAndAreDrawnInTheRow) {
  ClearListByKey(p(), "test", "multi");
  AddListItem(p(), "test", "multi", "folder", 0);
  AddListItem(p(), "test", "multi", "plain", -1);
  EndListUpdate(p(), "test", "multi");
  EXPECT_TRUE(Near(app.Pixel(115, 108), 0xE0C040));  // folder icon of row 0
  EXPECT_FALSE(Near(app.Pixel(115, 124), 0xE0C040));
  // Text blocks of the test display start one pixel after the text's x.
  EXPECT_TRUE(Near(app.Pixel(100 + 33 + 2, 108), 0xFFFFFF, 40));
  EXPECT_TRUE(Near(app.Pixel(100 + 3 + 2, 124), 0xFFFFFF, 40));
}

TEST(ListsWithoutIcons, MissingIconFilesLeaveRowsWithoutPictures) {
  TestApp app;
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen"});
  app.files().Remove(app.AppPath("Skin/icons"));
  app.WriteLayout("Mainscreen",
                  "[0]\nType=listbox\nCommand0=test;list\nPosition=100;100;300;160\n"
                  "Font=arial;10;0;0;255|255|255;1\nMultiSelect=0\nSelFontColor=0|0|0\n"
                  "SelBackgroundColor=0|255|0\nFocusRectColor=255|0|255\n");
  ASSERT_TRUE(app.Start());
  EXPECT_TRUE(app.diag().Mentions("Folder.jpg"));
  AddListItem(app.program(), "test", "list", "folder", 0);
  EndListUpdate(app.program(), "test", "list");
  EXPECT_EQ(app.program().tables.ListBoxes[0].ListCount, 1);
  EXPECT_TRUE(Near(app.Pixel(115, 108), kEnabledRgb));
}

TEST(DriveCaptions, UnreadableVolumesAndTheFloppyLettersShowTheBareRoot) {
  TestApp app(1);
  app.files().RemoveDrive('D');
  EXPECT_EQ(GetDriveCaption(app.program(), "D:\\"), "D:\\");
  EXPECT_EQ(GetDriveCaption(app.program(), "a:\\"), "a:\\");
  EXPECT_EQ(GetDriveCaption(app.program(), "B:\\"), "B:\\");
}

TEST_F(Lists, SelectionCommandsFillTheCopyList) {
  ASSERT_TRUE(app.files().CreateFolder("C:\\sub").ok());
  app.files().WriteFile("C:\\a.txt", "a");
  app.files().WriteFile("C:\\b.txt", "b");
  ClearListByKey(p(), "explorersource", "filebox");
  BeginListUpdate(p(), "explorersource", "filebox");
  for (const char* item : {"..", "sub", "a.txt", "b.txt"})
    AddListItem(p(), "explorersource", "filebox", item, -1);
  EndListUpdate(p(), "explorersource", "filebox");
  SelectAllFiles(p(), "explorersource", "filebox");
  EXPECT_EQ(p().explorer.CopyList,
            (std::vector<std::string>{"C:\\sub\\", "C:\\a.txt", "C:\\b.txt"}));
  EXPECT_EQ(p().explorer.CopyListIndices, (std::vector<int32_t>{1, 2, 3}));
  InvertFileSelection(p(), "explorersource", "filebox");
  EXPECT_TRUE(p().explorer.CopyList.empty());
  // A tap on ".." never leaves it selected; every tap rebuilds the copy list.
  const ListElement& box = p().tables.ListBoxes[2];
  app.Click(700, RowY(box, 0));
  EXPECT_FALSE(box.Selected[0]);
  app.Click(700, RowY(box, 2));
  EXPECT_EQ(p().explorer.CopyList, (std::vector<std::string>{"C:\\a.txt"}));
}

TEST_F(Lists, DriveMenuOpensChoosesAndRestoresTheWindow) {
  const std::string c = GetDriveCaption(p(), "C:\\");
  const std::string d = GetDriveCaption(p(), "D:\\");
  EXPECT_EQ(GetChosenDrive(p(), "explorerdrive", "maindrive"), "C:\\");
  ASSERT_EQ(drives().Items, (std::vector<std::string>{c}));
  const auto* back = dynamic_cast<const MemorySurface*>(p().skin.BackBuffer.get());
  ASSERT_NE(back, nullptr);
  const std::vector<uint32_t> before = back->pixels();
  p().explorer.DriveRequester = "explorersourcedrive";

  app.Click(700, RowY(drives(), 0));
  EXPECT_TRUE(drives().MenuOpen);
  EXPECT_EQ(drives().Items, (std::vector<std::string>{c, c, d}));
  EXPECT_EQ(drives().SelCount, 2);
  EXPECT_FALSE(app.events().TimerEnabled(kCpuTimer));

  app.Click(700, RowY(drives(), 2));
  EXPECT_FALSE(drives().MenuOpen);
  EXPECT_EQ(drives().Items, (std::vector<std::string>{d}));
  EXPECT_EQ(GetChosenDrive(p(), "explorerdrive", "maindrive"), d);
  EXPECT_EQ(p().explorer.SourcePath, "D:\\");
  EXPECT_TRUE(app.events().TimerEnabled(kCpuTimer));
  // Below the closed list the window is exactly as before the menu opened.
  const int below = drives().Top + drives().Height + 3;
  size_t differing = 0;
  for (int y = below; y < 768; ++y)
    for (int x = 0; x < 1024; ++x)
      if (back->pixels()[static_cast<size_t>(y) * 1024 + x] !=
          before[static_cast<size_t>(y) * 1024 + x])
        ++differing;
  EXPECT_EQ(differing, 0u);

  LockDriveList(p(), "explorerdrive", "maindrive");
  app.Click(700, RowY(drives(), 0));
  EXPECT_FALSE(drives().MenuOpen);
  EXPECT_EQ(GetChosenDrive(p(), "explorerdrive", "maindrive"), d);
  EXPECT_FALSE(drives().Selected[0]);
  UnlockDriveList(p(), "explorerdrive", "maindrive");
  app.Click(700, RowY(drives(), 0));
  EXPECT_TRUE(drives().MenuOpen);
}

TEST_F(Lists, DiagramBlocksAndClearing) {
  SetDrawColor(p(), 0xFFFFFF);
  DrawDiagramBlock(p(), "test", "diagram", 0.0f, 1.0f);
  EXPECT_TRUE(Near(app.Pixel(500, 650), 0xFFFFFF));
  EXPECT_TRUE(Near(app.Pixel(900, 650), 0xFFFFFF));
  EXPECT_TRUE(Near(app.Pixel(700, 600), 0xFFFFFF));
  DrawDiagramBlock(p(), "test", "diagram", 0.5f, 0.5f);
  EXPECT_TRUE(Near(app.Pixel(700, 620), 0xFFFFFF));
  ClearDiagram(p(), "test", "diagram");
  EXPECT_TRUE(Near(app.Pixel(700, 620), kEnabledRgb));
  EXPECT_TRUE(Near(app.Pixel(500, 650), kEnabledRgb));
  DrawDiagramBlock(p(), "no", "such", 0.0f, 1.0f);
}

}  // namespace
}  // namespace qv::test
