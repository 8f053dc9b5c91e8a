/// @file
/// Menu and MenuAction: a pull-down menu of the headless toolkit: a title, an
/// icon named by a system symbol, and actions of which some are shown as
/// chosen. Choosing an action calls its handler. Context menus
/// (collection_view.h) offer the same actions. Both are values.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quarn::platform {

/// A menu entry: a title, an image, a chosen mark and what choosing it does. A value.
struct MenuAction {
  /// The entry's title.
  std::string title;
  /// A system symbol's name.
  std::optional<std::string> image;
  /// Shown as chosen.
  bool isOn = false;
  /// Called when the entry is chosen.
  std::function<void()> handler;
};

/// A menu: a title, an image and its entries. A value.
struct Menu {
  /// The menu's title.
  std::string title;
  /// A system symbol's name.
  std::optional<std::string> image;
  /// The entries, in order.
  std::vector<MenuAction> children;
};

}  // namespace quarn::platform
