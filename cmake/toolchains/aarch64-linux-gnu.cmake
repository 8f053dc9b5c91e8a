# Cross build for 64-bit ARM Linux with Debian's cross compiler and the arm64
# (multiarch) builds of the dependencies; scripts/bootstrap arm64 installs
# them. Test executables run through user-mode emulation, so ctest and test
# discovery work on an x86-64 machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# A test binary under emulation cannot start an ARM executable by itself: its
# death tests fork instead of re-executing it (gtest's "threadsafe" style),
# and tests that start it again as a child process go through the emulator.
find_program(QUARNKIT_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR
    env GTEST_DEATH_TEST_STYLE=fast "QUARNKIT_TEST_EMULATOR=${QUARNKIT_QEMU_AARCH64}"
    "${QUARNKIT_QEMU_AARCH64}")

# Multiarch: the arm64 libraries live beside the host's under /usr, in their
# own lib/aarch64-linux-gnu folders; only the host's build tools are programs.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Development files Debian cannot install for two architectures at once are
# unpacked here by the bootstrap (their run-time libraries are installed).
list(APPEND CMAKE_PREFIX_PATH "${CMAKE_CURRENT_LIST_DIR}/../../build/arm64-deps/usr")
