# URL matching against indexed routing tables of 10, 1,000 and 10,000
# patterns, next to Boost.URL's parse of the same URLs.
add_executable(url_matcher_bench ${CMAKE_CURRENT_LIST_DIR}/url_matcher_bench.cc)
target_link_libraries(url_matcher_bench PRIVATE QuarnKit::routing Boost::url benchmark::benchmark)
target_compile_options(url_matcher_bench PRIVATE ${QUARNKIT_WARNINGS})
