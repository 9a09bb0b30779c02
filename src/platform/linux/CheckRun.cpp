#include "platform/linux/CheckRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace qv {

void CheckRun::Text(const std::string& line) {
  CheckTextOutput record{1, line.c_str()};
  if (!callback_(kCheckTextOutput, 0, &record)) Stop();
}

void CheckRun::CheckerText(std::string line) {
  for (size_t at = 0; (at = line.find(kDeviceLink, at)) != std::string::npos; at += device_.size())
    line.replace(at, std::strlen(kDeviceLink), device_);
  Text(line);
}

void CheckRun::Range(uint32_t base, uint32_t span, bool scan) {
  base_ = base;
  span_ = span;
  scan_ = scan;
  passes_ = false;
  raw_ = 0;
}

Status CheckRun::Start(const std::string& program, const std::vector<std::string>& args, int device,
                       const std::string& deviceName) {
  device_ = deviceName;
  UniqueFd text, textEnd, progress, progressEnd;
  if (Status s = MakePipe(&text, &textEnd); !s) return s;
  if (Status s = MakePipe(&progress, &progressEnd); !s) return s;
  const UniqueFd null(open("/dev/null", O_RDONLY | O_CLOEXEC));
  if (!null) return Status::Error(std::strerror(errno));
  ChildOptions o;
  o.descriptors = {
      {0, null.get()}, {1, textEnd.get()}, {2, textEnd.get()}, {3, progressEnd.get()}, {4, device}};
  o.ownGroup = true;
  // The program's end stops the checker cleanly (e2fsck takes SIGTERM as a cancel).
  o.deathSignal = SIGTERM;
  o.defaultSignals = {SIGINT, SIGTERM};
  // Its output going nowhere once the program is gone must not kill it in mid-repair.
  o.ignoredSignals = {SIGPIPE};
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  if (Status s = child_.Start(argv, o); !s) return s;
  text_ = std::move(text);
  progress_ = std::move(progress);
  progressLine_.clear();
  terminal_ = TerminalLines();
  return Status::Ok();
}

void CheckRun::ReadText(const char* data, size_t size) {
  std::vector<std::string> lines;
  terminal_.Feed(data, size, &lines);
  for (const std::string& l : lines) CheckerText(l);
  uint32_t scanned;
  if (scan_ && !passes_ && ScanProgress(terminal_.Partial(), &scanned)) {
    raw_ = scanned * 4 / 5;
    Progress();
  }
}

void CheckRun::ReadProgress(const char* data, size_t size) {
  progressLine_.append(data, size);
  size_t end;
  bool any = false;
  uint32_t pass;
  while ((end = progressLine_.find('\n')) != std::string::npos) {
    if (ParseProgressLine(progressLine_.substr(0, end), &pass)) {
      any = true;
      passes_ = true;
      raw_ = scan_ ? 80 + pass / 5 : pass;
    }
    progressLine_.erase(0, end + 1);
  }
  if (any) Progress();
}

ChildExit CheckRun::Wait() {
  using Clock = std::chrono::steady_clock;
  auto lastReport = Clock::now();
  char buffer[65536];
  while (text_ || progress_) {
    pollfd fds[2];
    nfds_t n = 0;
    if (text_) fds[n++] = {text_.get(), POLLIN, 0};
    if (progress_) fds[n++] = {progress_.get(), POLLIN, 0};
    const int ready = poll(fds, n, quietMs_);
    if (ready < 0 && errno != EINTR) break;
    for (nfds_t i = 0; i < n && ready > 0; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const bool isText = fds[i].fd == text_.get();
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        (isText ? text_ : progress_).reset();
        if (isText) {
          std::vector<std::string> lines;
          terminal_.Finish(&lines);
          for (const std::string& l : lines) CheckerText(l);
        }
        continue;
      }
      if (isText)
        ReadText(buffer, static_cast<size_t>(got));
      else
        ReadProgress(buffer, static_cast<size_t>(got));
      lastReport = Clock::now();
    }
    if (Clock::now() - lastReport >= std::chrono::milliseconds(quietMs_)) {
      Progress();
      lastReport = Clock::now();
    }
  }
  return child_.Wait();
}

void CheckRun::Progress() {
  const uint32_t percent = base_ + span_ * std::min<uint32_t>(raw_, 100) / 100;
  if (!callback_(kCheckProgress, 0, &percent)) Stop();
}

void CheckRun::Abandon() {
  if (!child_.running()) {
    text_.reset();
    progress_.reset();
    return;
  }
  child_.Signal(SIGINT);
  char buffer[65536];
  bool ended = false;
  ChildExit exit;
  for (int quietAfterEnd = 0; !(ended && ((!text_ && !progress_) || quietAfterEnd > 10));) {
    pollfd fds[2];
    nfds_t n = 0;
    if (text_) fds[n++] = {text_.get(), POLLIN, 0};
    if (progress_) fds[n++] = {progress_.get(), POLLIN, 0};
    const int ready = poll(fds, n, 100);
    for (nfds_t i = 0; i < n && ready > 0; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
        (fds[i].fd == text_.get() ? text_ : progress_).reset();
    }
    if (!ended) ended = child_.TryWait(&exit);
    // A left-over grandchild (the surface scan) that still holds a pipe is not waited for.
    else if (ready == 0)
      ++quietAfterEnd;
  }
  text_.reset();
  progress_.reset();
}

void CheckRun::Stop() {
  if (stopped_) return;
  stopped_ = true;
  // The whole group: e2fsck's surface scan runs in a child of its own.
  child_.Signal(SIGINT);
}

}  // namespace qv
