#include "quarnkit/coding/any_castable.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quarnkit/core/decimal.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/platform/locale.h"

namespace quarn {
namespace {

TEST(AnyCastableTest, IntegersInOrderOfChecks) {
  struct Case {
    Value in;
    std::optional<std::int64_t> out;
  };
  const Case cases[] = {
      {Value(7), 7},
      {Value(12.9), 12},
      {Value(-12.9), -12},
      {Value("+12"), 12},
      {Value("-12"), -12},
      {Value(" 12"), std::nullopt},
      {Value("12 "), std::nullopt},
      {Value(""), std::nullopt},
      {Value("+"), std::nullopt},
      {Value("1.5"), std::nullopt},
      {Value("9223372036854775807"), INT64_MAX},
      {Value("-9223372036854775808"), INT64_MIN},
      {Value("9223372036854775808"), std::nullopt},
      {Value(1e19), std::nullopt},
      {Value(std::nan("")), std::nullopt},
      {Value(true), 1},
      {Value(), std::nullopt},
      {Value(Value::Array{}), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(cast<std::int64_t>(c.in), c.out) << c.in.description();
}

TEST(AnyCastableTest, FloatingNumbersBooleansAndText) {
  EXPECT_EQ(cast<double>(Value("1e3")), 1000.0);
  EXPECT_EQ(cast<double>(Value(" 1")), std::nullopt);
  EXPECT_EQ(cast<double>(Value("\t1")), std::nullopt);
  EXPECT_EQ(cast<double>(Value("1x")), std::nullopt);
  EXPECT_EQ(cast<double>(Value("")), std::nullopt);
  EXPECT_EQ(cast<double>(Value(3)), 3.0);
  EXPECT_EQ(cast<float>(Value("0.5")), 0.5F);
  // Beyond float's range: infinity, from a number as from its text.
  constexpr float infinity = std::numeric_limits<float>::infinity();
  EXPECT_EQ(cast<float>(Value(1e300)), infinity);
  EXPECT_EQ(cast<float>(Value(-1e300)), -infinity);
  EXPECT_EQ(cast<float>(Value("1e300")), infinity);

  EXPECT_EQ(cast<bool>(Value("YES")), true);
  EXPECT_EQ(cast<bool>(Value("No")), false);
  EXPECT_EQ(cast<bool>(Value("0")), false);
  EXPECT_EQ(cast<bool>(Value("2")), std::nullopt);
  EXPECT_EQ(cast<bool>(Value(2)), true);
  EXPECT_EQ(cast<bool>(Value(0)), false);
  EXPECT_EQ(cast<bool>(Value(1.0)), std::nullopt);

  EXPECT_EQ(cast<std::string>(Value(42)), "42");
  EXPECT_EQ(cast<std::string>(Value("x")), "x");
  EXPECT_EQ(cast<std::string>(Value()), std::nullopt);
}

TEST(AnyCastableTest, DatesTryTheFormatsInOrderInTheDeviceTimeZone) {
  platform::ScopedService<platform::Locale> locale(std::make_shared<platform::FixedLocale>(
      "en_US", std::vector<std::string>{"en"}, "Europe/Berlin"));
  // 2024-02-29 00:00 in Berlin is 23:00 UTC the day before.
  const Date midnightBerlin(1709161200);
  EXPECT_EQ(cast<Date>(Value("2024-02-29")), midnightBerlin);
  EXPECT_EQ(cast<Date>(Value("29.02.2024")), midnightBerlin);
  EXPECT_EQ(cast<Date>(Value("02/29/2024")), midnightBerlin);
  EXPECT_EQ(cast<Date>(Value("2024-01-31T10:00:00+0000")), Date(1706695200));
  EXPECT_EQ(cast<Date>(Value("2024-01-31T10:00:00.500-0100")), Date(1706698800.5));
  EXPECT_EQ(cast<Date>(Value("2023-02-29")), std::nullopt);
  EXPECT_EQ(cast<Date>(Value("2024-02-29 junk")), std::nullopt);
  EXPECT_EQ(cast<Date>(Value(Date(5))), Date(5));
}

TEST(AnyCastableTest, URLsUUIDsDecimalsAndCollections) {
  EXPECT_EQ(cast<URL>(Value("https://a.b"))->host(), "a.b");
  EXPECT_EQ(cast<URL>(Value("not a url")), std::nullopt);
  EXPECT_TRUE(cast<UUID>(Value("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")));
  EXPECT_EQ(cast<UUID>(Value("e621")), std::nullopt);
  EXPECT_EQ(cast<Decimal>(Value(0.1))->toString(), "0.1");
  EXPECT_EQ(cast<Decimal>(Value("12.50"))->toString(), "12.5");
  EXPECT_EQ(cast<Decimal>(Value(true)), std::nullopt);

  const Value list = Value::Array{1, "2", "x"};
  EXPECT_EQ(cast<std::vector<std::int64_t>>(list), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(cast<std::vector<std::int64_t>>(Value(1)), std::nullopt);
  EXPECT_EQ((cast<std::map<std::string, bool>>(Value({{"a", "yes"}, {"b", "maybe"}}))),
            (std::map<std::string, bool>{{"a", true}}));
}

struct Point {
  std::int64_t x = 0, y = 0;
  static Point decode(Decoder& d) {
    auto c = d.container();
    return {c->decode<std::int64_t>("x"), c->decode<std::int64_t>("y")};
  }
};

// A record whose own decoding fails with a standard exception, not a
// decoding error.
struct Picky {
  std::string code;
  static Picky decode(Decoder& d) {
    auto code = d.container()->decode<std::string>("code");
    return {code.substr(3)};  // std::out_of_range for codes under 3 characters
  }
  bool operator==(const Picky&) const = default;
};

}  // namespace

template <>
struct AnyCastable<Point> : DecodableAnyCastable<Point> {};
template <>
struct AnyCastable<Picky> : DecodableAnyCastable<Picky> {};

namespace {
TEST(AnyCastableTest, DecodableRecordsFromMaps) {
  auto p = cast<Point>(Value({{"x", 1}, {"y", 2}}));
  ASSERT_TRUE(p);
  EXPECT_EQ(p->y, 2);
  EXPECT_FALSE(cast<Point>(Value({{"x", 1}})));
  EXPECT_FALSE(cast<Point>(Value("{\"x\":1,\"y\":2}")));
  EXPECT_EQ(
      cast<std::vector<Point>>(Value(Value::Array{Value({{"x", 1}, {"y", 2}}), Value(3)}))->size(),
      1u);
}

TEST(AnyCastableTest, RecordsGiveNothingOnAnyFailure) {
  EXPECT_EQ(cast<Picky>(Value({{"code", "ABC-1"}}))->code, "-1");
  EXPECT_FALSE(cast<Picky>(Value({{"code", "A"}})));
  EXPECT_FALSE(cast<Point>(Value({{"x", 1}, {"y", std::nan("")}})));  // not writable as JSON
  EXPECT_EQ(cast<std::vector<Picky>>(
                Value(Value::Array{Value({{"code", "A"}}), Value({{"code", "XYZ9"}})})),
            (std::optional<std::vector<Picky>>(std::vector<Picky>{{"9"}})));
}
}  // namespace
}  // namespace quarn
