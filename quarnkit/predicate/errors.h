/// @file
/// Errors of the predicate and expression language.
#pragma once

#include <cstddef>
#include <string>

#include "quarnkit/core/error.h"

namespace quarn {

/// A text that is not a predicate (or an expression), with the byte offset
/// where reading stopped and the reason. A value.
class PredicateParseError : public Error {
 public:
  /// The error for `text`, which stopped parsing at byte `position` because of `reason`.
  PredicateParseError(std::string text, std::size_t position, std::string reason);

  /// The text that was parsed.
  [[nodiscard]] const std::string& text() const { return text_; }
  /// Byte offset in text() where the error was found.
  [[nodiscard]] std::size_t position() const { return position_; }
  /// What was wrong there ("expected an expression").
  [[nodiscard]] const std::string& reason() const { return reason_; }
  /// "Unable to parse the format string \"a >\" at position 3: expected an expression".
  [[nodiscard]] std::string description() const override;

 private:
  std::string text_;
  std::size_t position_;
  std::string reason_;
};

/// A parsed predicate that cannot be evaluated against the given values (a
/// type clash, an unknown variable, a key path a value cannot answer, a regular
/// expression over its bounds, a spent budget). A value.
class PredicateEvaluationError : public Error {
 public:
  /// What kind of failure stopped the evaluation.
  enum class Kind {
    typeMismatch,              ///< operands of kinds the operator cannot combine
    unknownVariable,           ///< a $variable with no value
    invalidKeyPath,            ///< a key or collection operator a value cannot answer
    invalidArgument,           ///< a function or index given a value out of its domain
    invalidRegularExpression,  ///< a MATCHES pattern that does not compile
    limitExceeded,             ///< a bound on one evaluation's work (limits.h) was hit
    missingContext,            ///< now() or random() without a clock or random source
    budgetExhausted,           ///< the EvaluationBudget the evaluation was given is spent
  };

  /// An error of `kind`, described by `message`.
  PredicateEvaluationError(Kind kind, std::string message);

  /// What kind of failure it is.
  [[nodiscard]] Kind kind() const { return kind_; }
  /// What failed, in words, naming the operand or key.
  [[nodiscard]] const std::string& message() const { return message_; }
  /// The message.
  [[nodiscard]] std::string description() const override { return message_; }

 private:
  Kind kind_;
  std::string message_;
};

}  // namespace quarn
