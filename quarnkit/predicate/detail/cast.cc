#include "quarnkit/predicate/detail/cast.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>

#include "quarnkit/predicate/detail/value_compare.h"
#include "quarnkit/predicate/errors.h"

namespace quarn::detail {
namespace {

std::string_view trimmed(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// A decimal number, whole: an integer when written as one and in range.
Value numberFromText(std::string_view written) {
  std::string_view text = trimmed(written);
  if (text.starts_with('+')) text.remove_prefix(1);
  const char* end = text.data() + text.size();
  std::int64_t integer = 0;
  if (auto [at, error] = std::from_chars(text.data(), end, integer);
      error == std::errc() && at == end && !text.empty()) {
    return integer;
  }
  double real = 0;
  const auto [at, error] = std::from_chars(text.data(), end, real, std::chars_format::general);
  if (error != std::errc() || at != end || text.empty() || !std::isfinite(real)) {
    throw PredicateEvaluationError(
        PredicateEvaluationError::Kind::invalidArgument,
        fmt::format("CAST to NSNumber needs a decimal number, found \"{}\"", written));
  }
  return real;
}

std::string textOf(const Value& v) {
  if (const auto* b = v.ifBool()) return *b ? "1" : "0";
  return v.description();
}

}  // namespace

std::optional<CastTarget> castTargetNamed(std::string_view className) {
  if (className == "NSDate") return CastTarget::date;
  if (className == "NSNumber") return CastTarget::number;
  if (className == "NSString") return CastTarget::string;
  return std::nullopt;
}

std::string_view castClassName(CastTarget target) {
  switch (target) {
    case CastTarget::date:
      return "NSDate";
    case CastTarget::number:
      return "NSNumber";
    case CastTarget::string:
      return "NSString";
  }
  return "?";
}

Value castValue(const Value& value, CastTarget target) {
  if (value.isNull()) return value;
  const auto number = numberOf(value);
  switch (target) {
    case CastTarget::date:
      if (value.isDate()) return value;
      if (number && !value.isBool())
        return Date::fromTimeIntervalSinceReferenceDate(number->asDouble());
      break;
    case CastTarget::number:
      if (number) return number->toValue();
      if (const auto* d = value.ifDate()) return d->timeIntervalSinceReferenceDate();
      if (const auto* s = value.ifString()) return numberFromText(*s);
      break;
    case CastTarget::string:
      if (value.isString()) return value;
      if (number || value.isDate()) return textOf(value);
      break;
  }
  throw PredicateEvaluationError(PredicateEvaluationError::Kind::typeMismatch,
                                 fmt::format("CAST to {} does not take a value of kind {}",
                                             castClassName(target), Value::kindName(value.kind())));
}

}  // namespace quarn::detail
