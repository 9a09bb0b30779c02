// The copy engine and the media copies on real trees: temporary folders as drives, a loop-mounted
// ext4 volume where the machine allows it, and the built probe killed in the middle of a copy.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "LinuxTestProgram.h"
#include "files/modCopy.h"
#include "files/modTools.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string Pattern(size_t size, int seed) {
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + i / 997 + seed) & 0xFF);
  return s;
}

// Temporaries of the copy anywhere below a folder.
std::vector<std::string> Leftovers(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); it != fs::end(it); it.increment(ec))
    if (it->path().filename().string().find(".part") != std::string::npos)
      found.push_back(it->path().string());
  return found;
}

// Bytes written so far by a copy into `folder` that has no final name yet: an unnamed file the
// process holds open there, or a named temporary. 0 when none is seen.
uint64_t PartialBytes(pid_t pid, const std::string& folder) {
  std::error_code ec;
  const std::string canonical = fs::canonical(folder, ec).string();
  if (ec) return 0;
  uint64_t most = 0;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (auto it = fs::directory_iterator(fds, ec); !ec && it != fs::end(it); it.increment(ec)) {
    const std::string target = fs::read_symlink(it->path(), ec).string();
    const std::string deleted = " (deleted)";
    if (ec || target.rfind(canonical + "/", 0) != 0 || target.size() < deleted.size() ||
        target.compare(target.size() - deleted.size(), deleted.size(), deleted) != 0)
      continue;
    struct stat st;
    if (stat(it->path().c_str(), &st) == 0) most = std::max(most, uint64_t(st.st_size));
  }
  for (auto it = fs::directory_iterator(canonical, ec); !ec && it != fs::end(it); it.increment(ec))
    if (it->path().filename().string().rfind(".quorvin-", 0) == 0)
      most = std::max<uint64_t>(most, fs::file_size(it->path(), ec));
  return most;
}

// Relative path -> content of every file, and every folder with "/", below a host folder.
std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::end(it); ++it) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_symlink())
      tree[rel] = "link";
    else if (it->is_directory())
      tree[rel + "/"] = "";
    else
      tree[rel] = Read(it->path().string());
  }
  return tree;
}

const char* const kFont = "Font=arial;10;0;0;255|255|255;1\n";

// Main screen with the three media buttons and a button of the "mainscreen" group; the copy
// screen with every report element of the engine. Audio, video and pictures lie on C:, their
// backups on D:.
class Copying : public ::testing::Test {
 protected:
  explicit Copying(PosixFileSystem::Options files = {}) : app(2, {}, std::move(files)) {}
  void SetUp() override {
    WriteSettings("C:\\Media\\Audio\\", "D:\\Backup\\Audio\\");
    app.WriteSkin({"Mainscreen", "copy"});
    app.WriteLayout("Mainscreen",
                    "[0]\nType=button\nCommand0=loadscreen;copy\nCommand1=function;audiocopy\n"
                    "Position=10;10;100;50\n"
                    "[1]\nType=button\nCommand0=loadscreen;copy\nCommand1=function;videocopy\n"
                    "Position=10;120;100;50\n"
                    "[2]\nType=button\nCommand0=loadscreen;copy\nCommand1=function;picturecopy\n"
                    "Position=10;230;100;50\n");
    std::string copy =
        "[0]\nType=button\nCommand0=loadscreen;\nPosition=10;10;100;50\n"
        "[1]\nType=button\nCommand0=copy;cancel\nPosition=10;120;100;50\n"
        "[2]\nType=button\nCommand0=mainscreen;other\nPosition=10;230;100;50\n"
        "[3]\nType=statusbar\nCommand0=copy;total\nPosition=600;10;400;20\n" +
        std::string(kFont) + "[4]\nType=statusbar\nCommand0=copy;copy\nPosition=640;10;400;20\n" +
        kFont;
    int section = 5;
    int top = 100;
    for (const char* name : kBoxes) {
      copy += "[" + std::to_string(section++) + "]\nType=textbox\nCommand0=copy;" + name +
              "\nPosition=" + std::to_string(top) + ";10;900;20\n" + kFont;
      top += 30;
    }
    app.WriteLayout("copy", copy);
    ASSERT_TRUE(app.Start());
    src = app.DrivePath('C') + "/Media/Audio";
    // Settings are read lower-cased: a missing destination is created under that spelling.
    dst = app.DrivePath('D') + "/backup/audio";
  }

  void WriteSettings(const std::string& audioSource, const std::string& audioDestination) {
    app.WriteFile("settings.ini",
                  "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n"
                  "[Audio]\nSource=" +
                      audioSource + "\nDestination=" + audioDestination +
                      "\n[Video]\nSource=C:\\Media\\Video\\\nDestination=D:\\Backup\\Video\\\n"
                      "[Picture]\nSource=C:\\Media\\Pictures\\\n"
                      "Destination=D:\\Backup\\Pictures\\\n");
  }

  Program& p() { return app.program(); }
  std::string Text(const std::string& name) {
    for (const TextBoxElement& t : p().tables.TextBoxes)
      if (t.Commands[0].Group == "copy" && t.Commands[0].Name == name) return t.Text;
    return "<none>";
  }
  int Bar(const std::string& name) {
    for (const StatusBarElement& b : p().tables.StatusBars)
      if (b.Commands[0].Name == name) return b.Percent;
    return -1;
  }
  const ButtonElement& Button(const std::string& group, const std::string& name) {
    for (const ButtonElement& b : p().tables.Buttons)
      if (b.Commands[0].Group == group && b.Commands[0].Name == name) return b;
    throw std::runtime_error("no button " + group + ";" + name);
  }
  // Counters in the order found, new, existing for folders, then for files.
  std::vector<std::string> Counters() {
    return {Text("directoriesfound"), Text("directoriesnew"), Text("directoriesexisting"),
            Text("filesfound"),       Text("filesnew"),       Text("filesexisting")};
  }
  void Press(const ButtonElement& b) { app.Click(b.Left + b.Width / 2.0, b.Top + b.Height / 2.0); }
  // The media buttons of the main screen: 0 audio, 1 video, 2 pictures.
  void PressMedia(int which) {
    if (p().skin.CurrentScreen != "Mainscreen") ShowScreen(p(), "Mainscreen");
    Press(p().tables.Buttons.at(which));
  }
  // A press of the copy screen's cancel button arriving through the message loop.
  void PushCancel() {
    const ButtonElement& b = Button("copy", "cancel");
    Event e;
    e.x = static_cast<float>(b.Left + b.Width / 2.0);
    e.y = static_cast<float>(b.Top + b.Height / 2.0);
    e.type = EventType::PointerDown;
    app.events().Push(e);
    e.type = EventType::PointerUp;
    app.events().Push(e);
  }

  static constexpr const char* kBoxes[] = {
      "status",           "total",          "filesfound",          "filesnew",   "filesexisting",
      "directoriesfound", "directoriesnew", "directoriesexisting", "filesfailed"};
  LinuxTestApp app;
  std::string src, dst;
};

// Progress calls, and so yields, within a file of a few MiB.
class CopyingInSmallChunks : public Copying {
 protected:
  CopyingInSmallChunks() : Copying(Options()) {}
  static PosixFileSystem::Options Options() {
    PosixFileSystem::Options options;
    options.copyChunkBytes = 64 << 10;
    return options;
  }
};

TEST_F(Copying, MediaCopyMirrorsTheTreeAndASecondPressCopiesNothing) {
  Write(src + "/Top Song.mp3", Pattern(300000, 1));
  Write(src + "/.hidden.ogg", "hidden");
  Write(src + "/Empty.wav", "");
  Write(src + "/Rock/Größe ünd Weiß.flac", Pattern(5000, 2));
  Write(src + "/Rock/Live 2001/MiXed CaSe.MP3", Pattern(70000, 3));
  Write(src + "/.cache/inside.db", "db");
  fs::create_directories(src + "/Jazz/Nothing Yet");
  chmod((src + "/Top Song.mp3").c_str(), 0640);
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 123}};
  utimensat(AT_FDCWD, (src + "/Rock/Größe ünd Weiß.flac").c_str(), times, 0);
  // Something of the user's stays as it is.
  p().explorer.CopyList = {"C:\\Other\\"};

  PressMedia(0);
  EXPECT_EQ(p().skin.CurrentScreen, "copy");
  EXPECT_EQ(Tree(dst), Tree(src));
  struct stat st;
  ASSERT_EQ(stat((dst + "/Top Song.mp3").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  ASSERT_EQ(stat((dst + "/Rock/Größe ünd Weiß.flac").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123);
  // Folders: Rock, Live 2001, .cache, Jazz, Nothing Yet; files: six.
  EXPECT_EQ(Counters(), (std::vector<std::string>{"5", "5", "-", "6", "6", "-"}));
  EXPECT_EQ(Text("total"), "11");
  EXPECT_EQ(Bar("total"), 100);
  EXPECT_EQ(Bar("copy"), 100);
  EXPECT_NE(Text("status").find("d:\\backup\\audio\\"), std::string::npos);
  EXPECT_EQ(p().explorer.CopyList, (std::vector<std::string>{"c:\\media\\audio\\"}));
  EXPECT_EQ(p().explorer.ReportGroup, "copy");
  EXPECT_FALSE(Button("copy", "cancel").Enabled);
  EXPECT_TRUE(Button("loadscreen", "").Enabled);
  EXPECT_FALSE(Button("mainscreen", "other").Enabled);

  PressMedia(0);
  EXPECT_EQ(Counters(), (std::vector<std::string>{"5", "-", "5", "6", "-", "6"}));
  EXPECT_EQ(Tree(dst), Tree(src));
  EXPECT_TRUE(Leftovers(app.DrivePath('D')).empty());
}

TEST_F(Copying, EachButtonCopiesItsOwnPair) {
  Write(app.DrivePath('C') + "/Media/Video/clip.mkv", "video");
  Write(app.DrivePath('C') + "/Media/Pictures/Holiday/p.jpg", "picture");
  PressMedia(1);
  EXPECT_EQ(Read(app.DrivePath('D') + "/backup/video/clip.mkv"), "video");
  EXPECT_FALSE(fs::exists(app.DrivePath('D') + "/backup/pictures"));
  PressMedia(2);
  EXPECT_EQ(Read(app.DrivePath('D') + "/backup/pictures/Holiday/p.jpg"), "picture");
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "1", "-", "1", "1", "-"}));
  EXPECT_FALSE(fs::exists(dst));
}

TEST_F(Copying, MissingSourceDoesNothing) {
  PressMedia(0);  // C:\Media\Audio does not exist
  EXPECT_EQ(p().skin.CurrentScreen, "copy");
  EXPECT_EQ(Text("filesfound"), "");
  EXPECT_FALSE(Button("copy", "cancel").Enabled);
  EXPECT_TRUE(Button("mainscreen", "other").Enabled);
  EXPECT_TRUE(p().explorer.CopyList.empty());
  EXPECT_FALSE(fs::exists(app.DrivePath('D') + "/backup"));

  // Nor does a source whose parent folder is missing, or no source at all.
  WriteSettings("C:\\Nowhere\\Audio\\", "D:\\Backup\\Audio\\");
  LoadSettings(p());
  PressMedia(0);
  WriteSettings("", "D:\\Backup\\Audio\\");
  LoadSettings(p());
  PressMedia(0);
  EXPECT_EQ(Text("filesfound"), "");
  EXPECT_FALSE(fs::exists(app.DrivePath('D') + "/backup"));
}

TEST_F(Copying, PresentFilesAreKeptUnderAnyCaseButCaseTwinsAreBothCopied) {
  // An existing destination is found whatever the case of its name.
  dst = app.DrivePath('D') + "/Backup/Audio";
  Write(src + "/a.mp3", "new content");
  Write(dst + "/A.MP3", "the user's own");  // present under another case: the same file
  Write(src + "/b.mp3", "b");
  Write(dst + "/.quorvin-b.mp3.part", "left by a killed run");
  Write(src + "/Twins/song.mp3", "lower");
  Write(src + "/Twins/SONG.mp3", "upper");
  Write(dst + "/Twins/Song.mp3", "the user's own twin");

  PressMedia(0);
  EXPECT_EQ(Read(dst + "/A.MP3"), "the user's own");
  EXPECT_FALSE(fs::exists(dst + "/a.mp3"));
  EXPECT_EQ(Read(dst + "/b.mp3"), "b");
  // Twins in the source go to the backup under their own names, beside the user's third.
  EXPECT_EQ(Read(dst + "/Twins/song.mp3"), "lower");
  EXPECT_EQ(Read(dst + "/Twins/SONG.mp3"), "upper");
  EXPECT_EQ(Read(dst + "/Twins/Song.mp3"), "the user's own twin");
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "-", "1", "4", "3", "1"}));
  EXPECT_TRUE(Leftovers(dst).empty());
  PressMedia(0);
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "-", "1", "4", "-", "4"}));
}

TEST_F(Copying, EntriesThatAreNoFilesAreNeitherCopiedNorCounted) {
  Write(src + "/song.mp3", "song");
  fs::create_symlink(src + "/song.mp3", src + "/alias.mp3");
  mkfifo((src + "/pipe").c_str(), 0644);
  fs::create_symlink(src + "/gone", src + "/dangling");
  fs::create_directories(app.DrivePath('E') + "/Elsewhere");
  Write(app.DrivePath('E') + "/Elsewhere/far.mp3", "far");
  fs::create_directory_symlink(app.DrivePath('E') + "/Elsewhere", src + "/Linked");
  fs::create_directories(src + "/Sub");
  fs::create_directory_symlink(src, src + "/Sub/Self");
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = src + "/Sub/socket";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const bool device = mknod((src + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;

  PressMedia(0);
  close(sock);
  // A link to a file is copied as the file's content; nothing else lands in the backup.
  EXPECT_EQ(Read(dst + "/alias.mp3"), "song");
  EXPECT_FALSE(fs::is_symlink(dst + "/alias.mp3"));
  for (const char* name : {"pipe", "dangling", "Linked", "Sub/Self", "Sub/socket", "null"})
    EXPECT_FALSE(fs::exists(fs::symlink_status(dst + "/" + name))) << name;
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "1", "-", "2", "2", "-"}));
  EXPECT_EQ(Text("filesfailed"), "-");
  for (const char* name : {"pipe (FIFO)", "dangling (dangling link)", "Linked (link to a folder)",
                           "Self (link to a folder)", "socket (socket)"})
    EXPECT_TRUE(app.diag().Mentions(name)) << name;
  EXPECT_EQ(app.diag().Mentions("null (device)"), device);
  // Nor are they new again at the next run.
  PressMedia(0);
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "-", "1", "2", "-", "2"}));
}

TEST_F(Copying, UnreachableDestinationEndsTheRunBeforeAnythingIsCounted) {
  Write(src + "/Sub/song.mp3", "song");
  Write(app.DrivePath('C') + "/notes.txt", "notes");
  for (const char* destination :
       {"Q:\\Backup\\", "\\\\server\\share\\backup\\", "C:\\notes.txt\\backup\\"}) {
    SCOPED_TRACE(destination);
    WriteSettings("C:\\Media\\Audio\\", destination);
    LoadSettings(p());
    app.diag().lines.clear();
    PressMedia(0);
    EXPECT_EQ(Counters(), (std::vector<std::string>{"-", "-", "-", "-", "-", "-"}));
    EXPECT_NE(Text("status").find("cannot be reached"), std::string::npos) << Text("status");
    EXPECT_EQ(app.diag().lines.size(), 1u);
    EXPECT_FALSE(Button("copy", "cancel").Enabled);
    EXPECT_TRUE(Button("loadscreen", "").Enabled);
  }
  EXPECT_EQ(Read(app.DrivePath('C') + "/notes.txt"), "notes");
  EXPECT_TRUE(fs::is_empty(app.DrivePath('D')));
}

TEST_F(Copying, SettingsPathsGetTheirFinalBackslashAndCutOnesAreRefused) {
  Write(src + "/a.mp3", "a");
  Write(src + "/Sub/b.mp3", "b");
  WriteSettings("C:\\Media\\Audio", "D:\\Backup\\Music");
  LoadSettings(p());
  PressMedia(0);
  EXPECT_EQ(Read(app.DrivePath('D') + "/backup/music/a.mp3"), "a");
  EXPECT_EQ(Read(app.DrivePath('D') + "/backup/music/Sub/b.mp3"), "b");
  EXPECT_FALSE(fs::exists(app.DrivePath('D') + "/backup/musica.mp3"));

  // A value of 254 characters or more was cut by the reader: nothing is copied to the cut path.
  const std::string longName(260 - 12, 'x');
  WriteSettings("C:\\Media\\Audio\\", "D:\\Backup\\" + longName + "\\");
  LoadSettings(p());
  PressMedia(0);
  EXPECT_NE(Text("status").find("254"), std::string::npos) << Text("status");
  EXPECT_EQ(fs::directory_iterator(app.DrivePath('D') + "/backup")->path().filename(), "music");
  EXPECT_EQ(std::distance(fs::directory_iterator(app.DrivePath('D') + "/backup"),
                          fs::directory_iterator()),
            1);
}

TEST_F(Copying, DestinationInsideTheSourceIsLeftOutOfTheScan) {
  Write(src + "/a.mp3", "a");
  Write(src + "/Album/b.mp3", "b");
  WriteSettings("C:\\Media\\Audio\\", "C:\\Media\\Audio\\Backup\\");
  LoadSettings(p());
  for (int run = 0; run < 3; ++run) PressMedia(0);
  EXPECT_EQ(Read(src + "/backup/Album/b.mp3"), "b");
  EXPECT_FALSE(fs::exists(src + "/backup/backup"));
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "-", "1", "2", "-", "2"}));
}

// Inside is decided by where both paths lead, whatever their separators, case, or host names
// that the drive path carries in private-use form ("\\" here).
TEST_F(Copying, DestinationInsideTheSourceIsFoundWhateverItsSpelling) {
  Write(src + "/a.mp3", "a");
  Write(src + "/Album/b.mp3", "b");
  for (const char* host : {"Backup", "Back\\up"}) fs::create_directories(src + "/" + host);
  for (const std::string destination :
       {"c:/MEDIA\\audio/backup/", "C:\\Media\\Audio\\Back\uF05Cup\\"}) {
    WriteSettings("C:\\Media\\Audio\\", destination);
    LoadSettings(p());
    for (int run = 0; run < 2; ++run) PressMedia(0);
  }
  for (const char* host : {"Backup", "Back\\up"}) {
    EXPECT_EQ(Read(src + "/" + host + "/Album/b.mp3"), "b") << host;
    EXPECT_FALSE(fs::exists(src + "/" + host + "/" + host)) << host;  // no backup of itself
  }
}

TEST_F(Copying, LinkedSourceRootIsFollowedAndLinksInTheBackupAreNeverWrittenThrough) {
  const std::string real = app.DrivePath('C') + "/Real Music";
  Write(real + "/a.mp3", "a");
  Write(real + "/Rock/r.mp3", "r");
  Write(real + "/Jazz/j.mp3", "j");
  fs::create_directories(app.DrivePath('C') + "/Media");
  fs::create_directory_symlink(real, src);
  // The backup holds a link where the folder Rock belongs, leading off the drive.
  const std::string outside = app.DrivePath('E') + "/Outside";
  fs::create_directories(outside);
  fs::create_directories(dst);
  fs::create_directory_symlink(outside, dst + "/Rock");

  PressMedia(0);
  EXPECT_EQ(Read(dst + "/a.mp3"), "a");
  EXPECT_EQ(Read(dst + "/Jazz/j.mp3"), "j");
  EXPECT_TRUE(fs::is_empty(outside));
  EXPECT_EQ(Counters(), (std::vector<std::string>{"2", "1", "-", "3", "2", "-"}));
  EXPECT_EQ(Text("filesfailed"), "1");
  EXPECT_NE(Text("status").find("r.mp3"), std::string::npos) << Text("status");
  EXPECT_TRUE(app.diag().Mentions("Rock\\ (not a folder)"));
}

TEST_F(Copying, NamesTheDrivePathFormCannotHoldAndPathsTooLongAreNeverLostSilently) {
  for (const char* name : {"back\\slash.mp3", "ends in dots..", "ends in a blank "})
    Write(src + "/" + name, name);
  Write(src + "/Folder./inner.mp3", "inner");
  PressMedia(0);
  for (const char* name : {"back\\slash.mp3", "ends in dots..", "ends in a blank "})
    EXPECT_EQ(Read(dst + "/" + name), name) << name;
  EXPECT_EQ(Read(dst + "/Folder./inner.mp3"), "inner");
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "1", "-", "4", "4", "-"}));

  // Targets beyond the system's path limit: each a counted failure, named on stderr.
  std::string deep = "D:\\";
  while (deep.size() < 3800) deep += std::string(200, 'd') + "\\";
  const std::string sel = app.DrivePath('C') + "/Sel/";
  const std::string longName(250, 'n');
  Write(sel + longName + "/one.mp3", "1");
  Write(sel + longName + "/two.mp3", "2");
  Write(sel + longName + ".mp3", "3");
  Write(sel + "short.mp3", "s");
  p().explorer.CopyList = {"C:\\Sel\\"};
  app.diag().lines.clear();
  CopyItems(p(), "C:\\", deep, false);
  EXPECT_EQ(Text("filesnew"), "1");
  EXPECT_EQ(Text("filesfailed"), "3");
  EXPECT_EQ(app.diag().lines.size(), 4u);  // the folder and three files
  EXPECT_TRUE(app.diag().Mentions("File name too long"));
  EXPECT_NE(Text("status").find("Not copied"), std::string::npos);
}

TEST_F(Copying, CancelDuringTheScanCopiesNothing) {
  for (int i = 0; i < 150; ++i) Write(src + "/f" + std::to_string(i), "x");
  Write(src + "/Sub/inner", "x");
  bool pushed = false;
  p().onYield = [&](Program&) {
    if (!pushed && p().skin.CurrentScreen == "copy" && Button("copy", "cancel").Enabled) {
      pushed = true;
      PushCancel();
    }
  };
  PressMedia(0);
  ASSERT_TRUE(pushed);
  // The scan yielded at its hundredth entry, the root counted: 99 entries below it.
  EXPECT_EQ(Text("total"), "99");
  EXPECT_EQ(Text("filesnew"), "-");
  EXPECT_EQ(Text("directoriesnew"), "-");
  EXPECT_FALSE(fs::exists(dst));
  EXPECT_FALSE(p().flags.CancelRequested);
  EXPECT_FALSE(Button("copy", "cancel").Enabled);
  EXPECT_TRUE(Button("loadscreen", "").Enabled);
}

TEST_F(Copying, CancelDuringTheFolderPhaseStopsBeforeTheFiles) {
  for (int i = 0; i < 25; ++i) Write(src + "/Album " + std::to_string(i) + "/t.mp3", "x");
  bool pushed = false;
  p().onYield = [&](Program&) {
    if (!pushed && Text("directoriesnew") != "-" && Text("directoriesnew") != "") {
      pushed = true;
      PushCancel();
    }
  };
  PressMedia(0);
  ASSERT_TRUE(pushed);
  // The first yield of the phase comes at the tenth entry (the root is skipped).
  EXPECT_EQ(Text("directoriesnew"), "9");
  EXPECT_EQ(Text("filesfound"), "25");
  EXPECT_EQ(Text("filesnew"), "-");
  size_t made = 0;
  for (const auto& e : fs::directory_iterator(dst)) made += e.is_directory() && fs::is_empty(e);
  EXPECT_EQ(made, 9u);
}

TEST_F(CopyingInSmallChunks, CancelInsideALargeFileAbandonsItAndStartsNoOther) {
  for (int i = 0; i < 5; ++i) Write(src + "/big" + std::to_string(i), Pattern(2 << 20, i));
  bool pushed = false;
  p().onYield = [&](Program&) {
    if (pushed || !fs::exists(dst)) return;
    size_t complete = 0;
    for (const auto& e : fs::directory_iterator(dst))
      complete += e.path().filename().string().rfind(".quorvin-", 0) != 0;
    if (complete == 2 && PartialBytes(getpid(), dst) > 0) {
      pushed = true;
      PushCancel();
    }
  };
  PressMedia(0);
  ASSERT_TRUE(pushed);
  EXPECT_EQ(Text("filesnew"), "3");
  EXPECT_LT(Bar("copy"), 100);
  EXPECT_LT(Bar("total"), 100);
  size_t present = 0;
  for (const auto& e : fs::directory_iterator(dst)) {
    ++present;
    EXPECT_TRUE(Read(e.path().string()) == Read(src + "/" + e.path().filename().string()));
  }
  EXPECT_EQ(present, 2u);
  EXPECT_FALSE(Button("copy", "cancel").Enabled);
}

TEST_F(Copying, EngineReportsSelectionsAndRootsAsGiven) {
  // An empty list touches nothing, and clears a pending cancel.
  ShowScreen(p(), "copy");
  p().explorer.ReportGroup = "copy";
  p().flags.CancelRequested = true;
  CopyItems(p(), "C:\\", "D:\\", false);
  EXPECT_EQ(Text("total"), "");
  EXPECT_FALSE(p().flags.CancelRequested);

  // Two files and no folder, a hidden one among them; roots without a final "\".
  Write(app.DrivePath('C') + "/Sel/.one", "1");
  Write(app.DrivePath('C') + "/Sel/two", "2");
  p().explorer.CopyList = {"C:\\Sel\\.one", "C:\\Sel\\two"};
  CopyItems(p(), "C:\\Sel", "D:\\Deep\\Target", false);
  EXPECT_EQ(Text("total"), "2");
  EXPECT_EQ(Counters(), (std::vector<std::string>{"-", "-", "-", "2", "2", "-"}));
  EXPECT_EQ(Read(app.DrivePath('D') + "/Deep/Target/.one"), "1");
  EXPECT_EQ(Read(app.DrivePath('D') + "/Deep/Target/two"), "2");
  EXPECT_TRUE(Button("copy", "cancel").Enabled);  // given back by the caller, not the engine

  // A selected folder without RootIsFirst is itself mirrored and counted.
  p().explorer.CopyList = {"C:\\Sel\\"};
  CopyItems(p(), "C:\\", "E:\\", false);
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "1", "-", "2", "2", "-"}));
  EXPECT_EQ(Read(app.DrivePath('E') + "/Sel/two"), "2");

  // A pending cancel stops the run before anything is made.
  p().explorer.CopyList = {"C:\\Sel\\"};
  p().flags.CancelRequested = true;
  CopyItems(p(), "C:\\", "E:\\New\\", false);
  EXPECT_FALSE(fs::exists(app.DrivePath('E') + "/New"));
  EXPECT_EQ(Text("filesnew"), "-");
}

// ---------------------------------------------------------------------------------------------
// A second file system: a loop-mounted ext4 image, only where this machine allows it.

class Mounted {
 public:
  // Mounts `what` (an image file, or "tmpfs") on `folder`; unmounted by the destructor. An image
  // is made with `size`, or without one mounted read-only as it is.
  Mounted(const std::string& what, const std::string& folder, const std::string& size)
      : folder_(folder) {
    if (geteuid() != 0) return;
    std::string command;
    if (size.empty()) {
      command = "mount -o loop,ro '" + what + "' '" + folder + "'";
    } else if (what == "tmpfs") {
      command = "mount -t tmpfs -o size=" + size + " none '" + folder + "'";
    } else {
      if (std::system(
              ("mkfs.ext4 -q -F -b 4096 '" + what + "' " + size + " >/dev/null 2>&1").c_str()) != 0)
        return;
      command = "mount -o loop '" + what + "' '" + folder + "'";
    }
    mounted_ = std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }
  ~Mounted() {
    // The loop device goes with the last unmount (mount -o loop sets autoclear).
    if (mounted_ && umount(folder_.c_str()) != 0) umount2(folder_.c_str(), MNT_DETACH);
  }
  Mounted(const Mounted&) = delete;
  Mounted& operator=(const Mounted&) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

TEST_F(Copying, FullDiskAndAnotherFileSystem) {
  TempDir images;
  // E: becomes an 8 MiB ext4 volume; the backups go there.
  Mounted volume(images.path() + "/e.img", app.DrivePath('E'), "8M");
  if (!volume.mounted()) GTEST_SKIP() << "cannot loop-mount an ext4 image here (needs root)";
  fs::create_directories(src + "/Foreign");
  Mounted foreign("tmpfs", src + "/Foreign", "1M");
  ASSERT_TRUE(foreign.mounted());
  Write(src + "/Foreign/not mine.mp3", "belongs to another file system");

  Write(src + "/a small.mp3", Pattern(100000, 1));
  Write(src + "/b huge.mp3", Pattern(12 << 20, 2));
  Write(src + "/Sub/c small.mp3", Pattern(200000, 3));
  WriteSettings("C:\\Media\\Audio\\", "E:\\Backup\\");
  LoadSettings(p());
  PressMedia(0);

  const std::string e = app.DrivePath('E') + "/backup";
  EXPECT_TRUE(Read(e + "/a small.mp3") == Read(src + "/a small.mp3"));
  EXPECT_TRUE(Read(e + "/Sub/c small.mp3") == Read(src + "/Sub/c small.mp3"));
  EXPECT_FALSE(fs::exists(e + "/b huge.mp3"));
  EXPECT_FALSE(fs::exists(e + "/Foreign"));
  EXPECT_TRUE(Leftovers(app.DrivePath('E')).empty());
  // The file that did not fit is a failure, not a new file.
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "1", "-", "3", "2", "-"}));
  EXPECT_EQ(Text("filesfailed"), "1");
  EXPECT_NE(Text("status").find("b huge.mp3 (No space left on device)"), std::string::npos)
      << Text("status");

  // With room again the next press completes the backup.
  fs::remove(e + "/a small.mp3");
  fs::resize_file(src + "/b huge.mp3", 2 << 20);
  PressMedia(0);
  EXPECT_TRUE(Read(e + "/b huge.mp3") == Read(src + "/b huge.mp3"));
  EXPECT_EQ(Counters(), (std::vector<std::string>{"1", "-", "1", "3", "2", "1"}));
}

TEST_F(Copying, AFileThatCannotBeReadIsAFailureNotANewFile) {
  TempDir images;
  const std::string image = images.path() + "/bad.img";
  Write(images.path() + "/content", Pattern(64 << 10, 5));
  // An ext2 volume of 1 KiB blocks whose file has its indirect block past the volume's end: the
  // first 12 KiB read, then the disk answers with an I/O error.
  const std::string debugfs = "debugfs -w -R ";
  const bool made =
      std::system(("mkfs.ext2 -q -F -b 1024 '" + image + "' 2048 >/dev/null 2>&1").c_str()) == 0 &&
      std::system((debugfs + "'write " + images.path() + "/content bad.mp3' '" + image +
                   "' >/dev/null 2>&1")
                      .c_str()) == 0 &&
      std::system((debugfs + "'write " + images.path() + "/content good.mp3' '" + image +
                   "' >/dev/null 2>&1")
                      .c_str()) == 0 &&
      std::system(
          (debugfs + "'sif bad.mp3 block[IND] 1000000' '" + image + "' >/dev/null 2>&1").c_str()) ==
          0;
  if (!made) GTEST_SKIP() << "mkfs.ext2 and debugfs are needed to make the damaged volume";
  Mounted volume(image, app.DrivePath('E'), "");
  if (!volume.mounted()) GTEST_SKIP() << "cannot loop-mount an ext2 image here (needs root)";
  WriteSettings("E:\\", "D:\\Backup\\");
  LoadSettings(p());
  PressMedia(0);
  const std::string backup = app.DrivePath('D') + "/backup";
  EXPECT_TRUE(Read(backup + "/good.mp3") == Pattern(64 << 10, 5));
  EXPECT_FALSE(fs::exists(backup + "/bad.mp3"));
  EXPECT_TRUE(Leftovers(backup).empty());
  EXPECT_EQ(Text("filesnew"), "1");
  EXPECT_EQ(Text("filesfailed"), "1");
  EXPECT_NE(Text("status").find("bad.mp3 (Input/output error)"), std::string::npos)
      << Text("status");
  EXPECT_TRUE(app.diag().Mentions("bad.mp3 (Input/output error)"));
}

// A source that gives 4 MB a second, as a slow stick or a network share does.
class CopyingFromSlowMedia : public Copying {
 protected:
  CopyingFromSlowMedia() : Copying(Options()) {}
  static PosixFileSystem::Options Options() {
    PosixFileSystem::Options options;
    options.bytesPerSecond = 4000000;
    return options;
  }
};

TEST_F(CopyingFromSlowMedia, ProgressComesByTimeSoACancelIsHeardWithinTheFile) {
  Write(src + "/first.mp3", Pattern(2 << 20, 1));
  Write(src + "/second.mp3", Pattern(2 << 20, 2));
  // Half a second per file: reports by size alone (8 MiB) would come only at its end.
  std::chrono::steady_clock::time_point pushedAt;
  p().onYield = [&](Program&) {
    const int bar = Bar("copy");
    if (Text("filesnew") != "-" || bar <= 0 || bar >= 100) return;
    if (pushedAt == std::chrono::steady_clock::time_point()) {
      pushedAt = std::chrono::steady_clock::now();
      PushCancel();
    }
  };
  PressMedia(0);
  const auto latency = std::chrono::steady_clock::now() - pushedAt;
  ASSERT_NE(pushedAt, std::chrono::steady_clock::time_point()) << "too few reports in the file";
  std::cout << "cancel heard after "
            << std::chrono::duration_cast<std::chrono::milliseconds>(latency).count() << " ms\n";
  EXPECT_LT(Bar("copy"), 100);
  EXPECT_EQ(Text("filesnew"), "1");  // the file whose copy was started, abandoned
  EXPECT_TRUE(fs::is_empty(dst));
}

// ---------------------------------------------------------------------------------------------
// The built probe, killed while it copies a large file.

TEST_F(Copying, KilledCopyLeavesNoTruncatedFileAndTheNextRunCompletesIt) {
  const std::string big = Pattern(size_t{384} << 20, 7);
  Write(src + "/Large File.bin", big);
  Write(src + "/small.txt", "small");
  const std::string script = app.DrivePath('C') + "/script.txt";
  Write(script, "press loadscreen copy\n");
  const std::string probe = std::string(QV_BINARY_DIR) + "/quorvin-probe";
  auto start = [&]() {
    const pid_t pid = fork();
    if (pid == 0) {
      const std::string c = "C=" + app.DrivePath('C'), d = "D=" + app.DrivePath('D');
      const std::string out = app.DrivePath('C') + "/out";
      freopen("/dev/null", "w", stdout);
      execl(probe.c_str(), probe.c_str(), "run", "--app-dir", app.AppPath("").c_str(), "--drive",
            c.c_str(), "--drive", d.c_str(), "--out", out.c_str(), script.c_str(), nullptr);
      _exit(127);
    }
    return pid;
  };

  const pid_t first = start();
  ASSERT_GT(first, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool caught = false;
  uint64_t partial = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    if (PartialBytes(first, dst) > 0) {
      kill(first, SIGSTOP);
      partial = PartialBytes(first, dst);
      caught = !fs::exists(dst + "/Large File.bin");
      break;
    }
    if (waitpid(first, nullptr, WNOHANG) == first) break;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  ASSERT_TRUE(caught) << "the copy was not seen in progress";
  EXPECT_GT(partial, 0u);
  EXPECT_LT(partial, big.size());
  // Nothing carries the final name, and the killed run left nothing but complete files.
  EXPECT_FALSE(fs::exists(dst + "/Large File.bin"));
  for (const auto& e : fs::directory_iterator(dst)) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(name, "small.txt");
    EXPECT_EQ(Read(e.path().string()), "small");
  }

  const pid_t second = start();
  ASSERT_GT(second, 0);
  int status = 0;
  waitpid(second, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(Read(dst + "/Large File.bin") == big);
  EXPECT_EQ(Read(dst + "/small.txt"), "small");
  EXPECT_TRUE(Leftovers(dst).empty());
}

}  // namespace
}  // namespace qv::test
