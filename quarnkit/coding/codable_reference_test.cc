#include "quarnkit/coding/codable_reference.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/testing/support.h"

namespace quarn {
namespace {

struct Track {
  std::int64_t id = 0;
  std::string title;
};
struct Album {
  std::string id;
};
struct Device {
  UUID id;
};
struct Page {
  URL id;
};
struct TrackKey : CodableReferenceContainerKey {};
struct OtherKey : CodableReferenceContainerKey {};

using TrackRef = CodableReference<Track, TrackKey>;
using AlbumRef = CodableReference<Album, TrackKey>;
using DeviceRef = CodableReference<Device, TrackKey>;
using PageRef = CodableReference<Page, TrackKey>;

struct Playlist {
  std::vector<TrackRef> tracks;
  static Playlist decode(Decoder& d) {
    return {d.container()->decode<std::vector<TrackRef>>("tracks")};
  }
  void encode(Encoder& e) const { e.container()->encode(tracks, "tracks"); }
};

JSONDecoder decoderWith(const std::shared_ptr<CodableReferenceStorage>& storage) {
  JSONDecoder decoder;
  decoder.userInfo.set(std::string(kCodableReferenceStorageKey), storage);
  return decoder;
}

DecodingError decodingErrorOf(const std::function<void()>& f) {
  auto e = quarn::testing::errorOfType<DecodingError>(f);
  if (!e) ADD_FAILURE() << "no DecodingError";
  return e.value_or(DecodingError::dataCorrupted({}));
}

TEST(CodableReferenceTest, ReferencesToOneIdShareTheStoredInstance) {
  auto storage = std::make_shared<CodableReferenceStorage>();
  auto intro = std::make_shared<Track>(Track{7, "Intro"});
  storage->container<TrackKey>().insert(intro);
  storage->container<TrackKey>().insert(std::make_shared<Track>(Track{8, "Outro"}));

  const auto decoder = decoderWith(storage);
  const Playlist list = decoder.decode<Playlist>(R"({"tracks":[7,8,7]})");
  ASSERT_EQ(list.tracks.size(), 3U);
  EXPECT_EQ(list.tracks[0].wrappedValue, intro);
  EXPECT_EQ(list.tracks[2].wrappedValue, intro);
  EXPECT_EQ(list.tracks[1].wrappedValue->title, "Outro");
  EXPECT_EQ(list.tracks[0], list.tracks[2]);
  EXPECT_EQ(std::hash<TrackRef>()(list.tracks[0]), std::hash<std::int64_t>()(7));

  // A reference is written as the bare id and reads back equal.
  JSONEncoder encoder;
  const std::string json = encoder.encode(list);
  EXPECT_EQ(json, R"({"tracks":[7,8,7]})");
  EXPECT_EQ(decoder.decode<Playlist>(json).tracks, list.tracks);
  EXPECT_EQ(encoder.encode(TrackRef(intro)), "7");
}

TEST(CodableReferenceTest, UnresolvedIdsAreDataCorruptedAtTheReference) {
  auto storage = std::make_shared<CodableReferenceStorage>();
  storage->container<TrackKey>().insert(std::make_shared<Track>(Track{7, "Intro"}));
  storage->container<OtherKey>().insert(std::make_shared<Track>(Track{9, "Elsewhere"}));
  storage->container<TrackKey>().set(std::string("a1"), std::make_shared<Track>(Track{1, "x"}));

  JSONDecoder wrongKind;
  wrongKind.userInfo.set(std::string(kCodableReferenceStorageKey), std::string("storage"));
  struct Row {
    const char* name;
    JSONDecoder decoder;
    std::function<void(const JSONDecoder&)> decode;
    DecodingError::Kind kind;
    const char* path;
    const char* description;
  };
  auto playlist = [](const char* json) {
    return [json](const JSONDecoder& d) { (void)d.decode<Playlist>(json); };
  };
  const Row rows[] = {
      {"no storage", JSONDecoder(), playlist(R"({"tracks":[7]})"),
       DecodingError::Kind::dataCorrupted, "tracks[0]", "Couldn't find Track with id 7"},
      {"storage of another kind", wrongKind, playlist(R"({"tracks":[7]})"),
       DecodingError::Kind::dataCorrupted, "tracks[0]", "Couldn't find Track with id 7"},
      {"unknown id", decoderWith(storage), playlist(R"({"tracks":[7,3]})"),
       DecodingError::Kind::dataCorrupted, "tracks[1]", "Couldn't find Track with id 3"},
      {"id of another key type", decoderWith(storage), playlist(R"({"tracks":[9]})"),
       DecodingError::Kind::dataCorrupted, "tracks[0]", "Couldn't find Track with id 9"},
      {"a single reference", decoderWith(storage),
       [](const JSONDecoder& d) { (void)d.decode<std::vector<std::optional<TrackRef>>>("[7,3]"); },
       DecodingError::Kind::dataCorrupted, "[1]", "Couldn't find Track with id 3"},
      {"object of another type", decoderWith(storage),
       [](const JSONDecoder& d) { (void)d.decode<AlbumRef>(R"("a1")"); },
       DecodingError::Kind::dataCorrupted, "", "Couldn't find Album with id a1"},
      {"uuid id", decoderWith(storage),
       [](const JSONDecoder& d) {
         (void)d.decode<DeviceRef>(R"("e621e1f8-c36c-495a-93fc-0c247a3e6e5f")");
       },
       DecodingError::Kind::dataCorrupted, "",
       "Couldn't find Device with id E621E1F8-C36C-495A-93FC-0C247A3E6E5F"},
      {"url id", decoderWith(storage),
       [](const JSONDecoder& d) { (void)d.decode<PageRef>(R"("https://example.com/a")"); },
       DecodingError::Kind::dataCorrupted, "", "Couldn't find Page with id https://example.com/a"},
      {"id of the wrong JSON kind", decoderWith(storage), playlist(R"({"tracks":["7"]})"),
       DecodingError::Kind::typeMismatch, "tracks[0]", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const DecodingError e = decodingErrorOf([&] { row.decode(row.decoder); });
    EXPECT_EQ(e.kind(), row.kind) << e.description();
    EXPECT_EQ(codingPathDescription(e.codingPath()), row.path);
    if (row.description != nullptr) {
      EXPECT_EQ(e.debugDescription(), row.description);
    }
  }
}

// A copied storage would share its containers with its source, so that
// filing into one files into both.
static_assert(!std::is_copy_constructible_v<CodableReferenceStorage> &&
              !std::is_copy_assignable_v<CodableReferenceStorage>);

TEST(CodableReferenceStorageTest, WritingThroughAMissingContainerKeepsIt) {
  CodableReferenceStorage storage;
  EXPECT_EQ(storage.findContainer<TrackKey>(), nullptr);
  storage.container<TrackKey>().insert(std::make_shared<Track>(Track{7, "Intro"}));
  ASSERT_NE(storage.findContainer<TrackKey>(), nullptr);
  EXPECT_EQ(storage.findContainer<TrackKey>()->get<Track>(std::int64_t{7})->title, "Intro");
  EXPECT_EQ(storage.findContainer<OtherKey>(), nullptr);

  auto replacement = std::make_shared<CodableReferenceContainer>();
  storage.setContainer<TrackKey>(replacement);
  EXPECT_EQ(storage.findContainer<TrackKey>(), replacement.get());
}

TEST(CodableReferenceStorageTest, IdsCompareByValueAndType) {
  CodableReferenceContainer c;
  auto track = std::make_shared<Track>(Track{7, "Intro"});
  c.set(std::int64_t{7}, track);
  EXPECT_EQ(c.get<Track>(std::int64_t{7}), track);
  EXPECT_EQ(c.get<Track>(7), nullptr);  // an int is not an int64_t
  EXPECT_EQ(c.get<Track>(std::string("7")), nullptr);
  EXPECT_EQ(c.get<Album>(std::int64_t{7}), nullptr);
  c.set(std::int64_t{7}, std::shared_ptr<Track>());  // nothing removes
  EXPECT_EQ(c.get<Track>(std::int64_t{7}), nullptr);
  EXPECT_EQ(c.size(), 0U);
}

}  // namespace
}  // namespace quarn
