// Decodes arbitrary bytes through JSONDecoder (also wrapped in the
// device-variant decoder) into a record of a realistic shape. Any input must
// either decode or fail with DecodingError. Decoding the text and decoding the
// same text parsed by Boost.JSON first must agree: the same values (numbers
// within the last bits of a double) or the same error.
#include <boost/json.hpp>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
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
    return n;
  }
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (auto strategy :
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
  return 0;
}
