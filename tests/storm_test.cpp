// Storms of random pointer events on every screen of the shipped skin's layouts, with the functions
// pointed at temporary drives: the program keeps answering and its tables stay consistent.
// QV_STORM_EVENTS (gestures in all, shared by the screens) and QV_STORM_SEED change the storm;
// scripts/storm.sh runs longer ones with random seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "TestProgram.h"
#include "commands/modDispatch.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

long EnvNumber(const char* name, long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

template <typename List>
void ExpectConsistent(const List& lists, const std::string& screen, const char* table) {
  for (const ListElement& l : lists) {
    const int32_t n = static_cast<int32_t>(l.Items.size());
    const std::string where = screen + " " + table;
    EXPECT_EQ(l.ListCount, n) << where;
    EXPECT_EQ(static_cast<int32_t>(l.Selected.size()), n) << where;
    EXPECT_GE(l.ListIndex, -1) << where;
    EXPECT_LT(l.ListIndex, std::max(n, 1)) << where;
    EXPECT_LT(l.CaretIndex, std::max(n, 1)) << where;
    EXPECT_LT(l.FocusIndex, std::max(n, 1)) << where;
    EXPECT_LE(l.TopIndex, std::max(l.BottomIndex, l.TopIndex)) << where;
    EXPECT_LT(l.BottomIndex, std::max(n, 1)) << where;
    EXPECT_LE(l.SelCount, n) << where;
  }
}

class Storm : public ::testing::Test {
 protected:
  void SetUp() override {
    Install(false);
    for (const char* media : {"Music", "Videos", "Pictures"}) {
      app.files().WriteFile(std::string("D:\\") + media + "\\a.bin", std::string(5000, 'a'));
      app.files().WriteFile(std::string("D:\\") + media + "\\sub\\b.log", "junk");
    }
    ASSERT_TRUE(app.Start());
  }

  // The shipped skin's layouts with pictures of the test's own, and the settings, again where
  // the storm's explorer taps moved them to the recycle bin (the program may delete its own
  // folder).
  void Install(bool again = true) {
    if (!app.files().Exists(app.AppPath("Skin/Mainscreen.ini"))) {
      if (again) ++reinstalls;
      app.files().Remove(app.AppPath("Skin"));
      std::vector<std::string> screens;
      for (const auto& e : fs::directory_iterator(std::string(QV_SOURCE_DIR) + "/skins/default")) {
        if (e.path().extension() != ".ini") continue;
        std::ifstream in(e.path(), std::ios::binary);
        app.WriteLayout(e.path().stem().string(),
                        std::string(std::istreambuf_iterator<char>(in), {}));
        if (e.path().stem() != "loading") screens.push_back(e.path().stem().string());
      }
      app.WriteSkin(screens);
    }
    if (!app.files().Exists(app.AppPath("settings.ini")))
      app.WriteFile("settings.ini",
                    "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n"
                    "[Audio]\nSource=D:\\Music\\\nDestination=D:\\Backup\\Music\\\n"
                    "[Video]\nSource=D:\\Videos\\\nDestination=D:\\Backup\\Videos\\\n"
                    "[Picture]\nSource=D:\\Pictures\\\nDestination=D:\\Backup\\Pictures\\\n");
  }

  // One random pointer gesture: a tap, a double tap, a drag, or a release off the window.
  void Gesture(std::mt19937& rng) {
    std::uniform_real_distribution<float> x(-40, 1064), y(-40, 808);
    const float x1 = x(rng), y1 = y(rng);
    auto push = [&](EventType type, float px, float py) {
      app.display().SetCursorPosition(static_cast<int>(px), static_cast<int>(py));
      app.events().Push(Event{type, 1, 0, px, py, 0});
    };
    switch (rng() % 5) {
      case 0:
      case 1:
        push(EventType::PointerDown, x1, y1);
        push(EventType::PointerUp, x1, y1);
        break;
      case 2:
        push(EventType::PointerDown, x1, y1);
        push(EventType::PointerUp, x1, y1);
        push(EventType::DoubleClick, x1, y1);
        push(EventType::PointerUp, x1, y1);
        break;
      case 3:
        push(EventType::PointerDown, x1, y1);
        push(EventType::PointerUp, x(rng), y(rng));
        break;
      default:
        app.events().Push(Event{EventType::TimerTick, 1, 0, 0, 0, static_cast<int>(rng() % 2)});
    }
  }

  // Hands every queued event to the window; a function running below may take them. "exit"
  // unwinds everything up to the storm, which starts the program again.
  void Drain(bool top) {
    Event e;
    while (app.events().PollEvent(&e)) {
      try {
        HandleEvent(app.program(), e);
      } catch (const ProgramExit&) {
        if (!top) throw;
        ++restarts;
        Install();
        ASSERT_TRUE(app.Start());
      }
    }
  }

  int restarts = 0;
  int reinstalls = 0;

  TestApp app{1};
};

TEST_F(Storm, EveryScreenSurvivesRandomPointerEvents) {
  const long total = EnvNumber("QV_STORM_EVENTS", 10000);
  std::mt19937 rng(static_cast<unsigned>(EnvNumber("QV_STORM_SEED", 20261207)));
  Program& p = app.program();
  // Functions that run reach further gestures through their yields, a few at a time; one that
  // waits for the keyboard gets a name typed.
  int nested = 0;
  p.onYield = [&](Program& prog) {
    if (prog.keyboard.waitingForText) {
      RunCommand(prog, "keyboard", "x");
      RunCommand(prog, "keyboard", "ok");
      return;
    }
    if (nested > 0 || rng() % 4 != 0) return;
    ++nested;
    Gesture(rng);
    try {
      Drain(false);
    } catch (...) {
      --nested;
      throw;
    }
    --nested;
  };
  std::vector<std::string> screens;
  const Result<std::vector<DirEntry>> skin =
      app.files().ListFolder(app.AppPath("Skin"), ListDetail::NamesAndKinds);
  ASSERT_TRUE(skin.ok());
  for (const DirEntry& e : *skin) {
    const fs::path name(e.name);
    if (name.extension() == ".ini" && name.stem() != "loading")
      screens.push_back(name.stem().string());
  }
  std::sort(screens.begin(), screens.end());
  ASSERT_GE(screens.size(), 10u);
  const long events = total / static_cast<long>(screens.size()) + 1;
  for (const std::string& screen : screens) {
    ShowScreen(p, screen);
    for (long i = 0; i < events; ++i) {
      Gesture(rng);
      Drain(true);
    }
    const std::string now = p.skin.CurrentScreen;
    ExpectConsistent(p.tables.ListBoxes, now, "list box");
    ExpectConsistent(p.tables.MultiLineTextBoxes, now, "multi-line box");
    ExpectConsistent(p.tables.DriveLists, now, "drive list");
    EXPECT_LT(p.shell.PressedButton, static_cast<int>(p.tables.Buttons.size())) << now;
  }
  // Still answering: the main screen's buttons work.
  Install();
  std::cout << "storm: " << total << " gestures, " << restarts << " restarts, " << reinstalls
            << " reinstalls of the deleted skin\n";
  ShowScreen(p, "Mainscreen");
  ASSERT_FALSE(p.tables.Buttons.empty());
  EXPECT_EQ(p.skin.CurrentScreen, "Mainscreen");
}

}  // namespace
}  // namespace qv::test
