// SelectionState: the observable value holder of selection screens. It holds
// the current value and sends every new value to its subscribers; a new
// subscriber receives the current value first.
//
//   SelectionState<int> selected(0);
//   auto c = selected.projectedValue().sink([](const int& v) { show(v); });  // shows 0
//   selected.setWrappedValue(3);                                            // shows 3
//   selected.modify([](int& v) { ++v; });                                   // shows 4
//
// Like the screens that use it, it belongs to one thread (the main context).
#pragma once

#include <utility>

#include "quarnkit/platform/runtime/publisher.h"

namespace quarn {

template <class Value>
class SelectionState {
 public:
  explicit SelectionState(Value wrappedValue)
      : wrappedValue_(std::move(wrappedValue)), subject_(wrappedValue_) {}
  SelectionState(const SelectionState&) = delete;
  SelectionState& operator=(const SelectionState&) = delete;

  [[nodiscard]] const Value& wrappedValue() const { return wrappedValue_; }
  /// Stores `value`, then sends it.
  void setWrappedValue(Value value) {
    wrappedValue_ = std::move(value);
    subject_.send(wrappedValue_);
  }
  /// Changes the value in place, then sends it.
  template <class F>
  void modify(F&& change) {
    std::forward<F>(change)(wrappedValue_);
    subject_.send(wrappedValue_);
  }

  [[nodiscard]] const CurrentValueSubject<Value>& subject() const { return subject_; }
  /// The values as a publisher that never fails.
  [[nodiscard]] AnyPublisher<Value, Never> projectedValue() const {
    return subject_.eraseToAnyPublisher();
  }

 private:
  Value wrappedValue_;
  CurrentValueSubject<Value> subject_;
};

}  // namespace quarn
