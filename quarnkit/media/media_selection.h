/// @file
/// The subtitle (or audio) renditions of a player's current item, as a player
/// screen offers them in a menu: the options, which one is on, and how to
/// choose another. The host fills one from its media player; the screen's
/// makeSelectSubtitlesMenu() turns it into a menu.
///
/// Kinds: MediaSelectionOption and MediaSelectionGroup are values (a group's
/// select callback is copied with it).
///
/// ```
///   MediaSelectionGroup subtitles{
///       .options = {{"English", "en"}, {"Deutsch", "de"}},
///       .selectedIndex = 1,
///       .select = [item](std::optional<std::size_t> i) { item->selectSubtitles(i); }};
///   screen->makeSelectSubtitlesMenu(subtitles);   // "Off", "English", "Deutsch" (on)
/// ```
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarn {

/// One rendition: the name shown for it and its language.
struct MediaSelectionOption {
  /// The name shown for it.
  std::string displayName;
  /// A language tag ("en", "pt-BR"); may be empty.
  std::string extendedLanguageTag;

  /// Equal when name and language are.
  friend bool operator==(const MediaSelectionOption&, const MediaSelectionOption&) = default;
};

/// The renditions of one kind and the current choice among them.
struct MediaSelectionGroup {
  /// The renditions, in the order offered.
  std::vector<MediaSelectionOption> options;
  /// Whether none may be chosen (subtitles off).
  bool allowsEmptySelection = true;
  /// The index of the option on now; nothing when none is.
  std::optional<std::size_t> selectedIndex;
  /// Chooses an option by index, or none; may be empty.
  std::function<void(std::optional<std::size_t>)> select;
};

}  // namespace quarn
