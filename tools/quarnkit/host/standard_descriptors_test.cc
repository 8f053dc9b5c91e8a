#include "tools/quarnkit/host/standard_descriptors.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace quarn::tool {
namespace {

// In a child process: standard error closed, the guard, then a socket pair
// (as the HTTP client makes one). Exit 0 when the pair did not get
// descriptor 2 and writing to 2 fails as on a closed descriptor.
int childWithStandardErrorClosed() {
  ::close(STDERR_FILENO);
  holdClosedStandardDescriptors();
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return 10;
  if (pair[0] == STDERR_FILENO || pair[1] == STDERR_FILENO) return 11;
  if (::write(STDERR_FILENO, "x", 1) != -1 || errno != EBADF) return 12;
  return 0;
}

TEST(StandardDescriptorsTest, AClosedStandardErrorIsNotHandedToTheNextDescriptor) {
  const pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) ::_exit(childWithStandardErrorClosed());
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(StandardDescriptorsTest, OpenDescriptorsAreLeftAsTheyAre) {
  const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
  holdClosedStandardDescriptors();
  EXPECT_EQ(::fcntl(STDOUT_FILENO, F_GETFL), flags);
}

}  // namespace
}  // namespace quarn::tool
