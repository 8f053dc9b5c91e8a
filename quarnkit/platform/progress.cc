#include "quarnkit/platform/progress.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <utility>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/publisher.h"

namespace quarn::platform {

namespace {
double fractionOf(std::int64_t completed, std::int64_t total, double childUnits) {
  if (total <= 0) return 0.0;
  return (static_cast<double>(completed) + childUnits) / static_cast<double>(total);
}

// Calls `call`, keeping its exception in `error` (unless one is there) so
// that the work after it still happens.
template <class Call>
void callKeepingError(std::exception_ptr& error, const Call& call) {
  try {
    call();
  } catch (...) {
    if (!error) error = std::current_exception();
  }
}

// Sets `field`; whether that changed it.
template <class T>
bool assign(T& field, T value) {
  if (field == value) return false;
  field = std::move(value);
  return true;
}
}  // namespace

// The values observers see, as last sent.
struct Progress::Observed {
  double fraction = 0;
  std::int64_t total = 0;
  std::int64_t completed = 0;
  bool cancelled = false;
  bool paused = false;
  bool cancellable = true;
  bool pausable = false;
  std::string description;
  std::string additionalDescription;
  std::optional<std::string> kind;
  std::optional<std::string> fileOperationKind;
  std::optional<URL> fileURL;
  friend bool operator==(const Observed&, const Observed&) = default;
};

struct Progress::Impl {
  // A child and what its parent knows of it. `version` orders the updates a
  // child sends from several threads: an older one arriving late is dropped.
  struct Child {
    std::shared_ptr<Progress> progress;
    std::int64_t pending = 0;
    double fraction = 0;
    std::uint64_t version = 0;
  };

  Impl(std::int64_t totalUnitCount, UserInfo info)
      : total(totalUnitCount), userInfo(std::move(info)) {}

  // The state, under `mutex`.
  mutable std::mutex mutex;
  std::int64_t total;
  std::int64_t completed = 0;
  bool cancellable = true;
  bool pausable = false;
  bool cancelled = false;
  bool paused = false;
  std::optional<std::string> description;
  std::optional<std::string> additionalDescription;
  std::optional<std::string> kind;
  std::optional<std::string> fileOperationKind;
  std::optional<URL> fileURL;
  UserInfo userInfo;
  Handler cancellationHandler;
  Handler pausingHandler;
  Handler resumingHandler;
  std::vector<Child> children;
  std::weak_ptr<Progress> parent;
  bool hasParent = false;
  std::uint64_t version = 1;  // bumped at every change; children start above 0

  [[nodiscard]] double fractionLocked() const {
    double childUnits = 0;
    for (const Child& c : children) childUnits += static_cast<double>(c.pending) * c.fraction;
    return fractionOf(completed, total, childUnits);
  }
  [[nodiscard]] bool finishedLocked() const { return total > 0 && completed >= total; }
  [[nodiscard]] std::string descriptionLocked() const {
    if (description) return *description;
    // Truncated, so that 100% means done; the nudge keeps 0.29 at 29 (not 28.99...).
    auto percent = static_cast<std::int64_t>(std::floor(fractionLocked() * 100.0 + 1e-9));
    return std::to_string(percent) + "% completed";
  }
  [[nodiscard]] std::string additionalDescriptionLocked() const {
    if (additionalDescription) return *additionalDescription;
    if (total <= 0) return "";
    return std::to_string(completed) + " of " + std::to_string(total);
  }
  [[nodiscard]] Observed observedLocked() const {
    return {fractionLocked(),
            total,
            completed,
            cancelled,
            paused,
            cancellable,
            pausable,
            descriptionLocked(),
            additionalDescriptionLocked(),
            kind,
            fileOperationKind,
            fileURL};
  }
  [[nodiscard]] std::vector<std::shared_ptr<Progress>> childrenLocked() const {
    std::vector<std::shared_ptr<Progress>> out;
    out.reserve(children.size());
    for (const Child& c : children) out.push_back(c.progress);
    return out;
  }

  // Observation: the values last handed to the subjects, and whether a
  // thread is handing values over now (both under `mutex`).
  Observed sent;
  bool publishing = false;

  // Sends every value of `now` that differs from `last`; the fraction also
  // when only the counts changed, and after them. An observer's exception
  // goes into `error` and the other values are still sent.
  void sendChanges(const Observed& last, const Observed& now, std::exception_ptr& error) const {
    auto sendIfChanged = [&error](const auto& before, const auto& after, const auto& subject) {
      if (before != after) callKeepingError(error, [&] { subject.send(after); });
    };
    sendIfChanged(last.total, now.total, totalSubject);
    sendIfChanged(last.completed, now.completed, completedSubject);
    if (last.total != now.total || last.completed != now.completed ||
        last.fraction != now.fraction) {
      callKeepingError(error, [&] { fractionSubject.send(now.fraction); });
    }
    sendIfChanged(last.cancelled, now.cancelled, cancelledSubject);
    sendIfChanged(last.paused, now.paused, pausedSubject);
    sendIfChanged(last.cancellable, now.cancellable, cancellableSubject);
    sendIfChanged(last.pausable, now.pausable, pausableSubject);
    sendIfChanged(last.description, now.description, descriptionSubject);
    sendIfChanged(last.additionalDescription, now.additionalDescription,
                  additionalDescriptionSubject);
    sendIfChanged(last.kind, now.kind, kindSubject);
    sendIfChanged(last.fileOperationKind, now.fileOperationKind, fileOperationKindSubject);
    sendIfChanged(last.fileURL, now.fileURL, fileURLSubject);
  }

  CurrentValueSubject<double> fractionSubject{0.0};
  CurrentValueSubject<std::int64_t> totalSubject{0};
  CurrentValueSubject<std::int64_t> completedSubject{0};
  CurrentValueSubject<bool> cancelledSubject{false};
  CurrentValueSubject<bool> pausedSubject{false};
  CurrentValueSubject<bool> cancellableSubject{true};
  CurrentValueSubject<bool> pausableSubject{false};
  CurrentValueSubject<std::string> descriptionSubject{std::string()};
  CurrentValueSubject<std::string> additionalDescriptionSubject{std::string()};
  CurrentValueSubject<std::optional<std::string>> kindSubject{std::nullopt};
  CurrentValueSubject<std::optional<std::string>> fileOperationKindSubject{std::nullopt};
  CurrentValueSubject<std::optional<URL>> fileURLSubject{std::nullopt};
};

std::shared_ptr<Progress> Progress::make(std::int64_t totalUnitCount, UserInfo userInfo) {
  return std::make_shared<Progress>(Token{}, totalUnitCount, std::move(userInfo));
}

Progress::Progress(Token /*unused*/, std::int64_t totalUnitCount, UserInfo userInfo)
    : impl_(std::make_unique<Impl>(totalUnitCount, std::move(userInfo))) {
  // Seed the subjects with the initial state; nobody observes yet.
  Observed initial = impl_->observedLocked();
  impl_->sent = initial;
  impl_->fractionSubject.send(initial.fraction);
  impl_->totalSubject.send(initial.total);
  impl_->descriptionSubject.send(initial.description);
  impl_->additionalDescriptionSubject.send(initial.additionalDescription);
}

Progress::~Progress() = default;

template <class Change>
void Progress::update(Change change) {
  {
    std::lock_guard lock(impl_->mutex);
    if (!change(*impl_)) return;
    ++impl_->version;
  }
  // An observer may drop the last reference to this progress.
  const std::shared_ptr<Progress> self = shared_from_this();
  // The change reaches every observer and the parent before an observer's
  // exception goes on to the caller.
  std::exception_ptr error;
  callKeepingError(error, [&] { publish(); });
  callKeepingError(error, [&] { propagateToParent(); });
  if (error) std::rethrow_exception(error);
}

void Progress::publish() {
  Impl& s = *impl_;
  // One thread at a time delivers, so observers see changes one by one and in
  // order, and nobody waits on a lock while observers run: a change made
  // meanwhile (by another thread, or by an observer) is delivered by the next
  // round of the thread that is delivering.
  {
    std::lock_guard lock(s.mutex);
    if (s.publishing) return;
    s.publishing = true;
  }
  std::exception_ptr error;
  for (;;) {
    Observed last;
    Observed now;
    {
      std::lock_guard lock(s.mutex);
      now = s.observedLocked();
      if (now == s.sent) {
        s.publishing = false;
        break;
      }
      last = std::exchange(s.sent, now);
    }
    s.sendChanges(last, now, error);
  }
  if (error) std::rethrow_exception(error);
}

void Progress::propagateToParent() {
  std::shared_ptr<Progress> parent;
  std::uint64_t version = 0;
  double fraction = 0;
  bool finished = false;
  {
    std::lock_guard lock(impl_->mutex);
    parent = impl_->parent.lock();
    if (!parent) return;
    version = impl_->version;
    fraction = impl_->fractionLocked();
    finished = impl_->finishedLocked();
  }
  parent->childDidChange(this, version, fraction, finished);
}

void Progress::childDidChange(const Progress* child, std::uint64_t version, double fraction,
                              bool finished) {
  std::shared_ptr<Progress> leaving;
  bool changed = false;
  std::exception_ptr error;
  callKeepingError(error, [&] {
    update([&](Impl& s) {
      auto it = std::find_if(s.children.begin(), s.children.end(),
                             [child](const Impl::Child& c) { return c.progress.get() == child; });
      if (it == s.children.end() || it->version >= version) return false;
      it->version = version;
      it->fraction = fraction;
      if (finished) {
        s.completed += it->pending;
        leaving = std::move(it->progress);
        s.children.erase(it);
      }
      changed = true;
      return true;
    });
  });
  if (changed && leaving) {
    // A finished child leaves the tree: it no longer has a parent.
    std::lock_guard lock(leaving->impl_->mutex);
    if (leaving->impl_->parent.lock().get() == this) {
      leaving->impl_->parent.reset();
      leaving->impl_->hasParent = false;
    }
  }
  if (error) std::rethrow_exception(error);
}

// --- Unit counts -----------------------------------------------------------

std::int64_t Progress::totalUnitCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->total;
}

void Progress::setTotalUnitCount(std::int64_t count) {
  update([count](Impl& s) { return assign(s.total, count); });
}

std::int64_t Progress::completedUnitCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->completed;
}

void Progress::setCompletedUnitCount(std::int64_t count) {
  update([count](Impl& s) { return assign(s.completed, count); });
}

void Progress::setUnitCounts(std::int64_t total, std::int64_t completed) {
  update([&](Impl& s) {
    bool changed = s.total != total || s.completed != completed;
    s.total = total;
    s.completed = completed;
    return changed;
  });
}

double Progress::fractionCompleted() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->fractionLocked();
}

bool Progress::isIndeterminate() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->total < 0 || impl_->completed < 0 || (impl_->total == 0 && impl_->completed == 0);
}

bool Progress::isFinished() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->finishedLocked();
}

// --- Children ----------------------------------------------------------------

void Progress::addChild(const std::shared_ptr<Progress>& child, std::int64_t pendingUnitCount) {
  if (!child) fatalError("Progress.addChild: no child");
  // The child must not be this progress or one of its ancestors.
  for (std::shared_ptr<Progress> p = shared_from_this(); p;) {
    if (p == child) fatalError("Progress.addChild: the child is the progress or an ancestor of it");
    std::shared_ptr<Progress> up;
    {
      std::lock_guard lock(p->impl_->mutex);
      up = p->impl_->parent.lock();
    }
    p = std::move(up);
  }
  // The entry goes in first, so that a change the child makes once it knows
  // its parent is never lost; the state read after linking is then sent the
  // usual way (a newer update that overtook it wins by its version).
  {
    std::lock_guard lock(impl_->mutex);
    impl_->children.push_back({child, pendingUnitCount, 0.0, 0});
  }
  std::uint64_t version = 0;
  double fraction = 0;
  bool finished = false;
  {
    std::lock_guard lock(child->impl_->mutex);
    if (child->impl_->hasParent) fatalError("Progress.addChild: the child already has a parent");
    child->impl_->hasParent = true;
    child->impl_->parent = weak_from_this();
    version = child->impl_->version;
    fraction = child->impl_->fractionLocked();
    finished = child->impl_->finishedLocked();
  }
  std::exception_ptr error;
  callKeepingError(error, [&] { childDidChange(child.get(), version, fraction, finished); });
  bool cancelled = false;
  bool paused = false;
  {
    std::lock_guard lock(impl_->mutex);
    cancelled = impl_->cancelled;
    paused = impl_->paused;
  }
  if (cancelled) callKeepingError(error, [&] { child->cancel(); });
  if (paused) callKeepingError(error, [&] { child->pause(); });
  if (error) std::rethrow_exception(error);
}

std::vector<std::shared_ptr<Progress>> Progress::children() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->childrenLocked();
}

// --- Cancel, pause, resume -----------------------------------------------------

void Progress::setFlagAndRun(bool Impl::*flag, bool value, Handler Impl::*handler,
                             void (Progress::*forChildren)()) {
  Handler run;
  std::vector<std::shared_ptr<Progress>> children;
  bool changed = false;
  // The handler and the children run even when an observer or the handler
  // throws; the first exception then goes on to the caller.
  std::exception_ptr error;
  callKeepingError(error, [&] {
    update([&](Impl& s) {
      if (s.*flag == value) return false;
      s.*flag = value;
      run = s.*handler;
      children = s.childrenLocked();
      changed = true;
      return true;
    });
  });
  if (changed) {
    if (run) callKeepingError(error, run);
    for (const auto& child : children) {
      callKeepingError(error, [&] { ((*child).*forChildren)(); });
    }
  }
  if (error) std::rethrow_exception(error);
}

void Progress::cancel() {
  setFlagAndRun(&Impl::cancelled, true, &Impl::cancellationHandler, &Progress::cancel);
}

void Progress::pause() {
  setFlagAndRun(&Impl::paused, true, &Impl::pausingHandler, &Progress::pause);
}

void Progress::resume() {
  setFlagAndRun(&Impl::paused, false, &Impl::resumingHandler, &Progress::resume);
}

bool Progress::isCancelled() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->cancelled;
}

bool Progress::isPaused() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->paused;
}

bool Progress::isCancellable() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->cancellable;
}

void Progress::setCancellable(bool cancellable) {
  update([cancellable](Impl& s) { return assign(s.cancellable, cancellable); });
}

bool Progress::isPausable() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->pausable;
}

void Progress::setPausable(bool pausable) {
  update([pausable](Impl& s) { return assign(s.pausable, pausable); });
}

void Progress::setHandler(Handler Impl::*handler, Handler value, const bool Impl::*runIfSet) {
  Handler runNow;
  {
    std::lock_guard lock(impl_->mutex);
    (*impl_).*handler = value;
    if (runIfSet != nullptr && (*impl_).*runIfSet) runNow = std::move(value);
  }
  if (runNow) runNow();
}

void Progress::setCancellationHandler(Handler handler) {
  setHandler(&Impl::cancellationHandler, std::move(handler), &Impl::cancelled);
}

void Progress::setPausingHandler(Handler handler) {
  setHandler(&Impl::pausingHandler, std::move(handler), &Impl::paused);
}

void Progress::setResumingHandler(Handler handler) {
  setHandler(&Impl::resumingHandler, std::move(handler), nullptr);
}

// --- Descriptions ----------------------------------------------------------------

Progress::UserInfo Progress::userInfo() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->userInfo;
}

void Progress::setUserInfoObject(std::optional<Value> value, const std::string& key) {
  std::lock_guard lock(impl_->mutex);
  if (value) {
    impl_->userInfo.set(key, std::move(*value));
  } else {
    impl_->userInfo.erase(key);
  }
}

std::string Progress::localizedDescription() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->descriptionLocked();
}

void Progress::setLocalizedDescription(std::optional<std::string> text) {
  update([&](Impl& s) { return assign(s.description, std::move(text)); });
}

std::string Progress::localizedAdditionalDescription() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->additionalDescriptionLocked();
}

void Progress::setLocalizedAdditionalDescription(std::optional<std::string> text) {
  update([&](Impl& s) { return assign(s.additionalDescription, std::move(text)); });
}

std::optional<std::string> Progress::kind() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->kind;
}

void Progress::setKind(std::optional<std::string> kind) {
  update([&](Impl& s) { return assign(s.kind, std::move(kind)); });
}

std::optional<std::string> Progress::fileOperationKind() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->fileOperationKind;
}

void Progress::setFileOperationKind(std::optional<std::string> kind) {
  update([&](Impl& s) { return assign(s.fileOperationKind, std::move(kind)); });
}

std::optional<URL> Progress::fileURL() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->fileURL;
}

void Progress::setFileURL(std::optional<URL> url) {
  update([&](Impl& s) { return assign(s.fileURL, std::move(url)); });
}

// --- Observation -------------------------------------------------------------------

AnyPublisher<double, Never> Progress::fractionCompletedPublisher() const {
  return impl_->fractionSubject.eraseToAnyPublisher();
}
AnyPublisher<std::int64_t, Never> Progress::totalUnitCountPublisher() const {
  return impl_->totalSubject.eraseToAnyPublisher();
}
AnyPublisher<std::int64_t, Never> Progress::completedUnitCountPublisher() const {
  return impl_->completedSubject.eraseToAnyPublisher();
}
AnyPublisher<bool, Never> Progress::isCancelledPublisher() const {
  return impl_->cancelledSubject.eraseToAnyPublisher();
}
AnyPublisher<bool, Never> Progress::isPausedPublisher() const {
  return impl_->pausedSubject.eraseToAnyPublisher();
}
AnyPublisher<bool, Never> Progress::isCancellablePublisher() const {
  return impl_->cancellableSubject.eraseToAnyPublisher();
}
AnyPublisher<bool, Never> Progress::isPausablePublisher() const {
  return impl_->pausableSubject.eraseToAnyPublisher();
}
AnyPublisher<std::string, Never> Progress::localizedDescriptionPublisher() const {
  return impl_->descriptionSubject.eraseToAnyPublisher();
}
AnyPublisher<std::string, Never> Progress::localizedAdditionalDescriptionPublisher() const {
  return impl_->additionalDescriptionSubject.eraseToAnyPublisher();
}
AnyPublisher<std::optional<std::string>, Never> Progress::kindPublisher() const {
  return impl_->kindSubject.eraseToAnyPublisher();
}
AnyPublisher<std::optional<std::string>, Never> Progress::fileOperationKindPublisher() const {
  return impl_->fileOperationKindSubject.eraseToAnyPublisher();
}
AnyPublisher<std::optional<URL>, Never> Progress::fileURLPublisher() const {
  return impl_->fileURLSubject.eraseToAnyPublisher();
}

}  // namespace quarn::platform
