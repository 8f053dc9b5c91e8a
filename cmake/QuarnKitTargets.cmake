# Helpers that give every subsystem folder the same shape: one library target
# (quarnkit_<name>, alias QuarnKit::<name>) built from the folder's sources, and
# one test executable built from its *_test.cc files.

set(QUARNKIT_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    -Wold-style-cast -Wcast-align -Woverloaded-virtual -Wimplicit-fallthrough)
if(QUARNKIT_WERROR)
  list(APPEND QUARNKIT_WARNINGS -Werror)
endif()

set_property(GLOBAL PROPERTY QUARNKIT_LIBRARIES "")

# Collects the sources of a folder (recursively) and splits them into library
# sources, test sources and public headers. Headers in detail/ and testing/
# folders, and test helpers (test_*.h, *_test*.h), are not public: they are
# neither part of the target's interface nor installed.
function(_quarnkit_collect dir out_lib out_test out_headers)
  file(GLOB_RECURSE _all CONFIGURE_DEPENDS "${dir}/*.cc")
  set(_lib "")
  set(_test "")
  foreach(f IN LISTS _all)
    if(f MATCHES "_test\\.cc$")
      list(APPEND _test "${f}")
    else()
      list(APPEND _lib "${f}")
    endif()
  endforeach()
  file(GLOB_RECURSE _headers CONFIGURE_DEPENDS "${dir}/*.h")
  list(FILTER _headers EXCLUDE REGEX "/(detail|testing)/|/test_[^/]*\\.h$|_test[^/]*\\.h$")
  set(${out_lib} "${_lib}" PARENT_SCOPE)
  set(${out_test} "${_test}" PARENT_SCOPE)
  set(${out_headers} "${_headers}" PARENT_SCOPE)
endfunction()

# quarnkit_add_library(<name> [DIR <dir>] [EXCLUDE <subdir>...]
#                      [ONLY <file>...] [EXCLUDE_FILES <file>...]
#                      [DEPS <public deps>...] [PRIVATE_DEPS <deps>...]
#                      [TEST_DEPS <deps>...])
# DIR defaults to the current source directory; EXCLUDE drops sub-folders that
# are targets of their own. ONLY and EXCLUDE_FILES split one folder into
# several targets: files are named relative to DIR without their extension
# ("fetcher" stands for fetcher.h and fetcher.cc). A target made with ONLY
# keeps just those files and has no tests (the folder's tests belong to the
# target that takes the rest); EXCLUDE_FILES drops files from the library
# and its headers, not from its tests.
function(quarnkit_add_library name)
  cmake_parse_arguments(ARG "" "DIR" "EXCLUDE;ONLY;EXCLUDE_FILES;DEPS;PRIVATE_DEPS;TEST_DEPS"
                        ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  _quarnkit_collect("${ARG_DIR}" _lib _test _headers)
  foreach(ex IN LISTS ARG_EXCLUDE)
    list(FILTER _lib EXCLUDE REGEX "^${ARG_DIR}/${ex}/")
    list(FILTER _test EXCLUDE REGEX "^${ARG_DIR}/${ex}/")
    list(FILTER _headers EXCLUDE REGEX "^${ARG_DIR}/${ex}/")
  endforeach()
  if(ARG_ONLY)
    list(JOIN ARG_ONLY "|" _only)
    list(FILTER _lib INCLUDE REGEX "^${ARG_DIR}/(${_only})\\.cc$")
    list(FILTER _headers INCLUDE REGEX "^${ARG_DIR}/(${_only})\\.h$")
    set(_test "")
  endif()
  foreach(ex IN LISTS ARG_EXCLUDE_FILES)
    list(FILTER _lib EXCLUDE REGEX "^${ARG_DIR}/${ex}\\.cc$")
    list(FILTER _headers EXCLUDE REGEX "^${ARG_DIR}/${ex}\\.h$")
  endforeach()

  set(target quarnkit_${name})
  add_library(${target} ${_lib})
  add_library(QuarnKit::${name} ALIAS ${target})
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name} OUTPUT_NAME quarnkit_${name})
  # The public headers, installed with the target (QuarnKitInstall.cmake).
  target_sources(${target} PUBLIC
    FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR} FILES ${_headers})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(${target} PUBLIC cxx_std_20)
  target_compile_options(${target} PRIVATE ${QUARNKIT_WARNINGS})
  target_link_libraries(${target} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  set_property(GLOBAL APPEND PROPERTY QUARNKIT_LIBRARIES ${target})

  if(QUARNKIT_BUILD_TESTS AND _test)
    add_executable(${target}_tests ${_test})
    target_compile_options(${target}_tests PRIVATE ${QUARNKIT_WARNINGS})
    target_link_libraries(${target}_tests PRIVATE ${target} quarnkit_testing_main ${ARG_TEST_DEPS})
    gtest_discover_tests(${target}_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "QUARNKIT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  endif()
endfunction()

# quarnkit_forbid_includes(<target> DIR <dir> [ONLY <file>...] FORBIDDEN <prefix>...)
# Stops the build of <target> when one of its files (those under DIR, or the
# ONLY ones, named as for quarnkit_add_library) includes a header whose path
# starts with one of FORBIDDEN: a target that must not reach another layer
# then cannot, even through a header it would not need to link.
function(quarnkit_forbid_includes target)
  cmake_parse_arguments(ARG "" "DIR" "ONLY;FORBIDDEN" ${ARGN})
  file(GLOB_RECURSE _files CONFIGURE_DEPENDS "${ARG_DIR}/*.h" "${ARG_DIR}/*.cc")
  list(JOIN ARG_ONLY "|" _only)
  list(JOIN ARG_FORBIDDEN "|" _forbidden)
  set(_stamp "${CMAKE_CURRENT_BINARY_DIR}/${target}_includes_checked.stamp")
  add_custom_command(OUTPUT ${_stamp}
    COMMAND ${CMAKE_COMMAND} -DDIR=${ARG_DIR} "-DONLY=${_only}" "-DFORBIDDEN=${_forbidden}"
            -DSTAMP=${_stamp} -P ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake
    DEPENDS ${_files} ${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake
    COMMENT "Checking the includes of ${target}"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${_stamp})
  add_dependencies(${target} ${target}_includes)
endfunction()
