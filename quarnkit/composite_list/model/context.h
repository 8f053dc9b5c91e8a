/// @file
/// CompositeListContext and the random number generators behind the random
/// selection of list entities. A context is a unique object (not copyable: a
/// copy would share its generator), held by shared_ptr by the fetcher that
/// passes it on; generators are values (a copy goes on from the same state on
/// its own).
///
/// A context holds one generator for the life of a fetcher, so the same seed
/// gives the same shuffles: ArbitraryRandomNumberGenerator(seed) combines two
/// signed 32-bit outputs of a seeded Mersenne Twister source per 64-bit value.
/// shuffle() is the platform's algorithm (Fisher-Yates from the front, bounded
/// draws by multiply-and-reject), so a sequence of values gives one order.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "quarnkit/platform/services.h"

namespace quarn {

/// A source of uniformly distributed 64-bit values.
class RandomNumberGenerator {
 public:
  virtual ~RandomNumberGenerator() = default;
  /// The next value, uniform over all 64-bit values.
  virtual std::uint64_t next() = 0;
  /// A uniform value in [0, upperBound); upperBound > 0.
  std::uint64_t next(std::uint64_t upperBound);
};

/// The system's random source.
class SystemRandomNumberGenerator final : public RandomNumberGenerator {
 public:
  /// The next value of the system's random source.
  std::uint64_t next() override;
};

/// A seeded generator over the platform's Mersenne Twister source: each value
/// is a XOR (b << 32) of two successive signed 32-bit outputs a, b, with a
/// sign-extended to 64 bits.
class ArbitraryRandomNumberGenerator final : public RandomNumberGenerator {
 public:
  /// A generator seeded with `seed`: the same seed gives the same values.
  explicit ArbitraryRandomNumberGenerator(std::uint64_t seed) : source_(seed) {}
  /// The next value of the seeded sequence.
  std::uint64_t next() override;
  /// The seed it was made with.
  [[nodiscard]] std::uint64_t seed() const { return source_.seed(); }

 private:
  platform::MersenneTwisterRandomSource source_;
};

/// Shuffles `items` in place with `generator`.
template <class T>
void shuffle(std::vector<T>& items, RandomNumberGenerator& generator) {
  if (items.size() < 2) return;
  std::size_t amount = items.size();
  std::size_t current = 0;
  while (amount > 1) {
    const auto offset = static_cast<std::size_t>(generator.next(amount));
    --amount;
    using std::swap;
    swap(items[current], items[current + offset]);
    ++current;
  }
}

/// The shared state of a fetch passed to item updates and to template
/// decoding: the random generator. Not thread-safe.
class CompositeListContext {
 public:
  /// A context drawing on `randomGenerator`.
  explicit CompositeListContext(std::shared_ptr<RandomNumberGenerator> randomGenerator)
      : randomGenerator_(std::move(randomGenerator)) {}
  CompositeListContext(const CompositeListContext&) = delete;
  CompositeListContext& operator=(const CompositeListContext&) = delete;

  /// The random generator of the fetch.
  [[nodiscard]] RandomNumberGenerator& randomGenerator() const { return *randomGenerator_; }
  /// The random generator, shared.
  [[nodiscard]] const std::shared_ptr<RandomNumberGenerator>& randomGeneratorPointer() const {
    return randomGenerator_;
  }
  /// Replaces the random generator.
  void setRandomGenerator(std::shared_ptr<RandomNumberGenerator> generator) {
    randomGenerator_ = std::move(generator);
  }

 private:
  std::shared_ptr<RandomNumberGenerator> randomGenerator_;
};

}  // namespace quarn
