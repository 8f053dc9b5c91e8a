#include "quarnkit/coding/json_convertible.h"

#include <gtest/gtest.h>

#include <cmath>

#include "quarnkit/core/log.h"

namespace quarn {
namespace {

struct Profile : CodableJSONConvertable<Profile> {
  std::string name;
  std::optional<std::int64_t> age;
  static Profile decode(Decoder& d) {
    auto c = d.container();
    Profile p;
    p.name = c->decode<std::string>("name");
    p.age = c->decodeIfPresent<std::int64_t>("age");
    return p;
  }
  void encode(Encoder& e) const {
    auto c = e.container();
    c->encode(name, "name");
    c->encodeIfPresent(age, "age");
  }
};
static_assert(JSONConvertable<Profile>);

struct Bare : EncodableToJSONConvertable<Bare> {
  void encode(Encoder& e) const { e.singleValueContainer()->encode(std::string("text")); }
};

struct Broken : EncodableToJSONConvertable<Broken> {
  void encode(Encoder& e) const { e.singleValueContainer()->encode(std::nan("")); }
};

TEST(JSONConvertableTest, RoundTripsThroughTextAndMaps) {
  auto p = Profile::fromJsonString(R"({"name":"Ann","age":3})");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->toJson(), (ValueObject{{"name", "Ann"}, {"age", 3}}));
  EXPECT_EQ(p->toJsonString(), R"({"name":"Ann","age":3})");
  EXPECT_EQ(p->toJsonString(true), "{\n  \"name\" : \"Ann\",\n  \"age\" : 3\n}");
  EXPECT_EQ(Profile::fromJson(ValueObject{{"name", "Bo"}})->name, "Bo");

  auto list = arrayFromJsonString<Profile>(R"([{"name":"a"},{"name":"b"}])");
  ASSERT_TRUE(list);
  EXPECT_EQ(toJson(*list).size(), 2u);
  EXPECT_EQ(toJsonString(*list), R"([{"name":"a"},{"name":"b"}])");
  EXPECT_EQ(arrayFromJson<Profile>({ValueObject{{"name", "c"}}})->front().name, "c");
}

TEST(JSONConvertableTest, FailuresGiveNothingAndOneQuotedDebugLine) {
  testing::StdoutCapture out;
  EXPECT_FALSE(Profile::fromJsonString(R"({"age":3})"));
  EXPECT_FALSE(Profile::fromJsonString("\xff\xfe"));  // not UTF-8: no line
  EXPECT_FALSE(Profile::fromJson(ValueObject{{"name", 5}}));
  EXPECT_EQ(Broken().toJsonString(), std::nullopt);
  EXPECT_TRUE(Bare().toJson().empty()) << "a bare string is not a map";
  const auto lines = out.lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("\"‼️ failed init model "));
  EXPECT_NE(lines[0].find("Profile from {\\\"age\\\":3}. Error keyNotFound(\\\"name\\\")"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find("from [\\\"name\\\": 5]. Error typeMismatch(String)"), std::string::npos)
      << lines[1];
  EXPECT_TRUE(lines[2].starts_with("\"‼️ invalidValue(nan)")) << lines[2];
}

TEST(JSONConvertableTest, ListFailuresNameTheListAsTheLibraryDoes) {
  testing::StdoutCapture out;
  EXPECT_FALSE(arrayFromJsonString<Profile>(R"([{"age":3}])"));
  EXPECT_FALSE(arrayFromJson<Profile>({ValueObject{{"age", 3}}}));
  const auto lines = out.lines();
  ASSERT_EQ(lines.size(), 2u);
  for (const auto& line : lines) {
    EXPECT_TRUE(line.starts_with("\"‼️ failed init model Array<quarn::")) << line;
    EXPECT_NE(line.find("Profile> from ["), std::string::npos) << line;
    EXPECT_EQ(line.find("std::"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace quarn
