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

struct MenuAction {
  std::string title;
  /// A system symbol's name.
  std::optional<std::string> image;
  /// Shown as chosen.
  bool isOn = false;
  std::function<void()> handler;
};

struct Menu {
  std::string title;
  std::optional<std::string> image;
  std::vector<MenuAction> children;
};

}  // namespace quarn::platform
