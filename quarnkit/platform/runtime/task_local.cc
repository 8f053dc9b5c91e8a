// Task-local bindings.
//
// Bindings ride on the coroutine's executor: a LocalsExecutor wraps the real
// one and, around every handler it runs, publishes its bindings in a
// thread-local so that synchronous code inside the coroutine can read them.
#include "quarnkit/platform/runtime/task_local.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <exception>

#include "quarnkit/platform/runtime/detail/executors.h"

namespace asio = boost::asio;

namespace quarn::detail {

struct LocalBinding {
  const void* key;
  std::any value;
  LocalsPtr parent;
};

namespace {
thread_local const LocalsPtr* tlsLocals = nullptr;

class LocalsExecutor {
 public:
  LocalsExecutor(Executor inner, LocalsPtr locals)
      : inner_(std::move(inner)), locals_(std::move(locals)) {}

  [[nodiscard]] const Executor& inner() const { return inner_; }
  [[nodiscard]] const LocalsPtr& locals() const { return locals_; }

  template <class Property>
  auto query(const Property& p) const -> decltype(asio::query(std::declval<const Executor&>(), p)) {
    return asio::query(inner_, p);
  }
  template <class Property>
  requires asio::can_require<const Executor&, const Property&>::value LocalsExecutor
  require(const Property& p)
  const { return LocalsExecutor(asio::require(inner_, p), locals_); }
  template <class Property>
  requires asio::can_prefer<const Executor&, const Property&>::value LocalsExecutor
  prefer(const Property& p)
  const { return LocalsExecutor(asio::prefer(inner_, p), locals_); }

  template <class F>
  void execute(F&& f) const {
    inner_.execute([locals = locals_, f = std::forward<F>(f)]() mutable {
      const LocalsPtr* saved = tlsLocals;
      tlsLocals = &locals;
      struct Restore {
        const LocalsPtr* saved;
        ~Restore() { tlsLocals = saved; }
      } restore{saved};
      std::move(f)();
    });
  }

  friend bool operator==(const LocalsExecutor& a, const LocalsExecutor& b) noexcept {
    return a.locals_ == b.locals_ && a.inner_ == b.inner_;
  }

 private:
  Executor inner_;
  LocalsPtr locals_;
};

Executor unwrap(const Executor& executor) {
  if (auto* w = executor.target<LocalsExecutor>()) return w->inner();
  return executor;
}
}  // namespace

LocalsPtr currentLocals() { return tlsLocals ? *tlsLocals : nullptr; }

LocalsPtr localsOf(const Executor& executor) {
  if (auto* w = executor.target<LocalsExecutor>()) return w->locals();
  return nullptr;
}

Executor prepareExecutor(const Executor& executor, const LocalsPtr& locals) {
  Executor base = unwrap(executor);
  if (&asio::query(base, asio::execution::context) != &mainContext()) {
    base = asio::make_strand(base);
  }
  if (locals) return LocalsExecutor(std::move(base), locals);
  return base;
}

const std::any* findTaskLocal(const void* key) {
  for (const LocalBinding* b = tlsLocals ? tlsLocals->get() : nullptr; b; b = b->parent.get()) {
    if (b->key == key) return &b->value;
  }
  return nullptr;
}

Async<void> runWithTaskLocal(const void* key, std::any value, Async<void> body) {
  Executor parent = co_await asio::this_coro::executor;
  LocalsPtr parentLocals = localsOf(parent);
  auto bindings =
      std::make_shared<const LocalBinding>(LocalBinding{key, std::move(value), parentLocals});
  std::exception_ptr failure;
  try {
    co_await spawnAndAwait(Executor(LocalsExecutor(unwrap(parent), std::move(bindings))),
                           std::move(body));
  } catch (...) {
    failure = std::current_exception();
  }
  if (!parentLocals) {
    // The caller may have been resumed inline inside the body's last handler,
    // with the body's bindings still published; continue from a fresh one.
    const bool throwIfCancelled = co_await asio::this_coro::throw_if_cancelled();
    co_await asio::this_coro::throw_if_cancelled(false);
    co_await asio::post(asio::use_awaitable);
    co_await asio::this_coro::throw_if_cancelled(throwIfCancelled);
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace quarn::detail
