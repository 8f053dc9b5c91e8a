// Decodes arbitrary bytes through JSONDecoder (also wrapped in the
// device-variant decoder) into a record of a realistic shape. Any input must
// either decode or fail with DecodingError.
#include <cstddef>
#include <cstdint>
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
  return 0;
}
