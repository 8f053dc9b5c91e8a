/// @file
/// The two entities the library defines itself: the divider (no content) and
/// the include (a reference to another template whose items replace it).
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
  /// A divider; reads nothing.
  static CompositeListDivider decode(Decoder&) { return {}; }
  /// Any JSON, as decode() reads nothing.
  static Value jsonSchema();
  /// Writes an empty object.
  void encode(Encoder& e) const { e.container(); }
  /// All dividers are equal.
  friend bool operator==(const CompositeListDivider&, const CompositeListDivider&) { return true; }
};

/// A closed range of positions, lower...upper (lower <= upper).
struct ClosedRange {
  /// The first position.
  std::int64_t lowerBound = 0;
  /// The last position.
  std::int64_t upperBound = 0;
  /// Equal when both bounds are.
  friend bool operator==(const ClosedRange&, const ClosedRange&) = default;
};

/// The entity of an include item. Source: "url" (a valid URL), else
/// "reference" (a key reference), else "key"; a value of the wrong type
/// counts as absent, and none of them fails with keyNotFound("key").
/// Selection: "uniqueId", or "range" ([lower, upper], lower <= upper), else
/// "index" (n...n). It has no encoded form.
struct CompositeListInclude {
  /// Where the included template comes from.
  CompositeListTemplateSource templateSource;
  /// The one item to take, by its uniqueId.
  std::optional<std::string> uniqueId;
  /// The items to take, by position.
  std::optional<ClosedRange> range;

  /// Decodes an include entity (see above); throws DecodingError.
  static CompositeListInclude decode(Decoder& d);
  /// The JSON Schema of an include entity as decode() reads it.
  static Value jsonSchema();
  /// Equal when source and selection are.
  friend bool operator==(const CompositeListInclude&, const CompositeListInclude&) = default;
};

}  // namespace quarn

/// Hashes a divider: all hash alike.
template <>
struct std::hash<quarn::CompositeListDivider> {
  /// The same for every divider.
  std::size_t operator()(const quarn::CompositeListDivider&) const noexcept { return 0x6469; }
};

/// Hashes an include by its source and selection.
template <>
struct std::hash<quarn::CompositeListInclude> {
  /// The hash of source and selection.
  std::size_t operator()(const quarn::CompositeListInclude& i) const noexcept;
};
