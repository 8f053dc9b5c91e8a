#include "tools/quarnkit/host/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace quarn::tool {

void holdClosedStandardDescriptors() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: `fd` itself, as the lower ones are open.
    const int held = ::open("/dev/null", fd == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    if (held != -1 && held != fd) {
      ::dup2(held, fd);
      ::close(held);
    }
  }
}

}  // namespace quarn::tool
