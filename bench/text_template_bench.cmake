add_executable(text_template_bench ${CMAKE_CURRENT_LIST_DIR}/text_template_bench.cc)
target_link_libraries(text_template_bench PRIVATE QuarnKit::composite_list benchmark::benchmark)
target_compile_options(text_template_bench PRIVATE ${QUARNKIT_WARNINGS})
