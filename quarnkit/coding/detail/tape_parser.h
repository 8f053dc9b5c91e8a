// The simdjson tokenizer the JSON decoder reads text with first, kept per
// thread with its buffers. Internal to the JSON decoder.
#pragma once

#include <simdjson.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

#include "quarnkit/coding/json_decoder.h"

namespace quarn::detail {

// The tokenizer of the fast path, per thread, its buffers kept between
// documents (up to kMaxKeptCapacity). A nested decode on the same thread gets
// a tokenizer of its own.
struct TapeParser {
  static constexpr std::size_t kMaxKeptCapacity = std::size_t{32} << 20;
  // Documents nested near the limit are left to the full parser, whose depth
  // rule and message are the ones reported.
  static constexpr std::size_t kMaxDepth = JSONDecoder::kMaxDepth - 2;
  simdjson::dom::parser parser;
  // The text, copied with the padding the tokenizer may read past its end.
  std::unique_ptr<char[]> input;
  std::size_t inputCapacity = 0;
  bool inUse = false;

  // The document of `text`; false when the tokenizer does not take it.
  bool parse(std::string_view text, simdjson::dom::element& root) {
    if (parser.max_depth() != kMaxDepth &&
        parser.allocate(std::max<std::size_t>(parser.capacity(), 4096), kMaxDepth) !=
            simdjson::SUCCESS) {
      return false;
    }
    const std::size_t needed = text.size() + simdjson::SIMDJSON_PADDING;
    if (inputCapacity < needed) {
      input.reset(new char[needed]);
      inputCapacity = needed;
    }
    std::memcpy(input.get(), text.data(), text.size());
    std::memset(input.get() + text.size(), 0, simdjson::SIMDJSON_PADDING);
    return parser.parse(input.get(), text.size(), false).get(root) == simdjson::SUCCESS;
  }
  // Lets go of buffers grown past the kept size.
  void trim() {
    if (parser.capacity() > kMaxKeptCapacity || inputCapacity > kMaxKeptCapacity) {
      parser = simdjson::dom::parser();
      input.reset();
      inputCapacity = 0;
    }
  }
};

}  // namespace quarn::detail
