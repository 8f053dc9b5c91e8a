add_executable(composite_list_model_bench ${CMAKE_CURRENT_LIST_DIR}/composite_list_model_bench.cc)
target_link_libraries(composite_list_model_bench PRIVATE QuarnKit::composite_list Boost::json
                      benchmark::benchmark)
