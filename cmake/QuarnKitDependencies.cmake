# Third-party libraries, all from Debian's packages (see scripts/bootstrap).
find_package(Boost 1.81 CONFIG REQUIRED COMPONENTS json url)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(simdjson CONFIG REQUIRED)
find_package(CURL REQUIRED)
find_package(fmt CONFIG REQUIRED)
find_package(spdlog CONFIG REQUIRED)
find_package(Threads REQUIRED)
# Inline markdown of attributed price texts (private to formatting): md4c parses,
# and its HTML renderer decodes character entities.
find_package(md4c CONFIG REQUIRED)

if(QUARNKIT_BUILD_TOOLS)
  find_package(CLI11 CONFIG REQUIRED)
endif()
if(QUARNKIT_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(QUARNKIT_BUILD_TOOLS OR QUARNKIT_BUILD_TESTS OR QUARNKIT_BUILD_BENCH)
  # The tool's live preview server, the loopback HTTP server of the tests and
  # the HTTP benchmarks.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
endif()
if(QUARNKIT_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
