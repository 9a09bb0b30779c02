#include "TestProgram.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "platform/memory/TestPicture.h"
#include "screens/modScreens.h"
#include "shell/frmMain.h"
#include "shell/modDeclares.h"

namespace qv::test {

TempDir::TempDir() {
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path p = base / ("quorvin-test-" + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(p, ec)) {
      // Only the owner may enter, as in any private temporary folder.
      std::filesystem::permissions(p, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace, ec);
      path_ = p.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool RecordingDiagnostics::Mentions(const std::string& text) const {
  for (const std::string& l : lines)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

void ShowExplorer(Program& p, const std::string& sourcePath, const std::string& destinationPath) {
  p.explorer.SourcePath = sourcePath;
  p.explorer.DestinationPath = destinationPath;
  ShowScreen(p, "explorer");
}

void TapListItem(Program& p, const ListElement& l, int item) {
  const float x = static_cast<float>(l.Left + 50);
  const float y = static_cast<float>(l.Top + (item - l.TopIndex) * l.RowHeight + 8);
  OnPointerDown(p, 1, 0, x, y);
  OnPointerUp(p, 1, 0, x, y);
}

void WriteCopyTotalSkin(const SkinWriter& app) {
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen"});
  app.WriteLayout("Mainscreen",
                  "[0]\nType=textbox\nCommand0=copy;total\nPosition=10;10;200;20\n"
                  "Font=arial;10;0;0;255|255|255;1\n");
}

std::string BoxText(Program& p, const std::string& group, const std::string& name) {
  for (const TextBoxElement& b : p.tables.TextBoxes)
    if (b.HasKey(group, name)) return b.Text;
  return "<none>";
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift <= 16; shift += 8) {
    const int ca = static_cast<int>((a >> shift) & 0xFF);
    const int cb = static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(ca - cb) > tolerance) return false;
  }
  return true;
}

void SkinWriter::WriteSettings(int resX, int resY, int top, int left) const {
  WriteFile("settings.ini", "[General]\r\nResX=" + std::to_string(resX) + "\r\nResY=" +
                                std::to_string(resY) + "\r\nTop=" + std::to_string(top) +
                                "\r\nLeft=" + std::to_string(left) + "\r\nStartMinimized=0\r\n");
}

void SkinWriter::WriteSkin(const std::vector<std::string>& screens) const {
  WritePicture("Skin/Loading_enabled.jpg", 1024, 768, kEnabledRgb);
  WritePicture("Skin/Loading_active.jpg", 1024, 768, kActiveRgb);
  for (const std::string& s : screens) {
    WritePicture("Skin/" + s + "_enabled.jpg", 1024, 768, kEnabledRgb);
    WritePicture("Skin/" + s + "_disabled.jpg", 1024, 768, kDisabledRgb);
    WritePicture("Skin/" + s + "_active.jpg", 1024, 768, kActiveRgb);
  }
  WritePicture("Skin/icons/Folder.jpg", 32, 32, 0xE0C040);
  WritePicture("Skin/icons/File.jpg", 32, 32, 0xF0F0F0);
}

void SkinWriter::WriteLayout(const std::string& screen, const std::string& sections) const {
  WriteFile("Skin/" + screen + ".ini", sections);
}

void WriteExplorerSkin(const SkinWriter& app) {
  app.WriteSettings(1024, 768);
  app.WriteSkin({"Mainscreen", "explorer", "explorerdrive"});
  const std::string font = "Font=arial;10;0;0;255|255|255;1\n";
  const std::string list =
      "MultiSelect=1\nSelFontColor=0|0|0\nSelBackgroundColor=0|255|0\n"
      "FocusRectColor=255|0|255\n";
  std::string layout;
  int n = 0;
  auto section = [&](const std::string& body) {
    layout += "[" + std::to_string(n++) + "]\n" + body;
  };
  section("Type=listbox\nCommand0=explorersource;filebox\nPosition=100;0;300;400\n" + font + list);
  section("Type=listbox\nCommand0=explorerdestination;filebox\nPosition=100;500;300;400\n" + font +
          list);
  section("Type=textbox\nCommand0=explorersource;directory\nPosition=50;0;300;20\n" + font);
  section("Type=textbox\nCommand0=explorerdestination;directory\nPosition=50;500;300;20\n" + font);
  int top = 520;
  for (const char* box : {"size", "directoriesfound", "filesfound", "total"}) {
    section(std::string("Type=textbox\nCommand0=explorerinfo;") + box +
            "\nPosition=" + std::to_string(top) + ";0;300;20\n" + font);
    top += 24;
  }
  for (const char* box : {"filesfound", "filesnew", "filesexisting", "directoriesfound",
                          "directoriesnew", "directoriesexisting", "status", "total"}) {
    section(std::string("Type=textbox\nCommand0=copy;") + box +
            "\nPosition=" + std::to_string(top) + ";500;300;20\n" + font);
    top += 24;
  }
  app.WriteLayout("explorer", layout);
  app.WriteLayout("explorerdrive",
                  "[0]\nType=drivelist\nCommand0=explorerdrive;maindrive\n"
                  "Position=10;10;300;20\n" +
                      font + "MenuColor=0|0|0\nMenuFontColor=0|255|0\n");
}

TestApp::TestApp(int extraDrives, Clock* clock)
    : files_(std::make_unique<MemoryFileSystem>("C:\\app")) {
  files_->CreatePath(AppPath("Skin/icons/"));
  for (int i = 0; i < extraDrives; ++i) files_->AddDrive(static_cast<char>('D' + i));
  program_ = std::make_unique<Program>(Platform{.display = display_,
                                                .events = events_,
                                                .files = *files_,
                                                .diag = diag_,
                                                .processes = processes_,
                                                .system = system_,
                                                .clock = clock ? *clock : clock_});
  InstallReactions(*program_);
}

std::string TestApp::DrivePath(char letter) const {
  return std::string(1, letter) + ":\\";
}

std::string TestApp::AppPath(const std::string& relative) const {
  std::string path = "C:\\app\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

void TestApp::WriteFile(const std::string& relative, const std::string& content) const {
  if (!files_->WriteFile(AppPath(relative), content))
    throw std::runtime_error("cannot write " + relative);
}

void TestApp::WritePicture(const std::string& relative, int width, int height, uint32_t rgb) const {
  const std::vector<uint8_t> data = EncodeTestPicture(
      width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, rgb));
  WriteFile(relative, std::string(data.begin(), data.end()));
}

bool TestApp::Start() {
  return StartUp(*program_);
}

uint32_t TestApp::Pixel(int x, int y) const {
  return program_->skin.BackBuffer ? program_->skin.BackBuffer->PixelRGB(x, y) : 0;
}

void TestApp::Click(double x, double y) {
  OnPointerDown(*program_, 1, 0, static_cast<float>(x), static_cast<float>(y));
  OnPointerUp(*program_, 1, 0, static_cast<float>(x), static_cast<float>(y));
}

}  // namespace qv::test
