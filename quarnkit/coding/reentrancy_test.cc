// What a host may do from inside the callbacks coding makes into its code: a
// registered type's decode and a value's encode during type-preserved coding,
// and the custom date strategies.
#include "quarnkit/testing/reentrancy.h"

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/json_encoder.h"
#include "quarnkit/coding/type_preserving_coding.h"
#include "quarnkit/core/date.h"
#include "quarnkit/testing/support.h"

namespace reentry {

// What the family's decode and encode do first, set by each row.
std::function<void(quarn::Decoder&)>& onDecode() {
  static std::function<void(quarn::Decoder&)> hook;
  return hook;
}
std::function<void(quarn::Encoder&)>& onEncode() {
  static std::function<void(quarn::Encoder&)> hook;
  return hook;
}

struct Piece : quarn::TypePreservingCodable {
  std::int64_t n = 0;
};

struct Pawn final : quarn::TypePreserving<Pawn, Piece> {
  static Pawn decode(quarn::Decoder& d) {
    if (const auto hook = onDecode()) hook(d);
    Pawn p;
    p.n = d.container()->decode<std::int64_t>("n");
    return p;
  }
  void encode(quarn::Encoder& e) const override {
    if (const auto hook = onEncode()) hook(e);
    e.container()->encode(n, "n");
  }
};

struct Rook final : quarn::TypePreserving<Rook, Piece> {
  static Rook decode(quarn::Decoder&) { return {}; }
  void encode(quarn::Encoder&) const override {}
};

}  // namespace reentry

namespace quarn {
template <>
struct CodableTypeNameOf<reentry::Pawn> : CodableTypeNamed<"Chess", "Pawn"> {};
template <>
struct CodableTypeNameOf<reentry::Rook> : CodableTypeNamed<"Chess", "Rook"> {};
}  // namespace quarn

namespace quarn {
namespace {

using reentry::Pawn;
using reentry::Piece;
using testing::HostAction;
using Pieces = std::vector<std::shared_ptr<Piece>>;

// A host's coders with the chess family's adapters in their settings.
struct Host {
  std::shared_ptr<TypePreservingCodingAdapter> adapter;
  std::shared_ptr<TypePreservingCodingAdapters> adapters;
  JSONDecoder decoder;
  JSONEncoder encoder;

  Host() : adapter(std::make_shared<TypePreservingCodingAdapter>()) {
    adapter->register_<Pawn>("pawn");
    adapters = std::make_shared<TypePreservingCodingAdapters>();
    adapters->register_<Piece>(adapter);
    decoder.userInfo.set(std::string(kTypePreservingCodingAdaptersKey), adapters);
    encoder.userInfo.set(std::string(kTypePreservingCodingAdaptersKey), adapters);
  }
  ~Host() {
    reentry::onDecode() = nullptr;
    reentry::onEncode() = nullptr;
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  [[nodiscard]] Pieces decode(std::string_view json) const {
    Pieces out;
    decoder.decode(json, [&](Decoder& d) {
      out = decodeTypePreserved<Pieces, Piece>(*d.container(), "pieces");
    });
    return out;
  }
  [[nodiscard]] std::string encode(const Pieces& pieces) const {
    return encoder.encode(
        [&](Encoder& e) { encodeTypePreserved<Piece>(*e.container(), pieces, "pieces"); });
  }
};

constexpr const char* kTwoPawns =
    R"({"pieces":[{"__preserved_type":"pawn","__type_preserving_strategy":2,"n":1},)"
    R"({"__preserved_type":"pawn","__type_preserving_strategy":2,"n":2}]})";

std::vector<std::int64_t> numbers(const Pieces& pieces) {
  std::vector<std::int64_t> out;
  for (const auto& p : pieces) out.push_back(p->n);
  return out;
}

Pieces twoPawns() {
  auto a = std::make_shared<Pawn>();
  a->n = 1;
  auto b = std::make_shared<Pawn>();
  b->n = 2;
  return {a, b};
}

TEST(CodingReentrancyTest, TypePreservedDecodeAndEncode) {
  testing::runReentrancyTable({
      {"registered type's decode", HostAction::release,
       "the host drops every reference to the adapters inside; the list still decodes, "
       "a later decode fails with adapterWasNotProvided",
       [] {
         Host host;
         reentry::onDecode() = [&](Decoder&) {
           host.decoder.userInfo.erase(kTypePreservingCodingAdaptersKey);
           host.adapters.reset();
           host.adapter.reset();
         };
         EXPECT_EQ(numbers(host.decode(kTwoPawns)), (std::vector<std::int64_t>{1, 2}));
         const auto error = testing::errorOfType<TypePreservingCodingAdapterError>(
             [&] { (void)host.decode(kTwoPawns); });
         ASSERT_TRUE(error);
         EXPECT_EQ(error->errorCase(),
                   TypePreservingCodingAdapterError::Case::adapterWasNotProvided);
       }},
      {"registered type's decode", HostAction::reenter,
       "a nested decode with the same decoder works",
       [] {
         Host host;
         std::vector<std::int64_t> inner;
         reentry::onDecode() = [&](Decoder&) {
           if (!inner.empty()) return;
           inner.push_back(0);
           for (auto n : numbers(host.decode(kTwoPawns))) inner.push_back(n);
         };
         EXPECT_EQ(numbers(host.decode(kTwoPawns)), (std::vector<std::int64_t>{1, 2}));
         EXPECT_EQ(inner, (std::vector<std::int64_t>{0, 1, 2}));
       }},
      {"registered type's decode", HostAction::reenter,
       "registering inside is refused (registeredAfterFirstUse) and fails the decode; "
       "the adapter is unchanged and decodes afterwards",
       [] {
         Host host;
         reentry::onDecode() = [&](Decoder&) { host.adapter->register_<reentry::Rook>("rook"); };
         const auto error = testing::errorOfType<TypePreservingCodingAdapterRegistrationError>(
             [&] { (void)host.decode(kTwoPawns); });
         ASSERT_TRUE(error);
         EXPECT_EQ(error->errorCase(),
                   TypePreservingCodingAdapterRegistrationError::Case::registeredAfterFirstUse);
         EXPECT_EQ(host.adapter->findMetaCodableByAlias("rook"), nullptr);
         reentry::onDecode() = nullptr;
         EXPECT_EQ(host.decode(kTwoPawns).size(), 2U);
       }},
      {"registered type's decode", HostAction::raise,
       "the exception propagates unchanged; the next decode works",
       [] {
         Host host;
         reentry::onDecode() = [](Decoder&) { throw std::logic_error("decode"); };
         EXPECT_THROW((void)host.decode(kTwoPawns), std::logic_error);
         reentry::onDecode() = nullptr;
         EXPECT_EQ(numbers(host.decode(kTwoPawns)), (std::vector<std::int64_t>{1, 2}));
       }},
      {"value's encode", HostAction::release,
       "the host drops every reference to the adapters inside; the list is written whole, "
       "each value with the name chosen for it",
       [] {
         Host host;
         reentry::onEncode() = [&](Encoder&) {
           host.encoder.userInfo.erase(kTypePreservingCodingAdaptersKey);
           host.adapters.reset();
           host.adapter.reset();
         };
         EXPECT_EQ(host.encode(twoPawns()),
                   R"({"pieces":[{"__preserved_type":"pawn","__type_preserving_strategy":2,"n":1},)"
                   R"({"__preserved_type":"Chess.Pawn","__type_preserving_strategy":1,"n":2}]})");
       }},
      {"value's encode", HostAction::reenter,
       "a nested encode with the same encoder works; the outer text is unchanged by it",
       [] {
         Host host;
         std::optional<std::string> inner;
         reentry::onEncode() = [&](Encoder&) {
           if (inner) return;
           inner.emplace();
           *inner = host.encode(twoPawns());
         };
         const std::string outer = host.encode(twoPawns());
         EXPECT_EQ(outer, std::string(kTwoPawns));
         EXPECT_EQ(inner, std::string(kTwoPawns));
       }},
      {"value's encode", HostAction::raise,
       "the exception propagates unchanged; the next encode works",
       [] {
         Host host;
         reentry::onEncode() = [](Encoder&) { throw std::out_of_range("encode"); };
         EXPECT_THROW((void)host.encode(twoPawns()), std::out_of_range);
         reentry::onEncode() = nullptr;
         EXPECT_EQ(host.encode(twoPawns()), kTwoPawns);
       }},
  });
}

// A capture too large to be stored inside the std::function.
const std::string kBigCapture(64, 'x');

TEST(CodingReentrancyTest, CustomDateStrategies) {
  testing::runReentrancyTable({
      {"custom date decoding", HostAction::release,
       "the function replaces the decoder's strategy (itself) while it runs; it completes, "
       "and later dates are read with the new strategy",
       [] {
         JSONDecoder decoder;
         decoder.dateDecodingStrategy =
             DateDecodingStrategy::customFunction([&decoder, tag = kBigCapture](Decoder& d) {
               decoder.dateDecodingStrategy = DateDecodingStrategy::millisecondsSince1970();
               const double seconds = d.decode<double>();
               return Date(tag.size() == 64 ? seconds : -1);
             });
         const auto dates = decoder.decode<std::vector<Date>>("[10, 2000]");
         EXPECT_EQ(dates[0].timeIntervalSince1970(), 10);
         EXPECT_EQ(dates[1].timeIntervalSince1970(), 2);
       }},
      {"custom date decoding", HostAction::reenter,
       "the function decodes another document with the same decoder",
       [] {
         JSONDecoder decoder;
         int depth = 0;
         decoder.dateDecodingStrategy = DateDecodingStrategy::customFunction([&](Decoder& d) {
           double extra = 0;
           if (depth++ == 0) extra = decoder.decode<Date>("100").timeIntervalSince1970();
           return Date(d.decode<double>() + extra);
         });
         EXPECT_EQ(decoder.decode<Date>("1").timeIntervalSince1970(), 101);
       }},
      {"custom date decoding", HostAction::raise,
       "the exception propagates unchanged; the decoder works afterwards",
       [] {
         JSONDecoder decoder;
         bool fail = true;
         decoder.dateDecodingStrategy = DateDecodingStrategy::customFunction([&](Decoder& d) {
           if (fail) throw std::domain_error("date");
           return Date(d.decode<double>());
         });
         EXPECT_THROW((void)decoder.decode<Date>("1"), std::domain_error);
         fail = false;
         EXPECT_EQ(decoder.decode<Date>("1").timeIntervalSince1970(), 1);
       }},
      {"custom date encoding", HostAction::release,
       "the function replaces the encoder's strategy (itself) while it runs; it completes, "
       "and later dates are written with the new strategy",
       [] {
         JSONEncoder encoder;
         encoder.dateEncodingStrategy = DateEncodingStrategy::customFunction(
             [&encoder, tag = kBigCapture](const Date& date, Encoder& e) {
               encoder.dateEncodingStrategy = DateEncodingStrategy::secondsSince1970();
               e.encode(tag.substr(0, 2) +
                        std::to_string(static_cast<int>(date.timeIntervalSince1970())));
             });
         EXPECT_EQ(encoder.encode(std::vector<Date>{Date(1), Date(2)}), R"(["xx1",2])");
       }},
      {"custom date encoding", HostAction::reenter,
       "the function encodes another value with the same encoder",
       [] {
         JSONEncoder encoder;
         encoder.dateEncodingStrategy =
             DateEncodingStrategy::customFunction([&](const Date&, Encoder& e) {
               e.encode(encoder.encode(std::vector<std::int64_t>{1, 2}));
             });
         EXPECT_EQ(encoder.encode(Date(0)), R"("[1,2]")");
       }},
      {"custom date encoding", HostAction::raise,
       "the exception propagates unchanged; the encoder works afterwards",
       [] {
         JSONEncoder encoder;
         bool fail = true;
         encoder.dateEncodingStrategy =
             DateEncodingStrategy::customFunction([&](const Date&, Encoder& e) {
               if (fail) throw std::domain_error("date");
               e.encode(std::int64_t{7});
             });
         EXPECT_THROW((void)encoder.encode(Date(0)), std::domain_error);
         fail = false;
         EXPECT_EQ(encoder.encode(Date(0)), "7");
       }},
  });
}

}  // namespace
}  // namespace quarn
