/// @file
/// Data: a byte buffer that is a value of its own (encoded as base64 text in JSON), distinct from a
/// list of small integers.

/// @struct quarn::Data
/// A byte buffer that is a value of its own (encoded as base64 text in
/// JSON), distinct from a list of small integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

struct Data {
  /// The bytes.
  std::vector<std::uint8_t> bytes;

  Data() = default;
  /// The bytes `b`.
  explicit Data(std::vector<std::uint8_t> b) : bytes(std::move(b)) {}
  /// The bytes of `text`.
  explicit Data(std::string_view text) : bytes(text.begin(), text.end()) {}

  /// The number of bytes.
  [[nodiscard]] std::size_t size() const { return bytes.size(); }
  /// The bytes in padded base64.
  [[nodiscard]] std::string base64EncodedString() const;
  /// Nothing when the text is not valid padded base64.
  static std::optional<Data> fromBase64(std::string_view text);

  /// Equal when the bytes are.
  friend bool operator==(const Data&, const Data&) = default;
};

}  // namespace quarn
