// Changing operations of the drive namespace: folders, renames, copies and the recycle bin.
#include <dirent.h>
#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/linux/PosixFileSystem.h"
#include "platform/linux/PosixFileUtil.h"

namespace qv {
namespace {

constexpr size_t kNameMax = 255;
const std::string kTempPrefix = ".quorvin-";
const std::string kTempSuffix = ".part";

// Recognisable and fixed for a given name, so the next run replaces a killed run's leftover.
std::string TemporaryName(const std::string& name) {
  if (kTempPrefix.size() + name.size() + kTempSuffix.size() <= kNameMax)
    return kTempPrefix + name + kTempSuffix;
  uint32_t hash = 2166136261u;
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  char tag[10];
  std::snprintf(tag, sizeof tag, "~%08x", hash);
  size_t keep = kNameMax - kTempPrefix.size() - kTempSuffix.size() - 9;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return kTempPrefix + name.substr(0, keep) + tag + kTempSuffix;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool CopyRangeUnsupported(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}

// What open(O_TMPFILE) answers where the file system or the kernel has no unnamed files.
bool TmpFileUnsupported(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives an O_TMPFILE file its name. 0, or EEXIST, or another errno. Linking the descriptor
// itself is cheapest; kernels before 6.10 allow it only with the right to open files by handle
// (`*throughProc` is set once that was refused), and then the way through /proc is taken.
int LinkUnnamed(int fd, const std::string& to, bool* throughProc) {
  if (!*throughProc) {
    if (linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT && errno != EPERM) return errno;
  }
  char proc[40];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, proc, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
  *throughProc = true;
  return 0;
}

// Moves `from` to `to` unless something exists there already. 0, or EEXIST, or another errno.
int RenameNoReplace(const std::string& from, const std::string& to, bool allowLink) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // File systems without the flag: a hard link cannot replace anything either.
  if (allowLink) {
    if (link(from.c_str(), to.c_str()) == 0) {
      unlink(from.c_str());
      return 0;
    }
    if (errno == EEXIST) return EEXIST;
  }
  struct stat st;
  if (lstat(to.c_str(), &st) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// Deletes everything inside an open folder, staying on its file system and following no link.
bool RemoveContents(int folderFd) {
  struct stat folderStat;
  if (fstat(folderFd, &folderStat) != 0) return false;
  UniqueFd listFd(dup(folderFd));
  DIR* dir = listFd ? fdopendir(listFd.get()) : nullptr;
  if (!dir) return false;
  listFd.release();  // the listing owns it now
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  bool ok = true;
  for (const std::string& name : names) {
    struct stat st;
    if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev != folderStat.st_dev) {
        ok = false;
        continue;
      }
      const UniqueFd sub(
          openat(folderFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!sub) {
        ok = false;
        continue;
      }
      ok = RemoveContents(sub.get()) && ok;
      if (unlinkat(folderFd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
    } else if (unlinkat(folderFd, name.c_str(), 0) != 0) {
      ok = false;
    }
  }
  return ok;
}

// Why an operation failed: an errno, or words.
Status Fail(int error) {
  return ErrnoStatus(error);
}

Status Fail(const char* reason) {
  return Status::Error(reason);
}

// A trash folder is used only when it is a real folder of the user, never through a link.
bool IsOwnFolder(const std::string& path, uid_t uid, struct stat* st) {
  return lstat(path.c_str(), st) == 0 && S_ISDIR(st->st_mode) && st->st_uid == uid;
}

}  // namespace

Status PosixFileSystem::CreateFolder(const std::string& path) {
  Resolved r = Resolve(path);
  if (!r.drive) return Fail("no such drive");
  if (r.names.empty() || r.complete()) return Fail(EEXIST);
  if (r.found + 1 != r.names.size()) return Fail(ENOENT);
  paths_.NoteChanging(r.HostPrefix(r.found));
  if (mkdir(r.Host().c_str(), 0777) != 0) return Fail(errno);
  paths_.NoteCreated(r.Host());
  return Status::Ok();
}

Status PosixFileSystem::CreatePath(const std::string& folderPath) {
  size_t last = folderPath.find_last_of("\\/");
  if (last == std::string::npos || folderPath.size() < 2 || folderPath[1] != ':')
    return Fail("not a path on a drive");
  Resolved r = Resolve(folderPath.substr(0, last + 1));
  if (!r.drive) return Fail("no such drive");
  for (size_t i = r.found; i < r.names.size(); ++i) {
    std::string host = r.HostPrefix(i + 1);
    // Something exists there that is not part of this drive (another drive's folder).
    struct stat st;
    if (i == r.found && lstat(host.c_str(), &st) == 0)
      return S_ISDIR(st.st_mode) ? Fail("another drive's folder is in the way") : Fail(ENOTDIR);
    paths_.NoteChanging(r.HostPrefix(i));
    if (mkdir(host.c_str(), 0777) == 0) {
      paths_.NoteCreated(host);
    } else if (errno != EEXIST) {
      return Fail(errno);
    }
  }
  struct stat st;
  if (stat(r.Host().c_str(), &st) != 0) return Fail(errno);
  return S_ISDIR(st.st_mode) ? Status::Ok() : Fail(ENOTDIR);
}

Status PosixFileSystem::Rename(const std::string& from, const std::string& to) {
  Resolved a = Resolve(from);
  Resolved b = Resolve(to);
  if (!a.drive || !b.drive) return Fail("no such drive");
  if (a.names.empty() || b.names.empty()) return Fail("a whole drive is never renamed");
  if (!a.complete() || b.found + 1 < b.names.size()) return Fail(ENOENT);
  std::string target = b.Host();
  bool caseChange = false;
  if (b.complete()) {
    // `to` may be `from` itself found without regard to case: a change of case is a rename.
    struct stat sa, sb;
    if (lstat(a.Host().c_str(), &sa) != 0 || lstat(target.c_str(), &sb) != 0 ||
        sa.st_dev != sb.st_dev || sa.st_ino != sb.st_ino || b.lastWritten == b.names.back())
      return Fail(EEXIST);
    target = JoinHost(b.HostPrefix(b.names.size() - 1), b.lastWritten);
    caseChange = true;
  }
  int error = RenameNoReplace(a.Host(), target, false);
  // A case-insensitive file system finds the old name under the new one.
  if (error == EEXIST && caseChange)
    error = rename(a.Host().c_str(), target.c_str()) == 0 ? 0 : errno;
  if (error != 0) return Fail(error);
  paths_.NoteRemoved(a.Host());
  paths_.NoteRemoved(target);
  return Status::Ok();
}

CopyOutcome PosixFileSystem::CopyFile(const std::string& from, const std::string& to,
                                      const CopyProgressFn& progress, NameCase nameCase) {
  return CopyFileFrom(from, to, progress, true, nameCase);
}

struct PosixFileSystem::PendingFile {
  UniqueFd fd;
  std::string temporary;  // empty while the file is unnamed, and once it is published
  struct stat made {};
  bool madeKnown = false;

  ~PendingFile() {
    fd.reset();
    if (!temporary.empty()) unlink(temporary.c_str());
  }
};

CopyOutcome PosixFileSystem::CopyFileFrom(const std::string& from, const std::string& to,
                                          const CopyProgressFn& progress, bool trustCache,
                                          NameCase nameCase) {
  // Folders looked at a moment ago are taken as they were: the source's open shows whether its
  // path still holds, the unnamed file's device whether the target's does, and the target's
  // folder is looked at again just before the name is given.
  Resolved a = Resolve(from, Lookup::Unchecked, true);
  Resolved b = Resolve(to, Lookup::ToCreate, trustCache);
  // A named temporary is made, and an old one removed, only in a folder just looked at.
  if (b.trusted && (options_.forceNamedTemporary || b.folderDev == namedOnlyDevice_))
    b = Resolve(to, Lookup::ToCreate);
  if (nameCase == NameCase::Exact) b.KeepWrittenCase();
  if (!a.drive || !b.drive) return Fail("no such drive");
  if (!a.complete() || a.names.empty() || b.names.empty()) return Fail(ENOENT);
  if (b.complete()) return CopyResult::Exists;
  // Where only the last name is missing, Resolve has just looked for it; the rename below
  // never replaces whatever appears meanwhile.
  struct stat st;
  if (b.found + 1 != b.names.size()) {
    if (lstat(b.Host().c_str(), &st) == 0) return CopyResult::Exists;
    return Fail(errno);
  }

  struct stat source;
  UniqueFd in = OpenSource(from, &a, &source);
  if (!in) {
    const int error = errno;
    // Only regular files are copied, and links to them as their content.
    const std::string host = a.Host();
    if (lstat(host.c_str(), &st) == 0 &&
        (S_ISLNK(st.st_mode) ? stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)
                             : !S_ISREG(st.st_mode)))
      return CopyResult::NotAFile;
    return Fail(error);
  }
  PendingFile out;
  switch (OpenTarget(b, source, &out)) {
    case Opened::Failed:
      return Fail(errno);
    case Opened::LookAgain:
      in.reset();
      out.fd.reset();
      return CopyFileFrom(from, to, progress, false, nameCase);
    case Opened::Ok:
      break;
  }
  const CopyResult copied =
      CopyBytes(in.get(), out.fd.get(), static_cast<uint64_t>(source.st_size), progress);
  if (copied == CopyResult::Failed) return Fail(errno);
  if (copied != CopyResult::Copied) return copied;
  in.reset();
  return Publish(to, b, source, &out, nameCase);
}

UniqueFd PosixFileSystem::OpenSource(const std::string& from, Resolved* a, struct stat* source) {
  UniqueFd in = OpenRegularForReading(a->Host(), source);
  if (in && a->trusted && source->st_dev != a->folderDev) {
    in.reset();  // something was mounted on the way: the path decides afresh
    errno = ENOENT;
  }
  // A name spelt otherwise than on disk is looked up only now.
  if (!in && errno == ENOENT) {
    *a = Resolve(from);
    if (a->complete()) in = OpenRegularForReading(a->Host(), source);
  }
  return in;
}

PosixFileSystem::Opened PosixFileSystem::OpenTarget(const Resolved& b, const struct stat& source,
                                                    PendingFile* out) {
  const std::string folder = b.HostPrefix(b.found);
  // An unnamed file carries no name until it is complete: a killed run leaves nothing at all.
  if (!options_.forceNamedTemporary) {
    // Nobody can reach an unnamed file: it may have its final mode from the start.
    out->fd.reset(open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, source.st_mode & 0777));
    if (!out->fd && !TmpFileUnsupported(errno)) return Opened::Failed;
    if (!out->fd) namedOnlyDevice_ = b.trusted ? b.folderDev : b.folderSeen.dev;
    out->madeKnown = out->fd && fstat(out->fd.get(), &out->made) == 0;
    // Another file system mounted there, or one without unnamed files: looked at properly.
    if (b.trusted && (!out->madeKnown || out->made.st_dev != b.folderDev)) return Opened::LookAgain;
    if (out->fd) return Opened::Ok;
  }
  const std::string temporary = JoinHost(folder, TemporaryName(b.names.back()));
  out->fd.reset(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!out->fd && errno == EEXIST) {  // a killed copy's leftover
    unlink(temporary.c_str());
    out->fd.reset(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  }
  if (!out->fd) return Opened::Failed;
  out->temporary = temporary;
  return Opened::Ok;
}

CopyResult PosixFileSystem::CopyBytes(int in, int out, uint64_t total,
                                      const CopyProgressFn& progress) const {
  using Clock = std::chrono::steady_clock;
  // Progress, and with it a cancel, comes at least this often on slow media too; each call to
  // the kernel asks for no more than it can do in a fraction of that time.
  constexpr auto kReportEvery = std::chrono::milliseconds(100);
  constexpr auto kSlowCall = std::chrono::milliseconds(25);
  constexpr auto kFastCall = std::chrono::milliseconds(5);
  constexpr uint64_t kLeastStep = uint64_t{64} << 10;
  const uint64_t chunkBytes = options_.copyChunkBytes;
  uint64_t step = std::min<uint64_t>(chunkBytes, uint64_t{256} << 10);
  uint64_t done = 0;
  if (progress && !progress(total, 0)) return CopyResult::Cancelled;
  Clock::time_point reported = Clock::now();
  bool useRange = !options_.forceReadWriteCopy;
  std::vector<char> buffer;
  for (bool end = false; !end;) {
    uint64_t chunk = 0;
    while (chunk < chunkBytes) {
      // No more than the length it had when opened: a file growing meanwhile is copied as it
      // was, a file that tells no length to its end.
      uint64_t left = std::min(chunkBytes - chunk, step);
      if (total > 0) left = std::min(left, total - std::min(total, done + chunk));
      if (left == 0) {
        end = true;
        break;
      }
      const size_t want = static_cast<size_t>(left);
      const Clock::time_point before = Clock::now();
      ssize_t n;
      if (useRange) {
        n = copy_file_range(in, nullptr, out, nullptr, want, 0);
        if (n < 0 && CopyRangeUnsupported(errno)) {
          useRange = false;  // offsets stand where the kernel left them
          continue;
        }
      } else {
        if (buffer.empty()) buffer.resize(std::min<size_t>(chunkBytes, size_t{1} << 20));
        n = read(in, buffer.data(), std::min(want, buffer.size()));
        if (n > 0 && !WriteAll(out, buffer.data(), static_cast<size_t>(n)))
          return CopyResult::Failed;
      }
      if (n < 0 && (errno == EINTR || StopNonBlocking(in, errno))) continue;
      if (n < 0) return CopyResult::Failed;
      if (n == 0) {
        end = true;
        break;
      }
      if (options_.bytesPerSecond > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(static_cast<uint64_t>(n) * 1000000 /
                                                              options_.bytesPerSecond));
      chunk += static_cast<uint64_t>(n);
      const Clock::time_point after = Clock::now();
      if (after - before > kSlowCall)
        step = std::max(kLeastStep, step / 2);
      else if (after - before < kFastCall)
        step = std::min(chunkBytes, step * 2);
      if (after - reported >= kReportEvery) break;
    }
    done += chunk;
    if (chunk > 0 && progress) {
      if (!progress(total, done)) return CopyResult::Cancelled;
      reported = Clock::now();
    }
  }
  return CopyResult::Copied;
}

CopyOutcome PosixFileSystem::Publish(const std::string& to, const Resolved& b,
                                     const struct stat& source, PendingFile* file,
                                     NameCase nameCase) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, source.st_mtim};
  // The mask or a default ACL of the folder may have taken bits away.
  const bool modeKept = file->temporary.empty() && file->madeKnown &&
                        (file->made.st_mode & 07777) == (source.st_mode & 0777);
  const int out = file->fd.get();
  if ((!modeKept && fchmod(out, source.st_mode & 0777) != 0) || futimens(out, times) != 0)
    return Fail(errno);
  // The target's folder as it is now, just before the name is given: a name that appeared in
  // any case meanwhile is kept, and a path that leads elsewhere now is not followed.
  const std::string target = b.Host();
  Resolved now = Resolve(to, Lookup::ToCreate);
  if (nameCase == NameCase::Exact) now.KeepWrittenCase();
  if (now.complete()) return CopyResult::Exists;
  if (now.found + 1 != now.names.size() || !now.folderStatKnown || now.Host() != target)
    return Fail("the target's folder changed during the copy");
  const std::string folder = b.HostPrefix(b.found);
  paths_.NoteChanging(folder, now);
  int error;
  if (file->temporary.empty()) {
    // A link never replaces anything either.
    error = LinkUnnamed(out, target, &linkThroughProc_);
    if (!file->fd.Close() && error == 0) {
      unlink(target.c_str());
      error = EIO;
    }
    // A named temporary left by a run that could not use unnamed files.
    const std::string leftoverName = TemporaryName(b.names.back());
    const std::string leftover = JoinHost(folder, leftoverName);
    if (error == 0 && paths_.MayHold(folder, leftoverName) && unlink(leftover.c_str()) == 0)
      paths_.NoteRemoved(leftover);
  } else {
    // Something that appeared under the final name meanwhile is never replaced.
    error = file->fd.Close() ? RenameNoReplace(file->temporary, target, true) : EIO;
    if (error == 0) file->temporary.clear();
  }
  if (error == 0) {
    paths_.NoteCreated(target);
    return CopyResult::Copied;
  }
  if (error == EEXIST) return CopyResult::Exists;
  return Fail(error);
}

Status PosixFileSystem::DeleteToTrash(const std::string& path) {
  Resolved r = Resolve(path);
  // Never a whole drive.
  if (!r.complete() || r.names.empty())
    return r.names.empty() ? Fail("a whole drive is never trashed") : Fail(ENOENT);
  GFile* file = g_file_new_for_path(r.Host().c_str());
  GError* error = nullptr;
  const bool ok = g_file_trash(file, nullptr, &error);
  Status status = Status::Ok();
  if (ok) paths_.NoteRemoved(r.Host());
  if (!ok) status = Fail(error ? error->message : "the recycle bin refused it");
  if (error) g_error_free(error);
  g_object_unref(file);
  return status;
}

std::vector<std::string> PosixFileSystem::TrashFolders() const {
  const uid_t uid = getuid();
  std::vector<std::string> candidates;
  std::string home = XdgFolder("XDG_DATA_HOME", ".local/share");
  if (!home.empty() && !DosPathForHost(JoinHost(home, "Trash")).empty())
    candidates.push_back(JoinHost(home, "Trash"));
  for (const DriveMapping& d : table_.Drives()) {
    candidates.push_back(JoinHost(d.hostFolder, ".Trash-" + std::to_string(uid)));
    // The shared ".Trash" is trusted only with its sticky bit and when it is no link.
    std::string shared = JoinHost(d.hostFolder, ".Trash");
    struct stat st;
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
      candidates.push_back(JoinHost(shared, std::to_string(uid)));
  }
  std::vector<std::string> folders;
  std::vector<std::pair<dev_t, ino_t>> seen;
  for (const std::string& c : candidates) {
    struct stat st;
    if (!IsOwnFolder(c, uid, &st)) continue;
    std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
    if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    folders.push_back(c);
  }
  return folders;
}

Status PosixFileSystem::EmptyTrash() {
  bool ok = true;
  for (const std::string& trash : TrashFolders()) {
    for (const char* part : {"files", "info"}) {
      std::string folder = JoinHost(trash, part);
      const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      if (!fd) {
        if (errno != ENOENT) ok = false;
        continue;
      }
      ok = RemoveContents(fd.get()) && ok;
    }
    // The size cache describes folders that are gone now.
    std::string sizes = JoinHost(trash, "directorysizes");
    if (unlink(sizes.c_str()) != 0 && errno != ENOENT) ok = false;
  }
  return ok ? Status::Ok() : Fail("part of the recycle bin could not be emptied");
}

}  // namespace qv
