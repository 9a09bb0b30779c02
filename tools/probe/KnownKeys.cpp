#include "probe/KnownKeys.h"

#include <initializer_list>

#include "commands/modDispatch.h"

namespace probe {

namespace {

struct KeyGroup {
  const char* type;
  const char* group;
  std::initializer_list<const char*> names;
};

// clang-format off
const KeyGroup kKeys[] = {
    // StartUp: the progress of loading the skin pictures.
    {"statusbar", "loading", {"status"}},

    // CopyItems and its folder scan (ScanFolderTree writes "total" of ReportGroup).
    {"textbox", "copy", {"filesfound", "filesnew", "filesexisting", "filesfailed",
                         "directoriesfound", "directoriesnew", "directoriesexisting", "status",
                         "total"}},
    {"statusbar", "copy", {"total", "copy"}},

    // FillSourceList, FillDestinationList and the layout loader's folder captions.
    {"listbox", "explorersource", {"filebox"}},
    {"textbox", "explorersource", {"directory"}},
    {"listbox", "explorerdestination", {"filebox"}},
    {"textbox", "explorerdestination", {"directory"}},

    // ShowSourceInfo and ShowDestinationInfo, with the scan's running count in "total".
    {"textbox", "explorerinfo", {"size", "directoriesfound", "filesfound", "total"}},

    // DriveListClicked: the drive-choosing screen of the explorers.
    {"drivelist", "explorerdrive", {"maindrive"}},

    // TypeKey and DeleteLastChar show the typed text.
    {"textbox", "keyboard", {"maintextbox"}},

    // StartDiskCheck: drive, report and progress.
    {"drivelist", "checkhdd", {"maindrive"}},
    {"textboxmultiline", "checkhdd", {"maintextbox"}},
    {"statusbar", "checkhdd", {"status"}},

    // AnalyzeFreeSpace, DeepAnalyze and StartDefrag.
    {"drivelist", "defrag", {"maindrive"}},
    {"diagramm", "defrag", {"drive"}},
    {"statusbar", "defrag", {"status"}},
    {"textbox", "defrag", {"status", "numberofextents", "numberoffiles",
                           "numberofnonmoveablefiles", "numberoffragmentedfiles",
                           "numberoffragments", "percentoffragmentedfiles",
                           "percentoffragmentsperfile", "maxnumberofextents"}},

    // StartCleaning: one box per junk rule, the totals and the progress.
    {"drivelist", "cleanhdd", {"maindrive"}},
    {"statusbar", "cleanhdd", {"status"}},
    {"textbox", "cleanhdd", {"status", "*.log", "*.~*", "~*.*", "*.*~", "*.---", "*.tmp", "*._mp",
                             "*.old", "*.chk", "*.gid", "0???????.nch", "*.dmp", "windows temp",
                             "user temp", "cookies", "total files/directories",
                             "total junk-files/directories", "total junksize"}},

    // UpdateMemoryInfo and UpdateSystemInfo.
    {"drivelist", "systeminfo", {"maindrive"}},
    {"statusbar", "systeminfo", {"cpu", "ram", "virtualram", "page", "hdd"}},
    {"textbox", "systeminfo", {"totalram", "freeram", "totalvirtualram", "freevirtualram",
                               "totalpagefiles", "freepagefiles", "totalspace", "freespace",
                               "filesystem", "volumename", "serialnumber", "computername",
                               "username", "os", "numberofprocessors", "processortype",
                               "version", "build"}},

    // UpdateClock.
    {"textbox", "datetime", {"year", "month", "day", "second", "minute", "hour", "monthname",
                             "weekdayname", "longtime", "shorttime", "longdate", "shortdate",
                             "status"}},
};
// clang-format on

bool OneOf(const std::string& s, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (s == n) return true;
  return false;
}

}  // namespace

bool IsAddressedKey(const std::string& type, const std::string& group, const std::string& name) {
  for (const KeyGroup& k : kKeys)
    if (type == k.type && group == k.group && OneOf(name, k.names)) return true;
  return false;
}

bool IsCommand(const std::string& word, const std::string& a) {
  // The dispatcher's vocabulary.
  if (word == "loadscreen") return true;  // a screen name, or empty for the previous screen
  if (word == "copy" || word == "explorerinfo") return a == "cancel";
  if (word == "function")
    return OneOf(a, {"exit", "audiocopy", "videocopy", "picturecopy", "emptyrecyclebin"});
  if (word == "datetime")
    return OneOf(a, {"year+", "year-", "month+", "month-", "day+", "day-", "hour+", "hour-",
                     "minute+", "minute-", "second+", "second-"});
  if (word == "checkhdd")
    return OneOf(a, {"start", "cancel", "maintextboxpagedown", "maintextboxpageup"});
  if (word == "defrag" || word == "cleanhdd") return OneOf(a, {"start", "cancel"});
  if (word == "explorersource")
    return OneOf(a, {"delete", "selectall", "selectnon", "selectinvert", "pageup", "pagedown",
                     "first", "last", "createdirectory", "rename", "run", "info"});
  if (word == "explorerdestination")
    return OneOf(a, {"paste", "pageup", "pagedown", "first", "last", "audiodirectory",
                     "videodirectory", "picturedirectory", "createdirectory", "info"});
  if (word == "keyboard") {
    std::string text;
    return qv::KeyboardKeyText(a, &text) || OneOf(a, {"back", "shift", "caps", "cancel", "ok"});
  }
  return false;
}

bool IsButtonIdentity(const std::string& group, const std::string& /*name*/) {
  // CopyItems disables every ("mainscreen", *) button while a copy runs.
  return group == "mainscreen";
}

}  // namespace probe
