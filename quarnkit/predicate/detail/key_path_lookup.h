// The key-path look-up behind KeyPath::valueIn and key-path expressions, in a
// form that reads facts without copying them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "quarnkit/predicate/detail/operand.h"
#include "quarnkit/predicate/key_path.h"
#include "quarnkit/predicate/limits.h"

namespace quarn::detail {

class StepCounter;

enum class Lookup : std::uint8_t { found, missing, failed };

/// State of the look-ups of one evaluation.
struct LookupState {
  std::size_t fallbacksLeft = kKeyPathMaxFallbacks;
  std::string failure;           // why the last failed look-up failed
  StepCounter* steps = nullptr;  // takes a step for each element visited, when given
};

/// The byte lengths at which runs of components of a path, from one of them
/// on, end: what a literal key ("app.build") of the path can be. A key path
/// expression works them out once, when it is parsed.
struct KeyRuns {
  static constexpr std::size_t kMax = 8;   // longer runs are looked up one by one
  std::uint64_t lengths = 0;               // bit n: a run is n bytes long (under 64)
  std::size_t count = 0;                   // runs of 1 to count components
  std::array<std::size_t, kMax> length{};  // of the run of k + 1 components

  /// How many components the run of `bytes` bytes spans; 0 when none is
  /// that long.
  [[nodiscard]] std::size_t components(std::size_t bytes) const {
    for (std::size_t k = 0; k < count; ++k) {
      if (length[k] == bytes) return k + 1;
    }
    return 0;
  }
};
KeyRuns keyRuns(const KeyPath& path, std::size_t from);

/// Looks components [from, size) of `path` up in `base`; on `found`, `out`
/// holds the value (possibly a reference into `base`). `runs`, when given, is
/// keyRuns(path, from), worked out beforehand.
Lookup lookup(const Value& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state);
Lookup lookup(const ValueObject& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state);
Lookup lookup(const ValueObject& base, const KeyPath& path, std::size_t from, Operand& out,
              LookupState& state, const KeyRuns& runs);

/// The value of the first entry of `object` under `key`, as
/// ValueObject::find() gives it; keys, which are short, compared in place.
const Value* findKey(const ValueObject& object, std::string_view key);

/// Throws PredicateEvaluationError(limitExceeded) for a path over
/// kKeyPathMaxComponents; the look-up functions assume a checked path.
void checkKeyPathLength(const KeyPath& path);

/// Turns a look-up result into the operand's value: nothing becomes null, a
/// failure throws PredicateEvaluationError(invalidKeyPath).
void finishLookup(Lookup result, Operand& out, const LookupState& state);

}  // namespace quarn::detail
