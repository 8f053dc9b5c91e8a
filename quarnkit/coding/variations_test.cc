#include "quarnkit/coding/variations.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

enum class Idiom { phone, pad, tv };

// A key type that names itself.
struct Theme {
  std::string rawValue;
  static std::optional<Theme> fromRawValue(std::string_view raw) {
    if (raw == "light" || raw == "dark") return Theme{std::string(raw)};
    return std::nullopt;
  }
  static Theme defaultKey() { return {"light"}; }
  friend bool operator==(const Theme&, const Theme&) = default;
};

}  // namespace

template <>
struct VariationsKeyTraits<Idiom> {
  static std::optional<Idiom> fromRawValue(std::string_view raw) {
    if (raw == "phone") return Idiom::phone;
    if (raw == "pad") return Idiom::pad;
    if (raw == "tv") return Idiom::tv;
    return std::nullopt;
  }
  static std::string rawValue(Idiom idiom) {
    switch (idiom) {
      case Idiom::phone:
        return "phone";
      case Idiom::pad:
        return "pad";
      case Idiom::tv:
        return "tv";
    }
    return {};
  }
  static Idiom defaultKey() { return Idiom::phone; }
};

}  // namespace quarn

template <>
struct std::hash<quarn::Theme> {
  std::size_t operator()(const quarn::Theme& t) const noexcept {
    return std::hash<std::string>()(t.rawValue);
  }
};

namespace quarn {
namespace {

using Columns = Variations<Idiom, std::int64_t>;
using Links = Variations<Idiom, URL>;

DecodingError decodingErrorOf(const std::function<void()>& f) {
  auto e = quarn::testing::errorOfType<DecodingError>(f);
  if (!e) ADD_FAILURE() << "no DecodingError";
  return e.value_or(DecodingError::dataCorrupted({}));
}

TEST(VariationsTest, DecodesTheMembersThatNameKeys) {
  const JSONDecoder decoder;
  const auto columns = decoder.decode<Columns>(R"({"pad":4,"watch":9,"tv":null,"phone":2})");
  EXPECT_EQ(columns, (Columns{{Idiom::pad, 4}, {Idiom::phone, 2}}));

  const auto themes =
      decoder.decode<Variations<Theme, std::string>>(R"({"dark":"#000","sepia":"#fed"})");
  EXPECT_EQ(themes.rawValue.size(), 1U);
  EXPECT_EQ(themes.value(Theme{"dark"}), "#000");

  // A bare URL for URL values only.
  const auto links = decoder.decode<Links>(R"("https://example.com/a")");
  EXPECT_EQ(links.value(Idiom::phone)->absoluteString(), "https://example.com/a");
  EXPECT_EQ(links.rawValue.size(), 1U);
}

TEST(VariationsTest, FailuresCarryTheCodingPath) {
  const JSONDecoder decoder;
  struct Row {
    const char* json;
    std::function<void(const char*)> decode;
    DecodingError::Kind kind;
    const char* path;
  };
  const auto columns = [&](const char* json) { (void)decoder.decode<std::vector<Columns>>(json); };
  const auto links = [&](const char* json) { (void)decoder.decode<std::vector<Links>>(json); };
  const Row rows[] = {
      {R"([{"pad":1},7])", columns, DecodingError::Kind::dataCorrupted, "[1]"},
      {R"([{"pad":1},null])", columns, DecodingError::Kind::dataCorrupted, "[1]"},
      {"null", [&](const char* json) { (void)decoder.decode<Columns>(json); },
       DecodingError::Kind::dataCorrupted, ""},
      {R"([{"pad":1},"https://example.com"])", columns, DecodingError::Kind::dataCorrupted, "[1]"},
      {R"([{"pad":"four"}])", columns, DecodingError::Kind::typeMismatch, "[0].pad"},
      {R"([{"pad":"https://example.com"},["x"]])", links, DecodingError::Kind::typeMismatch, "[1]"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.json);
    const DecodingError e = decodingErrorOf([&] { row.decode(row.json); });
    EXPECT_EQ(e.kind(), row.kind) << e.description();
    EXPECT_EQ(codingPathDescription(e.codingPath()), row.path);
    if (row.kind == DecodingError::Kind::dataCorrupted) {
      EXPECT_EQ(e.debugDescription(), "");
    }
  }
}

TEST(VariationsTest, LookUpsFallBackAndWalkPreferences) {
  Columns columns{{Idiom::pad, 4}, {Idiom::tv, std::nullopt}};
  EXPECT_EQ(columns.rawValue.size(), 1U);  // the absent value is left out
  EXPECT_EQ(columns.value(Idiom::phone), std::nullopt);
  EXPECT_EQ(columns.value(Idiom::phone, Idiom::pad), 4);
  EXPECT_EQ(columns.value(Idiom::phone, Idiom::tv), std::nullopt);
  EXPECT_EQ(columns.value({Idiom::phone, Idiom::pad}), 4);
  EXPECT_EQ(columns.value(std::vector<Idiom>{Idiom::tv, Idiom::phone}), std::nullopt);

  columns.setValue(Idiom::phone, 2);
  EXPECT_EQ(columns.value({Idiom::phone, Idiom::pad}), 2);
  columns.setValue(Idiom::pad, std::nullopt);
  EXPECT_EQ(columns.rawValue.size(), 1U);

  EXPECT_EQ(Columns(3).value(Idiom::phone), 3);  // a single value goes to the default key
  EXPECT_EQ(std::hash<Columns>()(Columns{{Idiom::pad, 1}, {Idiom::tv, 2}}),
            std::hash<Columns>()(Columns{{Idiom::tv, 2}, {Idiom::pad, 1}}));
}

TEST(VariationsTest, EncodesAnObjectThatDecodesBack) {
  const Columns columns{{Idiom::tv, 6}, {Idiom::pad, 4}, {Idiom::phone, 2}};
  const std::string json = JSONEncoder().encode(columns);
  EXPECT_EQ(json, R"({"pad":4,"phone":2,"tv":6})");
  EXPECT_EQ(JSONDecoder().decode<Columns>(json), columns);
  // A URL read from a bare string is written back as an object.
  const auto links = JSONDecoder().decode<Links>(R"("https://example.com/a")");
  EXPECT_EQ(JSONEncoder().encode(links), R"({"phone":"https://example.com/a"})");
}

TEST(VariationsDeathTest, AKeyGivenTwiceStops) {
  EXPECT_DEATH((Columns{{Idiom::pad, 1}, {Idiom::pad, std::nullopt}}),
               "a key is given more than once");
}

}  // namespace
}  // namespace quarn
