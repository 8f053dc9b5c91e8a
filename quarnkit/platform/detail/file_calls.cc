#include "quarnkit/platform/detail/file_calls.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace quarn::platform::detail {

namespace {

// Per kind of call: how many calls until the armed one (0 = none armed), the
// error it fails with, and whether it has failed.
struct Armed {
  std::atomic<int> countdown{0};
  std::atomic<int> error{0};
  std::atomic<bool> fired{false};
};

Armed& armed(FileCall call) {
  static Armed table[3];
  return table[static_cast<int>(call)];
}

// True when this call is the armed one (errno is then set).
bool failsNow(FileCall call) {
  Armed& a = armed(call);
  int left = a.countdown.load(std::memory_order_relaxed);
  while (left > 0) {
    if (a.countdown.compare_exchange_weak(left, left - 1, std::memory_order_acq_rel)) {
      if (left != 1) return false;
      a.fired.store(true, std::memory_order_release);
      errno = a.error.load(std::memory_order_relaxed);
      return true;
    }
  }
  return false;
}

}  // namespace

ssize_t writeFile(int fd, const void* bytes, std::size_t size) {
  if (failsNow(FileCall::write)) return -1;
  return ::write(fd, bytes, size);
}

int syncFile(int fd) {
  if (failsNow(FileCall::fsync)) return -1;
  return ::fsync(fd);
}

int renameFile(const char* from, const char* to) {
  if (failsNow(FileCall::rename)) return -1;
  return std::rename(from, to);
}

FileCallFailure::FileCallFailure(FileCall call, int nth, int error) : call_(call) {
  Armed& a = armed(call);
  a.fired.store(false);
  a.error.store(error);
  a.countdown.store(nth);
}

FileCallFailure::~FileCallFailure() { armed(call_).countdown.store(0); }

bool FileCallFailure::fired() const { return armed(call_).fired.load(); }

}  // namespace quarn::platform::detail
