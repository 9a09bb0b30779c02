// The settings file of a user's first start, and the default settings the build writes: window
// geometry plus the media folders of the backup buttons.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/DriveTable.h"

namespace qv {

// Host folders.
struct MediaFolders {
  std::string music;
  std::string videos;
  std::string pictures;
};

// The user's home: $HOME, else the user database; "/" without either.
std::string UserHome();
// The desktop's music, videos and pictures folders (XDG user dirs) where set, else ~/Music,
// ~/Videos, ~/Pictures.
MediaFolders UserMediaFolders(const std::string& home);
// The same from given XDG values (null: unset). A folder set to the home itself is how
// xdg-user-dirs marks a disabled one: backing that up would copy the whole home, backups included.
MediaFolders MediaFoldersFrom(const std::string& home, const char* music, const char* videos,
                              const char* pictures);

// The window settings of a first start when the installation gives none.
extern const char kDefaultGeneralSettings[];

// A settings file: `general` (the [General] section, header included), then each media folder
// with its backup in ~/Backup, as DOS paths of `drives` ending in "\" (the copy functions join
// paths by concatenation). A folder on no drive is added to `unplaced` and left empty.
std::string SettingsText(const DriveTable& drives, const std::string& general,
                         const std::string& home, const MediaFolders& media,
                         std::vector<std::string>* unplaced);

// The [General] section of a settings file's text, header included; empty when it has none.
std::string GeneralSection(const std::string& text);

enum class FirstStart { Present, Written, Unreadable, Failed };

// Writes the settings `file` from the [General] section of `templateFile` (or the defaults)
// and the user's folders when nothing of that name exists yet, in a 0700 folder made where
// missing; whatever exists, readable or not, stays as it is. Says on `diag` what it did, unless
// the file was simply there.
FirstStart PrepareSettingsFile(const std::string& file, const std::string& templateFile,
                               const DriveTable& drives, const std::string& home,
                               const MediaFolders& media, Diagnostics& diag);

}  // namespace qv
