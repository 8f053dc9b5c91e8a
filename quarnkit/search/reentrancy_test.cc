// What a host may do from inside the subscribers of a SelectionState.
#include "quarnkit/testing/reentrancy.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "quarnkit/search/selection_state.h"

namespace quarn {
namespace {

using testing::HostAction;

TEST(SearchReentrancyTest, SelectionStateSubscribers) {
  testing::runReentrancyTable({
      {"SelectionState subscriber", HostAction::release,
       "the state is destroyed by the first subscriber; the value still reaches the second",
       [] {
         auto state = std::make_unique<SelectionState<std::vector<int>>>(std::vector<int>{0});
         std::vector<std::vector<int>> first;
         std::vector<std::vector<int>> second;
         const AnyCancellable a = state->projectedValue().sink([&](const std::vector<int>& v) {
           first.push_back(v);
           if (v.size() == 3) state.reset();
         });
         const AnyCancellable b =
             state->projectedValue().sink([&](const std::vector<int>& v) { second.push_back(v); });
         state->setWrappedValue({1, 2, 3});
         EXPECT_EQ(state, nullptr);
         EXPECT_EQ(first, (std::vector<std::vector<int>>{{0}, {1, 2, 3}}));
         EXPECT_EQ(second, (std::vector<std::vector<int>>{{0}, {1, 2, 3}}));
       }},
      {"SelectionState subscriber", HostAction::reenter,
       "a value set inside is sent after the current one: both subscribers see 2 then 3",
       [] {
         SelectionState<int> state(1);
         std::vector<int> first;
         std::vector<int> second;
         const AnyCancellable a = state.projectedValue().sink([&](const int& v) {
           first.push_back(v);
           if (v == 2) state.modify([](int& x) { ++x; });
         });
         const AnyCancellable b =
             state.projectedValue().sink([&](const int& v) { second.push_back(v); });
         state.setWrappedValue(2);
         EXPECT_EQ(first, (std::vector<int>{1, 2, 3}));
         EXPECT_EQ(second, (std::vector<int>{1, 2, 3}));
         EXPECT_EQ(state.wrappedValue(), 3);
         EXPECT_EQ(state.subject().value(), 3);
       }},
      {"SelectionState subscriber", HostAction::raise,
       "the exception reaches the setter; the value is kept and the next one is sent to all",
       [] {
         SelectionState<int> state(0);
         std::vector<int> second;
         const AnyCancellable a = state.projectedValue().sink([](const int& v) {
           if (v == 1) throw std::runtime_error("subscriber");
         });
         const AnyCancellable b =
             state.projectedValue().sink([&](const int& v) { second.push_back(v); });
         EXPECT_THROW(state.setWrappedValue(1), std::runtime_error);
         EXPECT_EQ(state.wrappedValue(), 1);
         state.setWrappedValue(2);
         EXPECT_EQ(second, (std::vector<int>{0, 2}));
       }},
  });
}

}  // namespace
}  // namespace quarn
