#include "quarnkit/composite_list/model/divider_include.h"

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
