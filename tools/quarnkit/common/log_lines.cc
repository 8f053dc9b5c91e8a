#include "tools/quarnkit/common/log_lines.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "quarnkit/core/log.h"
#include "tools/quarnkit/common/input_error.h"

namespace quarn::tool {

namespace {
const LibraryLogLines* current = nullptr;
}

LibraryLogLines::LibraryLogLines()
    : printed_([](std::string_view line) { defaultLogger().debug("{}", line); }) {
  if (std::getenv("QUARNKIT_LOG_LEVEL") != nullptr) return;
  setLogLevel(LogLevel::off);
  capture_ = std::make_unique<testing::LogCapture>();
  current = this;
}

LibraryLogLines::~LibraryLogLines() {
  if (current == this) current = nullptr;
}

void LibraryLogLines::flush() const {
  if (!capture_) return;
  std::vector<std::string> order;
  std::map<std::string, int> counts;
  for (const auto& line : capture_->lines()) {
    if (line.level < LogLevel::warning) continue;
    if (counts[line.text]++ == 0) order.push_back(line.text);
  }
  capture_->clear();
  for (const auto& text : order) {
    const int n = counts[text];
    std::fprintf(stderr, "quarnkit: warning: %s%s\n", printableLine(text).c_str(),
                 n > 1 ? (" (" + std::to_string(n) + " times)").c_str() : "");
  }
  std::fflush(stderr);
}

void LibraryLogLines::discard() const {
  if (capture_) capture_->clear();
}

void LibraryLogLines::flushCurrent() {
  if (current != nullptr) current->flush();
}

void LibraryLogLines::discardCurrent() {
  if (current != nullptr) current->discard();
}

}  // namespace quarn::tool
