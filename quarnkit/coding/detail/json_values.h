// Reading standard values (primitive.h) out of a parsed document, for the
// JSON decoder's containers over either back-end (json_dom.h): kinds,
// ranges and date strategies checked, failures as DecodingError with the
// value's coding path. Internal to the JSON decoder.
#pragma once

#include <fmt/format.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "quarnkit/coding/coding_error.h"
#include "quarnkit/coding/detail/format_double.h"
#include "quarnkit/coding/detail/json_decode_state.h"
#include "quarnkit/coding/detail/json_dom.h"
#include "quarnkit/coding/detail/json_path.h"
#include "quarnkit/coding/json_decoder.h"
#include "quarnkit/coding/primitive.h"
#include "quarnkit/core/data.h"
#include "quarnkit/core/date.h"
#include "quarnkit/core/decimal.h"
#include "quarnkit/core/type_name.h"
#include "quarnkit/core/url.h"
#include "quarnkit/core/uuid.h"
#include "quarnkit/core/value.h"

namespace quarn::detail {
// Internal linkage: see json_containers.h.
namespace {

template <class Dom>
class JSONDecoderImpl;

[[noreturn]] inline void throwTooDeep(const PathNode& node) {
  throw DecodingError::dataCorrupted(
      {node.path(),
       fmt::format("Nesting exceeds the maximum depth of {}.", JSONDecoder::kMaxDepth)});
}

template <class Dom>
[[noreturn]] void throwMismatch(std::string_view type, typename Dom::Value v, CodingPath path) {
  if (Dom::isNull(v)) {
    throw DecodingError::valueNotFound(
        std::string(type),
        {std::move(path), fmt::format("Expected {} value but found null instead.", type)});
  }
  throw DecodingError::typeMismatch(
      std::string(type),
      {std::move(path), fmt::format("Expected to decode {} but found {} instead.", type,
                                    kindDescription(Dom::kind(v)))});
}

// Reads one standard value from `v`; `node` is the value's own path position.
template <class Dom>
void readPrimitive(typename Dom::Value v, PrimitiveRef out, const DecodeState& state,
                   const PathNode& node, int depth);

template <class Dom, class I>
void readInteger(typename Dom::Value v, I* out, const PathNode& node) {
  const auto doesNotFit = [&](const std::string& number) {
    throw DecodingError::dataCorrupted(
        {node.path(),
         fmt::format("Parsed JSON number <{}> does not fit in {}.", number, typeName<I>())});
  };
  switch (Dom::kind(v)) {
    case JSONKind::int64: {
      const std::int64_t x = Dom::getInt64(v);
      if constexpr (std::is_signed_v<I>) {
        if (x < std::numeric_limits<I>::min() || x > std::numeric_limits<I>::max()) {
          doesNotFit(std::to_string(x));
        }
      } else {
        if (x < 0 || static_cast<std::uint64_t>(x) > std::numeric_limits<I>::max()) {
          doesNotFit(std::to_string(x));
        }
      }
      *out = static_cast<I>(x);
      return;
    }
    case JSONKind::uint64: {
      const std::uint64_t x = Dom::getUint64(v);
      if (x > static_cast<std::uint64_t>(std::numeric_limits<I>::max()))
        doesNotFit(std::to_string(x));
      *out = static_cast<I>(x);
      return;
    }
    case JSONKind::double_: {
      const double d = Dom::getDouble(v);
      // Only integral values inside the width's range; the bounds are exact
      // powers of two so the comparisons are exact.
      const double lo = static_cast<double>(std::numeric_limits<I>::min());
      const double hiExclusive = std::ldexp(1.0, std::numeric_limits<I>::digits);
      if (!std::isfinite(d) || d != std::trunc(d) || d < lo || d >= hiExclusive) {
        doesNotFit(formatDouble(d));
      }
      *out = static_cast<I>(d);
      return;
    }
    default:
      throwMismatch<Dom>(typeName<I>(), v, node.path());
  }
}

template <class Dom>
double readNumber(typename Dom::Value v, std::string_view type, const PathNode& node) {
  switch (Dom::kind(v)) {
    case JSONKind::double_:
      return Dom::getDouble(v);
    case JSONKind::int64:
      return static_cast<double>(Dom::getInt64(v));
    case JSONKind::uint64:
      return static_cast<double>(Dom::getUint64(v));
    default:
      throwMismatch<Dom>(type, v, node.path());
  }
}

template <class Dom>
std::string_view readString(typename Dom::Value v, std::string_view type, const PathNode& node) {
  if (Dom::kind(v) != JSONKind::string) throwMismatch<Dom>(type, v, node.path());
  return Dom::getString(v);
}

template <class Dom>
void readDate(typename Dom::Value v, Date* out, const DecodeState& state, const PathNode& node,
              int depth) {
  const auto& strategy = state.options->dateDecodingStrategy;
  using Kind = DateDecodingStrategy::Kind;
  switch (strategy.kind) {
    case Kind::deferredToDate:
      *out = Date::fromTimeIntervalSinceReferenceDate(readNumber<Dom>(v, "Double", node));
      return;
    case Kind::secondsSince1970:
      *out = Date(readNumber<Dom>(v, "Double", node));
      return;
    case Kind::millisecondsSince1970:
      *out = Date(readNumber<Dom>(v, "Double", node) / 1000.0);
      return;
    case Kind::iso8601: {
      auto d = Date::parseISO8601(readString<Dom>(v, "String", node));
      if (!d) {
        throw DecodingError::dataCorrupted(
            {node.path(), "Expected date string to be ISO8601-formatted."});
      }
      *out = *d;
      return;
    }
    case Kind::custom: {
      JSONDecoderImpl<Dom> d(v, &state, node, depth);
      // A copy: the function may replace the decoder's strategy, itself
      // included, while it runs.
      const std::function<Date(Decoder&)> read = strategy.custom;
      *out = read(d);
      return;
    }
  }
}

template <class Dom>
void readPrimitive(typename Dom::Value v, PrimitiveRef out, const DecodeState& state,
                   const PathNode& node, int depth) {
  struct Visitor {
    typename Dom::Value v;
    const DecodeState& state;
    const PathNode& node;
    int depth;

    void operator()(bool* b) const {
      if (Dom::kind(v) != JSONKind::boolean) throwMismatch<Dom>("Bool", v, node.path());
      *b = Dom::getBool(v);
    }
    void operator()(std::string* s) const { *s = readString<Dom>(v, "String", node); }
    void operator()(double* d) const { *d = readNumber<Dom>(v, "Double", node); }
    void operator()(float* f) const {
      const double d = readNumber<Dom>(v, "Float", node);
      if (std::isfinite(d) && std::fabs(d) > FLT_MAX) {
        throw DecodingError::dataCorrupted(
            {node.path(),
             fmt::format("Parsed JSON number <{}> does not fit in Float.", formatDouble(d))});
      }
      *f = static_cast<float>(d);
    }
    void operator()(std::int8_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::int16_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::int32_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::int64_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint8_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint16_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint32_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(std::uint64_t* i) const { readInteger<Dom>(v, i, node); }
    void operator()(URL* u) const {
      auto parsed = URL::parse(readString<Dom>(v, "String", node));
      if (!parsed) throw DecodingError::dataCorrupted({node.path(), "Invalid URL string."});
      *u = std::move(*parsed);
    }
    void operator()(Date* d) const { readDate<Dom>(v, d, state, node, depth); }
    void operator()(Data* d) const {
      auto parsed = Data::fromBase64(readString<Dom>(v, "String", node));
      if (!parsed) {
        throw DecodingError::dataCorrupted({node.path(), "Encountered Data is not valid Base64."});
      }
      *d = std::move(*parsed);
    }
    void operator()(Decimal* d) const {
      if (Dom::kind(v) == JSONKind::int64) {
        *d = Decimal(Dom::getInt64(v));
      } else if (Dom::kind(v) == JSONKind::uint64) {
        *d = *Decimal::parse(std::to_string(Dom::getUint64(v)));
      } else {
        // The shortest text that reads back as the same double, so 0.1 stays 0.1.
        const double x = readNumber<Dom>(v, "Decimal", node);
        auto parsed = std::isfinite(x) ? Decimal::parse(formatDouble(x)) : std::nullopt;
        if (!parsed) throw DecodingError::dataCorrupted({node.path(), "Invalid Decimal number."});
        *d = std::move(*parsed);
      }
    }
    void operator()(UUID* u) const {
      auto parsed = UUID::parse(readString<Dom>(v, "String", node));
      if (!parsed) {
        throw DecodingError::dataCorrupted(
            {node.path(), "Attempted to decode UUID from invalid UUID string."});
      }
      *u = *parsed;
    }
    void operator()(Value* x) const { *x = Dom::toValue(v); }
  };
  std::visit(Visitor{v, state, node, depth}, out);
}

}  // namespace
}  // namespace quarn::detail
