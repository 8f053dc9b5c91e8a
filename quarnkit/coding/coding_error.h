/// @file
/// DecodingError and EncodingError: what went wrong while coding, where (the
/// coding path) and why (a debug description saying what was expected and
/// what was found).
#pragma once

#include <optional>
#include <string>

#include "quarnkit/coding/coding_key.h"
#include "quarnkit/core/error.h"

namespace quarn {

/// A failure of decoding: its kind, the coding path where it arose and a debug description. A
/// value.
class DecodingError : public Error {
 public:
  /// What went wrong.
  enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

  /// Where and why.
  struct Context {
    /// The keys from the root to the value that failed.
    CodingPath codingPath;
    /// What was expected and what was found.
    std::string debugDescription;
  };

  /// The value at the path is not a `type`.
  static DecodingError typeMismatch(std::string type, Context context) {
    return {Kind::typeMismatch, std::move(type), std::nullopt, std::move(context)};
  }
  /// The value at the path is null (or missing) where a `type` was expected.
  static DecodingError valueNotFound(std::string type, Context context) {
    return {Kind::valueNotFound, std::move(type), std::nullopt, std::move(context)};
  }
  /// The object at the path has no member `key`.
  static DecodingError keyNotFound(RawCodingKey key, Context context) {
    return {Kind::keyNotFound, {}, std::move(key), std::move(context)};
  }
  /// The data at the path is not valid for what was decoded.
  static DecodingError dataCorrupted(Context context) {
    return {Kind::dataCorrupted, {}, std::nullopt, std::move(context)};
  }

  /// What went wrong.
  [[nodiscard]] Kind kind() const { return kind_; }
  /// The expected type of typeMismatch and valueNotFound.
  [[nodiscard]] const std::string& type() const { return type_; }
  /// The missing key of keyNotFound.
  [[nodiscard]] const std::optional<RawCodingKey>& key() const { return key_; }
  /// Where and why.
  [[nodiscard]] const Context& context() const { return context_; }
  /// The keys from the root to the value that failed.
  [[nodiscard]] const CodingPath& codingPath() const { return context_.codingPath; }
  /// What was expected and what was found.
  [[nodiscard]] const std::string& debugDescription() const { return context_.debugDescription; }

  /// "keyNotFound(\"title\") at [3].data: No value associated with key ..."
  [[nodiscard]] std::string description() const override;

 protected:
  /// For the errors of coding wrappers that are decoding errors too.
  DecodingError(Kind kind, std::string type, std::optional<RawCodingKey> key, Context context)
      : kind_(kind), type_(std::move(type)), key_(std::move(key)), context_(std::move(context)) {}

 private:
  Kind kind_;
  std::string type_;
  std::optional<RawCodingKey> key_;
  Context context_;
};

/// A failure of encoding: a value that cannot be written. A value.
class EncodingError : public Error {
 public:
  /// Where and why.
  struct Context {
    /// The keys from the root to the value that failed.
    CodingPath codingPath;
    /// Why the value cannot be written.
    std::string debugDescription;
  };
  /// The only case: a value that cannot be encoded (a non-finite number, a
  /// type with no encoded form reached at run time).
  static EncodingError invalidValue(std::string value, Context context) {
    return EncodingError(std::move(value), std::move(context));
  }
  /// The value that could not be written, as text.
  [[nodiscard]] const std::string& value() const { return value_; }
  /// Where and why.
  [[nodiscard]] const Context& context() const { return context_; }
  [[nodiscard]] std::string description() const override;

 private:
  EncodingError(std::string value, Context context)
      : value_(std::move(value)), context_(std::move(context)) {}
  std::string value_;
  Context context_;
};

}  // namespace quarn
