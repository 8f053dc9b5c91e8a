/// @file
/// Bridges between publishers and asynchronous code, and a few publisher
/// utilities. AsyncError is a value.
///
/// ```
///   double f = co_await async(progressPublisher.firstWhere(reached));  // first value
///   AnyCancellable c = assign(titles, &Screen::title, screen);           // weak target
///   auto pairs = withPrevious(values);  // (previous, current), previous absent at first
/// ```
///
/// Future(asyncFunc) and Future::async(asyncFunc), which fulfil a future from an
/// asynchronous function, live with Future in platform/runtime/publisher.h.
#pragma once

#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "quarnkit/core/error.h"
#include "quarnkit/platform/runtime/continuation.h"
#include "quarnkit/platform/runtime/publisher.h"

namespace quarn {

/// The failure of awaiting a publisher that finished without sending a value. A value.
class AsyncError : public Error {
 public:
  /// Which failure it is.
  enum class Kind { finishedWithoutValue };
  /// An error of kind `k`.
  explicit AsyncError(Kind k = Kind::finishedWithoutValue) : kind(k) {}
  /// The publisher finished without a value.
  static AsyncError finishedWithoutValue() { return AsyncError(Kind::finishedWithoutValue); }
  /// "finishedWithoutValue".
  [[nodiscard]] std::string description() const override { return "finishedWithoutValue"; }
  /// Which failure it is.
  Kind kind;
};

namespace detail {
template <class Output, class Failure>
void awaitFirst(const AnyPublisher<Output, Failure>& publisher, CheckedContinuation<Output> c) {
  struct State {
    std::mutex mutex;
    bool noValueYet = true;
    bool ended = false;
    AnyCancellable subscription;  // kept here until the stream ends
  };
  auto state = std::make_shared<State>();
  auto end = [state] {
    AnyCancellable s;
    {
      std::lock_guard lock(state->mutex);
      state->ended = true;
      s = std::move(state->subscription);
    }
    s.cancel();
  };
  auto onValue = [state, c, end](const Output& v) {
    {
      std::lock_guard lock(state->mutex);
      if (!state->noValueYet) return;
      state->noValueYet = false;
    }
    c.resume(v);
    end();
  };
  auto onCompletion = [state, c, end](const Completion<Failure>& completion) {
    bool noValue;
    {
      std::lock_guard lock(state->mutex);
      noValue = state->noValueYet;
      state->noValueYet = false;
    }
    if (completion.failure) {
      if (noValue) {
        if constexpr (std::is_same_v<Failure, std::exception_ptr>) {
          c.resume(*completion.failure);
        } else {
          c.resume(std::make_exception_ptr(*completion.failure));
        }
      }
    } else if (noValue) {
      c.resumeThrowing(AsyncError::finishedWithoutValue());
    }
    end();
  };
  AnyCancellable subscription = publisher.first().subscribe({onValue, onCompletion});
  bool alreadyEnded;
  {
    std::lock_guard lock(state->mutex);
    alreadyEnded = state->ended;
    if (!alreadyEnded) state->subscription = subscription;
  }
  if (alreadyEnded) subscription.cancel();
}
}  // namespace detail

/// The publisher's first value; its failure, or AsyncError::finishedWithoutValue
/// when it finishes without a value, is thrown.
template <class Output, class Failure>
Async<Output> async(AnyPublisher<Output, Failure> publisher) {
  std::function<void(CheckedContinuation<Output>)> body = [&](CheckedContinuation<Output> c) {
    detail::awaitFirst(publisher, std::move(c));
  };
  co_return co_await withCheckedThrowingContinuation<Output>("async()", std::move(body));
}

/// Writes every value into `object`'s member while the object exists; the
/// object is held weakly.
template <class Output, class Object>
AnyCancellable assign(const AnyPublisher<Output, Never>& publisher, Output Object::*keyPath,
                      const std::shared_ptr<Object>& object) {
  std::weak_ptr<Object> weak = object;
  return publisher.sink([weak, keyPath](const Output& v) {
    if (auto o = weak.lock()) (*o).*keyPath = v;
  });
}

/// Adds every cancellable of `cancellables` to `set`.
inline void store(const CancellableSet& cancellables, CancellableSet& set) {
  set.insert(cancellables.begin(), cancellables.end());
}

/// Pairs (previous, current); previous is absent for the first value.
template <class Output, class Failure>
AnyPublisher<std::pair<std::optional<Output>, Output>, Failure> withPrevious(
    const AnyPublisher<Output, Failure>& publisher) {
  using Pair = std::pair<std::optional<Output>, Output>;
  return publisher
      .scan(std::optional<Pair>(),
            [](const std::optional<Pair>& last, const Output& v) {
              return std::optional<Pair>(
                  Pair(last ? std::optional<Output>(last->second) : std::nullopt, v));
            })
      .compactMap([](const std::optional<Pair>& p) { return p; });
}

/// Pairs (previous, current); the first pair's previous is `initial`.
template <class Output, class Failure>
AnyPublisher<std::pair<Output, Output>, Failure> withPrevious(
    const AnyPublisher<Output, Failure>& publisher, Output initial) {
  using Pair = std::pair<Output, Output>;
  return publisher.scan(Pair(initial, initial),
                        [](const Pair& last, const Output& v) { return Pair(last.second, v); });
}

}  // namespace quarn
