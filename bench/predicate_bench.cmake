add_executable(predicate_bench ${CMAKE_CURRENT_LIST_DIR}/predicate_bench.cc
               ${CMAKE_CURRENT_LIST_DIR}/allocation_counter.cc)
# ICU for the hand-written floor of the string operators.
target_link_libraries(predicate_bench PRIVATE QuarnKit::predicate ICU::uc benchmark::benchmark)
target_compile_options(predicate_bench PRIVATE ${QUARNKIT_WARNINGS})
