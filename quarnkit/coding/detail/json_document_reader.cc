// The full way in: Boost.JSON documents, parsed here from text the tokenizer
// does not take, or given by the caller.
#include <algorithm>
#include <boost/json.hpp>
#include <memory>

#include "quarnkit/coding/detail/boost_dom.h"
#include "quarnkit/coding/detail/json_containers.h"
#include "quarnkit/coding/detail/json_internal.h"
#include "quarnkit/coding/detail/json_readers.h"

namespace quarn::detail {
namespace {

// The parse arena: a per-thread buffer reused across decodes so that the
// document's memory costs no allocation in steady state. A nested decode on
// the same thread (a decode function that decodes other text) gets a fresh
// arena instead. Buffers above kMaxKeptArena are not kept.
struct ParseArena {
  static constexpr std::size_t kMaxKeptArena = std::size_t{32} << 20;
  std::unique_ptr<unsigned char[]> buffer;
  std::size_t size = 0;
  bool inUse = false;
};

}  // namespace

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

void decodeDocument(const JSONDecoder& options, const boost::json::value& document, DecodeFn fn) {
  const DecodeState state{&options, {}};
  JSONDecoderImpl<BoostDom> d(&document, &state, PathNode{}, 0);
  fn(d);
}

}  // namespace quarn::detail
