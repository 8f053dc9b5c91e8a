// The functions of the expression language, written name:(arguments) or
// name(arguments): sum:, count:, min:, max:, average:, median:, mode:,
// stddev: (over one list), sqrt:, log:, ln:, exp:, floor:, ceiling:, abs:,
// trunc:, random, random:, now, the arithmetic forms add:to:, from:subtract:,
// multiply:by:, divide:by:, modulus:by:, raise:toPower:, the bitwise
// bitwiseAnd:with:, bitwiseOr:with:, bitwiseXor:with:, leftshift:by:,
// rightshift:by:, onesComplement:, and lowercase:, uppercase:, noindex:.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "quarnkit/core/value.h"
#include "quarnkit/predicate/evaluation_context.h"

namespace quarn::detail {

struct FunctionSpec {
  std::string_view name;  // canonical spelling: "sum:", "now", "modulus:by:"
  std::size_t arity;
  Value (*call)(const Value* const* arguments, const EvaluationContext& context);
};

/// The canonical name of a function written `written` with `arity` arguments
/// ("sum" with one argument is "sum:").
std::string canonicalFunctionName(std::string_view written, std::size_t arity);

/// The function of that canonical name and arity, or nullptr.
const FunctionSpec* findFunction(std::string_view canonicalName, std::size_t arity);

/// Whether some function has that canonical name, whatever its arity.
bool isFunctionName(std::string_view canonicalName);

/// Most arguments any function takes.
inline constexpr std::size_t kMaxFunctionArity = 2;

}  // namespace quarn::detail
