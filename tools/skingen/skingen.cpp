// skingen: paints the default skin's pictures from its layout sources, and writes the default
// settings file.
//
//   skingen SRC_DIR OUT_DIR        layout files copied as they are, plus every state picture
//   skingen --settings OUT_FILE    settings.ini with media folders under the user's home
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Icons.h"
#include "Layout.h"
#include "Painter.h"
#include "TextPainter.h"
#include "Theme.h"
#include "platform/linux/JpegCodec.h"
#include "platform/linux/PosixFileSystem.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kQuality = 92;
constexpr int kIconSize = 48;

bool WriteJpeg(const skingen::Canvas& c, const fs::path& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!qv::EncodeJpeg(c.Pixels().data(), c.Width(), c.Height(), c.Width() * 4, kQuality, &bytes,
                      &error)) {
    std::cerr << "skingen: " << path.string() << ": " << error << "\n";
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) {
    std::cerr << "skingen: " << path.string() << ": cannot be written\n";
    return false;
  }
  return true;
}

int PaintSkin(const fs::path& src, const fs::path& out) {
  std::error_code ec;
  fs::create_directories(out / "icons", ec);
  if (ec) {
    std::cerr << "skingen: " << out.string() << ": " << ec.message() << "\n";
    return 1;
  }
  std::vector<fs::path> sources;
  for (const auto& entry : fs::directory_iterator(src, ec)) {
    if (entry.is_regular_file() && entry.path().extension() == ".ini")
      sources.push_back(entry.path());
  }
  if (ec || sources.empty()) {
    std::cerr << "skingen: " << src.string() << ": no layout files\n";
    return 1;
  }
  std::sort(sources.begin(), sources.end());

  skingen::TextPainter text;
  skingen::Painter painter(text, kWidth, kHeight);
  bool ok = true;
  for (const fs::path& file : sources) {
    skingen::SkinScreen screen;
    screen.name = file.stem().string();
    std::string error;
    if (!skingen::ReadScreen(file.string(), &screen, &error)) {
      std::cerr << "skingen: " << error << "\n";
      ok = false;
      continue;
    }
    fs::copy_file(file, out / file.filename(), fs::copy_options::overwrite_existing, ec);
    if (ec) {
      std::cerr << "skingen: " << file.string() << ": " << ec.message() << "\n";
      ok = false;
    }
    const skingen::ScreenPictures pictures = painter.Paint(screen);
    // The program looks for the loading pictures under this exact spelling.
    const bool loading = screen.name == "loading";
    const std::string stem = loading ? "Loading" : screen.name;
    ok &= WriteJpeg(pictures.enabled, out / (stem + "_enabled.jpg"));
    if (!loading) ok &= WriteJpeg(pictures.disabled, out / (stem + "_disabled.jpg"));
    ok &= WriteJpeg(pictures.active, out / (stem + "_active.jpg"));
  }

  skingen::Canvas folder(kIconSize, kIconSize), file(kIconSize, kIconSize);
  skingen::DrawFolderPicture(folder, skingen::theme::kField, skingen::theme::kAccent);
  skingen::DrawFilePicture(file, skingen::theme::kField);
  ok &= WriteJpeg(folder, out / "icons" / "Folder.jpg");
  ok &= WriteJpeg(file, out / "icons" / "File.jpg");
  return ok ? 0 : 1;
}

std::string HomeFolder() {
  if (const char* home = getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

int WriteSettings(const fs::path& target) {
  std::string exeFolder = qv::PosixFileSystem::RunningExecutableFolder();
  const auto drives = qv::PosixFileSystem::FromMounts(exeFolder);
  const fs::path home = HomeFolder();
  bool allFound = true;
  auto dos = [&](const fs::path& hostFolder) {
    std::string path = drives ? drives->DosPathForHost(hostFolder.lexically_normal().string()) : "";
    if (path.empty()) {
      std::cerr << "skingen: " << hostFolder.string() << " lies on no drive\n";
      allFound = false;
      return path;
    }
    // The copy functions join paths by concatenation: folders end with "\".
    if (path.back() != '\\') path += '\\';
    return path;
  };
  const fs::path backup = home / "Backup";
  std::string text;
  text += "[General]\nResX=1024\nResY=768\nTop=0\nLeft=0\nStartMinimized=0\n\n";
  const struct {
    const char* section;
    const char* folder;
  } media[] = {{"Audio", "Music"}, {"Video", "Videos"}, {"Picture", "Pictures"}};
  for (const auto& m : media) {
    text += std::string("[") + m.section + "]\n";
    text += "Source=" + dos(home / m.folder) + "\n";
    text += "Destination=" + dos(backup / m.folder) + "\n\n";
  }
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) {
    std::cerr << "skingen: " << target.string() << ": cannot be written\n";
    return 1;
  }
  return allFound ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--settings") return WriteSettings(args[1]);
  if (args.size() == 2 && args[0].rfind("--", 0) != 0) return PaintSkin(args[0], args[1]);
  std::cerr << "usage: skingen SRC_DIR OUT_DIR\n       skingen --settings OUT_FILE\n";
  return 2;
}
