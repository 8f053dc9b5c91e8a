# ctest driver: install the build tree into a fresh prefix, check that only
# public headers landed there, then configure, build and run the consumer
# against it, with the compiler and flags of the build tree (a sanitized
# library needs a sanitized consumer). TOOLCHAIN_FILE and EMULATOR (one
# command line) are a cross build's: the consumer is built with the one and
# run through the other.
#
# EXECUTABLE names the program the consumer project builds (default
# "consumer"), ARGS its arguments (a list); with EXPECTED, its standard
# output must equal that file's contents.
if(NOT EXECUTABLE)
  set(EXECUTABLE consumer)
endif()
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed")
endif()

# Only public headers are installed, and they need nothing that is not.
set(include_dir "${prefix}/include")
file(GLOB_RECURSE installed RELATIVE "${include_dir}" "${include_dir}/quarnkit/*")
if(NOT installed)
  message(FATAL_ERROR "no headers installed")
endif()
foreach(header IN LISTS installed)
  if(header MATCHES "/(detail|testing)/|/test_[^/]*\\.h$|_test[^/]*\\.h$")
    message(FATAL_ERROR "internal header installed: ${header}")
  endif()
  file(STRINGS "${include_dir}/${header}" includes REGEX "^#include \"quarnkit/")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" included "${line}")
    if(NOT EXISTS "${include_dir}/${included}")
      message(FATAL_ERROR "${header} includes ${included}, which is not installed")
    endif()
  endforeach()
endforeach()

set(toolchain "")
if(TOOLCHAIN_FILE)
  set(toolchain "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}")
endif()
separate_arguments(emulator UNIX_COMMAND "${EMULATOR}")
execute_process(COMMAND ${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}/build" -G Ninja
                        "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_BUILD_TYPE=Release
                        ${toolchain}
                        "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
                        "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}"
                RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "configure failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${WORK_DIR}/build" RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "build failed")
endif()
execute_process(COMMAND ${emulator} "${WORK_DIR}/build/${EXECUTABLE}" ${ARGS} RESULT_VARIABLE rc
                OUTPUT_VARIABLE output)
message("${output}")
if(rc)
  message(FATAL_ERROR "${EXECUTABLE} failed (${rc})")
endif()
if(EXPECTED)
  file(READ "${EXPECTED}" expected)
  if(NOT output STREQUAL expected)
    file(WRITE "${WORK_DIR}/actual.txt" "${output}")
    message(FATAL_ERROR "${EXECUTABLE} printed something else than ${EXPECTED}; "
                        "what it printed is in ${WORK_DIR}/actual.txt")
  endif()
endif()
