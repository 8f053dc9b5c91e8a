/// @file
/// `syncTask`: runs asynchronous work to completion from synchronous code,
/// blocking the calling thread until it is done. Storage is a value.
///
/// ```
///   Config config = syncTask([&] { return loadConfig(path); });
/// ```
///
/// The work runs as a task on the concurrent executor. Never call syncTask from
/// a thread the work needs (the main context's thread when the work hops to the
/// main context): that call never returns.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <semaphore>
#include <type_traits>
#include <utility>
#include <variant>

#include "quarnkit/platform/runtime/task.h"

namespace quarn {

/// Where syncTask keeps the outcome: a value (none for void work) or an error.
template <class T>
struct Storage {
  /// The value kept: T, or std::monostate for void work.
  using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
  /// The outcome once the work has ended; none before.
  std::optional<std::variant<Value, std::exception_ptr>> result;
};

namespace detail {
template <class T>
Async<void> runIntoStorage(std::shared_ptr<Storage<T>> storage,
                           std::shared_ptr<std::counting_semaphore<>> done,
                           std::function<Async<T>()> body) {
  try {
    if constexpr (std::is_void_v<T>) {
      co_await body();
      storage->result.emplace(std::monostate{});
    } else {
      storage->result.emplace(std::in_place_index<0>, co_await body());
    }
  } catch (...) {
    storage->result.emplace(std::in_place_index<1>, std::current_exception());
  }
  done->release();
}
}  // namespace detail

/// Runs `body` (a callable returning Async<T>) and returns its value, or
/// rethrows its error.
template <class Body>
auto syncTask(Body body) -> typename std::invoke_result_t<Body&>::value_type {
  using T = typename std::invoke_result_t<Body&>::value_type;
  auto storage = std::make_shared<Storage<T>>();
  auto done = std::make_shared<std::counting_semaphore<>>(0);
  Task<void>::spawn(detail::runIntoStorage<T>(storage, done, std::function<Async<T>()>(body)));
  done->acquire();
  if (auto* error = std::get_if<1>(&*storage->result)) std::rethrow_exception(*error);
  if constexpr (!std::is_void_v<T>) return std::move(std::get<0>(*storage->result));
}

}  // namespace quarn
