// The app's screens: plain classes that print what happens to them. The
// library's Navigator drives them through the navigation interfaces.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "quarnkit/platform/navigation.h"

namespace host {

class Stack;

class Screen : public quarn::UIViewControllerType, public std::enable_shared_from_this<Screen> {
 public:
  explicit Screen(std::string name) : name_(std::move(name)) {}

  [[nodiscard]] const std::string& name() const { return name_; }
  [[nodiscard]] const std::shared_ptr<quarn::UIViewControllerType>& presented() const {
    return presented_;
  }

  bool present(const std::shared_ptr<quarn::UIViewControllerType>& screen, bool,
               const std::function<void()>& completion) override {
    const auto* shown = dynamic_cast<const Screen*>(screen.get());
    if (presented_ || shown == nullptr) {
      std::printf("present %s refused: %s is busy\n", shown ? shown->name().c_str() : "?",
                  name_.c_str());
      return false;
    }
    presented_ = screen;
    std::printf("present %s\n", shown->name().c_str());
    if (completion) completion();
    return true;
  }

  [[nodiscard]] std::shared_ptr<quarn::UINavigationControllerType> navigationStack() const override;

 private:
  friend class Stack;
  std::string name_;
  std::shared_ptr<quarn::UIViewControllerType> presented_;
  std::weak_ptr<Stack> stack_;
};

// A navigation stack; also a screen, so it can be presented.
class Stack final : public Screen, public quarn::UINavigationControllerType {
 public:
  static std::shared_ptr<Stack> make(const std::shared_ptr<Screen>& root) {
    auto stack = std::make_shared<Stack>("Stack");
    stack->adopt(root);
    return stack;
  }
  using Screen::Screen;

  void pushViewController(const std::shared_ptr<quarn::UIViewControllerType>& screen,
                          bool) override {
    auto child = std::dynamic_pointer_cast<Screen>(screen);
    if (!child) return;
    std::printf("push %s\n", child->name().c_str());
    adopt(child);
  }

  [[nodiscard]] const std::vector<std::shared_ptr<Screen>>& screens() const { return screens_; }

 private:
  void adopt(const std::shared_ptr<Screen>& child) {
    child->stack_ = std::static_pointer_cast<Stack>(shared_from_this());
    screens_.push_back(child);
  }
  std::vector<std::shared_ptr<Screen>> screens_;
};

inline std::shared_ptr<quarn::UINavigationControllerType> Screen::navigationStack() const {
  return stack_.lock();
}

// The screen on top of everything: what a screen presents, else the top of
// a stack, followed as far as it goes.
inline std::shared_ptr<Screen> topMost(const std::shared_ptr<Screen>& screen) {
  if (auto shown = std::dynamic_pointer_cast<Screen>(screen->presented())) return topMost(shown);
  if (auto stack = std::dynamic_pointer_cast<Stack>(screen); stack && !stack->screens().empty()) {
    return topMost(stack->screens().back());
  }
  return screen;
}

// "Home > Profile(42) | Paywall": a stack's screens, then what is presented.
inline std::string describe(const std::shared_ptr<Screen>& screen) {
  std::string out = screen->name();
  std::shared_ptr<Screen> top = screen;
  if (auto stack = std::dynamic_pointer_cast<Stack>(screen)) {
    out.clear();
    for (const auto& child : stack->screens()) out += (out.empty() ? "" : " > ") + child->name();
    if (!stack->screens().empty() && !stack->presented()) top = stack->screens().back();
  }
  if (auto shown = std::dynamic_pointer_cast<Screen>(top->presented())) {
    out += " | " + describe(shown);
  }
  return out;
}

}  // namespace host
