#include "quarnkit/platform/detail/key_value_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <random>

namespace quarn::platform::detail {
namespace {

using Bytes = KeyValueStore::Data;

// Random values with the hard parts over-represented: doubles of every bit
// pattern, texts that are not UTF-8 or look like the file's own tags, deep
// nesting.
class ValueGenerator {
 public:
  explicit ValueGenerator(std::uint64_t seed) : random_(seed) {}

  Value value(int depth = 0) {
    switch (pick(depth < 6 ? 9 : 7)) {
      case 0:
        return nullptr;
      case 1:
        return pick(2) == 0;
      case 2:
        return static_cast<std::int64_t>(random_()) >> pick(64);
      case 3:
      case 4:
        return number();
      case 5:
        return text();
      case 6:
        return Date(number());
      case 7: {
        Value::Array a;
        for (int n = pick(4); n > 0; --n) a.push_back(value(depth + 1));
        return a;
      }
      default: {
        Value::Object o;
        for (int n = pick(4); n > 0; --n) o.set(text(), value(depth + 1));
        return o;
      }
    }
  }

  std::string text() {
    static const char* const kTexts[] = {
        "",        "a",        "$date",  "$double", "$string",
        "$object", "$",        "$$date", "key",     "\xc3\xa9t\xc3\xa9",
        "\"\\/",   "\n\t\x01", "version"};
    switch (pick(3)) {
      case 0:
        return kTexts[pick(std::size(kTexts))];
      case 1:
        return std::string(1, '\0') + kTexts[pick(std::size(kTexts))];
      default: {
        std::string s;
        for (int n = pick(6); n > 0; --n) s += static_cast<char>(random_());  // mostly not UTF-8
        return s;
      }
    }
  }

  double number() {
    static const double kSpecial[] = {0.0,
                                      -0.0,
                                      2.0,
                                      1e300,
                                      4.512149038445381e-15,
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(),
                                      -std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::lowest()};
    if (pick(3) == 0) return kSpecial[pick(std::size(kSpecial))];
    return std::bit_cast<double>(random_());  // any pattern, NaN payloads included
  }

 private:
  int pick(std::size_t n) { return static_cast<int>(random_() % n); }
  std::mt19937_64 random_;
};

// Nested `depth` levels: objects keyed by a tag (the file's deepest form)
// around arrays, with a non-finite Date at the bottom.
Value nested(int depth) {
  Value v = Date(-std::numeric_limits<double>::infinity());
  for (int i = 0; i < depth; ++i) {
    v = i % 2 == 0 ? Value(Value::Object{{"$object", std::move(v)}}) : Value(Value::Array{v});
  }
  return v;
}

StoredValues readBack(const StoredValues& values) {
  auto file = readKeyValueFile(writeKeyValueFile(values));
  EXPECT_TRUE(file && !file->laterFormat);
  return file ? file->values : StoredValues{};
}

TEST(KeyValueFileTest, EveryGeneratedValueReadsBackExactly) {
  ValueGenerator generate(20240611);
  for (int round = 0; round < 300; ++round) {
    StoredValues values;
    for (int i = 0; i < 8; ++i) values.insert_or_assign(generate.text(), generate.value());
    const std::string bytes = generate.text();
    values.insert_or_assign(generate.text(), Bytes(bytes.begin(), bytes.end()));
    const std::string text = writeKeyValueFile(values);
    const auto file = readKeyValueFile(text);
    ASSERT_TRUE(file) << text;
    ASSERT_TRUE(identical(file->values, values)) << text;
    EXPECT_EQ(writeKeyValueFile(file->values), text);
  }
}

TEST(KeyValueFileTest, WhatLooksLikeATagStaysWhatItWas) {
  const StoredValues values{
      {"date-like", Value{{"$date", 5}}},
      {"double-like", Value{{"$double", "7ff0000000000000"}}},
      {"string-like", Value{{"$string", "QQ=="}}},
      {"object-like", Value{{"$object", Value::Array{"a", 1}}}},
      {"beside", Value{{"a", 1}, {"$date", 5}}},
      {"date", Date(5)},
      {"integral double", 5.0},
      {"integer", 5},
  };
  EXPECT_TRUE(identical(readBack(values), values));
}

TEST(KeyValueFileTest, NestingUpToTheLimitIsStoredAndBeyondItRejected) {
  const StoredValues deepest{{"deep", nested(kMaxStoredDepth)}};
  EXPECT_TRUE(identical(readBack(deepest), deepest));
  EXPECT_THROW(checkStorable(nested(kMaxStoredDepth + 1)), std::invalid_argument);
  EXPECT_THROW(checkStorable(Value::Opaque(std::make_shared<OpaqueValue>())),
               std::invalid_argument);

  // A file nesting deeper than the store writes loses that entry only, so
  // that what was read can always be written back.
  std::string deep = "1";
  for (int i = 0; i <= kMaxStoredDepth; ++i) deep = '[' + std::move(deep) + ']';
  const auto file = readKeyValueFile(R"({"version":2,"entries":[{"key":"deep","value":)" + deep +
                                     R"(},{"key":"flat","value":1}]})");
  ASSERT_TRUE(file);
  EXPECT_TRUE(identical(file->values, StoredValues{{"flat", Value(1)}}));
}

TEST(KeyValueFileTest, ReadsTheFirstFormat) {
  // As the first format was written: store keys as members, Dates as "$date"
  // objects, doubles in Boost.JSON's shortest form.
  const auto file = readKeyValueFile(
      R"({"timedEvents":{"data":"AAEC/w=="},"name":{"value":"x"},)"
      R"("when":{"value":{"$date":1.7E9}},"precise":{"value":4.512149038445381E-15},)"
      R"("object":{"value":{"$date":"x","list":[1,null,true,18446744073709551615]}},)"
      R"("version":{"value":1}})");
  ASSERT_TRUE(file);
  const StoredValues expected{
      {"timedEvents", Bytes{0, 1, 2, 255}},
      {"name", Value("x")},
      {"when", Date(1.7e9)},
      {"precise", 4.512149038445381e-15},
      {"object",
       Value{{"$date", "x"}, {"list", Value::Array{1, nullptr, true, 18446744073709551615.0}}}},
      {"version", Value(1)},
  };
  EXPECT_TRUE(identical(file->values, expected));
}

TEST(KeyValueFileTest, ReadsOnlyWellFormedEntries) {
  // Base64 as the library reads it everywhere: padded, nothing after the padding.
  for (const char* bad : {"QQ", "Q", "QQ==QUJD", "QQ=x", "QU=D"}) {
    SCOPED_TRACE(bad);
    for (const std::string& text :
         {std::string(R"({"k":{"data":")") + bad + R"("},"ok":{"data":"QQ=="}})",
          std::string(R"({"version":2,"entries":[{"key":"k","data":")") + bad +
              R"("},{"key":"ok","data":"QQ=="}]})"}) {
      const auto file = readKeyValueFile(text);
      ASSERT_TRUE(file);
      EXPECT_TRUE(identical(file->values, StoredValues{{"ok", Bytes{'A'}}}));
    }
  }
  // Entries of the current format that are not what the writer makes.
  for (const char* entry : {
           R"({"key":"k"})",
           R"({"value":1})",
           R"({"key":1,"value":1})",
           R"({"key":"k","value":{"$date":"x"}})",
           R"({"key":"k","value":{"$date":1,"b":2}})",
           R"({"key":"k","value":{"$unknown":1}})",
           R"({"key":"k","value":{"$double":"7ff"}})",
           R"({"key":"k","value":{"$string":"QQ"}})",
           R"({"key":"k","value":{"$object":["a"]}})",
           R"({"key":"k","value":{"$object":[1,2]}})",
           R"({"key":"k","value":[{"$bad":0}]})",
           R"("k")",
       }) {
    SCOPED_TRACE(entry);
    const auto file = readKeyValueFile(std::string(R"({"version":2,"entries":[)") + entry +
                                       R"(,{"key":"ok","value":2}]})");
    ASSERT_TRUE(file);
    EXPECT_TRUE(identical(file->values, StoredValues{{"ok", Value(2)}}));
  }
}

TEST(KeyValueFileTest, TellsStoreFilesFromOtherTexts) {
  for (const char* text : {"", "{ not json", "[]", "1", R"({"version":1,"entries":[]})",
                           R"({"version":2.0,"entries":[]})", R"({"version":2})",
                           R"({"version":2,"entries":[]} x)", "\"\xff\""}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(readKeyValueFile(text));
  }
  const auto empty = readKeyValueFile("{}");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->values.empty());

  for (const char* later : {R"({"version":3})", R"({"version":18446744073709551615})"}) {
    const auto file = readKeyValueFile(later);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->laterFormat);
    EXPECT_TRUE(file->values.empty());
  }
}

}  // namespace
}  // namespace quarn::platform::detail
