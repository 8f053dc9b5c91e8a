/// @file
/// Records of the collection view's compositional layout: what a section asks
/// for (insets, spacing, scrolling, header kinds) given the layout environment.
/// The headless toolkit lays nothing out; it keeps what sections ask for so
/// screens and tools can read it. All values.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "quarnkit/platform/ui/geometry.h"

namespace quarn::platform {

/// What a section's layout is computed for.
struct LayoutEnvironment {
  /// The size of the view the section is laid out in.
  Size containerSize;
};

/// The layout of one section.
struct CollectionLayoutSection {
  /// How a section scrolls across the main axis.
  enum class Scrolling { none, continuous, paging };

  /// Estimated height of one item; items size themselves.
  double estimatedItemHeight = 44;
  /// Items per row (a grid when above 1).
  int columns = 1;
  /// Space between items of a row.
  double interItemSpacing = 0;
  /// Space between rows.
  double interGroupSpacing = 0;
  /// Insets around the section's content.
  EdgeInsets contentInsets;
  /// Scrolling across the main axis (a horizontal carousel inside a vertical list).
  Scrolling orthogonalScrolling = Scrolling::none;
  /// Kinds of the section's boundary supplementary views (headers, footers).
  std::vector<std::string> boundarySupplementaryKinds;

  /// Equal when every setting is.
  friend bool operator==(const CollectionLayoutSection&, const CollectionLayoutSection&) = default;
};

/// A layout whose sections each come from a provider, by section index.
struct CollectionViewCompositionalLayout {
  /// The layout of section `index` in an environment; nothing leaves the default.
  using SectionProvider =
      std::function<std::optional<CollectionLayoutSection>(std::int64_t, const LayoutEnvironment&)>;
  /// Gives each section's layout.
  SectionProvider sectionProvider;
};

}  // namespace quarn::platform
