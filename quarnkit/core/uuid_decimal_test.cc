#include <gtest/gtest.h>

#include "quarnkit/core/decimal.h"
#include "quarnkit/core/uuid.h"

namespace quarn {
namespace {

TEST(UUIDTest, ParsesCanonicalTextAndWritesUpperCase) {
  auto u = UUID::parse("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
  ASSERT_TRUE(u);
  EXPECT_EQ(u->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(UUID::parse(u->uuidString()), u);
  for (const char* bad :
       {"", "e621e1f8c36c495a93fc0c247a3e6e5f", "e621e1f8-c36c-495a-93fc-0c247a3e6e5g",
        "e621e1f8-c36c-495a-93fc-0c247a3e6e5f0", "{e621e1f8-c36c-495a-93fc-0c247a3e6e}"}) {
    EXPECT_FALSE(UUID::parse(bad)) << bad;
  }
}

TEST(DecimalTest, ParsesExactlyAndPrintsPlainText) {
  EXPECT_EQ((*Decimal::parse("9.99") * Decimal(12)).toString(), "119.88");
  EXPECT_EQ(Decimal::parse("1e3")->toString(), "1000");
  EXPECT_EQ(Decimal::parse("-0.50")->toString(), "-0.5");
  EXPECT_EQ((*Decimal::parse("0.1") + *Decimal::parse("0.2")), *Decimal::parse("0.3"));
  for (const char* bad : {"", "1,5", " 1", "e5", "nan", "1e", "1e99999999"}) {
    EXPECT_FALSE(Decimal::parse(bad)) << bad;
  }
}

}  // namespace
}  // namespace quarn
