#include "quarnkit/platform/runtime/task.h"

#include <gtest/gtest.h>

using namespace quarn;

namespace {
Async<int> answer() { co_return 42; }
}  // namespace

TEST(TaskTest, SpawnAndAwait) {
  EXPECT_EQ(runUntilComplete([]() -> Async<int> {
              auto t = Task<int>::spawn(answer());
              co_return co_await t.value();
            }()),
            42);
}
