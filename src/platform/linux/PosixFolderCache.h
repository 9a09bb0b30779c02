// The host folders that DOS folder paths led to, so that the files of one folder are looked up
// one after another without walking the path again.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv {

class FolderCache {
 public:
  // A folder along the way where a name was matched only without regard to case: the answer
  // holds while it is the same folder, unchanged.
  struct Level {
    std::string host;
    dev_t dev;
    ino_t ino;
    timespec ctime;
  };
  struct Folder {
    std::vector<std::string> names;  // host names of the components below the drive root
    std::string host;                // their host path
    dev_t dev;
    ino_t ino;
    std::vector<Level> caseMatched;
  };

  // The key of the folder that holds the last of `names`, spelt as the caller spelt them.
  static std::string KeyOfParent(char letter, const std::vector<std::string>& names);

  const Folder* Find(const std::string& key) const;
  // The cached folder when one stat still finds it there as it was (`st` receives that stat);
  // otherwise it is dropped and null returned.
  const Folder* Checked(const std::string& key, struct stat* st);
  void Store(const std::string& key, Folder folder);

 private:
  std::unordered_map<std::string, Folder> byKey_;
};

}  // namespace qv
