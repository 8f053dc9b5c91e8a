// Data: a byte buffer that is a value of its own (encoded as base64 text in
// JSON), distinct from a list of small integers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn {

struct Data {
  std::vector<std::uint8_t> bytes;

  Data() = default;
  explicit Data(std::vector<std::uint8_t> b) : bytes(std::move(b)) {}
  explicit Data(std::string_view text) : bytes(text.begin(), text.end()) {}

  [[nodiscard]] std::size_t size() const { return bytes.size(); }
  [[nodiscard]] std::string base64EncodedString() const;
  /// Nothing when the text is not valid padded base64.
  static std::optional<Data> fromBase64(std::string_view text);

  friend bool operator==(const Data&, const Data&) = default;
};

}  // namespace quarn
