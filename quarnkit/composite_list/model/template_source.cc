#include "quarnkit/composite_list/model/template_source.h"

#include "quarnkit/core/hash.h"

namespace quarn {

std::string CompositeListTemplateSource::rawValue() const {
  if (const URL* u = urlValue()) return u->absoluteString();
  return std::get<std::string>(payload_);
}

std::size_t CompositeListTemplateSource::hash() const {
  std::size_t h = 0;
  hashCombine(h, static_cast<std::size_t>(kind_));
  hashCombine(h, std::hash<std::string>()(rawValue()));
  return h;
}

}  // namespace quarn
