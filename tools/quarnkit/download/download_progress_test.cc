// The progress figures of `quarnkit download`: sizes and durations at their
// rounding edges, the bar's fill and width, unknown totals, and the rate
// over its window.
#include "tools/quarnkit/download/download_progress.h"

#include <gtest/gtest.h>

namespace quarn::tool {
namespace {

TEST(DownloadProgressTest, SizesAndDurationsRoundAtTheirEdges) {
  EXPECT_EQ(humanBytes(0), "0 B");
  EXPECT_EQ(humanBytes(1023), "1023 B");
  EXPECT_EQ(humanBytes(1024), "1.0 KiB");
  EXPECT_EQ(humanBytes(1536), "1.5 KiB");
  EXPECT_EQ(humanBytes(1024.0 * 1023.96), "1.0 MiB");  // not "1024.0 KiB"
  EXPECT_EQ(humanBytes(256.0 * 1024 * 1024), "256.0 MiB");
  EXPECT_EQ(humanBytes(-5), "0 B");

  EXPECT_EQ(humanDuration(0), "0:00");
  EXPECT_EQ(humanDuration(0.2), "0:01");  // a moment left is a second, not none
  EXPECT_EQ(humanDuration(59.5), "1:00");
  EXPECT_EQ(humanDuration(3599), "59:59");
  EXPECT_EQ(humanDuration(3723), "1:02:03");
  EXPECT_EQ(humanDuration(std::nullopt), "--:--");
  EXPECT_EQ(humanDuration(1e300), "--:--");
}

TEST(DownloadProgressTest, TheLineShowsDoneOfTotalRateAndTimeLeft) {
  const TransferFigures half{1536LL * 1024, 3LL * 1024 * 1024, 512 * 1024};
  EXPECT_EQ(progressLine(half), "1.5 MiB / 3.0 MiB  512.0 KiB/s  0:03 left");
  const TransferFigures stalled{10, 100, 0};
  EXPECT_EQ(progressLine(stalled), "10 B / 100 B  0 B/s  --:-- left");
  const TransferFigures unknown{2048, std::nullopt, 1024};
  EXPECT_EQ(progressLine(unknown), "2.0 KiB  1.0 KiB/s");
  const TransferFigures over{150, 100, 10};  // a size that lied
  EXPECT_EQ(over.secondsLeft(), 0.0);
  const TransferFigures found{100, 100, 0};  // all there before any byte moved
  EXPECT_EQ(progressLine(found), "100 B / 100 B  0 B/s  0:00 left");
}

TEST(DownloadProgressTest, TheBarFillsTheWidthInProportion) {
  const TransferFigures half{50, 100, 10};
  const std::string line = progressLine(half);
  const std::string bar = progressBar(half, 60);
  EXPECT_EQ(bar.size(), 60u);
  const int cells = 60 - static_cast<int>(line.size()) - 4;
  EXPECT_EQ(bar,
            "[" + std::string(cells / 2, '#') + std::string(cells - cells / 2, '-') + "]  " + line);

  EXPECT_EQ(progressBar({100, 100, 10}, 60).find('-'), std::string::npos);
  EXPECT_EQ(progressBar({150, 100, 10}, 60).find('-'), std::string::npos);
  EXPECT_EQ(progressBar({70, std::nullopt, 10}, 60).find('#'), std::string::npos);
}

TEST(DownloadProgressTest, ANarrowTerminalGetsNoMoreColumnsThanItHas) {
  // A longer line would wrap, and each redraw would leave a row behind.
  const TransferFigures half{1536LL * 1024, 3LL * 1024 * 1024, 512 * 1024};
  const std::string line = progressLine(half);
  const int tightest = static_cast<int>(line.size()) + 14;  // ten cells, brackets, spaces
  EXPECT_EQ(progressBar(half, tightest), "[#####-----]  " + line);
  EXPECT_EQ(progressBar(half, tightest - 1), line);  // the bar goes first
  EXPECT_EQ(progressBar(half, 20), line.substr(0, 20));
  EXPECT_EQ(progressBar(half, 1), line.substr(0, 1));
}

TEST(DownloadProgressTest, TheRateIsMeasuredOverTheLastSeconds) {
  TransferRate rate(3.0);
  EXPECT_EQ(rate.bytesPerSecond(), 0);
  rate.add(0, 0);
  EXPECT_EQ(rate.bytesPerSecond(), 0);
  rate.add(1, 1000);
  EXPECT_DOUBLE_EQ(rate.bytesPerSecond(), 1000);
  rate.add(2, 1000);
  rate.add(3, 1000);
  EXPECT_NEAR(rate.bytesPerSecond(), 1000.0 / 3, 1e-9);
  rate.add(5, 1000);  // the burst at 1 s has left the window
  EXPECT_EQ(rate.bytesPerSecond(), 0);
  rate.add(6, 4000);
  EXPECT_DOUBLE_EQ(rate.bytesPerSecond(), 1000);
}

}  // namespace
}  // namespace quarn::tool
