#include "disk/modHDDclean.h"

#include <functional>

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "core/Program.h"
#include "files/modTools.h"
#include "widgets/modButton.h"
#include "widgets/modDriveList.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBox.h"

namespace qv {
namespace {

const char* const kGroup = "cleanhdd";

// Rules 1 to 12 test the name; 13 to 15 the folder being visited.
const char* const kNameRules[12] = {"*.log", "*.~*",  "~*.*",  "*.*~",  "*.---",        "*.tmp",
                                    "*._mp", "*.old", "*.chk", "*.gid", "0???????.nch", "*.dmp"};
const char* const kFolderRuleBoxes[3] = {"windows temp", "user temp", "cookies"};
const int32_t kFolderRuleCsidl[3] = {kWindowsTemp, kCsidlHistory, kCsidlCookies};

std::string RuleBox(int rule) {
  return rule < 12 ? kNameRules[rule] : kFolderRuleBoxes[rule - 12];
}

// Two DOS folder paths ending in "\" name the same folder: the drive letter in either case,
// the rest byte for byte.
bool SameFolder(const std::string& a, const std::string& b) {
  return a.size() == b.size() && a.size() >= 3 && b[1] == ':' && (a[0] | 0x20) == (b[0] | 0x20) &&
         a.compare(1, std::string::npos, b, 1, std::string::npos) == 0;
}

// Length of the character at `s[i]`: a whole UTF-8 sequence counts as one.
size_t CharLength(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  size_t n = 1;
  if (c >= 0xC0 && c < 0xF8) {
    while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80 && n < 4) ++n;
  }
  return n;
}

// Whether the one-character token at `pattern[p]` matches `text[t]`; `next` receives where the
// token ends. A "[" without its "]" stands for itself.
bool TokenMatches(const std::string& pattern, size_t p, const std::string& text, size_t t,
                  size_t* next) {
  const char c = pattern[p];
  const unsigned char ch = static_cast<unsigned char>(text[t]);
  if (c == '?') {
    *next = p + 1;
    return true;
  }
  if (c == '#') {
    *next = p + 1;
    return ch >= '0' && ch <= '9';
  }
  if (c == '[') {
    const size_t close = pattern.find(']', p + 1);
    if (close != std::string::npos) {
      size_t i = p + 1;
      const bool negate = i < close && pattern[i] == '!';
      if (negate) ++i;
      bool found = false;
      for (; i < close; ++i) {
        const unsigned char lo = static_cast<unsigned char>(pattern[i]);
        if (i + 2 < close && pattern[i + 1] == '-') {
          const unsigned char hi = static_cast<unsigned char>(pattern[i + 2]);
          found = found || (ch >= lo && ch <= hi);
          i += 2;
        } else {
          found = found || ch == lo;
        }
      }
      *next = close + 1;
      return found != negate;
    }
  }
  *next = p + 1;
  return static_cast<unsigned char>(c) == ch;
}

void ShowIdle(Program& p) {
  EnableButtons(p, kGroup, "start");
  EnableButtons(p, "loadscreen", "*");
  DisableButtons(p, kGroup, "cancel");
  UnlockDriveList(p, kGroup, "maindrive");
}

void ShowBusy(Program& p) {
  DisableButtons(p, kGroup, "start");
  DisableButtons(p, "loadscreen", "*");
  EnableButtons(p, kGroup, "cancel");
  LockDriveList(p, kGroup, "maindrive");
}

void ResetDisplay(Program& p) {
  for (const char* rule : kNameRules) SetText(p, kGroup, rule, "-");
  for (const char* box : {"cookies", "windows temp", "user temp", "total files/directories",
                          "total junksize", "total junk-files/directories", "status"})
    SetText(p, kGroup, box, "-");
  SetProgress(p, kGroup, "status", 0);
}

// Long walks below a folder keep the window alive and stop at a cancel.
std::function<bool()> KeepGoing(Program& p) {
  return [&p] {
    Yield(p, false);
    return !p.flags.CancelRequested;
  };
}

}  // namespace

bool MatchesWildcard(const std::string& text, const std::string& pattern) {
  size_t t = 0, p = 0;
  size_t starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    size_t next = 0;
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starT = t;
    } else if (p < pattern.size() && TokenMatches(pattern, p, text, t, &next)) {
      t += pattern[p] == '?' ? CharLength(text, t) : 1;
      p = next;
    } else if (starP != std::string::npos) {
      // Let the last "*" take one more character and try again from there.
      starT += CharLength(text, starT);
      t = starT;
      p = starP;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string JunkSizeText(double megabytes) {
  return PlainDecimal(megabytes, 2) + " MB";
}

std::string GetSpecialFolderPath(Program& p, int32_t csidl) {
  if (!p.os.junk) return "";
  switch (csidl) {
    case kWindowsTemp:
      return p.os.junk->SpecialFolder("windows temp");
    case kCsidlHistory:
      return p.os.junk->SpecialFolder("user temp");
    case kCsidlCookies:
      return p.os.junk->SpecialFolder("cookies");
    default:
      return "";
  }
}

void AddJunk(Program& p, std::vector<std::string>& junk, const std::string& path,
             const JunkIdentity& id, uint64_t bytes) {
  CleanerState& c = p.cleaner;
  junk.push_back(path);
  if (&junk == &c.JunkList) {
    c.JunkIds.push_back(id);
    c.JunkFound.push_back(JunkFacts{-1, bytes});
  }
  SetText(p, kGroup, "total junk-files/directories", std::to_string(junk.size() - 1));
  c.JunkSizeMB += static_cast<double>(bytes) / 1048576.0;
  SetText(p, kGroup, "total junksize", JunkSizeText(c.JunkSizeMB));
}

void FindJunk(Program& p, std::string folder, std::vector<std::string>& junk) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  CleanerState& c = p.cleaner;
  // Which special folder this one is decides rules 13 to 15 for all its entries; a special
  // folder that this system lacks matches nothing. Only that very folder: a path is no pattern,
  // and on this system a case twin ("TMP" beside "tmp") is another folder.
  int folderRule = -1;
  for (int k = 0; k < 3 && folderRule < 0; ++k) {
    const std::string special = GetSpecialFolderPath(p, kFolderRuleCsidl[k]);
    if (SameFolder(folder, special)) folderRule = 12 + k;
  }

  const std::vector<JunkScanEntry> entries =
      p.os.junk->List(folder).value_or(std::vector<JunkScanEntry>{});
  // Recycle bins are not searched (the design's by name, this system's by what they are), nor
  // what other users keep in a folder they share.
  const bool inRecycler = folder.find("RECYCLER") != std::string::npos;
  std::vector<std::string> subfolders;
  for (const JunkScanEntry& e : entries) {
    Yield(p, false);
    if (e.isFolder && !e.recycleBin && !e.othersOwn && !inRecycler) subfolders.push_back(e.name);
  }

  for (const JunkScanEntry& e : entries) {
    if (++c.JunkCounters[15] % 100 == 0)
      SetText(p, kGroup, "total files/directories", std::to_string(c.JunkCounters[15]));
    if (!e.kept && !e.recycleBin && !e.othersOwn) {
      const std::string name = LowerCase(e.name);
      int rule = -1;
      for (int k = 0; k < 12 && rule < 0; ++k)
        if (MatchesWildcard(name, kNameRules[k])) rule = k;
      if (rule < 0) rule = folderRule;
      // In use, or holding anything that must stay: no junk, whatever its name.
      std::optional<JunkItem> item;
      if (rule >= 0 && (item = p.os.junk->Examine(folder + e.name, KeepGoing(p)))) {
        AddJunk(p, junk, folder + e.name, item->id, item->bytes);
        if (&junk == &c.JunkList) c.JunkFound.back().rule = rule;
        SetText(p, kGroup, RuleBox(rule), std::to_string(++c.JunkCounters[rule]));
      }
    }
    if (p.flags.CancelRequested) return;
    Yield(p, false);
  }

  for (const std::string& sub : subfolders) {
    FindJunk(p, folder + sub + "\\", junk);
    Yield(p, false);
    if (p.flags.CancelRequested) return;
  }
}

void SearchJunk(Program& p, const std::string& drive) {
  SetText(p, kGroup, "status", "Searching...");
  // Only a cancel cuts the gathering short; nothing is searched then.
  if (!p.os.junk->GatherInUse(KeepGoing(p))) return;
  FindJunk(p, drive, p.cleaner.JunkList);
}

std::string DeleteJunk(Program& p) {
  CleanerState& c = p.cleaner;
  SetText(p, kGroup, "status", "Deleting...");
  const size_t n = c.JunkList.size() - 1;
  size_t kept = 0;
  std::string lastKept;
  for (size_t i = 1; i <= n; ++i) {
    if (p.flags.CancelRequested) {
      p.flags.CancelRequested = false;
      break;
    }
    std::string path = c.JunkList[i];
    // The path may lead elsewhere by now (a folder replaced by a link), or hold what must stay.
    std::string why;
    if (!p.os.junk->Recheck(path, c.JunkIds[i], KeepGoing(p))) {
      // A cancel during the look below a folder leaves it for the cancel's sake alone.
      if (!p.flags.CancelRequested) why = "changed or taken into use since the search";
    } else if (const Status trashed = DeleteToRecycleBin(p, path); !trashed.ok()) {
      why = trashed.message();
    }
    // An entry inside a junk folder trashed before it went with that folder.
    if (!why.empty() && !p.os.junk->Gone(c.JunkList[i])) {
      lastKept = c.JunkList[i] + " (" + why + ")";
      p.os.diag.Warn("cleaner: not moved to the recycle bin: " + lastKept);
      // What stays is no longer counted among what was cleared away.
      const JunkFacts& f = c.JunkFound[i];
      if (f.rule >= 0)
        SetText(p, kGroup, RuleBox(f.rule), std::to_string(--c.JunkCounters[f.rule]));
      SetText(p, kGroup, "total junk-files/directories", std::to_string(n - ++kept));
      c.JunkSizeMB -= static_cast<double>(f.bytes) / 1048576.0;
      SetText(p, kGroup, "total junksize", JunkSizeText(c.JunkSizeMB));
    }
    // The last one too: a bar left short of its end would tell of entries still to go.
    if (i % 10 == 0 || i == n)
      SetProgress(p, kGroup, "status",
                  static_cast<int32_t>(
                      RoundHalfEven(100.0 / static_cast<double>(n) * static_cast<double>(i))));
    Yield(p, false);
  }
  return lastKept.empty() ? std::string() : "Not moved to the recycle bin: " + lastKept;
}

void RunCleaning(Program& p) {
  CleanerState& c = p.cleaner;
  c.JunkSizeMB = 0;
  c.JunkList.assign(1, std::string());
  c.JunkIds.assign(1, JunkIdentity());
  c.JunkFound.assign(1, JunkFacts());
  const std::string drive = GetChosenDrive(p, kGroup, "maindrive").substr(0, 2);
  if (!p.os.junk || drive.size() < 2 || !IsVolumeReady(p, drive) ||
      p.os.files.GetDriveType(drive + "\\") != kDriveFixed)
    return;
  SearchJunk(p, drive);
  const std::string kept = DeleteJunk(p);
  SetText(p, kGroup, "status", kept.empty() ? "-" : kept);
}

void StartCleaning(Program& p) {
  CleanerState& c = p.cleaner;
  // A cancelled run may still be unwinding further down the stack: a second run nested in it
  // would reset the list it walks. This start runs once that one has ended.
  if (c.running) {
    c.startPending = true;
    ShowBusy(p);
    return;
  }
  struct Running {
    CleanerState& c;
    explicit Running(CleanerState& s) : c(s) { c.running = true; }
    ~Running() { c.running = c.startPending = false; }
  } running(c);
  do {
    c.startPending = false;
    p.flags.CancelRequested = false;
    for (int64_t& counter : c.JunkCounters) counter = 0;
    ResetDisplay(p);
    ShowBusy(p);
    RunCleaning(p);
    ShowIdle(p);
  } while (c.startPending);
  // A cancel that came after the run's last test was meant for this run alone.
  p.flags.CancelRequested = false;
}

void CancelCleaning(Program& p) {
  p.flags.CancelRequested = true;
  p.cleaner.startPending = false;
  ShowIdle(p);
}

}  // namespace qv
