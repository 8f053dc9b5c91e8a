/// @file
/// URLPatternSet: a routing table read once and indexed, for matching many URLs against the same
/// patterns.

/// @class quarn::URLPatternSet
/// A routing table read once and indexed, for matching many
/// URLs against the same patterns.
///
/// ```
///   URLPatternSet routes(std::vector<std::string>{"myapp://profile/<int:id>",
///                                                 "myapp://profile/me"});
///   routes.add("myapp://search/<path:terms>");
///   auto result = URLMatcher().match("myapp://profile/me", routes);  // "myapp://profile/me"
/// ```
///
/// URLMatcher gives the same result for a set as for the list of its
/// patterns in the order they were added. The index groups the patterns by
/// scheme and then follows their literal components (one branch per literal
/// text and one for placeholders and "*"), so a match looks only at patterns
/// whose literal components fit the URL, best-preferred first, and stops once
/// no remaining pattern could win. A pattern that differs from an earlier one
/// only in its placeholders' names matches exactly the URLs the earlier one
/// matches and always loses to it, so it is never tried (value converters are
/// taken to answer alike for the same components).
///
/// URLPatternSet is a unique object (not copyable; movable). Adding is not
/// thread-safe; matching against a set nobody changes is. A match keeps the
/// index it began with, so a converter may add patterns to the set it is
/// matched against: they count from the next match on.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

namespace quarn {

class URLMatcher;

class URLPatternSet {
 public:
  URLPatternSet();
  /// A set of `patterns`, in their order.
  explicit URLPatternSet(std::span<const std::string> patterns);
  ~URLPatternSet();
  /// Moves the patterns and their index; the moved-from set is empty.
  URLPatternSet(URLPatternSet&&) noexcept;
  /// Moves the patterns and their index; the moved-from set is empty.
  URLPatternSet& operator=(URLPatternSet&&) noexcept;
  URLPatternSet(const URLPatternSet&) = delete;
  URLPatternSet& operator=(const URLPatternSet&) = delete;

  /// Adds a pattern after the others (it loses ties to them).
  void add(std::string pattern);
  /// The number of patterns added.
  [[nodiscard]] std::size_t size() const;
  /// The pattern added `index`-th, as given.
  [[nodiscard]] const std::string& operator[](std::size_t index) const;

 private:
  friend class URLMatcher;
  struct Index;
  // Shared only with the matches under way.
  std::shared_ptr<Index> index_;
};

}  // namespace quarn
