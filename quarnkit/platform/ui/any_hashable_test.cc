// AnyHashable: equality by type and value, whether the value is kept inline
// (integers, enumerations) or boxed.
#include "quarnkit/platform/ui/any_hashable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarn::platform {
namespace {

enum class Side { left, right };

TEST(AnyHashableTest, EqualityNeedsTheSameTypeAndValue) {
  const AnyHashable one(std::int64_t{1});
  EXPECT_EQ(one, AnyHashable(std::int64_t{1}));
  EXPECT_NE(one, AnyHashable(std::int64_t{2}));
  EXPECT_NE(one, AnyHashable(1));               // int, not int64: another type
  EXPECT_NE(one, AnyHashable(std::size_t{1}));  // same bits, another type
  EXPECT_NE(AnyHashable(true), AnyHashable(1));
  EXPECT_EQ(AnyHashable(Side::left), AnyHashable(Side::left));
  EXPECT_NE(AnyHashable(Side::left), AnyHashable(Side::right));

  const AnyHashable text(std::string("a"));
  EXPECT_EQ(text, AnyHashable(std::string("a")));
  EXPECT_NE(text, AnyHashable(std::string("b")));
  EXPECT_NE(text, one);
  const AnyHashable copy = text;  // copies share the box
  EXPECT_EQ(copy, text);
}

TEST(AnyHashableTest, GetAnswersOnlyTheWrappedType) {
  const AnyHashable n(std::int64_t{-7});
  ASSERT_NE(n.get<std::int64_t>(), nullptr);
  EXPECT_EQ(*n.get<std::int64_t>(), -7);
  EXPECT_EQ(n.get<int>(), nullptr);
  EXPECT_EQ(n.get<std::string>(), nullptr);
  EXPECT_EQ(n.type(), typeid(std::int64_t));
  EXPECT_EQ(n.hash(), std::hash<std::int64_t>()(-7));

  const AnyHashable s(std::string("row"));
  ASSERT_NE(s.get<std::string>(), nullptr);
  EXPECT_EQ(*s.get<std::string>(), "row");
  EXPECT_EQ(s.get<std::int64_t>(), nullptr);
  EXPECT_EQ(*AnyHashable(Side::right).get<Side>(), Side::right);
}

TEST(AnyHashableTest, WrappedTogetherBehaveAsWrappedAlone) {
  std::vector<AnyHashable> rows =
      AnyHashable::wrapEach(std::vector<std::string>{"a", "b", "a", std::string(40, 'x')});
  ASSERT_EQ(rows.size(), 4u);
  for (const char* text : {"a", "b"}) {
    const AnyHashable alone{std::string(text)};
    const auto& row = rows[text[0] == 'a' ? 0 : 1];
    EXPECT_EQ(row, alone);
    EXPECT_EQ(row.hash(), alone.hash());
    EXPECT_EQ(*row.get<std::string>(), text);
  }
  EXPECT_EQ(rows[0], rows[2]);  // equal values, separate slots
  EXPECT_NE(rows[0], rows[1]);
  EXPECT_EQ(rows[0].get<int>(), nullptr);

  // The shared block lives as long as any wrapper of it.
  const AnyHashable kept = rows[3];
  rows.clear();
  EXPECT_EQ(*kept.get<std::string>(), std::string(40, 'x'));

  const auto numbers = AnyHashable::wrapEach(std::vector<std::int64_t>{5, 6});
  EXPECT_EQ(numbers[1], AnyHashable(std::int64_t{6}));
  EXPECT_TRUE(AnyHashable::wrapEach(std::vector<std::string>{}).empty());
}

}  // namespace
}  // namespace quarn::platform
