// LibraryLogLines: while it lives, the library's warning and error lines are
// collected instead of written through the logger's own format, and
// flush() prints each distinct one once on standard error as
// "quarnkit: warning: <line>". With QUARNKIT_LOG_LEVEL set, the library logs
// as usual and nothing is collected.
//
// The lines some components print to standard output (a scheme's updates)
// become debug lines of the log while it lives, in every subcommand: what
// the tool writes to standard output is only the document asked for.
#pragma once

#include <memory>

#include "quarnkit/core/log.h"

namespace quarn::testing {
class LogCapture;
}

namespace quarn::tool {

class LibraryLogLines {
 public:
  LibraryLogLines();
  ~LibraryLogLines();
  LibraryLogLines(const LibraryLogLines&) = delete;
  LibraryLogLines& operator=(const LibraryLogLines&) = delete;

  /// Prints the lines collected so far and forgets them.
  void flush() const;
  /// Forgets the lines collected so far (a command that reported the same
  /// problems itself).
  void discard() const;

  /// flush() and discard() of the live instance, if there is one.
  static void flushCurrent();
  static void discardCurrent();

 private:
  std::unique_ptr<testing::LogCapture> capture_;
  StdoutRedirect printed_;
};

}  // namespace quarn::tool
