add_executable(coding_toolkit_bench ${CMAKE_CURRENT_LIST_DIR}/coding_toolkit_bench.cc)
target_link_libraries(coding_toolkit_bench PRIVATE QuarnKit::coding benchmark::benchmark)
target_compile_options(coding_toolkit_bench PRIVATE ${QUARNKIT_WARNINGS})
