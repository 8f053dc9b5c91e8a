// Decodes arbitrary bytes through JSONDecoder (also wrapped in the
// device-variant decoder) into a record of a realistic shape. Any input must
// either decode or fail with DecodingError. Decoding the text and decoding the
// same text parsed by Boost.JSON first must agree: the same values (numbers
// within the last bits of a double) or the same error. Device variants read
// by the JSON containers and by the general wrappers (a record's own "_"
// layer stacked on the "~" layer of the list) must agree the same way.
#include <boost/json.hpp>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/platform_decoder.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/value.h"

namespace {

struct Node;

// A record that opens its own layer, without recursion, over the layer of
// the node it sits in.
struct Card {
  std::optional<std::string> title;
  std::vector<Node> nodes;
  static Card decode(quarn::Decoder& d);
};

struct Node {
  std::string title;
  std::optional<std::int8_t> small;
  std::optional<std::uint32_t> count;
  std::optional<double> score;
  std::optional<float> ratio;
  std::optional<quarn::URL> link;
  std::optional<quarn::Date> start;
  std::optional<quarn::Value> vars;
  std::vector<Node> items;
  std::optional<Card> card;

  static Node decode(quarn::Decoder& d) {
    auto c = quarn::platformContainer(d, "~", true);
    Node n;
    n.title = c->decode<std::string>("title");
    n.small = c->decodeIfPresent<std::int8_t>("small");
    n.count = c->decodeIfPresent<std::uint32_t>("count");
    n.score = c->decodeIfPresent<double>("score");
    n.ratio = c->decodeIfPresent<float>("ratio");
    n.link = c->decodeIfPresent<quarn::URL>("link");
    n.start = c->decodeIfPresent<quarn::Date>("start");
    n.vars = c->decodeIfPresent<quarn::Value>("vars");
    if (auto items = c->decodeIfPresent<std::vector<Node>>("items")) n.items = std::move(*items);
    n.card = c->decodeIfPresent<Card>("card");
    return n;
  }

  // Every member, for comparing two decodes.
  [[nodiscard]] quarn::Value toValue() const {
    quarn::Value::Object o;
    o.set("title", quarn::Value(title));
    if (small) o.set("small", quarn::Value(std::int64_t{*small}));
    if (count) o.set("count", quarn::Value(std::int64_t{*count}));
    if (score) o.set("score", quarn::Value(*score));
    if (ratio) o.set("ratio", quarn::Value(double{*ratio}));
    if (link) o.set("link", quarn::Value(link->absoluteString()));
    if (start) o.set("start", quarn::Value(start->timeIntervalSince1970()));
    if (vars) o.set("vars", *vars);
    o.set("items", list(items));
    if (card) {
      quarn::Value::Object c;
      if (card->title) c.set("title", quarn::Value(*card->title));
      c.set("nodes", list(card->nodes));
      o.set("card", quarn::Value(std::move(c)));
    }
    return quarn::Value(std::move(o));
  }
  static quarn::Value list(const std::vector<Node>& nodes) {
    quarn::Value::Array out;
    for (const auto& n : nodes) out.push_back(n.toValue());
    return quarn::Value(std::move(out));
  }
};

Card Card::decode(quarn::Decoder& d) {
  auto c = quarn::platformContainer(d, "_", false);
  Card out{c->decodeIfPresent<std::string>("title"), {}};
  if (auto nodes = c->decodeIfPresent<std::vector<Node>>("nodes")) out.nodes = std::move(*nodes);
  return out;
}

// A decoder the device-variant decoder cannot see through, so that it wraps
// the containers under it instead of resolving variants in them.
class Opaque final : public quarn::Decoder {
 public:
  explicit Opaque(quarn::Decoder& base) : base_(&base) {}
  [[nodiscard]] quarn::CodingPath codingPath() const override { return base_->codingPath(); }
  [[nodiscard]] const quarn::CodingUserInfo& userInfo() const override { return base_->userInfo(); }
  std::unique_ptr<quarn::KeyedDecodingContainer> container() override { return base_->container(); }
  std::unique_ptr<quarn::UnkeyedDecodingContainer> unkeyedContainer() override {
    return base_->unkeyedContainer();
  }
  std::unique_ptr<quarn::SingleValueDecodingContainer> singleValueContainer() override {
    return base_->singleValueContainer();
  }

 private:
  quarn::Decoder* base_;
};

// Equal values, doubles compared to within a few units in the last place:
// the two parsers may round the rare hard decimal text differently.
bool close(const quarn::Value& a, const quarn::Value& b) {
  if (const double* x = a.ifDouble()) {
    const double* y = b.ifDouble();
    if (y == nullptr) return false;
    if (*x == *y || (std::isnan(*x) && std::isnan(*y))) return true;
    return std::fabs(*x - *y) <= 4 * std::fabs(std::nextafter(*x, 0.0) - *x);
  }
  if (const auto* x = a.ifArray()) {
    const auto* y = b.ifArray();
    if (y == nullptr || x->size() != y->size()) return false;
    for (std::size_t i = 0; i < x->size(); ++i) {
      if (!close((*x)[i], (*y)[i])) return false;
    }
    return true;
  }
  if (const auto* x = a.ifObject()) {
    const auto* y = b.ifObject();
    if (y == nullptr || x->size() != y->size()) return false;
    for (auto i = x->begin(), j = y->begin(); i != x->end(); ++i, ++j) {
      if (i->first != j->first || !close(i->second, j->second)) return false;
    }
    return true;
  }
  return a == b;
}

// What decoding gives: the value, or the error's text.
template <class F>
std::pair<std::optional<quarn::Value>, std::string> outcome(F f) {
  try {
    return {f(), ""};
  } catch (const quarn::DecodingError& e) {
    return {std::nullopt, e.description()};
  }
}

// Boost.JSON 1.81 reads a zero with a large exponent ("0e400") as NaN, where
// the text's own value is 0: such documents are not compared.
bool hasNaN(const boost::json::value& v) {
  if (v.is_double()) return std::isnan(v.get_double());
  if (v.is_array()) {
    for (const auto& e : v.get_array()) {
      if (hasNaN(e)) return true;
    }
  }
  if (v.is_object()) {
    for (const auto& m : v.get_object()) {
      if (hasNaN(m.value())) return true;
    }
  }
  return false;
}

void checkBothPathsAgree(std::string_view text) {
  boost::system::error_code ec;
  const boost::json::value document = boost::json::parse(text, ec);
  if (ec || hasNaN(document)) return;  // nothing to compare with
  const quarn::JSONDecoder decoder;
  const auto fromText = outcome([&] { return decoder.decode<quarn::Value>(text); });
  const auto fromDocument = outcome([&] { return decoder.decode<quarn::Value>(document); });
  const bool same =
      fromText.first && fromDocument.first
          ? close(*fromText.first, *fromDocument.first)
          : !fromText.first && !fromDocument.first && fromText.second == fromDocument.second;
  if (!same) std::abort();
  // Records read by key and position, with device variants, fail alike: the
  // same kind of error at the same place (a message may quote a number that
  // the two parsers rounded apart).
  const auto records = [&](auto&& decode) -> std::string {
    try {
      decode();
      return "ok";
    } catch (const quarn::DecodingError& e) {
      std::string where = std::to_string(static_cast<int>(e.kind())) + e.type();
      for (const auto& key : e.codingPath()) where += "/" + key.stringValue();
      return where;
    }
  };
  const std::string a = records([&] { (void)decoder.decode<std::vector<Node>>(text); });
  const std::string b = records([&] { (void)decoder.decode<std::vector<Node>>(document); });
  if (a != b) std::abort();
}

void checkVariantPathsAgree(std::string_view text) {
  const quarn::JSONDecoder decoder;
  const auto read = [&](bool opaque) {
    return outcome([&] {
      std::optional<quarn::Value> out;
      decoder.decode(text, [&](quarn::Decoder& d) {
        Opaque hidden(d);
        quarn::PlatformDecoder list(opaque ? static_cast<quarn::Decoder&>(hidden) : d, "~", true);
        out = Node::list(list.decode<std::vector<Node>>());
      });
      return *out;
    });
  };
  const auto fast = read(false);
  const auto general = read(true);
  const bool same = fast.first && general.first
                        ? close(*fast.first, *general.first)
                        : !fast.first && !general.first && fast.second == general.second;
  if (!same) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const auto& strategy :
       {quarn::DateDecodingStrategy::deferredToDate(), quarn::DateDecodingStrategy::iso8601()}) {
    quarn::JSONDecoder decoder;
    decoder.dateDecodingStrategy = strategy;
    try {
      auto nodes = decoder.decode<std::vector<Node>>(text);
      (void)nodes;
    } catch (const quarn::DecodingError&) {
    }
  }
  checkBothPathsAgree(text);
  checkVariantPathsAgree(text);
  return 0;
}
