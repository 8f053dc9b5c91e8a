// Counts the heap allocations the benchmark binary makes (operator new is
// replaced in allocation_counter.cc), so a suite can report allocations per
// stage next to its times.
#pragma once

#include <cstdint>

namespace quarn::bench {

/// Allocations made through operator new since the program started.
std::uint64_t allocationCount();

}  // namespace quarn::bench
