#include "quarnkit/core/data.h"

#include <gtest/gtest.h>

#include <random>

namespace quarn {
namespace {

TEST(DataTest, Base64AcceptsOnlyPaddedCanonicalLengths) {
  struct Case {
    const char* text;
    std::optional<std::string> bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"QQ==", "A"},
      {"QUI=", "AB"},
      {"QUJD", "ABC"},
      {"QUJDRA==", "ABCD"},
      {"+/+/", "\xfb\xff\xbf"},
      {"QQ", std::nullopt},        // padding left out
      {"Q", std::nullopt},         // a lone character holds no byte
      {"QQ==QUJD", std::nullopt},  // data after the padding
      {"QQ=x", std::nullopt},      // padding in the middle of the last group
      {"QU=D", std::nullopt},
      {"Q===", std::nullopt},  // padding where a byte must be
      {"====", std::nullopt},
      {"QUJD\n", std::nullopt},  // no whitespace
      {"QU-D", std::nullopt},    // the URL alphabet is another encoding
      {"QU_D", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const auto data = Data::fromBase64(c.text);
    if (!c.bytes) {
      EXPECT_FALSE(data);
    } else {
      ASSERT_TRUE(data);
      EXPECT_EQ(*data, Data(*c.bytes));
    }
  }
}

TEST(DataTest, Base64RoundTripsEveryLengthAndByte) {
  std::mt19937 random(7);
  for (std::size_t size = 0; size < 64; ++size) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    const Data data(bytes);
    const std::string text = data.base64EncodedString();
    EXPECT_EQ(text.size(), (size + 2) / 3 * 4);
    EXPECT_EQ(Data::fromBase64(text), data) << text;
  }
  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(Data::fromBase64(Data(all).base64EncodedString()), Data(all));
}

}  // namespace
}  // namespace quarn
