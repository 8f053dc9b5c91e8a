// AnyHashable: equality by type and value, whether the value is kept inline
// (integers, enumerations) or boxed.
#include "quarnkit/platform/ui/any_hashable.h"

#include <gtest/gtest.h>

#include <stdexcept>
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
  // A copy is what is tested: copies share the box.
  // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
  const AnyHashable copy = text;
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

// Counts the values alive, to check a shared block frees exactly what it made.
struct Counted {
  static inline int alive = 0;
  std::string text;
  explicit Counted(std::string t) : text(std::move(t)) { ++alive; }
  Counted(const Counted& other) : text(other.text) { ++alive; }
  Counted(Counted&& other) noexcept : text(std::move(other.text)) { ++alive; }
  ~Counted() { --alive; }
  Counted& operator=(const Counted&) = delete;
  friend bool operator==(const Counted& a, const Counted& b) { return a.text == b.text; }
};

}  // namespace
}  // namespace quarn::platform

template <>
struct std::hash<quarn::platform::Counted> {
  std::size_t operator()(const quarn::platform::Counted& c) const noexcept {
    return std::hash<std::string>()(c.text);
  }
};

namespace quarn::platform {
namespace {

TEST(AnyHashableTest, MadeTogetherIntoAReusedListAndFreedExactly) {
  {
    // The values may be taken from the list being refilled.
    std::vector<AnyHashable> list = AnyHashable::wrapEach(std::vector<std::string>{"x", "y"});
    AnyHashable::makeEach<Counted>(
        list, list.size(),
        [&list](std::size_t i) { return Counted(*list[i].get<std::string>() + "!"); },
        std::hash<Counted>());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].get<Counted>()->text, "y!");
    EXPECT_EQ(list[0], AnyHashable(Counted("x!")));
    EXPECT_EQ(Counted::alive, 2);
  }
  EXPECT_EQ(Counted::alive, 0);

  // A make() that throws part way: what was made is freed, nothing else.
  const auto failing = [] {
    return AnyHashable::makeEach<Counted>(
        4,
        [](std::size_t i) {
          if (i == 2) throw std::runtime_error("third");
          return Counted(std::string(40, static_cast<char>('a' + i)));
        },
        std::hash<Counted>());
  };
  EXPECT_THROW((void)failing(), std::runtime_error);
  EXPECT_EQ(Counted::alive, 0);
  EXPECT_TRUE(AnyHashable::makeEach<Counted>(
                  0, [](std::size_t) { return Counted("never"); }, std::hash<Counted>())
                  .empty());
}

}  // namespace
}  // namespace quarn::platform
