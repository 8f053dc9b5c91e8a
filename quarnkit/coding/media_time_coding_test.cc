#include "quarnkit/coding/media_time_coding.h"

#include <gtest/gtest.h>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

using platform::MediaTime;
using platform::MediaTimeRange;

TEST(MediaTimeCodingTest, ShapesRoundTrip) {
  const JSONEncoder encoder;
  const JSONDecoder decoder;
  const std::string json = encoder.encode(MediaTime::make(3, 2));
  EXPECT_EQ(json, R"({"value":3,"timescale":2,"flags":1,"epoch":0})");
  const auto time = decoder.decode<MediaTime>(json);
  EXPECT_EQ(time.value, 3);
  EXPECT_EQ(time.timescale, 2);
  EXPECT_EQ(time.flags, MediaTime::valid);

  const MediaTimeRange range{MediaTime::make(-7, 600, 3), MediaTime::positiveInfinityTime()};
  const std::string rangeJson = encoder.encode(range);
  EXPECT_EQ(rangeJson, R"({"start":{"value":-7,"timescale":600,"flags":1,"epoch":3},)"
                       R"("duration":{"value":0,"timescale":0,"flags":5,"epoch":0}})");
  EXPECT_EQ(decoder.decode<MediaTimeRange>(rangeJson), range);

  // Read as written, even where the operations treat it as invalid.
  const auto broken = decoder.decode<MediaTime>(R"({"value":5,"timescale":0,"flags":1,"epoch":0})");
  EXPECT_EQ(broken.timescale, 0);
  EXPECT_FALSE(broken.isValid());
  EXPECT_EQ(encoder.encode(broken), R"({"value":5,"timescale":0,"flags":1,"epoch":0})");
}

TEST(MediaTimeCodingTest, MissingMembersAndOutOfRangeNumbersFail) {
  const JSONDecoder decoder;
  const char* time = R"({"value":1,"timescale":1,"flags":1,"epoch":0})";
  struct Row {
    std::string json;
    DecodingError::Kind kind;
    const char* path;
  };
  const Row rows[] = {
      {std::string(R"({"start":)") + time + "}", DecodingError::Kind::keyNotFound, ""},
      {R"({"start":{"value":1,"timescale":1,"flags":1},"duration":{}})",
       DecodingError::Kind::keyNotFound, "start"},
      {std::string(R"({"start":)") + time +
           R"(,"duration":{"value":1,"timescale":2147483648,"flags":1,"epoch":0}})",
       DecodingError::Kind::dataCorrupted, "duration.timescale"},
      {std::string(R"({"start":)") + time +
           R"(,"duration":{"value":1,"timescale":1,"flags":-1,"epoch":0}})",
       DecodingError::Kind::dataCorrupted, "duration.flags"},
      {std::string(R"({"start":)") + time +
           R"(,"duration":{"value":9223372036854775808,"timescale":1,"flags":1,"epoch":0}})",
       DecodingError::Kind::dataCorrupted, "duration.value"},
      {std::string(R"({"start":)") + time + R"(,"duration":[1]})",
       DecodingError::Kind::typeMismatch, "duration"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.json);
    try {
      (void)decoder.decode<MediaTimeRange>(row.json);
      ADD_FAILURE() << "decoded";
    } catch (const DecodingError& e) {
      EXPECT_EQ(e.kind(), row.kind) << e.description();
      EXPECT_EQ(codingPathDescription(e.codingPath()), row.path);
    }
  }
}

}  // namespace
}  // namespace quarn
