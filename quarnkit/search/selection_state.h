/// @file
/// SelectionState: the observable value holder of selection screens.

/// @class quarn::SelectionState
/// The observable value holder of selection screens. It holds
/// the current value and sends every new value to its subscribers; a new
/// subscriber receives the current value first.
///
/// ```
///   SelectionState<int> selected(0);
///   auto c = selected.projectedValue().sink([](const int& v) { show(v); });  // shows 0
///   selected.setWrappedValue(3);                                            // shows 3
///   selected.modify([](int& v) { ++v; });                                   // shows 4
/// ```
///
/// A unique object: not copyable; like the screens that use it, it belongs to
/// one thread (the main context).
///
/// Subscribers are the host's code, called while a value is sent:
/// - a value set from inside a subscriber is sent once the send in progress
///   has reached every subscriber, so each subscriber sees the values in the
///   order they were set and ends with the latest;
/// - the state may be destroyed from inside a subscriber: the value in flight
///   still reaches the remaining subscribers, and nothing of the state is
///   touched afterwards;
/// - an exception a subscriber throws propagates to the caller of
///   setWrappedValue (or modify); the value stays set, the subscribers after
///   the throwing one miss it, and later values are sent as usual.
#pragma once

#include <memory>
#include <utility>

#include "quarnkit/platform/runtime/publisher.h"

namespace quarn {

template <class Value>
class SelectionState {
 public:
  /// Holds `wrappedValue` as the current value; nothing is sent until a subscriber comes.
  explicit SelectionState(Value wrappedValue)
      : wrappedValue_(std::move(wrappedValue)), subject_(wrappedValue_) {}
  SelectionState(const SelectionState&) = delete;
  SelectionState& operator=(const SelectionState&) = delete;

  /// The current value.
  [[nodiscard]] const Value& wrappedValue() const { return wrappedValue_; }
  /// Stores `value`, then sends it.
  void setWrappedValue(Value value) {
    wrappedValue_ = std::move(value);
    publish();
  }
  /// Changes the value in place, then sends it.
  template <class F>
  void modify(F&& change) {
    std::forward<F>(change)(wrappedValue_);
    publish();
  }

  /// The subject that sends the values; subscribe through projectedValue().
  [[nodiscard]] const CurrentValueSubject<Value>& subject() const { return subject_; }
  /// The values as a publisher that never fails.
  [[nodiscard]] AnyPublisher<Value, Never> projectedValue() const {
    return subject_.eraseToAnyPublisher();
  }

 private:
  // Sends the current value, and again while subscribers set newer ones. The
  // subject and the value sent are copies, so that a subscriber may destroy
  // this state or set another value meanwhile.
  void publish() {
    if (sending_) {
      resend_ = true;
      return;
    }
    const std::weak_ptr<const bool> alive = alive_;
    const CurrentValueSubject<Value> subject = subject_;
    sending_ = true;
    do {
      resend_ = false;
      const Value sent = wrappedValue_;
      try {
        subject.send(sent);
      } catch (...) {
        if (!alive.expired()) sending_ = false;
        throw;
      }
      if (alive.expired()) return;
    } while (resend_);
    sending_ = false;
  }

  Value wrappedValue_;
  CurrentValueSubject<Value> subject_;
  std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
  bool sending_ = false;
  bool resend_ = false;
};

}  // namespace quarn
