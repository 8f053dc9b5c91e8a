#include "quarnkit/composite_list/fetching/template_file_observer.h"

#include <system_error>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"

namespace quarn {

namespace {
std::filesystem::path filePathOf(const URL& url) {
  if (!url.isFileURL()) {
    throw std::system_error(std::make_error_code(std::errc::invalid_argument),
                            "not a file URL: " + url.absoluteString());
  }
  return url.filePath();
}
}  // namespace

CompositeListTemplateFileObserver::CompositeListTemplateFileObserver(URL url)
    : url_(std::move(url)),
      onFileChanged_(std::make_shared<std::function<void()>>()),
      source_(std::make_unique<platform::FileWatcher>(filePathOf(url_))) {
  // The callback slot is shared with the watcher, so an event delivered late
  // never reaches a destroyed observer; a copy is called, so the callback may
  // replace itself or destroy the observer. An exception would leave the
  // watcher's event loop and end the watching: it stops here.
  source_->setOnFileGrew([slot = onFileChanged_] {
    const std::function<void()> callback = *slot;
    if (!callback) return;
    try {
      callback();
    } catch (...) {
      defaultLogger().error("[CompositeListTemplateFileObserver] The change callback threw: {}",
                            describeCurrentException());
    }
  });
}

}  // namespace quarn
