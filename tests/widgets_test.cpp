// Buttons, the dispatcher, text boxes, status bars and the keyboard on a test skin.
#include <gtest/gtest.h>

#include "TestProgram.h"
#include "commands/modDispatch.h"
#include "core/ProfileString.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "widgets/modButton.h"
#include "widgets/modKeyboard.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBox.h"

namespace qv::test {
namespace {

class Widgets : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen", "keyboard", "second"});
    app.WriteLayout("keyboard",
                    "[0]\nType=button\nCommand0=keyboard;a\nPosition=100;100;100;50\n"
                    "[1]\nType=button\nCommand0=keyboard;shift\nPosition=200;100;100;50\n"
                    "[2]\nType=button\nCommand0=keyboard;caps\nPosition=300;100;100;50\n"
                    "[3]\nType=button\nCommand0=loadscreen;second\nCommand1=keyboard;x\n"
                    "Position=400;100;100;50\n"
                    "[4]\nType=textbox\nCommand0=keyboard;maintextbox\nPosition=10;10;400;30\n"
                    "Font=arial;10;0;0;255|255|255;1\n"
                    "[5]\nType=button\nCommand0=copy;cancel\nPosition=500;100;100;50\n"
                    "[6]\nType=button\nCommand0=keyboard;b\nPosition=520;120;100;50\n"
                    "[7]\nType=button\nCommand0=keyboard;c\nPosition=600;100;100;50\n"
                    "[8]\nType=button\nCommand0=loadscreen;nowhere\nPosition=700;100;100;50\n"
                    "[9]\nType=button\nPosition=700;300;100;50\n"
                    "[10]\nType=button\nCommand0=bogus;word\nCommand1=keyboard;zz\n"
                    "Command2=copy;other\nCommand3=keyboard;pc\nCommand4=keyboard;spacebar\n"
                    "Position=600;300;100;50\n");
    // A drive list on the next screen right under the button that leads there.
    app.WriteLayout("second",
                    "[0]\nType=drivelist\nCommand0=explorerdrive;maindrive\n"
                    "Position=380;80;300;90\nFont=arial;10;0;0;255|255|255;1\n"
                    "MenuColor=0|0|0\nMenuFontColor=0|255|0\n");
    ASSERT_TRUE(app.Start());
    ShowScreen(app.program(), "keyboard");
  }
  Program& p() { return app.program(); }
  std::string& typed() { return app.program().keyboard.KeyboardText; }
  TestApp app;
};

TEST_F(Widgets, PressShowsTheActiveLookAndReleaseDispatches) {
  OnPointerDown(p(), 1, 0, 150, 125);
  EXPECT_EQ(p().shell.PressedButton, 0);
  EXPECT_TRUE(Near(app.Pixel(150, 125), kActiveRgb));
  OnPointerUp(p(), 1, 0, 150, 125);
  EXPECT_TRUE(Near(app.Pixel(150, 125), kEnabledRgb));
  EXPECT_EQ(typed(), "a");
}

TEST_F(Widgets, EdgesAreOutsideAndDraggingOffRunsNothing) {
  app.Click(100, 125);  // left edge
  app.Click(150, 100);  // top edge
  app.Click(200, 125);  // right edge
  EXPECT_EQ(typed(), "");
  OnPointerDown(p(), 1, 0, 150, 125);
  OnPointerUp(p(), 1, 0, 150, 325);  // released over another enabled button
  EXPECT_EQ(typed(), "");
  EXPECT_TRUE(Near(app.Pixel(150, 125), kEnabledRgb));
  EXPECT_EQ(p().skin.CurrentScreen, "keyboard");
}

TEST_F(Widgets, DoubleClickOnAButtonThatStaysDispatchesTwice) {
  OnPointerDown(p(), 1, 0, 150, 125);
  OnPointerUp(p(), 1, 0, 150, 125);
  HandleEvent(p(), Event{EventType::DoubleClick});
  OnPointerUp(p(), 1, 0, 150, 125);
  EXPECT_EQ(typed(), "aa");
}

TEST_F(Widgets, AReleaseActsOnlyOnTheScreenOfItsPress) {
  // A double tap whose first release leaves the screen: the second release and the double
  // click land on the next screen and must not open its drive menu.
  OnPointerDown(p(), 1, 0, 150, 425);
  OnPointerUp(p(), 1, 0, 150, 425);
  ASSERT_EQ(p().skin.CurrentScreen, "second");
  HandleEvent(p(), Event{EventType::DoubleClick});
  OnPointerUp(p(), 1, 0, 150, 425);
  ASSERT_EQ(p().tables.DriveLists.size(), 1u);
  EXPECT_FALSE(p().tables.DriveLists[0].MenuOpen);
  // A fresh tap there opens it.
  app.Click(150, 425);
  EXPECT_TRUE(p().tables.DriveLists[0].MenuOpen);
}

TEST_F(Widgets, ADisabledButtonHidesTheEnabledOneBelowIt) {
  // ("copy", "cancel") starts disabled and overlaps ("keyboard", "b").
  EXPECT_FALSE(p().tables.Buttons[4].Enabled);
  EXPECT_TRUE(Near(app.Pixel(110, 510), kDisabledRgb));
  app.Click(150, 530);
  EXPECT_EQ(p().shell.PressedButton, -1);
  EXPECT_EQ(typed(), "");
  app.Click(210, 560);  // only ("keyboard", "b") is here
  EXPECT_EQ(typed(), "b");
}

TEST_F(Widgets, PairsAfterAScreenChangeStillRun) {
  app.Click(150, 425);
  EXPECT_EQ(p().skin.CurrentScreen, "second");
  EXPECT_EQ(typed(), "x");
}

TEST_F(Widgets, UnknownWordsButtonsWithoutCommandsAndMissingScreensAreHarmless) {
  app.Click(350, 725);  // no commands
  app.Click(350, 625);  // unknown words and arguments between two known keys
  EXPECT_EQ(typed(), "; ");
  app.Click(150, 725);  // a screen without pictures or layout
  EXPECT_EQ(p().skin.CurrentScreen, "nowhere");
  EXPECT_TRUE(p().tables.Buttons.empty());
  EXPECT_TRUE(Near(app.Pixel(5, 5), kEnabledRgb));
}

TEST_F(Widgets, EnableAndDisableByKeyWithWildcard) {
  DisableButtons(p(), "keyboard", "*");
  for (const ButtonElement& b : p().tables.Buttons) {
    if (!b.Commands.empty() && b.Commands[0].Group == "keyboard") {
      EXPECT_FALSE(b.Enabled);
    }
  }
  EXPECT_TRUE(p().tables.Buttons[3].Enabled);
  EXPECT_TRUE(Near(app.Pixel(150, 125), kDisabledRgb));
  EnableButtons(p(), "keyboard", "a", true);
  EXPECT_TRUE(p().tables.Buttons[0].Enabled);
  EXPECT_TRUE(Near(app.Pixel(150, 125), kDisabledRgb));  // the flag only
  app.Click(150, 125);
  EXPECT_EQ(typed(), "a");
  DisableButtons(p(), "*", "*");  // a group of "*" is no wildcard
  EXPECT_TRUE(p().tables.Buttons[0].Enabled);
  std::vector<int16_t> found{7, 7};
  FindButtons(p(), "keyboard", "nothing", found);
  EXPECT_EQ(found, (std::vector<int16_t>{7, 7}));
  FindButtons(p(), "keyboard", "caps", found);
  EXPECT_EQ(found, (std::vector<int16_t>{2}));
}

TEST_F(Widgets, KeyboardShiftAndCaps) {
  for (const char* k : {"shift", "a", "b"}) RunCommand(p(), "keyboard", k);
  EXPECT_EQ(typed(), "Ab");
  EXPECT_FALSE(p().keyboard.ShiftOn);
  EXPECT_TRUE(Near(app.Pixel(150, 225), kEnabledRgb));
  DiscardText(p());
  for (const char* k : {"caps", "a", "shift", "b", "1"}) RunCommand(p(), "keyboard", k);
  EXPECT_EQ(typed(), "AB1");
  EXPECT_TRUE(Near(app.Pixel(150, 325), kActiveRgb));
  RunCommand(p(), "keyboard", "caps");
  EXPECT_FALSE(p().keyboard.ShiftOn);
  RunCommand(p(), "keyboard", "shift");
  RunCommand(p(), "keyboard", "caps");
  RunCommand(p(), "keyboard", "caps");
  EXPECT_FALSE(p().keyboard.ShiftOn);
  EXPECT_TRUE(Near(app.Pixel(150, 225), kActiveRgb));  // shift key keeps its old look
}

TEST_F(Widgets, KeyboardBackCancelAndOk) {
  RunCommand(p(), "keyboard", "back");
  EXPECT_EQ(typed(), "");
  for (const char* k : {"a", "b", "c"}) RunCommand(p(), "keyboard", k);
  RunCommand(p(), "keyboard", "cancel");
  EXPECT_EQ(typed(), "");
  EXPECT_EQ(p().tables.TextBoxes[0].Text, "abc");  // shown until the next key
  RunCommand(p(), "keyboard", "d");
  EXPECT_EQ(p().tables.TextBoxes[0].Text, "d");
  EXPECT_FALSE(p().keyboard.KeyboardConfirmed);
  RunCommand(p(), "keyboard", "ok");
  EXPECT_TRUE(p().keyboard.KeyboardConfirmed);
}

class Boxes : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen"});
    // Text boxes 100 pixels wide hold 12 characters of the test display's 8-pixel font.
    app.WriteLayout("Mainscreen",
                    "[0]\nType=textbox\nCommand0=t;left\nPosition=0;0;100;20\n"
                    "Font=arial;10;0;0;255|255|255;1\n"
                    "[1]\nType=textbox\nCommand0=t;centre\nPosition=30;0;100;20\n"
                    "Font=arial;10;0;0;255|255|255;2\n"
                    "[2]\nType=textbox\nCommand0=t;right\nPosition=60;0;100;20\n"
                    "Font=arial;10;0;0;255|255|255;3\n"
                    "[3]\nType=textbox\nCommand0=t;tiny\nPosition=90;0;20;20\n"
                    "Font=arial;10;0;0;255|255|255;1\n"
                    "[4]\nType=textbox\nCommand0=t;twin\nPosition=120;0;100;20\n"
                    "Font=arial;10;0;0;255|255|255;0\n"
                    "[5]\nType=textbox\nCommand0=t;twin\nPosition=150;0;100;20\n"
                    "Font=arial;10;0;0;255|255|255;0\n"
                    "[6]\nType=statusbar\nCommand0=s;bar\nPosition=200;0;200;20\n"
                    "Font=arial;10;0;0;255|255|255;3\n"
                    "[7]\nType=statusbar\nCommand0=s;narrow\nPosition=240;0;120;20\n"
                    "Font=arial;10;0;0;255|255|255;2\n");
    ASSERT_TRUE(app.Start());
  }
  Program& p() { return app.program(); }
  std::string Drawn(const std::string& name, const std::string& text) {
    const TextBoxElement* box = nullptr;
    for (const TextBoxElement& b : p().tables.TextBoxes)
      if (b.HasKey("t", name)) box = &b;
    SelectElementFont(p(), *box, box->FontColor);
    return ShortenText(p(), text, box->Alignment, box->Width, box->Width);
  }
  // Rightmost column of a box's row where text was drawn in white.
  int LastTextColumn(int top) {
    int last = -1;
    for (int x = 0; x < 300; ++x)
      for (int y = top; y < top + 20; ++y)
        if (Near(app.Pixel(x, y), 0xFFFFFF, 40)) last = x;
    return last;
  }
  TestApp app;
};

TEST_F(Boxes, ShorteningKeepsTheRightEndAndNeverOverruns) {
  const std::string longText = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(Drawn("left", "fits"), "fits");
  // The counter cuts 1, 2, 3 ... characters: 26 -> 25 -> 23 -> 20 -> 16 -> 11 -> 5.
  EXPECT_EQ(Drawn("left", longText), "abcde...");
  const std::string centre = Drawn("centre", longText);
  EXPECT_EQ(centre.substr(0, 3), "...");
  EXPECT_EQ(centre.substr(centre.size() - 6), "xyz...");
  EXPECT_LE(static_cast<int>(centre.size()) * 8, 100);
  const std::string right = Drawn("right", longText);
  EXPECT_EQ(right.substr(0, 3), "...");
  EXPECT_EQ(right.substr(right.size() - 3), "xyz");
  EXPECT_LE(static_cast<int>(right.size()) * 8, 100);
  // Too narrow for the ellipsis: nothing at all.
  EXPECT_EQ(Drawn("tiny", longText), "");
  SetText(p(), "t", "right", longText);
  EXPECT_LE(LastTextColumn(60), 100);
  SetText(p(), "t", "tiny", longText);
  EXPECT_EQ(LastTextColumn(90), -1);
  EXPECT_EQ(p().tables.TextBoxes[3].Text, longText);
}

TEST_F(Boxes, NonAsciiTextIsCutByCharacters) {
  const std::string umlauts =
      "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6"
      "\xC3\xBC\xC3\xA4\xC3\xB6\xC3\xBC\xC3\xA4\xC3\xB6\xC3\xBC";
  const std::string cut = Drawn("left", umlauts);
  EXPECT_TRUE(IsValidUtf8(cut));
  EXPECT_EQ(cut.substr(cut.size() - 3), "...");
}

TEST_F(Boxes, UnchangedTextsAndPercentagesDrawNothing) {
  const uint64_t start = app.display().PresentCalls();
  SetText(p(), "t", "left", "");
  SetProgress(p(), "s", "bar", 0);
  EXPECT_EQ(app.display().PresentCalls(), start);
  SetText(p(), "t", "left", "x");
  const uint64_t after = app.display().PresentCalls();
  EXPECT_GT(after, start);
  for (int i = 0; i < 100; ++i) {
    SetText(p(), "t", "left", "x");
    SetProgress(p(), "s", "bar", 0);
  }
  EXPECT_EQ(app.display().PresentCalls(), after);
  SetText(p(), "t", "left", "");
  EXPECT_GT(app.display().PresentCalls(), after);
}

TEST_F(Boxes, AppendTextAndTwinBoxes) {
  AppendText(p(), "t", "left", "a");
  AppendText(p(), "t", "left", "a");
  EXPECT_EQ(p().tables.TextBoxes[0].Text, "aa");
  SetText(p(), "t", "twin", "both");
  EXPECT_EQ(p().tables.TextBoxes[4].Text, "both");
  EXPECT_EQ(p().tables.TextBoxes[5].Text, "both");
}

TEST_F(Boxes, StatusBarFillsFromTheActivePicture) {
  EXPECT_EQ(FilledWidth(200, 33), 66);
  EXPECT_EQ(FilledWidth(120, 50), 60);
  EXPECT_EQ(FilledWidth(200, -5), 0);
  EXPECT_EQ(FilledWidth(200, 250), 200);
  SetProgress(p(), "s", "bar", 33);
  EXPECT_TRUE(Near(app.Pixel(60, 202), kActiveRgb));
  EXPECT_TRUE(Near(app.Pixel(70, 202), kEnabledRgb));
  EXPECT_EQ(p().tables.StatusBars[0].Percent, 33);
  // Caption right-aligned: ends at the bar's right edge.
  EXPECT_GE(LastTextColumn(200), 190);
  EXPECT_LT(LastTextColumn(200), 200);
  SetProgress(p(), "s", "bar", 250);
  EXPECT_TRUE(Near(app.Pixel(150, 202), kActiveRgb));
  EXPECT_EQ(p().tables.StatusBars[0].Percent, 250);
  SetProgress(p(), "s", "bar", -5);
  EXPECT_TRUE(Near(app.Pixel(2, 202), kEnabledRgb));
  EXPECT_EQ(p().tables.StatusBars[0].Percent, -5);
}

}  // namespace
}  // namespace qv::test
