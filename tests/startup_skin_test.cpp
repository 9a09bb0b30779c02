// Start-up, skin pictures, screen changes and layout loading on the in-memory display.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestProgram.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "shell/modDeclares.h"

namespace qv::test {
namespace {

TEST(StartUp, OpensTheWindowFromTheSettingsAndShowsTheMainScreen) {
  TestApp app;
  app.WriteSettings(1024, 768, 12, 34);
  app.WriteSkin({"Mainscreen"});
  ASSERT_TRUE(app.Start()) << ::testing::PrintToString(app.diag().lines);
  Program& p = app.program();
  EXPECT_EQ(app.display().Caption(), "Quorvin");
  int left = 0;
  int top = 0;
  app.display().WindowPosition(&left, &top);
  EXPECT_EQ(left, 34);
  EXPECT_EQ(top, 12);
  EXPECT_EQ(app.display().WindowWidth(), 1024);
  EXPECT_EQ(app.display().WindowHeight(), 768);
  EXPECT_TRUE(app.display().Shown());
  EXPECT_FALSE(app.display().Minimized());
  EXPECT_EQ(p.skin.CurrentScreen, "Mainscreen");
  EXPECT_EQ(p.skin.PreviousScreen, "");
  EXPECT_EQ(p.explorer.SourcePath, "C:\\");
  EXPECT_EQ(p.explorer.DestinationPath, "C:\\");
  EXPECT_EQ(p.skin.DesignWidth, 1024);
  EXPECT_EQ(p.skin.DesignHeight, 768);
  // Two loading pictures and three of the main screen; the icons' subfolder is not entered.
  EXPECT_EQ(p.skin.SkinImages.size(), 5u);
  EXPECT_TRUE(Near(app.Pixel(500, 400), kEnabledRgb));
  EXPECT_TRUE(app.events().TimerEnabled(kCpuTimer));
  EXPECT_EQ(app.events().TimerInterval(kClockTimer), 500);
}

TEST(StartUp, LoadingBarCountsThroughEveryPicture) {
  TestApp app;
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen"});
  app.WriteLayout("loading",
                  "[0]\nType=statusbar\nCommand0=loading;status\nPosition=700;100;800;30\n"
                  "Font=arial;10;0;0;255|255|255;2\n");
  std::vector<int> seen;
  app.program().onYield = [&](Program& p) {
    if (!p.tables.StatusBars.empty()) seen.push_back(p.tables.StatusBars[0].Percent);
  };
  ASSERT_TRUE(app.Start());
  // The yield before picture k sees the value of picture k - 1; the last value is the final one.
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen, (std::vector<int>{0, 0, 25, 50, 75}));
  std::vector<std::string> names;
  for (const SkinImage& i : app.program().skin.SkinImages) names.push_back(i.name);
  EXPECT_NE(std::find(names.begin(), names.end(), "Mainscreen_enabled"), names.end());
}

TEST(StartUp, MissingOrBrokenSettingsTakeTheWholeDisplay) {
  for (const std::string& settings :
       {std::string(), std::string("[General]\nResX=abc\nResY=10\n")}) {
    TestApp app;
    if (!settings.empty()) app.WriteFile("settings.ini", settings);
    app.WriteSkin({"Mainscreen"});
    app.display().SetDisplaySize(800, 600);
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.display().WindowWidth(), 800);
    EXPECT_EQ(app.display().WindowHeight(), 600);
    EXPECT_EQ(app.program().settings.ResX, 800);
    EXPECT_EQ(app.diag().lines.size(), 1u);
    EXPECT_TRUE(app.diag().Mentions("settings.ini"));
    EXPECT_FLOAT_EQ(app.program().skin.ScaleX, 800.0f / 1024.0f);
  }
}

TEST(StartUp, SettingsValuesAreReadAndConverted) {
  TestApp app;
  app.WriteFile("settings.ini",
                "[general]\nresx=1024.5\nRESY=767.5\ntop=0\nleft=0\nStartMinimized=True\n"
                "[Audio]\nSource=C:\\Music\\MP3\\\n[Video]\nDestination=D:\\VIDEOS\\\n");
  app.WriteSkin({"Mainscreen"});
  ASSERT_TRUE(app.Start());
  const Settings& s = app.program().settings;
  EXPECT_EQ(s.ResX, 1024);
  EXPECT_EQ(s.ResY, 768);
  EXPECT_TRUE(s.StartMinimized);
  EXPECT_TRUE(app.display().Minimized());
  EXPECT_EQ(s.AudioSource, "c:\\music\\mp3\\");
  EXPECT_EQ(s.VideoDestination, "d:\\videos\\");
  EXPECT_EQ(s.PictureSource, "");
}

TEST(StartUp, RefusesASkinWithoutLoadingPictures) {
  for (const char* missing : {"Loading_enabled.jpg", "Loading_active.jpg"}) {
    TestApp app;
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen"});
    app.files().Remove(app.AppPath(std::string("Skin/") + missing));
    EXPECT_FALSE(app.Start());
    EXPECT_TRUE(app.diag().Mentions(missing)) << ::testing::PrintToString(app.diag().lines);
  }
}

class Screens : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1280, 1024);
    app.WriteSkin({"Mainscreen"});
    app.WritePicture("Skin/OTHER_Enabled.jpg", 1024, 768, 0x10E010);
    ASSERT_TRUE(app.Start());
  }
  TestApp app;
};

TEST_F(Screens, PicturesAreChosenByNameWithoutRegardToCase) {
  Program& p = app.program();
  ShowScreen(p, "other");
  EXPECT_EQ(p.skin.CurrentScreen, "other");
  EXPECT_EQ(p.skin.PreviousScreen, "Mainscreen");
  EXPECT_TRUE(Near(app.Pixel(640, 500), 0x10E010));
  // Only the enabled slot changed: pressed and disabled looks are the main screen's.
  DrawElementRect(p, 100, 100, 50, 50, kDrawActive);
  EXPECT_TRUE(Near(app.Pixel(120, 120), kActiveRgb));
  DrawElementRect(p, 200, 100, 50, 50, kDrawDisabled);
  EXPECT_TRUE(Near(app.Pixel(120, 220), kDisabledRgb));
  ShowScreen(p, "other");
  EXPECT_EQ(p.skin.PreviousScreen, "other");
}

TEST_F(Screens, ADisabledPictureListedLastIsNoEnabledLook) {
  Program& p = app.program();
  // Directory listings come in any order; put the disabled picture after the enabled one.
  std::vector<SkinImage>& images = p.skin.SkinImages;
  std::stable_partition(images.begin(), images.end(), [](const SkinImage& i) {
    return i.name.find("disabled") == std::string::npos;
  });
  ShowScreen(p, "mainscreen");
  EXPECT_TRUE(Near(app.Pixel(640, 500), kEnabledRgb));
  DrawElementRect(p, 0, 0, 10, 10, kDrawDisabled);
  EXPECT_TRUE(Near(app.Pixel(5, 5), kDisabledRgb));
}

TEST_F(Screens, ElementRectanglesAreCutFromTheDesignPicture) {
  Program& p = app.program();
  EXPECT_FLOAT_EQ(p.skin.ScaleX, 1.25f);
  const Rect src = SourceRectFor(p, 100, 125, 40, 50);
  EXPECT_EQ(src.x, 100);
  EXPECT_EQ(src.y, 75);
  EXPECT_EQ(src.x + src.w, 140);
  EXPECT_EQ(src.y + src.h, 105);

  const uint64_t before = app.display().PresentCalls();
  DrawElementRect(p, 0, 0, 10, 10, 3);
  EXPECT_EQ(app.display().PresentCalls(), before);
  EXPECT_TRUE(Near(app.Pixel(5, 5), kEnabledRgb));
  DrawElementRect(p, 0, 0, 10, 10, kDrawActive);
  EXPECT_TRUE(Near(app.Pixel(5, 5), kActiveRgb));
  EXPECT_TRUE(Near(app.Pixel(10, 10), kEnabledRgb));
  EXPECT_GT(app.display().PresentCalls(), before);
}

TEST_F(Screens, LayoutIsScaledSplitAndLowerCased) {
  Program& p = app.program();
  p.skin.ScaleY = 1.5f;
  app.WriteLayout("Layout",
                  "[0]\nType=BUTTON\nCommand0=LoadScreen;MainScreen\nCommand1=a;b;c\n"
                  "Command3=ignored;after-gap\nPosition=10;20;30;40\n"
                  "[1]\nType=textbox\nCommand0=x;y\nPosition=0;0;100;20\n"
                  "Font=Arial;10;True;0;255|128|0.5;3\n"
                  "[2]\nType=panel\nPosition=0;0;1;1\n"
                  "[3]\nType=button\nCommand0=defrag;start\nPosition=1;2;3;4\n");
  ShowScreen(p, "layout");
  ASSERT_EQ(p.tables.Buttons.size(), 2u);
  const ButtonElement& b = p.tables.Buttons[0];
  EXPECT_EQ(b.Top, 15);
  EXPECT_EQ(b.Left, 25);
  EXPECT_EQ(b.Width, 38);
  EXPECT_EQ(b.Height, 60);
  ASSERT_EQ(b.Commands.size(), 2u);
  EXPECT_EQ(b.Commands[0].Group, "loadscreen");
  EXPECT_EQ(b.Commands[0].Name, "mainscreen");
  EXPECT_EQ(b.Commands[1].Name, "b");
  EXPECT_TRUE(b.Enabled);
  EXPECT_FALSE(p.tables.Buttons[1].Enabled);
  ASSERT_EQ(p.tables.TextBoxes.size(), 1u);
  const TextBoxElement& t = p.tables.TextBoxes[0];
  EXPECT_EQ(t.FontName, "arial");
  EXPECT_EQ(t.FontSize, 15);
  EXPECT_TRUE(t.Bold);
  EXPECT_FALSE(t.Italic);
  EXPECT_EQ(t.FontColor, 255u + 256u * 128u);
  EXPECT_EQ(t.Alignment, 3);
}

TEST_F(Screens, MalformedSectionsAreSkippedAndAGapEndsTheLayout) {
  Program& p = app.program();
  app.WriteLayout(
      "bad",
      "[0]\nType=button\nCommand0=nosemicolon\nPosition=0;0;10;10\n"
      "[1]\nType=button\nCommand0=a;b\nPosition=0;0;10\n"
      "[2]\nType=textbox\nCommand0=a;b\nPosition=0;0;10;10\nFont=arial;10;0;0;1|2|3\n"
      "[3]\nType=statusbar\nCommand0=a;b\nPosition=0;0;x;10\nFont=arial;10;0;0;1|2|3;1\n"
      "[4]\nType=wibble\n"
      "[5]\nType=button\nCommand0=ok;fine\nPosition=0;0;10;10\n"
      "[7]\nType=button\nCommand0=after;gap\nPosition=0;0;10;10\n");
  ShowScreen(p, "bad");
  ASSERT_EQ(p.tables.Buttons.size(), 1u);
  EXPECT_EQ(p.tables.Buttons[0].Commands[0].Group, "ok");
  EXPECT_TRUE(p.tables.TextBoxes.empty());
  EXPECT_TRUE(p.tables.StatusBars.empty());
  // A screen without layout file has no elements but shows its pictures.
  ShowScreen(p, "nothing-here");
  EXPECT_TRUE(p.tables.Buttons.empty());
}

TEST_F(Screens, OutOfRangeFontsAreBoundedAndLostElementsNamed) {
  Program& p = app.program();
  app.WriteLayout("odd",
                  "[0]\nType=textbox\nCommand0=a;zero\nPosition=0;0;10;10\n"
                  "Font=arial;0;0;0;1|2|3;1\n"
                  "[1]\nType=textbox\nCommand0=a;huge\nPosition=0;0;10;10\n"
                  "Font=arial;30000;0;0;1|2|3;1\n"
                  "[2]\nType=button\nCommand0=a;far\nPosition=2147483647;0;10;10\n");
  ShowScreen(p, "odd");
  ASSERT_EQ(p.tables.TextBoxes.size(), 2u);
  // Scaled like any size: the window is 1024 high, the design 768.
  EXPECT_EQ(p.tables.TextBoxes[0].FontSize, 13);
  EXPECT_EQ(p.tables.TextBoxes[1].FontSize, kMaxFontPoints * 4 / 3);
  EXPECT_TRUE(p.tables.Buttons.empty());
  EXPECT_TRUE(app.diag().Mentions("section 2, places its element beyond"))
      << ::testing::PrintToString(app.diag().lines);
}

TEST_F(Screens, EmptyLoadscreenReturnsToThePreviousScreen) {
  Program& p = app.program();
  app.WriteLayout("Mainscreen",
                  "[0]\nType=button\nCommand0=loadscreen;other\nPosition=10;10;100;100\n");
  app.WriteLayout("other", "[0]\nType=button\nCommand0=loadscreen;\nPosition=10;10;100;100\n");
  ShowScreen(p, "Mainscreen");
  app.Click(60, 60);
  EXPECT_EQ(p.skin.CurrentScreen, "other");
  app.Click(60, 60);
  EXPECT_EQ(p.skin.CurrentScreen, "Mainscreen");
  EXPECT_EQ(p.skin.PreviousScreen, "other");
}

TEST_F(Screens, RepaintPresentsTheWholeWindowAndQuitEndsTheProgram) {
  Program& p = app.program();
  const uint64_t full = app.display().FullPresents();
  HandleEvent(p, Event{EventType::Repaint});
  EXPECT_EQ(app.display().FullPresents(), full + 1);
  app.events().Push(Event{EventType::Quit});
  EXPECT_EQ(MessageLoop(p), 0);
  EXPECT_FALSE(app.events().TimerEnabled(kCpuTimer));
  EXPECT_FALSE(app.events().TimerEnabled(kClockTimer));
}

}  // namespace
}  // namespace qv::test
