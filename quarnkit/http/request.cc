#include "quarnkit/http/request.h"

#include <atomic>
#include <boost/asio/post.hpp>

#include "quarnkit/core/error.h"
#include "quarnkit/core/log.h"
#include "quarnkit/http/detail/curl_engine.h"
#include "quarnkit/platform/services.h"

namespace quarn::http {

namespace detail {
void postTo(const Executor& executor, std::function<void()> work) {
  boost::asio::post(executor, std::move(work));
}
}  // namespace detail

namespace {
std::atomic<std::uint64_t> nextTaskIdentifier{1};

// Tells every monitor. Monitors are called from the transfer machinery on
// the main context, where nobody could catch what they throw: a throwing
// monitor is logged and the request goes on.
void tellMonitors(const std::vector<std::shared_ptr<EventMonitor>>& monitors,
                  const std::function<void(EventMonitor&)>& tell) {
  for (const auto& m : monitors) {
    try {
      tell(*m);
    } catch (...) {
      defaultLogger().error("[Request] An event monitor threw: {}", describeCurrentException());
    }
  }
}
}  // namespace

// What the engine reports to: keeps the request alive while its transfer
// runs.
class Request::Sink final : public detail::TransferSink {
 public:
  explicit Sink(std::shared_ptr<Request> request) : request_(std::move(request)) {}

  bool head(const HTTPURLResponse& response) override { return request_->beginBody(response); }
  bool receive(std::string_view bytes) override { return request_->receive(bytes); }
  void progress(std::int64_t received, std::int64_t expected) override {
    request_->didProgress(received, expected);
  }
  void complete(detail::TransferOutcome outcome) override {
    std::optional<RequestError> error;
    {
      const std::lock_guard lock(request_->mutex_);
      if (request_->receiveFailure_) outcome.error = request_->receiveFailure_;
    }
    if (outcome.error) error = RequestError::sessionTaskFailed(std::move(*outcome.error));
    request_->finish(std::move(outcome.response), std::move(error));
  }
  void abandon() override { request_->finish(std::nullopt, RequestError::sessionDeinitialized()); }

 private:
  std::shared_ptr<Request> request_;
};

Request::Request(URLRequest request, detail::RequestContext context,
                 std::optional<RequestError> initialError)
    : id_(platform::randomUUID()),
      context_(std::move(context)),
      request_(std::move(request)),
      initialError_(std::move(initialError)) {}

Request::~Request() = default;

URLRequest Request::request() const {
  const std::lock_guard lock(mutex_);
  return request_;
}

Request::State Request::state() const {
  const std::lock_guard lock(mutex_);
  return state_;
}

std::shared_ptr<SessionTask> Request::task() const {
  const std::lock_guard lock(mutex_);
  return task_;
}

std::optional<HTTPURLResponse> Request::response() const {
  const std::lock_guard lock(mutex_);
  return response_;
}

std::optional<RequestError> Request::error() const {
  const std::lock_guard lock(mutex_);
  return error_;
}

TransferProgress Request::downloadProgress() const {
  const std::lock_guard lock(mutex_);
  return progress_;
}

void Request::downloadProgress(ProgressHandler handler, Executor queue) {
  const std::lock_guard lock(mutex_);
  progressHandlers_.emplace_back(std::move(queue), std::move(handler));
}

void Request::validate(int from, int to) {
  const std::lock_guard lock(mutex_);
  acceptableStatus_.emplace_back(from, to);
}

void Request::resume() {
  {
    const std::lock_guard lock(mutex_);
    if (state_ != State::initialized && state_ != State::suspended) return;
    state_ = State::resumed;
  }
  postToMain([self = self()] { self->reconcile(); });
}

void Request::suspend() {
  {
    const std::lock_guard lock(mutex_);
    if (state_ != State::resumed) return;
    state_ = State::suspended;
  }
  postToMain([self = self()] { self->reconcile(); });
}

void Request::cancel() {
  {
    const std::lock_guard lock(mutex_);
    if (ended_ || state_ == State::cancelled || state_ == State::finished) return;
    state_ = State::cancelled;
    if (task_) task_->setState(SessionTask::State::canceling);
  }
  postToMain([self = self()] { self->reconcile(); });
}

void Request::onFinish(const Executor& queue, std::function<void()> work) {
  bool start = false;
  {
    const std::lock_guard lock(mutex_);
    if (delivered_) {
      detail::postTo(queue, std::move(work));
      return;
    }
    finishHandlers_.emplace_back(queue, std::move(work));
    start = context_.startImmediately && state_ == State::initialized;
  }
  if (start) resume();
}

void Request::failReceiving(TransportError error) {
  const std::lock_guard lock(mutex_);
  if (!receiveFailure_) receiveFailure_ = std::move(error);
}

// Brings the transfer in line with the state the public calls asked for.
// Posted after each of them; the latest state wins.
void Request::reconcile() {
  State state;
  std::shared_ptr<SessionTask> task;
  {
    const std::lock_guard lock(mutex_);
    if (ended_) return;
    state = state_;
    task = task_;
  }
  const auto engine = context_.engine.lock();
  switch (state) {
    case State::initialized:
    case State::finished:
      return;
    case State::cancelled:
      if (engine && transferId_ != 0) engine->abort(transferId_);
      finish(response(), RequestError::explicitlyCancelled());
      return;
    case State::resumed:
      if (!task) {
        startTask();
      } else if (task->state() == SessionTask::State::suspended) {
        if (engine) engine->pause(transferId_, false);
        task->setState(SessionTask::State::running);
        tellMonitors(context_.monitors,
                     [&](EventMonitor& m) { m.requestDidResumeTask(self(), *task); });
      }
      return;
    case State::suspended:
      if (task && task->state() == SessionTask::State::running) {
        if (engine) engine->pause(transferId_, true);
        task->setState(SessionTask::State::suspended);
        tellMonitors(context_.monitors,
                     [&](EventMonitor& m) { m.requestDidSuspendTask(self(), *task); });
      }
      return;
  }
}

void Request::startTask() {
  if (initialError_) {
    finish(std::nullopt, initialError_);
    return;
  }
  URLRequest sent = request();
  // A request's own field replaces the session's fields of its name; the
  // session's fields of one name all go.
  const HTTPHeaders own = sent.headers;
  for (const HTTPHeader& h : context_.defaultHeaders) {
    if (!own.contains(h.name)) sent.headers.add(h.name, h.value);
  }
  if (context_.interceptor) {
    try {
      sent = context_.interceptor->adapt(std::move(sent));
    } catch (...) {
      finish(std::nullopt, RequestError::requestAdaptationFailed(std::current_exception()));
      return;
    }
  }
  const auto engine = context_.engine.lock();
  if (!engine) {
    finish(std::nullopt, RequestError::sessionDeinitialized());
    return;
  }
  if (auto error = prepareBody()) {
    finish(std::nullopt, std::move(error));
    return;
  }
  auto task = std::make_shared<SessionTask>(nextTaskIdentifier.fetch_add(1));
  {
    const std::lock_guard lock(mutex_);
    request_ = sent;
    task_ = task;
  }
  transferId_ = engine->start({std::move(sent), context_.idleTimeout, context_.totalTimeout,
                               context_.headersStayWithOrigin},
                              std::make_shared<Sink>(self()));
  tellMonitors(context_.monitors, [&](EventMonitor& m) { m.requestDidResumeTask(self(), *task); });
}

void Request::didProgress(std::int64_t received, std::int64_t expected) {
  std::vector<std::pair<Executor, ProgressHandler>> handlers;
  const std::int64_t held = bytesHeld();
  TransferProgress progress{received + held, expected >= 0 ? expected + held : expected};
  {
    const std::lock_guard lock(mutex_);
    progress_ = progress;
    if (task_) task_->setCounts(received, expected);
    handlers = progressHandlers_;
  }
  for (auto& [queue, handler] : handlers) {
    detail::postTo(queue, [handler = std::move(handler), progress] { handler(progress); });
  }
}

void Request::finish(std::optional<HTTPURLResponse> response, std::optional<RequestError> error) {
  std::shared_ptr<SessionTask> task;
  {
    const std::lock_guard lock(mutex_);
    if (ended_) return;
    ended_ = true;
    if (state_ == State::cancelled) {
      error = RequestError::explicitlyCancelled();
    } else {
      state_ = State::finished;
    }
    response_ = response;
    if (!error && response) {
      for (const auto& [from, to] : acceptableStatus_) {
        if (response->statusCode < from || response->statusCode >= to) {
          error = RequestError::unacceptableStatusCode(response->statusCode);
          break;
        }
      }
    }
    task = task_;
  }
  finishBody(response, error);
  {
    const std::lock_guard lock(mutex_);
    if (error) error_ = error->withURL(request_.url.absoluteString());
  }
  transferId_ = 0;
  const auto me = self();
  const std::optional<RequestError> reported = this->error();
  if (task) {
    task->setState(SessionTask::State::completed);
    tellMonitors(context_.monitors, [&](EventMonitor& m) {
      m.requestDidCompleteTask(me, *task, reported ? &*reported : nullptr);
    });
  }
  tellMonitors(context_.monitors, [&](EventMonitor& m) { m.requestDidFinish(me); });
  std::vector<std::pair<Executor, std::function<void()>>> handlers;
  {
    const std::lock_guard lock(mutex_);
    delivered_ = true;
    handlers.swap(finishHandlers_);
    progressHandlers_.clear();
  }
  for (auto& [queue, work] : handlers) detail::postTo(queue, std::move(work));
}

}  // namespace quarn::http
