#include "tools/quarnkit/serve/input_watch.h"

#include <sys/stat.h>

#include <boost/asio/steady_timer.hpp>
#include <set>
#include <tuple>

#include "quarnkit/platform/runtime/async.h"

namespace quarn::tool {

namespace fs = std::filesystem;

namespace {

// What is compared between polls: whether the file is there, which file it
// is, and its size and modification time.
struct Stamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {true, st.st_dev, st.st_ino, st.st_size,
          std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace

struct InputWatch::State : std::enable_shared_from_this<InputWatch::State> {
  std::vector<fs::path> files;
  std::vector<fs::path> folders;
  std::chrono::milliseconds poll;
  std::function<void()> onChange;
  boost::asio::steady_timer timer{mainContext()};
  std::map<fs::path, Stamp> stamps;
  std::map<fs::path, std::unique_ptr<platform::FileWatcher>> watchers;
  bool stopped = false;

  [[nodiscard]] std::set<fs::path> watchedFiles() const {
    std::set<fs::path> out(files.begin(), files.end());
    // Every entry looked at counts, folders too: a poll's work is bounded
    // however deep the folder is.
    std::size_t looked = 0;
    for (const fs::path& folder : folders) {
      std::error_code error;
      auto it = fs::recursive_directory_iterator(folder, error);
      for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (++looked > kMaxFolderEntries) return out;
        std::error_code ignored;
        if (it->is_regular_file(ignored)) out.insert(it->path());
      }
    }
    return out;
  }

  // Compares every file with the last poll, and follows files that were
  // replaced with a watcher on the new one.
  void check(bool reportChanges = true) {
    std::map<fs::path, Stamp> now;
    for (const fs::path& file : watchedFiles()) now.emplace(file, stampOf(file));
    const bool changed = now != stamps;
    for (auto it = watchers.begin(); it != watchers.end();) {
      const auto stamp = now.find(it->first);
      const auto before = stamps.find(it->first);
      const bool same = stamp != now.end() && before != stamps.end() && stamp->second.exists &&
                        stamp->second.inode == before->second.inode &&
                        stamp->second.device == before->second.device;
      it = same ? std::next(it) : watchers.erase(it);
    }
    stamps = std::move(now);
    // Each watcher holds two descriptors: the named files first, then
    // included ones up to a bound; the poll covers the rest.
    for (const fs::path& file : files) watch(file);
    for (const auto& entry : stamps) {
      if (watchers.size() >= kMaxWatchers) break;
      watch(entry.first);
    }
    if (changed && reportChanges && onChange) onChange();
  }

  void watch(const fs::path& file) {
    const auto stamp = stamps.find(file);
    if (stamp == stamps.end() || !stamp->second.exists || watchers.contains(file)) return;
    try {
      auto watcher = std::make_unique<platform::FileWatcher>(file);
      watcher->setOnFileGrew([weak = weak_from_this(), file] {
        if (auto self = weak.lock()) self->grew(file);
      });
      watchers.emplace(file, std::move(watcher));
    } catch (const std::system_error&) {  // gone again, or unreadable: the poll covers it
    }
  }

  // An append, reported at once; the poll then finds the file as it is now.
  void grew(const fs::path& file) {
    stamps[file] = stampOf(file);
    if (onChange) onChange();
  }

  void schedule() {
    timer.expires_after(poll);
    timer.async_wait([weak = weak_from_this()](const boost::system::error_code& error) {
      auto self = weak.lock();
      if (error || !self || self->stopped) return;
      self->check();
      self->schedule();
    });
  }
};

InputWatch::InputWatch(std::vector<fs::path> files, std::vector<fs::path> folders,
                       std::chrono::milliseconds poll, std::function<void()> onChange)
    : state_(std::make_shared<State>()) {
  state_->files = std::move(files);
  state_->folders = std::move(folders);
  state_->poll = poll;
  state_->onChange = std::move(onChange);
  state_->check(false);  // the first look is the starting point, not a change
  state_->schedule();
}

InputWatch::~InputWatch() {
  state_->stopped = true;
  state_->onChange = nullptr;
  state_->watchers.clear();
  state_->timer.cancel();
}

}  // namespace quarn::tool
