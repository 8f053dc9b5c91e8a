#include "quarnkit/predicate/detail/value_compare.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

struct OrderCase {
  Value a, b;
  std::partial_ordering expected;
};

TEST(ValueCompareTest, NumbersCompareExactlyAcrossKinds) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const auto& c : std::vector<OrderCase>{
           {1, 1.0, std::partial_ordering::equivalent},
           {1, 1.5, std::partial_ordering::less},
           {-1, -1.5, std::partial_ordering::greater},
           {-2, -1.5, std::partial_ordering::less},
           {true, 1, std::partial_ordering::equivalent},
           {false, 0.5, std::partial_ordering::less},
           // 2^53 + 1 is not a double: converting the integer would say "equal".
           {9007199254740993, 9007199254740992.0, std::partial_ordering::greater},
           {INT64_MAX, 9223372036854775808.0, std::partial_ordering::less},
           {INT64_MIN, -9223372036854775808.0, std::partial_ordering::equivalent},
           {INT64_MIN, -1e19, std::partial_ordering::greater},
           {1e19, INT64_MAX, std::partial_ordering::greater},
           {0, nan, std::partial_ordering::unordered},
           {nan, nan, std::partial_ordering::unordered},
           {"a", "b", std::partial_ordering::less},
           {"b", "a", std::partial_ordering::greater},
           {"\u00e9", "z", std::partial_ordering::greater},  // code point order
           {Date(1), Date(2), std::partial_ordering::less},
       }) {
    EXPECT_EQ(orderValues(c.a, c.b), c.expected)
        << c.a.description() << " vs " << c.b.description();
  }
}

TEST(ValueCompareTest, NullOrdersOnlyAgainstNull) {
  EXPECT_EQ(orderValues(Value(), Value()), std::partial_ordering::equivalent);
  for (const Value& v : {Value(1), Value("a"), Value(Date(1)), Value(Value::Array{})}) {
    EXPECT_EQ(orderValues(Value(), v), std::partial_ordering::unordered) << v.description();
    EXPECT_EQ(orderValues(v, Value()), std::partial_ordering::unordered) << v.description();
  }
}

TEST(ValueCompareTest, EqualityAcceptsAnyKindsButOrderingDoesNot) {
  EXPECT_TRUE(valuesEqual(Value(), Value()));
  EXPECT_FALSE(valuesEqual(Value(), Value(0)));
  EXPECT_FALSE(valuesEqual(Value("1"), Value(1)));
  EXPECT_TRUE(valuesEqual(Value(true), Value(1.0)));
  EXPECT_TRUE(valuesEqual(Value(Value::Array{1, "a"}), Value(Value::Array{1.0, "a"})));
  for (const auto& [a, b] :
       std::vector<std::pair<Value, Value>>{{Value("1"), Value(1)},
                                            {Value(Date(1)), Value(1)},
                                            {Value(Value::Array{}), Value(Value::Array{})}}) {
    EXPECT_THROW((void)orderValues(a, b), PredicateEvaluationError) << a.description();
  }
}

}  // namespace
}  // namespace quarn::detail
