// The memory Boost.JSON documents parsed by the JSON decoder are built in,
// kept per thread. Internal to the JSON decoder.
#pragma once

#include <cstddef>
#include <memory>

namespace quarn::detail {

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

}  // namespace quarn::detail
