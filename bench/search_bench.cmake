add_executable(search_bench ${CMAKE_CURRENT_LIST_DIR}/search_bench.cc)
target_link_libraries(search_bench PRIVATE QuarnKit::search ICU::uc benchmark::benchmark)
target_compile_options(search_bench PRIVATE ${QUARNKIT_WARNINGS})
