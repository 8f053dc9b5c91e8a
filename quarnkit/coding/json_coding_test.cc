#include <fmt/format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <boost/json.hpp>
#include <cmath>
#include <cstdint>
#include <limits>
#include <thread>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/json_serialization.h"
#include "quarnkit/coding/platform_decoder.h"
#include "quarnkit/core/data.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/decimal.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/core/value.h"

namespace quarn {
namespace {

struct Inner {
  std::int64_t maxItems = 0;
  std::optional<std::string> style;
  static Inner decode(Decoder& d) {
    auto c = d.container();
    return {c->decode<std::int64_t>("maxItems"), c->decodeIfPresent<std::string>("style")};
  }
  void encode(Encoder& e) const {
    auto c = e.container();
    c->encode(maxItems, "maxItems");
    c->encodeIfPresent(style, "style");
  }
  friend bool operator==(const Inner&, const Inner&) = default;
};

struct Record {
  std::string title;
  double score = 0;
  bool active = false;
  std::optional<Inner> data;
  std::vector<std::int32_t> ids;
  static Record decode(Decoder& d) {
    auto c = d.container();
    Record r;
    r.title = c->decode<std::string>("title");
    r.score = c->decode<double>("score");
    r.active = c->decode<bool>("active");
    r.data = c->decodeIfPresent<Inner>("data");
    r.ids = c->decode<std::vector<std::int32_t>>("ids");
    return r;
  }
  void encode(Encoder& e) const {
    auto c = e.container();
    c->encode(title, "title");
    c->encode(score, "score");
    c->encode(active, "active");
    c->encodeIfPresent(data, "data");
    c->encode(ids, "ids");
  }
  friend bool operator==(const Record&, const Record&) = default;
};

DecodingError decodeError(std::string_view json) {
  try {
    JSONDecoder().decode<std::vector<Record>>(json);
  } catch (const DecodingError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for " << json;
  return DecodingError::dataCorrupted({});
}

TEST(JSONDecoderTest, DecodesRecordsAndRoundTripsThroughTheEncoder) {
  const auto records = JSONDecoder().decode<std::vector<Record>>(
      R"([{"title":"a","score":1,"active":true,"ids":[1,2],"data":{"maxItems":5,"style":"x"}},
          {"title":"b","score":2.5,"active":false,"ids":[],"data":null}])");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].data, (Inner{5, "x"}));
  EXPECT_EQ(records[0].score, 1.0);
  EXPECT_FALSE(records[1].data);
  const std::string text = JSONEncoder().encode(records);
  EXPECT_EQ(
      text,
      R"([{"title":"a","score":1,"active":true,"data":{"maxItems":5,"style":"x"},"ids":[1,2]},)"
      R"({"title":"b","score":2.5,"active":false,"ids":[]}])");
  EXPECT_EQ(JSONDecoder().decode<std::vector<Record>>(text), records);
}

TEST(JSONDecoderTest, ErrorsNameTheCodingPathAndWhatWasFound) {
  struct Case {
    const char* json;
    DecodingError::Kind kind;
    const char* path;
    const char* description;
  };
  const Case cases[] = {
      {R"([{"title":"a","score":1,"active":true,"ids":[]},{"score":1}])",
       DecodingError::Kind::keyNotFound, "[1]", "No value associated with key \"title\"."},
      {R"([{"title":"a","score":1,"active":true,"ids":[],"data":{"maxItems":"5"}}])",
       DecodingError::Kind::typeMismatch, "[0].data.maxItems",
       "Expected to decode Int but found a string instead."},
      {R"([{"title":null,"score":1,"active":true,"ids":[]}])", DecodingError::Kind::valueNotFound,
       "[0].title", "Expected String value but found null instead."},
      {R"([{"title":"a","score":1,"active":true,"ids":[1,3000000000]}])",
       DecodingError::Kind::dataCorrupted, "[0].ids[1]",
       "Parsed JSON number <3000000000> does not fit in Int32."},
      {R"([{"title":"a","score":1,"active":1,"ids":[]}])", DecodingError::Kind::typeMismatch,
       "[0].active", "Expected to decode Bool but found a number instead."},
      {R"({"title":"a"})", DecodingError::Kind::typeMismatch, "",
       "Expected to decode Array<Any> but found a dictionary instead."},
  };
  for (const auto& c : cases) {
    const DecodingError e = decodeError(c.json);
    EXPECT_EQ(e.kind(), c.kind) << c.json;
    EXPECT_EQ(codingPathDescription(e.codingPath()), c.path) << c.json;
    EXPECT_EQ(e.debugDescription(), c.description) << c.json;
  }
  EXPECT_EQ(decodeError(R"([{"score":1}])").description(),
            "keyNotFound(\"title\") at [0]: No value associated with key \"title\".");
}

TEST(JSONDecoderTest, MalformedAndTooDeepTextIsDataCorruptedAtTheRoot) {
  const DecodingError bad = decodeError("[{\"title\": }]");
  EXPECT_EQ(bad.kind(), DecodingError::Kind::dataCorrupted);
  EXPECT_TRUE(bad.codingPath().empty());
  EXPECT_NE(bad.debugDescription().find("line 1, column 12"), std::string::npos)
      << bad.debugDescription();
  EXPECT_EQ(decodeError("[] x").kind(), DecodingError::Kind::dataCorrupted);
  EXPECT_EQ(decodeError("").kind(), DecodingError::Kind::dataCorrupted);

  const std::string deep =
      std::string(JSONDecoder::kMaxDepth + 1, '[') + std::string(JSONDecoder::kMaxDepth + 1, ']');
  try {
    JSONDecoder().decode<Value>(deep);
    FAIL();
  } catch (const DecodingError& e) {
    EXPECT_NE(e.debugDescription().find("nesting deeper than 256"), std::string::npos);
  }
  const std::string ok =
      std::string(JSONDecoder::kMaxDepth, '[') + std::string(JSONDecoder::kMaxDepth, ']');
  EXPECT_NO_THROW(JSONDecoder().decode<Value>(ok));
}

template <class T>
bool fits(std::string_view number) {
  try {
    JSONDecoder().decode<T>(number);
    return true;
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::dataCorrupted) << number;
    return false;
  }
}

TEST(JSONDecoderTest, IntegersAndFloatsAreRangeChecked) {
  EXPECT_TRUE(fits<std::int8_t>("127"));
  EXPECT_FALSE(fits<std::int8_t>("128"));
  EXPECT_TRUE(fits<std::int8_t>("-128"));
  EXPECT_FALSE(fits<std::int8_t>("-129"));
  EXPECT_TRUE(fits<std::uint8_t>("255"));
  EXPECT_FALSE(fits<std::uint8_t>("-1"));
  EXPECT_FALSE(fits<std::int16_t>("32768"));
  EXPECT_TRUE(fits<std::int32_t>("-2147483648"));
  EXPECT_FALSE(fits<std::uint32_t>("4294967296"));
  EXPECT_TRUE(fits<std::int64_t>("9223372036854775807"));
  EXPECT_FALSE(fits<std::int64_t>("9223372036854775808"));
  EXPECT_TRUE(fits<std::uint64_t>("18446744073709551615"));
  EXPECT_FALSE(fits<std::uint64_t>("-5"));
  EXPECT_TRUE(fits<std::int64_t>("5.0")) << "integral doubles are accepted";
  EXPECT_FALSE(fits<std::int64_t>("5.5"));
  EXPECT_FALSE(fits<std::int64_t>("1e19"));
  EXPECT_FALSE(fits<std::uint64_t>("1.8446744073709552e19"));
  EXPECT_TRUE(fits<float>("3.4e38"));
  EXPECT_FALSE(fits<float>("1e39"));
  EXPECT_EQ(JSONDecoder().decode<std::int64_t>("-9223372036854775808"),
            std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(JSONDecoder().decode<double>("12"), 12.0);
}

TEST(JSONDecoderTest, DateStrategies) {
  JSONDecoder d;
  EXPECT_EQ(d.decode<Date>("0"), Date(Date::kReferenceDateOffset)) << "seconds since 2001";
  d.dateDecodingStrategy = DateDecodingStrategy::secondsSince1970();
  EXPECT_EQ(d.decode<Date>("1706695200"), Date(1706695200));
  d.dateDecodingStrategy = DateDecodingStrategy::millisecondsSince1970();
  EXPECT_EQ(d.decode<Date>("1706695200500"), Date(1706695200.5));
  d.dateDecodingStrategy = DateDecodingStrategy::iso8601();
  EXPECT_EQ(d.decode<Date>("\"2024-01-31T10:00:00Z\""), Date(1706695200));
  EXPECT_THROW(d.decode<Date>("\"2024-01-31\""), DecodingError);
  d.dateDecodingStrategy = DateDecodingStrategy::customFunction(
      [](Decoder& dec) { return Date(static_cast<double>(dec.decode<std::string>().size())); });
  EXPECT_EQ(d.decode<std::vector<Date>>(R"(["abc"])"), std::vector<Date>{Date(3)});

  JSONEncoder e;
  EXPECT_EQ(e.encode(Date(Date::kReferenceDateOffset + 1.5)), "1.5");
  e.dateEncodingStrategy = DateEncodingStrategy::millisecondsSince1970();
  EXPECT_EQ(e.encode(Date(2)), "2000");
  e.dateEncodingStrategy = DateEncodingStrategy::iso8601();
  EXPECT_EQ(e.encode(Date(1706695200)), "\"2024-01-31T10:00:00Z\"");
}

TEST(JSONDecoderTest, StandardTypes) {
  JSONDecoder d;
  EXPECT_EQ(d.decode<URL>("\"https://a.b/c\"").host(), "a.b");
  EXPECT_THROW(d.decode<URL>("\"not a url\""), DecodingError);
  EXPECT_EQ(d.decode<UUID>("\"e621e1f8-c36c-495a-93fc-0c247a3e6e5f\"").uuidString(),
            "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
  EXPECT_EQ(d.decode<Data>("\"aGk=\""), Data(std::string_view("hi")));
  EXPECT_THROW(d.decode<Data>("\"a\""), DecodingError);
  EXPECT_EQ(d.decode<Decimal>("0.1").toString(), "0.1");
  EXPECT_EQ(d.decode<Value>(R"({"b":[1,2.5,"x",null,true],"a":{}})"),
            Value({{"b", Value::Array{1, 2.5, "x", Value(), true}}, {"a", Value::Object{}}}));
  EXPECT_EQ((d.decode<std::map<std::string, int>>(R"({"a":1,"b":2})")),
            (std::map<std::string, int>{{"a", 1}, {"b", 2}}));
  EXPECT_EQ(d.decode<std::vector<std::optional<int>>>("[1,null]"),
            (std::vector<std::optional<int>>{1, std::nullopt}));
}

TEST(JSONDecoderTest, NestedSuperDecodersAndUserInfo) {
  struct Probe {
    std::string seen;
    static Probe decode(Decoder& d) {
      auto c = d.container();
      Probe p;
      auto inner = c->nestedContainer("inner");
      p.seen += codingPathDescription(inner->codingPath()) + "|";
      auto list = inner->nestedUnkeyedContainer("list");
      EXPECT_EQ(list->count(), 2);
      EXPECT_TRUE(list->decodeNil());
      auto super = list->superDecoder();
      p.seen +=
          codingPathDescription(super->codingPath()) + "=" + super->decode<std::string>() + "|";
      EXPECT_TRUE(list->isAtEnd());
      auto missing = c->superDecoder("missing");
      EXPECT_TRUE(missing->singleValueContainer()->decodeNil());
      p.seen += *d.userInfo().get<std::string>("setting");
      EXPECT_EQ(c->allKeys().size(), 1u);
      EXPECT_FALSE(c->contains("missing"));
      return p;
    }
  };
  JSONDecoder d;
  d.userInfo.set("setting", std::string("on"));
  EXPECT_EQ(d.decode<Probe>(R"({"inner":{"list":[null,"x"]}})").seen, "inner|inner.list[1]=x|on");
}

// Counts live instances, so a decode that fails half-way can be checked for
// values destroyed twice or never.
struct Counted {
  static inline int live = 0;
  std::string name;
  explicit Counted(std::string n) : name(std::move(n)) { ++live; }
  Counted(const Counted& o) : name(o.name) { ++live; }
  Counted(Counted&& o) noexcept : name(std::move(o.name)) { ++live; }
  ~Counted() { --live; }
  static Counted decode(Decoder& d) {
    auto c = d.container();
    return Counted(c->decode<std::string>("name"));
  }
};

TEST(JSONDecoderTest, NestedValuesAreBuiltOnceAndReleasedOnFailure) {
  {
    const auto list = JSONDecoder().decode<std::vector<Counted>>(R"([{"name":"a"},{"name":"b"}])");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1].name, "b");
    EXPECT_EQ(Counted::live, 2);
  }
  EXPECT_EQ(Counted::live, 0);
  EXPECT_THROW(JSONDecoder().decode<std::vector<Counted>>(R"([{"name":"a"},{"name":1}])"),
               DecodingError);
  using CountedMap = std::map<std::string, Counted>;
  EXPECT_THROW(JSONDecoder().decode<CountedMap>(R"({"x":{"name":"a"},"y":{}})"), DecodingError);
  EXPECT_EQ(Counted::live, 0);
}

TEST(JSONDecoderTest, MembersAreFoundInAnyOrderAfterReopening) {
  // A record reopened after its first member was read, then read out of
  // document order: every member is found, and a missing one still fails.
  JSONDecoder().decode(R"({"class":"P","id":1,"name":"n","tags":["t"],"price":2})", [](Decoder& d) {
    EXPECT_EQ(d.container()->decode<std::string>("class"), "P");
    auto c = d.container();
    EXPECT_EQ(c->decode<std::int64_t>("id"), 1);
    EXPECT_EQ(c->decode<double>("price"), 2);
    EXPECT_EQ(c->decode<std::string>("name"), "n");
    EXPECT_EQ(c->decode<std::vector<std::string>>("tags").size(), 1u);
    EXPECT_EQ(c->decode<std::string>("class"), "P");
    EXPECT_FALSE(c->contains("imageUrl"));
    EXPECT_THROW(c->decode<std::string>("title"), DecodingError);
  });
}

TEST(JSONDecoderTest, ReopenedDecoderHandsOverItsContainerOnce) {
  JSONDecoder().decode(R"([{"class":"P","title":"t","title_ipad":"big"}])", [](Decoder& list) {
    list.unkeyedContainer()->decodeNested([](Decoder& d) {
      auto first = d.container();
      EXPECT_EQ(first->decode<std::string>("class"), "P");
      const KeyedDecodingContainer* opened = first.get();
      ReopenedDecoder r(d, std::move(first));
      EXPECT_EQ(r.container().get(), opened);
      // Later calls open the value anew, with device variants too.
      EXPECT_EQ(r.container()->decode<std::string>("title"), "t");
      EXPECT_EQ(PlatformDecoder(r, "_", true, "ipad").container()->decode<std::string>("title"),
                "big");
      EXPECT_EQ(r.lastCodingIndex(), 0);
      try {
        r.container()->decode<int>("x");
        ADD_FAILURE() << "a missing member must fail";
      } catch (const DecodingError& e) {
        EXPECT_EQ(codingPathDescription(e.codingPath()), "[0]");
      }
    });
  });
}

// Text is read from the fast tokenizer's tape when it takes it, and through
// a Boost.JSON document otherwise (and when the caller parsed the document):
// both must decode alike.
template <DecodableType T>
std::pair<T, T> fromTextAndDocument(std::string_view text) {
  return {JSONDecoder().decode<T>(text), JSONDecoder().decode<T>(boost::json::parse(text))};
}

TEST(JSONDecoderTest, TextAndParsedDocumentsDecodeAlike) {
  // A key given twice is one member: the first position, the last value.
  const auto [value, fromDocument] =
      fromTextAndDocument<Value>(R"({"a":1,"b":[true,null,"x",-2.5,18446744073709551615],"a":3})");
  EXPECT_EQ(value, fromDocument);
  ASSERT_NE(value.ifObject(), nullptr);
  EXPECT_EQ(value.ifObject()->begin()->first, "a");
  EXPECT_EQ(*value.ifObject()->find("a"), Value(std::int64_t{3}));
  EXPECT_EQ(value.ifObject()->size(), 2u);

  // Objects past the small-object look-ups: every member found in any order,
  // a repeated key holding its last value.
  std::string big = "{";
  for (int i = 0; i < 40; ++i) big += fmt::format(R"("k{}":{},)", i, i);
  big += R"("k7":-7})";
  JSONDecoder().decode(big, [](Decoder& d) {
    auto c = d.container();
    EXPECT_EQ(c->allKeys().size(), 40u);
    for (int i = 39; i >= 0; --i) {
      EXPECT_EQ(c->decode<int>(fmt::format("k{}", i)), i == 7 ? -7 : i);
    }
    EXPECT_FALSE(c->contains("k40"));
  });

  // Records, errors and numbers the tokenizer leaves to the full parser.
  const char* records = R"([{"title":"a","score":1e2,"active":true,"ids":[1,2]}])";
  EXPECT_EQ(fromTextAndDocument<std::vector<Record>>(records).first[0].score, 100.0);
  const auto [huge, hugeDocument] = fromTextAndDocument<Value>("[1e400, 2]");
  EXPECT_EQ(huge, hugeDocument);
  EXPECT_TRUE(std::isinf(*huge.ifArray()->at(0).ifDouble()));
  try {
    JSONDecoder().decode<std::vector<Record>>(boost::json::parse(R"([{"title":"a","score":"x"}])"));
    ADD_FAILURE();
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.description(), decodeError(R"([{"title":"a","score":"x"}])").description());
  }
}

TEST(JSONDecoderTest, ZeroWithALargeExponentIsZero) {
  EXPECT_EQ(JSONDecoder().decode<std::vector<double>>("[0e400, -0.0E999]"),
            (std::vector<double>{0.0, 0.0}));
}

// A decode function that decodes other text while its own document is read.
struct Outer {
  std::string before, inner, after;
  static Outer decode(Decoder& d) {
    auto c = d.container();
    Outer o;
    o.before = c->decode<std::string>("before");
    o.inner = JSONDecoder().decode<std::vector<std::string>>(c->decode<std::string>("json")).at(1);
    o.after = c->decode<std::string>("after");
    return o;
  }
};

TEST(JSONDecoderTest, NestedDecodesOnOneThreadKeepTheOuterDocument) {
  const auto o = JSONDecoder().decode<Outer>(
      R"({"before":"first value","json":"[\"x\", \"inner value\"]","after":"last value"})");
  EXPECT_EQ(o.before, "first value");
  EXPECT_EQ(o.inner, "inner value");
  EXPECT_EQ(o.after, "last value");
}

TEST(JSONDecoderTest, ThreadsDecodeAtTheSameTime) {
  // Each thread has its own tokenizer; nested decodes get their own too.
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < 200; ++i) {
        const std::string id = fmt::format("{}-{}", t, i);
        const auto o = JSONDecoder().decode<Outer>(
            fmt::format(R"({{"before":"b{0}","json":"[\"x\", \"i{0}\"]","after":"a{0}"}})", id));
        if (o.before != "b" + id || o.inner != "i" + id || o.after != "a" + id) ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(JSONEncoderTest, OutputFormattingAndFailures) {
  JSONEncoder e;
  const Value v = {{"b", 1}, {"a", Value::Array{true, Value()}}, {"c", Value::Object{}}};
  EXPECT_EQ(e.encode(v), R"({"b":1,"a":[true,null],"c":{}})");
  e.outputFormatting = {.prettyPrinted = true, .sortedKeys = true};
  EXPECT_EQ(e.encode(v),
            "{\n  \"a\" : [\n    true,\n    null\n  ],\n  \"b\" : 1,\n  \"c\" : {}\n}");
  EXPECT_EQ(JSONEncoder().encode(std::string("q\"\\\n\x01")), R"("q\"\\\n\u0001")");
  EXPECT_THROW(JSONEncoder().encode(std::numeric_limits<double>::quiet_NaN()), EncodingError);
  EXPECT_EQ(serializeJSON(parseJSON(R"([1.5,{"k":"v"}])")), R"([1.5,{"k":"v"}])");
  EXPECT_THROW(parseJSON("{"), DecodingError);
}

}  // namespace
}  // namespace quarn
