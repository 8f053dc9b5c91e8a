/// @file
/// CompositeListTemplateFileObserver: reports every change to the local file a template was loaded
/// from, so that a screen under development reloads when the template is edited.

/// @class quarn::CompositeListTemplateFileObserver
/// Reports every change to the local file a
/// template was loaded from, so that a screen under development reloads when
/// the template is edited. A unique object (not copyable), usually held by
/// shared_ptr by the screen it reloads.
///
/// ```
///   auto observer = std::make_shared<CompositeListTemplateFileObserver>(url);  // throws
///   observer->setOnFileChanged([weak] { if (auto s = weak.lock()) s->reloadData(nullptr); });
/// ```
///
/// The callback may replace itself (the next change reaches the new one) or
/// destroy the observer (no change is reported after that). An exception it
/// throws is logged and stops there; later changes are still reported.
///
/// A change is the file growing (data appended or written past its end),
/// reported on the main context. Replacing the file by a rename, deleting it or
/// truncating it is not reported. The file stays open while the observer
/// lives; destroying the observer stops watching and closes it. Create, use
/// and destroy observers on the main context.
#pragma once

#include <functional>
#include <memory>

#include "quarnkit/core/url.h"
#include "quarnkit/platform/file_watcher.h"

namespace quarn {

class CompositeListTemplateFileObserver {
 public:
  /// Opens and watches the file of a file URL. Throws std::system_error when
  /// the file cannot be opened (or the URL is not a file URL).
  explicit CompositeListTemplateFileObserver(URL url);
  CompositeListTemplateFileObserver(const CompositeListTemplateFileObserver&) = delete;
  CompositeListTemplateFileObserver& operator=(const CompositeListTemplateFileObserver&) = delete;

  /// The file watched.
  [[nodiscard]] const URL& url() const { return url_; }
  /// The watcher that holds the open file and delivers its events.
  [[nodiscard]] const platform::FileWatcher& source() const { return *source_; }

  /// The callback told every change.
  [[nodiscard]] const std::function<void()>& onFileChanged() const { return *onFileChanged_; }
  /// Called on every change; nothing silences the observer without stopping it.
  void setOnFileChanged(std::function<void()> callback) { *onFileChanged_ = std::move(callback); }

 private:
  URL url_;
  std::shared_ptr<std::function<void()>> onFileChanged_;
  std::unique_ptr<platform::FileWatcher> source_;
};

}  // namespace quarn
