// The JSON decoder's ways in, over its two document back-ends: text read from
// simdjson's tape when the tokenizer takes it, and Boost.JSON documents
// (parsed from text it does not take, or given by the caller) otherwise. The
// containers (detail/json_containers.h) are instantiated for both back-ends
// in this one translation unit: split over two, decoding documents measured
// 4% slower for the same instructions.
#include "quarnkit/coding/json_decoder.h"

#include <simdjson.h>

#include <algorithm>
#include <boost/json.hpp>
#include <memory>

#include "quarnkit/coding/detail/boost_dom.h"
#include "quarnkit/coding/detail/json_containers.h"
#include "quarnkit/coding/detail/json_decode_state.h"
#include "quarnkit/coding/detail/json_internal.h"
#include "quarnkit/coding/detail/parse_arena.h"
#include "quarnkit/coding/detail/tape_dom.h"
#include "quarnkit/coding/detail/tape_parser.h"
#include "quarnkit/coding/detail/variant_containers.h"

namespace quarn {
namespace detail {
namespace {

// Decodes text from the tokenizer's tape: calls `fn` with a decoder for its
// root value and gives true, or gives false (without calling `fn`) when the
// tokenizer does not take the text (invalid JSON, numbers it does not
// represent, deep nesting).
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

void decodeDocument(const JSONDecoder& options, const boost::json::value& document, DecodeFn fn) {
  const DecodeState state{&options, {}};
  JSONDecoderImpl<BoostDom> d(&document, &state, PathNode{}, 0);
  fn(d);
}

// Parses text with Boost.JSON, which reports what is wrong with it, and
// decodes the document.
void decodeParsedText(const JSONDecoder& options, std::string_view text, DecodeFn fn) {
  thread_local ParseArena arena;
  const std::size_t wanted = std::max<std::size_t>(text.size() * 4, 4096);
  const bool useArena = !arena.inUse && wanted <= ParseArena::kMaxKeptArena;
  if (useArena && arena.size < wanted) {
    arena.buffer.reset(new unsigned char[wanted]);
    arena.size = wanted;
  }
  struct Release {
    ParseArena* a;
    ~Release() {
      if (a) a->inUse = false;
    }
  } release{useArena ? &arena : nullptr};
  if (useArena) arena.inUse = true;
  boost::json::monotonic_resource memory =
      useArena ? boost::json::monotonic_resource(arena.buffer.get(), arena.size)
               : boost::json::monotonic_resource();
  const boost::json::value root = parseJSONText(text, &memory);
  decodeDocument(options, root, fn);
}

// The JSON decoder under `base`, seen through reopened decoders; nothing when
// there is none.
JSONDecoderBase* jsonDecoderUnder(Decoder& base) {
  if (auto* json = dynamic_cast<JSONDecoderBase*>(&base)) return json;
  if (auto* reopened = dynamic_cast<ReopenedDecoder*>(&base))
    return jsonDecoderUnder(reopened->base());
  return nullptr;
}
}  // namespace

std::unique_ptr<KeyedDecodingContainer> variantKeyedContainer(Decoder& base,
                                                              std::string_view separator,
                                                              std::string_view suffix,
                                                              bool recursive) {
  JSONDecoderBase* json = jsonDecoderUnder(base);
  return json != nullptr ? json->layeredContainer(separator, suffix, recursive) : nullptr;
}

std::unique_ptr<UnkeyedDecodingContainer> variantUnkeyedContainer(Decoder& base,
                                                                  std::string_view separator,
                                                                  std::string_view suffix) {
  JSONDecoderBase* json = jsonDecoderUnder(base);
  return json != nullptr ? json->layeredUnkeyedContainer(separator, suffix) : nullptr;
}

}  // namespace detail

void JSONDecoder::decode(std::string_view text, DecodeFn fn) const {
  // Text the tokenizer takes is decoded from its tape. Anything else goes
  // through the full parser, which reports the error or builds the document.
  if (detail::decodeFromTape(*this, text, fn)) return;
  detail::decodeParsedText(*this, text, fn);
}

void JSONDecoder::decode(const boost::json::value& document, DecodeFn fn) const {
  detail::decodeDocument(*this, document, fn);
}

}  // namespace quarn
