# ctest driver: headers that only declare asynchronous operations (clocks,
# dates, item descriptions) name Async<T> through async_fwd.h and must not pull
# in Asio, which would cost every file that includes them hundreds of headers.
# HEADERS is a comma-separated list of paths relative to SOURCE_DIR.
string(REPLACE "," ";" headers "${HEADERS}")
foreach(header IN LISTS headers)
  execute_process(COMMAND "${CXX_COMPILER}" -std=c++20 -M "-I${SOURCE_DIR}" -x c++
                          "${SOURCE_DIR}/${header}"
                  OUTPUT_VARIABLE dependencies ERROR_VARIABLE errors RESULT_VARIABLE rc)
  if(rc)
    message(FATAL_ERROR "${header} does not preprocess:\n${errors}")
  endif()
  if(dependencies MATCHES "boost/asio/[^ \n]*")
    message(FATAL_ERROR "${header} includes Asio (${CMAKE_MATCH_0})")
  endif()
endforeach()
