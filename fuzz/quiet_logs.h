// Turns the library's logging off once per process: event-sequence fuzz
// targets make callbacks throw on purpose, and logging every dropped exception
// would be most of their work.
#pragma once

#include "quarnkit/core/log.h"

namespace quarn::fuzzing {

inline void silenceLogsOnce() {
  static const bool silenced = [] {
    setLogLevel(LogLevel::off);
    return true;
  }();
  (void)silenced;
}

}  // namespace quarn::fuzzing
