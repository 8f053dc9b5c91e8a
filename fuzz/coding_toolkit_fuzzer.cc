// Decodes arbitrary bytes as the coding toolkit's shapes: a list of
// type-preserved values, a list of codable references, a media time range,
// keyed variations and a feedback form. Each must either decode or fail with
// DecodingError; what decodes is encoded again and must decode to the same
// thing. Media time arithmetic on decoded times either gives a time or
// reports overflow, and range operations never fail.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/coding/codable_reference.h"
#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/media_time_coding.h"
#include "quarnkit/coding/type_preserving_coding.h"
#include "quarnkit/coding/variations.h"
#include "quarnkit/feedback/feedback_form.h"

namespace fuzzing {

struct Shape : quarn::TypePreservingCodable {};

struct Circle final : Shape {
  double radius = 0;
  static Circle decode(quarn::Decoder& d) {
    Circle c;
    c.radius = d.container()->decode<double>("radius");
    return c;
  }
  void encode(quarn::Encoder& e) const override { e.container()->encode(radius, "radius"); }
};

struct Label final : Shape {
  std::string text;
  std::vector<std::int32_t> marks;
  static Label decode(quarn::Decoder& d) {
    auto c = d.container();
    Label l;
    l.text = c->decode<std::string>("text");
    if (auto marks = c->decodeIfPresent<std::vector<std::int32_t>>("marks")) l.marks = *marks;
    return l;
  }
  void encode(quarn::Encoder& e) const override {
    auto c = e.container();
    c->encode(text, "text");
    c->encode(marks, "marks");
  }
};

struct Track {
  std::string id;
};
struct TrackKey : quarn::CodableReferenceContainerKey {};

struct Idiom {
  std::string rawValue;
  static std::optional<Idiom> fromRawValue(std::string_view raw) {
    if (raw == "phone" || raw == "pad") return Idiom{std::string(raw)};
    return std::nullopt;
  }
  static Idiom defaultKey() { return {"phone"}; }
  friend bool operator==(const Idiom&, const Idiom&) = default;
};

}  // namespace fuzzing

template <>
struct quarn::CodableTypeNameOf<fuzzing::Circle> : CodableTypeNamed<"Fuzz", "Circle"> {};
template <>
struct quarn::CodableTypeNameOf<fuzzing::Label> : CodableTypeNamed<"Fuzz", "Label"> {};
template <>
struct std::hash<fuzzing::Idiom> {
  std::size_t operator()(const fuzzing::Idiom& i) const noexcept {
    return std::hash<std::string>()(i.rawValue);
  }
};

namespace {

using namespace fuzzing;

struct Coders {
  quarn::JSONDecoder decoder;
  quarn::JSONEncoder encoder;
  Coders() {
    auto adapter = std::make_shared<quarn::TypePreservingCodingAdapter>();
    adapter->register_<Circle>("circle").register_<Label>();
    auto adapters = std::make_shared<quarn::TypePreservingCodingAdapters>();
    adapters->register_<Shape>(adapter);
    auto storage = std::make_shared<quarn::CodableReferenceStorage>();
    for (const char* id : {"a", "b", "7"}) {
      storage->container<TrackKey>().insert(std::make_shared<Track>(Track{id}));
    }
    decoder.userInfo.set(std::string(quarn::kTypePreservingCodingAdaptersKey), adapters);
    decoder.userInfo.set(std::string(quarn::kCodableReferenceStorageKey), storage);
    decoder.dateDecodingStrategy = quarn::DateDecodingStrategy::iso8601();
    encoder.userInfo.set(std::string(quarn::kTypePreservingCodingAdaptersKey), adapters);
    encoder.dateEncodingStrategy = quarn::DateEncodingStrategy::iso8601();
  }
};

const Coders& coders() {
  static const Coders c;
  return c;
}

// Decodes `text` as T: nothing on a DecodingError, an abort on anything else.
template <class T>
std::optional<T> tryDecode(std::string_view text, const std::function<T(quarn::Decoder&)>& read) {
  try {
    std::optional<T> out;
    coders().decoder.decode(text, [&](quarn::Decoder& d) { out.emplace(read(d)); });
    return out;
  } catch (const quarn::DecodingError&) {
    return std::nullopt;
  }
}

void check(bool ok) {
  if (!ok) std::abort();
}

// Encodes `value`, decodes it back with `read`, and encodes that again: the
// two texts must be equal. Values JSON cannot hold are not written at all.
template <class T>
void roundTrip(const T& value, const std::function<T(quarn::Decoder&)>& read,
               const std::function<void(quarn::Encoder&, const T&)>& write) {
  const auto& enc = coders().encoder;
  std::string once;
  try {
    once = enc.encode([&](quarn::Encoder& e) { write(e, value); });
  } catch (const quarn::EncodingError&) {
    return;  // a number JSON cannot hold (read as infinity from 1e400)
  }
  const auto back = tryDecode<T>(once, read);
  check(back.has_value());
  check(enc.encode([&](quarn::Encoder& e) { write(e, *back); }) == once);
}

using Shapes = std::vector<std::shared_ptr<Shape>>;

void shapes(std::string_view text) {
  const std::function<Shapes(quarn::Decoder&)> read = [](quarn::Decoder& d) {
    return quarn::decodeTypePreserved<Shapes, Shape>(*d.container(), "v");
  };
  const auto decoded = tryDecode<Shapes>(text, read);
  if (!decoded) return;
  for (const auto& shape : *decoded) check(shape != nullptr);
  roundTrip<Shapes>(*decoded, read, [](quarn::Encoder& e, const Shapes& v) {
    quarn::encodeTypePreserved<Shape>(*e.container(), v, "v");
  });
}

void references(std::string_view text) {
  using Ref = quarn::CodableReference<Track, TrackKey>;
  const auto decoded = tryDecode<std::vector<Ref>>(
      text, [](quarn::Decoder& d) { return d.decode<std::vector<Ref>>(); });
  if (!decoded) return;
  const std::string again = coders().encoder.encode(*decoded);
  const auto back = tryDecode<std::vector<Ref>>(
      again, [](quarn::Decoder& d) { return d.decode<std::vector<Ref>>(); });
  check(back && back->size() == decoded->size());
  for (std::size_t i = 0; i < back->size(); ++i) {
    check((*back)[i].wrappedValue == (*decoded)[i].wrappedValue);
  }
}

void mediaTimes(std::string_view text) {
  using quarn::platform::MediaTime;
  using quarn::platform::MediaTimeRange;
  const std::function<MediaTimeRange(quarn::Decoder&)> read = [](quarn::Decoder& d) {
    return d.decode<MediaTimeRange>();
  };
  const auto range = tryDecode<MediaTimeRange>(text, read);
  if (!range) return;
  roundTrip<MediaTimeRange>(*range, read,
                            [](quarn::Encoder& e, const MediaTimeRange& r) { e.encode(r); });
  (void)range->isIntersection(MediaTimeRange{range->duration, range->start});
  (void)range->containsTime(range->duration);
  for (const auto& f : {std::function<MediaTime()>([&] { return range->start + range->duration; }),
                        std::function<MediaTime()>([&] { return range->start - range->duration; }),
                        std::function<MediaTime()>([&] { return -range->duration; })}) {
    try {
      const MediaTime t = f();
      // An exact result compares consistently with itself.
      check(!(t < t) && t == t);
    } catch (const std::overflow_error&) {
    }
  }
}

void variations(std::string_view text) {
  using Links = quarn::Variations<Idiom, quarn::URL>;
  using Counts = quarn::Variations<Idiom, std::int64_t>;
  const std::function<Links(quarn::Decoder&)> links = [](quarn::Decoder& d) {
    return d.decode<Links>();
  };
  if (const auto v = tryDecode<Links>(text, links)) {
    roundTrip<Links>(*v, links, [](quarn::Encoder& e, const Links& x) { e.encode(x); });
    (void)v->value({Idiom{"pad"}, Idiom{"phone"}});
  }
  const std::function<Counts(quarn::Decoder&)> counts = [](quarn::Decoder& d) {
    return d.decode<Counts>();
  };
  if (const auto v = tryDecode<Counts>(text, counts)) {
    roundTrip<Counts>(*v, counts, [](quarn::Encoder& e, const Counts& x) { e.encode(x); });
  }
}

void form(std::string_view text) {
  const std::function<quarn::FeedbackForm(quarn::Decoder&)> read = [](quarn::Decoder& d) {
    return d.decode<quarn::FeedbackForm>();
  };
  const auto decoded = tryDecode<quarn::FeedbackForm>(text, read);
  if (!decoded) return;
  for (const auto& item : decoded->items) check(item != nullptr);
  roundTrip<quarn::FeedbackForm>(
      *decoded, read, [](quarn::Encoder& e, const quarn::FeedbackForm& f) { e.encode(f); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  shapes(text);
  references(text);
  mediaTimes(text);
  variations(text);
  form(text);
  return 0;
}
