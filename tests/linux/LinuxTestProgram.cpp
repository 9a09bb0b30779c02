#include "LinuxTestProgram.h"

#include <glib.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdlib>
#include <fstream>

#include "platform/linux/JpegCodec.h"
#include "platform/linux/JpegPictureCodec.h"
#include "shell/frmMain.h"
#include "shell/modDeclares.h"

namespace qv::test {
namespace {

// Programs the tests start keep their caches in a folder of this run, never in the user's.
const bool kCacheAside = [] {
  static TempDir cache;
  setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
  return true;
}();

}  // namespace

LinuxTestApp::LinuxTestApp(int extraDrives, const SpecialFoldersBelowC& special,
                           PosixFileSystem::Options files, Clock* clock)
    : app_(root_.path() + "/app"), display_(std::make_shared<JpegPictureCodec>()) {
  std::filesystem::create_directories(app_ + "/Skin/icons");
  std::vector<DriveMapping> drives{DriveMapping{'C', root_.path(), ""}};
  for (int i = 0; i < extraDrives; ++i) {
    extra_.push_back(std::make_unique<TempDir>());
    drives.push_back(DriveMapping{static_cast<char>('D' + i), extra_.back()->path(), ""});
  }
  auto below = [&](const std::string& folder) {
    return folder.empty() ? folder : root_.path() + "/" + folder;
  };
  // The real file system, processes and junk search; the display, events, machine figures and
  // clock are the test's own, and no disk check engine unless a test puts one in.
  posix_ = std::make_unique<LinuxPlatform>(LinuxPlatformOptions{
      .appHost = app_,
      .drives = drives,
      .files = std::move(files),
      .junk = PosixJunkScanOptions{below(special.systemTemp), below(special.userCache)},
      .checkEngine = false});
  program_ = std::make_unique<Program>(posix_->Services({.display = &display_,
                                                         .events = &events_,
                                                         .diag = &diag_,
                                                         .system = &system_,
                                                         .clock = clock ? clock : &clock_}));
  InstallReactions(*program_);
}

std::string LinuxTestApp::DrivePath(char letter) const {
  if (letter == 'C') return root_.path();
  return extra_.at(static_cast<size_t>(letter - 'D'))->path();
}

std::string LinuxTestApp::AppPath(const std::string& relative) const {
  return app_ + "/" + relative;
}

void LinuxTestApp::WriteFile(const std::string& relative, const std::string& content) const {
  const std::filesystem::path path = AppPath(relative);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

void LinuxTestApp::WritePicture(const std::string& relative, int width, int height,
                                uint32_t rgb) const {
  PixelImage image;
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width) * height, rgb);
  std::vector<uint8_t> data;
  std::string error;
  if (!EncodeJpeg(image, 95, &data, &error)) throw std::runtime_error(error);
  WriteFile(relative, std::string(data.begin(), data.end()));
}

namespace {
std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
}  // namespace

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ProbeResult LinuxTestApp::RunProbe(const std::string& script, const std::string& outDir,
                                   const std::string& options,
                                   const std::string& environment) const {
  const std::string scriptFile = root_.path() + "/script.txt";
  std::ofstream(scriptFile, std::ios::binary) << script;
  std::string command = environment + " " + Quote(std::string(QV_BINARY_DIR) + "/quorvin-probe") +
                        " run " + options + " --app-dir " + Quote(app_) + " --out " + Quote(outDir);
  for (const DriveMapping& d : posix_->files().Drives())
    command += " --drive " + Quote(std::string(1, d.letter) + "=" + d.hostFolder);
  const std::string out = root_.path() + "/probe.out";
  const std::string err = root_.path() + "/probe.err";
  command += " " + Quote(scriptFile) + " >" + Quote(out) + " 2>" + Quote(err) + " </dev/null";
  ProbeResult r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadWholeFile(out);
  r.err = ReadWholeFile(err);
  return r;
}

std::vector<std::string> DumpItems(const std::string& dump, const std::string& group,
                                   const std::string& name) {
  std::vector<std::string> items;
  const size_t key = dump.find("\"key\": [\"" + group + "\", \"" + name + "\"]");
  if (key == std::string::npos) return items;
  const size_t open = dump.find("\"items\": [", key);
  const size_t close = dump.find(']', open);
  std::string list = dump.substr(open + 10, close - open - 10);
  for (size_t at = 0; (at = list.find('"', at)) != std::string::npos;) {
    const size_t end = list.find('"', at + 1);
    items.push_back(list.substr(at + 1, end - at - 1));
    at = end + 1;
  }
  return items;
}

std::string DumpText(const std::string& dump, const std::string& group, const std::string& name) {
  const size_t key = dump.find("\"key\": [\"" + group + "\", \"" + name + "\"]");
  if (key == std::string::npos) return "<none>";
  const size_t text = dump.find("\"text\": \"", key);
  if (text == std::string::npos || text > dump.find('}', key)) return "<none>";
  const size_t start = text + 9;
  return dump.substr(start, dump.find('"', start) - start);
}

bool LinuxTestApp::Start() {
  return StartUp(*program_);
}

uint32_t LinuxTestApp::Pixel(int x, int y) const {
  return program_->skin.BackBuffer ? program_->skin.BackBuffer->PixelRGB(x, y) : 0;
}

void LinuxTestApp::Click(double x, double y) {
  OnPointerDown(*program_, 1, 0, static_cast<float>(x), static_cast<float>(y));
  OnPointerUp(*program_, 1, 0, static_cast<float>(x), static_cast<float>(y));
}

bool CompileLocale(const std::string& dir, const std::string& name, const std::string& source) {
  gchar* localedef = g_find_program_in_path("localedef");
  g_free(localedef);
  if (!localedef) return false;
  const std::string command =
      "localedef -i " + source + " -f UTF-8 '" + dir + "/" + name + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && std::filesystem::is_directory(dir + "/" + name);
}

ProcessLocale::ProcessLocale(const std::string& source) {
  setenv("LOCPATH", dir_.path().c_str(), 1);
  const std::string name = source + ".UTF-8";
  ok_ = CompileLocale(dir_.path(), name, source) && std::setlocale(LC_ALL, name.c_str());
}

ProcessLocale::~ProcessLocale() {
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
}

}  // namespace qv::test
