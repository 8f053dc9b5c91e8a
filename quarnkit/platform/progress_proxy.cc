#include "quarnkit/platform/progress_proxy.h"

#include <cstdint>
#include <type_traits>
#include <utility>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/publisher.h"

namespace quarn::platform {

// The subscriptions to the base; dropping the proxy ends them.
struct ProgressProxy::Cancellables {
  CancellableSet set;
};

std::shared_ptr<ProgressProxy> ProgressProxy::make(std::shared_ptr<Progress> progress) {
  if (!progress) fatalError("ProgressProxy.make: no base progress");
  auto proxy = std::make_shared<ProgressProxy>(ProxyToken{}, std::move(progress));
  proxy->observeBase();
  return proxy;
}

ProgressProxy::ProgressProxy(ProxyToken /*unused*/, std::shared_ptr<Progress> progress)
    : Progress(Token{}, 0, progress->userInfo()),
      baseProgress_(std::move(progress)),
      cancellables_(std::make_unique<Cancellables>()) {}

ProgressProxy::~ProgressProxy() = default;

void ProgressProxy::observeBase() {
  const std::weak_ptr<ProgressProxy> weak =
      std::static_pointer_cast<ProgressProxy>(shared_from_this());
  CancellableSet& bag = cancellables_->set;
  // The counts are copied first and the fraction observed after, so that the
  // fraction's first value (which scales a base of fewer than 2 units to
  // 1000) has the last word.
  setUnitCounts(baseProgress_->totalUnitCount(), baseProgress_->completedUnitCount());
  baseProgress_->fractionCompletedPublisher()
      .sink([weak](double fraction) {
        if (auto self = weak.lock()) self->mirrorUnitCounts(fraction);
      })
      .store(bag);

  // Each mirrored property: the base's value, written into the proxy while
  // the proxy exists.
  auto mirror = [&](const auto& publisher, auto setter) {
    using Output = typename std::decay_t<decltype(publisher)>::OutputType;
    publisher
        .sink([weak, setter](const Output& value) {
          if (auto self = weak.lock()) ((*self).*setter)(value);
        })
        .store(bag);
  };
  mirror(baseProgress_->localizedDescriptionPublisher(), &Progress::setLocalizedDescription);
  mirror(baseProgress_->localizedAdditionalDescriptionPublisher(),
         &Progress::setLocalizedAdditionalDescription);
  mirror(baseProgress_->isCancellablePublisher(), &Progress::setCancellable);
  mirror(baseProgress_->isPausablePublisher(), &Progress::setPausable);
  mirror(baseProgress_->kindPublisher(), &Progress::setKind);
  mirror(baseProgress_->fileOperationKindPublisher(), &Progress::setFileOperationKind);
  mirror(baseProgress_->fileURLPublisher(), &Progress::setFileURL);
}

void ProgressProxy::mirrorUnitCounts(double fraction) {
  const std::int64_t total = baseProgress_->totalUnitCount();
  if (total < 2) {
    setUnitCounts(1000, static_cast<std::int64_t>(fraction * 1000));
  } else {
    setUnitCounts(total, baseProgress_->completedUnitCount());
  }
}

void ProgressProxy::cancel() { baseProgress_->cancel(); }
void ProgressProxy::pause() { baseProgress_->pause(); }
void ProgressProxy::resume() { baseProgress_->resume(); }
bool ProgressProxy::isCancelled() const { return baseProgress_->isCancelled(); }
bool ProgressProxy::isPaused() const { return baseProgress_->isPaused(); }
bool ProgressProxy::isIndeterminate() const { return baseProgress_->isIndeterminate(); }
bool ProgressProxy::isFinished() const { return baseProgress_->isFinished(); }

Progress::UserInfo ProgressProxy::userInfo() const { return baseProgress_->userInfo(); }

void ProgressProxy::setUserInfoObject(std::optional<Value> value, const std::string& key) {
  baseProgress_->setUserInfoObject(std::move(value), key);
}

AnyPublisher<bool, Never> ProgressProxy::isCancelledPublisher() const {
  return baseProgress_->isCancelledPublisher();
}

AnyPublisher<bool, Never> ProgressProxy::isPausedPublisher() const {
  return baseProgress_->isPausedPublisher();
}

}  // namespace quarn::platform
