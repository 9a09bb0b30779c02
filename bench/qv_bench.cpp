// Benchmarks of the real display code paths: picture decoding, start-up and widget redraws on
// the SDL display (headless or in a real window). Prints one "name: value unit" line per figure.
//
//   qv_bench decode FILE...             decode every file once per pass, median of the passes
//   qv_bench startup APPDIR [--window]  start-up until the main screen is presented
//   qv_bench widgets [--window]         presses, SetText, RedrawList and a growing log
//   qv_bench copyfloor SOURCE DEST      the system calls a media copy cannot do without
//   qv_bench sysinfo APPDIR [--window]  processor-load timer ticks and the meter's accuracy
//   qv_bench checkreport [--window]     10,000 disk-check report lines, each with its yield
//   qv_bench defrag ROOT                the free-space map and deep analysis of a mounted folder
//   qv_bench defragmap [--window]       the drive map of a volume with a million free runs
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/linux/LinuxPlatform.h"
#include "core/Program.h"
#include "disk/modScandisk.h"
#include "platform/Platform.h"
#include "platform/linux/JpegCodec.h"
#include "shell/frmMain.h"
#include "shell/modDeclares.h"
#include "widgets/modListbox.h"
#include "widgets/modTextBox.h"
#include "widgets/modTextBoxMultiline.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void Figure(const std::string& name, double value, const char* unit) {
  std::printf("%s: %.4g %s\n", name.c_str(), value, unit);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

int Decode(const std::vector<std::string>& files) {
  constexpr int kPasses = 5;
  std::vector<double> passes;
  size_t pixels = 0;
  for (int pass = 0; pass < kPasses; ++pass) {
    const auto start = Clock::now();
    pixels = 0;
    for (const std::string& f : files) {
      // Reading is counted, as the command-line decoder has to read the file too.
      const std::vector<uint8_t> data = ReadAll(f);
      qv::PixelImage image;
      std::string message;
      if (qv::DecodeJpegImage(data, &image, &message) == qv::JpegResult::Failed)
        throw std::runtime_error(f + ": " + message);
      pixels += image.pixels.size();
    }
    passes.push_back(MsSince(start));
  }
  std::sort(passes.begin(), passes.end());
  Figure("jpeg_files", static_cast<double>(files.size()), "files");
  Figure("jpeg_megapixels", static_cast<double>(pixels) / 1e6, "Mpx");
  Figure("jpeg_decode_all", passes[kPasses / 2], "ms");
  return 0;
}

// One program on the SDL display, with the root folder as drive C: (as the real program has).
class Bench {
 public:
  Bench(bool window, const std::string& appDir)
      : posix_({.appHost = appDir,
                .drives = std::vector<qv::DriveMapping>{{'C', "/", ""}},
                .display = qv::SdlDisplayOptions{.headless = !window, .counts = &counts_},
                .clock = qv::PosixClockOptions{false, "", nullptr},
                .checkEngine = false}),
        display_(posix_.display()),
        program_(posix_.Services()) {}

  bool Start() {
    if (!qv::StartUp(program_)) return false;
    display_.Flush();
    return true;
  }
  qv::Program& program() { return program_; }
  qv::SdlDisplay& display() { return display_; }
  const qv::PresentationCounts& counts() const { return counts_; }

 private:
  qv::PresentationCounts counts_;
  qv::LinuxPlatform posix_;
  qv::SdlDisplay& display_;
  qv::Program program_;
};

int StartupOnce(const std::string& appDir, bool window) {
  const auto start = Clock::now();
  Bench b(window, std::filesystem::absolute(appDir).string());
  if (!b.Start()) return 1;
  Figure(window ? "startup_window" : "startup_headless", MsSince(start), "ms");
  return 0;
}

// Present calls and uploads during a measured stretch, the last coalesced upload included.
class Stretch {
 public:
  explicit Stretch(Bench& b) : d_(b.display()), counts_(b.counts()) {
    d_.Flush();
    calls_ = counts_.presents;
    uploads_ = counts_.uploads;
    start_ = Clock::now();
  }
  void Report(const std::string& name, int operations) {
    d_.Flush();
    const double ms = MsSince(start_);
    const double n = operations;
    Figure(name + "_time", ms * 1000.0 / n, "us/op");
    Figure(name + "_presents", static_cast<double>(counts_.presents - calls_) / n, "presents/op");
    Figure(name + "_uploads", static_cast<double>(counts_.uploads - uploads_), "uploads");
  }

 private:
  qv::SdlDisplay& d_;
  const qv::PresentationCounts& counts_;
  uint64_t calls_ = 0;
  uint64_t uploads_ = 0;
  Clock::time_point start_;
};

void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

// A picture with a gradient, so that copies move varied pixels as a real skin's do.
void WriteJpeg(const std::string& path, int w, int h, uint32_t tint) {
  qv::PixelImage image;
  image.width = w;
  image.height = h;
  image.pixels.resize(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      image.pixels[static_cast<size_t>(y) * w + x] =
          tint ^ (static_cast<uint32_t>(x * 255 / w) << 8) ^ static_cast<uint32_t>(y * 255 / h);
  std::vector<uint8_t> data;
  std::string error;
  if (!qv::EncodeJpeg(image, 90, &data, &error)) throw std::runtime_error(error);
  WriteFile(path, std::string(data.begin(), data.end()));
}

constexpr int kWidth = 1280;
constexpr int kHeight = 1024;

// The bench skin: one screen with a button, a text box, a list box and a log box.
void WriteBenchApp(const std::string& app) {
  WriteFile(app + "/settings.ini",
            "[General]\r\nResX=1280\r\nResY=1024\r\nTop=0\r\nLeft=0\r\n"
            "StartMinimized=0\r\n");
  const std::string skin = app + "/Skin/";
  WriteJpeg(skin + "Loading_enabled.jpg", kWidth, kHeight, 0x202020);
  WriteJpeg(skin + "Loading_active.jpg", kWidth, kHeight, 0x404040);
  WriteJpeg(skin + "Mainscreen_enabled.jpg", kWidth, kHeight, 0x203060);
  WriteJpeg(skin + "Mainscreen_disabled.jpg", kWidth, kHeight, 0x606060);
  WriteJpeg(skin + "Mainscreen_active.jpg", kWidth, kHeight, 0x803020);
  WriteJpeg(skin + "icons/Folder.jpg", 32, 32, 0xE0C040);
  WriteJpeg(skin + "icons/File.jpg", 32, 32, 0xF0F0F0);
  // The list box's font is small enough for all 100 rows to be visible at once.
  WriteFile(skin + "Mainscreen.ini",
            "[0]\r\nType=button\r\nCommand0=bench;press\r\nPosition=20;500;200;100\r\n\r\n"
            "[1]\r\nType=textbox\r\nCommand0=bench;text\r\nPosition=140;500;400;40\r\n"
            "Font=arial;16;0;0;255|255|255;1\r\n\r\n"
            "[2]\r\nType=listbox\r\nCommand0=bench;list\r\nPosition=2;2;460;1020\r\n"
            "Font=arial;6;0;0;255|255|255;1\r\nMultiSelect=1\r\nSelFontColor=0|0|0\r\n"
            "SelBackgroundColor=255|255|255\r\nFocusRectColor=255|0|0\r\n\r\n"
            "[3]\r\nType=textboxmultiline\r\nCommand0=bench;log\r\nPosition=220;500;760;600\r\n"
            "Font=arial;10;0;0;255|255|255;1\r\n");
}

// A temporary folder holding the bench skin's application folder, removed at the end.
class BenchApp {
 public:
  BenchApp() {
    char pattern[] = "/tmp/qv-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) throw std::runtime_error("cannot create a temporary folder");
    root_ = made;
    WriteBenchApp(app());
  }
  ~BenchApp() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  std::string app() const { return root_ + "/app"; }

 private:
  std::string root_;
};

int Widgets(bool window) {
  const BenchApp folder;
  const std::string app = folder.app();

  Bench b(window, app);
  if (!b.Start()) return 1;
  qv::Program& p = b.program();
  const std::string mode = window ? "window" : "headless";
  if (p.tables.Buttons.size() != 1 || p.tables.ListBoxes.size() != 1 ||
      p.tables.MultiLineTextBoxes.size() != 1 || p.tables.TextBoxes.size() != 1)
    throw std::runtime_error("the bench skin's layout was not loaded");

  {
    const qv::ButtonElement& button = p.tables.Buttons[0];
    const float x = static_cast<float>(button.Left + button.Width / 2);
    const float y = static_cast<float>(button.Top + button.Height / 2);
    constexpr int kPresses = 2000;
    Stretch s(b);
    for (int i = 0; i < kPresses; ++i) {
      qv::HandleEvent(p, qv::Event{qv::EventType::PointerDown, 1, 0, x, y, 0});
      qv::HandleEvent(p, qv::Event{qv::EventType::PointerUp, 1, 0, x, y, 0});
    }
    s.Report("press_" + mode, kPresses);
  }
  {
    constexpr int kTexts = 10000;
    Stretch s(b);
    for (int i = 0; i < kTexts; ++i) qv::SetText(p, "bench", "text", std::to_string(i));
    s.Report("settext_" + mode, kTexts);
  }
  {
    qv::ListElement& list = p.tables.ListBoxes[0];
    qv::BeginListUpdate(p, "bench", "list");
    for (int i = 0; i < 100; ++i)
      qv::AddListItem(p, "bench", "list", "row " + std::to_string(i) + " of the list", 1);
    qv::EndListUpdate(p, "bench", "list");
    Figure("redrawlist_visible_rows", list.BottomIndex - list.TopIndex + 1, "rows");
    constexpr int kRedraws = 200;
    Stretch s(b);
    for (int i = 0; i < kRedraws; ++i) qv::RedrawList(p, list);
    s.Report("redrawlist_" + mode, kRedraws);
  }
  {
    constexpr int kLines = 10000;
    Stretch s(b);
    for (int i = 0; i < kLines; ++i)
      qv::AppendLines(p, "bench", "log", "line " + std::to_string(i) + " of the report");
    s.Report("appendlines_" + mode, kLines);
    if (p.tables.MultiLineTextBoxes[0].ListCount != kLines)
      throw std::runtime_error("the log box did not take every line");
  }
  return 0;
}

// The disk check's report box fed as the check engine feeds it: one yield per report.
int CheckReport(bool window) {
  const BenchApp folder;
  const std::string app = folder.app();
  WriteFile(app + "/Skin/Mainscreen.ini",
            "[0]\r\nType=textboxmultiline\r\nCommand0=checkhdd;maintextbox\r\n"
            "Position=240;36;860;424\r\nFont=arial;12;0;0;200|210|220;1\r\n\r\n"
            "[1]\r\nType=statusbar\r\nCommand0=checkhdd;status\r\nPosition=709;168;820;30\r\n"
            "Font=arial;11;1;0;255|255|255;2\r\n");
  Bench b(window, app);
  if (!b.Start()) return 1;
  qv::Program& p = b.program();
  if (p.tables.MultiLineTextBoxes.size() != 1)
    throw std::runtime_error("the bench skin's layout was not loaded");
  uint64_t yields = 0;
  p.onYield = [&yields](qv::Program&) { ++yields; };
  constexpr int kLines = 10000;
  Stretch s(b);
  for (int i = 0; i < kLines; ++i) {
    const std::string text = "Entry 'file" + std::to_string(i) +
                             "' in /some/folder (12) has deleted/unused inode 4711.  Clear? yes";
    const qv::CheckTextOutput record{1, text.c_str()};
    qv::DiskCheckCallback(b.program(), qv::kCheckTextOutput, 0, &record);
    const uint32_t percent = static_cast<uint32_t>(i * 100 / kLines);
    qv::DiskCheckCallback(b.program(), qv::kCheckProgress, 0, &percent);
  }
  const std::string mode = window ? "window" : "headless";
  s.Report("checkreport_" + mode, kLines);
  std::printf("checkreport_%s_yields: %llu yields\n", mode.c_str(),
              static_cast<unsigned long long>(yields));
  if (p.tables.MultiLineTextBoxes[0].ListCount != kLines)
    throw std::runtime_error("the report box did not take every line");
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: qv_bench decode FILE...\n"
               "       qv_bench startup APPDIR [--window]\n"
               "       qv_bench widgets [--window]\n"
               "       qv_bench copyfloor SOURCE DEST\n"
               "       qv_bench junksearch|junkclean ROOT\n"
               "       qv_bench sysinfo APPDIR [--window]\n"
               "       qv_bench checkreport [--window]\n"
               "       qv_bench defrag ROOT\n"
               "       qv_bench defragmap [--window]\n");
  return 2;
}

}  // namespace

int CopyFloor(const std::string& source, const std::string& destination);  // copy_floor.cpp
int JunkBench(const std::string& root, bool deleteToo);                    // junk_bench.cpp
int SysinfoBench(const std::string& appDir, bool window);                  // sysinfo_bench.cpp
int DefragAnalysisBench(const std::string& root);                          // defrag_bench.cpp
int DefragMapBench(bool window);                                           // defrag_bench.cpp

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  const bool window = std::string(argv[argc - 1]) == "--window";
  try {
    if (command == "decode" && argc >= 3)
      return Decode(std::vector<std::string>(argv + 2, argv + argc));
    if (command == "startup" && argc >= 3) return StartupOnce(argv[2], window);
    if (command == "widgets") return Widgets(window);
    if (command == "checkreport") return CheckReport(window);
    if (command == "copyfloor" && argc == 4) return CopyFloor(argv[2], argv[3]);
    if ((command == "junksearch" || command == "junkclean") && argc == 3)
      return JunkBench(argv[2], command == "junkclean");
    if (command == "sysinfo" && argc >= 3) return SysinfoBench(argv[2], window);
    if (command == "defrag" && argc == 3) return DefragAnalysisBench(argv[2]);
    if (command == "defragmap") return DefragMapBench(window);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qv_bench: %s\n", e.what());
    return 1;
  }
  return Usage();
}
