// Re-entrancy tables: for every callback an object makes into the host, what
// the host does inside it (drop its last reference, call back into the object,
// throw) and the outcome it must see. Each subsystem keeps one table as a test:
//
//   TEST(AnimatorReentrancyTest, EveryCallbackAndAction) {
//     quarn::testing::runReentrancyTable({
//         {"completion", HostAction::release, "the frame loop stops; nothing is touched",
//          [] { ... EXPECT_...; }},
//         ...
//     });
//   }
//
// The runner names each row in failures and insists that every callback listed
// has a row for each of the three actions, so a table cannot silently skip one.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quarn::testing {

/// What the host does from inside a callback.
enum class HostAction {
  release,  ///< drops its last reference to the object
  reenter,  ///< calls back into the object (reload, fetch, register, animate, cancel ...)
  raise,    ///< throws out of the callback
};

inline const char* toString(HostAction a) {
  switch (a) {
    case HostAction::release:
      return "release";
    case HostAction::reenter:
      return "re-enter";
    case HostAction::raise:
      return "throw";
  }
  return "?";
}

/// One row: the callback, the action inside it, the outcome in words, and the
/// body that sets the object up, triggers the callback and checks the outcome.
struct ReentrancyRow {
  std::string callback;
  HostAction action;
  std::string expected;
  std::function<void()> run;
};

/// Runs every row (each in its own scope, named in failures) and checks that
/// each callback has a release, a re-enter and a throw row.
inline void runReentrancyTable(const std::vector<ReentrancyRow>& rows) {
  std::map<std::string, std::set<HostAction>> covered;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.callback + " / " + toString(row.action) + ": " + row.expected);
    covered[row.callback].insert(row.action);
    ASSERT_TRUE(row.run) << "row without a body";
    row.run();
  }
  for (const auto& [callback, actions] : covered) {
    for (auto a : {HostAction::release, HostAction::reenter, HostAction::raise}) {
      EXPECT_TRUE(actions.count(a)) << callback << " has no " << toString(a) << " row";
    }
  }
}

}  // namespace quarn::testing
