/// @file
/// `hashCombine`: folds one hash value into a running seed (order-dependent), the
/// way records combine the hashes of their fields.
#pragma once

#include <cstddef>
#include <functional>

namespace quarn {

/// Folds `value` into `seed`.
inline void hashCombine(std::size_t& seed, std::size_t value) {
  seed ^= value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
}

/// Folds the std::hash of `value` into `seed`.
template <class T>
void hashValue(std::size_t& seed, const T& value) {
  hashCombine(seed, std::hash<T>()(value));
}

}  // namespace quarn
