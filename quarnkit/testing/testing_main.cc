// Entry point of the test executables.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Death tests fork; "threadsafe" re-executes the binary so that threads the
  // test started (the runtime's pool, watchers) do not confuse the child. A
  // style chosen in the environment or on the command line wins: under
  // user-mode emulation the binary cannot re-execute itself, and the ARM
  // toolchain asks for "fast".
  if (std::getenv("GTEST_DEATH_TEST_STYLE") == nullptr) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
