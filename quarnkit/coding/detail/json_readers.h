// The JSON decoder's two ways in: text read from simdjson's tape when the
// tokenizer takes it, and Boost.JSON documents (parsed from text it does not
// take, or given by the caller) otherwise. Internal to the JSON decoder.
#pragma once

#include <string_view>

#include "quarnkit/coding/decoder.h"

namespace boost::json {
class value;
}

namespace quarn {
class JSONDecoder;
}

namespace quarn::detail {

/// Decodes text from the tokenizer's tape: calls `fn` with a decoder for its
/// root value and gives true, or gives false (without calling `fn`) when the
/// tokenizer does not take the text (invalid JSON, numbers it does not
/// represent, deep nesting).
bool decodeFromTape(const JSONDecoder& options, std::string_view text, DecodeFn fn);

/// Parses text with Boost.JSON, which reports what is wrong with it, and
/// decodes the document.
void decodeParsedText(const JSONDecoder& options, std::string_view text, DecodeFn fn);

/// Decodes a Boost.JSON document.
void decodeDocument(const JSONDecoder& options, const boost::json::value& document, DecodeFn fn);

}  // namespace quarn::detail
