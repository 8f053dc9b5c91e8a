#include "tools/quarnkit/common/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

namespace {

// write(2) until done; the error number, or 0.
int writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

void writeInPlace(const std::string& path, std::string_view text) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throw OutputError(path, errno);
  int error = writeAll(fd, text);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw OutputError(path, error);
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void replaceFile(const std::string& path, std::string_view text) {
  // A link is followed: the file it names is the one replaced.
  std::string target = path;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (exists && !S_ISREG(st.st_mode)) return writeInPlace(path, text);
  if (exists) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  const std::size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string pattern = dir + "." + name + ".XXXXXX";
  std::vector<char> temp(pattern.begin(), pattern.end());
  temp.push_back('\0');
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw OutputError(path, errno);
  int error = ::fchmod(fd, exists ? (st.st_mode & 07777) : newFileMode()) == 0 ? 0 : errno;
  if (error == 0) error = writeAll(fd, text);
  // A full device is often found out only when the data reaches it.
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.data(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.data());
    throw OutputError(path, error);
  }
}

}  // namespace

OutputError::OutputError(const std::string& output, int error)
    : std::runtime_error(printableLine(output + ": cannot write: " + std::strerror(error))) {}

std::string printableText(std::string_view text) { return escapedControls(text, LineBreaks::kept); }

void writeOutput(const std::optional<std::string>& output, std::string_view text) {
  const std::string printable = printableText(text);
  if (!output) {
    const bool written =
        std::fwrite(printable.data(), 1, printable.size(), stdout) == printable.size();
    if (!written || std::fflush(stdout) != 0) throw OutputError(kStandardOutput, errno);
    return;
  }
  replaceFile(*output, printable);
}

void writeErrors(std::string_view lines) {
  const std::string printable = printableText(lines);
  std::fwrite(printable.data(), 1, printable.size(), stderr);
  std::fflush(stderr);
}

void writeErrorLine(std::string_view line) {
  std::fprintf(stderr, "quarnkit: %s\n", printableLine(line).c_str());
  std::fflush(stderr);
}

void writeStatusLine(std::string_view line) {
  // Back to the line's start, the new text, then erase what an earlier,
  // longer line left.
  std::fprintf(stderr, "\r%s\x1b[K", printableLine(line).c_str());
  std::fflush(stderr);
}

void clearStatusLine() {
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
}

}  // namespace quarn::tool
