// The two lookup caches of the drive namespace on their own: the case-insensitive name index
// and the cache of folders reached by a path.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "LinuxTestProgram.h"
#include "platform/linux/PosixFolderCache.h"
#include "platform/linux/PosixNameIndex.h"

namespace qv {
namespace {

struct stat StatOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st;
}

TEST(FolderNameIndex, KeepsOwnChangesAndSeesEveryoneElses) {
  test::TempDir dir;
  const std::string folder = dir.path();
  std::ofstream(folder + "/Données.TXT") << "x";
  FolderNameIndex index;
  std::string match;
  ASSERT_TRUE(index.FindByCase(folder, StatOf(folder), "dONNÉES.txt", &match));
  EXPECT_EQ(match, "Données.TXT");
  EXPECT_FALSE(index.MayHold(folder, "new"));
  EXPECT_TRUE(index.MayHold(folder + "/unlisted", "anything"));

  // A folder made by the owner joins the index without a new listing.
  index.NoteChanging(folder);
  ASSERT_EQ(mkdir((folder + "/New").c_str(), 0755), 0);
  index.NoteCreated(folder + "/New");
  ASSERT_NE(index.Of(folder, StatOf(folder)), nullptr);
  EXPECT_EQ(index.Listings(), 1u);
  ASSERT_NE(index.Of(folder, StatOf(folder))->Find("NEW"), nullptr);

  // Someone else's change, past the tick of the folder's clock, is listed anew.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::ofstream(folder + "/Other") << "o";
  ASSERT_TRUE(index.FindByCase(folder, StatOf(folder), "other", &match));
  EXPECT_EQ(index.Listings(), 2u);

  // A change announced but made by someone else meanwhile is not taken for ours.
  index.NoteChanging(folder);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::ofstream(folder + "/Third") << "t";
  index.NoteChanging(folder);  // the folder changed since it was listed: the index goes
  EXPECT_TRUE(index.MayHold(folder, "missing"));
  ASSERT_TRUE(index.FindByCase(folder, StatOf(folder), "THIRD", &match));
}

TEST(FolderCache, DropsAFolderReplacedOrChangedOnTheWay) {
  test::TempDir dir;
  const std::string a = dir.path() + "/A";
  ASSERT_EQ(mkdir(a.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((a + "/b").c_str(), 0755), 0);
  const std::string key = FolderCache::KeyOfParent('X', {"a", "b", "file"});
  EXPECT_EQ(key, "X\\a\\b");
  struct stat st = StatOf(a + "/b");
  struct stat level = StatOf(a);
  FolderCache cache;
  cache.Store(key, {{"A", "b"},
                    a + "/b",
                    st.st_dev,
                    st.st_ino,
                    {{a, level.st_dev, level.st_ino, level.st_ctim}}});
  ASSERT_NE(cache.Checked(key, &st), nullptr);

  // "A" was matched without regard to case: a name added beside "b" may now be the better match.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_EQ(mkdir((a + "/B").c_str(), 0755), 0);
  EXPECT_EQ(cache.Checked(key, &st), nullptr);
  EXPECT_EQ(cache.Find(key), nullptr);

  // The folder itself replaced by another under the same name.
  st = StatOf(a + "/b");
  cache.Store(key, {{"A", "b"}, a + "/b", st.st_dev, st.st_ino, {}});
  ASSERT_EQ(rename((a + "/b").c_str(), (a + "/old").c_str()), 0);
  ASSERT_EQ(mkdir((a + "/b").c_str(), 0755), 0);
  EXPECT_EQ(cache.Checked(key, &st), nullptr);
}

}  // namespace
}  // namespace qv
