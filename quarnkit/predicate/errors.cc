#include "quarnkit/predicate/errors.h"

#include <fmt/format.h>

#include <utility>

namespace quarn {

PredicateParseError::PredicateParseError(std::string text, std::size_t position, std::string reason)
    : text_(std::move(text)), position_(position), reason_(std::move(reason)) {}

std::string PredicateParseError::description() const {
  return fmt::format("Unable to parse the format string \"{}\" at position {}: {}", text_,
                     position_, reason_);
}

PredicateEvaluationError::PredicateEvaluationError(Kind kind, std::string message)
    : kind_(kind), message_(std::move(message)) {}

}  // namespace quarn
