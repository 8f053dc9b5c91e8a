/// @file
/// SessionTask: the transfer underneath a request, made when the request first resumes.

/// @class quarn::http::SessionTask
/// The transfer underneath a request, made when the request
/// first resumes. A unique object (not copyable) that its request holds in a
/// std::shared_ptr and hands out to be compared. Its state can be read from any thread; the
/// activity indicator follows requests by comparing their tasks and reading whether one is running.
#pragma once

#include <atomic>
#include <cstdint>

namespace quarn::http {

class SessionTask {
 public:
  /// Where the transfer is.
  enum class State { running, suspended, canceling, completed };

  /// A running task numbered `taskIdentifier`.
  explicit SessionTask(std::uint64_t taskIdentifier) : taskIdentifier_(taskIdentifier) {}
  SessionTask(const SessionTask&) = delete;
  SessionTask& operator=(const SessionTask&) = delete;

  /// Unique among the tasks of the process.
  [[nodiscard]] std::uint64_t taskIdentifier() const { return taskIdentifier_; }
  /// Where the transfer is.
  [[nodiscard]] State state() const { return state_.load(); }
  /// Body bytes received so far, and expected in all (-1: unknown).
  [[nodiscard]] std::int64_t countOfBytesReceived() const { return received_.load(); }
  /// Body bytes expected in all (-1: unknown).
  [[nodiscard]] std::int64_t countOfBytesExpectedToReceive() const { return expected_.load(); }

  /// Sets the state; called by the request that owns the task.
  void setState(State state) { state_.store(state); }
  /// Sets the byte counts; called by the request that owns the task.
  void setCounts(std::int64_t received, std::int64_t expected) {
    received_.store(received);
    expected_.store(expected);
  }

 private:
  const std::uint64_t taskIdentifier_;
  std::atomic<State> state_{State::running};
  std::atomic<std::int64_t> received_{0};
  std::atomic<std::int64_t> expected_{-1};
};

}  // namespace quarn::http
