/// @file
/// ParseCache: parsed predicates (or expressions) by their text, so that a text met again, for
/// every element of a list or on every fetch, is parsed once.

/// @class quarn::ParseCache
/// Parsed predicates (or expressions) by their text, so that a text
/// met again, for every element of a list or on every fetch, is parsed once.
/// A unique object (not copyable). Thread-safe; hits take a shared lock only.
/// Bounded: when full, an arbitrary entry makes room. Texts that fail to parse
/// are remembered with their error.
///
/// ```
///   quarn::Predicate p = quarn::PredicateCache::shared().get(element.predicate);
/// ```
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "quarnkit/predicate/errors.h"
#include "quarnkit/predicate/predicate.h"

namespace quarn {

template <class Parsed>
class ParseCache {
 public:
  /// The entries a cache holds when no capacity is given.
  static constexpr std::size_t kDefaultCapacity = 1024;

  /// An empty cache holding at most `capacity` texts (at least one).
  explicit ParseCache(std::size_t capacity = kDefaultCapacity)
      : capacity_(capacity == 0 ? 1 : capacity) {}
  ParseCache(const ParseCache&) = delete;
  ParseCache& operator=(const ParseCache&) = delete;

  /// The parsed form of `text`. Throws PredicateParseError, again for each
  /// request of a text that does not parse.
  Parsed get(std::string_view text) {
    {
      std::shared_lock lock(mutex_);
      if (auto it = entries_.find(text); it != entries_.end()) return it->second.result();
    }
    Entry entry;
    try {
      entry.parsed = Parsed::parse(text);
    } catch (const PredicateParseError& e) {
      entry.error = e;
    }
    {
      std::unique_lock lock(mutex_);
      if (entries_.size() >= capacity_ && !entries_.contains(text))
        entries_.erase(entries_.begin());
      entries_.try_emplace(std::string(text), entry);
    }
    return entry.result();
  }

  /// The number of texts held, failed ones included.
  [[nodiscard]] std::size_t size() const {
    std::shared_lock lock(mutex_);
    return entries_.size();
  }

  /// Forgets every text; the next request of each parses it again.
  void clear() {
    std::unique_lock lock(mutex_);
    entries_.clear();
  }

  /// The process-wide cache.
  static ParseCache& shared() {
    static ParseCache cache;
    return cache;
  }

 private:
  struct Entry {
    std::optional<Parsed> parsed;
    std::optional<PredicateParseError> error;
    Parsed result() const {
      if (error) throw *error;
      return *parsed;
    }
  };
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };

  std::size_t capacity_;
  mutable std::shared_mutex mutex_;
  std::unordered_map<std::string, Entry, TextHash, std::equal_to<>> entries_;
};

/// The cache of parsed predicates (PredicateCache::shared() is the process-wide one).
using PredicateCache = ParseCache<Predicate>;
/// The cache of parsed expressions.
using ExpressionCache = ParseCache<Expression>;

}  // namespace quarn
