/// @file
/// Operations and an operation queue, and AsyncOperation: an operation whose
/// end is signalled explicitly, for wrapping callback-based work.
///
/// ```
///   OperationQueue queue;
///   queue.addAsyncOperation([](AsyncBlockOperation&, std::function<void()> finish) {
///     upload(file, [finish](auto) { finish(); });   // the queue waits for finish()
///   });
/// ```
///
/// Operations announce every change of their "isReady", "isExecuting",
/// "isFinished" and "isCancelled" values to their observers (the queue among
/// them), before and after the change, synchronously on the thread that makes
/// the change. An operation is ready once every dependency has finished. The
/// queue starts each ready operation on the concurrent executor and keeps it
/// until it reports finished; an operation cancelled before it started is
/// dropped without being started.
///
/// Operations are shared objects (held in a std::shared_ptr; dependencies and
/// the queue reach them weakly); an AsyncBlockOperation can only be made so.
/// The queue is a unique object (not copyable). What the host's code may do:
/// - an observer, main() or a block may drop the last reference to the
///   operation: it lives until the call that runs them returns;
/// - an observer may add or remove observers (the current announcement goes
///   to the observers there were when it began) and may change the operation;
///   a block may call finish() at once, start() (ignored: it is executing) or
///   cancel() (it finishes);
/// - an observer that throws is logged (error) and the change goes on, every
///   other observer told; main() or a block that throws finishes the
///   operation and the exception leaves start(); the queue, which starts
///   operations itself, logs it and moves on.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

/// A unit of work that announces its state to observers and waits for its dependencies (see the
/// file's description). A shared object: subclasses are made with std::make_shared.
class Operation : public std::enable_shared_from_this<Operation> {
 public:
  /// Called with a key ("isFinished") and whether the change is about to
  /// happen (true) or has happened (false).
  using Observer = std::function<void(std::string_view key, bool prior)>;

  virtual ~Operation() = default;
  Operation(const Operation&) = delete;
  Operation& operator=(const Operation&) = delete;

  /// Ready when every dependency has finished (or it was cancelled).
  [[nodiscard]] virtual bool isReady() const;
  /// Whether the operation is running.
  [[nodiscard]] virtual bool isExecuting() const;
  /// Whether the operation has ended (run, or cancelled and finished).
  [[nodiscard]] virtual bool isFinished() const;
  /// Whether cancel() was called.
  [[nodiscard]] bool isCancelled() const { return cancelled_.load(); }
  /// Whether the operation stays executing after start() returns (false: it ends with start()).
  [[nodiscard]] virtual bool isAsynchronous() const { return false; }

  /// Runs main() unless cancelled; a synchronous operation is finished when
  /// start() returns.
  virtual void start();
  /// The work; empty by default.
  virtual void main() {}
  /// Marks the operation cancelled.
  virtual void cancel();

  /// `dependency` must finish before this operation is ready.
  void addDependency(const std::shared_ptr<Operation>& dependency);
  /// The operations this one waits for.
  [[nodiscard]] std::vector<std::shared_ptr<Operation>> dependencies() const;

  /// Adds `observer`, told every announced change (see Observer); returns a token for
  /// removeObserver().
  std::size_t addObserver(Observer observer);
  /// Removes the observer added with `token`; an unknown token changes nothing.
  void removeObserver(std::size_t token);

 protected:
  /// Subclasses are made with std::make_shared.
  Operation() = default;

  /// Announces that the value of `key` is about to change.
  void willChangeValue(std::string_view key);
  /// Announces that the value of `key` has changed.
  void didChangeValue(std::string_view key);

 private:
  void announce(std::string_view key, bool prior);

  mutable std::mutex mutex_;
  std::vector<std::pair<std::size_t, Observer>> observers_;
  std::size_t nextToken_ = 0;
  std::vector<std::shared_ptr<Operation>> dependencies_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> executing_{false};
  std::atomic<bool> finished_{false};
};

/// An operation that stays executing after start() returns, until its
/// subtype sets `state` to finished.
///
/// State changes are serialised: each change's announcements name the state
/// it really replaced, and start() and cancel() racing on two threads have one
/// winner. Observers are called with the change still under way: they may
/// read or change this operation, but must not wait for another thread that
/// changes it.
class AsyncOperation : public Operation {
 public:
  /// Where the operation is in its life.
  enum class State { ready, executing, finished };
  /// "ready", "executing", "finished".
  static std::string_view rawValue(State state);
  /// "isReady", "isExecuting", "isFinished": "is" and the capitalised raw value.
  static std::string keyPath(State state);

  /// Where the operation is in its life.
  [[nodiscard]] State state() const { return state_.load(); }
  /// Stores `state`, announcing the new state's key, then the old one's,
  /// before the change and the old one's, then the new one's, after it.
  void setState(State state);

  [[nodiscard]] bool isReady() const override;
  [[nodiscard]] bool isExecuting() const override { return state() == State::executing; }
  [[nodiscard]] bool isFinished() const override { return state() == State::finished; }
  [[nodiscard]] bool isAsynchronous() const override { return true; }

  /// Starts a ready operation: finished at once when cancelled; otherwise
  /// executing, then main(). An operation already executing or finished (a
  /// cancel() came first) is left as it is, and main() is not called.
  void start() override;
  /// Sets the state to finished, whatever it was. The cancelled flag stays
  /// unset, so an operation cancelled before it started is simply finished.
  void cancel() override;

 private:
  // Recursive: an observer may change the state it is told about.
  std::recursive_mutex changing_;
  std::atomic<State> state_{State::ready};
};

/// An AsyncOperation running a block that receives the operation and a
/// finish callback. Made only by make(): the finish callback reaches the
/// operation through a weak reference, so it must be owned by a shared_ptr.
class AsyncBlockOperation final : public AsyncOperation {
  // Lets make() use std::make_shared while nobody else can construct one.
  class Key {
    friend class AsyncBlockOperation;
    Key() = default;
  };

 public:
  /// The work: it receives the operation and the callback that finishes it, which may be called on
  /// any thread, at once or later.
  using Block = std::function<void(AsyncBlockOperation& operation, std::function<void()> finish)>;

  /// An operation that runs `block` when started.
  static std::shared_ptr<AsyncBlockOperation> make(Block block);
  /// For std::make_shared only: the key is private, so hosts call make().
  AsyncBlockOperation(Key /*key*/, Block block) : block_(std::move(block)) {}

  /// Calls the block; its finish callback sets the state to finished (again
  /// on every call, repeating the announcements).
  void main() override;

 private:
  Block block_;
};

/// Starts operations when they are ready, on the concurrent executor.
class OperationQueue {
 public:
  OperationQueue();
  ~OperationQueue();
  OperationQueue(const OperationQueue&) = delete;
  OperationQueue& operator=(const OperationQueue&) = delete;

  /// Adds `operation` (a shared object); it starts once ready.
  void addOperation(std::shared_ptr<Operation> operation);
  /// Adds a synchronous operation running `block`.
  void addOperation(std::function<void()> block);
  /// Wraps `block` in an AsyncBlockOperation and adds it.
  std::shared_ptr<AsyncBlockOperation> addAsyncOperation(AsyncBlockOperation::Block block);

  /// Operations added and not yet finished.
  [[nodiscard]] std::size_t operationCount() const;
  /// Blocks the calling thread until every operation has finished.
  void waitUntilAllOperationsAreFinished() const;
  /// Cancels every operation added and not yet finished.
  void cancelAllOperations();

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace quarn
