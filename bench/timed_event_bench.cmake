# Timed-event rules against one read and one write of their store.
add_executable(timed_event_bench ${CMAKE_CURRENT_LIST_DIR}/timed_event_bench.cc)
target_link_libraries(timed_event_bench PRIVATE QuarnKit::concurrency QuarnKit::coding benchmark::benchmark)
target_compile_options(timed_event_bench PRIVATE ${QUARNKIT_WARNINGS})
