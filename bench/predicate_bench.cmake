add_executable(predicate_bench ${CMAKE_CURRENT_LIST_DIR}/predicate_bench.cc)
target_link_libraries(predicate_bench PRIVATE QuarnKit::predicate benchmark::benchmark)
target_compile_options(predicate_bench PRIVATE ${QUARNKIT_WARNINGS})
