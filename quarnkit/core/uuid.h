/// @file
/// UUID: a 128-bit universally unique identifier as a value type.

/// @class quarn::UUID
/// A 128-bit universally unique identifier as a value type.
///
/// Text form is the canonical 8-4-4-4-12 hexadecimal grouping; uuidString()
/// writes it in upper case, as the platform does. Random generation is a
/// platform service (quarnkit/platform).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

class UUID {
 public:
  /// The 16 bytes, in the order the canonical text shows them.
  using Bytes = std::array<std::uint8_t, 16>;

  /// The nil UUID (all zero).
  constexpr UUID() = default;
  /// The UUID of `bytes`.
  constexpr explicit UUID(Bytes bytes) : bytes_(bytes) {}

  /// Parses the canonical form (either letter case); anything else gives nothing.
  static std::optional<UUID> parse(std::string_view text);

  /// The 16 bytes.
  [[nodiscard]] constexpr const Bytes& bytes() const { return bytes_; }
  /// "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
  [[nodiscard]] std::string uuidString() const;

  /// Equal when the bytes are.
  friend constexpr bool operator==(const UUID&, const UUID&) = default;
  /// Ordered by the bytes.
  // NOLINTNEXTLINE(modernize-use-nullptr): clang-tidy misreads the defaulted comparison
  friend constexpr auto operator<=>(const UUID&, const UUID&) = default;

 private:
  Bytes bytes_{};
};

}  // namespace quarn

/// Hashes a UUID by its bytes.
template <>
struct std::hash<quarn::UUID> {
  /// The hash of the bytes.
  std::size_t operator()(const quarn::UUID& u) const noexcept {
    std::size_t h = 0;
    for (auto b : u.bytes()) h = h * 131 + b;
    return h;
  }
};
