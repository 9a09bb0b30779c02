// quorvin-probe: its script reader, JSON writer and line delivery, and the built probe run on a
// small skin written by the test.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/JpegCodec.h"
#include "probe/Delivery.h"
#include "probe/Json.h"
#include "probe/KnownKeys.h"
#include "probe/Script.h"

namespace probe {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Script reading

TEST(ProbeScript, WordsQuotesAndComments) {
  std::vector<std::string> w;
  std::string error;
  ASSERT_TRUE(SplitWords("  echo \"two  words\" \"say \"\"hi\"\"\" x#y # rest", &w, &error));
  EXPECT_EQ(w, (std::vector<std::string>{"echo", "two  words", "say \"hi\"", "x#y"}));
  ASSERT_TRUE(SplitWords("echo \"\"", &w, &error));
  EXPECT_EQ(w, (std::vector<std::string>{"echo", ""}));
  EXPECT_FALSE(SplitWords("echo \"open", &w, &error));
  EXPECT_FALSE(SplitWords("echo \"a\"b", &w, &error));
}

TEST(ProbeScript, CommandsAndYieldPrefixes) {
  std::vector<ScriptLine> lines;
  ScriptError error;
  const std::string text =
      "\xEF\xBB\xBF# a comment line\r\n"
      "click 10.5 20\r\n"
      "\n"
      "~ press Copy Cancel\n"
      "~3 tick clock 4\n"
      "~dump \"out dir/state.json\"\n"
      "tap explorersource filebox 2\n"
      "echo   hello   \"big  world\"";
  ASSERT_TRUE(ParseScript(text, &lines, &error)) << error.message;
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].number, 2);
  EXPECT_EQ(lines[0].text, "click 10.5 20");
  EXPECT_EQ(lines[0].op, Op::Click);
  EXPECT_DOUBLE_EQ(lines[0].x, 10.5);
  EXPECT_EQ(lines[0].yieldIndex, 0);
  // Keys are matched against lower-cased layout values.
  EXPECT_EQ(lines[1].op, Op::Press);
  EXPECT_EQ(lines[1].group, "copy");
  EXPECT_EQ(lines[1].name, "cancel");
  EXPECT_EQ(lines[1].yieldIndex, 1);
  EXPECT_EQ(lines[2].yieldIndex, 3);
  EXPECT_EQ(lines[2].timer, TimerKind::Clock);
  EXPECT_EQ(lines[2].count, 4);
  EXPECT_EQ(lines[3].yieldIndex, 1);
  EXPECT_EQ(lines[3].argument, "out dir/state.json");
  EXPECT_EQ(lines[4].row, 2);
  EXPECT_EQ(lines[5].argument, "hello big  world");
  EXPECT_EQ(lines[5].number, 8);
}

TEST(ProbeScript, ErrorsNameTheLine) {
  struct Case {
    const char* line;
    const char* mentions;
  };
  const Case cases[] = {
      {"bogus 1 2", "unknown command"},
      {"click 1", "usage: click X Y"},
      {"click x 2", "bad coordinates"},
      {"tap a b -1", "bad row"},
      {"tick disk", "unknown timer"},
      {"tick cpu 0", "bad count"},
      {"advance 1.5", "bad number of seconds"},
      {"~", "without a command"},
      {"~2press a b", "blank"},
      {"~0 echo x", "bad yield number"},
      {"echo \"open", "not closed"},
  };
  for (const Case& c : cases) {
    std::vector<ScriptLine> lines;
    ScriptError error;
    EXPECT_FALSE(ParseScript(std::string("echo fine\n") + c.line + "\n", &lines, &error)) << c.line;
    EXPECT_EQ(error.line, 2) << c.line;
    EXPECT_EQ(error.text, c.line);
    EXPECT_NE(error.message.find(c.mentions), std::string::npos) << c.line << ": " << error.message;
  }
}

TEST(ProbeScript, ClockTimes) {
  ClockTime t;
  ASSERT_TRUE(ParseClockTime("2024-02-29 23:59:58", &t));
  EXPECT_EQ(t.year, 2024);
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.second, 58);
  EXPECT_FALSE(ParseClockTime("2023-02-29 10:00:00", &t));
  EXPECT_FALSE(ParseClockTime("2024-13-01 10:00:00", &t));
  EXPECT_FALSE(ParseClockTime("2024-01-01 24:00:00", &t));
  EXPECT_FALSE(ParseClockTime("2024-01-01T10:00:00", &t));
  EXPECT_FALSE(ParseClockTime("2024-1-01 10:00:00", &t));
}

// ---------------------------------------------------------------------------------------------
// JSON

TEST(ProbeJson, StringsStayValidJson) {
  EXPECT_EQ(JsonQuote("C:\\a \"b\""), "\"C:\\\\a \\\"b\\\"\"");
  EXPECT_EQ(JsonQuote("tab\there\nnl\x01"), "\"tab\\there\\nnl\\u0001\"");
  EXPECT_EQ(JsonQuote("Grüße €"), "\"Grüße €\"");
  // A Latin-1 byte and a cut-off sequence are no UTF-8.
  EXPECT_EQ(JsonQuote("a\xE9z"), "\"a\\ufffdz\"");
  EXPECT_EQ(JsonQuote("\xE2\x82"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(JsonQuote("\xED\xA0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");  // a surrogate
}

TEST(ProbeJson, NumbersAndLayout) {
  EXPECT_EQ(JsonFloat(1.0f), "1.0");
  EXPECT_EQ(JsonFloat(1.25f), "1.25");
  EXPECT_EQ(JsonFloat(1024.0f / 768.0f), "1.3333334");
  EXPECT_EQ(JsonDouble(0.1), "0.1");

  Json root = Json::Object();
  root.Set("flat", Json::Array()).Add(int16_t{-1});
  Json nested = Json::Array();
  Json entry = Json::Object();
  entry.Set("on", true);
  entry.Set("none", nullptr);
  nested.Add(std::move(entry));
  root.Set("nested", std::move(nested));
  root.Set("empty", Json::Object());
  EXPECT_EQ(root.Dump(),
            "{\n"
            "  \"flat\": [-1],\n"
            "  \"nested\": [\n"
            "    {\n"
            "      \"on\": true,\n"
            "      \"none\": null\n"
            "    }\n"
            "  ],\n"
            "  \"empty\": {}\n"
            "}\n");
}

// ---------------------------------------------------------------------------------------------
// Which keys and commands a skin may use

TEST(ProbeKnownKeys, KeysByElementType) {
  EXPECT_TRUE(IsAddressedKey("textbox", "cleanhdd", "0???????.nch"));
  EXPECT_TRUE(IsAddressedKey("statusbar", "copy", "copy"));
  EXPECT_TRUE(IsAddressedKey("diagramm", "defrag", "drive"));
  // The right name on the wrong type is addressed by nobody.
  EXPECT_FALSE(IsAddressedKey("statusbar", "copy", "filesnew"));
  EXPECT_FALSE(IsAddressedKey("textbox", "checkhdd", "maintextbox"));
  EXPECT_FALSE(IsAddressedKey("textbox", "datetime", "years"));

  EXPECT_TRUE(IsCommand("loadscreen", ""));
  EXPECT_TRUE(IsCommand("keyboard", "pc"));
  EXPECT_TRUE(IsCommand("keyboard", "\\"));
  EXPECT_TRUE(IsCommand("datetime", "second-"));
  EXPECT_FALSE(IsCommand("keyboard", ";"));
  EXPECT_FALSE(IsCommand("copy", "start"));
  EXPECT_FALSE(IsCommand("explorerdestination", "delete"));
  EXPECT_TRUE(IsButtonIdentity("mainscreen", "anything"));
  EXPECT_FALSE(IsButtonIdentity("copy", "anything"));
}

// ---------------------------------------------------------------------------------------------
// Delivery order, with a stand-in for functions that yield

// Lines "echo work N" stand for a command that runs a function yielding N times.
struct FakeProgram {
  std::vector<std::string> log;
  Delivery* delivery = nullptr;
  void CarryOut(const ScriptLine& line) {
    log.push_back(line.argument);
    if (line.argument.rfind("work ", 0) == 0) {
      const int n = std::stoi(line.argument.substr(5));
      for (int i = 1; i <= n; ++i) {
        log.push_back("yield " + std::to_string(i));
        delivery->OnYield();
      }
    }
  }
};

std::vector<std::string> Deliver(const std::string& script) {
  std::vector<ScriptLine> lines;
  ScriptError error;
  EXPECT_TRUE(ParseScript(script, &lines, &error)) << error.message;
  FakeProgram fake;
  Delivery delivery(
      lines, [&](const ScriptLine& l) { fake.CarryOut(l); }, [] {});
  fake.delivery = &delivery;
  delivery.RunTopLevel();
  EXPECT_TRUE(delivery.finished());
  return fake.log;
}

TEST(ProbeDelivery, TildeLinesReachTheRunningFunction) {
  EXPECT_EQ(Deliver("echo work 3\n~2 echo A\necho B\n"),
            (std::vector<std::string>{"work 3", "yield 1", "yield 2", "A", "yield 3", "B"}));
  // Counting starts again after each line; a line delivered inside may itself yield.
  EXPECT_EQ(Deliver("echo work 2\n~ echo work 2\n~ echo C\n"),
            (std::vector<std::string>{"work 2", "yield 1", "work 2", "yield 1", "C", "yield 2",
                                      "yield 2"}));
  // Plain lines wait for the top level even when a function yields.
  EXPECT_EQ(Deliver("echo work 2\necho B\n"),
            (std::vector<std::string>{"work 2", "yield 1", "yield 2", "B"}));
  // With no more yields, "~" lines are carried out by the top-level loop.
  EXPECT_EQ(Deliver("echo work 1\n~3 echo A\n~ echo B\n"),
            (std::vector<std::string>{"work 1", "yield 1", "A", "B"}));
}

// ---------------------------------------------------------------------------------------------
// The built probe on a test skin

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "qv-probe-XXXXXX").string();
    path_ = mkdtemp(pattern.data()) ? pattern : "";
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

void WriteJpeg(const fs::path& path, uint32_t rgb, int width = 200, int height = 150) {
  qv::PixelImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(size_t(width) * height, rgb);
  std::vector<uint8_t> bytes;
  std::string error;
  ASSERT_TRUE(qv::EncodeJpeg(image, 90, &bytes, &error)) << error;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct ProbeResult {
  int status = -1;
  std::string out;
  std::string err;
};

// A drive C: holding the application folder "app" with a skin of three screens: "loading",
// "Mainscreen" with a button to "other" and an exit button, "other" with a way back and a
// cancel button that starts disabled. Design size and window are 200 x 150.
class ProbeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    drive_ = fs::path(temp_.path()) / "c";
    app_ = drive_ / "app";
    const fs::path skin = app_ / "Skin";
    WriteText(app_ / "settings.ini",
              "[General]\nResX=200\nResY=150\nTop=0\nLeft=0\n"
              "StartMinimized=0\n");
    WriteJpeg(skin / "Loading_enabled.jpg", 0x2040A0);
    WriteJpeg(skin / "Loading_active.jpg", 0xC03020);
    WriteJpeg(skin / "Mainscreen_enabled.jpg", 0x2040A0);
    WriteJpeg(skin / "Mainscreen_disabled.jpg", 0x808080);
    WriteJpeg(skin / "Mainscreen_active.jpg", 0xC03020);
    WriteJpeg(skin / "other_enabled.jpg", 0x20A040);
    WriteText(skin / "loading.ini",
              "[0]\nType=statusbar\nCommand0=loading;status\nPosition=100;20;160;20\n"
              "Font=arial;10;0;0;255|255|255;2\n");
    WriteText(skin / "Mainscreen.ini",
              "[0]\nType=button\nCommand0=loadscreen;other\nPosition=10;10;50;30\n"
              "[1]\nType=button\nCommand0=mainscreen;quit\nCommand1=function;exit\n"
              "Position=10;100;50;30\n");
    WriteText(skin / "other.ini",
              "[0]\nType=button\nCommand0=loadscreen;\nPosition=10;10;50;30\n"
              "[1]\nType=button\nCommand0=copy;cancel\nPosition=60;10;50;30\n");
  }

  ProbeResult Probe(const std::vector<std::string>& args) {
    const fs::path out = fs::path(temp_.path()) / "stdout.txt";
    const fs::path err = fs::path(temp_.path()) / "stderr.txt";
    std::string command = Quote(std::string(QV_BINARY_DIR) + "/quorvin-probe");
    for (const std::string& a : args) command += " " + Quote(a);
    command += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    ProbeResult r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadText(out);
    r.err = ReadText(err);
    return r;
  }

  ProbeResult RunScript(const std::string& script) {
    const fs::path file = fs::path(temp_.path()) / "script.txt";
    WriteText(file, script);
    return Probe({"run", "--app-dir", app_.string(), "--drive", "C=" + drive_.string(), "--out",
                  OutDir().string(), file.string()});
  }

  fs::path OutDir() const { return fs::path(temp_.path()) / "out"; }
  std::string Dump(const std::string& name) const { return ReadText(OutDir() / name); }

  // The value after `"field": ` in the dump object that holds `"key": ["group", "name"]`.
  static std::string Field(const std::string& dump, const std::string& group,
                           const std::string& name, const std::string& field) {
    const size_t at = dump.find("\"key\": [\"" + group + "\", \"" + name + "\"]");
    if (at == std::string::npos) return "<no element>";
    const size_t end = dump.find('}', at);
    const size_t f = dump.find("\"" + field + "\": ", at);
    if (f == std::string::npos || f > end) return "<no field>";
    const size_t v = f + field.size() + 4;
    std::string value = dump.substr(v, dump.find('\n', v) - v);
    if (!value.empty() && value.back() == ',') value.pop_back();
    return value;
  }

  TempFolder temp_;
  fs::path drive_;
  fs::path app_;
};

TEST_F(ProbeRun, PressSwitchesTheScreenAndDumpsIt) {
  const ProbeResult r = RunScript("press loadscreen other\ndump after.json\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dump = Dump("after.json");
  EXPECT_NE(dump.find("\"screen\": \"other\",\n  \"previousScreen\": \"Mainscreen\""),
            std::string::npos)
      << dump;
  EXPECT_EQ(Field(dump, "loadscreen", "", "enabled"), "true");
  EXPECT_EQ(Field(dump, "copy", "cancel", "enabled"), "false");
  EXPECT_EQ(Field(dump, "copy", "cancel", "rect"), "[60, 10, 50, 30]");
  EXPECT_NE(dump.find("\"SourcePath\": \"C:\\\\\""), std::string::npos) << dump;
  EXPECT_NE(dump.find("\"ScaleX\": 1.0"), std::string::npos);
  EXPECT_NE(dump.find("\"DesignWidth\": 200"), std::string::npos);
}

TEST_F(ProbeRun, ReleaseElsewhereRunsNothing) {
  const ProbeResult r = RunScript("down 35 25\nup 150 140\ndump state.json\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string dump = Dump("state.json");
  EXPECT_NE(dump.find("\"screen\": \"Mainscreen\",\n  \"previousScreen\": \"\""), std::string::npos)
      << dump;
  // The press took the button; the release elsewhere does not clear it.
  EXPECT_NE(dump.find("\"PressedButton\": 0"), std::string::npos);
  // The edge of a button lies outside it.
  ASSERT_EQ(RunScript("click 10 25\ndump edge.json\n").status, 0);
  EXPECT_NE(Dump("edge.json").find("\"screen\": \"Mainscreen\""), std::string::npos);
}

TEST_F(ProbeRun, TildeLinesReachStartUpWhileItLoads) {
  // Start-up yields once before the loading layout and once per picture (six here): the first
  // "~" takes the first yield, "~3" the fourth, when two pictures have been counted.
  const ProbeResult r =
      RunScript("~ echo first\n~3 dump loading.json\necho second\n~ echo third\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "first\nsecond\nthird\n");
  const std::string dump = Dump("loading.json");
  EXPECT_NE(dump.find("\"screen\": \"\""), std::string::npos) << dump;
  EXPECT_EQ(Field(dump, "loading", "status", "percent"), "20");
}

TEST_F(ProbeRun, ExitStatuses) {
  // The program's exit on the last line ends the run well; before it, the line is named.
  EXPECT_EQ(RunScript("echo a\npress mainscreen quit\n").status, 0);
  ProbeResult r = RunScript("press mainscreen quit\necho never\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 1: press mainscreen quit"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");

  r = RunScript("echo a\npress copy cancel\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2: press copy cancel: no button (\"copy\", \"cancel\") on the "
                       "screen \"Mainscreen\""),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.out, "a\n");

  r = RunScript("echo a\nclick 1 2 3\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2: click 1 2 3"), std::string::npos) << r.err;

  // Control bytes of a script line are shown escaped, never sent to the terminal.
  r = RunScript(std::string("echo a\nbogus \x1B[2J\0x\n", 20));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2: bogus \\x1B[2J\\x00x"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1B'), std::string::npos);

  r = RunScript("tap explorersource filebox 0\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("no list"), std::string::npos) << r.err;

  r = RunScript("advance 10\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("advance needs the fake clock of --clock"), std::string::npos) << r.err;

  const std::string script = (fs::path(temp_.path()) / "script.txt").string();
  r = Probe({"run", "--drive", "C=" + drive_.string(), script});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("usage:"), std::string::npos);
  // The application folder must lie on a drive.
  fs::create_directories(fs::path(temp_.path()) / "elsewhere");
  r = Probe({"run", "--app-dir", app_.string(), "--drive",
             "D=" + (fs::path(temp_.path()) / "elsewhere").string(), script});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Probe({"run", "--app-dir", app_.string(), "--drive", "C=" + drive_.string(), "--clock",
                   "2024-02-30 10:00:00", script})
                .status,
            2);
  EXPECT_EQ(Probe({"frobnicate"}).status, 2);
}

TEST_F(ProbeRun, ShotsWriteOnePicturePerScreen) {
  const fs::path shots = fs::path(temp_.path()) / "shots";
  const ProbeResult r = Probe({"shots", app_.string(), shots.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(shots))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Mainscreen.png", "loading.png", "other.png"}));
  const std::string png = ReadText(shots / "other.png");
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  // IHDR: width and height, big-endian.
  EXPECT_EQ(png.substr(16, 8), std::string("\0\0\0\xC8\0\0\0\x96", 8));
}

// Every kind of problem once, each with its exact line.
TEST_F(ProbeRun, LintReportsEachProblem) {
  const fs::path skin = app_ / "Skin";
  WriteText(skin / "nopic.ini", "");
  WriteText(skin / "Mainscreen.ini",
            "[0]\nType=button\nCommand0=loadscreen;missing\nPosition=1;1;10;10\n"
            "[1]\nType=button\nCommand0=loadscreen;nopic\nCommand1=loadscreen;other\n"
            "Position=1;1;10;10\n"
            "[2]\nType=textbox\nCommand0=copy;filesnw\nPosition=1;1;10;10\n"
            "Font=arial;10;0;0;0|0|0;1\n"
            "[3]\nType=button\nCommand0=mainscreen;x\nCommand1=functoin;exit\n"
            "Position=1;1;10;10\n"
            "[4]\nType=label\n"
            "[5]\nType=statusbar\nCommand0=copy;total\nPosition=1;2;3\n"
            "Font=arial;10;0;0;0|0|0;1\n"
            "[6]\nType=button\nCommand0=explorersource;info\nCommand2=function;exit\n"
            "Position=1;1;10;10\n"
            "[8]\nType=button\nCommand0=loadscreen;other\nPosition=1;1;10;10\n");
  const ProbeResult r = Probe({"lint", app_.string()});
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out,
            "Mainscreen.ini [0] Command0: the screen \"missing\" has no layout file\n"
            "Mainscreen.ini [0] Command0: the screen \"missing\" has no enabled picture\n"
            "Mainscreen.ini [1] Command0: the screen \"nopic\" has no enabled picture\n"
            "Mainscreen.ini [2] Command0: no function addresses a textbox with the key "
            "\"copy;filesnw\"\n"
            "Mainscreen.ini [3] Command1: \"functoin;exit\" is no command of the program\n"
            "Mainscreen.ini [4] Type: note: unknown type \"label\", the program skips this "
            "section\n"
            "Mainscreen.ini [5] Position: \"1;2;3\" is not four numbers separated by \";\"\n"
            "Mainscreen.ini [6] Command2: never read: the commands end at the missing Command1\n"
            "Mainscreen.ini [7] Type: missing or empty, so the sections after it are never read "
            "(8)\n"
            "nopic.ini [0] Type: missing: the file has no sections (empty, not a layout file, or "
            "not text)\n");
}

TEST_F(ProbeRun, LintCatchesWhatBreaksASkinAtRunTime) {
  const fs::path skin = app_ / "Skin";
  WriteText(skin / "other_disabled.jpg", "");
  WriteText(skin / "other_active.jpg", "\x89PNG\r\n\x1A\n not a jpeg");
  WriteJpeg(skin / "Mainscreen_active.jpg", 0xC03020, 100, 75);
  WriteText(skin / "other.ini",
            "[0]\nType=button\nCommand0=loadscreen;\nPosition=1000000000;10;50;30\n"
            "[1]\nType=textbox\nCommand0=copy;total\nPosition=10;10;50;30\n"
            "Font=arial;100000;0;0;999|-1|256;1\n"
            "[2]\nType=textbox\nCommand0=copy;status\nPosition=10;10;50;30\n"
            "Font=arial;0;0;0;0|0|0;1\r[2]\nType=x\n");
  const ProbeResult r = Probe({"lint", app_.string()});
  EXPECT_EQ(r.status, 1);
  for (const char* line :
       {"other_disabled.jpg [-] -: cannot be decoded: empty file",
        "other_active.jpg [-] -: cannot be decoded",
        "Mainscreen_active.jpg [-] -: 100 x 75 pixels, but the loading picture is 200 x 150",
        "other.ini [0] Position: \"1000000000;10;50;30\" lies outside the design area of 200 x 150",
        "other.ini [1] Font: size 100000 is out of range", "other.ini [1] Font: colour parts",
        "other.ini [2] Font: size 0 is out of range",
        "other.ini [-] -: warning: a carriage return without line feed",
        "other.ini [2] -: warning: the section is written again"})
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  // The loading picture itself must give a design size.
  WriteJpeg(skin / "Loading_enabled.jpg", 0x2040A0, 4000, 8);
  EXPECT_NE(Probe({"lint", app_.string()})
                .out.find("Loading_enabled.jpg [-] -: 4000 x 8 pixels "
                          "gives no usable design size"),
            std::string::npos);
}

TEST_F(ProbeRun, LintPassesAGoodSkinWithNotes) {
  WriteText(app_ / "Skin" / "other.ini",
            "[0]\nType=panel\nPosition=0;0;200;150\n"
            "[1]\nType=button\nCommand0=loadscreen;\nPosition=10;10;50;30\n");
  const ProbeResult r = Probe({"lint", app_.string()});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out,
            "other.ini [0] Type: note: unknown type \"panel\", the program skips this "
            "section\n");
  EXPECT_EQ(Probe({"lint", temp_.path()}).status, 2);  // no skin folder there
}

TEST_F(ProbeRun, TheShippedSkinPassesLint) {
  const ProbeResult r = Probe({"lint", QV_BINARY_DIR});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
}

}  // namespace
}  // namespace probe
