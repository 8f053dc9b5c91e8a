/// @file
/// The library's error conventions.
///
/// - A "throwing" operation throws. Each error enumeration of the library is an
///   exception type derived from quarn::Error with a `kind` (its case) and its
///   payload as fields; `description()` is its text form.
/// - Errors of the platform stand-ins pass through as they come
///   (std::system_error, the HTTP client's error type).
/// - A programming error (a broken precondition the caller must never cause)
///   calls fatalError(), which writes the message to standard error and aborts.
#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace quarn {

/// Base of the library's error enumerations.
class Error : public std::exception {
 public:
  /// The error's text form, used in log lines ("%@" of an error).
  [[nodiscard]] virtual std::string description() const = 0;
  /// description(), kept for the exception's life.
  [[nodiscard]] const char* what() const noexcept override;

 private:
  mutable std::string what_;
};

/// Writes `message` to standard error and aborts: the stop of a programming
/// error. Tests check the message with death tests.
[[noreturn]] void fatalError(std::string_view message);

/// The text form of any exception, as log lines print an error.
std::string describeError(const std::exception& error);

/// The text form of the exception currently being handled (inside a catch).
std::string describeCurrentException();

}  // namespace quarn
