// The three renderings of a preview:
// - text: a readable outline of the sections (type, title, subtitle,
//   separator, rows, footer);
// - json: a stable document of the sections with their rows and entities
//   (schema in the README), and the request body when asked;
// - html: one self-contained page that looks like a phone screen.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "quarnkit/core/date.h"
#include "tools/quarnkit/preview/preview.h"

namespace quarn::tool {

/// What the renderings say about the run besides the sections.
struct RenderContext {
  std::string templateFile;
  /// The other input files, as describeInputs() names them.
  std::string inputs;
  Date now;
  std::string device;
  std::optional<bool> premium;
  bool printRequest = false;
};

std::string renderText(const Preview& preview, const RenderContext& context);
std::string renderJSON(const Preview& preview, const RenderContext& context);
std::string renderHTML(const Preview& preview, const RenderContext& context);
/// The phone of the html page alone (its element and what it holds), for a
/// page that styles it with previewStyle() and swaps it in place.
std::string renderHTMLScreen(const Preview& preview, const RenderContext& context);
/// The style sheet of the phone.
std::string_view previewStyle();

/// A one-line summary of an entity for the outline: its class and its first
/// few plain members.
std::string summarizeEntity(const Value& entity, std::size_t maxLength = 110);

/// The text of the first member of `entity` among `keys` that is a string.
std::optional<std::string> firstText(const Value& entity,
                                     std::initializer_list<std::string_view> keys);

}  // namespace quarn::tool
