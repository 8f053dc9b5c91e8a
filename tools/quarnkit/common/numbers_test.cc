// The one reading of numbers given on the command line: a leading '+' is
// taken, and nothing else that is not the number itself.
#include "tools/quarnkit/common/numbers.h"

#include <gtest/gtest.h>

#include <limits>

namespace quarn::tool {
namespace {

TEST(NumbersTest, ReadsFiniteNumbersWithAnOptionalPlus) {
  EXPECT_EQ(readNumber("5"), 5.0);
  EXPECT_EQ(readNumber("+5"), 5.0);
  EXPECT_EQ(readNumber("-0.25"), -0.25);
  EXPECT_EQ(readNumber("+2.5e3"), 2500.0);
  EXPECT_EQ(readNumber("1e-300"), 1e-300);
  EXPECT_EQ(readNumber("1.7976931348623157e308"), std::numeric_limits<double>::max());
  for (const char* refused : {"", "+", "-", "++5", "+-5", "-+5", " 5", "5 ", "5x", "0x10", "inf",
                              "+inf", "nan", "1e999", "-1e999", "1,5"}) {
    EXPECT_EQ(readNumber(refused), std::nullopt) << refused;
  }
}

TEST(NumbersTest, ReadsWholeNumbersWithinTheirLargest) {
  EXPECT_EQ(readWholeNumber("0", 10), 0u);
  EXPECT_EQ(readWholeNumber("+10", 10), 10u);
  EXPECT_EQ(readWholeNumber("18446744073709551615", std::numeric_limits<std::uint64_t>::max()),
            std::numeric_limits<std::uint64_t>::max());
  for (const char* refused : {"", "+", "11", "-1", "-0", "++1", "+-1", "1.0", "1e1", " 1", "1 ",
                              "18446744073709551616"}) {
    EXPECT_EQ(readWholeNumber(refused, 10), std::nullopt) << refused;
  }
}

}  // namespace
}  // namespace quarn::tool
