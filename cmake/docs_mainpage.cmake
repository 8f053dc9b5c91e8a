# Writes the reference's main page (OUTPUT) from README.md's "Using the
# library" section: the text from that heading to the next heading of the
# same level, each heading one level up so the section is the page's title.
file(READ "${README}" _readme)
set(_heading "\n## Using the library\n")
string(FIND "${_readme}" "${_heading}" _start)
if(_start EQUAL -1)
  message(FATAL_ERROR "${README} has no \"## Using the library\" section")
endif()
string(LENGTH "${_heading}" _length)
math(EXPR _start "${_start} + ${_length}")
string(SUBSTRING "${_readme}" ${_start} -1 _section)
string(FIND "${_section}" "\n## " _end)
if(NOT _end EQUAL -1)
  string(SUBSTRING "${_section}" 0 ${_end} _section)
endif()
string(REGEX REPLACE "\n#(#+ )" "\n\\1" _section "${_section}")
file(WRITE "${OUTPUT}" "# Using the library {#mainpage}\n${_section}\n")
