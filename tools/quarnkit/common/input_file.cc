#include "tools/quarnkit/common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>

#include "quarnkit/coding/json_serialization.h"
#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }

 private:
  int fd_;
};

std::string systemReason(const char* what) { return std::string(what) + std::strerror(errno); }

}  // namespace

std::optional<std::string> outOfRangeNumber(const Value& value, const std::string& path) {
  // The path is made on the way out, only for the number found.
  const auto join = [](const std::string& head, std::string tail) {
    if (head.empty() || tail.empty() || tail.front() == '[') return head + tail;
    return head + "." + tail;
  };
  if (const double* d = value.ifDouble()) {
    if (!std::isfinite(*d)) return path;
  } else if (const Value::Array* array = value.ifArray()) {
    for (std::size_t i = 0; i < array->size(); ++i) {
      if (auto found = outOfRangeNumber((*array)[i], "")) {
        return join(path, join("[" + std::to_string(i) + "]", *found));
      }
    }
  } else if (const Value::Object* object = value.ifObject()) {
    for (const auto& [key, member] : *object) {
      if (auto found = outOfRangeNumber(member, "")) return join(path, join(key, *found));
    }
  }
  return std::nullopt;
}

Value parseInputJSON(const std::string& file, std::string_view text) {
  Value document;
  try {
    document = parseJSON(text);
  } catch (...) {
    rethrowAsInputError(file);
  }
  if (auto path = outOfRangeNumber(document, "")) throw InputError(file, *path, kNumberOutOfRange);
  return document;
}

std::string describeSize(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  if (bytes >= kMiB && bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
}

namespace {

InputError tooLarge(const std::string& name, std::uint64_t maxBytes) {
  return InputError(name, "",
                    "larger than the " + describeSize(maxBytes) + " limit (--max-file-size)");
}

// Everything `fd` holds, refused as soon as it holds more than `maxBytes`.
std::string readBounded(int fd, const std::string& name, std::uint64_t maxBytes,
                        std::uint64_t expected) {
  std::string text;
  text.reserve(static_cast<std::size_t>(std::min(expected, maxBytes)));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw InputError(name, "", systemReason("read error: "));
    if (n == 0) break;
    if (text.size() + static_cast<std::size_t>(n) > maxBytes) throw tooLarge(name, maxBytes);
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

std::string readInputFile(const std::filesystem::path& path, const std::string& name,
                          std::uint64_t maxBytes) {
  // Non-blocking, so that opening a FIFO does not wait for a writer; the
  // checks below refuse it anyway.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) throw InputError(name, "", systemReason("cannot open: "));
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw InputError(name, "", systemReason("cannot open: "));
  if (S_ISDIR(info.st_mode)) throw InputError(name, "", "is a directory");
  if (!S_ISREG(info.st_mode)) throw InputError(name, "", "not a regular file");
  if (static_cast<std::uint64_t>(info.st_size) > maxBytes) throw tooLarge(name, maxBytes);

  // The size is checked again while reading: files of /proc say 0 and hold more.
  return readBounded(fd.get(), name, maxBytes, static_cast<std::uint64_t>(info.st_size));
}

std::string readStandardInput(std::uint64_t maxBytes) {
  return readBounded(STDIN_FILENO, kStandardInput, maxBytes, 0);
}

}  // namespace quarn::tool
