#include "quarnkit/core/log.h"

#include <spdlog/sinks/stdout_sinks.h>
#include <spdlog/spdlog.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

namespace quarn {
namespace {

LogLevel levelFromEnvironment() {
  const char* env = std::getenv("QUARNKIT_LOG_LEVEL");
  if (env == nullptr) return LogLevel::warning;
  const std::string_view v(env);
  if (v == "trace") return LogLevel::trace;
  if (v == "debug") return LogLevel::debug;
  if (v == "info") return LogLevel::info;
  if (v == "warn" || v == "warning") return LogLevel::warning;
  if (v == "error") return LogLevel::error;
  if (v == "off") return LogLevel::off;
  return LogLevel::warning;
}

spdlog::level::level_enum toSpd(LogLevel l) {
  switch (l) {
    case LogLevel::trace:
      return spdlog::level::trace;
    case LogLevel::debug:
      return spdlog::level::debug;
    case LogLevel::info:
      return spdlog::level::info;
    case LogLevel::warning:
      return spdlog::level::warn;
    case LogLevel::error:
      return spdlog::level::err;
    case LogLevel::off:
      return spdlog::level::off;
  }
  return spdlog::level::off;
}

// Process-wide state: the standard-error level, the active captures and the
// spdlog loggers by name.
struct LogState {
  std::mutex mutex;
  LogLevel stderrLevel = levelFromEnvironment();
  std::vector<testing::LogCapture*> captures;
  std::unordered_map<std::string, std::shared_ptr<spdlog::logger>> loggers;
  std::shared_ptr<spdlog::sinks::sink> sink = std::make_shared<spdlog::sinks::stderr_sink_mt>();
  std::atomic<int> minEnabled{static_cast<int>(stderrLevel)};

  void recompute() {
    minEnabled.store(captures.empty() ? static_cast<int>(stderrLevel) : 0,
                     std::memory_order_relaxed);
  }

  spdlog::logger& logger(const std::string& name) {
    auto& l = loggers[name];
    if (!l) {
      l = std::make_shared<spdlog::logger>(name, sink);
      l->set_level(spdlog::level::trace);
    }
    return *l;
  }
};

LogState& state() {
  static LogState* s = new LogState();  // never destroyed: loggers outlive statics
  return *s;
}

struct StdoutState {
  std::mutex mutex;
  std::function<void(std::string_view)> sink;
};

StdoutState& stdoutState() {
  static StdoutState* s = new StdoutState();
  return *s;
}

}  // namespace

void setLogLevel(LogLevel level) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.stderrLevel = level;
  s.recompute();
}

bool detail::logEnabled(LogLevel level) noexcept {
  return static_cast<int>(level) >= state().minEnabled.load(std::memory_order_relaxed) &&
         level != LogLevel::off;
}

Logger::Logger(std::string subsystem, std::string category)
    : name_(subsystem.empty() ? std::move(category) : std::move(subsystem) + "/" + category) {}

void Logger::write(LogLevel level, std::string_view text) const {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  for (auto* c : s.captures) c->record(testing::LogLine{name_, level, std::string(text)});
  if (level >= s.stderrLevel && level != LogLevel::off) {
    s.logger(name_).log(toSpd(level), "{}", text);
  }
}

const Logger& defaultLogger() {
  static const Logger logger;
  return logger;
}

void debugPrint(std::string_view line) {
  auto& s = stdoutState();
  std::unique_lock lock(s.mutex);
  if (s.sink) {
    auto sink = s.sink;
    lock.unlock();
    sink(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

StdoutRedirect::StdoutRedirect(std::function<void(std::string_view)> sink) {
  auto& s = stdoutState();
  std::lock_guard lock(s.mutex);
  previous_ = std::exchange(s.sink, std::move(sink));
}

StdoutRedirect::~StdoutRedirect() {
  auto& s = stdoutState();
  std::lock_guard lock(s.mutex);
  s.sink = std::move(previous_);
}

namespace testing {

LogCapture::LogCapture() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.captures.push_back(this);
  s.recompute();
}

LogCapture::~LogCapture() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  std::erase(s.captures, this);
  s.recompute();
}

void LogCapture::record(LogLine line) {
  std::lock_guard lock(mutex_);
  lines_.push_back(std::move(line));
}

std::vector<LogLine> LogCapture::lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::vector<std::string> LogCapture::texts(LogLevel level) const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& l : lines_) {
    if (l.level == level) out.push_back(l.text);
  }
  return out;
}

std::size_t LogCapture::count(std::string_view fragment) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(lines_.begin(), lines_.end(),
                    [&](const LogLine& l) { return l.text.find(fragment) != std::string::npos; }));
}

void LogCapture::clear() {
  std::lock_guard lock(mutex_);
  lines_.clear();
}

StdoutCapture::StdoutCapture()
    : state_(std::make_shared<std::pair<std::mutex, std::vector<std::string>>>()),
      redirect_([s = state_](std::string_view line) {
        std::lock_guard lock(s->first);
        s->second.emplace_back(line);
      }) {}

std::vector<std::string> StdoutCapture::lines() const {
  std::lock_guard lock(state_->first);
  return state_->second;
}

}  // namespace testing
}  // namespace quarn
