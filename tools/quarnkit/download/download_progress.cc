#include "tools/quarnkit/download/download_progress.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace quarn::tool {

std::optional<double> TransferFigures::secondsLeft() const {
  if (!bytesTotal) return std::nullopt;
  if (bytesDone >= *bytesTotal) return 0.0;
  if (bytesPerSecond <= 0) return std::nullopt;
  return static_cast<double>(std::max<std::int64_t>(0, *bytesTotal - bytesDone)) / bytesPerSecond;
}

std::string humanBytes(double bytes) {
  if (!(bytes >= 0)) bytes = 0;
  if (bytes < 1024) return fmt::format("{} B", static_cast<std::int64_t>(bytes));
  constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double value = bytes / 1024;
  std::size_t unit = 0;
  // Rounds as it prints, so 1023.96 KiB becomes "1.0 MiB", not "1024.0 KiB".
  while (value >= 1023.95 && unit + 1 < std::size(kUnits)) {
    value /= 1024;
    ++unit;
  }
  return fmt::format("{:.1f} {}", value, kUnits[unit]);
}

std::string humanDuration(std::optional<double> seconds) {
  if (!seconds || !std::isfinite(*seconds) || *seconds < 0 || *seconds >= 360000) return "--:--";
  const auto total = static_cast<std::int64_t>(std::ceil(*seconds));
  const std::int64_t h = total / 3600, m = total / 60 % 60, s = total % 60;
  if (h > 0) return fmt::format("{}:{:02}:{:02}", h, m, s);
  return fmt::format("{}:{:02}", m, s);
}

std::string progressLine(const TransferFigures& figures) {
  std::string out = humanBytes(static_cast<double>(figures.bytesDone));
  if (figures.bytesTotal) out += " / " + humanBytes(static_cast<double>(*figures.bytesTotal));
  out += "  " + humanBytes(figures.bytesPerSecond) + "/s";
  if (figures.bytesTotal) out += "  " + humanDuration(figures.secondsLeft()) + " left";
  return out;
}

std::string progressBar(const TransferFigures& figures, int width) {
  std::string line = progressLine(figures);
  const int cells = width - static_cast<int>(line.size()) - 4;
  // Never wider than the terminal: a wrapped line leaves a row behind at
  // every redraw. The bar goes first, then the line's end.
  if (cells < 10) {
    if (static_cast<int>(line.size()) > width)
      line.resize(static_cast<std::size_t>(std::max(0, width)));
    return line;
  }
  int filled = 0;
  if (figures.bytesTotal && *figures.bytesTotal > 0) {
    const double fraction = std::clamp(
        static_cast<double>(figures.bytesDone) / static_cast<double>(*figures.bytesTotal), 0.0,
        1.0);
    filled = static_cast<int>(fraction * cells);
  }
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(cells - filled), '-') + "]  " + line;
}

void TransferRate::add(double seconds, std::int64_t bytes) {
  samples_.emplace_back(seconds, bytes);
  // Keeps one sample at or before the window's start, to measure from.
  while (samples_.size() > 2 && samples_[1].first <= seconds - window_) samples_.pop_front();
}

double TransferRate::bytesPerSecond() const {
  if (samples_.size() < 2) return 0;
  const auto& [t0, b0] = samples_.front();
  const auto& [t1, b1] = samples_.back();
  if (t1 <= t0 || b1 <= b0) return 0;
  return static_cast<double>(b1 - b0) / (t1 - t0);
}

}  // namespace quarn::tool
