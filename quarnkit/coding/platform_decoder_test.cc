#include "quarnkit/coding/platform_decoder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <map>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/core/value.h"
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

// A decoder the device-variant decoder cannot see through: it takes the
// general way over any keyed container.
class Opaque final : public Decoder {
 public:
  explicit Opaque(Decoder& base) : base_(&base) {}
  [[nodiscard]] CodingPath codingPath() const override { return base_->codingPath(); }
  [[nodiscard]] const CodingUserInfo& userInfo() const override { return base_->userInfo(); }
  std::unique_ptr<KeyedDecodingContainer> container() override { return base_->container(); }
  std::unique_ptr<UnkeyedDecodingContainer> unkeyedContainer() override {
    return base_->unkeyedContainer();
  }
  std::unique_ptr<SingleValueDecodingContainer> singleValueContainer() override {
    return base_->singleValueContainer();
  }

 private:
  Decoder* base_;
};

// A record that opens its own device-variant layer ("_") while its decoder
// already resolves "~" variants, as a template's items are read. Read over
// the JSON decoder's own containers and, through Opaque, over the general
// wrappers: both must give what stacked layers give.
struct Layered {
  std::string title;
  std::string nested;
  std::string listed;
  bool operator==(const Layered&) const = default;
};

Layered decodeLayered(std::string_view json, bool recursive, bool opaque) {
  ScopedService<platform::Device> device(std::make_shared<FixedDevice>(UserInterfaceIdiom::tablet));
  std::optional<Layered> out;
  JSONDecoder().decode(json, [&](Decoder& root) {
    Opaque hidden(root);
    PlatformDecoder items(opaque ? static_cast<Decoder&>(hidden) : root, "~", true);
    items.container()->decodeNested("item", [&](Decoder& d) {
      auto c = platformContainer(d, "_", recursive);
      out = Layered{c->decode<std::string>("title"), c->decode<Title>("nested").title,
                    c->decode<std::vector<Title>>("list").at(0).title};
    });
  });
  return *out;
}

TEST(PlatformDecoderTest, LayersStackOverAnInheritedLayer) {
  constexpr std::string_view both = R"({"item": {
    "title": "plain", "title~ipad": "tilde", "title_ipad": "under", "title_ipad~ipad": "both",
    "nested": {"title": "n", "title~ipad": "n~", "title_ipad": "n_"},
    "list": [{"title": "l", "title~ipad": "l~", "title_ipad": "l_"}]}})";
  constexpr std::string_view tildeOnly = R"({"item": {
    "title": "plain", "title~ipad": "tilde",
    "nested": {"title": "n", "title~ipad": "n~"},
    "list": [{"title": "l", "title~ipad": "l~"}]}})";
  struct Case {
    std::string_view json;
    bool recursive;
    Layered expected;
  };
  const Case cases[] = {
      // The new layer is tried first, each name as the inherited layer resolves it.
      {both, true, {"both", "n_", "l_"}},
      // Without recursion the new layer stops at the record; the inherited one goes on.
      {both, false, {"both", "n~", "l~"}},
      {tildeOnly, true, {"tilde", "n~", "l~"}},
      {tildeOnly, false, {"tilde", "n~", "l~"}},
  };
  for (const Case& c : cases) {
    for (const bool opaque : {false, true}) {
      SCOPED_TRACE(fmt::format("{} recursive={} opaque={}", c.json, c.recursive, opaque));
      EXPECT_EQ(decodeLayered(c.json, c.recursive, opaque), c.expected);
    }
  }
}

// A record that opens the template's own layer again, at every level.
struct Chain {
  std::string title;
  std::size_t depth = 0;
  static Chain decode(Decoder& d) {
    auto c = platformContainer(d, "~", true);
    Chain out{c->decode<std::string>("title")};
    if (auto next = c->decodeIfPresent<Chain>("next")) {
      out = Chain{next->title, next->depth + 1};
    }
    return out;
  }
};

TEST(PlatformDecoderTest, ALayerInForceIsNotAddedAgain) {
  // Stacking it per level would double the look-ups per level.
  constexpr int kDepth = 100;
  std::string json = R"({"title": "t", "title~ipad": "v", "title~ipad~ipad": "doubled"})";
  for (int i = 0; i < kDepth; ++i) json.insert(0, R"({"title": "x", "next": )").append("}");
  ScopedService<platform::Device> device(std::make_shared<FixedDevice>(UserInterfaceIdiom::tablet));
  for (const bool opaque : {false, true}) {
    SCOPED_TRACE(opaque ? "general way" : "JSON");
    JSONDecoder().decode("[" + json + "]", [&](Decoder& root) {
      Opaque hidden(root);
      PlatformDecoder items(opaque ? static_cast<Decoder&>(hidden) : root, "~", true);
      const auto chain = items.unkeyedContainer()->decode<Chain>();
      EXPECT_EQ(chain.depth, static_cast<std::size_t>(kDepth));
      EXPECT_EQ(chain.title, "v");
    });
  }
}

TEST(PlatformDecoderTest, KeepsItsOwnCopyOfTheSuffix) {
  JSONDecoder().decode(R"({"title": "plain", "title_ipad": "tablet", "title_ipho": "x"})",
                       [](Decoder& d) {
                         std::string suffix = "ipad";
                         PlatformDecoder wrapped(d, "_", true, suffix);
                         suffix = "iphone";  // the caller's text changes afterwards
                         EXPECT_EQ(wrapped.suffix(), "ipad");
                         EXPECT_EQ(wrapped.container()->decode<std::string>("title"), "tablet");
                       });
}

// What a member walk passes, and what look-ups of the same names give.
struct Walked {
  std::map<std::string, Value> members;
  std::map<std::string, Value> lookedUp;
};

// With `stacked`, the object is read as a list element under a "~" layer
// before its own "_" layer is opened.
Walked walk(std::string_view json, bool opaque, const std::vector<std::string>& names,
            bool stacked = false) {
  ScopedService<platform::Device> device(std::make_shared<FixedDevice>(UserInterfaceIdiom::tablet));
  Walked out;
  const auto read = [&](Decoder& base) {
    auto c = platformContainer(base, "_", true);
    c->forEachMember([&](std::string_view key, Decoder& value) {
      EXPECT_FALSE(out.members.contains(std::string(key))) << key;
      out.members[std::string(key)] = value.decode<Value>();
    });
    for (const auto& name : names) {
      if (auto v = c->decodeIfPresent<Value>(name)) out.lookedUp[name] = *v;
    }
  };
  const std::string text = stacked ? "[" + std::string(json) + "]" : std::string(json);
  JSONDecoder().decode(text, [&](Decoder& d) {
    Opaque hidden(d);
    Decoder& base = opaque ? static_cast<Decoder&>(hidden) : d;
    if (!stacked) return read(base);
    PlatformDecoder(base, "~", true).unkeyedContainer()->decodeNested(read);
  });
  return out;
}

TEST(PlatformDecoderTest, MemberWalkAgreesWithLookUps) {
  // Few variants, many variants, a large object, nulls on either side.
  std::string large = R"({"title": "plain", "title_ipad": "tablet")";
  for (int i = 0; i < 20; ++i) large += fmt::format(R"(, "k{0}": {0}, "k{0}_ipad": "v{0}")", i);
  large += "}";
  const std::vector<std::string> jsons = {
      R"({"title": "plain", "title_ipad": "tablet", "title_iphone": "phone", "n": null, "x": 1})",
      R"({"a_ipad": 1, "b_ipad": 2, "c_ipad": 3, "d_ipad": 4, "e_ipad": 5, "e": 0, "f": 6})",
      R"({"gone": 1, "gone_ipad": null, "kept": null, "kept_ipad": 2, "_ipad": 3})",
      large,
  };
  std::vector<std::string> names = {"title", "n", "x",    "a",    "b",     "c",           "d",
                                    "e",     "f", "gone", "kept", "_ipad", "title_iphone"};
  for (int i = 0; i < 20; ++i) names.push_back("k" + std::to_string(i));
  for (const auto& json : jsons) {
    for (const bool opaque : {false, true}) {
      SCOPED_TRACE(json + (opaque ? " (general way)" : " (JSON)"));
      const Walked w = walk(json, opaque, names);
      EXPECT_EQ(w.members, w.lookedUp);
    }
  }
  // An empty device suffix: a key ending in the separator is the variant.
  {
    ScopedService<platform::Device> device(
        std::make_shared<FixedDevice>(UserInterfaceIdiom::tablet));
    JSONDecoder().decode(R"({"title": "plain", "title_": "variant"})", [](Decoder& d) {
      PlatformDecoder wrapped(d, "_", true, "");
      auto c = wrapped.container();
      EXPECT_EQ(c->decode<std::string>("title"), "variant");
      std::map<std::string, Value> walked;
      c->forEachMember(
          [&](std::string_view key, Decoder& v) { walked[std::string(key)] = v.decode<Value>(); });
      EXPECT_EQ(walked, (std::map<std::string, Value>{{"title", Value("variant")}}));
    });
  }
  // Under an inherited layer: the JSON containers and the general wrappers
  // agree with each other and with look-ups.
  const std::vector<std::string> stacked = {
      R"({"title": "p", "title~ipad": "t", "title_ipad": "u", "title_ipad~ipad": "b", "x~ipad": 1})",
      R"({"title": "p", "title~ipad": null, "title_ipad": "u", "y_ipad~ipad": 2, "y": 0})",
      R"({"title": "p", "title~ipad": "t", "title_ipad": null, "z": null, "z~ipad": 3})",
  };
  names.insert(names.end(), {"y", "z"});
  for (const auto& json : stacked) {
    SCOPED_TRACE(json + " (stacked)");
    const Walked fast = walk(json, false, names, true);
    EXPECT_EQ(fast.members, fast.lookedUp);
    const Walked general = walk(json, true, names, true);
    EXPECT_EQ(general.members, general.lookedUp);
    EXPECT_EQ(fast.lookedUp, general.lookedUp);
  }
  // Spot checks of the rules themselves.
  const Walked w = walk(jsons[2], false, names);
  EXPECT_FALSE(w.members.contains("gone"));  // its variant is null: absent, as a look-up says
  EXPECT_EQ(w.members.at("kept"), Value(2));
  EXPECT_EQ(w.members.at("_ipad"), Value(3));  // no name before the separator: a plain key
}

}  // namespace
}  // namespace quarn
