#include "quarnkit/platform/key_value_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>
#include <utility>

#include "quarnkit/core/log.h"
#include "quarnkit/platform/detail/file_calls.h"
#include "quarnkit/platform/detail/key_value_file.h"
#include "quarnkit/platform/service.h"

namespace quarn::platform {

namespace {
ServiceSlot<KeyValueStore>& slot() {
  static ServiceSlot<KeyValueStore> s([] { return std::make_shared<InMemoryKeyValueStore>(); });
  return s;
}

const Logger& storeLog() {
  static const Logger log("Velmora", "KeyValueStore");
  return log;
}

std::error_code lastError() { return {errno, std::system_category()}; }

// An open file, closed with its owner.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  [[nodiscard]] int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// What tells one version of the store file from another. Every write makes a
// new file; the store keeps the file it read open, so its inode number cannot
// be reused by a later one. Sizes and times catch edits in place.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified;
  timespec changed;

  explicit FileIdentity(const struct stat& st)
      : device(st.st_dev),
        inode(st.st_ino),
        size(st.st_size),
        modified(st.st_mtim),
        changed(st.st_ctim) {}

  friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec &&
           a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
  }
};

bool readAll(int fd, std::string& out) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      out.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      return true;
    } else if (errno != EINTR) {
      return false;
    }
  }
}

bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = detail::writeFile(fd, text.data(), text.size());
    if (n > 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
    } else if (n == 0) {
      errno = EIO;
      return false;
    } else if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

// The lock every writer of the store, in any process, holds while it reads,
// changes and replaces the file: "<path>.lock", locked with flock (so that
// two opens in one process exclude each other too). Never through a link.
FileDescriptor lockStore(const std::filesystem::path& path, std::error_code& ec) {
  std::filesystem::path name = path;
  name += ".lock";
  FileDescriptor lock(::open(name.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (!lock) {
    ec = lastError();
    return {};
  }
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      ec = lastError();
      return {};
    }
  }
  return lock;
}

// A new temporary file beside the store, of this write alone: created
// exclusively, so that neither another writer's file nor a planted link is
// ever opened.
FileDescriptor createTemporary(const std::filesystem::path& path, std::filesystem::path& name,
                               std::error_code& ec) {
  thread_local std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".tmp.%016llx",
                  static_cast<unsigned long long>(random()));  // NOLINT(google-runtime-int)
    name = path;
    name += suffix;
    FileDescriptor fd(
        ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd) return fd;
    if (errno != EEXIST) break;
  }
  ec = lastError();
  return {};
}

}  // namespace

std::optional<KeyValueStore::Data> KeyValueStore::data(const std::string& key) const {
  auto v = object(key);
  if (!v) return std::nullopt;
  if (auto* d = std::get_if<Data>(&*v)) return *d;
  return std::nullopt;
}

bool KeyValueStore::update(const std::string& key, const Change& change) {
  std::lock_guard lock(updateMutex_);
  std::optional<Stored> value = object(key);
  if (!change(value)) return true;
  return value ? set(key, std::move(*value)) : removeObject(key);
}

std::shared_ptr<KeyValueStore> KeyValueStore::standard() { return slot().get(); }
void KeyValueStore::setStandard(std::shared_ptr<KeyValueStore> store) {
  slot().set(std::move(store));
}

std::optional<KeyValueStore::Stored> InMemoryKeyValueStore::object(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

bool InMemoryKeyValueStore::set(const std::string& key, Stored value) {
  std::lock_guard lock(mutex_);
  values_[key] = std::move(value);
  return true;
}

bool InMemoryKeyValueStore::removeObject(const std::string& key) {
  std::lock_guard lock(mutex_);
  values_.erase(key);
  return true;
}

bool InMemoryKeyValueStore::update(const std::string& key, const Change& change) {
  std::lock_guard lock(mutex_);
  std::optional<Stored> value;
  if (auto it = values_.find(key); it != values_.end()) value = it->second;
  if (!change(value)) return true;
  if (value) {
    values_[key] = std::move(*value);
  } else {
    values_.erase(key);
  }
  return true;
}

struct FileKeyValueStore::State {
  std::filesystem::path path;
  std::mutex mutex;
  detail::StoredValues values;
  // The file `values` were read from (or last written), held open; nothing
  // when there was no file.
  FileDescriptor file;
  std::optional<FileIdentity> identity;
  // Why the file could not be read; changes are refused meanwhile, so that a
  // file this store cannot see into is not replaced.
  std::error_code unreadable;
  bool laterFormat = false;
  bool failing = false;  // the last change failed (logged once per run of failures)

  void refresh();
  void forgetFile();
  enum class Outcome { written, notWritten, notFlushed };
  // Runs `body` on the file's current content under the store's lock.
  bool locked(const std::function<bool()>& body);
  bool change(const std::string& key, std::optional<Stored> value);
  // Writes `values` over the file.
  Outcome replaceFile();
  bool fail(std::string_view reason);
};

void FileKeyValueStore::State::forgetFile() {
  values.clear();
  file.reset();
  identity.reset();
  unreadable.clear();
  laterFormat = false;
}

// Brings `values` up to date with the file, reading it only when it changed.
void FileKeyValueStore::State::refresh() {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) {
      forgetFile();
    } else {
      unreadable = lastError();
    }
    return;
  }
  if (identity && *identity == FileIdentity(st)) return;
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) {
    if (errno == ENOENT) {
      forgetFile();  // replaced by nothing since the stat
    } else {
      unreadable = lastError();
    }
    return;
  }
  std::string text;
  if (::fstat(fd.get(), &st) != 0 || !readAll(fd.get(), text)) {
    unreadable = lastError();
    return;
  }
  auto contents = detail::readKeyValueFile(text);
  // Text that is not a store file reads as empty, and the next write replaces it.
  values = contents ? std::move(contents->values) : detail::StoredValues{};
  laterFormat = contents && contents->laterFormat;
  unreadable.clear();
  file = std::move(fd);
  identity.emplace(st);
}

bool FileKeyValueStore::State::fail(std::string_view reason) {
  if (!failing) {
    storeLog().error("[FileKeyValueStore] Could not change {}: {}; it keeps its previous content",
                     path.string(), reason);
  }
  failing = true;
  return false;
}

bool FileKeyValueStore::State::locked(const std::function<bool()>& body) {
  std::lock_guard threads(mutex);
  std::error_code ec;
  const FileDescriptor processes = lockStore(path, ec);
  if (!processes) return fail("cannot lock it: " + ec.message());
  refresh();
  if (unreadable) return fail("cannot read it: " + unreadable.message());
  if (laterFormat) return fail("it was written by a later version of this library");
  return body();
}

// Sets the value under `key` (removes it, given nothing) in the file's current
// content and writes the result. Called under the store's lock (locked()), so
// that no other writer's change is lost.
bool FileKeyValueStore::State::change(const std::string& key, std::optional<Stored> value) {
  auto it = values.find(key);
  if (!value && it == values.end()) return true;  // nothing to remove
  std::optional<Stored> previous;
  if (it != values.end()) {
    previous = std::move(it->second);
    values.erase(it);
  }
  if (value) values.emplace(key, std::move(*value));
  const Outcome outcome = replaceFile();
  if (outcome == Outcome::notWritten) {  // back to what the file holds
    values.erase(key);
    if (previous) values.emplace(key, std::move(*previous));
  }
  return outcome == Outcome::written;
}

FileKeyValueStore::State::Outcome FileKeyValueStore::State::replaceFile() {
  const std::string text = detail::writeKeyValueFile(values);
  std::filesystem::path temporary;
  std::error_code ec;
  FileDescriptor fd = createTemporary(path, temporary, ec);
  if (!fd) {
    fail("cannot create a temporary file: " + ec.message());
    return Outcome::notWritten;
  }
  if (!writeAll(fd.get(), text) || detail::syncFile(fd.get()) != 0 ||
      detail::renameFile(temporary.c_str(), path.c_str()) != 0) {
    ec = lastError();
    ::unlink(temporary.c_str());
    fail("cannot write it: " + ec.message());
    return Outcome::notWritten;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) == 0) {
    identity.emplace(st);
  } else {
    identity.reset();  // read back on the next access
  }
  file = std::move(fd);
  failing = false;
  // The rename is durable only once the directory is flushed.
  std::filesystem::path directory = path.parent_path();
  if (directory.empty()) directory = ".";
  const FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir || detail::syncFile(dir.get()) != 0) {
    storeLog().error(
        "[FileKeyValueStore] Changed {}, but could not flush its directory: {}; the change may "
        "not survive a power loss",
        path.string(), lastError().message());
    return Outcome::notFlushed;
  }
  return Outcome::written;
}

FileKeyValueStore::FileKeyValueStore(std::filesystem::path path)
    : state_(std::make_unique<State>()) {
  state_->path = std::move(path);
  std::lock_guard lock(state_->mutex);
  state_->refresh();
}

FileKeyValueStore::~FileKeyValueStore() = default;

std::optional<KeyValueStore::Stored> FileKeyValueStore::object(const std::string& key) const {
  std::lock_guard lock(state_->mutex);
  state_->refresh();
  auto it = state_->values.find(key);
  if (it == state_->values.end()) return std::nullopt;
  return it->second;
}

bool FileKeyValueStore::set(const std::string& key, Stored value) {
  if (const auto* v = std::get_if<Value>(&value)) detail::checkStorable(*v);
  return state_->locked([&] { return state_->change(key, std::move(value)); });
}

bool FileKeyValueStore::removeObject(const std::string& key) {
  return state_->locked([&] { return state_->change(key, std::nullopt); });
}

bool FileKeyValueStore::update(const std::string& key, const Change& change) {
  return state_->locked([&] {
    std::optional<Stored> value;
    if (auto it = state_->values.find(key); it != state_->values.end()) value = it->second;
    if (!change(value)) return true;
    if (value) {
      if (const auto* v = std::get_if<Value>(&*value)) detail::checkStorable(*v);
    }
    return state_->change(key, std::move(value));
  });
}

bool FileKeyValueStore::synchronize() {
  std::lock_guard lock(state_->mutex);
  state_->refresh();
  return !state_->unreadable && !state_->laterFormat;
}

}  // namespace quarn::platform
