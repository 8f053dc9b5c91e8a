// CAST(value, 'class') of the language: conversions between numbers, dates
// and strings by the names of the classes they convert to.
// - 'NSDate': a number is seconds since the reference date
//   2001-01-01T00:00:00Z; a date stays itself.
// - 'NSNumber': a number stays itself, a boolean is 1 or 0, a date gives its
//   seconds since the reference date, a string is read as a decimal number
//   (an integer when it has neither point nor exponent and fits).
// - 'NSString': the text of a number ("42", "2.5"), of a boolean ("1", "0") or
//   of a date ("2024-01-31 10:00:00 +0000"); a string stays itself.
// Null stays null; anything else, and a string that is not a number, is an
// evaluation error.
#pragma once

#include <optional>
#include <string_view>

#include "quarnkit/core/value.h"
#include "quarnkit/predicate/detail/syntax_tree.h"

namespace quarn::detail {

/// The target of a class name, or nothing for a class CAST does not convert to.
std::optional<CastTarget> castTargetNamed(std::string_view className);

/// The class name of a target ("NSDate").
std::string_view castClassName(CastTarget target);

/// `value` converted to `target`; throws PredicateEvaluationError.
Value castValue(const Value& value, CastTarget target);

}  // namespace quarn::detail
