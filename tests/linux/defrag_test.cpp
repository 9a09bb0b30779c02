// Fragmentation analysis and the defragmentation run over volumes with exact bitmaps and extents:
// the bitmap scan, the statistics, the screen's states and the tool's runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "LinuxTestProgram.h"
#include "commands/modDispatch.h"
#include "disk/modDefrag.h"
#include "screens/modScreens.h"
#include "widgets/modDriveList.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

// A volume whose clusters in use are given, served like the platform serves them.
class FakeVolume : public OpenVolume {
 public:
  FakeVolume(std::vector<bool> used, int64_t failFrom)
      : used_(std::move(used)), failFrom_(failFrom) {}
  Result<uint32_t> GetVolumeBitmap(int64_t start, VolumeBitmap* out) override {
    *out = VolumeBitmap{};
    const int64_t total = static_cast<int64_t>(used_.size());
    if (start >= failFrom_ || start >= total) return Status::Error("unreadable");
    out->StartingLcn = start;
    out->BitmapSize = total - start;
    for (int64_t j = 0; j < kBitmapChunkClusters && start + j < total; ++j)
      if (used_[static_cast<size_t>(start + j)]) out->Buffer[j / 8] |= uint8_t(1u << (j % 8));
    return start + kBitmapChunkClusters < total ? kVolumeMoreData : kVolumeOk;
  }

 private:
  std::vector<bool> used_;
  int64_t failFrom_;
};

class FakeFile : public OpenFile {
 public:
  FakeFile(int64_t extents, uint64_t inode) : extents_(extents), inode_(inode) {}
  FileIdentity Identity() const override { return FileIdentity{1, inode_}; }
  Result<uint32_t> GetRetrievalPointers(int64_t vcn, RetrievalPointers* out) override {
    out->ExtentCount = 0;
    for (int64_t k = vcn; k < extents_ && out->ExtentCount < kExtentsPerRead; ++k)
      out->Extents[out->ExtentCount++] = Extent{k + 1, 1000 + 2 * k};  // one-cluster pieces
    return vcn + out->ExtentCount < extents_ ? kVolumeMoreData : kVolumeOk;
  }

 private:
  int64_t extents_;
  uint64_t inode_;
};

class FakeVolumes : public Volumes {
 public:
  std::vector<bool> used;  // empty: the volume cannot be opened
  int64_t failFrom = INT64_MAX;
  std::map<std::string, int64_t> extents;  // by file name; missing: 1
  std::set<std::string> unmovable, unreadable;
  std::map<std::string, uint64_t> inodes;  // by full path, as each was read
  std::set<std::string> replaced;          // by file name: no longer the file read
  std::function<void(const std::string&)> onFile;
  int opened = 0;
  std::string refusal = "no volume";

  Result<std::unique_ptr<OpenVolume>> Open(const std::string&) override {
    ++opened;
    if (used.empty()) return Status::Error(refusal);
    return std::unique_ptr<OpenVolume>(std::make_unique<FakeVolume>(used, failFrom));
  }
  Result<std::unique_ptr<OpenFile>> OpenForExtents(const std::string& path,
                                                   bool forMoving) override {
    const std::string name = path.substr(path.rfind('\\') + 1);
    if (forMoving && onFile) onFile(name);
    if (unreadable.count(name) || (forMoving && unmovable.count(name)))
      return Status::Error("not this file");
    auto it = extents.find(name);
    const uint64_t inode = inodes.emplace(path, inodes.size() + 10).first->second;
    return std::unique_ptr<OpenFile>(
        std::make_unique<FakeFile>(it == extents.end() ? 1 : it->second, inode));
  }
  void EndFileReads() override {}
  bool IsSameFile(const std::string& path, const FileIdentity& id) override {
    auto it = inodes.find(path);
    return !replaced.count(path.substr(path.rfind('\\') + 1)) && it != inodes.end() &&
           id == FileIdentity{1, it->second};
  }
};

std::vector<bool> UsedExceptFree(int64_t total,
                                 const std::vector<std::pair<int64_t, int64_t>>& free) {
  std::vector<bool> used(static_cast<size_t>(total), true);
  for (auto [from, length] : free)
    for (int64_t c = from; c < from + length; ++c) used[static_cast<size_t>(c)] = false;
  return used;
}

std::string Runs(const std::vector<FreeRun>& runs) {
  std::string s;
  for (const FreeRun& r : runs)
    s += std::to_string(r.StartLcn) + "+" + std::to_string(r.Length) + " ";
  return s;
}

class Defrag : public ::testing::Test {
 protected:
  void SetUp() override {
    app.WriteSettings(1024, 768);
    app.WriteSkin({"Mainscreen", "defrag"});
    const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
    std::string layout =
        "[0]\nType=drivelist\nCommand0=defrag;maindrive\nPosition=10;10;300;20\n" + font +
        "MenuColor=0|0|0\nMenuFontColor=0|255|0\n"
        "[1]\nType=statusbar\nCommand0=defrag;status\nPosition=40;10;300;20\n" +
        font +
        "[2]\nType=button\nCommand0=defrag;start\nPosition=70;10;64;64\n"
        "[3]\nType=button\nCommand0=defrag;cancel\nPosition=70;100;64;64\n"
        "[4]\nType=button\nCommand0=loadscreen;mainscreen\nPosition=70;200;64;64\n";
    int n = 5;
    for (const char* box :
         {"status", "numberofextents", "numberoffiles", "numberofnonmoveablefiles",
          "numberoffragmentedfiles", "numberoffragments", "percentoffragmentedfiles",
          "percentoffragmentsperfile", "maxnumberofextents"}) {
      layout += "[" + std::to_string(n) + "]\nType=textbox\nCommand0=defrag;" + box +
                "\nPosition=" + std::to_string(150 + 25 * n) + ";400;200;20\n" + font;
      ++n;
    }
    // The map last, as the quick analysis it starts needs the elements above.
    layout += "[" + std::to_string(n) +
              "]\nType=diagramm\nCommand0=defrag;drive\nPosition=600;100;800;100\n";
    app.WriteLayout("defrag", layout);
    app.WriteLayout("Mainscreen", "");
    ASSERT_TRUE(app.Start());
    p().os.volumes = &volumes;
  }
  Program& p() { return app.program(); }
  bool Enabled(size_t button) { return p().tables.Buttons.at(button).Enabled; }
  std::string Text(const std::string& name) {
    for (const TextBoxElement& t : p().tables.TextBoxes)
      if (t.HasKey("defrag", name)) return t.Text;
    return "<none>";
  }
  // Enters the screen with drive D: chosen.
  void Enter() {
    ShowScreen(p(), "defrag");
    p().tables.DriveLists.at(0).ChosenDrive = "D:\\";
    AnalyzeFreeSpace(p());
  }
  // Files on D: and a tool that notes each argument it gets, one line per run.
  void MakeFiles(int count, int64_t extents) {
    for (int i = 0; i < count; ++i) {
      const std::string name = "f" + std::to_string(100 + i);
      std::ofstream(app.DrivePath('D') + "/" + name) << "x";
      volumes.extents[name] = extents;
    }
  }
  // It fails every time: only its end counts.
  void WriteTool(int status = 3) {
    app.WriteFile("Tools/Defrag.exe", "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$#\" \"$1\" \"$2\" >> '" +
                                          ToolLog() + "'\nexit " + std::to_string(status) + "\n");
    chmod(app.AppPath("Tools/Defrag.exe").c_str(), 0755);
  }
  std::string ToolLog() const { return app.DrivePath('C') + "/tool.log"; }
  std::vector<std::string> ToolRuns() const {
    std::vector<std::string> lines;
    std::ifstream in(ToolLog());
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  // The bar values while the tool runs.
  void WatchBar() {
    auto seen = std::make_shared<std::vector<int>>();
    p().onYield = [seen, this](Program& q) {
      const int v = q.tables.StatusBars.at(0).Percent;
      if (Text("status") == "Defrag..." && (seen->empty() || seen->back() != v)) seen->push_back(v);
    };
    bar = seen;
  }

  LinuxTestApp app{1};
  FakeVolumes volumes;
  std::shared_ptr<std::vector<int>> bar;
};

TEST_F(Defrag, BitmapPiecesBecomeFreeRuns) {
  // 70000 clusters: the last piece ends inside; a run crosses the first boundary and one ends
  // with the volume.
  volumes.used = UsedExceptFree(70000, {{0, 5}, {32760, 20}, {50000, 1}, {69990, 10}});
  int64_t total = 0;
  int yields = 0;  // one per piece: the window stays live while a large volume is read
  p().onYield = [&](Program&) { ++yields; };
  EXPECT_EQ(Runs(ReadFreeSpaceRuns(p(), "D:", total)), "0+5 32760+20 50000+1 69990+10 ");
  EXPECT_EQ(total, 70000);
  EXPECT_EQ(yields, 3);
  p().onYield = nullptr;

  // A volume of exactly two pieces keeps its last run and leaves no empty record.
  volumes.used = UsedExceptFree(65536, {{65530, 6}});
  EXPECT_EQ(Runs(ReadFreeSpaceRuns(p(), "D:", total)), "65530+6 ");
  volumes.used = UsedExceptFree(65536, {});
  EXPECT_EQ(Runs(ReadFreeSpaceRuns(p(), "D:", total)), "");

  // A read failing on its second piece keeps the runs completed before.
  volumes.used = UsedExceptFree(100000, {{10, 3}, {32767, 2}});
  volumes.failFrom = 32768;
  EXPECT_EQ(Runs(ReadFreeSpaceRuns(p(), "D:", total)), "10+3 ");

  // Beyond 2^31 clusters positions stay right (the bitmap of such a volume is not made here).
  VolumeBitmap far;
  far.StartingLcn = int64_t{3} << 31;
  far.BitmapSize = 100;
  far.Buffer[0] = 0x01;
  std::vector<FreeRun> runs(1);
  int64_t counter = int64_t{3} << 31, pending = 0;
  ScanBitmapChunk(far, runs, counter, pending);
  EXPECT_EQ(Runs(runs), std::to_string((int64_t{3} << 31) + 1) + "+99 ");
}

TEST_F(Defrag, AnUnreadableOrCancelledMapLeavesStartDisabled) {
  Enter();  // no volume; read on entering and again for D:
  EXPECT_EQ(volumes.opened, 2);
  EXPECT_FALSE(Enabled(0));
  EXPECT_TRUE(Enabled(2));
  EXPECT_EQ(Text("status"), "-");
  // Refused for lack of rights, the screen says so rather than show an empty map alone.
  volumes.refusal = kVolumeNeedsRights;
  Enter();
  EXPECT_FALSE(Enabled(0));
  EXPECT_EQ(Text("status"), "Defragmentation needs administrator rights");

  // Cancel is live while the map is read, and the read it ends leaves no map.
  volumes.used = UsedExceptFree(100000, {{5, 5}});
  bool cancelLive = false;
  p().onYield = [&](Program& q) {
    cancelLive = cancelLive || Enabled(1);
    q.flags.CancelRequested = true;
  };
  Enter();
  EXPECT_TRUE(cancelLive);
  EXPECT_FALSE(Enabled(1));
  EXPECT_FALSE(Enabled(0));
  EXPECT_FALSE(p().flags.CancelRequested);
  EXPECT_FALSE(p().tables.DriveLists[0].DriveLocked);
}

TEST_F(Defrag, EnteringTheScreenAndChangingTheDriveDrawTheMap) {
  volumes.used = UsedExceptFree(1000, {{500, 100}});
  std::vector<std::string> status;
  p().onYield = [&](Program&) {
    if (status.empty() || status.back() != Text("status")) status.push_back(Text("status"));
  };
  ShowScreen(p(), "defrag");
  EXPECT_EQ(volumes.opened, 1);
  EXPECT_EQ(status, (std::vector<std::string>{"Analyze..."}));
  EXPECT_EQ(Text("status"), "-");
  EXPECT_TRUE(Enabled(0));
  EXPECT_FALSE(Enabled(1));
  EXPECT_EQ(p().disk.TotalClusters, 1000);
  // The free run is outlined from 50 % to 60 % of the map's width (x = 100 + 800 * fraction).
  EXPECT_NE(app.Pixel(500, 650), app.Pixel(450, 650));
  EXPECT_EQ(app.Pixel(500, 650), app.Pixel(580, 650));

  // Opening and closing the drive menu reads the map again.
  DriveListClicked(p(), 0);
  EXPECT_EQ(volumes.opened, 1);
  DriveListClicked(p(), 0);
  EXPECT_EQ(volumes.opened, 2);
}

TEST_F(Defrag, FiguresFollowTheExtents) {
  Enter();
  p().disk.TotalClusters = 4000;
  // 1000 files, 50 of them in two pieces.
  std::vector<FileExtentInfo> records(1000);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].Path = "D:\\f" + std::to_string(i);
    records[i].Movable = true;
    records[i].ExtentCount = i < 50 ? 2 : 1;
  }
  records[7].ExtentCount = 3;  // three pieces: not for the run
  records[8].ExtentCount = 4;  // four: for the run
  std::vector<std::string> list;
  WriteFragmentationFigures(p(), records, list);
  EXPECT_EQ(list, std::vector<std::string>{"D:\\f8"});
  EXPECT_EQ(Text("numberoffiles"), "1000");
  EXPECT_EQ(Text("numberoffragmentedfiles"), "50");
  EXPECT_EQ(Text("percentoffragmentedfiles"), "5%");
  EXPECT_EQ(Text("numberoffragments"), "1053");
  EXPECT_EQ(Text("percentoffragmentsperfile"), "1.05%");
  EXPECT_EQ(Text("maxnumberofextents"), "4");
  EXPECT_EQ(Text("numberofextents"), "4000");
  EXPECT_EQ(Text("numberofnonmoveablefiles"), "0");

  // Only tiny files: no extents at all, nothing fragmented. An unmovable file is marked where
  // its extent lies (cluster 2000 of 4000: the middle of the map).
  std::vector<FileExtentInfo> tiny(3);
  for (FileExtentInfo& r : tiny) r.Movable = true;
  tiny[2].Movable = false;
  tiny[2].ExtentCount = 0;
  list.clear();
  const uint32_t middle = app.Pixel(500, 650);
  WriteFragmentationFigures(p(), tiny, list);
  EXPECT_EQ(Text("numberoffragments"), "1");
  EXPECT_EQ(Text("percentoffragmentsperfile"), "0.33%");
  EXPECT_EQ(Text("percentoffragmentedfiles"), "0%");
  EXPECT_EQ(Text("numberofnonmoveablefiles"), "1");
  EXPECT_EQ(app.Pixel(500, 650), middle);  // no extent, no mark
  tiny[2].Extents = {Extent{1, 2000}};
  WriteFragmentationFigures(p(), tiny, list);
  EXPECT_NE(app.Pixel(500, 650), middle);
  // Without a cluster count (no map was read) nothing can be placed, and nothing breaks.
  p().disk.TotalClusters = 0;
  tiny[2].Extents = {Extent{1, 3000}};
  const uint32_t right = app.Pixel(700, 650);
  WriteFragmentationFigures(p(), tiny, list);
  EXPECT_EQ(app.Pixel(700, 650), right);
}

TEST_F(Defrag, ARunTreatsEachFileWithMoreThanThreeExtents) {
  volumes.used = UsedExceptFree(1000, {{0, 10}});
  Enter();
  MakeFiles(24, 600);  // more than one piece of 512 extents each
  std::ofstream(app.DrivePath('D') + "/whole") << "x";
  fs::create_directories(app.DrivePath('D') + "/.hidden");
  std::ofstream(app.DrivePath('D') + "/.hidden/f999") << "x";
  volumes.extents["f999"] = 9;
  WriteTool();
  WatchBar();
  // A start pressed while the run is on the stack starts no second run inside it.
  const auto watch = p().onYield;
  p().onYield = [&, pressed = false](Program& q) mutable {
    watch(q);
    if (!pressed && Text("status") == "Defrag...") {
      pressed = true;
      RunCommand(q, "defrag", "start");
    }
  };
  RunCommand(p(), "defrag", "start");
  const std::vector<std::string> runs = ToolRuns();
  ASSERT_EQ(runs.size(), 25u);  // the hidden folder's file too
  // Each path whole, with the option after it.
  EXPECT_NE(std::find(runs.begin(), runs.end(), "2|" + app.DrivePath('D') + "/f100|-q"),
            runs.end());
  EXPECT_EQ(*bar, (std::vector<int>{0, 42, 83}));
  EXPECT_EQ(Text("numberoffiles"), "26");
  EXPECT_EQ(Text("maxnumberofextents"), "600");
  EXPECT_EQ(Text("numberoffragments"), "14410");
  EXPECT_EQ(Text("status"), "-");
  EXPECT_TRUE(Enabled(0));
  EXPECT_FALSE(Enabled(1));
  EXPECT_TRUE(Enabled(2));
  EXPECT_FALSE(p().tables.DriveLists[0].DriveLocked);
}

TEST_F(Defrag, OneFileWithBlanksAndLettersBeyondAscii) {
  volumes.used = UsedExceptFree(1000, {{0, 10}});
  Enter();
  const std::string name = "grosse Datei \xc3\xa4\xc3\xb6.bin";
  std::ofstream(app.DrivePath('D') + "/" + name) << "x";
  volumes.extents[name] = 5;
  WriteTool();
  WatchBar();
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(ToolRuns(), std::vector<std::string>{"2|" + app.DrivePath('D') + "/" + name + "|-q"});
  EXPECT_EQ(*bar, std::vector<int>{0});
  EXPECT_EQ(p().tables.StatusBars[0].Percent, 100);
}

TEST_F(Defrag, CancelAndFailuresEndTheRunIdle) {
  volumes.used = UsedExceptFree(1000, {{0, 10}});
  Enter();
  MakeFiles(12, 5);
  WriteTool();
  auto expectIdle = [&] {
    EXPECT_TRUE(Enabled(0));
    EXPECT_FALSE(Enabled(1));
    EXPECT_TRUE(Enabled(2));
    EXPECT_FALSE(p().flags.CancelRequested);
    EXPECT_EQ(Text("status"), "-");
  };
  // Cancel while the extents are read: no tool runs.
  volumes.onFile = [&](const std::string& name) {
    if (name == "f105") RunCommand(p(), "defrag", "cancel");
  };
  RunCommand(p(), "defrag", "start");
  EXPECT_TRUE(ToolRuns().empty());
  expectIdle();

  // Cancel while the tool runs: that run ends, no other starts.
  volumes.onFile = nullptr;
  p().onYield = [&](Program& q) {
    if (Text("status") == "Defrag..." && !q.flags.CancelRequested && ToolRuns().empty())
      q.flags.CancelRequested = true;
  };
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(ToolRuns().size(), 1u);
  expectIdle();

  // A missing tool ends the run at its first file.
  p().onYield = nullptr;
  fs::remove(app.AppPath("Tools/Defrag.exe"));
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(ToolRuns().size(), 1u);
  expectIdle();

  // Files that cannot be opened count as unmovable without extents.
  volumes.unreadable = {"f100", "f101"};
  volumes.unmovable = {"f102"};
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(Text("numberofnonmoveablefiles"), "3");
  EXPECT_EQ(Text("numberoffragments"), "50");

  // A cancel during the walk keeps the files found so far.
  bool once = false;
  p().onYield = [&](Program& q) {
    if (!once && !Enabled(1) && Text("status") == "Deep Analyze...") {
      once = true;
      q.flags.CancelRequested = true;
    }
  };
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(Text("numberoffiles"), "2");
  expectIdle();
}

// A tool that was not allowed to act (not authorised, nobody to ask) would be asked again for
// every file: the run stops at the first and says why.
TEST_F(Defrag, AToolWithoutRightsStopsTheRunAndSaysSo) {
  volumes.used = UsedExceptFree(1000, {{0, 10}});
  Enter();
  MakeFiles(4, 5);
  for (int status : {126, 127}) {
    fs::remove(ToolLog());
    WriteTool(status);
    RunCommand(p(), "defrag", "start");
    EXPECT_EQ(ToolRuns().size(), 1u) << status;
    EXPECT_EQ(Text("status"), "Defragmentation needs administrator rights");
    EXPECT_TRUE(Enabled(0));
    EXPECT_FALSE(Enabled(1));
    EXPECT_FALSE(p().tables.DriveLists[0].DriveLocked);
  }
  // The next run starts afresh.
  fs::remove(ToolLog());
  WriteTool(1);
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(ToolRuns().size(), 4u);
  EXPECT_EQ(Text("status"), "-");
}

TEST_F(Defrag, ExactlyTheAnalysedFileReachesTheTool) {
  volumes.used = UsedExceptFree(1000, {{0, 10}});
  Enter();
  // Names that broke out of their quotes: a quote after the separator, quotes with blanks that
  // name another drive, names that look like options.
  const std::vector<std::string> names = {
      "\"lead", "mid\"dle", "end\"", "a\" \"C:\" x", "-q", "--all", "two  blanks\t\xc3\xa4",
      "changed"};
  for (const std::string& name : names) {
    std::ofstream(app.DrivePath('D') + "/" + name) << "x";
    volumes.extents[name] = 5;
  }
  volumes.replaced = {"changed"};
  WriteTool();
  bool skipShown = false;
  p().onYield = [&](Program&) {
    skipShown = skipShown || Text("status").find("D:\\changed") != std::string::npos;
  };
  RunCommand(p(), "defrag", "start");
  std::vector<std::string> runs = ToolRuns(), expected;
  for (const std::string& name : names)
    if (name != "changed") expected.push_back("2|" + app.DrivePath('D') + "/" + name + "|-q");
  std::sort(runs.begin(), runs.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(runs, expected);
  EXPECT_TRUE(skipShown);
  EXPECT_TRUE(app.diag().Mentions("D:\\changed"));
  EXPECT_EQ(Text("status"), "-");
}

TEST_F(Defrag, ABusyScreenIgnoresTheDriveListAndStaleCancels) {
  volumes.used = UsedExceptFree(1000, {{0, 10}});
  Enter();
  MakeFiles(3, 5);
  WriteTool();
  // Taps on the list while the map is read, while the files are read and while the tool runs:
  // none opens the menu or starts an analysis inside the busy one, and the busy state holds.
  const int opened = volumes.opened;
  std::set<std::string> phases;
  p().onYield = [&](Program& q) {
    const std::string phase = Text("status");
    if (!phases.insert(phase).second) return;
    DriveListClicked(q, 0);
    EXPECT_FALSE(q.tables.DriveLists[0].MenuOpen) << phase;
    EXPECT_FALSE(Enabled(0)) << phase;
    EXPECT_FALSE(Enabled(2)) << phase;
    EXPECT_TRUE(phase != "Defrag..." || Enabled(1)) << phase;
  };
  AnalyzeFreeSpace(p());
  RunCommand(p(), "defrag", "start");
  EXPECT_EQ(volumes.opened, opened + 1);
  EXPECT_TRUE(phases.count("Analyze...") && phases.count("Deep Analyze...") &&
              phases.count("Defrag..."));
  EXPECT_EQ(ToolRuns().size(), 3u);
  EXPECT_TRUE(Enabled(0));

  // A cancel pressed once nothing looks for it any more (the figures are being counted, no file
  // is to be treated) does not end the next map read before it begins.
  volumes.extents.clear();
  int read = 0, yieldsAfter = 0;
  volumes.onFile = [&](const std::string&) { ++read; };
  p().onYield = [&](Program& q) {
    if (read == 3 && ++yieldsAfter == 2) q.flags.CancelRequested = true;
  };
  RunCommand(p(), "defrag", "start");
  ASSERT_GE(yieldsAfter, 2);
  p().onYield = nullptr;
  EXPECT_FALSE(p().flags.CancelRequested);
  AnalyzeFreeSpace(p());
  EXPECT_TRUE(Enabled(0));
}

}  // namespace
}  // namespace qv::test
