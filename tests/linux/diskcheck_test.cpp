// Disk check: how checker output becomes reports, the check function's states with a scripted
// engine, and real checks of ext4 and FAT images made here, loop-mounted where the machine allows.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "DiskImages.h"
#include "LinuxTestProgram.h"
#include "commands/modDispatch.h"
#include "core/ProfileString.h"
#include "disk/modScandisk.h"
#include "platform/linux/PosixCheckEngine.h"
#include "platform/linux/PosixMounts.h"
#include "platform/linux/PrivilegedHelper.h"
#include "widgets/modTextBoxMultiline.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// Processes that hold `file` open.
int ProcessesHolding(const std::string& file) {
  int found = 0;
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string pid = e.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == std::to_string(getpid()))
      continue;
    std::error_code ec;
    for (fs::directory_iterator fd(e.path() / "fd", ec), end; !ec && fd != end; fd.increment(ec))
      if (fs::read_symlink(fd->path(), ec) == file) {
        ++found;
        break;
      }
  }
  return found;
}

// ---------------------------------------------------------------- reading checker output

TEST(CheckOutput, PassesAreWeightedAsTheCheckerWeightsThem) {
  EXPECT_EQ(ProgressOfPass(1, 0, 8), 0u);
  EXPECT_EQ(ProgressOfPass(1, 4, 8), 35u);
  EXPECT_EQ(ProgressOfPass(2, 0, 5), 70u);
  EXPECT_EQ(ProgressOfPass(2, 5, 10), 80u);
  EXPECT_EQ(ProgressOfPass(3, 1, 2), 91u);
  EXPECT_EQ(ProgressOfPass(4, 2, 2), 95u);
  EXPECT_EQ(ProgressOfPass(5, 3, 3), 100u);
  EXPECT_EQ(ProgressOfPass(2, 9, 0), 70u);    // an empty pass does not divide by zero
  EXPECT_EQ(ProgressOfPass(1, 99, 10), 70u);  // beyond its end a pass is complete
  uint32_t percent = 7;
  ASSERT_TRUE(ParseProgressLine("2 1 2 /dev/loop0 with blanks", &percent));
  EXPECT_EQ(percent, 80u);
  EXPECT_FALSE(ParseProgressLine("garbage", &percent));
  EXPECT_EQ(percent, 80u);
}

TEST(CheckOutput, TerminalTextBecomesLines) {
  // Recorded from e2fsck -c: the surface scan overwrites its progress with backspaces.
  const std::string done = "  0.00% done, 0:00 elapsed. (0/0/0 errors)";
  std::string scan = "Checking for bad blocks (read-only test): " + done +
                     std::string(done.size(), '\b') + "done" + std::string(40, ' ') +
                     "\nimg: Updating\r\n";
  TerminalLines t;
  std::vector<std::string> lines;
  // Fed in pieces, as a pipe delivers it.
  for (size_t i = 0; i < scan.size(); i += 7)
    t.Feed(scan.data() + i, std::min<size_t>(7, scan.size() - i), &lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Checking for bad blocks (read-only test): done");
  EXPECT_EQ(lines[1], "img: Updating");

  lines.clear();
  const std::string colours = "\x1b[1;31mred\x1b[0m\tx\x07\x1b]0;title\x07 end\x7f\nspin\r    \rok";
  t.Feed(colours.data(), colours.size(), &lines);
  EXPECT_EQ(t.Partial(), "ok  ");
  t.Finish(&lines);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "red     x end");
  EXPECT_EQ(lines[1], "ok");

  lines.clear();
  const std::string endless(TerminalLines::kMaxLine * 2 + 10, 'a');
  t.Feed(endless.data(), endless.size(), &lines);
  t.Finish(&lines);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].size(), 10u);

  // A long line is cut between characters, never inside one.
  lines.clear();
  for (const std::string wide : {"\xc3\xa4", "\xe2\x82\xac", "\xf0\x9f\x98\x80"}) {
    const std::string text = std::string(TerminalLines::kMaxLine - 1, 'a') + wide + "b\n";
    t.Feed(text.data(), text.size(), &lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(TerminalLines::kMaxLine - 1, 'a'));
    EXPECT_EQ(lines[1], wide + "b");
    lines.clear();
  }
}

TEST(CheckOutput, TheSurfaceScanIsReadInAnyLanguage) {
  uint32_t percent = 0;
  const std::pair<std::string, uint32_t> read[] = {
      {" 12.34% done, 0:05 elapsed. (0/0/0 errors)", 12},
      {" 45,67% erledigt, 1:05 vergangen. (0/0/0 Fehler)", 45},
      {" 78,90\xe2\x80\xaf% effectu\xc3\xa9, 1:05 \xc3\xa9"
       "coul\xc3\xa9",
       78},
      {"%99,5 tamamland\xc4\xb1, (1/0/0 hata)", 99},
      {"100.00 % fertig", 100}};
  for (const auto& [text, value] : read) {
    EXPECT_TRUE(ScanProgress(text, &percent)) << text;
    EXPECT_EQ(percent, value) << text;
  }
  for (const std::string text : {"0:05 elapsed. (0/0/0 errors)", "", "%", "250% done"})
    EXPECT_FALSE(ScanProgress(text, &percent)) << text;
}

// ---------------------------------------------------------------- the check function

// An engine that plays back reports; `during` runs inside each report.
class ScriptedEngine : public CheckEngine {
 public:
  struct Report {
    uint32_t command;
    uint32_t percent;
    std::string text;
  };
  bool loadable = true;
  bool exclusive = true;
  std::vector<Report> reports;
  std::function<void()> during;
  // What the program asked for and answered.
  std::string root, fileSystem;
  bool fix = false;
  int runs = 0;
  std::vector<bool> answers;

  Status Load() override {
    return loadable ? Status::Ok() : Status::Error("no engine in this test");
  }
  void Unload() override {}
  bool CanOpenExclusive(const std::string&) override { return exclusive; }
  void Chkdsk(const std::string& r, const std::string& fs, bool fixErrors, bool, bool, bool,
              const CheckCallback& callback) override {
    ++runs;
    root = r;
    fileSystem = fs;
    fix = fixErrors;
    for (const Report& rep : reports) {
      if (during) during();
      bool go = true;
      if (rep.command == kCheckTextOutput) {
        CheckTextOutput record{1, rep.text.c_str()};
        go = callback(kCheckTextOutput, 0, &record);
      } else if (rep.command == kCheckDone) {
        const uint8_t ok = 1;
        go = callback(kCheckDone, 0, &ok);
      } else {
        go = callback(rep.command, 0, &rep.percent);
      }
      answers.push_back(go);
      if (!go) break;
    }
  }
};

class CheckFunction : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen"});
    const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
    app.WriteLayout(
        "Mainscreen",
        "[0]\nType=drivelist\nCommand0=checkhdd;maindrive\nPosition=10;10;300;20\n" + font +
            "MenuColor=0|0|0\nMenuFontColor=0|255|0\n"
            "[1]\nType=textboxmultiline\nCommand0=checkhdd;maintextbox\nPosition=50;10;600;100\n" +
            font + "[2]\nType=statusbar\nCommand0=checkhdd;status\nPosition=200;10;300;20\n" +
            font + "[3]\nType=button\nCommand0=checkhdd;start\nPosition=300;10;64;64\n" +
            "[4]\nType=button\nCommand0=checkhdd;cancel\nPosition=300;100;64;64\n" +
            "[5]\nType=button\nCommand0=loadscreen;mainscreen\nPosition=300;200;64;64\n");
    ASSERT_TRUE(app.Start());
    p().os.checker = &engine;
  }
  Program& p() { return app.program(); }
  // Buttons in layout order: start, cancel, the screen change.
  bool Enabled(size_t button) { return p().tables.Buttons.at(button).Enabled; }
  const ListElement& report() { return p().tables.MultiLineTextBoxes[0]; }
  void Start() { RunCommand(p(), "checkhdd", "start"); }

  LinuxTestApp app;
  ScriptedEngine engine;
};

TEST_F(CheckFunction, BusyWhileTheEngineRunsAndIdleAfterwards) {
  AppendLines(p(), "checkhdd", "maintextbox", "from the last run");
  engine.reports = {{kCheckTextOutput, 0,
                     "Pr\xfc"
                     "fung l\xe4uft"},  // Windows-1252
                    {kCheckProgress, 40, ""},
                    {kCheckTextOutput, 0, "Prüfung fertig"},
                    {kCheckDone, 0, ""}};
  std::vector<std::string> seen;
  engine.during = [&] {
    seen.push_back(std::to_string(Enabled(0)) + std::to_string(Enabled(1)) +
                   std::to_string(Enabled(2)) +
                   std::to_string(p().tables.DriveLists[0].DriveLocked) + " " +
                   std::to_string(p().tables.StatusBars[0].Percent));
  };
  Start();
  EXPECT_EQ(engine.root, "C:\\");
  EXPECT_TRUE(engine.fix);
  // start and screen changes off, cancel on, drive list locked; the bar as reported.
  EXPECT_EQ(seen, (std::vector<std::string>{"0101 0", "0101 0", "0101 40", "0101 40"}));
  EXPECT_EQ(report().Items, (std::vector<std::string>{"Prüfung läuft", "Prüfung fertig"}));
  EXPECT_EQ(p().tables.StatusBars[0].Percent, 0);  // back at 0 when done
  EXPECT_TRUE(Enabled(0));
  EXPECT_FALSE(Enabled(1));
  EXPECT_TRUE(Enabled(2));
  EXPECT_FALSE(p().tables.DriveLists[0].DriveLocked);
}

TEST_F(CheckFunction, CancelStopsTheEngineAndIsClearedAfterTheRun) {
  engine.reports = {{kCheckProgress, 10, ""},
                    {kCheckTextOutput, 0, "after cancel"},
                    {kCheckProgress, 20, ""},
                    {kCheckDone, 0, ""}};
  // The cancel button pressed while the engine works, through the dispatcher.
  int reports = 0;
  engine.during = [&] {
    if (++reports == 2) RunCommand(p(), "checkhdd", "cancel");
    // A start that reaches the dispatcher now does not begin a second run.
    RunCommand(p(), "checkhdd", "start");
  };
  Start();
  EXPECT_EQ(engine.runs, 1);
  EXPECT_EQ(engine.answers, (std::vector<bool>{true, false}));
  EXPECT_FALSE(p().flags.CheckDiskCancel);
  EXPECT_FALSE(p().flags.CancelRequested);
  EXPECT_TRUE(Enabled(0));
  EXPECT_FALSE(Enabled(1));

  // The next run starts with the flag clear and runs to its end.
  engine.during = nullptr;
  engine.answers.clear();
  Start();
  EXPECT_EQ(engine.answers, (std::vector<bool>{true, true, true, true}));
}

TEST_F(CheckFunction, NoEngineGivesAnEmptyReportAndTheIdleState) {
  AppendLines(p(), "checkhdd", "maintextbox", "old");
  engine.loadable = false;
  Start();
  EXPECT_EQ(engine.runs, 0);
  EXPECT_EQ(report().ListCount, 0);
  p().os.checker = nullptr;
  Start();
  EXPECT_TRUE(Enabled(0));
  EXPECT_FALSE(Enabled(1));
  EXPECT_TRUE(Enabled(2));
}

// ---------------------------------------------------------------- the Linux engine

struct Recorded {
  std::vector<std::string> lines;
  std::vector<uint32_t> progress;
  int done = 0;
  uint8_t success = 0;
  // Answers false from this progress report on (0: never).
  size_t stopAtProgress = 0;
  std::function<void()> onProgress;
  CheckCallback Callback() {
    return [this](uint32_t command, uint32_t, const void* info) {
      if (command == kCheckTextOutput)
        lines.push_back(static_cast<const CheckTextOutput*>(info)->text);
      if (command == kCheckDone) {
        ++done;
        success = *static_cast<const uint8_t*>(info);
      }
      if (command == kCheckProgress) {
        progress.push_back(*static_cast<const uint32_t*>(info));
        if (onProgress) onProgress();
        if (stopAtProgress && progress.size() >= stopAtProgress) return false;
      }
      return true;
    };
  }
  std::string last() const { return lines.empty() ? "" : lines.back(); }
  bool Has(const std::string& text) const {
    for (const std::string& l : lines)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
};

// A drive D: whose device is a file of this test; the checker is a script.
class FakeChecker : public ::testing::Test {
 protected:
  void SetUp() override {
    device = dir.path() + "/device.img";
    if (!Format("ext4")) GTEST_SKIP() << "e2fsprogs is not installed";
    folder = dir.path() + "/drive";
    fs::create_directory(folder);
    files =
        std::make_unique<PosixFileSystem>(std::vector<DriveMapping>{{'D', folder, device}}, folder);
  }
  // The device gets a file system of this type ("" for none) and nothing else.
  bool Format(const std::string& type) {
    fs::remove(device);
    std::ofstream(device).close();
    fs::resize_file(device, 16 << 20);
    if (type.empty()) return true;
    return Sh((type == "vfat" ? "mkfs.fat " : "mkfs.ext4 -q -F ") + device + " >/dev/null") == 0;
  }
  void Script(const std::string& body) {
    checker = dir.path() + "/checker";
    std::ofstream(checker) << "#!/bin/bash\n" << body << "\n";
    fs::permissions(checker, fs::perms::owner_all);
  }
  void Run(const std::string& fileSystem = "ext4", bool fix = false) {
    PosixCheckOptions o;
    o.e2fsck = o.fsckFat = checker;
    PosixCheckEngine engine(*files, diag, o);
    engine.Chkdsk("D:\\", fileSystem, fix, true, false, true, rec.Callback());
  }

  TempDir dir;
  std::string device, folder, checker = "/nonexistent/e2fsck";
  std::unique_ptr<PosixFileSystem> files;
  RecordingDiagnostics diag;
  Recorded rec;
};

TEST_F(FakeChecker, ThousandsOfLinesAndForeignTextArriveWhole) {
  Script(
      "echo \"$*\"\n"
      "for i in $(seq 1 5000); do echo \"line $i\"; done\n"
      "printf 'Gr\\xf6\\xdfe \\x1b[1mfett\\x1b[0m\\n' >&2\n"
      "printf '1 5 10 dev\\n' >&3; sleep 0.3; printf '5 1 1 dev\\n' >&3\n"
      "exit 1");
  Run("ext4", false);
  ASSERT_GE(rec.lines.size(), 5004u);
  EXPECT_EQ(rec.lines[1], "-f -C 3 -v -n " + device);
  EXPECT_EQ(rec.lines[5001], "line 5000");
  // Bytes kept as the checker wrote them: the program reads them as Windows-1252.
  EXPECT_EQ(rec.lines[5002],
            "Gr\xf6\xdf"
            "e fett");
  EXPECT_EQ(rec.last(), "Errors remain: the drive was checked without fixing (it is in use).");
  EXPECT_EQ(rec.done, 1);
  EXPECT_EQ(rec.success, 0);
  EXPECT_NE(std::find(rec.progress.begin(), rec.progress.end(), 35u), rec.progress.end());
  EXPECT_EQ(rec.progress.back(), 100u);
}

TEST_F(FakeChecker, WhatCannotBeCheckedIsSaidAndNothingRuns) {
  Run("ext4");  // the checker is missing
  EXPECT_TRUE(rec.lines.empty());
  EXPECT_EQ(rec.done, 0);
  EXPECT_TRUE(diag.Mentions("not installed"));

  // The type comes from the device, whatever the drive's folder is said to hold.
  const std::string ran = dir.path() + "/ran";
  // It names what it opens: the device's inode, whatever path it was given.
  Script("echo \"$0 $* $(stat -L -c %i \"${@: -1}\")\" >> " + ran + "; exit 0");
  const auto called = [&](const std::string& args) {
    struct stat st;
    stat(device.c_str(), &st);
    return args + " /proc/self/fd/4 " + std::to_string(st.st_ino);
  };
  PosixCheckOptions o;
  o.e2fsck = checker;
  o.fsckFat = dir.path() + "/fsck.fat";
  fs::copy_file(checker, o.fsckFat);
  const auto check = [&](const std::string& claimed) {
    rec = Recorded{};
    fs::remove(ran);
    PosixCheckEngine engine(*files, diag, o);
    engine.Chkdsk("D:\\", claimed, true, false, false, false, rec.Callback());
    return Trim(ReadWholeFile(ran));
  };
  EXPECT_EQ(check("vfat"), called(checker + " -f -C 3 -y"));
  {  // e2fsck repairs a lost first superblock from a backup
    std::fstream f(device, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(1024);
    f << std::string(1024, '\0');
  }
  EXPECT_EQ(check("vfat"), called(checker + " -f -C 3 -y"));
  ASSERT_TRUE(Format("vfat"));
  EXPECT_EQ(check("ext4"), called(o.fsckFat + " -a"));
  EXPECT_EQ(rec.last(), "No errors found.");

  // No signature, or a device that cannot be opened: nothing runs, the report says why.
  ASSERT_TRUE(Format(""));
  const std::string before = ReadWholeFile(device);
  EXPECT_EQ(check("ext4"), "");
  EXPECT_EQ(rec.last(), "The drive cannot be checked: " + device +
                            " holds no ext2, ext3, ext4 or FAT file system.");
  EXPECT_EQ(rec.done, 1);
  EXPECT_EQ(rec.success, 0);
  EXPECT_EQ(ReadWholeFile(device), before);
  fs::remove(device);
  EXPECT_EQ(check("ext4"), "");
  EXPECT_EQ(rec.last(),
            "The drive cannot be checked: " + device + ": " + std::strerror(ENOENT) + ".");
  EXPECT_EQ(rec.done, 1);
  ASSERT_EQ(mkfifo(device.c_str(), 0600), 0);  // no hang on a FIFO in the device's place
  EXPECT_EQ(check("ext4"), "");
  EXPECT_EQ(rec.last(), "The drive cannot be checked: " + device + " is not the drive's device.");

  files = std::make_unique<PosixFileSystem>(std::vector<DriveMapping>{{'D', folder, ""}}, folder);
  rec = Recorded{};
  Run("ext4");  // no device at all
  EXPECT_TRUE(rec.lines.empty());
  EXPECT_TRUE(diag.Mentions("no device"));
}

TEST_F(FakeChecker, RepairComesFirstAndAReadOnlyPassHasTheLastWord) {
  // The checker answers each mode with the status written for it.
  const std::string runs = dir.path() + "/runs";
  Script("echo \"$*\" >> " + runs +
         "\ncase \"$*\" in *-c*) m=c;; *-n*) m=n;; *) m=y;; esac\n"
         "exit $(cat " +
         dir.path() + "/$m)");
  struct Case {
    std::string type;
    int y, n, c;
    std::vector<std::string> runs;
    std::string last;
  };
  const std::string e = "-f -C 3 ";
  const Case cases[] = {
      // Repaired, verified, then scanned: the bad blocks found are recorded (-y).
      {"ext4", 1, 0, 0, {e + "-y", e + "-n", e + "-y -c"}, "Errors were corrected."},
      // The read-only pass still finds errors: no scan, no success.
      {"ext4", 1, 4, 0, {e + "-y", e + "-n"}, "Errors remain: a second check still finds errors."},
      {"ext4",
       1,
       8,
       0,
       {e + "-y", e + "-n"},
       "The check failed: " + checker + " ended with status 8."},
      // A clean file system is scanned at once; a scan that changed something is verified.
      {"ext4",
       0,
       4,
       1,
       {e + "-y", e + "-y -c", e + "-n"},
       "Errors remain: a second check still finds errors."},
      {"ext4", 12, 0, 0, {e + "-y"}, "The check failed: " + checker + " ended with status 12."},
      // fsck.fat ends with 1 both when it corrected and when it could not read.
      {"vfat", 0, 1, 0, {"-a"}, "No errors found."},
      {"vfat", 1, 0, 0, {"-a", "-n"}, "Errors were corrected."},
      {"vfat",
       1,
       1,
       0,
       {"-a", "-n"},
       "Errors remain: a second check still finds errors or cannot read the drive."},
  };
  std::string formatted;
  for (const Case& c : cases) {
    if (c.type != formatted) {
      ASSERT_TRUE(Format(c.type));
    }
    formatted = c.type;
    std::ofstream(dir.path() + "/y") << c.y;
    std::ofstream(dir.path() + "/n") << c.n;
    std::ofstream(dir.path() + "/c") << c.c;
    fs::remove(runs);
    rec = Recorded{};
    PosixCheckOptions o;
    o.e2fsck = o.fsckFat = checker;
    PosixCheckEngine engine(*files, diag, o);
    engine.Chkdsk("D:\\", c.type, true, false, false, true, rec.Callback());
    std::string expected;
    for (const std::string& r : c.runs) expected += r + " /proc/self/fd/4\n";
    EXPECT_EQ(ReadWholeFile(runs), expected) << c.type << c.y << c.n << c.c;
    EXPECT_EQ(rec.last(), c.last);
    EXPECT_EQ(rec.success, c.last == "Errors were corrected." || c.last == "No errors found.");
  }
}

TEST_F(FakeChecker, AKilledCheckerIsAFailureAndACancelStopsItAtOnce) {
  Script("echo working; kill -9 $$");
  Run("vfat");
  EXPECT_EQ(rec.last(), "The check failed: " + checker + " was ended by signal 9.");
  EXPECT_EQ(rec.success, 0);

  // A checker that never ends by itself: the stop reaches it and the run ends.
  rec = Recorded{};
  Script("trap 'echo stopping; exit 32' INT\necho 1 1 10 d >&3\nwhile :; do sleep 0.05; done");
  rec.stopAtProgress = 1;
  Run("ext4");
  EXPECT_TRUE(rec.Has("stopping"));
  EXPECT_EQ(rec.last(), "The check was cancelled.");
  EXPECT_EQ(rec.done, 1);
}

TEST_F(FakeChecker, TheCheckerEndsWithTheProgram) {
  const std::string pidFile = dir.path() + "/checker.pid";
  Script("echo $$ > " + pidFile + ".tmp; mv " + pidFile + ".tmp " + pidFile +
         "; while :; do sleep 0.05; done");
  const pid_t program = fork();
  if (program == 0) {
    Run("ext4");
    _exit(0);
  }
  ASSERT_GT(program, 0);
  for (int i = 0; i < 500 && !fs::exists(pidFile); ++i) usleep(10000);
  const std::string checkerPid = Trim(ReadWholeFile(pidFile));
  ASSERT_FALSE(checkerPid.empty());
  kill(program, SIGKILL);
  waitpid(program, nullptr, 0);
  bool ended = false;
  for (int i = 0; i < 500 && !ended; ++i, usleep(10000)) {
    const std::string stat = ReadWholeFile("/proc/" + checkerPid + "/stat");
    ended = stat.empty() || stat.find(") Z") != std::string::npos;
  }
  EXPECT_TRUE(ended);
}

// ---------------------------------------------------------------- real images

// A file system image of this test, corrupted on demand.
class Image {
 public:
  Image(const std::string& dir, const std::string& type, int megabytes) : path_(dir + "/disk.img") {
    fs::create_directories(dir);
    std::ofstream(path_).close();
    fs::resize_file(path_, static_cast<uintmax_t>(megabytes) << 20);
    // `type` may carry options of mkfs.ext4 after the type.
    const std::string mk =
        type == "vfat" ? "mkfs.fat " : "mkfs.ext4 -q -F -b 4096 " + type.substr(4) + " ";
    ok_ = Sh(mk + path_ + " >/dev/null") == 0;
  }
  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }
  // Writes keep.txt and junk, then clears junk's inode: a directory entry without its inode.
  bool Corrupt() const {
    const std::string dir = fs::path(path_).parent_path().string();
    std::ofstream(dir + "/keep.txt") << "kept\n";
    return Sh("debugfs -w -R 'write " + dir + "/keep.txt keep.txt' " + path_) == 0 &&
           Sh("debugfs -w -R 'write " + dir + "/keep.txt junk' " + path_) == 0 &&
           Sh("debugfs -w -R 'clri junk' " + path_) == 0;
  }

 private:
  std::string path_;
  bool ok_ = false;
};

bool HaveTools() {
  return Sh("command -v e2fsck && command -v debugfs && command -v mkfs.ext4") == 0;
}

// How a mount shares with others, without the peer group numbers: "shared", "master", ...
std::string Sharing(const MountEntry& m) {
  std::string kinds;
  for (const std::string& p : m.propagation)
    kinds += (kinds.empty() ? "" : " ") + p.substr(0, p.find(':'));
  return kinds;
}

// A check through the whole program of the drive D:, its folder and device given.
class RealCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "e2fsprogs is not installed";
    folder = dir.path() + "/drive";
    fs::create_directory(folder);
  }
  std::unique_ptr<PosixFileSystem> Drive(const std::string& device) {
    return std::make_unique<PosixFileSystem>(
        std::vector<DriveMapping>{{'D', fs::canonical(folder).string(), device}}, folder);
  }
  void Check(PosixCheckEngine& engine, Recorded& rec, const std::string& fileSystem = "ext4") {
    engine.Chkdsk("D:\\", fileSystem, engine.CanOpenExclusive("D:\\"), true, false, false,
                  rec.Callback());
  }
  // Skips unless this machine lets the test mount images.
  bool CanMount() {
    if (geteuid() != 0 || Sh("command -v losetup") != 0) return false;
    return true;
  }

  TempDir dir;
  std::string folder;
  RecordingDiagnostics diag;
};

TEST_F(RealCheck, AnUnmountedCorruptedImageIsRepairedAndThenClean) {
  Image img(dir.path(), "ext4", 16);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  auto files = Drive(img.path());
  PosixCheckEngine engine(*files, diag);
  ASSERT_TRUE(engine.CanOpenExclusive("D:\\"));
  Recorded first, second;
  Check(engine, first);
  EXPECT_TRUE(first.Has("Pass 5")) << first.last();
  EXPECT_EQ(first.last(), "Errors were corrected.");
  EXPECT_EQ(first.progress.back(), 100u);
  Check(engine, second);
  EXPECT_EQ(second.last(), "No errors found.");
  EXPECT_EQ(Sh("e2fsck -fn " + img.path()), 0);
}

TEST_F(RealCheck, FatImagesAreCheckedAndRepairedByTheirChecker) {
  if (Sh("command -v fsck.fat && command -v mkfs.fat") != 0) GTEST_SKIP() << "no dosfstools";
  Image img(dir.path(), "vfat", 16);
  ASSERT_TRUE(img.ok());
  auto files = Drive(img.path());
  PosixCheckEngine engine(*files, diag);
  Recorded clean;
  Check(engine, clean, "vfat");
  EXPECT_EQ(clean.last(), "No errors found.");
  // Two FATs that disagree: the second copy's first entry changed.
  {
    std::fstream f(img.path(), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(2048 + 16384 + 8);
    f.put('\x55');
  }
  Recorded repaired, again;
  Check(engine, repaired, "vfat");
  EXPECT_EQ(repaired.last(), "Errors were corrected.");
  Check(engine, again, "vfat");
  EXPECT_EQ(again.last(), "No errors found.");
}

TEST_F(RealCheck, CancelDuringPassOneAndDuringTheSurfaceScanLeavesAConsistentImage) {
  // Many inodes without checksums of unused ones: pass 1 reads every inode table.
  Image img(dir.path(), "ext4 -N 1000000 -O ^metadata_csum", 1024);
  ASSERT_TRUE(img.ok());
  auto files = Drive(img.path());
  PosixCheckEngine engine(*files, diag);
  for (bool scan : {false, true}) {
    Recorded rec;
    rec.stopAtProgress = 1;
    engine.Chkdsk("D:\\", "ext4", true, true, false, scan, rec.Callback());
    EXPECT_EQ(rec.last(), "The check was cancelled.") << scan;
    EXPECT_LT(rec.progress.front(), 70u);
    EXPECT_EQ(rec.done, 1);
    EXPECT_FALSE(rec.Has("Pass 2")) << scan;
  }
  // Nothing of the checker is left running on the image.
  EXPECT_EQ(ProcessesHolding(img.path()), 0);
  EXPECT_EQ(Sh("e2fsck -fn " + img.path()), 0);
}

TEST_F(RealCheck, ADeviceThatVanishesEndsTheCheckWithoutSuccess) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  // Pass 1 reads every inode table: time enough for the data to go while the checker reads.
  Image img(dir.path(), "ext4 -N 1000000 -O ^metadata_csum", 1024);
  ASSERT_TRUE(img.ok());
  {
    std::ofstream commands(dir.path() + "/mkdirs");
    for (int i = 0; i < 300; ++i) commands << "mkdir d" << i << "\n";
  }
  ASSERT_EQ(Sh("debugfs -w -f " + dir.path() + "/mkdirs " + img.path() + " >/dev/null"), 0);
  std::string out;
  ASSERT_EQ(Sh("losetup --find --show " + img.path(), &out), 0);
  const std::string loop = out.substr(0, out.find('\n'));
  struct Detach {
    std::string loop;
    ~Detach() { Sh("losetup -d " + loop + " 2>/dev/null"); }
  } detach{loop};
  auto files = Drive(loop);
  PosixCheckEngine engine(*files, diag);
  Recorded rec;
  bool gone = false;
  rec.onProgress = [&] {
    if (gone) return;
    gone = true;
    // Detached (deferred while the checker holds it), its data and cached blocks gone.
    Sh("losetup -d " + loop + "; truncate -s 0 " + img.path() + "; blockdev --flushbufs " + loop);
  };
  engine.Chkdsk("D:\\", "ext4", false, true, false, false, rec.Callback());
  EXPECT_EQ(rec.done, 1);
  EXPECT_EQ(rec.success, 0) << rec.last();
  EXPECT_NE(rec.last(), "No errors found.");
}

TEST_F(RealCheck, AMountedImageIsUnmountedFixedAndMountedAgainWhereItWas) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  LoopMount mount(img.path(), folder, "noatime,nodev,nosymfollow");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  ASSERT_EQ(Sh("mount --make-shared " + folder), 0);
  MountEntry before, after;
  ASSERT_TRUE(mount.MountedHere(&before));
  auto files = Drive("");  // the device comes from the mount table
  PosixCheckEngine engine(*files, diag);
  EXPECT_EQ(engine.FindTarget("D:\\").device, mount.device());
  Recorded rec;
  Check(engine, rec);
  EXPECT_EQ(rec.last(), "Errors were corrected.");
  ASSERT_TRUE(mount.MountedHere(&after));
  EXPECT_EQ(after.source, before.source);
  EXPECT_EQ(after.fsType, "ext4");
  EXPECT_EQ(after.mountOptions, before.mountOptions);
  EXPECT_EQ(after.superOptions, before.superOptions);
  EXPECT_EQ(Sharing(after), "shared");
  std::string kept;
  std::getline(std::ifstream(folder + "/keep.txt"), kept);
  EXPECT_EQ(kept, "kept");
  EXPECT_FALSE(fs::exists(folder + "/junk"));
}

TEST_F(RealCheck, ABusyDriveIsCheckedReadOnlyAndStaysMounted) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  LoopMount mount(img.path(), folder, "defaults");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  const int held = open((folder + "/keep.txt").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  auto files = Drive(mount.device());
  PosixCheckEngine engine(*files, diag);
  Recorded rec;
  Check(engine, rec);
  close(held);
  EXPECT_TRUE(mount.MountedHere());
  EXPECT_EQ(rec.lines.front(), "The drive is checked without fixing: it is in use.");
  EXPECT_EQ(rec.last(), "Errors remain: the drive was checked without fixing (it is in use).");
}

TEST_F(RealCheck, AFailedRemountIsReportedAndTheCheckIsNoSuccess) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok());
  LoopMount mount(img.path(), folder, "defaults");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  auto files = Drive(mount.device());
  PosixCheckOptions o;
  o.mount = [](const std::string&, const std::string&, const std::string&, unsigned long,
               const std::string&) {
    errno = EIO;
    return -1;
  };
  PosixCheckEngine engine(*files, diag, o);
  Recorded rec;
  Check(engine, rec);
  EXPECT_FALSE(mount.MountedHere());
  EXPECT_EQ(rec.lines[rec.lines.size() - 2], "No errors found.");
  EXPECT_EQ(rec.last(), "The drive could not be mounted again at " +
                            fs::canonical(folder).string() + ": " + std::strerror(EIO) + ".");
  EXPECT_EQ(rec.success, 0);
  EXPECT_TRUE(diag.Mentions(mount.device()));
}

TEST_F(RealCheck, MisplacedTablesAreRepairedAsAPlainRepairDoesAndThenScanned) {
  for (const std::string field : {"inode_table", "block_bitmap", "inode_bitmap"}) {
    TempDir work;
    Image img(work.path(), "ext4", 32);
    ASSERT_TRUE(img.ok() && img.Corrupt());
    // Group 0's table or bitmap points beyond the end of the file system.
    ASSERT_EQ(Sh("debugfs -w -R 'set_bg 0 " + field + " 20000' " + img.path() +
                 " 2>&1 && debugfs -w -R 'set_bg 0 checksum calc' " + img.path()),
              0);
    const std::string plain = work.path() + "/plain.img";
    fs::copy_file(img.path(), plain);
    Sh("e2fsck -fy " + plain);
    auto files = Drive(img.path());
    PosixCheckEngine engine(*files, diag);
    Recorded rec;
    engine.Chkdsk("D:\\", "ext4", true, true, false, true, rec.Callback());
    EXPECT_EQ(rec.last(), "Errors were corrected.") << field;
    EXPECT_TRUE(rec.Has("Checking for bad blocks")) << field;  // scanned after the repair
    EXPECT_EQ(Sh("e2fsck -fn " + img.path()), 0) << field;
    // The same entries and the same free space as after a plain repair.
    const auto state = [](const std::string& image) {
      std::string out;
      Sh("debugfs -R 'ls /' " + image + " 2>/dev/null; dumpe2fs -h " + image +
             " 2>/dev/null | grep -E '^Free (blocks|inodes)'",
         &out);
      return out;
    };
    EXPECT_EQ(state(img.path()), state(plain)) << field;
  }
}

TEST_F(RealCheck, TheDriveGoesBackOnlyWhereItWasAndSharedFileSystemsAreOnlyChecked) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  LoopMount mount(img.path(), folder, "defaults");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  const std::string elsewhere = dir.path() + "/elsewhere", moved = dir.path() + "/moved";
  fs::create_directory(elsewhere);
  Unmounts undo{{elsewhere, moved, folder + "/sub"}};
  const std::string mounted = fs::canonical(folder).string();

  // A subfolder of the file system bound onto the drive's folder, then a second mount of it.
  ASSERT_EQ(Sh("mkdir " + folder + "/sub && mount --bind " + folder + "/sub " + folder + "/sub"),
            0);
  auto sub = std::make_unique<PosixFileSystem>(
      std::vector<DriveMapping>{{'D', mounted + "/sub", ""}}, folder);
  PosixCheckEngine subEngine(*sub, diag);
  Recorded bound;
  Check(subEngine, bound);
  EXPECT_EQ(bound.lines.front(),
            "The drive is checked without fixing: only a folder of its file system is the drive.");
  ASSERT_EQ(umount2((folder + "/sub").c_str(), 0), 0);
  ASSERT_EQ(Sh("mount " + mount.device() + " " + elsewhere), 0);
  auto files = Drive("");
  PosixCheckEngine engine(*files, diag);
  Recorded twice;
  Check(engine, twice);
  EXPECT_EQ(
      twice.lines.front(),
      "The drive is checked without fixing: its file system is mounted in another place too.");
  EXPECT_TRUE(mount.MountedHere());
  ASSERT_EQ(umount2(elsewhere.c_str(), 0), 0);
  {
    // The same image served by a second loop device, and mounted through that one.
    LoopMount second(img.path(), elsewhere, "defaults");
    ASSERT_TRUE(second.ok());
    Recorded looped;
    Check(engine, looped);
    EXPECT_EQ(looped.lines.front(), "The drive is checked without fixing: it is in use.");
    EXPECT_TRUE(second.MountedHere());
  }

  // The mount point swapped for a link to another folder while the drive is unmounted.
  Recorded swapped;
  swapped.onProgress = [&] {
    if (fs::exists(moved)) return;
    fs::rename(folder, moved);
    fs::create_directory_symlink(elsewhere, folder);
  };
  Check(engine, swapped);
  EXPECT_EQ(swapped.last(), "The drive was not mounted again: " + mounted +
                                " no longer leads to the folder it was mounted on.");
  EXPECT_EQ(swapped.success, 0);
  for (const MountEntry& m : ReadMountInfo()) {
    EXPECT_NE(m.mountPoint, elsewhere);
    EXPECT_NE(m.mountPoint, moved);
  }
}

TEST_F(RealCheck, ADeviceThatRefusesWritesIsOnlyChecked) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 16);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  std::string device;
  ASSERT_EQ(Sh("losetup --read-only --find --show " + img.path(), &device), 0);
  device.resize(device.find('\n'));
  struct Detach {
    std::string device;
    ~Detach() { Sh("losetup -d " + device); }
  } detach{device};
  Unmounts undo{{folder}};
  for (const bool mounted : {false, true}) {
    if (mounted) {
      ASSERT_EQ(Sh("mount -o ro " + device + " " + folder), 0);
    }
    auto files = Drive(mounted ? "" : device);
    PosixCheckEngine engine(*files, diag);
    EXPECT_FALSE(engine.CanOpenExclusive("D:\\"));
    Recorded rec;
    engine.Chkdsk("D:\\", "ext4", true, false, false, false, rec.Callback());
    EXPECT_EQ(rec.last(),
              "Errors remain: the drive was checked without fixing (its device is read-only).")
        << mounted;
    if (mounted) {
      EXPECT_EQ(Sh("findmnt -n -o OPTIONS " + folder + " | grep -q '^ro,'"), 0);
    }
  }
}

TEST_F(RealCheck, TheDriveComesBackHoweverTheProgramEnds) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4 -N 1000000 -O ^metadata_csum", 1024);
  ASSERT_TRUE(img.ok());
  LoopMount mount(img.path(), folder, "noatime,nosymfollow");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  ASSERT_EQ(Sh("mount --make-unbindable " + folder), 0);
  MountEntry before;
  ASSERT_TRUE(mount.MountedHere(&before));
  const std::string started = dir.path() + "/started";
  // The program as a child of the test, ended inside a report or killed outright.
  const auto program = [&](const std::string& checker, bool killed) {
    fs::remove(started);
    const pid_t child = fork();
    if (child == 0) {
      auto files = Drive("");
      PosixCheckOptions o;
      if (!checker.empty()) o.e2fsck = checker;
      PosixCheckEngine engine(*files, diag, o);
      struct Closed {};
      try {
        engine.Chkdsk("D:\\", "ext4", true, false, false, false,
                      [&](uint32_t c, uint32_t, const void*) {
                        if (c != kCheckProgress) return true;
                        std::ofstream(started) << "1";
                        if (!killed) throw Closed{};  // the window closed: the program unwinds
                        return true;
                      });
      } catch (const Closed&) {
        _exit(0);
      }
      _exit(1);
    }
    for (int i = 0; i < 3000 && !fs::exists(started); ++i) usleep(10000);
    if (killed) kill(child, SIGKILL);
    int status = -1;
    bool ended = false;
    for (int i = 0; i < 3000 && !ended; ++i, usleep(10000))
      ended = waitpid(child, &status, WNOHANG) == child;
    if (!ended) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
    MountEntry after;
    bool back = false;
    for (int i = 0; i < 1500 && !back; ++i, usleep(10000)) back = mount.MountedHere(&after);
    EXPECT_TRUE(ended) << "the program hangs";
    EXPECT_TRUE(back);
    EXPECT_EQ(after.mountOptions, before.mountOptions);
    EXPECT_EQ(after.superOptions, before.superOptions);
    EXPECT_EQ(Sharing(after), "unbindable");
  };
  // A checker that still writes a lot when it is stopped: its output is drained to its end.
  const std::string flood = dir.path() + "/flood";
  std::ofstream(flood)
      << "#!/bin/bash\ntrap 'for i in $(seq 1 20000); do echo \"stopping $i\"; done; "
         "exit 32' INT\necho 1 1 10 d >&3\nwhile :; do sleep 0.05; done\n";
  fs::permissions(flood, fs::perms::owner_all);
  program(flood, false);
  // Killed during a real repair: the guardian waits for e2fsck and mounts the drive back.
  program("", true);
  EXPECT_EQ(Sh("e2fsck -fn " + mount.device()), 0);
}

TEST_F(RealCheck, ALackOfRightsIsSaidSo) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 16);
  ASSERT_TRUE(img.ok());
  // The check as an ordinary user, of an image it may read (0644) or not (0600).
  const std::string report = dir.path() + "/out/report";
  fs::create_directory(dir.path() + "/out");
  fs::permissions(dir.path() + "/out", fs::perms::all);
  const auto asUser = [&](mode_t mode) {
    fs::permissions(dir.path(), fs::perms(0755));
    chmod(img.path().c_str(), mode);
    const pid_t child = fork();
    if (child == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
      auto files = Drive(img.path());
      PosixCheckEngine engine(*files, diag);
      Recorded rec;
      Check(engine, rec);
      std::ofstream out(report + ".tmp");
      for (const std::string& l : rec.lines) out << l << "\n";
      out.close();
      _exit(rename((report + ".tmp").c_str(), report.c_str()) == 0 ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
    return ReadWholeFile(report);
  };
  const std::string readable = asUser(0644);
  EXPECT_EQ(readable.substr(0, readable.find('\n')),
            "The drive is checked without fixing: the check needs administrator rights.");
  EXPECT_NE(readable.find("No errors found."), std::string::npos) << readable;
  EXPECT_EQ(asUser(0600), "The check needs administrator rights: " + img.path() + ": " +
                              std::strerror(EACCES) + ".\n");

  // A mounted drive that may not be unmounted.
  LoopMount mount(img.path(), folder, "defaults");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  auto files = Drive("");
  PosixCheckOptions o;
  o.unmount = [](const std::string&) {
    errno = EPERM;
    return -1;
  };
  PosixCheckEngine engine(*files, diag, o);
  Recorded rec;
  Check(engine, rec);
  EXPECT_EQ(rec.lines.front(),
            "The drive is checked without fixing: the check needs administrator rights.");
  EXPECT_TRUE(mount.MountedHere());
}

// The same check of the same corrupted image, once directly and once through quorvin-helper
// (started without pkexec, as for root): the same report, progress and ending.
TEST_F(RealCheck, TheHelperReportsAsTheDirectPathDoes) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  const std::string copy = dir.path() + "/copy.img";
  fs::copy_file(img.path(), copy);
  const auto check = [&](bool helper, Recorded& rec,
                         const std::string& program = QV_BINARY_DIR "/quorvin-helper") {
    fs::copy_file(copy, img.path(), fs::copy_options::overwrite_existing);
    LoopMount mount(img.path(), folder, "noatime");
    if (!mount.ok()) return false;
    auto files = Drive("");
    PosixCheckOptions o;
    o.helper = program;
    o.helperForRoot = helper;
    PosixCheckEngine engine(*files, diag, o);
    engine.Chkdsk("D:\\", "ext4", true, true, false, false, rec.Callback());
    EXPECT_TRUE(mount.MountedHere()) << helper;
    std::string kept;
    std::getline(std::ifstream(folder + "/keep.txt"), kept);
    EXPECT_EQ(kept, "kept") << helper;
    // The loop device may differ between the two.
    for (std::string& l : rec.lines)
      for (size_t at; (at = l.find(mount.device())) != std::string::npos;)
        l.replace(at, mount.device().size(), "DEVICE");
    return true;
  };
  Recorded direct, helped;
  if (!check(false, direct)) GTEST_SKIP() << "this machine does not mount loop devices";
  ASSERT_TRUE(check(true, helped));
  EXPECT_EQ(direct.last(), "Errors were corrected.");
  EXPECT_EQ(helped.lines, direct.lines);
  // How many progress reports come depends on how the checker's output is cut into reads.
  ASSERT_FALSE(helped.progress.empty());
  EXPECT_EQ(helped.progress.front(), direct.progress.front());
  EXPECT_EQ(helped.progress.back(), direct.progress.back());
  EXPECT_TRUE(std::is_sorted(helped.progress.begin(), helped.progress.end()));
  EXPECT_GT(helped.progress.size(), 3u);
  EXPECT_EQ(helped.done, 1);
  EXPECT_EQ(helped.success, direct.success);
  // A cancel reaches the helper, which stops and still mounts the drive back.
  Recorded cancelled;
  cancelled.stopAtProgress = 1;
  ASSERT_TRUE(check(true, cancelled));
  EXPECT_EQ(cancelled.last(), "The check was cancelled.");
  EXPECT_EQ(cancelled.done, 1);
  // That was the helper: without one, the check is only a check.
  Recorded none;
  ASSERT_TRUE(check(true, none, "/nonexistent/quorvin-helper"));
  EXPECT_EQ(none.lines.front().rfind("Fixing needs administrator rights: ", 0), 0u);
  EXPECT_EQ(none.last(),
            "Errors remain: the drive was checked without fixing (fixing needs "
            "administrator rights).");
}

// The program is gone in mid-check (its pipes closed): the helper neither dies of the closed
// output nor leaves the drive unmounted; it stops the check and mounts the drive back itself.
TEST_F(RealCheck, AHelperWhoseProgramIsGoneMountsTheDriveBackAndEnds) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4 -N 1000000 -O ^metadata_csum", 1024);
  ASSERT_TRUE(img.ok());
  LoopMount mount(img.path(), folder, "noatime");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  UniqueFd out, outEnd, in, inEnd;
  ASSERT_TRUE(MakePipe(&out, &outEnd).ok() && MakePipe(&in, &inEnd).ok());
  ChildOptions o;
  o.descriptors = {{0, in.get()}, {1, outEnd.get()}};
  ChildProcess helper;
  ASSERT_TRUE(
      helper
          .Start({QV_BINARY_DIR "/quorvin-helper", "check-fix", fs::canonical(folder).string()}, o)
          .ok());
  in.reset();
  outEnd.reset();
  // Gone once the check is under way: the drive is unmounted then.
  char c = 0;
  while (read(out.get(), &c, 1) == 1 && c != 'P') {
  }
  EXPECT_EQ(c, 'P');
  EXPECT_FALSE(mount.MountedHere());
  out.reset();
  inEnd.reset();
  const ChildExit exit = helper.Wait();
  EXPECT_FALSE(exit.signaled) << exit.code;
  EXPECT_EQ(exit.code, kHelperJobFailed);  // cancelled
  EXPECT_TRUE(mount.MountedHere());
  EXPECT_EQ(Sh("e2fsck -fn " + mount.device()), 0);
}

// A user without authorisation (here: no polkit to ask, or no pkexec at all) gets the check
// without fixing, of a mounted drive whose device it may read, and is told why.
TEST_F(RealCheck, WithoutAuthorisationAUserGetsACheckOnly) {
  if (!CanMount()) GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 16);
  ASSERT_TRUE(img.ok());
  LoopMount mount(img.path(), folder, "defaults");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  struct stat st;
  ASSERT_EQ(stat(mount.device().c_str(), &st), 0);
  struct Restore {
    std::string device;
    mode_t mode;
    ~Restore() { chmod(device.c_str(), mode); }
  } restore{mount.device(), st.st_mode & 07777};
  ASSERT_EQ(chmod(mount.device().c_str(), 0644), 0);
  fs::permissions(dir.path(), fs::perms(0755));
  int lines[2];
  ASSERT_EQ(pipe(lines), 0);
  const pid_t child = fork();
  if (child == 0) {
    close(lines[0]);
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    auto files = Drive("");
    PosixCheckOptions o;
    o.helper = std::string(QV_BINARY_DIR) + "/quorvin-helper";
    PosixCheckEngine engine(*files, diag, o);
    Recorded rec;
    Check(engine, rec);
    for (const std::string& l : rec.lines)
      if (write(lines[1], (l + "\n").data(), l.size() + 1) < 0) _exit(3);
    _exit(rec.done == 1 && rec.success ? 0 : 1);
  }
  close(lines[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(lines[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(lines[0]);
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0) << text;
  EXPECT_EQ(text.rfind("Fixing needs administrator rights: ", 0), 0u) << text;
  EXPECT_EQ(text.find("checked without fixing"), std::string::npos) << text;
  EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), "No errors found.\n") << text;
  EXPECT_TRUE(mount.MountedHere());
}

// ---------------------------------------------------------------- the shipped skin, headless

// The program with the default skin in a folder of C:, whose device is an image of the test.
class ProbeCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "e2fsprogs is not installed";
    const fs::path skin = fs::path(QV_BINARY_DIR) / "Skin";
    ASSERT_TRUE(fs::exists(skin / "checkhdd.ini")) << "the build paints the skin first";
    fs::create_directories(drive + "/app");
    fs::copy(skin, drive + "/app/Skin", fs::copy_options::recursive);
    fs::copy(fs::path(QV_BINARY_DIR) / "settings.ini", drive + "/app/settings.ini");
    fs::create_directory(out);
  }
  // Runs a script; `drives` are more --drive arguments. Returns the probe's status.
  int Probe(const std::string& script, const std::string& device, const std::string& drives = "") {
    std::ofstream(dir.path() + "/script.txt") << script;
    return Sh(std::string(QV_BINARY_DIR) + "/quorvin-probe run --app-dir " + drive +
                  "/app --drive C=" + drive + ",device=" + device + " " + drives + " --out " + out +
                  " " + dir.path() + "/script.txt",
              &log);
  }
  std::string Dump(const std::string& name) { return ReadWholeFile(out + "/" + name); }

  TempDir dir;
  std::string drive = dir.path() + "/drive", out = dir.path() + "/out", log;
};

bool ButtonEnabled(const std::string& dump, const std::string& name) {
  const size_t at = dump.find("\"key\": [\"checkhdd\", \"" + name + "\"]");
  return dump.compare(dump.find("\"enabled\": ", at) + 11, 4, "true") == 0;
}

TEST_F(ProbeCheck, TheCheckScreenRepairsAnImageAndCancelsAtOnce) {
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  ASSERT_EQ(Probe("press loadscreen checkhdd\npress checkhdd start\ndump first.json\n"
                  "press checkhdd start\ndump second.json\n"
                  "press checkhdd maintextboxpageup\npress checkhdd maintextboxpageup\n"
                  "dump paged.json\n",
                  img.path()),
            0)
      << log;
  const std::vector<std::string> first = DumpItems(Dump("first.json"), "checkhdd", "maintextbox");
  ASSERT_FALSE(first.empty()) << log;
  EXPECT_EQ(first.back(), "Errors were corrected.");
  const std::string second = Dump("second.json");
  const std::vector<std::string> report = DumpItems(second, "checkhdd", "maintextbox");
  // Cleared at the start: nothing of the first run is left.
  EXPECT_EQ(std::count(report.begin(), report.end(), "Errors were corrected."), 0);
  EXPECT_EQ(report.back(), "No errors found.");
  EXPECT_TRUE(ButtonEnabled(second, "start"));
  EXPECT_FALSE(ButtonEnabled(second, "cancel"));
  EXPECT_NE(second.find("\"percent\": 0"), std::string::npos);
  const auto top = [](const std::string& dump) {
    const size_t at = dump.find("\"topIndex\": ", dump.find("\"multiLineTextBoxes\""));
    return std::stoi(dump.substr(at + 12));
  };
  EXPECT_LT(top(Dump("paged.json")), top(second));

  // A cancel pressed while the checker works, on an image whose first pass takes a while.
  Image big(dir.path() + "/big", "ext4 -N 1000000 -O ^metadata_csum", 1024);
  ASSERT_TRUE(big.ok());
  ASSERT_EQ(Probe("press loadscreen checkhdd\npress checkhdd start\n~press checkhdd cancel\n"
                  "dump cancelled.json\n",
                  big.path()),
            0)
      << log;
  const std::string cancelled = Dump("cancelled.json");
  const std::vector<std::string> lines = DumpItems(cancelled, "checkhdd", "maintextbox");
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "The check was cancelled.");
  EXPECT_NE(cancelled.find("\"CheckDiskCancel\": false"), std::string::npos);
  EXPECT_TRUE(ButtonEnabled(cancelled, "start"));
  EXPECT_EQ(Sh("e2fsck -fn " + big.path()), 0);
}

TEST_F(ProbeCheck, ALoopMountedDriveIsRepairedAndLeftMountedWhereItWas) {
  if (geteuid() != 0 || Sh("command -v losetup") != 0)
    GTEST_SKIP() << "needs root and loop devices";
  Image img(dir.path(), "ext4", 32);
  ASSERT_TRUE(img.ok() && img.Corrupt());
  const std::string folder = dir.path() + "/mnt";
  fs::create_directory(folder);
  LoopMount mount(img.path(), folder, "noatime");
  if (!mount.ok()) GTEST_SKIP() << "this machine does not mount loop devices";
  MountEntry before, after;
  ASSERT_TRUE(mount.MountedHere(&before));
  Image own(dir.path() + "/own", "ext4", 16);
  // Row 0 of the open menu is the chosen drive, then C:, then D:.
  ASSERT_EQ(Probe("press loadscreen checkhdd\ntap checkhdd maindrive 0\ntap checkhdd maindrive 2\n"
                  "press checkhdd start\ndump mounted.json\nshot report.png\n",
                  own.path(), "--drive D=" + folder),
            0)
      << log;
  const std::vector<std::string> lines = DumpItems(Dump("mounted.json"), "checkhdd", "maintextbox");
  ASSERT_FALSE(lines.empty()) << log;
  EXPECT_EQ(lines.back(), "Errors were corrected.");
  ASSERT_TRUE(mount.MountedHere(&after));
  EXPECT_EQ(after.source, before.source);
  EXPECT_EQ(after.mountOptions, before.mountOptions);
  EXPECT_TRUE(fs::exists(folder + "/keep.txt"));
  EXPECT_TRUE(fs::exists(out + "/report.png"));
}

}  // namespace
}  // namespace qv::test
