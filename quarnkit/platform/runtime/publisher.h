/// @file
/// Publishers: a small push-based layer for the few places that observe a
/// stream of values (progress, selection state, request events).
///
/// Kinds: Completion, Subscriber and AnyPublisher are values (a publisher is a
/// recipe: every subscribe() makes a subscription of its own). Subjects,
/// futures and AnyCancellable are handles: a copy is another handle to the same
/// shared state, which lives while a handle or a subscription needs it.
///
/// ```
///   CurrentValueSubject<double> fraction(0.0);
///   AnyCancellable c = fraction.eraseToAnyPublisher()
///                          .filter([](double f) { return f >= 1.0; })
///                          .sink([](double) { done(); });
///   fraction.send(1.0);
/// ```
///
/// A publisher has an Output and a Failure type: Never for publishers that
/// cannot fail, std::exception_ptr for those that can. Values and completions
/// are delivered synchronously on the thread that sends them. A subscription
/// lives as long as some copy of its AnyCancellable does; cancel() or dropping
/// the last copy ends it.
///
/// Inside a subscriber the host may drop the last handle (the delivery under
/// way completes), cancel any subscription (it receives nothing more),
/// subscribe, or send again. A value or completion sent to a subject from one
/// of its own subscribers, on the delivering thread, is delivered once the one
/// under way has reached every subscriber, so each subscriber sees them in the
/// order they were sent. An exception a subscriber throws on a value
/// propagates at once to the outermost send() (or to whoever fulfilled the
/// future's promise): the subscribers after it miss that value, but values
/// already queued are still delivered, the end of the stream reaches every
/// subscriber (a future's too), and the subject keeps working.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "quarnkit/platform/runtime/task.h"

namespace quarn {

/// The failure type of publishers that never fail.
struct Never {};

/// The end of a stream: finished, or failed with a Failure.
template <class Failure>
struct Completion {
  /// The failure, for a failed stream.
  std::optional<Failure> failure;
  /// A finished stream.
  static Completion finished() { return {}; }
  /// A stream failed with `f`.
  static Completion failed(Failure f) { return {std::move(f)}; }
  /// Whether the stream finished without failing.
  [[nodiscard]] bool isFinished() const { return !failure.has_value(); }
};

/// Ends a subscription when cancelled or when its last copy is dropped.
class AnyCancellable {
 public:
  AnyCancellable() = default;
  /// A subscription that `cancel` ends.
  explicit AnyCancellable(std::function<void()> cancel)
      : state_(std::make_shared<State>(std::move(cancel))) {}

  /// Ends the subscription now (at most once); later calls do nothing.
  void cancel() const {
    if (state_) state_->cancel();
  }
  /// Keeps this subscription alive in `set`.
  void store(std::set<AnyCancellable>& set) const { set.insert(*this); }

  /// Equal when they are copies of the same subscription.
  friend bool operator==(const AnyCancellable& a, const AnyCancellable& b) {
    return a.state_ == b.state_;
  }
  /// An arbitrary order, for sets.
  friend bool operator<(const AnyCancellable& a, const AnyCancellable& b) {
    return a.state_ < b.state_;
  }

 private:
  struct State {
    explicit State(std::function<void()> c) : cancelFn(std::move(c)) {}
    ~State() { cancel(); }
    void cancel() {
      std::function<void()> fn;
      {
        std::lock_guard lock(mutex);
        fn = std::move(cancelFn);
        cancelFn = nullptr;
      }
      if (fn) fn();
    }
    std::mutex mutex;
    std::function<void()> cancelFn;
  };
  std::shared_ptr<State> state_;
};

/// Subscriptions kept alive together.
using CancellableSet = std::set<AnyCancellable>;

/// What receives a stream: its values, then at most one completion.
template <class Output, class Failure>
struct Subscriber {
  /// Told each value.
  std::function<void(const Output&)> receiveValue;
  /// Told the end of the stream.
  std::function<void(const Completion<Failure>&)> receiveCompletion;
};

namespace detail {
[[noreturn]] void futureFunctionThrew(const std::exception_ptr& error);

/// Keeps a subject's deliveries in order on one thread: while a thread
/// delivers for a subject, what a subscriber sends to that subject from that
/// thread is queued, and run by the delivery under way once it has reached
/// everyone.
class DeliveryScope {
 public:
  /// The queue of the delivery `core` has under way on this thread, if any.
  static std::vector<std::function<void()>>* queueOf(const void* core);
  explicit DeliveryScope(const void* core);
  ~DeliveryScope();
  DeliveryScope(const DeliveryScope&) = delete;
  DeliveryScope& operator=(const DeliveryScope&) = delete;
  /// Runs what was queued (and what that queues) in order; then rethrows
  /// `error` or else the first exception of the queued work.
  void finish(std::exception_ptr error);

 private:
  const void* core_;
  std::vector<std::function<void()>> queue_;
};

/// Calls `call` for each target; every target is called, then the first
/// exception is rethrown.
template <class Targets, class Call>
void deliverToEach(const Targets& targets, const Call& call) {
  std::exception_ptr error;
  for (const auto& t : targets) {
    try {
      call(*t);
    } catch (...) {
      if (!error) error = std::current_exception();
    }
  }
  if (error) std::rethrow_exception(error);
}

// One subscription of a subject: delivery stops once it is cancelled.
template <class Output, class Failure>
struct Subscription {
  Subscriber<Output, Failure> subscriber;
  std::atomic<bool> active{true};
};

// The shared machinery of subjects: a list of subscriptions and a terminal
// completion.
template <class Output, class Failure>
struct SubjectCore : std::enable_shared_from_this<SubjectCore<Output, Failure>> {
  using Sub = Subscription<Output, Failure>;
  std::mutex mutex;
  std::vector<std::shared_ptr<Sub>> subscriptions;
  std::optional<Completion<Failure>> completion;
  std::optional<Output> current;  // for current-value subjects

  // `replayCurrent`: a new subscriber first receives the current value;
  // `afterEnd` too: even when the stream has ended (futures).
  AnyCancellable subscribe(Subscriber<Output, Failure> s, bool replayCurrent,
                           bool afterEnd = false) {
    auto sub = std::make_shared<Sub>();
    sub->subscriber = std::move(s);
    std::optional<Completion<Failure>> ended;
    std::optional<Output> initial;
    {
      std::lock_guard lock(mutex);
      ended = completion;
      if (!ended) subscriptions.push_back(sub);
      if (replayCurrent && (!ended || afterEnd)) initial = current;
    }
    std::weak_ptr<SubjectCore> weak = this->shared_from_this();
    AnyCancellable cancellable([weak, sub] {
      sub->active = false;
      if (auto core = weak.lock()) {
        std::lock_guard lock(core->mutex);
        std::erase(core->subscriptions, sub);
      }
    });
    if (initial && sub->active) sub->subscriber.receiveValue(*initial);
    if (ended && sub->subscriber.receiveCompletion) sub->subscriber.receiveCompletion(*ended);
    return cancellable;
  }

  // Both deliver to the subscriptions there were when they were called.
  void send(const Output& value, bool store) {
    std::vector<std::shared_ptr<Sub>> targets;
    {
      std::lock_guard lock(mutex);
      if (completion) return;
      if (store) current = value;
      targets = subscriptions;
    }
    deliver([targets = std::move(targets), value] {
      for (const auto& t : targets) {
        if (t->active) t->subscriber.receiveValue(value);
      }
    });
  }

  void complete(const Completion<Failure>& c) {
    std::vector<std::shared_ptr<Sub>> targets;
    {
      std::lock_guard lock(mutex);
      if (completion) return;
      completion = c;
      targets.swap(subscriptions);
    }
    // Every subscriber gets the end, even after one threw: it is the last
    // thing they would receive.
    deliver([targets = std::move(targets), c] {
      deliverToEach(targets, [&](Sub& t) {
        if (t.active.exchange(false) && t.subscriber.receiveCompletion) {
          t.subscriber.receiveCompletion(c);
        }
      });
    });
  }

 private:
  // Runs `delivery` now, or after the one this thread has under way.
  template <class Delivery>
  void deliver(Delivery delivery) {
    if (auto* queue = DeliveryScope::queueOf(this)) {
      queue->emplace_back(std::move(delivery));
      return;
    }
    // A subscriber may drop the last handle: the address stays this core's
    // until the scope ends.
    const auto self = this->shared_from_this();
    DeliveryScope scope(this);
    std::exception_ptr error;
    try {
      delivery();
    } catch (...) {
      error = std::current_exception();
    }
    scope.finish(error);
  }
};
}  // namespace detail

/// A type-erased publisher with its operators.
template <class Output, class Failure = Never>
class AnyPublisher {
 public:
  /// The values' type.
  using OutputType = Output;
  /// The failure's type.
  using FailureType = Failure;
  /// Subscribes a subscriber.
  using SubscribeFn = std::function<AnyCancellable(Subscriber<Output, Failure>)>;

  /// A publisher that subscribes through `subscribe`.
  explicit AnyPublisher(SubscribeFn subscribe) : subscribe_(std::move(subscribe)) {}

  /// Subscribes `subscriber`; the subscription ends when the result is cancelled or dropped.
  AnyCancellable subscribe(Subscriber<Output, Failure> subscriber) const {
    return subscribe_(std::move(subscriber));
  }
  /// Itself.
  AnyPublisher eraseToAnyPublisher() const { return *this; }

  /// Subscribes the two callbacks.
  AnyCancellable sink(std::function<void(const Completion<Failure>&)> receiveCompletion,
                      std::function<void(const Output&)> receiveValue) const {
    return subscribe({std::move(receiveValue), std::move(receiveCompletion)});
  }
  /// Only for publishers that never fail.
  template <class F = Failure>
  requires std::is_same_v<F, Never> AnyCancellable
  sink(std::function<void(const Output&)> receiveValue)
  const { return subscribe({std::move(receiveValue), nullptr}); }

  /// The values mapped by `transform`.
  template <class Transform, class R = std::invoke_result_t<Transform&, const Output&>>
  AnyPublisher<R, Failure> map(Transform transform) const {
    auto upstream = *this;
    return AnyPublisher<R, Failure>([upstream, transform](Subscriber<R, Failure> s) {
      return upstream.subscribe(
          {[s, transform](const Output& v) { s.receiveValue(transform(v)); }, s.receiveCompletion});
    });
  }

  /// The values for which `predicate` holds.
  template <class Predicate>
  AnyPublisher filter(Predicate predicate) const {
    auto upstream = *this;
    return AnyPublisher([upstream, predicate](Subscriber<Output, Failure> s) {
      return upstream.subscribe({[s, predicate](const Output& v) {
                                   if (predicate(v)) s.receiveValue(v);
                                 },
                                 s.receiveCompletion});
    });
  }

  /// Transforms each value into an optional one and drops the empty results.
  template <class Transform,
            class R = typename std::invoke_result_t<Transform&, const Output&>::value_type>
  AnyPublisher<R, Failure> compactMap(Transform transform) const {
    auto upstream = *this;
    return AnyPublisher<R, Failure>([upstream, transform](Subscriber<R, Failure> s) {
      return upstream.subscribe({[s, transform](const Output& v) {
                                   if (auto r = transform(v)) s.receiveValue(*r);
                                 },
                                 s.receiveCompletion});
    });
  }

  /// Emits each step of a running accumulation that starts at `initial`.
  template <class R, class Step>
  AnyPublisher<R, Failure> scan(R initial, Step step) const {
    auto upstream = *this;
    return AnyPublisher<R, Failure>([upstream, initial, step](Subscriber<R, Failure> s) {
      auto accumulated = std::make_shared<R>(initial);
      auto m = std::make_shared<std::mutex>();
      return upstream.subscribe({[s, step, accumulated, m](const Output& v) {
                                   std::optional<R> next;
                                   {
                                     std::lock_guard lock(*m);
                                     next.emplace(step(*accumulated, v));
                                     *accumulated = *next;
                                   }
                                   s.receiveValue(*next);
                                 },
                                 s.receiveCompletion});
    });
  }

  /// The first value that satisfies `predicate`, then finished.
  template <class Predicate>
  AnyPublisher firstWhere(Predicate predicate) const {
    auto upstream = *this;
    return AnyPublisher([upstream, predicate](Subscriber<Output, Failure> s) {
      auto done = std::make_shared<std::atomic<bool>>(false);
      auto inner = std::make_shared<AnyCancellable>();
      auto onCompletion = [s, done](const Completion<Failure>& c) {
        if (!done->exchange(true) && s.receiveCompletion) s.receiveCompletion(c);
      };
      auto onValue = [s, done, predicate, inner](const Output& v) {
        if (*done || !predicate(v)) return;
        if (done->exchange(true)) return;
        // A subscriber that throws on the value still gets the end.
        std::exception_ptr error;
        try {
          s.receiveValue(v);
        } catch (...) {
          error = std::current_exception();
        }
        try {
          if (s.receiveCompletion) s.receiveCompletion(Completion<Failure>::finished());
        } catch (...) {
          if (!error) error = std::current_exception();
        }
        inner->cancel();
        if (error) std::rethrow_exception(error);
      };
      *inner = upstream.subscribe({onValue, onCompletion});
      if (*done) inner->cancel();
      return AnyCancellable([inner] { inner->cancel(); });
    });
  }
  /// The first value, then the end of the stream.
  AnyPublisher first() const {
    return firstWhere([](const Output&) { return true; });
  }

  /// Drops values equal to the one before.
  AnyPublisher removeDuplicates() const {
    auto upstream = *this;
    return AnyPublisher([upstream](Subscriber<Output, Failure> s) {
      auto last = std::make_shared<std::optional<Output>>();
      auto m = std::make_shared<std::mutex>();
      return upstream.subscribe({[s, last, m](const Output& v) {
                                   {
                                     std::lock_guard lock(*m);
                                     if (*last && **last == v) return;
                                     *last = v;
                                   }
                                   s.receiveValue(v);
                                 },
                                 s.receiveCompletion});
    });
  }

 private:
  SubscribeFn subscribe_;
};

/// Pairs of the latest values of `a` and `b`, once both have one. Finishes
/// when both have finished; fails with the first failure.
template <class A, class B, class Failure>
AnyPublisher<std::pair<A, B>, Failure> combineLatest(const AnyPublisher<A, Failure>& a,
                                                     const AnyPublisher<B, Failure>& b) {
  return AnyPublisher<std::pair<A, B>, Failure>([a, b](Subscriber<std::pair<A, B>, Failure> s) {
    struct Latest {
      std::mutex mutex;
      std::optional<A> a;
      std::optional<B> b;
      int finished = 0;
      bool ended = false;
    };
    auto latest = std::make_shared<Latest>();
    auto emit = [s, latest] {
      std::optional<std::pair<A, B>> pair;
      {
        std::lock_guard lock(latest->mutex);
        if (latest->a && latest->b && !latest->ended) pair.emplace(*latest->a, *latest->b);
      }
      if (pair) s.receiveValue(*pair);
    };
    auto onCompletion = [s, latest](const Completion<Failure>& c) {
      {
        std::lock_guard lock(latest->mutex);
        if (latest->ended) return;
        if (c.isFinished() && ++latest->finished < 2) return;
        latest->ended = true;
      }
      if (s.receiveCompletion) s.receiveCompletion(c);
    };
    auto ca = a.subscribe({[latest, emit](const A& v) {
                             {
                               std::lock_guard lock(latest->mutex);
                               latest->a = v;
                             }
                             emit();
                           },
                           onCompletion});
    auto cb = b.subscribe({[latest, emit](const B& v) {
                             {
                               std::lock_guard lock(latest->mutex);
                               latest->b = v;
                             }
                             emit();
                           },
                           onCompletion});
    return AnyCancellable([ca, cb] {
      ca.cancel();
      cb.cancel();
    });
  });
}

/// Sends each value to its current subscribers.
template <class Output, class Failure = Never>
class PassthroughSubject {
 public:
  /// A subject with no subscribers.
  PassthroughSubject() : core_(std::make_shared<detail::SubjectCore<Output, Failure>>()) {}
  /// Sends `value` to every subscriber.
  void send(const Output& value) const { core_->send(value, false); }
  /// Ends the stream for every subscriber.
  void send(const Completion<Failure>& completion) const { core_->complete(completion); }
  /// The subject's values as a publisher.
  AnyPublisher<Output, Failure> eraseToAnyPublisher() const {
    auto core = core_;
    return AnyPublisher<Output, Failure>(
        [core](Subscriber<Output, Failure> s) { return core->subscribe(std::move(s), false); });
  }

 private:
  std::shared_ptr<detail::SubjectCore<Output, Failure>> core_;
};

/// Holds a current value; a new subscriber receives it first, then every new
/// value.
template <class Output, class Failure = Never>
class CurrentValueSubject {
 public:
  /// A subject holding `initial`.
  explicit CurrentValueSubject(Output initial)
      : core_(std::make_shared<detail::SubjectCore<Output, Failure>>()) {
    core_->current = std::move(initial);
  }
  /// The current value.
  [[nodiscard]] Output value() const {
    std::lock_guard lock(core_->mutex);
    return *core_->current;
  }
  /// Stores `value` and sends it to every subscriber.
  void send(const Output& value) const { core_->send(value, true); }
  /// Ends the stream for every subscriber.
  void send(const Completion<Failure>& completion) const { core_->complete(completion); }
  /// The subject's values as a publisher, starting with the current one.
  AnyPublisher<Output, Failure> eraseToAnyPublisher() const {
    auto core = core_;
    return AnyPublisher<Output, Failure>(
        [core](Subscriber<Output, Failure> s) { return core->subscribe(std::move(s), true); });
  }

 private:
  std::shared_ptr<detail::SubjectCore<Output, Failure>> core_;
};

/// One value, produced once: the attempt runs when the future is made and
/// calls its promise with a value or a failure; every subscriber, before or
/// after that, receives the outcome and then the end of the stream.
template <class Output, class Failure = Never>
class Future {
 public:
  /// A value or a failure.
  using Result = std::variant<Output, Failure>;
  /// Fulfils the future; only the first call counts.
  using Promise = std::function<void(Result)>;

  /// Runs `asyncFunc` (a callable returning Async<Output>) as a task on the
  /// concurrent executor and fulfils the future with its value, or with its
  /// error when Failure is std::exception_ptr. A Future that cannot fail
  /// must be given a function that does not throw: a throw stops the process.
  template <class AsyncFunc>
  requires std::is_same_v<std::invoke_result_t<AsyncFunc&>, Async<Output>>
  explicit Future(AsyncFunc asyncFunc)
      : Future([asyncFunc = std::move(asyncFunc)](Promise promise) mutable {
          std::function<Async<Output>()> fn = std::move(asyncFunc);
          Task<void>::spawn(fulfil(std::move(fn), std::move(promise)));
        }) {}

  /// The same as Future(asyncFunc).
  template <class AsyncFunc>
  static Future async(AsyncFunc asyncFunc) {
    return Future(std::move(asyncFunc));
  }

  /// Runs `attempt` now with the promise that fulfils the future.
  explicit Future(std::function<void(Promise)> attempt)
      : core_(std::make_shared<detail::SubjectCore<Output, Failure>>()) {
    auto core = core_;
    auto fulfilled = std::make_shared<std::atomic<bool>>(false);
    attempt([core, fulfilled](Result result) {
      if (fulfilled->exchange(true)) return;  // a promise counts once
      if (result.index() == 0) {
        // The stream ends even when a subscriber throws on the value.
        std::exception_ptr error;
        try {
          core->send(std::get<0>(result), true);
        } catch (...) {
          error = std::current_exception();
        }
        try {
          core->complete(Completion<Failure>::finished());
        } catch (...) {
          if (!error) error = std::current_exception();
        }
        if (error) std::rethrow_exception(error);
      } else {
        core->complete(Completion<Failure>::failed(std::get<1>(std::move(result))));
      }
    });
  }

  /// The future as a publisher.
  AnyPublisher<Output, Failure> eraseToAnyPublisher() const {
    auto core = core_;
    return AnyPublisher<Output, Failure>([core](Subscriber<Output, Failure> s) {
      return core->subscribe(std::move(s), true, true);
    });
  }
  /// Subscribes `s`: it receives the outcome (once there is one) and the end.
  AnyCancellable subscribe(Subscriber<Output, Failure> s) const {
    return eraseToAnyPublisher().subscribe(std::move(s));
  }

 private:
  static Async<void> fulfil(std::function<Async<Output>()> fn, Promise promise) {
    std::exception_ptr error;
    std::optional<Output> value;
    try {
      value.emplace(co_await fn());
    } catch (...) {
      error = std::current_exception();
    }
    if (!error) {
      promise(Result(std::in_place_index<0>, std::move(*value)));
    } else if constexpr (std::is_same_v<Failure, std::exception_ptr>) {
      promise(Result(std::in_place_index<1>, error));
    } else {
      detail::futureFunctionThrew(error);
    }
  }

  std::shared_ptr<detail::SubjectCore<Output, Failure>> core_;
};

}  // namespace quarn
