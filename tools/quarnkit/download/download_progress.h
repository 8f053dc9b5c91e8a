// How `quarnkit download` shows its progress: the figures of all downloads
// together as one bar on a terminal, or as a plain line elsewhere, and the
// transfer rate they are computed with. Pure functions of their inputs.
//
//   TransferRate rate;
//   rate.add(elapsed, bytesDone);
//   TransferFigures f{bytesDone, bytesTotal, rate.bytesPerSecond()};
//   writeStatusLine(progressBar(f, 80));   // the shared output layer
//
//   [##########----------]  1.5 MiB / 3.0 MiB  512.0 KiB/s  0:03 left
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace quarn::tool {

/// What has been downloaded so far, of how much.
struct TransferFigures {
  std::int64_t bytesDone = 0;
  /// None while some download's size is unknown.
  std::optional<std::int64_t> bytesTotal;
  /// Recent bytes per second; 0 when nothing moved.
  double bytesPerSecond = 0;

  /// Seconds until the total at the current rate (0 once it is reached);
  /// none when the total or the rate is unknown.
  [[nodiscard]] std::optional<double> secondsLeft() const;
};

/// "999 B", "1.5 KiB", "12.3 MiB", "2.0 GiB".
std::string humanBytes(double bytes);
/// "0:07", "12:34", "1:02:03"; "--:--" when unknown.
std::string humanDuration(std::optional<double> seconds);

/// "1.5 MiB / 3.0 MiB  512.0 KiB/s  0:03 left" ("1.5 MiB" alone without a
/// total).
std::string progressLine(const TransferFigures& figures);
/// The line after a bar "[####----]" filling the rest of `width` columns
/// (a bar without a total is left empty). Never wider than `width`: without
/// room for 10 cells of bar the line is alone, cut to `width`.
std::string progressBar(const TransferFigures& figures, int width);

/// The rate over the last few seconds of samples.
class TransferRate {
 public:
  explicit TransferRate(double window = 3.0) : window_(window) {}
  /// `bytes` done by `seconds` (both never decreasing).
  void add(double seconds, std::int64_t bytes);
  [[nodiscard]] double bytesPerSecond() const;

 private:
  double window_;
  std::deque<std::pair<double, std::int64_t>> samples_;
};

}  // namespace quarn::tool
