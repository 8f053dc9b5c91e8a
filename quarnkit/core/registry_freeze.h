/// @file
/// RegistryFreeze: the set-up/use switch of a registry that a host fills at start-up (type
/// adapters, question kinds).

/// @class quarn::RegistryFreeze
/// The set-up/use switch of a registry that a host fills at
/// start-up (type adapters, question kinds). A registry is open until its
/// first look-up and frozen from then on, so that everything a look-up hands
/// out (pointers into its maps included) stays as it was:
///
/// ```
///   void Registry::add(Key k, Entry e) {
///     const auto lock = freeze_.lock();
///     if (freeze_.frozen()) throw ...;   // loud, and nothing changes
///     map_.try_emplace(k, e);
///   }
///   const Entry* Registry::find(const Key& k) const {
///     freeze_.freeze();                  // waits for a registration in progress
///     ...                                // then reads without a lock
///   }
/// ```
///
/// Registrations from several threads are serialised by lock(); look-ups after
/// the freeze cost one atomic load. A unique object inside its registry; a
/// copy of the registry starts open again (a copy is a new set-up).
#pragma once

#include <atomic>
#include <mutex>

namespace quarn {

class RegistryFreeze {
 public:
  RegistryFreeze() = default;
  /// A copy starts open, whatever its source.
  RegistryFreeze(const RegistryFreeze& /*other*/) {}
  /// Assigning leaves the freeze as it was.
  RegistryFreeze& operator=(const RegistryFreeze& /*other*/) { return *this; }
  ~RegistryFreeze() = default;

  /// Whether the registry is frozen: no registration may change it now.
  [[nodiscard]] bool frozen() const { return frozen_.load(std::memory_order_acquire); }
  /// Freezes the registry, after any registration in progress.
  void freeze() const {
    if (frozen()) return;
    const std::lock_guard lock(mutex_);
    frozen_.store(true, std::memory_order_release);
  }
  /// The lock a registration (or a copy of the registry) holds.
  [[nodiscard]] std::unique_lock<std::mutex> lock() const { return std::unique_lock(mutex_); }

 private:
  mutable std::mutex mutex_;
  mutable std::atomic<bool> frozen_{false};
};

}  // namespace quarn
