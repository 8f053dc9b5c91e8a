/// @file
/// Logging: named loggers writing leveled lines through spdlog, a capture for
/// tests, and the few debug lines that go to standard output.
///
/// ```
///   static const quarn::Logger log("Velmora", "Pagination");
///   log.debug("[CompositeListFetcher] Fetch finished, {}", seconds);
/// ```
///
/// Lines are formatted only when some sink wants their level, so debug lines on
/// hot paths cost a branch. Standard error receives lines at or above the level
/// set by setLogLevel() (initially from the QUARNKIT_LOG_LEVEL environment
/// variable: trace, debug, info, warn, error or off; default warn).
#pragma once

#include <fmt/core.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quarn {

/// How important a line is; `off` as a sink's level lets no line through.
enum class LogLevel { trace = 0, debug, info, warning, error, off };

/// Sets the level of the standard-error sink.
void setLogLevel(LogLevel level);

namespace detail {
bool logEnabled(LogLevel level) noexcept;
}

/// A named logger. The default logger (no subsystem) is where composite-list
/// components write their "[Component] ..." lines.
class Logger {
 public:
  Logger() = default;
  /// The logger named "subsystem/category".
  Logger(std::string subsystem, std::string category);

  /// "subsystem/category", or "default".
  [[nodiscard]] const std::string& name() const { return name_; }

  /// Whether some sink wants lines of `level`.
  [[nodiscard]] static bool enabled(LogLevel level) noexcept { return detail::logEnabled(level); }
  /// Writes `text` at `level` to every sink that wants it.
  void write(LogLevel level, std::string_view text) const;

  ///@{
  /// Formats the arguments into the line (fmt syntax) and writes it, only
  /// when some sink wants the level.

  template <class... A>
  void log(LogLevel level, fmt::format_string<A...> f, A&&... args) const {
    if (enabled(level)) write(level, fmt::format(f, std::forward<A>(args)...));
  }
  template <class... A>
  void debug(fmt::format_string<A...> f, A&&... args) const {
    log(LogLevel::debug, f, std::forward<A>(args)...);
  }
  template <class... A>
  void info(fmt::format_string<A...> f, A&&... args) const {
    log(LogLevel::info, f, std::forward<A>(args)...);
  }
  template <class... A>
  void error(fmt::format_string<A...> f, A&&... args) const {
    log(LogLevel::error, f, std::forward<A>(args)...);
  }
  ///@}

 private:
  std::string name_ = "default";
};

/// The default logger.
const Logger& defaultLogger();

/// Writes one line to standard output (or to the current redirection): the
/// debug lines some components print rather than log.
void debugPrint(std::string_view line);

/// Sends debugPrint lines to `sink` instead of standard output until the
/// returned object is destroyed. Nested redirections stack.
class StdoutRedirect {
 public:
  /// Redirects to `sink`, called with each line on the thread that prints it.
  explicit StdoutRedirect(std::function<void(std::string_view)> sink);
  ~StdoutRedirect();
  StdoutRedirect(const StdoutRedirect&) = delete;
  StdoutRedirect& operator=(const StdoutRedirect&) = delete;

 private:
  std::function<void(std::string_view)> previous_;
};

/// Helpers for the tests of code that uses the library: captured log lines
/// and standard-output lines.
namespace testing {

/// One captured log line.
struct LogLine {
  std::string logger;  ///< The logger's name().
  LogLevel level;      ///< The line's level.
  std::string text;    ///< The formatted text.
  /// Equal when logger, level and text are.
  friend bool operator==(const LogLine&, const LogLine&) = default;
};

/// Records every line written by any logger, at every level, while it lives.
/// Thread-safe.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  /// The lines recorded, in order.
  [[nodiscard]] std::vector<LogLine> lines() const;
  /// The texts of the lines at `level`.
  [[nodiscard]] std::vector<std::string> texts(LogLevel level) const;
  /// How many lines contain `fragment`.
  [[nodiscard]] std::size_t count(std::string_view fragment) const;
  /// Forgets the lines recorded so far.
  void clear();

  /// Records `line`; called by the loggers.
  void record(LogLine line);

 private:
  mutable std::mutex mutex_;
  std::vector<LogLine> lines_;
};

/// Collects the lines written with debugPrint while it lives.
class StdoutCapture {
 public:
  StdoutCapture();
  /// The lines printed so far, in order.
  [[nodiscard]] std::vector<std::string> lines() const;

 private:
  std::shared_ptr<std::pair<std::mutex, std::vector<std::string>>> state_;
  StdoutRedirect redirect_;
};

}  // namespace testing
}  // namespace quarn
