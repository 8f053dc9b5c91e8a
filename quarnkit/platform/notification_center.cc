#include "quarnkit/platform/notification_center.h"

#include <boost/signals2.hpp>
#include <mutex>

#include "quarnkit/platform/service.h"

namespace signals2 = boost::signals2;

namespace quarn::platform {

struct NotificationCenter::Impl {
  signals2::signal<void(const Notification&)> signal;
};

NotificationCenter::NotificationCenter() : impl_(std::make_shared<Impl>()) {}
NotificationCenter::~NotificationCenter() = default;

ObserverToken NotificationCenter::addObserver(std::optional<std::string> name,
                                              const std::shared_ptr<void>& sender, Block block) {
  const void* senderIdentity = sender.get();
  std::weak_ptr<void> weakSender = sender;
  auto slot = [name = std::move(name), senderIdentity, weakSender,
               block = std::move(block)](const Notification& n) {
    if (name && n.name != *name) return;
    if (senderIdentity) {
      // A filter on a sender that is gone matches nothing.
      if (weakSender.expired() || n.object.get() != senderIdentity) return;
    }
    block(n);
  };
  auto connection = std::make_shared<signals2::connection>(impl_->signal.connect(slot));
  return ObserverToken(connection);
}

void NotificationCenter::removeObserver(const ObserverToken& token) {
  if (auto c = std::static_pointer_cast<signals2::connection>(token.connection())) c->disconnect();
}

void NotificationCenter::post(const Notification& notification) const {
  // An observer may drop the last reference to this centre: the signal stays
  // until the post is over.
  const std::shared_ptr<Impl> impl = impl_;
  impl->signal(notification);
}

namespace {
ServiceSlot<NotificationCenter>& centerSlot() {
  static ServiceSlot<NotificationCenter> s([] { return std::make_shared<NotificationCenter>(); });
  return s;
}
}  // namespace

std::shared_ptr<NotificationCenter> NotificationCenter::current() { return centerSlot().get(); }
void NotificationCenter::setCurrent(std::shared_ptr<NotificationCenter> center) {
  centerSlot().set(std::move(center));
}

namespace detail {

struct WeakMulticast::Impl {
  using Signal = signals2::signal<void(const std::function<void(void*)>&)>;
  Signal signal;
  std::mutex mutex;
  std::map<const void*, signals2::connection> connections;
};

WeakMulticast::WeakMulticast() : impl_(std::make_shared<Impl>()) {}
WeakMulticast::~WeakMulticast() = default;

void WeakMulticast::add(const std::shared_ptr<void>& observer) {
  std::lock_guard lock(impl_->mutex);
  const void* key = observer.get();
  if (auto it = impl_->connections.find(key); it != impl_->connections.end()) {
    if (it->second.connected()) return;
    impl_->connections.erase(it);
  }
  void* raw = observer.get();
  // Tracking disconnects the slot once the observer is gone and keeps it alive
  // during a call.
  Impl::Signal::slot_type slot([raw](const std::function<void(void*)>& call) { call(raw); });
  slot.track_foreign(std::weak_ptr<void>(observer));
  impl_->connections[key] = impl_->signal.connect(slot);
}

void WeakMulticast::remove(const void* observer) {
  std::lock_guard lock(impl_->mutex);
  if (auto it = impl_->connections.find(observer); it != impl_->connections.end()) {
    it->second.disconnect();
    impl_->connections.erase(it);
  }
}

void WeakMulticast::invoke(const std::function<void(void*)>& call) const {
  // An observer may drop the set's owner: the signal stays until the call is over.
  const std::shared_ptr<Impl> impl = impl_;
  impl->signal(call);
}

std::size_t WeakMulticast::count() const {
  std::size_t n = 0;
  impl_->signal([&n](void*) { ++n; });
  return n;
}

}  // namespace detail
}  // namespace quarn::platform
