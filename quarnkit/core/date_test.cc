#include "quarnkit/core/date.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

TEST(DateTest, ParsesInternetDateTimes) {
  struct Case {
    const char* text;
    std::optional<double> seconds;
  };
  const Case cases[] = {
      {"1970-01-01T00:00:00Z", 0},
      {"2024-01-31T10:00:00Z", 1706695200},
      {"2024-01-31T11:00:00+01:00", 1706695200},
      {"2024-01-31T09:30:00-00:30", 1706695200},
      {"2024-02-29T00:00:00Z", 1709164800},
      {"1969-12-31T23:59:59Z", -1},
      {"2023-02-29T00:00:00Z", std::nullopt},  // not a leap year
      {"2024-01-31T10:00:00", std::nullopt},   // no zone
      {"2024-01-31 10:00:00Z", std::nullopt},
      {"2024-01-31T10:00:00.5Z", std::nullopt},  // fractions need the option
      {"2024-01-31T10:00:00Zjunk", std::nullopt},
      {"2024-13-01T10:00:00Z", std::nullopt},
      {"2024-01-31T24:00:00Z", std::nullopt},
      {"2024-01-31", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    auto d = Date::parseISO8601(c.text);
    ASSERT_EQ(d.has_value(), c.seconds.has_value()) << c.text;
    if (d) {
      EXPECT_EQ(d->timeIntervalSince1970(), *c.seconds) << c.text;
    }
  }
  auto frac = Date::parseISO8601("2024-01-31T10:00:00.250Z", {.fractionalSeconds = true});
  ASSERT_TRUE(frac);
  EXPECT_DOUBLE_EQ(frac->timeIntervalSince1970(), 1706695200.25);
}

TEST(DateTest, FormatsAndRoundTrips) {
  Date d(1706695200.25);
  EXPECT_EQ(d.iso8601String(), "2024-01-31T10:00:00Z");
  EXPECT_EQ(d.iso8601String(true), "2024-01-31T10:00:00.250Z");
  EXPECT_EQ(d.description(), "2024-01-31 10:00:00 +0000");
  EXPECT_EQ(Date(-1).iso8601String(), "1969-12-31T23:59:59Z");
  EXPECT_EQ(Date::parseISO8601(Date(1e9).iso8601String()), Date(1e9));
  EXPECT_EQ(Date::fromTimeIntervalSinceReferenceDate(0).timeIntervalSince1970(), 978307200.0);
}

}  // namespace
}  // namespace quarn
