// The default skin's layout sources and the pictures skingen paints from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "LinuxTestProgram.h"
#include "core/ProfileString.h"
#include "platform/linux/JpegCodec.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSkinSources = fs::path(QV_SOURCE_DIR) / "skins" / "default";
const fs::path kSkingen = fs::path(QV_BINARY_DIR) / "skingen";

struct Pair {
  std::string group, name;
};

struct Section {
  int number = 0;
  std::string type;
  std::vector<Pair> commands;
  int top = 0, left = 0, width = 0, height = 0;
};

std::vector<uint8_t> ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Reads a layout source the way the program does; malformed values fail the test.
std::vector<Section> ReadLayout(const fs::path& file) {
  const qv::ProfileFile ini(ReadBytes(file));
  std::vector<Section> out;
  const auto names = ini.Sections();
  for (size_t n = 0; n < names.size(); ++n) {
    const std::string sec = std::to_string(n);
    EXPECT_EQ(names[n], sec) << file.filename() << ": sections must be 0, 1, ... without gaps";
    Section s;
    s.number = int(n);
    s.type = qv::LowerCase(ini.Get(sec, "Type"));
    EXPECT_FALSE(s.type.empty()) << file.filename() << " [" << sec << "] has no Type";
    for (int k = 0;; ++k) {
      const std::string v = qv::LowerCase(ini.Get(sec, "Command" + std::to_string(k)));
      if (v.empty()) break;
      const size_t semi = v.find(';');
      EXPECT_NE(semi, std::string::npos) << file.filename() << " [" << sec << "] " << v;
      if (semi != std::string::npos) s.commands.push_back({v.substr(0, semi), v.substr(semi + 1)});
    }
    const auto pos = qv::Split(ini.Get(sec, "Position"), ';');
    EXPECT_EQ(pos.size(), 4u) << file.filename() << " [" << sec << "] Position";
    if (pos.size() == 4) {
      s.top = std::stoi(pos[0]);
      s.left = std::stoi(pos[1]);
      s.width = std::stoi(pos[2]);
      s.height = std::stoi(pos[3]);
    }
    const std::string font = ini.Get(sec, "Font");
    if (!font.empty()) {
      EXPECT_EQ(qv::Split(font, ';').size(), 6u) << file.filename() << " " << sec;
    }
    out.push_back(s);
  }
  return out;
}

bool IsElement(const std::string& type) {
  static const std::set<std::string> kTypes = {
      "statusbar", "textbox", "button", "listbox", "drivelist", "diagramm", "textboxmultiline"};
  return kTypes.count(type) > 0;
}

std::map<std::string, std::vector<Section>> ReadAllLayouts() {
  std::map<std::string, std::vector<Section>> screens;
  for (const auto& e : fs::directory_iterator(kSkinSources))
    if (e.path().extension() == ".ini") screens[e.path().stem().string()] = ReadLayout(e.path());
  return screens;
}

std::set<std::string> KeysOf(const std::vector<Section>& layout, const std::string& type) {
  std::set<std::string> keys;
  for (const Section& s : layout)
    if (s.type == type && !s.commands.empty())
      keys.insert(s.commands[0].group + ";" + s.commands[0].name);
  return keys;
}

TEST(DefaultSkinLayouts, EveryScreenParsesAndFitsTheDesignSize) {
  const auto screens = ReadAllLayouts();
  for (const char* name :
       {"loading", "Mainscreen", "copy", "explorer", "explorerinfo", "explorerdrive", "keyboard",
        "checkhdd", "defrag", "cleanhdd", "systeminfo", "datetime"})
    EXPECT_TRUE(screens.count(name)) << "no layout source for " << name;
  for (const auto& [screen, layout] : screens) {
    std::vector<const Section*> buttons;
    for (const Section& s : layout) {
      EXPECT_TRUE(s.width > 0 && s.height > 0 && s.left >= 0 && s.top >= 0 &&
                  s.left + s.width <= 1024 && s.top + s.height <= 768)
          << screen << " [" << s.number << "] lies outside 1024 x 768";
      if (IsElement(s.type)) {
        EXPECT_FALSE(s.commands.empty()) << screen << " [" << s.number << "]";
      }
      if (s.type != "button") continue;
      EXPECT_GE(s.width, 64) << screen << " [" << s.number << "]";
      EXPECT_GE(s.height, 64) << screen << " [" << s.number << "]";
      for (const Section* o : buttons) {
        const bool apart = s.left >= o->left + o->width || o->left >= s.left + s.width ||
                           s.top >= o->top + o->height || o->top >= s.top + s.height;
        EXPECT_TRUE(apart) << screen << ": buttons [" << o->number << "] and [" << s.number
                           << "] overlap";
      }
      buttons.push_back(&s);
    }
  }
}

TEST(DefaultSkinLayouts, NavigationReachesRealScreensAndEveryScreenHasAWayBack) {
  const auto screens = ReadAllLayouts();
  std::set<std::string> known;
  for (const auto& entry : screens) known.insert(qv::LowerCase(entry.first));
  // Screens whose long functions disable ("loadscreen", "*"): leaving must not be possible.
  const std::set<std::string> busy = {"copy",     "checkhdd",     "defrag",
                                      "cleanhdd", "explorerinfo", "explorer"};
  for (const auto& [screen, layout] : screens) {
    bool wayBack = false;
    for (const Section& s : layout) {
      for (size_t i = 0; i < s.commands.size(); ++i) {
        const Pair& c = s.commands[i];
        if (c.group != "loadscreen") continue;
        if (!c.name.empty()) {
          EXPECT_TRUE(known.count(c.name)) << screen << " -> " << c.name;
        }
        if (c.name.empty() || c.name == "mainscreen") wayBack = true;
        if (busy.count(screen) && s.type == "button") {
          EXPECT_EQ(s.commands[0].group, "loadscreen")
              << screen << " [" << s.number << "]: a button that changes the screen must be "
              << "keyed by it, or the busy state cannot disable it";
        }
      }
    }
    if (screen != "loading" && screen != "Mainscreen") {
      EXPECT_TRUE(wayBack) << screen << " has no way back";
    }
  }
}

TEST(DefaultSkinLayouts, CarriesTheKeysTheFunctionsAddress) {
  const auto screens = ReadAllLayouts();
  auto has = [&](const std::string& screen, const std::string& type,
                 std::vector<std::string> keys) {
    const auto present = KeysOf(screens.at(screen), type);
    for (const std::string& k : keys)
      EXPECT_TRUE(present.count(k)) << screen << ": " << type << " " << k;
  };
  has("loading", "statusbar", {"loading;status"});
  has("Mainscreen", "textbox", {"datetime;shorttime", "datetime;longdate"});
  has("Mainscreen", "statusbar", {"systeminfo;cpu"});
  has("copy", "textbox",
      {"copy;filesfound", "copy;filesnew", "copy;filesexisting", "copy;directoriesfound",
       "copy;directoriesnew", "copy;directoriesexisting", "copy;status", "copy;total",
       "copy;filesfailed"});
  has("copy", "statusbar", {"copy;total", "copy;copy"});
  has("copy", "button", {"copy;cancel"});
  has("explorerinfo", "textbox",
      {"explorerinfo;size", "explorerinfo;directoriesfound", "explorerinfo;filesfound",
       "explorerinfo;total"});
  has("explorerdrive", "drivelist", {"explorerdrive;maindrive"});
  has("keyboard", "textbox", {"keyboard;maintextbox"});
  has("checkhdd", "textboxmultiline", {"checkhdd;maintextbox"});
  has("checkhdd", "button",
      {"checkhdd;start", "checkhdd;cancel", "checkhdd;maintextboxpageup",
       "checkhdd;maintextboxpagedown"});
  has("defrag", "textbox",
      {"defrag;status", "defrag;numberofextents", "defrag;numberoffiles",
       "defrag;numberofnonmoveablefiles", "defrag;numberoffragmentedfiles",
       "defrag;numberoffragments", "defrag;percentoffragmentedfiles",
       "defrag;percentoffragmentsperfile", "defrag;maxnumberofextents"});
  has("cleanhdd", "textbox",
      {"cleanhdd;*.log", "cleanhdd;0???????.nch", "cleanhdd;windows temp", "cleanhdd;user temp",
       "cleanhdd;cookies", "cleanhdd;total files/directories",
       "cleanhdd;total junk-files/directories", "cleanhdd;total junksize"});
  EXPECT_EQ(KeysOf(screens.at("cleanhdd"), "textbox").size(), 19u);  // 15 rules, 3 totals, status
  has("systeminfo", "statusbar",
      {"systeminfo;cpu", "systeminfo;ram", "systeminfo;virtualram", "systeminfo;page",
       "systeminfo;hdd"});
  EXPECT_EQ(KeysOf(screens.at("systeminfo"), "textbox").size(), 18u);
  EXPECT_EQ(KeysOf(screens.at("datetime"), "textbox").size(), 13u);  // 12 fields, status
  EXPECT_EQ(KeysOf(screens.at("datetime"), "button").size(), 13u);   // 12 steps and back
  for (const char* s : {"checkhdd", "defrag", "cleanhdd", "systeminfo"})
    has(s, "drivelist", {std::string(s) + ";maindrive"});

  // Every key the dispatcher turns into a typed character has its button.
  std::vector<std::string> keys = {"keyboard;spacebar", "keyboard;pc",   "keyboard;back",
                                   "keyboard;shift",    "keyboard;caps", "keyboard;ok",
                                   "keyboard;cancel"};
  for (char c : std::string("abcdefghijklmnopqrstuvwxyz0123456789,./'-=\\`()"))
    keys.push_back(std::string("keyboard;") + c);
  has("keyboard", "button", keys);

  // The quick analysis runs when the diagram is read: everything else must be read before it.
  const Section& last = screens.at("defrag").back();
  EXPECT_EQ(last.type, "diagramm");
  ASSERT_FALSE(last.commands.empty());
  EXPECT_EQ(last.commands[0].group + ";" + last.commands[0].name, "defrag;drive");
  // The source explorer re-initialises the screen's first list box: it must be its own.
  for (const Section& s : screens.at("explorer")) {
    if (s.type != "listbox") continue;
    EXPECT_EQ(s.commands.at(0).group + ";" + s.commands.at(0).name, "explorersource;filebox");
    break;
  }
}

qv::PixelImage Decode(const fs::path& p) {
  qv::PixelImage image;
  std::string message;
  EXPECT_EQ(qv::DecodeJpegImage(ReadBytes(p), &image, &message), qv::JpegResult::Ok)
      << p << ": " << message;
  return image;
}

int Diff(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift : {0, 8, 16})
    d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
  return d;
}

double MeanDiff(const qv::PixelImage& a, const qv::PixelImage& b, const Section& s) {
  double sum = 0;
  int n = 0;
  for (int y = s.top + 4; y < s.top + s.height - 4; ++y)
    for (int x = s.left + 4; x < s.left + s.width - 4; ++x, ++n)
      sum += Diff(a.At(x, y), b.At(x, y));
  return n ? sum / n : 0;
}

class PaintedSkin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new qv::test::TempDir();
    const std::string cmd = "'" + kSkingen.string() + "' '" + kSkinSources.string() + "' '" +
                            dir_->path() + "/Skin' 2>&1";
    status_ = std::system(cmd.c_str());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static fs::path Out() { return fs::path(dir_->path()) / "Skin"; }

  static qv::test::TempDir* dir_;
  static int status_;
};
qv::test::TempDir* PaintedSkin::dir_ = nullptr;
int PaintedSkin::status_ = -1;

TEST_F(PaintedSkin, WritesEveryPictureAndCopiesTheLayouts) {
  ASSERT_TRUE(fs::exists(kSkingen)) << "build the skingen target first";
  ASSERT_EQ(status_, 0);
  for (const auto& [screen, layout] : ReadAllLayouts()) {
    EXPECT_EQ(ReadBytes(Out() / (screen + ".ini")), ReadBytes(kSkinSources / (screen + ".ini")));
    const std::string stem = screen == "loading" ? "Loading" : screen;
    for (const char* state : {"enabled", "disabled", "active"}) {
      const fs::path p = Out() / (stem + "_" + state + ".jpg");
      if (screen == "loading" && std::string(state) == "disabled") {
        EXPECT_FALSE(fs::exists(p));
        continue;
      }
      const qv::PixelImage image = Decode(p);
      EXPECT_EQ(image.width, 1024) << p;
      EXPECT_EQ(image.height, 768) << p;
    }
  }
  const qv::PixelImage folder = Decode(Out() / "icons" / "Folder.jpg");
  const qv::PixelImage file = Decode(Out() / "icons" / "File.jpg");
  ASSERT_EQ(folder.width, file.width);
  ASSERT_EQ(folder.height, file.height);
  int differing = 0;
  for (size_t i = 0; i < folder.pixels.size(); ++i)
    differing += Diff(folder.pixels[i], file.pixels[i]) > 40;
  EXPECT_GT(differing, int(folder.pixels.size() / 10)) << "folder and file icons look alike";
}

TEST_F(PaintedSkin, StatesDifferOnlyWhereElementsAre) {
  ASSERT_EQ(status_, 0);
  for (const auto& [screen, layout] : ReadAllLayouts()) {
    const std::string stem = screen == "loading" ? "Loading" : screen;
    const qv::PixelImage enabled = Decode(Out() / (stem + "_enabled.jpg"));
    const qv::PixelImage active = Decode(Out() / (stem + "_active.jpg"));
    const qv::PixelImage disabled =
        screen == "loading" ? enabled : Decode(Out() / (stem + "_disabled.jpg"));
    std::vector<uint8_t> near(1024 * 768, 0);
    for (const Section& s : layout) {
      if (s.type == "button" || s.type == "statusbar") {
        EXPECT_GT(MeanDiff(enabled, active, s), 15) << screen << " [" << s.number << "]";
      }
      if (s.type == "button") {
        EXPECT_GT(MeanDiff(enabled, disabled, s), 6) << screen << " [" << s.number << "]";
      }
      if (!IsElement(s.type)) continue;
      // JPEG blocks of 8 x 8 pixels that touch an element may differ a little.
      for (int y = std::max(0, s.top - 16); y < std::min(768, s.top + s.height + 16); ++y)
        for (int x = std::max(0, s.left - 16); x < std::min(1024, s.left + s.width + 16); ++x)
          near[size_t(y) * 1024 + x] = 1;
    }
    int worst = 0;
    for (int y = 0; y < 768; ++y)
      for (int x = 0; x < 1024; ++x) {
        if (near[size_t(y) * 1024 + x]) continue;
        worst = std::max({worst, Diff(enabled.At(x, y), active.At(x, y)),
                          Diff(enabled.At(x, y), disabled.At(x, y))});
      }
    EXPECT_LE(worst, 3) << screen << ": the pictures differ away from the elements";
  }
}

TEST(SkingenSettings, MediaFoldersAreDrivePathsEndingWithABackslash) {
  ASSERT_TRUE(fs::exists(kSkingen)) << "build the skingen target first";
  qv::test::TempDir dir;
  const std::string out = dir.path() + "/settings.ini";
  const int status = std::system(("'" + kSkingen.string() + "' --settings '" + out + "'").c_str());
  ASSERT_TRUE(fs::exists(out));
  const qv::ProfileFile ini(ReadBytes(out));
  EXPECT_EQ(ini.Get("General", "ResX"), "1024");
  EXPECT_EQ(ini.Get("General", "ResY"), "768");
  EXPECT_EQ(ini.Get("General", "Top"), "0");
  EXPECT_EQ(ini.Get("General", "Left"), "0");
  EXPECT_EQ(ini.Get("General", "StartMinimized"), "0");
  if (status != 0) GTEST_SKIP() << "the home folder lies on no drive of this machine";
  for (const auto& [section, folder] : std::vector<std::pair<std::string, std::string>>{
           {"Audio", "Music"}, {"Video", "Videos"}, {"Picture", "Pictures"}}) {
    const std::string src = ini.Get(section, "Source"), dst = ini.Get(section, "Destination");
    for (const std::string& p : {src, dst}) {
      ASSERT_GE(p.size(), 4u) << section;
      EXPECT_TRUE(p[0] >= 'C' && p[0] <= 'Z' && p.substr(1, 2) == ":\\") << p;
      EXPECT_EQ(p.back(), '\\') << p;
      EXPECT_EQ(p.find("\\\\"), std::string::npos) << p;
    }
    EXPECT_NE(src, dst);
    EXPECT_NE(src.find("\\" + folder + "\\"), std::string::npos) << src;
    EXPECT_NE(dst.find("\\" + folder + "\\"), std::string::npos) << dst;
  }
}

}  // namespace
