# The HTTP client against libcurl's multi interface over a loopback server,
# and the key-path page decoding against Boost.JSON's parse.
add_executable(paged_http_bench ${CMAKE_CURRENT_LIST_DIR}/paged_http_bench.cc)
target_include_directories(paged_http_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(paged_http_bench PRIVATE
  QuarnKit::http QuarnKit::paging quarnkit_testing_http CURL::libcurl Boost::json
  benchmark::benchmark)
target_compile_options(paged_http_bench PRIVATE ${QUARNKIT_WARNINGS})
