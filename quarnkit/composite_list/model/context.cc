#include "quarnkit/composite_list/model/context.h"

namespace quarn {

std::uint64_t RandomNumberGenerator::next(std::uint64_t upperBound) {
  // Multiply the draw by the bound and keep the high word, rejecting the few
  // draws that would bias the result.
  __extension__ using Wide = unsigned __int128;
  auto mul = [&](std::uint64_t r) { return static_cast<Wide>(r) * upperBound; };
  Wide m = mul(next());
  if (static_cast<std::uint64_t>(m) < upperBound) {
    const std::uint64_t threshold = (0 - upperBound) % upperBound;
    while (static_cast<std::uint64_t>(m) < threshold) m = mul(next());
  }
  return static_cast<std::uint64_t>(m >> 64);
}

std::uint64_t SystemRandomNumberGenerator::next() {
  auto& source = platform::SystemRandomSource::shared();
  const auto a = static_cast<std::uint32_t>(source.nextInt());
  const auto b = static_cast<std::uint32_t>(source.nextInt());
  return (static_cast<std::uint64_t>(a) << 32) | b;
}

std::uint64_t ArbitraryRandomNumberGenerator::next() {
  const std::int32_t a = source_.nextInt();
  const std::int32_t b = source_.nextInt();
  return static_cast<std::uint64_t>(static_cast<std::int64_t>(a)) ^
         (static_cast<std::uint64_t>(static_cast<std::uint32_t>(b)) << 32);
}

}  // namespace quarn
