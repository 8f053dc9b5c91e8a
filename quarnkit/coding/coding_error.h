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

class DecodingError : public Error {
 public:
  enum class Kind { typeMismatch, valueNotFound, keyNotFound, dataCorrupted };

  struct Context {
    CodingPath codingPath;
    std::string debugDescription;
  };

  static DecodingError typeMismatch(std::string type, Context context) {
    return {Kind::typeMismatch, std::move(type), std::nullopt, std::move(context)};
  }
  static DecodingError valueNotFound(std::string type, Context context) {
    return {Kind::valueNotFound, std::move(type), std::nullopt, std::move(context)};
  }
  static DecodingError keyNotFound(RawCodingKey key, Context context) {
    return {Kind::keyNotFound, {}, std::move(key), std::move(context)};
  }
  static DecodingError dataCorrupted(Context context) {
    return {Kind::dataCorrupted, {}, std::nullopt, std::move(context)};
  }

  [[nodiscard]] Kind kind() const { return kind_; }
  /// The expected type of typeMismatch and valueNotFound.
  [[nodiscard]] const std::string& type() const { return type_; }
  /// The missing key of keyNotFound.
  [[nodiscard]] const std::optional<RawCodingKey>& key() const { return key_; }
  [[nodiscard]] const Context& context() const { return context_; }
  [[nodiscard]] const CodingPath& codingPath() const { return context_.codingPath; }
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

class EncodingError : public Error {
 public:
  struct Context {
    CodingPath codingPath;
    std::string debugDescription;
  };
  /// The only case: a value that cannot be encoded (a non-finite number, a
  /// type with no encoded form reached at run time).
  static EncodingError invalidValue(std::string value, Context context) {
    return EncodingError(std::move(value), std::move(context));
  }
  [[nodiscard]] const std::string& value() const { return value_; }
  [[nodiscard]] const Context& context() const { return context_; }
  [[nodiscard]] std::string description() const override;

 private:
  EncodingError(std::string value, Context context)
      : value_(std::move(value)), context_(std::move(context)) {}
  std::string value_;
  Context context_;
};

}  // namespace quarn
