# Script mode: fails when a source or header under DIR includes a header whose
# path starts with one of FORBIDDEN (a ;- or |-list of prefixes such as
# "quarnkit/composite_list/fetching/"), naming every such line; else touches
# STAMP. The build runs it to keep a layer from reaching the layers above it.
# With ONLY (a |-list of file names relative to DIR without extension), only
# those files are checked: a target made of part of a folder.
#
#   cmake -DDIR=<dir> -DFORBIDDEN=<prefix>[;<prefix>...] [-DONLY=<name>[|<name>...]]
#         -DSTAMP=<file> -P check_includes.cmake
foreach(var DIR FORBIDDEN STAMP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_includes.cmake needs -D${var}=...")
  endif()
endforeach()

string(REPLACE "|" ";" FORBIDDEN "${FORBIDDEN}")
file(GLOB_RECURSE _files "${DIR}/*.h" "${DIR}/*.cc")
if(ONLY)
  list(FILTER _files INCLUDE REGEX "^${DIR}/(${ONLY})\\.(h|cc)$")
endif()
list(SORT _files)
set(_found "")
foreach(f IN LISTS _files)
  file(STRINGS "${f}" _lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
  foreach(line IN LISTS _lines)
    foreach(prefix IN LISTS FORBIDDEN)
      string(FIND "${line}" "${prefix}" _at)
      if(NOT _at EQUAL -1)
        file(RELATIVE_PATH _name "${DIR}" "${f}")
        string(STRIP "${line}" line)
        string(APPEND _found "\n  ${_name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_found)
  message(FATAL_ERROR "${DIR} must not include ${FORBIDDEN}:${_found}")
endif()
file(TOUCH "${STAMP}")
