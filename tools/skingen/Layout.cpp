#include "Layout.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/ProfileString.h"
#include "screens/modScreens.h"

namespace skingen {

namespace {

bool ParseNumber(const std::string& text, double* out) {
  const std::string t = qv::Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  *out = std::strtod(t.c_str(), &end);
  return end && *end == '\0';
}

bool ParseColor(const std::string& text, Rgb* out) {
  const auto parts = qv::Split(text, '|');
  if (parts.size() != 3) return false;
  double c[3];
  for (int i = 0; i < 3; ++i)
    if (!ParseNumber(parts[i], &c[i])) return false;
  *out = MakeRgb(int(c[0]), int(c[1]), int(c[2]));
  return true;
}

bool ParseFlag(const std::string& text) {
  const std::string t = qv::LowerCase(qv::Trim(text));
  double v = 0;
  return t == "true" || (ParseNumber(t, &v) && v != 0);
}

}  // namespace

bool ReadScreen(const std::string& hostPath, SkinScreen* out, std::string* error) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) {
    *error = hostPath + ": cannot be read";
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  const qv::ProfileFile file(bytes);
  out->items.clear();
  for (int n = 0;; ++n) {
    const std::string sec = std::to_string(n);
    const std::string type = qv::LowerCase(file.Get(sec, "Type"));
    if (type.empty()) break;
    auto fail = [&](const std::string& key, const std::string& what) {
      *error = hostPath + " [" + sec + "] " + key + ": " + what;
      return false;
    };
    SkinItem item;
    item.section = n;
    item.type = type;
    for (int k = 0;; ++k) {
      const std::string value = file.Get(sec, "Command" + std::to_string(k));
      if (value.empty()) break;
      const size_t semi = value.find(';');
      if (semi == std::string::npos) return fail("Command" + std::to_string(k), "no \";\"");
      const std::string name = value.substr(semi + 1);
      item.commands.emplace_back(qv::LowerCase(value.substr(0, semi)),
                                 qv::LowerCase(name.substr(0, name.find(';'))));
    }
    const auto pos = qv::Split(file.Get(sec, "Position"), ';');
    double p[4];
    if (pos.size() != 4) return fail("Position", "not four numbers");
    for (int i = 0; i < 4; ++i)
      if (!ParseNumber(pos[i], &p[i])) return fail("Position", "not four numbers");
    item.pos = {float(p[1]), float(p[0]), float(p[2]), float(p[3])};
    const std::string font = file.Get(sec, "Font");
    if (!font.empty()) {
      const auto f = qv::Split(font, ';');
      double size = 0, align = 0;
      if (f.size() != 6 || !ParseNumber(f[1], &size) || !ParseColor(f[4], &item.fontColor) ||
          !ParseNumber(f[5], &align))
        return fail("Font", "not six fields");
      item.hasFont = true;
      item.font = {qv::LowerCase(qv::Trim(f[0])), int(std::lround(size)), ParseFlag(f[2]),
                   ParseFlag(f[3])};
      item.align = int(align);
    }
    item.label = file.Get(sec, "Label");
    item.style = qv::LowerCase(file.Get(sec, "Style"));
    item.icon = qv::LowerCase(file.Get(sec, "Icon"));
    out->items.push_back(std::move(item));
  }
  return true;
}

}  // namespace skingen
