// The Linux platform's one way of starting a program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "platform/linux/ChildProcess.h"

namespace qv {
namespace {

std::string Drain(const UniqueFd& fd) {
  std::string out;
  char buffer[256];
  ssize_t n;
  while ((n = read(fd.get(), buffer, sizeof buffer)) > 0)
    out.append(buffer, static_cast<size_t>(n));
  return out;
}

// Puts `fd` at exactly `number` when that number is free here.
bool MoveTo(UniqueFd* fd, int number) {
  if (fcntl(number, F_GETFD) != -1) return false;
  const int placed = fcntl(fd->get(), F_DUPFD_CLOEXEC, number);
  if (placed != number) {
    if (placed >= 0) close(placed);
    return false;
  }
  fd->reset(placed);
  return true;
}

TEST(ChildProcess, DescriptorsThatSwapPlacesArriveWhereTheChildExpectsThem) {
  UniqueFd aRead, aWrite, bRead, bWrite;
  ASSERT_TRUE(MakePipe(&aRead, &aWrite));
  ASSERT_TRUE(MakePipe(&bRead, &bWrite));
  // Each end sits on the number the other one must get.
  int first = 20;
  while (first < 60 && !(MoveTo(&aWrite, first) && MoveTo(&bWrite, first + 1))) first += 2;
  ASSERT_LT(first, 60) << "no two free descriptors";
  ChildOptions o;
  o.descriptors = {{first + 1, aWrite.get()}, {first, bWrite.get()}};
  const std::string to = " > /proc/self/fd/";
  ChildProcess child;
  ASSERT_TRUE(child.Start({"sh", "-c",
                           "echo to-a" + to + std::to_string(first + 1) + "; echo to-b" + to +
                               std::to_string(first) + "; exit 3"},
                          o));
  aWrite.reset();
  bWrite.reset();
  EXPECT_EQ(Drain(aRead), "to-a\n");
  EXPECT_EQ(Drain(bRead), "to-b\n");
  const ChildExit exit = child.Wait();
  EXPECT_FALSE(exit.signaled);
  EXPECT_EQ(exit.code, 3);
}

TEST(ChildProcess, AFailedStartSaysWhyAndASignalEndIsToldApart) {
  ChildProcess missing;
  const Status s = missing.Start({"/nonexistent/quorvin-no-program"}, {});
  ASSERT_FALSE(s);
  EXPECT_NE(s.message(), "");
  EXPECT_FALSE(missing.running());
  EXPECT_FALSE(missing.Start({"quorvin-no-such-program-in-path"}, {}));

  // A group of its own: the signal reaches the shell's child too, and the shell ends by it.
  ChildOptions o;
  o.ownGroup = true;
  ChildProcess group;
  ASSERT_TRUE(group.Start({"sh", "-c", "sleep 60 & wait"}, o));
  ChildExit exit;
  EXPECT_FALSE(group.TryWait(&exit));
  group.Signal(SIGTERM);
  exit = group.Wait();
  EXPECT_TRUE(exit.signaled);
  EXPECT_EQ(exit.code, SIGTERM);
}

}  // namespace
}  // namespace qv
