// skingen: paints the default skin's pictures from its layout sources, and writes the default
// settings file.
//
//   skingen SRC_DIR OUT_DIR        layout files copied as they are, plus every state picture
//   skingen --settings OUT_FILE    settings.ini with media folders under the user's home
//   skingen --windows-settings OUT_FILE   the same for Quorvin.exe: C:\Users\Public's folders
//   skingen --icon SIZE OUT_FILE   the program's icon (the skin's logo) as a PNG with alpha, or
//                                  as a Windows icon when OUT_FILE ends in ".ico"
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "Icons.h"
#include "Layout.h"
#include "Painter.h"
#include "TextPainter.h"
#include "Theme.h"
#include "platform/linux/DriveTable.h"
#include "platform/linux/JpegCodec.h"
#include "platform/linux/PngFile.h"
#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/UserSettings.h"

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

// Writes settings made for a machine; fails when a folder of them lies on no drive.
int WriteSettingsFile(const fs::path& target, const std::string& text,
                      const std::vector<std::string>& unplaced) {
  for (const std::string& folder : unplaced)
    std::cerr << "skingen: " << folder << " lies on no drive\n";
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) {
    std::cerr << "skingen: " << target.string() << ": cannot be written\n";
    return 1;
  }
  return unplaced.empty() ? 0 : 1;
}

int WriteSettings(const fs::path& target) {
  const auto drives =
      qv::PosixFileSystem::FromMounts(qv::PosixFileSystem::RunningExecutableFolder());
  const std::string home = qv::UserHome();
  std::vector<std::string> unplaced;
  // The build's settings name the plain folders of the home, whatever the desktop calls them.
  const qv::MediaFolders media = qv::MediaFoldersFrom(home, nullptr, nullptr, nullptr);
  const std::string text =
      qv::SettingsText(drives->Table(), qv::kDefaultGeneralSettings, home, media, &unplaced);
  return WriteSettingsFile(target, text, unplaced);
}

// Quorvin.exe's settings, written by the Linux build that paints its skin: the build cannot know
// the user, so the media folders are the public ones every user of the machine has, with the
// backups beside them. The same text as on Linux, from a stand-in C: drive.
int WriteWindowsSettings(const fs::path& target) {
  std::error_code ec;
  const fs::path c = fs::temp_directory_path(ec) / ("skingen-c-" + std::to_string(getpid()));
  const fs::path home = c / "Users" / "Public";
  for (const char* folder : {"Music", "Videos", "Pictures"}) {
    fs::create_directories(home / folder, ec);
    fs::create_directories(home / "Backup" / folder, ec);
  }
  std::string text;
  std::vector<std::string> unplaced;
  {
    const qv::DriveTable drives({qv::DriveMapping{'C', c.string(), ""}});
    const qv::MediaFolders media = qv::MediaFoldersFrom(home.string(), nullptr, nullptr, nullptr);
    text = qv::SettingsText(drives, qv::kDefaultGeneralSettings, home.string(), media, &unplaced);
  }
  fs::remove_all(c, ec);
  return WriteSettingsFile(target, text, unplaced);
}

// A Windows icon file holding one PNG picture (Windows reads those since Vista).
int WrapPngInIco(const std::string& png, const std::string& target, int size) {
  std::ifstream in(png, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::error_code ec;
  fs::remove(png, ec);
  auto le = [](std::string& out, uint32_t v, int n) {
    for (int k = 0; k < n; ++k) out += static_cast<char>((v >> (8 * k)) & 0xff);
  };
  std::string ico;
  le(ico, 0, 2);  // reserved
  le(ico, 1, 2);  // an icon
  le(ico, 1, 2);  // one picture
  le(ico, size >= 256 ? 0 : size, 1);
  le(ico, size >= 256 ? 0 : size, 1);
  le(ico, 0, 2);   // no palette, reserved
  le(ico, 1, 2);   // planes
  le(ico, 32, 2);  // bits per pixel
  le(ico, static_cast<uint32_t>(bytes.size()), 4);
  le(ico, 22, 4);  // where the picture starts
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << ico << bytes;
  if (bytes.empty() || !out) {
    std::cerr << "skingen: " << target << ": cannot be written\n";
    return 1;
  }
  return 0;
}

// The logo painted on black and on white tells each pixel's coverage: a PNG with alpha, so
// that the rounded corners take the desktop's background.
int WriteIcon(const std::string& sizeText, const std::string& target) {
  const int size = std::atoi(sizeText.c_str());
  if (size < 16 || size > 1024) {
    std::cerr << "skingen: icon size " << sizeText << " is not 16..1024\n";
    return 2;
  }
  skingen::Canvas onBlack(size, size, 0), onWhite(size, size, 0xffffff);
  const skingen::Box box{0, 0, float(size), float(size)};
  skingen::DrawIcon(onBlack, "logo", box, skingen::theme::kAccent, 0);
  skingen::DrawIcon(onWhite, "logo", box, skingen::theme::kAccent, 0xffffff);
  std::vector<uint32_t> pixels(size_t(size) * size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      const uint32_t b = onBlack.At(x, y), w = onWhite.At(x, y);
      // alpha = 1 - (white - black) / 255, from the green channel; colour = black / alpha.
      const int alpha = 255 - (int((w >> 8) & 255) - int((b >> 8) & 255));
      uint32_t rgb = 0;
      for (int shift : {16, 8, 0}) {
        const int c = alpha > 0 ? std::min(255, int((b >> shift) & 255) * 255 / alpha) : 0;
        rgb |= uint32_t(c) << shift;
      }
      pixels[size_t(y) * size + x] = (uint32_t(std::clamp(alpha, 0, 255)) << 24) | rgb;
    }
  std::string error;
  const bool ico = target.size() > 4 && target.compare(target.size() - 4, 4, ".ico") == 0;
  const std::string png = ico ? target + ".png" : target;
  if (!qv::WritePng(png, pixels.data(), size, size, size * 4, &error, true)) {
    std::cerr << "skingen: " << error << "\n";
    return 1;
  }
  return ico ? WrapPngInIco(png, target, size) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "--settings") return WriteSettings(args[1]);
  if (args.size() == 2 && args[0] == "--windows-settings") return WriteWindowsSettings(args[1]);
  if (args.size() == 3 && args[0] == "--icon") return WriteIcon(args[1], args[2]);
  if (args.size() == 2 && args[0].rfind("--", 0) != 0) return PaintSkin(args[0], args[1]);
  std::cerr << "usage: skingen SRC_DIR OUT_DIR\n       skingen --settings OUT_FILE\n"
               "       skingen --windows-settings OUT_FILE\n"
               "       skingen --icon SIZE OUT_FILE\n";
  return 2;
}
