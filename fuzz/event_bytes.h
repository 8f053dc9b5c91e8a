// Reads a fuzz input as a sequence of host actions: each call takes the next
// bytes and turns them into a choice, a count or a number. An exhausted input
// reads as zeros, so every input is a valid (finite) sequence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace quarn::fuzzing {

class EventBytes {
 public:
  EventBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  /// Whether every byte has been read.
  bool empty() const { return pos_ >= size_; }

  /// The next byte (0 once exhausted).
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  /// A choice among `n` (n > 0) alternatives: 0 ... n - 1.
  std::size_t choose(std::size_t n) { return n == 0 ? 0 : byte() % n; }

  /// A whole number in [lo, hi] from two bytes.
  int integer(int lo, int hi) {
    const unsigned v = (unsigned(byte()) << 8) | byte();
    const auto span = static_cast<unsigned>(hi - lo) + 1U;
    return lo + static_cast<int>(v % span);
  }

  /// A number in [0, 1] from two bytes.
  double unit() { return double((unsigned(byte()) << 8) | byte()) / 65535.0; }

  /// A number in [lo, hi].
  double between(double lo, double hi) { return lo + (hi - lo) * unit(); }

  /// Any double, the eight next bytes as they stand (infinities and NaN too).
  double anyDouble() {
    std::uint8_t b[8];
    for (auto& x : b) x = byte();
    double d;
    std::memcpy(&d, b, sizeof d);
    return d;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace quarn::fuzzing
