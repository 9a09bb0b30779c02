// The junk cleaner's two halves on a host folder taken as drive C:, headless: the search (with
// the gathering of what is in use) and the deletion into the recycle bin, timed apart.
#include <chrono>
#include <cstdio>
#include <string>

#include "app/linux/LinuxPlatform.h"
#include "core/Program.h"
#include "disk/modHDDclean.h"
#include "platform/Platform.h"

// `deleteToo`: trash what was found after the search.
int JunkBench(const std::string& root, bool deleteToo) {
  using Clock = std::chrono::steady_clock;
  // No special folders: the tree's own names decide.
  qv::LinuxPlatform posix({.appHost = root,
                           .drives = std::vector<qv::DriveMapping>{{'C', root, ""}},
                           .display = qv::SdlDisplayOptions{.headless = true},
                           .clock = qv::PosixClockOptions{false, "", nullptr},
                           .junk = qv::PosixJunkScanOptions{"", ""},
                           .checkEngine = false});
  if (const qv::Status video = posix.display().StartVideo(); !video.ok()) {
    std::fprintf(stderr, "qv_bench: %s\n", video.message().c_str());
    return 1;
  }
  qv::Program p(posix.Services());
  auto ms = [](Clock::time_point from) {
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
  };
  auto start = Clock::now();
  qv::SearchJunk(p, "C:");
  std::printf("search: %.4g ms\n", ms(start));
  std::printf("entries: %lld entries\n", static_cast<long long>(p.cleaner.JunkCounters[15]));
  std::printf("junk: %zu entries\n", p.cleaner.JunkList.size() - 1);
  if (deleteToo) {
    start = Clock::now();
    qv::DeleteJunk(p);
    std::printf("delete: %.4g ms\n", ms(start));
  }
  return 0;
}
