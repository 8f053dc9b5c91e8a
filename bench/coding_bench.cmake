add_executable(coding_bench ${CMAKE_CURRENT_LIST_DIR}/coding_bench.cc)
target_link_libraries(coding_bench PRIVATE QuarnKit::coding Boost::json benchmark::benchmark)
