// The fast way in: text tokenized by simdjson and decoded from its tape.
#include <simdjson.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "quarnkit/coding/detail/json_containers.h"
#include "quarnkit/coding/detail/json_readers.h"
#include "quarnkit/coding/detail/tape_dom.h"

namespace quarn::detail {
namespace {

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

}  // namespace

bool decodeFromTape(const JSONDecoder& options, std::string_view text, DecodeFn fn) {
  thread_local TapeParser local;
  std::unique_ptr<TapeParser> own;
  TapeParser* tape = &local;
  if (local.inUse) {
    own = std::make_unique<TapeParser>();
    tape = own.get();
  }
  tape->inUse = true;
  struct Release {
    TapeParser* tape;
    ~Release() {
      tape->inUse = false;
      tape->trim();
    }
  } release{tape};
  simdjson::dom::element root;
  if (!tape->parse(text, root)) return false;
  const DecodeState state{&options, {}};
  JSONDecoderImpl<TapeDom> d(root, &state, PathNode{}, 0);
  fn(d);
  return true;
}

}  // namespace quarn::detail
