add_executable(composite_list_pipeline_bench
               ${CMAKE_CURRENT_LIST_DIR}/composite_list_pipeline_bench.cc
               ${CMAKE_CURRENT_LIST_DIR}/allocation_counter.cc)
target_link_libraries(composite_list_pipeline_bench PRIVATE QuarnKit::composite_list Boost::json
                      benchmark::benchmark)
