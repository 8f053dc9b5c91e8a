// The key-path serializer: the value at a dotted path, the three key-path
// failures with their texts, a body that is not JSON, a value that does not
// decode (with its path from the document's root), and the client's own
// errors and empty-body rules passing through.
#include "quarnkit/paging/data_key_path_serializer.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

using Reason = http::RequestError::SerializationFailureReason;

struct Article {
  std::int64_t id = 0;
  std::string title;
  static Article decode(Decoder& d) {
    auto c = d.container();
    return {c->decode<std::int64_t>("id"), c->decode<std::string>("title")};
  }
  friend bool operator==(const Article&, const Article&) = default;
};

using Articles = std::vector<Article>;

struct Outcome {
  std::optional<Articles> value;
  std::optional<http::RequestError> error;
};

Outcome serialize(std::optional<std::string> keyPath, std::optional<std::string> body,
                  int status = 200, const http::RequestError* transport = nullptr) {
  const DataKeyPathSerializer<Articles> serializer(std::move(keyPath), JSONDecoder());
  http::URLRequest request(*URL::parse("http://127.0.0.1/items"));
  http::HTTPURLResponse response;
  response.statusCode = status;
  try {
    return {serializer.serialize(&request, &response, body, transport), std::nullopt};
  } catch (const http::RequestError& e) {
    return {std::nullopt, e};
  }
}

const char* kNested = R"({"data": {"items": [{"id": 1, "title": "a"}], "count": 3, "none": null,
                          "list": [1, 2]}})";

TEST(DataKeyPathSerializerTest, DecodesTheWholeBodyOrTheValueAtThePath) {
  EXPECT_EQ(serialize(std::nullopt, R"([{"id": 2, "title": "b"}])").value, (Articles{{2, "b"}}));
  EXPECT_EQ(serialize("data.items", kNested).value, (Articles{{1, "a"}}));
  EXPECT_EQ(serialize("data.items", R"({"data": {"items": []}})").value, Articles{});
}

TEST(DataKeyPathSerializerTest, KeyPathFailuresAreDecodingFailuresWithTheirTexts) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"data.count", "Invalid nested json."},
      {"data.none", "Invalid nested json."},
      {"", "KeyPath can not be empty."},
      {"data.missing", "Nested object doesn't exist by this keyPath."},
      {"data.count.items", "Nested object doesn't exist by this keyPath."},
      {"data.list.items", "Nested object doesn't exist by this keyPath."},
      {"data..items", "Nested object doesn't exist by this keyPath."},
  };
  for (const auto& [path, text] : cases) {
    SCOPED_TRACE(path);
    const Outcome o = serialize(path, kNested);
    ASSERT_TRUE(o.error);
    EXPECT_EQ(o.error->serializationFailureReason(), Reason::decodingFailed);
    EXPECT_EQ(o.error->reason(), "the response could not be decoded: " + text);
  }
  // A number at the path exists but is not an array: the decoder says so.
  EXPECT_EQ(serialize("data", kNested).error->serializationFailureReason(), Reason::decodingFailed);
}

TEST(DataKeyPathSerializerTest, BodiesThatAreNotJSONOrDoNotDecode) {
  const Outcome malformed = serialize("data.items", R"({"data": )");
  ASSERT_TRUE(malformed.error);
  EXPECT_EQ(malformed.error->serializationFailureReason(), Reason::jsonSerializationFailed);
  EXPECT_EQ(serialize(std::nullopt, "not json").error->serializationFailureReason(),
            Reason::jsonSerializationFailed);

  const Outcome wrong =
      serialize("data.items", R"({"data": {"items": [{"id": 1, "title": "a"}, {"id": "2"}]}})");
  ASSERT_TRUE(wrong.error);
  EXPECT_EQ(wrong.error->serializationFailureReason(), Reason::decodingFailed);
  try {
    std::rethrow_exception(wrong.error->underlyingError());
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(codingPathDescription(e.codingPath()), "data.items[1].id");
  }
}

TEST(DataKeyPathSerializerTest, TheClientsErrorsAndEmptyBodyRulesPassThrough) {
  const auto refused = http::RequestError::unacceptableStatusCode(500);
  EXPECT_EQ(serialize("data.items", kNested, 500, &refused).error->kind(),
            http::RequestError::Kind::responseValidationFailed);
  EXPECT_EQ(serialize("data.items", "").error->serializationFailureReason(),
            Reason::inputDataNilOrZeroLength);
  // An empty key path is refused before the body is looked at.
  for (const std::optional<std::string>& body :
       std::vector<std::optional<std::string>>{"", std::nullopt}) {
    const Outcome emptyPath = serialize("", body);
    ASSERT_TRUE(emptyPath.error);
    EXPECT_EQ(emptyPath.error->reason(),
              "the response could not be decoded: KeyPath can not be empty.");
  }
  EXPECT_EQ(serialize("", kNested, 500, &refused).error->kind(),
            http::RequestError::Kind::responseValidationFailed);
  const Outcome noContent = serialize(std::nullopt, std::nullopt, 204);
  EXPECT_EQ(noContent.error->serializationFailureReason(), Reason::invalidEmptyResponse);
  EXPECT_EQ(noContent.error->reason(),
            "the response is empty and Array<Article> has no empty form");
}

}  // namespace
}  // namespace quarn
