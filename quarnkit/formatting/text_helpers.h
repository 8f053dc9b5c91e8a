/// @file
/// Text helpers of the formatting subsystem: the library's localized strings,
/// Base64 text, and excerpts of input for messages. Free functions.
///
/// ```
///   base64Encoded("Grüße");                 // "R3LDvMOfZQ=="
///   base64Decoded("R3LD vMOfZQ==");         // "Grüße" (the space is ignored)
///   excerpt(std::string(500, '7'), 4);      // "7777…"
/// ```
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quarn {

/// The localized string for `key` from the library's table "QuarnKit", or
/// `key` itself when the table has none. The library ships no translations;
/// the host installs them.
std::string localizedString(std::string_view key);
/// Installs the table localizedString() reads (key → localized text).
void setLocalizedStrings(std::map<std::string, std::string, std::less<>> table);

/// The standard Base64 text of the UTF-8 bytes of `text`.
std::string base64Encoded(std::string_view text);
/// The UTF-8 text that `base64` encodes, ignoring characters outside the
/// Base64 alphabet; nothing when it is not Base64 or not UTF-8.
std::optional<std::string> base64Decoded(std::string_view base64);

/// `text` cut to at most `maxBytes` bytes on a character boundary, with "…"
/// after a cut: how a message quotes input of any length.
std::string excerpt(std::string_view text, std::size_t maxBytes = 80);

}  // namespace quarn
