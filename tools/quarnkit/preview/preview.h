// Preview: what a host screen would show for a template: the display
// sections the library's pipeline and sections provider make, reduced to
// plain data for the renderers (text, json, html).
//
//   HostSession session(options);
//   Preview preview = runUntilComplete(makePreview(session));
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "quarnkit/core/value.h"
#include "quarnkit/platform/runtime/async_fwd.h"
#include "tools/quarnkit/host/session.h"

namespace quarn::tool {

struct PreviewSection {
  std::string uniqueId;
  std::string type;
  std::optional<std::string> title;
  std::optional<std::string> subtitle;
  bool separator = false;
  /// "link", "default" or "none" (the header does nothing).
  std::string headerAction = "default";
  std::optional<std::string> headerLink;
  /// "default", "none" or "expand".
  std::string footerMode = "default";
  std::optional<std::string> footerText;
  std::optional<std::string> layoutSize;
  std::optional<std::string> style;
  bool vertical = false;
  /// True when the rows are text rows (rows and tags items).
  bool textRows = false;
  /// Each row's entity as JSON: a text row's members, or the entity itself.
  std::vector<Value> rows;
};

struct Preview {
  std::vector<PreviewSection> sections;
  /// The body of the combined request, or nothing when none was made.
  std::optional<Value> request;
  /// Items in the template, and items left after filtering and includes.
  std::size_t templateItemCount = 0;
  std::size_t processedItemCount = 0;
};

/// Runs the fetch pipeline and the sections provider over the session's
/// template. Fails with the pipeline's error (an InputError for a broken
/// include).
Async<Preview> makePreview(const HostSession& session);

/// The request body as JSON.
Value requestBody(const CompositeListRequestParameters& parameters);

}  // namespace quarn::tool
