/// @file
/// NotificationCenter: named notifications carrying an object, delivered synchronously on the
/// posting thread; WeakObserverSet: a multicast set of observers held weakly.

/// @class quarn::platform::NotificationCenter
/// Named notifications carrying an object, delivered
/// synchronously on the posting thread; WeakObserverSet: a multicast set of
/// observers held weakly.
///
/// Kinds: NotificationCenter and WeakObserverSet are unique objects (not
/// copyable); Notification and ObserverToken are values (a copied token names
/// the same registration).
///
/// ```
///   auto token = NotificationCenter::current()->addObserver(
///       "RequestDidResume", nullptr, [](const Notification& n) { count(n.object); });
///   NotificationCenter::current()->post({"RequestDidResume", request});
///   NotificationCenter::current()->removeObserver(token);
/// ```
///
/// An observer with a sender filter receives only notifications whose object is
/// that sender (compared by identity); the sender is not kept alive, and once it
/// is gone the observer receives nothing more. Both types are thread-safe.
///
/// Inside an observer the host may drop the last reference to the centre or
/// the set (the delivery under way completes), remove any observer (it is not
/// called again), add one (it is called from the next delivery on) or post
/// again: a post from an observer is delivered at once, before the outer post
/// goes on. An exception an observer throws propagates at once to post() or
/// invoke(): the observers after it miss that delivery, and the next one
/// reaches every observer.
#pragma once

#include <any>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quarn::platform {

/// A posted notification: its name, its object and extra information. A value.
struct Notification {
  /// The notification's name.
  std::string name;
  /// The sender or subject of the notification, if any.
  std::shared_ptr<void> object;
  /// Extra information by key.
  std::map<std::string, std::any> userInfo;
};

/// Identifies one registration; removal is by token.
class ObserverToken {
 public:
  ObserverToken() = default;
  /// The token of a registration kept alive by `connection`.
  explicit ObserverToken(std::shared_ptr<void> connection) : connection_(std::move(connection)) {}
  /// What keeps the registration.
  [[nodiscard]] const std::shared_ptr<void>& connection() const { return connection_; }

 private:
  std::shared_ptr<void> connection_;
};

/// Delivers posted notifications to the observers registered for them. A unique object; the current
/// one is installed as a service.
class NotificationCenter {
 public:
  /// Receives a notification.
  using Block = std::function<void(const Notification&)>;

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  /// Observes notifications named `name` (all names when absent) whose object
  /// is `sender` (any object when null). Each registration receives its own
  /// delivery, so registering twice means two calls per notification.
  ObserverToken addObserver(std::optional<std::string> name, const std::shared_ptr<void>& sender,
                            Block block);
  /// Removes the registration of `token`; an unknown token changes nothing.
  void removeObserver(const ObserverToken& token);
  /// Calls the matching observers, in registration order, on this thread.
  void post(const Notification& notification) const;

  /// The centre of this process.
  static std::shared_ptr<NotificationCenter> current();
  /// Replaces the centre of this process (null: a new one).
  static void setCurrent(std::shared_ptr<NotificationCenter> center);

 private:
  struct Impl;
  // Shared so a delivery keeps it while an observer drops the owner.
  std::shared_ptr<Impl> impl_;
};

namespace detail {
/// The untyped core of WeakObserverSet (Boost.Signals2 with tracked slots).
class WeakMulticast {
 public:
  WeakMulticast();
  ~WeakMulticast();
  WeakMulticast(const WeakMulticast&) = delete;
  WeakMulticast& operator=(const WeakMulticast&) = delete;
  void add(const std::shared_ptr<void>& observer);
  void remove(const void* observer);
  void invoke(const std::function<void(void*)>& call) const;
  [[nodiscard]] std::size_t count() const;

 private:
  struct Impl;
  // Shared so a delivery keeps it while an observer drops the owner.
  std::shared_ptr<Impl> impl_;
};
}  // namespace detail

/// Observers held weakly: invoke() calls each live one in the order added and
/// skips (and forgets) those that are gone. Adding an observer twice keeps one.
template <class Observer>
class WeakObserverSet {
 public:
  /// Adds `observer`, held weakly.
  void add(const std::shared_ptr<Observer>& observer) { core_.add(observer); }
  /// Removes `observer`.
  void remove(const Observer* observer) { core_.remove(observer); }
  /// Calls `call` with each live observer, in the order added.
  void invoke(const std::function<void(Observer&)>& call) const {
    core_.invoke([&](void* o) { call(*static_cast<Observer*>(o)); });
  }
  /// Live observers.
  [[nodiscard]] std::size_t count() const { return core_.count(); }

 private:
  detail::WeakMulticast core_;
};

}  // namespace quarn::platform
