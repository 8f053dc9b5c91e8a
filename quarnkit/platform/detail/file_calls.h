// The system calls that write files, behind a seam through which tests make
// the n-th call fail: the file-backed stores' failure paths (a full disk, an
// I/O error on flush, a refused rename) are driven with it.
//
//   detail::FileCallFailure failure(detail::FileCall::write, 1, ENOSPC);
//   EXPECT_FALSE(store.set("k", Value(1)));  // the next write() fails
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace quarn::platform::detail {

enum class FileCall { write, fsync, rename };

/// ::write, ::fsync and ::rename, unless a failure is armed for the call; a
/// failing call sets errno and returns -1.
ssize_t writeFile(int fd, const void* bytes, std::size_t size);
int syncFile(int fd);
int renameFile(const char* from, const char* to);

/// Makes the `nth` call of `call` from now (1 = the next one) fail with
/// `error`, once, while it lives. One failure per kind of call at a time.
class FileCallFailure {
 public:
  FileCallFailure(FileCall call, int nth, int error);
  ~FileCallFailure();
  FileCallFailure(const FileCallFailure&) = delete;
  FileCallFailure& operator=(const FileCallFailure&) = delete;

  /// True once the armed call has failed.
  [[nodiscard]] bool fired() const;

 private:
  FileCall call_;
};

}  // namespace quarn::platform::detail
