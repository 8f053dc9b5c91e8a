/// @file
/// CheckedContinuation<T>: wraps callback-style work into an awaitable one.

/// @class quarn::CheckedContinuation
/// Wraps callback-style work into an awaitable one.
///
/// Kind: CheckedContinuation is a handle: its copies resume the same caller,
/// once between them.
///
/// withCheckedThrowingContinuation() parks the caller and hands the body a
/// continuation; the callback resumes it once, with a value or an error, from
/// any thread. The caller then resumes on its own executor.
///
/// ```
///   Async<Items> provideTemplate(const Source& source) {
///     return withCheckedThrowingContinuation<Items>(
///         "provideTemplate(form:)", [&](CheckedContinuation<Items> c) {
///           provider.provideTemplate(source, [c](Result<Items> r) { c.resume(std::move(r)); });
///         });
///   }
/// ```
///
/// The check: resuming a continuation a second time is a programming error that
/// stops the process with a message naming the continuation. A continuation
/// whose every copy is dropped without resuming it is logged as leaked, and the
/// caller gets the cancellation error instead of waiting forever.
#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "quarnkit/platform/runtime/suspension.h"

namespace quarn {

namespace detail {
/// The untyped part of a continuation: its name, its Resumption and the check.
class ContinuationCore {
 public:
  explicit ContinuationCore(std::string name) : name_(std::move(name)) {}
  ~ContinuationCore();
  ContinuationCore(const ContinuationCore&) = delete;
  ContinuationCore& operator=(const ContinuationCore&) = delete;

  void attach(std::shared_ptr<Resumption> resumption) { resumption_ = std::move(resumption); }
  /// Claims the single resume; a second claim stops the process.
  void claim();
  void resume(std::exception_ptr error) { resumption_->resume(std::move(error)); }
  [[nodiscard]] const std::string& name() const { return name_; }

 private:
  std::string name_;
  std::shared_ptr<Resumption> resumption_;
  std::atomic<bool> claimed_{false};
};
}  // namespace detail

template <class T>
class CheckedContinuation {
  using Box = std::optional<std::conditional_t<std::is_void_v<T>, bool, T>>;

 public:
  /// For withCheckedContinuation(): a continuation over `core` and its value box.
  CheckedContinuation(std::shared_ptr<detail::ContinuationCore> core, std::shared_ptr<Box> box)
      : core_(std::move(core)), box_(std::move(box)) {}

  /// Resumes the caller with `value`.
  template <class U = T>
  requires(!std::is_void_v<U>) void resume(U value) const {
    core_->claim();
    box_->emplace(std::move(value));
    core_->resume(nullptr);
  }
  /// Resumes the caller (a continuation without a value).
  template <class U = T>
  requires std::is_void_v<U>
  void resume() const {
    core_->claim();
    core_->resume(nullptr);
  }
  /// Resumes the caller by throwing `error` from its co_await.
  void resume(std::exception_ptr error) const {
    core_->claim();
    core_->resume(error ? std::move(error) : cancellationError());
  }
  /// Resumes the caller by throwing `error`.
  template <class E>
  requires std::is_base_of_v<std::exception, E>
  void resumeThrowing(E error) const { resume(std::make_exception_ptr(std::move(error))); }

  /// The name given at creation, for messages about misuse.
  [[nodiscard]] const std::string& name() const { return core_->name(); }

 private:
  std::shared_ptr<detail::ContinuationCore> core_;
  std::shared_ptr<Box> box_;
};

/// Parks the caller, calls `body` with a continuation named `name`, and
/// returns what the continuation is resumed with (or throws its error).
/// With `onCancel`: when the caller is cancelled while parked, `onCancel` runs
/// once and the caller goes on waiting for the resume (the callback-side work
/// is expected to notice and resume with an error).
template <class T, class Body>
Async<T> withCheckedThrowingContinuation(std::string name, Body body,
                                         std::function<void()> onCancel = {}) {
  using Box = std::optional<std::conditional_t<std::is_void_v<T>, bool, T>>;
  auto box = std::make_shared<Box>();
  // Only the continuation handed to `body` owns the core, so dropping every
  // copy of it is noticed as a leak.
  std::function<void(std::shared_ptr<detail::Resumption>)> start =
      [&](std::shared_ptr<detail::Resumption> resumption) {
        auto core = std::make_shared<detail::ContinuationCore>(std::move(name));
        core->attach(std::move(resumption));
        body(CheckedContinuation<T>(std::move(core), box));
      };
  const auto mode = onCancel ? detail::OnCancel::notify : detail::OnCancel::ignore;
  // The check reads the coroutine's rewritten body as using onCancel after
  // this move.
  // NOLINTNEXTLINE(bugprone-use-after-move)
  co_await detail::suspend(std::move(start), mode, std::move(onCancel));
  if constexpr (!std::is_void_v<T>) co_return std::move(**box);
}

}  // namespace quarn
