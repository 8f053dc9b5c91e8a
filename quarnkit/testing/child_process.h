// Starting the running test executable again as a child process, for tests
// whose subject is several processes sharing one file.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;  // NOLINT(readability-redundant-declaration)

namespace quarn::testing {

/// Starts this test executable with `arguments` and with `variables`
/// ("NAME=value") added to this process's environment, its standard output
/// discarded. Returns the child's process id, or -1 when it could not start.
/// A cross build's tests run under user-mode emulation, which cannot start an
/// executable of the emulated machine by itself: the emulator named by
/// QUARNKIT_TEST_EMULATOR, when set, starts the child.
inline pid_t spawnThisExecutable(const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& variables) {
  std::vector<std::string> command;
  if (const char* emulator = std::getenv("QUARNKIT_TEST_EMULATOR");
      emulator != nullptr && *emulator != '\0') {
    command.emplace_back(emulator);
  }
  command.push_back(std::filesystem::read_symlink("/proc/self/exe").string());
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<std::string> environment = variables;
  for (char** e = environ; *e != nullptr; ++e) environment.emplace_back(*e);

  auto pointers = [](std::vector<std::string>& strings) {
    std::vector<char*> out;
    out.reserve(strings.size() + 1);
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
  };
  auto argv = pointers(command);
  auto envp = pointers(environment);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

}  // namespace quarn::testing
