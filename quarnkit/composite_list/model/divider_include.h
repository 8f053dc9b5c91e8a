// The two entities the library defines itself: the divider (no content) and
// the include (a reference to another template whose items replace it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "quarnkit/coding/decoder.h"
#include "quarnkit/coding/encoder.h"
#include "quarnkit/composite_list/model/template_source.h"
#include "quarnkit/core/value.h"

namespace quarn {

/// The entity of a divider item: no fields; decoding reads nothing; all
/// dividers are equal. Encodes as an empty object.
struct CompositeListDivider {
  static CompositeListDivider decode(Decoder&) { return {}; }
  /// Any JSON, as decode() reads nothing.
  static Value jsonSchema();
  void encode(Encoder& e) const { e.container(); }
  friend bool operator==(const CompositeListDivider&, const CompositeListDivider&) { return true; }
};

/// A closed range of positions, lower...upper (lower <= upper).
struct ClosedRange {
  std::int64_t lowerBound = 0;
  std::int64_t upperBound = 0;
  friend bool operator==(const ClosedRange&, const ClosedRange&) = default;
};

/// The entity of an include item. Source: "url" (a valid URL), else
/// "reference" (a key reference), else "key"; a value of the wrong type
/// counts as absent, and none of them fails with keyNotFound("key").
/// Selection: "uniqueId", or "range" ([lower, upper], lower <= upper), else
/// "index" (n...n). It has no encoded form.
struct CompositeListInclude {
  CompositeListTemplateSource templateSource;
  std::optional<std::string> uniqueId;
  std::optional<ClosedRange> range;

  static CompositeListInclude decode(Decoder& d);
  /// The JSON Schema of an include entity as decode() reads it.
  static Value jsonSchema();
  friend bool operator==(const CompositeListInclude&, const CompositeListInclude&) = default;
};

}  // namespace quarn

template <>
struct std::hash<quarn::CompositeListDivider> {
  std::size_t operator()(const quarn::CompositeListDivider&) const noexcept { return 0x6469; }
};

template <>
struct std::hash<quarn::CompositeListInclude> {
  std::size_t operator()(const quarn::CompositeListInclude& i) const noexcept;
};
