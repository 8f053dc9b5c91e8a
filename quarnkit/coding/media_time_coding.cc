#include "quarnkit/coding/media_time_coding.h"

namespace quarn {

platform::MediaTime Decodable<platform::MediaTime>::decode(Decoder& d) {
  auto c = d.container();
  platform::MediaTime time;
  time.value = c->decode<std::int64_t>("value");
  time.timescale = c->decode<std::int32_t>("timescale");
  time.flags = c->decode<std::uint32_t>("flags");
  time.epoch = c->decode<std::int64_t>("epoch");
  return time;
}

void Encodable<platform::MediaTime>::encode(const platform::MediaTime& time, Encoder& e) {
  auto c = e.container();
  c->encode(time.value, "value");
  c->encode(time.timescale, "timescale");
  c->encode(time.flags, "flags");
  c->encode(time.epoch, "epoch");
}

platform::MediaTimeRange Decodable<platform::MediaTimeRange>::decode(Decoder& d) {
  auto c = d.container();
  platform::MediaTimeRange range;
  range.start = c->decode<platform::MediaTime>("start");
  range.duration = c->decode<platform::MediaTime>("duration");
  return range;
}

void Encodable<platform::MediaTimeRange>::encode(const platform::MediaTimeRange& range,
                                                 Encoder& e) {
  auto c = e.container();
  c->encode(range.start, "start");
  c->encode(range.duration, "duration");
}

}  // namespace quarn
