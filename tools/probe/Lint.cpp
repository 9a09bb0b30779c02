#include "probe/Lint.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "core/Elements.h"
#include "core/ProfileString.h"
#include "probe/KnownKeys.h"
#include "probe/ProbeHost.h"
#include "probe/SkinFiles.h"
#include "screens/modScreens.h"

namespace probe {

namespace fs = std::filesystem;

namespace {

bool ReadBytes(const fs::path& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The section number a name stands for, as the loader writes numbers: decimal, no sign, no
// leading zero. -1 for anything else; -2 for a number written in another form ("01", "+1").
long SectionNumber(const std::string& name) {
  const std::string t = qv::Trim(name);
  size_t i = t.empty() || (t[0] != '+' && t[0] != '-') ? 0 : 1;
  if (i == t.size() || t.size() > 9) return -1;
  for (size_t k = i; k < t.size(); ++k)
    if (t[k] < '0' || t[k] > '9') return -1;
  if (i == 1 || (t.size() > 1 && t[0] == '0')) return -2;
  return std::stol(t);
}

class Linter {
 public:
  Linter(const SkinFiles& skin, std::ostream& out) : skin_(skin), out_(out) {}

  // Decodes every picture; the loading picture's size is the design size the others must have.
  void Pictures() {
    const std::string loading = PictureNamed("loading_enabled.jpg");
    if (!loading.empty() && Dimensions(loading, &designWidth_, &designHeight_) &&
        !qv::UsableDesignSize(designWidth_, designHeight_)) {
      Report(loading, "-", "-",
             std::to_string(designWidth_) + " x " + std::to_string(designHeight_) +
                 " pixels gives no usable design size (each side " +
                 std::to_string(qv::kMinDesignSide) + " to " + std::to_string(qv::kMaxDesignSide) +
                 "); the program refuses to start");
      designWidth_ = designHeight_ = 0;
    }
    for (const std::string& picture : skin_.pictures) {
      if (picture == loading) continue;
      int w = 0, h = 0;
      if (!Dimensions(picture, &w, &h) || designWidth_ == 0) continue;
      if (w != designWidth_ || h != designHeight_)
        Report(picture, "-", "-",
               std::to_string(w) + " x " + std::to_string(h) + " pixels, but the loading picture " +
                   "is " + std::to_string(designWidth_) + " x " + std::to_string(designHeight_) +
                   ": the layouts are placed on the loading picture's size");
    }
  }

  void File(const std::string& fileName) {
    std::vector<uint8_t> bytes;
    if (!ReadBytes(skin_.folder / fileName, &bytes)) {
      Report(fileName, "-", "-", "cannot be read");
      return;
    }
    const qv::ProfileFile file(bytes);
    for (const qv::ProfileFile::Quirk& q : file.Quirks())
      Report(fileName, q.section, q.key, q.problem);
    int end = 0;
    while (!qv::LowerCase(file.Get(std::to_string(end), "Type")).empty()) {
      Section(fileName, file, end);
      ++end;
    }
    if (end == 0)
      Report(fileName, "0", "Type",
             file.Sections().empty()
                 ? "missing: the file has no sections (empty, not a layout file, or not text)"
                 : "missing: the screen has no elements");
    Unread(fileName, file, end);
  }

  bool failed() const { return failed_; }

 private:
  std::string PictureNamed(const std::string& lower) const {
    for (const std::string& picture : skin_.pictures)
      if (qv::LowerCase(picture) == lower) return picture;
    return std::string();
  }

  // Reads and checks one picture the way start-up decodes it; false when it is unusable.
  bool Dimensions(const std::string& picture, int* width, int* height) {
    std::vector<uint8_t> bytes;
    std::string message;
    if (!ReadBytes(skin_.folder / picture, &bytes)) {
      Report(picture, "-", "-", "cannot be read");
      return false;
    }
    const qv::PictureCodec& codec = SkinPictureCodec();
    if (!codec.Dimensions(bytes.data(), bytes.size(), width, height, &message)) {
      Report(picture, "-", "-", "cannot be decoded: " + message);
      return false;
    }
    if (codec.Check(bytes.data(), bytes.size(), &message) != qv::PictureResult::Ok)
      Report(picture, "-", "-", "damaged, shown only as far as it can be read: " + message);
    return true;
  }

  void Report(const std::string& file, const std::string& section, const std::string& key,
              const std::string& problem) {
    out_ << file << " [" << section << "] " << key << ": " << problem << "\n";
    if (problem.rfind("note:", 0) != 0) failed_ = true;
  }

  void Section(const std::string& fileName, const qv::ProfileFile& file, int n) {
    const std::string section = std::to_string(n);
    for (const qv::LayoutProblem& p : qv::CheckLayoutSection(file, n, designWidth_, designHeight_))
      Report(fileName, p.section, p.key, p.problem);
    const std::string type = qv::LowerCase(file.Get(section, "Type"));
    if (!qv::IsElementType(type)) return;

    // The commands as the loader reads them: numbered from 0, ending at the first empty one.
    std::vector<std::pair<std::string, qv::CommandPair>> pairs;
    int missing = 0;
    for (;; ++missing) {
      const std::string key = "Command" + std::to_string(missing);
      const std::string v = qv::LowerCase(file.Get(section, key));
      if (v.empty()) break;
      const std::vector<std::string> parts = qv::Split(v, ';');
      if (parts.size() >= 2) pairs.push_back({key, qv::CommandPair{parts[0], parts[1]}});
    }
    CommandNumbering(fileName, file, section, missing);

    if (type == "button") {
      Button(fileName, section, pairs);
    } else if (pairs.empty()) {
      if (missing == 0)
        Report(fileName, section, "Command0",
               "missing; no function addresses a " + type + " without a key");
    } else if (pairs[0].first == "Command0") {
      const qv::CommandPair& key = pairs[0].second;
      if (!IsAddressedKey(type, key.Group, key.Name))
        Report(fileName, section, "Command0",
               "no function addresses a " + type + " with the key \"" + key.Group + ";" + key.Name +
                   "\"");
    }
  }

  void CommandNumbering(const std::string& fileName, const qv::ProfileFile& file,
                        const std::string& section, int firstMissing) {
    for (const std::string& key : file.Keys(section)) {
      const std::string lower = qv::LowerCase(key);
      if (lower.rfind("command", 0) != 0 || lower.size() == 7) continue;
      const long k = SectionNumber(lower.substr(7));
      if (k == -2)
        Report(fileName, section, key, "never read: command numbers have no sign or leading zero");
      else if (k > firstMissing && !qv::LowerCase(file.Get(section, key)).empty())
        Report(
            fileName, section, key,
            "never read: the commands end at the missing Command" + std::to_string(firstMissing));
    }
  }

  void Button(const std::string& fileName, const std::string& section,
              const std::vector<std::pair<std::string, qv::CommandPair>>& pairs) {
    if (pairs.empty()) {
      Report(fileName, section, "Command0", "missing; the button does nothing");
      return;
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
      const std::string& key = pairs[i].first;
      const qv::CommandPair& pair = pairs[i].second;
      if (IsCommand(pair.Group, pair.Name)) {
        if (pair.Group == "loadscreen" && !pair.Name.empty())
          Screen(fileName, section, key, pair.Name);
      } else if (!(key == "Command0" && IsButtonIdentity(pair.Group, pair.Name))) {
        Report(fileName, section, key,
               "\"" + pair.Group + ";" + pair.Name + "\" is no command of the program");
      }
    }
  }

  void Screen(const std::string& fileName, const std::string& section, const std::string& key,
              const std::string& screen) {
    if (skin_.LayoutFileOf(screen).empty())
      Report(fileName, section, key, "the screen \"" + screen + "\" has no layout file");
    if (!skin_.HasEnabledPicture(screen))
      Report(fileName, section, key, "the screen \"" + screen + "\" has no enabled picture");
  }

  void Unread(const std::string& fileName, const qv::ProfileFile& file, int end) {
    std::vector<long> after;
    for (const std::string& name : file.Sections()) {
      const long n = SectionNumber(name);
      if (n == -2)
        Report(fileName, name, "Type", "never read: section numbers have no sign or leading zero");
      else if (n > end && std::find(after.begin(), after.end(), n) == after.end())
        after.push_back(n);
    }
    if (after.empty()) return;
    std::sort(after.begin(), after.end());
    std::string list;
    for (long n : after) list += (list.empty() ? "" : ", ") + std::to_string(n);
    Report(fileName, std::to_string(end), "Type",
           "missing or empty, so the sections after it are never read (" + list + ")");
  }

  const SkinFiles& skin_;
  std::ostream& out_;
  bool failed_ = false;
  int designWidth_ = 0;
  int designHeight_ = 0;
};

}  // namespace

int LintSkin(const std::string& appDir, std::ostream& out, std::ostream& err) {
  SkinFiles skin;
  std::string error;
  if (!skin.Read(appDir, &error)) {
    err << "quorvin-probe lint: " << error << "\n";
    return 2;
  }
  Linter linter(skin, out);
  linter.Pictures();
  for (const std::string& file : skin.layouts) linter.File(file);
  return linter.failed() ? 1 : 0;
}

}  // namespace probe
