# The scripts below run the tool as a program of their own; a cross build's
# tool runs through the emulator, by a small launcher.
set(quarnkit_tool $<TARGET_FILE:quarnkit_cli>)
if(CMAKE_CROSSCOMPILING_EMULATOR)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " _emulator)
  set(quarnkit_tool ${CMAKE_CURRENT_BINARY_DIR}/quarnkit_emulated)
  file(GENERATE OUTPUT ${quarnkit_tool}
    CONTENT "#!/bin/sh\nexec ${_emulator} \"$<TARGET_FILE:quarnkit_cli>\" \"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                     WORLD_READ WORLD_EXECUTE)
endif()

# The tool run on the bundled examples, compared with examples/*/expected.
add_test(NAME quarnkit.examples
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_examples.sh ${quarnkit_tool}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})

# The tool on hostile inputs built in a temporary directory: each run must end
# with its exit status and one exact line.
add_test(NAME quarnkit.hostile
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_hostile.sh ${quarnkit_tool}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
# A sanitized debug build, or one under emulation, runs the tool about ten
# times slower: the scripts' waits and time limits (the hostile rows' catch
# work that grows faster than the input) scale with it.
set(quarnkit_time_scale 1)
if(CMAKE_CXX_FLAGS MATCHES "sanitize" OR CMAKE_BUILD_TYPE STREQUAL "Debug"
   OR CMAKE_CROSSCOMPILING_EMULATOR)
  set(quarnkit_time_scale 6)
endif()
set_tests_properties(quarnkit.hostile PROPERTIES
                     ENVIRONMENT "QUARNKIT_TIME_SCALE=${quarnkit_time_scale}")

# The live preview in headless Chromium (Debian's chromium and
# chromium-driver): the page changes in place on an edit, explains, shows the
# lint findings of a broken template. Screenshots in artifacts/.
add_test(NAME quarnkit.serve_browser
  COMMAND python3 ${CMAKE_CURRENT_SOURCE_DIR}/check_serve_browser.py ${quarnkit_tool}
          ${PROJECT_SOURCE_DIR}/examples ${CMAKE_BINARY_DIR}/artifacts)
math(EXPR _browser_timeout "60 * ${quarnkit_time_scale}")
set_tests_properties(quarnkit.serve_browser PROPERTIES TIMEOUT ${_browser_timeout}
                     ENVIRONMENT "QUARNKIT_TIME_SCALE=${quarnkit_time_scale}")

# The committed JSON Schemas: equal to what the tool writes now, valid draft
# 2020-12 schemas, every example valid against its own, and the faulty
# examples invalid exactly where lint reports errors.
add_test(NAME quarnkit.schemas
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/schema/check_schemas.py
          ${quarnkit_tool}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
