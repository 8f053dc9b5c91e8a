#include "quarnkit/composite_list/model/divider_include.h"

#include "quarnkit/coding/json_schema.h"
#include "quarnkit/core/hash.h"

namespace quarn {

namespace {
// The member as T, or nothing when it is missing, null or does not decode.
template <class T>
std::optional<T> lenient(KeyedDecodingContainer& c, CodingKeyRef key) {
  try {
    return c.decodeIfPresent<T>(key);
  } catch (const DecodingError&) {
    return std::nullopt;
  }
}
}  // namespace

Value CompositeListDivider::jsonSchema() {
  return json_schema::any("A divider reads nothing from its entity.");
}

Value CompositeListInclude::jsonSchema() {
  namespace s = json_schema;
  Value schema = s::object(
      "Include",
      "Another template whose items take this item's place: named by \"url\", else "
      "\"reference\", else \"key\" (the first of them present as a string).",
      {{"url", s::url("The template at this URL (a file or a remote document).")},
       {"reference", s::string("A key naming the key of the template (resolved by the host).")},
       {"key", s::string("The key the host registered the template under.")},
       {"uniqueId", s::string("The include's own identifier.")},
       {"range",
        s::describe(s::array(s::integer64(""), ""),
                    "Only the included items from position lower to upper: [lower, upper].")},
       {"index",
        s::integer64("Only the included item at this position (when there is no range).")}});
  if (auto* range = s::propertiesOf(schema)->find("range")) {
    range->ifObject()->set("minItems", 2);
    range->ifObject()->set("maxItems", 2);
  }
  Value::Array sources;
  for (const char* key : {"url", "reference", "key"}) {
    sources.push_back(Value::Object{{"required", Value::Array{Value(key)}},
                                    {"properties", Value::Object{{key, s::string("")}}}});
  }
  schema.ifObject()->set("anyOf", std::move(sources));
  return schema;
}

CompositeListInclude CompositeListInclude::decode(Decoder& d) {
  auto c = d.container();
  std::optional<CompositeListTemplateSource> source;
  if (auto url = lenient<URL>(*c, "url")) {
    source = CompositeListTemplateSource::url(std::move(*url));
  } else if (auto reference = lenient<std::string>(*c, "reference")) {
    source = CompositeListTemplateSource::keyReference(std::move(*reference));
  } else if (auto key = lenient<std::string>(*c, "key")) {
    source = CompositeListTemplateSource::key(std::move(*key));
  } else {
    throw DecodingError::keyNotFound(RawCodingKey("key"), {d.codingPath(), ""});
  }
  CompositeListInclude include{std::move(*source), c->decodeIfPresent<std::string>("uniqueId"),
                               std::nullopt};
  if (auto bounds = lenient<std::vector<std::int64_t>>(*c, "range");
      bounds && bounds->size() == 2 && (*bounds)[0] <= (*bounds)[1]) {
    include.range = ClosedRange{(*bounds)[0], (*bounds)[1]};
  } else if (auto index = lenient<std::int64_t>(*c, "index")) {
    include.range = ClosedRange{*index, *index};
  }
  return include;
}

}  // namespace quarn

std::size_t std::hash<quarn::CompositeListInclude>::operator()(
    const quarn::CompositeListInclude& i) const noexcept {
  std::size_t h = i.templateSource.hash();
  quarn::hashCombine(h, i.uniqueId ? std::hash<std::string>()(*i.uniqueId) : 0);
  if (i.range) {
    quarn::hashCombine(h, std::hash<std::int64_t>()(i.range->lowerBound));
    quarn::hashCombine(h, std::hash<std::int64_t>()(i.range->upperBound));
  }
  return h;
}
