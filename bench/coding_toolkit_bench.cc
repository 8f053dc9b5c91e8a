// The coding toolkit's wrappers against plain decoding of the same data:
// - type-preserved: 10,000 values of three registered types decoded through
//   the adapters, against the same records decoded as their concrete types
//   (three lists, each element a shared instance as the wrappers make);
// - references: 100,000 codable references resolved through the reference
//   storage, against reading the same ids with the decoder and looking each
//   up in a plain hash map.
// Both phases of each include parsing the text. Reported: "ratio" = subject
// / floor in the thread's CPU time, both measured in each iteration.
#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <unordered_map>

#include "bench/bench_util.h"
#include "quarnkit/coding/codable_reference.h"
#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/type_preserving_coding.h"

namespace shapes {

struct Shape : quarn::TypePreservingCodable {};

struct Circle final : Shape {
  double radius = 0;
  std::string label;
  static Circle decode(quarn::Decoder& d) {
    auto c = d.container();
    Circle s;
    s.radius = c->decode<double>("radius");
    s.label = c->decode<std::string>("label");
    return s;
  }
  void encode(quarn::Encoder&) const override {}
};

struct Square final : Shape {
  double side = 0;
  std::int64_t layer = 0;
  static Square decode(quarn::Decoder& d) {
    auto c = d.container();
    Square s;
    s.side = c->decode<double>("side");
    s.layer = c->decode<std::int64_t>("layer");
    return s;
  }
  void encode(quarn::Encoder&) const override {}
};

struct Polygon final : Shape {
  std::vector<double> points;
  static Polygon decode(quarn::Decoder& d) {
    Polygon s;
    s.points = d.container()->decode<std::vector<double>>("points");
    return s;
  }
  void encode(quarn::Encoder&) const override {}
};

}  // namespace shapes

template <>
struct quarn::CodableTypeNameOf<shapes::Circle> : CodableTypeNamed<"Bench", "Circle"> {};
template <>
struct quarn::CodableTypeNameOf<shapes::Square> : CodableTypeNamed<"Bench", "Square"> {};
template <>
struct quarn::CodableTypeNameOf<shapes::Polygon> : CodableTypeNamed<"Bench", "Polygon"> {};

namespace {

using namespace shapes;

constexpr int kValues = 10000;
constexpr int kReferences = 100000;

std::string circle(int i) { return fmt::format(R"("radius":{}.5,"label":"c{}")", i % 50, i); }
std::string square(int i) { return fmt::format(R"("side":{}.25,"layer":{})", i % 40, i % 7); }
std::string polygon(int i) { return fmt::format(R"("points":[0,{},1.5,2,3,{}])", i % 9, i % 11); }

// The same records twice: one mixed list with type names (aliases for two
// types, the signature for the third), and three lists by concrete type.
struct ShapeDocuments {
  std::string wrapped;
  std::string concrete;
};

ShapeDocuments shapeDocuments() {
  std::string wrapped = R"({"shapes":[)";
  std::string circles, squares, polygons;
  for (int i = 0; i < kValues; ++i) {
    if (i > 0) wrapped += ',';
    std::string* list = nullptr;
    std::string body;
    switch (i % 3) {
      case 0:
        body = circle(i);
        wrapped += R"({"__preserved_type":"circle","__type_preserving_strategy":2,)" + body + "}";
        list = &circles;
        break;
      case 1:
        body = square(i);
        wrapped += R"({"__preserved_type":"square","__type_preserving_strategy":0,)" + body + "}";
        list = &squares;
        break;
      default:
        body = polygon(i);
        wrapped +=
            R"({"__preserved_type":"Bench.Polygon","__type_preserving_strategy":1,)" + body + "}";
        list = &polygons;
    }
    *list += (list->empty() ? "{" : ",{") + body + "}";
  }
  wrapped += "]}";
  return {wrapped, R"({"circles":[)" + circles + R"(],"squares":[)" + squares +
                       R"(],"polygons":[)" + polygons + "]}"};
}

void BM_TypePreservedVsConcrete(benchmark::State& state) {
  const ShapeDocuments docs = shapeDocuments();
  auto adapter = std::make_shared<quarn::TypePreservingCodingAdapter>();
  adapter->register_<Circle>("circle").register_<Square>("square").register_<Polygon>();
  auto adapters = std::make_shared<quarn::TypePreservingCodingAdapters>();
  adapters->register_<Shape>(adapter);
  quarn::JSONDecoder decoder;
  decoder.userInfo.set(std::string(quarn::kTypePreservingCodingAdaptersKey), adapters);

  quarn::bench::CPUPhaseTimer subject;
  quarn::bench::CPUPhaseTimer floor;
  for (auto _ : state) {
    std::vector<std::shared_ptr<Shape>> mixed;
    subject.time([&] {
      decoder.decode(docs.wrapped, [&](quarn::Decoder& d) {
        mixed = quarn::decodeTypePreserved<std::vector<std::shared_ptr<Shape>>, Shape>(
            *d.container(), "shapes");
      });
    });
    std::size_t concrete = 0;
    floor.time([&] {
      decoder.decode(docs.concrete, [&](quarn::Decoder& d) {
        auto c = d.container();
        concrete += c->decode<std::vector<std::shared_ptr<Circle>>>("circles").size();
        concrete += c->decode<std::vector<std::shared_ptr<Square>>>("squares").size();
        concrete += c->decode<std::vector<std::shared_ptr<Polygon>>>("polygons").size();
      });
    });
    if (mixed.size() != kValues || concrete != kValues) state.SkipWithError("wrong count");
    benchmark::DoNotOptimize(mixed);
  }
  quarn::bench::reportRatio(state, subject, floor, "adapters_ms", "concrete_ms");
}
BENCHMARK(BM_TypePreservedVsConcrete)->Unit(benchmark::kMillisecond)->MinTime(2.0);

struct Track {
  std::int64_t id = 0;
  std::string title;
};
struct TrackKey : quarn::CodableReferenceContainerKey {};
using TrackRef = quarn::CodableReference<Track, TrackKey>;

void BM_ReferencesVsHashMap(benchmark::State& state) {
  constexpr std::int64_t kTracks = 5000;
  auto storage = std::make_shared<quarn::CodableReferenceStorage>();
  std::unordered_map<std::int64_t, std::shared_ptr<Track>> plain;
  for (std::int64_t id = 0; id < kTracks; ++id) {
    auto track = std::make_shared<Track>(Track{id, fmt::format("Track {}", id)});
    storage->container<TrackKey>().insert(track);
    plain.emplace(id, track);
  }
  std::string ids = "[";
  for (int i = 0; i < kReferences; ++i) {
    ids += fmt::format("{}{}", i ? "," : "", (static_cast<std::int64_t>(i) * 7919) % kTracks);
  }
  ids += "]";
  quarn::JSONDecoder decoder;
  decoder.userInfo.set(std::string(quarn::kCodableReferenceStorageKey), storage);

  quarn::bench::CPUPhaseTimer subject;
  quarn::bench::CPUPhaseTimer floor;
  for (auto _ : state) {
    std::vector<TrackRef> refs;
    subject.time([&] { refs = decoder.decode<std::vector<TrackRef>>(ids); });
    std::vector<std::shared_ptr<Track>> looked;
    floor.time([&] {
      decoder.decode(ids, [&](quarn::Decoder& d) {
        auto list = d.unkeyedContainer();
        looked.reserve(kReferences);
        while (!list->isAtEnd()) {
          const auto it = plain.find(list->decode<std::int64_t>());
          if (it == plain.end()) throw std::runtime_error("missing");
          looked.push_back(it->second);
        }
      });
    });
    if (refs.size() != kReferences || looked.size() != kReferences) {
      state.SkipWithError("wrong count");
    }
    benchmark::DoNotOptimize(refs);
  }
  quarn::bench::reportRatio(state, subject, floor, "references_ms", "hash_map_ms");
}
BENCHMARK(BM_ReferencesVsHashMap)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
