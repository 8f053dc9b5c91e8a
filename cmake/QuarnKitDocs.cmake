# The API reference: Doxygen over the installed public headers (the HEADERS
# file sets of the library targets), with the README's "Using the library"
# walkthrough as its main page. `cmake --build --preset default --target docs`
# writes docs/html/index.html into the build folder; any Doxygen warning (an
# undocumented public declaration included) fails the build. Not part of `all`.
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  message(STATUS "Doxygen not found: no `docs` target (install Debian's doxygen package)")
  return()
endif()

get_property(_quarnkit_libs GLOBAL PROPERTY QUARNKIT_LIBRARIES)
set(_docs_headers "")
foreach(target IN LISTS _quarnkit_libs)
  get_target_property(_headers ${target} HEADER_SET)
  if(_headers)
    list(APPEND _docs_headers ${_headers})
  endif()
endforeach()
list(REMOVE_DUPLICATES _docs_headers)
list(SORT _docs_headers)

set(QUARNKIT_DOCS_DIR "${CMAKE_BINARY_DIR}/docs")
set(_mainpage "${QUARNKIT_DOCS_DIR}/mainpage.md")
list(JOIN _docs_headers "\" \\\n                         \"" QUARNKIT_DOCS_INPUT)
set(QUARNKIT_DOCS_INPUT "\"${_mainpage}\" \\\n                         \"${QUARNKIT_DOCS_INPUT}\"")
set(QUARNKIT_DOCS_MAINPAGE "${_mainpage}")
configure_file("${PROJECT_SOURCE_DIR}/docs/Doxyfile.in" "${QUARNKIT_DOCS_DIR}/Doxyfile" @ONLY)

list(JOIN _docs_headers "\n" _headers_text)
file(CONFIGURE OUTPUT "${QUARNKIT_DOCS_DIR}/headers.txt" CONTENT "${_headers_text}\n" @ONLY)
add_custom_command(OUTPUT "${_mainpage}"
  COMMAND ${CMAKE_COMMAND} "-DREADME=${PROJECT_SOURCE_DIR}/README.md" "-DOUTPUT=${_mainpage}"
          "-DHEADERS=${QUARNKIT_DOCS_DIR}/headers.txt"
          -P "${PROJECT_SOURCE_DIR}/cmake/docs_mainpage.cmake"
  DEPENDS "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/cmake/docs_mainpage.cmake"
          "${QUARNKIT_DOCS_DIR}/headers.txt" ${_docs_headers}
  COMMENT "Taking the reference's main page from README.md"
  VERBATIM)
add_custom_target(docs
  COMMAND Doxygen::doxygen "${QUARNKIT_DOCS_DIR}/Doxyfile"
  DEPENDS "${_mainpage}" "${QUARNKIT_DOCS_DIR}/Doxyfile" ${_docs_headers}
  WORKING_DIRECTORY "${QUARNKIT_DOCS_DIR}"
  COMMENT "Building the API reference (${QUARNKIT_DOCS_DIR}/html/index.html)"
  VERBATIM)
