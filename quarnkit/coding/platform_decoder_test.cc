#include "quarnkit/coding/platform_decoder.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/platform/device.h"

namespace quarn {
namespace {

using platform::FixedDevice;
using platform::ScopedService;
using platform::UserInterfaceIdiom;

struct Title {
  std::string title;
  static Title decode(Decoder& d) {
    // Reads through whatever decoder it is given: variants apply only when a
    // recursive platform decoder sits above it.
    return {d.container()->decode<std::string>("title")};
  }
};

struct Screen {
  std::string title;
  Title header;
  std::vector<Title> rows;
  std::vector<RawCodingKey> keys;
  static Screen decode(Decoder& d, const std::string& separator, bool recursive) {
    auto c = platformContainer<CodingKeys<"title", "header", "rows">>(d, separator, recursive);
    return {c->decode<std::string>("title"), c->decode<Title>("header"),
            c->decode<std::vector<Title>>("rows"), c->allKeys()};
  }
};

Screen decodeScreen(std::string_view json, UserInterfaceIdiom idiom, std::string separator = "_",
                    bool recursive = true) {
  ScopedService<platform::Device> device(std::make_shared<FixedDevice>(idiom));
  std::optional<Screen> out;
  JSONDecoder().decode(json, [&](Decoder& d) { out = Screen::decode(d, separator, recursive); });
  return *out;
}

constexpr std::string_view kScreen = R"({
  "title": "plain", "title_ipad": "tablet", "title_iphone": "phone",
  "header": {"title": "h", "title_ipad": "h-tablet"},
  "rows": [{"title": "r", "title_ipad": "r-tablet"}, {"title": "s"}],
  "extra": 1
})";

TEST(PlatformDecoderTest, ResolvesDeviceVariantsAtEveryDepth) {
  const Screen tablet = decodeScreen(kScreen, UserInterfaceIdiom::tablet);
  EXPECT_EQ(tablet.title, "tablet");
  EXPECT_EQ(tablet.header.title, "h-tablet");
  EXPECT_EQ(tablet.rows[0].title, "r-tablet");
  EXPECT_EQ(tablet.rows[1].title, "s");

  for (auto idiom :
       {UserInterfaceIdiom::phone, UserInterfaceIdiom::desktop, UserInterfaceIdiom::tv}) {
    const Screen other = decodeScreen(kScreen, idiom);
    EXPECT_EQ(other.title, "phone");
    EXPECT_EQ(other.header.title, "h");
  }
}

TEST(PlatformDecoderTest, WithoutRecursionNestedRecordsReadPlainNames) {
  const Screen tablet = decodeScreen(kScreen, UserInterfaceIdiom::tablet, "_", false);
  EXPECT_EQ(tablet.title, "tablet");
  EXPECT_EQ(tablet.header.title, "h");
  EXPECT_EQ(tablet.rows[0].title, "r");
}

TEST(PlatformDecoderTest, AllKeysListsOnlyTheRecordsOwnKeys) {
  const Screen s = decodeScreen(kScreen, UserInterfaceIdiom::tablet);
  std::vector<std::string> names;
  for (const auto& k : s.keys) names.push_back(k.stringValue());
  EXPECT_EQ(names, (std::vector<std::string>{"title", "header", "rows"}));
}

TEST(PlatformDecoderTest, VariantWithoutPlainMemberAndEmptySeparator) {
  constexpr std::string_view json =
      R"({"title_iphone": "p", "header": {"title": "h"}, "rows": []})";
  EXPECT_EQ(decodeScreen(json, UserInterfaceIdiom::phone).title, "p");
  try {
    decodeScreen(json, UserInterfaceIdiom::tablet);
    FAIL();
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(e.key()->stringValue(), "title");
  }
  constexpr std::string_view glued =
      R"({"title": "a", "titleipad": "b", "header": {"title": "h"}, "rows": []})";
  EXPECT_EQ(decodeScreen(glued, UserInterfaceIdiom::tablet, "").title, "b");
}

TEST(PlatformDecoderTest, InvalidVariantFailsInsteadOfFallingBack) {
  constexpr std::string_view json =
      R"({"title": "a", "title_ipad": 5, "header": {"title": "h"}, "rows": []})";
  try {
    decodeScreen(json, UserInterfaceIdiom::tablet);
    FAIL();
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(codingPathDescription(e.codingPath()), "title_ipad");
  }
}

TEST(PlatformDecoderTest, PositionalKeysAreNeverSuffixedAndKeysConvert) {
  ScopedService<platform::Device> device(std::make_shared<FixedDevice>(UserInterfaceIdiom::tablet));
  JSONDecoder().decode(R"({"0": "zero", "0_ipad": "variant"})", [](Decoder& d) {
    auto c = platformContainer(d, "_", true);
    EXPECT_EQ(c->decode<std::string>(CodingKeyRef("0", 0)), "zero");
    EXPECT_EQ(c->decode<std::string>("0"), "variant");
  });
  using Keys = CodingKeys<"a", "b">;
  EXPECT_EQ(convertKey<Keys>(RawCodingKey("b"))->stringValue(), "b");
  EXPECT_FALSE(convertKey<Keys>(RawCodingKey("c")));
  EXPECT_FALSE(convertKey<Keys>(RawCodingKey::index(0)));
  EXPECT_EQ(convertKey<RawCodingKey>(RawCodingKey::index(3))->intValue(), 3);
}

}  // namespace
}  // namespace quarn
