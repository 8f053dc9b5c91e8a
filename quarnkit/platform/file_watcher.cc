#include "quarnkit/platform/file_watcher.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <cerrno>
#include <system_error>

#include "quarnkit/platform/runtime/async.h"
#include "quarnkit/platform/runtime/detail/scope_exit.h"

namespace asio = boost::asio;

namespace quarn::platform {

struct FileWatcher::State : std::enable_shared_from_this<FileWatcher::State> {
  int file = -1;  // kept open while watching, like a file handle
  asio::posix::stream_descriptor events{mainContext()};
  std::array<char, 4096> buffer{};
  off_t size = 0;
  std::function<void()> onFileGrew;

  void read() {
    events.async_read_some(asio::buffer(buffer),
                           [self = shared_from_this()](boost::system::error_code ec, std::size_t) {
                             // The watcher is gone: either the read was
                             // aborted, or it had completed before the close.
                             if (ec || self->file < 0) return;
                             // The next read is queued whatever the callback
                             // does (it may throw, or destroy the watcher).
                             const quarn::detail::ScopeExit next([&self] {
                               if (self->file >= 0) self->read();
                             });
                             self->changed();
                           });
  }

  void changed() {
    struct stat st {};
    if (::fstat(file, &st) != 0) return;
    const bool grew = st.st_size > size;
    size = st.st_size;
    if (!grew || !onFileGrew) return;
    // A copy: the callback may replace itself or destroy the watcher.
    const std::function<void()> callback = onFileGrew;
    callback();
  }
};

FileWatcher::FileWatcher(const std::filesystem::path& path) : state_(std::make_shared<State>()) {
  state_->file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (state_->file < 0) throw std::system_error(errno, std::generic_category(), path.string());
  struct stat st {};
  if (::fstat(state_->file, &st) == 0) state_->size = st.st_size;
  int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify < 0 || ::inotify_add_watch(inotify, path.c_str(), IN_MODIFY) < 0) {
    int error = errno;
    if (inotify >= 0) ::close(inotify);
    ::close(state_->file);
    throw std::system_error(error, std::generic_category(), path.string());
  }
  state_->events.assign(inotify);
  state_->read();
}

FileWatcher::~FileWatcher() {
  boost::system::error_code ignored;
  state_->onFileGrew = nullptr;
  state_->events.close(ignored);
  ::close(state_->file);  // a close error is of no interest here
  state_->file = -1;      // a read that completed before the close sees this
}

void FileWatcher::setOnFileGrew(std::function<void()> callback) {
  state_->onFileGrew = std::move(callback);
}

}  // namespace quarn::platform
